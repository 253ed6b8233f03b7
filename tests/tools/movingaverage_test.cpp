#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "compute/exitrequested.h"
#include "tooldoc.h"
#include "tools/movingaverage.h"
#include "tools/movingaveragemodel.h"

namespace zun {
namespace {

using test::ToolDoc;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// 14-bit words as the write-back makes them, with the range 0..max.
int Raw(float v, float max) {
    return std::clamp(static_cast<int>(static_cast<float>(v / max) * 16383.0f), 0, 16383);
}

TEST(MovingTemplate, RadiusAndBoxRules) {
    const MovingTemplate e = MovingTemplate::Make(kEllipsoid, {1.5f, 1.5f, 1.5f});
    EXPECT_EQ(e.hx, 2);
    EXPECT_TRUE(e.At(0, 0, 0));
    EXPECT_TRUE(e.At(1, 1, 0));   // 0.89
    EXPECT_FALSE(e.At(1, 1, 1));  // 1.33
    EXPECT_FALSE(e.At(2, 0, 0));  // 1.78
    int count = 0;
    for (auto b : e.mask) count += b;
    EXPECT_EQ(count, 19);
    const MovingTemplate b10 = MovingTemplate::Make(kCubic, {10, 5, 4});
    EXPECT_EQ(b10.Width(), 11);
    EXPECT_EQ(b10.hy, 3);  // edge 5 gives the 7-voxel box
    EXPECT_EQ(b10.hz, 2);
    EXPECT_TRUE(b10.Full());
}

// Random non-negative data in a sphere-shaped mask.
struct Volume {
    ToolGrid g;
    std::vector<float> values;
    std::vector<std::uint8_t> inside;
    Volume(int n, unsigned seed, bool masked) : g{n, n, n} {
        std::mt19937 rng(seed);
        std::uniform_real_distribution<float> d(0.5f, 2.0f);
        values.resize(static_cast<std::size_t>(g.Count()));
        inside.assign(values.size(), 1);
        for (int z = 0; z < n; ++z)
            for (int y = 0; y < n; ++y)
                for (int x = 0; x < n; ++x) {
                    const std::size_t i = static_cast<std::size_t>(g.Index(x, y, z));
                    values[i] = d(rng);
                    const float r = std::hypot(x - n / 2.0f, y - n / 2.0f, z - n / 2.0f);
                    if (masked) inside[i] = r < n * 0.45f;
                }
        // A patch of zeros makes defective voxels.
        for (int z = n / 2 - 6; z < n / 2 + 6; ++z)
            for (int y = n / 2 - 6; y < n / 2 + 6; ++y)
                for (int x = n / 2 - 6; x < n / 2 + 6; ++x)
                    values[static_cast<std::size_t>(g.Index(x, y, z))] = 0;
    }
};

TEST(MovingVolumeAverage, FastFormEqualsTheDirectFormWithinOneRawUnit) {
    for (int geometry : {kEllipsoid, kCubic}) {
        const std::array<float, 3> dims =
            geometry == kEllipsoid ? std::array<float, 3>{3.2f, 2.5f, 4.0f} : std::array<float, 3>{5, 7, 3};
        const MovingTemplate t = MovingTemplate::Make(geometry, dims);
        Volume v(40, 3, true);
        MovingPassSettings s;
        s.expected = 1.25f;
        s.keepOutside = false;
        s.setValue = 0.5;
        s.iterations = 2;
        auto fast = v.values, direct = v.values;
        MovingReport rf, rd;
        MovingVolumeAverage(fast, v.inside, v.g, t, s, rf);
        s.direct = true;
        MovingVolumeAverage(direct, v.inside, v.g, t, s, rd);
        EXPECT_EQ(rf.averaged, rd.averaged);
        EXPECT_EQ(rf.defective, rd.defective);
        EXPECT_GT(rd.defective, 1);
        EXPECT_EQ(rf.messages, rd.messages);
        int worst = 0;
        for (std::size_t i = 0; i < fast.size(); ++i)
            worst = std::max(worst, std::abs(Raw(fast[i], 4) - Raw(direct[i], 4)));
        EXPECT_LE(worst, 1) << "geometry " << geometry;
        EXPECT_EQ(fast[0], 0.5f);  // outside the mask: the set value
    }
}

TEST(MovingVolumeAverage, OnePassEqualsScipyUniformFilterAwayFromFaces) {
    const int n = 24;
    Volume v(n, 9, false);
    for (auto& f : v.values) f += 1.0f;  // the zero patch no longer counts
    const std::string pin = test::TempPath("mva_in.raw"), pout = test::TempPath("mva_out.raw");
    test::WriteRaw(pin, v.values);
    ASSERT_EQ(test::RunPython("uniform " + pin + " " + pout + ToolFormat(" %d %d %d 7", n, n, n)), 0);
    const auto means = test::ReadRaw<double>(pout, v.values.size());
    ASSERT_EQ(means.size(), v.values.size());
    auto out = v.values;
    MovingPassSettings s;
    s.expected = 3.0f;
    MovingReport r;
    MovingVolumeAverage(out, v.inside, v.g, MovingTemplate::Make(kCubic, {6, 6, 6}), s, r);
    for (int z = 3; z < n - 3; ++z)
        for (int y = 3; y < n - 3; ++y)
            for (int x = 3; x < n - 3; ++x) {
                const std::size_t i = static_cast<std::size_t>(v.g.Index(x, y, z));
                ASSERT_NEAR(out[i], v.values[i] * 3.0 / means[i], 2e-6 * out[i]) << x << " " << y << " " << z;
            }
    // At a face the window is cut, not padded: the corner averages its 4^3 neighbours.
    double sum = 0;
    for (int z = 0; z < 4; ++z)
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 4; ++x) sum += v.values[static_cast<std::size_t>(v.g.Index(x, y, z))];
    EXPECT_NEAR(out[0], v.values[0] * 3.0 / (sum / 64), 1e-5);
}

TEST(SliceAverage, WholeSliceRegionGivesMeanEAndBadSlicesStop) {
    const ToolGrid g{5, 4, 3};
    std::vector<float> values(static_cast<std::size_t>(g.Count()));
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = 1.0f + float(i % 7);
    for (int geometry : {kSliceXY, kSliceYZ, kSliceZX}) {
        auto v = values;
        const int na = geometry == kSliceXY ? 5 : (geometry == kSliceYZ ? 4 : 3);
        const int nb = geometry == kSliceXY ? 4 : (geometry == kSliceYZ ? 3 : 5);
        int failed = -1;
        ASSERT_EQ(SliceAverage(v, g, geometry, {0, na, 0, nb}, 2.0f, failed), 0);
        const int slices = geometry == kSliceXY ? 3 : (geometry == kSliceYZ ? 5 : 4);
        for (int k = 0; k < slices; ++k) {
            double sum = 0;
            for (int a = 0; a < na; ++a)
                for (int b = 0; b < nb; ++b) {
                    const int x = geometry == kSliceXY ? a : (geometry == kSliceYZ ? k : b);
                    const int y = geometry == kSliceXY ? b : (geometry == kSliceYZ ? a : k);
                    const int z = geometry == kSliceXY ? k : (geometry == kSliceYZ ? b : a);
                    sum += v[static_cast<std::size_t>(g.Index(x, y, z))];
                }
            EXPECT_NEAR(sum / (na * nb), 2.0, 1e-5) << geometry << " slice " << k;
        }
    }
    // A zero slice stops the run at that slice and reports it.
    auto v = values;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 5; ++x) v[static_cast<std::size_t>(g.Index(x, y, 1))] = 0;
    int failed = -1;
    EXPECT_EQ(SliceAverage(v, g, kSliceXY, {0, 5, 0, 4}, 2.0f, failed), 5);
    EXPECT_EQ(failed, 1);
    std::vector<float> work(4, 1.0f);
    EXPECT_EQ(NormalizeSlice(work.data(), 1, 2, 1.0f, 2, 0, 1, 2), 3);
}

