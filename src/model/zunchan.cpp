#include "model/zunchan.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace zun {

const ClassInfo ZunChan::classInfo{"ZunChan", 0, true, &MakeSerializable<ZunChan>,
                                   &Chan3d<imtype>::classInfo};
const ClassInfo Bound::classInfo{"Bound", 0, true, &MakeSerializable<Bound>, &ZunChan::classInfo};

ZunChan::ZunChan() : ImageItem(ItemType::Channel) {
    modified = false;
}

ZunChan::ZunChan(VoxelAllocator* allocator, ImageItem* parentItem, const Dims& dims, const std::string& name,
                 std::int32_t kind, std::int32_t colour, float max, float min)
    : Chan3d<imtype>(allocator, dims),
      ImageItem(ItemType::Channel),
      name(name),
      kind(kind),
      range{min, max},
      importCounts{0, 0, 0},
      colours{colour, 0x0080FF, 0x8000FF},
      autoAttenuation(kind == kXrayCt) {
    parent = parentItem;
    if (kind == kXrayCt) {
        DeviceFilter* source = filters.AddDeviceFilter("Source", true);
        source->table = {{0.0f, 1.0f}, {10.0f, 1.0f}};
        filters.AddDeviceFilter("Detector", false);
        filters.AddMaterialFilter("Beam Hardening", false, 0.1f, 0.0f, 100.0f, 0.1f);
    }
    filters.maxStep = 0.1f;
    combined.filters.maxStep = 0.1f;
    InsertSlices(0, nz);
}

ZunChan::~ZunChan() = default;

std::string ZunChan::GetLabel() const {
    switch (kind) {
        case kComposition:
            return compound.GetFormula();
        case kXrayCt: {
            std::string label = dataType == 0 ? "LAC_" : "LPC_";
            if (!polychromatic) return label + "mono";
            label += "poly";
            std::string code;
            bool other = false;
            for (const auto& f : filters.filters) {
                if (!f->enabled) continue;
                if (f->name == "Source")
                    code += "s";
                else if (f->name == "Detector")
                    code += "d";
                else if (f->name == "Beam Hardening")
                    code += "b";
                else
                    other = true;
            }
            if (other) code += "u";
            return code.empty() ? label : label + "_" + code;
        }
        case kProperty:
            return std::string();
        default:
            return "bound";
    }
}

void ZunChan::RelinkSlices() {
    children.clear();
    for (std::size_t i = 0; i < slices.size(); ++i) {
        Slice& s = *slices[i];
        s.parent = this;
        s.owner = this;
        s.index = static_cast<std::int32_t>(i);
        children.push_back(&s);
    }
}

int ZunChan::InsertSlices(int position, int count) {
    if (count <= 0) return GetSliceCount();
    position = std::clamp(position, 0, GetSliceCount());
    std::vector<std::unique_ptr<Slice>> fresh;
    fresh.reserve(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) fresh.push_back(std::make_unique<Slice>());
    slices.insert(slices.begin() + position, std::make_move_iterator(fresh.begin()),
                  std::make_move_iterator(fresh.end()));
    // Every later slice moves down too: renumber them all.
    RelinkSlices();
    modified = true;
    return GetSliceCount();
}

int ZunChan::DeleteSliceObjects(int position, int count) {
    position = std::clamp(position, 0, GetSliceCount());
    count = std::clamp(count, 0, GetSliceCount() - position);
    if (count == 0) return GetSliceCount();
    for (int k = position; k < position + count; ++k)
        if (slices[static_cast<std::size_t>(k)]->ClearImport() && importCounts.size() > 2) --importCounts[2];
    slices.erase(slices.begin() + position, slices.begin() + position + count);
    RelinkSlices();
    modified = true;
    return GetSliceCount();
}

