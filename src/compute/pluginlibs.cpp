#include "compute/pluginlibs.h"

#include <sys/stat.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <map>
#include <system_error>

#include "compute/plugindocument.h"
#include "compute/pluginhost.h"
#include "compute/pluginlibrary.h"
#include "compute/pluginparams.h"
#include "compute/zun_plugin.h"
#include "platform/archive.h"

namespace zun {

namespace {

std::string Text(const char* s) {
    return s ? std::string(s) : std::string();
}

// The plug-in object, released through the library's own release function on every path.
class PluginInstance {
public:
    explicit PluginInstance(const PluginLibrary& lib) : release_(lib.Release()) {
        try {
            obj_ = lib.Create()();
        } catch (...) {
            obj_ = nullptr;
        }
    }
    ~PluginInstance() {
        if (!obj_) return;
        try {
            release_(obj_);
        } catch (...) {
        }
    }
    PluginInstance(const PluginInstance&) = delete;
    PluginInstance& operator=(const PluginInstance&) = delete;
    zunplugin::Plugin* get() const { return obj_; }

private:
    PluginLibrary::ReleaseFn release_;
    zunplugin::Plugin* obj_ = nullptr;
};

std::vector<std::string> LibraryFiles(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::filesystem::path& p = it->path();
        if (p.extension() != ".so") continue;
        std::error_code fec;
        if (!it->is_regular_file(fec)) continue;
        names.push_back(p.filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::int64_t FileTime(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return 0;
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

bool Examine(const std::string& folder, const std::string& file, DetectedPlugin& rec) {
    rec.path = folder.empty() || folder.back() == '/' ? folder + file : folder + "/" + file;
    PluginLibrary lib;
    if (!lib.Open(rec.path) || !lib.HasPluginExports()) return false;
    PluginInstance plugin(lib);
    if (!plugin.get()) return false;
    try {
        rec.name = Text(plugin.get()->name());
        rec.description = Text(plugin.get()->description());
    } catch (...) {
        return false;
    }
    rec.fileBaseName = std::filesystem::path(file).stem().string();
    rec.fileTime = FileTime(rec.path);
    return true;
}

PluginRunEntry FreshEntry(const DetectedPlugin& d) {
    PluginRunEntry e;
    static_cast<DetectedPlugin&>(e) = d;
    return e;
}

}  // namespace

const char* PluginResultText(int code) {
    switch (code) {
        case kPluginSuccess:
            return "success";
        case kPluginFileNotFound:
            return "file not found";
        case kPluginInvalid:
            return "invalid plugin";
        case kPluginNoDocument:
            return "no document";
        case kPluginUserInterrupt:
            return "user interrupt";
        default:
            return "";
    }
}

void DiscoverPlugins(std::vector<DetectedPlugin>& detected, const std::vector<std::string>& folders) {
    detected.clear();
    for (const std::string& folder : folders) {
        for (const std::string& file : LibraryFiles(folder)) {
            DetectedPlugin rec;
            if (!Examine(folder, file, rec)) continue;
            rec.duplicateIndex =
                static_cast<int>(std::count_if(detected.begin(), detected.end(),
                                               [&](const DetectedPlugin& d) { return d.name == rec.name; }));
            detected.push_back(std::move(rec));
        }
    }
}

void MergePluginSettings(std::vector<PluginRunEntry>& runList, const std::vector<SavedPluginSetting>& saved,
                         const std::vector<std::string>& folders) {
    std::vector<DetectedPlugin> detected;
    DiscoverPlugins(detected, folders);
    std::map<std::string, const SavedPluginSetting*> byName;
    for (const SavedPluginSetting& s : saved) byName[s.name] = &s;

    runList.clear();
    for (const DetectedPlugin& d : detected) {
        PluginRunEntry e = FreshEntry(d);
        auto it = byName.find(d.name);
        if (it != byName.end()) {
            e.parameters = it->second->parameters;
            const bool newerExists =
                std::any_of(detected.begin(), detected.end(), [&](const DetectedPlugin& o) {
                    return &o != &d && o.name == d.name && o.fileTime > d.fileTime;
                });
            e.selected = it->second->selected && !newerExists;
        }
        runList.push_back(std::move(e));
    }
}

void RefreshPluginRunList(std::vector<PluginRunEntry>& runList, const std::vector<std::string>& folders) {
    std::vector<DetectedPlugin> detected;
    DiscoverPlugins(detected, folders);
    std::vector<PluginRunEntry> fresh;
    fresh.reserve(detected.size());
    for (const DetectedPlugin& d : detected) {
        PluginRunEntry e = FreshEntry(d);
        for (const PluginRunEntry& old : runList) {
            if (old.name == d.name && old.path == d.path) {
                e.parameters = old.parameters;
                e.selected = old.selected;
            }
        }
        fresh.push_back(std::move(e));
    }
    runList = std::move(fresh);
}

void UpdateSavedPluginSettings(std::vector<SavedPluginSetting>& saved,
                               const std::vector<PluginRunEntry>& runList) {
    std::map<std::string, SavedPluginSetting> byName;
    for (const SavedPluginSetting& s : saved) byName[s.name] = s;
    for (const PluginRunEntry& e : runList) {
        const bool known = byName.count(e.name) != 0;
        if (known || !e.parameters.empty() || e.selected)
            byName[e.name] = SavedPluginSetting{e.name, e.fileBaseName, e.parameters, e.selected};
    }
    saved.clear();
    for (auto& [name, s] : byName) saved.push_back(std::move(s));
}

void SerializeSavedPluginSettings(Archive& ar, std::vector<SavedPluginSetting>& saved) {
    if (ar.IsStoring()) {
        ar << static_cast<std::uint32_t>(saved.size());
        for (const SavedPluginSetting& s : saved)
            ar << s.name << s.fileBaseName << s.parameters << s.selected;
        return;
    }
    std::uint32_t n = 0;
    ar >> n;
    std::vector<SavedPluginSetting> loaded;
    // No reserve from the stored count: a damaged count must not allocate gigabytes; a short
    // archive ends the loop with an exception instead.
    for (std::uint32_t i = 0; i < n; ++i) {
        SavedPluginSetting s;
        ar >> s.name >> s.fileBaseName >> s.parameters >> s.selected;
        loaded.push_back(std::move(s));
    }
    saved = std::move(loaded);
}

int RunPlugin(const PluginRunEntry& entry, PluginDocument* document) {
    PluginLibrary lib;
    if (!lib.Open(entry.path)) return kPluginFileNotFound;
    if (!lib.HasPluginExports()) return kPluginInvalid;
    if (!document) return kPluginNoDocument;

    PluginInstance plugin(lib);
    if (!plugin.get()) return kPluginInvalid;

    int result = kPluginSuccess;
    bool changed = false;
    bool cancelled = false;
    try {
        PluginObjHost host(*document, entry.fileBaseName);
        PluginArgs args = TokenizePluginParameters(entry.fileBaseName, entry.parameters);
        try {
            plugin.get()->run(&host, args.argc(), args.argv());
        } catch (const std::exception& e) {
            document->Log("Plugin '" + entry.name + "' failed: " + e.what() + "\n");
            result = kPluginInvalid;
        } catch (...) {
            document->Log("Plugin '" + entry.name + "' failed: unknown exception\n");
            result = kPluginInvalid;
        }
        changed = host.DocumentChanged();
        cancelled = host.Cancelled();
    } catch (...) {
        // The host could not be set up (or the log refused the failure line); the plug-in did
        // not run to completion either way.
        result = kPluginInvalid;
    }
    // A plug-in that failed part-way may still have written channel data.
    if (changed) document->SetModified();
    if (result == kPluginSuccess && cancelled) result = kPluginUserInterrupt;
    return result;
}

}  // namespace zun
