// The tree's command table: enable rules, popups, and the commands the tree carries out itself.

#include <gtest/gtest.h>

#include "doctree.h"
#include "tree/displaystate.h"
#include "tree/treecommandids.h"
#include "tree/treeselection.h"

using namespace zun;
using namespace zun::treecmd;

namespace {

// Compositions Void, c1, c2 (0-2), X-ray CT ct1, ct2 (3-4), property p1 (5), boundary b1 (6).
std::vector<std::pair<int, std::string>> Mixed() {
    return {{0, "c1"}, {0, "c2"}, {1, "ct1"}, {1, "ct2"}, {2, "p1"}, {3, "b1"}};
}

bool Enabled(DocTree& d, int id) {
    return d.commands->IsEnabled(id);
}

}  // namespace

TEST(TreeInsertRules, BeforeAndAfterMatrix) {
    // kinds of channels 0..6: 0 0 0 1 1 2 3
    const std::vector<int> k{0, 0, 0, 1, 1, 2, 3};
    struct Case {
        int index, kind;
        bool before, after;
    } cases[] = {
        {0, 0, false, true},                        // nothing goes before the first channel
        {1, 0, true, true},   {2, 1, false, true},  // after the last composition: a CT fits
        {2, 2, false, false},                       // a property after a composition skips the CT channels
        {3, 1, true, true},   {3, 0, true, false},  // first CT: compositions go before it
        {4, 0, false, false},                       // not the first CT channel
        {4, 1, true, true},   {4, 2, false, true}, {5, 1, true, false},  {5, 3, false, true},
        {6, 3, true, true},   {6, 2, true, false}, {6, 0, false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(InsertBeforeAllowed(k, c.index, c.kind), c.before) << c.index << " kind " << c.kind;
        EXPECT_EQ(InsertAfterAllowed(k, c.index, c.kind), c.after) << c.index << " kind " << c.kind;
    }
    EXPECT_FALSE(InsertBeforeAllowed(k, 7, 0));
    EXPECT_FALSE(InsertAfterAllowed(k, -1, 0));
}

TEST(TreeInsertRules, FollowTheSelectionRunningStateAndDialogs) {
    DocTree d(Mixed());
    d.Select({d.Chan("ct1")});
    EXPECT_TRUE(Enabled(d, kInsertCtBefore));
    EXPECT_TRUE(Enabled(d, kInsertCompBefore));
    EXPECT_FALSE(Enabled(d, kInsertPropBefore));
    d.Select({d.Chan("Void")});
    EXPECT_FALSE(Enabled(d, kInsertCompBefore));
    // After uses the last selected channel.
    d.Select({d.Chan("c1"), d.Chan("ct2")});
    EXPECT_TRUE(Enabled(d, kInsertPropAfter));
    EXPECT_FALSE(Enabled(d, kInsertCompAfter));

    // Every document dialog slot and the display dialog gate insertion, deletion and renaming.
    d.Select({d.Chan("ct1")});
    for (std::size_t slot = 0; slot < d.doc.propertyDialogOpen.size(); ++slot) {
        d.doc.propertyDialogOpen[slot] = true;
        EXPECT_FALSE(Enabled(d, kInsertCtBefore)) << slot;
        EXPECT_FALSE(Enabled(d, kDeleteChannels)) << slot;
        EXPECT_FALSE(Enabled(d, kRenameChannel)) << slot;
        d.doc.propertyDialogOpen[slot] = false;
    }
    d.commands->displayPropertiesOpen = true;
    EXPECT_FALSE(Enabled(d, kInsertCtBefore));
    EXPECT_FALSE(Enabled(d, kDisplayChan));
    EXPECT_FALSE(Enabled(d, kDeleteSlices));
    d.commands->displayPropertiesOpen = false;

    EXPECT_EQ(TreeEnableRule(kAlignsWithFirst, d.commands->Env()), true);
    EXPECT_EQ(TreeEnableRule(kMapDataFirst, d.commands->Env()), true);
    // Alignment and Map Channel Data edit voxels on the UI thread: not while a run may touch them.
    for (const int state : {kRunning, kStopping}) {
        d.doc.GetModel().SetState(state, true, "running");
        EXPECT_EQ(TreeEnableRule(kAlignsWithFirst, d.commands->Env()), false) << state;
        EXPECT_EQ(TreeEnableRule(kMapDataFirst, d.commands->Env()), false) << state;
    }
    d.doc.GetModel().SetState(kRunning, true, "running");
    EXPECT_FALSE(Enabled(d, kInsertCtBefore));
    EXPECT_FALSE(Enabled(d, kDeleteChannels));
    EXPECT_FALSE(Enabled(d, kImportImagesChan));
    EXPECT_FALSE(Enabled(d, kExportImagesAll));
    EXPECT_TRUE(Enabled(d, kDisplayChan));
    d.doc.GetModel().SetState(kStopped, true, "stopped");
    EXPECT_TRUE(Enabled(d, kDeleteChannels));
    EXPECT_TRUE(Enabled(d, kImportImagesChan));
}

TEST(TreeRules, SelectionCountsAndChannelTypes) {
    DocTree d(Mixed());
    d.Select({d.Chan("c1"), d.Chan("c2")});
    EXPECT_FALSE(Enabled(d, kRenameChannel));
    EXPECT_FALSE(Enabled(d, kImportImagesChan));
    d.Select({d.Chan("c1")});
    EXPECT_TRUE(Enabled(d, kRenameChannel));
    // Rules of entries that later windows serve, read directly.
    const TreeCommandEnv env = d.commands->Env();
    EXPECT_EQ(TreeEnableRule(kCompositionProperties, env), true);
    EXPECT_EQ(TreeEnableRule(kXrayCtProperties, env), false);
    EXPECT_EQ(TreeEnableRule(kThresholdSegmentation, env), false);
    d.Select({d.Chan("ct1")});
    EXPECT_EQ(TreeEnableRule(kThresholdSegmentation, d.commands->Env()), true);
    d.doc.propertyDialogOpen[CZunDoc::kXrayCtDialog] = true;
    EXPECT_EQ(TreeEnableRule(kThresholdSegmentation, d.commands->Env()), false);
    EXPECT_EQ(TreeEnableRule(kXrayCtProperties, d.commands->Env()), false);
    d.Select({d.Chan("p1")});
    EXPECT_EQ(TreeEnableRule(kThresholdSegmentation, d.commands->Env()), true);
    // Slices of two channels: no single-channel import or histogram.
    d.Select({d.Chan("c1")->Child(0), d.Chan("c2")->Child(1)});
    EXPECT_FALSE(Enabled(d, kImportImagesSlice));
    EXPECT_EQ(TreeEnableRule(kHistogramSlice, d.commands->Env()), false);
    d.Select({d.Chan("c1")->Child(0), d.Chan("c1")->Child(3)});
    EXPECT_TRUE(Enabled(d, kImportImagesSlice));
    d.doc.propertyDialogOpen[CZunDoc::kImportedImageDialog] = true;
    EXPECT_FALSE(Enabled(d, kImportImagesSlice));
    EXPECT_FALSE(Enabled(d, kClearSlices));
    EXPECT_FALSE(Enabled(d, kInsertSliceBefore));
}

TEST(TreeRules, StatisticsLists) {
    DocTree d(Mixed());
    const auto rule = [&](int id) { return TreeEnableRule(id, d.commands->Env()).value(); };
    TreeNode* root = d.tree.Root();
    for (TreeNode* n = root; n; n = DisplayTree::NextInPreOrder(n)) n->spec.statColumns = 0;
    EXPECT_FALSE(rule(kStatsTopLevel));
    EXPECT_FALSE(rule(kStatsChannelsOnly));
    root->spec.statColumns = DispSpec::kColAve;
    EXPECT_TRUE(rule(kStatsTopLevel));
    EXPECT_FALSE(rule(kStatsAllRoot));  // no channel shows statistics
    d.Chan("c1")->spec.statColumns = DispSpec::kColAve;
    EXPECT_TRUE(rule(kStatsTopLevel));
    EXPECT_TRUE(rule(kStatsChannelsOnly));
    EXPECT_TRUE(rule(kStatsAllRoot));
    // The first channel or a non-composition showing statistics rules the top-level list out.
    d.Chan("ct1")->spec.statColumns = DispSpec::kColMin;
    EXPECT_FALSE(rule(kStatsTopLevel));
    EXPECT_TRUE(rule(kStatsChannelsOnly));
    d.Chan("ct1")->spec.statColumns = 0;
    d.Chan("Void")->spec.statColumns = DispSpec::kColAve;
    EXPECT_FALSE(rule(kStatsTopLevel));
    d.Chan("Void")->spec.statColumns = 0;

    d.Select({d.Chan("c2")});
    EXPECT_FALSE(rule(kStatsChannelSelection));
    EXPECT_FALSE(rule(kStatsChannelSlices));
    EXPECT_FALSE(rule(kStatsChannelAll));
    d.Chan("c2")->Child(2)->spec.statColumns = DispSpec::kColN;
    EXPECT_TRUE(rule(kStatsChannelSlices));
    EXPECT_TRUE(rule(kStatsChannelAll));
    d.Select({d.Chan("c2")->Child(1), d.Chan("c2")->Child(2)});
    EXPECT_TRUE(rule(kStatsSlice));
    d.commands->displayPropertiesOpen = true;
    EXPECT_FALSE(rule(kStatsSlice));
    EXPECT_FALSE(rule(kStatsChannelsOnly));
}

TEST(TreePopups, ChoiceTrimmingAndChannelSubmenus) {
    DocTree d(Mixed());
    EXPECT_EQ(PopupOf(d.tree.Root()), TreePopup::Root);
    EXPECT_EQ(PopupOf(d.Chan("b1")), TreePopup::Boundary);
    EXPECT_EQ(PopupOf(d.Chan("ct1")), TreePopup::Channel);
    EXPECT_EQ(PopupOf(d.Chan("ct1")->Child(0)), TreePopup::Slice);

    // Nothing imported: the imported-image entries and Autosize Grid are gone.
    MenuEntries root = d.commands->BuildPopup(TreePopup::Root);
    EXPECT_EQ(FindCommand(root, kAutosizeGrid), nullptr);
    EXPECT_EQ(FindCommand(root, kImportedPropertiesAll), nullptr);
    EXPECT_EQ(FindCommand(root, kDiscardAll), nullptr);
    ASSERT_NE(FindCommand(root, kSetupGrid), nullptr);
    d.Select({d.Chan("c1")->Child(1)});
    EXPECT_EQ(FindCommand(d.commands->BuildPopup(TreePopup::Slice), kDiscardSlice), nullptr);

    // One imported slice brings them back for the root, its channel and the slice itself only.
    d.Chan("c1")->Child(1)->spec.imported = 1;
    EXPECT_NE(FindCommand(d.commands->BuildPopup(TreePopup::Root), kAutosizeGrid), nullptr);
    EXPECT_NE(FindCommand(d.commands->BuildPopup(TreePopup::Slice), kDiscardSlice), nullptr);
    d.Select({d.Chan("c1")});
    EXPECT_NE(FindCommand(d.commands->BuildPopup(TreePopup::Channel), kDiscardChan), nullptr);
    d.Select({d.Chan("c2")});
    EXPECT_EQ(FindCommand(d.commands->BuildPopup(TreePopup::Channel), kDiscardChan), nullptr);

    // "Aligns with" lists every channel; the selected one is greyed.
    const MenuEntries chan = d.commands->BuildPopup(TreePopup::Channel);
    const MenuEntry* align = FindEntry(chan, {"Aligns with"});
    ASSERT_NE(align, nullptr);
    ASSERT_EQ(align->children.size(), 7u);
    EXPECT_EQ(align->children[2].text, "c2");
    EXPECT_EQ(align->children[2].command, kAlignsWithFirst + 2);
    EXPECT_NE(FindEntry(chan, {"Map Channel Data to", "ct1"}), nullptr);
    // Served entries follow their rule: only the selected channel's own entry is greyed.
    std::vector<int> aligned;
    d.commands->Register(kAlignsWithPlaceholder, [&](int i) { aligned.push_back(i); });
    const MenuEntries served = d.commands->BuildPopup(TreePopup::Channel);
    const MenuEntry* a2 = FindEntry(served, {"Aligns with"});
    EXPECT_FALSE(a2->children[2].enabled);
    EXPECT_TRUE(a2->children[3].enabled);
    EXPECT_TRUE(d.commands->Execute(kAlignsWithFirst + 3));
    EXPECT_EQ(aligned, std::vector<int>{3});
    // An entry beyond the channels has no channel.
    d.Select({d.Chan("c1")});
    EXPECT_TRUE(d.commands->Execute(kAlignsWithFirst + 40));
    EXPECT_EQ(d.LastMessage(), "No channel found.");
    EXPECT_EQ(aligned.size(), 1u);
    // Unserved entries stay in the menu, disabled.
    const MenuEntry* gradient = FindCommand(served, kComputeGradient);
    ASSERT_NE(gradient, nullptr);
    EXPECT_FALSE(gradient->enabled);
    EXPECT_FALSE(d.commands->Execute(kComputeGradient));
}

TEST(TreePopups, ChannelSubmenusStopAtFifty) {
    std::vector<std::pair<int, std::string>> many;
    for (int i = 0; i < 60; ++i) many.push_back({2, "p" + std::to_string(i)});
    DocTree d(many, {3, 3, 1});
    d.Select({d.Chan("p0")});
    const MenuEntries chan = d.commands->BuildPopup(TreePopup::Channel);
    const MenuEntry* map = FindEntry(chan, {"Map Channel Data to"});
    ASSERT_NE(map, nullptr);
    ASSERT_EQ(map->children.size(), 50u);
    EXPECT_EQ(map->children.back().command, kMapDataFirst + 49);
    EXPECT_EQ(map->children.back().text, "p48");
}

TEST(TreeSelection, ContiguousSlicesAndInsertReferences) {
    DocTree d(Mixed());
    TreeNode* c1 = d.Chan("c1");
    d.Select({c1->Child(2), c1->Child(3), c1->Child(4)});
    auto run = ContiguousSliceSelection(d.tree);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->first, 2u);
    EXPECT_EQ(run->count, 3u);
    d.Select({c1->Child(1), c1->Child(2), c1->Child(4)});
    EXPECT_FALSE(ContiguousSliceSelection(d.tree));
    // Consecutive numbers in tree order but in two channels.
    d.Select({c1->Child(2), d.Chan("c2")->Child(3)});
    EXPECT_FALSE(ContiguousSliceSelection(d.tree));
    const std::size_t before = d.prompt.Requests().size();
    EXPECT_TRUE(d.commands->Execute(kInsertSliceBefore));
    EXPECT_EQ(d.LastMessage(), kContiguousSlicesMessage);
    EXPECT_EQ(d.prompt.Requests().size(), before + 1);
    EXPECT_EQ(d.doc.GetSample().GetSliceCount(), 5);

    // Before on slices 1-2 inserts two at 1; After on them inserts two at 3.
    d.Select({c1->Child(1), c1->Child(2)});
    EXPECT_TRUE(d.commands->Execute(kInsertSliceBefore));
    EXPECT_EQ(d.doc.GetSample().GetSliceCount(), 7);
    EXPECT_EQ(d.Chan("ct2")->ChildCount(), 7);

    d.Select({d.Chan("Void")});
    EXPECT_EQ(InsertReferenceIndex(d.tree, true), -1);
    EXPECT_EQ(InsertReferenceIndex(d.tree, false), 0);
    d.Select({d.Chan("ct1"), d.Chan("p1")});
    EXPECT_EQ(InsertReferenceIndex(d.tree, true), 2);
    EXPECT_EQ(InsertReferenceIndex(d.tree, false), 5);
}

