#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <random>
#include <thread>

#include "compute/exitrequested.h"
#include "tooldoc.h"
#include "tools/channelgradient.h"
#include "tools/channeltoolsteps.h"
#include "tools/mirrorreflection.h"

namespace zun {
namespace {

using test::ToolDoc;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::uint16_t> RandomWords(const ToolGrid& g, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> d(0, 0xFFFF);
    std::vector<std::uint16_t> v(static_cast<std::size_t>(g.Count()));
    for (auto& w : v) w = std::uint16_t(d(rng));
    return v;
}

TEST(ChannelGradient, MatchesNumpyInEveryFaceMode) {
    const ToolGrid g{11, 7, 5};
    const auto in = RandomWords(g, 11);
    struct Case {
        unsigned options;
        std::array<float, 6> values;
        std::array<double, 3> h;
    };
    const Case cases[] = {
        {0, {}, {1, 1, 1}},                                             // one-sided everywhere
        {1 | 4 | 16, {}, {1, 1, 1}},                                    // periodic everywhere
        {2 | 8 | 32, {0.1f, 0.9f, 0.0f, 1.0f, 0.5f, 1.2f}, {1, 1, 1}},  // supplied values (1.2 unchecked)
        {1 | 8, {0, 0, 0.25f, 0.75f, 0, 0}, {2e-6, 1e-6, 3e-6}},        // mixed modes, anisotropic
    };
    const std::string pin = test::TempPath("grad_in.raw"), pout = test::TempPath("grad_out.raw");
    test::WriteRaw(pin, in);
    for (const Case& c : cases) {
        GradientSettings s;
        s.options = c.options;
        s.outside = c.values;
        std::vector<std::uint16_t> out(in.size(), 0xFFFF);
        ASSERT_EQ(ChannelGradient::Compute(s, in.data(), out.data(), g, c.h), 0);
        std::string args =
            "gradient " + pin + " " + pout + ToolFormat(" %d %d %d %u", g.nx, g.ny, g.nz, c.options);
        for (float v : c.values) args += ToolFormat(" %.9g", v);
        for (double h : c.h) args += ToolFormat(" %.17g", h);
        ASSERT_EQ(test::RunPython(args), 0);
        EXPECT_EQ(out, test::ReadRaw<std::uint16_t>(pout, in.size())) << "options " << c.options;
    }
}

TEST(ChannelGradient, RampSlopeFacesAndClamp) {
    const ToolGrid g{8, 4, 4};
    std::vector<std::uint16_t> in(g.Count()), out(g.Count());
    for (int z = 0; z < 4; ++z)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x)
                in[g.Index(x, y, z)] = std::uint16_t(0x4000 | (300 * x));  // flag ignored
    GradientSettings s;
    ASSERT_EQ(ChannelGradient::Compute(s, in.data(), out.data(), g, {1, 1, 1}), 0);
    const int slope = int(300 / std::sqrt(3.0));
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(out[g.Index(x, 2, 2)], slope) << x;  // one-sided faces keep the slope
    // Periodic in x: the wrap jumps from the top of the ramp to its bottom.
    s.options = GradientSettings::kPeriodicX;
    ChannelGradient::Compute(s, in.data(), out.data(), g, {1, 1, 1});
    EXPECT_EQ(out[g.Index(0, 1, 1)], int(std::fabs(300.0 - 2100.0) / 2 / std::sqrt(3.0)));
    // z twice as long: z differences halve.
    for (int z = 0; z < 4; ++z)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x) in[g.Index(x, y, z)] = std::uint16_t(600 * z);
    s.options = 0;
    ChannelGradient::Compute(s, in.data(), out.data(), g, {1, 1, 2});
    EXPECT_EQ(out[g.Index(3, 1, 1)], int(300 / std::sqrt(3.0)));
    // Supplied values far above the grid's values saturate at 16383.
    s.options = GradientSettings::kOutsideX;
    s.outside = {0, 100, 0, 0, 0, 0};
    ChannelGradient::Compute(s, in.data(), out.data(), g, {1, 1, 1});
    EXPECT_EQ(out[g.Index(7, 0, 0)], 16383);
    EXPECT_EQ(ChannelGradient::Compute(s, in.data(), out.data(), g, {1e-17, 1, 1}), 101);
}

