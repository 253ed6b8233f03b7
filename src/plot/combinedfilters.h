#pragma once
// What the "Display All" window of a CT channel's beam filters shows and does, without the
// window: the source spectrum, the source times the detector response and the product of every
// enabled filter as scaled curves against beam energy, their export, and the scalings and energy
// unit kept in the X-ray CT properties' record.

#include <array>
#include <string>
#include <vector>

#include "model/polyfilters.h"

namespace zun {

class Prompt;
class TomographyPropsModel;

namespace combinedmsg {
inline constexpr const char* kScaling = "Scaling entries must be non-negative numbers";
}

class CombinedFiltersModel {
public:
    enum Curve { kSource, kSourceDetector, kAll, kCurveCount };
    static constexpr const char* kNames[kCurveCount] = {"Source", "Source+Detector", "All"};

    CombinedFiltersModel(TomographyPropsModel& owner, Prompt* prompt);

    std::string caption = "Combined Filters Properties";

    void Open();
    // The owner's filters changed: availability and curves again.
    void Refresh();

    std::array<bool, kCurveCount> available{};
    std::array<std::string, kCurveCount> scalingTexts;
    const CombinedFilters& Current() const { return current_; }
    bool applyEnabled = false;
    int Unit() const { return current_.energyUnit; }
    std::string XTitle() const { return std::string("Beam Energy(") + (Unit() == 1 ? "keV" : "eV") + ")"; }

    // The grid (display unit) and each shown curve's gain times its scaling.
    std::vector<double> x;
    std::array<std::vector<double>, kCurveCount> y;

    void SetShown(Curve c, bool on);
    void SetUnit(int unit);
    // Enter in a scaling field: every field read again; false (message shown) when one is not a
    // number >= 0. field receives the one to focus.
    bool ReadScalings(int* field = nullptr);
    // A spin step of one field.
    void Spin(Curve c, int delta);
    // The two-significant-digit step of a spin button; from 0 up gives 0.1, down stays 0.
    static float StepScaling(float v, int delta);

    std::string ExportText() const;
    bool Export(const std::string& path) const;
    bool Apply();
    bool Ok();
    void Cancel() { current_ = saved_; }

private:
    void UpdateAvailability();
    void BuildCurves();
    void ShowScalings();

    TomographyPropsModel& owner_;
    Prompt* prompt_;
    CombinedFilters current_;
    CombinedFilters saved_;
    std::array<std::vector<double>, kCurveCount> gains_;  // unscaled, on the grid
};

}  // namespace zun
