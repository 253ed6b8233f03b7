#include "app/ui/framechannel.h"

#include <QThread>

namespace zun {

QtMainFrameChannel::QtMainFrameChannel(QObject* parent) : QObject(parent) {}

void QtMainFrameChannel::Post(FrameMessage msg) {
    // The message travels by value: nothing in it points into the sender's stack.
    QMetaObject::invokeMethod(
        this, [this, m = std::move(msg)] { Deliver(m); }, Qt::QueuedConnection);
}

void QtMainFrameChannel::Send(FrameMessage msg) {
    if (QThread::currentThread() == thread()) {
        Deliver(msg);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, &msg] { Deliver(msg); }, Qt::BlockingQueuedConnection);
}

void QtMainFrameChannel::Deliver(const FrameMessage& msg) {
    if (handler_) handler_(msg);
}

}  // namespace zun
