#pragma once
// Linked cluster analysis: threshold a channel (inside an optional bound), label the linked
// clusters, filter them by size, mark those crossing chosen planes, and write the labels.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "compute/propertysettings.h"
#include "model/label.h"

namespace zun {

struct ClusterAnalysis {
    std::uint64_t found = 0;           // clusters after labelling
    std::uint64_t kept = 0;            // after the size filter, numbered 1..kept in sort order
    std::uint64_t crossing = 0;        // of those, clusters met in the chosen planes
    std::vector<std::uint64_t> sizes;  // voxel count of kept cluster k at index k-1
    // Mean volume fraction of each composition in kept clusters first..last (component details),
    // one row per cluster.
    std::vector<std::uint64_t> detailClusters;
    std::vector<std::vector<double>> detailFractions;
    std::vector<ullong> labels;  // one per voxel; after plane selection 2l-1 / 2l
    std::uint64_t maxLabel = 0;
};

// dims: nx, ny, nz. bound: the input bound's words or null. compositions: the composition blocks
// for the component details (may be empty when they are not asked for). Throws std::bad_alloc
// when the label volume cannot be had.
void AnalyseLinkedClusters(const std::uint16_t* input, const std::uint16_t* bound,
                           const std::array<std::int64_t, 3>& dims, const LinkedClusterSettings& settings,
                           const std::vector<const std::uint16_t*>& compositions, ClusterAnalysis& result,
                           int threads);

// Writes the labels as raw words, clamped to 16383, into the voxels that are not read-only and
// lie inside the boundary (when one is given); the error bit of those voxels is cleared. Returns
// the channel's new range top: max(1, min(largest label, 16383)) (the bottom is 0).
float WriteClusterLabels(std::uint16_t* words, const ClusterAnalysis& result, const std::uint16_t* boundary,
                         int threads);

// The log text of an analysis: the summary line, one line per kept cluster up to maxLines, and
// the component details.
std::string ClusterReport(const ClusterAnalysis& result, const std::vector<std::string>& compositionNames,
                          std::uint64_t maxLines);

}  // namespace zun
