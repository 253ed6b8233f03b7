#pragma once
// "Set Data...": what the dialog over a set-data request shows and checks. The box edits, the
// condition range and the value are kept as typed texts; a text is checked when its edit loses
// the focus and an invalid one is set back. Apply hands the request to the document.

#include <array>
#include <string>

#include "document/setdata.h"

namespace zun {

class CZunDoc;

class CChanSetData {
public:
    enum ValueField { kFrom = 0, kTo = 1, kValue = 2 };

    // Over a request the document prepared for the selected channels.
    CChanSetData(CZunDoc& doc, const SetDataRequest& request);

    SetDataRequest request;
    std::array<std::string, 3> offsetText;
    std::array<std::string, 3> rangeText;
    std::array<std::string, 3> valueText;  // from, to, data value in the entry format

    // The physical format is offered only for one value range that is not empty.
    bool PhysicalAvailable() const { return physicalAvailable_; }
    std::string FormatLabel(int format) const;
    std::string GroupCaption() const { return groupCaption_; }
    // The flag check boxes are for channels with flags: not for boundaries.
    bool FlagsEnabled() const { return !request.boundarySelected; }

    // Any edit or click enables Apply and OK.
    void Changed() { applyEnabled = true; }
    bool applyEnabled = false;

    // Focus leaves an edit: false when its text was refused (message shown, old text back).
    bool LeaveBoxEdit(bool range, int axis);
    bool LeaveValueEdit(int field);
    // Another entry format: the three values are converted into it.
    void ChooseFormat(int format);

    // Apply or OK: every edit is checked, then the request goes to the document. False when an
    // edit was refused (nothing written); otherwise Apply and OK are disabled again.
    bool Apply();

private:
    bool ReadValue(int field, float& value) const;
    void Tell(const std::string& text) const;

    CZunDoc& doc_;
    bool physicalAvailable_ = true;
    std::string groupCaption_;
    std::array<std::string, 3> lastAccepted_;
};

namespace setdatamsg {
inline constexpr const char* kInvalidNumber = "Invalid numeric entry";
inline constexpr const char* kInvalidRaw = "Invalid raw numeric entry";
inline constexpr const char* kInvalidNormalised = "Invalid normalised numeric entry";
inline constexpr const char* kInvalidPhysical = "Invalid physical numeric entry";
inline constexpr const char* kFromAboveTo = "From value must be <= To value";
inline constexpr const char* kToBelowFrom = "To value must be >= From value";
}  // namespace setdatamsg

}  // namespace zun
