#include "view3d/displayfill.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "foundation/threadcount.h"

namespace zun {

std::vector<int> BuildIndexMap(int n, int v) {
    std::vector<int> map(static_cast<std::size_t>(std::max(v, 0)));
    if (v <= 0) return map;
    for (int i = 0; i < v; ++i) {
        const float f = static_cast<float>(i) * static_cast<float>(n) / static_cast<float>(v) + 0.49f;
        map[i] = std::clamp(static_cast<int>(std::floor(f)), 0, std::max(n - 1, 0));
    }
    map[v - 1] = std::max(n - 1, 0);
    return map;
}

DisplayFillPlan PrepareDisplayFill(DisplayLayers& layers, const Dims& sample, const Dims& view) {
    DisplayFillPlan plan;
    const auto ext = [](const Dims& d, int i) { return i < static_cast<int>(d.size()) ? d[i] : 1; };
    const int vz = ext(view, 2);
    plan.mapX = BuildIndexMap(ext(sample, 0), ext(view, 0));
    plan.mapY = BuildIndexMap(ext(sample, 1), ext(view, 1));
    plan.mapZ = BuildIndexMap(ext(sample, 2), vz);
    plan.channels = layers.ChannelCount();
    const int nc = plan.channels;
    plan.slices.assign(static_cast<std::size_t>(vz) * nc, -1);
    plan.counts.assign(static_cast<std::size_t>(vz), 0);
    // A grid with an empty axis has no voxel to read, however many the view holds.
    if (CountVoxels(sample) == 0) return plan;
    for (int c = 0; c < nc; ++c) {
        for (int k = 0; k < vz; ++k) {
            const int z = plan.mapZ[k];
            int& slot = plan.slices[static_cast<std::size_t>(k) * nc + c];
            const int n = layers.PrepareSlice(c, z);
            plan.counts[k] += n;
            slot = n > 0 ? z : -1;
            // Sample slices between this view slice and the next would otherwise never show:
            // the last displayed one among them colours this view slice. The next view slice's
            // own sample slice is not among them: it would make a hidden slice show whenever
            // its neighbour is displayed.
            if (k < vz - 1)
                for (int s = z + 1; s < plan.mapZ[k + 1]; ++s) {
                    const int m = layers.PrepareSlice(c, s);
                    if (m > 0) {
                        slot = s;
                        plan.counts[k] += m;
                    }
                }
        }
    }
    return plan;
}

int FillDisplayVolume(int mode, DisplayLayers& layers, const Dims& sample, disptype* volume, const Dims& view,
                      int threads) {
    if (!volume || view.size() < 3) return 0;
    const int vx = view[0], vy = view[1], vz = view[2];
    if (vx <= 0 || vy <= 0 || vz <= 0) return 0;
    const std::size_t plane = static_cast<std::size_t>(vx) * vy;
    threads = TeamThreads(threads);
    if (mode == kFillClear) {
        omp_set_dynamic(0);
#pragma omp parallel for schedule(static) num_threads(threads)
        for (int k = 0; k < vz; ++k) std::memset(volume + plane * k, 0, plane * sizeof(disptype));
        return 0;
    }
    if (mode != kFillAll) return 0;
    const DisplayFillPlan plan = PrepareDisplayFill(layers, sample, view);
    const int nc = plan.channels;
    layers.PrepareViewSlices(plan.slices, vz);
    int shown = 0;
    omp_set_dynamic(0);
#pragma omp parallel for schedule(dynamic, 1) num_threads(threads) reduction(+ : shown)
    for (int k = 0; k < vz; ++k) {
        disptype* out = volume + plane * k;
        if (plan.counts[k] == 0) {
            std::memset(out, 0, plane * sizeof(disptype));
            continue;
        }
        ++shown;
        const int* slices = plan.slices.data() + static_cast<std::size_t>(k) * nc;
        for (int y = 0; y < vy; ++y)
            layers.CompositeRow(k, slices, plan.mapY[y], plan.mapZ[k], plan.mapX.data(), vx,
                                out + static_cast<std::size_t>(y) * vx);
    }
    return shown;
}

DisplayVolume::DisplayVolume() : image_(std::make_unique<Image3d<disptype>>()) {}

int DisplayVolume::Resize(const Dims& dims) {
    if (image_->GetNumChannels() == 0) {
        if (CountVoxels(dims) == 0) return image_->Resize(dims) < 0 ? -1 : 0;
        const Dims old = image_->GetDims();
        if (image_->Resize(dims) < 0) return -1;
        try {
            if (image_->AddChannels(1) < 0) {
                image_->Resize(old);
                return -1;
            }
        } catch (const std::bad_alloc&) {
            image_->Resize(old);
            return -1;
        }
        return 1;
    }
    try {
        return image_->Resize(dims);
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

const Dims& DisplayVolume::GetDims() const {
    return image_->GetDims();
}

std::uint64_t DisplayVolume::GetNumVoxels() const {
    return image_->GetNumChannels() == 0 ? 0 : image_->GetNumVoxels();
}

disptype* DisplayVolume::Data() {
    return image_->GetNumChannels() ? image_->Plane(0) : nullptr;
}

const disptype* DisplayVolume::Data() const {
    return image_->GetNumChannels() ? image_->Plane(0) : nullptr;
}

namespace {

// The opacity weight (0..16383) of a value under a linear ramp; values above the high end keep
// the ramp's end, values below the low end show nothing.
std::uint16_t RampWeight(float lo, float hi, float oplo, float ophi, int v) {
    const double f = v / 16383.0;
    double t;
    // Equal thresholds make a step rather than a division by zero.
    if (hi - lo < 1e-6)
        t = f >= lo ? ophi : oplo;
    else
        t = (ophi - oplo) * (f - lo) / (hi - lo) + oplo;
    t = std::clamp(t, 0.0, 1.0);
    const int w = static_cast<int>(std::floor(t * 16383 + 0.49));
    const float ff = static_cast<float>(v) / 16383.0f;
    if (ff < lo - 1e-5f) return 0;
    return static_cast<std::uint16_t>(w);
}

}  // namespace

ChannelColourLayers::ChannelColourLayers(const Dims& sample, std::vector<Channel> channels)
    : sample_(sample), channels_(std::move(channels)) {
    weights_.resize(channels_.size());
    for (std::size_t c = 0; c < channels_.size(); ++c) {
        const Channel& ch = channels_[c];
        weights_[c].resize(16384);
        for (int v = 0; v < 16384; ++v)
            weights_[c][v] = RampWeight(ch.low, ch.high, ch.opacityLow, ch.opacityHigh, v);
    }
}

int ChannelColourLayers::PrepareSlice(int channel, int z) {
    const Channel& ch = channels_[channel];
    if (ch.boundary || !ch.data) return 0;
    if (!ch.slicesShown.empty() &&
        (z < 0 || z >= static_cast<int>(ch.slicesShown.size()) || !ch.slicesShown[z]))
        return 0;
    return 1;
}

void ChannelColourLayers::CompositeRow(int, const int* slices, int sy, int sz, const int* mapX, int count,
                                       disptype* out) const {
    const std::size_t nx = static_cast<std::size_t>(sample_[0]);
    const std::size_t row = (static_cast<std::size_t>(sz) * sample_[1] + sy) * nx;
    const int nc = static_cast<int>(channels_.size());
    for (int i = 0; i < count; ++i) {
        const std::size_t at = row + static_cast<std::size_t>(mapX[i]);
        std::uint64_t total = 0, weightSum = 0;
        double r = 0, g = 0, b = 0, maxSum = 0;
        for (int c = 0; c < nc; ++c) {
            if (slices[c] < 0) continue;
            const Channel& ch = channels_[c];
            if (ch.mask && ch.mask[at] == 0) continue;
            const std::uint32_t w = weights_[c][ch.data[at] & kVoxelValueMask];
            if (w == 0) continue;
            const std::uint32_t cr = ch.colour & 0xFF, cg = (ch.colour >> 8) & 0xFF,
                                cb = (ch.colour >> 16) & 0xFF;
            total += w;
            weightSum += w;
            r += double(cr) * w;
            g += double(cg) * w;
            b += double(cb) * w;
            maxSum += double(std::max({cr, cg, cb})) * w;
        }
        std::uint32_t R = 0, G = 0, B = 0;
        const double m = std::max({r, g, b});
        if (m > 0 && weightSum > 0) {
            const float s = static_cast<float>((maxSum / m) / static_cast<double>(weightSum));
            R = static_cast<std::uint32_t>(std::floor(r * s + 0.49));
            G = static_cast<std::uint32_t>(std::floor(g * s + 0.49));
            B = static_cast<std::uint32_t>(std::floor(b * s + 0.49));
        }
        const std::uint32_t A = static_cast<std::uint32_t>(
            std::min(255.0, std::floor(static_cast<double>(total) * 255 / 16383 + 0.49)));
        out[i] = std::min(R, 255u) | (std::min(G, 255u) << 8) | (std::min(B, 255u) << 16) | (A << 24);
    }
}

}  // namespace zun
