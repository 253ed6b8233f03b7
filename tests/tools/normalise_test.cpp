#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

#include "compute/exitrequested.h"
#include "tooldoc.h"
#include "tools/normalisemodel.h"
#include "tools/normaliserange.h"

namespace zun {
namespace {

using test::ToolDoc;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

double Total(const std::vector<float>& v) {
    return std::accumulate(v.begin(), v.end(), 0.0);
}

float& At(std::vector<float>& v, const ToolGrid& g, int x, int y, int z) {
    return v[static_cast<std::size_t>(g.Index(x, y, z))];
}

TEST(Redistribute, ExcessGoesToTheNearestShellAndTheTotalStays) {
    const ToolGrid g{7, 7, 7};
    std::vector<float> v(static_cast<std::size_t>(g.Count()), 1.0f);
    std::vector<std::uint8_t> inside(v.size(), 1);
    const float B = 1.0f;
    std::string msg;
    // Radius 1: a voxel 0.3 above the bound, its six face neighbours 0.1 below it (capacity 0.6):
    // each takes 0.05 and the voxel ends at the bound.
    const int faces[6][3] = {{-1, 0, 0}, {1, 0, 0}, {0, -1, 0}, {0, 1, 0}, {0, 0, -1}, {0, 0, 1}};
    At(v, g, 3, 3, 3) = 1.3f;
    for (auto& f : faces) At(v, g, 3 + f[0], 3 + f[1], 3 + f[2]) = 0.9f;
    At(v, g, 4, 4, 3) = 0.5f;  // an edge neighbour, beyond radius 1
    double before = Total(v);
    RedistributeShells one(1);
    ASSERT_EQ(Redistribute(3, 3, 3, one, +1, B, inside, v, g, msg), 0) << msg;
    EXPECT_NEAR(At(v, g, 3, 3, 3), 1.0f, 1e-6);
    for (auto& f : faces) EXPECT_NEAR(At(v, g, 3 + f[0], 3 + f[1], 3 + f[2]), 0.95f, 1e-6);
    EXPECT_EQ(At(v, g, 4, 4, 3), 0.5f);
    EXPECT_NEAR(Total(v), before, 1e-5);

    // Radius 2: the face shell (0.1) is used whole, the edge shell (0.4) for the remaining 0.2,
    // in proportion; the corner shell is not reached.
    std::fill(v.begin(), v.end(), 1.0f);
    At(v, g, 3, 3, 3) = 1.3f;
    At(v, g, 3, 3, 2) = 0.9f;  // squared distance 1
    At(v, g, 4, 4, 3) = 0.8f;  // 2
    At(v, g, 2, 3, 4) = 0.8f;  // 2
    At(v, g, 4, 4, 4) = 0.0f;  // 3
    before = Total(v);
    RedistributeShells two(2);
    ASSERT_EQ(Redistribute(3, 3, 3, two, +1, B, inside, v, g, msg), 0) << msg;
    EXPECT_NEAR(At(v, g, 3, 3, 3), 1.0f, 1e-6);
    EXPECT_NEAR(At(v, g, 3, 3, 2), 1.0f, 1e-6);
    EXPECT_NEAR(At(v, g, 4, 4, 3), 0.9f, 1e-6);
    EXPECT_NEAR(At(v, g, 2, 3, 4), 0.9f, 1e-6);
    EXPECT_EQ(At(v, g, 4, 4, 4), 0.0f);
    EXPECT_NEAR(Total(v), before, 1e-5);

    // Partial capacity: the voxel moves by the whole capacity, the neighbour ends at the bound;
    // a neighbour outside the mask neither gives nor takes.
    std::fill(v.begin(), v.end(), 1.0f);
    At(v, g, 3, 3, 3) = 1.3f;
    At(v, g, 3, 4, 3) = 0.9f;
    At(v, g, 3, 2, 3) = 0.0f;
    inside[static_cast<std::size_t>(g.Index(3, 2, 3))] = 0;
    ASSERT_EQ(Redistribute(3, 3, 3, one, +1, B, inside, v, g, msg), 0);
    EXPECT_NEAR(At(v, g, 3, 3, 3), 1.2f, 1e-6);
    EXPECT_NEAR(At(v, g, 3, 4, 3), 1.0f, 1e-6);
    EXPECT_EQ(At(v, g, 3, 2, 3), 0.0f);
}

// Both sides redistributed over a random channel, against an independent implementation of the
// definition (tests/tools/toolpeers.py).
TEST(NormaliseValues, RedistributionMatchesTheReference) {
    const ToolGrid g{16, 14, 10};
    std::mt19937 rng(60);
    std::uniform_real_distribution<float> d(0.0f, 1.0f);
    std::vector<float> v(static_cast<std::size_t>(g.Count()));
    for (auto& f : v) f = d(rng);
    const std::vector<std::uint8_t> inside(v.size(), 1);
    auto beyond = [](const std::vector<float>& w) {
        return std::count_if(w.begin(), w.end(),
                             [](float f) { return f < 0.2f - 1e-5f || f > 0.8f + 1e-5f; });
    };
    // 0.9 and 1.9 as typed reach the next whole radius, though 0.9f + 0.1 stays below 1.
    for (float radius : {1.0f, 0.95f, 2.5f, 0.9f, 1.9f}) {
        SCOPED_TRACE(radius);
        NormaliseSettings s{0.2f, 0.8f, radius, radius, kNormaliseRedistribute, kNormaliseRedistribute};
        std::vector<float> r = v;
        std::string msg;
        ASSERT_EQ(NormaliseValues(r, inside, g, s, msg), 0) << msg;
        const std::string in = test::TempPath("normalise_in.f32"), out = test::TempPath("normalise_out.f32");
        test::WriteRaw(in, v);
        ASSERT_EQ(test::RunPython("redistribute " + in + " " + out +
                                  ToolFormat(" %d %d %d 0.2 0.8 %g %g", g.nx, g.ny, g.nz, radius, radius)),
                  0);
        const std::vector<float> want = test::ReadRaw<float>(out, v.size());
        ASSERT_EQ(want.size(), v.size());
        for (std::size_t i = 0; i < v.size(); ++i) ASSERT_NEAR(r[i], want[i], 1e-5) << "voxel " << i;
        EXPECT_NEAR(Total(r), Total(v), 1e-3);
        EXPECT_LT(beyond(r), beyond(v) / 2);
    }
}

TEST(NormaliseValues, ClipRadiusRulesAndConservation) {
    const ToolGrid g{12, 10, 9};
    std::mt19937 rng(4);
    std::uniform_real_distribution<float> d(0.0f, 10.0f);
    std::vector<float> v(static_cast<std::size_t>(g.Count()));
    for (auto& f : v) f = d(rng);
    std::vector<std::uint8_t> inside(v.size(), 1);
    for (std::size_t i = 0; i < v.size(); i += 4) inside[i] = 0;
    std::string msg;

    NormaliseSettings clip{2.0f, 8.0f, 5, 5, kNormaliseClip, kNormaliseClip};
    auto c = v;
    ASSERT_EQ(NormaliseValues(c, inside, g, clip, msg), 0);
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (inside[i]) {
            EXPECT_GE(c[i], 2.0f);
            EXPECT_LE(c[i], 8.0f);
        } else {
            EXPECT_EQ(c[i], v[i]);
        }
    }

