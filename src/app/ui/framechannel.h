#pragma once
// The main-frame channel of the running program: messages from any thread are handled on the UI
// thread. A posted message is queued; a sent one blocks its sender until the UI thread handled
// it (or is handled at once when the sender is the UI thread itself).

#include <functional>

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

private:
    void Deliver(const FrameMessage& msg);
    Handler handler_;
};

}  // namespace zun
