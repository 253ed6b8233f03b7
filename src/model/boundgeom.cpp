// The channel-cluster based builder, the geometric (cuboid, sphere, cylinder) builder and the
// transform of boundary masks.

#include <array>
#include <cmath>
#include <memory>
#include <new>
#include <vector>

#include "model/boundbuild.h"
#include "model/boundfill.h"
#include "model/label.h"
#include "model/rulelist.h"
#include "model/zunchan.h"
#include "platform/prompt.h"

namespace zun {
namespace {

constexpr imtype kRegionBit = kVoxelReadOnlyBit;
constexpr imtype kScratchBit = kVoxelErrorBit;

void ClearBits(imtype* t, std::int64_t n, imtype bits, int threads) {
    const imtype keep = static_cast<imtype>(~bits);
#pragma omp parallel for num_threads(threads) schedule(static)
    for (std::int64_t i = 0; i < n; ++i) t[i] &= keep;
}

// Maps a destination voxel to the source voxel it copies: minus the translation, then rotated
// about the centre; rounded to the nearest voxel.
class SourceMap {
public:
    SourceMap(const MaskGrid& g, bool rotate, const std::vector<float>& degrees, bool translate,
              const std::vector<std::int32_t>& offsets)
        : g_(g), rotate_(false), translate_(translate) {
        for (int a = 0; a < 3; ++a) {
            c_[a] = static_cast<float>((a == 0 ? g.nx : a == 1 ? g.ny : g.nz) / 2);
            t_[a] = a < static_cast<int>(offsets.size()) ? offsets[a] : 0;
        }
        if (rotate)
            for (float d : degrees) rotate_ = rotate_ || d != 0.0f;
        if (rotate_) r_ = BoundaryRotation(degrees);
    }

    // The source index of destination (x, y, z), or -1 outside the grid.
    std::int64_t operator()(int x, int y, int z) const {
        std::int64_t s[3] = {x, y, z};
        if (translate_)
            for (int a = 0; a < 3; ++a) s[a] -= t_[a];
        if (rotate_) {
            const float d[3] = {static_cast<float>(s[0]) - c_[0], static_cast<float>(s[1]) - c_[1],
                                static_cast<float>(s[2]) - c_[2]};
            for (int a = 0; a < 3; ++a) {
                const float v = c_[a] + r_[a * 3] * d[0] + r_[a * 3 + 1] * d[1] + r_[a * 3 + 2] * d[2] + 0.5f;
                // Rounded down, so that a point just below 0 stays outside the grid.
                s[a] = static_cast<std::int64_t>(std::floor(v));
            }
        }
        if (s[0] < 0 || s[1] < 0 || s[2] < 0 || s[0] >= g_.nx || s[1] >= g_.ny || s[2] >= g_.nz) return -1;
        return g_.Index(static_cast<int>(s[0]), static_cast<int>(s[1]), static_cast<int>(s[2]));
    }

private:
    MaskGrid g_;
    bool rotate_;
    bool translate_;
    float c_[3];
    std::int64_t t_[3];
    std::array<float, 9> r_{};
};

// Marks the shape of the definition (before any rotation or translation) in a byte mask.
void MarkShape(std::uint8_t* shape, const MaskGrid& g, BoundDef& def) {
    const int c[3] = {g.nx / 2, g.ny / 2, g.nz / 2};
    const int n[3] = {g.nx, g.ny, g.nz};
    int lo[3], len[3];
    auto box = [&](int a, int size) {
        lo[a] = c[a] - size / 2;
        len[a] = size;
    };
    if (def.kind == BoundDef::kCuboid) {
        for (int a = 0; a < 3; ++a)
            box(a, a < static_cast<int>(def.cuboidSize.size()) ? def.cuboidSize[a] : 0);
    } else if (def.kind == BoundDef::kSphere) {
        def.rotate = false;
        for (int a = 0; a < 3; ++a) box(a, def.diameter);
    } else if (def.kind == BoundDef::kCylinder) {
        if (def.rotation.size() > 2) def.rotation[2] = 0.0f;
        box(0, def.xyDiameter);
        box(1, def.xyDiameter);
        box(2, def.zLength);
    } else {
        return;
    }
    const float r2 = def.kind == BoundDef::kSphere ? 0.25f * def.diameter * def.diameter
                                                   : 0.25f * def.xyDiameter * def.xyDiameter;
    for (int z = std::max(lo[2], 0); z < std::min(lo[2] + len[2], n[2]); ++z)
        for (int y = std::max(lo[1], 0); y < std::min(lo[1] + len[1], n[1]); ++y)
            for (int x = std::max(lo[0], 0); x < std::min(lo[0] + len[0], n[0]); ++x) {
                const float dx = static_cast<float>(x - c[0]), dy = static_cast<float>(y - c[1]),
                            dz = static_cast<float>(z - c[2]);
                bool in = true;
                if (def.kind == BoundDef::kSphere) in = dx * dx + dy * dy + dz * dz <= r2;
                if (def.kind == BoundDef::kCylinder) in = dx * dx + dy * dy <= r2;
                if (in) shape[g.Index(x, y, z)] = 1;
            }
}

struct ClusterSide {
    bool high;
    std::int32_t combination;
    std::string* ruleText;
    int progressAfterLabels;
};

class ClusterBuild {
public:
    ClusterBuild(imtype* target, const imtype* reference, const MaskGrid& g, ProgressSink* sink,
                 Prompt* prompt, int threads)
        : t_(target),
          ref_(reference),
          g_(g),
          n_(g.Count()),
          progress_(sink),
          prompt_(prompt),
          threads_(threads) {}

