#include "model/label.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <new>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/failingnew.h"
#include "platform/prompt.h"

namespace zun {
namespace {

using Mask = std::vector<std::uint8_t>;
using Labels = std::vector<ullong>;

// Labels the mask with scipy.ndimage.label (26-connectivity) and returns its labels.
Labels ScipyLabels(const Mask& mask, int nx, int ny, int nz, std::uint8_t fg, ullong& count) {
    const std::string base = std::string(ZUN_TEST_BINARY_DIR) + "/label_ref_" + std::to_string(::getpid());
    {
        std::ofstream f(base + ".mask", std::ios::binary);
        f.write(reinterpret_cast<const char*>(mask.data()), static_cast<std::streamsize>(mask.size()));
    }
    std::string cmd = std::string(ZUN_PYTHON) + " " + ZUN_TEST_DIR + "/label_reference.py " + base +
                      ".mask " + std::to_string(nz) + " " + std::to_string(ny) + " " + std::to_string(nx) +
                      " " + std::to_string(fg) + " " + base + ".labels";
    FILE* p = popen(cmd.c_str(), "r");
    EXPECT_NE(p, nullptr);
    unsigned long long c = 0;
    EXPECT_EQ(std::fscanf(p, "%llu", &c), 1);
    EXPECT_EQ(pclose(p), 0);
    count = c;
    Labels out(mask.size());
    std::ifstream f(base + ".labels", std::ios::binary);
    f.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size() * 8));
    std::remove((base + ".mask").c_str());
    std::remove((base + ".labels").c_str());
    return out;
}

Mask RandomMask(int n, double density, unsigned seed, std::uint8_t fg = 1) {
    std::mt19937 rng(seed);
    std::bernoulli_distribution d(density);
    Mask m(n);
    for (auto& v : m) v = d(rng) ? fg : static_cast<std::uint8_t>(fg == 1 ? 0 : 1);
    return m;
}

// Balls of random centre and radius, some touching: a phantom with clusters of many sizes.
Mask BallPhantom(int nx, int ny, int nz, unsigned seed) {
    std::mt19937 rng(seed);
    Mask m(static_cast<std::size_t>(nx) * ny * nz, 0);
    for (int b = 0; b < 25; ++b) {
        double cx = rng() % nx, cy = rng() % ny, cz = rng() % nz, r = 1 + rng() % 6;
        for (int z = 0; z < nz; ++z)
            for (int y = 0; y < ny; ++y)
                for (int x = 0; x < nx; ++x)
                    if ((x - cx) * (x - cx) + (y - cy) * (y - cy) + (z - cz) * (z - cz) <= r * r)
                        m[(static_cast<std::size_t>(z) * ny + y) * nx + x] = 1;
    }
    return m;
}

struct Case {
    int nx, ny, nz;
    double density;
};

TEST(Labelling, AgreesWithScipyOnRandomMasks) {
    const Case cases[] = {{40, 30, 20, 0.3}, {33, 17, 29, 0.5}, {64, 64, 16, 0.15}, {1, 20, 30, 0.5},
                          {25, 1, 9, 0.6},   {31, 23, 1, 0.45}, {7, 5, 64, 0.4},    {2, 2, 2, 0.7}};
    unsigned seed = 11;
    for (const Case& c : cases) {
        const int n = c.nx * c.ny * c.nz;
        Mask m = RandomMask(n, c.density, seed++);
        ullong refCount = 0;
        Labels ref = ScipyLabels(m, c.nx, c.ny, c.nz, 1, refCount);
        for (int threads : {1, 3, 8}) {
            Labels got(n, 99);
            ullong count = ClusterSets::LabelPlanes(m.data(), got.data(), c.nx, c.ny, c.nz, 1, threads);
            ASSERT_EQ(count, refCount) << c.nx << "x" << c.ny << "x" << c.nz << " threads " << threads;
            ASSERT_EQ(got, ref) << c.nx << "x" << c.ny << "x" << c.nz << " threads " << threads;
        }
    }
}

