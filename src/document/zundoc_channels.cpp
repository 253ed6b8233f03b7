// Channel, slice and grid operations of the document, each announced to the views.

#include <algorithm>
#include <cmath>
#include <new>
#include <set>

#include "document/docmessages.h"
#include "document/gridplacement.h"
#include "document/zundoc.h"
#include "foundation/numformat.h"
#include "model/channelrules.h"
#include "platform/prompt.h"

namespace zun {

void CZunDoc::NoteDataChanged() {
    modified_ = true;
    sample_->modified = true;
    model_->GetParams().structureChanged = true;
}

int CZunDoc::InsertPositionFirst(int kind) const {
    // After the last channel of a lower kind; compositions never go before the first one.
    int pos = kind == ZunChan::kComposition ? std::min(1, sample_->GetChanCount()) : 0;
    for (int k = kind - 1; k >= 0; --k) {
        int last = sample_->LastChanOfKind(k);
        if (last >= 0) {
            pos = std::max(pos, last + 1);
            break;
        }
    }
    return pos;
}

int CZunDoc::InsertPositionLast(int kind) const {
    for (int k = kind; k >= 0; --k) {
        int last = sample_->LastChanOfKind(k);
        if (last >= 0) return last + 1;
    }
    return 0;
}

int CZunDoc::InsertChannel(int kind, int position, const std::string& name) {
    // The menus offer no insert then: nothing to tell.
    if (kind < 0 || kind > 3 || name.empty() || IsComputing()) return -3;
    std::string why;
    const int result = InsertChannelWhy(kind, position, name, why);
    if (!why.empty()) Tell(why, static_cast<int>(result == -2 ? PromptIcon::Error : PromptIcon::Warning));
    return result;
}

std::string CZunDoc::TryInsertChannel(int kind, int position, const std::string& name) {
    std::string why;
    InsertChannelWhy(kind, position, name, why);
    return why;
}

int CZunDoc::InsertChannelWhy(int kind, int position, const std::string& name, std::string& why) {
    // A bad kind or an empty name come from the program itself, never from the user.
    if (kind < 0 || kind > 3 || name.empty()) {
        why = "invalid channel kind or name";
        return -3;
    }
    if (IsComputing()) {
        why = docmsg::kBusyChange;
        return -3;
    }
    for (const std::string& refused :
         {CheckChannelName(name), CheckChannelCount(sample_->GetChanCount() + 1ULL)})
        if (!refused.empty()) {
            why = refused;
            return -3;
        }
    if (sample_->FindChanIndex(name) >= 0) {
        why = docmsg::ChannelExists(name);
        return -1;
    }
    try {
        if (sample_->InsertChan(kind, position, name, sample_->PickUnusedColour()) < 0) {
            why = "invalid channel position";
            return -1;
        }
    } catch (const std::bad_alloc&) {
        why = docmsg::InsufficientMemory("inserting a new data channel");
        return -2;
    }
    int index = sample_->FindChanIndex(name);
    int followed = -1;
    try {
        followed = model_->InsertChannel(index, name.c_str());
    } catch (const std::bad_alloc&) {
        // The parameter set's tables grow with the channel count.
    }
    if (followed != 0) {
        // The parameter set could not follow: the sample goes back to what it was.
        sample_->RemoveChan(name);
        why = docmsg::InsufficientMemory("inserting a new data channel");
        return -3;
    }
    NoteDataChanged();
    InsertChanMod hint(name, index > 0 ? sample_->GetChan(index - 1)->name : std::string());
    UpdateAllViews(nullptr, kHintStructure, &hint);
    return 0;
}

std::string CZunDoc::InsertChannels(const std::vector<NewChannel>& items) {
    if (IsComputing()) return docmsg::kBusyChange;
    if (std::string why = CheckChannelCount(sample_->GetChanCount() + items.size()); !why.empty()) return why;
    // Every named channel is checked before the first goes in, so that a refusal changes nothing.
    std::set<std::string> named;
    for (const NewChannel& c : items) {
        if (c.name.empty()) continue;
        if (std::string why = CheckChannelName(c.name); !why.empty()) return why + " (" + c.name + ")";
        if (sample_->FindChanIndex(c.name) >= 0 || !named.insert(c.name).second)
            return docmsg::ChannelExists(c.name);
    }
    std::vector<std::string> inserted;
    std::string failure;
    {
        Params::PlaneHold hold(model_->GetParams());
        for (std::size_t i = 0; i < items.size() && failure.empty(); ++i) {
            const std::int32_t kind = items[i].kind;
            const std::string name = items[i].name.empty() ? sample_->MakeChanName(kind) : items[i].name;
            failure =
                TryInsertChannel(kind, std::min(static_cast<int>(i) + 1, sample_->GetChanCount()), name);
            if (failure.empty())
                inserted.push_back(name);
            else
                failure += " (" + name + ")";
        }
        try {
            hold.Release();
        } catch (const std::bad_alloc&) {
            // The hold's end drops the planes; the next insertion builds them again.
            if (failure.empty()) ShowInsufficientMemoryError(services_.prompt, "inserting new data channels");
        }
    }
    // Memory ran out part way (the one failure the checks above cannot foresee): the channels of
    // this call go again, so that the document is as it was.
    if (!failure.empty()) DeleteChannels(inserted, true);
    return failure;
}

std::vector<std::string> CZunDoc::DeleteChannels(std::vector<std::string> names, bool quiet) {
    if (names.empty() || IsComputing()) return {};
    if (!quiet && !Ask(docmsg::kDeleteChannels)) return {};
    int first = sample_->FirstChanOfKind(ZunChan::kComposition);
    if (first >= 0) {
        const std::string& keep = sample_->GetChan(first)->name;
        if (std::find(names.begin(), names.end(), keep) != names.end()) {
            std::erase(names, keep);
            Tell(docmsg::kFirstCompositionKept, static_cast<int>(PromptIcon::Information));
        }
    }
    std::vector<std::string> deleted;
    for (const std::string& n : names) {
        const int index = sample_->FindChanIndex(n);
        if (index < 0) continue;
        model_->DeleteChannel(index);
        sample_->RemoveChan(n);
        deleted.push_back(n);
    }
    if (deleted.empty()) return deleted;
    NoteDataChanged();
    DeleteChanMod hint(deleted);
    UpdateAllViews(nullptr, kHintStructure, &hint);
    return deleted;
}

std::string CZunDoc::CheckRenameChannel(const std::string& oldName, const std::string& newName) const {
    if (sample_->FindChanIndex(oldName) < 0) return docmsg::NoSuchChannel(oldName);
    if (oldName == newName) return {};
    if (IsComputing()) return docmsg::kBusyChange;
    if (std::string why = CheckChannelName(newName); !why.empty()) return why;
    if (sample_->FindChanIndex(newName) >= 0) return docmsg::ChannelNameExists(newName);
    return {};
}

int CZunDoc::RenameChannel(const std::string& oldName, const std::string& newName) {
    if (oldName == newName) return 0;
    int i = sample_->FindChanIndex(oldName);
    if (i < 0 || IsComputing()) return -2;
    if (std::string why = CheckRenameChannel(oldName, newName); !why.empty()) {
        Tell(why, static_cast<int>(PromptIcon::Warning));
        return -1;
    }
    // The sample moves the active boundary's name along.
    sample_->RenameChan(newName, i);
    Params& p = model_->GetParams();
    const int kind = sample_->GetChan(i)->kind;
    if (kind == ZunChan::kXrayCt) {
        p.SetTomoChannelName(i - sample_->FirstChanOfKind(ZunChan::kXrayCt) + 1, newName);
    } else if (kind == ZunChan::kComposition && i < static_cast<int>(p.compositionNames.size())) {
        p.compositionNames[static_cast<std::size_t>(i)] = newName;
    }
    modified_ = true;
    RenameChanMod hint(oldName, newName);
    UpdateAllViews(nullptr, kHintRename, &hint);
    return 0;
}

std::string CZunDoc::GetChannelDisplayName(int index) const {
    if (!sample_->IsChanIndex(index)) return {};
    const ZunChan& c = *sample_->GetChan(index);
    if (c.kind == ZunChan::kProperty) return {};
    std::string label = c.GetLabel();
    if (c.kind == ZunChan::kXrayCt && !c.polychromatic) {
        const int number = index - sample_->FirstChanOfKind(ZunChan::kXrayCt) + 1;
        const std::vector<float>& e = model_->GetParams().ctBeamEnergy;
        if (number < static_cast<int>(e.size())) {
            const double energy = e[static_cast<std::size_t>(number)];
            label += "_" + FormatReal(-1, energy, "%g") + "keV";
        }
    }
    return label;
}

std::string CZunDoc::GetChannelDisplayName(const std::string& name) const {
    return GetChannelDisplayName(sample_->FindChanIndex(name));
}

void CZunDoc::SetBoundaryActive(bool enabled, const std::string& name) {
    if (IsComputing()) return;  // the worker reads the mask fields for the whole run
    sample_->SetActiveBoundary(name, enabled);
    ActiveBoundMod hint(name, sample_->boundaryMaskOn);
    UpdateAllViews(nullptr, kHintRename, &hint);
}

void CZunDoc::ClearBoundaries(const std::vector<std::string>& names) {
    if (IsComputing()) return;
    std::vector<std::string> cleared;
    for (const std::string& n : names) {
        ZunChan* c = sample_->FindChan(n);
        if (!c || c->kind != ZunChan::kBoundary || !c->Data()) continue;
        imtype* d = c->Data();
        const std::int64_t count = static_cast<std::int64_t>(c->GetNumVoxels());
        for (std::int64_t v = 0; v < count; ++v) d[v] &= static_cast<imtype>(~kVoxelValueMask);
        cleared.push_back(n);
    }
    BoundariesChanged(cleared);
}

int CZunDoc::TransformBoundaries(const std::vector<std::string>& names, const TransBoundParams& params) {
    if (IsComputing()) return -1;
    std::vector<ZunChan*> channels;
    std::vector<std::string> moved;
    for (const std::string& n : names) {
        ZunChan* c = sample_->FindChan(n);
        if (!c || c->kind != ZunChan::kBoundary) continue;
        channels.push_back(c);
        moved.push_back(n);
    }
    if (channels.empty()) return -1;
    transBoundParams = params;
    const int r =
        ZunChan::TransformBoundary(channels, params, services_.progress, propertyView_.ThreadCount());
    if (r != 0) return 1;
    BoundariesChanged(moved);
    return 0;
}

void CZunDoc::BoundariesChanged(const std::vector<std::string>& names) {
    if (names.empty()) return;
    for (const std::string& n : names)
        if (ZunChan* c = sample_->FindChan(n)) c->modified = true;
    NoteDataChanged();
    ChangeBoundMod hint(names);
    UpdateAllViews(nullptr, kHintData, &hint);
}

int CZunDoc::ResizeVolume(const std::array<std::uint32_t, 3>& sizes,
                          const std::array<std::int32_t, 3>& offsets) {
    if (IsComputing()) return -1;
    for (std::uint32_t s : sizes)
        if (s > static_cast<std::uint32_t>(INT32_MAX)) return -1;
    const Dims old = sample_->GetDims();
    std::array<std::uint32_t, 3> oldSizes{};
    for (std::size_t k = 0; k < 3 && k < old.size(); ++k)
        oldSizes[k] = static_cast<std::uint32_t>(std::max(old[k], 0));
    const int oldNz = old.size() > 2 ? old[2] : 0;
    Dims want{static_cast<int>(sizes[0]), static_cast<int>(sizes[1]), static_cast<int>(sizes[2])};
    // Whatever the caller asks, the slices inserted below stay within the new grid.
    const std::array<std::int32_t, 3> at = ClampGridOffsets(oldSizes, sizes, offsets);
    if (want == old && at == std::array<std::int32_t, 3>{}) return 0;
    // The sample takes the position of the new grid in the old one; the caller gives the position
    // of the old data in the new grid.
    Dims off{-at[0], -at[1], -at[2]};
    int r;
    try {
        r = sample_->Resize(want, off);
    } catch (const std::exception&) {
        // No exception leaves a document operation: a size no block can take is refused.
        r = -1;
    }
    if (r < 0) {
        ShowInsufficientMemoryError(services_.prompt, "resizing the sample grid");
        return -2;
    }
    model_->SetDimensions(GridSizeOf(*sample_));
    ApplyDefaultFractions();
    NoteDataChanged();
    // Planes before the old first plane come in at the start, the rest at the end.
    const int newNz = want[2];
    const int front = at[2];
    const int droppedInFront = std::min(std::max(-front, 0), oldNz);
    const int addedInFront = std::max(front, 0);
    if (addedInFront > 0) {
        InsertSliceMod hint(0, static_cast<std::uint32_t>(addedInFront));
        UpdateAllViews(nullptr, kHintStructure, &hint);
    } else if (droppedInFront > 0) {
        DeleteSliceMod hint(0, static_cast<std::uint32_t>(droppedInFront));
        UpdateAllViews(nullptr, kHintStructure, &hint);
    }
    const int kept = static_cast<int>(KeptAlongAxis(oldSizes[2], sizes[2], front).count);
    const int atEnd = addedInFront + kept;
    if (newNz > atEnd) {
        InsertSliceMod hint(static_cast<std::uint32_t>(atEnd), static_cast<std::uint32_t>(newNz - atEnd));
        UpdateAllViews(nullptr, kHintStructure, &hint);
    }
    const int removedAtEnd = oldNz - droppedInFront - kept;
    if (removedAtEnd > 0) {
        DeleteSliceMod hint(static_cast<std::uint32_t>(atEnd), static_cast<std::uint32_t>(removedAtEnd));
        UpdateAllViews(nullptr, kHintStructure, &hint);
    }
    StatsMod stats;
    UpdateAllViews(nullptr, kHintData, &stats);
    return 0;
}

int CZunDoc::ApplySampleGrid(const std::array<std::uint32_t, 3>& sizes,
                             const std::array<std::int32_t, 3>& offsets,
                             const std::array<double, 4>& physical, bool setDefaults) {
    if (IsComputing()) return -1;
    Params& p = model_->GetParams();
    p.setDefaultsForUndefinedVoxels = setDefaults;
    p.voxelPhysicalSize.resize(4, 1.0);
    bool moved = false;
    for (std::size_t j = 0; j < 4; ++j) {
        moved = moved || std::abs(p.voxelPhysicalSize[j] - physical[j]) > 1e-12;
        p.voxelPhysicalSize[j] = physical[j];
    }
    const int r = ResizeVolume(sizes, offsets);
    if (moved) modified_ = true;
    return r;
}

bool CZunDoc::CheckGridForImport() const {
    for (int d : sample_->GetDims())
        if (d <= 0) {
            Tell(docmsg::kInvalidGridForImport, static_cast<int>(PromptIcon::Warning));
            return false;
        }
    return true;
}

int CZunDoc::InsertSlices(int first, int count) {
    if (count <= 0 || first < 0 || first > sample_->GetSliceCount() || IsComputing()) return -1;
    int r;
    try {
        r = sample_->InsertSlices(first, count);
    } catch (const std::exception&) {
        r = -1;
    }
    if (r < 0) {
        ShowInsufficientMemoryError(services_.prompt, "inserting data slice(s)");
        return -2;
    }
    model_->SetDimensions(GridSizeOf(*sample_));
    NoteDataChanged();
    InsertSliceMod hint(static_cast<std::uint32_t>(first), static_cast<std::uint32_t>(count));
    UpdateAllViews(nullptr, kHintStructure, &hint);
    return 0;
}

std::vector<std::uint32_t> CZunDoc::DeleteSlices(std::vector<std::uint32_t> numbers) {
    const auto nz = static_cast<std::uint32_t>(sample_->GetSliceCount());
    std::erase_if(numbers, [&](std::uint32_t z) { return z >= nz; });
    if (numbers.empty() || IsComputing() || !Ask(docmsg::kDeleteSlices)) return {};
    std::sort(numbers.begin(), numbers.end(), std::greater<>());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    sample_->DeleteSlices(std::vector<int>(numbers.begin(), numbers.end()));
    model_->SetDimensions(GridSizeOf(*sample_));
    NoteDataChanged();
    DeleteSliceMod hint(numbers);
    UpdateAllViews(nullptr, kHintStructure, &hint);
    return numbers;
}

bool CZunDoc::ClearSlices(const std::vector<ChanSliceRecord>& records) {
    if (records.empty() || IsComputing() || !Ask(docmsg::kClearSlices)) return false;
    std::vector<ChanSliceRecord> done;
    for (const ChanSliceRecord& r : records) {
        ZunChan* c = sample_->FindChan(r.channel);
        if (!c || r.slice >= static_cast<std::uint32_t>(c->GetSliceCount())) continue;
        c->ClearSliceImport(static_cast<int>(r.slice));
        done.push_back(r);
    }
    if (done.empty()) return false;
    NoteDataChanged();
    ClearSliceMod hint(done);
    UpdateAllViews(nullptr, kHintData, &hint);
    return true;
}

bool CZunDoc::ReverseSlices(const std::vector<std::string>& names) {
    if (names.empty() || IsComputing() || !Ask(docmsg::kReverseSlices)) return false;
    bool any = false;
    for (const std::string& n : names) {
        ZunChan* c = sample_->FindChan(n);
        if (!c) continue;
        int r;
        try {
            // The plane buffer of the swap is a guarded block.
            r = c->ReverseZ();
        } catch (const std::bad_alloc&) {
            r = -1;
        }
        if (r < 0) {
            ShowInsufficientMemoryError(services_.prompt, "reversing data slices");
            return any;
        }
        any = true;
        NoteDataChanged();
        ReverseSliceMod hint(n, static_cast<std::uint32_t>(c->GetSliceCount()));
        UpdateAllViews(nullptr, kHintData, &hint);
    }
    return any;
}

bool CZunDoc::DiscardAllImportedImages() {
    if (!Ask(docmsg::kDiscardImages)) return false;
    std::vector<ChanSliceRecord> records;
    for (int i = 0; i < sample_->GetChanCount(); ++i) {
        ZunChan& c = *sample_->GetChan(i);
        for (int z = 0; z < c.GetSliceCount(); ++z) {
            Slice& s = *c.GetSlice(z);
            if (!s.image) continue;
            s.ReleaseImage();
            records.push_back({c.name, static_cast<std::uint32_t>(z)});
        }
    }
    if (records.empty()) return false;
    modified_ = true;
    ImportSliceMod hint(records, false);
    UpdateAllViews(nullptr, kHintRename, &hint);
    return true;
}

void CZunDoc::DiscardChannelImportedImages(const std::vector<std::string>& names) {
    std::vector<ChanSliceRecord> records;
    for (const std::string& n : names) {
        ZunChan* c = sample_->FindChan(n);
        if (!c) continue;
        for (int z = 0; z < c->GetSliceCount(); ++z) records.push_back({n, static_cast<std::uint32_t>(z)});
    }
    DiscardSliceImportedImages(records);
}

void CZunDoc::DiscardSliceImportedImages(const std::vector<ChanSliceRecord>& records) {
    std::vector<ChanSliceRecord> done;
    for (const ChanSliceRecord& r : records) {
        ZunChan* c = sample_->FindChan(r.channel);
        if (!c || r.slice >= static_cast<std::uint32_t>(c->GetSliceCount())) continue;
        Slice& s = *c->GetSlice(static_cast<int>(r.slice));
        if (!s.image) continue;
        s.ReleaseImage();
        done.push_back(r);
    }
    if (done.empty()) return;
    modified_ = true;
    ImportSliceMod hint(done, false);
    UpdateAllViews(nullptr, kHintRename, &hint);
}

}  // namespace zun
