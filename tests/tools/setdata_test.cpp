#include <gtest/gtest.h>

#include "tools/setdatadialog.h"
#include "valuetoolsfixture.h"

namespace zun {
namespace {

using Lines = std::vector<std::string>;

struct SetDataDialogFixture : ValueToolsFixture {
    SetDataRequest Request(const std::vector<std::string>& names) {
        SetDataRequest r;
        EXPECT_TRUE(doc.PrepareSetData(names, r));
        return r;
    }
};

TEST(SetDataDialog, FormatLabelsAndThePhysicalOption) {
    SetDataDialogFixture f;
    CChanSetData one(f.doc, f.Request({"ct"}));
    EXPECT_TRUE(one.PhysicalAvailable());
    EXPECT_EQ(one.FormatLabel(0), "Raw fixed point (0 to 16383)");
    EXPECT_EQ(one.FormatLabel(1), "Normalized (0 to 1) ");
    EXPECT_EQ(one.FormatLabel(2), "Physical units (0 to 2)");
    EXPECT_EQ(one.GroupCaption(), "Action based on Existing Normalised Data Range");
    EXPECT_EQ(one.rangeText, (std::array<std::string, 3>{"4", "3", "2"}));
    EXPECT_EQ(one.valueText, (std::array<std::string, 3>{"0", "1", "0"}));
    EXPECT_TRUE(one.FlagsEnabled());
    EXPECT_FALSE(one.applyEnabled);

    // Mixed ranges, or one empty range, offer no physical format; a boundary disables the flags.
    CChanSetData mixed(f.doc, f.Request({"ct", "A", "edge"}));
    EXPECT_FALSE(mixed.PhysicalAvailable());
    EXPECT_EQ(mixed.FormatLabel(2), "(Physical format not available)");
    EXPECT_FALSE(mixed.FlagsEnabled());
    f.Chan("A").range = {3.0f, 3.0f};
    CChanSetData flat(f.doc, f.Request({"A"}));
    EXPECT_FALSE(flat.PhysicalAvailable());
    flat.ChooseFormat(SetDataRequest::kPhysical);
    EXPECT_EQ(flat.request.format, SetDataRequest::kNormalised);
}

TEST(SetDataDialog, EditsAreCheckedWhenLeft) {
    SetDataDialogFixture f;
    CChanSetData d(f.doc, f.Request({"ct"}));
    d.offsetText[1] = "12345678901";
    EXPECT_FALSE(d.LeaveBoxEdit(false, 1));
    d.rangeText[0] = "4294967296";
    EXPECT_FALSE(d.LeaveBoxEdit(true, 0));
    d.rangeText[2] = "-1";
    EXPECT_FALSE(d.LeaveBoxEdit(true, 2));
    EXPECT_EQ(f.Messages(), (Lines(3, "Invalid numeric entry")));
    EXPECT_EQ(d.offsetText[1], "0");
    EXPECT_EQ(d.rangeText[0], "4");
    d.rangeText[0] = "4294967295";
    EXPECT_TRUE(d.LeaveBoxEdit(true, 0));
    EXPECT_EQ(d.request.ranges[0], 4294967295u);

    d.valueText[CChanSetData::kValue] = "1.5";
    EXPECT_FALSE(d.LeaveValueEdit(CChanSetData::kValue));
    EXPECT_EQ(d.valueText[CChanSetData::kValue], "0");
    d.valueText[CChanSetData::kFrom] = "0.8";
    EXPECT_TRUE(d.LeaveValueEdit(CChanSetData::kFrom));
    d.valueText[CChanSetData::kTo] = "0.5";
    EXPECT_FALSE(d.LeaveValueEdit(CChanSetData::kTo));
    EXPECT_EQ(d.valueText[CChanSetData::kTo], "1");
    d.valueText[CChanSetData::kFrom] = "0.9";
    d.valueText[CChanSetData::kTo] = "0.85";
    EXPECT_FALSE(d.LeaveValueEdit(CChanSetData::kFrom));
    EXPECT_EQ(d.valueText[CChanSetData::kFrom], "0.8");
    d.ChooseFormat(SetDataRequest::kRaw);
    d.valueText[CChanSetData::kValue] = "12.5";
    EXPECT_FALSE(d.LeaveValueEdit(CChanSetData::kValue));
    d.ChooseFormat(SetDataRequest::kPhysical);
    d.valueText[CChanSetData::kValue] = "2.5";
    EXPECT_FALSE(d.LeaveValueEdit(CChanSetData::kValue));
    EXPECT_EQ(f.Messages(), (Lines{"Invalid normalised numeric entry", "To value must be >= From value",
                                   "From value must be <= To value", "Invalid raw numeric entry",
                                   "Invalid physical numeric entry"}));
}

TEST(SetDataDialog, FormatsConvertBothWays) {
    SetDataDialogFixture f;
    CChanSetData d(f.doc, f.Request({"ct"}));
    d.valueText = {"0.25", "1", "0.5"};
    d.ChooseFormat(SetDataRequest::kRaw);
    EXPECT_EQ(d.valueText, (std::array<std::string, 3>{"4096", "16383", "8192"}));
    EXPECT_EQ(d.GroupCaption(), "Conditional Action based on Existing Raw Data Range");
    d.ChooseFormat(SetDataRequest::kNormalised);
    EXPECT_EQ(d.valueText[2], "0.500031");  // 8192 / 16383
    d.ChooseFormat(SetDataRequest::kPhysical);
    EXPECT_EQ(d.valueText[1], "2");
    d.ChooseFormat(SetDataRequest::kRaw);
    EXPECT_EQ(d.valueText[1], "16383");
    d.ChooseFormat(SetDataRequest::kPhysical);
    EXPECT_EQ(d.valueText[0], "0.500031");  // 4096 raw on 0..2
}

TEST(SetDataDialog, ApplyWritesOnlyValidRequestsAndRoundTrips) {
    SetDataDialogFixture f;
    for (std::int64_t i = 0; i < f.Count(); ++i) f.Words("ct")[i] = static_cast<imtype>(i % 2 ? 0 : 1000);
    CChanSetData d(f.doc, f.Request({"ct"}));
    // Raw, conditional 0..0: only the zero voxels take the value.
    d.ChooseFormat(SetDataRequest::kRaw);
    d.request.conditional = true;
    d.request.applyData = true;
    d.valueText = {"0", "0", "77"};
    d.Changed();
    ASSERT_TRUE(d.Apply());
    EXPECT_FALSE(d.applyEnabled);
    for (std::int64_t i = 0; i < f.Count(); ++i) EXPECT_EQ(f.Words("ct")[i], i % 2 ? 77 : 1000) << i;
    EXPECT_EQ(f.hints.Take(), (Lines{"2 Stats 0 all"}));

    // A text refused on Apply writes nothing.
    const std::vector<imtype> before(f.Words("ct"), f.Words("ct") + f.Count());
    d.valueText[2] = "x";
    EXPECT_FALSE(d.Apply());
    EXPECT_EQ(std::vector<imtype>(f.Words("ct"), f.Words("ct") + f.Count()), before);
    EXPECT_TRUE(f.hints.Take().empty());

    // Only the read-only flag, in part of the grid: values stay, the x-partial box marks no slice.
    f.prompt.Clear();
    CChanSetData ro(f.doc, f.Request({"ct"}));
    ro.request.readOnly = ro.request.applyReadOnly = true;
    ro.offsetText[0] = "1";
    ASSERT_TRUE(ro.Apply());
    EXPECT_EQ(f.Words("ct")[1], 0x4000 | 77);
    EXPECT_EQ(f.Words("ct")[0], 1000);
    EXPECT_FALSE(f.Chan("ct").GetSlice(0)->imported);
    EXPECT_EQ(f.hints.Take(), (Lines{"0 ImportSlice imported 0", "2 Stats 0 all"}));
    // The rest of the x axis of slice 1 completes that slice: now it is marked.
    ro.offsetText = {"0", "0", "1"};
    ro.rangeText = {"1", "0", "0"};
    ASSERT_TRUE(ro.Apply());
    EXPECT_FALSE(f.Chan("ct").GetSlice(0)->imported);
    EXPECT_TRUE(f.Chan("ct").GetSlice(1)->imported);
    EXPECT_EQ(f.hints.Take(), (Lines{"0 ImportSlice ct:1 imported 0", "2 Stats 0 all"}));

    // Nothing changes: no hint and the document stays unmodified.
    f.doc.SetModifiedFlag(false);
    ASSERT_TRUE(ro.Apply());
    EXPECT_TRUE(f.hints.Take().empty());
    EXPECT_FALSE(f.doc.IsModified());
}

}  // namespace
}  // namespace zun
