#pragma once
// The main-frame channel of the running program: messages from any thread are handled on the UI
// thread, in the order they were posted. A posted message is queued; a sent one blocks its sender
// until the UI thread handled it (or is handled at once when the sender is the UI thread itself).
// The messages wait in a queue of our own, guarded by a standard mutex, so that their hand-over
// between threads is plain to see (also to the thread sanitizer); Qt only wakes the UI thread,
// with a call that holds nothing of ours.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include <QObject>

#include "platform/mainframe.h"

namespace zun {

class QtMainFrameChannel : public QObject, public MainFrameChannel {
    Q_OBJECT
public:
    using Handler = std::function<void(const FrameMessage&)>;
    explicit QtMainFrameChannel(QObject* parent = nullptr);

    void SetHandler(Handler handler) { handler_ = std::move(handler); }
    void Post(FrameMessage msg) override;
    void Send(FrameMessage msg) override;
    // Handles every message waiting now (UI thread).
    Q_INVOKABLE void Drain();

private:
    struct Item {
        FrameMessage msg;
        bool* done = nullptr;  // a sent message: set once handled
    };
    void Wake();
    Handler handler_;
    std::mutex mutex_;
    std::condition_variable handled_;
    std::deque<Item> queue_;
};

}  // namespace zun
