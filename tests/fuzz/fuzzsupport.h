#pragma once
// Shared set-up of the fuzz harnesses: the class registry, a memory guard that refuses what a
// small machine would (so that a damaged size is refused instead of exhausting the fuzzer's
// memory), and a scratch file for the readers that take a path.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "compute/devices.h"
#include "compute/threadteam.h"
#include "document/zundoc.h"
#include "foundation/memoryguard.h"

namespace zun::fuzz {

// The machine the guard sees: it keeps half of this free, so the voxel blocks held at any moment
// stay below 256 MB. What the blocks hold counts against what is available, as on a real machine.
inline constexpr std::uint64_t kFuzzMemory = 512ull << 20;

inline void GuardMemory() {
    SetMemoryPolicy({true, 50});
    SetMemoryStatusSource([](MemoryStatus& s) {
        const std::uint64_t held = VoxelBytesInUse();
        s.totalPhysical = kFuzzMemory;
        s.availablePhysical = held < kFuzzMemory ? kFuzzMemory - held : 0;
        return true;
    });
}

// What the windows ask of a document as soon as it is open: what a damaged file set up is reached
// only here (counts that are merely stored at loading drive these loops).
inline void UseDocument(CZunDoc& doc) {
    const int channels = doc.GetSample().GetChanCount();
    for (int i = 0; i < channels; ++i) {
        (void)doc.GetChannelDisplayName(i);
        doc.ComputeCompositionCoefficients(i);
    }
    (void)doc.DefaultFractionWords();
    // A computation starts with the teams of the document's device selection: the device set's
    // for the chunked kernels, the library's for its own loops.
    if (doc.CanStartComputation()) {
        StartThreadTeam(doc.GetModel().Devices().TotalThreads());
        StartThreadTeam(LibraryThreadCount(doc.DeviceSelection()));
    }
}

// Writes the input to a file of this process and returns its path (same path on every call).
inline std::string WriteInput(const std::uint8_t* data, std::size_t size, const char* suffix) {
    static const std::string dir = [] {
        const char* t = std::getenv("TMPDIR");
        return std::string(t && *t ? t : "/tmp");
    }();
    std::string path = dir + "/zun_fuzz_" + std::to_string(::getpid()) + suffix;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size && std::fwrite(data, 1, size, f) != size) std::abort();
    std::fclose(f);
    return path;
}

}  // namespace zun::fuzz
