#include <gtest/gtest.h>

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

TEST(Redistribute, ExcessGoesToTheNearestShellAndTheTotalStays) {
    const ToolGrid g{7, 7, 7};
    std::vector<float> v(static_cast<std::size_t>(g.Count()), 1.0f);
    std::vector<std::uint8_t> inside(v.size(), 1);
    // 0.3 above the bound at the centre; six corner neighbours 0.1 below it; the other two
    // corners sit at the bound.
    const float B = 1.0f;
    v[static_cast<std::size_t>(g.Index(3, 3, 3))] = 1.3f;
    const int corners[8][3] = {{-1, -1, -1}, {1, -1, -1}, {-1, 1, -1}, {1, 1, -1},
                               {-1, -1, 1},  {1, -1, 1},  {-1, 1, 1},  {1, 1, 1}};
    for (int k = 0; k < 6; ++k)
        v[static_cast<std::size_t>(g.Index(3 + corners[k][0], 3 + corners[k][1], 3 + corners[k][2]))] = 0.9f;
    const double before = Total(v);
    RedistributeShells shells(2);
    std::string msg;
    ASSERT_EQ(Redistribute(3, 3, 3, shells, +1, B, inside, v, g, msg), 0) << msg;
    EXPECT_NEAR(v[static_cast<std::size_t>(g.Index(3, 3, 3))], 1.0f, 1e-6);
    for (int k = 0; k < 6; ++k)
        EXPECT_NEAR(
            v[static_cast<std::size_t>(g.Index(3 + corners[k][0], 3 + corners[k][1], 3 + corners[k][2]))],
            0.95f, 1e-6);
    EXPECT_NEAR(Total(v), before, 1e-5);

    // The axis planes through the voxel neither give nor receive: capacity only there keeps the
    // value.
    std::fill(v.begin(), v.end(), 1.0f);
    v[static_cast<std::size_t>(g.Index(3, 3, 3))] = 1.3f;
    v[static_cast<std::size_t>(g.Index(4, 3, 3))] = 0.5f;
    ASSERT_EQ(Redistribute(3, 3, 3, shells, +1, B, inside, v, g, msg), 0);
    EXPECT_FLOAT_EQ(v[static_cast<std::size_t>(g.Index(3, 3, 3))], 1.3f);
    // Partial capacity: the voxel moves by the whole capacity, the neighbour ends at the bound.
    v[static_cast<std::size_t>(g.Index(4, 4, 4))] = 0.9f;
    ASSERT_EQ(Redistribute(3, 3, 3, shells, +1, B, inside, v, g, msg), 0);
    EXPECT_NEAR(v[static_cast<std::size_t>(g.Index(3, 3, 3))], 1.2f, 1e-6);
    EXPECT_NEAR(v[static_cast<std::size_t>(g.Index(4, 4, 4))], 1.0f, 1e-6);
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
        if (!inside[i]) EXPECT_EQ(r[i], v[i]);
        beyond += inside[i] && (r[i] > 9.0f + 1e-4f || r[i] < 1.0f - 1e-4f);
    }
    EXPECT_LT(beyond, 5);

    // Radius 0 has no candidates; a negative radius is refused like one too large.
    NormaliseSettings none{0, 5.0f, 5, 0.0f, kNormaliseNothing, kNormaliseRedistribute};
    auto n = v;
    ASSERT_EQ(NormaliseValues(n, inside, g, none, msg), 0);
    EXPECT_EQ(n, v);
    none.upperRadius = -1;
    EXPECT_EQ(NormaliseValues(n, inside, g, none, msg), 2);
    EXPECT_EQ(msg, "Upper-bound redistribution radius too large. Computation aborted");
    none = {0, 5.0f, 1e6f, 1, kNormaliseRedistribute, kNormaliseNothing};
    EXPECT_EQ(NormaliseValues(n, inside, g, none, msg), 2);
    EXPECT_EQ(msg, "Lower-bound redistribution radius too large. Computation aborted");
    EXPECT_EQ(RedistributeShells(static_cast<int>(std::floor(4.95 + 0.1))).R(), 5);
    int rows = 0;
    EXPECT_EQ(NormaliseValues(n, inside, g, red, msg, [&] { return ++rows > 3; }), 1);
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
