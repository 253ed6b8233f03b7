#pragma once
// One z-plane of a channel: the imported source image of the plane (kept or released), its
// import record and two markers.

#include <array>
#include <cstdint>
#include <memory>

#include "foundation/image.h"
#include "model/sampleitem.h"
#include "platform/archive.h"

namespace zun {

class Slice : public ImageItem, public Serializable {
    ZUN_DECLARE_SERIAL(Slice)
public:
    Slice() : ImageItem(ItemType::Slice) {}
    ~Slice() override = default;

    void Serialize(Archive& ar) override;

    // Imports a TIFF file (float or integer samples) or a Surfer grid or VO file into the slice.
    // 0 on success, else the reader's code with the slice unchanged.
    int importFile(const char* path, const float* scale, const float* offset, int crop, int cropX, int cropY);
    int importGrdVodFile(const char* path, const float* scale, const float* offset, int crop, int cropX,
                         int cropY);

    // The rectangle (x0, y0, x1, y1) the placed image covers; false without a usable record.
    bool GetImportedRect(std::array<std::int32_t, 4>& rect) const;
    // Forgets the image and the imported state and resets the record; true when the slice held
    // imported data (its modified marker becomes that).
    bool ClearImport();
    // Drops the kept image; the record stays.
    void ReleaseImage();

    std::unique_ptr<Image2d<imtype>> image;
    bool imported = false;
    bool modified = true;

private:
    // The source is one nx x ny block of samples (the first channel of the file).
    template <class Src, class Convert>
    void StoreImage(const Src* source, int nx, int ny, const char* path, int bits, int crop, int cropX,
                    int cropY, Convert convert);
    void StoreFloat(const float* source, int nx, int ny, const char* path, int bits, const float* scale,
                    const float* offset, int crop, int cropX, int cropY);
    void FinishImport(std::unique_ptr<Image2d<imtype>> stored, const char* path, int bits, int w, int h);
    bool IsBoundary() const;
};

// Sample to voxel word conversions of the import (value with the read-only bit). The boundary
// forms give 16383 (inside) for every sample whose converted value is above 0, else 0.
struct IntegerSampleRule {
    IntegerSampleRule(int bits, const float* scale, const float* offset);
    imtype operator()(ullong v) const;
    imtype Bound(ullong v) const { return ((*this)(v)&0x3FFF) ? 16383 : 0; }

    ullong mask;
    float factor;
    const float* scale;
    const float* offset;
};

struct FloatSampleRule {
    // The range ends in either order.
    FloatSampleRule(float a, float b, const float* scale, const float* offset);
    imtype operator()(float v) const;
    imtype Bound(float v) const { return ((*this)(v)&0x3FFF) ? 16383 : 0; }

    float low, span;
    bool zeroSpan;
    const float* scale;
    const float* offset;
};

}  // namespace zun
