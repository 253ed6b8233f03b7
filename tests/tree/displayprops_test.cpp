#include "tree/displayprops.h"

#include <gtest/gtest.h>

#include "tree/datcoltarget.h"
#include "tree/treefixture.h"

namespace zun {
namespace {

// Records what the dialog asks of the view and the tree.
struct SinkLog : DisplayPropsSink {
    void UpdateView(unsigned bits) override { views.push_back(bits); }
    void UpdateTreeStats(const std::set<TreeItemId>& items) override {
        ++stats;
        lastStats = items;
    }
    std::vector<unsigned> views;
    int stats = 0;
    std::set<TreeItemId> lastStats;
};

class DisplayPropsTest : public ::testing::Test {
protected:
    void Make(const SampleSpec& spec = {}) {
        sample = MakeSample(spec);
        tree.Build(*sample, "doc");
        iron = tree.FindChannel("Iron");
        ct = tree.FindChannel("ct_1");
        bound = tree.FindChannel("bound_1");
    }
    void SetUp() override { Make(); }
    std::unique_ptr<ZunImage> sample;
    DisplayTree tree;
    TreeNode *iron = nullptr, *ct = nullptr, *bound = nullptr;
    SinkLog sink;
};

TEST_F(DisplayPropsTest, MixedOpacityShowsDotsAndOkKeepsEachSlicesValue) {
    iron->Child(1)->spec.shown.opacity = {0.2f, 0.9f, 0.0f, 1.0f};
    OpacityFamily::UpdateAncestorsOf(tree, {iron->Child(1)});
    DisplayPropsModel m(tree, {iron}, &sink);
    EXPECT_EQ(m.OpacityText(0), " ...");
    EXPECT_EQ(m.OpacityText(1), " ...");
    EXPECT_EQ(m.SpinPosition(0), 0);
    EXPECT_EQ(m.OpacityText(2), "0");
    EXPECT_EQ(m.OpacityText(3), "100");
    EXPECT_TRUE(m.Ok({" ...", " ...", "0", "100"}));
    // A field left at " ..." changes nothing; a new value reaches every slice.
    m.OpacityFieldDone(0, " ...");
    EXPECT_TRUE(sink.views.empty());
    EXPECT_FLOAT_EQ(iron->Child(1)->spec.shown.opacity[0], 0.2f);
    EXPECT_FLOAT_EQ(iron->Child(2)->spec.shown.opacity[0], 0.05f);
    m.OpacityFieldDone(2, "30");
    EXPECT_EQ(sink.views, std::vector<unsigned>{kHintOpacity});
    EXPECT_FLOAT_EQ(iron->Child(1)->spec.shown.opacity[2], 0.3f);
    EXPECT_FLOAT_EQ(iron->Child(1)->spec.shown.opacity[0], 0.2f);
    EXPECT_TRUE(m.Enabled().restoreOpacity);
}

TEST_F(DisplayPropsTest, InvalidOpacityTextIsRefusedAndChangesNothing) {
    DisplayPropsModel m(tree, {iron}, &sink);
    EXPECT_FALSE(m.Enabled().restoreOpacity);
    m.OpacityFieldDone(2, "abc");
    EXPECT_TRUE(sink.views.empty());
    EXPECT_TRUE(m.Enabled().restoreOpacity);
    EXPECT_TRUE(m.Enabled().setDefaultOpacity);
    EXPECT_TRUE(OpacityFamily::IsUnchangedOfItems({iron}));
    EXPECT_FALSE(m.Ok({"abc", "100", "0", "100"}));
    EXPECT_FALSE(m.Ok({"5", "101", "0", "100"}));
    EXPECT_FALSE(m.Ok({"5", "100", "-1", "100"}));
    EXPECT_TRUE(m.Ok({"5", "100", "0", " 7 %"}));
    EXPECT_STREQ(kInvalidOpacityValue, "Invalid opacity related value");
}

TEST_F(DisplayPropsTest, ThresholdsStayOrdered) {
    DisplayPropsModel m(tree, {iron}, &sink);
    m.SpinDone(1, 60);
    m.SpinDone(0, 80);  // above the high threshold: it moves up too
    EXPECT_EQ(m.OpacityText(0), "80");
    EXPECT_EQ(m.OpacityText(1), "80");
    m.OpacityFieldDone(1, "30");  // below the low threshold: it moves down too
    EXPECT_EQ(m.OpacityText(0), "30");
    EXPECT_EQ(m.OpacityText(1), "30");
    for (const auto& s : iron->children) {
        EXPECT_FLOAT_EQ(s->spec.shown.opacity[0], 0.3f);
        EXPECT_FLOAT_EQ(s->spec.shown.opacity[1], 0.3f);
    }
}

TEST_F(DisplayPropsTest, ThresholdsStayOrderedPerItemUnderAMixedOne) {
    // Slice 0 ends its ramp at 40 %, the others at 100 %: the high threshold is mixed.
    iron->Child(0)->spec.shown.opacity = {0.05f, 0.4f, 0.0f, 1.0f};
    OpacityFamily::UpdateAncestorsOf(tree, {iron->Child(0)});
    DisplayPropsModel m(tree, {tree.Root()}, &sink);
    ASSERT_EQ(m.OpacityText(1), " ...");
    m.SpinDone(0, 60);
    // Only the slice whose ramp ended below 60 % moves; the others keep their own ends.
    EXPECT_FLOAT_EQ(iron->Child(0)->spec.shown.opacity[1], 0.6f);
    EXPECT_FLOAT_EQ(iron->Child(1)->spec.shown.opacity[1], 1.0f);
    EXPECT_FLOAT_EQ(iron->Child(1)->spec.shown.opacity[0], 0.6f);
    EXPECT_EQ(m.OpacityText(1), " ...");
    // The merged state of the channel follows its slices.
    EXPECT_TRUE(IsMixedOpacity(iron->spec.shown.opacity[1]));
    EXPECT_FLOAT_EQ(ct->spec.shown.opacity[1], 1.0f);
}

TEST_F(DisplayPropsTest, IndeterminateIncludeBoxChecksEveryLeaf) {
    iron->Child(0)->spec.shown.includeFlags = kIncLower | kIncUpper;
    IncludeFlagsFamily::UpdateAncestorsOf(tree, {iron->Child(0)});
    DisplayPropsModel m(tree, {iron}, &sink);
    EXPECT_EQ(m.IncLower(), CheckState::kIndeterminate);
    EXPECT_EQ(m.IncUpper(), CheckState::kChecked);
    EXPECT_FALSE(m.Enabled().restoreOpacity);
    m.ClickIncLower();
    EXPECT_EQ(m.IncLower(), CheckState::kChecked);
    for (const auto& s : iron->children) EXPECT_EQ(s->spec.shown.includeFlags, kIncLower | kIncUpper);
    EXPECT_TRUE(m.Enabled().restoreOpacity);
    m.ClickIncLower();  // checked: cleared everywhere
    EXPECT_EQ(m.IncLower(), CheckState::kUnchecked);
    for (const auto& s : iron->children) EXPECT_EQ(s->spec.shown.includeFlags, kIncUpper);
    m.SetDefaultOpacity();
    EXPECT_FALSE(m.Enabled().setDefaultOpacity);
    EXPECT_EQ(iron->Child(0)->spec.shown.includeFlags, kIncludeDefault);
}

TEST_F(DisplayPropsTest, CancelRestoresOnlyTheGroupsThatChanged) {
    DisplayPropsModel m(tree, {iron, ct}, &sink);
    m.SetLayerColour(1, 0x123456);
    EXPECT_TRUE(m.Enabled().restoreColours);
    EXPECT_EQ(iron->Child(2)->spec.shown.displayColours[1], 0x123456u);
    // Display items changed and put back by hand count as unchanged.
    m.ClickDisplay(0, true);
    m.RestoreItems();
    sink.views.clear();
    m.Cancel();
    EXPECT_EQ(sink.views, std::vector<unsigned>{kHintColour});
    EXPECT_EQ(sink.stats, 0);
    EXPECT_TRUE(DataColourFamily::IsUnchangedOfItems({iron, ct}));
    EXPECT_EQ(iron->Child(2)->spec.shown.displayColours[1], kDefaultRoColour);
    // Setting the defaults over the defaults leaves nothing to restore.
    DisplayPropsModel again(tree, {iron, ct}, &sink);
    again.SetDefaultColours();
    EXPECT_FALSE(again.Enabled().restoreColours);
    EXPECT_FALSE(again.Enabled().setDefaultColours);
}

TEST_F(DisplayPropsTest, CancelAfterEveryChangeRestoresEverything) {
    DisplayPropsModel m(tree, {tree.Root()}, &sink);
    const DispSpec before = iron->Child(3)->spec;
    m.ClickDisplay(1, true);
    m.SetAllStats();
    m.SpinDone(3, 20);
    m.ClickIncLower();
    m.ClickMask(true);
    m.SelectMask(1);
    EXPECT_EQ(iron->Child(3)->spec.shown.maskName, "bound_1");
    EXPECT_FALSE(iron->Child(3)->spec.SameContent(before));
    sink.views.clear();
    m.Cancel();
    EXPECT_TRUE(iron->Child(3)->spec.SameContent(before));
    EXPECT_EQ(sink.views, (std::vector<unsigned>{kHintDisplayItems, kHintOpacity, kHintMask}));
}

TEST_F(DisplayPropsTest, RestoreStatisticsGivesEachItemItsOwnColumns) {
    DisplayPropsModel m(tree, {iron, ct}, &sink);
    EXPECT_TRUE(m.StatsChecked(0));   // Ave from Iron
    EXPECT_FALSE(m.StatsChecked(4));  // N
    m.SetAllStats();
    EXPECT_EQ(ct->Child(0)->spec.statColumns, kAllStatsColumns);
    EXPECT_FALSE(m.Enabled().setAllStats);
    EXPECT_TRUE(m.Enabled().restoreStats);
    EXPECT_EQ(sink.lastStats, (std::set<TreeItemId>{iron, ct}));
    m.RestoreStats();
    EXPECT_EQ(iron->Child(0)->spec.statColumns, DispSpec::kColAve);
    EXPECT_EQ(ct->Child(0)->spec.statColumns, 0);
    EXPECT_FALSE(m.Enabled().restoreStats);
    EXPECT_EQ(sink.stats, 2);
}

TEST_F(DisplayPropsTest, BoundaryMaskEntriesAndNoneExist) {
    DisplayPropsModel m(tree, {iron}, &sink);
    EXPECT_EQ(m.MaskEntries(), (std::vector<std::string>{"<None selected>", "bound_1"}));
    EXPECT_FALSE(m.MaskChecked());
    EXPECT_FALSE(m.MaskComboEnabled());
    m.ClickMask(true);
    EXPECT_TRUE(m.MaskComboEnabled());
    EXPECT_EQ(m.MaskSelection(), 0);
    m.SelectMask(1);
    EXPECT_EQ(sink.views.back(), kHintMask);
    EXPECT_EQ(iron->Child(4)->spec.shown.maskState, 1);
    EXPECT_TRUE(m.Enabled().restoreMask);

    // Slices masked differently show the mixed entry until the list opens.
    iron->Child(0)->spec.shown.maskName = "";
    BoundaryMaskFamily::UpdateAncestorsOf(tree, {iron->Child(0)});
    DisplayPropsModel mixed(tree, {iron}, &sink);
    EXPECT_EQ(mixed.MaskEntries().front(), " ...");
    EXPECT_EQ(mixed.MaskSelection(), 0);
    mixed.MaskDropDown();
    EXPECT_EQ(mixed.MaskEntries(), (std::vector<std::string>{"<None selected>", "bound_1"}));
    EXPECT_EQ(mixed.MaskSelection(), 0);

    SampleSpec noBoundary;
    noBoundary.channels = {{0, "Iron"}};
    DisplayTree plain;
    auto s2 = MakeSample(noBoundary);
    plain.Build(*s2, "doc");
    DisplayPropsModel none(plain, {plain.Root()}, &sink);
    EXPECT_EQ(none.MaskEntries(), std::vector<std::string>{"<None exist>"});
    EXPECT_FALSE(none.MaskBoxEnabled());
    EXPECT_FALSE(none.MaskComboEnabled());
    EXPECT_TRUE(none.RoErrEnabled());
}

TEST_F(DisplayPropsTest, MaskOfADeletedChannelIsClearedForGood) {
    iron->Child(0)->spec.shown.maskState = 1;
    iron->Child(0)->spec.shown.maskName = "gone";
    DisplayPropsModel m(tree, {iron}, &sink);
    EXPECT_EQ(iron->Child(0)->spec.shown.maskName, "");
    m.Cancel();
    EXPECT_EQ(iron->Child(0)->spec.shown.maskName, "");
}

TEST_F(DisplayPropsTest, BoundariesDisableReadOnlyAndErrorControls) {
    DisplayPropsModel withBound(tree, {iron, bound->Child(2)}, &sink);
    EXPECT_FALSE(withBound.RoErrEnabled());
    withBound.SetLayerColour(2, 0x112233);
    EXPECT_TRUE(sink.views.empty());
    DisplayPropsModel root(tree, {tree.Root()}, &sink);
    EXPECT_FALSE(root.RoErrEnabled());
    DisplayPropsModel plain(tree, {iron, ct}, &sink);
    EXPECT_TRUE(plain.RoErrEnabled());
    plain.SetLayerColour(2, 0x112233);
    EXPECT_EQ(ct->Child(1)->spec.shown.displayColours[2], 0x112233u);
    EXPECT_EQ(plain.Swatch(2), (SwatchLook{false, 0x112233, "", 0}));
}

TEST_F(DisplayPropsTest, SwatchesAndTitles) {
    DisplayPropsModel m(tree, {iron, ct}, &sink);
    EXPECT_EQ(m.Swatch(0).text, " ...");  // two channels, two data colours
    EXPECT_TRUE(m.Swatch(0).face);
    m.title = "doc: Iron: Display Properties";
    EXPECT_EQ(m.DataColourTitle(), "doc: Iron: Data Colour");
    m.title = "Display Properties";
    EXPECT_EQ(m.DataColourTitle(), "Data Colour");
    ct->spec.shown.colourKind = 2;
    for (auto& s : ct->children) s->spec.shown.colourKind = 2;
    DisplayPropsModel spectrum(tree, {ct}, &sink);
    EXPECT_EQ(spectrum.Swatch(0).picture, 2);
    DisplayPropsModel both(tree, {iron, ct}, &sink);
    EXPECT_EQ(both.ColourKind(), kKindMixed);
    EXPECT_EQ(both.Swatch(0).text, " ...");
}

TEST_F(DisplayPropsTest, DataColourDialogWritesLiveAndCancelPutsBack) {
    DisplayPropsModel m(tree, {iron}, &sink);
    std::vector<unsigned> redraws;
    TreeDatcolTarget target(tree, m.Items(), [&](unsigned b) { redraws.push_back(b); });
    DatcolPropsModel d(&target, m.DataColourTitle(), m.ColourKind(),
                       {m.DisplayColours().begin(), m.DisplayColours().end()}, m.BitSpec(), m.ValueSpec(),
                       m.Spectrum());
    d.SetColourKind(kDatcolBits);
    d.SetEntry(true, 3, true, 0x0000FF, 0.5f);
    EXPECT_EQ(iron->Child(1)->spec.shown.colourKind, 1);
    EXPECT_EQ(iron->Child(1)->spec.shown.bitSpec.colours[3], 0x0000FFu);
    EXPECT_EQ(redraws, (std::vector<unsigned>{kHintColour, kHintColour}));
    // OK: the display dialog takes the final values over; kind 1 carries its own opacities.
    m.ApplyDataColour(d.Kind(), {d.SingleColour(), m.DisplayColours()[1], m.DisplayColours()[2]}, d.BitSpec(),
                      d.ValueSpec(), d.Spectrum());
    EXPECT_EQ(m.Swatch(0).picture, 1);
    EXPECT_FALSE(m.OpacityControlsEnabled());
    EXPECT_TRUE(m.Enabled().restoreColours);
    // A second Data Colour dialog cancelled puts back what it found, not the opening state.
    TreeDatcolTarget second(tree, m.Items(), nullptr);
    DatcolPropsModel d2(&second, "Data Colour", 1, {0}, d.BitSpec(), d.ValueSpec(), d.Spectrum());
    d2.SetColourKind(kDatcolSingle);
    d2.SetSingleColour(0x0A0B0C);
    EXPECT_EQ(iron->Child(0)->spec.shown.displayColours[0], 0x0A0B0Cu);
    EXPECT_EQ(iron->Child(0)->spec.shown.displayColours[1], kDefaultRoColour);
    d2.Cancel();
    EXPECT_EQ(iron->Child(0)->spec.shown.colourKind, 1);
    EXPECT_EQ(iron->spec.shown.colourKind, 1);
    EXPECT_EQ(iron->Child(0)->spec.shown.displayColours[0], 0x00FF00u + 1);
}

TEST_F(DisplayPropsTest, VanishedItemsAreDroppedNotFollowed) {
    DisplayPropsModel m(tree, {iron, ct}, &sink);
    tree.RemoveChildren(tree.Root(), iron->row, 1);
    EXPECT_TRUE(m.DropVanishedItems());
    EXPECT_EQ(m.Items(), TreeItems{ct});
    m.ClickDisplay(0, true);
    EXPECT_EQ(ct->Child(0)->spec.shown.displayItems & 1, 1);
    tree.RemoveChildren(tree.Root(), ct->row, 1);
    EXPECT_FALSE(m.DropVanishedItems());
}

}  // namespace
}  // namespace zun
