#include "plot/devicefilterprops.h"

#include <fstream>

#include "platform/prompt.h"
#include "plot/plotsettings.h"
#include "plot/tabletext.h"
#include "plot/tomographyprops.h"

namespace zun {

DeviceFilterModel::DeviceFilterModel(TomographyPropsModel& owner, std::string filterName, Prompt* prompt)
    : owner_(owner), name_(std::move(filterName)), prompt_(prompt) {}

void DeviceFilterModel::Open() {
    owner_.GetDeviceFilter(name_, working_);
    baseline_.Assign(working_);
    rows = TableRows(ToDisplayUnit(working_.table, working_.energyUnit));
    rows.emplace_back();
    enabled = working_.enabled;
    applyEnabled = false;
    UpdateGraph();
}

void DeviceFilterModel::UpdateGraph() {
    graphX.clear();
    graphY.clear();
    for (const auto& [e, v] : ToDisplayUnit(working_.table, working_.energyUnit)) {
        graphX.push_back(e);
        graphY.push_back(v);
    }
}

void DeviceFilterModel::RebuildFromRows() {
    FilterTable shown;
    ReadTableRows(rows, false, true, shown);
    working_.table = FromDisplayUnit(shown, working_.energyUnit);
}

bool DeviceFilterModel::EditCell(std::size_t row, int column, const std::string& text) {
    if (row >= rows.size() || column < 0 || column > 1) return false;
    if (!IsValidCellText(text)) {
        if (prompt_) prompt_->Tell(filtermsg::kNonNegative, PromptIcon::Information);
        return false;
    }
    (column == 0 ? rows[row].first : rows[row].second) = text;
    KeepOneBlankRow(rows);
    RebuildFromRows();
    UpdateGraph();
    applyEnabled = true;
    return true;
}

void DeviceFilterModel::OnEnabledChanged(bool on) {
    enabled = on;
    applyEnabled = true;
}

void DeviceFilterModel::SetUnit(int unit) {
    unit = unit == 1 ? 1 : 0;
    if (unit == working_.energyUnit) return;
    if (unit == 1) {
        // The rows as they stand (no rounding), back to keV.
        FilterTable shown;
        ReadTableRows(rows, false, false, shown);
        working_.table = FromDisplayUnit(shown, 0);
    }
    working_.energyUnit = unit;
    rows = TableRows(ToDisplayUnit(working_.table, unit));
    rows.emplace_back();
    UpdateGraph();
    applyEnabled = true;
}

void DeviceFilterModel::Clear() {
    if (prompt_ &&
        prompt_->Ask({filtermsg::kClear, {}, {}, PromptButtons::OkCancel, PromptIcon::Question}) != kPromptOk)
        return;
    working_.table.clear();
    rows.assign(1, TableRow{});
    UpdateGraph();
    applyEnabled = true;
}

bool DeviceFilterModel::Import(const std::string& path, int skipLines) {
    std::ifstream in(path);
    if (!in) {
        if (prompt_) prompt_->Tell("Could not open " + path, PromptIcon::Warning);
        return false;
    }
    // An import always replaces the whole table, even when the file holds no data line.
    const FilterTableRead read = ReadFilterTableText(in, skipLines);
    if (const std::string w = BadLinesWarning(read.badLines); !w.empty() && prompt_)
        prompt_->Tell(w, PromptIcon::Warning);
    working_.table = FromDisplayUnit(read.table, working_.energyUnit);
    rows = TableRows(read.table);
    rows.emplace_back();
    UpdateGraph();
    applyEnabled = true;
    return true;
}

bool DeviceFilterModel::Export(const std::string& path) {
    std::string error;
    const std::string text =
        FilterTableText(caption, ToDisplayUnit(working_.table, working_.energyUnit), working_.energyUnit);
    if (SaveTextFile(path, text, &error)) return true;
    if (prompt_) prompt_->Tell(error, PromptIcon::Warning);
    return false;
}

bool DeviceFilterModel::HandOver() {
    FilterTable shown;
    if (!ReadTableRows(rows, true, false, shown)) {
        if (prompt_) prompt_->Tell(filtermsg::kInvalidValues);
        return false;
    }
    if (IsSource()) {
        bool anyGain = false;
        for (const auto& [e, v] : shown) anyGain = anyGain || v != 0.0f;
        if (shown.empty() || !anyGain) {
            if (prompt_)
                prompt_->Tell("'" + name_ + "' filter " +
                              (shown.empty() ? "must have a non-zero energy range"
                                             : "must have at least one non-zero gain entry"));
            return false;
        }
    }
    working_.table = FromDisplayUnit(shown, working_.energyUnit);
    // The source spectrum cannot be switched off.
    working_.enabled = IsSource() ? working_.enabled : enabled;
    owner_.PutDeviceFilter(name_, working_);
    if (!(working_ == baseline_)) {
        owner_.RefreshAllFiltersWindow();
        owner_.EnableApply();
    }
    UpdateGraph();
    return true;
}

bool DeviceFilterModel::Apply() {
    if (!HandOver()) return false;
    baseline_.Assign(working_);
    applyEnabled = false;
    return true;
}

void DeviceFilterModel::Cancel() {
    owner_.PutDeviceFilter(name_, baseline_);
}

void DeviceFilterModel::RenameChannel(const std::string& oldName, const std::string& newName) {
    ReplaceQuotedName(caption, oldName, newName);
}

}  // namespace zun
