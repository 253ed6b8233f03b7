#include "tree/ui/displaypropsdialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "document/docclasses.h"
#include "document/ui/datcoldialog.h"
#include "document/zundoc.h"
#include "tree/datcoltarget.h"
#include "tree/treecommandids.h"
#include "tree/treedispatch.h"
#include "tree/ui/treeitemmodel.h"
#include "tree/ui/treeview.h"
#include "uitest.h"
#include "uiwheel.h"

namespace zun {
namespace {

QApplication& App() {
    return test::UiApp();
}

std::string Screen(QWidget* w, const std::string& name) {
    const char* env = std::getenv("ZUN_SCREENS_DIR");
    const std::filesystem::path dir = env && *env ? env : "screens";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / (name + ".png")).string();
    QCoreApplication::processEvents();
    return w->grab().save(QString::fromStdString(path)) ? path : std::string();
}

// Three channels and a boundary of 20 slices; Iron's slices 0-4 more opaque than the rest.
std::unique_ptr<CZunDoc> MakeDocument(bool boundary = true) {
    RegisterDocumentClasses();
    auto doc = std::make_unique<CZunDoc>();
    doc->OnNewDocument();
    ZunImage& s = doc->GetSample();
    s.Resize(Dims{16, 16, 20});
    s.InsertChan(ZunChan::kComposition, 1, "Iron", 0x3050E0);
    s.InsertChan(ZunChan::kXrayCt, 2, "ct_1", 0xE08030);
    if (boundary) s.InsertChan(ZunChan::kBoundary, 3, "outer", 0x808080);
    return doc;
}

struct Window {
    std::unique_ptr<CZunDoc> doc;
    std::unique_ptr<ZunTreeView> view;
    explicit Window(bool boundary = true) : doc((App(), MakeDocument(boundary))) {
        view = std::make_unique<ZunTreeView>(*doc);
        view->resize(300, 400);
        view->show();
    }
    TreeNode* Channel(const std::string& name) { return view->Tree().FindChannel(name); }
    void Select(const TreeItems& items) {
        for (TreeNode* n = view->Tree().Root(); n; n = DisplayTree::NextInPreOrder(n)) n->selected = false;
        for (TreeNode* n : items) n->selected = true;
    }
};

// Runs f on the next modal dialog that opens, then lets the caller's exec return.
void OnModal(std::function<void(QWidget*)> f) {
    QTimer::singleShot(0, [f] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w) {
            OnModal(f);
            return;
        }
        f(w);
    });
}

TEST(DisplayPropertiesDialog, MixedValuesShowDotsAndBadOpacityIsRefused) {
    Window w;
    TreeNode* iron = w.Channel("Iron");
    for (int i = 0; i < 5; ++i) iron->Child(i)->spec.shown.opacity = {0.3f, 0.8f, 0.1f, 1.0f};
    UpdateMergedStates(w.view->Tree(), iron->Child(0));
    w.Select({iron, w.Channel("ct_1")});
    DisplayPropertiesDialog* d = ShowDisplayProperties(*w.view);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(w.doc->propertyDialogCount, 1);
    EXPECT_EQ(d->windowTitle().toStdString(), w.doc->GetTitle() + ": Multiple Channel Display Properties");
    EXPECT_EQ(d->OpacityField(0)->text(), " ...");
    EXPECT_EQ(d->OpacityField(1)->text(), " ...");
    EXPECT_EQ(d->MaskCombo()->itemText(1), "outer");
    EXPECT_TRUE(d->DisplayBox(1)->isEnabled());
    EXPECT_FALSE(Screen(d, "display-properties").empty());
    // A second command raises the open dialog.
    EXPECT_EQ(ShowDisplayProperties(*w.view), d);

    d->OpacityField(2)->setText("abc");
    QString message;
    OnModal([&](QWidget* box) {
        if (auto* m = qobject_cast<QMessageBox*>(box)) message = m->text();
        box->close();
    });
    d->accept();
    EXPECT_EQ(message, "Invalid opacity related value");
    EXPECT_TRUE(d->isVisible());
    // " ..." fields are accepted and keep each slice's own value.
    d->OpacityField(2)->setText("0");
    QPointer<DisplayPropertiesDialog> alive(d);
    d->accept();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
    EXPECT_EQ(w.doc->propertyDialogCount, 0);
    EXPECT_FLOAT_EQ(iron->Child(2)->spec.shown.opacity[0], 0.3f);
    EXPECT_FLOAT_EQ(iron->Child(7)->spec.shown.opacity[0], 0.05f);
}

