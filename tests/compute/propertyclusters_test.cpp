#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "compute/propertyclusters.h"

namespace zun {
namespace {

constexpr std::int64_t NX = 24, NY = 20, NZ = 16, N = NX * NY * NZ;

std::vector<std::uint16_t> RandomWords(unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> d(0, 16383);
    std::vector<std::uint16_t> w(N);
    for (auto& x : w)
        x = static_cast<std::uint16_t>(d(rng) | (d(rng) < 200 ? 0x8000 : 0));  // some error bits
    return w;
}

// Labels from scipy.ndimage.label with a full 3x3x3 structure.
std::vector<std::uint32_t> Reference(const std::vector<std::uint16_t>& words, double t, bool ge) {
    const std::string in = std::string(ZUN_TEST_BINARY_DIR) + "/clusters_in.raw";
    const std::string out = std::string(ZUN_TEST_BINARY_DIR) + "/clusters_out.raw";
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(words.data()), words.size() * 2);
    char cmd[1024];
    std::snprintf(cmd, sizeof cmd, "%s %s/cluster_reference.py %s %lld %lld %lld %.9g %d %s", ZUN_PYTHON,
                  ZUN_TEST_DIR, in.c_str(), (long long)NX, (long long)NY, (long long)NZ, t, ge ? 1 : 0,
                  out.c_str());
    EXPECT_EQ(std::system(cmd), 0) << cmd;
    std::vector<std::uint32_t> labels(N);
    std::ifstream(out, std::ios::binary).read(reinterpret_cast<char*>(labels.data()), labels.size() * 4);
    return labels;
}

std::vector<std::uint64_t> SizesOf(const std::vector<std::uint32_t>& labels) {
    std::map<std::uint32_t, std::uint64_t> count;
    for (auto l : labels)
        if (l) ++count[l];
    std::vector<std::uint64_t> sizes;
    for (auto& [l, n] : count) sizes.push_back(n);
    std::sort(sizes.rbegin(), sizes.rend());
    return sizes;
}

// Same partition of the voxels into clusters, whatever the numbering.
void ExpectSamePartition(const std::vector<ullong>& ours, const std::vector<std::uint32_t>& ref) {
    std::map<ullong, std::uint32_t> toRef;
    std::map<std::uint32_t, ullong> toOurs;
    for (std::int64_t v = 0; v < N; ++v) {
        ASSERT_EQ(ours[v] == 0, ref[v] == 0) << v;
        if (!ours[v]) continue;
        auto [a, newA] = toRef.emplace(ours[v], ref[v]);
        auto [b, newB] = toOurs.emplace(ref[v], ours[v]);
        ASSERT_EQ(a->second, ref[v]) << v;
        ASSERT_EQ(b->second, ours[v]) << v;
    }
}

TEST(LinkedClusterAnalysis, MatchesScipyLabellingInCountSizesAndShape) {
    const auto words = RandomWords(11);
    for (bool ge : {true, false}) {
        LinkedClusterSettings s;
        s.greaterEqual = ge;
        s.threshold = ge ? 0.93f : 0.06f;
        const auto ref = Reference(words, s.threshold, ge);
        const auto refSizes = SizesOf(ref);
        ASSERT_GT(refSizes.size(), 20u);  // a useful spread of clusters
        ClusterAnalysis r;
        AnalyseLinkedClusters(words.data(), nullptr, {NX, NY, NZ}, s, {}, r, 3);
        EXPECT_EQ(r.found, refSizes.size());
        EXPECT_EQ(r.kept, r.found);
        EXPECT_EQ(r.sizes, refSizes);  // descending: cluster 1 is the largest
        ExpectSamePartition(r.labels, ref);

        s.sortOrder = 1;
        AnalyseLinkedClusters(words.data(), nullptr, {NX, NY, NZ}, s, {}, r, 1);
        EXPECT_TRUE(std::is_sorted(r.sizes.begin(), r.sizes.end()));
        ExpectSamePartition(r.labels, ref);
    }
}

TEST(LinkedClusterAnalysis, SizeFiltersKeepTheRightClustersRenumbered) {
    const auto words = RandomWords(12);
    const auto ref = Reference(words, 0.93, true);
    const auto sizes = SizesOf(ref);  // descending
    auto run = [&](int filter, std::uint64_t low, std::uint64_t high, int sortOrder = 0) {
        LinkedClusterSettings s;
        s.threshold = 0.93f;
        s.sizeFilter = filter;
        s.filterLow = low;
        s.filterHigh = high;
        s.sortOrder = sortOrder;
        ClusterAnalysis r;
        AnalyseLinkedClusters(words.data(), nullptr, {NX, NY, NZ}, s, {}, r, 2);
        EXPECT_EQ(r.found, sizes.size());
        // Labels are 1..kept and each label's voxel count is its recorded size.
        std::vector<std::uint64_t> count(r.kept + 1, 0);
        for (auto l : r.labels) {
            EXPECT_LE(l, r.kept);
            if (l <= r.kept) ++count[l];
        }
        for (std::uint64_t k = 1; k <= r.kept; ++k) EXPECT_EQ(count[k], r.sizes[k - 1]);
        return r.sizes;
    };
    auto expect = [&](auto keep) {
        std::vector<std::uint64_t> want;
        for (auto n : sizes)
            if (keep(n)) want.push_back(n);
        return want;
    };
    EXPECT_EQ(run(kBetween, 2, 5), expect([](auto n) { return n >= 2 && n <= 5; }));
    EXPECT_EQ(run(kGreatEq, 4, 0), expect([](auto n) { return n >= 4; }));
    EXPECT_EQ(run(kLessEq, 0, 1), expect([](auto n) { return n <= 1; }));
    EXPECT_EQ(run(kLargest, 0, 0), std::vector<std::uint64_t>{sizes.front()});
    EXPECT_EQ(run(kSmallest, 0, 0), std::vector<std::uint64_t>{sizes.back()});
    EXPECT_EQ(run(kSmallest, 0, 0, 1), std::vector<std::uint64_t>{sizes.back()});
    EXPECT_TRUE(run(kBetween, 1000000, 2000000).empty());
}

TEST(LinkedClusterAnalysis, PlanesMarkTheClustersCrossingThem) {
    const auto words = RandomWords(13);
    const auto ref = Reference(words, 0.88, true);
    auto inPlane = [&](int axis, std::int64_t p) {
        std::set<std::uint32_t> s;
        for (std::int64_t z = 0; z < NZ; ++z)
            for (std::int64_t y = 0; y < NY; ++y)
                for (std::int64_t x = 0; x < NX; ++x) {
                    const std::int64_t c[3] = {x, y, z};
                    if (c[axis] == p && ref[(z * NY + y) * NX + x]) s.insert(ref[(z * NY + y) * NX + x]);
                }
        return s;
    };
    auto both = [](const std::set<std::uint32_t>& a, const std::set<std::uint32_t>& b) {
        std::set<std::uint32_t> r;
        std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::inserter(r, r.begin()));
        return r;
    };
    // X: planes 2 And 3; Z: plane 5 Or plane 9. Selected = X-set ∩ Z-set.
    std::set<std::uint32_t> zSet = inPlane(2, 5);
    for (auto l : inPlane(2, 9)) zSet.insert(l);
    const auto want = both(both(inPlane(0, 2), inPlane(0, 3)), zSet);
    ASSERT_FALSE(want.empty());
    ASSERT_LT(want.size(), both(inPlane(0, 2), inPlane(0, 3)).size());  // the Z planes matter

