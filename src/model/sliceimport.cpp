// Import of one slice image (TIFF, Surfer grid or VO file) into a slice and its channel's plane.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "foundation/cpuclones.h"
#include "foundation/memoryguard.h"
#include "foundation/tiffio.h"
#include "model/slice.h"
#include "model/zunchan.h"

namespace zun {

namespace {

// The integer rule for samples below 2^16, in a form that vectorises. It gives what the rule gives
// sample by sample: such samples convert to float exactly whatever integer they come from; a
// missing scale multiplies by 1 (exact) and a missing offset adds 0 (which can only turn -0 into
// +0, and both end as 0.5 before truncation).
struct NarrowRule {
    NarrowRule(const IntegerSampleRule& rule, bool boundary)
        : scale(rule.scale ? *rule.scale : 1.0f),
          offset(rule.offset ? *rule.offset : 0.0f),
          factor(rule.factor),
          mask(static_cast<std::uint32_t>(rule.mask)),
          boundary(boundary) {}

    float scale, offset, factor;
    std::uint32_t mask;
    bool boundary;
};

// The rule's loop body; every operand a local of the loop, so that the loop vectorises.
inline imtype NarrowWord(std::uint32_t v, std::uint32_t mask, float scale, float offset, float factor,
                         bool boundary) {
    float x = static_cast<float>(static_cast<std::int32_t>(v & mask));
    x *= scale;
    x += offset;
    const float f = x * factor + 0.5f;
    // Below or at 0 and NaN give 0, from 16383 on the top.
    const float above = f > 0.0f ? f : 0.0f;
    const float clamped = above < 16383.0f ? above : 16383.0f;
    const int bits = static_cast<int>(clamped);
    return boundary ? static_cast<imtype>(bits != 0 ? 16383 : 0) : static_cast<imtype>(bits | 0x4000);
}

// out[i] = the word of sample(i), for i below count.
template <class Sample>
inline void ConvertEach(const NarrowRule& rule, std::size_t count, Sample sample, imtype* out) {
    const std::uint32_t mask = rule.mask;
    const float scale = rule.scale, offset = rule.offset, factor = rule.factor;
    const bool boundary = rule.boundary;
#pragma omp simd
    for (std::size_t i = 0; i < count; ++i)
        out[i] = NarrowWord(sample(i), mask, scale, offset, factor, boundary);
}

// The word of every sample 0..count-1.
ZUN_CPU_CLONES void FillNarrowTable(const NarrowRule& rule, imtype* table, std::uint32_t count) {
    ConvertEach(
        rule, count, [](std::size_t i) { return static_cast<std::uint32_t>(i); }, table);
}

ZUN_CPU_CLONES void ConvertNarrow(const NarrowRule& rule, const std::uint16_t* in, imtype* out,
                                  std::size_t n) {
    ConvertEach(
        rule, n, [in](std::size_t i) { return std::uint32_t{in[i]}; }, out);
}

ZUN_CPU_CLONES void ConvertNarrow(const NarrowRule& rule, const std::uint8_t* in, imtype* out,
                                  std::size_t n) {
    ConvertEach(
        rule, n, [in](std::size_t i) { return std::uint32_t{in[i]}; }, out);
}

// The float rule in a form that vectorises, with the same reading of a missing scale and offset.
// A NaN word (only a NaN range end gives one) becomes 0 before the flag, which is what the
// processor's own conversion of NaN leaves in the word's bits.
ZUN_CPU_CLONES void ConvertFloats(const FloatSampleRule& rule, bool boundary, const float* in, imtype* out,
                                  std::size_t n) {
    if (rule.zeroSpan) {
        std::fill(out, out + n, static_cast<imtype>(boundary ? 0 : 0x4000));
        return;
    }
    const float scale = rule.scale ? *rule.scale : 1.0f, offset = rule.offset ? *rule.offset : 0.0f;
    const float low = rule.low, span = rule.span;
#pragma omp simd
    for (std::size_t i = 0; i < n; ++i) {
        float x = in[i] * scale;
        x += offset;
        x = x >= low ? x : low;
        const float f = (x - low) * 16383.0f / span + 0.5f;
        const int bits = f > 16383.0f ? 16383 : (f == f ? static_cast<int>(f) : 0);
        out[i] = boundary ? static_cast<imtype>(bits != 0 ? 16383 : 0) : static_cast<imtype>(bits | 0x4000);
    }
}

// The part of an nx x ny image that is imported.
struct Window {
    int sx = 0, sy = 0, w = 0, h = 0;
};

Window CropWindow(int nx, int ny, int crop, int cropX, int cropY) {
    Window win;
    if (crop && (cropX != 0 || cropY != 0)) {
        // A negative crop start would read before the image: it counts as 0.
        win.sx = std::clamp(cropX, 0, nx);
        win.sy = std::clamp(cropY, 0, ny);
    }
    win.w = nx - win.sx;
    win.h = ny - win.sy;
    return win;
}

// Converts the window of a block with nx samples a row into a w x h block.
template <class Src, class Convert>
void ConvertWindow(const Src* in, int nx, const Window& win, imtype* out, const Convert& convert,
                   bool boundary) {
    const int w = win.w, h = win.h;
    if (w <= 0 || h <= 0) return;
    if constexpr (std::is_same_v<Convert, IntegerSampleRule> && sizeof(Src) <= 2) {
        if (convert.mask <= 0xFFFF) {
            const NarrowRule rule(convert, boundary);
            // A table of every possible sample pays once the image has clearly more pixels than the
            // table has entries; below that the rule is applied to each pixel.
            const ullong entries = convert.mask + 1;
            const bool table = static_cast<ullong>(w) * static_cast<ullong>(h) > 2 * entries;
            std::unique_ptr<imtype[]> words;
            if (table) {
                words = std::make_unique_for_overwrite<imtype[]>(entries);
                FillNarrowTable(rule, words.get(), static_cast<std::uint32_t>(entries));
            }
            const imtype* lookup = words.get();
            const auto mask = static_cast<std::uint32_t>(convert.mask);
            for (int y = 0; y < h; ++y) {
                const Src* s = in + (static_cast<std::int64_t>(y) + win.sy) * nx + win.sx;
                imtype* d = out + static_cast<std::int64_t>(y) * w;
                if (!table)
                    ConvertNarrow(rule, s, d, static_cast<std::size_t>(w));
                else
                    for (int x = 0; x < w; ++x) d[x] = lookup[s[x] & mask];
            }
            return;
        }
    }
    if constexpr (std::is_same_v<Convert, FloatSampleRule> && std::is_same_v<Src, float>) {
        for (int y = 0; y < h; ++y)
            ConvertFloats(convert, boundary, in + (static_cast<std::int64_t>(y) + win.sy) * nx + win.sx,
                          out + static_cast<std::int64_t>(y) * w, static_cast<std::size_t>(w));
        return;
    }
    // One slice is too small a piece of work to share out among threads.
    for (int y = 0; y < h; ++y) {
        const Src* s = in + (static_cast<std::int64_t>(y) + win.sy) * nx + win.sx;
        imtype* d = out + static_cast<std::int64_t>(y) * w;
        if (boundary)
            for (int x = 0; x < w; ++x) d[x] = convert.Bound(s[x]);
        else
            for (int x = 0; x < w; ++x) d[x] = convert(s[x]);
    }
}

struct GuardedFree {
    void operator()(void* p) const { VoxelAllocator::Free(p); }
};
template <class S>
using SampleBlock = std::unique_ptr<S[], GuardedFree>;

// The first channel of the file, each sample in an element of its own width or wider. The size
// comes from the file's header, so the block passes the memory guard like any voxel block.
template <class S>
int ReadFirstChannel(TiffReader& reader, SampleBlock<S>& block) {
    const std::uint64_t n = std::uint64_t(reader.Width()) * reader.Length();
    VoxelAllocator allocator;
    block.reset(allocator.Allocate<S>(std::max<std::uint64_t>(n, 1)));
    if (!block) return kTiffNoMemory;
    S* planes[1] = {block.get()};
    try {
        // Unreadable data is not imported as rows of zeros.
        return reader.ReadPlanes(planes, 1) ? kTiffOk : kTiffUnsupported;
    } catch (const std::bad_alloc&) {
        // A scanline of thousands of samples per pixel.
        return kTiffNoMemory;
    }
}

}  // namespace

template <class Src, class Convert>
void Slice::StoreImage(const Src* in, int nx, int ny, const char* path, int bits, int crop, int cropX,
                       int cropY, Convert convert) {
    const Window win = CropWindow(nx, ny, crop, cropX, cropY);
    auto stored = std::make_unique<Image2d<imtype>>(Dims{win.w, win.h});
    stored->InsertChannel(0);
    if (in) ConvertWindow(in, nx, win, stored->Plane(0), convert, IsBoundary());
    FinishImport(std::move(stored), path, bits, win.w, win.h);
}

void Slice::FinishImport(std::unique_ptr<Image2d<imtype>> stored, const char* path, int bits, int w, int h) {
    image = std::move(stored);
    imported = !IsBoundary();
    modified = true;
    if (!import) import = std::make_unique<ImportInfo>();
    import->path = path;
    import->bits = bits;
    import->resolution = {w, h};
    import->scale = 1.0f;
    import->cropRange = {w, h};
    import->cropOffset = {0, 0};
    import->position = {0, 0};
}

int Slice::importFile(const char* path, const float* scale, const float* offset, int crop, int cropX,
                      int cropY) {
    // The probe and the reader share one opening of the file.
    TiffReader reader;
    bool isFloat = false;
    int r = reader.OpenFile(path);
    if (r == 0) r = reader.ProbeFloat(&isFloat);
    if (r == 0) r = reader.ReadTags();
    if (r != 0) return r;
    // Only the first channel is converted: it is read alone, into elements as narrow as its
    // samples allow, which hold every sample with its exact value.
    const int nx = static_cast<int>(reader.Width()), ny = static_cast<int>(reader.Length());
    const int bits = reader.BitsPerSample();
    auto store = [&](auto& block) {
        r = ReadFirstChannel(reader, block);
        if (r == 0)
            StoreImage(block.get(), nx, ny, path, bits, crop, cropX, cropY,
                       IntegerSampleRule(bits, scale, offset));
        return r;
    };
    if (isFloat) {
        SampleBlock<float> block;
        r = ReadFirstChannel(reader, block);
        if (r == 0) StoreFloat(block.get(), nx, ny, path, bits, scale, offset, crop, cropX, cropY);
        return r;
    }
    switch (reader.SampleBytes()) {
        case 1: {
            SampleBlock<std::uint8_t> block;
            return store(block);
        }
        case 2: {
            SampleBlock<std::uint16_t> block;
            return store(block);
        }
        case 4: {
            SampleBlock<std::uint32_t> block;
            return store(block);
        }
        default: {
            SampleBlock<ullong> block;
            return store(block);
        }
    }
}

int Slice::importGrdVodFile(const char* path, const float* scale, const float* offset, int crop, int cropX,
                            int cropY) {
    Image2d<float> source;
    const int r = Image2d<float>::ReadGrdVod(path, source);
    if (r != 0) return r;
    StoreFloat(source.GetNumChannels() > 0 ? source.Plane(0) : nullptr, source.nx, source.ny, path, 32, scale,
               offset, crop, cropX, cropY);
    return 0;
}

void Slice::StoreFloat(const float* source, int nx, int ny, const char* path, int bits, const float* scale,
                       const float* offset, int crop, int cropX, int cropY) {
    // A boundary takes its samples on 0..1; other channels on their value range.
    float lo = 0.0f, hi = 1.0f;
    if (!IsBoundary() && owner && owner->range.size() == 2) {
        lo = owner->range[0];
        hi = owner->range[1];
    }
    StoreImage(source, nx, ny, path, bits, crop, cropX, cropY, FloatSampleRule(lo, hi, scale, offset));
}

int ZunChan::ImportSlice(int i, bool grid, const char* path, const float* scale, const float* offset,
                         int crop, int cropX, int cropY, bool keepImage) {
    if (i < 0 || i >= GetSliceCount()) return kTiffCannotOpen;
    Slice& s = *slices[static_cast<std::size_t>(i)];
    const int r = grid ? s.importGrdVodFile(path, scale, offset, crop, cropX, cropY)
                       : s.importFile(path, scale, offset, crop, cropX, cropY);
    if (r != 0) return r;
    if (importCounts.size() > 2) ++importCounts[2];
    PlaceSliceImage(i);
    if (!keepImage) s.ReleaseImage();
    modified = true;
    return 0;
}

int ZunChan::ImportSliceFile(int i, const char* path, const float* scale, const float* offset, int crop,
                             int cropX, int cropY, bool keepImage) {
    return ImportSlice(i, false, path, scale, offset, crop, cropX, cropY, keepImage);
}

int ZunChan::ImportSliceGrdVod(int i, const char* path, const float* scale, const float* offset, int crop,
                               int cropX, int cropY, bool keepImage) {
    return ImportSlice(i, true, path, scale, offset, crop, cropX, cropY, keepImage);
}

}  // namespace zun