    // Redistribution of both sides conserves the total of the masked voxels.
    NormaliseSettings red{1.0f, 9.0f, 2.95f, 3, kNormaliseRedistribute, kNormaliseRedistribute};
    auto r = v;
    ASSERT_EQ(NormaliseValues(r, inside, g, red, msg), 0) << msg;
    EXPECT_NEAR(Total(r), Total(v), 1e-3);
    int beyond = 0;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (!inside[i]) {
            EXPECT_EQ(r[i], v[i]);
        }
        beyond += inside[i] && (r[i] > 9.0f + 1e-4f || r[i] < 1.0f - 1e-4f);
    }
    EXPECT_LT(beyond, 5);

    // A redistributing side whose radius reaches no neighbour is refused, and so is one whose
    // distance table could not be held; a side that does not redistribute is not checked.
    const struct {
        float lowerRadius, upperRadius;
        const char* message;
    } refusals[] = {
        {5, 0.0f, normmsg::kUpperTooSmall},          {5, 0.85f, normmsg::kUpperTooSmall},
        {0.89999f, 5, normmsg::kLowerTooSmall},      {5, -1.0f, normmsg::kUpperTooSmall},
        {std::nanf(""), 5, normmsg::kLowerTooSmall}, {1e6f, 1, normmsg::kLowerTooLarge},
        {5, INFINITY, normmsg::kUpperTooLarge},      {1e30f, -3.0f, normmsg::kLowerTooLarge},
    };
    for (const auto& k : refusals) {
        NormaliseSettings s{
            0, 5.0f, k.lowerRadius, k.upperRadius, kNormaliseRedistribute, kNormaliseRedistribute};
        auto n = v;
        msg.clear();
        EXPECT_EQ(CheckNormaliseSettings(s), k.message) << k.lowerRadius << " " << k.upperRadius;
        EXPECT_EQ(NormaliseValues(n, inside, g, s, msg), 2);
        EXPECT_EQ(msg, k.message);
        EXPECT_EQ(n, v);
        s.lowerMode = s.upperMode = kNormaliseClip;
        EXPECT_EQ(CheckNormaliseSettings(s), "");
    }
    EXPECT_EQ(RedistributeShells(static_cast<int>(std::floor(4.95 + 0.1))).R(), 5);
    int rows = 0;
    EXPECT_EQ(NormaliseValues(r, inside, g, red, msg, [&] { return ++rows > 3; }), 1);
}