struct MvaDoc : ToolDoc {
    int ct, out, bound;
    MvaDoc() : ToolDoc(12, 10, 8) {
        ct = Add(1, "ct_1", 0, 4);
        out = Add(2, "prop_1", -3, 3);
        bound = Add(3, "bound_1");
        ct = Sample().FindChanIndex("ct_1");
        out = Sample().FindChanIndex("prop_1");
        std::mt19937 rng(2);
        std::uniform_int_distribution<int> d(4000, 12000);
        for (std::size_t i = 0; i < Sample().GetNumVoxels(); ++i) {
            Words(ct)[i] = std::uint16_t(d(rng) | (i % 5 == 0 ? 0x4000 : 0));
            Words(bound)[i] = i % 3 ? 16383 : 0;
        }
    }
};

TEST(MovingAverageModel, ChecksBeforeTheRun) {
    MvaDoc d;
    MovingAverageModel m(*d.doc, d.ct);
    EXPECT_EQ(m.ExpectedText(), "2");
    EXPECT_EQ(m.BoundaryEntries(), (std::vector<std::string>{"bound_1", "<None selected>"}));
    EXPECT_EQ(m.DimensionTexts(), (std::vector<std::string>{"5", "5", "5"}));
    EXPECT_EQ(m.Execute("-1e-9", "1"), "Invalid parameters. Computation aborted");
    EXPECT_EQ(m.Execute("0", "0"), "Invalid parameters. Computation aborted");
    EXPECT_EQ(m.Execute("x", "1"), "Invalid parameters. Computation aborted");
    EXPECT_TRUE(m.SetDimensionText(1, "1.0"));
    EXPECT_EQ(m.Execute("-1e-10", "1"),
              "Moving-volume or reference slice region too small. Computation aborted");
    EXPECT_FALSE(m.SetDimensionText(1, "abc"));
    m.SetGeometry(kSliceYZ);
    EXPECT_EQ(m.DimensionLabel(), "Ref region (y0, z0, y1, z1; voxels)");
    EXPECT_EQ(m.DimensionTexts(), (std::vector<std::string>{"0", "0", "10", "8"}));
    EXPECT_TRUE(m.SetDimensionText(3, "9"));  // z1 beyond the slice
    EXPECT_EQ(m.Execute("0", "1"), "Moving-volume or reference slice region too small. Computation aborted");
    EXPECT_TRUE(m.SetDimensionText(3, "8"));
    EXPECT_TRUE(m.SetExpectedText("1e-31"));
    EXPECT_EQ(m.Execute("0", "1"), "Expected channel value amplitude too small. Computation aborted");
    EXPECT_FALSE(Contains(d.Log(), "Moving-volume average computation")) << "no run was started";
}

