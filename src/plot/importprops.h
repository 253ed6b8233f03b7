#pragma once
// What the "Imported Image Properties" window shows and does, without the window: the import
// records of the selected channels or slices merged into one (differing values shown as "..."),
// the edits of the XY scale, crop range, crop offset and position that take effect at once, and
// Restore, Default, OK and Cancel.

#include <array>
#include <string>
#include <vector>

#include "model/importinfo.h"

namespace zun {

class CZunDoc;
class ImageItem;
class Prompt;

namespace importpropsmsg {
inline constexpr const char* kInvalidValue = "Invalid value";
}

class ImportPropsModel {
public:
    enum Field {
        kScale,
        kCropRangeX,
        kCropRangeY,
        kCropOffsetX,
        kCropOffsetY,
        kPositionX,
        kPositionY,
        kFieldCount
    };
    static constexpr std::int32_t kLargest = 2147483645;
    // The field's label as the window shows it ("X Crop Range:").
    static const char* FieldLabel(Field field);
    // "Invalid value for <label>": a refusal says which field it is about.
    static std::string InvalidValueText(Field field);

    // items: the selected channels and slices of the document.
    ImportPropsModel(CZunDoc& doc, std::vector<ImageItem*> items, Prompt* prompt);
    ~ImportPropsModel();
    ImportPropsModel(const ImportPropsModel&) = delete;
    ImportPropsModel& operator=(const ImportPropsModel&) = delete;

    std::string title = "Import Properties";

    // Saves every record for Restore and shows the common one; false (every control disabled)
    // when the selection holds no import record.
    bool Open();
    bool HasInfo() const { return hasInfo_; }

    std::string FileText() const { return current_.path; }
    std::string BitsText() const;
    std::string ResolutionText() const;
    // The edit texts, rewritten from the common record after every accepted change.
    std::array<std::string, kFieldCount> texts;
    bool restoreEnabled = false;
    bool defaultEnabled = false;

    // Reads one field's text against the current value ("..." keeps it): false when it does not read.
    static bool ReadField(Field field, const std::string& text, ImportInfo& record);
    // An edit lost the focus (or a spin moved, see Spin): the value takes effect at once.
    void OnFieldChanged(Field field, const std::string& text);
    // A spin button stepped the field by delta.
    void Spin(Field field, int delta);
    void Restore();
    void Defaults();
    // OK: every field must read ("Invalid value" otherwise) and the window may close.
    bool Ok();
    // Cancel: what the records held at opening comes back.
    void Cancel();

    const ImportInfo& Current() const { return current_; }

private:
    void ShowFields();
    void Remerge();
    void AfterChange(bool restoreOff, bool defaultOff);

    CZunDoc& doc_;
    std::vector<ImageItem*> items_;
    Prompt* prompt_;
    ImportInfo current_;
    bool hasInfo_ = false;
    bool open_ = false;
};

}  // namespace zun
