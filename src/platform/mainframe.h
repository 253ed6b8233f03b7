#pragma once
// The channel through which worker threads reach the main frame (the UI thread). Each message
// kind stands for one application message of the main frame; the GUI delivers posted messages
// with queued calls and sent ones with blocking queued calls on the UI thread. A worker must not
// Send while the UI thread may be waiting for that worker.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace zun {

enum class FrameMsg : int {
    ComputationEnded = 0,   // document, value = result code
    RefreshViews = 1,       // document
    SetModelState = 2,      // document, value = state, text = step text
    ApplyViewUpdates = 4,   // document (the 3-D views apply their accumulated update bits)
    AppendLogText = 5,      // text (the log view appends it; empty clears)
    StartStopComputation = 6,  // document, value 1 stop, else start
    RemoteRequest = 7,      // text = the request
    StatusProgress = 8,     // value = 1 create (range in value2), 2 set position (value2), 3 remove
};

struct FrameMessage {
    FrameMsg kind;
    const void* document = nullptr;
    std::int64_t value = 0;
    std::int64_t value2 = 0;
    std::string text;
};

class MainFrameChannel {
public:
    virtual ~MainFrameChannel() = default;
    // Queues the message and returns at once.
    virtual void Post(FrameMessage msg) = 0;
    // Delivers the message on the UI thread and returns when it was handled.
    virtual void Send(FrameMessage msg) = 0;
};

// A channel for tests and headless runs: posted messages wait in a queue until the owner thread
// (the one that constructed it, standing for the UI thread) calls Pump. Send from the owner
// thread handles the message at once; from another thread it waits until a Pump handled it.
class QueuedMainFrameChannel : public MainFrameChannel {
public:
    using Handler = std::function<void(const FrameMessage&)>;
    explicit QueuedMainFrameChannel(Handler handler = {});

    void SetHandler(Handler handler);
    void Post(FrameMessage msg) override;
    void Send(FrameMessage msg) override;

    // Handles every queued message on the calling thread; returns how many.
    int Pump();
    // Waits up to timeoutMs for at least one message, then pumps. Returns how many were handled.
    int WaitAndPump(int timeoutMs);
    std::size_t Pending() const;

private:
    struct Item {
        FrameMessage msg;
        bool* done = nullptr;  // set for sent messages
    };
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<Item> queue_;
    Handler handler_;
    std::thread::id owner_;
};

}  // namespace zun
