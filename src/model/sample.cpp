#include "model/sample.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "model/channelrules.h"
#include "model/label.h"

namespace zun {
namespace {

constexpr std::uint32_t kActiveBoundaryFrom = 493;

const char* NamePrefix(std::int32_t kind) {
    switch (kind) {
        case ZunChan::kComposition:
            return "comp_";
        case ZunChan::kXrayCt:
            return "ct_";
        case ZunChan::kProperty:
            return "prop_";
        default:
            return "bound_";
    }
}

// Rank of a kind in the channel order: compositions, CT data, properties, boundaries.
int KindRank(std::int32_t kind) {
    return std::clamp(kind, 0, 3);
}

}  // namespace

const ClassInfo ZunImage::classInfo{"ZunImage", 0, true, &MakeSerializable<ZunImage>,
                                    &Image3d<imtype>::classInfo};

ZunImage::ZunImage(bool keepData) : Image3d<imtype>(keepData), ImageItem(ItemType::Sample) {}

ZunImage::~ZunImage() {
    children.clear();
    channels.clear();
}

bool ZunImage::VoxelIndexValid(std::int64_t index) const {
    return index >= 0 && static_cast<std::uint64_t>(index) < GetNumVoxels();
}

float ZunImage::GetChanPhysicalValue(int i, int x, int y, int z) const {
    if (!IsChanIndex(i) || x < 0 || y < 0 || z < 0 || x >= nx || y >= ny || z >= nz) return 0.0f;
    const ZunChan& c = *GetChan(i);
    const imtype w = c.Data()[(static_cast<std::uint64_t>(z) * ny + y) * nx + x];
    return c.range.size() == 2 ? PhysicalVoxelValue(w, c.range[0], c.range[1]) : 0.0f;
}

float ZunImage::GetChanNormValue(int i, std::int64_t index) const {
    if (!IsChanIndex(i) || !VoxelIndexValid(index)) return 0.0f;
    return NormalisedVoxelValue(GetChan(i)->Data()[index]);
}

int ZunImage::SetChanNormValue(int i, std::int64_t index, float f) {
    if (!IsChanIndex(i) || !VoxelIndexValid(index)) return 1;
    imtype& w = GetChan(i)->Data()[index];
    w = WordWithNormalisedValue(w, f);
    return 0;
}

int ZunImage::SetChanRawWord(int i, std::int64_t index, int word) {
    if (!IsChanIndex(i) || !VoxelIndexValid(index)) return 1;
    GetChan(i)->Data()[index] = static_cast<imtype>(std::clamp(word, 0, 65535));
    return 0;
}

void ZunImage::RelinkChannels() {
    children.clear();
    for (int i = 0; i < GetNumChannels(); ++i) {
        ZunChan* c = GetChan(i);
        c->parent = this;
        children.push_back(c);
    }
}

int ZunImage::InsertChan(std::int32_t kind, int position, const std::string& name, std::int32_t colour) {
    if (FindChanIndex(name) >= 0) return -2;
    std::unique_ptr<ZunChan> c;
    if (kind == ZunChan::kBoundary) {
        c = std::make_unique<Bound>(&allocator, this, dims, name, colour, 1.0f, 0.0f);
        c->Clear();
    } else {
        c = std::make_unique<ZunChan>(&allocator, this, dims, name, kind, colour, 1.0f, 0.0f);
    }
    // Keep channels of one kind together and the kinds in their order.
    const int count = GetNumChannels();
    int lo = 0, hi = count;
    for (int j = 0; j < count; ++j) {
        const int r = KindRank(GetChan(j)->kind);
        if (r < KindRank(kind)) lo = j + 1;
        if (r > KindRank(kind) && hi == count) hi = j;
    }
    position = lo <= hi ? std::clamp(position, lo, hi) : std::clamp(position, 0, count);
    channels.insert(channels.begin() + position, std::move(c));
    RelinkChannels();
    modified = true;
    nameSet.insert(name);
    ChannelsChanged();
    UpdateActiveBoundary();
    return GetNumChannels();
}

void ZunImage::RemoveChan(const std::string& name) {
    const int i = FindChanIndex(name);
    if (i < 0) return;
    if (name == activeBoundaryName) {
        activeBoundaryName.clear();
        boundaryMaskOn = false;
        boundaryMaskWord = 0;
    }
    modified = true;
    nameSet.erase(name);
    RemoveChannel(i);
    RelinkChannels();
    UpdateActiveBoundary();
}

int ZunImage::RenameChan(const std::string& newName, int i) {
    if (!IsChanIndex(i)) return -1;
    ZunChan& c = *GetChan(i);
    if (c.name == newName) return 0;
    if (FindChanIndex(newName) >= 0) return -1;
    nameSet.erase(c.name);
    nameSet.insert(newName);
    if (c.name == activeBoundaryName) activeBoundaryName = newName;
    c.name = newName;
    UpdateActiveBoundary();
    return 0;
}

ZunChan* ZunImage::FindChan(const std::string& name) const {
    const int i = FindChanIndex(name);
    return i < 0 ? nullptr : GetChan(i);
}

int ZunImage::FindChanIndex(const std::string& name) const {
    for (int i = 0; i < GetNumChannels(); ++i)
        if (GetChan(i)->name == name) return i;
    return -1;
}

std::vector<std::string> ZunImage::GetChanNames() const {
    std::vector<std::string> names;
    for (int i = 0; i < GetNumChannels(); ++i) names.push_back(GetChan(i)->name);
    return names;
}

const std::string& ZunImage::GetChanNameCStr(int i) const {
    static const std::string none;
    return IsChanIndex(i) ? GetChan(i)->name : none;
}

std::string ZunImage::MakeChanName(std::int32_t kind) const {
    const std::string prefix = NamePrefix(kind);
    std::uint32_t largest = 0;
    for (int i = 0; i < GetNumChannels(); ++i) {
        const std::string& n = GetChan(i)->name;
        if (n.compare(0, prefix.size(), prefix) != 0) continue;
        const char* p = n.c_str() + prefix.size();
        while (*p == ' ' || *p == '\t') ++p;
        char* end = nullptr;
        const long long v = std::strtoll(p, &end, 10);
        if (end == p) continue;
        const auto number =
            static_cast<std::uint32_t>(static_cast<std::int32_t>(std::clamp<long long>(v, INT_MIN, INT_MAX)));
        largest = std::max(largest, number);
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "%u", largest + 1u);
    return prefix + buf;
}

int ZunImage::CountChansOfKind(std::int32_t kind) const {
    int n = 0;
    for (int i = 0; i < GetNumChannels(); ++i) n += GetChan(i)->kind == kind;
    return n;
}

int ZunImage::FirstChanOfKind(std::int32_t kind) const {
    for (int i = 0; i < GetNumChannels(); ++i)
        if (GetChan(i)->kind == kind) return i;
    return -1;
}

int ZunImage::LastChanOfKind(std::int32_t kind) const {
    for (int i = GetNumChannels() - 1; i >= 0; --i)
        if (GetChan(i)->kind == kind) return i;
    return -1;
}

std::string ZunImage::GetChanLabel(int i) const {
    return IsChanIndex(i) ? GetChan(i)->GetLabel() : std::string();
}

std::int32_t ZunImage::PickUnusedColour() const {
    for (ColourRef c : PlotSeriesPalette()) {
        bool used = false;
        for (int i = 0; i < GetNumChannels() && !used; ++i) {
            const auto& cs = GetChan(i)->colours;
            used = std::find(cs.begin(), cs.end(), static_cast<std::int32_t>(c)) != cs.end();
        }
        if (!used) return static_cast<std::int32_t>(c);
    }
    return 0xFFFFFF;
}

void ZunImage::SetActiveBoundary(const std::string& name, bool maskOn) {
    activeBoundaryName = name;
    boundaryMaskOn = maskOn;
    UpdateActiveBoundary();
}

void ZunImage::UpdateActiveBoundary() {
    const int i = activeBoundaryName.empty() ? -1 : FindChanIndex(activeBoundaryName);
    activeBoundaryIndex = i >= 0 && GetChan(i)->kind == ZunChan::kBoundary ? i : -1;
    if (activeBoundaryIndex < 0) boundaryMaskOn = false;
    boundaryMaskWord = boundaryMaskOn ? kBoundaryInside : 0;
}

bool ZunImage::AllVoxelsRO() const {
    for (int i = 0; i < GetNumChannels(); ++i) {
        const ZunChan& c = *GetChan(i);
        if (c.kind == ZunChan::kBoundary) return false;
        const imtype* d = c.Data();
        const std::int64_t n = static_cast<std::int64_t>(c.GetNumVoxels());
        bool all = true;
#pragma omp parallel for num_threads(ResolveThreadCount(0)) schedule(static) reduction(&& : all)
        for (std::int64_t k = 0; k < n; ++k) all = all && (d[k] & kVoxelReadOnlyBit);
        if (!all) return false;
    }
    return true;
}

void ZunImage::GetMeanVolumeFractions(std::vector<float>& out) const {
    out.clear();
    const int n = CountChansOfKind(ZunChan::kComposition);
    const std::uint64_t voxels = GetNumVoxels();
    const double divisor = voxels < 1 ? 1.0 : static_cast<double>(voxels);
    for (int i = 0; i < n && i < GetNumChannels(); ++i) {
        const imtype* d = GetChan(i)->Data();
        // Summed in double: a float sum stops growing long before realistic voxel counts.
        double sum = 0.0;
#pragma omp parallel for num_threads(ResolveThreadCount(0)) schedule(static) reduction(+ : sum)
        for (std::int64_t k = 0; k < static_cast<std::int64_t>(voxels); ++k) sum += d[k] & kVoxelValueMask;
        out.push_back(static_cast<float>(sum / 16383.0 / divisor));
    }
}

void ZunImage::GetImportedExtent(std::array<std::int32_t, 3>& min,
                                 std::array<std::int32_t, 3>& extent) const {
    std::array<std::int32_t, 3> lo{INT_MAX, INT_MAX, INT_MAX}, hi{INT_MIN, INT_MIN, INT_MIN};
    bool any = false;
    for (int i = 0; i < GetNumChannels(); ++i) {
        std::array<std::int32_t, 3> a{}, b{};
        if (!GetChan(i)->GetImportedExtent(a, b)) continue;
        any = true;
        for (int j = 0; j < 3; ++j) {
            lo[j] = std::min(lo[j], a[j]);
            hi[j] = std::max(hi[j], b[j]);
        }
    }
    min = {0, 0, 0};
    extent = {0, 0, 0};
    if (!any) return;
    for (int j = 0; j < 3; ++j) {
        min[j] = lo[j];
        extent[j] = static_cast<std::int32_t>(std::int64_t{hi[j]} - lo[j]);
    }
}

std::vector<std::int32_t> ZunImage::GetImportCounts(int i) const {
    return IsChanIndex(i) ? GetChan(i)->importCounts : std::vector<std::int32_t>();
}
std::vector<std::int32_t> ZunImage::GetColours(int i) const {
    return IsChanIndex(i) ? GetChan(i)->colours : std::vector<std::int32_t>();
}
void ZunImage::SetChanPlotSettings(int i, const HistVars& h) {
    if (IsChanIndex(i)) GetChan(i)->histVars = h;
}
void ZunImage::SetApplyScale(int i, bool v) {
    if (IsChanIndex(i)) GetChan(i)->applyScale = v;
}
void ZunImage::SetScaleFactor(int i, float v) {
    if (IsChanIndex(i)) GetChan(i)->scaleFactor = v;
}
void ZunImage::SetApplyZeroOffset(int i, bool v) {
    if (IsChanIndex(i)) GetChan(i)->applyZeroOffset = v;
}
void ZunImage::SetZeroOffset(int i, float v) {
    if (IsChanIndex(i)) GetChan(i)->zeroOffset = v;
}
void ZunImage::SetCropImages(int i, bool v) {
    if (IsChanIndex(i)) GetChan(i)->cropImages = v;
}
void ZunImage::SetCropX(int i, std::int32_t v) {
    if (IsChanIndex(i)) GetChan(i)->cropX = v;
}
void ZunImage::SetCropY(int i, std::int32_t v) {
    if (IsChanIndex(i)) GetChan(i)->cropY = v;
}
void ZunImage::SetRetainImages(int i, bool v) {
    if (IsChanIndex(i)) GetChan(i)->retainImages = v;
}

int ZunImage::SetChanBlockValue(int i, const Dims& start, const Dims& extent, float value, bool ro, bool err,
                                const WordParts& parts, bool updateSliceMarkers) {
    if (!IsChanIndex(i)) return -1;
    ZunChan& c = *GetChan(i);
    imtype w = 0;
    const int result = VoxelWordFromPhysical(w, value, c.range.at(1), c.range.at(0));
    c.SetBlockWord(start, extent, w, ro, err, parts, updateSliceMarkers);
    return result;
}

int ZunImage::SetChanBlockValueMasked(int i, const Dims& start, const Dims& extent, float from, float to,
                                      float value, bool ro, bool err, const WordParts& parts,
                                      bool updateSliceMarkers) {
    if (!IsChanIndex(i)) return -1;
    ZunChan& c = *GetChan(i);
    imtype wf = 0, wt = 0, w = 0;
    VoxelWordFromPhysical(wf, from, c.range.at(1), c.range.at(0));
    VoxelWordFromPhysical(wt, to, c.range.at(1), c.range.at(0));
    const int result = VoxelWordFromPhysical(w, value, c.range.at(1), c.range.at(0));
    c.SetBlockWordMasked(start, extent, wf, wt, w, ro, err, parts, updateSliceMarkers);
    return result;
}

int ZunImage::GetSliceCount() const {
    return GetNumChannels() ? GetChan(0)->GetSliceCount() : 0;
}

int ZunImage::InsertSlices(int position, int count) {
    if (count <= 0) return GetSliceCount();
    const Dims old = dims;
    Dims grown = dims;
    // More planes than an extent can count are more than memory can hold.
    if (grown[2] > INT_MAX - count) return -1;
    grown[2] += count;
    // Probe the memory with the scratch channel before any channel changes.
    if (scratch && scratch->Reallocate(grown) < 0) return -1;
    for (int i = 0; i < GetNumChannels(); ++i) {
        ZunChan& c = *GetChan(i);
        c.InsertSlices(position, count);
        const bool planes = c.InsertVoxelSlices(position, count) >= 0;
        if (!planes || (scratch && scratch->Reallocate(grown) < 0)) {
            if (!planes) c.DeleteSliceObjects(position, count);
            const int done = planes ? i + 1 : i;
            for (int j = 0; j < done; ++j) {
                GetChan(j)->DeleteSliceObjects(position, count);
                GetChan(j)->RemoveVoxelSlices(position, count);
            }
            ReleaseScratch();
            ChannelsChanged();
            return -1;
        }
    }
    dims = grown;
    ReleaseScratch();
    ChannelsChanged();
    modified = true;
    return GetSliceCount();
}

void ZunImage::DeleteSliceRun(int start, int count) {
    const int slices = dims[2];
    if (start < 0 || start >= slices) return;
    count = std::min(count, slices - start);
    if (count <= 0) return;
    Dims shrunk = dims;
    shrunk[2] -= count;
    for (int i = 0; i < GetNumChannels(); ++i) {
        GetChan(i)->DeleteSliceObjects(start, count);
        GetChan(i)->RemoveVoxelSlices(start, count);
    }
    dims = shrunk;
    ChannelsChanged();
    modified = true;
}

int ZunImage::DeleteSlices(std::vector<int> indices) {
    std::sort(indices.begin(), indices.end(), std::greater<>());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    std::size_t k = 0;
    while (k < indices.size()) {
        std::size_t e = k + 1;
        while (e < indices.size() && indices[e] == indices[e - 1] - 1) ++e;
        DeleteSliceRun(indices[e - 1], static_cast<int>(e - k));
        k = e;
    }
    return GetSliceCount();
}

bool ZunImage::ClearSlices(int i) {
    if (!IsChanIndex(i)) return false;
    ZunChan& c = *GetChan(i);
    bool changed = false;
    for (auto& s : c.slices) changed = s->ClearImport() || changed;
    if (changed) {
        c.modified = true;
        modified = true;
    }
    return changed;
}

void ZunImage::Serialize(Archive& ar) {
    Image<imtype>::Serialize(ar);
    if (ar.IsStoring()) {
        ar << kRecordStamp << boundaryMaskOn << activeBoundaryIndex << boundaryMaskWord << activeBoundaryName
           << modified;
        return;
    }
    std::uint32_t v = 0;
    ar >> v;
    if (v >= kActiveBoundaryFrom)
        ar >> boundaryMaskOn >> activeBoundaryIndex >> boundaryMaskWord >> activeBoundaryName;
    ar >> modified;

    if (std::string why = CheckChannelCount(static_cast<std::size_t>(GetNumChannels())); !why.empty())
        throw ArchiveException(ArchiveException::generic, why);
    nameSet.clear();
    for (int i = 0; i < GetNumChannels(); ++i) {
        if (!channels[static_cast<std::size_t>(i)]->IsKindOf(&ZunChan::classInfo))
            throw ArchiveException(ArchiveException::badClass,
                                   "the sample holds a channel of a foreign class");
        const ZunChan& c = *GetChan(i);
        if (c.GetDims() != dims)
            throw ArchiveException(ArchiveException::generic, "a channel's grid differs from the sample's");
        if (!nameSet.insert(c.name).second)
            throw ArchiveException(ArchiveException::generic, "two channels are named '" + c.name + "'");
    }
    RelinkChannels();
    // The stored index may be stale or damaged: the name decides.
    UpdateActiveBoundary();
}

}  // namespace zun
