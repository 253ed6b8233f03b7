#pragma once
// What the "Plugins" and "Cluster" pages of the preference sheet do, without a window: the
// ordered plug-in folder list and the compute-cluster records of the sheet's working copy.

#include <string>
#include <vector>

#include "app/prefsheet.h"

namespace zun {

namespace prefmsg {
inline constexpr const char* kNoCluster = "Cannot find any cluster";
inline constexpr const char* kDeleteAllClusters = "Delete all selected clusters?";
inline constexpr const char* kClusterEmptyFields = "Failed to save cluster info - please fill empty fields";
}  // namespace prefmsg

class PluginPageModel {
public:
    explicit PluginPageModel(PrefsSheetModel& sheet) : sheet_(sheet) {}

    const std::vector<std::string>& Folders() const { return Sect().searchList; }
    bool Enabled() const { return Sect().enabled; }

    // A folder picked in the folder browser ("" when the browser was cancelled). False when it
    // is listed already (the user is told so).
    bool AddFolder(const std::string& folder);
    // Removes, for every selected row in row order, the first listed folder equal to its text.
    void RemoveRows(const std::vector<int>& rows);
    void Restore();
    void IncludeDefaults();
    void SetEnabled(bool on);

    bool CanRestore() const;
    bool CanIncludeDefaults() const;

private:
    PluginSect& Sect() const { return sheet_.Working().plugins; }
    std::vector<std::string> MissingDefaults() const;
    PrefsSheetModel& sheet_;
};

class ClusterPageModel {
public:
    explicit ClusterPageModel(PrefsSheetModel& sheet);

    int Current() const { return current_; }
    int Count() const { return static_cast<int>(Sect().clusters.size()); }
    int PendingDefault() const { return pendingDefault_; }
    // The record shown; null when there is none.
    const ClusterInfo* Record() const;
    bool IsDefault() const { return Record() && Sect().defaultCluster == current_; }

    void SearchClusters();
    // The found-cluster list's row: the record of that name becomes current, or a new one is
    // inserted after the current record.
    void SelectOrAdd(const std::string& name);
    void Prev();
    void Next();
    void Delete();
    void DeleteAll();
    // Stores the three fields in the current record (all must be filled); with `asDefault` the
    // pending default becomes the section's default. False when a field was empty.
    bool Save(const std::string& dnsName, const std::string& ipAddress, const std::string& binFolder,
              bool asDefault);
    void SetAsDefault(bool ticked) { pendingDefault_ = ticked && Record() ? current_ : -1; }

private:
    ClusterSect& Sect() const { return sheet_.Working().cluster; }
    PrefsSheetModel& sheet_;
    int current_ = 0;
    int pendingDefault_ = -1;
};

}  // namespace zun
