// The composition methods' parameter sheets without windows: every field to and from the
// parameter set, the General pages' checks in their order, the shell pages that follow the
// neighbour range, and the symmetric interaction grids.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "setup/methodsheet.h"
#include "setup/setupmessages.h"
#include "setupdoc.h"
#include "testfiles.h"

namespace zun {
namespace {

using test::SetupDoc;

float Plane(const Params::ShellTable& t, int shell, int r, int c) {
    const int n = static_cast<int>(std::lround(std::sqrt(double(t[shell].size()))));
    return t[shell][static_cast<std::size_t>(r) * n + c];
}

TEST(MethodSettings, LinearBlockCarriesEveryFieldBothWays) {
    SetupDoc d;
    Params& p = d.P();
    ASSERT_EQ(CompositionsOf(p), 3);
    ASSERT_EQ(p.ctChannelCount, 2);
    p.linearIterations = 7;
    p.linearVoxelsPerThread = 1234;
    p.randomSeed = -5;
    p.minimiseCtError = true;
    p.ctDataSetWeights = {99.0f, 2.5f, 3.5f};  // slot 0 belongs to no CT channel
    p.minimiseSelfEnergy = true;
    p.linearObjectiveWeights = {0.25f, 0.5f, 0.75f};
    p.interactWithPreviousState = false;
    p.linearNeighbourRange = 2;
    p.linearInteractionEnergy[3][1 * 3 + 2] = 4.5f;

    LinearOptSettings s(3, 2);
    s.LoadFromParams(p);
    EXPECT_EQ(s.iterations, 7);
    EXPECT_EQ(s.maxUninterruptible, 1234u);
    EXPECT_EQ(s.randomSeed, -5);
    EXPECT_TRUE(s.minimiseCtError);
    EXPECT_EQ(s.ctWeights, (std::vector<float>{2.5f, 3.5f}));
    EXPECT_EQ(s.selfEnergies, (std::vector<float>{0.25f, 0.5f, 0.75f}));
    EXPECT_FALSE(s.interactWithPrevious);
    EXPECT_EQ(s.neighbourRange, 2);
    EXPECT_EQ(s.interactionEnergies[3](1, 2), 4.5f);

    Params q = p;
    q.ctDataSetWeights = {99.0f, 0, 0};
    q.linearInteractionEnergy[3][5] = 0;
    s.StoreToParams(q);
    EXPECT_EQ(q.ctDataSetWeights, p.ctDataSetWeights);
    EXPECT_EQ(q.linearInteractionEnergy[3], p.linearInteractionEnergy[3]);
}

TEST(MethodSettings, NonlinearExponentsNarrowToFloat) {
    SetupDoc d;
    Params& p = d.P();
    p.nonlinearNeighbourRange = 3;
    p.nonlinearQ = 250.0;
    p.nonlinearIterations = 2.5f;
    p.nonlinearMaxExpValue = 12.0;
    p.gridSize = 9;
    p.attenuationErrorExponent = 0.1f;
    p.interactionExponent = 1.75f;
    p.nonlinearVoxelsPerThread = 77;
    p.nonlinearSearchMethods = 3;
    p.nonlinearSelfEnergy = {1, 2, 3};
    NonlinearOptSettings s(3);
    s.LoadFromParams(p);
    EXPECT_EQ(s.ctErrorExponent, double(0.1f));  // widened exactly
    s.ctErrorExponent = 0.1;                     // a double the float cannot hold
    Params q = d.P();
    q.nonlinearSelfEnergy = {0, 0, 0};
    s.StoreToParams(q);
    EXPECT_EQ(q.attenuationErrorExponent, 0.1f);
    EXPECT_EQ(q.nonlinearQ, 250.0);
    EXPECT_EQ(q.nonlinearIterations, 2.5f);
    EXPECT_EQ(q.gridSize, 9);
    EXPECT_EQ(q.nonlinearVoxelsPerThread, 77);
    EXPECT_EQ(q.nonlinearSearchMethods, 3);
    EXPECT_EQ(q.nonlinearSelfEnergy, p.nonlinearSelfEnergy);
    EXPECT_EQ(q.nonlinearNeighbourRange, 3);
}

TEST(MethodSettings, SegmentationCtTablesCountFromOneAndShellsFromNearest) {
    SetupDoc d;
    Params& p = d.P();
    p.dlsZeroOffset[2][2] = 0.5f;  // composition 2, second CT channel
    p.dlsMultiplier[1][1] = 3.0f;  // composition 1, first CT channel
    p.ctChannelUsed = {true, true, false};
    p.dlsNeighbourRange = 2;
    p.dlsInterfacialEnergy[1][0 * 3 + 1] = 6.0f;  // plane 1 = the nearest neighbours
    SegmentationSettings s(3, 2);
    s.LoadFromParams(p);
    EXPECT_EQ(s.ctCoefficients(2, 2), 0.5f);
    EXPECT_EQ(s.ctCoefficients(1, 1), 3.0f);
    EXPECT_EQ(s.ctSelected, (std::vector<bool>{true, false}));
    EXPECT_EQ(s.interactionEnergies[0](0, 1), 6.0f);

    Params q = d.P();
    q.dlsZeroOffset[2][2] = 0;
    q.dlsMultiplier[1][1] = 1;
    q.ctChannelUsed = {true, true, true};
    q.dlsInterfacialEnergy[1][1] = 0;
    s.StoreToParams(q);
    EXPECT_EQ(q.dlsZeroOffset, p.dlsZeroOffset);
    EXPECT_EQ(q.dlsMultiplier, p.dlsMultiplier);
    EXPECT_EQ(q.ctChannelUsed, p.ctChannelUsed);
    EXPECT_EQ(q.dlsInterfacialEnergy[1], p.dlsInterfacialEnergy[1]);
    EXPECT_EQ(q.dlsNeighbourRange, 2);
}

// A sheet built and applied without any edit (the remote road) stores what it loaded.
TEST(MethodSheet, UnchangedSheetsStoreTheSettingsAsTheyWere) {
    SetupDoc d;
    for (SheetKind k : {SheetKind::Segmentation, SheetKind::Linear, SheetKind::Nonlinear}) {
        const Params before = d.P();
        auto sheet = MakeMethodSheet(k, d.P());
        EXPECT_EQ(sheet->ApplyOrRevert(), 1) << sheet->Message();
        const Params& p = d.P();
        EXPECT_EQ(p.linearInteractionEnergy, before.linearInteractionEnergy);
        EXPECT_EQ(p.nonlinearInteractionEnergy, before.nonlinearInteractionEnergy);
        EXPECT_EQ(p.dlsInterfacialEnergy, before.dlsInterfacialEnergy);
        EXPECT_EQ(p.dlsZeroOffset, before.dlsZeroOffset);
        EXPECT_EQ(p.ctDataSetWeights, before.ctDataSetWeights);
        EXPECT_EQ(p.linearIterations, before.linearIterations);
        EXPECT_EQ(p.gridSize, before.gridSize);
        EXPECT_EQ(p.nonlinearQ, before.nonlinearQ);
        EXPECT_EQ(p.interactWithPreviousState, before.interactWithPreviousState);
    }
}

TEST(MethodSheet, LinearEditsReachTheParameterSet) {
    SetupDoc d;
    LinearSheet s(d.P());
    EXPECT_EQ(s.Caption("phantom"), "phantom: Data Constrained Linear Optimisation Parameters");
    s.iterations = "25";
    s.uninterruptible = "4000";
    s.minimiseCtError = true;
    s.minimiseSelfEnergy = true;
    ASSERT_TRUE(s.weights.Edit(1, "7.5"));
    ASSERT_TRUE(s.selfEnergies.Edit(2, "-1"));
    s.SetRangeSelection(1);
    ASSERT_TRUE(s.Shell(1).Edit(0, 2, "1.5"));
    ASSERT_EQ(s.ApplyOrRevert(), 1);
    const Params& p = d.P();
    EXPECT_EQ(p.linearIterations, 25);
    EXPECT_EQ(p.linearVoxelsPerThread, 4000);
    EXPECT_TRUE(p.minimiseCtError);
    EXPECT_EQ(p.ctDataSetWeights[2], 7.5f);
    EXPECT_EQ(p.linearObjectiveWeights[2], -1.0f);
    EXPECT_EQ(p.linearNeighbourRange, 1);
    EXPECT_EQ(Plane(p.linearInteractionEnergy, 1, 0, 2), 1.5f);
    EXPECT_EQ(Plane(p.linearInteractionEnergy, 1, 2, 0), 1.5f);
}

TEST(MethodSheet, LinearChecksRunInOrderAndAFailureStoresNothing) {
    struct Case {
        std::string iterations, chunk, seed, message;
    };
    const std::string cap = std::string(setupmsg::kLinearUninterruptible) + "2147483647";
    const Case cases[] = {
        {"0", "5000", "-1", setupmsg::kLinearIterations},
        {"", "x", "x", setupmsg::kLinearIterations},  // the first check wins
        {"3", "4294967296", "x", cap},
        {"3", "2147483648", "1", cap},  // the parameter set keeps a signed count
        {"3", "0", "seed", setupmsg::kSeedInteger},
        // Checks the remote set-up commands share: a run must end by itself.
        {"2147483647", "0", "1", std::string(setupmsg::kLinearIterationsCap) + "10000"},
        {"10001", "0", "1", std::string(setupmsg::kLinearIterationsCap) + "10000"},
    };
    for (const Case& c : cases) {
        SetupDoc d;
        const Params before = d.P();
        LinearSheet s(d.P());
        s.iterations = c.iterations;
        s.uninterruptible = c.chunk;
        s.seed = c.seed;
        s.minimiseSelfEnergy = !before.minimiseSelfEnergy;
        EXPECT_EQ(s.ApplyOrRevert(), 0) << c.iterations;
        EXPECT_EQ(s.Message(), c.message);
        EXPECT_EQ(d.P().minimiseSelfEnergy, before.minimiseSelfEnergy);
        EXPECT_EQ(s.Edited().minimiseSelfEnergy, before.minimiseSelfEnergy);  // block reverted
    }
    {
        // A cell that scans as a real but is none refuses the sheet too.
        SetupDoc d;
        LinearSheet s(d.P());
        ASSERT_TRUE(s.Shell(0).Edit(0, 1, "nan"));
        EXPECT_EQ(s.ApplyOrRevert(), 0);
        EXPECT_EQ(s.Message(), setupmsg::kEnergyNotFinite);
    }
    SetupDoc d;
    LinearSheet s(d.P());
    s.uninterruptible = "2147483647";
    s.seed = "-7";
    s.iterations = "10000";
    EXPECT_EQ(s.ApplyOrRevert(), 1);
    EXPECT_EQ(d.P().linearVoxelsPerThread, 2147483647);
    EXPECT_EQ(d.P().randomSeed, -7);
}

TEST(MethodSheet, LinearWithoutCtChannelsKeepsTheStoredCtSwitch) {
    SetupDoc d;
    d.doc->DeleteChannels({"CT40", "CT80"}, true);
    d.P().minimiseCtError = true;
    LinearSheet s(d.P());
    EXPECT_FALSE(s.HasCt());
    EXPECT_FALSE(s.minimiseCtError);
    EXPECT_FALSE(s.WeightsShown());
    EXPECT_EQ(s.ApplyOrRevert(), 1);
    EXPECT_TRUE(d.P().minimiseCtError);
}

TEST(MethodSheet, LinearGroupsFollowTheirSwitches) {
    SetupDoc d;
    d.P().interactWithPreviousState = true;
    LinearSheet s(d.P());
    EXPECT_TRUE(s.InteractionShown());
    EXPECT_FALSE(s.IterationsShown());  // intra-voxel only
    s.SetRangeSelection(2);
    EXPECT_TRUE(s.IterationsShown());
    s.interactWithPrevious = false;
    EXPECT_FALSE(s.IterationsShown());
    EXPECT_FALSE(s.TabsVisible());
    // Hidden pages are still saved and stored.
    ASSERT_TRUE(s.Shell(2).Edit(1, 1, "8"));
    ASSERT_EQ(s.ApplyOrRevert(), 1);
    EXPECT_EQ(Plane(d.P().linearInteractionEnergy, 2, 1, 1), 8.0f);
}

std::string* NonlinearField(NonlinearSheet& s, const std::string& f) {
    return f == "q"            ? &s.q
           : f == "iterations" ? &s.iterations
           : f == "max"        ? &s.maxExpValue
           : f == "grid"       ? &s.gridSize
           : f == "inter"      ? &s.interactionExponent
           : f == "ct"         ? &s.ctErrorExponent
                               : &s.uninterruptible;
}

TEST(MethodSheet, NonlinearFieldRules) {
    struct Case {
        const char* field;
        std::string text;
        std::string message;  // empty: accepted
    };
    const Case cases[] = {
        {"q", "0", setupmsg::kQPositive},
        {"iterations", "0", setupmsg::kNonlinearIterations},
        {"iterations", "2.5", ""},
        {"max", "x", setupmsg::kMaxExpReal},
        {"grid", "2.5", setupmsg::kGridSizeInteger},
        {"grid", "-1", setupmsg::kGridSizeInteger},
        {"grid", "4294967296", setupmsg::kGridSizeInteger},
        {"grid", "15", ""},
        {"grid", "0", ""},
        // Every finite exponent is accepted; NaN and the infinities are no real number.
        {"inter", "-2", ""},
        {"inter", "0", ""},
        {"inter", "2", ""},
        {"inter", "1e30", ""},
        {"inter", "nan", setupmsg::kInteractionExponent},
        {"inter", "-inf", setupmsg::kInteractionExponent},
        {"ct", "0", ""},
        {"ct", "11", ""},
        {"ct", "-0.5", ""},
        {"ct", "inf", setupmsg::kCtErrorExponent},
        {"iterations", "10001", std::string(setupmsg::kNonlinearIterationsCap) + "10000"},
        {"iterations", "nan", setupmsg::kNonlinearIterations},
        {"max", "inf", setupmsg::kMaxExpReal},
        {"inter", "?", setupmsg::kInteractionExponent},
        {"ct", "?", setupmsg::kCtErrorExponent},
        {"chunk", "4294967295", std::string(setupmsg::kNonlinearUninterruptible) + "2147483647"},
        {"chunk", "0", ""},
    };
    for (const Case& c : cases) {
        SetupDoc d;
        NonlinearSheet s(d.P());
        *NonlinearField(s, c.field) = c.text;
        EXPECT_EQ(s.ApplyOrRevert(), c.message.empty() ? 1 : 0) << c.field << " " << c.text;
        EXPECT_EQ(s.Message(), c.message) << c.field << " " << c.text;
    }
    SetupDoc d;
    NonlinearSheet s(d.P());
    s.iterations = "2.5";
    s.interactionExponent = "-2";
    s.gridSize = "0";
    ASSERT_EQ(s.ApplyOrRevert(), 1);
    EXPECT_EQ(d.P().nonlinearIterations, 2.5f);
    EXPECT_EQ(d.P().interactionExponent, -2.0f);
    EXPECT_EQ(d.P().gridSize, 0);
}

TEST(MethodSheet, NonlinearChecksRunInTheirOrder) {
    const char* order[] = {"q", "iterations", "max", "grid", "inter", "ct", "chunk"};
    const std::string messages[] = {setupmsg::kQPositive,
                                    setupmsg::kNonlinearIterations,
                                    setupmsg::kMaxExpReal,
                                    setupmsg::kGridSizeInteger,
                                    setupmsg::kInteractionExponent,
                                    setupmsg::kCtErrorExponent,
                                    std::string(setupmsg::kNonlinearUninterruptible) + "2147483647"};
    SetupDoc d;
    const Params before = d.P();
    NonlinearSheet s(d.P());
    for (const char* f : order) *NonlinearField(s, f) = "bad";
    s.selfEnergies.Edit(0, "5");
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(s.ApplyOrRevert(), 0);
        EXPECT_EQ(s.Message(), messages[i]);
        *NonlinearField(s, order[i]) = "1";
    }
    EXPECT_EQ(d.P().nonlinearSelfEnergy, before.nonlinearSelfEnergy);
    EXPECT_EQ(s.ApplyOrRevert(), 1);
    EXPECT_EQ(d.P().nonlinearSelfEnergy[0], 5.0f);
}

TEST(MethodSheet, SearchMethodsKeepOneCheckedAndLineExcludesLagrange) {
    struct Case {
        bool before[3];
        int click;
        bool after[3];
    };
    const Case cases[] = {
        {{false, false, false}, 0, {false, true, false}},  // unchecking the only one
        {{false, false, false}, 1, {true, false, false}}, {{false, false, false}, 2, {true, false, false}},
        {{true, true, false}, 2, {true, false, true}},  // the click already checked Lagrange
        {{true, false, true}, 1, {true, true, false}},
    };
    for (const Case& c : cases) {
        bool b[3] = {c.before[0], c.before[1], c.before[2]};
        if (c.click == 2 && c.before[1]) b[2] = true;
        if (c.click == 1 && c.before[2]) b[1] = true;
        ApplySearchMethodClick(b, c.click);
        EXPECT_EQ(b[0], c.after[0]);
        EXPECT_EQ(b[1], c.after[1]);
        EXPECT_EQ(b[2], c.after[2]);
    }
    SetupDoc d;
    d.P().nonlinearSearchMethods = 0;
    NonlinearSheet s(d.P());
    EXPECT_TRUE(s.search[0]);
    s.ClickSearchMethod(0, false);
    EXPECT_TRUE(s.search[1]);
    ASSERT_EQ(s.ApplyOrRevert(), 1);
    EXPECT_EQ(d.P().nonlinearSearchMethods, 2);
}

TEST(MethodSheet, PagesFollowTheRangeAndKeepTheirEdits) {
    SetupDoc d;
    LinearSheet lin(d.P());
    EXPECT_EQ(lin.RangeEntries(),
              (std::vector<std::string>{"Intra-voxel", "Nearest neighbour", "Next-nearest neighbour",
                                        "Next-next-nearest neighbour"}));
    const int linearPages[] = {1, 2, 3, 4};
    for (int sel = 0; sel < 4; ++sel) {
        lin.SetRangeSelection(sel);
        EXPECT_EQ(lin.PagesPresent(), linearPages[sel]);
    }
    SegmentationSheet seg(d.P());
    EXPECT_EQ(seg.RangeEntries().front(), "No neighbours");
    EXPECT_EQ(seg.ShellTitle(0), "Nearest neighbour");
    const int segPages[] = {1, 1, 2, 3};  // page 0 is never removed
    for (int sel = 0; sel < 4; ++sel) {
        seg.SetRangeSelection(sel);
        EXPECT_EQ(seg.PagesPresent(), segPages[sel]);
        EXPECT_EQ(seg.TabsVisible(), sel > 0);
    }
    // A page removed by a smaller range is saved first; a larger range shows it as edited.
    ASSERT_TRUE(seg.Shell(2).Edit(0, 1, "2.25"));
    seg.SetRangeSelection(1);
    seg.SetRangeSelection(3);
    EXPECT_EQ(seg.Shell(2).Text(1, 0), "2.25");
    seg.SetRangeSelection(0);
    ASSERT_EQ(seg.ApplyOrRevert(), 1);
    EXPECT_EQ(Plane(d.P().dlsInterfacialEnergy, 3, 0, 1), 2.25f);
    EXPECT_EQ(d.P().dlsNeighbourRange, 0);
    // A stored range beyond the list selects the last entry.
    d.P().nonlinearNeighbourRange = 9;
    EXPECT_EQ(NonlinearSheet(d.P()).RangeSelection(), 3);
}

TEST(MethodSheet, InteractionGridsStaySymmetric) {
    Matrix<float> m;
    m.Resize(3, 3);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m(r, c) = float(r * 3 + c);
    ShellGrid g(3);
    g.Load(m);
    EXPECT_EQ(g.Text(2, 0), "2");  // the lower triangle mirrors the upper one
    EXPECT_TRUE(g.Edit(0, 2, "1.5"));
    EXPECT_EQ(g.Text(2, 0), "1.5");
    EXPECT_FALSE(g.Edit(2, 0, "9"));
    EXPECT_FALSE(g.Edit(1, 1, "x"));
    EXPECT_EQ(g.Text(1, 1), "4");
    g.Save(m);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) EXPECT_EQ(m(r, c), m(c, r));
}

