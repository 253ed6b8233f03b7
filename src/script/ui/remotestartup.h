#pragma once
// The remote-controlled run: starts the server before any window exists, hands its requests to
// the interpreter on the UI thread and acts on the application's windows for the commands.

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "app/startup.h"
#include "platform/mainframe.h"
#include "platform/prompt.h"
#include "script/remotecommands.h"
#include "script/remotehost.h"
#include "script/remoteserver.h"

namespace zun {

// Holds the server's requests until the main window's channel exists, then passes them on.
class ForwardingFrameChannel : public MainFrameChannel {
public:
    void SetTarget(MainFrameChannel* target);
    void Post(FrameMessage msg) override;
    void Send(FrameMessage msg) override;

private:
    std::mutex mutex_;
    MainFrameChannel* target_ = nullptr;
    std::deque<FrameMessage> waiting_;
    bool closed_ = false;
};

// Answers every question with its first button and writes it to the standard error stream: a
// controlled run under test must never wait for a hand on a message box.
class UnattendedPrompt : public Prompt {
public:
    int Ask(const PromptRequest& request) override;
};
// True when the environment asks for unattended message boxes (ZUN_UNATTENDED set and not "0").
bool UnattendedRun();

// Finds the window of a document for the commands that act on its tree and 3-D view.
using RemoteWindowFinder = std::function<std::unique_ptr<RemoteDocWindow>(CZunDoc&)>;

class RemoteStartup : public RemoteControlStartup, public RemoteHost {
public:
    explicit RemoteStartup(RemoteWindowFinder finder = {}) : finder_(std::move(finder)) {}
    ~RemoteStartup() override;

    bool Start(const StartupOptions& options) override;
    void Attach(AppOperations& app) override;
    void HandleRequest(const std::string& request) override;
    void ReplyWork(int percent) override;
    void Shutdown() override;

    // ---- RemoteHost
    std::vector<CZunDoc*> Documents() override;
    CZunDoc* ActiveDocument() override;
    CZunDoc* NewDocument() override;
    bool CloseDocument(CZunDoc* doc) override;
    void SetMainWindowPos(unsigned x, unsigned y, unsigned width, unsigned height) override;
    bool HasActiveTreeView() override;
    void SetVolumeScalarProperty(float value) override;
    void ResetPluginPreferences() override;
    void GetPluginPreferences(bool& enabled, std::vector<std::string>& folders) override;
    void SetPluginPreferences(bool enabled, const std::vector<std::string>& folders) override;
    void StopComputation(CZunDoc* doc) override;
    void TitleChanged(CZunDoc* doc) override;
    void Wait(int milliseconds) override;
    std::unique_ptr<RemoteDocWindow> DocumentWindow(CZunDoc& doc) override;

private:
    void ShowError(const std::string& text);

    RemoteWindowFinder finder_;
    ForwardingFrameChannel channel_;
    std::unique_ptr<RemoteControlServer> server_;
    std::unique_ptr<RemoteInterpreter> interpreter_;
    AppOperations* app_ = nullptr;
};

// Makes the program's start-up use the remote-control server.
void InstallRemoteStartup(RemoteWindowFinder finder = {});

}  // namespace zun
