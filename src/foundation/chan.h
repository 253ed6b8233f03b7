#pragma once
// Voxel channels: one grid of any number of axes, one element type, one contiguous block taken
// through the memory guard. The block always holds count + 1 elements; the spare element after the
// last voxel is kept at 0 by every clear and load.

#include <concepts>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "foundation/memoryguard.h"
#include "foundation/voxelbox.h"
#include "foundation/voxeltypes.h"
#include "platform/archive.h"

namespace zun {

class Histogram;
template <class T>
class Image;

// The stamp the voxel classes write (their own in place of the program-wide one).
constexpr std::int32_t kVoxelStamp = 1908;

// Fields of a word a block set may change, and the value window of a masked set.
struct BlockSelection {
    imtype low = 0;
    imtype high = 0;
    bool value = false;
    bool readOnly = false;
    bool error = false;
};

template <class T>
class Chan : public Serializable {
public:
    static const ClassInfo classInfo;
    const ClassInfo* GetRuntimeClass() const override { return &classInfo; }

    // A shell for loading: no axes, no block, no allocator.
    Chan() = default;
    // A zeroed channel of the given extents. A null allocator makes the channel create and own
    // one from the memory policy. Throws std::bad_alloc when the guard refuses.
    Chan(VoxelAllocator* allocator, const Dims& dims);
    ~Chan() override;
    Chan(const Chan&) = delete;
    Chan& operator=(const Chan&) = delete;

    void Serialize(Archive& ar) override;

    // A channel of the same class with equal extents and voxels; owned by the caller.
    virtual std::unique_ptr<Chan<T>> Clone() const;
    // Resizes keeping the data: the voxel at p of the result is the old voxel at p + offsets
    // where that lies inside the old grid, else the scratch's content (0 without a scratch).
    // 0 when nothing changes, else 1. Throws std::bad_alloc when its temporary is refused.
    virtual int ResizeKeep(const Dims& newDims, const Dims& offsets, Chan<T>* scratch);
    virtual int Reallocate(const Dims& newDims);
    // Never keeps data: a changed block is cleared. 1 changed, 0 same dims and no offsets,
    // -1 refused (the channel keeps its old dims with a cleared block).
    virtual int Reallocate(const Dims& newDims, const Dims& offsets);
    virtual void Clear();
    // Reverses the slices along the third axis; 0 unless the channel has exactly three axes.
    virtual int ReverseZ();

    // Makes this channel an equal copy. On refusal the old dims and block stay and
    // std::bad_alloc is thrown.
    void CopyFrom(const Chan<T>& other);

    // Copies a box of voxels (same type, or converting by plain numeric conversion). 1 copied,
    // 0 when a start lies outside its channel on any axis (nothing copied).
    template <class S>
    static int CopyBlock(Chan<T>& dst, const Chan<S>& src, const Dims& extent, const Dims& dstStart,
                         const Dims& srcStart);

    std::uint64_t GetNumVoxels() const { return CountVoxels(dims); }
    // Voxels between two progress reports of a long loop: count / 100 clamped to 1..5000.
    std::uint32_t GetProgressStep() const;
    const Dims& GetDims() const { return dims; }
    T* Data() { return data; }
    const T* Data() const { return data; }
    T* At(const Dims& index);
    T* End() { return data ? data + GetNumVoxels() : nullptr; }
    VoxelAllocator* GetAllocator() const { return allocator; }
    bool OwnsAllocator() const { return ownedAllocator != nullptr; }

    // Fills a box with one value; false (nothing filled) when the start lies outside.
    bool FillBlock(const Dims& extent, const Dims& start, T value);

    // Box operations on voxel words; 0 (nothing changed) when the start lies outside, else 1.
    int BlockOp(const Dims& extent, const Dims& start) requires std::same_as<T, imtype>;
    int SetBlockValue(const Dims& extent, const Dims& start, imtype word, bool value, bool readOnly,
                      bool error) requires std::same_as<T, imtype>;
    int SetBlockValueMasked(const Dims& extent, const Dims& start, imtype word,
                            const BlockSelection& selection) requires std::same_as<T, imtype>;
    int MakeHistogram(Histogram& histogram) const requires std::same_as<T, imtype>;
    // Bit 1 of every voxel takes bit 0 of the source's voxel; false when the counts differ.
    bool CopyBit0ToBit1(const Chan<ullong>& source) requires std::same_as<T, ullong>;

protected:
    friend class Image<T>;
    template <class U>
    friend class Chan;

    // Hook run after the extents change (the fixed-axis forms refresh their cached extents).
    virtual void DimsChanged() {}
    // Sets the extents and a cleared block bypassing the guard (rollbacks). Throws
    // std::bad_alloc only when the heap itself is exhausted.
    void ReallocateUnguarded(const Dims& newDims);
    // Makes sure there is an allocator (a shell made by the archive has none).
    VoxelAllocator* EnsureAllocator();
    void FreeBlock();
    void SwapBlock(Chan<T>& other);
    // A copy of class C (this class or a derived one) with its own allocator when this channel
    // owns its allocator, else sharing it.
    template <class C>
    std::unique_ptr<Chan<T>> CloneAs() const {
        auto c = std::make_unique<C>(ownedAllocator ? nullptr : allocator, dims);
        Chan<T>& base = *c;
        base.CopyFrom(*this);
        base.DimsChanged();
        return c;
    }

