// The sample boundary builder: finds the sample inside the grid from one or more data channels
// (average, threshold, largest components, hole filling, smoothing) and writes it into bit 14 of
// the target boundary channel.

#include <memory>
#include <vector>

#include "foundation/memoryguard.h"
#include "model/boundbuild.h"
#include "model/boundfill.h"
#include "model/boundthreshold.h"
#include "model/label.h"
#include "model/sample.h"
#include "platform/prompt.h"

namespace zun {
namespace {

constexpr const char* kNoChannel = "No channel selected.\nCannot generate sample-based boundary.";
constexpr const char* kBadProfile =
    "Data has unexpected histogram profile.\nCannot generate sample-based boundary.";

// A temporary block taken through the memory guard; a refusal throws std::bad_alloc.
template <class T>
struct GuardedBlock {
    struct Free {
        void operator()(T* p) const { VoxelAllocator::Free(p); }
    };
    static std::unique_ptr<T[], Free> Take(std::int64_t n) {
        VoxelAllocator allocator;
        T* p = allocator.Allocate<T>(static_cast<std::uint64_t>(n) + 1);
        if (!p) throw std::bad_alloc();
        return std::unique_ptr<T[], Free>(p);
    }
};

void Tell(Prompt* prompt, const std::string& text) {
    if (prompt) prompt->Tell(text, PromptIcon::Warning);
}

class SampleBuild {
public:
    SampleBuild(imtype* target, const MaskGrid& g, std::vector<const imtype*> sources, ProgressSink* sink,
                Prompt* prompt, int threads)
        : t_(target),
          g_(g),
          n_(g.Count()),
          sources_(std::move(sources)),
          progress_(sink),
          prompt_(prompt),
          threads_(ResolveThreadCount(threads)) {}

    int Run(BoundDef& def) {
        SaveMask();
        int r = 0;
        try {
            r = Steps(def);
        } catch (...) {
            // Memory refused part way: the mask must come back before the caller hears of it.
            Restore(false);
            throw;
        }
        if (r != 0) {
            Restore(false);
            return r;
        }
        Restore(true);
        return 0;
    }

private:
    int Cancelled() const { return kBoundaryCancelled; }

    void SaveMask() {
        imtype* t = t_;
#pragma omp parallel for num_threads(threads_) schedule(static)
        for (std::int64_t i = 0; i < n_; ++i)
            t[i] = static_cast<imtype>((t[i] & 0x7FFF) | ((t[i] & kVoxelValueMask) ? kVoxelErrorBit : 0));
    }

    // Value bits back from bit 15; bit 14 from the built region (success) or cleared; bit 15 cleared.
    void Restore(bool success) {
        imtype* t = t_;
        const std::uint8_t* m = success ? mask_.get() : nullptr;
#pragma omp parallel for num_threads(threads_) schedule(static)
        for (std::int64_t i = 0; i < n_; ++i) {
            const imtype value = (t[i] & kVoxelErrorBit) ? kBoundaryInside : 0;
            const imtype region = m && m[i] ? kVoxelReadOnlyBit : 0;
            t[i] = static_cast<imtype>(value | region);
        }
    }

    int Steps(BoundDef& def) {
        // Summing channels.
        progress_.Begin("Summing channels");
        const float k = static_cast<float>(sources_.size());
        imtype* t = t_;
        const auto& src = sources_;
        if (!progress_.Loop(n_, 0, 100, threads_, [&](std::int64_t i) {
                float sum = 0.0f;
                for (const imtype* s : src) sum += static_cast<float>(s[i] & kVoxelValueMask);
                const float avg = std::min(sum / k + 0.5f, 16383.0f);
                t[i] = static_cast<imtype>((t[i] & kVoxelFlagMask) | static_cast<int>(avg));
            }))
            return Cancelled();

        // Thresholding.
        progress_.Begin("Thresholding");
        const std::uint16_t threshold =
            FindSampleThreshold(t_, static_cast<std::uint64_t>(n_), def.strength, def.noisePresent);
        if (threshold == 0 || threshold == 0x8000) {
            Tell(prompt_, kBadProfile);
            return -1;
        }
        def.threshold = threshold;
        mask_ = GuardedBlock<std::uint8_t>::Take(n_);
        std::uint8_t* m = mask_.get();
#pragma omp parallel for num_threads(threads_) schedule(static)
        for (std::int64_t i = 0; i < n_; ++i) m[i] = (t[i] & kVoxelValueMask) > threshold ? 1 : 0;

        // Doing connectivity, Locating sample.
        const int r = KeepMajorComponents();
        if (r != 0) return r;

        if (!def.thresholdCheckOnly) {
            progress_.Begin("Filling holes");
            FillFaceHoles(m, g_, threads_);
            if (!FillEnclosedVoxels(m, g_, threads_, progress_, 0, 100)) return Cancelled();
            if (def.smoothing) {
                progress_.Begin("Smoothing surface");
                auto scratch = GuardedBlock<std::uint8_t>::Take(n_);
                if (!DilateMask(m, scratch.get(), g_, threads_, progress_, 0, 50)) return Cancelled();
                if (!ErodeMask(m, scratch.get(), g_, threads_, progress_, 50, 100)) return Cancelled();
            }
        }
        return 0;
    }

