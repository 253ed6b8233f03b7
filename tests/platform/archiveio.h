#pragma once
// Archive round trips for tests: an object stored as an object record, and read back.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/archive.h"

namespace zun::test {

inline std::vector<std::uint8_t> StoreObject(const Serializable& obj) {
    MemoryStream stream;
    {
        Archive ar(stream, Archive::Mode::Store);
        ar.WriteObject(&obj);
        ar.Flush();
    }
    return stream.Bytes();
}

template <class T>
std::unique_ptr<T> LoadObject(const std::vector<std::uint8_t>& bytes) {
    MemoryStream stream(bytes);
    Archive ar(stream, Archive::Mode::Load);
    return ar.ReadOwnedObject<T>();
}

// Stores obj and reads it back as a new object of class T.
template <class T, class S>
std::unique_ptr<T> ArchiveRoundTrip(const S& obj) {
    return LoadObject<T>(StoreObject(obj));
}

}  // namespace zun::test