    LinkedClusterSettings s;
    s.threshold = 0.88f;
    s.planeAxis[0] = s.planeAxis[2] = 1;
    s.planes[0][0] = 2, s.planes[0][1] = 3, s.planeOperator[0] = kPlaneAnd;
    s.planes[2][0] = 5, s.planes[2][1] = 9, s.planeOperator[2] = kPlaneOr;
    s.planes[1][0] = 7, s.planeOperator[1] = kPlaneNot;  // axis Y off: ignored
    ClusterAnalysis r;
    AnalyseLinkedClusters(words.data(), nullptr, {NX, NY, NZ}, s, {}, r, 2);
    EXPECT_EQ(r.crossing, want.size());
    EXPECT_EQ(r.maxLabel, 2 * r.kept);
    for (std::int64_t v = 0; v < N; ++v) {
        if (!ref[v]) continue;
        const bool selected = r.labels[v] % 2 == 1;
        ASSERT_EQ(selected, want.count(ref[v]) == 1) << v;
    }
    // Operator Not uses the first plane only.
    s.planeAxis[2] = 0;
    s.planeOperator[0] = kPlaneNot;
    AnalyseLinkedClusters(words.data(), nullptr, {NX, NY, NZ}, s, {}, r, 2);
    EXPECT_EQ(r.crossing, inPlane(0, 2).size());
}

