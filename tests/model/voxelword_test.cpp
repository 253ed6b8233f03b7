#include "model/voxelword.h"

#include <gtest/gtest.h>

#include <cmath>

#include "model/histvars.h"
#include "model/sampleclasses.h"
#include "platform/archive.h"

namespace zun {
namespace {

TEST(VoxelWord, ReadsValueAndFlags) {
    const imtype w = 0x7FFF;
    EXPECT_EQ(VoxelValue(w), 16383);
    EXPECT_TRUE(w & 0x4000);
    EXPECT_FLOAT_EQ(NormalisedVoxelValue(w), 1.0f);
    EXPECT_FLOAT_EQ(PhysicalVoxelValue(w, -2.0f, 5.0f), 5.0f);
    EXPECT_FLOAT_EQ(PhysicalVoxelValue(0xC000, -2.0f, 5.0f), -2.0f);
}

TEST(VoxelWord, NormalisedSetterTruncatesAndKeepsFlags) {
    EXPECT_EQ(WordWithNormalisedValue(0, 0.99999f), 16382);
    EXPECT_EQ(WordWithNormalisedValue(0xC123, 1.5f), 0xC000 | 16383);
    EXPECT_EQ(WordWithNormalisedValue(0x4555, -0.2f), 0x4000);
    EXPECT_EQ(WordWithNormalisedValue(0x8001, NAN), 0x8000);
}

TEST(VoxelWord, PhysicalSetter) {
    imtype w = 0xC000 | 77;
    EXPECT_EQ(VoxelWordFromPhysical(w, 5.0f, 10.0f, 0.0f), kPhysicalInRange);
    EXPECT_EQ(w, 0xC000 | 8192);
    EXPECT_EQ(VoxelWordFromPhysical(w, 10.000001f, 10.0f, 0.0f), kPhysicalInRange);
    EXPECT_EQ(w & 0x3FFF, 16383);
    EXPECT_EQ(VoxelWordFromPhysical(w, 11.0f, 10.0f, 0.0f), kPhysicalAboveRange);
    EXPECT_EQ(w, 0xC000 | 16383);
    EXPECT_EQ(VoxelWordFromPhysical(w, -1.0f, 10.0f, 0.0f), kPhysicalBelowRange);
    EXPECT_EQ(w, 0xC000);
    w = 5;
    EXPECT_EQ(VoxelWordFromPhysical(w, 4.0f, 3.0f, 3.0f), kPhysicalDegenerateRange);
    EXPECT_EQ(w, 0);
    // An all-zero range and NaN bounds are degenerate too, never a division by zero.
    w = 0x4005;
    EXPECT_EQ(VoxelWordFromPhysical(w, 0.0f, 0.0f, 0.0f), kPhysicalDegenerateRange);
    EXPECT_EQ(w, 0x4000);
    EXPECT_EQ(VoxelWordFromPhysical(w, 1.0f, NAN, 0.0f), kPhysicalDegenerateRange);
    EXPECT_EQ(VoxelWordFromPhysical(w, NAN, 1.0f, 0.0f), kPhysicalInRange);
    EXPECT_EQ(w, 0x4000);
}

std::vector<std::uint8_t> Store(Serializable& obj) {
    MemoryStream s;
    {
        Archive ar(s, Archive::Mode::Store);
        obj.Serialize(ar);
        ar.Flush();
    }
    return s.Bytes();
}

TEST(HistVarsRecord, LayoutAndRoundTrip) {
    HistVars h;
    EXPECT_EQ(h.style, HistVars::kBar);
    std::vector<std::uint8_t> bytes = Store(h);
    // Two axis records (4+1+1+1+8+8+1+1 bytes each), the plot's stamp, flags and empty title,
    // then the stamp and five int32.
    ASSERT_EQ(bytes.size(), 2 * 25 + 4 + 1 + 1 + 1 + 4 + 20);
    EXPECT_EQ(bytes[0], 0x58);  // 2648 = 0x0A58
    EXPECT_EQ(bytes[1], 0x0A);
    EXPECT_EQ(bytes[4], 1);  // grid on
    const std::size_t tail = bytes.size() - 24;
    EXPECT_EQ(bytes[tail], 0x58);
    EXPECT_EQ(bytes[bytes.size() - 4], 1);  // graph style bar

    h.binCount = 64;
    h.xUnit = HistVars::kPhysical;
    h.plot.title = "Histogram of ct_1";
    h.plot.showTitle = true;
    h.plot.yAxis.log = true;
    h.plot.yAxis.range = 1e6;
    MemoryStream s(Store(h));
    HistVars back;
    Archive ar(s, Archive::Mode::Load);
    back.Serialize(ar);
    EXPECT_TRUE(back == h);
    EXPECT_FALSE(back == HistVars{});
}

TEST(PlotPalette, OrderAndValues) {
    const auto& p = PlotSeriesPalette();
    EXPECT_EQ(p[0], 0x0000FFu);
    EXPECT_EQ(p[1], 0x00FF00u);
    EXPECT_EQ(p[6], 0x0080FFu);
    EXPECT_EQ(p[24], 0xFFFFFFu);
    RegisterSampleClasses();
    EXPECT_EQ(ClassRegistry::Instance().Find("HistVars"), &HistVars::classInfo);
}

}  // namespace
}  // namespace zun
