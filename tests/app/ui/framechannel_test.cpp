// The main-frame channel of the running program: messages from worker threads reach the UI
// thread whole and in the order each worker posted them, and a sent message returns only once it
// was handled.
//
// Under the thread sanitizer (tests/sanitize.txt) these are also the check that the hand-over is
// one the sanitizer can see. A worker posts once and then ends, so nothing but the channel's own
// mutex orders the message before its handler: with the lock in QtMainFrameChannel::Post removed,
// APostFromAWorkerIsHandledOnTheUiThread reports a data race on the queue (checked by hand, then
// the lock restored). When the worker woke the UI thread with a queued call of a member pointer,
// the slot object Qt made for it was allocated on the worker and freed on the UI thread, ordered
// only by Qt's own locks, which the sanitizer cannot see: the same test reported that each time.

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include <QApplication>
#include <QThread>

#include "app/ui/framechannel.h"
#include "guitest.h"

using namespace zun;
using zun::test::WaitFor;

namespace {

struct Seen {
    FrameMessage msg;
    bool onUiThread = false;
};

// Collects what the handler saw; only the UI thread calls it.
struct Recorder {
    std::vector<Seen> seen;
    void Attach(QtMainFrameChannel& channel) {
        channel.SetHandler([this](const FrameMessage& m) {
            seen.push_back(Seen{m, QThread::currentThread() == QCoreApplication::instance()->thread()});
        });
    }
};

}  // namespace

TEST(FrameChannel, APostFromAWorkerIsHandledOnTheUiThread) {
    QtMainFrameChannel channel;
    Recorder rec;
    rec.Attach(channel);
    // Longer than a string keeps in place: its characters live on the heap the worker wrote.
    const std::string text(200, 'x');
    std::thread worker([&] { channel.Post(FrameMessage{FrameMsg::AppendLogText, nullptr, 7, 8, text}); });
    ASSERT_TRUE(WaitFor([&] { return !rec.seen.empty(); }, 60000));
    worker.join();
    ASSERT_EQ(rec.seen.size(), 1u);
    EXPECT_TRUE(rec.seen[0].onUiThread);
    EXPECT_EQ(rec.seen[0].msg.kind, FrameMsg::AppendLogText);
    EXPECT_EQ(rec.seen[0].msg.value, 7);
    EXPECT_EQ(rec.seen[0].msg.value2, 8);
    EXPECT_EQ(rec.seen[0].msg.text, text);
}

TEST(FrameChannel, EachWorkersMessagesKeepTheirOrderAndASendWaitsForItsHandler) {
    QtMainFrameChannel channel;
    Recorder rec;
    rec.Attach(channel);
    constexpr int kWorkers = 3, kPosts = 200;
    std::atomic<int> sendsReturned{0};
    std::vector<std::thread> workers;
    for (int w = 0; w < kWorkers; ++w)
        workers.emplace_back([&, w] {
            for (int i = 0; i < kPosts; ++i)
                channel.Post(FrameMessage{FrameMsg::StatusProgress, nullptr, w, i, std::to_string(i)});
            channel.Send(FrameMessage{FrameMsg::RefreshViews, nullptr, w, kPosts});
            sendsReturned++;
        });
    ASSERT_TRUE(WaitFor([&] { return sendsReturned.load() == kWorkers; }, 60000));
    for (std::thread& t : workers) t.join();

    ASSERT_EQ(rec.seen.size(), static_cast<std::size_t>(kWorkers * (kPosts + 1)));
    std::map<std::int64_t, std::int64_t> next;  // worker -> the message it posts next
    for (const Seen& s : rec.seen) {
        EXPECT_TRUE(s.onUiThread);
        EXPECT_EQ(s.msg.value2, next[s.msg.value]++) << "worker " << s.msg.value;
        EXPECT_EQ(s.msg.kind, s.msg.value2 == kPosts ? FrameMsg::RefreshViews : FrameMsg::StatusProgress);
    }
}

TEST(FrameChannel, ASendFromTheUiThreadFollowsTheMessagesPostedBeforeIt) {
    QtMainFrameChannel channel;
    Recorder rec;
    rec.Attach(channel);
    std::thread worker([&] { channel.Post(FrameMessage{FrameMsg::SetModelState, nullptr, 1}); });
    worker.join();
    channel.Send(FrameMessage{FrameMsg::RefreshViews, nullptr, 2});
    ASSERT_EQ(rec.seen.size(), 2u);
    EXPECT_EQ(rec.seen[0].msg.value, 1);
    EXPECT_EQ(rec.seen[1].msg.value, 2);
    // The wake-up of the post finds nothing left to handle.
    WaitFor([] { return false; }, 20);
    EXPECT_EQ(rec.seen.size(), 2u);
}

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
