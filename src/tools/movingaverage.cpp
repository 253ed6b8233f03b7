#include "tools/movingaverage.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace zun {

MovingTemplate MovingTemplate::Make(int geometry, const std::array<float, 3>& d) {
    MovingTemplate t;
    const bool ellipsoid = geometry == kEllipsoid;
    auto half = [&](float v) {
        return static_cast<int>(std::ceil(ellipsoid ? static_cast<double>(v) : static_cast<double>(v) * 0.5));
    };
    t.hx = half(d[0]);
    t.hy = half(d[1]);
    t.hz = half(d[2]);
    t.mask.assign(static_cast<std::size_t>(t.Width()) * (2 * t.hy + 1) * (2 * t.hz + 1), 1);
    if (!ellipsoid) return t;
    std::size_t k = 0;
    for (int dz = -t.hz; dz <= t.hz; ++dz)
        for (int dy = -t.hy; dy <= t.hy; ++dy)
            for (int dx = -t.hx; dx <= t.hx; ++dx) {
                const float qx = dx / d[0], qy = dy / d[1], qz = dz / d[2];
                const long double sum = static_cast<long double>(qx) * qx +
                                        static_cast<long double>(qy) * qy + static_cast<long double>(qz) * qz;
                t.mask[k++] = sum <= 1.0L ? 1 : 0;
            }
    return t;
}

bool MovingTemplate::Full() const {
    return std::all_of(mask.begin(), mask.end(), [](std::uint8_t b) { return b != 0; });
}

float LocalMeanDirect(int x, int y, int z, const std::vector<float>& v, const std::vector<std::uint8_t>& in,
                      const ToolGrid& g, const MovingTemplate& t) {
    const std::int64_t c = g.Index(x, y, z);
    if (!in[static_cast<std::size_t>(c)]) return v[static_cast<std::size_t>(c)];
    long double sum = 0;
    std::int64_t count = 0;
    for (int dz = -t.hz; dz <= t.hz; ++dz) {
        const int zz = z + dz;
        if (zz < 0 || zz >= g.nz) continue;
        for (int dy = -t.hy; dy <= t.hy; ++dy) {
            const int yy = y + dy;
            if (yy < 0 || yy >= g.ny) continue;
            for (int dx = -t.hx; dx <= t.hx; ++dx) {
                const int xx = x + dx;
                if (xx < 0 || xx >= g.nx || !t.At(dx, dy, dz)) continue;
                const std::size_t i = static_cast<std::size_t>(g.Index(xx, yy, zz));
                if (!in[i]) continue;
                sum += v[i];
                ++count;
            }
        }
    }
    return count ? static_cast<float>(sum / count) : 0.0f;
}

