#include "platform/mainframe.h"

#include <chrono>

namespace zun {

QueuedMainFrameChannel::QueuedMainFrameChannel(Handler handler)
    : handler_(std::move(handler)), owner_(std::this_thread::get_id()) {}

void QueuedMainFrameChannel::SetHandler(Handler handler) {
    std::lock_guard lock(mutex_);
    handler_ = std::move(handler);
}

void QueuedMainFrameChannel::Post(FrameMessage msg) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(Item{std::move(msg), nullptr});
    }
    cv_.notify_all();
}

void QueuedMainFrameChannel::Send(FrameMessage msg) {
    if (std::this_thread::get_id() == owner_) {
        Handler h;
        {
            std::lock_guard lock(mutex_);
            h = handler_;
        }
        if (h) h(msg);
        return;
    }
    bool done = false;
    std::unique_lock lock(mutex_);
    queue_.push_back(Item{std::move(msg), &done});
    cv_.notify_all();
    cv_.wait(lock, [&] { return done; });
}

int QueuedMainFrameChannel::Pump() {
    int handled = 0;
    for (;;) {
        Item item;
        Handler h;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) break;
            item = std::move(queue_.front());
            queue_.pop_front();
            h = handler_;
        }
        if (h) h(item.msg);
        ++handled;
        if (item.done) {
            std::lock_guard lock(mutex_);
            *item.done = true;
            cv_.notify_all();
        }
    }
    return handled;
}

int QueuedMainFrameChannel::WaitAndPump(int timeoutMs) {
    {
        std::unique_lock lock(mutex_);
        cv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return !queue_.empty(); });
    }
    return Pump();
}

std::size_t QueuedMainFrameChannel::Pending() const {
    std::lock_guard lock(mutex_);
    return queue_.size();
}

}  // namespace zun
