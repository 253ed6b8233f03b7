#include "compute/model.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <random>
#include <thread>

#include "compute/computeclasses.h"
#include "compute/exitrequested.h"
#include "computetestdoc.h"
#include "foundation/threadcount.h"

namespace zun {
namespace {

using test::MakeComputeSetup;
using test::TestComputeDocument;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class FakeProperty : public PropertyComputationEngine {
public:
    int problems = 0;
    std::string errors, warnings;
    int applyResult = 0;
    int MethodCount() const override { return 1; }
    int CheckSettings(std::string& e, std::string& w) override {
        e = errors;
        w = warnings;
        return problems;
    }
    void AcceptCheckedSettings() override { accepted = true; }
    int Apply() override {
        ++applied;
        return applyResult;
    }
    void Serialize(Archive& ar) override {
        std::uint32_t v = 2648, n = 0;
        if (ar.IsStoring())
            ar << v << n;
        else
            ar >> v >> n;
    }
    bool accepted = false;
    int applied = 0;
};

TEST(ModelState, TransitionsAndRefusals) {
    TestComputeDocument doc;
    Model& m = doc.MakeModel();
    EXPECT_EQ(m.GetState(), kInactive);
    EXPECT_EQ(m.GetStateText(), "Computation Inactive");
    // The job check comes first, even while inactive.
    m.Jobs() = {false, false, false};
    EXPECT_EQ(m.StartComputation(), -2);
    m.Jobs() = {true, false, false};
    EXPECT_EQ(m.StartComputation(), -1);

    doc.sample.Add("Void", kChanComposition);
    doc.sample.Add("Water", kChanComposition);
    EXPECT_EQ(m.InsertChannel(1, "Water"), 0);
    EXPECT_EQ(m.GetState(), kReady);
    EXPECT_TRUE(Contains(doc.logger.Text(), " - Computation Ready\n"));
    EXPECT_EQ(m.DeleteChannel(1), 0);
    EXPECT_EQ(m.GetState(), kInactive);
    EXPECT_EQ(m.DeleteChannel(0), 2);  // "Void" stays

    EXPECT_EQ(m.InsertChannel(1, nullptr), 0);
    doc.recordingResult = 5;
    EXPECT_EQ(m.StartComputation(), -3);
    doc.recordingResult = 0;

    m.SetStepRunner([](int, const ComputeLibParams&) { return 0; });
    ASSERT_EQ(m.StartComputation(), 0);
    EXPECT_EQ(m.StartComputation(), -1);  // one worker per run
    EXPECT_EQ(m.InsertChannel(1, "x"), -1);
    doc.WaitForEnd();
    EXPECT_EQ(m.GetState(), kCompleted);
    EXPECT_EQ(m.GetStateText(), "Computation Completed");
    EXPECT_GE(doc.recordingStops, 1);
}

TEST(ModelState, EndResultsMapToStates) {
    for (auto [result, state] : {std::pair{0, kCompleted},
                                 {-100, kStopped},
                                 {105, kCompleted},
                                 {1, kStoppedWithError},
                                 {-1, kStoppedWithError}}) {
        TestComputeDocument doc;
        Model& m = MakeComputeSetup(doc, {2, 2, 2}, 2, 1);
        m.SetStepRunner([r = result](int, const ComputeLibParams&) { return r; });
        ASSERT_EQ(m.StartComputation(), 0);
        doc.WaitForEnd();
        EXPECT_EQ(m.GetState(), state) << result;
    }
}

TEST(ModelState, PropertyCheckPrompts) {
    TestComputeDocument doc;
    Model& m = MakeComputeSetup(doc, {2, 2, 1}, 2, 1);
    FakeProperty prop;
    m.SetPropertyComputation(&prop);
    m.SetStepRunner([](int, const ComputeLibParams&) { return 0; });
    prop.problems = 1;
    prop.errors = "Error: no input channel\n";
    doc.prompt.QueueAnswer(kPromptCancel);
    EXPECT_EQ(m.StartComputation(), 2);
    EXPECT_EQ(m.GetState(), kReady);
    auto req = doc.prompt.Requests().back();
    EXPECT_EQ(req.caption, "Property Computation parameter errors");
    EXPECT_EQ(req.buttons, PromptButtons::OkCancel);
    EXPECT_EQ(req.detail, "Error: no input channel\n");

    // OK skips only the property computation.
    doc.prompt.QueueAnswer(kPromptOk);
    ASSERT_EQ(m.StartComputation(), 0);
    doc.WaitForEnd();
    EXPECT_EQ(prop.applied, 0);
    EXPECT_EQ(m.GetState(), kCompleted);

    prop.errors.clear();
    prop.warnings = "Warning: empty boundary\n";
    doc.prompt.QueueAnswer(kPromptContinue);
    ASSERT_EQ(m.StartComputation(), 0);
    doc.WaitForEnd();
    EXPECT_EQ(doc.prompt.Requests().back().caption, "Property Computation parameter warnings");
    EXPECT_EQ(doc.prompt.Requests().back().buttons, PromptButtons::ContinueSkipCancel);
    EXPECT_EQ(prop.applied, 1);
    EXPECT_TRUE(prop.accepted);
    EXPECT_TRUE(Contains(doc.logger.Text(), "Property computation completed successfully\n"));
}

TEST(ModelPipeline, PassesRunInOrderWithTheFixedSequence) {
    TestComputeDocument doc;
    Model& m = MakeComputeSetup(doc, {2, 2, 2}, 3, 2);
    Params& p = m.GetParams();
    p.stepFlags = {3, 1, 3, 0, 3, 3};  // extrapolation selected but unchanged: does not run
    p.stepOrders = {2, 2, 3, 3, 2, 3};
    p.firstOrder = 2;
    p.lastOrder = 3;
    std::vector<int> ran;
    m.SetStepRunner([&](int step, const ComputeLibParams&) {
        ran.push_back(step);
        return step == kStepLinear ? 105 : 0;
    });
    ASSERT_EQ(m.StartComputation(), 0);
    doc.WaitForEnd();
    EXPECT_EQ(ran, (std::vector<int>{kStepDataCheck, kStepLinear, kStepSegmentation, kStepNonlinear}));
    EXPECT_EQ(m.GetState(), kCompleted);  // a data error does not stop later steps
    const std::string log = doc.logger.Text();
    EXPECT_TRUE(
        Contains(log,
                 "Data Constrained linear optimisation computation with 0 non-exact matches completed "
                 "with data error (5)\n"));
    EXPECT_TRUE(Contains(log, "Data Checking and Correction completed successfully\n"));
    EXPECT_TRUE(Contains(log, "Data Checking and Correction elapsed time = 00:0"));
    EXPECT_TRUE(Contains(log, " - Data constrained nonlinear optimisation computation...\n"));
    EXPECT_FALSE(p.structureChanged);
    EXPECT_EQ(doc.sample.resets, 3);
}

// The frame channel delivers the worker's messages only when the UI thread pumps, here after the
// whole run: each step's start line must still come before its result, in the log and in the
// log window.
TEST(ModelPipeline, StepLinesKeepTheirOrderWhateverTheDeliveryDelay) {
    struct View : LogView {
        std::mutex m;
        std::string shown;
        void AppendText(const std::string& t) override {
            std::lock_guard l(m);
            shown += t;
        }
        void SetCaption(const std::string&) override {}
    } view;
    TestComputeDocument doc;
    doc.logger.AttachView(&view);
    Model& m = MakeComputeSetup(doc, {2, 2, 2}, 3, 2);
    Params& p = m.GetParams();
    p.stepFlags = {3, 0, 3, 0, 3, 3};
    p.stepOrders = {1, 1, 1, 1, 1, 1};
    p.firstOrder = p.lastOrder = 1;
    m.SetStepRunner([&](int, const ComputeLibParams&) { return 0; });
    ASSERT_EQ(m.StartComputation(), 0);
    const std::string lastLine =
        "Data Constrained non-linear optimisation computation with 0 non-exact matches "
        "elapsed time";
    // Nothing is pumped until the worker has written its last line.
    for (int k = 0; k < 60000 && !Contains(doc.logger.Text(), lastLine); ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    doc.WaitForEnd();
    ASSERT_EQ(m.GetState(), kCompleted);
    const std::pair<const char*, const char*> steps[] = {
        {"Data Checking and Correction...\n", "Data Checking and Correction completed successfully\n"},
        {"Discrete least-square segmentation computation...\n",
         "Discrete least-square segmentation computation completed successfully\n"},
        {"Data Constrained linear optimisation computation...\n",
         "Data Constrained linear optimisation computation with 0 non-exact matches completed "
         "successfully\n"},
        {"Data constrained nonlinear optimisation computation...\n",
         "Data Constrained non-linear optimisation computation with 0 non-exact matches completed "
         "successfully\n"},
    };
    // Copied one lock at a time: the logger holds its lock while it appends to the view.
    const std::string logged = doc.logger.Text();
    std::string shown;
    {
        std::lock_guard l(view.m);
        shown = view.shown;
    }
    for (const std::string& log : {logged, shown}) {
        std::size_t previous = 0;
        for (auto [start, result] : steps) {
            const std::size_t s = log.find(std::string(" - ") + start);
            const std::size_t r = log.find(result);
            ASSERT_NE(s, std::string::npos) << start << log;
            ASSERT_NE(r, std::string::npos) << result << log;
            EXPECT_LT(previous, s) << start << log;
            EXPECT_LT(s, r) << start << log;
            previous = r;
        }
        // Each step says once that it started.
        EXPECT_EQ(log.find(steps[0].first, log.find(steps[0].first) + 1), std::string::npos) << log;
        EXPECT_LT(log.find("Computation Running\n"), log.find(steps[0].first)) << log;
        EXPECT_GT(log.find("Computation Completed\n"), previous) << log;
    }
    doc.logger.AttachView(nullptr);
}

TEST(ModelPipeline, EmptyPassRangeAndAbortCodes) {
    TestComputeDocument doc;
    Model& m = MakeComputeSetup(doc, {2, 2, 2}, 2, 1);
    Params& p = m.GetParams();
    p.firstOrder = 3;
    p.lastOrder = 2;
    p.structureChanged = true;
    int calls = 0;
    m.SetStepRunner([&](int, const ComputeLibParams&) { return ++calls, 0; });
    ASSERT_EQ(m.StartComputation(), 0);
    doc.WaitForEnd();
    EXPECT_EQ(calls, 0);
    EXPECT_FALSE(p.structureChanged);
    EXPECT_EQ(m.GetState(), kCompleted);

    for (auto [code, suffix] : {std::pair<int, const char*>{-1, " completed with no processors selected\n"},
                                {7, " completed with GPU error ()\n"},
                                {-100, " completed with user interrupt\n"}}) {
        p.firstOrder = 3;
        p.lastOrder = 3;
        p.stepFlags = {3, 0, 0, 0, 0, 3};
        std::vector<int> ran;
        m.SetStepRunner([&, c = code](int step, const ComputeLibParams&) {
            ran.push_back(step);
            return c;
        });
        ASSERT_EQ(m.StartComputation(), 0);
        doc.WaitForEnd();
        EXPECT_EQ(ran.size(), 1u) << code;
        EXPECT_TRUE(Contains(doc.logger.Text(), std::string("Data Checking and Correction") + suffix));
    }
    EXPECT_EQ(StepResultSuffix(-5), " completed with undefined error (-5)\n");
    EXPECT_EQ(StepResultSuffix(-103), " completed with data warning (-3)\n");
}

TEST(ModelProgress, IntervalTable) {
    EXPECT_EQ(ProgressIntervalMs(1), 20000);
    EXPECT_EQ(ProgressIntervalMs(0), 20000);
    EXPECT_EQ(ProgressIntervalMs(2), 200);
    EXPECT_EQ(ProgressIntervalMs(10), 200);
    EXPECT_EQ(ProgressIntervalMs(1000), 200);
    EXPECT_EQ(ProgressIntervalMs(1001), 500);
    EXPECT_EQ(ProgressIntervalMs(1000000), 1000);
    EXPECT_EQ(ProgressIntervalMs(1000001), 1000);
    EXPECT_EQ(ProgressIntervalMs(100000000000LL), 15000);
    EXPECT_EQ(ProgressIntervalMs(100000000001LL), 20000);
}

TEST(ModelProgress, ThrottledOnTheClock) {
    TestComputeDocument doc;
    doc.remoteOn = true;
    Model& m = MakeComputeSetup(doc, {100, 100, 100}, 2, 1);  // 10^6 voxels: 1 s
    std::atomic<std::int64_t> now{1000};
    m.SetClock([&] { return now.load(); });
    std::atomic<bool> go{false};
    m.Jobs() = {true, false, false};
    m.SetStepRunner([&](int, const ComputeLibParams&) {
        m.SetProgress(1, false);  // the first report after the step start is not due
        now += 999;
        m.SetProgress(2, false);  // not due
        now += 1;
        m.SetProgress(3, false);  // due
        m.SetProgress(4, true);   // forced
        now += 5000;
        m.SetProgress(250, false);  // due; percent kept at 100
        go = true;
        return 0;
    });
    ASSERT_EQ(m.StartComputation(), 0);
    doc.WaitForEnd();
    EXPECT_EQ(m.ProgressInterval(), 1000);
    auto d = m.Durations();
    std::lock_guard l(doc.remote.m);
    EXPECT_EQ(doc.remote.work, (std::vector<int>{3, 4, 250, 100, 100}));
    EXPECT_EQ(doc.remote.oks, std::vector<std::string>{""});
    // Every reply names the document that computed: another's computation answers its own start.
    EXPECT_EQ(doc.remote.from, std::vector<const ComputeDocument*>(6, &doc));
    EXPECT_FLOAT_EQ(d[0].total, 6.0f);
    EXPECT_FLOAT_EQ(d[1].total, 6.0f);
    EXPECT_EQ(d[0].Format(), "00:06.0 (100%)");
}

TEST(ModelStop, StopDuringAStepEndsStopped) {
    TestComputeDocument doc;
    doc.remoteOn = true;
    Model& m = MakeComputeSetup(doc, {4, 4, 4}, 2, 1);
    std::atomic<bool> inStep{false};
    m.SetStepRunner([&](int, const ComputeLibParams&) {
        inStep = true;
        try {
            for (;;) {
                m.SetProgress(50, false);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        } catch (const ExitRequested&) {
            return kUserInterrupt;
        }
    });
    ASSERT_EQ(m.StartComputation(), 0);
    while (!inStep) std::this_thread::yield();
    doc.prompt.QueueAnswer(kPromptCancel);
    EXPECT_EQ(m.StopComputation(true), 0);  // cancelled by the user
    EXPECT_EQ(m.GetState(), kRunning);
    EXPECT_EQ(m.StopComputation(true), 0);
    EXPECT_EQ(doc.prompt.Requests().back().text, "Stop computation?");
    EXPECT_EQ(m.GetState(), kStopping);
    doc.WaitForEnd();
    EXPECT_EQ(m.GetState(), kStopped);
    EXPECT_FALSE(m.IsBusy());
    std::lock_guard l(doc.remote.m);
    EXPECT_EQ(doc.remote.oks, std::vector<std::string>{"Computation Stopped"});
}

TEST(ModelStop, StopAtTheLastProgressReportTurnsSuccessIntoInterrupt) {
    TestComputeDocument doc;
    Model& m = MakeComputeSetup(doc, {4, 4, 4}, 2, 1);
    m.SetStepRunner([&](int, const ComputeLibParams&) {
        // The UI thread's stop lands after the step's own last report.
        doc.frame.Post(FrameMessage{FrameMsg::StartStopComputation, &doc, 1});
        for (int k = 0; k < 10000 && m.GetState() != kStopping; ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 0;
    });
    doc.frame.SetHandler([&](const FrameMessage& msg) {
        if (msg.kind == FrameMsg::StartStopComputation) m.StopComputation(false);
        m.HandleFrameMessage(msg);
    });
    ASSERT_EQ(m.StartComputation(), 0);
    doc.WaitForEnd();
    EXPECT_EQ(m.GetState(), kStopped);
    EXPECT_TRUE(Contains(doc.logger.Text(), "completed successfully"));
}

TEST(ModelStop, StopBeforeStartIsIgnoredAndRightAfterStartStops) {
    TestComputeDocument doc;
    Model& m = MakeComputeSetup(doc, {4, 4, 4}, 2, 1);
    int steps = 0;
    m.SetStepRunner([&](int, const ComputeLibParams&) { return ++steps, 0; });
    EXPECT_EQ(m.StopComputation(false), 0);
    EXPECT_EQ(m.GetState(), kReady);
    // Hold the worker at its first clock reading (at the latest when the first step starts) so
    // the stop lands before the run could end.
    std::atomic<bool> release{false};
    const auto ui = std::this_thread::get_id();
    m.SetClock([&] {
        while (std::this_thread::get_id() != ui && !release) std::this_thread::yield();
        return std::int64_t{0};
    });
    ASSERT_EQ(m.StartComputation(), 0);
    m.StopComputation(false);
    release = true;
    doc.WaitForEnd();
    EXPECT_EQ(m.GetState(), kStopped);
    EXPECT_FALSE(m.IsBusy());
    EXPECT_LE(steps, 1);
}

TEST(ModelStop, RepeatedStartAndStopNeverHangs) {
    TestComputeDocument doc;
    Model& m = MakeComputeSetup(doc, {8, 8, 8}, 2, 1);
    m.SetStepRunner([&](int, const ComputeLibParams&) {
        try {
            for (int i = 0; i < 200; ++i) {
                m.SetProgress(i / 2.0f, false);
                std::this_thread::sleep_for(std::chrono::microseconds(20));
            }
        } catch (const ExitRequested&) {
            return kUserInterrupt;
        }
        return 0;
    });
    std::mt19937 rng(7);
    int stopped = 0, completed = 0;
    for (int k = 0; k < 1000; ++k) {
        ASSERT_EQ(m.StartComputation(), 0) << k;
        std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
        if (rng() % 2) doc.frame.Pump();  // sometimes the UI delivers messages before the stop
        m.StopComputation(false);
        doc.WaitForEnd(20000);
        ASSERT_FALSE(m.IsBusy()) << k;
        const int s = m.GetState();
        ASSERT_TRUE(s == kStopped || s == kCompleted) << k << " " << s;
        (s == kStopped ? stopped : completed) += 1;
    }
    EXPECT_GT(stopped, 0);
    doc.logger.Clear();
}

TEST(ModelStop, EndOfAStoppedRunDoesNotEndTheNextRun) {
    TestComputeDocument doc;
    Model& m = MakeComputeSetup(doc, {4, 4, 4}, 2, 1);
    std::atomic<int> started{0}, ended{0};
    std::atomic<bool> release{false};
    m.SetStepRunner([&](int, const ComputeLibParams&) {
        ++started;
        try {
            for (int k = 0; k < 500 && !release; ++k) {
                m.SetProgress(50, false);
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        } catch (const ExitRequested&) {
            ++ended;
            return kUserInterrupt;
        }
        ++ended;
        return 0;
    });
    ASSERT_EQ(m.StartComputation(), 0);
    while (started == 0) std::this_thread::yield();
    m.StopComputation(false);
    // The first worker leaves; its end message waits in the queue while the user starts again.
    while (ended == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(m.StartComputation(), 0);
    doc.frame.Pump();
    EXPECT_EQ(m.GetState(), kRunning);
    EXPECT_TRUE(m.IsBusy());
    release = true;
    doc.WaitForEnd();
    EXPECT_EQ(m.GetState(), kCompleted);
}

TEST(ModelStop, ChannelsStayLockedUntilTheStoppedWorkerHasLeft) {
    TestComputeDocument doc;
    Model& m = MakeComputeSetup(doc, {4, 4, 4}, 2, 1);
    std::atomic<bool> inStep{false}, release{false};
    // A step that reports no progress runs on after the stop.
    m.SetStepRunner([&](int, const ComputeLibParams&) {
        inStep = true;
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return 0;
    });
    ASSERT_EQ(m.StartComputation(), 0);
    while (!inStep) std::this_thread::yield();
    m.StopComputation(false);
    ASSERT_EQ(m.GetState(), kStopping);
    EXPECT_EQ(m.InsertChannel(1, "x"), -1);
    EXPECT_EQ(m.DeleteChannel(1), -1);
    EXPECT_EQ(m.SetDimensions({8, 8, 8}), -1);
    EXPECT_EQ(m.GetParams().voxelCount, 64);
    release = true;
    doc.WaitForEnd();
    EXPECT_EQ(m.GetState(), kStopped);
    EXPECT_EQ(m.SetDimensions({8, 8, 8}), 0);
}

TEST(ModelEnd, SaveAndExitOnlyAfterSuccess) {
    TestComputeDocument doc;
    doc.remoteOn = true;
    Model& m = MakeComputeSetup(doc, {2, 2, 2}, 2, 1);
    doc.saveAfter = true;
    doc.exitAfter = true;
    m.OnComputationEnded(105);  // data error: still a success of the run
    EXPECT_EQ(m.GetState(), kStoppedWithError);
    EXPECT_EQ(doc.saves, 0);
    m.OnComputationEnded(0);
    EXPECT_EQ(doc.saves, 1);
    EXPECT_EQ(doc.closes, 1);
    EXPECT_TRUE(Contains(doc.logger.Text(), "Exiting Zun after computation, /tmp/sample.zun\n"));
    doc.saveResult = false;
    m.OnComputationEnded(0);
    EXPECT_EQ(doc.saves, 2);
    EXPECT_EQ(doc.closes, 1);  // a failed save never exits
    std::lock_guard l(doc.remote.m);
    EXPECT_EQ(doc.remote.oks.back(), "Save after computation failed");
    EXPECT_EQ(doc.remote.oks[0], "Computation stopped with error");
}

TEST(ModelLibrary, ParameterBlockTables) {
    TestProcessorCount processors(4);
    TestComputeDocument doc;
    Model& m = MakeComputeSetup(doc, {3, 4, 5}, 3, 2);
    doc.sample.channels[1].bits = 8;
    doc.sample.channels[2].bits = 32;
    doc.sample.channels[3].bits = 8;
    doc.sample.channels[1].importCounts = {0, 0, 4};
    Params& p = m.GetParams();
    p.volumeFractionAccuracy = {0.0f, 0.001f, 0.01f};
    p.ctRelativeAccuracy[2] = 0.01f;
    p.ctAttenHigh[1] = 2.0f;
    p.ctAttenLow[1] = 1.0f;
    doc.devices = {{"CPU #0", 2}, {"CPU #1", -1}, {"GPU", 4}};
    ComputeLibParams b = m.BuildLibraryParameters();
    EXPECT_EQ(b.threadCount, 3);
    EXPECT_EQ(b.compTolerance[0], 1);
    EXPECT_EQ(b.compTolerance[1], 70);   // 8-bit slices: 16383 / 255 * 1.1
    EXPECT_EQ(b.compTolerance[2], 164);  // 32-bit slices do not overflow; the user's accuracy wins
    EXPECT_FLOAT_EQ(b.ctAccuracy[1], 1.1f / 255.0f * 1.0f);
    EXPECT_FLOAT_EQ(b.ctAccuracy[2], 0.01f * 8.0f);
    EXPECT_EQ(b.ctAccuracy[0], 0.0f);
    EXPECT_EQ(b.largestDimension, 5);
    EXPECT_EQ(b.importAxis, 2);
    EXPECT_EQ(b.gridCount, 15 * 15 * 15);
    EXPECT_EQ(b.channelAtten[3][1], 2.0f);
    EXPECT_EQ(b.matrixRowMax[1], 6.0f);
    EXPECT_EQ(b.threadScratchA.size(), 3u);
    {
        // A selection larger than the processors gets a team of them.
        TestProcessorCount two(2);
        ComputeLibParams fewer = m.BuildLibraryParameters();
        EXPECT_EQ(fewer.threadCount, 2);
        EXPECT_EQ(fewer.threadScratchA.size(), 2u);
    }
    p.gridSize = 1000;
    p.InsertComposition(3, "a");
    for (int k = 0; k < 6; ++k) p.InsertComposition(3, "b");
    EXPECT_EQ(m.BuildLibraryParameters().gridCount, std::numeric_limits<std::int64_t>::max());
}

TEST(ModelArchive, RoundTripAndVersionGates) {
    RegisterComputeClasses();
    TestComputeDocument doc;
    Model& m = MakeComputeSetup(doc, {2, 3, 4}, 3, 1);
    m.Jobs() = {false, true, true};
    m.SavedPluginSettings() = {{"p", "libp", "-x 1", true}};
    MemoryStream ms;
    {
        Archive ar(ms, Archive::Mode::Store);
        m.Serialize(ar);
        ar.Flush();
    }
    Model loaded;
    {
        MemoryStream in(ms.Bytes());
        Archive ar(in, Archive::Mode::Load);
        loaded.Serialize(ar);
    }
    EXPECT_EQ(loaded.GetState(), kReady);
    EXPECT_FALSE(loaded.Jobs().composition);
    EXPECT_TRUE(loaded.Jobs().plugins);
    EXPECT_EQ(loaded.SavedPluginSettings().size(), 1u);
    EXPECT_EQ(loaded.GetParams().compositionNames[2], "C2");
    EXPECT_EQ(loaded.Durations().size(), 3u);

    // Hand-built tails of older versions: everything after the step stamps.
    auto bytes = ms.Bytes();
    MemoryStream head;
    {
        Archive ar(head, Archive::Mode::Store);
        m.Serialize(ar);
        ar.Flush();
    }
    // Find where the version word of the controller's own part starts: the tail is
    // version, flags, reserved, property part (8), plug-in flag, settings, reserved flag, state.
    MemoryStream tail;
    {
        Archive ar(tail, Archive::Mode::Store);
        ar << std::uint32_t(2648) << false << true << std::uint8_t(0) << std::uint32_t(2648)
           << std::uint32_t(0) << true;
        std::vector<SavedPluginSetting> s = {{"p", "libp", "-x 1", true}};
        SerializeSavedPluginSettings(ar, s);
        ar << false << std::uint32_t(kReady);
        ar.Flush();
    }
    const std::size_t prefix = bytes.size() - tail.Bytes().size();
    auto withTail = [&](auto writer) {
        MemoryStream t;
        {
            Archive ar(t, Archive::Mode::Store);
            writer(ar);
            ar.Flush();
        }
        std::vector<std::uint8_t> all(bytes.begin(), bytes.begin() + prefix);
        all.insert(all.end(), t.Bytes().begin(), t.Bytes().end());
        Model out;
        MemoryStream in(all);
        Archive ar(in, Archive::Mode::Load);
        out.Serialize(ar);
        return std::make_tuple(out.Jobs().composition, out.Jobs().property, out.Jobs().plugins,
                               out.GetState(), out.SavedPluginSettings().size());
    };
    // 482: no flags, no property part, no plug-ins; reserved flag and state still read.
    EXPECT_EQ(withTail([](Archive& ar) { ar << std::uint32_t(482) << true << std::uint32_t(kCompleted); }),
              std::make_tuple(true, true, false, static_cast<int>(kCompleted), std::size_t{0}));
    // 483: flags and property part, no reserved byte.
    EXPECT_EQ(withTail([](Archive& ar) {
                  ar << std::uint32_t(483) << false << false << std::uint32_t(2648) << std::uint32_t(0)
                     << false << std::uint32_t(kStopped);
              }),
              std::make_tuple(false, false, false, static_cast<int>(kStopped), std::size_t{0}));
    // 1068: the reserved byte; 1320 still no plug-in part.
    EXPECT_EQ(withTail([](Archive& ar) {
                  ar << std::uint32_t(1320) << true << false << std::uint8_t(1) << std::uint32_t(2648)
                     << std::uint32_t(0) << false << std::uint32_t(kReady);
              }),
              std::make_tuple(true, false, false, static_cast<int>(kReady), std::size_t{0}));
    // A run stored as running did not finish.
    EXPECT_EQ(std::get<3>(withTail([](Archive& ar) {
                  ar << std::uint32_t(1321) << true << true << std::uint8_t(0) << std::uint32_t(2648)
                     << std::uint32_t(0) << true << std::uint32_t(0) << false << std::uint32_t(kRunning);
              })),
              kStopped);
}

}  // namespace
}  // namespace zun

namespace zun {
namespace {

class ScriptedSetup : public ComputationSetupDialog {
public:
    int answer = kPromptOk;
    SetupChoice choice;
    JobFlags jobs{true, false, false};
    int Run(JobFlags& j, bool, ComputeDocument*, Params& p) override {
        if (answer == kPromptCancel) return answer;
        j = jobs;
        ApplySetupChoice(p, choice);
        return kPromptOk;
    }
};

TEST(ModelSetup, DialogResultsAndWork) {
    TestComputeDocument doc;
    Model& m = MakeComputeSetup(doc, {2, 2, 2}, 2, 1);
    m.Jobs() = {false, false, false};
    ScriptedSetup dialog;
    dialog.answer = kPromptCancel;
    EXPECT_EQ(m.SetupComputation(dialog), 2);
    EXPECT_FALSE(m.Jobs().composition);
    dialog.answer = kPromptOk;
    dialog.choice = CurrentSetupChoice(m.GetParams());
    dialog.choice.enabled = {false, true, false};
    EXPECT_EQ(m.SetupComputation(dialog), 0);
    EXPECT_EQ(m.GetState(), kReady);
    EXPECT_TRUE(m.Jobs().composition);
    EXPECT_EQ(m.GetParams().stepFlags[kStepLinear], 3);
    EXPECT_EQ(m.GetParams().stepFlags[kStepNonlinear] & 1, 0);
    EXPECT_TRUE(m.HasWorkToDo());
    dialog.choice.enabled = {false, false, false};
    m.SetupComputation(dialog);
    EXPECT_FALSE(m.HasWorkToDo());  // no composition method left
    m.Jobs().plugins = true;
    std::vector<PluginRunEntry> list(1);
    list[0].name = "p";
    list[0].selected = true;
    m.SetPluginRunList(list);
    EXPECT_TRUE(m.HasWorkToDo());
}

TEST(ModelChannels, CtAttenuationFollowsTheParameterSet) {
    TestComputeDocument doc;
    Model& m = MakeComputeSetup(doc, {2, 2, 2}, 3, 2);
    const int ct2 = 4;
    // A new CT channel takes the measured pair of the template slot.
    EXPECT_EQ(doc.sample.channels[ct2].range, (std::array<float, 2>{0.0f, 8.0f}));
    m.SetChannelMeasuredAttenuation(ct2, 2.0f, 1);
    m.SetChannelAttenuationOffset(ct2, 0.5f, 1);
    m.SetChannelAttenuationOffset(ct2, -0.25f, 0);
    EXPECT_EQ(m.GetChannelAttenuationPair(ct2), (std::vector<float>{-0.25f, 2.5f}));
    EXPECT_EQ(doc.sample.channels[ct2].range[1], 2.0f);
    EXPECT_EQ(m.GetParams().ctAttenHigh[2], 2.5f);
    doc.sample.channels[1].range = {0.0f, 3.0f};
    EXPECT_EQ(m.GetChannelAttenuation(1, 1), 3.0f);  // a composition answers its own pair
    doc.sample.Add("Prop", kChanProperty);
    EXPECT_EQ(m.GetChannelAttenuation(5, 1), 0.0f);
    // Deleting the first CT channel removes number 1 and keeps the other's values.
    EXPECT_EQ(m.DeleteChannel(3), 0);
    EXPECT_EQ(m.GetParams().ctChannelCount, 1);
    EXPECT_EQ(m.GetParams().ctAttenHigh[1], 2.5f);
    EXPECT_EQ(m.GetState(), kReady);
}

}  // namespace
}  // namespace zun

namespace zun {
namespace {

TEST(ModelPipeline, TooManyCompositionsAreRefusedNotOverrun) {
    TestComputeDocument doc;
    Model& m = MakeComputeSetup(doc, {2, 1, 1}, 33, 1);
    ASSERT_EQ(m.StartComputation(), 0);
    doc.WaitForEnd();
    EXPECT_EQ(m.GetState(), kCompleted);  // a data error does not fail the run
    EXPECT_NE(doc.logger.Text().find("The computation takes at most 32 compositions and 32 CT channels.\n"),
              std::string::npos);
    EXPECT_NE(doc.logger.Text().find("completed with data error (4)"), std::string::npos);
}

}  // namespace
}  // namespace zun
