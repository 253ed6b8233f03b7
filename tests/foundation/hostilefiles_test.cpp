// Slice files made to hurt: tiny TIFFs whose headers claim huge images, images of thousands of
// channels, and names in a folder that are no regular files (a named pipe blocks whoever opens it).

#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "craftedtiff.h"
#include "foundation/image.h"
#include "foundation/memoryguard.h"
#include "foundation/pathutil.h"
#include "foundation/tiffio.h"
#include "slicefiles.h"
#include "voxeltesting.h"

namespace zun {
namespace {

using testing::CraftTiff;
using testing::PolicyScope;
using testing::ScriptedMemory;
using testing::TempFolder;
using testing::TiffEntry;
using Bytes = std::vector<std::uint8_t>;

TEST(TiffClaims, TinyFilesClaimingHugeImagesAreRefusedBeforeAnyMemoryIsAsked) {
    TempFolder dir("claims");
    const TiffEntry floats{339, 3, 1, 3}, packBits{259, 3, 1, 32773}, deflate{259, 3, 1, 8};
    struct Case {
        const char* what;
        Bytes file;
    };
    Bytes sixteen(16, 7);
    Bytes past = CraftTiff(10, 10, 1, 8, Bytes(100, 1));
    past.resize(past.size() - 40);  // the strip runs past the end of the file
    const std::vector<Case> cases = {
        {"65536 x 2 floats of 8000 samples", CraftTiff(65536, 2, 8000, 32, Bytes(8, 0), {floats})},
        {"a row of 2^31 - 1 pixels", CraftTiff(0x7FFFFFFF, 1, 1, 8, Bytes(4, 0))},
        {"65535 samples of 1000 x 1000 pixels", CraftTiff(1000, 1000, 65535, 16, Bytes(64, 0))},
        {"PackBits beyond its best ratio", CraftTiff(1000, 1000, 1, 8, sixteen, {packBits})},
        {"a strip past the end of the file", past},
        {"Deflate beyond its best ratio", CraftTiff(1000, 1000, 1, 8, sixteen, {deflate})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.Path("claim.tif");
        testing::WriteFileBytes(path, c.file);
        ASSERT_LT(c.file.size(), 400u);
        // Half of the memory stays free.
        PolicyScope policy(true, 50);
        ScriptedMemory memory(1ull << 40, 1ull << 40);
        Image2d<float> f;
        Image2d<ullong> u;
        f.AppendPlanes(1);
        EXPECT_EQ(Image2d<float>::ReadTiff(path, f, nullptr), kTiffUnsupported);
        EXPECT_EQ(Image2d<ullong>::ReadTiff(path, u, nullptr), kTiffUnsupported);
        EXPECT_EQ(f.GetNumChannels(), 1);
        TiffReader reader;
        EXPECT_EQ(reader.Open(path), kTiffUnsupported);
        // Refused on the header alone: no block was asked for.
        EXPECT_EQ(memory.Queries(), 0);
    }
}

// libtiff's own encoders at their best ratios (an image of zeros) stay within what is admitted.
TEST(TiffClaims, CompressedFilesOfEveryCodecStillRead) {
    TempFolder dir("codecs");
    for (std::uint16_t codec :
         {COMPRESSION_NONE, COMPRESSION_PACKBITS, COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE}) {
        SCOPED_TRACE(codec);
        const std::string path = dir.Path("zeros.tif");
        constexpr std::uint32_t kSide = 3000;
        {
            TIFF* t = TIFFOpen(path.c_str(), "w");
            ASSERT_TRUE(t);
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, kSide);
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, kSide);
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
            TIFFSetField(t, TIFFTAG_COMPRESSION, codec);
            if (codec == COMPRESSION_ADOBE_DEFLATE) TIFFSetField(t, TIFFTAG_ZIPQUALITY, 9);
            TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, kSide);
            std::vector<std::uint8_t> row(kSide, 0);
            for (std::uint32_t y = 0; y < kSide; ++y) ASSERT_GE(TIFFWriteScanline(t, row.data(), y, 0), 0);
            TIFFClose(t);
        }
        Image2d<uint8> im;
        ASSERT_EQ(Image2d<uint8>::ReadTiff(path, im, nullptr), kTiffOk);
        EXPECT_EQ(im.nx, static_cast<int>(kSide));
        EXPECT_EQ(im.Plane(0)[kSide * kSide - 1], 0);
    }
}