    Dims dims;
    T* data = nullptr;
    VoxelAllocator* allocator = nullptr;
    std::unique_ptr<VoxelAllocator> ownedAllocator;  // set when the channel made its allocator
};

template <class T>
class ChanXd : public Chan<T> {
public:
    static const ClassInfo classInfo;
    const ClassInfo* GetRuntimeClass() const override { return &classInfo; }

    ChanXd() = default;
    ChanXd(VoxelAllocator* allocator, const Dims& dims) : Chan<T>(allocator, dims) {}

    void Serialize(Archive& ar) override;
    int ResizeKeep(const Dims& newDims, const Dims& offsets, Chan<T>* scratch) override;
    int Reallocate(const Dims& newDims) override;
    int Reallocate(const Dims& newDims, const Dims& offsets) override;

    // Copies the other channel (nothing for itself), then refreshes the cached extents.
    virtual ChanXd<T>& Assign(const Chan<T>& other);
    virtual void UpdateDims() {}
    ChanXd<T>& operator=(const ChanXd<T>& other) { return Assign(other); }

protected:
    void DimsChanged() override { UpdateDims(); }
};

template <class T>
class Chan2d : public ChanXd<T> {
public:
    static const ClassInfo classInfo;
    const ClassInfo* GetRuntimeClass() const override { return &classInfo; }

    Chan2d() = default;
    Chan2d(VoxelAllocator* allocator, const Dims& dims) : ChanXd<T>(allocator, dims) { UpdateDims(); }

    std::unique_ptr<Chan<T>> Clone() const override;
    void UpdateDims() override;
    Chan2d<T>& operator=(const Chan2d<T>& other) {
        this->Assign(other);
        return *this;
    }

    int nx = 0, ny = 0;
};

template <class T>
class Chan3d : public ChanXd<T> {
public:
    static const ClassInfo classInfo;
    const ClassInfo* GetRuntimeClass() const override { return &classInfo; }

    Chan3d() = default;
    Chan3d(VoxelAllocator* allocator, const Dims& dims) : ChanXd<T>(allocator, dims) { UpdateDims(); }

    std::unique_ptr<Chan<T>> Clone() const override;
    void UpdateDims() override;
    Chan3d<T>& operator=(const Chan3d<T>& other) {
        this->Assign(other);
        return *this;
    }

    int nx = 0, ny = 0, nz = 0;
};

template <class T>
template <class S>
int Chan<T>::CopyBlock(Chan<T>& dst, const Chan<S>& src, const Dims& extent, const Dims& dstStart,
                       const Dims& srcStart) {
    BoxPlan plan;
    if (!dst.data || !src.data || !PlanBox(dst.dims, src.dims, extent, dstStart, srcStart, plan)) return 0;
    T* d = dst.data;
    const S* s = src.data;
    if constexpr (std::is_same_v<T, S>) {
        const bool same = static_cast<const void*>(d) == static_cast<const void*>(s);
        ForEachRun(plan, [&](std::uint64_t od, std::uint64_t os, std::uint64_t n) {
            if (same)
                std::memmove(d + od, s + os, n * sizeof(T));
            else
                std::memcpy(d + od, s + os, n * sizeof(T));
        });
    } else {
        ForEachRun(plan, [&](std::uint64_t od, std::uint64_t os, std::uint64_t n) {
            for (std::uint64_t i = 0; i < n; ++i) d[od + i] = static_cast<T>(s[os + i]);
        });
    }
    return 1;
}

// The instantiations that exist; each has its run-time class record (see foundationclasses.h).
#define ZUN_VOXEL_CHAN_TYPES(X) X(imtype) X(float) X(uint8) X(ullong) X(disptype) X(int)
#define ZUN_VOXEL_2D_TYPES(X) X(imtype) X(float) X(uint8) X(ullong) X(int)
#define ZUN_VOXEL_3D_TYPES(X) X(imtype) X(ullong) X(disptype)

#define ZUN_DECLARE_CHAN(T)               \
    template <>                           \
    const ClassInfo Chan<T>::classInfo;   \
    template <>                           \
    const ClassInfo ChanXd<T>::classInfo; \
    extern template class Chan<T>;        \
    extern template class ChanXd<T>;
#define ZUN_DECLARE_CHAN2D(T)             \
    template <>                           \
    const ClassInfo Chan2d<T>::classInfo; \
    extern template class Chan2d<T>;
#define ZUN_DECLARE_CHAN3D(T)             \
    template <>                           \
    const ClassInfo Chan3d<T>::classInfo; \
    extern template class Chan3d<T>;
ZUN_VOXEL_CHAN_TYPES(ZUN_DECLARE_CHAN)
ZUN_VOXEL_2D_TYPES(ZUN_DECLARE_CHAN2D)
ZUN_VOXEL_3D_TYPES(ZUN_DECLARE_CHAN3D)
#undef ZUN_DECLARE_CHAN
#undef ZUN_DECLARE_CHAN2D
#undef ZUN_DECLARE_CHAN3D

}  // namespace zun
