#include "foundation/tiffio.h"

#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "foundation/image.h"
#include "foundation/pathutil.h"

namespace zun {

namespace {

// The readers and writers report through codes only: the library's own messages stay quiet.
int Quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// For reading, `fd` is a regular file opened by the caller (the library then owns it); for writing
// -1, and the library creates the file.
TIFF* OpenTiff(const std::string& path, const char* mode, int fd = -1) {
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (!opts) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(opts, &Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, &Quiet, nullptr);
    TIFF* t = fd >= 0 ? TIFFFdOpenExt(fd, path.c_str(), mode, opts) : TIFFOpenExt(path.c_str(), mode, opts);
    TIFFOpenOptionsFree(opts);
    return t;
}

// The unsigned integer of N bytes (1, 2, 4 or 8).
template <std::size_t N>
using UnsignedOf = std::conditional_t<
    N == 1, std::uint8_t,
    std::conditional_t<N == 2, std::uint16_t, std::conditional_t<N == 4, std::uint32_t, std::uint64_t>>>;

// On a little-endian machine the raw rule (the first bytes copied, zeros after) is a plain integer
// widening or truncation of the sample. Kept branch-free so that the loops vectorise.
template <class T, class U>
void StoreAs(const std::uint8_t* __restrict src, std::size_t count, std::size_t stride, T* __restrict dst) {
    using E = UnsignedOf<sizeof(T)>;
    const std::size_t step = stride * sizeof(U);
    if (stride == 1) {
#pragma omp simd
        for (std::size_t i = 0; i < count; ++i) {
            U u;
            std::memcpy(&u, src + i * sizeof(U), sizeof(U));
            const E e = static_cast<E>(u);
            std::memcpy(dst + i, &e, sizeof(T));
        }
        return;
    }
#pragma omp simd
    for (std::size_t i = 0; i < count; ++i) {
        U u;
        std::memcpy(&u, src + i * step, sizeof(U));
        const E e = static_cast<E>(u);
        std::memcpy(dst + i, &e, sizeof(T));
    }
}

// Stores `count` samples of b bytes, `stride` samples apart, into consecutive elements.
template <class T>
void StoreSamples(const std::uint8_t* src, std::size_t count, std::size_t stride, std::size_t b, T* dst) {
    switch (b) {
        case 1:
            return StoreAs<T, std::uint8_t>(src, count, stride, dst);
        case 2:
            return StoreAs<T, std::uint16_t>(src, count, stride, dst);
        case 4:
            return StoreAs<T, std::uint32_t>(src, count, stride, dst);
        default:
            return StoreAs<T, std::uint64_t>(src, count, stride, dst);
    }
}

template <class T>
void StoreValue(T* elem, unsigned v) {
    const auto e = static_cast<UnsignedOf<sizeof(T)>>(v);
    std::memcpy(elem, &e, sizeof(T));
}

// Reads one scanline into a buffer zeroed first; false when the library fails.
bool ReadLine(TIFF* t, std::vector<std::uint8_t>& buf, std::uint32_t y, std::uint16_t plane) {
    std::fill(buf.begin(), buf.end(), 0);
    return TIFFReadScanline(t, buf.data(), y, plane) >= 0;
}

// A scanline buffer of at least `want` bytes: the library may need more than our own row size (it
// decides what a scanline is).
std::vector<std::uint8_t> LineBuffer(TIFF* t, std::size_t want) {
    const auto lineSize = static_cast<std::size_t>(std::max<tmsize_t>(TIFFScanlineSize(t), 0));
    return std::vector<std::uint8_t>(std::max(want, lineSize) + 8, 0);
}

// a * b, or UINT64_MAX when that overflows.
std::uint64_t SaturatingProduct(std::uint64_t a, std::uint64_t b) {
    std::uint64_t p = 0;
    return __builtin_mul_overflow(a, b, &p) ? UINT64_MAX : p;
}

// The most bytes one byte of a strip can decode to: a run of 128 bytes in 2 (PackBits), the
// longest string in one 12-bit code (LZW), 258 bytes in 2 bits (Deflate). Other codecs (JPEG, ZSTD,
// LZMA, WebP, ...) get the ratio of a run in a ZSTD block, the largest of those in use.
std::uint64_t MostDecodedPerByte(std::uint16_t compression) {
    switch (compression) {
        case COMPRESSION_NONE:
            return 1;
        case COMPRESSION_PACKBITS:
            return 64;
        case COMPRESSION_LZW:
            return 4096 * 8 / 12 + 1;
        case COMPRESSION_ADOBE_DEFLATE:
        case COMPRESSION_DEFLATE:
            return 1032;
        default:
            return 32768;
    }
}

// Makes the image hold n channels; returns the change made (positive added, negative removed) or
// sets `failed`.
template <class T>
int MatchChannels(Image2d<T>& image, int n, bool& failed) {
    const int have = image.GetNumChannels();
    failed = false;
    if (have < n) {
        if (image.AppendPlanes(n - have) < 0) failed = true;
        return n - have;
    }
    for (int i = have; i > n; --i) image.RemoveChannel(i - 1);
    return n - have;
}

template <class T>
void UndoChannels(Image2d<T>& image, int change) {
    if (change > 0) image.RemoveLastChannels(change);
    if (change < 0) image.AppendPlanes(-change);
}

template <class T>
int ReadTiffImpl(const std::string& path, Image2d<T>& image, int* bitsPerSample) {
    TiffReader reader;
    const int opened = reader.Open(path);
    if (opened != kTiffOk) return opened;
    const int n = reader.Channels();
    bool failed = false;
    const int change = MatchChannels(image, n, failed);
    if (failed) return kTiffNoMemory;
    if (image.Resize({static_cast<int>(reader.Width()), static_cast<int>(reader.Length())}) < 0) {
        UndoChannels(image, change);
        return kTiffNoMemory;
    }
    std::vector<T*> planes(static_cast<std::size_t>(n));
    for (int c = 0; c < n; ++c) planes[static_cast<std::size_t>(c)] = image.Plane(c);
    if (!reader.ReadPlanes(planes.data(), n)) {
        // Unreadable data is not imported as rows of zeros.
        image.ClearAll();
        UndoChannels(image, change);
        return kTiffUnsupported;
    }
    if (bitsPerSample) *bitsPerSample = reader.BitsPerSample();
    return kTiffOk;
}

}  // namespace

// --- TiffReader ---

void TiffReader::Closer::operator()(TIFF* t) const {
    TIFFClose(t);
}

TiffReader::TiffReader() = default;
TiffReader::~TiffReader() = default;

int TiffReader::Open(const std::string& path) {
    const int opened = OpenFile(path);
    return opened != kTiffOk ? opened : ReadTags();
}

int TiffReader::OpenFile(const std::string& path) {
    tif.reset();
    channels = 0;
    const int fd = OpenRegularFile(path);
    if (fd < 0) return kTiffCannotOpen;
    tif.reset(OpenTiff(path, "r", fd));
    if (!tif) ::close(fd);
    return tif ? kTiffOk : kTiffCannotOpen;
}

int TiffReader::ProbeFloat(bool* isFloat) const {
    if (!tif) return kTiffCannotOpen;
    std::uint16_t depth = 0, format = 0;
    if (!TIFFGetField(tif.get(), TIFFTAG_BITSPERSAMPLE, &depth)) return kTiffNoBitsPerSample;
    if (!TIFFGetField(tif.get(), TIFFTAG_SAMPLEFORMAT, &format)) format = SAMPLEFORMAT_VOID;
    if (isFloat) *isFloat = depth == 32 && format == SAMPLEFORMAT_IEEEFP;
    return kTiffOk;
}

int TiffReader::ReadTags() {
    if (!tif) return kTiffCannotOpen;
    TIFF* t = tif.get();
    std::uint32_t w = 0, h = 0;
    std::uint16_t spp = 1, depth = 0, planar = 0, photometric = 0;
    if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &w)) return kTiffNoWidth;
    if (!TIFFGetField(t, TIFFTAG_IMAGELENGTH, &h)) return kTiffNoLength;
    if (!TIFFGetField(t, TIFFTAG_SAMPLESPERPIXEL, &spp)) spp = 1;
    if (!TIFFGetField(t, TIFFTAG_BITSPERSAMPLE, &depth)) return kTiffNoBitsPerSample;
    if (!TIFFGetField(t, TIFFTAG_PLANARCONFIG, &planar)) return kTiffNoPlanarConfig;
    if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric)) return kTiffNoPhotometric;
    separate = planar == PLANARCONFIG_SEPARATE;
    const bool depthOk =
        depth == 8 || depth == 16 || depth == 32 || depth == 64 || (depth == 12 && (spp == 1 || separate));
    // Tiles cannot be read by scanline: refused rather than imported as empty rows.
    if (!depthOk || TIFFIsTiled(t) || spp == 0) return kTiffUnsupported;
    if (w > 0x7FFFFFFFu || h > 0x7FFFFFFFu) return kTiffUnsupported;
    palette = photometric == PHOTOMETRIC_PALETTE;
    if (palette) {
        if (spp != 1) return kTiffPaletteSamples;
        if (depth != 8) return kTiffPaletteDepth;
        std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (!TIFFGetField(t, TIFFTAG_COLORMAP, &red, &green, &blue)) return kTiffNoColorMap;
        colorMap[0] = red;
        colorMap[1] = green;
        colorMap[2] = blue;
    }
    if (!StripsHoldTheImage(w, h, spp, depth)) return kTiffUnsupported;
    width = w;
    length = h;
    bps = depth;
    channels = palette ? 3 : spp;
    sampleBytes = (static_cast<std::size_t>(depth) + 7) / 8;
    return kTiffOk;
}

