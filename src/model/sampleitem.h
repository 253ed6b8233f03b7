#pragma once
// The tree links shared by the sample, its channels and their slices, and the editing of the
// slices' import records over any part of that tree (the import properties dialog works on them).

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "model/importinfo.h"

namespace zun {

class ZunImage;
class ZunChan;
class Slice;

class ImageItem {
public:
    enum class ItemType { Sample, Channel, Slice };

    explicit ImageItem(ItemType type) : type(type) {}
    ~ImageItem();
    ImageItem(const ImageItem&) = delete;
    ImageItem& operator=(const ImageItem&) = delete;

    // The sample's or the channel's extents; (nx, ny, 1) of the owning channel for a slice.
    std::vector<std::int32_t> GetExtent() const;

    // A leaf gives its record (unset without one); an item with children merges theirs.
    ImportInfo CollectImport() const;
    static ImportInfo CollectImport(const std::vector<ImageItem*>& items);
    // Writes the edited fields (those not mixed) into every record below; true when any was written.
    bool ApplyImport(const ImportInfo& edited);
    static bool ApplyImport(const std::vector<ImageItem*>& items, const ImportInfo& edited);
    void SaveImport();
    void RestoreImport();
    void DropSavedImport();
    // The record with scale 1, the crop window the whole image and no offsets.
    ImportInfo DefaultImport() const;
    bool ApplyDefaultImport();
    bool IsImportSaved() const;
    static bool IsImportSaved(const std::vector<ImageItem*>& items);
    bool IsImportDefault() const;
    static bool HasRetainedImages(const std::vector<ImageItem*>& items);
    // Largest crop range per axis over the slices below (INT_MAX where none is known).
    static std::array<std::int32_t, 2> CollectCropRange(const std::vector<ImageItem*>& items);

    ItemType type;
    ImageItem* parent = nullptr;
    std::vector<ImageItem*> children;  // not owned
    std::unique_ptr<ImportInfo> import;
    std::unique_ptr<ImportInfo> savedImport;  // the saved copy while the records are edited
    ZunChan* owner = nullptr;                 // a slice's channel
    std::int32_t index = 0;                   // a slice's plane

private:
    template <class F>
    void ForEachBelow(F f);
    template <class F>
    bool AllBelow(F f) const;
    bool HasRetainedImage() const;
    void CollectCropRange(std::array<std::int32_t, 2>& range) const;
};

}  // namespace zun
