#include "app/startup.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "document/binarydatafile.h"
#include "document/docclasses.h"
#include "energyopt/dialogvars.h"
#include "platform/inifile.h"

namespace zun {

const char SymbolMu[] = "\u03bc";
const char SymbolBeta[] = "\u03b2";
const char SymbolPhi[] = "\u03c6";
const char SymbolDelta[] = "\u03b4";

void RegisterSavedClasses() {
    RegisterDocumentClasses();
    EnergyOpt::RegisterEnergyOptClasses();
}

StartupOptions ParseCommandLine(const std::vector<std::string>& args) {
    StartupOptions o;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& t = args[i];
        if (t.empty()) continue;
        // Only a token that starts with the option counts: a path that merely contains "--p"
        // somewhere must not switch the program into remote-controlled mode.
        if (t.rfind("--h", 0) == 0) {
            o.host = t.substr(3);
        } else if (t.rfind("--p", 0) == 0) {
            o.port = t.substr(3);
        } else if (t.rfind("--w", 0) == 0) {
            long long w = 0;
            if (std::sscanf(t.c_str() + 3, "%lld", &w) == 1) o.window = w;
        } else if (t == "--version") {
            o.version = true;
        } else if (t.rfind("--", 0) != 0) {
            o.files.push_back(t);
        }
    }
    return o;
}

namespace {
std::unique_ptr<RemoteControlStartup>& RemoteSlot() {
    static std::unique_ptr<RemoteControlStartup> slot = std::make_unique<RemoteControlStartup>();
    return slot;
}
}  // namespace

RemoteControlStartup& GetRemoteControlStartup() {
    return *RemoteSlot();
}

namespace {
std::atomic<bool> g_remote{false};
}
bool IsRemoteControlled() {
    return g_remote.load();
}
void SetRemoteControlled(bool remote) {
    g_remote = remote;
    // The progress dialogs report to the controller while there is one.
    SetWorkReportRoute(remote ? RemoteSlot().get() : nullptr);
}

void SetRemoteControlStartup(std::unique_ptr<RemoteControlStartup> startup) {
    RemoteSlot() = startup ? std::move(startup) : std::make_unique<RemoteControlStartup>();
    SetWorkReportRoute(g_remote ? RemoteSlot().get() : nullptr);
}

std::string ProfilePath() {
    namespace fs = std::filesystem;
    fs::path base;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) {
        base = x;
    } else if (const char* h = std::getenv("HOME"); h && *h) {
        base = fs::path(h) / ".config";
    } else {
        base = fs::temp_directory_path();
    }
    const fs::path folder = base / "Zun";
    std::error_code ec;
    fs::create_directories(folder, ec);
    return (folder / "zun.ini").string();
}

OpenKind ProbeOpenFile(const std::string& path) {
    bool text = false;
    int binary = -1;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char head[4] = {};
        text = std::fread(head, 1, 4, f) == 4 && std::memcmp(head, "TEXT", 4) == 0;
        std::fclose(f);
    }
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        binary = IsBinaryDataFile(f);
        std::fclose(f);
    }
    const bool isBinary = binary > 0;
    if (text && isBinary) return OpenKind::Refused;
    if (text) return OpenKind::TextData;
    if (isBinary) return OpenKind::BinaryData;
    return OpenKind::Document;
}

void RecentFileList::Add(const std::string& path) {
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        if (paths_[i] == path) {
            paths_.erase(paths_.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    paths_.insert(paths_.begin(), path);
    if (paths_.size() > kSize) paths_.resize(kSize);
}

void RecentFileList::Remove(int index) {
    if (index >= 0 && index < Size()) paths_.erase(paths_.begin() + index);
}

void RecentFileList::Load(const IniFile& ini) {
    paths_.clear();
    for (int i = 1; i <= kSize; ++i) {
        const std::string p = ini.GetProfileString("Recent File List", "File" + std::to_string(i), "");
        if (!p.empty()) paths_.push_back(p);
    }
}

void RecentFileList::Save(IniFile& ini) const {
    for (int i = 1; i <= kSize; ++i) {
        const std::string p = i <= Size() ? paths_[static_cast<std::size_t>(i - 1)] : std::string();
        ini.WriteProfileString("Recent File List", "File" + std::to_string(i), p);
    }
}

}  // namespace zun