// The header is checked against the file before anything is allocated for the image it claims: a
// few hundred bytes may claim gigabytes. Every strip must lie within the file and have bytes, and
// the strips, decoded at the best ratio their compression allows, must be able to give the whole
// image. A file that passes may still turn out unreadable, but no longer costs more memory than its
// own size can account for.
bool TiffReader::StripsHoldTheImage(std::uint32_t w, std::uint32_t h, std::uint16_t spp,
                                    std::uint16_t depth) const {
    TIFF* t = tif.get();
    const bool planes = separate && spp > 1;
    const std::uint64_t rowBits = SaturatingProduct(SaturatingProduct(w, planes ? 1 : spp), depth);
    const std::uint64_t rowBytes = rowBits / 8 + (rowBits % 8 != 0);
    const std::uint64_t image = SaturatingProduct(SaturatingProduct(rowBytes, h), planes ? spp : 1);
    if (image == 0) return true;  // nothing to read; the readers refuse an empty image themselves
    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression);
    const std::uint64_t fileSize = TIFFGetSizeProc(t)(TIFFClientdata(t));
    const std::uint64_t strips = TIFFNumberOfStrips(t);
    // Each strip's offset takes bytes of the file too (bar a single one, kept in its tag).
    if (strips == 0 || strips > fileSize) return false;
    std::uint64_t stored = 0;
    for (std::uint32_t s = 0; s < strips; ++s) {
        int failed = 0;
        const std::uint64_t offset = TIFFGetStrileOffsetWithErr(t, s, &failed);
        const std::uint64_t bytes = TIFFGetStrileByteCountWithErr(t, s, &failed);
        if (failed || bytes == 0 || offset > fileSize || bytes > fileSize - offset) return false;
        stored = stored + bytes < stored ? UINT64_MAX : stored + bytes;
    }
    return SaturatingProduct(stored, MostDecodedPerByte(compression)) >= image;
}

