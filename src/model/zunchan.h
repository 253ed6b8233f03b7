#pragma once
// A channel of the sample: one voxel word per voxel of the sample's grid, the description of
// what the word means (composition, X-ray CT data, computed property or boundary), one slice per
// z-plane and the channel's import options and plot settings.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/chan.h"
#include "model/bounddef.h"
#include "model/compound.h"
#include "model/histvars.h"
#include "model/polyfilters.h"
#include "model/sampleitem.h"
#include "model/slice.h"
#include "model/voxelword.h"

namespace zun {

class ProgressSink;
class Prompt;

// Which fields of the voxel words a block set writes.
struct WordParts {
    bool value = true;
    bool readOnly = true;
    bool error = true;
};

class ZunChan : public Chan3d<imtype>, public ImageItem {
public:
    static const ClassInfo classInfo;
    const ClassInfo* GetRuntimeClass() const override { return &classInfo; }

    enum Kind : std::int32_t { kComposition = 0, kXrayCt = 1, kProperty = 2, kBoundary = 3 };

    // A shell for loading.
    ZunChan();
    // A zeroed channel with nz new slices. Throws std::bad_alloc when the guard refuses.
    ZunChan(VoxelAllocator* allocator, ImageItem* parentItem, const Dims& dims, const std::string& name,
            std::int32_t kind, std::int32_t colour, float max, float min);
    ~ZunChan() override;

    void Serialize(Archive& ar) override;
    int ResizeKeep(const Dims& newDims, const Dims& offsets, Chan<imtype>* scratch) override;
    void Clear() override;
    int ReverseZ() override;

    std::string GetLabel() const;

    // Slice objects only / voxel planes only.
    int InsertSlices(int position, int count);
    int DeleteSliceObjects(int position, int count);
    // 0 for count 0, 1 done, -1 when the guard refuses the new block (nothing changed).
    int InsertVoxelSlices(int position, int count);
    int RemoveVoxelSlices(int position, int count);

    // Composes the word (ro -> bit 14, err -> bit 15, value bits) and applies the chosen parts to
    // the box; with updateSliceMarkers the slices of the box take ro as their imported marker.
    int SetBlockWord(const Dims& start, const Dims& extent, imtype value, bool ro, bool err,
                     const WordParts& parts, bool updateSliceMarkers);
    int SetBlockWordMasked(const Dims& start, const Dims& extent, imtype from, imtype to, imtype value,
                           bool ro, bool err, const WordParts& parts, bool updateSliceMarkers);

    bool GetImportedExtent(std::array<std::int32_t, 3>& min, std::array<std::int32_t, 3>& max) const;

    // Slice import (0 or the reader's code), placement and clearing.
    int ImportSliceFile(int i, const char* path, const float* scale, const float* offset, int crop, int cropX,
                        int cropY, bool keepImage);
    int ImportSliceGrdVod(int i, const char* path, const float* scale, const float* offset, int crop,
                          int cropX, int cropY, bool keepImage);
    void PlaceSliceImage(int i);
    int ClearSliceImport(int i);
    void ClearSlicePlane(int i);
    void LogImportEvent(const std::string& text, bool removeOld);

    // Boundary builders (see boundbuild.h): the new region goes to bit 14 of target.
    static int BuildSampleBoundary(ProgressSink* progress, ZunChan& target, BoundDef& def,
                                   Prompt* prompt = nullptr, int threads = 0);
    static int BuildClusterBoundary(ZunChan& target, BoundDef& def, const ZunChan& reference,
                                    ProgressSink* progress, Prompt* prompt = nullptr, int threads = 0);
    static int BuildBoundaryFromDef(ZunChan& target, BoundDef& def, ProgressSink* progress, int threads = 0);
    static int TransformBoundary(const std::vector<ZunChan*>& channels, const TransBoundParams& params,
                                 ProgressSink* progress, int threads = 0);

    Slice* GetSlice(int i) const { return slices[static_cast<std::size_t>(i)].get(); }
    int GetSliceCount() const { return static_cast<int>(slices.size()); }

    std::string name;
    std::int32_t kind = kComposition;
    std::string note;
    std::vector<std::unique_ptr<Slice>> slices;
    Compound compound;
    std::int32_t dataType = 0;
    std::vector<float> range;
    std::vector<std::int32_t> importCounts;
    std::vector<std::int32_t> colours;
    bool polychromatic = false;
    PolyFilters filters;
    CombinedFilters combined;
    bool rescaleByEnergy = false;
    bool autoAttenuation = true;
    bool applyScale = false;
    float scaleFactor = 1.0f;
    bool applyZeroOffset = false;
    float zeroOffset = 0.0f;
    bool cropImages = false;
    std::int32_t cropX = 0;
    std::int32_t cropY = 0;
    bool retainImages = false;
    bool autoRename = true;
    bool modified = true;
    HistVars histVars;

protected:
    // Links the slices to this channel again: parent, owner, plane index and the item list.
    void RelinkSlices();

private:
    int ImportSlice(int i, bool grid, const char* path, const float* scale, const float* offset, int crop,
                    int cropX, int cropY, bool keepImage);
    void SetSliceMarkers(const Dims& start, const Dims& extent, bool ro);
};

// The boundary channel (kind 3): a mask of 16383 inside and 0 outside in the value bits.
class Bound : public ZunChan {
public:
    static const ClassInfo classInfo;
    const ClassInfo* GetRuntimeClass() const override { return &classInfo; }

    Bound() { kind = kBoundary; }
    Bound(VoxelAllocator* allocator, ImageItem* parentItem, const Dims& dims, const std::string& name,
          std::int32_t colour, float max, float min)
        : ZunChan(allocator, parentItem, dims, name, kBoundary, colour, max, min) {}

    void Serialize(Archive& ar) override;
};

}  // namespace zun