    // Labels the thresholded voxels and keeps the components larger than a tenth of the largest.
    int KeepMajorComponents() {
        progress_.Begin("Doing connectivity");
        auto labels = GuardedBlock<ullong>::Take(n_);
        const ullong count =
            ClusterSets::LabelPlanes(mask_.get(), labels.get(), g_.nx, g_.ny, g_.nz, 1, threads_);
        if (progress_.Report(100)) return Cancelled();
        progress_.Begin("Locating sample");
        if (count == 0) {
            // Nothing above the threshold: no sample to locate.
            Tell(prompt_, kBadProfile);
            return -1;
        }
        const std::vector<ullong> sizes = CountClusterSizes(labels.get(), n_, count, threads_);
        if (progress_.Report(60)) return Cancelled();
        ullong largest = 0;
        for (ullong l = 1; l <= count; ++l) largest = std::max(largest, sizes[l]);
        const ullong limit = largest / 10;
        std::vector<std::uint8_t> keep(count + 1, 0);
        for (ullong l = 1; l <= count; ++l) keep[l] = sizes[l] > limit;
        const ullong* lab = labels.get();
        std::uint8_t* m = mask_.get();
        const std::uint8_t* kp = keep.data();
        if (!progress_.Loop(n_, 60, 100, threads_, [&](std::int64_t i) { m[i] = kp[lab[i]]; }))
            return Cancelled();
        return 0;
    }

    imtype* t_;
    MaskGrid g_;
    std::int64_t n_;
    std::vector<const imtype*> sources_;
    BuildProgress progress_;
    Prompt* prompt_;
    int threads_;
    std::unique_ptr<std::uint8_t[], GuardedBlock<std::uint8_t>::Free> mask_;
};

}  // namespace

int BuildSampleBoundaryOnBlocks(imtype* target, int nx, int ny, int nz,
                                const std::vector<const imtype*>& sources, BoundDef& def,
                                ProgressSink* progress, Prompt* prompt, int threads) {
    if (sources.empty()) {
        Tell(prompt, kNoChannel);
        return -1;
    }
    const MaskGrid g{nx, ny, nz};
    const int t = ResolveThreadCount(threads);
    if (!def.voidOutside) {
        const std::int64_t n = g.Count();
#pragma omp parallel for num_threads(t) schedule(static)
        for (std::int64_t i = 0; i < n; ++i) target[i] |= kVoxelReadOnlyBit;
        return 0;
    }
    SampleBuild build(target, g, sources, progress, prompt, t);
    return build.Run(def);
}

int ZunChan::BuildSampleBoundary(ProgressSink* progress, ZunChan& target, BoundDef& def, Prompt* prompt,
                                 int threads) {
    if (def.channels.empty()) {
        Tell(prompt, kNoChannel);
        return -1;
    }
    const ZunImage* sample = target.parent && target.parent->type == ItemType::Sample
                                 ? static_cast<const ZunImage*>(target.parent)
                                 : nullptr;
    std::vector<const imtype*> sources;
    for (const std::string& name : def.channels) {
        const ZunChan* c = sample ? sample->FindChan(name) : nullptr;
        if (!c || c->GetDims() != target.GetDims()) {
            Tell(prompt, "Channel \"" + name + "\" does not exist.\nCannot generate sample-based boundary.");
            return -1;
        }
        sources.push_back(c->Data());
    }
    return BuildSampleBoundaryOnBlocks(target.Data(), target.nx, target.ny, target.nz, sources, def, progress,
                                       prompt, threads);
}

}  // namespace zun
