#pragma once
// What the "Setup Computation" dialog shows and does, without its window. It is made for one
// document (the dialog's SetDocument) and edits a working copy of the choices; OnOK writes them
// into the document's parameter set, controller lists and sample. The window draws it and
// forwards the user's actions.
//
// Driving it hidden (the remote commands do this): construct it for the document, set `jobs`
// from the controller, then call EnableCompositionControls / EnablePropertyControls and
// CheckMethod as the commands ask; copy `jobs` back into the controller when done. OnOK is only
// for a user's confirmation: the remote close copies the job switches and discards the rest.

#include <string>
#include <vector>

#include "compute/model.h"
#include "compute/pluginlibs.h"
#include "compute/propertysettings.h"

namespace zun {

class CZunDoc;

// The three composition methods in the dialog's row order.
enum SetupMethod : int { kSetupSegmentation = 0, kSetupLinear = 1, kSetupNonlinear = 2 };

// The ID and description the method lists show for a property-method kind ("Unknown" for both
// when the kind is not one of the three).
std::string PropertyKindId(int kind);
std::string PropertyKindDescription(int kind);

// A decimal integer as the set-up's edits read it: an optional sign (when allowed), then
// leading digits; no digits give 0 and values beyond 32 bits saturate.
std::int32_t ReadLeadingInteger(const std::string& text, bool allowSign);

class SetupComputationState {
public:
    explicit SetupComputationState(CZunDoc& doc);

    CZunDoc& Document() { return doc_; }
    Params& GetParams() { return params_; }

    // The job switches: the caller sets them before showing (SetJobs also enables the controls
    // they govern) and reads them after OK.
    JobFlags jobs;
    void SetJobs(const JobFlags& j);

    // ---- composition methods
    // False for a parameter set without compositions or CT channels: the composition part is
    // then unchecked and disabled.
    bool CompositionAvailable() const { return compositionAvailable_; }
    bool CompositionJobShown() const { return compositionAvailable_ && jobs.composition; }
    std::string orderText[3];
    bool methodChecked[3] = {false, false, false};
    // A method check box: checking writes 3 into the step's flag word at once (it stands even
    // when the dialog is cancelled); the window then opens the method's sheet.
    void CheckMethod(int method, bool on);
    // "Set Parameters..." of a method: the linear and nonlinear steps are marked selected and
    // changed before their sheet opens.
    void SetParametersPressed(int method);
    bool ParametersButtonShown(int method) const { return methodChecked[method]; }
    void EnableCompositionControls(bool enable) { compositionControlsEnabled_ = enable; }
    bool CompositionControlsEnabled() const { return compositionControlsEnabled_; }
    void SetCompositionJob(bool on);

    // ---- property computations (built only when the document has a property channel)
    bool PropertySectionBuilt() const { return propertyBuilt_; }
    void EnablePropertyControls(bool enable) { propertyControlsEnabled_ = enable; }
    bool PropertyControlsEnabled() const { return propertyControlsEnabled_; }
    void SetPropertyJob(bool on);
    // The findings of the opening check of the controller's records (empty: nothing to say).
    const std::string& OpeningReport() const { return report_; }
    std::vector<PropertyMethodSettings> selected;
    // A record of the kind for this document, checked without a report.
    PropertyMethodSettings NewRecord(int kind) const;
    // Drop of selected row `from` on row `to` (swap), or below the last row (`to` = -1: to the end).
    void DropSelected(int from, int to);
    void MoveUp(int row);
    void MoveDown(int row);
    void Delete(int row);

    // ---- boundary mask (built only when the document has a boundary channel)
    bool BoundarySectionBuilt() const { return !boundaryNames_.empty(); }
    // "<None selected>", then the boundary channels.
    std::vector<std::string> MaskEntries() const;
    int MaskEntryIndex() const;
    void ChooseMaskEntry(int index);
    bool maskEnabled = false;
    std::string maskName;
    bool RestoreEnabled() const { return maskEnabled != savedMaskEnabled_ || maskName != savedMaskName_; }
    void Restore();

    // ---- plug-ins (built only when plug-ins are enabled in the preferences)
    bool PluginSectionBuilt() const { return pluginsBuilt_; }
    std::vector<PluginRunEntry> plugins;

    // ---- seed and error-report cap
    std::string seedText, capText;

    // Writes everything back (the dialog's OK).
    void OnOK();

private:
    CZunDoc& doc_;
    Params& params_;
    bool compositionAvailable_ = false;
    bool compositionControlsEnabled_ = true;
    bool propertyBuilt_ = false;
    bool propertyControlsEnabled_ = true;
    std::string report_;
    PropertyMethodSettings tables_;  // the document's tables for new records
    std::vector<std::string> boundaryNames_;
    bool savedMaskEnabled_ = false;
    std::string savedMaskName_;
    bool pluginsBuilt_ = false;
};

}  // namespace zun
