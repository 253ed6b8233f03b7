#include <gtest/gtest.h>

#include "dochelpers.h"
#include "model/voxelword.h"

namespace zun {
namespace {

using Lines = std::vector<std::string>;

struct SetDataFixture : DocFixture {
    SetDataFixture() {
        doc.ResizeVolume({4, 3, 2}, {0, 0, 0});
        doc.InsertChannel(1, 1, "ct");
        doc.InsertChannel(3, 2, "edge");
        doc.GetSample().FindChan("ct")->range = {0.0f, 2.0f};
        imtype* w = doc.GetSample().FindChan("ct")->Data();
        for (int v = 0; v < 24; ++v) w[v] = static_cast<imtype>(v % 3 == 0 ? 0 : 100 * v);
        hints.Take();
        doc.SetModifiedFlag(false);
    }
    const imtype* Words(const char* name) { return doc.GetSample().FindChan(name)->Data(); }
};

TEST(SetData, RequestDefaultsAndTheEmptyGrid) {
    DocFixture empty;
    SetDataRequest r;
    EXPECT_FALSE(empty.doc.PrepareSetData({"Void"}, r));
    EXPECT_EQ(empty.Messages(), (Lines{"Must have a non-zero volume before setting data"}));

    SetDataFixture f;
    ASSERT_TRUE(f.doc.PrepareSetData({"ct"}, r));
    EXPECT_EQ(r.caption, "Channel 'ct' Set Data");
    EXPECT_EQ(r.ranges, (std::array<std::uint32_t, 3>{4, 3, 2}));
    EXPECT_EQ(r.format, SetDataRequest::kNormalised);
    EXPECT_TRUE(r.physicalAvailable);
    EXPECT_EQ(r.maximum, 2.0f);
    EXPECT_FALSE(r.boundarySelected);
    ASSERT_TRUE(f.doc.PrepareSetData({"ct", "edge"}, r));
    EXPECT_EQ(r.caption, "Multiple Channels Set Data");
    EXPECT_FALSE(r.physicalAvailable);  // the two ranges differ
    EXPECT_TRUE(r.boundarySelected);
}

TEST(SetData, WritesTheChosenPartsIntoTheBox) {
    SetDataFixture f;
    SetDataRequest r;
    f.doc.PrepareSetData({"ct"}, r);
    // Conditional raw 0..0: only the zero voxels of the box (x 1..3, y 0..2, z 1) change.
    r.format = SetDataRequest::kRaw;
    r.conditional = true;
    r.from = r.to = 0;
    r.value = 77;
    r.applyData = true;
    r.offsets = {1, 0, 1};
    r.ranges = {0, 9, 0};  // rest of x, y clipped, rest of z
    EXPECT_TRUE(f.doc.ApplySetData(r));
    for (int v = 0; v < 24; ++v) {
        const int x = v % 4, z = v / 12;
        const imtype old = static_cast<imtype>(v % 3 == 0 ? 0 : 100 * v);
        EXPECT_EQ(f.Words("ct")[v], x >= 1 && z == 1 && old == 0 ? 77 : old) << v;
    }
    EXPECT_EQ(f.hints.Take(), (Lines{"2 Stats 0 all"}));
    EXPECT_TRUE(f.doc.IsModified());

    // Only the read-only flag, everywhere: values stay, slices are marked and the tree is told.
    SetDataRequest ro;
    f.doc.PrepareSetData({"ct"}, ro);
    ro.readOnly = true;
    ro.applyReadOnly = true;
    EXPECT_TRUE(f.doc.ApplySetData(ro));
    EXPECT_EQ(f.Words("ct")[5], 0x4000 | 500);
    EXPECT_EQ(f.hints.Take(), (Lines{"0 ImportSlice ct:0 ct:1 imported 0", "2 Stats 0 all"}));
    ro.readOnly = false;
    EXPECT_TRUE(f.doc.ApplySetData(ro));
    EXPECT_EQ(f.Words("ct")[5], 500);
    EXPECT_EQ(f.hints.Take(), (Lines{"0 ClearSlice ct:0 ct:1", "2 Stats 0 all"}));

    // Normalised 0.5 on the range 0..2 is the physical 1.0.
    SetDataRequest half;
    f.doc.PrepareSetData({"ct"}, half);
    half.value = 0.5f;
    half.applyData = true;
    EXPECT_TRUE(f.doc.ApplySetData(half));
    imtype expect = 0;
    VoxelWordFromPhysical(expect, 1.0f, 2.0f, 0.0f);
    EXPECT_EQ(f.Words("ct")[23], expect);

    // A boundary takes any positive value as inside.
    SetDataRequest b;
    f.doc.PrepareSetData({"edge"}, b);
    b.format = SetDataRequest::kPhysical;
    b.value = 0.25f;
    b.applyData = true;
    EXPECT_TRUE(f.doc.ApplySetData(b));
    EXPECT_EQ(f.Words("edge")[0], 16383);

    // A box that starts outside the grid changes nothing: no hint, not modified.
    f.hints.Take();
    f.doc.SetModifiedFlag(false);
    b.offsets = {4, 0, 0};
    EXPECT_FALSE(f.doc.ApplySetData(b));
    EXPECT_TRUE(f.hints.Take().empty());
    EXPECT_FALSE(f.doc.IsModified());
}

}  // namespace
}  // namespace zun
