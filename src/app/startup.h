#pragma once
// What the program decides before it has a window: the command line, the remote-controlled mode
// and where the preferences live; and how a file chosen for opening is told apart.

#include <memory>
#include <string>
#include <vector>

#include "platform/progress.h"

namespace zun {

class CZunDoc;
class IniFile;
class MainFrameChannel;
class ZunPreferences;

struct StartupOptions {
    std::string host;                // "--h<host>"
    std::string port;                // "--p<port>"
    long long window = 0;            // "--w<id>": the controlling program's window to embed into
    std::vector<std::string> files;  // documents to open
    bool version = false;            // "--version"
    // Remote-controlled exactly when both a host and a port were given.
    bool Remote() const { return !host.empty() && !port.empty(); }
};

// Registers the run-time class of every object a document file holds: the document's own, and the
// energy-optimisation record, which lives above the document. The program and every reader of its
// files outside it (the fuzz harnesses) call this one function, so that none refuses a record the
// program writes.
void RegisterSavedClasses();

// Reads the arguments (args[0], the program path, is skipped). An option must open its token and
// carries its value glued to it ("--p5000"); a value after a blank is not seen. Later tokens
// overwrite earlier ones. Other tokens not starting with "--" are files to open.
StartupOptions ParseCommandLine(const std::vector<std::string>& args);

// What the main window offers a remote-control server.
class AppOperations {
public:
    virtual ~AppOperations() = default;
    virtual CZunDoc* NewDocument() = 0;
    virtual CZunDoc* OpenDocument(const std::string& path) = 0;
    virtual bool CloseDocument(CZunDoc* doc) = 0;
    virtual CZunDoc* ActiveDocument() = 0;
    virtual std::vector<CZunDoc*> Documents() = 0;
    // The channel the server posts its requests through (FrameMsg::RemoteRequest); the request
    // comes back to RemoteControlStartup::HandleRequest on the UI thread.
    virtual MainFrameChannel& FrameChannel() = 0;
    virtual void Quit() = 0;
    // The preferences in force (the remote set-up changes its plug-in section); null when none.
    virtual ZunPreferences* Preferences() { return nullptr; }
};

// The remote-control server as the start-up sees it. The default does nothing: no server, the
// program runs interactively.
class RemoteControlStartup : public WorkReportRoute {
public:
    virtual ~RemoteControlStartup() = default;
    // Called before any window exists when the options ask for remote control. Blocks until the
    // controlling program has connected; false ends the program.
    virtual bool Start(const StartupOptions& options) {
        (void)options;
        return true;
    }
    // The main window exists; the server may now reach it.
    virtual void Attach(AppOperations& app) { (void)app; }
    // A request posted through the frame channel, on the UI thread.
    virtual void HandleRequest(const std::string& request) { (void)request; }
    // Progress of a long operation on the UI thread ("WORK:" with the percentage, not clamped).
    void ReplyWork(int percent) override { (void)percent; }
    // The program ends.
    virtual void Shutdown() {}
};

// The program's remote-control start-up (never null).
RemoteControlStartup& GetRemoteControlStartup();
void SetRemoteControlStartup(std::unique_ptr<RemoteControlStartup> startup);
// Decided once at start-up: the program runs remote-controlled.
bool IsRemoteControlled();
void SetRemoteControlled(bool remote);

// The preferences file: $XDG_CONFIG_HOME/Zun/zun.ini, or ~/.config/Zun/zun.ini. The folder is
// made when missing (a failure is not reported: the path is used as built).
std::string ProfilePath();

// How a file chosen for opening is read.
enum class OpenKind {
    Document,    // the document file (the normal open)
    TextData,    // starts with "TEXT": a new document filled by the text import
    BinaryData,  // a binary data file: a new document filled by the binary import
    Refused,     // both probes matched: nothing is opened
};
OpenKind ProbeOpenFile(const std::string& path);

// The labels of physical quantities.
extern const char SymbolMu[];
extern const char SymbolBeta[];
extern const char SymbolPhi[];
extern const char SymbolDelta[];

// The recent-file list of the File menu: up to four paths, the newest first, kept in the
// profile's "Recent File List" section as File1..File4.
class RecentFileList {
public:
    static constexpr int kSize = 4;
    // Moves the path to the top (a path already listed is not listed twice).
    void Add(const std::string& path);
    void Remove(int index);
    int Size() const { return static_cast<int>(paths_.size()); }
    const std::string& operator[](int index) const { return paths_[static_cast<std::size_t>(index)]; }
    const std::vector<std::string>& Paths() const { return paths_; }
    void Load(const IniFile& ini);
    void Save(IniFile& ini) const;

private:
    std::vector<std::string> paths_;
};

}  // namespace zun
