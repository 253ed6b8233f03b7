#include "foundation/pngwriter.h"

#include <png.h>
#include <unistd.h>

#include <csetjmp>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace zun {

namespace {

// What the libpng callbacks see of the output.
struct PngSink {
    std::ofstream* stream = nullptr;
    bool failed = false;
};

extern "C" void PngWriteToStream(png_structp png, png_bytep data, png_size_t length) {
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    sink->stream->write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(length));
    if (!sink->stream->good()) sink->failed = true;
}

extern "C" void PngFlushStream(png_structp png) {
    auto* sink = static_cast<PngSink*>(png_get_io_ptr(png));
    sink->stream->flush();
    if (!sink->stream->good()) sink->failed = true;
}

extern "C" void PngQuietWarning(png_structp, png_const_charp) {}

struct PngHeader {
    png_uint_32 width = 0, height = 0;
    int bitDepth = 8;
    int colourType = PNG_COLOR_TYPE_GRAY;
};

// The libpng part. libpng reports errors by longjmp back to this frame, so nothing here may own
// a resource with a destructor: the caller owns the stream and the rows.
int WriteRows(PngSink* sink, const PngHeader* header, png_bytep* rows) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, PngQuietWarning);
    if (!png) return 1;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return 1;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return 1;
    }
    png_set_write_fn(png, sink, PngWriteToStream, PngFlushStream);
    png_set_IHDR(png, info, header->width, header->height, header->bitDepth, header->colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 0);
    // Stored blocks gain nothing from row filters; leaving them off keeps the writing at disk speed.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_write_info(png, info);
    // Samples are held in the machine's little-endian order; PNG stores them big-endian.
    if (header->bitDepth == 16) png_set_swap(png);
    png_write_image(png, rows);
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return 0;
}

template <class T>
int WritePng(const Image2d<T>& image, const std::string& fileName, int bitDepth, bool grey) {
    const int channels = grey ? 1 : 4;
    if (image.nx <= 0 || image.ny <= 0 || image.GetNumChannels() != channels) return 1;
    if (bitDepth != 8 * static_cast<int>(sizeof(T))) return 1;
    const std::size_t width = static_cast<std::size_t>(image.nx);
    const std::size_t height = static_cast<std::size_t>(image.ny);
    const std::size_t rowSamples = width * channels;

    // The image's channel planes become interleaved pixels.
    std::vector<T> pixels(rowSamples * height);
    std::vector<png_bytep> rows(height);
    for (std::size_t y = 0; y < height; ++y) {
        T* out = pixels.data() + y * rowSamples;
        rows[y] = reinterpret_cast<png_bytep>(out);
        for (int c = 0; c < channels; ++c) {
            const T* in = image.Plane(c) + y * width;
            for (std::size_t x = 0; x < width; ++x) out[x * channels + c] = in[x];
        }
    }

    const std::string temp = fileName + ".part" + std::to_string(::getpid());
    std::error_code ec;
    int result = 1;
    {
        std::ofstream stream(temp, std::ios::binary | std::ios::trunc);
        if (stream.is_open()) {
            PngSink sink{&stream, false};
            PngHeader header{static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), bitDepth,
                             grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB_ALPHA};
            result = WriteRows(&sink, &header, rows.data());
            stream.flush();
            if (sink.failed || !stream.good()) result = 1;
            stream.close();
            if (stream.fail()) result = 1;
        }
    }
    if (result == 0) {
        std::filesystem::rename(temp, fileName, ec);
        if (ec) result = 1;
    }
    if (result != 0) std::filesystem::remove(temp, ec);
    return result;
}

}  // namespace

int WritePngImage(const Image2d<uint8>& image, const std::string& fileName, int bitDepth, bool grey) {
    return WritePng(image, fileName, bitDepth, grey);
}

int WritePngImage(const Image2d<imtype>& image, const std::string& fileName, int bitDepth, bool grey) {
    return WritePng(image, fileName, bitDepth, grey);
}

}  // namespace zun