struct NormDoc : ToolDoc {
    int ct;
    explicit NormDoc(bool worker, int n = 10) : ToolDoc(n, n, n, worker) {
        ct = Add(1, "ct_1", 0, 10);
        for (std::size_t i = 0; i < Sample().GetNumVoxels(); ++i)
            Words(ct)[i] = std::uint16_t((i * 7919) % 16384 | (i % 11 == 0 ? 0x4000 : 0));
    }
};

TEST(NormaliseModel, DefaultRunOnlyQuantisesAndRecords) {
    NormDoc d(false);
    d.Sample().GetChan(d.ct)->note = "old<#@#>";
    const auto before = d.Copy(d.ct);
    NormaliseModel m(*d.doc, d.ct);
    EXPECT_EQ(m.BoundText(0), "Not applicable");
    EXPECT_EQ(m.BoundText(1), "10");
    EXPECT_EQ(m.RadiusText(1), "5");
    EXPECT_FALSE(m.SetBoundText(0, "3"));
    EXPECT_FALSE(m.SetRadiusText(1, "abc"));
    EXPECT_EQ(m.CloseButtonText(), "Cancel");
    ASSERT_EQ(m.Execute(), "");
    EXPECT_TRUE(m.Completed());
    EXPECT_EQ(m.CloseButtonText(), "Close");
    int moved = 0;
    for (std::size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(d.Words(d.ct)[i] & 0xC000, before[i] & 0xC000);
        moved = std::max(moved, std::abs((d.Words(d.ct)[i] & 0x3FFF) - (before[i] & 0x3FFF)));
    }
    EXPECT_LE(moved, 1);
    const std::string& note = d.Sample().GetChan(d.ct)->note;
    EXPECT_EQ(
        note.rfind("old<#@#>\nNormalize channel value range computation of this channel started at: ", 0),
        0u);
    EXPECT_TRUE(Contains(note,
                         "Lower bound voxel value: Not applicable\nLower bound redistribute: No\n"
                         "Lower bound clip: No\nLower bound do nothing: Yes\n"));
    EXPECT_TRUE(Contains(note, "Upper-bound redistribution radius: 5\n"));
    EXPECT_TRUE(Contains(note, "Normalize channel value range computation finished at: "));
    EXPECT_TRUE(Contains(d.Log(), "Normalize channel value range computation completed successfully\n"));
}

TEST(NormaliseModel, ARadiusThatReachesNoNeighbourIsRefusedBeforeTheRun) {
    NormDoc d(true);
    const auto before = d.Copy(d.ct);
    NormaliseModel m(*d.doc, d.ct);
    ASSERT_TRUE(m.SetRadiusText(1, "0.5"));
    bool ended = false;
    EXPECT_EQ(m.Execute([&](int) { ended = true; }), normmsg::kUpperTooSmall);
    EXPECT_FALSE(m.Running());
    EXPECT_FALSE(m.Completed());
    d.frame->Pump();
    EXPECT_FALSE(ended);
    EXPECT_EQ(d.Copy(d.ct), before);
    EXPECT_EQ(d.Sample().GetChan(d.ct)->note, "");
}

TEST(NormaliseModel, StopLeavesTheChannelAndClosingTheDocumentIsSafe) {
    NormDoc d(true, 48);
    const auto before = d.Copy(d.ct);
    auto m = std::make_unique<NormaliseModel>(*d.doc, d.ct);
    m->SetMode(0, kNormaliseRedistribute);
    ASSERT_TRUE(m->SetBoundText(0, "6"));
    int result = 0;
    ASSERT_EQ(m->Execute([&](int r) { result = r; }), "");
    EXPECT_TRUE(m->Running());
    EXPECT_EQ(m->CloseButtonText(), "Stop");
    m->Stop();
    d.WaitForStep();
    EXPECT_EQ(result, kUserInterrupt);
    EXPECT_FALSE(m->Running());
    EXPECT_FALSE(m->Completed());
    EXPECT_EQ(d.Copy(d.ct), before);
    EXPECT_EQ(d.Sample().GetChan(d.ct)->note, "");

    // The presenter (the dialog) and then the document go away during a run.
    bool called = false;
    ASSERT_EQ(m->Execute([&](int) { called = true; }), "");
    m.reset();
    d.doc.reset();
    d.frame->Pump();
    EXPECT_FALSE(called);
}

}  // namespace
}  // namespace zun
