#include "view3d/runanimation.h"

#include <gtest/gtest.h>

#include <string>

#include "model/sample.h"
#include "tree/displaytree.h"
#include "view3d/treelayers.h"

namespace zun {
namespace {

// A sample whose second composition "Iron" fills every voxel, its tree, and a view volume of the
// sample's size: the window as the animation sees it.
struct Window : RunAnimationHost {
    ZunImage sample{true};
    DisplayTree tree;
    DisplayVolume volume;
    SliceStepping stepping{tree};
    RefreshQueue queue;
    int refreshes = 0;
    std::vector<RunAnimationFrame> frames;
    RunAnimation anim{stepping, queue, *this};

    explicit Window(Dims dims = {6, 5, 8}) {
        sample.Resize(dims);
        sample.InsertChan(ZunChan::kComposition, 0, "Void", 0x0000FF);
        sample.InsertChan(ZunChan::kComposition, 1, "Iron", 0x00FF00);
        imtype* d = sample.GetChan(1)->Data();
        for (std::uint64_t i = 0; i < sample.GetNumVoxels(); ++i) d[i] = 16383;
        tree.Build(sample, "doc");
        volume.Resize(dims);
        anim.delay = 10;
        anim.threads = 2;
        anim.onFrame = [this](const RunAnimationFrame& f) { frames.push_back(f); };
        tree.FindChannel("Iron")->selected = true;
    }
    DisplayVolume& Volume() override { return volume; }
    Dims SampleDims() const override { return sample.GetDims(); }
    std::unique_ptr<DisplayLayers> MakeLayers() override {
        return std::make_unique<TreeDisplayLayers>(tree, sample);
    }
    void RefreshVolume() override { ++refreshes; }

