#include "foundation/voxelarchive.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

namespace zun {

namespace {

// Elements reserved ahead while loading a vector: what a damaged count can make us take before
// the end of the data shows.
constexpr std::int32_t kReserveStep = 4096;

template <class E, class ReadOne>
void LoadVector(Archive& ar, std::vector<E>& v, ReadOne readOne) {
    const std::int32_t n = ReadArchiveCount(ar);
    std::vector<E> out;
    out.reserve(std::min(n, kReserveStep));
    for (std::int32_t i = 0; i < n; ++i) out.push_back(readOne());
    v = std::move(out);
}

template <class E>
void SerializeScalarVector(Archive& ar, std::vector<E>& v) {
    if (ar.IsStoring()) {
        ar << static_cast<std::int32_t>(v.size());
        for (E e : v) ar << e;
    } else {
        LoadVector(ar, v, [&] {
            E e{};
            ar >> e;
            return e;
        });
    }
}

}  // namespace

std::int32_t ReadArchiveCount(Archive& ar) {
    std::int32_t n = 0;
    ar >> n;
    if (n < 0) throw ArchiveException(ArchiveException::generic, "negative count in archive");
    return n;
}

void SerializeIntVector(Archive& ar, std::vector<int>& v) {
    SerializeScalarVector(ar, v);
}
void SerializeFloatVector(Archive& ar, std::vector<float>& v) {
    SerializeScalarVector(ar, v);
}

void SerializeNamedValues(Archive& ar, std::vector<NamedValue>& v) {
    if (ar.IsStoring()) {
        ar << static_cast<std::int32_t>(v.size());
        for (const NamedValue& e : v) ar << e.value << e.name;
    } else {
        LoadVector(ar, v, [&] {
            NamedValue e;
            ar >> e.value >> e.name;
            return e;
        });
    }
}

void SerializeStringVector(Archive& ar, std::vector<std::string>& v) {
    if (ar.IsStoring()) {
        ar << static_cast<std::int32_t>(v.size());
        for (const std::string& e : v) ar << e;
    } else {
        LoadVector(ar, v, [&] {
            std::string e;
            ar >> e;
            return e;
        });
    }
}

template <class T>
void SerializeVoxelBlock(Archive& ar, T** block, std::uint64_t* count, std::int32_t stamp,
                         VoxelAllocator* allocator, bool spare, std::uint64_t chunk) {
    if (chunk == 0) chunk = VoxelChunkElements<T>();
    if (ar.IsStoring()) {
        const std::uint64_t m = *count;
        ar << m;
        const T* p = *block;
        for (std::uint64_t done = 0; done < m;) {
            const std::uint64_t k = std::min(chunk, m - done);
            ar.Write(p + done, k * sizeof(T));
            done += k;
        }
        return;
    }
    *count = ReadVoxelCount(ar, stamp);
    *block = ReadVoxelBlock<T>(ar, *count, allocator, spare, chunk);
}

std::uint64_t ReadVoxelCount(Archive& ar, std::int32_t stamp) {
    if (stamp <= kLastStamp32BitCounts) {
        std::uint32_t m32 = 0;
        ar >> m32;
        return m32;
    }
    std::uint64_t m = 0;
    ar >> m;
    return m;
}

template <class T>
T* ReadVoxelBlock(Archive& ar, std::uint64_t m, VoxelAllocator* allocator, bool spare, std::uint64_t chunk) {
    if (chunk == 0) chunk = VoxelChunkElements<T>();
    // 64-bit counts are accepted: the guard and the heap decide whether the block can be had.
    VoxelAllocator fallback(0);
    VoxelAllocator* a = allocator ? allocator : &fallback;
    if (m >= std::numeric_limits<std::uint64_t>::max() / sizeof(T) - 1) throw std::bad_alloc();
    // The count comes from the file: the stream must show the first voxels before a block of the
    // full size is asked for, so that a damaged or crafted count in a short file is reported as
    // damage (end of file) rather than as a shortage of memory.
    constexpr std::uint64_t kProbeBytes = 1 << 20;
    std::vector<T> probe(static_cast<std::size_t>(std::min<std::uint64_t>(m, kProbeBytes / sizeof(T))));
    ar.Read(probe.data(), probe.size() * sizeof(T));
    T* p = a->template Allocate<T>(m + 1);
    if (!p) throw std::bad_alloc();
    if (!probe.empty()) std::memcpy(p, probe.data(), probe.size() * sizeof(T));
    try {
        for (std::uint64_t done = probe.size(); done < m;) {
            const std::uint64_t k = std::min(chunk, m - done);
            ar.Read(p + done, k * sizeof(T));
            done += k;
        }
    } catch (...) {
        VoxelAllocator::Free(p);
        throw;
    }
    if (spare) p[m] = T{};
    return p;
}

#define ZUN_VOXEL_BLOCK(T)                                                                                   \
    template void SerializeVoxelBlock<T>(Archive&, T**, std::uint64_t*, std::int32_t, VoxelAllocator*, bool, \
                                         std::uint64_t);
ZUN_VOXEL_BLOCK(imtype)
ZUN_VOXEL_BLOCK(float)
ZUN_VOXEL_BLOCK(uint8)
ZUN_VOXEL_BLOCK(ullong)
ZUN_VOXEL_BLOCK(disptype)
ZUN_VOXEL_BLOCK(int)

}  // namespace zun