TEST(TreeCommands, InsertRenameAndDeleteChannels) {
    DocTree d(Mixed());
    // Before the first X-ray CT channel: a composition goes after c2, with the kind's caption.
    d.Select({d.Chan("ct1")});
    d.host.nextName = "c3";
    ASSERT_TRUE(d.commands->Execute(kInsertCompBefore));
    EXPECT_EQ(d.host.captions.back(), "Insert Composition Channel");
    EXPECT_EQ(d.Names(), "Void,c1,c2,c3,ct1,ct2,p1,b1");
    EXPECT_EQ(d.tree.Channel(3)->label.substr(0, 2), "c3");
    // Last of a kind from the root, with the sample's default name offered.
    d.host.nextName = "bx";
    ASSERT_TRUE(d.commands->Execute(kInsertBoundLast));
    EXPECT_EQ(d.host.captions.back(), "Insert Bound Channel");
    EXPECT_EQ(d.host.suggested.back().rfind("bound_", 0), 0u);
    EXPECT_EQ(d.Names(), "Void,c1,c2,c3,ct1,ct2,p1,b1,bx");
    // An empty name is refused with the reason.
    d.host.nextName = "";
    d.commands->Execute(kInsertPropFirst);
    EXPECT_EQ(d.LastMessage(), "Channel name cannot be empty");
    EXPECT_EQ(d.doc.GetSample().GetChanCount(), 9);
    // Cancel inserts nothing.
    std::vector<int> ctSettings;
    d.commands->ctChannelInserted = [&](int index) { ctSettings.push_back(index); };
    d.host.nextName.reset();
    d.commands->Execute(kInsertCtFirst);
    EXPECT_EQ(d.doc.GetSample().GetChanCount(), 9);
    // Only a new X-ray CT channel goes on to its beam settings.
    EXPECT_TRUE(ctSettings.empty());
    d.host.nextName = "ct0";
    ASSERT_TRUE(d.commands->Execute(kInsertCtFirst));
    EXPECT_EQ(ctSettings, std::vector<int>{d.doc.GetSample().FindChanIndex("ct0")});
    d.Select({d.Chan("ct0")});
    d.commands->Execute(kDeleteChannels);
    EXPECT_EQ(ctSettings.size(), 1u);

    d.Select({d.Chan("c2")});
    d.host.nextName = "c2";
    d.commands->Execute(kRenameChannel);
    EXPECT_EQ(d.host.renamed.back(), 2);
    EXPECT_EQ(d.Names(), "Void,c1,c2,c3,ct1,ct2,p1,b1,bx");
    d.host.nextName = "Copper";
    d.commands->Execute(kRenameChannel);
    EXPECT_NE(d.tree.FindChannel("Copper"), nullptr);
    EXPECT_EQ(d.doc.GetSample().FindChanIndex("Copper"), 2);

    d.Select({d.Chan("c1"), d.Chan("p1")});
    d.commands->Execute(kDeleteChannels);
    EXPECT_EQ(d.Names(), "Void,Copper,c3,ct1,ct2,b1,bx");
    EXPECT_EQ(d.tree.ChannelCount(), 7);
}