    // Per view slice along z: '#' when every texel shows something, '.' when none does, '?' else.
    std::string Slices() const {
        const Dims& d = volume.GetDims();
        const std::size_t plane = static_cast<std::size_t>(d[0]) * d[1];
        std::string out;
        for (int k = 0; k < d[2]; ++k) out += Pattern(k * plane, plane, 1);
        return out;
    }
    // The same along y (mode 5) or x (mode 6), over every slice.
    std::string Rows() const {
        std::string out;
        const Dims& d = volume.GetDims();
        for (int y = 0; y < d[1]; ++y) {
            int shown = 0, n = 0;
            for (int k = 0; k < d[2]; ++k)
                for (int x = 0; x < d[0]; ++x, ++n) shown += At(x, y, k) >> 24 ? 1 : 0;
            out += shown == n ? '#' : shown == 0 ? '.' : '?';
        }
        return out;
    }
    std::string Columns() const {
        std::string out;
        const Dims& d = volume.GetDims();
        for (int x = 0; x < d[0]; ++x) {
            int shown = 0, n = 0;
            for (int k = 0; k < d[2]; ++k)
                for (int y = 0; y < d[1]; ++y, ++n) shown += At(x, y, k) >> 24 ? 1 : 0;
            out += shown == n ? '#' : shown == 0 ? '.' : '?';
        }
        return out;
    }
    disptype At(int x, int y, int k) const {
        const Dims& d = volume.GetDims();
        return volume.Data()[(static_cast<std::size_t>(k) * d[1] + y) * d[0] + x];
    }
    std::string Pattern(std::size_t from, std::size_t count, std::size_t stride) const {
        std::size_t shown = 0;
        for (std::size_t i = 0; i < count; ++i) shown += volume.Data()[from + i * stride] >> 24 ? 1 : 0;
        return shown == count ? "#" : shown == 0 ? "." : "?";
    }
    // Ticks until the animation is idle; the number of ticks.
    int RunToEnd() {
        int ticks = 0;
        while (anim.Tick() >= 0 && ticks < 1000) ++ticks;
        return ticks;
    }
    void FillWhole() {
        for (std::uint64_t i = 0; i < volume.GetNumVoxels(); ++i) volume.Data()[i] = 0xFF00FF00u;
    }
};

TEST(RunAnimation, FillInKeepsEarlierSlicesAndEndsWithAllOfThem) {
    Window w;
    w.FillWhole();  // what was shown before: cleared by the run's first step
    ASSERT_TRUE(w.anim.Request(kAnimFillIn));
    EXPECT_FALSE(w.anim.Request(kAnimStepThrough));  // refused while one runs
    EXPECT_TRUE(w.stepping.IsAnimating());
    EXPECT_EQ(w.anim.Tick(), 0);
    EXPECT_EQ(w.Slices(), "........");
    EXPECT_EQ(w.anim.Tick(), 10);
    EXPECT_EQ(w.anim.Tick(), 10);
    EXPECT_EQ(w.anim.Tick(), 10);
    EXPECT_EQ(w.Slices(), "###.....");
    ASSERT_EQ(w.frames.size(), 3u);
    EXPECT_EQ(w.frames[2].step, 3);
    EXPECT_EQ(w.frames[2].steps, 8);
    EXPECT_EQ(w.frames[2].mode, kAnimFillIn);
    w.RunToEnd();
    EXPECT_EQ(w.Slices(), "########");
    EXPECT_FALSE(w.anim.Running());
    EXPECT_FALSE(w.stepping.IsAnimating());
    EXPECT_EQ(w.anim.LastResult(), 8);
    // One refresh for the clearing, one per drawn slice.
    EXPECT_EQ(w.refreshes, 9);
    // The stepped slices stay shown; ending the stepping gives them back their own state.
    EXPECT_FALSE(w.stepping.Empty());
    EXPECT_EQ(w.anim.Tick(), -1);
}

TEST(RunAnimation, StepThroughShowsOneSliceThenTheWholeVolume) {
    Window w;
    ASSERT_TRUE(w.anim.Request(kAnimStepThrough));
    for (int i = 0; i < 6; ++i) w.anim.Tick();
    EXPECT_EQ(w.Slices(), "....#...");
    w.RunToEnd();
    EXPECT_EQ(w.Slices(), "########");
    EXPECT_EQ(w.frames.size(), 8u);
    EXPECT_EQ(w.anim.LastResult(), 8);
}

TEST(RunAnimation, AnEmptyStepSetOnlyEndsTheAnimating) {
    Window w;
    w.tree.FindChannel("Iron")->selected = false;
    w.FillWhole();
    ASSERT_TRUE(w.anim.Request(kAnimFillIn));
    EXPECT_TRUE(w.stepping.Empty());
    EXPECT_EQ(w.anim.Tick(), -1);
    EXPECT_FALSE(w.stepping.IsAnimating());
    EXPECT_TRUE(w.frames.empty());
    EXPECT_EQ(w.Slices(), "########");
}

TEST(SteppedDisplayFill, ViewSlicesWithoutDisplayedItemsAreClearedWithoutAStep) {
    const Dims dims{4, 3, 6};
    std::vector<imtype> data(4 * 3 * 6, 16383);
    ChannelColourLayers::Channel ch;
    ch.data = data.data();
    ch.slicesShown = {1, 0, 0, 1, 1, 0};
    ChannelColourLayers layers(dims, {ch});
    for (int mode : {kAnimFillIn, kAnimStepThrough, kAnimFillFromRight}) {
        DisplayVolume volume;
        volume.Resize(dims);
        for (std::uint64_t i = 0; i < volume.GetNumVoxels(); ++i) volume.Data()[i] = 0xFFFFFFFFu;
        SteppedDisplayFill fill(
            mode, layers, dims, [&]() -> DisplayVolume& { return volume; }, 2);
        int steps = 0;
        while (fill.Next()) ++steps;
        std::string slices;
        for (int k = 0; k < 6; ++k) slices += volume.Data()[k * 12 + 5] == 0 ? '.' : '#';
        EXPECT_EQ(fill.StepCount(), steps) << mode;
        if (mode == kAnimFillIn) {
            EXPECT_EQ(slices, "#..##.");
            EXPECT_EQ(steps, 3);
            EXPECT_EQ(fill.Result(), 3);
        } else if (mode == kAnimStepThrough) {
            EXPECT_EQ(slices, "....#.");
        } else {
            EXPECT_EQ(slices, "#..##.");
            EXPECT_EQ(steps, 3);
            EXPECT_EQ(fill.Result(), 9);
        }
    }
}

TEST(RunAnimation, RowsAndColumnsFillInFromTheRightAndTheTop) {
    Window w;
    ASSERT_TRUE(w.anim.Request(kAnimFillFromRight));
    for (int i = 0; i < 3; ++i) w.anim.Tick();
    EXPECT_EQ(w.Rows(), "##...");
    EXPECT_EQ(w.RunToEnd(), 3);  // the last rows and the end of the run
    EXPECT_EQ(w.Rows(), "#####");
    EXPECT_EQ(w.anim.LastResult(), 8 * 5);
    EXPECT_EQ(w.frames.back().steps, 5);

    w.stepping.End();
    ASSERT_TRUE(w.anim.Request(kAnimFillFromTop));
    for (int i = 0; i < 4; ++i) w.anim.Tick();
    EXPECT_EQ(w.Columns(), "###...");
    w.RunToEnd();
    EXPECT_EQ(w.Columns(), "######");
}

TEST(RunAnimation, QueuedRequestsRunOnceWithTheLastMode) {
    Window w;
    w.stepping.Begin(true);
    w.stepping.SetAnimating(true);
    w.anim.RequestRefresh(kAnimFillIn);
    w.anim.RequestRefresh(kAnimStepThrough);
    w.anim.RequestRefresh(kAnimFillFromTop);
    w.RunToEnd();
    ASSERT_EQ(w.frames.size(), 6u);
    for (const auto& f : w.frames) EXPECT_EQ(f.mode, kAnimFillFromTop);

    // A request that comes while a run draws is carried out after it, not left waiting.
    w.frames.clear();
    w.stepping.SetAnimating(true);
    w.anim.RequestRefresh(kAnimFillIn);
    w.anim.Tick();
    w.anim.Tick();
    w.anim.RequestRefresh(kAnimFillFromRight);
    w.RunToEnd();
    EXPECT_EQ(w.frames.back().mode, kAnimFillFromRight);
}

TEST(RunAnimation, AVolumeRebuiltOrATreeReshapedStopsTheRun) {
    Window w;
    ASSERT_TRUE(w.anim.Request(kAnimFillIn));
    w.anim.Tick();
    w.anim.Tick();
    ASSERT_EQ(w.volume.Resize(Dims{3, 3, 4}), 1);
    EXPECT_EQ(w.anim.Tick(), -1);
    EXPECT_FALSE(w.anim.Running());
    // The view left the new volume to the run: it is filled whole.
    EXPECT_EQ(w.Slices(), "####");

    Window v;
    ASSERT_TRUE(v.anim.Request(kAnimStepThrough));
    v.anim.Tick();
    v.anim.Tick();
    v.stepping.Forget();
    EXPECT_EQ(v.anim.Tick(), -1);
    EXPECT_FALSE(v.anim.Running());
    EXPECT_FALSE(v.stepping.IsAnimating());
    EXPECT_EQ(v.frames.size(), 1u);
    EXPECT_EQ(v.Slices(), "########");
}

}  // namespace
}  // namespace zun
