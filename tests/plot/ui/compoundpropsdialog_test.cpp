// The "Composition Properties" dialog opened from the document tree's menu: element insertion,
// Apply and OK through the widgets, a rejected entry keeping the dialog open.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "guitest.h"
#include "model/sample.h"
#include "platform/prompt.h"
#include "plot/ui/compoundpropsdialog.h"
#include "plot/ui/propertycommands.h"
#include "tree/treecommandids.h"
#include "tree/ui/treeview.h"

using namespace zun;

namespace {

// Runs f on the modal dialog once it is open.
void OnModal(std::function<void(CompoundPropsDialog&)> f) {
    QTimer::singleShot(0, [f] {
        auto* d = qobject_cast<CompoundPropsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        f(*d);
    });
}

struct Window {
    Window() {
        test::App();
        RegisterDocumentClasses();
        doc.OnNewDocument();
        doc.ResizeVolume({8, 8, 4}, {0, 0, 0});
        doc.InsertChannel(0, 1, "comp_1");
        view = std::make_unique<ZunTreeView>(doc);
        doc.SetModifiedFlag(false);
    }
    void Select(const std::string& name) {
        for (TreeNode* n = view->Tree().Root(); n; n = DisplayTree::NextInPreOrder(n)) n->selected = false;
        view->Tree().FindChannel(name)->selected = true;
    }
    HeadlessPrompt prompt;
    CZunDoc doc{DocServices{&prompt}};
    std::unique_ptr<ZunTreeView> view;
};

TEST(CompoundPropsDialog, OpensFromTheTreeMenuAndAppliesThroughTheWidgets) {
    Window w;
    w.Select("comp_1");
    TreeCommands& commands = w.view->Commands();
    EXPECT_FALSE(commands.IsEnabled(treecmd::kCompositionProperties));  // nobody serves it yet
    RegisterPropertyCommands(*w.view);
    ASSERT_TRUE(commands.IsEnabled(treecmd::kCompositionProperties));

    bool ran = false;
    OnModal([&](CompoundPropsDialog& d) {
        ran = true;
        EXPECT_TRUE(w.doc.propertyDialogOpen[CZunDoc::kCompositionDialog]);
        EXPECT_FALSE(d.applyButton->isEnabled());
        EXPECT_EQ(d.elements->count(), 94);
        // Si, then O, then the count typed by hand.
        d.elements->setCurrentItem(d.elements->findItems("Si", Qt::MatchExactly).front());
        d.insertButton->click();
        d.elements->setCurrentItem(d.elements->findItems("O", Qt::MatchExactly).front());
        d.InsertSelected();
        d.formula->insert("2");
        EXPECT_EQ(d.formula->text(), "SiO2");
        EXPECT_TRUE(d.applyButton->isEnabled());
        EXPECT_FALSE(d.estimateButton->isEnabled());
        d.density->setText("2.65");
        d.accuracy->setText("0.05");
        d.applyButton->click();
        EXPECT_EQ(w.doc.GetSample().GetChan(1)->name, "SiO2");
        EXPECT_FALSE(d.applyButton->isEnabled());
        EXPECT_TRUE(d.estimateButton->isEnabled());
        d.resize(d.sizeHint().expandedTo(QSize(560, 380)));
        test::SaveScreen(d, "composition_properties");

        // A bad accuracy on OK: the message, and the dialog stays for the correction.
        d.accuracy->setText("2");
        d.okButton->click();
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(w.prompt.Requests().back().text, "Invalid relative accuracy entry");
        d.accuracy->setText("0.5");
        d.okButton->click();
        EXPECT_FALSE(d.isVisible());
    });
    ASSERT_TRUE(commands.Execute(treecmd::kCompositionProperties));
    EXPECT_TRUE(ran);
    EXPECT_FALSE(w.doc.propertyDialogOpen[CZunDoc::kCompositionDialog]);
    EXPECT_EQ(w.doc.GetSample().GetChan(1)->compound.formula, "SiO2");
    EXPECT_FLOAT_EQ(w.doc.GetModel().GetParams().volumeFractionAccuracy.at(1), 0.5f);
    EXPECT_TRUE(w.doc.IsModified());
}

TEST(CompoundPropsDialog, CancelPutsBackWhatWasNotApplied) {
    Window w;
    RegisterPropertyCommands(*w.view);
    w.Select("comp_1");
    OnModal([](CompoundPropsDialog& d) {
        d.formula->setText("CaCO3");
        d.cancelButton->click();
    });
    ASSERT_TRUE(w.view->Commands().Execute(treecmd::kCompositionProperties));
    EXPECT_EQ(w.doc.GetSample().GetChan(1)->compound.formula, "");
    EXPECT_EQ(w.doc.GetSample().GetChan(1)->name, "comp_1");
    EXPECT_FALSE(w.doc.IsModified());
}

}  // namespace
