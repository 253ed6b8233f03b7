// The grid, channel-name and device dialogs driven by the keyboard, with their screenshots.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest/QTest>
#include <filesystem>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "platform/prompt.h"
#include "tools/ui/chanpropertiesdialog.h"
#include "tools/ui/renamechanneldialog.h"
#include "tools/ui/samplegriddialog.h"
#include "tools/ui/selectgpudialog.h"
#include "uitest.h"

namespace zun {
namespace {

QApplication& App() {
    return test::UiApp();
}
using test::Screenshot;

void Retype(QLineEdit* e, const QString& text) {
    e->selectAll();
    QTest::keyClick(e, Qt::Key_Delete);
    QTest::keyClicks(e, text);
}

std::string LastMessage(const HeadlessPrompt& p) {
    const auto r = p.Requests();
    return r.empty() ? std::string() : r.back().text;
}

TEST(ToolDialogs, SampleGridTypedByKeyboard) {
    App();
    HeadlessPrompt prompt;
    SetupSampleGrid grid({30, 30, 30}, {1, 1e-6, 1e-6, 1e-6}, true);
    grid.caption = "rock Setup Sample Grid";
    SampleGridDialog dlg(grid, prompt);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(dlg.windowTitle(), "rock Setup Sample Grid");
    EXPECT_EQ(dlg.CountLine()->text(), "Total number of voxels is 27000");
    EXPECT_EQ(dlg.PhysicalEdit(1)->text(), "1e-06");
    // The count line follows every keystroke and turns orange for a large grid.
    Retype(dlg.SizeEdit(0), "2048");
    Retype(dlg.SizeEdit(1), "2048");
    Retype(dlg.SizeEdit(2), "512");
    EXPECT_EQ(dlg.CountLine()->text(), "Large number of voxels 2147483648");
    EXPECT_EQ(dlg.CountLine()->palette().color(QPalette::WindowText), QColor(255, 128, 0));
    Screenshot(&dlg, "sample-grid");
    // A refused OK keeps the dialog open with the typed values.
    QTest::keyClick(dlg.SizeEdit(2), Qt::Key_Return);
    EXPECT_EQ(LastMessage(prompt), "One or more requested gridSize dimensions are too large");
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.SizeEdit(0)->text(), "2048");
    Retype(dlg.SizeEdit(0), "40");
    Retype(dlg.SizeEdit(1), "20");
    // A size or offset is the whole field: "-3,5" is no -3, "1e309" no 1.
    const auto refused = [&](QLineEdit* edit, const char* text) {
        Retype(edit, text);
        QTest::keyClick(edit, Qt::Key_Return);
        EXPECT_EQ(LastMessage(prompt), "One or more numeric fields contain an invalid value") << text;
        EXPECT_TRUE(dlg.isVisible()) << text;
        EXPECT_EQ(grid.sizes, (std::array<std::uint32_t, 3>{30, 30, 30})) << text;
    };
    Retype(dlg.SizeEdit(2), "10");
    refused(dlg.OffsetEdit(2), "-3,5");
    Retype(dlg.OffsetEdit(2), "-3");
    refused(dlg.SizeEdit(2), "1e309");
    Retype(dlg.SizeEdit(2), "10 ");
    QTest::keyClick(dlg.OffsetEdit(2), Qt::Key_Return);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(grid.sizes, (std::array<std::uint32_t, 3>{40, 20, 10}));
    EXPECT_EQ(grid.offsets, (std::array<std::int32_t, 3>{0, 0, -3}));
}

TEST(ToolDialogs, ChannelNames) {
    App();
    RegisterDocumentClasses();
    HeadlessPrompt prompt;
    CZunDoc doc(DocServices{&prompt});
    doc.OnNewDocument();
    doc.ResizeVolume({3, 3, 2}, {0, 0, 0});
    doc.InsertChannel(0, 1, "Iron");
    const RenameChannelForm form(doc, 1);
    RenameChannelDialog rename(form, prompt);
    rename.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&rename));
    EXPECT_EQ(rename.windowTitle(), "Rename channel 'Iron'");
    EXPECT_EQ(rename.NameEdit()->text(), "Iron");
    QTest::mouseClick(rename.UseDefaultButton(), Qt::LeftButton);
    EXPECT_EQ(rename.NameEdit()->text(), "");
    QTest::keyClick(rename.NameEdit(), Qt::Key_Return);
    EXPECT_EQ(LastMessage(prompt), "Channel name cannot be empty");
    EXPECT_TRUE(rename.isVisible());
    QTest::keyClicks(rename.NameEdit(), "  Void ");
    QTest::keyClick(rename.NameEdit(), Qt::Key_Return);
    EXPECT_EQ(LastMessage(prompt), "Channel name 'Void' already exists");
    Retype(rename.NameEdit(), " Steel");
    QTest::keyClick(rename.NameEdit(), Qt::Key_Return);
    EXPECT_EQ(rename.result(), QDialog::Accepted);
    EXPECT_EQ(rename.NewName(), "Steel");

    ChanPropertiesDialog insert("Insert X-ray CT Channel", "ct_1", prompt);
    insert.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&insert));
    Screenshot(&insert, "channel-properties");
    Retype(insert.NameEdit(), "a{b}");
    QTest::keyClick(insert.NameEdit(), Qt::Key_Return);
    EXPECT_EQ(LastMessage(prompt), "Channel name cannot contain {}");
    EXPECT_TRUE(insert.isVisible());
    Retype(insert.NameEdit(), "ct_40keV");
    QTest::keyClick(insert.NameEdit(), Qt::Key_Return);
    EXPECT_EQ(insert.result(), QDialog::Accepted);
    EXPECT_EQ(insert.Name(), "ct_40keV");
}

