#include "view3d/redrawqueue.h"

#include <algorithm>

namespace zun {

void RedrawQueue::Push(int hint) {
    if (hints_.size() > 1) hints_.pop_back();
    hints_.push_back(hint);
}

int RedrawQueue::TakeAll() {
    // A request made after a stop hint belongs to the thread that follows the stop: it stays.
    int m = 0;
    std::size_t taken = 0;
    while (taken < hints_.size()) {
        const int h = hints_[taken++];
        m = std::max(m, h);
        if (h == kRedrawStopThread) break;
    }
    hints_.erase(hints_.begin(), hints_.begin() + static_cast<std::ptrdiff_t>(taken));
    return m;
}

bool UiHandoff::Run(const std::function<void(std::uint64_t)>& post, std::chrono::milliseconds timeout) {
    std::uint64_t ticket = 0;
    {
        std::lock_guard lock(mutex_);
        if (cancelled_) return false;
        ticket = ++next_;
    }
    post(ticket);
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return cancelled_ || done_ >= ticket; }) && !cancelled_;
}

void UiHandoff::Done(std::uint64_t ticket) {
    {
        std::lock_guard lock(mutex_);
        done_ = std::max(done_, ticket);
    }
    cv_.notify_all();
}

void UiHandoff::Cancel() {
    {
        std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    cv_.notify_all();
}

bool UiHandoff::Cancelled() const {
    std::lock_guard lock(mutex_);
    return cancelled_;
}

RenderLoop::RenderLoop(std::function<bool()> frame) : frame_(std::move(frame)) {}

RenderLoop::~RenderLoop() {
    Stop();
}

void RenderLoop::RequestRedraw(int hint) {
    std::lock_guard lock(mutex_);
    if (stop_) return;
    if (!running_) {
        // A thread that left on a stop hint cleared running_ under this lock and has nothing left
        // to do but end: it is collected here, whether it left before this call or during it.
        if (thread_.joinable()) thread_.join();
        running_ = true;
        signalled_ = false;
        thread_ = std::thread(&RenderLoop::ThreadProc, this);
    }
    queue_.Push(hint);
    signalled_ = true;
    cv_.notify_one();
}

void RenderLoop::Stop() {
    std::thread t;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        signalled_ = true;
        t = std::move(thread_);
    }
    cv_.notify_all();
    if (t.joinable()) t.join();
}

bool RenderLoop::Running() const {
    std::lock_guard lock(mutex_);
    return running_;
}

std::uint64_t RenderLoop::FramesDrawn() const {
    std::lock_guard lock(mutex_);
    return frames_;
}

void RenderLoop::SetSpinInterval(std::chrono::microseconds interval) {
    std::lock_guard lock(mutex_);
    spinInterval_ = std::max(interval, std::chrono::microseconds(0));
}

std::vector<int> RenderLoop::Pending() const {
    std::lock_guard lock(mutex_);
    return queue_.Hints();
}

void RenderLoop::ThreadProc() {
    if (onThreadStart) onThreadStart();
    // A spin hint queued by this thread is waiting.
    bool spinning = false;
    auto spinEnded = [&] {
        if (!spinning) return;
        spinning = false;
        if (onSpinEnded) onSpinEnded();
    };
    for (;;) {
        int hint = 0;
        {
            std::unique_lock lock(mutex_);
            cv_.wait(lock, [&] { return signalled_ || stop_; });
            signalled_ = false;
            hint = queue_.TakeAll();
            if (stop_) {
                running_ = false;
                return;
            }
            if (hint == kRedrawStopThread) {
                if (queue_.Size() == 0) {
                    // Under the same lock as the drain: a request from now on starts a new thread
                    // instead of waiting in a queue nobody reads.
                    running_ = false;
                    lock.unlock();
                    spinEnded();
                    return;
                }
                // Requests made after the stop (the restart of a stereo or full-screen switch)
                // are served by this thread as the new one would serve them.
                signalled_ = true;
                continue;
            }
        }
        if (hint == 0) continue;
        const auto started = std::chrono::steady_clock::now();
        const bool moving = frame_ ? frame_() : false;
        std::unique_lock lock(mutex_);
        ++frames_;
        if (hint == kRedrawSpin && moving && !stop_) {
            // The next turn waits for the display's next refresh; any other request or a stop
            // is served at once.
            cv_.wait_until(lock, started + spinInterval_, [&] { return signalled_ || stop_; });
            queue_.Push(kRedrawSpin);
            signalled_ = true;
            spinning = true;
            continue;
        }
        // A spin drawn without a turn, or one that a larger hint replaced, is over.
        if (hint == kRedrawSpin) spinning = true;
        const bool stopping = stop_;
        lock.unlock();
        if (!stopping) spinEnded();
    }
}

UpdateLoop::UpdateLoop(std::function<void(unsigned)> deliver) : deliver_(std::move(deliver)) {}

UpdateLoop::~UpdateLoop() {
    Stop();
}

void UpdateLoop::Post(unsigned bits) {
    std::lock_guard lock(mutex_);
    if (stop_) return;
    if (!started_) {
        started_ = true;
        thread_ = std::thread(&UpdateLoop::ThreadProc, this);
    }
    bits_ |= bits;
    pending_ = true;
    cv_.notify_one();
}

void UpdateLoop::Stop() {
    std::thread t;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        t = std::move(thread_);
    }
    cv_.notify_all();
    if (t.joinable()) t.join();
}

bool UpdateLoop::Running() const {
    std::lock_guard lock(mutex_);
    return started_ && !stop_;
}

bool UpdateLoop::Stopping() const {
    std::lock_guard lock(mutex_);
    return stop_;
}

void UpdateLoop::ThreadProc() {
    for (;;) {
        unsigned bits = 0;
        {
            std::unique_lock lock(mutex_);
            cv_.wait(lock, [&] { return pending_ || stop_; });
            if (stop_) return;
            bits = bits_;
            bits_ = 0;
            pending_ = false;
        }
        if (deliver_) deliver_(bits);
    }
}

}  // namespace zun
