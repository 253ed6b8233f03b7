// The "X-ray CT Properties" dialog opened from the tree: editing, Apply and OK through the widgets,
// the polychromatic half, and the "Add Filter" dialog's name checks.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <functional>

#include "compute/model.h"
#include "document/docclasses.h"
#include "document/zundoc.h"
#include "guitest.h"
#include "model/sample.h"
#include "platform/prompt.h"
#include "plot/ui/ctcommands.h"
#include "plot/ui/tomographypropsdialog.h"
#include "tree/treecommandids.h"
#include "tree/ui/treeview.h"

using namespace zun;

namespace {

void OnModal(std::function<void(TomographyPropsDialog&)> f) {
    QTimer::singleShot(0, [f] {
        auto* d = qobject_cast<TomographyPropsDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        f(*d);
    });
}

struct Window {
    Window() {
        test::App();
        RegisterDocumentClasses();
        Compound::SetPrompt(&prompt);
        doc.OnNewDocument();
        doc.SetTitle("phantom.zun");
        doc.ResizeVolume({8, 8, 4}, {0, 0, 0});
        doc.InsertChannel(0, 1, "Water");
        doc.InsertChannel(0, 2, "Quartz");
        doc.InsertChannel(1, 3, "ct");
        Set("Water", "H2O", 1.0);
        Set("Quartz", "SiO2", 2.65);
        ct = doc.GetSample().FindChanIndex("ct");
        doc.GetSample().GetChan(ct)->autoRename = false;
        doc.GetModel().SetChannelMeasuredAttenuation(ct, 0.0f, 0);
        doc.GetModel().SetChannelMeasuredAttenuation(ct, 1.5f, 1);
        doc.GetModel().GetParams().ctBeamEnergy[1] = 30.0f;
        view = std::make_unique<ZunTreeView>(doc);
        RegisterCtCommands(*view);
        for (TreeNode* n = view->Tree().Root(); n; n = DisplayTree::NextInPreOrder(n)) n->selected = false;
        view->Tree().FindChannel("ct")->selected = true;
        doc.SetModifiedFlag(false);
    }
    ~Window() { Compound::SetPrompt(nullptr); }
    void Set(const std::string& channel, const std::string& formula, double density) {
        ZunChan* c = doc.GetSample().FindChan(channel);
        c->compound.SetFormula(formula, true);
        c->compound.density = density;
    }
    HeadlessPrompt prompt;
    CZunDoc doc{DocServices{&prompt}};
    int ct = -1;
    std::unique_ptr<ZunTreeView> view;
};

TEST(TomographyPropsDialog, EditsAppliesAndShowsBothBeams) {
    Window w;
    ASSERT_TRUE(w.view->Commands().IsEnabled(treecmd::kXrayCtProperties));
    bool ran = false;
    OnModal([&](TomographyPropsDialog& d) {
        ran = true;
        EXPECT_EQ(d.windowTitle(), "phantom.zun: 'ct' X-ray CT Properties");
        EXPECT_TRUE(d.mono->isChecked());
        EXPECT_FALSE(d.filterCombo->isEnabled());
        EXPECT_FALSE(d.applyButton->isEnabled());
        ASSERT_EQ(d.table->rowCount(), 3);
        EXPECT_EQ(d.table->item(1, 0)->text(), "Water");
        EXPECT_EQ(d.table->horizontalHeaderItem(3)->text(), "LAC Actual");
        d.energy->setText("40");
        EXPECT_TRUE(d.applyButton->isEnabled());
        // An offset typed into the table's Offset cell.
        d.table->item(2, 2)->setText("0.1");
        d.applyButton->click();
        EXPECT_FALSE(d.applyButton->isEnabled());
        EXPECT_EQ(w.doc.GetModel().GetParams().ctBeamEnergy[1], 40.0f);
        EXPECT_TRUE(w.doc.IsModified());
        test::SaveScreen(d, "xray_ct_properties_mono");

        d.poly->click();
        EXPECT_TRUE(d.filterCombo->isEnabled());
        EXPECT_FALSE(d.energy->isEnabled());
        EXPECT_EQ(d.filterCombo->itemText(1), "Source*");
        test::SaveScreen(d, "xray_ct_properties_poly");

        // A bad accuracy keeps the dialog open with its message.
        d.accuracy->setText("2");
        d.okButton->click();
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(w.prompt.Requests().back().text, "Invalid relative accuracy");
        d.accuracy->setText("0.1");
        d.okButton->click();
        EXPECT_FALSE(d.isVisible());
    });
    ASSERT_TRUE(w.view->Commands().Execute(treecmd::kXrayCtProperties));
    EXPECT_TRUE(ran);
    EXPECT_TRUE(w.doc.GetSample().GetChan(w.ct)->polychromatic);
    EXPECT_FALSE(w.doc.propertyDialogOpen[CZunDoc::kXrayCtDialog]);
}

TEST(TomographyPropsDialog, AddFilterTrimsAndRefusesClashes) {
    Window w;
    TomographyPropsModel model(w.doc, w.ct, &w.prompt);
    ASSERT_TRUE(model.Open());
    AddFilterDialog add(model);
    EXPECT_TRUE(add.absorptive->isChecked());
    test::SaveScreen(add, "add_filter");
    add.name->setText("source");
    add.accept();
    EXPECT_EQ(w.prompt.Requests().back().text, "Filter name already exists");
    EXPECT_TRUE(add.accepted.empty());
    add.name->setText("  Al foil ");
    add.accept();
    EXPECT_EQ(add.accepted, "Al foil");
    EXPECT_NE(dynamic_cast<MaterialFilter*>(model.Current().filters.FindFilter("Al foil")), nullptr);
}

}  // namespace
