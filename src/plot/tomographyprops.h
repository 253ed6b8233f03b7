#pragma once
// Everything the "X-ray CT Properties" dialog shows and decides, without its widgets, and the
// engine that turns a CT channel's beam into the attenuation coefficients of the computation:
// loading a channel's record, the per-composition coefficients, applying a record to the channel
// and the controller, reading the edits, the filter list and its combo entries, and the
// registry of the filter windows the dialog owns.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "plot/ctbeamsettings.h"

namespace zun {

class CZunDoc;
class Prompt;
class ZunChan;

namespace ctmsg {
inline constexpr const char* kInvalidEnergy = "Invalid beam energy entry";
// The stray ")" is the program's own text.
inline constexpr const char* kInvalidOffsetZero = "Invalid linear attenuation offset for voxel value 0.0)";
inline constexpr const char* kInvalidOffsetOne = "Invalid linear attenuation offset for voxel value 1.0";
inline constexpr const char* kInvalidAccuracy = "Invalid relative accuracy";
inline constexpr const char* kInvalidStep = "Invalid integration step";
inline constexpr const char* kZeroGain =
    "Combined polychromatic filters have zero gain for all energies.\n"
    "This will result in LAC Default = 0 for all compositions. Continue?";
inline constexpr const char* kInvalidEntry = "Invalid entry";
inline constexpr const char* kNegativeActual = "Default plus offset must be >= zero";
inline constexpr const char* kInvalidValue = "Invalid value";
inline constexpr const char* kSelect = "<Select>";
inline constexpr const char* kDisplayAll = "Display All";
inline constexpr const char* kNameExists = "Filter name already exists";
inline constexpr const char* kNameStar = "Filter name cannot include '*'";
}  // namespace ctmsg

// A modeless filter window the dialog owns (device, material or all filters).
class CtFilterWindow {
public:
    virtual ~CtFilterWindow() = default;
    virtual void Raise() = 0;
    // Closes and deletes the window; it must not call back CloseFilterWindow.
    virtual void Destroy() = 0;
    virtual void RenameChannel(const std::string& /*oldName*/, const std::string& /*newName*/) {}
    // The "Display All" window recomputes with the record's current filters.
    virtual void Refresh() {}
};

class TomographyPropsModel {
public:
    enum Field { kNoField, kEnergyField, kOffsetZeroField, kOffsetOneField, kAccuracyField, kStepField };
    enum class WindowKind { Device, Material, Combined };
    // Creates a filter window (null when it cannot be created).
    using WindowFactory = std::function<CtFilterWindow*(WindowKind kind, const std::string& name,
                                                        const std::string& title, int unavailable)>;

    // channel: the sample index of an X-ray CT channel.
    TomographyPropsModel(CZunDoc& doc, int channel, Prompt* prompt);
    ~TomographyPropsModel();
    TomographyPropsModel(const TomographyPropsModel&) = delete;
    TomographyPropsModel& operator=(const TomographyPropsModel&) = delete;

    std::string title = "X-ray CT Properties";
    bool newChannel = false;

    // ---- the engine (also used without a dialog)
    void LoadChannelSettings(CtBeamSettings& s, int dataType) const;
    void LoadCurrentChannel(CtBeamSettings& s) const;
    // 0, or 1 when a polychromatic beam has no usable gain (the default is then 0).
    int ComputeRowCoefficients(CtBeamSettings& s, std::size_t i) const;
    // The number of rows that failed.
    int ComputeCompositionCoefficients(CtBeamSettings& s) const;
    void ApplySettings(const CtBeamSettings& s);
    void ReapplyChannelSettings();

    // ---- the dialog
    // OnInitDialog: false when the index is not a CT channel.
    bool Open();
    CtBeamSettings& Current() { return current_; }
    const CtBeamSettings& Baseline() const { return baseline_; }

    // Edit texts (shown with "%.5g"); the dialog writes typed text back through OnEditChanged.
    std::string energyText, totalZeroText, measuredZeroText, offsetZeroText;
    std::string totalOneText, measuredOneText, offsetOneText, accuracyText, stepText;
    bool autoRename = true;
    bool applyEnabled = false;
    // The field whose text was refused last (the dialog focuses it).
    Field failedField = kNoField;

    void OnEditChanged(Field field, const std::string& text);
    void OnAutoRenameChanged(bool on);
    void OnBeamType(bool polychromatic);
    void OnDataType(int dataType);