TEST(MovingAverageModel, RunWritesTheOutputWithItsRecordAndKeepsFlags) {
    MvaDoc d;
    d.Sample().GetChan(d.ct)->note = "imported<#@#>";
    d.Words(d.out)[3] = 0x8000;
    MovingAverageModel m(*d.doc, d.ct);
    m.SetOutput(d.out);
    m.SetGeometry(kCubic);
    m.SetAuto(true);
    int result = -1;
    ASSERT_EQ(m.Execute("0", "2", [&](int r) { result = r; }), "");
    EXPECT_EQ(result, 0);
    // The output takes the input's range; its flags stay.
    EXPECT_EQ(d.Sample().GetChan(d.out)->range, (std::vector<float>{0, 4}));
    EXPECT_EQ(d.Words(d.out)[3] & 0xC000, 0x8000);
    EXPECT_EQ(d.Words(d.out)[0] & 0x3FFF, d.Words(d.ct)[0] & 0x3FFF) << "outside keeps its input value";
    const std::string& note = d.Sample().GetChan(d.out)->note;
    EXPECT_EQ(note.rfind("Moving-volume average computation of channel 1 (ct_1) started at: ", 0), 0u)
        << note;
    EXPECT_TRUE(Contains(note, "Input channel: ct_1\nOutput channel: prop_1\nBoundary channel: bound_1\n"));
    EXPECT_TRUE(Contains(note, "Auto-computed channel value expectation value: "));
    EXPECT_TRUE(Contains(
        note, "Moving-volume geometry: Cubic\nLength in x, y, z directions (voxels): (10, 10, 10)\n"));
    EXPECT_TRUE(Contains(note, "Moving-volume-average computation iterations 2 finished at: "));
    EXPECT_TRUE(Contains(d.Log(), "Moving-volume average computation completed successfully\n"));

    // Output = input appends to the channel's own note; a manual E is quoted as typed.
    MovingAverageModel same(*d.doc, d.ct);
    same.SetBoundarySelection(1);  // <None selected>
    ASSERT_TRUE(same.SetExpectedText("2.5"));
    ASSERT_EQ(same.Execute("0", "1"), "");
    const std::string& own = d.Sample().GetChan(d.ct)->note;
    EXPECT_EQ(own.rfind("imported<#@#>\nMoving-volume average computation of this channel started at: ", 0),
              0u)
        << own;
    EXPECT_TRUE(Contains(own, "Use manual input channel expectation value of 2.5.\n"));
    EXPECT_FALSE(Contains(own, "Boundary channel"));
}

