#pragma once
// The render and update loops of one 3-D view: a redraw queue that never holds more than the
// oldest and the newest hint, the thread that drains it, and the thread that collects update bits
// and hands them to the UI thread one batch at a time.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace zun {

// Redraw hints.
enum RedrawHint : int {
    kRedrawOnce = 1,
    kRedrawSpin = 2,        // keep redrawing while the camera keeps turning
    kRedrawOnceStop = 8,    // once, and no continuation
    kRedrawStopThread = 9,  // ends the render thread
};

// Not thread-safe by itself: RenderLoop guards it.
class RedrawQueue {
public:
    // A burst collapses: when more than one hint waits, the newest waiting one is dropped first.
    void Push(int hint);
    // The largest waiting hint (0 when none), up to and including the first stop hint; the hints
    // queued after a stop stay for the next take.
    int TakeAll();
    std::size_t Size() const { return hints_.size(); }
    const std::vector<int>& Hints() const { return hints_; }

private:
    std::vector<int> hints_;
};

// A worker hands a task to the UI thread and waits until the UI reports it done, the hand-off is
// cancelled (the view is closing), or the time-out passes. The worker never blocks the UI thread.
class UiHandoff {
public:
    // post(ticket) must arrange for Done(ticket) on the UI thread. True when done in time.
    bool Run(const std::function<void(std::uint64_t)>& post, std::chrono::milliseconds timeout);
    void Done(std::uint64_t ticket);
    // Wakes every waiter for good; later Runs return false at once.
    void Cancel();
    bool Cancelled() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::uint64_t next_ = 0;
    std::uint64_t done_ = 0;
    bool cancelled_ = false;
};

// The render thread. frame() draws one frame (it may hand the drawing to the UI thread) and
// returns whether the camera turned during it; a drained spin hint then queues itself again.
class RenderLoop {
public:
    explicit RenderLoop(std::function<bool()> frame);
    ~RenderLoop();
    RenderLoop(const RenderLoop&) = delete;
    RenderLoop& operator=(const RenderLoop&) = delete;

    // Starts the thread on first use (and after a stop hint ended it).
    void RequestRedraw(int hint);
    // Ends the thread for good and waits for it.
    void Stop();
    bool Running() const;
    std::uint64_t FramesDrawn() const;
    // The shortest time from one spin frame to the next (the display's refresh period): a view
    // left spinning must not draw faster than anybody can see, on every core it can get.
    void SetSpinInterval(std::chrono::microseconds interval);
    // The hints waiting now (for tests).
    std::vector<int> Pending() const;
    // Called by the thread as it starts; lets a test hold the thread before its first drain.
    std::function<void()> onThreadStart;
    // Called by the thread, without its lock, when a spin ends (the camera came to rest, a stop
    // hint replaced it, or the frame could not be drawn): whatever keeps the camera turning has to
    // end with it, or the next single redraw would turn it again. Set before the first request.
    std::function<void()> onSpinEnded;

private:
    void ThreadProc();

    std::function<bool()> frame_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    RedrawQueue queue_;
    bool signalled_ = false;
    bool running_ = false;
    bool stop_ = false;
    std::uint64_t frames_ = 0;
    std::chrono::microseconds spinInterval_{16667};
    std::thread thread_;
};

// The update thread: bits posted from any number of notifications are OR-ed, and one call of
// deliver() applies them; deliver() blocks until the UI thread applied them, so at most one batch
// is in flight. Nothing is delivered once Stop() began.
class UpdateLoop {
public:
    explicit UpdateLoop(std::function<void(unsigned)> deliver);
    ~UpdateLoop();
    UpdateLoop(const UpdateLoop&) = delete;
    UpdateLoop& operator=(const UpdateLoop&) = delete;

    void Post(unsigned bits);
    void Stop();
    bool Running() const;
    bool Stopping() const;

private:
    void ThreadProc();

    std::function<void(unsigned)> deliver_;
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    unsigned bits_ = 0;
    bool pending_ = false;
    bool stop_ = false;
    bool started_ = false;
    std::thread thread_;
};

}  // namespace zun