TEST(Labelling, AgreesWithScipyOnPhantomsAndOtherForeground) {
    const int nx = 48, ny = 40, nz = 36;
    Mask m = BallPhantom(nx, ny, nz, 5);
    for (auto& v : m) v = v ? 7 : 3;
    ullong refCount = 0;
    Labels ref = ScipyLabels(m, nx, ny, nz, 7, refCount);
    Labels got(m.size());
    EXPECT_EQ(LabelLinkedClusters(m.data(), got.data(), nx, ny, nz, 0, 7, 4), refCount);
    EXPECT_EQ(got, ref);
}

TEST(Labelling, CornerAndDiagonalContacts) {
    // Two voxels touching by a corner only form one cluster in 3-D; diagonal pixels in one slice too.
    Mask m(27, 0);
    m[0] = 1;
    m[13] = 1;
    m[26] = 1;
    Labels l(27);
    EXPECT_EQ(LabelLinkedClusters(m.data(), l.data(), 3, 3, 3, 0, 1), 1u);
    EXPECT_EQ(l[0], 1u);
    EXPECT_EQ(l[26], 1u);
    Mask s{1, 0, 0, 1};
    Labels ls(4);
    EXPECT_EQ(LabelLinkedClusters(s.data(), ls.data(), 2, 2, 1, 0, 1), 1u);
}

TEST(Labelling, OrderBySize) {
    // Clusters of 5, 9 and 9 voxels, met in that order along a row.
    const int nx = 40;
    Mask m(nx, 0);
    for (int x = 0; x < 5; ++x) m[x] = 1;
    for (int x = 10; x < 19; ++x) m[x] = 1;
    for (int x = 25; x < 34; ++x) m[x] = 1;
    Labels l(nx);
    ASSERT_EQ(LabelLinkedClusters(m.data(), l.data(), nx, 1, 1, 1, 1), 3u);
    EXPECT_EQ(l[0], 3u);
    EXPECT_EQ(l[10], 1u);
    EXPECT_EQ(l[25], 2u);
    ASSERT_EQ(LabelLinkedClusters(m.data(), l.data(), nx, 1, 1, -1, 1), 3u);
    EXPECT_EQ(l[0], 1u);
    EXPECT_EQ(l[10], 3u);
    EXPECT_EQ(l[25], 2u);
    EXPECT_EQ(l[6], 0u);
}

TEST(Labelling, OrderedSizesAgreeWithScipyCounts) {
    const int nx = 30, ny = 30, nz = 30;
    Mask m = RandomMask(nx * ny * nz, 0.28, 3);
    ullong refCount = 0;
    Labels ref = ScipyLabels(m, nx, ny, nz, 1, refCount);
    Labels l(m.size());
    ASSERT_EQ(LabelLinkedClusters(m.data(), l.data(), nx, ny, nz, 1, 1, 5), refCount);
    std::vector<ullong> size(refCount + 1), refSize(refCount + 1);
    for (std::size_t i = 0; i < l.size(); ++i) {
        ++size[l[i]];
        ++refSize[ref[i]];
        EXPECT_EQ(l[i] == 0, ref[i] == 0);
    }
    for (ullong k = 2; k <= refCount; ++k) EXPECT_GE(size[k - 1], size[k]);
    std::sort(refSize.begin() + 1, refSize.end(), std::greater<>());
    EXPECT_EQ(std::vector<ullong>(size.begin() + 1, size.end()),
              std::vector<ullong>(refSize.begin() + 1, refSize.end()));
}

TEST(Labelling, ClampedCopies) {
    // Isolated voxels on every other position: 20*20*20*... more than 16383 clusters.
    const int nx = 64, ny = 64, nz = 34;
    Mask m(static_cast<std::size_t>(nx) * ny * nz, 0);
    for (int z = 0; z < nz; z += 2)
        for (int y = 0; y < ny; y += 2)
            for (int x = 0; x < nx; x += 2) m[(static_cast<std::size_t>(z) * ny + y) * nx + x] = 1;
    std::vector<std::uint16_t> u16(m.size());
    std::int64_t n = LinkedClustersToUShort(nz, m.data(), u16.data(), nx, ny, 0, 1);
    EXPECT_EQ(n, 32 * 32 * 17);
    EXPECT_EQ(u16[0], 1);
    EXPECT_EQ(u16.back(), 0);
    EXPECT_EQ(u16[(static_cast<std::size_t>(nz - 2) * ny + ny - 2) * nx + nx - 2], 16383);
    std::vector<std::uint32_t> u32(m.size());
    EXPECT_EQ(LinkedClustersToUInt(nz, m.data(), u32.data(), nx, ny, 0, 1), n);
    EXPECT_EQ(u32[(static_cast<std::size_t>(nz - 2) * ny + ny - 2) * nx + nx - 2],
              static_cast<std::uint32_t>(n));
}