namespace {

// Window sums of a line of n values at stride st, the window [i - h, i + h] cut at the ends.
void LineWindowSum(double* p, std::int64_t st, int n, int h, std::vector<double>& prefix) {
    prefix.resize(static_cast<std::size_t>(n) + 1);
    prefix[0] = 0;
    for (int i = 0; i < n; ++i)
        prefix[static_cast<std::size_t>(i) + 1] = prefix[static_cast<std::size_t>(i)] + p[i * st];
    for (int i = 0; i < n; ++i) {
        const int lo = std::max(i - h, 0), hi = std::min(i + h, n - 1);
        p[i * st] = prefix[static_cast<std::size_t>(hi) + 1] - prefix[static_cast<std::size_t>(lo)];
    }
}

// Box sums of `a` in place: three separable running-window passes.
void BoxSums(std::vector<double>& a, const ToolGrid& g, const MovingTemplate& t) {
    const int nx = g.nx, ny = g.ny, nz = g.nz;
    const std::int64_t plane = std::int64_t(nx) * ny;
    double* d = a.data();
#pragma omp parallel num_threads(ToolThreads())
    {
        std::vector<double> prefix;
#pragma omp for collapse(2) schedule(static)
        for (int z = 0; z < nz; ++z)
            for (int y = 0; y < ny; ++y) LineWindowSum(d + g.Index(0, y, z), 1, nx, t.hx, prefix);
#pragma omp for collapse(2) schedule(static)
        for (int z = 0; z < nz; ++z)
            for (int x = 0; x < nx; ++x) LineWindowSum(d + g.Index(x, 0, z), nx, ny, t.hy, prefix);
#pragma omp for collapse(2) schedule(static)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x) LineWindowSum(d + g.Index(x, y, 0), plane, nz, t.hz, prefix);
    }
}

// Template rows (dy, dz) with their x interval, taken from the template's own bytes.
struct Span {
    int dy, dz, lo, hi;
};
std::vector<Span> TemplateSpans(const MovingTemplate& t) {
    std::vector<Span> spans;
    for (int dz = -t.hz; dz <= t.hz; ++dz)
        for (int dy = -t.hy; dy <= t.hy; ++dy) {
            int lo = t.hx + 1, hi = -t.hx - 1;
            for (int dx = -t.hx; dx <= t.hx; ++dx)
                if (t.At(dx, dy, dz)) {
                    lo = std::min(lo, dx);
                    hi = std::max(hi, dx);
                }
            if (lo <= hi) spans.push_back({dy, dz, lo, hi});
        }
    return spans;
}

// Sum and count arrays of the neighbourhood of every voxel, from the masked values.
void NeighbourhoodSums(const std::vector<float>& v, const std::vector<std::uint8_t>& in, const ToolGrid& g,
                       const MovingTemplate& t, std::vector<double>& sum, std::vector<double>& count) {
    const std::size_t n = static_cast<std::size_t>(g.Count());
    sum.resize(n);
    count.resize(n);
    if (t.Full()) {
#pragma omp parallel for schedule(static) num_threads(ToolThreads())
        for (std::int64_t i = 0; i < static_cast<std::int64_t>(n); ++i) {
            sum[static_cast<std::size_t>(i)] =
                in[static_cast<std::size_t>(i)] ? v[static_cast<std::size_t>(i)] : 0.0;
            count[static_cast<std::size_t>(i)] = in[static_cast<std::size_t>(i)] ? 1.0 : 0.0;
        }
        BoxSums(sum, g, t);
        BoxSums(count, g, t);
        return;
    }
    // Row prefix sums along x, then one interval per template row.
    const int nx = g.nx, ny = g.ny, nz = g.nz;
    const std::size_t w = static_cast<std::size_t>(nx) + 1;
    std::vector<double> ps(w * ny * nz), pc(w * ny * nz);
#pragma omp parallel for collapse(2) schedule(static) num_threads(ToolThreads())
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y) {
            const std::size_t r = (static_cast<std::size_t>(z) * ny + y) * w;
            const std::size_t i0 = static_cast<std::size_t>(g.Index(0, y, z));
            ps[r] = pc[r] = 0;
            for (int x = 0; x < nx; ++x) {
                const bool on = in[i0 + x] != 0;
                ps[r + x + 1] = ps[r + x] + (on ? v[i0 + x] : 0.0);
                pc[r + x + 1] = pc[r + x] + (on ? 1.0 : 0.0);
            }
        }
    const std::vector<Span> spans = TemplateSpans(t);
#pragma omp parallel for collapse(2) schedule(static) num_threads(ToolThreads())
    for (int z = 0; z < nz; ++z)
        for (int y = 0; y < ny; ++y)
            for (int x = 0; x < nx; ++x) {
                double s = 0, c = 0;
                for (const Span& sp : spans) {
                    const int yy = y + sp.dy, zz = z + sp.dz;
                    if (yy < 0 || yy >= ny || zz < 0 || zz >= nz) continue;
                    const int lo = std::max(x + sp.lo, 0), hi = std::min(x + sp.hi, nx - 1);
                    if (lo > hi) continue;
                    const std::size_t r = (static_cast<std::size_t>(zz) * ny + yy) * w;
                    s += ps[r + hi + 1] - ps[r + lo];
                    c += pc[r + hi + 1] - pc[r + lo];
                }
                const std::size_t i = static_cast<std::size_t>(g.Index(x, y, z));
                sum[i] = s;
                count[i] = c;
            }
}

}  // namespace