    int Run(BoundDef& def) {
        if (progress_.Report(1)) return Stop();
        std::unique_ptr<std::uint8_t[]> mask;
        std::unique_ptr<ullong[]> labels;
        try {
            mask.reset(new std::uint8_t[static_cast<std::size_t>(n_ + 1)]);
            if (progress_.Report(5)) return Stop();
            labels.reset(new ullong[static_cast<std::size_t>(n_ + 1)]);
        } catch (const std::bad_alloc&) {
            return Fail("Insufficient memory.\nCannot generate channel-cluster-based boundary.",
                        PromptIcon::Warning, false);
        }
        if (progress_.Report(10)) return Stop();
        if (def.lowCombination == BoundDef::kNotApplicable && def.highCombination == BoundDef::kNotApplicable)
            return Fail("No channel clusters selected.\nCannot generate channel-cluster-based boundary.",
                        PromptIcon::Warning, false);
        ClearBits(t_, n_, kRegionBit | kScratchBit, threads_);
        if (progress_.Report(11)) return Stop();
        const ClusterSide high{true, def.highCombination, nullptr, 40};
        const ClusterSide low{false, def.lowCombination, nullptr, 80};
        for (ClusterSide side : {high, low}) {
            if (side.combination != BoundDef::kCombineOr && side.combination != BoundDef::kCombineAnd) {
                if (side.high && progress_.Report(60)) return Stop();
                continue;
            }
            side.ruleText = side.high ? &def.highRuleText[static_cast<std::size_t>(side.combination)]
                                      : &def.lowRuleText[static_cast<std::size_t>(side.combination)];
            const int r = Side(def, side, mask.get(), labels.get());
            if (r != 0) return r;
            if (side.high && progress_.Report(60)) return Stop();
        }
        if (progress_.Report(90)) return Stop();
        ClearBits(t_, n_, kScratchBit, threads_);
        progress_.Report(100);
        return 0;
    }

private:
    int Stop() {
        ClearBits(t_, n_, kRegionBit | kScratchBit, threads_);
        return kBoundaryCancelled;
    }
    int Fail(const std::string& text, PromptIcon icon, bool clear) {
        if (prompt_) prompt_->Tell(text, icon);
        if (clear) ClearBits(t_, n_, kRegionBit | kScratchBit, threads_);
        return -1;
    }

    int Side(const BoundDef& def, const ClusterSide& side, std::uint8_t* mask, ullong* labels) {
        const float threshold = static_cast<float>(def.normThreshold);
        const imtype* ref = ref_;
#pragma omp parallel for num_threads(threads_) schedule(static)
        for (std::int64_t i = 0; i < n_; ++i) {
            const float f = static_cast<float>((ref[i] & kVoxelValueMask) / 16383.0);
            mask[i] = side.high ? f >= threshold : f <= threshold;
        }
        LabelLinkedClusters(mask, labels, g_.nx, g_.ny, g_.nz, 1, 1, threads_);
        if (progress_.Report(side.progressAfterLabels)) return Stop();
        const char* op = side.high ? ">=" : "<=";
        int count = 0;
        *side.ruleText = LinkedClusterRules::Normalize(*side.ruleText, &count);
        if (count < 1)
            return Fail(std::string("Missing mapping ") + op + " rules definition.", PromptIcon::Warning,
                        true);
        std::vector<RuleRecord> rules(static_cast<std::size_t>(count) + 1);
        if (LinkedClusterRules::Parse(*side.ruleText, kRuleRaw, count + 1, rules.data(), prompt_) != 0)
            return Fail(std::string("Invalid mapping ") + op + " rules definition.", PromptIcon::Warning,
                        true);
        const bool all = side.combination == BoundDef::kCombineAnd;
        imtype* t = t_;
        const RuleRecord* rr = rules.data();
        // The background (label 0) is no cluster: rules such as "<3" must not select it.
#pragma omp parallel for num_threads(threads_) schedule(static)
        for (std::int64_t i = 0; i < n_; ++i)
            if (labels[i] && LinkedClusterRules::MatchInt(count, rr, labels[i], all)) t[i] |= kRegionBit;
        return 0;
    }