TEST(TreeCommands, DisplayTogglesRedrawTheView) {
    DocTree d(Mixed());
    TreeNode* root = d.tree.Root();
    // A fresh tree shows its compositions: the root toggle hides everything, then shows all.
    ASSERT_NE(root->spec.shown.displayItems, 0);
    EXPECT_EQ(TreeCheckedRule(kDisplayRoot, d.commands->Env()), true);
    d.commands->Execute(kDisplayRoot);
    for (TreeNode* n = root; n; n = DisplayTree::NextInPreOrder(n)) ASSERT_EQ(n->spec.shown.displayItems, 0);
    d.commands->Execute(kDisplayRoot);
    for (TreeNode* n = root; n; n = DisplayTree::NextInPreOrder(n))
        ASSERT_EQ(n->spec.shown.displayItems, DispSpec::kItemData);
    EXPECT_EQ(d.host.redraws, 2);
    EXPECT_EQ(d.host.busyDepth, 0);

    // Channels: one shown among the selection hides them all, with their slices; the root follows.
    d.commands->Execute(kDisplayRoot);
    d.Chan("ct1")->Child(2)->spec.shown.displayItems = 0;
    d.Select({d.Chan("ct1"), d.Chan("ct2")});
    d.commands->Execute(kDisplayChan);
    EXPECT_EQ(d.Chan("ct1")->spec.shown.displayItems, DispSpec::kItemData);
    EXPECT_EQ(d.Chan("ct1")->Child(2)->spec.shown.displayItems, DispSpec::kItemData);
    EXPECT_EQ(root->spec.shown.displayItems, DispSpec::kItemData);
    EXPECT_EQ(TreeCheckedRule(kDisplayChan, d.commands->Env()), true);
    d.commands->Execute(kDisplayChan);
    EXPECT_EQ(d.Chan("ct2")->Child(4)->spec.shown.displayItems, 0);
    EXPECT_EQ(root->spec.shown.displayItems, 0);

    // Slices: their channel takes the merge of its slices.
    d.Select({d.Chan("ct2")->Child(1)});
    d.commands->Execute(kDisplaySlice);
    EXPECT_EQ(d.Chan("ct2")->Child(1)->spec.shown.displayItems, DispSpec::kItemData);
    EXPECT_EQ(d.Chan("ct2")->spec.shown.displayItems, DispSpec::kItemData);
    EXPECT_EQ(d.Chan("ct1")->spec.shown.displayItems, 0);
    EXPECT_EQ(root->spec.shown.displayItems, DispSpec::kItemData);
    EXPECT_EQ(d.host.redraws, 6);
}