TEST(DisplayPropertiesDialog, ControlsChangeTheTreeAndCancelPutsItBack) {
    Window w;
    TreeNode* iron = w.Channel("Iron");
    w.Select({iron});
    DisplayPropertiesDialog* d = ShowDisplayProperties(*w.view);
    ASSERT_NE(d, nullptr);
    const DispSpec before = iron->Child(3)->spec;
    d->StatsBox(4)->click();  // N
    EXPECT_NE(iron->Child(3)->label.find("n="), std::string::npos);
    d->IncLowerBox()->click();
    EXPECT_EQ(iron->Child(3)->spec.shown.includeFlags & 2, 2);
    d->MaskBox()->click();
    EXPECT_TRUE(d->MaskCombo()->isEnabled());
    d->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(d));
    d->OpacityField(3)->setFocus();
    d->OpacityField(3)->setText("40");
    d->Button("Cancel")->setFocus();  // leaving the field applies it
    QCoreApplication::processEvents();
    EXPECT_FLOAT_EQ(iron->Child(3)->spec.shown.opacity[3], 0.4f);
    EXPECT_TRUE(d->Button("Restore Opacity")->isEnabled());
    d->reject();
    EXPECT_TRUE(iron->Child(3)->spec.SameContent(before));
    EXPECT_EQ(iron->Child(3)->label.find("n="), std::string::npos);
}

TEST(DisplayPropertiesDialog, AValueTypedAndConfirmedWithEnterIsKept) {
    Window w;
    TreeNode* iron = w.Channel("Iron");
    w.Select({iron});
    DisplayPropertiesDialog* d = ShowDisplayProperties(*w.view);
    ASSERT_NE(d, nullptr);
    QPointer<DisplayPropertiesDialog> alive(d);
    d->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(d));
    d->OpacityField(3)->setFocus();
    d->OpacityField(3)->selectAll();
    QTest::keyClicks(d->OpacityField(3), "35");
    QTest::keyClick(d->OpacityField(3), Qt::Key_Return);  // the default button: OK
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(alive.isNull());
    for (int i = 0; i < 20; i += 7) EXPECT_FLOAT_EQ(iron->Child(i)->spec.shown.opacity[3], 0.35f) << i;
}

TEST(DisplayPropertiesDialog, BoundariesAndDocumentsWithoutThem) {
    Window w;
    w.Select({w.Channel("outer")});
    DisplayPropertiesDialog* d = ShowDisplayProperties(*w.view);
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->DisplayBox(1)->isEnabled());
    EXPECT_FALSE(d->DisplayBox(2)->isEnabled());
    EXPECT_FALSE(d->Button("RO Colour...")->isEnabled());
    EXPECT_FALSE(d->Button("ERR Colour...")->isEnabled());
    d->reject();

    Window plain(false);
    DisplayPropertiesDialog* p = ShowDisplayProperties(*plain.view);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->MaskCombo()->count(), 1);
    EXPECT_EQ(p->MaskCombo()->currentText(), "<None exist>");
    EXPECT_FALSE(p->MaskBox()->isEnabled());
    EXPECT_FALSE(p->MaskCombo()->isEnabled());
    p->reject();
}

TEST(DisplayPropertiesDialog, DeletedItemsAreDroppedAndTheLastOneCloses) {
    Window w;
    w.Select({w.Channel("ct_1")});
    QPointer<DisplayPropertiesDialog> d = ShowDisplayProperties(*w.view);
    ASSERT_FALSE(d.isNull());
    ASSERT_EQ(w.doc->DeleteChannels({"ct_1"}, true), std::vector<std::string>{"ct_1"});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(d.isNull());
    EXPECT_EQ(w.doc->propertyDialogCount, 0);

    // The same while the Data Colour dialog is open over the items.
    w.Select({w.Channel("Iron")});
    d = ShowDisplayProperties(*w.view);
    ASSERT_FALSE(d.isNull());
    OnModal([&](QWidget* box) {
        auto* c = qobject_cast<DatcolPropertiesDialog*>(box);
        ASSERT_NE(c, nullptr);
        c->SetColourKind(2);
        ASSERT_EQ(w.doc->DeleteChannels({"Iron"}, true), std::vector<std::string>{"Iron"});
        if (c->isVisible()) c->reject();  // the display dialog should have ended it already
    });
    d->OpenDataColour();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(d.isNull());
    EXPECT_EQ(w.doc->propertyDialogCount, 0);
}

TEST(DisplayPropertiesDialog, DataColourDialogForEveryKind) {
    Window w;
    TreeNode* iron = w.Channel("Iron");
    w.Select({iron});
    DisplayPropertiesDialog* d = ShowDisplayProperties(*w.view);
    ASSERT_NE(d, nullptr);
    d->Model().title = "doc: Iron: Display Properties";
    // Through the button: choose the spectrum and keep it.
    OnModal([&](QWidget* box) {
        auto* c = qobject_cast<DatcolPropertiesDialog*>(box);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->windowTitle(), "doc: Iron: Data Colour");
        const char* names[] = {"data-colour-single", "data-colour-bits", "data-colour-spectrum",
                               "data-colour-values"};
        for (int k : {1, 3, 0, 2}) {
            c->SetColourKind(k);
            EXPECT_EQ(iron->Child(4)->spec.shown.colourKind, k);  // written while the dialog is open
            EXPECT_FALSE(Screen(c, names[k]).empty());
        }
        c->accept();
    });
    d->OpenDataColour();
    EXPECT_EQ(d->Model().ColourKind(), 2);
    EXPECT_TRUE(d->Button("Restore Colours")->isEnabled());
    EXPECT_FALSE(Screen(d, "display-properties-spectrum").empty());
    // Cancelled: the kind goes back to what the Data Colour dialog found.
    OnModal([&](QWidget* box) {
        auto* c = qobject_cast<DatcolPropertiesDialog*>(box);
        c->pickColour = [](std::uint32_t& colour) {
            colour = 0x0000FF;
            return true;
        };
        c->SetColourKind(1);
        c->EntryTable(true)->cellClicked(2, 1);
        EXPECT_EQ(iron->Child(0)->spec.shown.bitSpec.colours[2], 0x0000FFu);
        c->reject();
    });
    d->OpenDataColour();
    EXPECT_EQ(iron->Child(0)->spec.shown.colourKind, 2);
    EXPECT_NE(iron->Child(0)->spec.shown.bitSpec.colours[2], 0x0000FFu);
    d->reject();
    EXPECT_EQ(iron->Child(0)->spec.shown.colourKind, 0);
}