TEST(MovingAverageModel, SampleAverageAndSliceFailureWriteNothing) {
    MvaDoc d;
    MovingAverageModel m(*d.doc, d.ct);
    double direct = 0;
    int count = 0;
    for (std::size_t i = 0; i < d.Sample().GetNumVoxels(); ++i)
        if (d.Words(d.bound)[i]) {
            direct += 4.0 * (d.Words(d.ct)[i] & 0x3FFF) / 16383.0;
            ++count;
        }
    EXPECT_EQ(m.ComputeAverage(), "");
    EXPECT_NEAR(m.Expected(), direct / count, 1e-5);
    std::fill(d.Words(d.bound), d.Words(d.bound) + d.Sample().GetNumVoxels(), 0);
    EXPECT_EQ(m.ComputeAverage(), "Empty computational region. Sample average unaltered.");

    // A slice whose reference region is all zero: nothing written, no record, a message.
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) d.Words(d.ct)[(2 * 10 + y) * 12 + x] = 0;
    const auto before = d.Copy(d.ct);
    m.SetGeometry(kSliceXY);
    ASSERT_EQ(m.Execute("0", "1"), "");
    EXPECT_EQ(d.Copy(d.ct), before);
    EXPECT_EQ(d.Sample().GetChan(d.ct)->note, "");
    const auto msgs = d.Messages();
    ASSERT_FALSE(msgs.empty());
    EXPECT_TRUE(Contains(msgs.back(), "Slice 2: reference region")) << msgs.back();
}

TEST(MovingAverageModel, StopLeavesTheChannelUnchanged) {
    ToolDoc d(40, 40, 40, true);
    const int ct = d.Add(1, "ct_1", 0, 4);
    for (std::size_t i = 0; i < d.Sample().GetNumVoxels(); ++i)
        d.Words(ct)[i] = std::uint16_t(5000 + i % 4000);
    const auto before = d.Copy(ct);
    MovingAverageModel m(*d.doc, ct);
    m.SetDirect(true);  // slow enough to be stopped
    int result = 0;
    ASSERT_EQ(m.Execute("0", "3", [&](int r) { result = r; }), "");
    d.doc->GetModel().StopComputation(false);
    d.WaitForStep();
    EXPECT_EQ(result, kUserInterrupt);
    EXPECT_EQ(d.Copy(ct), before);
    EXPECT_EQ(d.Sample().GetChan(ct)->note, "");
    EXPECT_EQ(d.doc->GetModel().GetState(), kStopped);
}

}  // namespace
}  // namespace zun
