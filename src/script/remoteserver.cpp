#include "script/remoteserver.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <system_error>

#include "platform/mainframe.h"

namespace zun {

namespace {

std::string WithNumber(const char* text, int number) {
    return text + std::to_string(number);
}

std::string CallFailed(const SocketError& e) {
    const std::string text = WithNumber((e.call + " failed with error: ").c_str(), e.code);
    return e.detail.empty() ? text : text + " (" + e.detail + ")";
}

// Where the colon that ends the tag is, or -1 when it is not among the first bytes.
long FindTagEnd(const char* data, long n) {
    const long limit = std::min<long>(n, RemoteControlServer::kTagSearch);
    for (long i = 0; i < limit; ++i)
        if (data[i] == ':') return i;
    return -1;
}

std::string CannotFindToken() {
    return WithNumber("Cannot find token: ", RemoteControlServer::kTagSearch);
}

std::string RequestTooLong() {
    return WithNumber("Request too long: the link takes requests of at most ",
                      static_cast<int>(RemoteControlServer::kReceiveSize - 1)) +
           " bytes, tag and colon included; nothing of it was run.";
}

const char* const kUnreadReplies = "The controller left its replies unread; its link was closed.";

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
    // The last replies get a short while to leave; a controller that takes none of them does not
    // hold up the program's exit.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCloseFlushMs);
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (!writerRunning_) break;
            if (std::chrono::steady_clock::now() > end) {
                CutLocked();
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (receiveThread_.joinable()) receiveThread_.join();
    if (commandThread_.joinable()) commandThread_.join();
    if (writeThread_.joinable()) writeThread_.join();
}

void RemoteControlServer::SetErrorSink(ErrorSink sink) {
    std::lock_guard lock(mutex_);
    errorSink_ = std::move(sink);
}

void RemoteControlServer::SetSendLimits(std::size_t bytes, int stallMs) {
    std::lock_guard lock(mutex_);
    sendLimit_ = bytes;
    stallMs_ = stallMs;
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

std::string RemoteControlServer::ListeningText() const {
    const std::string address = listener_.Address();
    const std::string port = std::to_string(listener_.Port());
    if (address.rfind("127.", 0) == 0)
        return "remote control listening on " + address + ":" + port + " (this machine only)";
    // The link has no authentication: whoever reaches the port drives the program and writes
    // files where it chooses.
    const std::string where =
        address == "0.0.0.0" ? "every network interface, port " + port : address + ":" + port;
    return "remote control listening on " + where +
           " WITHOUT AUTHENTICATION: anyone who can reach this port controls the program";
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
        socketUsers_ = 2;
        writerRunning_ = true;
    }
    try {
        writeThread_ = std::thread([this] { WriteThread(); });
    } catch (const std::system_error&) {
        {
            std::lock_guard lock(mutex_);
            client_.Close();
            socketUsers_ = 0;
            writerRunning_ = false;
            state_ = kStopped;
        }
        ReportError("Error on start thread to run server.");
        return -1;
    }
    try {
        receiveThread_ = std::thread([this] { ReceiveThread(); });
    } catch (const std::system_error&) {
        {
            std::lock_guard lock(mutex_);
            CutLocked();
        }
        LeaveSocket();
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
    {
        std::lock_guard lock(mutex_);
        if (state_ == kConnected || (state_ == kStarting && client_.Valid())) {
            state_ = kStopped;
            // The write thread sends the replies still queued (the answer to "disconnect"), then
            // ends both directions, which returns the receive thread from its receive.
            closing_ = true;
            if (!writerRunning_) client_.Shutdown();
        }
    }
    outgoingReady_.notify_all();
    wake_.Set();
    return 0;
}

void RemoteControlServer::CutLocked() {
    state_ = kStopped;
    closing_ = true;
    cut_ = true;
    outgoing_.clear();
    // Both directions at once: the write thread leaves its wait for the controller and the
    // receive thread its receive.
    client_.Shutdown();
    outgoingReady_.notify_all();
    wake_.Set();
}

void RemoteControlServer::LeaveSocket() {
    std::lock_guard lock(mutex_);
    if (socketUsers_ > 0 && --socketUsers_ == 0) client_.Close();
}

// ---------------------------------------------------------------------------------------------
// Threads

void RemoteControlServer::ReceiveThread() {
    std::array<char, kReceiveSize> buffer;
    for (;;) {
        const long n = client_.Recv(buffer.data(), buffer.size());
        if (n <= 0) break;
        // Each receive is one request, unless it filled the buffer: then it may be only the start
        // of one.
        const bool go = static_cast<std::size_t>(n) == buffer.size() ? RefuseOverlong(buffer.data())
                                                                     : TakeRequest(buffer.data(), n);
        if (!go) break;
    }
    Shutdown();
    LeaveSocket();
}

bool RemoteControlServer::TakeRequest(const char* data, long n) {
    const long colon = FindTagEnd(data, n);
    if (colon < 0) {
        ReportError(CannotFindToken());
        return false;
    }
    std::string tag(data, static_cast<std::size_t>(colon));
    std::string payload(data + colon + 1, static_cast<std::size_t>(n - colon - 1));
    bool flooded = false;
    {
        std::lock_guard lock(mutex_);
        // A request whose tag is still queued is dropped.
        if (requests_.size() >= kMaxQueuedRequests && requests_.count(tag) == 0) {
            flooded = true;
            CutLocked();
        } else {
            requests_.emplace(std::move(tag), std::move(payload));
            ++received_;
        }
    }
    if (flooded) {
        ReportError(WithNumber("Too many requests queued; the controller's link was closed at ",
                               static_cast<int>(kMaxQueuedRequests)));
        return false;
    }
    wake_.Set();
    return true;
}

bool RemoteControlServer::RefuseOverlong(char* buffer) {
    // Without a tag the refusal could not be told apart from any other reply, and the controller
    // would wait for an answer that never comes: as for any request without a tag, the link ends.
    const long colon = FindTagEnd(buffer, static_cast<long>(kReceiveSize));
    if (colon < 0) {
        ReportError(CannotFindToken());
        return false;
    }
    const std::string tag(buffer, static_cast<std::size_t>(colon));
    // Whatever else the write held is no request of its own.
    while (client_.WaitReadable(kDiscardQuietMs))
        if (client_.Recv(buffer, kReceiveSize) <= 0) return false;
    bool overflow = false;
    {
        std::lock_guard lock(mutex_);
        ++received_;
        // Never handed over, so the request in hand stays busy and open tags stay open. A request
        // whose tag is still queued is dropped, as any other.
        const bool live = state_ == kConnected || state_ == kStarting;
        if (live && requests_.count(tag) == 0) overflow = !QueueLocked(tag + ":ERROR:" + RequestTooLong());
    }
    if (overflow) {
        ReportError(kUnreadReplies);
        return false;
    }
    return true;
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

void RemoteControlServer::WriteThread() {
    std::string failure;
    for (;;) {
        std::string chunk;
        int stallMs;
        {
            std::unique_lock lock(mutex_);
            outgoingReady_.wait(lock, [this] { return !outgoing_.empty() || closing_; });
            if (cut_ || outgoing_.empty()) break;
            chunk.swap(outgoing_);
            stallMs = closing_ ? std::min(stallMs_, kCloseFlushMs) : stallMs_;
        }
        const bool sent = client_.SendAllWithin(chunk.data(), chunk.size(), stallMs);
        const int error = errno;
        std::lock_guard lock(mutex_);
        if (sent) continue;
        // A controller that gave up mid-reply ends the link through its receive; one that stays
        // connected but takes nothing is cut off here.
        if (!cut_) {
            if (error == ETIMEDOUT)
                failure = WithNumber("The controller read none of its replies for ", (stallMs + 999) / 1000) +
                          " s; its link was closed.";
            else if (state_ == kConnected)
                failure = WithNumber("send failed with error: ", error);
            CutLocked();
        }
        break;
    }
    {
        std::lock_guard lock(mutex_);
        writerRunning_ = false;
        outgoing_.clear();
        if (!cut_ && !client_.Shutdown() && errno != ENOTCONN)
            failure = WithNumber("shutdown failed with error: ", errno);
    }
    if (!failure.empty()) ReportError(failure);
    LeaveSocket();
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

void RemoteControlServer::EndRequest() {
    {
        std::lock_guard lock(mutex_);
        busy_ = false;
    }
    // The next queued request goes out now rather than when another request arrives.
    wake_.Set();
}

// ---------------------------------------------------------------------------------------------
// Replies

bool RemoteControlServer::QueueLocked(const std::string& text) {
    // What the controller has left unread is what waits behind the write in hand: a reply goes out
    // in one write, so one larger than the bound says nothing of the controller and goes out whole.
    // The write in hand does not count: the controller may have read all of it before the write
    // thread is back to say so, and a write it does not take is ended by the stall time.
    if (outgoing_.size() >= sendLimit_) {
        CutLocked();
        return false;
    }
    outgoing_ += text;
    outgoingReady_.notify_one();
    return true;
}

namespace {

bool IsProgress(const std::string& status) {
    return status.rfind("WORK:", 0) == 0;
}

bool IsExtend(const std::string& status) {
    return status.rfind("EXTEND:", 0) == 0;
}

}  // namespace

void RemoteControlServer::SendReply(const std::string& tag, const std::string& status) {
    Reply(tag, status, false);
}

bool RemoteControlServer::Reply(const std::string& tag, const std::string& status, bool onlyWhenOpen) {
    bool overflow = false;
    {
        std::lock_guard lock(mutex_);
        if (state_ != kConnected) return false;
        const bool open = openTags_.count(tag) != 0;
        if ((onlyWhenOpen || IsProgress(status)) && !open) return false;
        if (IsExtend(status)) {
            pendingTag_ = tag;
            openTags_.insert(tag);
        } else if (!IsProgress(status)) {
            openTags_.erase(tag);
        }
        // No reply frees the link: a request's last reply may leave long before it has ended (a
        // document still closing), and its EXTEND before its work; the next one waits for EndRequest.
        overflow = !QueueLocked(tag + ":" + status);
    }
    if (overflow) ReportError(kUnreadReplies);
    return !overflow;
}

void RemoteControlServer::ReplyOk(const std::string& tag, const std::string& text) {
    SendReply(tag, text.empty() ? "OK" : "OK:" + text);
}

void RemoteControlServer::ReplyError(const std::string& tag, const std::string& text) {
    SendReply(tag, "ERROR:" + text);
}

void RemoteControlServer::ReplyExtend(const std::string& tag, int n) {
    SendReply(tag, WithNumber("EXTEND:", n));
}

void RemoteControlServer::ReplyWork(int n) {
    ReplyWorkUnder(GetPendingTag(), n);
}

void RemoteControlServer::ReplyWorkUnder(const std::string& tag, int n) {
    // SendReply drops it unless the tag is still open.
    SendReply(tag, WithNumber("WORK:", n));
}

std::string RemoteControlServer::GetPendingTag() const {
    std::lock_guard lock(mutex_);
    return pendingTag_;
}

void RemoteControlServer::SetComputationTag(const ComputeDocument* doc, const std::string& tag) {
    std::lock_guard lock(mutex_);
    computations_[doc] = Computation{tag, false};
}

bool RemoteControlServer::FindComputationTag(const ComputeDocument* doc, std::string& tag) const {
    std::lock_guard lock(mutex_);
    const auto it = computations_.find(doc);
    if (it == computations_.end()) return false;
    tag = it->second.tag;
    return true;
}

void RemoteControlServer::MarkComputationStopped(const ComputeDocument* doc) {
    std::lock_guard lock(mutex_);
    if (const auto it = computations_.find(doc); it != computations_.end()) it->second.stopped = true;
}

void RemoteControlServer::ForgetComputation(const ComputeDocument* doc) {
    std::lock_guard lock(mutex_);
    computations_.erase(doc);
}

void RemoteControlServer::ReplyComputationWork(const ComputeDocument& doc, int n) {
    // A computation no controller started (one the user started) reports to nobody.
    if (std::string tag; FindComputationTag(&doc, tag)) ReplyWorkUnder(tag, n);
}

void RemoteControlServer::ReplyComputationEnd(const ComputeDocument& doc, const std::string& text) {
    Computation ended;
    {
        std::lock_guard lock(mutex_);
        const auto it = computations_.find(&doc);
        if (it == computations_.end()) return;
        ended = std::move(it->second);
        computations_.erase(it);
    }
    // A computation the controller stopped answers as the stop's own reply would have.
    const bool plain = ended.stopped || text.empty();
    ReplyFinal(ended.tag, plain ? "OK" : "OK:" + text);
}

bool RemoteControlServer::ReplyFinal(const std::string& tag, const std::string& status) {
    return Reply(tag, status, true);
}

// ---------------------------------------------------------------------------------------------
// Command windows

bool RemoteControlServer::PushCommandWindow(std::unique_ptr<RemoteCommandWindow> window) {
    if (CommandWindowsFull()) return false;
    windows_.push_back(std::move(window));
    return true;
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
