// The data check and the segmentation as the steps run them (the whole volume in one parallel
// region), started once per slice as they were before, and the data check as the pipeline
// dispatches it over the device threads (chunks of 1024 voxels), on one thread and on T threads, on a phantom
// of random fractions with exact CT words: void and two materials, two CT channels. Prints the best of three
// runs and the speed-up over one thread measured in the same run.
//
//   bench_steps [size=256] [threads=usable processors] [busy]
//
// "busy" keeps half the usable processors spinning in other threads while it measures, as other
// programs on a shared machine would: the T-thread runs must still beat one thread.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include "compute/devices.h"
#include "compute/kernels.h"
#include "foundation/threadcount.h"

using namespace zun;
using namespace zun::zunlib;
using Clock = std::chrono::steady_clock;

namespace {

struct Phantom {
    ComputeLibParams p;
    std::vector<std::vector<std::uint16_t>> words, initial;
    std::vector<std::uint16_t*> ptrs;

    explicit Phantom(int size) {
        const int comp = 2, ct = 2, n = comp + 1;
        p.nx = p.ny = p.nz = size;
        p.comp = comp;
        p.ct = ct;
        p.matrix.assign(n, 1.0f);
        // Water and calcite at 20 and 60 keV (1/cm).
        for (float a : {0.0f, 0.81f, 15.44f, 0.0f, 0.206f, 1.019f}) p.matrix.push_back(a);
        p.matrixRowMax.assign(ct + 1, 0.0f);
        p.channelAtten.assign(n + ct, {0.0f, 1.0f});
        p.ctAccuracy.assign(ct + 1, 0.0f);
        for (int j = 1; j <= ct; ++j) {
            for (int i = 0; i < n; ++i) p.matrixRowMax[j] = std::max(p.matrixRowMax[j], p.Matrix(j, i));
            p.channelAtten[comp + j] = {0.0f, 1.2f * p.matrixRowMax[j]};
            p.ctAccuracy[j] = 6.714277e-5f * p.channelAtten[comp + j][1];
        }
        p.compTolerance.assign(n, 1);
        p.dlsSelfEnergy.assign(n, 0.0f);
        p.dlsZeroOffset.assign(n, std::vector<float>(ct + 1, 0.0f));
        p.dlsMultiplier.assign(n, std::vector<float>(ct + 1, 1.0f));
        p.ctChannelUsed.assign(ct + 1, true);
        const std::size_t voxels = std::size_t(size) * size * size;
        words.assign(n + ct, std::vector<std::uint16_t>(voxels));
        std::mt19937 rng(1);
        std::uniform_real_distribution<double> U(0.0, 1.0);
        double f[3];
        for (std::size_t v = 0; v < voxels; ++v) {
            double s = 0;
            for (double& x : f) s += (x = -std::log(U(rng) + 1e-12));
            // Every 64th voxel has a fixed fraction: the check has something to correct.
            for (int i = 0; i < n; ++i)
                words[i][v] = static_cast<std::uint16_t>(std::lround(f[i] / s * 16383) |
                                                         (v % 64 == 0 && i == 1 ? 0x4000 : 0));
            for (int j = 1; j <= ct; ++j) {
                double mu = 0;
                for (int i = 0; i < n; ++i) mu += f[i] / s * p.Matrix(j, i);
                words[comp + j][v] = static_cast<std::uint16_t>(
                    0x4000 | std::clamp(std::lround(mu / p.channelAtten[comp + j][1] * 16383), 0L, 16383L));
            }
        }
        initial = words;
        for (auto& w : words) ptrs.push_back(w.data());
    }
    void Reset() {
        for (std::size_t c = 0; c < words.size(); ++c)
            std::memcpy(words[c].data(), initial[c].data(), words[c].size() * sizeof(std::uint16_t));
    }
    std::uint64_t Hash() const {
        std::uint64_t h = 1469598103934665603ull;
        for (const auto& c : words)
            for (std::uint16_t w : c) h = (h ^ w) * 1099511628211ull;
        return h;
    }
    std::size_t Voxels() const { return words[0].size(); }
};

// Best of three, the phantom reset before each run (not timed).
double Best(Phantom& ph, const std::function<void()>& run) {
    double best = 1e30;
    for (int k = 0; k < 3; ++k) {
        ph.Reset();
        const auto t0 = Clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
}

// Spins `count` threads until destroyed.
class BusyLoad {
public:
    explicit BusyLoad(int count) {
        for (int k = 0; k < count; ++k)
            threads_.emplace_back([this] {
                volatile double x = 1.0;
                while (!stop_.load(std::memory_order_relaxed)) x = x * 1.0000001 + 1e-9;
            });
    }
    ~BusyLoad() {
        stop_ = true;
        for (auto& t : threads_) t.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

}  // namespace

int main(int argc, char** argv) {
    const int size = argc > 1 ? std::atoi(argv[1]) : 256;
    const int threads = argc > 2 && std::atoi(argv[2]) > 0 ? std::atoi(argv[2]) : TeamThreads();
    const bool busy = argc > 3 && std::strcmp(argv[3], "busy") == 0;
    Phantom ph(size);
    const double mvox = ph.Voxels() / 1e6;
    const int spinners = busy ? std::max(1, UsableProcessors() / 2) : 0;
    std::printf("data check and segmentation at %d^3, 1 and %d threads, best of 3%s\n", size, threads,
                busy ? "" : " (no other load started)");
    if (busy) std::printf("with %d busy threads spinning beside the runs\n", spinners);
    BusyLoad load(spinners);

    auto volume = [&](int t, bool segment) {
        ph.p.SetThreadCount(t);
        return Best(ph, [&] {
            if (segment) {
                CLibDiscreteLeastSquareSegmentation lib(ph.p);
                SegmentSlices(lib, ph.ptrs.data(), 0, size, {});
            } else {
                CLibDataCheckCorrect lib(ph.p);
                DataCheckSlices(lib, ph.ptrs.data(), 0, size, {});
            }
        });
    };
    // The same kernels started once per slice, as they were before they took the whole volume.
    auto perSlice = [&](int t, bool segment) {
        ph.p.SetThreadCount(t);
        const std::int64_t plane = std::int64_t(size) * size;
        return Best(ph, [&] {
            CLibDiscreteLeastSquareSegmentation seg(ph.p);
            CLibDataCheckCorrect check(ph.p);
            std::vector<std::uint16_t*> p(ph.ptrs.size());
            for (int z = 0; z < size; ++z) {
                for (std::size_t c = 0; c < p.size(); ++c) p[c] = ph.ptrs[c] + z * plane;
                if (segment)
                    SegmentSlice(seg, p.data(), z);
                else
                    DataCheckSlice(check, p.data(), z);
            }
        });
    };
    auto devices = [&](int t) {
        ComputeDeviceSet set(std::max(t, 1));
        std::vector<ComputeDeviceEntry> list;
        set.GetDeviceList(list);
        for (auto& e : list) e.threadCount = 1;
        set.ApplyDeviceSelection(list);
        DataCheckConstants constants(ph.p);
        auto chunk = [](void* user, void*, void* const* ptrs, int count, std::int64_t items, std::int64_t,
                        std::int64_t) {
            std::uint16_t* w[8];
            for (int i = 0; i < count; ++i) w[i] = static_cast<std::uint16_t*>(ptrs[i]);
            CheckVoxelRange(*static_cast<DataCheckConstants*>(user), w, 0, items, nullptr);
            return 0;
        };
        std::vector<void*> base(ph.ptrs.begin(), ph.ptrs.end());
        return Best(ph, [&] {
            set.Compute("check", &constants, nullptr, nullptr, base.data(), int(base.size()),
                        sizeof(std::uint16_t), std::int64_t(ph.Voxels()), 1024, chunk, nullptr);
        });
    };

    std::printf("%-34s %10s %10s %10s %10s  %s\n", "step", "1 thr (s)", "T thr (s)", "M vox/s T", "speed-up",
                "words hash (T)");
    struct Row {
        const char* name;
        std::function<double(int)> run;
    } rows[] = {
        {"data check (volume)", [&](int t) { return volume(t, false); }},
        {"data check (a region per slice)", [&](int t) { return perSlice(t, false); }},
        {"data check (device chunks)", devices},
        {"segmentation (volume)", [&](int t) { return volume(t, true); }},
        {"segmentation (a region per slice)", [&](int t) { return perSlice(t, true); }},
    };
    for (const Row& r : rows) {
        const double one = r.run(1);
        const std::uint64_t h1 = ph.Hash();
        const double many = r.run(threads);
        const std::uint64_t hn = ph.Hash();
        std::printf("%-34s %10.3f %10.3f %10.1f %9.2fx  %016llx%s\n", r.name, one, many, mvox / many,
                    one / many, static_cast<unsigned long long>(hn),
                    h1 == hn ? "" : "  DIFFERS FROM 1 THREAD");
    }
    return 0;
}
