#include "model/boundfill.h"

#include <omp.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

namespace zun {
namespace {

constexpr std::uint8_t kSample = 1;
constexpr std::uint8_t kMark = 2;

// One face of the grid box: the fixed axis and its coordinate, and the two in-plane axes.
struct Face {
    int fixedAxis, fixedAt, u, v;
};

struct Coords {
    int c[3];
};

// Reads bit 0 of a mask word that other threads may be marking (bit 1) at the same time.
std::uint8_t SampleBitOf(const std::uint8_t* m, std::int64_t i) {
    return std::atomic_ref<std::uint8_t>(const_cast<std::uint8_t&>(m[i])).load(std::memory_order_relaxed) &
           kSample;
}

int Extent(const MaskGrid& g, int axis) {
    return axis == 0 ? g.nx : (axis == 1 ? g.ny : g.nz);
}

std::int64_t IndexOf(const MaskGrid& g, const int* c) {
    return g.Index(c[0], c[1], c[2]);
}

// Counts the rays (10 directions at 36 degree steps) from (a, b) that meet sample within the face.
int FaceRayHits(const std::uint8_t* m, const MaskGrid& g, const Face& f, int a, int b, int needed) {
    const int su = Extent(g, f.u), sv = Extent(g, f.v);
    int hits = 0;
    for (int k = 0; k < 10; ++k) {
        const double ang = k * 36.0 * 3.14159265358979323846 / 180.0;
        const double du = std::cos(ang), dv = std::sin(ang);
        const bool alongU = std::fabs(du) >= std::fabs(dv);
        const int sign = (alongU ? du : dv) >= 0 ? 1 : -1;
        const double ratio = alongU ? dv / std::fabs(du) : du / std::fabs(dv);
        for (int s = 1;; ++s) {
            const int pu = alongU ? a + s * sign : static_cast<int>(a + s * ratio);
            const int pv = alongU ? static_cast<int>(b + s * ratio) : b + s * sign;
            if (pu < 0 || pv < 0 || pu >= su || pv >= sv) break;
            int c[3];
            c[f.fixedAxis] = f.fixedAt;
            c[f.u] = pu;
            c[f.v] = pv;
            if (SampleBitOf(m, IndexOf(g, c))) {
                ++hits;
                break;
            }
        }
        if (hits >= needed) break;
    }
    return hits;
}

void ProcessFace(std::uint8_t* m, const MaskGrid& g, const Face& f, int threads) {
    const int su = Extent(g, f.u), sv = Extent(g, f.v);
    auto at = [&](int a, int b) -> std::uint8_t& {
        int c[3];
        c[f.fixedAxis] = f.fixedAt;
        c[f.u] = a;
        c[f.v] = b;
        return m[IndexOf(g, c)];
    };
    bool inner = false;
    for (int b = 1; b + 1 < sv && !inner; ++b)
        for (int a = 1; a + 1 < su && !inner; ++a) inner = at(a, b) & kSample;
    if (!inner) return;
        // Rays read bit 0 only; the marks go to bit 1, so the rows can be done in parallel.
#pragma omp parallel for num_threads(threads) schedule(dynamic, 1)
    for (int b = 0; b < sv; ++b)
        for (int a = 0; a < su; ++a) {
            std::atomic_ref<std::uint8_t> w(at(a, b));
            if ((w.load(std::memory_order_relaxed) & kSample) || FaceRayHits(m, g, f, a, b, 9) >= 9)
                w.fetch_or(kMark, std::memory_order_relaxed);
        }
    for (int b = 0; b < sv; ++b)
        for (int a = 0; a < su; ++a) {
            std::uint8_t& w = at(a, b);
            if (w & kMark) w = kSample;
        }
}

// The 12 edges of the box: start corner and axis.
struct Edge {
    int start[3];
    int axis;
};

std::vector<Edge> BoxEdges(const MaskGrid& g) {
    std::vector<Edge> edges;
    const int hi[3] = {g.nx - 1, g.ny - 1, g.nz - 1};
    for (int axis = 0; axis < 3; ++axis) {
        const int o1 = (axis + 1) % 3, o2 = (axis + 2) % 3;
        for (int i = 0; i < 2; ++i)
            for (int j = 0; j < 2; ++j) {
                Edge e{{0, 0, 0}, axis};
                e.start[o1] = i ? hi[o1] : 0;
                e.start[o2] = j ? hi[o2] : 0;
                edges.push_back(e);
            }
    }
    return edges;
}

bool EdgeCarriesSample(const std::uint8_t* m, const MaskGrid& g, const Edge& e) {
    int c[3] = {e.start[0], e.start[1], e.start[2]};
    for (c[e.axis] = 0; c[e.axis] < Extent(g, e.axis); ++c[e.axis])
        if (m[IndexOf(g, c)] & kSample) return true;
    return false;
}

void MarkEdgeRuns(std::uint8_t* m, const MaskGrid& g, const Edge& e) {
    int c[3] = {e.start[0], e.start[1], e.start[2]};
    int lastSample = -1;
    for (c[e.axis] = 0; c[e.axis] < Extent(g, e.axis); ++c[e.axis]) {
        if (!(m[IndexOf(g, c)] & kSample)) continue;
        const int here = c[e.axis];
        if (lastSample >= 0)
            for (int k = lastSample + 1; k < here; ++k) {
                int d[3] = {c[0], c[1], c[2]};
                d[e.axis] = k;
                m[IndexOf(g, d)] |= kMark;
            }
        lastSample = here;
    }
}

struct RayDir {
    int axis;       // dominant axis
    int sign;       // +1 or -1 along it
    int o1, o2;     // the other two axes
    double r1, r2;  // their steps per step along the dominant axis
};

std::vector<RayDir> SpiralDirections() {
    const int n = 60;
    std::vector<RayDir> dirs;
    double phi = 0.0;
    for (int k = 0; k < n; ++k) {
        const double h = 2.0 * k / (n - 1) - 1.0;
        const double theta = std::acos(h);
        if (k == 0 || k == n - 1)
            phi = 0.0;
        else
            phi = std::fmod(phi + 3.809 / std::sqrt(n * (1.0 - h * h)), 2.0 * 3.14159265358979323846);
        const double d[3] = {std::sin(theta) * std::cos(phi), std::sin(theta) * std::sin(phi),
                             -std::cos(theta)};
        int axis = 0;
        for (int a = 1; a < 3; ++a)
            if (std::fabs(d[a]) > std::fabs(d[axis])) axis = a;
        RayDir r;
        r.axis = axis;
        r.sign = d[axis] >= 0 ? 1 : -1;
        r.o1 = (axis + 1) % 3;
        r.o2 = (axis + 2) % 3;
        r.r1 = d[r.o1] / std::fabs(d[axis]);
        r.r2 = d[r.o2] / std::fabs(d[axis]);
        dirs.push_back(r);
    }
    return dirs;
}

struct Box {
    int lo[3], hi[3];
};

// Chessboard distance from every voxel to the nearest sample voxel (0 on sample, capped at 255),
// by the two raster passes over the 26-neighbourhood, which give the distance exactly.
std::vector<std::uint8_t> SampleDistance(const std::uint8_t* m, const MaskGrid& g) {
    std::vector<std::uint8_t> d(static_cast<std::size_t>(g.Count()));
    const int nx = g.nx, ny = g.ny, nz = g.nz;
    auto pass = [&](int step) {
        const int z0 = step > 0 ? 0 : nz - 1, y0 = step > 0 ? 0 : ny - 1, x0 = step > 0 ? 0 : nx - 1;
        for (int z = z0; z >= 0 && z < nz; z += step)
            for (int y = y0; y >= 0 && y < ny; y += step)
                for (int x = x0; x >= 0 && x < nx; x += step) {
                    const std::int64_t i = g.Index(x, y, z);
                    if (step > 0 && (m[i] & kSample)) {
                        d[static_cast<std::size_t>(i)] = 0;
                        continue;
                    }
                    int best = step > 0 ? 255 : d[static_cast<std::size_t>(i)];
                    // The 13 neighbours the pass has already visited.
                    for (int dz = -1; dz <= 0; ++dz)
                        for (int dy = -1; dy <= 1; ++dy)
                            for (int dx = -1; dx <= 1; ++dx) {
                                if (dz == 0 && (dy > 0 || (dy == 0 && dx >= 0))) continue;
                                const int qx = x + dx * step, qy = y + dy * step, qz = z + dz * step;
                                if (qx < 0 || qy < 0 || qz < 0 || qx >= nx || qy >= ny || qz >= nz) continue;
                                best = std::min(best, d[static_cast<std::size_t>(g.Index(qx, qy, qz))] + 1);
                            }
                    d[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(std::min(best, 255));
                }
    };
    pass(1);
    pass(-1);
    return d;
}

// The first step of a ray within the box along its dominant axis, and the last.
void DominantRange(const int* dims, const Box& box, const RayDir& r, const int* p, int& kStart, int& kEnd) {
    const int a = r.axis;
    if (r.sign > 0) {
        kStart = std::max(1, box.lo[a] - p[a]);
        kEnd = std::min(box.hi[a], dims[a] - 1) - p[a];
    } else {
        kStart = std::max(1, p[a] - box.hi[a]);
        kEnd = p[a] - std::max(box.lo[a], 0);
    }
}

// Whether the ray's first position inside the box's range along the dominant axis already lies
// outside the grid or past the box on another axis (then it cannot meet sample).
bool MissesAtOnce(const int* dims, const Box& box, const RayDir& r, const int* p) {
    int kStart, kEnd;
    DominantRange(dims, box, r, p, kStart, kEnd);
    if (kStart > kEnd) return true;
    const int c1 = static_cast<int>(p[r.o1] + kStart * r.r1), c2 = static_cast<int>(p[r.o2] + kStart * r.r2);
    if (c1 < 0 || c1 >= dims[r.o1] || c2 < 0 || c2 >= dims[r.o2]) return true;
    if ((r.r1 >= 0 && c1 > box.hi[r.o1]) || (r.r1 <= 0 && c1 < box.lo[r.o1])) return true;
    return (r.r2 >= 0 && c2 > box.hi[r.o2]) || (r.r2 <= 0 && c2 < box.lo[r.o2]);
}

// Whether the ray from p meets sample before it leaves the grid. Each step moves the ray by at
// most one voxel on every axis, so from a voxel at chessboard distance D to the sample the next
// D - 1 steps cannot meet any: the ray jumps D steps at once. Steps outside the sample's bounding
// box are skipped too. The coordinates move monotonically, so a jump never passes the grid's edge
// unnoticed.
bool RayHits(const MaskGrid& g, const int* dims, const Box& box, const std::uint8_t* dist, const RayDir& r,
             const int* p) {
    const int a = r.axis;
    int kStart, kEnd;
    DominantRange(dims, box, r, p, kStart, kEnd);
    for (int k = kStart; k <= kEnd;) {
        int c[3];
        c[a] = p[a] + k * r.sign;
        c[r.o1] = static_cast<int>(p[r.o1] + k * r.r1);
        c[r.o2] = static_cast<int>(p[r.o2] + k * r.r2);
        // Once out of the grid or past the box on their way, the ray is done.
        if (c[r.o1] < 0 || c[r.o1] >= dims[r.o1] || c[r.o2] < 0 || c[r.o2] >= dims[r.o2]) return false;
        if ((r.r1 > 0 && c[r.o1] > box.hi[r.o1]) || (r.r1 < 0 && c[r.o1] < box.lo[r.o1])) return false;
        if ((r.r2 > 0 && c[r.o2] > box.hi[r.o2]) || (r.r2 < 0 && c[r.o2] < box.lo[r.o2])) return false;
        const int d = dist[IndexOf(g, c)];
        if (d == 0) return true;
        k += d;
    }
    return false;
}

Box SampleBox(const std::uint8_t* m, const MaskGrid& g) {
    Box b{{g.nx, g.ny, g.nz}, {-1, -1, -1}};
    for (int z = 0; z < g.nz; ++z)
        for (int y = 0; y < g.ny; ++y) {
            const std::uint8_t* row = m + g.Index(0, y, z);
            for (int x = 0; x < g.nx; ++x)
                if (row[x] & kSample) {
                    const int c[3] = {x, y, z};
                    for (int a = 0; a < 3; ++a) {
                        b.lo[a] = std::min(b.lo[a], c[a]);
                        b.hi[a] = std::max(b.hi[a], c[a]);
                    }
                }
        }
    return b;
}

template <class Op>
bool BoxFilter(std::uint8_t* mask, std::uint8_t* scratch, const MaskGrid& g, int threads,
               BuildProgress& progress, int lo, int hi, Op op) {
    const std::int64_t rows = static_cast<std::int64_t>(g.ny) * g.nz;
    const int nx = g.nx, ny = g.ny, nz = g.nz;
    const std::int64_t plane = static_cast<std::int64_t>(nx) * ny;
    const int span = hi - lo;
    // Along x: mask -> scratch.
    if (!progress.Loop(rows, lo, lo + span / 4, threads, [&](std::int64_t r) {
            const std::uint8_t* s = mask + r * nx;
            std::uint8_t* d = scratch + r * nx;
            for (int x = 0; x < nx; ++x) {
                std::uint8_t v = s[x] & kSample;
                if (x > 0) v = op(v, static_cast<std::uint8_t>(s[x - 1] & kSample));
                if (x + 1 < nx) v = op(v, static_cast<std::uint8_t>(s[x + 1] & kSample));
                d[x] = v;
            }
        }))
        return false;
    // Along y: scratch -> mask; along z: mask -> scratch; then back.
    auto pass = [&](const std::uint8_t* src, std::uint8_t* dst, std::int64_t stride, int extent, int axisAt,
                    int p0, int p1) {
        return progress.Loop(rows, p0, p1, threads, [&](std::int64_t r) {
            const int y = static_cast<int>(r % ny), z = static_cast<int>(r / ny);
            const int at = axisAt == 1 ? y : z;
            const std::uint8_t* s = src + r * nx;
            std::uint8_t* d = dst + r * nx;
            for (int x = 0; x < nx; ++x) {
                std::uint8_t v = s[x];
                if (at > 0) v = op(v, s[x - stride]);
                if (at + 1 < extent) v = op(v, s[x + stride]);
                d[x] = v;
            }
        });
    };
    if (!pass(scratch, mask, nx, ny, 1, lo + span / 4, lo + span / 2)) return false;
    if (!pass(mask, scratch, plane, nz, 2, lo + span / 2, lo + 3 * span / 4)) return false;
    return progress.Loop(rows, lo + 3 * span / 4, hi, threads, [&](std::int64_t r) {
        std::memcpy(mask + r * nx, scratch + r * nx, static_cast<std::size_t>(nx));
    });
}

}  // namespace

void BuildProgress::Begin(const char* caption) {
    if (!sink_) return;
    sink_->SetText(caption);
    sink_->SetPos(0);
}

bool BuildProgress::Report(int percent) {
    if (!sink_ || cancelled_) return cancelled_;
    cancelled_ = sink_->SetProgress(percent);
    return cancelled_;
}

void FillFaceHoles(std::uint8_t* m, const MaskGrid& g, int threads) {
    if (g.Count() == 0) return;
    const std::vector<Edge> edges = BoxEdges(g);
    std::vector<int> carries(edges.size(), -1);  // scanned at most once
    auto edgeCarries = [&](std::size_t k) {
        if (carries[k] < 0) carries[k] = EdgeCarriesSample(m, g, edges[k]) ? 1 : 0;
        return carries[k] == 1;
    };
    // Corners: a background corner whose three edges all carry sample.
    const int hi[3] = {g.nx - 1, g.ny - 1, g.nz - 1};
    for (int corner = 0; corner < 8; ++corner) {
        const int c[3] = {corner & 1 ? hi[0] : 0, corner & 2 ? hi[1] : 0, corner & 4 ? hi[2] : 0};
        std::uint8_t& w = m[IndexOf(g, c)];
        if (w & kSample) {
            for (std::size_t k = 0; k < edges.size(); ++k) {
                const Edge& e = edges[k];
                const int o1 = (e.axis + 1) % 3, o2 = (e.axis + 2) % 3;
                if (e.start[o1] == c[o1] && e.start[o2] == c[o2]) carries[k] = 1;
            }
            continue;
        }
        bool all = true;
        for (std::size_t k = 0; k < edges.size() && all; ++k) {
            const Edge& e = edges[k];
            const int o1 = (e.axis + 1) % 3, o2 = (e.axis + 2) % 3;
            if (e.start[o1] == c[o1] && e.start[o2] == c[o2]) all = edgeCarries(k);
        }
        if (all) w |= kMark;
    }
    for (std::size_t k = 0; k < edges.size(); ++k)
        if (edgeCarries(k)) MarkEdgeRuns(m, g, edges[k]);
    const Face faces[6] = {{0, 0, 1, 2},        {0, g.nx - 1, 1, 2}, {1, 0, 0, 2},
                           {1, g.ny - 1, 0, 2}, {2, 0, 0, 1},        {2, g.nz - 1, 0, 1}};
    for (const Face& f : faces) ProcessFace(m, g, f, threads);
}

bool FillEnclosedVoxels(std::uint8_t* m, const MaskGrid& g, int threads, BuildProgress& progress, int lo,
                        int hi) {
    const std::int64_t n = g.Count();
    for (std::int64_t i = 0; i < n; ++i) m[i] &= kSample;
    const std::vector<RayDir> dirs = SpiralDirections();
    const Box box = SampleBox(m, g);
    // Rays read the distances, never the mask, which the threads mark meanwhile.
    const std::vector<std::uint8_t> dist = SampleDistance(m, g);
    const int dims[3] = {g.nx, g.ny, g.nz};
    std::atomic<bool> stop{false};
    std::atomic<int> planesDone{0};
    const bool any = box.hi[0] >= 0;
#pragma omp parallel for num_threads(threads) schedule(dynamic, 1)
    for (int z = 0; z < g.nz; ++z) {
        if (stop.load(std::memory_order_relaxed)) continue;
        for (int y = 0; y < g.ny && !stop.load(std::memory_order_relaxed); ++y)
            for (int x = 0; x < g.nx; ++x) {
                std::atomic_ref<std::uint8_t> w(m[g.Index(x, y, z)]);
                if (w.load(std::memory_order_relaxed) & kSample) {
                    w.fetch_or(kMark, std::memory_order_relaxed);
                    continue;
                }
                if (!any) continue;
                const int p[3] = {x, y, z};
                // The count decides, not the order: first the rays that miss at their first
                // step, then the others, each time stopping once the outcome is certain.
                int hits = 0, misses = 0;
                std::uint64_t cast = 0;
                for (std::size_t d = 0; d < dirs.size(); ++d) {
                    if (MissesAtOnce(dims, box, dirs[d], p))
                        ++misses;
                    else
                        cast |= std::uint64_t{1} << d;
                }
                for (std::size_t d = 0; d < dirs.size() && misses <= 25 && hits < 35; ++d) {
                    if (!(cast >> d & 1)) continue;
                    if (RayHits(g, dims, box, dist.data(), dirs[d], p))
                        ++hits;
                    else
                        ++misses;
                }
                if (hits == 35) w.fetch_or(kMark, std::memory_order_relaxed);
            }
        const int done = planesDone.fetch_add(1) + 1;
        if (omp_get_thread_num() == 0 && progress.Sink() &&
            progress.Report(lo + static_cast<int>(static_cast<double>(hi - lo) * done / g.nz)))
            stop.store(true);
    }
    if (stop.load()) {
        for (std::int64_t i = 0; i < n; ++i) m[i] &= kSample;
        return false;
    }
    for (std::int64_t i = 0; i < n; ++i) m[i] = (m[i] & kMark) ? kSample : 0;
    return true;
}

bool DilateMask(std::uint8_t* mask, std::uint8_t* scratch, const MaskGrid& g, int threads,
                BuildProgress& progress, int lo, int hi) {
    return BoxFilter(mask, scratch, g, threads, progress, lo, hi,
                     [](std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>(a | b); });
}

bool ErodeMask(std::uint8_t* mask, std::uint8_t* scratch, const MaskGrid& g, int threads,
               BuildProgress& progress, int lo, int hi) {
    return BoxFilter(mask, scratch, g, threads, progress, lo, hi,
                     [](std::uint8_t a, std::uint8_t b) { return static_cast<std::uint8_t>(a & b); });
}

}  // namespace zun
