#include "view3d/displayfill.h"

#include <gtest/gtest.h>

#include "view3d/sceneexport.h"
#include "view3d/updatehints.h"

namespace zun {
namespace {

std::uint8_t Byte(disptype t, int i) {
    return static_cast<std::uint8_t>(t >> (8 * i));
}

TEST(IndexMap, EqualSizesMapToThemselvesAndReducedSizesEndAtTheLastVoxel) {
    const auto same = BuildIndexMap(37, 37);
    for (int i = 0; i < 37; ++i) EXPECT_EQ(same[i], i);
    const auto quarter = BuildIndexMap(256, 64);
    EXPECT_EQ(quarter[0], 0);
    EXPECT_EQ(quarter[1], 4);
    EXPECT_EQ(quarter[62], 248);
    EXPECT_EQ(quarter[63], 255);
    const auto up = BuildIndexMap(2, 5);
    EXPECT_EQ(up, (std::vector<int>{0, 0, 1, 1, 1}));
    EXPECT_TRUE(BuildIndexMap(10, 0).empty());
}

// Records what the fill asked for, so that the choice of items can be checked.
class ProbeLayers : public DisplayLayers {
public:
    ProbeLayers(int channels, std::vector<std::vector<int>> shown) : n_(channels), shown_(std::move(shown)) {}
    int ChannelCount() const override { return n_; }
    int PrepareSlice(int c, int z) override {
        for (int s : shown_[c])
            if (s == z) return 1;
        return 0;
    }
    void CompositeRow(int, const int* slices, int, int, const int*, int count, disptype* out) const override {
        for (int i = 0; i < count; ++i) out[i] = 0xFF000000u | static_cast<disptype>(slices[0] + 1);
    }

private:
    int n_;
    std::vector<std::vector<int>> shown_;
};

TEST(DisplayFill, SlicesBetweenViewSlicesAreSearchedForDisplayedItems) {
    // 64 view slices over 256 sample slices: only sample slices 1 and 2 are displayed, and the
    // last of them colours view slice 0.
    ProbeLayers layers(1, {{1, 2}});
    const Dims sample{2, 2, 256}, view{2, 2, 64};
    const DisplayFillPlan plan = PrepareDisplayFill(layers, sample, view);
    EXPECT_EQ(plan.counts[0], 2);
    EXPECT_EQ(plan.slices[0], 2);
    EXPECT_EQ(plan.counts[1], 0);
    std::vector<disptype> vol(2 * 2 * 64, 0xDEADBEEFu);
    EXPECT_EQ(FillDisplayVolume(kFillAll, layers, sample, vol.data(), view, 4), 1);
    EXPECT_EQ(vol[0], 0xFF000003u);
    // A view slice without displayed items is cleared to transparent black.
    for (std::size_t i = 4; i < vol.size(); ++i) ASSERT_EQ(vol[i], 0u) << i;
    EXPECT_EQ(FillDisplayVolume(kFillClear, layers, sample, vol.data(), view, 2), 0);
    EXPECT_EQ(vol[0], 0u);
}

TEST(DisplayFill, AtFullSizeEachViewSliceShowsOnlyItsOwnItem) {
    // Slice 3 hidden between displayed neighbours stays hidden.
    ProbeLayers layers(1, {{0, 1, 2, 4, 5}});
    const Dims d{1, 1, 6};
    const DisplayFillPlan plan = PrepareDisplayFill(layers, d, d);
    EXPECT_EQ(plan.slices, (std::vector<int>{0, 1, 2, -1, 4, 5}));
    EXPECT_EQ(plan.counts, (std::vector<int>{1, 1, 1, 0, 1, 1}));
}

TEST(DisplayFill, AGridWithAnEmptyAxisIsClearedWithoutReadingIt) {
    ProbeLayers layers(1, {{0, 1, 2, 3}});
    const Dims sample{8, 0, 4}, view{8, 1, 4};
    const DisplayFillPlan plan = PrepareDisplayFill(layers, sample, view);
    EXPECT_EQ(plan.counts, (std::vector<int>{0, 0, 0, 0}));
    EXPECT_EQ(plan.slices, (std::vector<int>{-1, -1, -1, -1}));
    std::vector<disptype> vol(8 * 4, 0xDEADBEEFu);
    EXPECT_EQ(FillDisplayVolume(kFillAll, layers, sample, vol.data(), view, 2), 0);
    for (disptype v : vol) ASSERT_EQ(v, 0u);
}

std::vector<imtype> Ramp(const Dims& d) {
    std::vector<imtype> v(static_cast<std::size_t>(d[0]) * d[1] * d[2]);
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<imtype>((i * 97) % 16384);
    return v;
}

TEST(DisplayFill, SingleColourCompositeAndMixing) {
    const Dims d{4, 1, 1};
    std::vector<imtype> red{16383, 0, 16383, 8000};
    std::vector<imtype> blue{16383, 0, 0, 0};
    ChannelColourLayers::Channel r;
    r.data = red.data();
    r.colour = 0x0000FF;
    ChannelColourLayers::Channel b;
    b.data = blue.data();
    b.colour = 0xFF0000;
    ChannelColourLayers layers(d, {r, b});
    std::vector<disptype> out(4);
    EXPECT_EQ(FillDisplayVolume(kFillAll, layers, d, out.data(), d, 1), 1);
    // Two opaque layers, pure red and pure blue: full red and full blue, not half of each.
    EXPECT_EQ(Byte(out[0], 0), 255);
    EXPECT_EQ(Byte(out[0], 1), 0);
    EXPECT_EQ(Byte(out[0], 2), 255);
    EXPECT_EQ(Byte(out[0], 3), 255);
    EXPECT_EQ(out[1], 0u);  // value 0: transparent black
    EXPECT_EQ(out[2], 0xFF0000FFu);
    EXPECT_EQ(Byte(out[3], 3), static_cast<int>(8000 * 255 / 16383.0 + 0.49));
}

TEST(DisplayFill, EqualThresholdsMakeAStepAndMasksHide) {
    const Dims d{3, 1, 1};
    std::vector<imtype> v{100, 9000, 16383};
    std::vector<imtype> mask{1, 1, 0};
    ChannelColourLayers::Channel c;
    c.data = v.data();
    c.low = c.high = 0.5f;
    c.opacityLow = 0.2f;
    c.opacityHigh = 1.0f;
    c.mask = mask.data();
    ChannelColourLayers layers(d, {c});
    std::vector<disptype> out(3);
    FillDisplayVolume(kFillAll, layers, d, out.data(), d, 1);
    EXPECT_EQ(out[0], 0u);  // below the threshold
    EXPECT_EQ(Byte(out[1], 3), 255);
    EXPECT_EQ(out[2], 0u);  // masked out
}

TEST(DisplayFill, ResultDoesNotDependOnTheThreadCountOrTheReduction) {
    const Dims sample{31, 17, 23}, view{19, 11, 13};
    auto a = Ramp(sample), b = Ramp(sample);
    for (auto& x : b) x = static_cast<imtype>(16383 - x);
    ChannelColourLayers::Channel ca, cb;
    ca.data = a.data();
    ca.colour = 0x00FF8000;
    cb.data = b.data();
    cb.colour = 0x000080FF;
    cb.slicesShown.assign(23, 0);
    for (int z = 0; z < 23; z += 3) cb.slicesShown[z] = 1;
    ChannelColourLayers layers(sample, {ca, cb});
    std::vector<disptype> one(19 * 11 * 13), eight(one.size());
    const int n1 = FillDisplayVolume(kFillAll, layers, sample, one.data(), view, 1);
    const int n8 = FillDisplayVolume(kFillAll, layers, sample, eight.data(), view, 8);
    EXPECT_EQ(n1, 13);
    EXPECT_EQ(n1, n8);
    EXPECT_EQ(one, eight);
}

TEST(DisplayVolume, ResizesAndRefusesNegativeExtentsWithoutLosingItsSize) {
    DisplayVolume v;
    EXPECT_EQ(v.GetNumVoxels(), 0u);
    EXPECT_EQ(v.Data(), nullptr);
    EXPECT_EQ(v.Resize(Dims{4, 5, 6}), 1);
    EXPECT_EQ(v.GetNumVoxels(), 120u);
    ASSERT_NE(v.Data(), nullptr);
    v.Data()[119] = 7;
    EXPECT_EQ(v.Resize(Dims{4, 5, 6}), 0);
    EXPECT_EQ(v.Resize(Dims{2, 2, 2}), 1);
    EXPECT_EQ(v.GetDims(), (Dims{2, 2, 2}));
}

TEST(UpdateDecision, TableOfBits) {
    EXPECT_FALSE(DecideUpdate(0).refresh);
    EXPECT_FALSE(DecideUpdate(0).rebuild);
    EXPECT_FALSE(DecideUpdate(4).refresh);  // statistics only
    EXPECT_FALSE(DecideUpdate(4).rebuild);
    EXPECT_TRUE(DecideUpdate(1).refresh);
    EXPECT_FALSE(DecideUpdate(1).rebuild);
    for (unsigned bit : {2u, 8u, 16u, 32u, 64u, 128u}) {
        EXPECT_TRUE(DecideUpdate(bit).rebuild) << bit;
        EXPECT_TRUE(DecideUpdate(bit | 4).rebuild) << bit;
    }
    EXPECT_TRUE(DecideUpdate(18).rebuild);
    EXPECT_FALSE(DecideUpdate(256).rebuild);
    // A pure data update after a fill that showed nothing keeps the volume as it is.
    EXPECT_FALSE(ShouldRefill(2, 1000, 0));
    EXPECT_FALSE(ShouldRefill(2 | 4 | 1, 1000, 0));
    EXPECT_TRUE(ShouldRefill(2, 1000, 5));
    EXPECT_TRUE(ShouldRefill(2 | 8, 1000, 0));
    EXPECT_TRUE(ShouldRefill(16, 1000, -1));
    EXPECT_FALSE(ShouldRefill(16, 0, 5));
}

TEST(SceneExport, ExtensionChoosesTheWritingAndTheImageSitsBesideTheScene) {
    EXPECT_EQ(ClassifySceneExport("/a/b/scene.osgb"), SceneExportKind::BinaryWithImage);
    EXPECT_EQ(ClassifySceneExport("/a/b/scene.osgt"), SceneExportKind::SceneAndImage);
    EXPECT_EQ(ClassifySceneExport("/a/b/scene.OSG"), SceneExportKind::SceneAndImage);
    EXPECT_EQ(ClassifySceneExport("x.osgx"), SceneExportKind::SceneAndImage);
    EXPECT_EQ(ClassifySceneExport("/a/b/vol.dds"), SceneExportKind::ImageOnly);
    EXPECT_EQ(ClassifySceneExport("/a/b.osg/scene"), SceneExportKind::Unsupported);
    EXPECT_EQ(ClassifySceneExport("/a/scene.png"), SceneExportKind::Unsupported);
    EXPECT_EQ(SceneImageFileName("/a/b/scene.osgt"), "scene.dds");
    EXPECT_EQ(SceneImagePath("/a/b/scene.v2.osgt"), "/a/b/scene.v2.dds");
}

}  // namespace
}  // namespace zun
