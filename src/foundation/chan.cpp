#include "foundation/chan.h"

#include <algorithm>
#include <stdexcept>

#include "foundation/histogram.h"
#include "foundation/voxelarchive.h"

namespace zun {

namespace {

// Constructors have no result to refuse with.
void CheckDims(const Dims& dims) {
    for (int d : dims)
        if (d < 0) throw std::invalid_argument("negative voxel extent");
    if (ImpossibleDims(dims)) throw std::bad_alloc();
}

bool AllZero(const Dims& offsets) {
    return std::all_of(offsets.begin(), offsets.end(), [](int o) { return o == 0; });
}

}  // namespace

template <class T>
Chan<T>::Chan(VoxelAllocator* alloc, const Dims& d) : dims(d) {
    CheckDims(dims);
    if (!alloc) {
        ownedAllocator = std::make_unique<VoxelAllocator>();
        alloc = ownedAllocator.get();
    }
    allocator = alloc;
    const std::uint64_t n = GetNumVoxels() + 1;
    data = allocator->Allocate<T>(n);
    if (!data) throw std::bad_alloc();
    std::memset(data, 0, n * sizeof(T));
}

template <class T>
Chan<T>::~Chan() {
    FreeBlock();
}

template <class T>
void Chan<T>::FreeBlock() {
    VoxelAllocator::Free(data);
    data = nullptr;
}

template <class T>
void Chan<T>::SwapBlock(Chan<T>& other) {
    std::swap(dims, other.dims);
    std::swap(data, other.data);
}

template <class T>
VoxelAllocator* Chan<T>::EnsureAllocator() {
    if (!allocator) {
        ownedAllocator = std::make_unique<VoxelAllocator>();
        allocator = ownedAllocator.get();
    }
    return allocator;
}

template <class T>
std::uint32_t Chan<T>::GetProgressStep() const {
    const std::uint64_t q = GetNumVoxels() / 100;
    if (q < 2) return 1;
    if (q >= 5000) return 5000;
    return static_cast<std::uint32_t>(q);
}

template <class T>
T* Chan<T>::At(const Dims& index) {
    std::uint64_t linear = 0, stride = 1;
    for (std::size_t j = 0; j < dims.size(); ++j) {
        const int i = j < index.size() ? index[j] : 0;
        linear += static_cast<std::uint64_t>(i) * stride;
        stride *= static_cast<std::uint64_t>(dims[j]);
    }
    return data + linear;
}

template <class T>
std::unique_ptr<Chan<T>> Chan<T>::Clone() const {
    return CloneAs<Chan<T>>();
}

template <class T>
void Chan<T>::Clear() {
    if (data) std::memset(data, 0, (GetNumVoxels() + 1) * sizeof(T));
}

template <class T>
void Chan<T>::ReallocateUnguarded(const Dims& newDims) {
    FreeBlock();
    dims = newDims;
    const std::uint64_t n = GetNumVoxels() + 1;
    data = EnsureAllocator()->template AllocateUnguarded<T>(n);
    if (!data) {
        dims.clear();
        DimsChanged();
        throw std::bad_alloc();
    }
    std::memset(data, 0, n * sizeof(T));
    DimsChanged();
}

template <class T>
int Chan<T>::Reallocate(const Dims& newDims) {
    return Chan<T>::Reallocate(newDims, Dims());
}

template <class T>
int Chan<T>::Reallocate(const Dims& newDims, const Dims& offsets) {
    if (ImpossibleDims(newDims)) return -1;
    if (newDims == dims && AllZero(offsets) && data) return 0;
    const Dims old = dims;
    FreeBlock();
    dims = newDims;
    const std::uint64_t n = GetNumVoxels() + 1;
    data = EnsureAllocator()->template Allocate<T>(n);
    if (data) {
        std::memset(data, 0, n * sizeof(T));
        return 1;
    }
    // Refused: back to the old extents with a cleared block taken past the guard.
    ReallocateUnguarded(old);
    return -1;
}

template <class T>
int Chan<T>::ResizeKeep(const Dims& newDims, const Dims& offsets, Chan<T>* scratch) {
    if (ImpossibleDims(newDims)) return -1;
    if (newDims == dims && AllZero(offsets)) return 0;
    std::unique_ptr<Chan<T>> temp;
    Chan<T>* target = scratch;
    if (!target) {
        temp = std::make_unique<Chan<T>>(EnsureAllocator(), newDims);
        target = temp.get();
    } else if (target->dims != newDims || !target->data) {
        // A scratch of the wrong size would hand this channel a block too small for its extents.
        if (target->Reallocate(newDims) < 0) throw std::bad_alloc();
    }
    Dims srcStart(newDims.size(), 0), dstStart(newDims.size(), 0);
    for (std::size_t j = 0; j < newDims.size() && j < offsets.size(); ++j) {
        if (offsets[j] > 0)
            srcStart[j] = offsets[j];
        else if (offsets[j] < 0)
            dstStart[j] = -offsets[j];
    }
    CopyBlock(*target, *this, newDims, dstStart, srcStart);
    SwapBlock(*target);
    target->DimsChanged();
    return 1;
}

template <class T>
int Chan<T>::ReverseZ() {
    if (dims.size() != 3 || !data) return 0;
    const int nx = dims[0], ny = dims[1], nz = dims[2];
    if (nz < 2) return 1;
    Chan<T> temp(EnsureAllocator(), Dims{nx, ny, 1});
    const Dims ext{nx, ny, 1}, zero{0, 0, 0};
    for (int i = 0; i < nz / 2; ++i) {
        const Dims top{0, 0, nz - 1 - i}, bottom{0, 0, i};
        CopyBlock(temp, *this, ext, zero, top);
        CopyBlock(*this, *this, ext, top, bottom);
        CopyBlock(*this, temp, ext, bottom, zero);
    }
    return 1;
}

template <class T>
void Chan<T>::CopyFrom(const Chan<T>& other) {
    if (&other == this) return;
    const std::uint64_t n = other.GetNumVoxels() + 1;
    if (other.dims == dims && data) {
        if (other.data)
            std::memcpy(data, other.data, n * sizeof(T));
        else
            Clear();
        return;
    }
    T* block = EnsureAllocator()->template Allocate<T>(n);
    if (!block) throw std::bad_alloc();
    if (other.data)
        std::memcpy(block, other.data, n * sizeof(T));
    else
        std::memset(block, 0, n * sizeof(T));
    FreeBlock();
    data = block;
    dims = other.dims;
    DimsChanged();
}

template <class T>
bool Chan<T>::FillBlock(const Dims& extent, const Dims& start, T value) {
    BoxPlan plan;
    if (!data || !PlanBox(dims, dims, extent, start, start, plan)) return false;
    ForEachRun(plan,
               [&](std::uint64_t o, std::uint64_t, std::uint64_t n) { std::fill_n(data + o, n, value); });
    return true;
}

// The word-only members below keep their requires-clauses for callers, and guard their bodies as
// well: some compilers instantiate constrained members for every element type when the class is
// explicitly instantiated.
template <class T>
int Chan<T>::BlockOp(const Dims& extent, const Dims& start) requires std::same_as<T, imtype> {
    return FillBlock(extent, start, 0) ? 1 : 0;
}

namespace {
// Masks of the word fields a block set takes from the new word.
imtype FieldMask(bool value, bool readOnly, bool error) {
    return static_cast<imtype>((value ? kVoxelValueMask : 0) | (readOnly ? kVoxelReadOnlyBit : 0) |
                               (error ? kVoxelErrorBit : 0));
}
}  // namespace

template <class T>
int Chan<T>::SetBlockValue(const Dims& extent, const Dims& start, imtype word, bool value, bool readOnly,
                           bool error) requires std::same_as<T, imtype> {
    if constexpr (std::same_as<T, imtype>) {
        BoxPlan plan;
        if (!data || !PlanBox(dims, dims, extent, start, start, plan)) return 0;
        const imtype take = FieldMask(value, readOnly, error);
        const imtype keep = static_cast<imtype>(~take);
        const imtype add = static_cast<imtype>(word & take);
        ForEachRun(plan, [&](std::uint64_t o, std::uint64_t, std::uint64_t n) {
            imtype* p = data + o;
            for (std::uint64_t i = 0; i < n; ++i) p[i] = static_cast<imtype>((p[i] & keep) | add);
        });
        return 1;
    } else {
        return 0;
    }
}

template <class T>
int Chan<T>::SetBlockValueMasked(const Dims& extent, const Dims& start, imtype word,
                                 const BlockSelection& sel) requires std::same_as<T, imtype> {
    if constexpr (std::same_as<T, imtype>) {
        BoxPlan plan;
        if (!data || !PlanBox(dims, dims, extent, start, start, plan)) return 0;
        const imtype take = FieldMask(sel.value, sel.readOnly, sel.error);
        const imtype keep = static_cast<imtype>(~take);
        const imtype add = static_cast<imtype>(word & take);
        ForEachRun(plan, [&](std::uint64_t o, std::uint64_t, std::uint64_t n) {
            imtype* p = data + o;
            for (std::uint64_t i = 0; i < n; ++i) {
                const imtype v = p[i] & kVoxelValueMask;
                if (v >= sel.low && v <= sel.high) p[i] = static_cast<imtype>((p[i] & keep) | add);
            }
        });
        return 1;
    } else {
        return 0;
    }
}

template <class T>
int Chan<T>::MakeHistogram(Histogram& histogram) const requires std::same_as<T, imtype> {
    if constexpr (std::same_as<T, imtype>) {
        return histogram.Build({VoxelBlockRef{data, data ? GetNumVoxels() : 0}});
    } else {
        return 0;
    }
}

template <class T>
bool Chan<T>::CopyBit0ToBit1(const Chan<ullong>& source) requires std::same_as<T, ullong> {
    if constexpr (std::same_as<T, ullong>) {
        const std::uint64_t n = GetNumVoxels();
        if (n != source.GetNumVoxels() || !data || !source.data) return false;
        const ullong* s = source.data;
        ullong* d = data;
#pragma omp parallel for num_threads(VoxelThreadCount()) schedule(static)
        for (std::int64_t i = 0; i < static_cast<std::int64_t>(n); ++i)
            d[i] = (d[i] & ~ullong{2}) | ((s[i] & 1u) << 1);
        return true;
    } else {
        return false;
    }
}

template <class T>
void Chan<T>::Serialize(Archive& ar) {
    if (ar.IsStoring()) {
        SerializeIntVector(ar, dims);
        ar << kVoxelStamp;
    } else {
        // A loaded channel is a shell until its image reads the voxel block.
        FreeBlock();
        Dims d;
        SerializeIntVector(ar, d);
        for (int e : d)
            if (e < 0) throw ArchiveException(ArchiveException::generic, "negative voxel extent in archive");
        std::int32_t stamp = 0;
        ar >> stamp;
        dims = std::move(d);
        DimsChanged();
    }
}

// --- ChanXd, Chan2d, Chan3d ---

template <class T>
void ChanXd<T>::Serialize(Archive& ar) {
    Chan<T>::Serialize(ar);
    if (ar.IsLoading()) UpdateDims();
}

template <class T>
int ChanXd<T>::ResizeKeep(const Dims& newDims, const Dims& offsets, Chan<T>* scratch) {
    const int r = Chan<T>::ResizeKeep(newDims, offsets, scratch);
    if (r >= 0) UpdateDims();
    return r;
}

template <class T>
int ChanXd<T>::Reallocate(const Dims& newDims) {
    const int r = Chan<T>::Reallocate(newDims, Dims());
    UpdateDims();
    return r;
}

template <class T>
int ChanXd<T>::Reallocate(const Dims& newDims, const Dims& offsets) {
    // The cached extents follow every change of dims, whichever form resized the channel.
    const int r = Chan<T>::Reallocate(newDims, offsets);
    UpdateDims();
    return r;
}

template <class T>
ChanXd<T>& ChanXd<T>::Assign(const Chan<T>& other) {
    if (&other == this) return *this;
    this->CopyFrom(other);
    UpdateDims();
    return *this;
}

template <class T>
void Chan2d<T>::UpdateDims() {
    const Dims& d = this->dims;
    nx = d.empty() ? 0 : DimsExtent(d, 0);
    ny = d.empty() ? 0 : DimsExtent(d, 1);
}

template <class T>
void Chan3d<T>::UpdateDims() {
    const Dims& d = this->dims;
    nx = DimsExtent(d, 0);
    ny = DimsExtent(d, 1);
    nz = DimsExtent(d, 2);
}

template <class T>
std::unique_ptr<Chan<T>> Chan2d<T>::Clone() const {
    return this->template CloneAs<Chan2d<T>>();
}

template <class T>
std::unique_ptr<Chan<T>> Chan3d<T>::Clone() const {
    return this->template CloneAs<Chan3d<T>>();
}

// --- instantiations and run-time class records ---

#define ZUN_CHAN_RECORDS(T)                                                                  \
    template class Chan<T>;                                                                  \
    template class ChanXd<T>;                                                                \
    template <>                                                                              \
    const ClassInfo Chan<T>::classInfo{"Chan" #T, 0, true, &MakeSerializable<Chan<T>>,       \
                                       &Serializable::classSerializable};                    \
    template <>                                                                              \
    const ClassInfo ChanXd<T>::classInfo{"ChanXd" #T, 0, true, &MakeSerializable<ChanXd<T>>, \
                                         &Chan<T>::classInfo};
#define ZUN_CHAN2D_RECORDS(T)                                                                \
    template class Chan2d<T>;                                                                \
    template <>                                                                              \
    const ClassInfo Chan2d<T>::classInfo{"Chan2d" #T, 0, true, &MakeSerializable<Chan2d<T>>, \
                                         &ChanXd<T>::classInfo};
#define ZUN_CHAN3D_RECORDS(T)                                                                \
    template class Chan3d<T>;                                                                \
    template <>                                                                              \
    const ClassInfo Chan3d<T>::classInfo{"Chan3d" #T, 0, true, &MakeSerializable<Chan3d<T>>, \
                                         &ChanXd<T>::classInfo};
ZUN_VOXEL_CHAN_TYPES(ZUN_CHAN_RECORDS)
ZUN_VOXEL_2D_TYPES(ZUN_CHAN2D_RECORDS)
ZUN_VOXEL_3D_TYPES(ZUN_CHAN3D_RECORDS)

}  // namespace zun