// The opacity column holds a spin box in every row: the wheel over it scrolls the table and
// changes no opacity, unless the spin box was clicked first.
TEST(DisplayPropertiesDialog, TheWheelOverTheOpacityColumnScrollsTheTable) {
    Window w;
    w.Select({w.Channel("Iron")});
    DisplayPropertiesDialog* d = ShowDisplayProperties(*w.view);
    ASSERT_NE(d, nullptr);
    OnModal([&](QWidget* box) {
        auto* c = qobject_cast<DatcolPropertiesDialog*>(box);
        ASSERT_NE(c, nullptr);
        c->SetColourKind(1);
        QTableWidget* table = c->EntryTable(true);
        c->resize(c->width(), 260);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return table->isVisible() && table->verticalScrollBar()->maximum() > 0; }));
        int changes = 0;
        std::vector<int> values;
        for (int r = 0; r < table->rowCount(); ++r) {
            auto* spin = qobject_cast<QSpinBox*>(table->cellWidget(r, 2));
            ASSERT_NE(spin, nullptr);
            values.push_back(spin->value());
            QObject::connect(spin, &QSpinBox::valueChanged, [&changes] { ++changes; });
        }
        auto* first = static_cast<QSpinBox*>(table->cellWidget(0, 2));
        const QPoint at = first->mapTo(table->viewport(), first->rect().center());
        test::WheelNotches(table->viewport(), at, 10);
        EXPECT_EQ(table->verticalScrollBar()->value(), table->verticalScrollBar()->maximum());
        test::WheelNotches(table->viewport(), at, -10);
        EXPECT_EQ(table->verticalScrollBar()->value(), 0);
        EXPECT_EQ(changes, 0);
        for (int r = 0; r < table->rowCount(); ++r)
            EXPECT_EQ(static_cast<QSpinBox*>(table->cellWidget(r, 2))->value(),
                      values[static_cast<std::size_t>(r)]);
        // Clicked, the spin box takes the wheel.
        c->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(c));
        QTest::mouseClick(first, Qt::LeftButton, Qt::NoModifier, QPoint(8, first->height() / 2));
        ASSERT_TRUE(first->hasFocus());
        test::WheelNotches(first, first->rect().center(), first->value() > first->minimum() ? 1 : -1);
        EXPECT_EQ(changes, 1);
        c->reject();
    });
    d->OpenDataColour();
    d->reject();
}

TEST(DisplayPropertiesDialog, TreeMenuOpensItOnceAndItGoesWithTheTree) {
    Window w;
    w.Select({w.Channel("Iron")});
    TreeCommands& commands = w.view->Commands();
    ASSERT_TRUE(commands.IsEnabled(treecmd::kDisplayPropertiesChan));
    ASSERT_TRUE(commands.Execute(treecmd::kDisplayPropertiesChan));
    QPointer<DisplayPropertiesDialog> d = OpenDisplayProperties(*w.view);
    ASSERT_FALSE(d.isNull());
    EXPECT_EQ(d->windowTitle().toStdString(), w.doc->GetTitle() + ": Channel 'Iron' Display Properties");
    EXPECT_EQ(d->Model().Items(), TreeItems{w.Channel("Iron")});
    // While it is open the display commands are refused.
    EXPECT_FALSE(commands.IsEnabled(treecmd::kDisplayPropertiesRoot));
    d->reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(d.isNull());
    EXPECT_TRUE(commands.IsEnabled(treecmd::kDisplayPropertiesRoot));

    w.Select({w.Channel("Iron")->Child(2), w.Channel("Iron")->Child(3)});
    ASSERT_TRUE(commands.Execute(treecmd::kDisplayPropertiesSlice));
    d = OpenDisplayProperties(*w.view);
    ASSERT_FALSE(d.isNull());
    EXPECT_EQ(d->Model().Items().size(), 2u);
    // The window closes with the dialog open: the dialog goes with it.
    w.view.reset();
    EXPECT_TRUE(d.isNull());
    EXPECT_EQ(w.doc->propertyDialogCount, 0);
}

}  // namespace
}  // namespace zun
