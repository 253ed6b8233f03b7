#include "view3d/treelayers.h"

#include <gtest/gtest.h>

#include "model/sample.h"
#include "tree/displaytree.h"
#include "view3d/selectionlayers.h"

namespace zun {
namespace {

// A sample of two compositions and a boundary, its tree built with the default display state.
struct Fixture {
    ZunImage sample{true};
    DisplayTree tree;
    Fixture() {
        sample.Resize(Dims{5, 4, 6});
        sample.InsertChan(ZunChan::kComposition, 0, "Void", 0x0000FF);
        sample.InsertChan(ZunChan::kComposition, 1, "Iron", 0x00FF00);
        sample.InsertChan(ZunChan::kBoundary, 2, "bound_1", 0xFF0000);
        for (int c = 0; c < sample.GetChanCount(); ++c) {
            imtype* d = sample.GetChan(c)->Data();
            for (std::uint64_t i = 0; i < sample.GetNumVoxels(); ++i)
                d[i] = static_cast<imtype>((i * (37 + 11 * c)) % 16384);
        }
        tree.Build(sample, "test");
        // Both compositions show their data in their own colour.
        for (int c = 0; c < 2; ++c)
            for (int z = 0; z < 6; ++z) {
                DispSpec& s = tree.Channel(c)->Child(z)->spec;
                s.shown.displayItems = DispSpec::kItemData;
                s.shown.colourKind = 0;
                s.shown.displayColours = {c ? 0x00FF00u : 0x0000FFu, 0x00FFFFu, 0xFF00FFu};
                s.shown.opacity = {0, 1, 0, 1};
            }
    }
};

TEST(TreeDisplayLayers, FillMatchesTheTreesOwnCompositeVoxelByVoxel) {
    Fixture f;
    // Slice 3 of both compositions is hidden: view slice 3 must be cleared.
    for (int c = 0; c < 2; ++c) f.tree.Channel(c)->Child(3)->spec.shown.displayItems = 0;
    TreeDisplayLayers layers(f.tree, f.sample);
    const Dims& d = f.sample.GetDims();
    std::vector<disptype> vol(f.sample.GetNumVoxels(), 0xFFFFFFFFu);
    EXPECT_EQ(FillDisplayVolume(kFillAll, layers, d, vol.data(), d, 3), 5);
    for (int z = 0; z < d[2]; ++z) {
        SliceLayers slice;
        CollectSliceLayers(f.tree, f.sample, z, slice);
        for (int y = 0; y < d[1]; ++y)
            for (int x = 0; x < d[0]; ++x) {
                const std::size_t i = (static_cast<std::size_t>(z) * d[1] + y) * d[0] + x;
                std::uint8_t want[4] = {0, 0, 0, 0};
                if (z != 3) CompositeAt(slice, i, want);
                const disptype w = want[0] | (want[1] << 8) | (want[2] << 16) | (disptype(want[3]) << 24);
                ASSERT_EQ(vol[i], w) << x << "," << y << "," << z;
            }
    }
}

// The fill reads each slice's colours from tables shared among slices displayed alike; slices of
// every colour kind, alternating settings and a channel's return to an earlier setting must all
// still give the colour worked out voxel by voxel.
TEST(TreeDisplayLayers, SharedColourTablesGiveEachSlicesOwnColours) {
    Fixture f;
    for (int z = 0; z < 6; ++z) {
        DispSpec::Displayed& a = f.tree.Channel(0)->Child(z)->spec.shown;
        a.colourKind = z % 3 == 0 ? 2 : z % 3 == 1 ? 3 : 1;
        a.multiSpec.AssignDefault();
        a.valueSpec.AssignDefault();
        a.bitSpec.AssignDefault();
        a.opacity = {0.1f, 0.8f, 0.2f, 0.9f};
        DispSpec::Displayed& b = f.tree.Channel(1)->Child(z)->spec.shown;
        b.opacity = z % 2 ? std::vector<float>{0.3f, 0.6f, 0.0f, 1.0f} : std::vector<float>{0, 1, 0, 1};
        b.displayItems = DispSpec::kItemData | DispSpec::kItemRo;
        b.includeFlags = z == 4 ? 2 : 16;
    }
    TreeDisplayLayers layers(f.tree, f.sample);
    const Dims& d = f.sample.GetDims();
    std::vector<disptype> vol(f.sample.GetNumVoxels(), 0);
    FillDisplayVolume(kFillAll, layers, d, vol.data(), d, 2);
    for (int z = 0; z < d[2]; ++z) {
        SliceLayers slice;
        CollectSliceLayers(f.tree, f.sample, z, slice);
        for (std::size_t i = static_cast<std::size_t>(z) * d[0] * d[1];
             i < static_cast<std::size_t>(z + 1) * d[0] * d[1]; ++i) {
            std::uint8_t want[4] = {0, 0, 0, 0};
            CompositeAt(slice, i, want);
            const disptype w = want[0] | (want[1] << 8) | (want[2] << 16) | (disptype(want[3]) << 24);
            ASSERT_EQ(vol[i], w) << "voxel " << i << " of slice " << z;
        }
    }
}

TEST(TreeDisplayLayers, AReducedViewTakesTheLastDisplayedSliceBetweenViewSlices) {
    Fixture f;
    // Only slice 2 of Iron shows; slices 0 and 1 and the whole of Void are hidden.
    for (int z = 0; z < 6; ++z) {
        f.tree.Channel(0)->Child(z)->spec.shown.displayItems = 0;
        if (z != 2) f.tree.Channel(1)->Child(z)->spec.shown.displayItems = 0;
    }
    TreeDisplayLayers layers(f.tree, f.sample);
    const Dims view{5, 4, 2};  // view slices take sample slices 0 and 5
    std::vector<disptype> vol(5 * 4 * 2);
    EXPECT_EQ(FillDisplayVolume(kFillAll, layers, f.sample.GetDims(), vol.data(), view, 2), 1);
    int shown = 0;
    for (int i = 0; i < 20; ++i) shown += (vol[i] >> 24) != 0;
    EXPECT_GT(shown, 0);
    for (int i = 20; i < 40; ++i) EXPECT_EQ(vol[i], 0u);
}

// A grid with an empty axis still has slice items; filling a view of one voxel on that axis
// must read no voxel of the channels, which hold none.
TEST(TreeDisplayLayers, AGridWithAnEmptyAxisDrawsNothing) {
    ZunImage sample{true};
    sample.Resize(Dims{32767, 0, 24});
    sample.InsertChan(ZunChan::kComposition, 0, "Void", 0x0000FF);
    DisplayTree tree;
    tree.Build(sample, "empty");
    ASSERT_EQ(tree.Channel(0)->ChildCount(), 24);
    for (int z = 0; z < 24; ++z) {
        DispSpec& s = tree.Channel(0)->Child(z)->spec;
        s.shown.displayItems = DispSpec::kItemData;
        s.shown.colourKind = 0;
        s.shown.opacity = {0, 1, 0, 1};
    }
    TreeDisplayLayers layers(tree, sample);
    const Dims view{64, 1, 24};
    std::vector<disptype> vol(64 * 24, 0xFFFFFFFFu);
    EXPECT_EQ(FillDisplayVolume(kFillAll, layers, sample.GetDims(), vol.data(), view, 2), 0);
    for (disptype v : vol) ASSERT_EQ(v, 0u);
}

// The channel and slice scene exports fill a volume of the kept items only: every kept voxel as
// the whole tree shows it, every other one transparent black.
TEST(SelectionLayers, KeepOnlyTheSelectedChannelsOrSlices) {
    Fixture f;
    const Dims& d = f.sample.GetDims();
    std::vector<disptype> all(f.sample.GetNumVoxels());
    {
        TreeDisplayLayers layers(f.tree, f.sample);
        FillDisplayVolume(kFillAll, layers, d, all.data(), d, 2);
    }
    auto fill = [&](const SliceSelection& keep) {
        TreeDisplayLayers layers(f.tree, f.sample);
        SelectionLayers kept(layers, keep);
        std::vector<disptype> vol(f.sample.GetNumVoxels(), 0xFFFFFFFFu);
        const int shown = FillDisplayVolume(kFillAll, kept, d, vol.data(), d, 2);
        return std::make_pair(shown, vol);
    };
    // Iron alone: its colour only (green), never Void's blue.
    const auto [ironShown, iron] = fill(SelectChannels(f.sample, {"Iron", "no such channel"}));
    EXPECT_EQ(ironShown, 6);
    std::size_t lit = 0;
    for (disptype t : iron) {
        EXPECT_EQ(t & 0xFF, 0u);
        if (t >> 24) ++lit;
    }
    EXPECT_GT(lit, iron.size() / 2);

    // Slices 1 and 4 of both compositions: those view slices as the whole tree shows them, the others empty.
    const std::vector<ChanSliceRecord> picked{
        {"Void", 1}, {"Iron", 1}, {"Void", 4}, {"Iron", 4}, {"Iron", 99}};
    const auto [sliceShown, slices] = fill(SelectSlices(f.sample, picked));
    EXPECT_EQ(sliceShown, 2);
    const std::size_t plane = static_cast<std::size_t>(d[0]) * d[1];
    for (std::size_t i = 0; i < slices.size(); ++i) {
        const int z = static_cast<int>(i / plane);
        ASSERT_EQ(slices[i], (z == 1 || z == 4) ? all[i] : 0u) << i;
    }

    // Nothing kept: nothing shows, and the export refuses before writing.
    EXPECT_FALSE(SelectsAnything(SelectChannels(f.sample, {})));
    EXPECT_FALSE(SelectsAnything(SelectSlices(f.sample, {{"Iron", 6}})));
    EXPECT_EQ(fill(SelectChannels(f.sample, {"bound_1"})).first, 0);
}

}  // namespace
}  // namespace zun
