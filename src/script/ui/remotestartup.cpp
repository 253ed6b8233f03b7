#include "script/ui/remotestartup.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMessageBox>
#include <QScreen>

#include <algorithm>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "app/preferences.h"
#include "document/changehints.h"
#include "document/zundoc.h"
#include "platform/socket.h"

namespace zun {

// ---------------------------------------------------------------------------------------------
// ForwardingFrameChannel

void ForwardingFrameChannel::SetTarget(MainFrameChannel* target) {
    std::deque<FrameMessage> waiting;
    {
        std::lock_guard lock(mutex_);
        target_ = target;
        closed_ = target == nullptr;
        if (target_)
            waiting.swap(waiting_);
        else
            waiting_.clear();
    }
    for (FrameMessage& m : waiting) target->Post(std::move(m));
}

void ForwardingFrameChannel::Post(FrameMessage msg) {
    std::lock_guard lock(mutex_);
    if (target_)
        target_->Post(std::move(msg));
    else if (!closed_)
        waiting_.push_back(std::move(msg));
}

void ForwardingFrameChannel::Send(FrameMessage msg) {
    std::lock_guard lock(mutex_);
    if (target_) target_->Send(std::move(msg));
}

// ---------------------------------------------------------------------------------------------
// UnattendedPrompt

int UnattendedPrompt::Ask(const PromptRequest& request) {
    std::fprintf(stderr, "zun: %s%s%s\n", request.text.c_str(), request.detail.empty() ? "" : "\n",
                 request.detail.c_str());
    switch (request.buttons) {
        case PromptButtons::YesNo:
        case PromptButtons::YesNoCancel:
            return kPromptYes;
        case PromptButtons::ContinueSkipCancel:
            return kPromptContinue;
        default:
            return kPromptOk;
    }
}

bool UnattendedRun() {
    const char* v = std::getenv("ZUN_UNATTENDED");
    return v && *v && std::strcmp(v, "0") != 0;
}

// ---------------------------------------------------------------------------------------------
// RemoteStartup

RemoteStartup::~RemoteStartup() {
    Shutdown();
}

void RemoteStartup::ShowError(const std::string& text) {
    std::fprintf(stderr, "zun: %s\n", text.c_str());
    if (UnattendedRun() || !qApp) return;
    // The server's threads must not touch a widget: the box opens on the UI thread.
    QMetaObject::invokeMethod(
        qApp, [text] { QMessageBox::critical(nullptr, "Zun", QString::fromStdString(text)); },
        Qt::QueuedConnection);
}

bool RemoteStartup::Start(const StartupOptions& options) {
    server_ = std::make_unique<RemoteControlServer>(options.host, options.port, &channel_);
    server_->SetErrorSink([this](const std::string& text) { ShowError(text); });
    interpreter_ = std::make_unique<RemoteInterpreter>(*this, *server_);
    InstallRemoteCommands(*interpreter_);
    // A failed start has said why; the program goes on without a controller. Whoever starts the
    // program learns where it listens, and whether other machines can reach it, before it
    // blocks waiting for the controller. A port number the controller could not be told (0, or
    // one the lookup would wrap into another port) fails as a failed lookup does.
    if (const std::string refused = PortNumberRefusal(options.port); !refused.empty())
        ShowError(refused);
    else if (server_->Listen() == 0) {
        std::fprintf(stderr, "zun: %s\n", server_->ListeningText().c_str());
        server_->AcceptController();
    }
    return true;
}

void RemoteStartup::Attach(AppOperations& app) {
    app_ = &app;
    channel_.SetTarget(&app.FrameChannel());
}

void RemoteStartup::HandleRequest(const std::string& request) {
    if (!interpreter_) return;
    if (!app_) {
        // Not run without the application; the requests behind it may follow all the same.
        server_->EndRequest();
        return;
    }
    // Every document's computation answers the controller that may have started it.
    for (CZunDoc* doc : app_->Documents())
        if (doc) doc->SetRemote(&server_->ComputeReplies());
    interpreter_->RunHandedRequest(request);
}

void RemoteStartup::ReplyWork(int percent) {
    if (server_) server_->ReplyWork(percent);
}

void RemoteStartup::Shutdown() {
    channel_.SetTarget(nullptr);
    if (!server_) return;
    if (app_)
        for (CZunDoc* doc : app_->Documents())
            if (doc) doc->SetRemote(nullptr);
    server_->Shutdown();
    interpreter_.reset();
    server_.reset();  // joins the server's threads
    app_ = nullptr;   // the application goes away after this
}

std::vector<CZunDoc*> RemoteStartup::Documents() {
    return app_ ? app_->Documents() : std::vector<CZunDoc*>{};
}

CZunDoc* RemoteStartup::ActiveDocument() {
    return app_ ? app_->ActiveDocument() : nullptr;
}

CZunDoc* RemoteStartup::NewDocument() {
    CZunDoc* doc = app_ ? app_->NewDocument() : nullptr;
    if (doc && server_) doc->SetRemote(&server_->ComputeReplies());
    return doc;
}

bool RemoteStartup::CloseDocument(CZunDoc* doc) {
    // A remote close closes: no question about unsaved changes that no one could answer (the
    // controller saves first when it wants the changes kept).
    doc->SetModifiedFlag(false);
    return app_ && app_->CloseDocument(doc);
}

void RemoteStartup::SetMainWindowPos(unsigned x, unsigned y, unsigned width, unsigned height) {
    for (QWidget* top : QApplication::topLevelWidgets()) {
        auto* main = qobject_cast<QMainWindow*>(top);
        if (!main) continue;
        // The size is kept within the desktop: a window of billions of pixels (the words are
        // unsigned, so "-1" is 4294967295) would exhaust the memory of its backing store.
        QSize limit(16384, 16384);
        if (QScreen* screen = QGuiApplication::primaryScreen()) limit = screen->virtualSize();
        const int w = static_cast<int>(std::min<unsigned>(width, static_cast<unsigned>(limit.width())));
        const int h = static_cast<int>(std::min<unsigned>(height, static_cast<unsigned>(limit.height())));
        const int left = static_cast<int>(std::min<unsigned>(x, 32767u));
        const int upper = static_cast<int>(std::min<unsigned>(y, 32767u));
        main->setWindowState(Qt::WindowNoState);
        main->setGeometry(left, upper, w, h);
        main->show();
        return;
    }
}

bool RemoteStartup::HasActiveTreeView() {
    CZunDoc* doc = ActiveDocument();
    return doc && DocumentWindow(*doc) != nullptr;
}

void RemoteStartup::SetVolumeScalarProperty(float value) {
    CZunDoc* doc = ActiveDocument();
    if (std::unique_ptr<RemoteDocWindow> window = doc ? DocumentWindow(*doc) : nullptr)
        window->SetVolumeScalarProperty(value);
}

void RemoteStartup::ResetPluginPreferences() {
    SetPluginPreferences(false, {});
}

void RemoteStartup::GetPluginPreferences(bool& enabled, std::vector<std::string>& folders) {
    ZunPreferences* prefs = app_ ? app_->Preferences() : nullptr;
    enabled = prefs && prefs->plugins.enabled;
    folders = prefs ? prefs->plugins.searchList : std::vector<std::string>{};
}

void RemoteStartup::SetPluginPreferences(bool enabled, const std::vector<std::string>& folders) {
    if (ZunPreferences* prefs = app_ ? app_->Preferences() : nullptr) {
        prefs->plugins.enabled = enabled;
        prefs->plugins.searchList = folders;
    }
    for (CZunDoc* doc : Documents())
        if (doc) doc->SetPlugins(enabled, folders);
}

void RemoteStartup::StopComputation(CZunDoc* doc) {
    doc->HandleFrameMessage(FrameMessage{FrameMsg::StartStopComputation, doc, 1});
    // The worker leaves at its next progress report; its end message is handled on this thread.
    QElapsedTimer timer;
    timer.start();
    while (doc->GetModel().IsBusy() && timer.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void RemoteStartup::TitleChanged(CZunDoc* doc) {
    RenameDocMod hint(doc->GetTitle());
    doc->UpdateAllViews(nullptr, kHintRename, &hint);
}

void RemoteStartup::Wait(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::unique_ptr<RemoteDocWindow> RemoteStartup::DocumentWindow(CZunDoc& doc) {
    return finder_ ? finder_(doc) : nullptr;
}

void InstallRemoteStartup(RemoteWindowFinder finder) {
    SetRemoteControlStartup(std::make_unique<RemoteStartup>(std::move(finder)));
}

}  // namespace zun