    // Enabled states of the controls.
    bool LpcAvailable() const;
    bool TypeButtonsEnabled() const { return windows_.empty(); }
    bool EnergyEnabled() const { return !current_.polychromatic; }
    bool FilterControlsEnabled() const { return current_.polychromatic; }
    bool deleteEnabled = false;

    // Texts that follow the data type.
    std::string GroupTitle() const;
    std::string RowLabel(int which) const;
    std::vector<std::string> ColumnHeaders() const;
    std::string CellText(std::size_t row, int column) const;
    static bool IsOffsetColumn(int column) { return column == 2; }
    // An edited offset cell: true when accepted (the row recomputed, Apply enabled).
    bool EditOffset(std::size_t row, const std::string& text);

    // Reads the edits into t; on failure the message is shown and failedField set.
    bool ReadFields(CtBeamSettings& t);
    // OK: true when the dialog may close. Apply: true when applied. Cancel always closes.
    bool Ok();
    bool Apply();
    void Cancel();

    // A channel was renamed while the dialog is open.
    void RenameChannel(const std::string& oldName, const std::string& newName);
    // The compositions changed while the dialog is open.
    void RefreshCompositions();

    // ---- the filter list
    std::vector<std::string> comboEntries;
    int comboSelection = 0;
    static int ComboFind(const std::vector<std::string>& entries, const std::string& name, bool* marked);
    void ComboMark(const std::string& name, bool mark);
    std::string ComboSelectedName() const;
    void OnComboSelection(int index);

    bool HasFilter(const std::string& name) const;
    bool GetDeviceFilter(const std::string& name, DeviceFilter& out) const;
    void PutDeviceFilter(const std::string& name, const DeviceFilter& in);
    bool GetMaterialFilter(const std::string& name, MaterialFilter& out) const;
    void PutMaterialFilter(const std::string& name, const MaterialFilter& in);
    void GetCombinedFilters(CombinedFilters& out) const;
    void PutCombinedFilters(const CombinedFilters& in);
    void AddDeviceFilter(const std::string& name);
    void AddMaterialFilter(const std::string& name);
    // The "Add Filter" checks: empty (nothing to add), or the refusal message ("" when accepted).
    std::string CheckNewFilterName(const std::string& name) const;
    // "Delete...": asks, closes the filter's window, removes it. True when deleted.
    bool DeleteSelectedFilter();

    // ---- filter windows
    WindowFactory windowFactory;
    void ShowFilterProperties(const std::string& name);
    void CloseFilterWindow(const std::string& name);
    void CloseAllFilterWindows();
    void RefreshAllFiltersWindow();
    bool IsWindowOpen(const std::string& name) const { return windows_.count(name) > 0; }
    std::size_t OpenWindowCount() const { return windows_.size(); }
    // The filter windows enable the dialog's Apply.
    void EnableApply() { applyEnabled = true; }

    // ---- pure rules
    // The warning of the energy-range check ("" when every filter covers the source's range).
    static std::string EnergyRangeWarning(const PolyFilters& filters);
    // A new material filter's grid (keV) from the enabled filters' common range.
    static void DefaultMaterialGrid(const PolyFilters& filters, float& minimum, float& maximum,
                                    float& interval);
    // The unavailable-element message; prefix is "At least one filter's composition material
    // contains the ", "This filter's composition material contains the " or the like.
    static std::string UnavailableElementsText(const std::string& prefix, int count, const std::string& list,
                                               int method);

    int Channel() const { return channel_; }
    Prompt* MessagePrompt() const { return prompt_; }
    CZunDoc& Document() const { return doc_; }
    int CtNumber() const;
    ZunChan& Chan() const;

private:
    bool ApplyCommon(CtBeamSettings& t);
    void FillTexts(const CtBeamSettings& s);
    void FillCombo();
    int MaterialUnavailable(const MaterialFilter& f, std::string& list) const;

    CZunDoc& doc_;
    int channel_;
    Prompt* prompt_;
    CtBeamSettings current_;
    CtBeamSettings baseline_;
    // What Cancel puts back: the record as loaded or last applied (the baseline of a new channel
    // differs from it on purpose, so that OK always applies).
    CtBeamSettings restore_;
    std::map<std::string, CtFilterWindow*> windows_;
    std::vector<std::string> openingOrder_;
};

}  // namespace zun
