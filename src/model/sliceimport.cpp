// Import of one slice image (TIFF, Surfer grid or VO file) into a slice and its channel's plane.

#include <algorithm>
#include <type_traits>
#include <vector>

#include "foundation/tiffio.h"
#include "model/slice.h"
#include "model/zunchan.h"

namespace zun {

template <class Src, class Convert>
void Slice::StoreImage(const Image2d<Src>& source, const char* path, int bits, int crop, int cropX, int cropY,
                       Convert convert) {
    const int nx = source.nx, ny = source.ny;
    int sx = 0, sy = 0;
    if (crop && (cropX != 0 || cropY != 0)) {
        // A negative crop start would read before the image: it counts as 0.
        sx = std::clamp(cropX, 0, nx);
        sy = std::clamp(cropY, 0, ny);
    }
    const int w = nx - sx, h = ny - sy;
    auto stored = std::make_unique<Image2d<imtype>>(Dims{w, h});
    stored->InsertChannel(0);
    if (source.GetNumChannels() > 0 && w > 0 && h > 0) {
        const Src* in = source.Plane(0);
        imtype* out = stored->Plane(0);
        const bool boundary = IsBoundary();
        // Narrow integer samples convert through a table of every possible sample when the image
        // has more pixels than the table has entries.
        if constexpr (std::is_same_v<Convert, IntegerSampleRule>) {
            if (convert.mask <= 0xFFFF &&
                static_cast<std::int64_t>(w) * h > static_cast<std::int64_t>(convert.mask)) {
                std::vector<imtype> table(convert.mask + 1);
                for (ullong v = 0; v <= convert.mask; ++v)
                    table[v] = boundary ? convert.Bound(v) : convert(v);
                const ullong mask = convert.mask;
                for (int y = 0; y < h; ++y) {
                    const Src* s = in + (static_cast<std::int64_t>(y) + sy) * nx + sx;
                    imtype* d = out + static_cast<std::int64_t>(y) * w;
                    for (int x = 0; x < w; ++x) d[x] = table[s[x] & mask];
                }
                FinishImport(std::move(stored), path, bits, w, h);
                return;
            }
        }
        // One slice is too small a piece of work to share out among threads.
        for (int y = 0; y < h; ++y) {
            const Src* s = in + (static_cast<std::int64_t>(y) + sy) * nx + sx;
            imtype* d = out + static_cast<std::int64_t>(y) * w;
            if (boundary)
                for (int x = 0; x < w; ++x) d[x] = convert.Bound(s[x]);
            else
                for (int x = 0; x < w; ++x) d[x] = convert(s[x]);
        }
    }
    FinishImport(std::move(stored), path, bits, w, h);
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
    bool isFloat = false;
    int r = IsTiffFloat(path, &isFloat);
    if (r != 0) return r;
    int bits = 0;
    if (!isFloat) {
        Image2d<ullong> source;
        r = Image2d<ullong>::ReadTiff(path, source, &bits);
        if (r != 0) return r;
        StoreImage(source, path, bits, crop, cropX, cropY, IntegerSampleRule(bits, scale, offset));
        return 0;
    }
    Image2d<float> source;
    r = Image2d<float>::ReadTiff(path, source, &bits);
    if (r != 0) return r;
    StoreFloat(source, path, bits, scale, offset, crop, cropX, cropY);
    return 0;
}

int Slice::importGrdVodFile(const char* path, const float* scale, const float* offset, int crop, int cropX,
                            int cropY) {
    Image2d<float> source;
    const int r = Image2d<float>::ReadGrdVod(path, source);
    if (r != 0) return r;
    StoreFloat(source, path, 32, scale, offset, crop, cropX, cropY);
    return 0;
}

void Slice::StoreFloat(const Image2d<float>& source, const char* path, int bits, const float* scale,
                       const float* offset, int crop, int cropX, int cropY) {
    // A boundary takes its samples on 0..1; other channels on their value range.
    float lo = 0.0f, hi = 1.0f;
    if (!IsBoundary() && owner && owner->range.size() == 2) {
        lo = owner->range[0];
        hi = owner->range[1];
    }
    StoreImage(source, path, bits, crop, cropX, cropY, FloatSampleRule(lo, hi, scale, offset));
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
