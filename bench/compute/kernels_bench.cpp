// The computation-library kernels on a phantom of random fractions with exact (quantised) CT
// values: three compositions (void and two materials, two CT channels) and five (void and four
// materials, four CT channels). The optimisers run as the steps run them, on one thread and on
// all threads, measured in the same run against numpy's unconstrained solves plus clipping, from
// the CT words to the fraction words as the kernels go: the least-squares solve (lstsq) and the
// inverse of the square system times the right-hand sides (the same answer).
//
//   bench_compute_kernels [size] [threads] [linear|nonlinear|optimisers]
//
// Naming one optimiser runs only it ("optimisers" both, without the other kernels), and
// ZUN_BENCH_COMPOSITIONS=3 or 5 only that phantom (for profiling). ZUN_BENCH_NOISE=w adds Gaussian noise of
// standard deviation w words to the CT words (the tolerances stay at about a word).
#include <omp.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "compute/devices.h"
#include "compute/kernels.h"

using namespace zun;
using namespace zun::zunlib;
using Clock = std::chrono::steady_clock;

namespace {

struct Phantom {
    ComputeLibParams p;
    std::vector<std::vector<std::uint16_t>> words, initial;
    std::vector<std::uint16_t*> ptrs;

    // comp 2: water and calcite at 20 and 60 keV; comp 4: water, calcite, quartz and iron at
    // four energies (1/cm).
    Phantom(int size, int comp, int threads, bool sections) {
        const int ct = comp, n = comp + 1;
        p.nx = p.ny = p.nz = size;
        p.comp = comp;
        p.ct = ct;
        p.matrix.assign(n, 1.0f);
        const std::vector<float> rows =
            comp == 2
                ? std::vector<float>{0.0f, 0.81f, 15.44f, 0.0f, 0.206f, 1.019f}
                : std::vector<float>{0.0f, 0.81f,  15.44f, 9.6f,  198.0f, 0.0f, 0.27f, 2.23f, 1.43f, 29.4f,
                                     0.0f, 0.206f, 1.019f, 0.68f, 11.4f,  0.0f, 0.18f, 0.49f, 0.39f, 3.7f};
        p.matrix.insert(p.matrix.end(), rows.begin(), rows.end());
        p.matrixRowMax.assign(ct + 1, 0.0f);
        p.channelAtten.assign(n + ct, {0.0f, 1.0f});
        p.ctAccuracy.assign(ct + 1, 0.0f);
        for (int j = 1; j <= ct; ++j) {
            for (int i = 0; i < n; ++i) p.matrixRowMax[j] = std::max(p.matrixRowMax[j], p.Matrix(j, i));
            p.channelAtten[comp + j] = {0.0f, 1.2f * p.matrixRowMax[j]};
            p.ctAccuracy[j] = 6.714277e-5f * p.channelAtten[comp + j][1];
        }
        p.compTolerance.assign(n, 1);
        p.linearObjectiveWeights.assign(n, 0.0f);
        p.nonlinearSelfEnergy.assign(n, 0.0f);
        p.dlsSelfEnergy.assign(n, 0.0f);
        p.dlsZeroOffset.assign(n, std::vector<float>(ct + 1, 0.0f));
        p.dlsMultiplier.assign(n, std::vector<float>(ct + 1, 1.0f));
        p.ctChannelUsed.assign(ct + 1, true);
        p.ctDataSetWeights.assign(ct + 1, 10.0f);
        for (auto* s : {&p.linearInteractionEnergy, &p.nonlinearInteractionEnergy, &p.dlsInterfacialEnergy}) {
            s->assign(4 * n * n, 0.0f);
            for (int i = 0; i < n; ++i)
                for (int k = 0; k < n; ++k) (*s)[i * n + k] = i == k ? 0.0f : 0.01f;
        }
        p.importCounts.assign(n, {0, 0, 0});
        p.importCounts[1] = {0, 0, 16};
        p.importAxis = 2;
        p.SetThreadCount(threads);
        const std::size_t voxels = std::size_t(size) * size * size;
        words.assign(n + ct, std::vector<std::uint16_t>(voxels));
        std::mt19937 rng(1);
        std::uniform_real_distribution<double> U(0.0, 1.0);
        std::vector<double> f(n);
        std::normal_distribution<double> g(0.0, 1.0);
        const char* noiseText = std::getenv("ZUN_BENCH_NOISE");
        const double noise = noiseText ? std::atof(noiseText) : 0.0;
        for (std::size_t v = 0; v < voxels; ++v) {
            double s = 0;
            for (double& x : f) s += (x = -std::log(U(rng) + 1e-12));
            for (int i = 0; i < n; ++i)
                words[i][v] = static_cast<std::uint16_t>(std::lround(f[i] / s * 16383));
            for (int j = 1; j <= ct; ++j) {
                double mu = 0;
                for (int i = 0; i < n; ++i) mu += f[i] / s * p.Matrix(j, i);
                words[comp + j][v] = static_cast<std::uint16_t>(
                    0x4000 | std::clamp(std::lround(mu / p.channelAtten[comp + j][1] * 16383 +
                                                    (noise > 0 ? noise * g(rng) : 0.0)),
                                        0L, 16383L));
            }
        }
        // A few measured sections for the extrapolation.
        for (int z = 0; sections && z < size; z += 16)
            for (std::size_t v = 0; v < std::size_t(size) * size; ++v)
                words[1][z * size * size + v] |= 0x4000;
        initial = words;
        for (auto& w : words) ptrs.push_back(w.data());
    }
    void Reset() { words = initial; }
    // FNV-1a over every word: equal figures from two runs mean equal results.
    std::uint64_t Hash() const {
        std::uint64_t h = 1469598103934665603ull;
        for (const auto& c : words)
            for (std::uint16_t w : c) h = (h ^ w) * 1099511628211ull;
        return h;
    }
    std::size_t Voxels() const { return words[0].size(); }
    void SetThreads(int t) { p.SetThreadCount(t); }

