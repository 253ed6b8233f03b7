#pragma once
// What a plug-in list shows and does, without a window: the rows of the plug-in run list (at most
// 16), their labels and switches, the parameter string shared by plug-ins of one name, and the
// texts of a plug-in's About box.

#include <string>
#include <vector>

#include "compute/pluginlibs.h"

namespace zun {

class PluginListModel {
public:
    static constexpr int kMaxShown = 16;

    // The list edited in place; `job` is the plug-in job switch.
    PluginListModel(std::vector<PluginRunEntry>& entries, bool job) : entries_(entries), job_(job) {}

    // "Plugins", and " (16 shown of n located)" when more were found.
    std::string Title() const;
    int Shown() const;
    // The plug-in's description, with " (k)" when k - 1 libraries of its name came before it.
    std::string RowLabel(int row) const;
    bool Job() const { return job_; }
    void SetJob(bool on) { job_ = on; }
    bool RowEnabled(int) const { return job_; }
    // "About..." and "Set Parameters..." of a row.
    bool RowButtonsEnabled(int row) const;
    bool Selected(int row) const { return Entry(row).selected; }
    void SetSelected(int row, bool on);
    // The parameter string goes to every plug-in of the same name.
    void SetParameters(int row, const std::string& parameters);
    const PluginRunEntry& Entry(int row) const { return entries_[static_cast<std::size_t>(row)]; }

private:
    std::vector<PluginRunEntry>& entries_;
    bool job_;
};

// The About box's caption: "About " and the plug-in's name.
std::string PluginAboutCaption(const PluginRunEntry& entry);
// The path field: the path, three blanks, then the file time as the date and time texts the
// caller formats (the user's own formats).
std::string PluginAboutPath(const PluginRunEntry& entry, const std::string& date, const std::string& time);

}  // namespace zun
