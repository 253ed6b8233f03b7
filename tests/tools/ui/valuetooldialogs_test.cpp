// The threshold, set-data and map dialogs driven by the keyboard and mouse over a real document,
// with their screenshots.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QtTest/QTest>
#include <filesystem>

#include "model/rulelist.h"
#include "tools/ui/mapchanneldialog.h"
#include "tools/ui/setdatadialogui.h"
#include "tools/ui/thresholddialog.h"
#include "tools/valuetoolsfixture.h"
#include "uitest.h"

namespace zun {
namespace {

using Lines = std::vector<std::string>;

QApplication& App() {
    return test::UiApp();
}
using test::Retype;
using test::Screenshot;

std::vector<imtype> Words(ValueToolsFixture& f, const char* name) {
    return {f.Words(name), f.Words(name) + f.Count()};
}

struct DialogFixture : ValueToolsFixture {
    DialogFixture() : ValueToolsFixture({8, 6, 4}) {
        App();
        for (std::int64_t i = 0; i < Count(); ++i) Words("ct")[i] = static_cast<imtype>((i * 97) % 16384);
    }
};

TEST(ValueToolDialogs, ThresholdRowsSpinAndApply) {
    DialogFixture f;
    CThresholdSegmentation seg;
    ASSERT_EQ(seg.Prepare(f.doc, "ct", f.Index("ct")), 0);
    ThresholdSegmentationDialog dlg(seg);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(dlg.windowTitle(), "Threshold segmentation for channel: ct");
    EXPECT_EQ(dlg.Edit(1, false)->text(), "0.33333");
    EXPECT_TRUE(dlg.ApplyButton()->isEnabled());
    EXPECT_TRUE(dlg.Progress()->isHidden());
    // Typing row 1's lower above its upper drags both neighbours; the spin arrows step by 0.01.
    Retype(dlg.Edit(1, false), "0.8");
    EXPECT_EQ(dlg.Edit(1, true)->text(), "0.8");
    // Each keystroke counts: while "0.4" is typed, "0" drags row 0's upper threshold to 0.
    Retype(dlg.Edit(1, false), "0.4");
    EXPECT_EQ(dlg.Edit(0, true)->text(), "0");
    QTest::mouseClick(dlg.SpinButton(1, false, true), Qt::LeftButton);
    EXPECT_EQ(dlg.Edit(1, false)->text(), "0.41");
    // The physical unit shows the channel's range 0..2.
    QTest::mouseClick(dlg.PhysicalUnit(), Qt::LeftButton);
    EXPECT_FALSE(dlg.ImageUnit()->isChecked());
    EXPECT_EQ(dlg.Edit(1, false)->text(), "0.82");
    Screenshot(&dlg, "threshold-segmentation");

    QTest::mouseClick(dlg.ApplyButton(), Qt::LeftButton);
    EXPECT_FALSE(dlg.ApplyButton()->isEnabled());
    EXPECT_EQ(dlg.Progress()->value(), 100);
    EXPECT_EQ(f.hints.Take(), (Lines{"2 Stats 0 all"}));
    for (std::int64_t i = 0; i < f.Count(); ++i) {
        const float x = (f.Words("ct")[i] & 0x3FFF) / 16383.0f;
        EXPECT_EQ(f.Words("A")[i] & 0x3FFF, x >= 0.41 && x < 0.8 ? 16383 : 0) << i;
        EXPECT_EQ(f.Words("Void")[i] & 0x3FFF, 0) << i;
    }
    QTest::mouseClick(dlg.CloseButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), 8);
}

TEST(ValueToolDialogs, SetDataTypedAppliedAndCancelled) {
    DialogFixture f;
    SetDataRequest r;
    ASSERT_TRUE(f.doc.PrepareSetData({"ct"}, r));
    CChanSetData data(f.doc, r);
    ChanSetDataDialog dlg(data);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    // Active, as the user's dialog is: the focus leaving an edit is what checks it.
    dlg.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&dlg));
    EXPECT_EQ(dlg.windowTitle(), "Channel 'ct' Set Data");
    EXPECT_EQ(dlg.FormatOption(2)->text(), "Physical units (0 to 2)");
    EXPECT_TRUE(dlg.FormatOption(1)->isChecked());
    EXPECT_FALSE(dlg.ValueEdit(CChanSetData::kFrom)->isEnabled());
    EXPECT_FALSE(dlg.ApplyButton()->isEnabled());

    // An invalid offset is set back when the focus leaves it.
    Retype(dlg.OffsetEdit(0), "x1");
    QTest::keyClick(dlg.OffsetEdit(0), Qt::Key_Tab);
    EXPECT_EQ(dlg.OffsetEdit(0)->text(), "0");
    EXPECT_EQ(f.Messages(), (Lines{"Invalid numeric entry"}));
    // Raw value 100 into slice 2 only, with the read-only flag.
    test::ClickBox(dlg.FormatOption(0));
    EXPECT_EQ(dlg.Group()->title(), "Conditional Action based on Existing Raw Data Range");
    Retype(dlg.ValueEdit(CChanSetData::kValue), "100");
    test::ClickBox(dlg.ApplyCheck(0));
    test::ClickBox(dlg.ReadOnlyValue());
    test::ClickBox(dlg.ApplyCheck(1));
    Retype(dlg.OffsetEdit(2), "2");
    Retype(dlg.RangeEdit(2), "1");
    EXPECT_TRUE(dlg.ApplyButton()->isEnabled());
    Screenshot(&dlg, "set-data");
    QTest::mouseClick(dlg.ApplyButton(), Qt::LeftButton);
    EXPECT_FALSE(dlg.ApplyButton()->isEnabled());
    const std::int64_t plane = 8 * 6;
    for (std::int64_t i = 0; i < f.Count(); ++i)
        EXPECT_EQ(f.Words("ct")[i], i / plane == 2 ? 0x4000 | 100 : (i * 97) % 16384) << i;
    EXPECT_TRUE(f.Chan("ct").GetSlice(2)->imported);
    EXPECT_EQ(f.hints.Take(), (Lines{"0 ImportSlice ct:2 imported 0", "2 Stats 0 all"}));

    // A new edit then Cancel writes nothing more.
    const auto before = Words(f, "ct");
    Retype(dlg.ValueEdit(CChanSetData::kValue), "5");
    QTimer::singleShot(2000, &dlg, &QDialog::reject);  // never hang
    QTest::keyClick(&dlg, Qt::Key_Escape);
    EXPECT_EQ(dlg.result(), QDialog::Rejected);
    EXPECT_EQ(Words(f, "ct"), before);
    EXPECT_TRUE(f.hints.Take().empty());
}

