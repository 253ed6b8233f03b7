#pragma once
// The sample: the document's one voxel model, a 3-D grid that carries an ordered list of channels
// (compositions first, then X-ray CT data, then properties and boundaries).

#include <array>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "foundation/image.h"
#include "model/sampleitem.h"
#include "model/zunchan.h"

namespace zun {

class ZunImage : public Image3d<imtype>, public ImageItem {
public:
    static const ClassInfo classInfo;
    const ClassInfo* GetRuntimeClass() const override { return &classInfo; }

    explicit ZunImage(bool keepData = true);
    ~ZunImage() override;

    void Serialize(Archive& ar) override;

    ZunChan* GetChan(int i) const {
        return static_cast<ZunChan*>(channels[static_cast<std::size_t>(i)].get());
    }
    int GetChanCount() const { return GetNumChannels(); }
    bool IsChanIndex(int i) const { return i >= 0 && i < GetNumChannels(); }

    // Voxel words of channel i; a channel or voxel outside the sample gives 0.0 (getters) or 1
    // with nothing changed (setters).
    float GetChanPhysicalValue(int i, int x, int y, int z) const;
    float GetChanNormValue(int i, std::int64_t index) const;
    int SetChanNormValue(int i, std::int64_t index, float f);
    int SetChanRawWord(int i, std::int64_t index, int word);

    // The channel list. InsertChan returns the new channel count, or -2 when the name is taken;
    // the position is kept within the place of the channel's kind. Throws std::bad_alloc when
    // the memory guard refuses the channel.
    int InsertChan(std::int32_t kind, int position, const std::string& name, std::int32_t colour);
    void RemoveChan(const std::string& name);
    int RenameChan(const std::string& newName, int i);
    ZunChan* FindChan(const std::string& name) const;
    int FindChanIndex(const std::string& name) const;
    bool HasItemName(const std::string& name) const { return nameSet.count(name) != 0; }
    std::vector<std::string> GetChanNames() const;
    // The whole name of channel i ("" outside the list). A string, not a C string: a name that a
    // document saved before names were checked may hold a NUL, and a lookup by a cut name would
    // miss its channel.
    const std::string& GetChanNameCStr(int i) const;
    std::string MakeChanName(std::int32_t kind) const;
    int CountChansOfKind(std::int32_t kind) const;
    int FirstChanOfKind(std::int32_t kind) const;
    int LastChanOfKind(std::int32_t kind) const;
    std::string GetChanLabel(int i) const;
    std::int32_t PickUnusedColour() const;

    // The active boundary: the name, its index when it names a boundary channel (else -1), the
    // mask switch (only with a valid index) and the mask word.
    void SetActiveBoundary(const std::string& name, bool maskOn);
    std::string GetActiveBoundaryName() const { return activeBoundaryName; }

    bool AllVoxelsRO() const;
    void GetMeanVolumeFractions(std::vector<float>& out) const;
    void GetImportedExtent(std::array<std::int32_t, 3>& min, std::array<std::int32_t, 3>& extent) const;

    // Per-channel accessors (index outside the list: empty results, nothing set).
    std::vector<std::int32_t> GetImportCounts(int i) const;
    std::vector<std::int32_t> GetColours(int i) const;
    void SetChanPlotSettings(int i, const HistVars& h);
    void SetApplyScale(int i, bool v);
    void SetScaleFactor(int i, float v);
    void SetApplyZeroOffset(int i, bool v);
    void SetZeroOffset(int i, float v);
    void SetCropImages(int i, bool v);
    void SetCropX(int i, std::int32_t v);
    void SetCropY(int i, std::int32_t v);
    void SetRetainImages(int i, bool v);

    // Block sets in physical units of channel i. The result is the conversion's (see
    // VoxelWordFromPhysical) for the value, or -1 for a channel outside the list.
    int SetChanBlockValue(int i, const Dims& start, const Dims& extent, float value, bool ro, bool err,
                          const WordParts& parts, bool updateSliceMarkers);
    int SetChanBlockValueMasked(int i, const Dims& start, const Dims& extent, float from, float to,
                                float value, bool ro, bool err, const WordParts& parts,
                                bool updateSliceMarkers);

    // Slices across all channels.
    int GetSliceCount() const;
    // The new slice count, or -1 when memory does not suffice (nothing changed).
    int InsertSlices(int position, int count);
    int DeleteSlices(std::vector<int> indices);
    bool ClearSlices(int i);

    bool boundaryMaskOn = false;
    std::string activeBoundaryName;
    std::int32_t activeBoundaryIndex = -1;
    std::uint16_t boundaryMaskWord = 0;
    bool modified = false;
    std::set<std::string> nameSet;
    std::recursive_mutex lock;  // for the users that share the sample across threads (re-entrant)

private:
    void UpdateActiveBoundary();
    void RelinkChannels();
    void DeleteSliceRun(int start, int count);
    bool VoxelIndexValid(std::int64_t index) const;
};

}  // namespace zun
