#pragma once
// The remote-control server: one controlling program drives the application over one TCP
// connection. A receive thread cuts the byte stream into tagged requests and queues them; a
// command thread hands one request at a time to the UI thread through the main-frame channel
// (FrameMsg::RemoteRequest); the interpreter answers through the reply operations below.
//
// Wire format: a request is one receive of at most 1024 bytes: a tag of 0 to 4 bytes, a colon,
// the payload. A reply is the tag, a colon and the status ("OK", "OK:text", "ERROR:text",
// "EXTEND:n", "WORK:n"), sent in one piece with no terminator.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "compute/computedocument.h"
#include "platform/socket.h"

namespace zun {

class MainFrameChannel;
struct FrameMessage;

// A window opened by a remote command and kept until a closing command (or "stop",
// "disconnect", "startcomp") destroys it. Kind() lets a command check that the window it is
// about to drive is of the class it expects.
class RemoteCommandWindow {
public:
    virtual ~RemoteCommandWindow() = default;
    virtual int Kind() const = 0;
    // Its window on the screen, if any, shows the settings as they are now.
    virtual void Refresh() {}
};

class RemoteControlServer {
public:
    enum State : int { kStopped = 1, kConnected = 2, kStarting = 3 };
    static constexpr std::size_t kReceiveSize = 1024;
    // The colon must be found at one of the first kTagSearch bytes of a request.
    static constexpr int kTagSearch = 5;

    using ErrorSink = std::function<void(const std::string&)>;

    // `frame` receives the requests (it must outlive the server).
    RemoteControlServer(std::string host, std::string port, MainFrameChannel* frame);
    ~RemoteControlServer();
    RemoteControlServer(const RemoteControlServer&) = delete;
    RemoteControlServer& operator=(const RemoteControlServer&) = delete;

    // Where the server's error messages go (called from any thread); the default writes them to
    // the standard error stream.
    void SetErrorSink(ErrorSink sink);

    // Listens, blocks until a controller has connected and starts the two threads. 0 on success
    // or when a start is already under way, -1 on failure (the reason went to the error sink).
    int Start();
    // The two halves of Start, so that a caller may learn the port before blocking.
    int Listen();
    int AcceptController();
    std::uint16_t ListeningPort() const { return listener_.Port(); }

    // Ends the link (both directions); safe to call more than once and from any thread.
    int Shutdown();

    // ---- replies (any thread)
    void Send(const std::string& text);
    void SendReply(const std::string& tag, const std::string& status);
    void ReplyOk(const std::string& tag, const std::string& text = {});
    void ReplyError(const std::string& tag, const std::string& text);
    void ReplyExtend(const std::string& tag, int n);
    void ReplyWork(int n);
    std::string GetPendingTag() const;
    // The final answer owed to the request that replied EXTEND: sent only when `tag` is that
    // request's tag and its final answer has not gone yet, so a stopped computation's end
    // cannot answer twice. True when sent.
    bool ReplyFinal(const std::string& tag, const std::string& status);
    // What the computation controller of a document talks to.
    RemoteComputeReplies& ComputeReplies() { return computeReplies_; }

    int GetState() const;
    const std::string& Host() const { return host_; }
    const std::string& Port() const { return port_; }
    std::size_t QueuedRequests() const;
    // Requests received on this link so far, dropped duplicates included.
    std::size_t ReceivedRequests() const;
    bool Busy() const;

    // ---- windows opened by remote commands (UI thread only)
    void PushCommandWindow(std::unique_ptr<RemoteCommandWindow> window);
    // Takes the top window off the stack without destroying it; null when empty.
    std::unique_ptr<RemoteCommandWindow> PopCommandWindow();
    RemoteCommandWindow* TopCommandWindow() const;
    bool HasNoCommandWindows() const { return windows_.empty(); }
    void SetSubWindow(std::unique_ptr<RemoteCommandWindow> window) { subWindow_ = std::move(window); }
    RemoteCommandWindow* SubWindow() const { return subWindow_.get(); }
    // Destroys every window of the stack from the top down, then the sub-window.
    void CloseCommandWindows();

    // The text of a posted request message back into tag and payload.
    static bool SplitRequestText(const std::string& text, std::string& tag, std::string& payload);

private:
    class Replies : public RemoteComputeReplies {
    public:
        explicit Replies(RemoteControlServer& server) : server_(server) {}
        void ReplyWork(int percent) override { server_.ReplyWork(percent); }
        std::string GetPendingTag() override { return server_.GetPendingTag(); }
        void ReplyOk(const std::string& tag, const std::string& text) override {
            server_.ReplyFinal(tag, text.empty() ? "OK" : "OK:" + text);
        }

    private:
        RemoteControlServer& server_;
    };

    // An auto-reset event.
    class WakeEvent {
    public:
        void Set();
        void Wait();

    private:
        std::mutex mutex_;
        std::condition_variable cv_;
        bool signalled_ = false;
    };

    void ReceiveThread();
    void CommandThread();
    void ReportError(const std::string& text) const;
    int Fail(const std::string& text);

    const std::string host_;
    const std::string port_;
    MainFrameChannel* const frame_;
    ErrorSink errorSink_;

    // Guards the state, the socket, the request map, the busy flag and the pending tag; every
    // send happens under it, so replies from the computation's worker never interleave.
    mutable std::mutex mutex_;
    int state_ = kStopped;
    TcpListener listener_;
    TcpSocket client_;
    std::map<std::string, std::string> requests_;
    std::size_t received_ = 0;
    bool busy_ = false;
    std::string pendingTag_;
    bool extended_ = false;
    bool finalOwed_ = false;

    WakeEvent wake_;
    std::thread receiveThread_;
    std::thread commandThread_;
    Replies computeReplies_{*this};

    std::vector<std::unique_ptr<RemoteCommandWindow>> windows_;
    std::unique_ptr<RemoteCommandWindow> subWindow_;
};

}  // namespace zun