    // numpy's lstsq + clip and inverse + clip over the same CT words, one BLAS thread: seconds of
    // each, or -1.
    struct NumpyTimes {
        double lstsq = -1, inverse = -1;
    };
    NumpyTimes NumpyReference() const {
        const std::string path = "/tmp/zun_kernels_bench_" + std::to_string(::getpid()) + ".bin";
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return {};
        const std::int64_t head[3] = {p.comp + 1, p.ct, std::int64_t(Voxels())};
        std::fwrite(head, sizeof head, 1, f);
        for (int j = 0; j <= p.ct; ++j)
            for (int i = 0; i <= p.comp; ++i) {
                const double a = p.Matrix(j, i);
                std::fwrite(&a, sizeof a, 1, f);
            }
        for (int j = 1; j <= p.ct; ++j)
            for (int k = 0; k < 2; ++k) {
                const double a = p.channelAtten[p.comp + j][k];
                std::fwrite(&a, sizeof a, 1, f);
            }
        for (int j = 1; j <= p.ct; ++j) std::fwrite(words[p.comp + j].data(), 2, Voxels(), f);
        std::fclose(f);
        // The core-type and cache-size overrides some machines set slow a current numpy down.
        const std::string cmd =
            "env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE OMP_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1 "
            "MKL_NUM_THREADS=1 " +
            std::string(ZUN_PYTHON) + " " + ZUN_SOURCE_DIR + "/bench/compute/numpy_reference.py " + path;
        FILE* pipe = popen(cmd.c_str(), "r");
        NumpyTimes t;
        if (pipe) {
            if (std::fscanf(pipe, "%lf %lf", &t.lstsq, &t.inverse) != 2) t = {};
            pclose(pipe);
        }
        std::remove(path.c_str());
        return t;
    }
};

template <class F>
double Time(F&& f) {
    auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

void Report(const char* name, double seconds, std::size_t voxels, int threads) {
    const double rate = voxels / seconds;
    std::printf("%-34s %8.3f s  %10.3f M voxels/s  %8.3f M voxels/s per thread\n", name, seconds, rate / 1e6,
                rate / 1e6 / threads);
}

// The other kernels, on the three-composition phantom.
void OtherKernels(Phantom& ph, int threads) {
    const int size = ph.p.nx;
    const std::size_t voxels = ph.Voxels();
    const std::int64_t plane = std::int64_t(size) * size;
    ph.SetThreads(threads);
    double t = Time([&] {
        CLibDataCheckCorrect lib(ph.p);
        for (int z = 0; z < size; ++z) {
            std::vector<std::uint16_t*> p;
            for (auto* q : ph.ptrs) p.push_back(q + z * plane);
            DataCheckSlice(lib, p.data(), z);
        }
    });
    Report("data check (per slice)", t, voxels, threads);
    ph.Reset();

    // The path the pipeline takes with several threads: chunks of 1024 voxels dispatched over the
    // device threads.
    ComputeDeviceSet devices;
    {
        std::vector<ComputeDeviceEntry> list;
        devices.GetDeviceList(list);
        for (std::size_t k = 0; k < list.size(); ++k) list[k].threadCount = int(k) < threads ? 1 : 0;
        devices.ApplyDeviceSelection(list);
    }
    DataCheckConstants constants(ph.p);
    auto chunk = [](void* user, void*, void* const* ptrs, int count, std::int64_t items, std::int64_t,
                    std::int64_t) {
        std::uint16_t* words[8];
        for (int i = 0; i < count; ++i) words[i] = static_cast<std::uint16_t*>(ptrs[i]);
        CheckVoxelRange(*static_cast<DataCheckConstants*>(user), words, 0, items, nullptr);
        return 0;
    };
    std::vector<void*> base(ph.ptrs.begin(), ph.ptrs.end());
    t = Time([&] {
        devices.Compute("check", &constants, nullptr, nullptr, base.data(), int(base.size()),
                        sizeof(std::uint16_t), std::int64_t(voxels), 1024, chunk, nullptr);
    });
    Report("data check (chunked)", t, voxels, threads);
    ph.Reset();

    t = Time([&] {
        CLibInterSectionExtrapolate lib(ph.p);
        for (int i = 0; i <= ph.p.comp; ++i) ExtrapolateChannel(lib, ph.ptrs[i], i);
    });
    Report("extrapolation", t, voxels, threads);
    ph.Reset();

    t = Time([&] {
        CLibDiscreteLeastSquareSegmentation lib(ph.p);
        for (int z = 0; z < size; ++z) {
            std::vector<std::uint16_t*> p;
            for (auto* q : ph.ptrs) p.push_back(q + z * plane);
            SegmentSlice(lib, p.data(), z);
        }
    });
    Report("segmentation", t, voxels, threads);
    ph.Reset();
}

// Runs a solver over `count` voxels as the steps do (one call, progress after each range of the
// step's uninterruptible size); seconds, the best of three runs, the solver's set-up (tables
// built once per step) not counted.
template <class Solver, class Lib>
double RunOptimiser(Phantom& ph, int threads, std::int64_t perThread, std::int64_t count,
                    bool closedForm = true) {
    ph.SetThreads(threads);
    double best = 1e30;
    for (int k = 0; k < 3; ++k) {
        ph.Reset();
        Lib lib(ph.p);
        Solver s(lib);
        s.UseClosedForm(closedForm);
        best = std::min(
            best, Time([&] { s.RunAll(ph.ptrs.data(), count, perThread * threads, [](std::int64_t) {}); }));
    }
    return best;
}

// The same voxels cut into `threads` parts, each solved by a thread of its own over words of its
// own, nothing shared: what the machine itself gives on that many cores at once (on a virtual
// machine that can be well below that many times one core). Seconds for the whole volume, the
// best of three runs.
template <class Solver, class Lib>
double RunIndependent(const Phantom& ph, int threads, std::int64_t perThread) {
    const std::size_t part = ph.Voxels() / threads;
    ComputeLibParams p = ph.p;
    p.SetThreadCount(1);
    double best = 1e30;
    for (int k = 0; k < 3; ++k) {
        std::vector<std::vector<std::vector<std::uint16_t>>> words(threads);
        std::vector<std::vector<std::uint16_t*>> ptrs(threads);
        std::vector<std::unique_ptr<Lib>> libs;
        std::vector<std::unique_ptr<Solver>> solvers;
        for (int t = 0; t < threads; ++t) {
            for (const auto& c : ph.initial) {
                words[t].emplace_back(c.begin() + t * part, c.begin() + (t + 1) * part);
                ptrs[t].push_back(words[t].back().data());
            }
            libs.push_back(std::make_unique<Lib>(p));
            solvers.push_back(std::make_unique<Solver>(*libs.back()));
        }
        best = std::min(best, Time([&] {
                            std::vector<std::thread> team;
                            for (int t = 0; t < threads; ++t)
                                team.emplace_back([&, t] {
                                    solvers[t]->RunAll(ptrs[t].data(), std::int64_t(part), perThread,
                                                       [](std::int64_t) {});
                                });
                            for (std::thread& t : team) t.join();
                        }));
    }
    return best * double(ph.Voxels()) / double(part * threads);
}

void Optimisers(Phantom& ph, int threads, const std::string& only) {
    const std::size_t voxels = ph.Voxels();
    const int n = ph.p.comp + 1;
    const Phantom::NumpyTimes numpy = ph.NumpyReference();
    const double lstsqRate = numpy.lstsq > 0 ? voxels / numpy.lstsq / 1e6 : 0.0;
    const double inverseRate = numpy.inverse > 0 ? voxels / numpy.inverse / 1e6 : 0.0;
    std::printf(
        "-- %d compositions, %d CT channels; numpy + clip, words to words (64k chunks, 1 core): "
        "lstsq %.2f M voxels/s, inverse %.2f M voxels/s\n",
        n, ph.p.ct, lstsqRate, inverseRate);
    double rate1[2] = {};
    std::vector<int> counts{1};
    if (threads > 1) counts.push_back(threads);
    for (int t : counts) {
        const char* names[2] = {"linear", "nonlinear"};
        for (int k = 0; k < 2; ++k) {
            if (!only.empty() && only != "optimisers" && only != names[k]) continue;
            const double s = k == 0
                                 ? RunOptimiser<CLinearSM, CLibDatConLinearOpt>(ph, t, 5000, voxels)
                                 : RunOptimiser<CNonlinearGCM, CLibDatConNonlinearOpt>(ph, t, 2000, voxels);
            const double perThread = voxels / s / 1e6 / t;
            if (t == 1) rate1[k] = perThread;
            std::printf(
                "%-10s %2d thread(s) %8.3f s  %8.2f M voxels/s per thread  per core %5.2f x lstsq "
                "%5.2f x inverse  words %016llx",
                names[k], t, s, perThread, lstsqRate > 0 ? perThread / lstsqRate : 0.0,
                inverseRate > 0 ? perThread / inverseRate : 0.0, static_cast<unsigned long long>(ph.Hash()));
            if (t > 1) {
                const double alone = k == 0
                                         ? RunIndependent<CLinearSM, CLibDatConLinearOpt>(ph, t, 5000)
                                         : RunIndependent<CNonlinearGCM, CLibDatConNonlinearOpt>(ph, t, 2000);
                std::printf("  parallel efficiency %3.0f %% (%3.0f %% of %d independent one-thread runs)",
                            100.0 * perThread / rate1[k], 100.0 * alone / s, t);
            }
            std::printf("\n");
        }
    }
    // The simplex and the grid search alone (the paths every voxel took before the closed
    // forms), on a slab.
    if (!only.empty()) return;
    const std::int64_t slab = std::min<std::int64_t>(voxels, n > 3 ? 16384 : 262144);
    const double lin = RunOptimiser<CLinearSM, CLibDatConLinearOpt>(ph, 1, 5000, slab, false);
    const double linClosed = RunOptimiser<CLinearSM, CLibDatConLinearOpt>(ph, 1, 5000, slab, true);
    std::printf(
        "linear, 1 thread, simplex alone on %lld voxels: %.2f M voxels/s (%.2f us per voxel); "
        "with the closed form %.1f x faster\n",
        static_cast<long long>(slab), slab / lin / 1e6, lin / slab * 1e6, lin / linClosed);
    const double s = RunOptimiser<CNonlinearGCM, CLibDatConNonlinearOpt>(ph, 1, 2000, slab, false);
    const double closed = RunOptimiser<CNonlinearGCM, CLibDatConNonlinearOpt>(ph, 1, 2000, slab, true);
    std::printf(
        "nonlinear, 1 thread, search alone on %lld voxels: %.2f M voxels/s (%.2f us per voxel); "
        "with the closed form %.1f x faster\n",
        static_cast<long long>(slab), slab / s / 1e6, s / slab * 1e6, s / closed);
    ph.Reset();
}

}  // namespace

int main(int argc, char** argv) {
    const int size = argc > 1 ? std::atoi(argv[1]) : 128;
    const int threads = argc > 2 ? std::atoi(argv[2]) : omp_get_num_procs();
    const std::string only = argc > 3 ? argv[3] : "";
    std::printf(
        "phantom %d^3 (%d voxels), %d threads; figures of one run, on a shared machine compare "
        "the ratios\n",
        size, size * size * size, threads);
    if (only.empty()) {
        Phantom sections(size, 2, threads, true);
        OtherKernels(sections, threads);
    }
    // The optimisers see free composition words (no measured sections).
    const char* comps = std::getenv("ZUN_BENCH_COMPOSITIONS");
    for (int n : {3, 5}) {
        if (comps && std::atoi(comps) != n) continue;
        Phantom ph(size, n - 1, threads, false);
        Optimisers(ph, threads, only);
    }
    return 0;
}
