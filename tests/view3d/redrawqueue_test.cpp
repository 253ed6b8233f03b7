#include "view3d/redrawqueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

namespace zun {
namespace {

using namespace std::chrono_literals;

template <class F>
bool WaitFor(F done, std::chrono::milliseconds limit = 60000ms) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

TEST(RedrawQueue, KeepsOldestAndNewestAndDrainsTheLargest) {
    RedrawQueue q;
    q.Push(2);
    q.Push(1);
    q.Push(8);
    EXPECT_EQ(q.Hints(), (std::vector<int>{2, 8}));
    q.Push(1);
    EXPECT_EQ(q.Hints(), (std::vector<int>{2, 1}));
    EXPECT_EQ(q.TakeAll(), 2);
    EXPECT_EQ(q.Size(), 0u);
    EXPECT_EQ(q.TakeAll(), 0);
    // A redraw queued after a stop is left for the drain after it.
    q.Push(kRedrawStopThread);
    q.Push(kRedrawOnce);
    EXPECT_EQ(q.TakeAll(), kRedrawStopThread);
    EXPECT_EQ(q.Hints(), (std::vector<int>{kRedrawOnce}));
    EXPECT_EQ(q.TakeAll(), kRedrawOnce);
}

TEST(RenderLoop, BurstBeforeTheThreadWakesDrawsOnceWithoutSpinning) {
    std::promise<void> release;
    std::shared_future<void> gate = release.get_future().share();
    std::atomic<int> frames{0};
    RenderLoop loop([&] {
        ++frames;
        return true;  // the camera would keep turning: only a drained spin hint may continue
    });
    loop.onThreadStart = [gate] { gate.wait(); };
    loop.RequestRedraw(kRedrawSpin);
    loop.RequestRedraw(kRedrawOnce);
    loop.RequestRedraw(kRedrawOnceStop);
    EXPECT_EQ(loop.Pending(), (std::vector<int>{2, 8}));
    release.set_value();
    ASSERT_TRUE(WaitFor([&] { return loop.FramesDrawn() == 1; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(frames.load(), 1);
    EXPECT_TRUE(loop.Pending().empty());
}

TEST(RenderLoop, SpinContinuesWhileTheCameraTurnsAndStopsWhenItRests) {
    std::atomic<int> turning{5};
    RenderLoop loop([&] { return turning.fetch_sub(1) > 1; });
    loop.RequestRedraw(kRedrawSpin);
    ASSERT_TRUE(WaitFor([&] { return loop.FramesDrawn() == 5; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(loop.FramesDrawn(), 5u);
    // A plain redraw never continues even while the camera moves.
    turning = 100;
    loop.RequestRedraw(kRedrawOnce);
    ASSERT_TRUE(WaitFor([&] { return loop.FramesDrawn() == 6; }));
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(loop.FramesDrawn(), 6u);
}

// Whatever turns the camera (a thrown trackball) must end with the spin, however the spin ends:
// the camera at rest (also a frame that could not be drawn: a hidden view) or a single redraw
// that replaces it.
TEST(RenderLoop, EveryEndOfASpinIsReported) {
    std::atomic<int> turning{3};
    std::atomic<int> ended{0};
    RenderLoop loop([&] { return turning.fetch_sub(1) > 1; });
    loop.onSpinEnded = [&] { ++ended; };
    loop.RequestRedraw(kRedrawSpin);
    ASSERT_TRUE(WaitFor([&] { return ended == 1; }));
    EXPECT_EQ(loop.FramesDrawn(), 3u);
    // Plain redraws end no spin.
    turning = 100;
    loop.RequestRedraw(kRedrawOnce);
    ASSERT_TRUE(WaitFor([&] { return loop.FramesDrawn() == 4; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(ended.load(), 1);
    // A spin that a click's single redraw replaces ends too, once.
    loop.RequestRedraw(kRedrawSpin);
    ASSERT_TRUE(WaitFor([&] { return loop.FramesDrawn() >= 6; }));
    loop.RequestRedraw(kRedrawOnceStop);
    ASSERT_TRUE(WaitFor([&] { return ended == 2; }));
    const std::uint64_t drawn = loop.FramesDrawn();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(loop.FramesDrawn(), drawn);
    loop.Stop();
    EXPECT_EQ(ended.load(), 2);
}

TEST(RenderLoop, ASpinDrawsNoFasterThanTheDisplayRefreshes) {
    std::atomic<bool> turning{true};
    RenderLoop loop([&] { return turning.load(); });
    loop.SetSpinInterval(20ms);
    const auto start = std::chrono::steady_clock::now();
    loop.RequestRedraw(kRedrawSpin);
    // A loaded machine may hold the thread back: wait for the frames rather than a time.
    ASSERT_TRUE(WaitFor(
        [&] { return loop.FramesDrawn() >= 5 && std::chrono::steady_clock::now() - start >= 300ms; }));
    const std::uint64_t drawn = loop.FramesDrawn();
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    EXPECT_LE(drawn, static_cast<std::uint64_t>(elapsed.count() / 20 + 2));
    EXPECT_GE(drawn, 5u);
    // A plain request meanwhile is served without waiting for the next turn.
    loop.SetSpinInterval(std::chrono::seconds(10));
    const std::uint64_t before = loop.FramesDrawn();
    ASSERT_TRUE(WaitFor([&] { return loop.FramesDrawn() > before; }));
    const std::uint64_t now = loop.FramesDrawn();
    loop.RequestRedraw(kRedrawOnce);
    ASSERT_TRUE(WaitFor([&] { return loop.FramesDrawn() > now; }, 2000ms));
    turning = false;
    loop.Stop();
}

TEST(RenderLoop, StopHintEndsTheThreadAndTheNextRequestStartsAnother) {
    std::atomic<int> frames{0};
    RenderLoop loop([&] {
        ++frames;
        return false;
    });
    loop.RequestRedraw(kRedrawOnce);
    ASSERT_TRUE(WaitFor([&] { return frames == 1; }));
    loop.RequestRedraw(kRedrawStopThread);
    ASSERT_TRUE(WaitFor([&] { return !loop.Running(); }));
    EXPECT_EQ(frames.load(), 1);
    loop.RequestRedraw(kRedrawOnce);
    EXPECT_TRUE(loop.Running());
    ASSERT_TRUE(WaitFor([&] { return frames == 2; }));
}

// The stereo and full-screen switches queue a stop and a redraw back to back while the thread is
// busy drawing: the redraw after the stop must still be drawn, every time.
TEST(RenderLoop, RedrawQueuedAfterAStopWhileTheThreadRunsIsDrawn) {
    std::mutex m;
    std::condition_variable cv;
    int started = 0, released = 0;
    std::atomic<int> frames{0};
    RenderLoop loop([&] {
        std::unique_lock lock(m);
        const int mine = ++started;
        cv.notify_all();
        cv.wait(lock, [&] { return released >= mine; });
        ++frames;
        return false;
    });
    // A failed round must not leave the thread waiting inside a frame while the loop is joined.
    struct ReleaseAll {
        std::mutex& m;
        std::condition_variable& cv;
        int& released;
        ~ReleaseAll() {
            std::lock_guard lock(m);
            released = 1 << 30;
            cv.notify_all();
        }
    } releaseAll{m, cv, released};
    // Lets frame n finish once it has begun.
    const auto finish = [&](int n) {
        std::unique_lock lock(m);
        if (!cv.wait_for(lock, 5s, [&] { return started >= n; })) return false;
        released = n;
        cv.notify_all();
        return true;
    };
    for (int round = 1; round <= 8; ++round) {
        loop.RequestRedraw(kRedrawOnce);
        {
            // The thread is inside a frame: both requests wait in its queue.
            std::unique_lock lock(m);
            ASSERT_TRUE(cv.wait_for(lock, 5s, [&] { return started == 2 * round - 1; })) << "round " << round;
        }
        loop.RequestRedraw(kRedrawStopThread);
        loop.RequestRedraw(kRedrawOnce);
        EXPECT_EQ(loop.Pending(), (std::vector<int>{kRedrawStopThread, kRedrawOnce}));
        ASSERT_TRUE(finish(2 * round - 1)) << "round " << round;
        ASSERT_TRUE(finish(2 * round)) << "the redraw after the stop was lost in round " << round;
        ASSERT_TRUE(WaitFor([&] { return frames == 2 * round; })) << "round " << round;
    }
}

// A request arriving just as the thread leaves on a stop hint starts a new thread: none is lost.
TEST(RenderLoop, RequestsRacingTheStopAreAllServed) {
    std::atomic<int> frames{0};
    RenderLoop loop([&] {
        ++frames;
        return false;
    });
    for (int round = 1; round <= 200; ++round) {
        loop.RequestRedraw(kRedrawStopThread);
        loop.RequestRedraw(kRedrawOnce);
        ASSERT_TRUE(WaitFor([&] { return frames == round; })) << "round " << round;
    }
}

// The view closes while a thrown trackball keeps the render thread spinning and an update batch
// waits for the UI thread: both threads must end, and nothing is delivered after the stop.
TEST(ViewThreads, ClosingWhileSpinningEndsBothThreads) {
    UiHandoff handoff;
    std::atomic<int> delivered{0};
    std::atomic<bool> stopped{false};
    std::atomic<bool> deliveredAfterStop{false};
    {
        RenderLoop render([&] {
            // The frame is drawn by the "UI thread", which never answers here: the hand-off's
            // time-out and its cancellation are what end the wait.
            handoff.Run([](std::uint64_t) {}, 2ms);
            return true;
        });
        UpdateLoop updates([&](unsigned) {
            if (stopped) deliveredAfterStop = true;
            ++delivered;
            handoff.Run([](std::uint64_t) {}, 10000ms);
        });
        render.RequestRedraw(kRedrawSpin);
        updates.Post(2);
        updates.Post(16);
        ASSERT_TRUE(WaitFor([&] { return render.FramesDrawn() >= 3 && delivered >= 1; }));
        EXPECT_TRUE(render.Running());
        // Closing: the hand-off first, so that no thread waits on the UI thread any more. A
        // batch taken before the stop may still run (its hand-off refuses at once); none after.
        handoff.Cancel();
        updates.Stop();
        stopped = true;
        updates.Post(8);
        render.Stop();
        EXPECT_FALSE(render.Running());
        EXPECT_FALSE(updates.Running());
    }
    EXPECT_FALSE(deliveredAfterStop.load());
    EXPECT_LE(delivered.load(), 3);
}

TEST(UpdateLoop, BitsPostedMeanwhileAreOredIntoOneBatch) {
    UiHandoff handoff;
    std::mutex m;
    std::vector<unsigned> batches;
    std::promise<void> firstSeen;
    std::atomic<bool> first{true};
    std::atomic<std::uint64_t> ticket{0};
    UpdateLoop updates([&](unsigned bits) {
        {
            std::lock_guard lock(m);
            batches.push_back(bits);
        }
        handoff.Run(
            [&](std::uint64_t t) {
                ticket = t;
                if (first.exchange(false)) firstSeen.set_value();
            },
            10000ms);
    });
    updates.Post(2);
    firstSeen.get_future().wait();
    // While the first batch is being applied, three more notifications arrive.
    updates.Post(8);
    updates.Post(16);
    updates.Post(4);
    handoff.Done(ticket);
    ASSERT_TRUE(WaitFor([&] {
        std::lock_guard lock(m);
        return batches.size() == 2;
    }));
    handoff.Cancel();
    std::lock_guard lock(m);
    EXPECT_EQ(batches[0], 2u);
    EXPECT_EQ(batches[1], 8u | 16u | 4u);
}

TEST(UiHandoff, CancelledHandoffRefusesAtOnce) {
    UiHandoff h;
    EXPECT_FALSE(h.Run([&](std::uint64_t) {}, 1ms));
    EXPECT_TRUE(h.Run([&](std::uint64_t t) { h.Done(t); }, 1000ms));
    h.Cancel();
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(h.Run([&](std::uint64_t) {}, 5000ms));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1000ms);
}

}  // namespace
}  // namespace zun
