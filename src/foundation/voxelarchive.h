#pragma once
// Archive helpers shared by the voxel classes, the sample and the document: counted vectors and
// the chunked transfer of voxel blocks.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "foundation/memoryguard.h"
#include "foundation/voxeltypes.h"
#include "platform/archive.h"

namespace zun {

struct NamedValue {
    float value = 0.0f;
    std::string name;
};

// int32 count, then the elements. Loading replaces the vector's content; a negative count is
// refused (ArchiveException) and a count beyond the stored data ends in the end-of-file error
// without taking memory for elements that are not there.
void SerializeIntVector(Archive& ar, std::vector<int>& v);
void SerializeFloatVector(Archive& ar, std::vector<float>& v);
void SerializeNamedValues(Archive& ar, std::vector<NamedValue>& v);
void SerializeStringVector(Archive& ar, std::vector<std::string>& v);

// Reads the int32 count of a vector and refuses a negative one.
std::int32_t ReadArchiveCount(Archive& ar);

// int32 count, then owned objects through the object records; loading requires the class E.
template <class E>
void SerializeObjectVector(Archive& ar, std::vector<std::unique_ptr<E>>& v) {
    if (ar.IsStoring()) {
        ar << static_cast<std::int32_t>(v.size());
        for (const auto& e : v) ar.WriteObject(e.get());
    } else {
        const std::int32_t n = ReadArchiveCount(ar);
        std::vector<std::unique_ptr<E>> out;
        for (std::int32_t i = 0; i < n; ++i) out.push_back(ar.template ReadOwnedObject<E>());
        v = std::move(out);
    }
}

// Elements per archive transfer: the largest even count whose bytes fit 32 bits.
template <class T>
constexpr std::uint64_t VoxelChunkElements() {
    return (0xFFFFFFFFull / sizeof(T)) & ~1ull;
}

// Stamps up to this one stored 32-bit element counts.
constexpr std::int32_t kLastStamp32BitCounts = 1907;

// Writes the count (uint64) and the voxels in chunks, or reads them: the count (uint32 for stamps
// up to 1907), a block of count + 1 elements from the allocator (the guard applies; refusal throws
// std::bad_alloc), the voxels, and a zero spare element. On loading, `*block` must be null; a
// failed read leaves it null. `chunk` exists for tests of the chunk boundaries.
template <class T>
void SerializeVoxelBlock(Archive& ar, T** block, std::uint64_t* count, std::int32_t stamp,
                         VoxelAllocator* allocator, bool spare,
                         std::uint64_t chunk = VoxelChunkElements<T>());

// The two halves of loading a block, for readers that check the count before taking memory.
std::uint64_t ReadVoxelCount(Archive& ar, std::int32_t stamp);
template <class T>
T* ReadVoxelBlock(Archive& ar, std::uint64_t count, VoxelAllocator* allocator, bool spare,
                  std::uint64_t chunk = VoxelChunkElements<T>());

}  // namespace zun
