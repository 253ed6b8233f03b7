#pragma once
// The remote-control server: one controlling program drives the application over one TCP
// connection. A receive thread cuts the byte stream into tagged requests and queues them; a
// command thread hands one request at a time to the UI thread through the main-frame channel
// (FrameMsg::RemoteRequest); the interpreter answers through the reply operations below.
//
// A request runs to its end before the next is handed over, whatever it replied meanwhile: the UI
// thread says so with EndRequest. Its work may let events through (a progress window, a message
// box, the close of a document), and a request waiting in the channel would then run inside it,
// its reply before the one it followed. A computation that "startcomp" started goes on after its
// request has ended, so that "stop" can reach it; its end answers under the start's tag, and so
// does its progress, each document's computation under its own start's tag.
//
// Wire format: a request is one receive of fewer than kReceiveSize bytes: a tag of 0 to 4 bytes,
// a colon, the payload. A receive that fills the buffer is a request too long for the link: it is
// refused whole, with the rest of its write. A reply is the tag, a colon and the status ("OK",
// "OK:text", "ERROR:text", "EXTEND:n", "WORK:n"), sent in one piece with no terminator.
//
// The controller is not trusted to behave: replies go out through a bounded buffer that a write
// thread drains, so no caller ever waits for the controller to read, and a controller that stops
// reading, or floods the request queue, loses its link rather than the program its memory or
// its UI thread.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
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
    // The longest request a word legitimately needs takes a path: up to PATH_MAX (4096) bytes,
    // beside it a file name of up to NAME_MAX (255) bytes (setupcomp-setup-plugin, output-web3d),
    // the tag, the command word, the document title and the other words. Twice PATH_MAX holds
    // such a path with as much again for the rest. A receive that fills the buffer is taken for a
    // request that did not fit: never run, so no command acts on a cut path.
    static constexpr std::size_t kReceiveSize = 8192;
    // The rest of a write too long for the buffer is read and thrown away until the line has been
    // quiet this long (the bytes of one write arrive back to back); the refusal goes out after
    // it, so that the controller's next request is not thrown away with it.
    static constexpr int kDiscardQuietMs = 200;
    // The colon must be found at one of the first kTagSearch bytes of a request.
    static constexpr int kTagSearch = 5;
    // A controller waits for each reply before its next request; a few more may queue behind a
    // long command ("stop"). Beyond this many the link is closed.
    static constexpr std::size_t kMaxQueuedRequests = 64;
    // Replies not yet taken by the controller, in bytes, beyond which the next reply cuts the link,
    // and how long it may take none of them.
    static constexpr std::size_t kDefaultSendLimit = 8u << 20;
    static constexpr int kDefaultStallMs = 30000;
    // How long the last replies may take to leave once the link is being closed.
    static constexpr int kCloseFlushMs = 2000;

    using ErrorSink = std::function<void(const std::string&)>;

    // `frame` receives the requests (it must outlive the server).
    RemoteControlServer(std::string host, std::string port, MainFrameChannel* frame);
    ~RemoteControlServer();
    RemoteControlServer(const RemoteControlServer&) = delete;
    RemoteControlServer& operator=(const RemoteControlServer&) = delete;

    // Where the server's error messages go (called from any thread); the default writes them to
    // the standard error stream.
    void SetErrorSink(ErrorSink sink);
    // The outgoing buffer's bound and the stall time limit (before Start).
    void SetSendLimits(std::size_t bytes, int stallMs);

    // Listens, blocks until a controller has connected and starts the two threads. 0 on success
    // or when a start is already under way, -1 on failure (the reason went to the error sink).
    int Start();
    // The two halves of Start, so that a caller may learn the port before blocking.
    int Listen();
    int AcceptController();
    std::uint16_t ListeningPort() const { return listener_.Port(); }
    // The line the program logs once it listens: where, and whether other machines can reach it.
    std::string ListeningText() const;

    // Ends the link (both directions); safe to call more than once and from any thread.
    int Shutdown();

    // ---- replies (any thread; none ever waits for the controller)
    // A tag is open from its EXTEND to its final reply; progress goes only under an open tag, and
    // after a tag's final reply nothing more is sent under it.
    void SendReply(const std::string& tag, const std::string& status);
    void ReplyOk(const std::string& tag, const std::string& text = {});
    void ReplyError(const std::string& tag, const std::string& text);
    void ReplyExtend(const std::string& tag, int n);
    // Progress of the long request that replied EXTEND last, while it is open.
    void ReplyWork(int n);
    std::string GetPendingTag() const;
    // The final answer of an open tag; nothing when the tag is not open, so that a stopped
    // computation's end cannot answer twice. True when sent.
    bool ReplyFinal(const std::string& tag, const std::string& status);
    // ---- computations a controller started ("startcomp"), one per document
    // Each answers under the tag of the request that started it, whatever other documents compute
    // meanwhile: its progress, and one final reply when it has ended.
    void SetComputationTag(const ComputeDocument* doc, const std::string& tag);
    // The tag the computation of `doc` answers under; false when no controller waits for it (the
    // empty tag is a tag).
    bool FindComputationTag(const ComputeDocument* doc, std::string& tag) const;
    // The controller stopped it: its end answers a plain "OK", however it ended.
    void MarkComputationStopped(const ComputeDocument* doc);
    // Nothing more is owed for `doc` (a start that was refused).
    void ForgetComputation(const ComputeDocument* doc);
    // What the computation controller of a document talks to.
    RemoteComputeReplies& ComputeReplies() { return computeReplies_; }

    int GetState() const;
    const std::string& Host() const { return host_; }
    const std::string& Port() const { return port_; }
    std::size_t QueuedRequests() const;
    // Requests received on this link so far, dropped duplicates included.
    std::size_t ReceivedRequests() const;
    // A request has been handed over and has not ended yet.
    bool Busy() const;
    // The request handed over has run to its end (UI thread): the next queued one may follow.
    void EndRequest();

    // ---- windows opened by remote commands (UI thread only)
    // The deepest stack a controller needs is a dialog and the one it opens; windows opened and
    // never closed would pile up without end.
    static constexpr std::size_t kMaxCommandWindows = 8;
    bool CommandWindowsFull() const { return windows_.size() >= kMaxCommandWindows; }
    // False (the window is destroyed) when the stack is full.
    bool PushCommandWindow(std::unique_ptr<RemoteCommandWindow> window);
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
        void ReplyWork(const ComputeDocument& doc, int percent) override { server_.ReplyComputationWork(doc, percent); }
        void ReplyOk(const ComputeDocument& doc, const std::string& text) override { server_.ReplyComputationEnd(doc, text); }

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
    // One receive of n bytes (less than the buffer) as a request; false when the link must end.
    bool TakeRequest(const char* data, long n);
    // A receive that filled the buffer: the rest of its write is thrown away and the request is
    // answered ERROR under its tag. False when the link must end.
    bool RefuseOverlong(char* buffer);
    void CommandThread();
    void WriteThread();
    void ReportError(const std::string& text) const;
    int Fail(const std::string& text);
    void ReplyWorkUnder(const std::string& tag, int n);
    void ReplyComputationWork(const ComputeDocument& doc, int n);
    void ReplyComputationEnd(const ComputeDocument& doc, const std::string& text);
    // Progress only under an open tag; a final reply only under an open tag when onlyWhenOpen.
    // True when queued.
    bool Reply(const std::string& tag, const std::string& status, bool onlyWhenOpen);
    // With the lock held: queues a whole reply, whatever its size, for the write thread; false
    // when the replies before it already fill the bound (the controller left them unread) and
    // the link is being cut.
    bool QueueLocked(const std::string& text);
    // With the lock held: ends the link at once, without sending what is still queued.
    void CutLocked();
    // A thread that used the socket leaves; the last one closes it.
    void LeaveSocket();

    const std::string host_;
    const std::string port_;
    MainFrameChannel* const frame_;
    ErrorSink errorSink_;

    // Guards the state, the socket, the request map, the busy flag, the tags and the outgoing
    // buffer; every reply enters the buffer whole under it, so replies from the computation's
    // worker never interleave. Nothing waits for the network while holding it.
    mutable std::mutex mutex_;
    int state_ = kStopped;
    TcpListener listener_;
    TcpSocket client_;
    std::map<std::string, std::string> requests_;
    std::size_t received_ = 0;
    bool busy_ = false;
    std::string pendingTag_;
    // The running computations that controllers started. The document is only a key here: an
    // entry lives from the start to the end of a computation, and a document does not close
    // while it computes.
    struct Computation {
        std::string tag;
        bool stopped = false;
    };
    std::map<const ComputeDocument*, Computation> computations_;
    std::set<std::string> openTags_;

    std::string outgoing_;
    std::size_t sendLimit_ = kDefaultSendLimit;
    int stallMs_ = kDefaultStallMs;
    bool closing_ = false;  // the write thread sends what is queued, then ends the link
    bool cut_ = false;      // the link ends without sending what is queued
    bool writerRunning_ = false;
    int socketUsers_ = 0;
    std::condition_variable outgoingReady_;

    WakeEvent wake_;
    std::thread receiveThread_;
    std::thread commandThread_;
    std::thread writeThread_;
    Replies computeReplies_{*this};

    std::vector<std::unique_ptr<RemoteCommandWindow>> windows_;
    std::unique_ptr<RemoteCommandWindow> subWindow_;
};

}  // namespace zun
