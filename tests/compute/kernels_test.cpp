#include "compute/kernels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <new>
#include <random>
#include <stdexcept>
#include <string>

#include "compute/kernelrun.h"
#include "platform/failingnew.h"

namespace zun::zunlib {
namespace {

// Channels of one test block: compositions first, then CT channels.
struct Block {
    ComputeLibParams p;
    std::vector<std::vector<std::uint16_t>> words;
    std::vector<std::uint16_t*> ptrs;

    Block(int nx, int ny, int nz, int comp, int ct, std::vector<float> matrixRows) {
        p.nx = nx;
        p.ny = ny;
        p.nz = nz;
        p.comp = comp;
        p.ct = ct;
        const int n = comp + 1;
        p.matrix.assign(n, 1.0f);
        p.matrix.insert(p.matrix.end(), matrixRows.begin(), matrixRows.end());
        p.matrixRowMax.assign(ct + 1, 1.0f);
        p.ctAccuracy.assign(ct + 1, 0.0f);
        p.channelAtten.assign(n + ct, {0.0f, 1.0f});
        for (int j = 1; j <= ct; ++j) {
            float hi = 0.0f;
            for (int i = 0; i < n; ++i) hi = std::max(hi, p.Matrix(j, i));
            p.channelAtten[comp + j] = {0.0f, hi * 1.25f};
            p.ctAccuracy[j] = 1e-3f * hi;
            p.matrixRowMax[j] = hi;
        }
        p.compTolerance.assign(n, 70);
        p.linearObjectiveWeights.assign(n, 0.0f);
        p.nonlinearSelfEnergy.assign(n, 0.0f);
        p.dlsSelfEnergy.assign(n, 0.0f);
        p.dlsZeroOffset.assign(n, std::vector<float>(ct + 1, 0.0f));
        p.dlsMultiplier.assign(n, std::vector<float>(ct + 1, 1.0f));
        p.ctChannelUsed.assign(ct + 1, true);
        p.ctDataSetWeights.assign(ct + 1, 10.0f);
        for (auto* shells :
             {&p.linearInteractionEnergy, &p.nonlinearInteractionEnergy, &p.dlsInterfacialEnergy}) {
            shells->assign(4 * n * n, 0.0f);
            for (int s = 0; s < 4; ++s)
                for (int i = 0; i < n; ++i)
                    for (int k = 0; k < n; ++k)
                        (*shells)[s * n * n + i * n + k] =
                            s == 0 ? (i == k ? 0.0f : 0.01f) : (i == k ? -0.01f : 0.0f);
        }
        p.importCounts.assign(n, std::vector<std::uint32_t>(3, 0));
        words.assign(n + ct, std::vector<std::uint16_t>(std::size_t(nx) * ny * nz, 0));
        for (auto& w : words) ptrs.push_back(w.data());
    }
    std::size_t Voxels() const { return words[0].size(); }
    // Writes CT words for the given fractions.
    void SetVoxel(std::size_t v, const std::vector<double>& f, double noise = 0.0,
                  std::mt19937* rng = nullptr) {
        const int n = p.comp + 1;
        for (int i = 0; i < n; ++i) words[i][v] = 0;
        std::normal_distribution<double> g(0.0, 1.0);
        for (int j = 1; j <= p.ct; ++j) {
            double mu = 0.0;
            for (int i = 0; i < n; ++i) mu += f[i] * p.Matrix(j, i);
            if (rng) mu *= 1.0 + noise * g(*rng);
            const auto [lo, hi] = p.channelAtten[p.comp + j];
            words[p.comp + j][v] = static_cast<std::uint16_t>(
                std::clamp(std::lround((mu - lo) / (hi - lo) * 16383), 0L, 16383L));
        }
    }
    double Fraction(int i, std::size_t v) const { return (words[i][v] & 0x3FFF) / 16383.0; }
};

TEST(NonlinearKernel, GridIsEnumeratedNotStored) {
    EXPECT_EQ(CNonlinearGCM::GridPointCount(15, 3), 136.0);
    EXPECT_EQ(CNonlinearGCM::GridPointCount(15, 2), 16.0);
    EXPECT_EQ(CNonlinearGCM::GridPointCount(15, 1), 1.0);
    EXPECT_EQ(CNonlinearGCM::GridPointCount(15, 8), 170544.0);
    // Eight compositions at grid size 15 would be 15^8 > 2^31 points if stored as the full grid.
    std::mt19937 rng(3);
    std::vector<float> rows;
    for (int j = 1; j <= 7; ++j)
        for (int i = 0; i <= 7; ++i) rows.push_back(i == 0 ? 0.0f : float(1 + (rng() % 100)) / 10.0f);
    Block b(8, 1, 1, 7, 7, rows);
    for (int j = 1; j <= 7; ++j) {
        b.p.channelAtten[7 + j] = {0.0f, 12.0f};
        b.p.ctAccuracy[j] = 0.01f;
    }
    for (std::size_t v = 0; v < 8; ++v) {
        std::vector<double> f(8, 0.0);
        f[v] = 1.0;
        b.SetVoxel(v, f);
    }
    b.p.threadCount = 2;
    CLibDatConNonlinearOpt lib(b.p);
    CNonlinearGCM gcm(lib);
    gcm.Run(b.ptrs.data(), 0, 8);
    for (std::size_t v = 0; v < 8; ++v) EXPECT_NEAR(b.Fraction(static_cast<int>(v), v), 1.0, 1.0 / 15) << v;
}

TEST(NonlinearKernel, RecoversGridFractionsAndKeepsFixedWords) {
    // Void, water-like and calcite-like columns at two energies.
    Block b(40, 1, 1, 2, 2, {0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f});
    std::mt19937 rng(5);
    std::vector<std::vector<double>> truth;
    for (std::size_t v = 0; v < b.Voxels(); ++v) {
        int k0 = rng() % 16, k1 = rng() % (16 - k0);
        std::vector<double> f{k0 / 15.0, k1 / 15.0, (15 - k0 - k1) / 15.0};
        truth.push_back(f);
        b.SetVoxel(v, f);
    }
    b.words[1][7] = 0x4000 | 5000;  // a fixed word is kept
    CLibDatConNonlinearOpt lib(b.p);
    CNonlinearGCM gcm(lib);
    gcm.Run(b.ptrs.data(), 0, b.Voxels());
    for (std::size_t v = 0; v < b.Voxels(); ++v) {
        int sum = 0;
        for (int i = 0; i < 3; ++i) sum += b.words[i][v] & 0x3FFF;
        EXPECT_EQ(sum, 16383) << v;
        if (v == 7) continue;
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(b.Fraction(i, v), truth[v][i], 1.0 / 15) << v << " " << i;
    }
    EXPECT_EQ(b.words[1][7], 0x4000 | 5000);
}

TEST(NonlinearKernel, MemoryRunningOutReachesTheCaller) {
    Block b(16, 1, 1, 2, 2, {0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f});
    for (std::size_t v = 0; v < b.Voxels(); ++v) b.SetVoxel(v, {0.2, 0.3, 0.5});
    b.p.gridSize = 150;  // the energies of a voxel's grid points take more than the limit
    b.p.SetThreadCount(3);
    CLibDatConNonlinearOpt lib(b.p);
    CNonlinearGCM gcm(lib);
    gcm.UseClosedForm(false);  // these voxels have one; the search is what allocates
    bool threw = false;
    gFailLargeAllocations = true;
    try {
        gcm.Run(b.ptrs.data(), 0, b.Voxels());
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    gFailLargeAllocations = false;
    EXPECT_TRUE(threw);
}

TEST(NonlinearKernel, SearchMethods) {
    for (int methods : {3, 4}) {
        Block b(30, 1, 1, 2, 2, {0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f});
        std::mt19937 rng(8);
        std::uniform_real_distribution<double> U(0.0, 1.0);
        std::vector<std::vector<double>> truth;
        for (std::size_t v = 0; v < b.Voxels(); ++v) {
            const double a = U(rng), c = U(rng) * (1 - a);
            truth.push_back({a, c, 1 - a - c});
            b.SetVoxel(v, truth.back());
        }
        b.p.nonlinearSearchMethods = methods;
        CLibDatConNonlinearOpt lib(b.p);
        CNonlinearGCM gcm(lib);
        gcm.Run(b.ptrs.data(), 0, b.Voxels());
        if (methods == 4) {
            // Offered nowhere: it runs as the line search and says so once.
            EXPECT_EQ(lib.params.status, -2);
            EXPECT_EQ(lib.Reports().size(), 1u);
            continue;
        }
        for (std::size_t v = 0; v < b.Voxels(); ++v)
            for (int i = 0; i < 3; ++i) EXPECT_NEAR(b.Fraction(i, v), truth[v][i], 1.0 / 15) << v;
    }
}

TEST(LinearKernel, AgreesWithAnIndependentSolver) {
    const int n = 4, ct = 2;
    Block b(1000, 1, 1, n - 1, ct, {0.0f, 0.4f, 2.9f, 1.3f, 0.0f, 0.2f, 0.6f, 1.0f});
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> U(0.0, 1.0);
    b.p.minimiseSelfEnergy = 1;
    b.p.interactWithPreviousState = 1;
    for (int i = 0; i < n; ++i) {
        b.p.linearObjectiveWeights[i] = static_cast<float>(U(rng) - 0.5);
        for (int k = 0; k < n; ++k) b.p.linearInteractionEnergy[i * n + k] = static_cast<float>(U(rng) - 0.3);
    }
    std::vector<std::vector<double>> costs(b.Voxels(), std::vector<double>(n));
    for (std::size_t v = 0; v < b.Voxels(); ++v) {
        // Half the voxels hold CT values inside the attainable region, half anywhere.
        std::vector<double> f(n);
        double s = 0;
        for (auto& x : f) s += (x = -std::log(U(rng) + 1e-12));
        for (auto& x : f) x /= s;
        b.SetVoxel(v, f);
        if (v % 2) {
            for (int j = 1; j <= ct; ++j) b.words[n - 1 + j][v] = static_cast<std::uint16_t>(rng() % 16384);
        }
        // The previous state, which sets the cost of the interaction term.
        std::vector<double> prev(n);
        s = 0;
        for (auto& x : prev) s += (x = U(rng));
        int sum = 0;
        for (int i = 0; i < n; ++i) {
            b.words[i][v] = static_cast<std::uint16_t>(std::lround(prev[i] / s * 16383));
            sum += b.words[i][v];
        }
        for (int i = 0; i < n; ++i) {
            double c = b.p.linearObjectiveWeights[i];
            for (int k = 0; k < n; ++k)
                c += b.p.linearInteractionEnergy[i * n + k] * (b.words[k][v] / 16383.0);
            costs[v][i] = c;
        }
    }
    std::vector<std::vector<double>> mu(b.Voxels(), std::vector<double>(ct));
    for (std::size_t v = 0; v < b.Voxels(); ++v)
        for (int j = 1; j <= ct; ++j) {
            const auto [lo, hi] = b.p.channelAtten[n - 1 + j];
            mu[v][j - 1] = lo + (hi - lo) * static_cast<float>((b.words[n - 1 + j][v] & 0x3FFF) / 16383.0);
        }
    b.p.threadCount = 4;
    CLibDatConLinearOpt lib(b.p);
    CLinearSM sm(lib);
    std::vector<int> outside(b.Voxels());
    std::int64_t total = 0;
    for (std::size_t v = 0; v < b.Voxels(); ++v)
        total += outside[v] = static_cast<int>(sm.Run(b.ptrs.data(), v, 1));
    EXPECT_GT(total, 100);
    EXPECT_LT(total, 1000);

    const std::string path = std::string(ZUN_TEST_BINARY_DIR) + "/linprog_voxels.txt";
    {
        std::ofstream out(path);
        out.precision(17);
        out << n << " " << ct << "\n";
        for (int j = 1; j <= ct; ++j) {
            for (int i = 0; i < n; ++i) out << b.p.Matrix(j, i) << " ";
            out << "\n";
        }
        for (int j = 1; j <= ct; ++j) out << b.p.ctAccuracy[j] << " ";
        out << "\n";
        for (std::size_t v = 0; v < b.Voxels(); ++v) {
            for (double m : mu[v]) out << m << " ";
            for (double c : costs[v]) out << c << " ";
            for (int i = 0; i < n; ++i) out << b.Fraction(i, v) << " ";
            out << outside[v] << "\n";
        }
    }
    const std::string cmd = std::string(ZUN_PYTHON) + " " + ZUN_TEST_DIR + "/linprog_check.py " + path;
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}

TEST(LinearKernel, SmallProgrammes) {
    SmallLp lp;
    std::vector<double> x;
    LpWorkspace t;
    double obj;
    // min -x - y, x + y <= 4, x <= 3, y >= 1
    lp.Reset(2);
    lp.cost = {-1, -2};
    double r1[] = {1, 1}, r2[] = {1, 0}, r3[] = {0, 1};
    lp.AddRow(r1, SmallLp::Le, 4);
    lp.AddRow(r2, SmallLp::Le, 3);
    lp.AddRow(r3, SmallLp::Ge, 1);
    ASSERT_EQ(SolveSmallLp(lp, x, obj, t), kLpOptimal);
    EXPECT_NEAR(obj, -8, 1e-12);
    EXPECT_NEAR(x[1], 4, 1e-12);
    lp.AddRow(r1, SmallLp::Ge, 5);
    EXPECT_EQ(SolveSmallLp(lp, x, obj, t), kLpInfeasible);
    lp.Reset(1);
    lp.cost = {-1};
    double r4[] = {1};
    lp.AddRow(r4, SmallLp::Ge, 1);
    EXPECT_EQ(SolveSmallLp(lp, x, obj, t), kLpUnbounded);
}

// Runs an optimiser over the whole block, with or without neighbour interaction: in ranges of a
// size unrelated to the sweeps, or in one call.
template <class Solver, class Lib>
std::int64_t RunOptimiser(Block& b, int threads, int range, double sweeps, bool oneCall = false,
                          std::vector<std::string>* reports = nullptr) {
    b.p.threadCount = threads;
    Lib lib(b.p);
    std::unique_ptr<NeighbourInteraction> nb;
    std::int64_t total = static_cast<std::int64_t>(b.Voxels());
    if (range) {
        nb = std::make_unique<NeighbourInteraction>(lib, b.ptrs.data(), range, sweeps);
        total = nb->VoxelCount();
    }
    Solver s(lib);
    s.SetNeighbours(nb.get());
    std::int64_t outside = 0;
    if (oneCall) {
        outside = s.RunAll(b.ptrs.data(), total, 37, [](std::int64_t) {});
    } else {
        for (std::int64_t done = 0; done < total; done += 37)
            outside += s.Run(b.ptrs.data(), done, std::min<std::int64_t>(37, total - done));
    }
    if (reports) {
        for (const auto& r : lib.Reports()) reports->push_back(r.text);
        reports->push_back(std::to_string(lib.params.status));
    }
    return outside;
}

Block Copy(const Block& b) {
    Block c = b;
    c.ptrs.clear();
    for (auto& w : c.words) c.ptrs.push_back(w.data());
    return c;
}

// A noisy block with pure voxels, random previous states and a few fixed words and unusable CT
// values: every path of the optimisers is taken somewhere.
Block MixedBlock(int comp, int ct, std::vector<float> rows, unsigned seed, int size = 7) {
    Block b(size + 2, size, size - 2, comp, ct, rows);
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> U(0.0, 1.0);
    const int n = comp + 1;
    for (std::size_t v = 0; v < b.Voxels(); ++v) {
        std::vector<double> f(n, 0.0);
        if (v % 3 == 0) {
            f[rng() % n] = 1.0;
        } else {
            double s = 0;
            for (auto& x : f) s += (x = -std::log(U(rng) + 1e-12));
            for (auto& x : f) x /= s;
        }
        b.SetVoxel(v, f, 0.01, &rng);
        for (int i = 0; i < n; ++i) b.words[i][v] = static_cast<std::uint16_t>(rng() % 6000);
        if (v % 17 == 0) b.words[rng() % n][v] = 0x4000 | static_cast<std::uint16_t>(rng() % 4000);
        if (v % 23 == 0) b.words[comp + 1 + rng() % ct][v] |= 0x8000;
    }
    b.p.randomSeed = 99;
    b.p.interactWithPreviousState = 1;
    return b;
}

// A block of exact CT data for random mixtures (some fractions at or next to zero) whose
// composition words hold the truth: water, calcite (and quartz, iron) at two (four) energies,
// tolerances of about a word.
Block ExactBlock(int comp, unsigned seed, int nz) {
    const std::vector<float> three = {0.0f, 0.81f, 15.44f, 0.0f, 0.206f, 1.019f};
    const std::vector<float> five = {0.0f, 0.81f,  15.44f, 9.6f,  198.0f, 0.0f, 0.27f, 2.23f, 1.43f, 29.4f,
                                     0.0f, 0.206f, 1.019f, 0.68f, 11.4f,  0.0f, 0.18f, 0.49f, 0.39f, 3.7f};
    Block b(24, 24, nz, comp, comp, comp == 2 ? three : five);
    const int n = comp + 1;
    for (int j = 1; j <= comp; ++j) b.p.ctAccuracy[j] = 6.7e-5f * b.p.channelAtten[comp + j][1];
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> U(0.0, 1.0);
    for (std::size_t v = 0; v < b.Voxels(); ++v) {
        std::vector<double> f(n);
        double s = 0;
        for (double& x : f) s += (x = -std::log(U(rng) + 1e-12));
        if (v % 5 == 0) f[rng() % n] = v % 10 == 0 ? 0.0 : 1e-4 * s;
        s = 0;
        for (double x : f) s += x;
        for (double& x : f) x /= s;
        b.SetVoxel(v, f);
        for (int i = 0; i < n; ++i) b.words[i][v] = static_cast<std::uint16_t>(std::lround(f[i] * 16383));
    }
    b.p.interactWithPreviousState = 1;
    return b;
}

TEST(Optimisers, ThreadCountDoesNotChangeTheWords) {
    // Noisy data with random previous states, and exact data at the previous state where the
    // programmes' vertices differ in objective by a part in 1e9 (a simplex that stopped short of
    // the optimum gave other words than the closed form, and which one a voxel met depended on
    // the thread).
    for (int range : {0, 1, 3, -2, -4}) {
        const Block base = range >= 0 ? MixedBlock(2, 2, {0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f}, 17)
                                      : ExactBlock(-range, 5, 3);
        range = std::max(range, 0);
        std::vector<std::vector<std::uint16_t>> nonlinear, linear;
        for (int threads : {1, 2, 8})
            for (bool oneCall : {false, true}) {
                Block a = Copy(base), c = Copy(base);
                RunOptimiser<CNonlinearGCM, CLibDatConNonlinearOpt>(a, threads, range, 2.5, oneCall);
                RunOptimiser<CLinearSM, CLibDatConLinearOpt>(c, threads, range, 1.0, oneCall);
                if (nonlinear.empty()) {
                    EXPECT_NE(a.words, base.words);
                    EXPECT_NE(c.words, base.words);
                    nonlinear = a.words;
                    linear = c.words;
                    continue;
                }
                EXPECT_EQ(a.words, nonlinear) << "nonlinear range " << range << ", " << threads << " threads";
                EXPECT_EQ(c.words, linear) << "linear range " << range << ", " << threads << " threads";
            }
    }
}

// The closed forms' vector lanes against the voxel-by-voxel path, at every instruction set the
// machine has: random mixtures with exact and noisy CT values, pure compositions, fractions at
// and next to zero, CT words at both ends of their range, fixed compositions and unusable CT
// values between them, and chunks that end inside a lane vector. Each lane must give the words
// of the scalar path exactly (the rounding of the fractions to words and the spreading of the
// residue, the lanes left to the scalar path untouched).
TEST(Optimisers, VectorLanesGiveTheWordsOfOneVoxelAtATime) {
    // Where the voxel path divides a word by 16383, the lanes take the product with the
    // reciprocal corrected by its remainder (in double precision) and the product rounded to
    // single (a CT word's single-precision fraction): each the voxel path's value for every word.
    for (int w = 0; w <= 16383; ++w) {
        const double r = 1.0 / 16383.0, q = w * r;
        ASSERT_EQ(std::fma(std::fma(-q, 16383.0, double(w)), r, q), w / 16383.0) << w;
        ASSERT_EQ(static_cast<float>(q), static_cast<float>(w / 16383.0)) << w;
    }
    for (int comp : {1, 2, 4, 5}) {
        const int n = comp + 1;
        std::mt19937 rng(700 + comp);
        std::uniform_real_distribution<double> U(0.0, 1.0);
        std::vector<float> rows;
        for (int j = 0; j < comp; ++j)
            for (int i = 0; i < n; ++i)
                rows.push_back(i == 0 ? 0.0f : float(0.2 + 3.0 * U(rng) * (1 + i * j % 3)));
        Block base(24, 23, 10, comp, comp, rows);
        for (int j = 1; j <= comp; ++j) base.p.ctAccuracy[j] = 6.7e-5f * base.p.channelAtten[comp + j][1];
        for (std::size_t v = 0; v < base.Voxels(); ++v) {
            std::vector<double> f(n);
            double s = 0;
            for (double& x : f) s += (x = -std::log(U(rng) + 1e-12));
            const int kind = static_cast<int>(v % 11);
            if (kind == 1) std::fill(f.begin(), f.end(), 0.0), f[rng() % n] = s;
            if (kind == 2) f[rng() % n] = v % 2 ? 0.0 : 1e-5 * s;
            for (double& x : f) x /= s;
            base.SetVoxel(v, f, kind == 3 ? 2e-3 : 0.0, &rng);
            for (int i = 0; i < n; ++i)
                base.words[i][v] =
                    static_cast<std::uint16_t>(kind == 4 ? rng() % 16384 : std::lround(f[i] * 16383));
            if (kind == 5) base.words[n + rng() % comp][v] = rng() % 2 ? 0 : 16383;
            if (kind == 6 && v % 3 == 0) base.words[rng() % n][v] |= 0x4000;
            if (kind == 7 && v % 3 == 0) base.words[n + rng() % comp][v] |= 0x8000;
        }
        for (CpuLevel level : {CpuLevel::Baseline, CpuLevel::Avx2, CpuLevel::Avx512}) {
            if (level > MachineCpuLevel()) continue;
            Block nl[2] = {Copy(base), Copy(base)}, li[2] = {Copy(base), Copy(base)};
            for (int lanes = 0; lanes < 2; ++lanes) {
                nl[lanes].p.threadCount = li[lanes].p.threadCount = 2;
                CLibDatConNonlinearOpt nlib(nl[lanes].p);
                CNonlinearGCM gcm(nlib);
                gcm.UseLanes(lanes == 1, level);
                gcm.RunAll(nl[lanes].ptrs.data(), std::int64_t(base.Voxels()), 333, [](std::int64_t) {});
                CLibDatConLinearOpt llib(li[lanes].p);
                CLinearSM sm(llib);
                sm.UseLanes(lanes == 1, level);
                sm.RunAll(li[lanes].ptrs.data(), std::int64_t(base.Voxels()), 333, [](std::int64_t) {});
            }
            EXPECT_NE(nl[1].words, base.words);
            EXPECT_EQ(nl[1].words, nl[0].words)
                << "non-linear, " << n << " compositions, level " << int(level);
            EXPECT_EQ(li[1].words, li[0].words) << "linear, " << n << " compositions, level " << int(level);

            // The lanes do answer most voxels (here for the zero-residual point of an energy
            // without smooth terms, which every voxel of usable words and fractions not below
            // zero has as its minimum).
            ActiveRows rows;
            ASSERT_TRUE(rows.Init(base.p));
            InnerLaneData d;
            d.Fill(rows, true, level);
            Block b = Copy(base);
            std::uint64_t done[kLaneBlock / 64];
            ExactInnerLanes(d, b.ptrs.data(), 0, kLaneBlock, done, nullptr);
            int answered = 0;
            for (std::uint64_t w : done) answered += BitCount(unsigned(w)) + BitCount(unsigned(w >> 32));
            EXPECT_GT(answered, kLaneBlock / 2) << n << " compositions, level " << int(level);
        }
    }
}

// A thread's outcome keeps the first failures in (range, voxel) order, whether they come in order
// (as a run meets its voxels, when the later ones are dropped unsorted) or shuffled.
TEST(Optimisers, ThreadOutcomeKeepsTheFirstFailuresInOrder) {
    std::mt19937 rng(7);
    for (int shuffled = 0; shuffled < 2; ++shuffled) {
        std::vector<ThreadOutcome::Failure> all;
        for (std::int64_t v = 0; v < 3000; ++v)
            if (v % 3 != 1) all.push_back({v % 7 == 0 ? -1 : 1, v, v / 100});
        if (shuffled) std::shuffle(all.begin(), all.end(), rng);
        ThreadOutcome o;
        o.Reset(25);
        for (const auto& f : all) o.Fail(f.code, f.voxel, f.order);
        o.Trim();
        std::sort(all.begin(), all.end(), ThreadOutcome::Before);
        ASSERT_EQ(o.failures.size(), 25u);
        for (std::size_t k = 0; k < 25; ++k) {
            EXPECT_EQ(o.failures[k].voxel, all[k].voxel) << k;
            EXPECT_EQ(o.failures[k].code, all[k].code) << k;
        }
        EXPECT_EQ(o.status, 1);
    }
}

TEST(Optimisers, OneCallReportsAsRangeByRange) {
    // Many failing voxels (fixed fractions above 1) and voxels outside the attainable range: the
    // run in one call counts, reports and merges the status as the range-by-range run does.
    for (int range : {0, 1}) {
        Block base = MixedBlock(2, 2, {0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f}, 19);
        for (std::size_t v = 0; v < base.Voxels(); v += 5) {
            base.words[1][v] = 0x4000 | 9000;
            base.words[2][v] = 0x4000 | 9000;
        }
        base.p.maxErrorReports = 25;
        std::vector<std::string> nlSteps, nlOne, linSteps, linOne;
        Block a = Copy(base), b = Copy(base), c = Copy(base), d = Copy(base);
        const auto nl1 =
            RunOptimiser<CNonlinearGCM, CLibDatConNonlinearOpt>(a, 1, range, 1.5, false, &nlSteps);
        const auto nl8 = RunOptimiser<CNonlinearGCM, CLibDatConNonlinearOpt>(b, 8, range, 1.5, true, &nlOne);
        const auto lin1 = RunOptimiser<CLinearSM, CLibDatConLinearOpt>(c, 1, range, 1.0, false, &linSteps);
        const auto lin8 = RunOptimiser<CLinearSM, CLibDatConLinearOpt>(d, 8, range, 1.0, true, &linOne);
        EXPECT_EQ(nl1, nl8);
        EXPECT_EQ(lin1, lin8);
        EXPECT_GT(lin1, 0);
        EXPECT_EQ(nlSteps, nlOne) << "range " << range;
        EXPECT_EQ(linSteps, linOne) << "range " << range;
        EXPECT_EQ(linSteps.size(), 26u);
        EXPECT_EQ(a.words, b.words);
        EXPECT_EQ(c.words, d.words);
    }
}

TEST(Optimisers, OneCallGivesProgressAndStops) {
    Block base = MixedBlock(2, 2, {0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f}, 23, 12);
    const std::int64_t total = static_cast<std::int64_t>(base.Voxels());
    for (int threads : {1, 4}) {
        // Every range's end is given once, in order, ending at the total.
        Block a = Copy(base);
        a.p.threadCount = threads;
        CLibDatConLinearOpt lib(a.p);
        CLinearSM sm(lib);
        std::vector<std::int64_t> seen;
        sm.RunAll(a.ptrs.data(), total, 100, [&](std::int64_t done) { seen.push_back(done); });
        ASSERT_EQ(seen.size(), static_cast<std::size_t>((total + 99) / 100));
        for (std::size_t k = 0; k + 1 < seen.size(); ++k) EXPECT_EQ(seen[k], 100 * std::int64_t(k + 1));
        EXPECT_EQ(seen.back(), total);
        // A stop asked for from the progress call reaches the caller, and no progress is given
        // after it; with one thread the volume past the stop is left untouched.
        Block b = Copy(base);
        b.p.threadCount = threads;
        CLibDatConNonlinearOpt nlib(b.p);
        CNonlinearGCM gcm(nlib);
        int calls = 0;
        bool stopped = false;
        try {
            gcm.RunAll(b.ptrs.data(), total, 64, [&](std::int64_t done) {
                ++calls;
                if (done >= 128) throw std::runtime_error("stop");
            });
        } catch (const std::runtime_error&) {
            stopped = true;
        }
        EXPECT_TRUE(stopped);
        EXPECT_EQ(calls, 2);
        std::size_t untouched = 0;
        for (std::size_t v = 0; v < b.Voxels(); ++v) untouched += b.words[1][v] == base.words[1][v];
        if (threads == 1) {
            EXPECT_GT(untouched, b.Voxels() / 2);
        }
    }
}

// The nonlinear energy of a full composition vector, written out from its definition (unit
// exponents, no neighbours).
double Energy(const Block& b, std::size_t v, const double* f) {
    const ComputeLibParams& p = b.p;
    const int n = p.comp + 1;
    double e = 0.0;
    for (int j = 1; j <= p.ct; ++j) {
        const std::uint16_t w = b.words[p.comp + j][v];
        const auto [lo, hi] = p.channelAtten[p.comp + j];
        double r = lo + (hi - lo) * static_cast<float>((w & 0x3FFF) / 16383.0);
        for (int i = 0; i < n; ++i) r -= p.Matrix(j, i) * f[i];
        e += std::fabs(r) / p.ctAccuracy[j];
    }
    for (int i = 0; i < n; ++i) {
        e += p.nonlinearSelfEnergy[i] * f[i];
        for (int k = 0; k < n; ++k)
            if (k != i) e += p.nonlinearInteractionEnergy[i * n + k] * f[i] * f[k];
    }
    return e;
}

TEST(NonlinearKernel, ClosedFormIsTheGlobalMinimum) {
    // Self and pair energies from negligible to dominant against the data term: wherever the
    // closed form answers, no point of a fine grid or of a random sample of the simplex has a
    // lower energy.
    std::mt19937 rng(31);
    std::uniform_real_distribution<double> U(0.0, 1.0);
    int answered = 0, refused = 0;
    for (double strength : {0.01, 3.0, 30.0, 300.0}) {
        Block b = MixedBlock(2, 2, {0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f}, 5 + int(strength), 6);
        for (int i = 0; i < 3; ++i) {
            b.p.nonlinearSelfEnergy[i] = static_cast<float>(strength * (U(rng) - 0.5));
            for (int k = 0; k < 3; ++k)
                b.p.nonlinearInteractionEnergy[i * 3 + k] =
                    i == k ? 0.0f : static_cast<float>(strength * (U(rng) - 0.5));
        }
        ExactMinimiser exact;
        ASSERT_TRUE(exact.Init(b.p));
        for (std::size_t v = 0; v < b.Voxels(); ++v) {
            VoxelProblem vp;
            int failure = 0;
            if (!vp.Load(b.p, b.ptrs.data(), v, failure)) continue;
            double f[kMaxCompositions];
            if (!exact.Solve(vp, nullptr, f)) {
                ++refused;
                continue;
            }
            ++answered;
            EXPECT_NEAR(f[0] + f[1] + f[2], 1.0, 1e-12);
            const double e = Energy(b, v, f);
            double best = 1e300;
            for (int a = 0; a <= 200; ++a)
                for (int c = 0; a + c <= 200; ++c) {
                    const double g[3] = {a / 200.0, c / 200.0, (200 - a - c) / 200.0};
                    best = std::min(best, Energy(b, v, g));
                }
            for (int k = 0; k < 200; ++k) {
                double g[3], s = 0;
                for (double& x : g) s += (x = -std::log(U(rng) + 1e-12));
                for (double& x : g) x /= s;
                best = std::min(best, Energy(b, v, g));
            }
            EXPECT_LE(e, best + 1e-9 * (1 + std::fabs(best))) << "voxel " << v << " strength " << strength;
        }
    }
    // Both outcomes occur: the certificate neither refuses everything nor accepts everything.
    EXPECT_GT(answered, 100);
    EXPECT_GT(refused, 10);
}

// Noisy data (1 %) at five compositions move the minimum to faces with other zero fractions than
// the zero-residual point's (a quarter of the voxels went to the search): the closed form must
// still answer nearly every voxel, with the words the search gives.
TEST(NonlinearKernel, ClosedFormAnswersNoisyData) {
    Block base = ExactBlock(4, 77, 2);
    std::mt19937 rng(78);
    for (std::size_t v = 0; v < base.Voxels(); ++v) {
        std::vector<double> f(5);
        for (int i = 0; i < 5; ++i) f[i] = (base.words[i][v] & 0x3FFF) / 16383.0;
        base.SetVoxel(v, f, 1e-2, &rng);
        for (int i = 0; i < 5; ++i) base.words[i][v] = static_cast<std::uint16_t>(std::lround(f[i] * 16383));
    }
    ExactMinimiser exact;
    ASSERT_TRUE(exact.Init(base.p));
    std::size_t answered = 0;
    for (std::size_t v = 0; v < base.Voxels(); ++v) {
        VoxelProblem vp;
        int failure = 0;
        double f[kMaxCompositions];
        answered += vp.Load(base.p, base.ptrs.data(), v, failure) && exact.Solve(vp, nullptr, f);
    }
    EXPECT_GT(answered, base.Voxels() * 19 / 20);
    Block closed = Copy(base), searched = Copy(base);
    for (Block* b : {&closed, &searched}) {
        b->p.threadCount = 2;
        CLibDatConNonlinearOpt lib(b->p);
        CNonlinearGCM gcm(lib);
        gcm.UseClosedForm(b == &closed);
        gcm.RunAll(b->ptrs.data(), static_cast<std::int64_t>(b->Voxels()), 1000, [](std::int64_t) {});
    }
    EXPECT_EQ(closed.words, searched.words);
}

TEST(NonlinearKernel, ClosedFormGivesTheWordsOfTheSearch) {
    struct Case {
        int comp, ct;
        std::vector<float> rows;
        int range;
        float self;
    } cases[] = {
        {2, 2, {0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f}, 0, 0.0f},
        {2, 2, {0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f}, 0, 2.0f},
        {2, 2, {0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f}, 1, 0.05f},
        {4,
         4,
         {0.0f, 0.81f, 15.4f, 9.6f,  198.0f, 0.0f, 0.27f, 2.23f, 1.43f, 29.4f,
          0.0f, 0.21f, 1.02f, 0.68f, 11.4f,  0.0f, 0.18f, 0.49f, 0.39f, 3.7f},
         0,
         0.02f},
        {3, 2, {0.0f, 0.37f, 2.9f, 1.3f, 0.0f, 0.21f, 0.62f, 1.0f}, 0, 0.0f},  // not square: search only
    };
    unsigned seed = 40;
    for (const Case& c : cases) {
        Block base = MixedBlock(c.comp, c.ct, c.rows, seed++);
        for (int i = 0; i <= c.comp; ++i) base.p.nonlinearSelfEnergy[i] = c.self * i;
        Block closed = Copy(base), searched = Copy(base);
        for (Block* b : {&closed, &searched}) {
            b->p.threadCount = 3;
            CLibDatConNonlinearOpt lib(b->p);
            std::unique_ptr<NeighbourInteraction> nb;
            std::int64_t total = static_cast<std::int64_t>(b->Voxels());
            if (c.range) {
                nb = std::make_unique<NeighbourInteraction>(lib, b->ptrs.data(), c.range, 2.0);
                total = nb->VoxelCount();
            }
            CNonlinearGCM gcm(lib);
            gcm.SetNeighbours(nb.get());
            gcm.UseClosedForm(b == &closed);
            gcm.Run(b->ptrs.data(), 0, total);
        }
        EXPECT_EQ(closed.words, searched.words) << c.comp << " compositions, range " << c.range;
        EXPECT_NE(closed.words, base.words);
    }
}

TEST(LinearKernel, ClosedFormGivesTheWordsOfTheSimplex) {
    struct Case {
        int comp, ct;
        std::vector<float> rows;
        int range;
        int variant;  // 0 defaults, 1 self energies, 2 no interaction with the previous state
    } cases[] = {
        {2, 2, {0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f}, 0, 0},
        {2, 2, {0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f}, 0, 1},
        {2, 2, {0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f}, 0, 2},
        {2, 2, {0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f}, 1, 0},
        {4,
         4,
         {0.0f, 0.81f, 15.4f, 9.6f,  198.0f, 0.0f, 0.27f, 2.23f, 1.43f, 29.4f,
          0.0f, 0.21f, 1.02f, 0.68f, 11.4f,  0.0f, 0.18f, 0.49f, 0.39f, 3.7f},
         0,
         0},
    };
    unsigned seed = 60;
    for (const Case& c : cases) {
        Block base = MixedBlock(c.comp, c.ct, c.rows, seed++, 9);
        // Smooth regions as well as noisy ones: neighbouring voxels that share their vertex.
        std::mt19937 rng(seed);
        for (std::size_t v = 0; v < base.Voxels() / 2; ++v) {
            std::vector<double> f(c.comp + 1, 0.1 / c.comp);
            f[1] = 0.9;
            base.SetVoxel(v, f, 0.002, &rng);
            for (int i = 0; i <= c.comp; ++i)
                base.words[i][v] = static_cast<std::uint16_t>(16383 / (c.comp + 1));
        }
        if (c.variant == 1) {
            base.p.minimiseSelfEnergy = 1;
            for (int i = 0; i <= c.comp; ++i) base.p.linearObjectiveWeights[i] = 0.05f * float(i) - 0.07f;
        }
        if (c.variant == 2) base.p.interactWithPreviousState = 0;
        Block vertex = Copy(base), simplex = Copy(base);
        for (Block* b : {&vertex, &simplex}) {
            b->p.threadCount = 2;
            CLibDatConLinearOpt lib(b->p);
            std::unique_ptr<NeighbourInteraction> nb;
            std::int64_t total = static_cast<std::int64_t>(b->Voxels());
            if (c.range) {
                nb = std::make_unique<NeighbourInteraction>(lib, b->ptrs.data(), c.range, 1.0);
                total = nb->VoxelCount();
            }
            CLinearSM sm(lib);
            sm.SetNeighbours(nb.get());
            sm.UseClosedForm(b == &vertex);
            sm.Run(b->ptrs.data(), 0, total);
        }
        EXPECT_EQ(vertex.words, simplex.words) << c.comp << " compositions, variant " << c.variant;
    }
}

// Exact data whose composition words hold the truth, as after a first pass: the band-box corner
// often has a fraction below zero there, and the closed form reaches the optimum by dual steps;
// and noisy data, whose voxels mostly fall outside their bands and take the soft form. Every
// voxel must get the simplex's words.
TEST(LinearKernel, DualStepsGiveTheWordsOfTheSimplex) {
    for (int comp : {2, 4}) {
        for (int variant = 0; variant < 6; ++variant) {
            Block base = ExactBlock(comp, comp * 10 + variant, 8);
            const int n = comp + 1;
            if (variant == 5) {
                // Costs as small as the tie-break's weight, which then decides between vertices.
                base.p.interactWithPreviousState = 0;
                base.p.minimiseSelfEnergy = 1;
                for (int i = 0; i < n; ++i) base.p.linearObjectiveWeights[i] = 2e-6f * float(i - 1);
            }
            if (variant >= 3) {
                // Noisy CT values: most voxels outside their bands, solved in the soft form.
                std::mt19937 rng(variant);
                for (std::size_t v = 0; v < base.Voxels(); ++v) {
                    std::vector<double> f(n);
                    for (int i = 0; i < n; ++i) f[i] = (base.words[i][v] & 0x3FFF) / 16383.0;
                    base.SetVoxel(v, f, variant == 3 ? 1e-3 : 1e-2, &rng);
                    for (int i = 0; i < n; ++i)
                        base.words[i][v] = static_cast<std::uint16_t>(std::lround(f[i] * 16383));
                }
            }
            if (variant == 1) {
                base.p.minimiseSelfEnergy = 1;
                for (int i = 0; i < n; ++i) base.p.linearObjectiveWeights[i] = 0.03f * float(i) - 0.04f;
            }
            if (variant == 2)
                for (float& e : base.p.linearInteractionEnergy) e = -e;
            Block vertex = Copy(base), simplex = Copy(base);
            for (Block* b : {&vertex, &simplex}) {
                b->p.threadCount = 1;
                CLibDatConLinearOpt lib(b->p);
                CLinearSM sm(lib);
                sm.UseClosedForm(b == &vertex);
                sm.Run(b->ptrs.data(), 0, static_cast<std::int64_t>(b->Voxels()));
            }
            std::size_t differing = 0;
            for (int i = 0; i < n; ++i)
                for (std::size_t v = 0; v < base.Voxels(); ++v)
                    differing += vertex.words[i][v] != simplex.words[i][v];
            EXPECT_EQ(differing, 0u) << n << " compositions, variant " << variant;
        }
    }
}

TEST(LinearKernel, NoisyWordsGiveTheSimplexsWordsAndReports) {
    // CT words with a few words of noise, run whole as a computation runs them (vector lanes, the
    // soft form in the lanes and voxel by voxel, dual steps that prove the bands cannot meet)
    // and by the simplex alone: the same words, the same count outside the bands and the same
    // reports.
    for (int noise : {5, 20}) {
        Block base = ExactBlock(4, 40 + noise, 10);
        std::mt19937 rng(noise);
        std::normal_distribution<double> g(0.0, noise);
        for (int j = 1; j <= 4; ++j)
            for (std::size_t v = 0; v < base.Voxels(); ++v) {
                const long w = std::lround(base.words[4 + j][v] + g(rng));
                base.words[4 + j][v] = static_cast<std::uint16_t>(std::clamp(w, 0L, 16383L));
            }
        base.p.maxErrorReports = 40;
        Block closed = Copy(base), simplex = Copy(base);
        std::int64_t outside[2] = {};
        std::vector<std::string> reports[2];
        for (int k = 0; k < 2; ++k) {
            Block& b = k == 0 ? closed : simplex;
            b.p.threadCount = 1;
            CLibDatConLinearOpt lib(b.p);
            CLinearSM sm(lib);
            sm.UseClosedForm(k == 0);
            outside[k] = sm.RunAll(b.ptrs.data(), std::int64_t(b.Voxels()), 1000, [](std::int64_t) {});
            for (const auto& r : lib.Reports()) reports[k].push_back(r.text);
        }
        EXPECT_GT(outside[1], std::int64_t(base.Voxels() / 10)) << noise;
        EXPECT_EQ(outside[0], outside[1]) << noise;
        EXPECT_EQ(reports[0], reports[1]) << noise;
        std::size_t differing = 0;
        for (int i = 0; i < 5; ++i)
            for (std::size_t v = 0; v < base.Voxels(); ++v)
                differing += closed.words[i][v] != simplex.words[i][v];
        EXPECT_EQ(differing, 0u) << noise;
    }
}

// Two voxels of exact data whose optimal vertex beats its neighbour by a part in 1e9 of the
// objective: the simplex stopped at the neighbour (its reduced costs fell below the pivoting
// tolerance), so a voxel's words depended on whether the closed form or the simplex answered it.
// The words expected are those of the optimum found by enumerating every vertex.
TEST(LinearKernel, SimplexEndsAtTheOptimum) {
    Block base(2, 1, 1, 2, 2, {0.0f, 0.81f, 15.44f, 0.0f, 0.206f, 1.019f});
    for (int j = 1; j <= 2; ++j) {
        base.p.channelAtten[2 + j][1] = 1.2f * base.p.matrixRowMax[j];
        base.p.ctAccuracy[j] = 6.714277e-5f * base.p.channelAtten[2 + j][1];
    }
    base.p.interactWithPreviousState = 1;
    const std::uint16_t words[2][5] = {{1659, 3578, 11146, 9445, 9891}, {234, 2872, 13277, 11190, 11548}};
    const std::uint16_t optimum[2][3] = {{1658, 3578, 11147}, {233, 2872, 13278}};
    for (int v = 0; v < 2; ++v)
        for (int c = 0; c < 5; ++c) base.words[c][v] = words[v][c];
    for (bool closedForm : {false, true}) {
        Block b = Copy(base);
        b.p.threadCount = 1;
        CLibDatConLinearOpt lib(b.p);
        CLinearSM sm(lib);
        sm.UseClosedForm(closedForm);
        sm.Run(b.ptrs.data(), 0, 2);
        for (int v = 0; v < 2; ++v)
            for (int i = 0; i < 3; ++i)
                EXPECT_EQ(b.words[i][v], optimum[v][i]) << "voxel " << v << ", closed form " << closedForm;
    }
}

TEST(LinearKernel, ClosedFormAnswersSmoothRegions) {
    // A region of one mixture: after the first voxels the vertex is known and the simplex is
    // no longer needed.
    Block b(20, 20, 1, 2, 2, {0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f});
    std::mt19937 rng(3);
    for (std::size_t v = 0; v < b.Voxels(); ++v) {
        b.SetVoxel(v, {0.2, 0.5, 0.3}, 0.001, &rng);
        for (int i = 0; i < 3; ++i) b.words[i][v] = 5461;
    }
    b.p.interactWithPreviousState = 1;
    LinearVertex vertex;
    ASSERT_TRUE(vertex.Init(b.p));
    LinearVertex::Recent recent;
    int answered = 0;
    for (std::size_t v = 0; v < b.Voxels(); ++v) {
        VoxelProblem vp;
        int failure = 0;
        ASSERT_TRUE(vp.Load(b.p, b.ptrs.data(), v, failure));
        double cost[3], f[3];
        for (int i = 0; i < 3; ++i) cost[i] = 0.01 * (1.0 - vp.f[i]);
        if (vertex.Solve(vp, cost, 1e-6 * 1.01, vp.f, f, recent)) {
            ++answered;
            continue;
        }
        // What the simplex would find, from the programme written out.
        SmallLp lp;
        lp.Reset(9);
        for (int i = 0; i < 3; ++i) lp.cost[i] = cost[i];
        for (int i = 3; i < 9; ++i) lp.cost[i] = 1e-6 * 1.01;
        double row[9] = {1, 1, 1, 0, 0, 0, 0, 0, 0};
        lp.AddRow(row, SmallLp::Eq, 1.0);
        for (int q = 0; q < 2; ++q) {
            double r[9] = {};
            for (int k = 0; k < 3; ++k) r[k] = VoxelProblem::A(b.p, vp, q, k) / vp.tol[q];
            lp.AddRow(r, SmallLp::Le, vp.b[q] / vp.tol[q] + 1.0);
            lp.AddRow(r, SmallLp::Ge, vp.b[q] / vp.tol[q] - 1.0);
        }
        for (int k = 0; k < 3; ++k) {
            double r[9] = {};
            r[k] = 1.0;
            r[3 + 2 * k] = -1.0;
            r[4 + 2 * k] = 1.0;
            lp.AddRow(r, SmallLp::Eq, vp.f[k]);
        }
        std::vector<double> x;
        LpWorkspace ws;
        double obj;
        ASSERT_EQ(SolveSmallLp(lp, x, obj, ws), kLpOptimal);
        vertex.Learn(vp, vp.f, x.data(), recent);
    }
    EXPECT_GT(answered, static_cast<int>(b.Voxels()) * 3 / 4);
}

TEST(Optimisers, NeighbourInteractionSmoothsNoise) {
    // A noisy two-phase block: with attraction between equal neighbours the result is closer
    // to the clean phases than without.
    Block b(16, 16, 4, 2, 2, {0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f});
    std::mt19937 rng(23);
    std::vector<int> phase(b.Voxels());
    for (std::size_t v = 0; v < b.Voxels(); ++v) {
        phase[v] = (v % 16) < 8 ? 1 : 2;
        std::vector<double> f{0, 0, 0};
        f[phase[v]] = 1.0;
        b.SetVoxel(v, f, 0.08, &rng);
    }
    b.p.randomSeed = 1;
    for (int s = 1; s < 4; ++s)
        for (int i = 0; i < 3; ++i) b.p.nonlinearInteractionEnergy[s * 9 + i * 4] = -40.0f;
    Block plain = b;
    plain.ptrs.clear();
    for (auto& w : plain.words) plain.ptrs.push_back(w.data());
    RunOptimiser<CNonlinearGCM, CLibDatConNonlinearOpt>(plain, 4, 0, 1);
    RunOptimiser<CNonlinearGCM, CLibDatConNonlinearOpt>(b, 4, 1, 3);
    auto error = [&](const Block& blk) {
        double e = 0;
        for (std::size_t v = 0; v < blk.Voxels(); ++v) e += 1.0 - blk.Fraction(phase[v], v);
        return e;
    };
    EXPECT_LT(error(b), error(plain));
}

TEST(Optimisers, BoundaryMaskIsRespected) {
    Block b(10, 1, 1, 2, 2, {0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f});
    for (std::size_t v = 0; v < b.Voxels(); ++v) b.SetVoxel(v, {0.2, 0.5, 0.3});
    std::vector<std::uint16_t> mask(10, 0);
    for (int v = 0; v < 5; ++v) mask[v] = 16383;
    b.p.maskWords = mask.data();
    b.p.maskWord = 16383;
    RunOptimiser<CNonlinearGCM, CLibDatConNonlinearOpt>(b, 2, 0, 1);
    for (std::size_t v = 0; v < 10; ++v) EXPECT_EQ(b.words[1][v] != 0, v < 5) << v;
    RunOptimiser<CLinearSM, CLibDatConLinearOpt>(b, 2, 1, 1);
    for (std::size_t v = 5; v < 10; ++v) EXPECT_EQ(b.words[1][v], 0) << v;
}

TEST(DataCheck, VoxelCorrections) {
    Block b(1, 1, 1, 2, 1, {0.0f, 1.0f, 2.0f});
    b.p.channelAtten[3] = {0.0f, 2.5f};
    b.p.ctAccuracy[1] = 0.01f;
    DataCheckConstants k(b.p);
    std::uint16_t* comp[3] = {b.ptrs[0], b.ptrs[1], b.ptrs[2]};
    std::uint16_t* ctw[2] = {nullptr, b.ptrs[3]};
    // Consistent fixed voxel: nothing changes.
    b.words[0][0] = 0x4000 | 0;
    b.words[1][0] = 0x4000 | 8192;
    b.words[2][0] = 0x4000 | 8191;
    b.words[3][0] =
        0x4000 | static_cast<std::uint16_t>(std::lround((8192 / 16383.0 + 2 * 8191 / 16383.0) / 2.5 * 16383));
    auto before = b.words;
    EXPECT_EQ(CheckVoxel(k, comp, ctw), 0);
    EXPECT_EQ(b.words, before);
    // A small fixed excess is taken from the smallest non-zero fixed fraction within its
    // tolerance.
    b.words[1][0] = 0x4000 | 8222;  // sum 16413: 30 too many
    CheckVoxel(k, comp, ctw);
    EXPECT_EQ(b.words[1][0] & 0x3FFF, 8222);
    EXPECT_EQ(b.words[2][0] & 0x3FFF, 8161);
    // An excess beyond every tolerance marks the voxel.
    b.words[1][0] = 0x4000 | 16000;
    b.words[2][0] = 0x4000 | 16000;
    CheckVoxel(k, comp, ctw);
    EXPECT_TRUE(b.words[0][0] & 0x8000);
    // A fixed CT value above every pure composition.
    b.words = before;
    b.words[1][0] = 0;
    b.words[2][0] = 0;
    b.words[3][0] = 0x4000 | 16383;
    EXPECT_EQ(CheckVoxel(k, comp, ctw), -3);
    // A free CT word of a fully fixed voxel is rewritten from the prediction.
    b.words = before;
    b.words[3][0] = 100;
    CheckVoxel(k, comp, ctw);
    EXPECT_EQ(b.words[3][0], before[3][0] & 0x3FFF);
}

TEST(DataCheck, SlicePathReportsUpToTheMaximum) {
    Block b(4, 4, 2, 1, 1, {0.0f, 1.0f});
    for (auto& w : b.words[1]) w = 0x4000 | 16383;  // fixed full fraction
    for (auto& w : b.words[0]) w = 0x4000 | 16383;  // and a fixed void: far too much
    b.p.maxErrorReports = 3;
    b.p.compTolerance = {0, 0};
    for (auto& w : b.words[2]) w = 0x4000 | 16383;
    b.p.channelAtten[2] = {0.0f, 0.5f};
    CLibDataCheckCorrect lib(b.p);
    for (int z = 0; z < 2; ++z) {
        std::vector<std::uint16_t*> p{b.ptrs[0] + z * 16, b.ptrs[1] + z * 16, b.ptrs[2] + z * 16};
        DataCheckSlice(lib, p.data(), z);
    }
    auto reports = lib.Reports();
    ASSERT_EQ(reports.size(), 3u);
    EXPECT_EQ(reports[0].text, "DataCheckingCorrection error -2, slice 0, voxel 0 of 16\n");
    EXPECT_EQ(lib.params.status, -2);
    EXPECT_TRUE(lib.ReportsExhausted());
}

TEST(Extrapolation, FillsBetweenAndBeyondMeasuredSections) {
    Block b(2, 1, 8, 1, 1, {0.0f, 1.0f});
    b.p.importAxis = 2;
    b.p.importCounts[1] = {0, 0, 2};
    auto at = [&](int x, int z) -> std::uint16_t& { return b.words[1][z * 2 + x]; };
    at(0, 2) = 0x4000 | 1000;
    at(0, 6) = 0x4000 | 5000;
    at(1, 3) = 0x4000 | 700;
    at(0, 7) = 0x8000 | 1;  // the error flag of a free word is kept
    CLibInterSectionExtrapolate lib(b.p);
    EXPECT_EQ(ExtrapolateChannel(lib, b.ptrs[1], 1), 0);
    EXPECT_EQ(at(0, 0), 1000);
    EXPECT_EQ(at(0, 4), 3000);
    EXPECT_EQ(at(0, 5), 4000);
    EXPECT_EQ(at(0, 7), 0x8000 | 5000);
    EXPECT_EQ(at(1, 0), 700);
    EXPECT_EQ(at(1, 7), 700);
    EXPECT_EQ(at(0, 2), 0x4000 | 1000);
    // No composition with sections: a warning.
    b.p.importCounts[1] = {0, 0, 0};
    CLibInterSectionExtrapolate none(b.p);
    EXPECT_EQ(ExtrapolateChannel(none, b.ptrs[0], 0), -1);
    EXPECT_EQ(none.Reports().size(), 1u);
}

TEST(Segmentation, PicksTheBestMatchingComposition) {
    Block b(3, 1, 1, 2, 2, {0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f});
    b.SetVoxel(0, {1, 0, 0});
    b.SetVoxel(1, {0, 0.9, 0.1});
    b.SetVoxel(2, {0, 0.2, 0.8});
    b.words[b.p.comp + 2][2] |= 0x8000;  // an unusable CT value is ignored
    CLibDiscreteLeastSquareSegmentation lib(b.p);
    SegmentSlice(lib, b.ptrs.data(), 0);
    EXPECT_EQ(b.words[0][0], 16383);
    EXPECT_EQ(b.words[1][1], 16383);
    EXPECT_EQ(b.words[2][2], 16383);
    EXPECT_EQ(b.words[1][2], 0);
    EXPECT_EQ(lib.params.status, 0);
}

TEST(Segmentation, StatusKeptWhenNoReportIsLeft) {
    Block b(2, 1, 1, 1, 1, {0.0f, 1.0f});
    for (auto& w : b.words[2]) w |= 0x8000;  // no usable CT value anywhere
    b.p.maxErrorReports = 0;
    CLibDiscreteLeastSquareSegmentation lib(b.p);
    SegmentSlice(lib, b.ptrs.data(), 0);
    EXPECT_TRUE(lib.Reports().empty());
    EXPECT_EQ(lib.params.status, -1);
}

// The whole-volume runs hand out chunks to whichever thread is free: the words, the status and
// the reports (capped, in voxel order across slices) must not depend on which thread took what,
// and a stop from the progress report keeps the reports of the voxels done.
TEST(Segmentation, VolumeRunDoesNotDependOnTheThreads) {
    auto run = [](int threads, std::vector<int>* progress, int stopAt) {
        auto b = std::make_unique<Block>(64, 64, 12, 2, 2,
                                         std::vector<float>{0.0f, 0.37f, 2.9f, 0.0f, 0.21f, 0.62f});
        std::mt19937 rng(5);
        std::uniform_real_distribution<double> u(0.0, 1.0);
        for (std::size_t v = 0; v < b->Voxels(); ++v) {
            const double x = u(rng), y = u(rng) * (1 - x);
            b->SetVoxel(v, {x, y, 1 - x - y});
            if (v % 4099 == 7) b->words[b->p.comp + 1][v] |= 0x8000, b->words[b->p.comp + 2][v] |= 0x8000;
            if (v % 5003 == 11) b->words[1][v] = 0x4000 | 100;  // fixed, and no pure composition
        }
        b->p.maxErrorReports = 6;
        b->p.threadCount = threads;
        auto lib = std::make_unique<CLibDiscreteLeastSquareSegmentation>(b->p);
        try {
            SegmentSlices(*lib, b->ptrs.data(), 0, b->p.nz, [&](int z) {
                if (progress) progress->push_back(z);
                if (z >= stopAt) throw std::runtime_error("stop");
            });
        } catch (const std::runtime_error&) {
            EXPECT_LT(stopAt, b->p.nz);
        }
        return std::make_pair(std::move(b), std::move(lib));
    };
    std::vector<int> progress;
    auto [one, oneLib] = run(1, nullptr, 99);
    auto [four, fourLib] = run(4, &progress, 99);
    EXPECT_EQ(one->words, four->words);
    EXPECT_EQ(oneLib->params.status, fourLib->params.status);
    EXPECT_EQ(oneLib->params.status, -2);
    const auto a = oneLib->Reports(), b = fourLib->Reports();
    ASSERT_EQ(a.size(), 6u);
    ASSERT_EQ(b.size(), 6u);
    for (std::size_t k = 0; k < a.size(); ++k) {
        EXPECT_EQ(a[k].voxel, b[k].voxel);
        EXPECT_EQ(a[k].text, b[k].text);
        if (k) {
            EXPECT_LT(b[k - 1].voxel, b[k].voxel);
        }
    }
    EXPECT_EQ(b[0].text, "DiscreteLeastSquareSegmentation: no usable CT value, slice 0, voxel 7\n");
    EXPECT_EQ(b[1].text,
              "DiscreteLeastSquareSegmentation: fixed voxel disagrees with the best match, slice 0, "
              "voxel 11\n");
    EXPECT_EQ(b[4].voxel, 8205);
    ASSERT_FALSE(progress.empty());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 12);

    auto [stopped, stoppedLib] = run(4, nullptr, 3);
    const auto c = stoppedLib->Reports();
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c[0].voxel, 7);
    for (std::size_t k = 1; k < c.size(); ++k) EXPECT_LT(c[k - 1].voxel, c[k].voxel);
}

TEST(DataCheck, VolumeRunDoesNotDependOnTheThreads) {
    auto run = [](int threads) {
        auto b = std::make_unique<Block>(96, 64, 8, 1, 1, std::vector<float>{0.0f, 1.0f});
        for (std::size_t v = 0; v < b->Voxels(); ++v) {
            b->words[0][v] = static_cast<std::uint16_t>(v % 9000);
            b->words[1][v] = static_cast<std::uint16_t>(16383 - v % 9000);
            b->words[2][v] = static_cast<std::uint16_t>(v * 7 % 16384);
            // Fixed fractions that overshoot the sum by more than the tolerance.
            if (v % 3001 == 5) b->words[0][v] = b->words[1][v] = 0x4000 | 16383;
        }
        b->p.compTolerance = {0, 0};
        b->p.maxErrorReports = 4;
        b->p.threadCount = threads;
        auto lib = std::make_unique<CLibDataCheckCorrect>(b->p);
        DataCheckSlices(*lib, b->ptrs.data(), 0, b->p.nz, {});
        return std::make_pair(std::move(b), std::move(lib));
    };
    auto [one, oneLib] = run(1);
    auto [four, fourLib] = run(4);
    EXPECT_EQ(one->words, four->words);
    EXPECT_EQ(oneLib->params.status, fourLib->params.status);
    const auto a = oneLib->Reports(), b = fourLib->Reports();
    ASSERT_EQ(a.size(), 4u);
    ASSERT_EQ(b.size(), 4u);
    for (std::size_t k = 0; k < a.size(); ++k) EXPECT_EQ(a[k].text, b[k].text);
    EXPECT_EQ(b[0].text, "DataCheckingCorrection error -2, slice 0, voxel 5 of 6144\n");
    EXPECT_EQ(b[3].text, "DataCheckingCorrection error -2, slice 1, voxel 2864 of 6144\n");
}

}  // namespace
}  // namespace zun::zunlib