TEST(ValueToolDialogs, MapRowsHideAndOkRuns) {
    DialogFixture f;
    MapDataSpec spec;
    spec.inputChannel = f.Index("ct");
    spec.outputChannel = f.Index("B");
    MapChannelDataDialog dlg(nullptr, f.doc, spec);
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(dlg.windowTitle(), "Map [ct] channel data to channel [B]:");
    EXPECT_TRUE(dlg.ValueEdit(false)->isHidden());  // "Do nothing" by default
    EXPECT_EQ(dlg.BoundaryCombo()->count(), 2);
    dlg.ActionCombo(false)->setCurrentIndex(0);
    Q_EMIT dlg.ActionCombo(false)->activated(0);
    EXPECT_FALSE(dlg.ValueEdit(false)->isHidden());
    Retype(dlg.RuleEdit(), ">=8192");
    Retype(dlg.ValueEdit(true), "16383");
    Retype(dlg.ValueEdit(false), "0");
    Screenshot(&dlg, "map-channel-data");

    // A refused combination keeps the dialog open and the data as it was.
    const auto before = Words(f, "B");
    dlg.ActionCombo(true)->setCurrentIndex(1);
    Q_EMIT dlg.ActionCombo(true)->activated(1);
    dlg.KindCombo(true)->setCurrentIndex(2);
    Q_EMIT dlg.KindCombo(true)->activated(2);
    EXPECT_EQ(dlg.Run(), 7);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(Words(f, "B"), before);
    EXPECT_EQ(f.Messages(), (Lines{"Invalid output channel or other values (7 ,1, 2)."}));
    // So does a rule or a value with no number in it: the texts stay as typed.
    dlg.ActionCombo(true)->setCurrentIndex(0);
    Q_EMIT dlg.ActionCombo(true)->activated(0);
    Retype(dlg.RuleEdit(), "<<<garbage");
    EXPECT_EQ(dlg.Run(), kRuleNoNumber);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.RuleEdit()->text(), "<<<garbage");
    Retype(dlg.RuleEdit(), ">=8192");
    Retype(dlg.ValueEdit(false), "abc");
    EXPECT_EQ(dlg.Run(), MapChannelData::kBadElseValue);
    EXPECT_EQ(dlg.ValueEdit(false)->text(), "abc");
    Retype(dlg.ValueEdit(false), "0");
    EXPECT_EQ(Words(f, "B"), before);
    EXPECT_EQ(f.Messages(),
              (Lines{"Error (13) in defining input channel data value.", "Invalid else value \"abc\"."}));
    // Neither row can change a voxel: refused as an empty rule list is, the note as it was.
    f.Chan("B").note = "earlier note";
    Retype(dlg.RuleEdit(), ">=0");
    for (bool match : {true, false}) {
        dlg.ActionCombo(match)->setCurrentIndex(MapDataSpec::kDoNothing);
        Q_EMIT dlg.ActionCombo(match)->activated(MapDataSpec::kDoNothing);
    }
    EXPECT_TRUE(dlg.ValueEdit(true)->isHidden());
    EXPECT_EQ(dlg.Run(), kRuleEmpty);
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(f.Messages(), (Lines{mapmsg::kNoRules}));
    EXPECT_EQ(f.Chan("B").note, "earlier note");
    EXPECT_EQ(Words(f, "B"), before);
    Retype(dlg.RuleEdit(), ">=8192");
    dlg.ActionCombo(false)->setCurrentIndex(0);
    Q_EMIT dlg.ActionCombo(false)->activated(0);

    dlg.ActionCombo(true)->setCurrentIndex(0);
    Q_EMIT dlg.ActionCombo(true)->activated(0);
    dlg.KindCombo(true)->setCurrentIndex(0);
    Q_EMIT dlg.KindCombo(true)->activated(0);
    Retype(dlg.ValueEdit(true), "16383");
    QTest::mouseClick(dlg.OkButton(), Qt::LeftButton);
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    for (std::int64_t i = 0; i < f.Count(); ++i)
        EXPECT_EQ(f.Words("B")[i], f.Words("ct")[i] >= 8192 ? 16383 : 0) << i;
    EXPECT_EQ(spec.ruleText[0], ">=8192");
    EXPECT_EQ(spec.elseAction, MapDataSpec::kReplace);
}

}  // namespace
}  // namespace zun
