#pragma once
// Linked-cluster labelling of byte masks (26-connectivity) and the selection of clusters by the
// planes they touch. A label volume holds one unsigned 64-bit label per voxel, index
// (z*ny + y)*nx + x; 0 is the background, clusters are 1..N.

#include <array>
#include <cstdint>
#include <set>
#include <vector>

#include "foundation/voxeltypes.h"

namespace zun {

class Prompt;

// An explicit thread count for voxel loops: `requested` when positive, else the processor count.
int ResolveThreadCount(int requested);

struct UnionFind {
    // Follows the equivalence table until an entry points to itself.
    static ullong FindRoot(const ullong* table, ullong label);
};

class ClusterSets {
public:
    // Labels the voxels whose mask byte equals `foreground`; clusters are numbered 1..N in the
    // order in which their first voxel is met (x fastest, then y, then z). Every label word is
    // written. Returns N.
    static ullong LabelPlanes(const std::uint8_t* mask, ullong* labels, std::int64_t nx, std::int64_t ny,
                              std::int64_t nz, std::uint8_t foreground, int threads = 0);
    static ullong LabelPlanes(const std::uint8_t* mask, std::uint64_t* labels, std::int64_t nx,
                              std::int64_t ny, std::int64_t nz, std::uint8_t foreground, int threads = 0);

    // The non-zero labels of plane x = plane, y = plane or z = plane (axis 0, 1, 2); a plane outside
    // the volume adds nothing.
    static void CollectPlaneLabels(std::set<ullong>& out, const ullong* labels, std::int64_t nx,
                                   std::int64_t ny, std::int64_t nz, std::int64_t plane, int axis);
    // operation 1: a = a ∩ b; 2: a = a ∪ b; other values leave a.
    static void CombineSets(int operation, std::set<ullong>& a, const std::set<ullong>& b);
    // Selects the clusters met in the chosen planes of the enabled axes (per axis: the first plane,
    // combined with the second by the axis operation when it is non-zero; the axes intersected).
    // When any cluster is selected, label l becomes 2l-1 if selected, else 2l. Returns the number of
    // selected clusters.
    static ullong Combine(ullong* labels, ullong count, std::int64_t nx, std::int64_t ny, std::int64_t nz,
                          const std::array<bool, 3>& axisOn, const std::array<int, 3>& operation,
                          const std::array<std::array<std::int64_t, 2>, 3>& planes, int threads = 0);
};

// Labels the mask and, for order > 0, renumbers the clusters from the largest down (equal sizes
// keep their order); order < 0 from the smallest up; order 0 keeps the labels as found.
ullong LabelLinkedClusters(const std::uint8_t* mask, ullong* labels, std::int64_t nx, std::int64_t ny,
                           std::int64_t nz, int order, std::uint8_t foreground, int threads = 0);
ullong LabelLinkedClusters(const std::uint8_t* mask, std::uint64_t* labels, std::int64_t nx, std::int64_t ny,
                           std::int64_t nz, int order, std::uint8_t foreground, int threads = 0);

// The voxel count of every label 0..count.
std::vector<ullong> CountClusterSizes(const ullong* labels, std::int64_t n, ullong count, int threads = 0);

// Labels into a temporary volume and copies the labels clamped to 16383 (16-bit form) or to
// 4294967295 (32-bit form). Returns N, or -1 after "Run out of memory. Unable to calculate linked
// clusters." when the label volume cannot be had.
std::int64_t LinkedClustersToUShort(std::int64_t nz, const std::uint8_t* mask, std::uint16_t* out,
                                    std::int64_t nx, std::int64_t ny, int order, std::uint8_t foreground,
                                    Prompt* prompt = nullptr, int threads = 0);
std::int64_t LinkedClustersToUInt(std::int64_t nz, const std::uint8_t* mask, std::uint32_t* out,
                                  std::int64_t nx, std::int64_t ny, int order, std::uint8_t foreground,
                                  Prompt* prompt = nullptr, int threads = 0);

}  // namespace zun
