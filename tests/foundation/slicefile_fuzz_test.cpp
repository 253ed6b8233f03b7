// Damaged slice files: truncated and random bytes given to every reader must come back as an
// error code, never as a crash or a read outside a buffer (the sanitizer run watches).

#include <gtest/gtest.h>

#include <random>

#include "foundation/gridfiles.h"
#include "foundation/image.h"
#include "foundation/memoryguard.h"
#include "foundation/tiffio.h"
#include "slicefiles.h"

namespace zun {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::TempFolder;

class SliceFileFuzz : public testing::GeneratedTiffs {
protected:
    // Every reader's code for the bytes; `anyOk` says whether some reader accepted them.
    static std::vector<int> ReadAll(const Bytes& b, bool* anyOk = nullptr) {
        const std::string p = File("case.bin");
        testing::WriteFileBytes(p, b);
        // Damaged sizes may ask for huge images: the guard, with a small scripted memory that the
        // blocks held count against, refuses them instead of the machine.
        SetMemoryStatusSource([](MemoryStatus& s) {
            const std::uint64_t held = VoxelBytesInUse();
            s.totalPhysical = 64u << 20;
            s.availablePhysical = held < s.totalPhysical ? s.totalPhysical - held : 0;
            return true;
        });
        Image2d<ullong> u;
        Image2d<float> f;
        Image2d<uint8> c;
        u.GetAllocator().remainPercent = f.GetAllocator().remainPercent = c.GetAllocator().remainPercent = 50;
        bool isFloat = false;
        std::vector<float> v;
        int nx = 0, ny = 0;
        std::vector<int> codes = {Image2d<ullong>::ReadTiff(p, u, nullptr),
                                  Image2d<float>::ReadTiff(p, f, nullptr),
                                  Image2d<uint8>::ReadTiff(p, c, nullptr),
                                  Image2d<float>::ReadGrdVod(p, f),
                                  ReadGrdFile(p, &v),
                                  ReadVodFile(p, &nx, &ny, &v)};
        const int probe = IsTiffFloat(p, &isFloat);
        (void)probe;
        (void)IsVodFile(p);
        SetMemoryStatusSource({});
        if (anyOk) *anyOk = std::find(codes.begin(), codes.end(), 0) != codes.end();
        // Whatever was accepted is consistent.
        for (int k = 0; k < u.GetNumChannels(); ++k)
            EXPECT_EQ(u.GetChannel(k)->GetNumVoxels(), u.GetNumVoxels());
        for (int k = 0; k < f.GetNumChannels(); ++k)
            EXPECT_EQ(f.GetChannel(k)->GetNumVoxels(), f.GetNumVoxels());
        return codes;
    }
};

template <class T>
void Put(Bytes& b, T v) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&v);
    b.insert(b.end(), p, p + sizeof v);
}

std::vector<Bytes> ValidFiles(const std::string& tiffFolder) {  // the folder path ends in '/'
    std::vector<Bytes> files;
    for (const char* name : {"grey16.tif", "rgb16planar.tif", "palette.tif", "bits12planar.tif", "tiled.tif"})
        files.push_back(testing::ReadFileBytes(tiffFolder + name));
    Bytes grid = {'D', 'S', 'B', 'B'};
    Put(grid, std::int16_t{3});
    Put(grid, std::int16_t{2});
    for (int i = 0; i < 6; ++i) Put(grid, 1.0);
    for (int i = 0; i < 6; ++i) Put(grid, 1.0f * i);
    files.push_back(grid);
    const std::string h = "VO_DATATYPE = ARRAY2D<double> VO_FILETYPE = BIN NP = 6.";
    Bytes vod(h.begin(), h.end());
    for (int i = 0; i < 5; ++i) Put(vod, 0.0);
    Put(vod, std::int32_t{3});
    Put(vod, std::int32_t{2});
    for (int i = 0; i < 6; ++i) Put(vod, 1.0 * i);
    files.push_back(vod);
    return files;
}

TEST_F(SliceFileFuzz, TruncatedFilesAreRefused) {
    for (const Bytes& full : ValidFiles(File(""))) {
        ASSERT_FALSE(full.empty());
        const std::size_t step = std::max<std::size_t>(1, full.size() / 300);
        for (std::size_t len = 0; len < full.size(); len += step) {
            bool anyOk = true;
            ReadAll(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(len)), &anyOk);
            EXPECT_FALSE(anyOk) << "length " << len << " of " << full.size();
        }
    }
}

TEST_F(SliceFileFuzz, RandomBytesAreRefused) {
    std::mt19937 rng(12345);
    const std::vector<std::string> prefixes = {"", "II*", "MM", "DSBB",
                                               "VO_DATATYPE = ARRAY2D<short> NP = 4"};
    for (int t = 0; t < 150; ++t) {
        const std::string& prefix = prefixes[t % prefixes.size()];
        Bytes b(prefix.begin(), prefix.end());
        if (prefix == "II*") b.push_back(0);
        const std::size_t n = rng() % 200;
        for (std::size_t i = 0; i < n; ++i)
            b.push_back(static_cast<std::uint8_t>(rng() % 256 == 46 ? 47 : rng()));
        bool anyOk = true;
        ReadAll(b, &anyOk);
        EXPECT_FALSE(anyOk) << t;
    }
}

TEST_F(SliceFileFuzz, DamagedBytesNeverCrash) {
    std::mt19937 rng(99);
    for (const Bytes& full : ValidFiles(File("")))
        for (int t = 0; t < 60; ++t) {
            Bytes b = full;
            for (int k = 0; k < 4; ++k) b[rng() % b.size()] = static_cast<std::uint8_t>(rng());
            ReadAll(b);  // any code will do; the readers must stay inside their buffers
        }
}

}  // namespace
}  // namespace zun
