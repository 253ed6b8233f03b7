#pragma once
// What the "Material Filter Properties" window shows and does, without the window: an absorbing
// layer of a CT beam made of a mixture of compositions with a thickness, its transmission
// exp(-LAC x thickness) on an energy grid, the material list's import and export, and Apply, OK
// and Cancel against the X-ray CT properties that own the filter. The "Beam Hardening" filter
// mirrors the document's composition channels.

#include <array>
#include <string>
#include <vector>

#include "model/filter.h"
#include "plot/filtertable.h"

namespace zun {

class Prompt;
class TomographyPropsModel;

namespace materialmsg {
inline constexpr const char* kInvalidFormula = "Invalid compositional formula";
inline constexpr const char* kNormalised = "Sum of volume fractions is greater than 1, will be normalised";
inline constexpr const char* kAdjusted = "Beam energy limits and/or interval will be adjusted";
inline constexpr const char* kInvalidMaterials = "Invalid material properties value(s)";
inline constexpr const char* kInvalidThickness = "Invalid thickness entry";
inline constexpr const char* kInvalidRange = "Invalid beam energy min, max or interval entry";
inline constexpr const char* kNoCompositions = "No compositions defined";
inline constexpr const char* kGetCurrent = "Overwrite with current model volume fractions?";
inline constexpr const char* kOverwrite = "Overwrite existing material properties?";
inline constexpr const char* kFileFormula = "Invalid composition formula in file";
inline constexpr const char* kFileDensity = "Non-numeric density value in file";
inline constexpr const char* kFileFraction = "Non-numeric volume fraction value in file";
}  // namespace materialmsg

using MaterialRow = std::array<std::string, 3>;  // formula, density, volume fraction

class MaterialFilterModel {
public:
    static constexpr int kMaxPoints = 10001;
    enum GridResult { kGridUnchanged = 0, kGridAdjusted = 1, kGridLimited = 2, kGridInvalid = 3 };

    MaterialFilterModel(TomographyPropsModel& owner, std::string filterName, Prompt* prompt);

    std::string caption = "Material Filter Properties";
    // Elements the attenuation method lacks (set by the opener); while not 0 nothing is computed.
    int unavailable = 0;

    void Open();
    bool IsBeamHardening() const { return name_ == "Beam Hardening"; }
    const std::string& FilterName() const { return name_; }

    std::vector<MaterialRow> materials;  // ends with one empty row except for "Beam Hardening"
    std::vector<TableRow> tableRows;     // the transmission table in the display unit
    std::string thicknessText, minText, maxText, intervalText;  // mm; display unit
    bool enabled = true;
    bool applyEnabled = false;
    int Unit() const { return working_.energyUnit; }
    std::string RangeLabel() const {
        return std::string("Beam Energy (") + (Unit() == 1 ? "keV" : "eV") + "):";
    }
    std::vector<double> graphX, graphY;
    const MaterialFilter& Working() const { return working_; }
    // Which of the materials list's cells may be edited.
    bool IsMaterialCellEditable(int column) const { return !IsBeamHardening() || column == 2; }

    bool EditMaterialCell(std::size_t row, int column, const std::string& text);
    void OnEditChanged() { applyEnabled = true; }
    void OnEnabledChanged(bool on);
    bool SetUnit(int unit);
    void Clear();
    void GetCurrent();
    bool ImportMaterials(const std::string& path);
    bool NeedsOverwriteQuestion() const { return !working_.compositions.empty(); }
    bool ExportMaterials(const std::string& path) const;
    bool ExportTable(const std::string& path) const;
    // Recomputes the transmission table from the working filter.
    void ComputeTransferFunction();

    bool Apply();
    bool Ok() { return HandOver(); }
    void Cancel();
    void RenameChannel(const std::string& oldName, const std::string& newName);

    // ---- pure rules
    // The mixture of the usable records: "(formula)fraction..." and the density (normalised when
    // the fractions sum above 1).
    static std::string MixtureFormula(const std::vector<FilterComposition>& list, double* density,
                                      bool* normalised);
    // The grid (keV) the table uses: swaps min/max, limits the points; points = N.
    static int AdjustGrid(float& minimum, float& maximum, float& interval, int& points);
    // The material-properties text of a composition list.
    static std::string MaterialsText(const std::string& caption, const std::vector<FilterComposition>& list);

private:
    bool HandOver();
    bool ReadMaterials(std::vector<FilterComposition>& out) const;
    void FillMaterials();
    void FillTexts();
    void RebuildFromDocument();

    TomographyPropsModel& owner_;
    std::string name_;
    Prompt* prompt_;
    MaterialFilter working_{"material_filter", false};
    MaterialFilter baseline_{"material_filter", false};
    std::vector<int> rowChannels_;  // "Beam Hardening": the channel each row was built from
};

}  // namespace zun