int ZunChan::InsertVoxelSlices(int position, int count) {
    if (count <= 0) return 0;
    position = std::clamp(position, 0, nz);
    std::unique_ptr<Chan<imtype>> grown;
    try {
        grown = std::make_unique<Chan<imtype>>(EnsureAllocator(), Dims{nx, ny, nz + count});
    } catch (const std::bad_alloc&) {
        return -1;
    }
    const std::uint64_t plane = static_cast<std::uint64_t>(nx) * static_cast<std::uint64_t>(ny);
    if (data) {
        std::memcpy(grown->Data(), data, plane * static_cast<std::uint64_t>(position) * sizeof(imtype));
        std::memcpy(grown->Data() + plane * static_cast<std::uint64_t>(position + count),
                    data + plane * static_cast<std::uint64_t>(position),
                    plane * static_cast<std::uint64_t>(nz - position) * sizeof(imtype));
    }
    SwapBlock(*grown);
    UpdateDims();
    return 1;
}

int ZunChan::RemoveVoxelSlices(int position, int count) {
    position = std::clamp(position, 0, nz);
    count = std::clamp(count, 0, nz - position);
    if (count == 0) return 0;
    // Shrinking works in place, so it can never be refused half way through a sample.
    const std::uint64_t plane = static_cast<std::uint64_t>(nx) * static_cast<std::uint64_t>(ny);
    std::memmove(data + plane * static_cast<std::uint64_t>(position),
                 data + plane * static_cast<std::uint64_t>(position + count),
                 plane * static_cast<std::uint64_t>(nz - position - count) * sizeof(imtype));
    dims[2] = nz - count;
    data[GetNumVoxels()] = 0;
    UpdateDims();
    return 1;
}

void ZunChan::SetSliceMarkers(const Dims& start, const Dims& extent, bool ro) {
    const int z0 = start.size() > 2 ? start[2] : 0;
    const int ez = extent.size() > 2 && extent[2] > 0 ? extent[2] : nz - z0;
    const int z1 = static_cast<int>(std::min<std::int64_t>(std::int64_t{z0} + ez, GetSliceCount()));
    for (int z = std::max(z0, 0); z < z1; ++z) {
        Slice& s = *slices[static_cast<std::size_t>(z)];
        if (s.imported == ro) continue;
        s.imported = ro;
        if (importCounts.size() > 2) importCounts[2] += ro ? 1 : -1;
    }
}

int ZunChan::SetBlockWord(const Dims& start, const Dims& extent, imtype value, bool ro, bool err,
                          const WordParts& parts, bool updateSliceMarkers) {
    const imtype word = static_cast<imtype>((ro ? kVoxelReadOnlyBit : 0) | (err ? kVoxelErrorBit : 0) |
                                            (value & kVoxelValueMask));
    const int r = SetBlockValue(extent, start, word, parts.value, parts.readOnly, parts.error);
    if (r > 0 && updateSliceMarkers) SetSliceMarkers(start, extent, ro);
    return r;
}

int ZunChan::SetBlockWordMasked(const Dims& start, const Dims& extent, imtype from, imtype to, imtype value,
                                bool ro, bool err, const WordParts& parts, bool updateSliceMarkers) {
    const imtype word = static_cast<imtype>((ro ? kVoxelReadOnlyBit : 0) | (err ? kVoxelErrorBit : 0) |
                                            (value & kVoxelValueMask));
    const BlockSelection sel{from, to, parts.value, parts.readOnly, parts.error};
    const int r = SetBlockValueMasked(extent, start, word, sel);
    if (r > 0 && updateSliceMarkers) SetSliceMarkers(start, extent, ro);
    return r;
}

bool ZunChan::GetImportedExtent(std::array<std::int32_t, 3>& min, std::array<std::int32_t, 3>& max) const {
    min = {INT_MAX, INT_MAX, INT_MAX};
    max = {INT_MIN, INT_MIN, INT_MIN};
    bool any = false;
    for (int z = 0; z < GetSliceCount(); ++z) {
        std::array<std::int32_t, 4> r{};
        if (!slices[static_cast<std::size_t>(z)]->GetImportedRect(r)) continue;
        min[0] = std::min(min[0], r[0]);
        min[1] = std::min(min[1], r[1]);
        max[0] = std::max(max[0], r[2]);
        max[1] = std::max(max[1], r[3]);
        if (!any) min[2] = z;
        max[2] = z + 1;
        any = true;
    }
    return any;
}

void ZunChan::Clear() {
    Chan<imtype>::Clear();
    for (auto& s : slices) s->ClearImport();
    importCounts = {0, 0, 0};
}

