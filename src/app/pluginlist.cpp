#include "app/pluginlist.h"

#include <algorithm>

namespace zun {

std::string PluginListModel::Title() const {
    const int n = static_cast<int>(entries_.size());
    if (n <= kMaxShown) return "Plugins";
    return "Plugins (" + std::to_string(kMaxShown) + " shown of " + std::to_string(n) + " located)";
}

int PluginListModel::Shown() const {
    return std::min(static_cast<int>(entries_.size()), kMaxShown);
}

std::string PluginListModel::RowLabel(int row) const {
    const PluginRunEntry& e = Entry(row);
    std::string label = e.description;
    if (e.duplicateIndex > 0) label += " (" + std::to_string(e.duplicateIndex + 1) + ")";
    return label;
}

bool PluginListModel::RowButtonsEnabled(int row) const {
    return job_ && Entry(row).selected;
}

void PluginListModel::SetSelected(int row, bool on) {
    entries_[static_cast<std::size_t>(row)].selected = on;
}

void PluginListModel::SetParameters(int row, const std::string& parameters) {
    const std::string name = Entry(row).name;
    for (PluginRunEntry& e : entries_)
        if (e.name == name) e.parameters = parameters;
}

std::string PluginAboutCaption(const PluginRunEntry& entry) {
    return "About " + entry.name;
}

std::string PluginAboutPath(const PluginRunEntry& entry, const std::string& date, const std::string& time) {
    return entry.path + "   " + date + " " + time;
}

}  // namespace zun
