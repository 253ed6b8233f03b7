// The "Set Data..." command: the request the dialog starts from, and carrying a request out.

#include <algorithm>
#include <cmath>

#include "document/docmessages.h"
#include "document/zundoc.h"
#include "model/voxelword.h"
#include "platform/prompt.h"

namespace zun {

namespace {

// The 14-bit word of a physical value on the channel's range.
imtype WordOfPhysical(const ZunChan& c, float physical) {
    imtype w = 0;
    VoxelWordFromPhysical(w, physical, c.range.at(1), c.range.at(0));
    return static_cast<imtype>(w & kVoxelValueMask);
}

// A slice is marked read-only only when every voxel of it now is: a part of a slice, or the
// voxels a condition picked, do not make the whole slice fixed.
void MarkWholeReadOnlySlices(ZunChan& c, int z0, int count) {
    const std::size_t plane =
        static_cast<std::size_t>(c.GetDims()[0]) * static_cast<std::size_t>(c.GetDims()[1]);
    for (int z = z0; z < z0 + count; ++z) {
        Slice& s = *c.GetSlice(z);
        if (s.imported) continue;
        const imtype* w = c.Data() + plane * static_cast<std::size_t>(z);
        if (!std::all_of(w, w + plane, [](imtype v) { return (v & kVoxelReadOnlyBit) != 0; })) continue;
        s.imported = true;
        if (c.importCounts.size() > 2) ++c.importCounts[2];
    }
}

// Whether writing the word's chosen parts into the box (only where the value lies in lo..hi when
// conditional) would change any voxel: an unchanged channel is not reported as changed.
bool BoxWouldChange(const ZunChan& c, const Dims& start, const Dims& extent, imtype word,
                    const WordParts& parts, bool conditional, imtype lo, imtype hi) {
    const imtype take =
        static_cast<imtype>((parts.value ? kVoxelValueMask : 0) | (parts.readOnly ? kVoxelReadOnlyBit : 0) |
                            (parts.error ? kVoxelErrorBit : 0));
    const imtype add = static_cast<imtype>(word & take);
    const std::size_t nx = static_cast<std::size_t>(c.GetDims()[0]),
                      ny = static_cast<std::size_t>(c.GetDims()[1]);
    for (int z = start[2]; z < start[2] + extent[2]; ++z)
        for (int y = start[1]; y < start[1] + extent[1]; ++y) {
            const imtype* p =
                c.Data() + (static_cast<std::size_t>(z) * ny + static_cast<std::size_t>(y)) * nx;
            for (int x = start[0]; x < start[0] + extent[0]; ++x) {
                const imtype v = p[x] & kVoxelValueMask;
                if (conditional && (v < lo || v > hi)) continue;
                if ((p[x] & take) != add) return true;
            }
        }
    return false;
}

imtype RawOf(float v) {
    return static_cast<imtype>(std::clamp(static_cast<int>(v), 0, 16383));
}

}  // namespace

bool CZunDoc::PrepareSetData(const std::vector<std::string>& names, SetDataRequest& request) const {
    if (sample_->GetNumVoxels() == 0) {
        Tell(docmsg::kZeroVolumeSetData, static_cast<int>(PromptIcon::Information));
        return false;
    }
    request = SetDataRequest();
    request.channels = names;
    request.caption =
        names.size() == 1 ? "Channel '" + names[0] + "' Set Data" : "Multiple Channels Set Data";
    const Dims& d = sample_->GetDims();
    request.ranges = {static_cast<std::uint32_t>(d[0]), static_cast<std::uint32_t>(d[1]),
                      static_cast<std::uint32_t>(d[2])};
    bool first = true;
    for (const std::string& n : names) {
        const ZunChan* c = sample_->FindChan(n);
        if (!c) continue;
        request.boundarySelected = request.boundarySelected || c->kind == ZunChan::kBoundary;
        if (c->range.size() != 2) continue;
        if (first) {
            request.minimum = c->range[0];
            request.maximum = c->range[1];
            first = false;
        } else if (c->range[0] != request.minimum || c->range[1] != request.maximum) {
            request.physicalAvailable = false;
        }
    }
    return true;
}

bool CZunDoc::ApplySetData(const SetDataRequest& r) {
    if (IsComputing()) return false;
    const Dims& g = sample_->GetDims();
    Dims start(3), extent(3);
    for (int j = 0; j < 3; ++j) {
        if (r.offsets[j] >= static_cast<std::uint32_t>(g[j])) return false;  // the box lies outside
        start[j] = static_cast<int>(r.offsets[j]);
        const std::uint32_t rest = static_cast<std::uint32_t>(g[j]) - r.offsets[j];
        extent[j] = static_cast<int>(r.ranges[j] == 0 ? rest : std::min(r.ranges[j], rest));
    }
    const WordParts parts{r.applyData, r.applyReadOnly, r.applyError};
    std::vector<ZunChan*> edited;
    std::vector<ChanSliceRecord> marked;
    for (const std::string& name : r.channels) {
        ZunChan* c = sample_->FindChan(name);
        if (!c || c->range.size() != 2) continue;
        float value = r.value;
        if (c->kind == ZunChan::kBoundary) value = value > 0 ? 1.0f : 0.0f;
        auto physical = [&](float v) {
            return r.format == SetDataRequest::kNormalised ? c->range[0] + (c->range[1] - c->range[0]) * v
                                                           : v;
        };
        auto word = [&](float v) {
            return r.format == SetDataRequest::kRaw ? RawOf(v) : WordOfPhysical(*c, physical(v));
        };
        auto composed = [&](imtype v) {
            return static_cast<imtype>((r.readOnly ? kVoxelReadOnlyBit : 0) | (r.error ? kVoxelErrorBit : 0) |
                                       (v & kVoxelValueMask));
        };
        std::vector<bool> before;
        for (int z = start[2]; z < start[2] + extent[2]; ++z) before.push_back(c->GetSlice(z)->imported);
        bool changed;
        const bool clearMarks = r.applyReadOnly && !r.readOnly;
        if (!r.conditional) {
            changed = BoxWouldChange(*c, start, extent, composed(word(value)), parts, false, 0, 0);
            c->SetBlockWord(start, extent, word(value), r.readOnly, r.error, parts, clearMarks);
        } else {
            imtype lo, hi;
            if (r.format == SetDataRequest::kRaw) {
                lo = RawOf(std::trunc(r.from + 0.5f));
                hi = RawOf(std::trunc(r.to + 0.5f));
            } else {
                lo = word(r.from);
                hi = word(r.to);
            }
            changed = BoxWouldChange(*c, start, extent, composed(word(value)), parts, true, lo, hi);
            c->SetBlockWordMasked(start, extent, lo, hi, word(value), r.readOnly, r.error, parts, clearMarks);
        }
        if (r.applyReadOnly && r.readOnly) MarkWholeReadOnlySlices(*c, start[2], extent[2]);
        for (int k = 0; k < extent[2]; ++k)
            if (c->GetSlice(start[2] + k)->imported != before[static_cast<std::size_t>(k)]) {
                marked.push_back({name, static_cast<std::uint32_t>(start[2] + k)});
                changed = true;
            }
        if (changed) edited.push_back(c);
    }
    if (edited.empty()) return false;
    NoteVoxelsEdited(edited);
    if (r.applyReadOnly) {
        if (r.readOnly) {
            ImportSliceMod hint(marked, false);
            UpdateAllViews(nullptr, kHintRename, &hint);
        } else {
            ClearSliceMod hint(marked);
            UpdateAllViews(nullptr, kHintRename, &hint);
        }
    }
    StatsMod stats;
    UpdateAllViews(nullptr, kHintData, &stats);
    return true;
}

void CZunDoc::NoteVoxelsEdited(const std::vector<ZunChan*>& channels) {
    bool computeChannels = false;
    for (ZunChan* c : channels) {
        c->modified = true;
        computeChannels = computeChannels || c->kind == ZunChan::kComposition || c->kind == ZunChan::kXrayCt;
    }
    if (computeChannels) {
        allVoxelsRO = sample_->AllVoxelsRO();
        model_->GetParams().MarkAllStepsChanged();
        model_->GetParams().structureChanged = true;
    }
    modified_ = true;
    sample_->modified = true;
}

}  // namespace zun
