#include "tools/channelalign.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "document/changehints.h"
#include "document/zundoc.h"
#include "foundation/numformat.h"
#include "model/importinfo.h"

namespace zun {

namespace {

// Both ends clamped to 0..n before they become integers: a shift of a billion voxels is a
// number the user may type, and it simply leaves no overlap.
void AxisRange(int n, float d, int& lo, int& hi) {
    const double c = std::ceil(static_cast<double>(d));
    lo = c >= 1 ? static_cast<int>(std::min(c, static_cast<double>(n))) : 0;
    const double f = std::floor(static_cast<double>(n) + d);
    hi = f < n ? static_cast<int>(std::max(f, 0.0)) : n;
}

// A text that is no number reads 0; false for a number that is not finite.
bool ReadShift(const std::string& text, float& value) {
    float v = 0.0f;
    const int r = ReadFiniteFloat(text, &v);
    value = r == 0 ? v : 0.0f;
    return r != -2;
}

}  // namespace

AlignOverlap ComputeAlignOverlap(const ToolGrid& g, float dx, float dy, float dz) {
    AlignOverlap o;
    AxisRange(g.nx, dx, o.xlo, o.xhi);
    AxisRange(g.ny, dy, o.ylo, o.yhi);
    AxisRange(g.nz, dz, o.zlo, o.zhi);
    return o;
}

void TranslateChannel(const std::uint16_t* b, std::uint16_t* out, const ToolGrid& g, float dx, float dy,
                      float dz, ToolProgress* progress) {
    const int ix = static_cast<int>(std::floor(dx + 0.5f)), iy = static_cast<int>(std::floor(dy + 0.5f)),
              iz = static_cast<int>(std::floor(dz + 0.5f));
    const float fx = dx - ix, fy = dy - iy, fz = dz - iz;
    const int nx = g.nx, ny = g.ny, nz = g.nz;
    const int ox = fx >= 0 ? -1 : 1, oy = fy >= 0 ? -1 : 1, oz = fz >= 0 ? -1 : 1;
    const float ax = std::fabs(fx), ay = std::fabs(fy), az = std::fabs(fz);
    auto word = [&](int x, int y, int z) -> float {
        if (x < 0 || x >= nx || y < 0 || y >= ny || z < 0 || z >= nz) return 0.0f;
        return b[g.Index(x, y, z)];
    };
    for (int z = 0; z < nz; ++z) {
        // Planes are independent: one region per plane keeps the progress steps of the rows.
#pragma omp parallel for schedule(static) num_threads(ToolThreads())
        for (int y = 0; y < ny; ++y) {
            for (int x = 0; x < nx; ++x) {
                const int sx = x - ix, sy = y - iy, sz = z - iz;
                std::uint16_t result = 0;
                if (sx >= 0 && sx < nx && sy >= 0 && sy < ny && sz >= 0 && sz < nz) {
                    float v = b[g.Index(sx, sy, sz)];
                    v = v + (word(sx + ox, sy, sz) - v) * ax;
                    v = v + (word(sx, sy + oy, sz) - v) * ay;
                    v = v + (word(sx, sy, sz + oz) - v) * az;
                    result = static_cast<std::uint16_t>(static_cast<int>(v + 0.5f));
                }
                out[g.Index(x, y, z)] = result;
            }
        }
        if (progress && nz > 1) progress->SetPercent(50 * z / (nz - 1));
    }
}

double CrossCorrelate(const std::uint16_t* a, const std::uint16_t* b, const ToolGrid& g,
                      const AlignOverlap& o, ToolProgress* progress) {
    const double n = double(o.xhi - o.xlo) * (o.yhi - o.ylo) * (o.zhi - o.zlo);
    if (n <= 0) return -100;
    const int span = o.zhi - o.zlo - 1 > 0 ? o.zhi - o.zlo - 1 : 1;
    // Pass 1 in integers: the sums are exact.
    std::int64_t sa = 0, sb = 0;
    for (int z = o.zlo; z < o.zhi; ++z) {
#pragma omp parallel for schedule(static) num_threads(ToolThreads()) reduction(+ : sa, sb)
        for (int y = o.ylo; y < o.yhi; ++y)
            for (int x = o.xlo; x < o.xhi; ++x) {
                const std::int64_t i = g.Index(x, y, z);
                sa += a[i];
                sb += b[i];
            }
        if (progress) progress->SetPercent(50 + 10 * (z - o.zlo) / span);
    }
    const double ma = sa / n, mb = sb / n;
    double cov = 0, va = 0, vb = 0;
    for (int z = o.zlo; z < o.zhi; ++z) {
#pragma omp parallel for schedule(static) num_threads(ToolThreads()) reduction(+ : cov, va, vb)
        for (int y = o.ylo; y < o.yhi; ++y)
            for (int x = o.xlo; x < o.xhi; ++x) {
                const std::int64_t i = g.Index(x, y, z);
                const double da = a[i] - ma, db = b[i] - mb;
                cov += da * db;
                va += da * da;
                vb += db * db;
            }
        if (progress) progress->SetPercent(60 + 40 * (z - o.zlo) / span);
    }
    if (va * vb >= 1e-6) return cov / std::sqrt(va * vb);
    return -100;
}

ChannelAlignModel::ChannelAlignModel(CZunDoc& doc, int moving, int reference)
    : doc_(doc), moving_(moving), reference_(reference) {
    ZunImage& s = doc.GetSample();
    movingName_ = s.GetChan(moving)->name;
    referenceName_ = s.GetChan(reference)->name;
    const Dims& d = s.GetDims();
    grid_ = {d[0], d[1], d[2]};
    const ZunChan* m = s.GetChan(moving);
    backup_.assign(m->Data(), m->Data() + m->GetNumVoxels());
}

std::string ChannelAlignModel::Title() const {
    return "Adjust \"" + movingName_ + "\" channel position to align with \"" + referenceName_ + "\" channel";
}

void ChannelAlignModel::Edited() {
    applyEnabled_ = true;
    okEnabled_ = false;
}

std::string ChannelAlignModel::Apply(const std::string& dx, const std::string& dy, const std::string& dz) {
    if (ComputationBusy(doc_)) return kComputationInProgress;
    float x = 0, y = 0, z = 0;
    // NaN or an infinity would reach the integer shifts of the translation.
    if (!ReadShift(dx, x) || !ReadShift(dy, y) || !ReadShift(dz, z)) return kValueMustBeReal;
    dx_ = x;
    dy_ = y;
    dz_ = z;
    const AlignOverlap o = ComputeAlignOverlap(grid_, dx_, dy_, dz_);
    if (o.Thin())
        return ToolFormat("Sample too small. Nx = %d, Ny = %d, Nz = %d", grid_.nx, grid_.ny, grid_.nz);
    ZunImage& s = doc_.GetSample();
    status_ = "Transforming \"" + movingName_ + "\" channel ...";
    TranslateChannel(backup_.data(), s.GetChan(moving_)->Data(), grid_, dx_, dy_, dz_, &progress_);
    status_ = "Computing cross-correlation between \"" + movingName_ + "\" and \"" + referenceName_ +
              "\" channels ...";
    correlation_ =
        CrossCorrelate(s.GetChan(moving_)->Data(), s.GetChan(reference_)->Data(), grid_, o, &progress_);
    correlationText_ =
        correlation_ == -100 ? alignmsg::kUndefined : ToolFormat("Cross correlation = %.4f", correlation_);
    applyEnabled_ = false;
    okEnabled_ = std::fabs(dx_) > 1e-5f || std::fabs(dy_) > 1e-5f || std::fabs(dz_) > 1e-5f;
    AnnounceChange();
    return {};
}

void ChannelAlignModel::AnnounceChange() {
    status_ = alignmsg::kUpdating;
    doc_.NoteVoxelsEdited({doc_.GetSample().GetChan(moving_)});
    StatsMod hint;
    doc_.UpdateAllViews(nullptr, kHintData, &hint);
    status_.clear();
}

void ChannelAlignModel::Ok() {
    const std::string text =
        ToolFormat("Channel translation (%.1f, %.1f, %.1f). %s", dx_, dy_, dz_, AscTimeNow().c_str());
    LogText::AppendSection(&text, doc_.GetSample().GetChan(moving_)->note, nullptr);
    doc_.SetModifiedFlag(true);
}

bool ChannelAlignModel::Cancel() {
    ZunChan* m = doc_.GetSample().GetChan(moving_);
    if (std::memcmp(m->Data(), backup_.data(), backup_.size() * sizeof(std::uint16_t)) == 0) return true;
    if (ComputationBusy(doc_)) return false;
    std::memcpy(m->Data(), backup_.data(), backup_.size() * sizeof(std::uint16_t));
    AnnounceChange();
    return true;
}

}  // namespace zun
