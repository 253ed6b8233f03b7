// The composition dialog's decisions: number reading, Apply/OK/Cancel against the channel and the
// controller, the modified flag and the automatic rename.

#include "plot/compoundprops.h"

#include <gtest/gtest.h>

#include "compute/model.h"
#include "document/docclasses.h"
#include "document/zundoc.h"
#include "model/sample.h"
#include "platform/prompt.h"

using namespace zun;

namespace {

class CompoundPropsTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterDocumentClasses();
        Compound::SetPrompt(&parsePrompt);
        doc.OnNewDocument();
        ASSERT_EQ(doc.InsertChannel(0, 1, "comp_1"), 0);
        index = doc.GetSample().FindChanIndex("comp_1");
        ASSERT_GE(index, 0);
        doc.SetModifiedFlag(false);
        model.refreshDependents = [this](int i) { refreshed.push_back(i); };
        model.compositionRestored = [this](int i) { restored.push_back(i); };
        ASSERT_TRUE(model.Open());
    }
    void TearDown() override { Compound::SetPrompt(nullptr); }
    ZunChan& Chan() { return *doc.GetSample().GetChan(index); }

    HeadlessPrompt prompt, parsePrompt;
    CZunDoc doc{DocServices{&prompt}};
    int index = -1;
    CompoundPropsModel model{doc, 1, &prompt};
    std::vector<int> refreshed, restored;
};

TEST(CompoundPropsNumbers, EmptyIsZeroAndLimitsHold) {
    float v = -1;
    EXPECT_TRUE(CompoundPropsModel::ReadDensity("", &v));
    EXPECT_EQ(v, 0.0f);
    EXPECT_TRUE(CompoundPropsModel::ReadAccuracy("", &v));
    EXPECT_EQ(v, 0.0f);
    EXPECT_TRUE(CompoundPropsModel::ReadAccuracy("1", &v));
    EXPECT_TRUE(CompoundPropsModel::ReadAccuracy("0", &v));
    EXPECT_FALSE(CompoundPropsModel::ReadAccuracy("1.0001", &v));
    EXPECT_FALSE(CompoundPropsModel::ReadAccuracy("-0.5", &v));
    EXPECT_FALSE(CompoundPropsModel::ReadDensity("-0.5", &v));
    EXPECT_FALSE(CompoundPropsModel::ReadDensity("abc", &v));
    EXPECT_FALSE(CompoundPropsModel::ReadDensity("nan", &v));
    EXPECT_TRUE(CompoundPropsModel::ReadDensity("2.65", &v));
    EXPECT_FLOAT_EQ(v, 2.65f);
}

TEST(CompoundPropsNumbers, SymbolsInByteOrder) {
    const auto& s = CompoundPropsModel::Symbols();
    ASSERT_EQ(s.size(), 94u);
    EXPECT_EQ(s.front(), "Ac");
    EXPECT_EQ(s[1], "Ag");
    EXPECT_EQ(s.back(), "Zr");
}

TEST_F(CompoundPropsTest, OpensWithTheChannelsValuesAndApplyOff) {
    EXPECT_EQ(model.formulaText, "");
    EXPECT_EQ(model.densityText, "0");
    EXPECT_EQ(model.accuracyText, "0");
    EXPECT_FALSE(model.applyEnabled);
    EXPECT_TRUE(model.estimateEnabled);
    model.OnFormulaChanged("SiO2");
    EXPECT_TRUE(model.applyEnabled);
    EXPECT_FALSE(model.estimateEnabled);
}

TEST_F(CompoundPropsTest, ApplyWritesRenamesAndMarksModifiedOnce) {
    model.OnFormulaChanged("SiO2");
    model.OnDensityChanged("2.65");
    ASSERT_EQ(model.Apply(true), CompoundPropsModel::kApplied);
    EXPECT_EQ(Chan().compound.formula, "SiO2");
    EXPECT_DOUBLE_EQ(Chan().compound.density, 2.65f);
    EXPECT_EQ(Chan().name, "SiO2");  // auto-rename is on for a new channel
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(refreshed, std::vector<int>{index});
    EXPECT_FALSE(model.applyEnabled);
    EXPECT_TRUE(model.estimateEnabled);

    // The same values again: nothing stored, no rename, the modified flag untouched.
    doc.SetModifiedFlag(false);
    ASSERT_EQ(model.Apply(true), CompoundPropsModel::kApplied);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(refreshed.size(), 1u);
    EXPECT_EQ(Chan().name, "SiO2");
}