TEST(TreeCommands, BoundaryCommands) {
    DocTree d({{3, "b1"}, {3, "b2"}});
    d.Select({d.Chan("b1")});
    EXPECT_EQ(TreeCheckedRule(kActiveBoundary, d.commands->Env()), false);
    d.commands->Execute(kActiveBoundary);
    EXPECT_EQ(d.doc.GetSample().GetActiveBoundaryName(), "b1");
    EXPECT_EQ(d.Chan("b1")->spec.active, 1);
    EXPECT_EQ(TreeCheckedRule(kActiveBoundary, d.commands->Env()), true);
    // Again on the active boundary: no boundary is active any more and the overlay goes.
    d.commands->Execute(kActiveBoundary);
    EXPECT_EQ(d.doc.GetSample().GetActiveBoundaryName(), "");
    EXPECT_EQ(d.doc.GetSample().activeBoundaryIndex, -1);
    EXPECT_EQ(d.Chan("b1")->spec.active, 0);
    d.Select({d.Chan("b1"), d.Chan("b2")});
    EXPECT_FALSE(d.commands->IsEnabled(kActiveBoundary));

    // Clear asks with the count's wording; Cancel clears nothing.
    ZunChan* b1 = d.doc.GetSample().FindChan("b1");
    b1->Data()[0] = 16383;
    d.prompt.QueueAnswer(kPromptCancel);
    d.commands->Execute(kClearBoundary);
    EXPECT_EQ(d.LastMessage(), "Clear boundaries?");
    EXPECT_EQ(b1->Data()[0], 16383);
    d.Select({d.Chan("b1")});
    d.commands->Execute(kClearBoundary);
    EXPECT_EQ(d.LastMessage(), "Clear boundary?");
    EXPECT_EQ(b1->Data()[0], 0);

    // Build and transform refuse an empty grid before their tool runs.
    std::vector<std::string> built;
    d.commands->RegisterBoundaryTool(true, [&](const std::vector<std::string>& n) { built = n; });
    d.commands->RegisterBoundaryTool(false, [&](const std::vector<std::string>&) { built.push_back("t"); });
    d.commands->Execute(kBuildBoundary);
    EXPECT_EQ(built, std::vector<std::string>{"b1"});
    d.doc.ResizeVolume({0, 0, 0}, {0, 0, 0});
    built.clear();
    d.commands->Execute(kBuildBoundary);
    EXPECT_EQ(d.LastMessage(), "Failed build boundary: empty sample grid.");
    d.commands->Execute(kTransformBoundary);
    EXPECT_EQ(d.LastMessage(), "Failed transform boundary: empty sample grid.");
    EXPECT_TRUE(built.empty());
}

TEST(TreeCommands, SetupSampleGridResizesTheDocumentAndTree) {
    DocTree d({{1, "ct1"}});
    d.host.editGrid = [](SetupSampleGrid& g) {
        g.sizeText = {"8", "6", "3"};
        g.physicalText[1] = "2e-6";
        HeadlessPrompt p;
        ASSERT_TRUE(g.Accept(p));
    };
    d.commands->Execute(kSetupGrid);
    EXPECT_EQ(d.doc.GetSample().GetDims(), (std::vector<int>{8, 6, 3}));
    EXPECT_EQ(d.Chan("ct1")->ChildCount(), 3);
    EXPECT_DOUBLE_EQ(d.doc.GetModel().GetParams().voxelPhysicalSize[1], 2e-6);
    EXPECT_TRUE(d.doc.IsModified());
    // Cancel leaves it.
    d.host.editGrid = nullptr;
    d.commands->Execute(kSetupGrid);
    EXPECT_EQ(d.doc.GetSample().GetDims(), (std::vector<int>{8, 6, 3}));
}
