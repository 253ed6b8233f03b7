// The Setup Computation dialog's state without its window: what OK writes into the parameter
// set, the controller's lists and the sample.

#include <gtest/gtest.h>

#include "setup/setupstate.h"
#include "setupdoc.h"

namespace zun {
namespace {

using test::SetupDoc;

TEST(SetupState, DefaultsAndOkChangeNothing) {
    SetupDoc d;
    const Params before = d.P();
    SetupComputationState s(*d.doc);
    EXPECT_TRUE(s.CompositionAvailable());
    EXPECT_EQ(s.orderText[0], "3");
    EXPECT_FALSE(s.methodChecked[kSetupSegmentation]);
    EXPECT_FALSE(s.methodChecked[kSetupLinear]);
    EXPECT_TRUE(s.methodChecked[kSetupNonlinear]);  // flag word 3 by default
    EXPECT_EQ(s.seedText, "-1");
    EXPECT_EQ(s.capText, "10");
    s.OnOK();
    EXPECT_EQ(d.P().stepFlags, before.stepFlags);
    EXPECT_EQ(d.P().stepOrders, before.stepOrders);
    EXPECT_FALSE(d.P().setupChanged);
}

TEST(SetupState, ChangingAnOrderOrASwitchMarksEveryStep) {
    for (int variant = 0; variant < 4; ++variant) {
        SetupDoc d;
        d.P().stepFlags = {0, 0, 0, 0, 0, 1};
        SetupComputationState s(*d.doc);
        if (variant == 0) s.orderText[kSetupNonlinear] = "4";
        if (variant == 1) s.methodChecked[kSetupNonlinear] = false;
        if (variant == 2) s.seedText = "42";
        if (variant == 3) s.capText = "abc";  // no digits read as 0
        s.OnOK();
        for (int f : d.P().stepFlags) EXPECT_TRUE(f & kStepChanged) << variant;
        EXPECT_TRUE(d.P().setupChanged);
        if (variant == 1) {
            EXPECT_EQ(d.P().stepFlags[kStepNonlinear], 2);
        }
        if (variant == 2) {
            EXPECT_EQ(d.P().randomSeed, 42);
        }
        if (variant == 3) {
            EXPECT_EQ(d.P().maxErrorReports, 0);
        }
    }
    // An unchecked method's order is taken into the range but does not count as a change.
    SetupDoc d;
    SetupComputationState s(*d.doc);
    s.orderText[kSetupLinear] = "5";
    s.OnOK();
    EXPECT_FALSE(d.P().setupChanged);
    EXPECT_EQ(d.P().lastOrder, 5);
}

TEST(SetupState, OrdersWidenTheRangeOfPasses) {
    SetupDoc d;
    SetupComputationState s(*d.doc);
    s.CheckMethod(kSetupSegmentation, true);
    s.CheckMethod(kSetupLinear, true);
    s.orderText[kSetupSegmentation] = "1";
    s.orderText[kSetupLinear] = "2";
    s.OnOK();
    const Params& p = d.P();
    EXPECT_EQ(p.firstOrder, 1);
    EXPECT_GE(p.lastOrder, 3);
    EXPECT_EQ(p.stepOrders[kStepSegmentation], 1);
    EXPECT_EQ(p.stepOrders[kStepLinear], 2);
    EXPECT_TRUE(p.StepSelected(kStepSegmentation));
    EXPECT_TRUE(p.StepSelected(kStepLinear));
}

TEST(SetupState, LongNumbersSaturate) {
    EXPECT_EQ(ReadLeadingInteger("99999999999999999999", false), 2147483647);
    EXPECT_EQ(ReadLeadingInteger("-99999999999999999999", true), -2147483647 - 1);
    EXPECT_EQ(ReadLeadingInteger("-5", false), 0);
    EXPECT_EQ(ReadLeadingInteger(" 12abc", false), 12);
    EXPECT_EQ(ReadLeadingInteger("+7", true), 7);
}

TEST(SetupState, CheckingAMethodStandsEvenWithoutOk) {
    SetupDoc d;
    {
        SetupComputationState s(*d.doc);
        s.CheckMethod(kSetupLinear, true);  // then the dialog is cancelled
    }
    EXPECT_EQ(d.P().stepFlags[kStepLinear], 3);
    SetupComputationState s(*d.doc);
    s.CheckMethod(kSetupSegmentation, false);
    s.SetParametersPressed(kSetupSegmentation);
    EXPECT_EQ(d.P().stepFlags[kStepSegmentation], 2);  // the segmentation's button leaves it alone
}

TEST(SetupState, WithoutCtChannelsTheCompositionPartIsOff) {
    SetupDoc d;
    d.doc->DeleteChannels({"CT40", "CT80"}, true);
    SetupComputationState s(*d.doc);
    EXPECT_FALSE(s.CompositionAvailable());
    EXPECT_FALSE(s.CompositionJobShown());
    EXPECT_FALSE(s.CompositionControlsEnabled());
}

TEST(SetupState, SectionsAreBuiltOnlyForWhatTheDocumentHas) {
    SetupDoc plain;
    SetupComputationState s(*plain.doc);
    EXPECT_FALSE(s.PropertySectionBuilt());
    EXPECT_FALSE(s.BoundarySectionBuilt());
    EXPECT_FALSE(s.PluginSectionBuilt());

    SetupDoc full(true, true);
    full.doc->SetPlugins(true, {});
    SetupComputationState t(*full.doc);
    EXPECT_TRUE(t.PropertySectionBuilt());
    EXPECT_TRUE(t.BoundarySectionBuilt());
    EXPECT_TRUE(t.PluginSectionBuilt());
    EXPECT_EQ(t.MaskEntries(), (std::vector<std::string>{"<None selected>", "Inner", "Outer"}));
}

// Lists whose section was not shown are kept: the user saw nothing to change.
TEST(SetupState, ListsAreReplacedOnlyWhenTheirSectionWasBuilt) {
    SetupDoc d;  // no property channel, plug-ins off
    PropertyMethodSettings rec;
    rec.kind = kLinkedClusterAnalysis;
    d.doc->GetModel().PropertyMethods() = {rec};
    PluginRunEntry entry;
    entry.name = "smooth";
    entry.parameters = "-r 3";
    d.doc->GetModel().SetPluginRunList({entry});
    SetupComputationState s(*d.doc);
    s.OnOK();
    EXPECT_EQ(d.doc->GetModel().PropertyMethods().size(), 1u);
    ASSERT_EQ(d.doc->GetModel().PluginRunList().size(), 1u);
    EXPECT_EQ(d.doc->GetModel().PluginRunList()[0].parameters, "-r 3");

    SetupDoc p(true);
    p.doc->GetModel().PropertyMethods() = {rec};
    SetupComputationState t(*p.doc);
    ASSERT_EQ(t.selected.size(), 1u);
    t.Delete(0);
    t.OnOK();
    EXPECT_TRUE(p.doc->GetModel().PropertyMethods().empty());
}

TEST(SetupState, PropertyListOperations) {
    SetupDoc d(true);
    SetupComputationState s(*d.doc);
    for (int k = 0; k < 3; ++k) s.selected.push_back(s.NewRecord(k));
    EXPECT_EQ(s.selected[0].compositions.size(), 3u);
    EXPECT_EQ(s.selected[0].properties.size(), 2u);
    auto kinds = [&s] {
        std::vector<int> k;
        for (const auto& r : s.selected) k.push_back(r.kind);
        return k;
    };
    s.MoveUp(0);
    s.MoveDown(2);
    EXPECT_EQ(kinds(), (std::vector<int>{0, 1, 2}));  // nothing beyond the ends
    s.DropSelected(0, 2);
    EXPECT_EQ(kinds(), (std::vector<int>{2, 1, 0}));
    s.DropSelected(0, -1);
    EXPECT_EQ(kinds(), (std::vector<int>{1, 0, 2}));
    s.MoveDown(0);
    EXPECT_EQ(kinds(), (std::vector<int>{0, 1, 2}));
    s.OnOK();
    ASSERT_EQ(d.doc->GetModel().PropertyMethods().size(), 3u);
    EXPECT_EQ(d.doc->GetModel().PropertyMethods()[2].kind, kLinkedClusterAnalysis);
    EXPECT_EQ(PropertyKindId(1), "M-2");
    EXPECT_EQ(PropertyKindDescription(2), "Linked cluster analysis");
    EXPECT_EQ(PropertyKindId(7), "Unknown");
    EXPECT_EQ(PropertyKindDescription(7), "Unknown");
}

TEST(SetupState, MaskChangesActivateTheBoundary) {
    SetupDoc d(false, true);
    SetupComputationState s(*d.doc);
    EXPECT_FALSE(s.maskEnabled);
    EXPECT_EQ(s.MaskEntryIndex(), 0);
    EXPECT_FALSE(s.RestoreEnabled());
    s.maskEnabled = true;
    s.ChooseMaskEntry(2);
    EXPECT_EQ(s.maskName, "Outer");
    EXPECT_TRUE(s.RestoreEnabled());
    s.Restore();
    EXPECT_FALSE(s.RestoreEnabled());
    s.maskEnabled = true;
    s.ChooseMaskEntry(2);
    s.OnOK();
    EXPECT_TRUE(d.doc->GetSample().boundaryMaskOn);
    EXPECT_EQ(d.doc->GetSample().GetActiveBoundaryName(), "Outer");

    SetupComputationState t(*d.doc);
    EXPECT_EQ(t.MaskEntryIndex(), 2);
    t.ChooseMaskEntry(0);
    t.OnOK();
    EXPECT_EQ(d.doc->GetSample().GetActiveBoundaryName(), "");
}

TEST(SetupState, JobSwitchesDriveTheControls) {
    SetupDoc d(true);
    SetupComputationState s(*d.doc);
    s.jobs = {true, true, false};
    s.SetCompositionJob(false);
    EXPECT_FALSE(s.CompositionControlsEnabled());
    s.SetPropertyJob(false);
    EXPECT_FALSE(s.PropertyControlsEnabled());
    EXPECT_FALSE(s.jobs.composition);
    EXPECT_FALSE(s.jobs.property);
    s.EnablePropertyControls(true);
    EXPECT_TRUE(s.PropertyControlsEnabled());
}

}  // namespace
}  // namespace zun
