#include "tree/slicestepping.h"

#include <gtest/gtest.h>

#include <string>

#include "document/changehints.h"
#include "tree/treefixture.h"
#include "tree/treehints.h"

namespace zun {
namespace {

// Void (hidden at build) and two compositions of 10 slices; Iron and Copper show their data.
struct Stepping : ::testing::Test {
    std::unique_ptr<ZunImage> sample = MakeSample({4, 3, 10, {{0, "Iron"}, {0, "Copper"}}});
    DisplayTree tree;
    std::unique_ptr<SliceStepping> s;
    int redraws = 0;
    void SetUp() override {
        tree.Build(*sample, "doc");
        s = std::make_unique<SliceStepping>(tree);
        s->displayChanged = [this] { ++redraws; };
    }
    TreeNode* Iron() { return tree.FindChannel("Iron"); }
    TreeNode* Copper() { return tree.FindChannel("Copper"); }
    // "1" for every shown slice of a channel, "." for a hidden one.
    static std::string Shown(const TreeNode* channel) {
        std::string out;
        for (const auto& c : channel->children) out += c->spec.shown.displayItems ? '1' : '.';
        return out;
    }
};

TEST_F(Stepping, BeginGroupsSelectedChannelsAndEndRestores) {
    Iron()->selected = Copper()->selected = true;
    Iron()->Child(3)->spec.shown.displayItems = 5;  // kept through the stepping
    s->Begin(true);
    EXPECT_EQ(s->Items().size(), 20u);
    EXPECT_EQ(s->GroupCount(), 2);
    EXPECT_EQ(s->SlicesPerGroup(), 10);
    EXPECT_EQ(s->Items()[10], Copper()->Child(0));
    EXPECT_EQ(s->SavedDisplayItems()[3], 5);
    EXPECT_EQ(Shown(Iron()), "..........");
    EXPECT_EQ(Shown(tree.FindChannel("Void")), "..........");

    // While an animation runs the set is neither rebuilt nor ended.
    s->SetAnimating(true);
    s->End();
    s->Begin(false);
    EXPECT_EQ(s->Items().size(), 20u);
    s->SetAnimating(false);

    s->End();
    EXPECT_TRUE(s->Empty());
    EXPECT_EQ(s->GroupCount(), 0);
    EXPECT_EQ(Shown(Iron()), "1111111111");
    EXPECT_EQ(Iron()->Child(3)->spec.shown.displayItems, 5);
}

TEST_F(Stepping, ForwardAndBackwardWrapInEveryGroup) {
    s->Begin(false);  // the displayed channels: Iron and Copper
    ASSERT_EQ(s->GroupCount(), 2);
    for (int i = 0; i < 10; ++i) s->StepForward();
    // Position 9 shown, 8 hidden, the index back at 0.
    EXPECT_EQ(Shown(Iron()), ".........1");
    EXPECT_EQ(Shown(Copper()), ".........1");
    EXPECT_EQ(s->StepIndex(), 0);
    s->StepForward();  // from 0: position 9 hidden, 0 shown
    EXPECT_EQ(Shown(Iron()), "1.........");
    EXPECT_EQ(s->StepIndex(), 1);
    EXPECT_EQ(redraws, 11);

    s->End();
    s->Begin(false);
    s->StepBackward();  // from 0: shows 0, hides 1, index 9
    EXPECT_EQ(Shown(Copper()), "1.........");
    EXPECT_EQ(s->StepIndex(), 9);
    s->StepBackward();
    EXPECT_EQ(Shown(Copper()), ".........1");
    EXPECT_EQ(s->StepIndex(), 8);
}

TEST_F(Stepping, ShowUpToWithAndWithoutKeepingEarlierSlices) {
    s->Begin(false);
    EXPECT_TRUE(s->ShowUpTo(4, true));
    EXPECT_EQ(Shown(Iron()), "11111.....");
    EXPECT_EQ(Shown(Copper()), "11111.....");
    EXPECT_EQ(s->StepIndex(), 5);
    EXPECT_FALSE(s->ShowUpTo(3, true));
    // Positions past the last slice stop at it.
    EXPECT_TRUE(s->ShowUpTo(25, true));
    EXPECT_EQ(Shown(Iron()), "1111111111");
    EXPECT_EQ(s->StepIndex(), 10);

    s->End();
    s->Begin(false);
    EXPECT_TRUE(s->ShowUpTo(4, false));
    EXPECT_EQ(Shown(Iron()), "....1.....");
    EXPECT_EQ(Shown(Copper()), "....1.....");
    EXPECT_TRUE(s->ShowUpTo(6, false));
    EXPECT_EQ(Shown(Iron()), "......1...");
}

TEST_F(Stepping, NothingDisplayedGivesAnEmptySetThatIgnoresSteps) {
    for (int c = 0; c < tree.ChannelCount(); ++c)
        for (auto& sl : tree.Channel(c)->children) sl->spec.shown.displayItems = 0;
    for (int c = 0; c < tree.ChannelCount(); ++c) tree.Channel(c)->spec.shown.displayItems = 0;
    EXPECT_EQ(s->CountDisplayedChannels(), 0);
    s->Begin(false);
    EXPECT_TRUE(s->Empty());
    s->StepForward();
    s->StepBackward();
    EXPECT_TRUE(s->ShowUpTo(3, true));
    EXPECT_EQ(redraws, 0);
    EXPECT_EQ(s->StepIndex(), 0);
}

TEST_F(Stepping, CountDisplayedChannelsSelectsThemAndForgetLeavesItems) {
    EXPECT_EQ(s->CountDisplayedChannels(), 2);
    EXPECT_TRUE(Iron()->selected);
    EXPECT_TRUE(Copper()->selected);
    EXPECT_FALSE(tree.FindChannel("Void")->selected);

    s->Begin(true);
    const auto before = s->Generation();
    s->Forget();
    EXPECT_TRUE(s->Empty());
    EXPECT_NE(s->Generation(), before);
    EXPECT_EQ(Shown(Iron()), "..........");
}

TEST_F(Stepping, ItemsComeBackBeforeTheTreeChangesShape) {
    EXPECT_TRUE(ReshapesTree(std::make_unique<DeleteSliceMod>(2, 1).get()));
    EXPECT_TRUE(ReshapesTree(std::make_unique<InsertChanMod>("x", "Iron").get()));
    EXPECT_FALSE(ReshapesTree(std::make_unique<RenameDocMod>("t").get()));
    EXPECT_FALSE(ReshapesTree(nullptr));

    Iron()->selected = true;
    s->Begin(true);
    s->ShowUpTo(2, false);
    s->SetAnimating(true);  // even while a run animation draws
    const auto before = s->Generation();
    s->RestoreAndForget();
    EXPECT_TRUE(s->Empty());
    EXPECT_NE(s->Generation(), before);
    EXPECT_EQ(Shown(Iron()), "1111111111");
}

TEST(RefreshQueue, OnlyTheLastModeCounts) {
    RefreshQueue q;
    EXPECT_FALSE(q.TakeLast().has_value());
    q.Push(3);
    q.Push(5);
    q.Push(4);
    EXPECT_EQ(q.TakeLast(), 4);
    EXPECT_TRUE(q.Empty());
    EXPECT_FALSE(q.TakeLast().has_value());
}

}  // namespace
}  // namespace zun