template <class T>
bool TiffReader::ReadPlanes(T* const* planes, int count) {
    if (!tif || channels == 0) return false;
    count = std::clamp(count, 0, channels);
    if (palette) return ReadPalette(planes, count);
    if (bps == 12) return ReadTwelveBit(planes, count);
    return ReadStrips(planes, count) || ReadLines(planes, count);
}

// Whole strips, straight into the blocks where the element is as wide as the sample. Taken only
// where a strip's bytes are exactly its scanlines: uncompressed, in the usual bit order, with
// strips that lie within the file and hold every row they cover. Anything else goes by scanline.
template <class T>
bool TiffReader::ReadStrips(T* const* planes, int count) {
    if constexpr (std::endian::native != std::endian::little) return false;
    TIFF* t = tif.get();
    std::uint16_t compression = 0, fillOrder = 0;
    std::uint32_t rowsPerStrip = 0;
    if (!TIFFGetFieldDefaulted(t, TIFFTAG_COMPRESSION, &compression) || compression != COMPRESSION_NONE)
        return false;
    if (!TIFFGetFieldDefaulted(t, TIFFTAG_FILLORDER, &fillOrder) || fillOrder != FILLORDER_MSB2LSB)
        return false;
    if (!TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip) || rowsPerStrip == 0) return false;
    if (length == 0 || width == 0) return false;
    const std::size_t n = static_cast<std::size_t>(channels), nx = width, b = sampleBytes;
    const std::size_t filePlanes = separate ? n : 1, rowSamples = separate ? nx : nx * n;
    const std::uint64_t rowBytes = rowSamples * b;
    if (TIFFScanlineSize64(t) != rowBytes) return false;
    const std::uint32_t rps = std::min(rowsPerStrip, length);
    const std::uint32_t strips = (length + rps - 1) / rps;
    if (TIFFNumberOfStrips(t) != strips * filePlanes) return false;
    const std::uint64_t fileSize = TIFFGetSizeProc(t)(TIFFClientdata(t));
    for (std::uint32_t s = 0; s < strips * filePlanes; ++s) {
        const std::uint32_t rows = std::min(rps, length - (s % strips) * rps);
        const std::uint64_t offset = TIFFGetStrileOffset(t, s), bytes = TIFFGetStrileByteCount(t, s);
        if (bytes < rows * rowBytes || offset > fileSize || bytes > fileSize - offset) return false;
    }
    constexpr std::size_t W = sizeof(T);
    const bool direct = W == b && filePlanes == n;
    std::unique_ptr<std::uint8_t[]> staging;
    if (!direct || static_cast<std::size_t>(count) < filePlanes) {
        // Without room for a strip the scanlines still serve.
        try {
            staging = std::make_unique_for_overwrite<std::uint8_t[]>(rps * rowBytes);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    for (std::size_t p = 0; p < filePlanes; ++p)
        for (std::uint32_t s = 0; s < strips; ++s) {
            const std::uint32_t y = s * rps, rows = std::min(rps, length - y);
            const auto bytes = static_cast<tmsize_t>(rows * rowBytes);
            T* into = direct && p < static_cast<std::size_t>(count) ? planes[p] + y * nx : nullptr;
            void* buf = into ? static_cast<void*>(into) : staging.get();
            if (TIFFReadEncodedStrip(t, static_cast<std::uint32_t>(p) * strips + s, buf, bytes) != bytes)
                return false;
            if (!into) StoreRows(staging.get(), p, y, rows * nx, planes, count);
        }
    return true;
}

template <class T>
bool TiffReader::ReadLines(T* const* planes, int count) {
    TIFF* t = tif.get();
    const std::size_t filePlanes = separate ? static_cast<std::size_t>(channels) : 1;
    std::vector<std::uint8_t> buf = LineBuffer(t, sampleBytes * width * (separate ? 1 : channels));
    for (std::size_t p = 0; p < filePlanes; ++p)
        for (std::uint32_t y = 0; y < length; ++y) {
            if (!ReadLine(t, buf, y, static_cast<std::uint16_t>(p))) return false;
            StoreRows(buf.data(), p, y, width, planes, count);
        }
    return true;
}

template <class T>
void TiffReader::StoreRows(const std::uint8_t* data, std::size_t filePlane, std::size_t y, std::size_t pixels,
                           T* const* planes, int count) const {
    const std::size_t at = y * width, b = sampleBytes, wanted = static_cast<std::size_t>(count);
    if (separate) {
        if (filePlane < wanted) StoreSamples(data, pixels, 1, b, planes[filePlane] + at);
        return;
    }
    for (std::size_t c = 0; c < wanted; ++c)
        StoreSamples(data + c * b, pixels, static_cast<std::size_t>(channels), b, planes[c] + at);
}

template <class T>
bool TiffReader::ReadPalette(T* const* planes, int count) {
    TIFF* t = tif.get();
    // The entry's high byte, computed as the floating-point quotient truncated toward zero.
    std::uint8_t high[3][256];
    for (int c = 0; c < 3; ++c)
        for (int i = 0; i < 256; ++i)
            high[c][i] = static_cast<std::uint8_t>(std::trunc(colorMap[c][i] * 256.0 / 65536.0));
    const std::size_t nx = width;
    std::vector<std::uint8_t> buf = LineBuffer(t, nx);
    for (std::uint32_t y = 0; y < length; ++y) {
        if (!ReadLine(t, buf, y, 0)) return false;
        for (int c = 0; c < count; ++c) {
            T* row = planes[c] + y * nx;
            for (std::size_t x = 0; x < nx; ++x) StoreValue(row + x, high[c][buf[x]]);
        }
    }
    return true;
}

template <class T>
bool TiffReader::ReadTwelveBit(T* const* planes, int count) {
    TIFF* t = tif.get();
    const std::size_t nx = width;
    std::vector<std::uint8_t> buf = LineBuffer(t, (nx * 12 + 7) / 8);
    for (int c = 0; c < channels; ++c)
        for (std::uint32_t y = 0; y < length; ++y) {
            if (!ReadLine(t, buf, y, static_cast<std::uint16_t>(c))) return false;
            if (c >= count) continue;
            T* row = planes[c] + y * nx;
            for (std::size_t x = 0; x < nx; ++x) {
                const std::size_t at = 3 * x / 2;
                const unsigned v = (x % 2 == 0) ? (buf[at] << 4) | (buf[at + 1] >> 4)
                                                : ((buf[at] & 0x0F) << 8) | buf[at + 1];
                StoreValue(row + x, v);
            }
        }
    return true;
}

template bool TiffReader::ReadPlanes(std::uint8_t* const*, int);
template bool TiffReader::ReadPlanes(std::uint16_t* const*, int);
template bool TiffReader::ReadPlanes(std::uint32_t* const*, int);
template bool TiffReader::ReadPlanes(ullong* const*, int);
template bool TiffReader::ReadPlanes(float* const*, int);

namespace {

template <class T>
constexpr std::uint16_t SampleFormatOf() {
    if constexpr (std::is_floating_point_v<T>) return SAMPLEFORMAT_IEEEFP;
    if constexpr (std::is_integral_v<T> && std::is_signed_v<T>) return SAMPLEFORMAT_INT;
    if constexpr (std::is_integral_v<T> && std::is_unsigned_v<T>) return SAMPLEFORMAT_UINT;
    return SAMPLEFORMAT_VOID;
}

template <class T>
int WriteTiffImpl(const std::string& path, const Image2d<T>& image) {
    // Written under a temporary name and renamed into place: a failed write leaves any old file.
    const std::string temp = path + ".part" + std::to_string(::getpid());
    // An image without pixels makes a file the reader refuses: refused here with the reader's
    // code, before any file is made.
    if (image.nx <= 0) return kTiffNoWidth;
    if (image.ny <= 0) return kTiffNoLength;
    int result = kTiffOk;
    {
        TiffPtr tif(OpenTiff(temp, "w"));
        if (!tif) return kTiffCannotOpen;
        TIFF* t = tif.get();
        const int channels = image.GetNumChannels();
        const std::uint32_t width = static_cast<std::uint32_t>(std::max(image.nx, 0));
        const std::uint32_t length = static_cast<std::uint32_t>(std::max(image.ny, 0));
        const bool tagsOk =
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width) && TIFFSetField(t, TIFFTAG_IMAGELENGTH, length) &&
            TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(channels)) &&
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(8 * sizeof(T))) &&
            TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, SampleFormatOf<T>()) &&
            TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, channels == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK) &&
            TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
            TIFFSetField(t, TIFFTAG_SOFTWARE, "Zun Image Library");
        if (!tagsOk) {
            result = kTiffTagRefused;
        } else {
            std::vector<T> row(static_cast<std::size_t>(width) * channels + 1);
            for (std::uint32_t y = 0; y < length && result == kTiffOk; ++y) {
                T* out = row.data();
                for (std::uint32_t x = 0; x < width; ++x)
                    for (int c = 0; c < channels; ++c)
                        *out++ = image.Plane(c)[static_cast<std::size_t>(y) * width + x];
                if (TIFFWriteScanline(t, row.data(), y, 0) < 0) result = kTiffDirectoryNotWritten;
            }
            if (result == kTiffOk && !TIFFWriteDirectory(t)) result = kTiffDirectoryNotWritten;
        }
    }
    std::error_code ec;
    if (result == kTiffOk) {
        std::filesystem::rename(temp, path, ec);
        if (ec) result = kTiffCannotOpen;
    }
    if (result != kTiffOk) std::filesystem::remove(temp, ec);
    return result;
}

}  // namespace