void MovingVolumeAverage(std::vector<float>& values, const std::vector<std::uint8_t>& inside,
                         const ToolGrid& g, const MovingTemplate& t, const MovingPassSettings& s,
                         MovingReport& report, const ToolCancelCheck& cancel) {
    const int nx = g.nx, ny = g.ny, nz = g.nz;
    const int interval = std::max(nz / 100, 1);
    std::vector<float> out(values.size());
    std::vector<double> sum, count;
    bool shown = false;
    const long double e = s.expected;
    for (int p = 0; p < s.iterations; ++p) {
        if (!s.direct) NeighbourhoodSums(values, inside, g, t, sum, count);
        for (int z = 0; z < nz; ++z) {
            std::int64_t averaged = 0, defective = 0;
            // The first defective voxel of the slice in scan order, whatever the schedule.
            std::int64_t first = std::numeric_limits<std::int64_t>::max();
#pragma omp parallel for collapse(2) schedule(static) num_threads(ToolThreads()) \
    reduction(+ : averaged, defective) reduction(min : first)
            for (int y = 0; y < ny; ++y)
                for (int x = 0; x < nx; ++x) {
                    const std::size_t i = static_cast<std::size_t>(g.Index(x, y, z));
                    if (!inside[i]) {
                        out[i] = s.keepOutside ? values[i] : static_cast<float>(s.setValue);
                        continue;
                    }
                    float mean;
                    if (s.direct)
                        mean = LocalMeanDirect(x, y, z, values, inside, g, t);
                    else
                        mean = count[i] > 0 ? static_cast<float>(sum[i] / count[i]) : 0.0f;
                    if (std::fabs(mean) < 1e-30f) {
                        out[i] = values[i];
                        ++defective;
                        first = std::min(first, std::int64_t(y) * nx + x);
                    } else {
                        out[i] = static_cast<float>(values[i] * e / mean);
                        ++averaged;
                    }
                }
            report.averaged += averaged;
            report.defective += defective;
            if (defective > 0) {
                report.defectX = static_cast<int>(first % nx);
                report.defectY = static_cast<int>(first / nx);
                report.defectZ = z;
            }
            if (report.defective > 0 && !shown) {
                shown = true;
                report.messages.push_back(
                    ToolFormat("Voxel value or sample boundary may be defective near slice %d at (%d, %d)",
                               report.defectZ, report.defectX, report.defectY));
            }
            if (z % interval == 0 && cancel &&
                cancel(static_cast<int>((std::int64_t(nz) * p + z + 1) * 100 /
                                        (std::int64_t(s.iterations) * nz)))) {
                report.cancelled = true;
                return;
            }
        }
        values.swap(out);
        if (report.defective > 1)
            report.messages.push_back(ToolFormat("Potential defective image voxles %lld after iteration %d",
                                                 static_cast<long long>(report.defective), p + 1));
    }
    if (report.averaged == 0) report.messages.push_back(mvamsg::kBoundaryTooSmall);
}

int NormalizeSlice(float* work, int a0, int na, float expected, int nb, int b0, int a1, int b1) {
    if (a1 <= a0 || b1 <= b0) return 3;
    double sum = 0;
    std::int64_t count = 0;
    for (int a = a0; a < a1; ++a)
        for (int b = b0; b < b1; ++b) {
            sum += work[static_cast<std::size_t>(b) * na + a];
            ++count;
        }
    if (count < 1) return 4;
    const float mean = static_cast<float>(sum / count);
    if (std::fabs(mean) < 1e-20f) return 5;
    const float f = expected / mean;
    const std::size_t n = static_cast<std::size_t>(na) * nb;
    for (std::size_t i = 0; i < n; ++i) work[i] = f * work[i];
    return 0;
}

int SliceAverage(std::vector<float>& values, const ToolGrid& g, int geometry, const std::array<int, 4>& r,
                 float expected, int& failedSlice, const ToolCancelCheck& cancel) {
    int na, nb, slices;
    switch (geometry) {
        case kSliceXY:
            na = g.nx, nb = g.ny, slices = g.nz;
            break;
        case kSliceYZ:
            na = g.ny, nb = g.nz, slices = g.nx;
            break;
        default:
            na = g.nz, nb = g.nx, slices = g.ny;
            break;
    }
    // The slice's own buffer: m x m would be far larger for a flat grid.
    std::vector<float> work(static_cast<std::size_t>(na) * nb);
    auto index = [&](int k, int a, int b) -> std::size_t {
        if (geometry == kSliceXY) return static_cast<std::size_t>(g.Index(a, b, k));
        if (geometry == kSliceYZ) return static_cast<std::size_t>(g.Index(k, a, b));
        return static_cast<std::size_t>(g.Index(b, k, a));
    };
    const int interval = std::max(g.nz / 100, 1);
    std::vector<float> out(values.size());
    for (int k = 0; k < slices; ++k) {
        for (int b = 0; b < nb; ++b)
            for (int a = 0; a < na; ++a) work[static_cast<std::size_t>(b) * na + a] = values[index(k, a, b)];
        const int code = NormalizeSlice(work.data(), r[0], na, expected, nb, r[2], r[1], r[3]);
        if (code != 0) {
            failedSlice = k;
            return code;
        }
        for (int b = 0; b < nb; ++b)
            for (int a = 0; a < na; ++a) out[index(k, a, b)] = work[static_cast<std::size_t>(b) * na + a];
        if (k % interval == 0 && cancel && cancel(static_cast<int>((std::int64_t(k) + 1) * 100 / slices)))
            return -1;
    }
    values.swap(out);
    return 0;
}

}  // namespace zun