TEST(GradientParameters, ProposalEnablingAndValueCheck) {
    // comp, ct, prop1, prop2, bound: input ct proposes the last property channel.
    const std::vector<std::string> names{"Void", "ct_1", "prop_1", "prop_2", "bound_1"};
    const std::vector<int> kinds{0, 1, 2, 2, 3};
    GradientParsModel m(names, kinds, 1, GradientSettings{});
    EXPECT_EQ(m.Output(), "prop_2");
    EXPECT_TRUE(m.OkEnabled());
    // A stored output that is the input itself falls back to the proposal, OK stays usable.
    GradientSettings stored;
    stored.output = "ct_1";
    stored.options = GradientSettings::kPeriodicY | GradientSettings::kOutsideY | GradientSettings::kOutsideZ;
    GradientParsModel m2(names, kinds, 1, stored);
    EXPECT_EQ(m2.Output(), "prop_2");
    EXPECT_TRUE(m2.OkEnabled());
    EXPECT_TRUE(m2.Periodic(1));
    EXPECT_FALSE(m2.Outside(1));  // periodic wins
    EXPECT_FALSE(m2.OutsideEnabled(1));
    EXPECT_TRUE(m2.EditsEnabled(2));
    m2.SetPeriodic(2, true);
    EXPECT_FALSE(m2.EditsEnabled(2));
    m2.SetPeriodic(2, false);
    EXPECT_FALSE(m2.Outside(2));
    m2.SetOutside(0, true);
    EXPECT_EQ(m2.Accept({"0.1", "abc", "0", "0", "0", "0"}), "Syntax error in entered numeric value");
    EXPECT_EQ(m2.Accept({"0.1", " 0.5 ", "0", "0", "0", "1.5"}), "");
    EXPECT_FLOAT_EQ(m2.Settings().outside[5], 1.5f);
    EXPECT_EQ(m2.ValueText(0), "0.100000");
    // Two channels: the other one.
    GradientParsModel m3({"a", "b"}, {0, 1}, 1, GradientSettings{});
    EXPECT_EQ(m3.Output(), "a");
}

TEST(MirrorReflection, TwiceIsTheIdentityAndShortAxesAreRefused) {
    const ToolGrid g{5, 4, 3};
    const auto original = RandomWords(g, 5);
    for (int axis = 1; axis <= 3; ++axis) {
        auto w = original;
        ASSERT_EQ(MirrorReflection::Compute(w.data(), g, axis), 0);
        EXPECT_NE(w, original);
        if (axis == 1) {
            EXPECT_EQ(w[g.Index(0, 1, 2)], original[g.Index(4, 1, 2)]);
        }
        if (axis == 2) {
            EXPECT_EQ(w[g.Index(3, 0, 1)], original[g.Index(3, 3, 1)]);
        }
        if (axis == 3) {
            EXPECT_EQ(w[g.Index(2, 2, 1)], original[g.Index(2, 2, 1)]);  // middle plane stays
        }
        MirrorReflection::Compute(w.data(), g, axis);
        EXPECT_EQ(w, original) << axis;
    }
    for (const ToolGrid& bad : {ToolGrid{2, 5, 5}, ToolGrid{5, 2, 5}, ToolGrid{5, 5, 2}}) {
        auto w = RandomWords(bad, 1);
        const auto before = w;
        EXPECT_EQ(MirrorReflection::Compute(w.data(), bad, 1), 1);
        EXPECT_EQ(w, before);
    }
    auto w = original;
    EXPECT_EQ(MirrorReflection::Compute(w.data(), g, 4), 1);
}

