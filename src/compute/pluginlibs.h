#pragma once
// Plug-in libraries: finding them in the plug-in folders, the run list with each plug-in's
// parameter string and selection, the settings kept in the document between sessions (matched by
// plug-in name, case-sensitively), and running one plug-in against a document.

#include <cstdint>
#include <string>
#include <vector>

namespace zun {

class Archive;
class PluginDocument;

struct DetectedPlugin {
    std::string name;           // name() of the plug-in object
    std::string fileBaseName;   // file name without its extension
    std::string description;    // description() of the plug-in object
    std::string path;           // folder + "/" + file name
    std::int64_t fileTime = 0;  // last modification, nanoseconds since the epoch
    int duplicateIndex = 0;     // libraries found earlier with the same name
};

struct PluginRunEntry : DetectedPlugin {
    std::string parameters;
    bool selected = false;
};

struct SavedPluginSetting {
    std::string name;
    std::string fileBaseName;
    std::string parameters;
    bool selected = false;

    bool operator==(const SavedPluginSetting&) const = default;
};

enum PluginResult : int {
    kPluginSuccess = 0,
    kPluginFileNotFound = 1,
    kPluginInvalid = 2,
    kPluginNoDocument = 3,
    kPluginUserInterrupt = 4,
};

// "success", "file not found", "invalid plugin", "no document", "user interrupt"; empty for
// other codes.
const char* PluginResultText(int code);

// Every library in the folders, in folder order and, within a folder, in file-name order.
// Folders that cannot be read and libraries that do not load or are not plug-ins are skipped.
void DiscoverPlugins(std::vector<DetectedPlugin>& detected, const std::vector<std::string>& folders);

// Discovery plus the saved settings: plug-ins keep their saved parameters; of several libraries
// carrying one saved selected name only the newest is selected.
void MergePluginSettings(std::vector<PluginRunEntry>& runList, const std::vector<SavedPluginSetting>& saved,
                         const std::vector<std::string>& folders);

// Discovery again; an entry keeps its parameters and selection only where name and path match.
void RefreshPluginRunList(std::vector<PluginRunEntry>& runList, const std::vector<std::string>& folders);

// Folds the run list into the saved settings (name order). Settings of plug-ins that are gone
// stay; untouched plug-ins (no parameters, not selected) are not added.
void UpdateSavedPluginSettings(std::vector<SavedPluginSetting>& saved,
                               const std::vector<PluginRunEntry>& runList);

// The saved settings in the controller's archive: u32 count, then name, fileBaseName,
// parameters and selected per record.
void SerializeSavedPluginSettings(Archive& ar, std::vector<SavedPluginSetting>& saved);

// Runs one plug-in on the document (null: no document, result 3). Returns a PluginResult. The
// library is unloaded on every path; an exception escaping the plug-in is logged in the document
// and reported as an invalid plug-in.
int RunPlugin(const PluginRunEntry& entry, PluginDocument* document);

}  // namespace zun
