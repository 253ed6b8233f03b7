// The all-filters curves: which are available, the scaling steps, scaled curves, the width-20
// export and what reaches the owner's record.

#include "plot/combinedfilters.h"

#include <gtest/gtest.h>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "model/sample.h"
#include "platform/prompt.h"
#include "plot/tomographyprops.h"

using namespace zun;

namespace {

TEST(CombinedFilters, TwoSignificantDigitSteps) {
    struct Case {
        float v;
        int delta;
        float out;
    } cases[] = {{1, 1, 1.1f},       {1, -1, 0.99f}, {9.9f, 1, 10}, {10, 1, 11},
                 {0.1f, -1, 0.099f}, {0, 1, 0.1f},   {0, -1, 0},    {2.5f, 0, 2.5f}};
    for (const Case& c : cases)
        EXPECT_FLOAT_EQ(CombinedFiltersModel::StepScaling(c.v, c.delta), c.out) << c.v << " " << c.delta;
}

struct Fixture : ::testing::Test {
    void SetUp() override {
        RegisterDocumentClasses();
        doc.OnNewDocument();
        ASSERT_EQ(doc.InsertChannel(1, 1, "ct"), 0);
        ASSERT_TRUE(owner.Open());
    }
    HeadlessPrompt prompt;
    CZunDoc doc{DocServices{&prompt}};
    TomographyPropsModel owner{doc, 1, &prompt};
};

TEST_F(Fixture, CurvesAvailabilityScalingAndExport) {
    CombinedFiltersModel m(owner, &prompt);
    m.caption = "doc: 'ct' All Filters Display";
    m.Open();
    // Only the source (0..10 keV, gain 1) is usable: no detector, no other filter.
    EXPECT_TRUE(m.available[CombinedFiltersModel::kSource]);
    EXPECT_FALSE(m.available[CombinedFiltersModel::kSourceDetector]);
    EXPECT_FALSE(m.available[CombinedFiltersModel::kAll]);
    m.SetShown(CombinedFiltersModel::kSourceDetector, true);
    EXPECT_FALSE(m.Current().curves[1].show);
    ASSERT_EQ(m.x, (std::vector<double>{0, 10}));
    m.scalingTexts[0] = "0";
    ASSERT_TRUE(m.ReadScalings());
    EXPECT_EQ(m.y[0], (std::vector<double>{0, 0}));  // a scaling of 0 draws on the axis
    m.scalingTexts[0] = "-1";
    int field = -1;
    EXPECT_FALSE(m.ReadScalings(&field));
    EXPECT_EQ(field, 0);
    EXPECT_EQ(prompt.Requests().back().text, "Scaling entries must be non-negative numbers");
    m.scalingTexts[0] = "2";
    m.SetUnit(0);
    EXPECT_EQ(m.ExportText(),
              "# doc: 'ct' All Filters Display\n"
              "     Beam Energy(eV)              Source\n"
              "                   0                   1\n"
              "               10000                   1\n");
    m.SetShown(CombinedFiltersModel::kSource, false);
    EXPECT_EQ(m.ExportText(),
              "# doc: 'ct' All Filters Display\n     Beam Energy(eV)\n"
              "                   0\n               10000\n");
    ASSERT_TRUE(m.Apply());
    CombinedFilters record;
    owner.GetCombinedFilters(record);
    EXPECT_EQ(record.energyUnit, 0);
    EXPECT_FALSE(record.curves[0].show);
    EXPECT_EQ(record.curves[0].scaling, 2.0f);
}

}  // namespace