TEST(LinkedClusterAnalysis, BoundLimitsTheMaskAndDetailsGiveMeanFractions) {
    auto words = RandomWords(14);
    std::vector<std::uint16_t> bound(N, 0);
    for (std::int64_t v = 0; v < N; ++v) bound[v] = (v / (NX * NY)) < NZ / 2 ? 16383 : 0;
    LinkedClusterSettings s;
    s.threshold = 0.9f;
    ClusterAnalysis r;
    AnalyseLinkedClusters(words.data(), bound.data(), {NX, NY, NZ}, s, {}, r, 2);
    auto clipped = words;
    for (std::int64_t v = 0; v < N; ++v)
        if (!bound[v]) clipped[v] = 0;
    ExpectSamePartition(r.labels, Reference(clipped, 0.9, true));

    // Two clusters in a 4x4x4 volume: a 2-voxel one of pure A, a 1-voxel one of A:B = 1:3.
    std::vector<std::uint16_t> in(64, 0), a(64, 0), b(64, 0);
    in[0] = in[1] = in[63] = 16383;
    a[0] = a[1] = 16383;
    a[63] = 1000, b[63] = 3000;  // not normalised: the fractions are taken relative to the sum
    s = LinkedClusterSettings{};
    s.componentDetails = 1;
    s.firstCluster = 1;
    s.lastCluster = 5;  // beyond the cluster count: only existing clusters are reported
    AnalyseLinkedClusters(in.data(), nullptr, {4, 4, 4}, s, {a.data(), b.data()}, r, 1);
    ASSERT_EQ(r.kept, 2u);
    ASSERT_EQ(r.detailClusters, (std::vector<std::uint64_t>{1, 2}));
    EXPECT_NEAR(r.detailFractions[0][0], 1.0, 1e-12);
    EXPECT_NEAR(r.detailFractions[1][0], 0.25, 1e-12);
    EXPECT_NEAR(r.detailFractions[1][1], 0.75, 1e-12);
    const std::string report = ClusterReport(r, {"A", "B"}, 1);
    EXPECT_EQ(report,
              "Linked clusters: 2 found, 2 kept after filter, 0 crossing the planes\n"
              "Cluster 1: 2 voxels\n"
              "Cluster 1 mean volume fractions: A 1.000000 B 0.000000\n"
              "Cluster 2 mean volume fractions: A 0.250000 B 0.750000\n");
}

TEST(LinkedClusterAnalysis, LabelsAreWrittenRawClampedAndSpareFixedAndOutsideVoxels) {
    ClusterAnalysis r;
    r.labels = {0, 1, 2, 20000, 3, 4};
    r.maxLabel = 20000;
    std::vector<std::uint16_t> out{0x8000 | 9, 7, 7, 7, 0x4000 | 7, 7};
    std::vector<std::uint16_t> boundary{16383, 16383, 16383, 16383, 16383, 0};
    EXPECT_EQ(WriteClusterLabels(out.data(), r, boundary.data(), 2), 16383.0f);
    EXPECT_EQ(out, (std::vector<std::uint16_t>{0, 1, 2, 16383, 0x4000 | 7, 7}));
    r.maxLabel = 0;
    EXPECT_EQ(WriteClusterLabels(out.data(), r, nullptr, 1), 1.0f);
}

}  // namespace
}  // namespace zun
