#include "foundation/tiffio.h"

#include <tiffio.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "foundation/image.h"

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

TiffPtr OpenTiff(const std::string& path, const char* mode) {
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (!opts) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(opts, &Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, &Quiet, nullptr);
    TiffPtr t(TIFFOpenExt(path.c_str(), mode, opts));
    TIFFOpenOptionsFree(opts);
    return t;
}

bool CanOpenPlain(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return false;
    std::fclose(f);
    return true;
}

// Stores a sample of b bytes into an element of w bytes: the first min(b, w) bytes, zeros after.
inline void StoreRaw(std::uint8_t* elem, std::size_t w, const std::uint8_t* sample, std::size_t b) {
    const std::size_t copy = std::min(b, w);
    std::memcpy(elem, sample, copy);
    if (copy < w) std::memset(elem + copy, 0, w - copy);
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

// Reads one scanline into a buffer zeroed first; false when the library fails.
bool ReadLine(TIFF* t, std::vector<std::uint8_t>& buf, std::uint32_t y, std::uint16_t plane) {
    std::fill(buf.begin(), buf.end(), 0);
    return TIFFReadScanline(t, buf.data(), y, plane) >= 0;
}

template <class T>
int ReadTiffImpl(const std::string& path, Image2d<T>& image, int* bitsPerSample) {
    if (!CanOpenPlain(path)) return kTiffCannotOpen;
    TiffPtr tif = OpenTiff(path, "r");
    if (!tif) return kTiffCannotOpen;
    TIFF* t = tif.get();
    std::uint32_t width = 0, length = 0;
    std::uint16_t spp = 1, bps = 0, planar = 0, photometric = 0;
    if (!TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width)) return kTiffNoWidth;
    if (!TIFFGetField(t, TIFFTAG_IMAGELENGTH, &length)) return kTiffNoLength;
    if (!TIFFGetField(t, TIFFTAG_SAMPLESPERPIXEL, &spp)) spp = 1;
    if (!TIFFGetField(t, TIFFTAG_BITSPERSAMPLE, &bps)) return kTiffNoBitsPerSample;
    if (!TIFFGetField(t, TIFFTAG_PLANARCONFIG, &planar)) return kTiffNoPlanarConfig;
    if (!TIFFGetField(t, TIFFTAG_PHOTOMETRIC, &photometric)) return kTiffNoPhotometric;
    const bool separate = planar == PLANARCONFIG_SEPARATE;
    const bool depthOk =
        bps == 8 || bps == 16 || bps == 32 || bps == 64 || (bps == 12 && (spp == 1 || separate));
    // Tiles cannot be read by scanline: refused rather than imported as empty rows.
    if (!depthOk || TIFFIsTiled(t) || spp == 0) return kTiffUnsupported;
    if (width > 0x7FFFFFFFu || length > 0x7FFFFFFFu) return kTiffUnsupported;
    const std::size_t B = (bps + 7) / 8;

    const bool palette = photometric == PHOTOMETRIC_PALETTE;
    std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (palette) {
        if (spp != 1) return kTiffPaletteSamples;
        if (bps != 8) return kTiffPaletteDepth;
        if (!TIFFGetField(t, TIFFTAG_COLORMAP, &red, &green, &blue)) return kTiffNoColorMap;
    }
    const int n = palette ? 3 : spp;

    bool failed = false;
    const int change = MatchChannels(image, n, failed);
    if (failed) return kTiffNoMemory;
    if (image.Resize({static_cast<int>(width), static_cast<int>(length)}) < 0) {
        UndoChannels(image, change);
        return kTiffNoMemory;
    }

    constexpr std::size_t W = sizeof(T);
    const std::size_t nx = width;
    // The library may need more than our own row size (it decides what a scanline is).
    const auto lineSize = static_cast<std::size_t>(std::max<tmsize_t>(TIFFScanlineSize(t), 0));
    auto buffer = [&](std::size_t want) {
        return std::vector<std::uint8_t>(std::max(want, lineSize) + 8, 0);
    };
    bool ok = true;
    if (palette) {
        const std::uint16_t* maps[3] = {red, green, blue};
        std::vector<std::uint8_t> buf = buffer(nx);
        for (std::uint32_t y = 0; y < length && ok; ++y) {
            ok = ReadLine(t, buf, y, 0);
            for (std::size_t x = 0; x < nx; ++x)
                for (int c = 0; c < 3; ++c) {
                    const double e = maps[c][buf[x]];
                    const auto v = static_cast<std::uint8_t>(std::trunc(e * 256.0 / 65536.0));
                    StoreRaw(reinterpret_cast<std::uint8_t*>(image.Plane(c) + y * nx + x), W, &v, 1);
                }
        }
    } else if (bps == 12) {
        std::vector<std::uint8_t> buf = buffer((nx * 12 + 7) / 8);
        for (int c = 0; c < n && ok; ++c)
            for (std::uint32_t y = 0; y < length && ok; ++y) {
                ok = ReadLine(t, buf, y, static_cast<std::uint16_t>(c));
                for (std::size_t x = 0; x < nx; ++x) {
                    const std::size_t at = 3 * x / 2;
                    const unsigned v = (x % 2 == 0) ? (buf[at] << 4) | (buf[at + 1] >> 4)
                                                    : ((buf[at] & 0x0F) << 8) | buf[at + 1];
                    const std::uint8_t s[2] = {static_cast<std::uint8_t>(v & 0xFF),
                                               static_cast<std::uint8_t>(v >> 8)};
                    StoreRaw(reinterpret_cast<std::uint8_t*>(image.Plane(c) + y * nx + x), W, s, 2);
                }
            }
    } else if (separate) {
        std::vector<std::uint8_t> buf = buffer(B * nx);
        for (int c = 0; c < n && ok; ++c)
            for (std::uint32_t y = 0; y < length && ok; ++y) {
                ok = ReadLine(t, buf, y, static_cast<std::uint16_t>(c));
                auto* row = reinterpret_cast<std::uint8_t*>(image.Plane(c) + y * nx);
                for (std::size_t x = 0; x < nx; ++x) StoreRaw(row + x * W, W, &buf[x * B], B);
            }
    } else {
        std::vector<std::uint8_t> buf = buffer(B * n * nx);
        for (std::uint32_t y = 0; y < length && ok; ++y) {
            ok = ReadLine(t, buf, y, 0);
            const std::uint8_t* s = buf.data();
            for (std::size_t x = 0; x < nx; ++x)
                for (int c = 0; c < n; ++c, s += B)
                    StoreRaw(reinterpret_cast<std::uint8_t*>(image.Plane(c) + y * nx + x), W, s, B);
        }
    }
    if (!ok) {
        // Unreadable data is not imported as rows of zeros.
        image.ClearAll();
        UndoChannels(image, change);
        return kTiffUnsupported;
    }
    if (bitsPerSample) *bitsPerSample = bps;
    return kTiffOk;
}

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
    int result = kTiffOk;
    {
        TiffPtr tif = OpenTiff(temp, "w");
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
    if (!CanOpenPlain(path)) return kTiffCannotOpen;
    TiffPtr tif = OpenTiff(path, "r");
    if (!tif) return kTiffCannotOpen;
    std::uint16_t bps = 0, format = 0;
    if (!TIFFGetField(tif.get(), TIFFTAG_BITSPERSAMPLE, &bps)) return kTiffNoBitsPerSample;
    if (!TIFFGetField(tif.get(), TIFFTAG_SAMPLEFORMAT, &format)) format = SAMPLEFORMAT_VOID;
    if (isFloat) *isFloat = bps == 32 && format == SAMPLEFORMAT_IEEEFP;
    return kTiffOk;
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