TEST(ClusterSelection, PlanesAndCombination) {
    // Three columns along z: A at x=0 spans z 0..3, B at x=2 spans z 0..1, C at x=4 spans z 2..3.
    const int nx = 5, ny = 1, nz = 4;
    Mask m(nx * ny * nz, 0);
    for (int z = 0; z < 4; ++z) m[z * nx + 0] = 1;
    for (int z = 0; z < 2; ++z) m[z * nx + 2] = 1;
    for (int z = 2; z < 4; ++z) m[z * nx + 4] = 1;
    Labels l(m.size());
    ASSERT_EQ(ClusterSets::LabelPlanes(m.data(), l.data(), nx, ny, nz, 1), 3u);
    std::set<ullong> s;
    ClusterSets::CollectPlaneLabels(s, l.data(), nx, ny, nz, 0, 2);
    EXPECT_EQ(s, (std::set<ullong>{1, 2}));
    s.clear();
    ClusterSets::CollectPlaneLabels(s, l.data(), nx, ny, nz, 9, 2);
    EXPECT_TRUE(s.empty());

    Labels sel = l;
    // z planes 0 and 3 intersected: only A reaches both ends.
    EXPECT_EQ(ClusterSets::Combine(sel.data(), 3, nx, ny, nz, {false, false, true}, {0, 0, 1},
                                   {{{0, 0}, {0, 0}, {0, 3}}}),
              1u);
    EXPECT_EQ(sel[0], 1u);   // A: 2*1-1
    EXPECT_EQ(sel[2], 4u);   // B: 2*2
    EXPECT_EQ(sel[14], 6u);  // C: 2*3
    EXPECT_EQ(sel[1], 0u);
    // Union of the end planes selects all three; no axis selects nothing and leaves labels.
    sel = l;
    EXPECT_EQ(ClusterSets::Combine(sel.data(), 3, nx, ny, nz, {false, false, true}, {0, 0, 2},
                                   {{{0, 0}, {0, 0}, {0, 3}}}),
              3u);
    sel = l;
    EXPECT_EQ(ClusterSets::Combine(sel.data(), 3, nx, ny, nz, {false, false, false}, {0, 0, 0}, {}), 0u);
    EXPECT_EQ(sel, l);
    // An empty operand of an intersection empties the set.
    std::set<ullong> a{1, 2}, empty;
    ClusterSets::CombineSets(1, a, empty);
    EXPECT_TRUE(a.empty());
}

TEST(Labelling, MemoryRunningOutReachesTheCaller) {
    // Isolated voxels: one label each, so the label tables of the planes outgrow the limit.
    const int nx = 96, ny = 96, nz = 96;
    Mask mask(std::size_t(nx) * ny * nz, 0);
    for (int z = 0; z < nz; z += 2)
        for (int y = 0; y < ny; y += 2)
            for (int x = 0; x < nx; x += 2) mask[(std::size_t(z) * ny + y) * nx + x] = 1;
    Labels labels(mask.size());
    bool threw = false;
    gFailLargeAllocations = true;
    try {
        LabelLinkedClusters(mask.data(), labels.data(), nx, ny, nz, 1, 1, 3);
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    gFailLargeAllocations = false;
    EXPECT_TRUE(threw);
    // With memory back the same call succeeds.
    EXPECT_EQ(LabelLinkedClusters(mask.data(), labels.data(), nx, ny, nz, 1, 1, 3), 48u * 48 * 48);
}

TEST(UnionFindTable, FollowsToTheRoot) {
    ullong table[] = {0, 1, 1, 2, 4};
    EXPECT_EQ(UnionFind::FindRoot(table, 3), 1u);
    EXPECT_EQ(UnionFind::FindRoot(table, 4), 4u);
}

}  // namespace
}  // namespace zun
