#include "model/label.h"

#include <omp.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <new>
#include <numeric>
#include <vector>

#include "foundation/threadcount.h"
#include "platform/prompt.h"

namespace zun {
namespace {

// Union-find over provisional labels in which a parent is never larger than its child: the
// smaller root always wins, so the root of a cluster is its first label in scan order.
class Equivalences {
public:
    Equivalences() { parent_.push_back(0); }
    ullong NewLabel() {
        ullong l = parent_.size();
        parent_.push_back(l);
        return l;
    }
    ullong Find(ullong l) {
        while (parent_[l] != l) {
            parent_[l] = parent_[parent_[l]];
            l = parent_[l];
        }
        return l;
    }
    ullong Union(ullong a, ullong b) {
        a = Find(a);
        b = Find(b);
        if (a == b) return a;
        if (a < b) {
            parent_[b] = a;
            return a;
        }
        parent_[a] = b;
        return b;
    }
    std::vector<ullong>& Table() { return parent_; }

private:
    std::vector<ullong> parent_;
};

struct Grid {
    std::int64_t nx, ny, nz;
    std::int64_t Plane() const { return nx * ny; }
};

// First pass over the planes z0..z1-1. Neighbours in plane z0-1 are left to the slab merge.
template <class L>
void ScanSlab(const std::uint8_t* mask, L* labels, const Grid& g, std::int64_t z0, std::int64_t z1,
              std::uint8_t fg, Equivalences& eq) {
    const std::int64_t nx = g.nx, ny = g.ny, plane = g.Plane();
    for (std::int64_t z = z0; z < z1; ++z) {
        for (std::int64_t y = 0; y < ny; ++y) {
            const std::int64_t row = (z * ny + y) * nx;
            const std::uint8_t* m = mask + row;
            L* lab = labels + row;
            // Earlier neighbour rows: y-1 of this plane, y-1..y+1 of the previous plane.
            const L* rows[4];
            int nrows = 0;
            if (y > 0) rows[nrows++] = lab - nx;
            if (z > z0) {
                if (y > 0) rows[nrows++] = lab - plane - nx;
                rows[nrows++] = lab - plane;
                if (y + 1 < ny) rows[nrows++] = lab - plane + nx;
            }
            for (std::int64_t x = 0; x < nx; ++x) {
                if (m[x] != fg) {
                    lab[x] = 0;
                    continue;
                }
                ullong cur = 0;
                auto take = [&](ullong l) {
                    if (l == 0 || l == cur) return;
                    cur = cur ? eq.Union(cur, l) : l;
                };
                const bool hasLeft = x > 0 && lab[x - 1] != 0;
                if (hasLeft) {
                    // The left voxel has joined columns x-1 and x already: only x+1 is new.
                    cur = lab[x - 1];
                    if (x + 1 < nx)
                        for (int r = 0; r < nrows; ++r) take(rows[r][x + 1]);
                } else {
                    const std::int64_t xa = x > 0 ? x - 1 : 0, xb = x + 1 < nx ? x + 1 : x;
                    for (int r = 0; r < nrows; ++r)
                        for (std::int64_t xx = xa; xx <= xb; ++xx) take(rows[r][xx]);
                }
                lab[x] = cur ? cur : eq.NewLabel();
            }
        }
    }
}

// Runs body(k) for k in [0, count) on up to `threads` threads, one k per thread at a time. An
// exception (the label tables growing past the memory) must not leave the parallel region: the
// first one is rethrown after it.
template <class Body>
void ForEachSlab(int count, int threads, Body&& body) {
    std::exception_ptr error;
#pragma omp parallel for num_threads(threads) schedule(static, 1)
    for (int k = 0; k < count; ++k) {
        try {
            body(k);
        } catch (...) {
#pragma omp critical(zun_label_error)
            if (!error) error = std::current_exception();
        }
    }
    if (error) std::rethrow_exception(error);
}

template <class L>
std::vector<ullong> CountLabels(const L* labels, std::int64_t n, ullong count, int threads) {
    std::vector<ullong> sizes(count + 1, 0);
    const bool perThread = (count + 1) * static_cast<ullong>(threads) <= (1u << 24);
    if (perThread) {
        // Allocated before the region, which an exception must not leave.
        std::vector<std::vector<ullong>> local(threads, std::vector<ullong>(count + 1, 0));
#pragma omp parallel num_threads(threads)
        {
            auto& mine = local[omp_get_thread_num()];
#pragma omp for schedule(static)
            for (std::int64_t i = 0; i < n; ++i) ++mine[labels[i]];
        }
        for (const auto& v : local)
            for (ullong l = 0; l <= count; ++l) sizes[l] += v[l];
    } else {
#pragma omp parallel for num_threads(threads) schedule(static)
        for (std::int64_t i = 0; i < n; ++i)
            std::atomic_ref<ullong>(sizes[labels[i]]).fetch_add(1, std::memory_order_relaxed);
    }
    return sizes;
}

template <class Out>
std::int64_t LinkedClustersTo(std::int64_t nz, const std::uint8_t* mask, Out* out, std::int64_t nx,
                              std::int64_t ny, int order, std::uint8_t fg, Prompt* prompt, int threads,
                              ullong clampTo) {
    const std::int64_t n = nx * ny * nz;
    std::unique_ptr<ullong[]> labels;
    try {
        labels.reset(new ullong[static_cast<std::size_t>(std::max<std::int64_t>(n, 1))]);
    } catch (const std::bad_alloc&) {
        if (prompt)
            prompt->Tell("Run out of memory. Unable to calculate linked clusters.", PromptIcon::Warning);
        return -1;
    }
    ullong count = LabelLinkedClusters(mask, labels.get(), nx, ny, nz, order, fg, threads);
    const int t = ResolveThreadCount(threads);
#pragma omp parallel for num_threads(t) schedule(static)
    for (std::int64_t i = 0; i < n; ++i) out[i] = static_cast<Out>(std::min(labels[i], clampTo));
    return static_cast<std::int64_t>(count);
}

}  // namespace

int ResolveThreadCount(int requested) {
    return TeamThreads(requested);
}

ullong UnionFind::FindRoot(const ullong* table, ullong label) {
    while (table[label] != label) label = table[label];
    return label;
}

namespace {

template <class Lab>
ullong LabelPlanesOf(const std::uint8_t* mask, Lab* labels, std::int64_t nx, std::int64_t ny, std::int64_t nz,
                     std::uint8_t fg, int threads) {
    if (nx <= 0 || ny <= 0 || nz <= 0) return 0;
    const Grid g{nx, ny, nz};
    const int t = ResolveThreadCount(threads);
    const int slabs = static_cast<int>(std::min<std::int64_t>(t, nz));
    std::vector<std::int64_t> zStart(slabs + 1);
    for (int k = 0; k <= slabs; ++k) zStart[k] = nz * k / slabs;
    std::vector<Equivalences> eq(slabs);

    ForEachSlab(slabs, slabs, [&](int k) {
        ScanSlab(mask, labels, g, zStart[k], zStart[k + 1], fg, eq[k]);
        auto& p = eq[k].Table();
        for (std::size_t l = 1; l < p.size(); ++l) p[l] = p[p[l]];
    });

    // One table over all slabs: slab k's label l becomes offset[k] + l.
    std::vector<ullong> offset(slabs + 1, 0);
    for (int k = 0; k < slabs; ++k) offset[k + 1] = offset[k] + eq[k].Table().size() - 1;
    Equivalences all;
    auto& table = all.Table();
    table.resize(offset[slabs] + 1);
    for (int k = 0; k < slabs; ++k) {
        const auto& p = eq[k].Table();
        for (std::size_t l = 1; l < p.size(); ++l) table[offset[k] + l] = offset[k] + p[l];
        std::vector<ullong>().swap(eq[k].Table());
    }

    // Join the clusters that meet across a slab border.
    const std::int64_t plane = g.Plane();
    for (int k = 1; k < slabs; ++k) {
        const std::int64_t z = zStart[k];
        for (std::int64_t y = 0; y < ny; ++y) {
            const Lab* L = labels + (z * ny + y) * nx;
            for (std::int64_t x = 0; x < nx; ++x) {
                if (!L[x]) continue;
                const ullong a = offset[k] + L[x];
                for (std::int64_t yy = std::max<std::int64_t>(y - 1, 0); yy <= std::min(y + 1, ny - 1);
                     ++yy) {
                    const Lab* P = labels + ((z - 1) * ny + yy) * nx;
                    for (std::int64_t xx = std::max<std::int64_t>(x - 1, 0); xx <= std::min(x + 1, nx - 1);
                         ++xx)
                        if (P[xx]) all.Union(a, offset[k - 1] + P[xx]);
                }
            }
        }
    }

    // Roots in increasing label order get 1, 2, 3, ...; parents precede children, so one pass
    // turns every entry into the number of its root.
    ullong count = 0;
    for (std::size_t l = 1; l < table.size(); ++l) table[l] = table[l] == l ? ++count : table[table[l]];

#pragma omp parallel for num_threads(slabs) schedule(static, 1)
    for (int k = 0; k < slabs; ++k) {
        Lab* L = labels + zStart[k] * plane;
        const std::int64_t n = (zStart[k + 1] - zStart[k]) * plane;
        const ullong off = offset[k];
        for (std::int64_t i = 0; i < n; ++i)
            if (L[i]) L[i] = table[off + L[i]];
    }
    return count;
}

template <class Lab>
ullong LabelLinkedClustersOf(const std::uint8_t* mask, Lab* labels, std::int64_t nx, std::int64_t ny,
                             std::int64_t nz, int order, std::uint8_t fg, int threads) {
    const ullong count = LabelPlanesOf(mask, labels, nx, ny, nz, fg, threads);
    if (count == 0 || order == 0) return count;
    const int t = ResolveThreadCount(threads);
    const std::int64_t n = nx * ny * nz;
    std::vector<ullong> sizes = CountLabels(labels, n, count, t);
    std::vector<ullong> byRank(count);
    std::iota(byRank.begin(), byRank.end(), ullong{1});
    std::stable_sort(byRank.begin(), byRank.end(), [&](ullong a, ullong b) { return sizes[a] > sizes[b]; });
    // Smallest first with the higher old label first among equals: the exact reverse.
    std::vector<ullong> newLabel(count + 1, 0);
    for (ullong r = 0; r < count; ++r) newLabel[byRank[r]] = order > 0 ? r + 1 : count - r;
#pragma omp parallel for num_threads(t) schedule(static)
    for (std::int64_t i = 0; i < n; ++i) labels[i] = newLabel[labels[i]];
    return count;
}

}  // namespace

ullong ClusterSets::LabelPlanes(const std::uint8_t* mask, ullong* labels, std::int64_t nx, std::int64_t ny,
                                std::int64_t nz, std::uint8_t fg, int threads) {
    return LabelPlanesOf(mask, labels, nx, ny, nz, fg, threads);
}

ullong ClusterSets::LabelPlanes(const std::uint8_t* mask, std::uint64_t* labels, std::int64_t nx,
                                std::int64_t ny, std::int64_t nz, std::uint8_t fg, int threads) {
    return LabelPlanesOf(mask, labels, nx, ny, nz, fg, threads);
}

ullong LabelLinkedClusters(const std::uint8_t* mask, ullong* labels, std::int64_t nx, std::int64_t ny,
                           std::int64_t nz, int order, std::uint8_t fg, int threads) {
    return LabelLinkedClustersOf(mask, labels, nx, ny, nz, order, fg, threads);
}

ullong LabelLinkedClusters(const std::uint8_t* mask, std::uint64_t* labels, std::int64_t nx, std::int64_t ny,
                           std::int64_t nz, int order, std::uint8_t fg, int threads) {
    return LabelLinkedClustersOf(mask, labels, nx, ny, nz, order, fg, threads);
}

std::vector<ullong> CountClusterSizes(const ullong* labels, std::int64_t n, ullong count, int threads) {
    return CountLabels(labels, n, count, ResolveThreadCount(threads));
}

std::int64_t LinkedClustersToUShort(std::int64_t nz, const std::uint8_t* mask, std::uint16_t* out,
                                    std::int64_t nx, std::int64_t ny, int order, std::uint8_t fg,
                                    Prompt* prompt, int threads) {
    return LinkedClustersTo(nz, mask, out, nx, ny, order, fg, prompt, threads, 16383);
}

std::int64_t LinkedClustersToUInt(std::int64_t nz, const std::uint8_t* mask, std::uint32_t* out,
                                  std::int64_t nx, std::int64_t ny, int order, std::uint8_t fg,
                                  Prompt* prompt, int threads) {
    return LinkedClustersTo(nz, mask, out, nx, ny, order, fg, prompt, threads, 4294967295u);
}

void ClusterSets::CollectPlaneLabels(std::set<ullong>& out, const ullong* labels, std::int64_t nx,
                                     std::int64_t ny, std::int64_t nz, std::int64_t plane, int axis) {
    const std::int64_t dims[3] = {nx, ny, nz};
    if (axis < 0 || axis > 2 || plane < 0 || plane >= dims[axis]) return;
    for (std::int64_t z = 0; z < nz; ++z) {
        if (axis == 2 && z != plane) continue;
        for (std::int64_t y = 0; y < ny; ++y) {
            if (axis == 1 && y != plane) continue;
            const ullong* L = labels + (z * ny + y) * nx;
            if (axis == 0) {
                if (L[plane]) out.insert(L[plane]);
                continue;
            }
            for (std::int64_t x = 0; x < nx; ++x)
                if (L[x]) out.insert(L[x]);
        }
    }
}

void ClusterSets::CombineSets(int operation, std::set<ullong>& a, const std::set<ullong>& b) {
    if (operation == 1) {
        std::set<ullong> r;
        std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::inserter(r, r.end()));
        a.swap(r);
    } else if (operation == 2) {
        a.insert(b.begin(), b.end());
    }
}