TEST_F(CompoundPropsTest, OnlyTheAccuracyChangedIsStillAChange) {
    model.OnAccuracyChanged("0.25");
    ASSERT_EQ(model.Apply(true), CompoundPropsModel::kApplied);
    EXPECT_FLOAT_EQ(model.StoredAccuracy(), 0.25f);
    EXPECT_FLOAT_EQ(doc.GetModel().GetParams().volumeFractionAccuracy.at(index), 0.25f);
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(refreshed.size(), 1u);
    EXPECT_EQ(Chan().name, "comp_1");  // an empty formula renames nothing
}

TEST_F(CompoundPropsTest, RejectedEntriesWriteNothing) {
    model.OnFormulaChanged("SiO2");
    model.OnDensityChanged("-0.5");
    EXPECT_EQ(model.Apply(true), CompoundPropsModel::kBadDensity);
    model.OnDensityChanged("1");
    model.OnAccuracyChanged("1.0001");
    EXPECT_EQ(model.Apply(false), CompoundPropsModel::kBadAccuracy);
    ASSERT_EQ(prompt.Requests().size(), 2u);
    EXPECT_EQ(prompt.Requests()[0].text, "Invalid density entry");
    EXPECT_EQ(prompt.Requests()[1].text, "Invalid relative accuracy entry");
    EXPECT_EQ(prompt.Requests()[1].icon, PromptIcon::Information);

    model.OnAccuracyChanged("0.5");
    model.OnFormulaChanged("Si$O2");  // no element symbol starts with "$"
    EXPECT_EQ(model.Apply(false), CompoundPropsModel::kBadFormula);
    // The parser says why, once.
    ASSERT_EQ(prompt.Requests().size(), 3u);
    EXPECT_FALSE(prompt.Requests()[2].text.empty());
    EXPECT_NE(prompt.Requests()[2].text, "Invalid density entry");
    model.OnFormulaChanged("Qz2(O");
    EXPECT_EQ(model.Apply(false), CompoundPropsModel::kBadFormula);
    ASSERT_EQ(prompt.Requests().size(), 4u);
    EXPECT_FALSE(prompt.Requests()[3].text.empty());
    EXPECT_EQ(Chan().compound.formula, "");
    EXPECT_EQ(Chan().compound.density, 0.0);
    EXPECT_EQ(Chan().name, "comp_1");
    EXPECT_EQ(model.StoredAccuracy(), 0.0f);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_TRUE(refreshed.empty());
}

TEST_F(CompoundPropsTest, CancelAfterApplyKeepsTheFormulaAndRestoresTheAccuracy) {
    model.OnFormulaChanged("Fe2O3");
    model.OnAccuracyChanged("0.1");
    ASSERT_EQ(model.Apply(true), CompoundPropsModel::kApplied);
    doc.SetModifiedFlag(false);
    model.Cancel();
    EXPECT_EQ(Chan().compound.formula, "Fe2O3");
    EXPECT_EQ(model.StoredAccuracy(), 0.0f);
    EXPECT_TRUE(restored.empty());  // the composition was the applied one
    EXPECT_FALSE(doc.IsModified());
}

TEST_F(CompoundPropsTest, CancelWithoutApplyChangesNothing) {
    model.OnFormulaChanged("CaCO3");
    model.OnAccuracyChanged("0.3");
    model.Cancel();
    EXPECT_EQ(Chan().compound.formula, "");
    EXPECT_EQ(model.StoredAccuracy(), 0.0f);
    EXPECT_FALSE(doc.IsModified());
}

TEST_F(CompoundPropsTest, NameClashKeepsTheOldNameButTheComposition) {
    ASSERT_EQ(doc.InsertChannel(0, 2, "SiO2"), 0);
    model.OnFormulaChanged("SiO2");
    ASSERT_EQ(model.Apply(false), CompoundPropsModel::kApplied);
    EXPECT_EQ(Chan().name, "comp_1");
    EXPECT_EQ(Chan().compound.formula, "SiO2");
    EXPECT_FALSE(prompt.Requests().empty());  // the document said the name exists
}

TEST_F(CompoundPropsTest, EstimateDensityWritesOnlyTheField) {
    model.OnFormulaChanged("Fe");
    ASSERT_EQ(model.Apply(true), CompoundPropsModel::kApplied);
    model.EstimateDensity();
    EXPECT_NEAR(std::stod(model.densityText), 7.87, 0.05);
    EXPECT_EQ(Chan().compound.density, 0.0);
    // Without auto-rename the channel keeps its name.
    model.OnAutoRenameChanged(false);
    model.OnFormulaChanged("Cu");
    ASSERT_EQ(model.Apply(true), CompoundPropsModel::kApplied);
    EXPECT_EQ(Chan().name, "Fe");
    EXPECT_FALSE(Chan().autoRename);
}

}  // namespace
