#include "app/prefpages.h"

#include <algorithm>

#include "platform/prompt.h"

namespace zun {

bool PluginPageModel::AddFolder(const std::string& folder) {
    if (folder.empty()) return false;
    auto& list = Sect().searchList;
    if (std::find(list.begin(), list.end(), folder) != list.end()) {
        sheet_.GetPrompt().Tell("The directory " + folder + "\nis already in the plugin dll search list.",
                                PromptIcon::Information);
        return false;
    }
    list.push_back(folder);
    sheet_.SetModifiedAll(true);
    return true;
}

void PluginPageModel::RemoveRows(const std::vector<int>& rows) {
    if (rows.empty()) return;
    auto& list = Sect().searchList;
    // The rows' texts are taken before anything is removed: the rows name what the user saw.
    std::vector<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::string> texts;
    for (int r : sorted)
        if (r >= 0 && r < static_cast<int>(list.size())) texts.push_back(list[static_cast<std::size_t>(r)]);
    for (const std::string& t : texts)
        if (auto it = std::find(list.begin(), list.end(), t); it != list.end()) list.erase(it);
    sheet_.SetModifiedAll(true);
}

void PluginPageModel::Restore() {
    if (!CanRestore()) return;
    Sect().searchList = sheet_.Reference().plugins.searchList;
    sheet_.SetModifiedAll(true);
}

std::vector<std::string> PluginPageModel::MissingDefaults() const {
    std::vector<std::string> out;
    const auto& list = Sect().searchList;
    for (const std::string& d : Sect().defaultList)
        if (std::find(list.begin(), list.end(), d) == list.end() &&
            std::find(out.begin(), out.end(), d) == out.end())
            out.push_back(d);
    return out;
}

void PluginPageModel::IncludeDefaults() {
    const std::vector<std::string> missing = MissingDefaults();
    if (missing.empty()) return;
    auto& list = Sect().searchList;
    list.insert(list.end(), missing.begin(), missing.end());
    sheet_.SetModifiedAll(true);
}

void PluginPageModel::SetEnabled(bool on) {
    Sect().enabled = on;
    sheet_.SetModifiedAll(true);
}

bool PluginPageModel::CanRestore() const {
    return Sect().searchList != sheet_.Reference().plugins.searchList;
}

bool PluginPageModel::CanIncludeDefaults() const {
    return !MissingDefaults().empty();
}

// ---------------------------------------------------------------------------------------------

ClusterPageModel::ClusterPageModel(PrefsSheetModel& sheet) : sheet_(sheet) {
    pendingDefault_ = Sect().defaultCluster;
}

const ClusterInfo* ClusterPageModel::Record() const {
    const auto& list = Sect().clusters;
    if (current_ < 0 || current_ >= static_cast<int>(list.size())) return nullptr;
    return &list[static_cast<std::size_t>(current_)];
}

void ClusterPageModel::SearchClusters() {
    sheet_.GetPrompt().Tell(prefmsg::kNoCluster);
}

void ClusterPageModel::SelectOrAdd(const std::string& name) {
    if (name.empty()) return;
    auto& list = Sect().clusters;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (list[i].name == name) {
            current_ = static_cast<int>(i);
            return;
        }
    }
    const int at = list.empty() ? 0 : current_ + 1;
    list.insert(list.begin() + at, ClusterInfo{name, {}, {}, {}});
    // Records after the insertion move down one place; the default keeps naming its record.
    if (Sect().defaultCluster >= at) ++Sect().defaultCluster;
    if (pendingDefault_ >= at) ++pendingDefault_;
    current_ = at;
    sheet_.SetModifiedAll(true);
}

void ClusterPageModel::Prev() {
    if (current_ > 0) --current_;
}

void ClusterPageModel::Next() {
    if (current_ < Count() - 1) ++current_;
}

namespace {
// After record `removed` is gone an index keeps naming the same record, or none.
int AfterRemoval(int index, int removed) {
    if (index == removed) return -1;
    return index > removed ? index - 1 : index;
}
}  // namespace

void ClusterPageModel::Delete() {
    if (!Record()) return;
    auto& list = Sect().clusters;
    const int removed = current_;
    list.erase(list.begin() + removed);
    if (removed >= static_cast<int>(list.size())) current_ = 0;
    Sect().defaultCluster = AfterRemoval(Sect().defaultCluster, removed);
    pendingDefault_ = AfterRemoval(pendingDefault_, removed);
    sheet_.SetModifiedAll(true);
}

void ClusterPageModel::DeleteAll() {
    const int answer = sheet_.GetPrompt().Ask(
        PromptRequest{prefmsg::kDeleteAllClusters, {}, {}, PromptButtons::OkCancel, PromptIcon::Question});
    if (answer != kPromptOk) return;
    Sect().clusters.clear();
    Sect().defaultCluster = -1;
    pendingDefault_ = -1;
    current_ = 0;
    sheet_.SetModifiedAll(true);
}

bool ClusterPageModel::Save(const std::string& dnsName, const std::string& ipAddress,
                            const std::string& binFolder, bool asDefault) {
    const bool filled = !dnsName.empty() && !ipAddress.empty() && !binFolder.empty();
    if (!filled) {
        sheet_.GetPrompt().Tell(prefmsg::kClusterEmptyFields);
    } else if (Record()) {
        ClusterInfo& r = Sect().clusters[static_cast<std::size_t>(current_)];
        r.dnsName = dnsName;
        r.ipAddress = ipAddress;
        r.binFolder = binFolder;
    }
    if (asDefault && pendingDefault_ < Count()) Sect().defaultCluster = pendingDefault_;
    sheet_.SetModifiedAll(true);
    return filled;
}

}  // namespace zun