ullong ClusterSets::Combine(ullong* labels, ullong count, std::int64_t nx, std::int64_t ny, std::int64_t nz,
                            const std::array<bool, 3>& axisOn, const std::array<int, 3>& operation,
                            const std::array<std::array<std::int64_t, 2>, 3>& planes, int threads) {
    std::set<ullong> result;
    bool first = true;
    for (int axis = 0; axis < 3; ++axis) {
        if (!axisOn[axis]) continue;
        std::set<ullong> a;
        CollectPlaneLabels(a, labels, nx, ny, nz, planes[axis][0], axis);
        if (operation[axis] != 0) {
            std::set<ullong> b;
            CollectPlaneLabels(b, labels, nx, ny, nz, planes[axis][1], axis);
            CombineSets(operation[axis], a, b);
        }
        if (first)
            result.swap(a);
        else
            CombineSets(1, result, a);
        first = false;
    }
    if (result.empty()) return 0;
    ullong top = std::max(count, *result.rbegin());
    std::vector<std::uint8_t> selected(top + 1, 0);
    for (ullong l : result) selected[l] = 1;
    const std::int64_t n = nx * ny * nz;
    const int t = ResolveThreadCount(threads);
#pragma omp parallel for num_threads(t) schedule(static)
    for (std::int64_t i = 0; i < n; ++i) {
        const ullong l = labels[i];
        if (l) labels[i] = l <= top && selected[l] ? 2 * l - 1 : 2 * l;
    }
    return result.size();
}

}  // namespace zun
