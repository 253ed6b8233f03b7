#include "plot/importprops.h"

#include <algorithm>

#include "document/changehints.h"
#include "document/zundoc.h"
#include "foundation/numformat.h"
#include "model/sampleitem.h"
#include "model/slice.h"
#include "model/zunchan.h"
#include "platform/prompt.h"

namespace zun {

namespace {

std::string IntText(std::int32_t v, const char* format) {
    if (v == ImportInfo::kUnset) return {};
    if (v == ImportInfo::kMixed) return "...";
    return FormatInt(v, format);
}

std::int32_t* FieldValue(ImportPropsModel::Field field, ImportInfo& r) {
    switch (field) {
        case ImportPropsModel::kCropRangeX:
            return &r.cropRange[0];
        case ImportPropsModel::kCropRangeY:
            return &r.cropRange[1];
        case ImportPropsModel::kCropOffsetX:
            return &r.cropOffset[0];
        case ImportPropsModel::kCropOffsetY:
            return &r.cropOffset[1];
        case ImportPropsModel::kPositionX:
            return &r.position[0];
        case ImportPropsModel::kPositionY:
            return &r.position[1];
        default:
            return nullptr;
    }
}

bool Signed(ImportPropsModel::Field field) {
    return field == ImportPropsModel::kPositionX || field == ImportPropsModel::kPositionY;
}

// Every slice below the items, once.
template <class F>
void ForEachSlice(const std::vector<ImageItem*>& items, F f) {
    std::vector<ImageItem*> seen;
    std::vector<ImageItem*> stack(items.rbegin(), items.rend());
    while (!stack.empty()) {
        ImageItem* i = stack.back();
        stack.pop_back();
        if (i->type == ImageItem::ItemType::Slice) {
            if (std::find(seen.begin(), seen.end(), i) == seen.end()) {
                seen.push_back(i);
                f(static_cast<Slice&>(*i));
            }
            continue;
        }
        for (auto it = i->children.rbegin(); it != i->children.rend(); ++it) stack.push_back(*it);
    }
}

}  // namespace

ImportPropsModel::ImportPropsModel(CZunDoc& doc, std::vector<ImageItem*> items, Prompt* prompt)
    : doc_(doc), items_(std::move(items)), prompt_(prompt) {}

ImportPropsModel::~ImportPropsModel() {
    if (open_)
        for (ImageItem* i : items_) i->DropSavedImport();
}

bool ImportPropsModel::Open() {
    bool any = false;
    ForEachSlice(items_, [&any](Slice& s) { any = any || s.import; });
    for (ImageItem* i : items_) any = any || i->import;
    hasInfo_ = any;
    if (!hasInfo_) return false;
    for (ImageItem* i : items_) i->SaveImport();
    open_ = true;
    current_ = ImageItem::CollectImport(items_);
    ShowFields();
    restoreEnabled = false;
    defaultEnabled =
        !std::all_of(items_.begin(), items_.end(), [](ImageItem* i) { return i->IsImportDefault(); });
    return true;
}

std::string ImportPropsModel::BitsText() const {
    return IntText(current_.bits, "%u");
}

std::string ImportPropsModel::ResolutionText() const {
    return IntText(current_.resolution[0], "%u") + "x" + IntText(current_.resolution[1], "%u");
}

void ImportPropsModel::ShowFields() {
    const float s = current_.scale;
    texts[kScale] = s == ImportInfo::kScaleUnset   ? std::string()
                    : s == ImportInfo::kScaleMixed ? std::string("...")
                                                   : FormatReal(-1, s, "%f");
    for (int f = kCropRangeX; f < kFieldCount; ++f) {
        const auto field = static_cast<Field>(f);
        texts[static_cast<std::size_t>(f)] =
            IntText(*FieldValue(field, current_), Signed(field) ? "%d" : "%u");
    }
}

bool ImportPropsModel::ReadField(Field field, const std::string& text, ImportInfo& record) {
    if (text == "...") return true;
    if (field == kScale) {
        float v = 0.0f;
        if (ScanString(text, "%f", &v) != 0 || !(v >= 0.0f) || v > 3.0e38f) return false;
        record.scale = v;
        return true;
    }
    std::int32_t* target = FieldValue(field, record);
    if (Signed(field)) {
        int v = 0;
        if (ScanString(text, "%d", &v) != 0 || v > kLargest) return false;
        *target = v;
        return true;
    }
    // "-1" reads as a huge unsigned number and is refused with the others above the limit.
    unsigned v = 0;
    if (ScanString(text, "%u", &v) != 0 || v > static_cast<unsigned>(kLargest)) return false;
    *target = static_cast<std::int32_t>(v);
    return true;
}

void ImportPropsModel::Remerge() {
    std::vector<ChanSliceRecord> records;
    ForEachSlice(items_, [&records](Slice& s) {
        if (!s.owner || !s.image) return;
        s.owner->PlaceSliceImage(s.index);
        records.push_back({s.owner->name, static_cast<std::uint32_t>(s.index)});
    });
    doc_.SetModifiedFlag(true);
    ImportSliceMod hint(records, true);
    doc_.UpdateAllViews(nullptr, kHintData, &hint);
}

void ImportPropsModel::AfterChange(bool restoreOff, bool defaultOff) {
    Remerge();
    current_ = ImageItem::CollectImport(items_);
    ShowFields();
    restoreEnabled = !restoreOff && !ImageItem::IsImportSaved(items_);
    defaultEnabled = !defaultOff && !std::all_of(items_.begin(), items_.end(),
                                                 [](ImageItem* i) { return i->IsImportDefault(); });
}

void ImportPropsModel::OnFieldChanged(Field field, const std::string& text) {
    if (!hasInfo_) return;
    ImportInfo edited = current_;
    if (!ReadField(field, text, edited)) {
        restoreEnabled = defaultEnabled = true;
        ShowFields();
        return;
    }
    if (edited == current_) return;
    // Values that differ between the records stay mixed and are not written.
    ImageItem::ApplyImport(items_, edited);
    AfterChange(false, false);
}

void ImportPropsModel::Spin(Field field, int delta) {
    if (field == kScale || delta == 0) return;
    const std::int32_t v = *FieldValue(field, current_);
    if (v == ImportInfo::kUnset || v == ImportInfo::kMixed) return;
    const std::int64_t lowest = Signed(field) ? std::int64_t{INT32_MIN} : 0;
    const std::int64_t next = std::clamp<std::int64_t>(std::int64_t{v} + delta, lowest, kLargest);
    OnFieldChanged(field, FormatInt(static_cast<int>(next), Signed(field) ? "%d" : "%u"));
}

void ImportPropsModel::Restore() {
    for (ImageItem* i : items_) i->RestoreImport();
    AfterChange(true, false);
}

void ImportPropsModel::Defaults() {
    for (ImageItem* i : items_) i->ApplyDefaultImport();
    AfterChange(false, true);
}

const char* ImportPropsModel::FieldLabel(Field field) {
    static const char* const labels[kFieldCount] = {
        "XY scale factor:", "X Crop Range:",      "Y Crop Range:",     "X Crop Offset:",
        "Y Crop Offset:",   "X Position Offset:", "Y Position Offset:"};
    return field >= 0 && field < kFieldCount ? labels[field] : "";
}

std::string ImportPropsModel::InvalidValueText(Field field) {
    std::string label = FieldLabel(field);
    if (!label.empty() && label.back() == ':') label.pop_back();
    return std::string(importpropsmsg::kInvalidValue) + " for " + label;
}

bool ImportPropsModel::Ok() {
    if (!hasInfo_) return true;
    ImportInfo probe = current_;
    for (int f = 0; f < kFieldCount; ++f) {
        if (!ReadField(static_cast<Field>(f), texts[static_cast<std::size_t>(f)], probe)) {
            if (prompt_) prompt_->Tell(InvalidValueText(static_cast<Field>(f)), PromptIcon::Information);
            return false;
        }
    }
    return true;
}

void ImportPropsModel::Cancel() {
    if (hasInfo_ && !ImageItem::IsImportSaved(items_)) Restore();
}

}  // namespace zun