int IsTiffFloat(const std::string& path, bool* isFloat) {
    TiffReader reader;
    const int opened = reader.OpenFile(path);
    return opened != kTiffOk ? opened : reader.ProbeFloat(isFloat);
}

template <class T>
int Image2d<T>::ReadTiff(const std::string& path, Image2d<T>& image,
                         int* bitsPerSample) requires(std::same_as<T, float> || std::same_as<T, ullong> ||
                                                      std::same_as<T, uint8>) {
    return ReadTiffImpl(path, image, bitsPerSample);
}

template <class T>
int Image2d<T>::WriteTiff(const std::string& path,
                          const Image2d<T>& image) requires(std::same_as<T, uint8> ||
                                                            std::same_as<T, imtype>) {
    return WriteTiffImpl(path, image);
}

template <class T>
void Image2d<T>::GetMaxValue(const Image2d<T>& image, float* maximum) requires std::same_as<T, float> {
    if (image.GetNumChannels() == 0 || image.GetNumVoxels() == 0) return;
    const float* p = image.Plane(0);
    float m = p[0];
    for (std::uint64_t i = 1; i < image.GetNumVoxels(); ++i)
        if (p[i] > m) m = p[i];
    if (maximum) *maximum = m;
}

template int Image2d<float>::ReadTiff(const std::string&, Image2d<float>&, int*);
template int Image2d<ullong>::ReadTiff(const std::string&, Image2d<ullong>&, int*);
template int Image2d<uint8>::ReadTiff(const std::string&, Image2d<uint8>&, int*);
template int Image2d<uint8>::WriteTiff(const std::string&, const Image2d<uint8>&);
template int Image2d<imtype>::WriteTiff(const std::string&, const Image2d<imtype>&);
template void Image2d<float>::GetMaxValue(const Image2d<float>&, float*);

}  // namespace zun