TEST(ToolSteps, GradientAndMirrorRunAsControllerSteps) {
    ToolDoc d(9, 6, 4);
    const int ct = d.Add(1, "ct_1");
    const int prop = d.Add(2, "prop_1");
    for (int i = 0; i < 9 * 6 * 4; ++i) d.Words(ct)[i] = std::uint16_t((i % 9) * 100);
    GradientSettings s;
    s.output = "prop_1";
    ASSERT_EQ(StartGradientStep(*d.doc, ct, s), 0);
    EXPECT_EQ(d.Words(prop)[4], int(100 / std::sqrt(3.0)));
    const std::string log = d.Log();
    EXPECT_TRUE(Contains(log, "Channel gradient computation...\n")) << log;
    EXPECT_TRUE(Contains(log, "Channel gradient computation completed successfully\n"));
    EXPECT_TRUE(Contains(log, "Channel gradient computation elapsed time = "));
    EXPECT_EQ(d.doc->GetModel().GetState(), kCompleted);
    const std::string& note = d.Sample().GetChan(prop)->note;
    EXPECT_EQ(note.rfind("Channel gradient computation started at: ", 0), 0u);
    EXPECT_TRUE(Contains(note, "Input channel: ct_1\nOutput channel: prop_1\nOptions: 0 0 0 0 0 0 \n"));
    EXPECT_TRUE(
        Contains(note, "External values: (0.000000 0.000000 0.000000 0.000000 0.000000 0.000000 )\n"));
    EXPECT_TRUE(Contains(note, "Channel gradient computation finished at: "));

    // A voxel size too small writes nothing and no "finished" record; the log says why.
    d.doc->GetModel().GetParams().voxelPhysicalSize = {1e-6, 0, 1, 1};
    d.Sample().GetChan(prop)->note.clear();
    std::fill(d.Words(prop), d.Words(prop) + 9 * 6 * 4, 5);
    ASSERT_EQ(StartGradientStep(*d.doc, ct, s), 0);
    EXPECT_EQ(d.Words(prop)[0], 5);
    EXPECT_EQ(d.Sample().GetChan(prop)->note, "");
    EXPECT_TRUE(Contains(d.Log(), "voxel size too small"));
    EXPECT_TRUE(Contains(d.Log(), "Channel gradient computation completed with data error (1)\n"));
    EXPECT_EQ(d.doc->GetModel().GetState(), kStoppedWithError);

    const auto before = d.Copy(ct);
    ASSERT_EQ(StartMirrorStep(*d.doc, {"ct_1"}, 1), 0);
    EXPECT_EQ(d.Words(ct)[0], before[8]);
    EXPECT_TRUE(Contains(d.Log(), "Mirror Reflection computation...\n"));
    EXPECT_TRUE(Contains(d.Log(), "Mirror Reflection computation completed successfully\n"));
    EXPECT_EQ(d.Sample().GetChan(ct)->note.rfind("Mirror Reflection in X-axis completed at: ", 0), 0u);
    StartMirrorStep(*d.doc, {"ct_1"}, 1);
    EXPECT_EQ(d.Copy(ct), before);
}

TEST(ToolSteps, ShortAxisMirrorIsRefusedAndRecorded) {
    ToolDoc d(5, 5, 2);
    const int ct = d.Add(1, "ct_1");
    d.Words(ct)[0] = 9;
    const auto before = d.Copy(ct);
    ASSERT_EQ(StartMirrorStep(*d.doc, {"ct_1"}, 3), 0);
    EXPECT_EQ(d.Copy(ct), before);
    EXPECT_EQ(d.Messages(), std::vector<std::string>{"Internal error: invalid parameter specification"});
    EXPECT_EQ(
        d.Sample().GetChan(ct)->note.rfind("Mirror Reflection in Z-axis ended with error code 1 at: ", 0),
        0u);
}

TEST(ToolSteps, WorkerRunEndsOnTheUiThreadAndAStopWritesNothing) {
    ToolDoc d(9, 6, 4, true);
    const int ct = d.Add(1, "ct_1");
    d.Add(2, "prop_1");
    GradientSettings s;
    s.output = "prop_1";
    int ended = 0;
    ASSERT_EQ(StartGradientStep(*d.doc, ct, s, [&](int r) { ended = r == 0 ? 1 : 2; }), 0);
    EXPECT_EQ(StartMirrorStep(*d.doc, {"ct_1"}, 1), -1) << "one step at a time";
    d.WaitForStep();
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(d.doc->GetModel().GetState(), kCompleted);

    // Stopped before its first progress report: nothing mirrored, nothing recorded.
    const auto before = d.Copy(ct);
    d.Sample().GetChan(ct)->note.clear();
    Model& m = d.doc->GetModel();
    int result = 0;
    // The worker's clock holds it at its start until the stop was asked.
    std::atomic<bool> release{false};
    const auto ui = std::this_thread::get_id();
    m.SetClock([&] {
        while (std::this_thread::get_id() != ui && !release.load()) std::this_thread::yield();
        return std::int64_t(0);
    });
    ASSERT_EQ(StartMirrorStep(*d.doc, {"ct_1"}, 1, [&](int r) { result = r; }), 0);
    m.StopComputation(false);
    release = true;
    d.WaitForStep();
    EXPECT_EQ(result, kUserInterrupt);
    EXPECT_EQ(d.Copy(ct), before);
    EXPECT_EQ(d.Sample().GetChan(ct)->note, "");
    EXPECT_EQ(m.GetState(), kStopped);
}

}  // namespace
}  // namespace zun
