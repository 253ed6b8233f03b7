#include "script/remoteserver.h"

#include <cerrno>
#include <cstdio>
#include <system_error>

#include "platform/mainframe.h"

namespace zun {

namespace {

std::string WithNumber(const char* text, int number) {
    return text + std::to_string(number);
}

std::string CallFailed(const SocketError& e) {
    return WithNumber((e.call + " failed with error: ").c_str(), e.code);
}

}  // namespace

void RemoteControlServer::WakeEvent::Set() {
    {
        std::lock_guard lock(mutex_);
        signalled_ = true;
    }
    cv_.notify_one();
}

void RemoteControlServer::WakeEvent::Wait() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return signalled_; });
    signalled_ = false;
}

RemoteControlServer::RemoteControlServer(std::string host, std::string port, MainFrameChannel* frame)
    : host_(std::move(host)), port_(std::move(port)), frame_(frame) {}

RemoteControlServer::~RemoteControlServer() {
    Shutdown();
    if (receiveThread_.joinable()) receiveThread_.join();
    if (commandThread_.joinable()) commandThread_.join();
}

void RemoteControlServer::SetErrorSink(ErrorSink sink) {
    std::lock_guard lock(mutex_);
    errorSink_ = std::move(sink);
}

void RemoteControlServer::ReportError(const std::string& text) const {
    ErrorSink sink;
    {
        std::lock_guard lock(mutex_);
        sink = errorSink_;
    }
    if (sink)
        sink(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

int RemoteControlServer::Fail(const std::string& text) {
    {
        std::lock_guard lock(mutex_);
        state_ = kStopped;
        listener_.Close();
    }
    ReportError(text);
    return -1;
}

int RemoteControlServer::GetState() const {
    std::lock_guard lock(mutex_);
    return state_;
}

// ---------------------------------------------------------------------------------------------
// Opening the link

int RemoteControlServer::Start() {
    if (GetState() == kStarting) return 0;
    const int r = Listen();
    return r == 0 ? AcceptController() : r;
}

int RemoteControlServer::Listen() {
    int state;
    {
        std::lock_guard lock(mutex_);
        state = state_;
        if (state == kStopped) state_ = kStarting;
    }
    if (state == kStarting) return 0;
    if (state == kConnected) {
        ReportError("Server is already connected");
        return -1;
    }
    // Listening only on the given host: on a loopback host no other machine can reach the
    // commands, which write files at paths the controller chooses.
    if (SocketError e = listener_.Listen(host_, port_)) return Fail(CallFailed(e));
    return 0;
}

int RemoteControlServer::AcceptController() {
    if (GetState() != kStarting || !listener_.Listening()) return -1;
    TcpSocket peer;
    if (SocketError e = listener_.Accept(peer)) return Fail(CallFailed(e));
    peer.SetNoDelay();
    {
        std::lock_guard lock(mutex_);
        // No second controller is ever accepted during the run.
        listener_.Close();
        client_ = std::move(peer);
    }
    try {
        receiveThread_ = std::thread([this] { ReceiveThread(); });
    } catch (const std::system_error&) {
        {
            std::lock_guard lock(mutex_);
            client_.Close();
            state_ = kStopped;
        }
        ReportError("Error on start thread to run server.");
        return -1;
    }
    {
        std::lock_guard lock(mutex_);
        // The receive thread may already have seen the link end; it then stays stopped.
        if (state_ == kStarting) state_ = kConnected;
    }
    try {
        commandThread_ = std::thread([this] { CommandThread(); });
    } catch (const std::system_error&) {
        Shutdown();
        ReportError("Error on start command thread.");
        return -1;
    }
    return 0;
}

int RemoteControlServer::Shutdown() {
    int rc = 0;
    int error = 0;
    {
        std::lock_guard lock(mutex_);
        if (state_ == kConnected || (state_ == kStarting && client_.Valid())) {
            // Both directions: the receive thread, blocked in its receive, returns at once. The
            // socket itself is closed by that thread once it has left the receive.
            if (!client_.Shutdown() && errno != ENOTCONN) {
                error = errno;
                rc = -1;
            }
            state_ = kStopped;
        }
    }
    wake_.Set();
    if (rc != 0) ReportError(WithNumber("shutdown failed with error: ", error));
    return rc;
}

// ---------------------------------------------------------------------------------------------
// Threads

void RemoteControlServer::ReceiveThread() {
    char buffer[kReceiveSize];
    for (;;) {
        const long n = client_.Recv(buffer, sizeof buffer);
        if (n <= 0) break;
        // Each receive is one request.
        const long limit = n < kTagSearch ? n : kTagSearch;
        long colon = -1;
        for (long i = 0; i < limit; ++i)
            if (buffer[i] == ':') {
                colon = i;
                break;
            }
        if (colon < 0) {
            ReportError(WithNumber("Cannot find token: ", kTagSearch));
            break;
        }
        std::string tag(buffer, static_cast<std::size_t>(colon));
        std::string payload(buffer + colon + 1, static_cast<std::size_t>(n - colon - 1));
        {
            std::lock_guard lock(mutex_);
            // A request whose tag is still queued is dropped.
            requests_.emplace(std::move(tag), std::move(payload));
            ++received_;
        }
        wake_.Set();
    }
    Shutdown();
    std::lock_guard lock(mutex_);
    client_.Close();
}

void RemoteControlServer::CommandThread() {
    for (;;) {
        wake_.Wait();
        std::string text;
        {
            std::lock_guard lock(mutex_);
            if (state_ != kConnected) {
                requests_.clear();
                break;
            }
            if (busy_ || requests_.empty()) continue;
            // The smallest tag in byte order goes first ("10" before "9").
            auto first = requests_.begin();
            busy_ = true;
            text = first->first + ":" + first->second;
            requests_.erase(first);
        }
        if (frame_) frame_->Post(FrameMessage{FrameMsg::RemoteRequest, this, 0, 0, std::move(text)});
    }
}

bool RemoteControlServer::SplitRequestText(const std::string& text, std::string& tag, std::string& payload) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    tag = text.substr(0, colon);
    payload = text.substr(colon + 1);
    return true;
}

std::size_t RemoteControlServer::QueuedRequests() const {
    std::lock_guard lock(mutex_);
    return requests_.size();
}

std::size_t RemoteControlServer::ReceivedRequests() const {
    std::lock_guard lock(mutex_);
    return received_;
}

bool RemoteControlServer::Busy() const {
    std::lock_guard lock(mutex_);
    return busy_;
}

// ---------------------------------------------------------------------------------------------
// Replies

void RemoteControlServer::Send(const std::string& text) {
    int error = 0;
    {
        std::lock_guard lock(mutex_);
        if (state_ != kConnected) return;
        if (!client_.SendAll(text)) error = errno;
        busy_ = false;
    }
    // The next queued request goes out now rather than when another request arrives.
    wake_.Set();
    if (error != 0) ReportError(WithNumber("send failed with error: ", error));
}

void RemoteControlServer::SendReply(const std::string& tag, const std::string& status) {
    Send(tag + ":" + status);
}

void RemoteControlServer::ReplyOk(const std::string& tag, const std::string& text) {
    SendReply(tag, text.empty() ? "OK" : "OK:" + text);
}

void RemoteControlServer::ReplyError(const std::string& tag, const std::string& text) {
    SendReply(tag, "ERROR:" + text);
}

void RemoteControlServer::ReplyExtend(const std::string& tag, int n) {
    {
        std::lock_guard lock(mutex_);
        pendingTag_ = tag;
        extended_ = true;
        finalOwed_ = true;
    }
    SendReply(tag, WithNumber("EXTEND:", n));
}

void RemoteControlServer::ReplyWork(int n) {
    std::string tag;
    {
        std::lock_guard lock(mutex_);
        // Before the first EXTEND no request is waiting for progress.
        if (!extended_) return;
        tag = pendingTag_;
    }
    SendReply(tag, WithNumber("WORK:", n));
}

std::string RemoteControlServer::GetPendingTag() const {
    std::lock_guard lock(mutex_);
    return pendingTag_;
}

bool RemoteControlServer::ReplyFinal(const std::string& tag, const std::string& status) {
    {
        std::lock_guard lock(mutex_);
        if (!finalOwed_ || tag != pendingTag_) return false;
        finalOwed_ = false;
    }
    SendReply(tag, status);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Command windows

void RemoteControlServer::PushCommandWindow(std::unique_ptr<RemoteCommandWindow> window) {
    windows_.push_back(std::move(window));
}

std::unique_ptr<RemoteCommandWindow> RemoteControlServer::PopCommandWindow() {
    if (windows_.empty()) return nullptr;
    std::unique_ptr<RemoteCommandWindow> top = std::move(windows_.back());
    windows_.pop_back();
    return top;
}

RemoteCommandWindow* RemoteControlServer::TopCommandWindow() const {
    return windows_.empty() ? nullptr : windows_.back().get();
}

void RemoteControlServer::CloseCommandWindows() {
    while (!windows_.empty()) windows_.pop_back();
    subWindow_.reset();
}

}  // namespace zun