TEST(ToolDialogs, DeviceThreadsEditedInPlace) {
    App();
    HeadlessPrompt prompt;
    ComputeDeviceSet set(8);
    DeviceSelection sel(set, {});
    sel.caption = "rock: Select Computation Devices";
    SelectGpuDialog dlg(sel, prompt);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    QTableWidget* t = dlg.Table();
    ASSERT_EQ(t->rowCount(), 1);
    EXPECT_EQ(t->item(0, 0)->text(), "CPU cores (8)");
    EXPECT_EQ(t->item(0, 1)->text(), "8");
    EXPECT_FALSE(dlg.SetDefaultButton()->isEnabled());
    // Edit the count in place: the focused row's cell, then Return.
    t->setCurrentCell(0, 1);
    t->editItem(t->item(0, 1));
    QLineEdit* editor = t->findChild<QLineEdit*>();
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, "10");
    ASSERT_EQ(editor->text(), "10");
    QTest::keyClick(editor, Qt::Key_Return);
    // The view commits the edit from its event queue.
    QApplication::processEvents();
    EXPECT_EQ(t->item(0, 1)->text(), "10");
    EXPECT_EQ(set.Devices()[0]->threadCount, 2);
    EXPECT_EQ(set.Devices()[7]->threadCount, 1);
    EXPECT_TRUE(dlg.SetDefaultButton()->isEnabled());
    Screenshot(&dlg, "select-devices");
    t->item(0, 1)->setText("abc");
    EXPECT_EQ(LastMessage(prompt), "Threads must be a non-negative integer");
    EXPECT_EQ(t->item(0, 1)->text(), "10");
    t->item(0, 1)->setText("0");
    dlg.accept();
    EXPECT_EQ(LastMessage(prompt), "At least one device with one thread must be enabled");
    EXPECT_TRUE(dlg.isVisible());
    QTest::mouseClick(dlg.SetDefaultButton(), Qt::LeftButton);
    EXPECT_EQ(t->item(0, 1)->text(), "8");
    dlg.accept();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace zun
