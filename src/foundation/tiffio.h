#pragma once
// TIFF slice files: the float probe and the result codes of the readers and writers, which are
// members of Image2d (image.h). No code comes with a message; callers turn codes into texts.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

typedef struct tiff TIFF;

namespace zun {

enum TiffResult : int {
    kTiffOk = 0,
    kTiffNoMemory = -1,
    kTiffCannotOpen = 1,           // also: the writer cannot create the file
    kTiffTagRefused = 6,           // writer: the library refused a tag
    kTiffDirectoryNotWritten = 8,  // writer: the directory or the data could not be written
    kTiffNoWidth = 9,
    kTiffNoLength = 10,
    kTiffNoBitsPerSample = 11,
    kTiffNoPlanarConfig = 12,
    // Samples the reader cannot take: a depth other than 8, 16, 32 or 64 bits (or 12 with one
    // sample per pixel or separate planes), a tiled file, or data that cannot be read.
    kTiffUnsupported = 14,
    kTiffNoPhotometric = 15,
    kTiffPaletteSamples = 16,
    kTiffPaletteDepth = 17,
    kTiffNoColorMap = 18,
};

// 0, 1 (cannot open) or 11 (no BitsPerSample). On 0 `isFloat` (optional) tells whether the
// samples are 32-bit IEEE floats (a file without SampleFormat is never float).
int IsTiffFloat(const std::string& path, bool* isFloat);

// A TIFF file opened for reading its samples: the reading of Image2d<T>::ReadTiff in two steps, so
// that a caller which wants only the first channel can read it into a block of its own choosing.
// Elements receive the samples by the raw rule: the first min(sample, element) bytes, zeros after.
class TiffReader {
public:
    TiffReader();
    ~TiffReader();
    TiffReader(const TiffReader&) = delete;
    TiffReader& operator=(const TiffReader&) = delete;

    // The reader's result code for everything before the samples: 0, 1, 9-12 or 14-18. The same
    // as OpenFile, then ReadTags.
    int Open(const std::string& path);
    // 0 or 1 (cannot open, as a plain file or by the library).
    int OpenFile(const std::string& path);
    // The float probe on the open file: IsTiffFloat's 0 or 11.
    int ProbeFloat(bool* isFloat) const;
    // Checks the open file's tags: 0, 9-12 or 14-18.
    int ReadTags();

    std::uint32_t Width() const { return width; }
    std::uint32_t Length() const { return length; }
    // Channels of the image (3 for a palette file).
    int Channels() const { return channels; }
    int BitsPerSample() const { return bps; }
    // Bytes an element needs to hold every sample exactly (1, 2, 4 or 8).
    std::size_t SampleBytes() const { return sampleBytes; }

    // Fills the first `count` channels' blocks (width x length elements each, count at most
    // Channels()). The other channels' data are read all the same, so that a file is refused
    // exactly as when every channel is read. False when the library cannot read the data; the
    // blocks then hold nothing useful. T is uint8, unsigned short, unsigned int, ullong or float.
    template <class T>
    bool ReadPlanes(T* const* planes, int count);

private:
    struct Closer {
        void operator()(TIFF* t) const;
    };

    bool StripsHoldTheImage(std::uint32_t w, std::uint32_t h, std::uint16_t spp, std::uint16_t depth) const;
    template <class T>
    bool ReadStrips(T* const* planes, int count);
    template <class T>
    bool ReadLines(T* const* planes, int count);
    template <class T>
    bool ReadPalette(T* const* planes, int count);
    // Stores `pixels` decoded pixels of one plane of the file, from row y on, into the blocks.
    template <class T>
    void StoreRows(const std::uint8_t* data, std::size_t filePlane, std::size_t y, std::size_t pixels,
                   T* const* planes, int count) const;
    template <class T>
    bool ReadTwelveBit(T* const* planes, int count);

    std::unique_ptr<TIFF, Closer> tif;
    std::uint32_t width = 0, length = 0;
    int channels = 0, bps = 0;
    std::size_t sampleBytes = 0;
    bool separate = false, palette = false;
    const std::uint16_t* colorMap[3] = {nullptr, nullptr, nullptr};
};

}  // namespace zun