TEST(MethodSheet, SegmentationUnselectedChannelIsReadOnlyButStored) {
    SetupDoc d;
    SegmentationSheet s(d.P());
    EXPECT_EQ(s.CtNames(), (std::vector<std::string>{"CT40", "CT80"}));
    ASSERT_TRUE(s.EditCoefficient(1, 2, "0.75"));
    EXPECT_FALSE(s.EditCoefficient(1, 0, "x"));
    s.ToggleCt(1);
    EXPECT_TRUE(s.CoefficientReadOnly(0, 2));
    EXPECT_TRUE(s.CoefficientReadOnly(0, 3));
    EXPECT_FALSE(s.EditCoefficient(1, 3, "5"));
    ASSERT_EQ(s.ApplyOrRevert(), 1);
    EXPECT_EQ(d.P().dlsZeroOffset[1][2], 0.75f);
    EXPECT_FALSE(d.P().ctChannelUsed[2]);
    EXPECT_TRUE(d.P().ctChannelUsed[1]);
}

// A sheet belongs to the channels it opened with: once the document's channels change (by a
// remote request, or in the tree while a remote sheet is shown), storing its blocks would leave
// interaction planes of the old size, which a run and the saved file read by the new counts.
TEST(MethodSheet, ASheetWhoseChannelsChangedStoresNothing) {
    const std::vector<std::pair<const char*, std::function<void(SetupDoc&)>>> changes = {
        {"composition added", [](SetupDoc& d) { d.Add(kChanComposition, "Fe"); }},
        {"composition deleted", [](SetupDoc& d) { d.doc->DeleteChannels({"Al"}, true); }},
        {"CT channel added", [](SetupDoc& d) { d.Add(kChanCt, "CT120"); }},
        {"CT channel deleted", [](SetupDoc& d) { d.doc->DeleteChannels({"CT40"}, true); }},
        // The same counts, but the rows now belong to other channels.
        {"composition replaced",
         [](SetupDoc& d) {
             d.doc->DeleteChannels({"Water"}, true);
             d.Add(kChanComposition, "Fe");
         }},
    };
    test::TempDir dir;
    for (const auto& [what, change] : changes)
        for (SheetKind k : {SheetKind::Segmentation, SheetKind::Linear, SheetKind::Nonlinear}) {
            SCOPED_TRACE(std::string(what) + ", sheet " + std::to_string(static_cast<int>(k)));
            SetupDoc d;
            auto sheet = MakeMethodSheet(k, d.P());
            change(d);
            const Params after = d.P();
            EXPECT_EQ(sheet->ApplyOrRevert(), 0);
            EXPECT_EQ(sheet->Message(), setupmsg::kChannelsChanged);
            EXPECT_EQ(d.P().linearInteractionEnergy, after.linearInteractionEnergy);
            EXPECT_EQ(d.P().nonlinearSelfEnergy, after.nonlinearSelfEnergy);
            EXPECT_EQ(d.P().dlsZeroOffset, after.dlsZeroOffset);
            EXPECT_EQ(d.P().ctDataSetWeights, after.ctDataSetWeights);
            // Applying again is refused again; the tables fit the channels, and the document saves
            // and opens again.
            EXPECT_EQ(sheet->ApplyOrRevert(), 0);
            EXPECT_NO_THROW(d.P().Validate());
            const std::string path = (dir.path / "changed.zun").string();
            ASSERT_TRUE(d.doc->OnSaveDocument(path));
            CZunDoc reopened(DocServices{&d.prompt, nullptr, nullptr});
            EXPECT_TRUE(reopened.OnOpenDocument(path));
            // A sheet opened on the new channels stores as ever.
            EXPECT_EQ(MakeMethodSheet(k, d.P())->ApplyOrRevert(), 1);
        }
    // A rename keeps every row on its channel: the sheet still stores.
    SetupDoc d;
    LinearSheet sheet(d.P());
    sheet.iterations = "7";
    ASSERT_EQ(d.doc->RenameChannel("Al", "Aluminium"), 0);
    EXPECT_EQ(sheet.ApplyOrRevert(), 1) << sheet.Message();
    EXPECT_EQ(d.P().linearIterations, 7);
}

}  // namespace
}  // namespace zun