// Each channel's block passes the guard on its own; all of them together do not.
TEST(TiffClaims, AnImageOfThousandsOfChannelsAsksTheGuardForItsTotal) {
    TempFolder dir("channels");
    const std::string path = dir.Path("wide.tif");
    constexpr std::uint16_t kSamples = 4000;
    testing::WriteFileBytes(path, CraftTiff(16, 16, kSamples, 8, Bytes(16 * 16 * kSamples, 3)));
    PolicyScope policy(true, 50);
    {
        // Half of 64 MB stays free: 4 MB of the 36 MB available may go; the image needs 8 MB.
        ScriptedMemory memory(64ull << 20, 36ull << 20);
        Image2d<ullong> im;
        im.AppendPlanes(1);
        EXPECT_EQ(Image2d<ullong>::ReadTiff(path, im, nullptr), kTiffNoMemory);
        EXPECT_EQ(im.GetNumChannels(), 1);
    }
    ScriptedMemory memory(64ull << 20, 48ull << 20);
    Image2d<ullong> im;
    ASSERT_EQ(Image2d<ullong>::ReadTiff(path, im, nullptr), kTiffOk);
    EXPECT_EQ(im.GetNumChannels(), kSamples);
    EXPECT_EQ(im.Plane(kSamples - 1)[255], 3u);
}

TEST(MemoryGuard, BlocksHeldCountUntilTheyAreFreed) {
    VoxelAllocator allocator(0);
    const std::uint64_t before = VoxelBytesInUse();
    float* a = allocator.Allocate<float>(1 << 20);
    ASSERT_TRUE(a);
    EXPECT_GE(VoxelBytesInUse(), before + (4u << 20));
    VoxelAllocator::Free(a);
    EXPECT_EQ(VoxelBytesInUse(), before);
}

// Opens the named pipes for writing, again and again, once `after` has passed: a reader blocked in
// its opening then wakes up (and the test sees how long it waited) instead of hanging for good.
class PipeRelease {
public:
    PipeRelease(std::vector<std::string> pipes, std::chrono::seconds after)
        : thread_([this, pipes, after] {
              const auto start = std::chrono::steady_clock::now();
              while (!done_) {
                  std::this_thread::sleep_for(std::chrono::milliseconds(50));
                  if (std::chrono::steady_clock::now() - start < after) continue;
                  for (const std::string& p : pipes) {
                      const int fd = ::open(p.c_str(), O_WRONLY | O_NONBLOCK);
                      if (fd >= 0) ::close(fd);
                  }
              }
          }) {}
    ~PipeRelease() {
        done_ = true;
        thread_.join();
    }

private:
    std::atomic<bool> done_{false};
    std::thread thread_;
};

TEST(SliceFilesThatAreNoFiles, NamedPipesAndFoldersAreRefusedWithoutWaiting) {
    TempFolder dir("pipes");
    const std::string tif = dir.Path("pipe.tif"), grd = dir.Path("pipe.grd"), folder = dir.Path("folder.tif");
    ASSERT_EQ(::mkfifo(tif.c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(grd.c_str(), 0600), 0);
    std::filesystem::create_directory(folder);
    PipeRelease release({tif, grd}, std::chrono::seconds(5));
    const auto start = std::chrono::steady_clock::now();
    for (const std::string& p : {tif, grd, folder}) {
        SCOPED_TRACE(p);
        EXPECT_FALSE(IsRegularFile(p));
        errno = 0;
        EXPECT_EQ(OpenRegularFile(p), -1);
        EXPECT_EQ(errno, EINVAL);
        EXPECT_EQ(OpenRegularFileStream(p), nullptr);
        bool isFloat = true;
        EXPECT_EQ(IsTiffFloat(p, &isFloat), kTiffCannotOpen);
        Image2d<float> im;
        EXPECT_EQ(Image2d<float>::ReadTiff(p, im, nullptr), kTiffCannotOpen);
        EXPECT_NE(Image2d<float>::ReadGrdVod(p, im), 0);
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    // A regular file, and a link to one, are opened as before.
    const std::string file = dir.Path("file.grd"), link = dir.Path("link.grd");
    testing::WriteFileBytes(file, {1, 2, 3});
    std::filesystem::create_symlink(file, link);
    for (const std::string& p : {file, link}) {
        EXPECT_TRUE(IsRegularFile(p));
        std::FILE* f = OpenRegularFileStream(p);
        ASSERT_TRUE(f);
        EXPECT_EQ(std::fgetc(f), 1);
        std::fclose(f);
    }
}

}  // namespace
}  // namespace zun
