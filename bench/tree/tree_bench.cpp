// Figures for the document tree: statistics of a whole channel, change-hint handling on a large
// tree, and voxel compositing.
//
// usage: bench_tree [size] [channels] [slices]   (default 512, 20, 2000)

#include <omp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <memory>
#include <vector>

#include "model/sample.h"
#include "tree/composite.h"
#include "tree/displaystate.h"
#include "tree/treehints.h"
#include "tree/treestats.h"

using namespace zun;

namespace {

using Clock = std::chrono::steady_clock;

double BestSeconds(int repeats, const std::function<void()>& before, const std::function<void()>& f) {
    double best = 1e30;
    for (int i = 0; i < repeats; ++i) {
        before();
        auto t0 = Clock::now();
        f();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

// Processor time of the calling thread: on a busy machine the wall clock undersells one thread.
double ThreadSeconds(const std::function<void()>& f) {
    timespec a{}, b{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &a);
    f();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &b);
    return static_cast<double>(b.tv_sec - a.tv_sec) + 1e-9 * static_cast<double>(b.tv_nsec - a.tv_nsec);
}

void FillRamp(ZunChan* c, unsigned step) {
    const std::size_t n = c->GetNumVoxels();
    std::uint16_t* d = c->Data();
    for (std::size_t i = 0; i < n; ++i) d[i] = static_cast<std::uint16_t>((i * step) % 16384);
}

void Statistics(int size) {
    ZunImage sample(true);
    sample.Resize(Dims{size, size, size});
    sample.InsertChan(ZunChan::kComposition, 0, "Void", 0xFF);
    sample.InsertChan(ZunChan::kComposition, 1, "Iron", 0xFF00);
    sample.InsertChan(ZunChan::kBoundary, 2, "bound_1", 0xFF0000);
    FillRamp(sample.FindChan("Iron"), 7);
    ZunChan* b = sample.FindChan("bound_1");
    for (std::size_t i = 0; i < b->GetNumVoxels(); ++i) b->Data()[i] = (i % 3) ? 16383 : 0;
    DisplayTree tree;
    tree.Build(sample, "bench");
    TreeNode* iron = tree.FindChannel("Iron");
    auto again = [&] { ResetStatisticsOfSubtree(iron); };
    const double plain = BestSeconds(3, again, [&] { RefreshItemLabelsOfSubtree(tree, iron); });
    again();
    const double cpu = ThreadSeconds([&] { RefreshItemLabelsOfSubtree(tree, iron); });
    BoundaryMaskFamily::SetOfSubtree(tree, iron, {1, "bound_1"});
    const double masked = BestSeconds(3, again, [&] { RefreshItemLabelsOfSubtree(tree, iron); });
    const double mib = static_cast<double>(iron->ChildCount()) * size * size * 2 / (1 << 20);
    std::printf(
        "statistics of a %d^3 channel, one thread: %.1f ms (%.0f MiB/s; %.1f ms of processor time), "
        "with a mask %.1f ms\n",
        size, plain * 1e3, mib / plain, cpu * 1e3, masked * 1e3);
}

void Hints(int channels, int slices) {
    ZunImage sample(true);
    sample.Resize(Dims{2, 2, slices});
    sample.InsertChan(ZunChan::kComposition, 0, "Void", 0xFF);
    for (int c = 1; c < channels; ++c)
        sample.InsertChan(c % 3 == 0 ? ZunChan::kXrayCt : ZunChan::kComposition, c,
                          "chan_" + std::to_string(c), 0x100 * c);
    DisplayTree tree;
    auto t0 = Clock::now();
    tree.Build(sample, "bench");
    const double build = std::chrono::duration<double>(Clock::now() - t0).count();
    std::printf("tree of %d channels x %d slices (%zu items): build %.1f ms\n", channels, slices,
                tree.ItemCount(), build * 1e3);
    auto time = [&](const char* what, const std::function<void()>& f) {
        auto s = Clock::now();
        f();
        std::printf("  %-44s %8.2f ms\n", what,
                    std::chrono::duration<double>(Clock::now() - s).count() * 1e3);
    };
    // The sample's own edits are timed apart: the tree's share is what this measures.
    time("(sample: insert 10 slices)", [&] { sample.InsertSlices(slices / 2, 10); });
    time("insert 10 slices in the middle", [&] {
        InsertSliceMod h(static_cast<std::uint32_t>(slices / 2), 10);
        ApplyChangeHint(tree, kHintStructure, &h);
    });
    std::vector<std::uint32_t> numbers;
    for (int k = 0; k < 100; ++k) numbers.push_back(static_cast<std::uint32_t>(slices - 1 - 17 * k));
    time("(sample: delete 100 slices)", [&] {
        std::vector<int> idx(numbers.begin(), numbers.end());
        sample.DeleteSlices(idx);
    });
    time("delete 100 non-adjacent slices", [&] {
        DeleteSliceMod h(numbers);
        ApplyChangeHint(tree, kHintStructure, &h);
    });
    time("reverse one channel", [&] {
        ReverseSliceMod h("chan_1", static_cast<std::uint32_t>(tree.FindChannel("chan_1")->ChildCount()));
        ApplyChangeHint(tree, kHintData, &h);
    });
    time("statistics of every item (StatsMod)", [&] {
        StatsMod h;
        ApplyChangeHint(tree, kHintData, &h);
    });
    const TreeItems all{tree.Root()};
    time("display dialog opens: save every field", [&] { SaveDisplayState(all); });
    time("set opacity on everything and merge up", [&] {
        OpacityFamily::SetOfItems(tree, all, {0.1f, 0.9f, 0, 1});
        OpacityFamily::UpdateAncestorOfItems(tree, all);
        (void)OpacityFamily::GetOfItems(all);
    });
    TreeItems slicesOfAll;
    for (auto& c : tree.Root()->children)
        for (auto& s : c->children) slicesOfAll.push_back(s.get());
    time("set bit colours on every slice and merge up", [&] {
        DatcolBitSpec b = BitColoursFamily::GetOfItems(slicesOfAll);
        b.colours[3] = 0x123456;
        BitColoursFamily::SetOfItems(tree, slicesOfAll, b);
        BitColoursFamily::UpdateAncestorOfItems(tree, slicesOfAll);
    });
    time("cancel: restore every changed field", [&] { RestoreDisplayState(tree, all); });
}

void Compositing(int size) {
    ZunImage sample(true);
    sample.Resize(Dims{size, size, 4});
    sample.InsertChan(ZunChan::kComposition, 0, "Void", 0xFF);
    sample.InsertChan(ZunChan::kComposition, 1, "Iron", 0x0000FF);
    sample.InsertChan(ZunChan::kXrayCt, 2, "ct_1", 0x00FF00);
    sample.InsertChan(ZunChan::kProperty, 3, "prop_1", 0xFF0000);
    sample.InsertChan(ZunChan::kBoundary, 4, "bound_1", 0xFFFF00);
    for (int c = 1; c < 5; ++c) FillRamp(sample.GetChan(c), 3 + 2 * c);
    DisplayTree tree;
    tree.Build(sample, "bench");
    // Four displayed channels: single colour, spectrum, value colours, and one through a mask.
    DisplayItemsFamily::SetOfSubtree(tree, tree.FindChannel("ct_1"), 1);
    ColourKindFamily::SetOfSubtree(tree, tree.FindChannel("ct_1"), 2);
    DisplayItemsFamily::SetOfSubtree(tree, tree.FindChannel("prop_1"), 1);
    ColourKindFamily::SetOfSubtree(tree, tree.FindChannel("prop_1"), 3);
    DisplayItemsFamily::SetOfSubtree(tree, tree.FindChannel("Void"), 1);
    BoundaryMaskFamily::SetOfSubtree(tree, tree.FindChannel("Void"), {1, "bound_1"});
    SliceLayers layers;
    CollectSliceLayers(tree, sample, 1, layers);
    const std::size_t plane = static_cast<std::size_t>(size) * size;
    std::vector<std::uint8_t> out(plane * 4);
    for (int threads : {1, 2, 4, 8}) {
        const double s = BestSeconds(
            3, [] {},
            [&] {
#pragma omp parallel for num_threads(threads) schedule(static)
                for (std::int64_t i = 0; i < static_cast<std::int64_t>(plane); ++i)
                    CompositeAt(layers, plane + static_cast<std::size_t>(i),
                                &out[static_cast<std::size_t>(i) * 4]);
            });
        std::printf("compositing, 4 displayed channels, %d thread(s): %.1f M voxels/s\n", threads,
                    plane / s / 1e6);
    }
    // On a busy machine the wall clock undersells one thread: its processor time as well.
    timespec a{}, b{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &a);
    for (std::size_t i = 0; i < plane; ++i) CompositeAt(layers, plane + i, &out[i * 4]);
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &b);
    const double cpu =
        static_cast<double>(b.tv_sec - a.tv_sec) + 1e-9 * static_cast<double>(b.tv_nsec - a.tv_nsec);
    std::printf("compositing, one thread, per processor second: %.1f M voxels/s\n", plane / cpu / 1e6);
}

}  // namespace

int main(int argc, char** argv) {
    const int size = argc > 1 ? std::atoi(argv[1]) : 512;
    const int channels = argc > 2 ? std::atoi(argv[2]) : 20;
    const int slices = argc > 3 ? std::atoi(argv[3]) : 2000;
    Statistics(size);
    Hints(channels, slices);
    Compositing(std::max(size, 1024));
    return 0;
}
