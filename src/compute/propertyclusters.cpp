#include "compute/propertyclusters.h"

#include "foundation/clocale.h"

#include <algorithm>
#include <cstdio>

#include "compute/propertymap.h"
#include "foundation/voxeltypes.h"
#include "model/label.h"

namespace zun {

namespace {

constexpr std::uint64_t kMaxWord = 16383;

bool Keeps(const LinkedClusterSettings& s, std::uint64_t size, std::uint64_t largest,
           std::uint64_t smallest) {
    switch (s.sizeFilter) {
        case kLargest:
            return size == largest;
        case kSmallest:
            return size == smallest;
        case kBetween:
            return s.filterLow <= size && size <= s.filterHigh;
        case kGreatEq:
            return size >= s.filterLow;
        case kLessEq:
            return size <= s.filterHigh;
        default:
            return true;
    }
}

// Applies the size filter: rejected clusters become background, the kept ones are renumbered
// 1..K keeping their order.
void FilterBySize(const LinkedClusterSettings& s, ClusterAnalysis& r, const std::vector<std::uint64_t>& sizes,
                  int threads) {
    std::uint64_t largest = 0, smallest = ~0ULL;
    for (std::uint64_t l = 1; l < sizes.size(); ++l) {
        largest = std::max(largest, sizes[l]);
        smallest = std::min(smallest, sizes[l]);
    }
    // Largest and Smallest keep exactly one cluster: the first of that size in label order.
    bool taken = false;
    std::vector<std::uint64_t> renumber(sizes.size(), 0);
    for (std::uint64_t l = 1; l < sizes.size(); ++l) {
        if (!Keeps(s, sizes[l], largest, smallest)) continue;
        if (s.sizeFilter == kLargest || s.sizeFilter == kSmallest) {
            if (taken) continue;
            taken = true;
        }
        renumber[l] = ++r.kept;
        r.sizes.push_back(sizes[l]);
    }
    const auto n = static_cast<std::int64_t>(r.labels.size());
    ullong* labels = r.labels.data();
#pragma omp parallel for num_threads(threads) schedule(static)
    for (std::int64_t v = 0; v < n; ++v) labels[v] = renumber[labels[v]];
}

void ComponentDetails(const LinkedClusterSettings& s, const std::vector<const std::uint16_t*>& comps,
                      ClusterAnalysis& r) {
    if (!s.componentDetails || comps.empty() || r.kept == 0) return;
    const std::uint64_t first = static_cast<std::uint64_t>(std::max<std::int64_t>(1, s.firstCluster));
    const std::uint64_t last =
        std::min<std::uint64_t>(r.kept, static_cast<std::uint64_t>(std::max<std::int64_t>(0, s.lastCluster)));
    if (first > last) return;
    const std::size_t m = comps.size();
    std::vector<std::vector<double>> sums(last - first + 1, std::vector<double>(m, 0.0));
    for (std::uint64_t v = 0; v < r.labels.size(); ++v) {
        const std::uint64_t l = r.labels[v];
        if (l < first || l > last) continue;
        double total = 0;
        for (std::size_t i = 0; i < m; ++i) total += comps[i][v] & kVoxelValueMask;
        if (total <= 0) continue;
        for (std::size_t i = 0; i < m; ++i) sums[l - first][i] += (comps[i][v] & kVoxelValueMask) / total;
    }
    for (std::uint64_t l = first; l <= last; ++l) {
        auto& row = sums[l - first];
        for (double& x : row) x /= static_cast<double>(r.sizes[l - 1]);
        r.detailClusters.push_back(l);
        r.detailFractions.push_back(std::move(row));
    }
}

}  // namespace

void AnalyseLinkedClusters(const std::uint16_t* input, const std::uint16_t* bound,
                           const std::array<std::int64_t, 3>& dims, const LinkedClusterSettings& s,
                           const std::vector<const std::uint16_t*>& compositions, ClusterAnalysis& r,
                           int threads) {
    threads = std::max(1, threads);
    r = ClusterAnalysis{};
    const std::int64_t n = dims[0] * dims[1] * dims[2];
    std::vector<std::uint8_t> mask(static_cast<std::size_t>(n));
    r.labels.assign(static_cast<std::size_t>(n), 0);
    const double t = s.threshold;
    const bool ge = s.greaterEqual != 0;
#pragma omp parallel for num_threads(threads) schedule(static)
    for (std::int64_t v = 0; v < n; ++v) {
        const double x = (input[v] & kVoxelValueMask) / static_cast<double>(kMaxWord);
        const bool in = (!bound || InsideBoundary(bound[v])) && (ge ? x >= t : x <= t);
        mask[v] = in ? 1 : 0;
    }
    const int order = s.sortOrder == 1 ? -1 : 1;
    r.found = LabelLinkedClusters(mask.data(), r.labels.data(), dims[0], dims[1], dims[2], order, 1, threads);
    std::vector<std::uint64_t> sizes(r.found + 1, 0);
    for (std::uint64_t l : r.labels) ++sizes[l];
    FilterBySize(s, r, sizes, threads);
    ComponentDetails(s, compositions, r);
    r.maxLabel = r.kept;
    const std::array<bool, 3> axisOn{s.planeAxis[0] != 0, s.planeAxis[1] != 0, s.planeAxis[2] != 0};
    if (r.kept > 0 && (axisOn[0] || axisOn[1] || axisOn[2])) {
        std::array<int, 3> ops{};
        std::array<std::array<std::int64_t, 2>, 3> planes{};
        for (int a = 0; a < 3; ++a) {
            ops[a] = s.planeOperator[a];
            planes[a] = {static_cast<std::int64_t>(s.planes[a][0]),
                         static_cast<std::int64_t>(s.planes[a][1])};
        }
        r.crossing = ClusterSets::Combine(r.labels.data(), r.kept, dims[0], dims[1], dims[2], axisOn, ops,
                                          planes, threads);
        if (r.crossing > 0) r.maxLabel = 2 * r.kept;
    }
}

float WriteClusterLabels(std::uint16_t* words, const ClusterAnalysis& r, const std::uint16_t* boundary,
                         int threads) {
    const auto n = static_cast<std::int64_t>(r.labels.size());
    const ullong* labels = r.labels.data();
#pragma omp parallel for num_threads(std::max(1, threads)) schedule(static)
    for (std::int64_t v = 0; v < n; ++v) {
        if ((words[v] & kVoxelReadOnlyBit) || (boundary && !InsideBoundary(boundary[v]))) continue;
        words[v] = static_cast<std::uint16_t>(std::min<ullong>(labels[v], kMaxWord));
    }
    return static_cast<float>(std::max<std::uint64_t>(1, std::min(r.maxLabel, kMaxWord)));
}

std::string ClusterReport(const ClusterAnalysis& r, const std::vector<std::string>& names,
                          std::uint64_t maxLines) {
    CLocaleScope scope;  // the report goes to the log: fractions with a point whatever the locale
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "Linked clusters: %llu found, %llu kept after filter, %llu crossing the planes\n",
                  static_cast<unsigned long long>(r.found), static_cast<unsigned long long>(r.kept),
                  static_cast<unsigned long long>(r.crossing));
    std::string text = buf;
    for (std::uint64_t k = 0; k < r.sizes.size() && k < maxLines; ++k) {
        std::snprintf(buf, sizeof buf, "Cluster %llu: %llu voxels\n", static_cast<unsigned long long>(k + 1),
                      static_cast<unsigned long long>(r.sizes[k]));
        text += buf;
    }
    for (std::size_t row = 0; row < r.detailClusters.size(); ++row) {
        std::snprintf(buf, sizeof buf, "Cluster %llu mean volume fractions:",
                      static_cast<unsigned long long>(r.detailClusters[row]));
        text += buf;
        for (std::size_t i = 0; i < r.detailFractions[row].size(); ++i) {
            std::snprintf(buf, sizeof buf, " %.6f", r.detailFractions[row][i]);
            text += (i < names.size() ? " " + names[i] : std::string()) + buf;
        }
        text += "\n";
    }
    return text;
}

}  // namespace zun
