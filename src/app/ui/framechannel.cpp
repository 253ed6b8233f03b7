#include "app/ui/framechannel.h"

#include <QThread>

namespace zun {

QtMainFrameChannel::QtMainFrameChannel(QObject* parent) : QObject(parent) {}

void QtMainFrameChannel::Wake() {
    // Called by name, not through a member pointer: the call Qt queues is then made and freed
    // wholly inside Qt. A member pointer would have the worker allocate a slot object in our own
    // code that the UI thread frees, ordered only by Qt's locks, which the thread sanitizer cannot
    // see; the wake-up carries nothing, the messages pass through the queue under our mutex.
    QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
}

void QtMainFrameChannel::Post(FrameMessage msg) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(Item{std::move(msg), nullptr});
    }
    Wake();
}

void QtMainFrameChannel::Send(FrameMessage msg) {
    if (QThread::currentThread() == thread()) {
        // Messages posted before it are handled first, as they would be on the UI thread.
        Drain();
        if (handler_) handler_(msg);
        return;
    }
    bool done = false;
    std::unique_lock lock(mutex_);
    queue_.push_back(Item{std::move(msg), &done});
    lock.unlock();
    Wake();
    lock.lock();
    handled_.wait(lock, [&] { return done; });
}

void QtMainFrameChannel::Drain() {
    for (;;) {
        Item item;
        {
            std::lock_guard lock(mutex_);
            if (queue_.empty()) return;
            item = std::move(queue_.front());
            queue_.pop_front();
        }
        if (handler_) handler_(item.msg);
        if (item.done) {
            std::lock_guard lock(mutex_);
            *item.done = true;
            handled_.notify_all();
        }
    }
}

}  // namespace zun