int ZunChan::ReverseZ() {
    const int r = Chan3d<imtype>::ReverseZ();
    if (r > 0) {
        std::reverse(slices.begin(), slices.end());
        RelinkSlices();
        modified = true;
    }
    return r;
}

int ZunChan::ResizeKeep(const Dims& newDims, const Dims& offsets, Chan<imtype>* scratch) {
    const int r = Chan3d<imtype>::ResizeKeep(newDims, offsets, scratch);
    if (r >= 0) UpdateDims();
    if (r != 1) return r;
    auto offset = [&](std::size_t j) { return j < offsets.size() ? offsets[j] : 0; };
    const int oz = offset(2);
    if (oz > 0) DeleteSliceObjects(0, oz);
    if (oz < 0) InsertSlices(0, -oz);
    const int want = newDims.size() > 2 ? newDims[2] : 1;
    if (GetSliceCount() > want) DeleteSliceObjects(want, GetSliceCount() - want);
    if (GetSliceCount() < want) InsertSlices(GetSliceCount(), want - GetSliceCount());
    for (int z = 0; z < GetSliceCount(); ++z) {
        Slice& s = *slices[static_cast<std::size_t>(z)];
        if (!s.import) continue;
        for (std::size_t j = 0; j < 2; ++j) {
            std::int32_t& p = s.import->position[j];
            if (p == ImportInfo::kUnset || p == ImportInfo::kMixed) continue;
            p = static_cast<std::int32_t>(
                std::clamp<std::int64_t>(std::int64_t{p} - offset(j), INT32_MIN + 1, ImportInfo::kMixed - 1));
        }
        s.modified = true;
        PlaceSliceImage(z);
    }
    return r;
}

void ZunChan::ClearSlicePlane(int i) {
    if (!data || i < 0 || i >= nz) return;
    const std::uint64_t plane = static_cast<std::uint64_t>(nx) * static_cast<std::uint64_t>(ny);
    std::memset(data + plane * static_cast<std::uint64_t>(i), 0, plane * sizeof(imtype));
}

int ZunChan::ClearSliceImport(int i) {
    if (i < 0 || i >= GetSliceCount()) return 1;
    if (slices[static_cast<std::size_t>(i)]->ClearImport() && importCounts.size() > 2) --importCounts[2];
    ClearSlicePlane(i);
    modified = true;
    return 1;
}

void ZunChan::PlaceSliceImage(int i) {
    if (i < 0 || i >= GetSliceCount()) return;
    Slice& s = *slices[static_cast<std::size_t>(i)];
    if (!s.image || s.image->GetNumChannels() < 1) return;
    ClearSlicePlane(i);
    if (!s.import) return;
    const ImportInfo& r = *s.import;
    Dims extent(3, 1), target(3, 0), source(2, 0);
    target[2] = i;
    for (std::size_t j = 0; j < 2; ++j) {
        const std::int64_t range = r.cropRange[j], pos = r.position[j], off = r.cropOffset[j];
        // Unset or mixed entries describe no window: nothing to place.
        if (range >= ImportInfo::kMixed || pos >= ImportInfo::kMixed || off >= ImportInfo::kMixed) return;
        std::int64_t e, src, dst;
        if (pos < 0) {
            e = std::max<std::int64_t>(range + pos, 0);
            src = off - pos;
            dst = 0;
        } else {
            e = range;
            src = off;
            dst = pos;
        }
        if (e <= 0 || src < 0 || src > INT_MAX || dst > INT_MAX) return;
        extent[j] = static_cast<int>(std::min<std::int64_t>(e, INT_MAX));
        source[j] = static_cast<int>(src);
        target[j] = static_cast<int>(dst);
    }
    CopyBlock(*this, *s.image->GetChannel(0), extent, target, source);
}

void ZunChan::LogImportEvent(const std::string& text, bool removeOld) {
    if (removeOld) {
        static const std::string start = "<Start file import event", end = "<End file import event>\n";
        for (std::size_t b; (b = note.find(start)) != std::string::npos;) {
            const std::size_t e = note.find(end, b);
            note.erase(b, e == std::string::npos ? start.size() : e + end.size() - b);
        }
    }
    if (!note.empty() && note.back() != '\n') note += "\n";
    const std::string noKey;
    LogText::AppendSection(&text, note, &noKey);
}

}  // namespace zun