    imtype* t_;
    const imtype* ref_;
    MaskGrid g_;
    std::int64_t n_;
    BuildProgress progress_;
    Prompt* prompt_;
    int threads_;
};

}  // namespace

int BuildClusterBoundaryOnBlocks(imtype* target, const imtype* reference, int nx, int ny, int nz,
                                 BoundDef& def, ProgressSink* progress, Prompt* prompt, int threads) {
    ClusterBuild build(target, reference, MaskGrid{nx, ny, nz}, progress, prompt,
                       ResolveThreadCount(threads));
    return build.Run(def);
}

int BuildBoundaryFromDefOnBlocks(imtype* target, int nx, int ny, int nz, BoundDef& def,
                                 ProgressSink* progress, int threads) {
    const MaskGrid g{nx, ny, nz};
    const std::int64_t n = g.Count();
    const int t = ResolveThreadCount(threads);
    BoundDef copy = def;
    std::unique_ptr<std::uint8_t[]> shape(new std::uint8_t[static_cast<std::size_t>(n + 1)]());
    MarkShape(shape.get(), g, copy);
    const SourceMap map(g, copy.rotate, copy.rotation, copy.translate, copy.translation);
    BuildProgress p(progress);
    const std::uint8_t* s = shape.get();
    const bool done = p.Loop(n, 0, 100, t, [&](std::int64_t i) {
        const int x = static_cast<int>(i % nx), y = static_cast<int>((i / nx) % ny),
                  z = static_cast<int>(i / nx / ny);
        const std::int64_t src = map(x, y, z);
        if (src >= 0 && s[src]) target[i] |= kRegionBit;
    });
    def = copy;
    if (!done) {
        ClearBits(target, n, kRegionBit | kScratchBit, t);
        return kBoundaryCancelled;
    }
    ClearBits(target, n, kScratchBit, t);
    return 0;
}

int TransformBoundaryBlocks(const std::vector<imtype*>& channels, int nx, int ny, int nz,
                            const TransBoundParams& params, ProgressSink* progress, int threads) {
    const MaskGrid g{nx, ny, nz};
    const std::int64_t n = g.Count();
    const int t = ResolveThreadCount(threads);
    const std::size_t k = channels.size();
    if (k == 0) return 0;
    // The source masks, one bit per channel (up to 8 at a time per byte plane).
    std::vector<std::unique_ptr<std::uint8_t[]>> src(k);
    for (std::size_t c = 0; c < k; ++c) {
        src[c].reset(new std::uint8_t[static_cast<std::size_t>(n + 1)]);
        std::uint8_t* m = src[c].get();
        const imtype* w = channels[c];
#pragma omp parallel for num_threads(t) schedule(static)
        for (std::int64_t i = 0; i < n; ++i) m[i] = (w[i] & kVoxelValueMask) != 0;
    }
    const SourceMap map(g, params.rotate, params.rotation, params.translate, params.translation);
    BuildProgress p(progress);
    const bool done = p.Loop(n, 0, 100, t, [&](std::int64_t i) {
        const int x = static_cast<int>(i % nx), y = static_cast<int>((i / nx) % ny),
                  z = static_cast<int>(i / nx / ny);
        const std::int64_t s = map(x, y, z);
        if (s < 0) return;
        for (std::size_t c = 0; c < k; ++c)
            if (src[c][s]) channels[c][i] |= kRegionBit;
    });
    for (imtype* w : channels) {
#pragma omp parallel for num_threads(t) schedule(static)
        for (std::int64_t i = 0; i < n; ++i) {
            if (done) w[i] = (w[i] & kRegionBit) ? kBoundaryInside : 0;
            w[i] &= static_cast<imtype>(~(kRegionBit | kScratchBit));
        }
    }
    return done ? 0 : kBoundaryCancelled;
}

int ZunChan::BuildClusterBoundary(ZunChan& target, BoundDef& def, const ZunChan& reference,
                                  ProgressSink* progress, Prompt* prompt, int threads) {
    if (reference.GetDims() != target.GetDims()) {
        if (prompt)
            prompt->Tell("No channel clusters selected.\nCannot generate channel-cluster-based boundary.",
                         PromptIcon::Warning);
        return -1;
    }
    return BuildClusterBoundaryOnBlocks(target.Data(), reference.Data(), target.nx, target.ny, target.nz, def,
                                        progress, prompt, threads);
}

int ZunChan::BuildBoundaryFromDef(ZunChan& target, BoundDef& def, ProgressSink* progress, int threads) {
    return BuildBoundaryFromDefOnBlocks(target.Data(), target.nx, target.ny, target.nz, def, progress,
                                        threads);
}

int ZunChan::TransformBoundary(const std::vector<ZunChan*>& channels, const TransBoundParams& params,
                               ProgressSink* progress, int threads) {
    if (channels.empty()) return 0;
    std::vector<imtype*> blocks;
    for (ZunChan* c : channels)
        if (c->GetDims() == channels[0]->GetDims()) blocks.push_back(c->Data());
    const ZunChan& first = *channels[0];
    return TransformBoundaryBlocks(blocks, first.nx, first.ny, first.nz, params, progress, threads);
}

}  // namespace zun
