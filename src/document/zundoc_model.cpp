// Document commands that derive voxel data from the model: default fractions for undefined
// voxels, the grid fitted to the imported images, and the residual of the computed model.

#include <algorithm>
#include <cmath>
#include <limits>

#include "document/docmessages.h"
#include "document/zundoc.h"
#include "model/rulelist.h"
#include "model/voxelword.h"
#include "platform/prompt.h"

namespace zun {

std::vector<imtype> CZunDoc::DefaultFractionWords() const {
    const Params& p = model_->GetParams();
    const int n = p.compositionCount + 1;
    if (static_cast<int>(p.defaultVolumeFractions.size()) != n) return {};
    std::vector<imtype> w(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        w[static_cast<std::size_t>(i)] = static_cast<imtype>(std::clamp(
            std::lround(p.defaultVolumeFractions[static_cast<std::size_t>(i)] * 16383.0), 0L, 16383L));
    // The rounding residue is spread so that the words sum to one.
    std::vector<std::uint16_t*> ptr(w.size());
    for (std::size_t i = 0; i < w.size(); ++i) ptr[i] = &w[i];
    int fixedSum = 0, freeSum = 0, fixedCount = 0, freeCount = 0, parallelSum = 0;
    SumVoxelFractions(ptr.data(), n - 1, nullptr, fixedCount, fixedSum, freeCount, freeSum, parallelSum);
    NormalizeVoxelFractions(ptr.data(), n - 1, 16383, fixedSum, freeSum, fixedCount, freeCount);
    // The normalisation fixes a lone free composition (a voxel's only unknown is then known), but
    // a default is a starting guess, never a known value: read-only defaults would keep every
    // composition added later out of those voxels for good.
    for (imtype& word : w) word &= kVoxelValueMask;
    return w;
}

void CZunDoc::ApplyDefaultFractions() {
    if (!model_->GetParams().setDefaultsForUndefinedVoxels) return;
    const std::vector<imtype> w = DefaultFractionWords();
    const int n = static_cast<int>(w.size());
    if (n == 0 || sample_->CountChansOfKind(ZunChan::kComposition) != n) return;
    std::vector<imtype*> comp(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) comp[static_cast<std::size_t>(i)] = sample_->GetChan(i)->Data();
    const auto voxels = static_cast<std::int64_t>(sample_->GetNumVoxels());
    const int threads = propertyView_.ThreadCount();
#pragma omp parallel for num_threads(threads) schedule(static)
    for (std::int64_t v = 0; v < voxels; ++v) {
        bool undefined = true;
        for (int i = 0; i < n && undefined; ++i) undefined = comp[static_cast<std::size_t>(i)][v] == 0;
        if (!undefined) continue;
        for (int i = 0; i < n; ++i) comp[static_cast<std::size_t>(i)][v] = w[static_cast<std::size_t>(i)];
    }
}

bool CZunDoc::AutosizeGrid() {
    std::array<std::int32_t, 3> min{}, extent{};
    sample_->GetImportedExtent(min, extent);
    if (extent[0] <= 0 || extent[1] <= 0 || extent[2] <= 0) return false;
    if (!Ask(docmsg::kAutosizeGrid)) return false;
    return ResizeVolume({static_cast<std::uint32_t>(extent[0]), static_cast<std::uint32_t>(extent[1]),
                         static_cast<std::uint32_t>(extent[2])},
                        {-min[0], -min[1], -min[2]}) == 0;
}

int CZunDoc::SubtractModelData() {
    if (IsComputing()) return -1;
    const Params& p = model_->GetParams();
    const int firstCt = sample_->FirstChanOfKind(ZunChan::kXrayCt);
    const int n = p.compositionCount + 1;
    if (firstCt < 0 || sample_->CountChansOfKind(ZunChan::kComposition) != n) return -1;
    const int cts = sample_->CountChansOfKind(ZunChan::kXrayCt);
    const auto voxels = static_cast<std::int64_t>(sample_->GetNumVoxels());
    const int threads = propertyView_.ThreadCount();
    int made = 0;
    for (int j = 0; j < cts; ++j) {
        const std::string ctName = sample_->GetChan(firstCt + j)->name;
        // An existing property channel of that name takes the new residual; a channel of another
        // kind (the user's measured data, say) is never overwritten: the residual gets a free name.
        std::string name = ctName + "_residual";
        for (int k = 2; sample_->FindChan(name) && sample_->FindChan(name)->kind != ZunChan::kProperty; ++k)
            name = ctName + "_residual_" + std::to_string(k);
        if (!sample_->FindChan(name) &&
            InsertChannel(ZunChan::kProperty, InsertPositionLast(ZunChan::kProperty), name) != 0)
            return made;
        // Channel pointers only now: the insertion may have moved the list.
        const ZunChan& ct = *sample_->FindChan(ctName);
        ZunChan& out = *sample_->FindChan(name);
        std::vector<const imtype*> comp(static_cast<std::size_t>(n));
        std::vector<float> a(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            comp[static_cast<std::size_t>(i)] = sample_->GetChan(i)->Data();
            a[static_cast<std::size_t>(i)] = p.lacMatrix[p.MatrixIndex(j + 1, i)];
        }
        const float lo = ct.range[0], hi = ct.range[1];
        const imtype* mu = ct.Data();
        // Two passes (range, then words) instead of a float copy of the volume: no memory beyond
        // the new channel is needed, however large the grid.
        auto residualAt = [&](std::int64_t v) {
            float model = 0;
            for (int i = 0; i < n; ++i)
                model += NormalisedVoxelValue(comp[static_cast<std::size_t>(i)][v]) *
                         a[static_cast<std::size_t>(i)];
            return PhysicalVoxelValue(mu[v], lo, hi) - model;
        };
        float rmin = std::numeric_limits<float>::max(), rmax = std::numeric_limits<float>::lowest();
#pragma omp parallel for num_threads(threads) schedule(static) reduction(min : rmin) reduction(max : rmax)
        for (std::int64_t v = 0; v < voxels; ++v) {
            const float r = residualAt(v);
            rmin = std::min(rmin, r);
            rmax = std::max(rmax, r);
        }
        if (!(rmax > rmin)) rmax = rmin + 1.0f;
        out.range = {rmin, rmax};
        imtype* w = out.Data();
#pragma omp parallel for num_threads(threads) schedule(static)
        for (std::int64_t v = 0; v < voxels; ++v) {
            imtype word = 0;
            VoxelWordFromPhysical(word, residualAt(v), rmax, rmin);
            w[v] = static_cast<imtype>(word & kVoxelValueMask);
        }
        out.modified = true;
        ++made;
    }
    modified_ = true;
    StatsMod stats;
    UpdateAllViews(nullptr, kHintData, &stats);
    return made;
}

}  // namespace zun
