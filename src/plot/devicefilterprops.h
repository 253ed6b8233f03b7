#pragma once
// What the "Device Filter Properties" window shows and does, without the window: one device
// filter of a CT channel (a source spectrum or a detector response) as an editable energy -> gain
// list in eV or keV, its curve, import and export as table text, and Apply, OK and Cancel
// against the X-ray CT properties that own the filter.

#include <string>
#include <vector>

#include "model/filter.h"
#include "plot/filtertable.h"

namespace zun {

class Prompt;
class TomographyPropsModel;

class DeviceFilterModel {
public:
    DeviceFilterModel(TomographyPropsModel& owner, std::string filterName, Prompt* prompt);

    std::string caption = "Device Filter Properties";

    // Loads the owner's filter: the list, the unit and the enabled box.
    void Open();
    const std::string& FilterName() const { return name_; }
    bool IsSource() const { return name_ == "Source"; }

    // The list as shown (display unit), always ending in one empty row.
    std::vector<TableRow> rows;
    bool enabled = false;
    int Unit() const { return working_.energyUnit; }
    bool applyEnabled = false;
    std::string EnergyTitle() const { return EnergyColumnTitle(working_.energyUnit); }

    // The curve: x in the display unit.
    std::vector<double> graphX, graphY;
    const DeviceFilter& Working() const { return working_; }

    // An edited cell; false (message shown, cell unchanged) when refused.
    bool EditCell(std::size_t row, int column, const std::string& text);
    void OnEnabledChanged(bool on);
    // The unit radios (0 eV, 1 keV); the unit in force does nothing.
    void SetUnit(int unit);
    // "Clear...": asks first.
    void Clear();
    // Import of a table text file (the caller asked for the path and the lines to skip); asks
    // before replacing a table. False when nothing was read.
    bool Import(const std::string& path, int skipLines);
    bool NeedsOverwriteQuestion() const { return !working_.table.empty(); }
    // Export of the working table in the display unit; false with the message shown on failure.
    bool Export(const std::string& path);

    // Apply and OK hand the filter to the owner (false when refused, with the message shown).
    bool Apply();
    bool Ok() { return HandOver(); }
    void Cancel();

    void RenameChannel(const std::string& oldName, const std::string& newName);

private:
    bool HandOver();
    void RebuildFromRows();
    void UpdateGraph();

    TomographyPropsModel& owner_;
    std::string name_;
    Prompt* prompt_;
    DeviceFilter working_{"device_filter", false};
    DeviceFilter baseline_{"device_filter", false};
};

}  // namespace zun
