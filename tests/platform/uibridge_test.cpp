// The headless stand-ins of the user interface that tests and batch runs use.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/mainframe.h"
#include "platform/progress.h"
#include "platform/prompt.h"

namespace zun {
namespace {

TEST(MainFrameChannel, PostedMessagesWaitForThePumpInOrder) {
    std::vector<FrameMessage> seen;
    QueuedMainFrameChannel ch([&](const FrameMessage& m) { seen.push_back(m); });
    std::thread worker([&] {
        for (int i = 0; i < 3; ++i) ch.Post({FrameMsg::SetModelState, nullptr, i, 0, "step"});
        ch.Post({FrameMsg::ComputationEnded, nullptr, -100, 0, {}});
    });
    worker.join();
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(ch.Pump(), 4);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[2].value, 2);
    EXPECT_EQ(seen[3].kind, FrameMsg::ComputationEnded);
    EXPECT_EQ(seen[3].value, -100);
}

TEST(MainFrameChannel, SendWaitsUntilHandledOnTheOwnerThread) {
    std::thread::id handledOn;
    QueuedMainFrameChannel ch([&](const FrameMessage&) { handledOn = std::this_thread::get_id(); });
    // From the owner thread a send is handled at once.
    ch.Send({FrameMsg::RefreshViews});
    EXPECT_EQ(handledOn, std::this_thread::get_id());

    std::atomic<bool> returned{false};
    std::thread worker([&] {
        ch.Send({FrameMsg::RefreshViews});
        returned = true;
    });
    while (ch.Pending() == 0) std::this_thread::yield();
    EXPECT_FALSE(returned);
    handledOn = {};
    EXPECT_EQ(ch.WaitAndPump(1000), 1);
    worker.join();
    EXPECT_TRUE(returned);
    EXPECT_EQ(handledOn, std::this_thread::get_id());
}

TEST(HeadlessPrompt, AnswersScriptedThenTheFirstButton) {
    HeadlessPrompt p;
    p.QueueAnswer(kPromptCancel);
    EXPECT_EQ(p.Ask({"a", {}, {}, PromptButtons::OkCancel}), kPromptCancel);
    EXPECT_EQ(p.Ask({"b", {}, {}, PromptButtons::OkCancel}), kPromptOk);
    EXPECT_EQ(p.Ask({"c", {}, {}, PromptButtons::YesNoCancel}), kPromptYes);
    EXPECT_EQ(p.Ask({"d", {}, {}, PromptButtons::ContinueSkipCancel}), kPromptContinue);
    ASSERT_EQ(p.Requests().size(), 4u);
    EXPECT_EQ(p.Requests()[1].text, "b");
}

TEST(HeadlessProgress, ClampsAndStaysCancelled) {
    HeadlessProgress pr;
    pr.CancelAtCall(3);
    EXPECT_FALSE(pr.SetProgress(-5));
    EXPECT_FALSE(pr.SetProgress(150));
    EXPECT_TRUE(pr.SetProgress(50));
    EXPECT_TRUE(pr.SetProgress(60));
    pr.SetPos(200);
    EXPECT_EQ(pr.Positions(), (std::vector<int>{0, 100, 50, 60, 100}));
}

}  // namespace
}  // namespace zun
