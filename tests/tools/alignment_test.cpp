#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "tooldoc.h"
#include "tools/channelalign.h"

namespace zun {
namespace {

using test::ToolDoc;

// A channel of random words and a copy of it as reference.
struct AlignDoc : ToolDoc {
    int moving, reference;
    AlignDoc(int nx, int ny, int nz) : ToolDoc(nx, ny, nz) {
        moving = Add(1, "ct_a");
        reference = Add(1, "ct_b");
        std::mt19937 rng(7);
        std::uniform_int_distribution<int> d(0, 16383);
        const std::size_t n = Sample().GetNumVoxels();
        for (std::size_t i = 0; i < n; ++i) Words(moving)[i] = Words(reference)[i] = std::uint16_t(d(rng));
        moving = Sample().FindChanIndex("ct_a");
    }
};

TEST(ChannelAlign, SubVoxelShiftsAverageTheNeighbourOnTheFractionSide) {
    const ToolGrid g{6, 3, 3};
    std::vector<std::uint16_t> in(g.Count()), out(g.Count());
    for (int z = 0; z < 3; ++z)
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 6; ++x) in[g.Index(x, y, z)] = std::uint16_t(100 * x + 1);
    // DX = 0.5: ix = 1, fx = -0.5, so target x takes the mean of source columns x - 1 and x.
    TranslateChannel(in.data(), out.data(), g, 0.5f, 0, 0);
    EXPECT_EQ(out[g.Index(0, 1, 1)], 0);
    for (int x = 1; x < 6; ++x)
        EXPECT_EQ(out[g.Index(x, 1, 1)], (100 * (x - 1) + 1 + 100 * x + 1 + 1) / 2) << x;
    // A whole shift of two: the first two columns empty, the rest moved exactly.
    TranslateChannel(in.data(), out.data(), g, 2.0f, 0, 0);
    for (int x = 0; x < 6; ++x) EXPECT_EQ(out[g.Index(x, 2, 0)], x < 2 ? 0 : in[g.Index(x - 2, 2, 0)]);
    const AlignOverlap o = ComputeAlignOverlap(g, 2.0f, 0, 0);
    EXPECT_EQ(o.xlo, 2);
    EXPECT_EQ(o.xhi, 6);
    // Flagged words move and interpolate as whole words.
    in[g.Index(1, 0, 0)] = 0xC000 | 5;
    TranslateChannel(in.data(), out.data(), g, 1.0f, 0, 0);
    EXPECT_EQ(out[g.Index(2, 0, 0)], 0xC005);
}

TEST(ChannelAlign, ApplyStartsFromTheBackupAndCancelRestoresExactly) {
    AlignDoc d(12, 10, 8);
    const auto original = d.Copy(d.moving);
    ChannelAlignModel m(*d.doc, d.moving, d.reference);
    EXPECT_EQ(m.Title(), "Adjust \"ct_a\" channel position to align with \"ct_b\" channel");

    // Identical channels with no translation correlate at 1 and OK stays off.
    m.Edited();
    EXPECT_TRUE(m.ApplyEnabled());
    EXPECT_EQ(m.Apply("0.0", "0.0", "0.0"), "");
    EXPECT_EQ(m.CorrelationText(), "Cross correlation = 1.0000");
    EXPECT_FALSE(m.OkEnabled());
    EXPECT_FALSE(m.ApplyEnabled());

    m.Edited();
    ASSERT_EQ(m.Apply("1", "0", "0"), "");
    const auto once = d.Copy(d.moving);
    EXPECT_TRUE(m.OkEnabled());
    m.Edited();
    ASSERT_EQ(m.Apply("1", "x", ""), "");  // texts that are no number read 0
    EXPECT_EQ(d.Copy(d.moving), once) << "a second Apply of the same shift must not move further";

    EXPECT_EQ(m.Apply("11.5", "0", "0"), "Sample too small. Nx = 12, Ny = 10, Nz = 8");
    EXPECT_EQ(d.Copy(d.moving), once);
    // Shifts far beyond the grid leave no overlap; shifts that are no finite number are refused
    // before anything moves, and the last applied shift stays the one OK records.
    for (const char* far : {"1e10", "-3e9", "3e38"})
        EXPECT_EQ(m.Apply("0", far, "0"), "Sample too small. Nx = 12, Ny = 10, Nz = 8") << far;
    const float shift[3] = {m.DX(), m.DY(), m.DZ()};
    for (const char* nonFinite : {"nan", "inf", "-inf", "1e39"}) {
        m.Edited();
        EXPECT_EQ(m.Apply("0", "0", nonFinite), "Value must be a real number") << nonFinite;
        EXPECT_EQ(m.Apply(nonFinite, "1", "1"), "Value must be a real number") << nonFinite;
        EXPECT_EQ(d.Copy(d.moving), once) << nonFinite;
        EXPECT_EQ(m.DX(), shift[0]);
        EXPECT_EQ(m.DY(), shift[1]);
        EXPECT_EQ(m.DZ(), shift[2]);
    }

    // While a run or a tool step works on the document, nothing is moved or put back.
    for (const int state : {kRunning, kStopping}) {
        d.doc->GetModel().SetState(state, true, "running");
        m.Edited();
        EXPECT_EQ(m.Apply("2", "0", "0"), "Computation in progress.");
        EXPECT_EQ(d.Copy(d.moving), once);
        EXPECT_FALSE(m.Cancel());
        EXPECT_EQ(d.Copy(d.moving), once);
    }
    d.doc->GetModel().SetState(kStopped, true, "stopped");

    EXPECT_TRUE(m.Cancel());
    EXPECT_EQ(d.Copy(d.moving), original);
    EXPECT_EQ(d.Sample().GetChan(d.moving)->note, "");
}

TEST(ChannelAlign, OkRecordsTheTranslationAsANewSection) {
    AlignDoc d(8, 8, 8);
    d.Sample().GetChan(d.moving)->note = "older<#@#>";
    ChannelAlignModel m(*d.doc, d.moving, d.reference);
    ASSERT_EQ(m.Apply("0.5", "-1.25", "2"), "");
    m.Ok();
    const std::string& note = d.Sample().GetChan(d.moving)->note;
    EXPECT_EQ(note.rfind("older<#@#>Channel translation (0.5, -1.2, 2.0). ", 0), 0u) << note;
    EXPECT_EQ(note.substr(note.size() - 6), "\n<#@#>");
}

TEST(ChannelAlign, CorrelationMatchesNumpyOverTheOverlap) {
    AlignDoc d(16, 12, 10);
    // The reference differs from the moving channel by noise and a trend.
    std::mt19937 rng(3);
    std::normal_distribution<double> noise(0, 900);
    const ToolGrid g{16, 12, 10};
    for (std::int64_t i = 0; i < g.Count(); ++i)
        d.Words(d.reference)[i] =
            std::uint16_t(std::clamp(d.Words(d.moving)[i] * 0.5 + 3 * i % 97 + noise(rng), 0.0, 16383.0));
    ChannelAlignModel m(*d.doc, d.moving, d.reference);
    ASSERT_EQ(m.Apply("1.5", "-2", "0.25"), "");
    const AlignOverlap o = ComputeAlignOverlap(g, 1.5f, -2, 0.25f);
    std::vector<std::uint16_t> a, b;
    for (int z = o.zlo; z < o.zhi; ++z)
        for (int y = o.ylo; y < o.yhi; ++y)
            for (int x = o.xlo; x < o.xhi; ++x) {
                a.push_back(d.Words(d.moving)[g.Index(x, y, z)]);
                b.push_back(d.Words(d.reference)[g.Index(x, y, z)]);
            }
    const std::string pa = test::TempPath("align_a.raw"), pb = test::TempPath("align_b.raw"),
                      pr = test::TempPath("align_r.raw");
    test::WriteRaw(pa, a);
    test::WriteRaw(pb, b);
    ASSERT_EQ(test::RunPython("corrcoef " + pa + " " + pb + " " + pr), 0);
    const auto r = test::ReadRaw<double>(pr, 1);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_NEAR(m.Correlation(), r[0], 1e-12);
    EXPECT_EQ(m.CorrelationText(), ToolFormat("Cross correlation = %.4f", r[0]));

    // A constant channel has no correlation.
    std::fill(d.Words(d.reference), d.Words(d.reference) + g.Count(), 77);
    ASSERT_EQ(m.Apply("0", "0", "0"), "");
    EXPECT_EQ(m.CorrelationText(), "Cross correlation undefined");
    EXPECT_EQ(m.Correlation(), -100);
}

}  // namespace
}  // namespace zun
