#include "model/sampleitem.h"

#include <algorithm>
#include <climits>

#include "model/sample.h"
#include "model/slice.h"
#include "model/zunchan.h"

namespace zun {
namespace {

bool IsMixed(std::int32_t v) {
    return v == ImportInfo::kMixed;
}

// Writes the non-mixed fields of the edited record; true when any field was written.
bool ApplyRecord(ImportInfo& r, const ImportInfo& e) {
    bool written = false;
    auto put = [&](std::int32_t& dst, std::int32_t src) {
        if (IsMixed(src)) return;
        dst = src;
        written = true;
    };
    if (e.path != ImportInfo::kPathMixed) {
        r.path = e.path;
        written = true;
    }
    put(r.bits, e.bits);
    if (e.scale != ImportInfo::kScaleMixed) {
        r.scale = e.scale;
        written = true;
    }
    for (int j = 0; j < 2; ++j) {
        put(r.resolution[j], e.resolution[j]);
        if (!IsMixed(e.cropRange[j])) {
            const auto a = static_cast<std::uint32_t>(e.cropRange[j]),
                       b = static_cast<std::uint32_t>(e.resolution[j]);
            r.cropRange[j] = static_cast<std::int32_t>(std::min(a, b));
            written = true;
        }
        put(r.cropOffset[j], e.cropOffset[j]);
        put(r.position[j], e.position[j]);
    }
    return written;
}

}  // namespace

ImageItem::~ImageItem() = default;

std::vector<std::int32_t> ImageItem::GetExtent() const {
    switch (type) {
        case ItemType::Sample: {
            const auto& d = static_cast<const ZunImage*>(this)->GetDims();
            return {d.begin(), d.end()};
        }
        case ItemType::Channel: {
            const auto& d = static_cast<const ZunChan*>(this)->GetDims();
            return {d.begin(), d.end()};
        }
        case ItemType::Slice:
            if (owner) return {owner->nx, owner->ny, 1};
            return {0, 0, 1};
    }
    return {};
}

template <class F>
void ImageItem::ForEachBelow(F f) {
    f(*this);
    for (ImageItem* c : children) c->ForEachBelow(f);
}

template <class F>
bool ImageItem::AllBelow(F f) const {
    if (!f(*this)) return false;
    for (const ImageItem* c : children)
        if (!c->AllBelow(f)) return false;
    return true;
}

ImportInfo ImageItem::CollectImport() const {
    if (children.empty()) return import ? *import : ImportInfo();
    ImportInfo r;
    for (const ImageItem* c : children) r.Merge(c->CollectImport());
    return r;
}

ImportInfo ImageItem::CollectImport(const std::vector<ImageItem*>& items) {
    ImportInfo r;
    for (const ImageItem* i : items) r.Merge(i->CollectImport());
    return r;
}

bool ImageItem::ApplyImport(const ImportInfo& edited) {
    bool written = false;
    ForEachBelow([&](ImageItem& item) {
        if (!item.import || !ApplyRecord(*item.import, edited)) return;
        written = true;
        if (item.type == ItemType::Slice) static_cast<Slice&>(item).modified = true;
    });
    return written;
}

bool ImageItem::ApplyImport(const std::vector<ImageItem*>& items, const ImportInfo& edited) {
    bool written = false;
    for (ImageItem* i : items) written = i->ApplyImport(edited) || written;
    return written;
}

void ImageItem::SaveImport() {
    ForEachBelow([](ImageItem& item) {
        if (!item.import) return;
        if (!item.savedImport) item.savedImport = std::make_unique<ImportInfo>();
        *item.savedImport = *item.import;
    });
}

void ImageItem::RestoreImport() {
    ForEachBelow([](ImageItem& item) {
        if (!item.import || !item.savedImport || *item.import == *item.savedImport) return;
        *item.import = *item.savedImport;
        if (item.type == ItemType::Slice) static_cast<Slice&>(item).modified = true;
    });
}

void ImageItem::DropSavedImport() {
    ForEachBelow([](ImageItem& item) { item.savedImport.reset(); });
}

ImportInfo ImageItem::DefaultImport() const {
    if (import) {
        ImportInfo r = *import;
        r.scale = 1.0f;
        r.cropRange = r.resolution;
        r.cropOffset = {0, 0};
        r.position = {0, 0};
        return r;
    }
    ImportInfo r;
    for (const ImageItem* c : children) r.Merge(c->DefaultImport());
    return r;
}

bool ImageItem::ApplyDefaultImport() {
    bool written = false;
    ForEachBelow([&](ImageItem& item) {
        if (!item.import) return;
        const ImportInfo d = item.DefaultImport();
        if (*item.import == d) return;
        *item.import = d;
        written = true;
        if (item.type == ItemType::Slice) static_cast<Slice&>(item).modified = true;
    });
    return written;
}

bool ImageItem::IsImportSaved() const {
    return AllBelow([](const ImageItem& item) {
        return !item.import || (item.savedImport && *item.import == *item.savedImport);
    });
}

bool ImageItem::IsImportSaved(const std::vector<ImageItem*>& items) {
    return std::all_of(items.begin(), items.end(), [](const ImageItem* i) { return i->IsImportSaved(); });
}

bool ImageItem::IsImportDefault() const {
    return AllBelow(
        [](const ImageItem& item) { return !item.import || *item.import == item.DefaultImport(); });
}

bool ImageItem::HasRetainedImage() const {
    if (type == ItemType::Slice) return static_cast<const Slice*>(this)->image != nullptr;
    return std::all_of(children.begin(), children.end(),
                       [](const ImageItem* c) { return c->HasRetainedImage(); });
}

bool ImageItem::HasRetainedImages(const std::vector<ImageItem*>& items) {
    return std::all_of(items.begin(), items.end(), [](const ImageItem* i) { return i->HasRetainedImage(); });
}

void ImageItem::CollectCropRange(std::array<std::int32_t, 2>& range) const {
    if (type == ItemType::Slice) {
        if (!import) return;
        for (int j = 0; j < 2; ++j) {
            const std::int32_t v = import->cropRange[j];
            if (v == ImportInfo::kUnset || v == ImportInfo::kMixed) continue;
            range[j] = range[j] == INT_MAX ? v : std::max(range[j], v);
        }
        return;
    }
    for (const ImageItem* c : children) c->CollectCropRange(range);
}

std::array<std::int32_t, 2> ImageItem::CollectCropRange(const std::vector<ImageItem*>& items) {
    std::array<std::int32_t, 2> range{INT_MAX, INT_MAX};
    for (const ImageItem* i : items) i->CollectCropRange(range);
    return range;
}

}  // namespace zun
