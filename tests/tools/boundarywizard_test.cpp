// The boundary wizard and transform without windows: the combination of the new region into the
// targets, the Apply rules, the pages' conversions and checks, and the transform's repeat and
// cancel behaviour.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>

#include "document/dochelpers.h"
#include "document/testfiles.h"
#include "platform/progress.h"
#include "tools/boundarypages.h"
#include "tools/boundarytransform.h"
#include "tools/boundarywizard.h"
#include "tools/valuetoolsfixture.h"

namespace zun {
namespace {

using Lines = std::vector<std::string>;
using WordList = std::vector<imtype>;

// Grid 8 x 6 x 4 with a second boundary "rim"; a cuboid of 4 x 2 x 2 sits at x 2..5, y 2..3, z 1..2.
struct WizardFixture : ValueToolsFixture {
    WizardFixture() : ValueToolsFixture({8, 6, 4}) {
        doc.InsertChannel(3, doc.InsertPositionLast(3), "rim");
        hints.Take();
        doc.SetModifiedFlag(false);
    }
    static bool InCuboid(std::int64_t i) {
        const std::int64_t x = i % 8, y = (i / 8) % 6, z = i / 48;
        return x >= 2 && x <= 5 && y >= 2 && y <= 3 && z >= 1 && z <= 2;
    }
    WordList Copy(const std::string& n) { return WordList(Words(n), Words(n) + Count()); }
    void Cuboid(BoundDef& d, int mode) {
        d.kind = BoundDef::kCuboid;
        d.mode = mode;
        d.cuboidSize = {4, 2, 2};
    }
};

TEST(BoundaryCombination, TruthTableKeepsFlags) {
    struct Row {
        int mode;
        bool mark;
        imtype before, after;
    };
    // Value bits only; every row is checked again under each pattern of bits 14 and 15.
    const Row table[] = {
        {BoundDef::kAssign, true, 0, 16383},
        {BoundDef::kAssign, true, 7, 16383},
        {BoundDef::kAssign, false, 16383, 0},
        {BoundDef::kAssign, false, 0, 0},
        {BoundDef::kOr, true, 0, 16383},
        {BoundDef::kOr, true, 7, 16383},
        {BoundDef::kOr, false, 7, 7},
        {BoundDef::kOr, false, 0, 0},
        {BoundDef::kAnd, true, 16383, 16383},
        {BoundDef::kAnd, true, 0, 0},
        {BoundDef::kAnd, false, 16383, 0},
        {BoundDef::kAnd, false, 7, 0},
        {BoundDef::kAnd, false, 0, 0},
        {BoundDef::kXor, true, 16383, 0},
        {BoundDef::kXor, true, 7, 0},
        {BoundDef::kXor, true, 0, 16383},
        {BoundDef::kXor, false, 16383, 16383},
        {BoundDef::kXor, false, 0, 0},
        {BoundDef::kClear, true, 16383, 0},
        {BoundDef::kClear, true, 0, 0},
        {BoundDef::kClear, false, 16383, 16383},
        {BoundDef::kClear, false, 7, 7},
    };
    for (const Row& r : table)
        for (imtype flags : {0x0000, 0x4000, 0x8000, 0xC000}) {
            EXPECT_EQ(CombineBoundaryMark(r.mode, r.mark, imtype(r.before | flags)), imtype(r.after | flags))
                << "mode " << r.mode << " mark " << r.mark << " value " << r.before << " flags " << flags;
        }
}

TEST(BoundaryCombination, SeveralTargetsGetTheSameRegion) {
    // The first target holds the marks; another keeps its flag bits; the first ends with none.
    std::vector<imtype> first = {0x4000, 0x0000, 0x4000 | 16383, 16383};
    std::vector<imtype> other = {0x8000, 0xC000 | 16383, 0x0000, 0x4000 | 16383};
    CombineBoundaryRegion(BoundDef::kXor, first.data(), {first.data(), other.data()}, 4, 2);
    EXPECT_EQ(first, (std::vector<imtype>{16383, 0, 0, 16383}));
    EXPECT_EQ(other, (std::vector<imtype>{0x8000 | 16383, 0xC000 | 16383, 16383, 0x4000 | 16383}));
}

TEST(BoundaryWizardApply, FirstAppliesThenSkipsUnchanged) {
    WizardFixture f;
    f.Cuboid(f.doc.boundDef, BoundDef::kAssign);
    BoundaryWizard w(f.doc, {"edge"});
    // Equal to the document's definition, yet the first Apply builds.
    ASSERT_EQ(w.ApplyBoundary(nullptr, nullptr), 1);
    EXPECT_EQ(w.LastOutcome(), BoundaryWizard::kBuilt);
    for (std::int64_t i = 0; i < f.Count(); ++i)
        ASSERT_EQ(f.Words("edge")[i], WizardFixture::InCuboid(i) ? 16383 : 0) << i;
    EXPECT_EQ(f.hints.Take(), (Lines{"2 ChangeBound edge"}));
    EXPECT_TRUE(f.doc.IsModified());
    EXPECT_TRUE(f.Messages().empty());

    // Unchanged: told so, no voxel and no view touched, 1 so that the pages count as applied.
    for (std::int64_t i = 0; i < f.Count(); ++i) f.Words("edge")[i] = static_cast<imtype>(i);
    const WordList before = f.Copy("edge");
    f.doc.SetModifiedFlag(false);
    ASSERT_EQ(w.ApplyBoundary(nullptr, nullptr), 1);
    EXPECT_EQ(w.LastOutcome(), BoundaryWizard::kSkipped);
    EXPECT_EQ(f.Messages(), (Lines{"Computation skipped due to parameters unchanged."}));
    EXPECT_EQ(f.Copy("edge"), before);
    EXPECT_TRUE(f.hints.Take().empty());
    EXPECT_FALSE(f.doc.IsModified());

    // A panel change (the mode) builds again.
    BoundPanelFields panel = PanelFromDefinition(w.Current());
    panel.mode = BoundDef::kOr;
    ASSERT_EQ(w.ApplyBoundary(&panel, nullptr), 1);
    EXPECT_EQ(w.LastOutcome(), BoundaryWizard::kBuilt);
    EXPECT_EQ(f.doc.boundDef.mode, BoundDef::kOr);
    for (std::int64_t i = 0; i < f.Count(); ++i)
        ASSERT_EQ(f.Words("edge")[i], WizardFixture::InCuboid(i) ? 16383 : before[std::size_t(i)]) << i;
}

TEST(BoundaryWizardApply, PanelTextsAreReadAsNumbers) {
    WizardFixture f;
    f.doc.boundDef.rotation.clear();  // as a remote command may leave it
    EXPECT_EQ(BoundaryWizard(f.doc, {"edge"}).Current().rotation.size(), 3u);
    BoundaryWizard w(f.doc, {"edge"});
    BoundPanelFields panel;
    panel.kind = BoundDef::kCuboid;
    panel.mode = 9;  // no button checked reads as the last one
    panel.rotate = true;
    panel.angles = {"12.5", "x", "-3"};
    panel.translate = true;
    panel.offsets = {"2.9", "-1.7", ""};
    w.ApplyBoundary(&panel, nullptr);
    const BoundDef& d = w.Current();
    EXPECT_EQ(d.mode, BoundDef::kClear);
    EXPECT_EQ(d.rotation, (std::vector<float>{12.5f, 0.0f, -3.0f}));
    EXPECT_EQ(d.translation, (std::vector<std::int32_t>{2, -1, 0}));
    EXPECT_EQ(PanelFromDefinition(d).angles[0], "12.5");
}

// Numbers that are none would reach the builders' integer conversions: the panel's texts, a
// definition holding one (from a file or the remote road), and the transform's fields are all
// refused with a message before any voxel or stored parameter changes.
TEST(BoundaryWizardApply, NonFiniteNumbersAreRefusedBeforeAnythingChanges) {
    WizardFixture f;
    f.Cuboid(f.doc.boundDef, BoundDef::kAssign);
    const BoundDef kept = f.doc.boundDef;
    for (std::int64_t i = 0; i < f.Count(); ++i) f.Words("edge")[i] = (i % 3) ? 16383 : 0;
    const WordList before = f.Copy("edge");
    BoundaryWizard w(f.doc, {"edge"});
    struct Case {
        std::array<std::string, 3> angles, offsets;
        const char* message;
    };
    const Case panels[] = {
        {{"nan", "0", "0"}, {"0", "0", "0"}, "Value must be a real number"},
        {{"0", "-inf", "0"}, {"0", "0", "0"}, "Value must be a real number"},
        {{"0", "0", "1e39"}, {"0", "0", "0"}, "Value must be a real number"},
        {{"0", "0", "30"}, {"nan", "0", "0"}, "Value must be an integer"},
        {{"0", "0", "30"}, {"0", "3e9", "0"}, "Value must be an integer"},
        {{"0", "0", "30"}, {"0", "0", "-1e20"}, "Value must be an integer"},
    };
    for (const Case& c : panels) {
        BoundPanelFields panel = PanelFromDefinition(w.Current());
        panel.rotate = panel.translate = true;
        panel.angles = c.angles;
        panel.offsets = c.offsets;
        EXPECT_EQ(w.ApplyBoundary(&panel, nullptr), 0) << c.angles[0] << c.offsets[0];
        EXPECT_EQ(w.LastOutcome(), BoundaryWizard::kFailed);
        EXPECT_EQ(f.Messages().back(), c.message);
        EXPECT_EQ(w.Current().rotation, (std::vector<float>{0, 0, 0}));
        EXPECT_EQ(w.Current().translation, (std::vector<std::int32_t>{0, 0, 0}));
    }
    const float nan = std::nanf("");
    w.Current().rotate = true;
    w.Current().rotation = {0, nan, 0};
    EXPECT_EQ(w.ApplyBoundary(nullptr, nullptr), 0);
    EXPECT_EQ(f.Messages().back(), "invalid rotation angle (nan), which should be a finite number");
    w.Current().rotation = {0, 0, 0};
    w.Current().strength = INFINITY;
    EXPECT_EQ(w.ApplyBoundary(nullptr, nullptr), 0);
    EXPECT_EQ(f.Messages().back(), "invalid smoothing strength (inf), which should be a finite number");
    w.Current().strength = 0.5f;
    w.Current().normThreshold = -INFINITY;
    EXPECT_EQ(w.ApplyBoundary(nullptr, nullptr), 0);
    EXPECT_EQ(f.Messages().back(), "invalid threshold (-inf), which should be a finite number");
    EXPECT_EQ(f.Copy("edge"), before);
    EXPECT_EQ(f.doc.boundDef, kept);
    EXPECT_TRUE(f.hints.Take().empty());
    EXPECT_FALSE(f.doc.IsModified());

    // Mended, the same wizard builds.
    w.Current().normThreshold = 0.5;
    BoundPanelFields panel = PanelFromDefinition(w.Current());
    panel.angles = {"0", "0", "90"};
    panel.rotate = true;
    EXPECT_EQ(w.ApplyBoundary(&panel, nullptr), 1);
    EXPECT_EQ(w.LastOutcome(), BoundaryWizard::kBuilt);

    const TransBoundParams params = f.doc.transBoundParams;
    const WordList built = f.Copy("edge");
    f.hints.Take();
    BoundaryTransform t(f.doc, {"edge"});
    TransformFields turn;
    turn.rotate = turn.translate = true;
    turn.angles = {"0", "0", "inf"};
    EXPECT_NE(t.Apply(turn, nullptr), 0);
    EXPECT_EQ(f.Messages().back(), "Value must be a real number");
    turn.angles = {"0", "0", "0"};
    turn.offsets = {"nan", "0", "0"};
    EXPECT_NE(t.Apply(turn, nullptr), 0);
    EXPECT_EQ(f.Messages().back(), "Value must be an integer");
    EXPECT_EQ(f.Copy("edge"), built);
    EXPECT_EQ(f.doc.transBoundParams, params);
    EXPECT_EQ(t.Current(), params);
    EXPECT_TRUE(f.hints.Take().empty());
}

TEST(BoundaryWizardApply, PageErrorRevertsAndGeneratesNothing) {
    WizardFixture f;
    f.Cuboid(f.doc.boundDef, BoundDef::kAssign);
    BoundaryWizard w(f.doc, {"edge"});
    w.Current().cuboidSize = {8, 6, 4};
    w.AddPageError();
    EXPECT_EQ(w.ApplyBoundary(nullptr, nullptr), 0);
    EXPECT_EQ(w.LastOutcome(), BoundaryWizard::kReverted);
    EXPECT_EQ(w.Current(), w.Applied());
    EXPECT_EQ(w.PageErrors(), 0);
    EXPECT_EQ(f.Copy("edge"), WordList(std::size_t(f.Count()), 0));
    EXPECT_TRUE(f.hints.Take().empty());
    // The revert leaves the force flag: the next Apply still builds.
    EXPECT_EQ(w.ApplyBoundary(nullptr, nullptr), 1);
    EXPECT_EQ(w.LastOutcome(), BoundaryWizard::kBuilt);
}

TEST(BoundaryWizardApply, BuilderFailureRestoresTheDocumentsDefinition) {
    WizardFixture f;
    f.Cuboid(f.doc.boundDef, BoundDef::kAssign);
    const BoundDef kept = f.doc.boundDef;
    for (std::int64_t i = 0; i < f.Count(); ++i) f.Words("edge")[i] = (i % 3) ? 16383 : 0;
    const WordList before = f.Copy("edge");

    // The value-based kind with no contributing channel: the builder says why and fails.
    BoundaryWizard w(f.doc, {"edge", "rim"});
    w.Current().kind = BoundDef::kSample;
    w.Current().channels.clear();
    EXPECT_EQ(w.ApplyBoundary(nullptr, nullptr), 0);
    EXPECT_EQ(w.LastOutcome(), BoundaryWizard::kFailed);
    EXPECT_EQ(f.doc.boundDef, kept);
    EXPECT_EQ(f.Copy("edge"), before);
    EXPECT_EQ(f.hints.Take(), (Lines{"2"}));
    EXPECT_EQ(f.Messages().size(), 1u);
    EXPECT_FALSE(f.doc.IsModified());

    // A cancel in the progress counts as a failure too.
    w.Current().kind = BoundDef::kCuboid;
    HeadlessProgress cancel;
    cancel.Cancel();
    EXPECT_EQ(w.ApplyBoundary(nullptr, &cancel), 0);
    EXPECT_EQ(f.doc.boundDef, kept);
    EXPECT_EQ(f.Copy("edge"), before);

    // An unknown reference channel (the remote road names anything) fails with a message.
    w.Current().kind = BoundDef::kClusters;
    w.Current().referenceChannel = "nothing";
    EXPECT_EQ(w.ApplyBoundary(nullptr, nullptr), 0);
    EXPECT_EQ(f.Copy("edge"), before);
    EXPECT_NE(f.Messages().back().find("\"nothing\" does not exist"), std::string::npos);
}

TEST(BoundaryWizardApply, AndAndXorOverSeveralTargets) {
    for (int mode : {BoundDef::kAnd, BoundDef::kXor}) {
        WizardFixture f;
        for (std::int64_t i = 0; i < f.Count(); ++i) {
            f.Words("edge")[i] = (i % 2) ? 16383 : 0;
            f.Words("rim")[i] = static_cast<imtype>(((i % 3) ? 16383 : 0) | ((i % 5) ? 0 : 0xC000));
        }
        const WordList edge = f.Copy("edge"), rim = f.Copy("rim");
        BoundaryWizard w(f.doc, {"edge", "rim"});
        f.Cuboid(w.Current(), mode);
        ASSERT_EQ(w.ApplyBoundary(nullptr, nullptr), 1);
        EXPECT_EQ(f.hints.Take(), (Lines{"2 ChangeBound edge rim"}));
        for (std::int64_t i = 0; i < f.Count(); ++i) {
            const bool in = WizardFixture::InCuboid(i);
            const std::size_t k = std::size_t(i);
            auto expect = [&](imtype w0) -> imtype {
                const imtype flags = w0 & 0xC000, v = w0 & 0x3FFF;
                if (mode == BoundDef::kAnd) return in ? w0 : flags;
                return in ? imtype(flags | (v ? 0 : 16383)) : w0;
            };
            ASSERT_EQ(f.Words("edge")[i], expect(edge[k])) << mode << " " << i;
            ASSERT_EQ(f.Words("rim")[i], expect(rim[k])) << mode << " " << i;
        }
    }
}

TEST(BoundaryWizardApply, ValueBasedLevelBelongsToTheAppliedDefinition) {
    // A noisy ball in a noisy void, large enough for a histogram with two peaks.
    ValueToolsFixture f({24, 24, 24});
    std::mt19937 rng(7);
    std::normal_distribution<double> noise(0.0, 300.0);
    for (std::int64_t i = 0; i < f.Count(); ++i) {
        const double x = double(i % 24) - 12, y = double((i / 24) % 24) - 12, z = double(i / 576) - 12;
        const double v = (x * x + y * y + z * z <= 64 ? 9000 : 1000) + noise(rng);
        f.Words("ct")[i] = static_cast<imtype>(std::clamp(v, 0.0, 16383.0));
    }
    BoundaryWizard w(f.doc, {"edge"});
    w.Current().kind = BoundDef::kSample;
    w.Current().channels = {"ct"};
    ASSERT_EQ(w.ApplyBoundary(nullptr, nullptr), 1) << ::testing::PrintToString(f.Messages());
    EXPECT_EQ(w.LastOutcome(), BoundaryWizard::kBuilt);
    EXPECT_GT(w.Applied().threshold, 1000);
    EXPECT_LT(w.Applied().threshold, 9000);
    EXPECT_EQ(f.doc.boundDef, w.Applied());
    EXPECT_EQ(f.Words("edge")[12 * 576 + 12 * 24 + 12], 16383);
    EXPECT_EQ(f.Words("edge")[0], 0);
    EXPECT_EQ(w.ApplyBoundary(nullptr, nullptr), 1);
    EXPECT_EQ(w.LastOutcome(), BoundaryWizard::kSkipped);
}

TEST(BoundaryWizardApply, HeadlessBuildMatchesTheWizard) {
    WizardFixture a, b;
    for (WizardFixture* f : {&a, &b}) {
        for (std::int64_t i = 0; i < f->Count(); ++i) f->Words("rim")[i] = (i % 4) ? 16383 : 0;
        f->Cuboid(f->doc.boundDef, BoundDef::kXor);
        f->doc.boundDef.rotate = true;
        f->doc.boundDef.rotation = {0, 0, 90};
    }
    BoundaryWizard w(a.doc, {"edge", "rim"});
    ASSERT_EQ(w.ApplyBoundary(nullptr, nullptr), 1);
    ASSERT_EQ(BuildBoundaryFromDocument(b.doc, {"edge", "rim"}, nullptr), 0);
    EXPECT_EQ(a.Copy("edge"), b.Copy("edge"));
    EXPECT_EQ(a.Copy("rim"), b.Copy("rim"));
    EXPECT_EQ(b.hints.Take(), (Lines{"2 ChangeBound edge rim"}));
    EXPECT_TRUE(b.doc.IsModified());

    EXPECT_EQ(BuildBoundaryFromDocument(b.doc, {}, nullptr), -1);
    EXPECT_EQ(BuildBoundaryFromDocument(b.doc, {"edge", "ct"}, nullptr), -1);
    EXPECT_EQ(BuildBoundaryFromDocument(b.doc, {"gone"}, nullptr), -1);
    b.doc.boundDef.kind = BoundDef::kSample;
    b.doc.boundDef.channels.clear();
    EXPECT_EQ(BuildBoundaryFromDocument(b.doc, {"edge"}, nullptr), 1);
    EXPECT_EQ(a.Copy("edge"), b.Copy("edge"));
}

// The build's progress lets events through, on the wizard's road as on the remote one: a save
// meanwhile would store the boundary half built, so it is refused until the build has ended.
TEST(BoundaryWizardApply, TheDocumentIsNotSavedWhileTheBuildRuns) {
    WizardFixture f;
    TempDir dir;
    const std::string path = dir.File("during.zun");
    f.Cuboid(f.doc.boundDef, BoundDef::kAssign);
    struct SaveMeanwhile : ProgressSink {
        SaveMeanwhile(CZunDoc& d, std::string p) : doc(d), path(std::move(p)) {}
        void SetText(const std::string&) override {}
        void SetPos(int) override { Try(); }
        bool SetProgress(int) override {
            Try();
            return false;
        }
        void Try() {
            ++tries;
            work = doc.RunningWork();
            saved = saved || doc.OnSaveDocument(path);
        }
        CZunDoc& doc;
        std::string path, work;
        int tries = 0;
        bool saved = false;
    } meanwhile(f.doc, path);
    BoundaryWizard w(f.doc, {"edge"});
    ASSERT_EQ(w.ApplyBoundary(nullptr, &meanwhile), 1);
    EXPECT_EQ(w.LastOutcome(), BoundaryWizard::kBuilt);
    ASSERT_GT(meanwhile.tries, 0);
    EXPECT_EQ(meanwhile.work, "boundary build");
    EXPECT_FALSE(meanwhile.saved);
    EXPECT_FALSE(std::filesystem::exists(path));
    const Lines told = f.Messages();
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.front(), "The document cannot be saved while its boundary build is running.");
    // Built: the document is free again and saves whole.
    EXPECT_EQ(f.doc.RunningWork(), "");
    EXPECT_TRUE(f.doc.OnSaveDocument(path));
}

TEST(BoundaryWizardText, Captions) {
    EXPECT_EQ(BoundaryToolCaption("doc", {"edge"}, "Build"), "doc: edge: Build");
    EXPECT_EQ(BoundaryToolCaption("doc", {"edge", "rim"}, "Transform"),
              "doc: Multiple Boundaries: Transform");
}

// ---- pages

TEST(BoundaryClusterPage, OpeningChoosesTheReference) {
    WizardFixture f;
    ClusterBoundaryPage page(f.doc.GetSample(), "edge");
    EXPECT_EQ(page.Rows(), (Lines{"Void", "A", "B", "ct", "rim"}));
    BoundDef d;
    // With a CT channel: the row after the compositions.
    ClusterPageFields fields = page.Open(d);
    EXPECT_EQ(fields.row, 3);
    EXPECT_EQ(fields.threshold, "0.5");
    EXPECT_EQ(fields.label, "channel threshold (0.0 - 1.0)");
    EXPECT_EQ(fields.lowRule, ">1");
    EXPECT_EQ(fields.highRule, "1");
    d.referenceChannel = "missing";
    EXPECT_EQ(page.Open(d).row, -1);

    // Physical unit, stored reference not listed: the physical text becomes the mid-range.
    d.referenceChannel.clear();
    d.valueType = BoundDef::kPhysical;
    fields = page.Open(d);
    EXPECT_EQ(d.thresholdText[2], "1.000000");
    EXPECT_EQ(fields.threshold, "1.000000");
    EXPECT_EQ(fields.label, "channel threshold (0.0 - 2.0)");

    // Without CT channels: the last composition.
    WizardFixture g;
    g.doc.DeleteChannels({"ct"}, true);
    ClusterBoundaryPage noCt(g.doc.GetSample(), "edge");
    BoundDef e;
    EXPECT_EQ(noCt.Open(e).row, 2);
}

TEST(BoundaryClusterPage, UnitsAndMidRange) {
    WizardFixture f;
    f.Chan("ct").range = {-0.3f, 1.1234567f};
    ClusterBoundaryPage page(f.doc.GetSample(), "edge");
    BoundDef d;
    ClusterPageFields fields = page.Open(d);
    std::string label;
    EXPECT_DOUBLE_EQ(page.MidRange(3, &label), 0.411728);
    EXPECT_EQ(label, "channel threshold (-0.3 - 1.123457)");
    EXPECT_EQ(page.MidRange(-1), 0.0);

    page.OnUnitChanged(d, fields, BoundDef::kRaw);
    EXPECT_EQ(fields.threshold, "8192");
    EXPECT_EQ(fields.label, "channel threshold (0 - 16383)");
    // "-1" was never chosen: the physical edit shows the mid-range, the definition keeps "-1".
    page.OnUnitChanged(d, fields, BoundDef::kPhysical);
    EXPECT_EQ(fields.threshold, "0.411728");
    EXPECT_EQ(d.thresholdText[2], "-1");
    d.thresholdText[2] = "0.25";
    page.OnUnitChanged(d, fields, BoundDef::kPhysical);
    EXPECT_EQ(fields.threshold, "0.25");
    // A new reference puts its mid-range into the definition.
    fields.row = 0;
    page.OnReferenceChanged(d, fields);
    EXPECT_EQ(d.thresholdText[2], "0.500000");
    EXPECT_EQ(fields.threshold, "0.500000");
    // No channel: physical cannot be chosen.
    fields.row = -1;
    fields.unit = BoundDef::kRaw;
    page.OnUnitChanged(d, fields, BoundDef::kPhysical);
    EXPECT_EQ(fields.unit, BoundDef::kRaw);
}

TEST(BoundaryClusterPage, ReadinessChecksTheUnitsRange) {
    WizardFixture f;
    ClusterBoundaryPage page(f.doc.GetSample(), "edge");
    BoundDef d;
    ClusterPageFields fields = page.Open(d);
    bool ready = false;
    EXPECT_EQ(page.ReadyProblem(fields, &ready), "");
    EXPECT_TRUE(ready);
    fields.threshold = "1.5";
    EXPECT_EQ(page.ReadyProblem(fields, &ready), "Normalized value must be between 0.0 and 1.0");
    EXPECT_FALSE(ready);
    fields.unit = BoundDef::kRaw;
    fields.threshold = "16384";
    EXPECT_EQ(page.ReadyProblem(fields, &ready), "Raw value must be between 0 and 16383");
    fields.unit = BoundDef::kPhysical;
    fields.threshold = "2.5";
    EXPECT_EQ(page.ReadyProblem(fields, &ready), "Physical value must be between 0.000000 and 2.000000");
    fields.threshold = "2";
    page.ReadyProblem(fields, &ready);
    EXPECT_TRUE(ready);
    for (std::string ClusterPageFields::*field :
         {&ClusterPageFields::threshold, &ClusterPageFields::lowRule, &ClusterPageFields::highRule}) {
        ClusterPageFields g = fields;
        g.*field = "";
        EXPECT_EQ(page.ReadyProblem(g, &ready), "");
        EXPECT_FALSE(ready);
    }
    fields.row = -1;
    page.ReadyProblem(fields, &ready);
    EXPECT_FALSE(ready);
}

TEST(BoundaryClusterPage, StoringConvertsTheThreshold) {
    WizardFixture f;
    ClusterBoundaryPage page(f.doc.GetSample(), "edge");
    struct Case {
        int unit;
        const char* typed;
        const char* shown;
        double threshold;
    };
    const Case cases[] = {
        {BoundDef::kRaw, "8191.7", "8191", 8191 / 16383.0},
        {BoundDef::kNormalised, "0.250000", "0.25", 0.25},
        {BoundDef::kNormalised, "1", "1.0", 1.0},
        {BoundDef::kPhysical, "0.5", "0.5", 0.25},  // ct spans 0..2
    };
    for (const Case& c : cases) {
        BoundDef d;
        ClusterPageFields fields = page.Open(d);
        fields.unit = c.unit;
        fields.threshold = c.typed;
        EXPECT_EQ(page.Store(d, fields, &f.prompt), 0) << c.typed;
        EXPECT_EQ(fields.threshold, c.shown);
        EXPECT_EQ(d.thresholdText[std::size_t(c.unit)], c.shown);
        EXPECT_NEAR(d.normThreshold, c.threshold, 1e-7) << c.typed;
        EXPECT_EQ(d.referenceChannel, "ct");
        EXPECT_EQ(d.valueType, c.unit);
    }
    // A channel of one value has no width: its bottom, not a division by zero.
    f.Chan("ct").range = {1.0f, 1.0f};
    BoundDef d;
    ClusterPageFields fields = page.Open(d);
    fields.unit = BoundDef::kPhysical;
    fields.threshold = "1";
    page.Store(d, fields, nullptr);
    EXPECT_EQ(d.normThreshold, 0.0);
    EXPECT_TRUE(f.Messages().empty());
}

TEST(BoundaryClusterPage, StoringChecksTheRules) {
    WizardFixture f;
    ClusterBoundaryPage page(f.doc.GetSample(), "edge");
    BoundDef d;
    ClusterPageFields fields = page.Open(d);

    fields.lowCombine = fields.highCombine = BoundDef::kNotApplicable;
    EXPECT_EQ(page.Store(d, fields, &f.prompt), 1);
    EXPECT_EQ(f.Messages(),
              (Lines{"No channel clusters selected.\nCannot generate channel-cluster-based boundary."}));

    fields = page.Open(d);
    fields.lowCombine = BoundDef::kCombineAnd;
    fields.highCombine = BoundDef::kCombineOr;
    fields.lowRule = " ,; ,";
    fields.highRule = " >2 ; 4 - 6,,1";
    EXPECT_EQ(page.Store(d, fields, &f.prompt), 1);
    EXPECT_EQ(f.Messages(), (Lines{"Missing mapping <= rules definition"}));
    EXPECT_EQ(fields.lowRule, "");
    EXPECT_EQ(d.lowRuleText[1], "");
    EXPECT_EQ(d.lowRuleText[0], ">1");  // the other choice's text stays
    // With an error on the page the valid side is normalised but not reformatted.
    EXPECT_EQ(fields.highRule, ">2,4-6,1");

    fields.lowRule = "<=3, 5";
    fields.highRule = "2--4";
    EXPECT_EQ(page.Store(d, fields, &f.prompt), 1);
    EXPECT_EQ(f.Messages(), (Lines{"Invalid mapping >= rules definition."}));

    fields.highRule = " >2 ; 4 - 6";
    EXPECT_EQ(page.Store(d, fields, &f.prompt), 0);
    EXPECT_TRUE(f.Messages().empty());
    EXPECT_EQ(fields.highRule, d.highRuleText[0]);
    EXPECT_EQ(fields.highRule, ">2, 4-6");
}

TEST(BoundaryClusterPage, BuildsTheClustersOfTheReference) {
    WizardFixture f;
    // Two bright blocks in ct: x 0..1 and x 5..7 of every slice.
    for (std::int64_t i = 0; i < f.Count(); ++i) {
        const std::int64_t x = i % 8;
        f.Words("ct")[i] = (x <= 1 || x >= 5) ? 16000 : 100;
    }
    ClusterBoundaryPage page(f.doc.GetSample(), "edge");
    BoundaryWizard w(f.doc, {"edge"});
    ClusterPageFields fields = page.Open(w.Current());
    fields.lowCombine = BoundDef::kNotApplicable;
    fields.highRule = "1-2";  // both bright clusters
    ASSERT_EQ(page.Store(w.Current(), fields, &f.prompt), 0);
    ASSERT_EQ(w.ApplyBoundary(nullptr, nullptr), 1) << ::testing::PrintToString(f.Messages());
    for (std::int64_t i = 0; i < f.Count(); ++i)
        ASSERT_EQ(f.Words("edge")[i], f.Words("ct")[i] > 8192 ? 16383 : 0);
}

TEST(BoundaryValuePage, RowsDefaultsAndStore) {
    WizardFixture f;
    ValueBoundaryPage page(f.doc.GetSample(), f.doc.GetSample().GetChanCount(), {"edge"});
    EXPECT_EQ(page.Rows(), (Lines{"Void", "A", "B", "ct", "rim"}));
    BoundDef d;
    ValuePageFields fields = page.Open(d);
    EXPECT_EQ(fields.checks, (std::vector<bool>{false, false, false, true, false}));
    EXPECT_TRUE(ValueBoundaryPage::IsReady(fields));
    EXPECT_EQ(fields.strength, "0.5");
    fields.checks = {false, true, false, false, true};
    fields.noisePresent = false;
    fields.strength = "0.75";
    page.Store(d, fields);
    EXPECT_EQ(d.channels, (Lines{"A", "rim"}));
    EXPECT_FALSE(d.noisePresent);
    EXPECT_EQ(d.strength, 0.75f);
    EXPECT_EQ(page.Open(d).checks, fields.checks);
    fields.checks.assign(5, false);
    EXPECT_FALSE(ValueBoundaryPage::IsReady(fields));

    // Without CT channels: the compositions after the first; later channels are not listed.
    f.doc.DeleteChannels({"ct"}, true);
    ValueBoundaryPage noCt(f.doc.GetSample(), 3, {"edge"});
    EXPECT_EQ(noCt.Open(BoundDef{}).checks, (std::vector<bool>{false, true, true}));

    std::string back;
    EXPECT_TRUE(ValueBoundaryPage::CheckStrength("1", 0.5f, &back));
    EXPECT_FALSE(ValueBoundaryPage::CheckStrength("1.01", 0.5f, &back));
    EXPECT_EQ(back, "0.5");
    EXPECT_FALSE(ValueBoundaryPage::CheckStrength("abc", 0.25f, &back));
    EXPECT_EQ(back, "0.25");
    fields.voidOutside = true;
    fields.thresholdCheckOnly = true;
    EXPECT_FALSE(ValueBoundaryPage::SmoothingEnabled(fields));
}

TEST(BoundaryGeometryPages, TextsRoundTrip) {
    BoundDef d;
    StoreGeometry(BoundDef::kCuboid, {"4.9", "0", "-2"}, d);
    EXPECT_EQ(d.cuboidSize, (std::vector<std::int32_t>{4, 0, -2}));
    StoreGeometry(BoundDef::kCylinder, {"6", "3"}, d);
    StoreGeometry(BoundDef::kSphere, {"5"}, d);
    EXPECT_EQ(GeometryTexts(BoundDef::kCylinder, d), (Lines{"6", "3"}));
    EXPECT_EQ(GeometryTexts(BoundDef::kSphere, d), (Lines{"5"}));
    EXPECT_EQ(GeometryLabels(BoundDef::kCylinder), (Lines{"X-Y Diameter:", "Z Length:"}));
    // Sizes that are no finite number or beyond 32 bits are counted and leave the size as it was.
    EXPECT_EQ(StoreGeometry(BoundDef::kCuboid, {"nan", "7", "3e9"}, d), 2);
    EXPECT_EQ(d.cuboidSize, (std::vector<std::int32_t>{4, 7, -2}));
    EXPECT_EQ(StoreGeometry(BoundDef::kCylinder, {"-inf", "x"}, d), 1);
    EXPECT_EQ(GeometryTexts(BoundDef::kCylinder, d), (Lines{"6", "0"}));
}

TEST(BoundaryGeometryPages, ZeroSizeGivesAnEmptyRegion) {
    WizardFixture f;
    BoundaryWizard w(f.doc, {"edge"});
    f.Cuboid(w.Current(), BoundDef::kOr);
    w.Current().cuboidSize = {4, 0, 2};
    ASSERT_EQ(w.ApplyBoundary(nullptr, nullptr), 1);
    EXPECT_EQ(f.Copy("edge"), WordList(std::size_t(f.Count()), 0));
}

// ---- transform

TEST(BoundaryTransformApply, TwiceDoublesTheMove) {
    WizardFixture f, once;
    for (WizardFixture* g : {&f, &once}) {
        BoundaryWizard w(g->doc, {"edge", "rim"});
        g->Cuboid(w.Current(), BoundDef::kAssign);
        ASSERT_EQ(w.ApplyBoundary(nullptr, nullptr), 1);
        g->hints.Take();
    }
    TransformFields step;
    step.translate = true;
    step.offsets = {"1", "0", "-1"};
    BoundaryTransform t(f.doc, {"edge", "rim"});
    ASSERT_EQ(t.Apply(step, nullptr), 0);
    ASSERT_EQ(t.Apply(step, nullptr), 0);
    EXPECT_EQ(f.hints.Take(), (Lines{"2 ChangeBound edge rim", "2 ChangeBound edge rim"}));
    TransformFields twice = step;
    twice.offsets = {"2", "0", "-2"};
    BoundaryTransform t2(once.doc, {"edge", "rim"});
    ASSERT_EQ(t2.Apply(twice, nullptr), 0);
    EXPECT_EQ(f.Copy("edge"), once.Copy("edge"));
    EXPECT_EQ(f.Copy("rim"), once.Copy("rim"));
    // Moved, not merely kept: x 4..7 and z 0..1 now.
    EXPECT_EQ(f.Words("edge")[0 * 48 + 2 * 8 + 4], 16383);
    EXPECT_EQ(f.Words("edge")[2 * 48 + 2 * 8 + 2], 0);
    EXPECT_EQ(f.doc.transBoundParams, t.Applied());
    EXPECT_EQ(f.doc.transBoundParams.translation, (std::vector<std::int32_t>{1, 0, -1}));
    // The next opening starts from the last parameters.
    EXPECT_EQ(FieldsFromParams(BoundaryTransform(f.doc, {"edge"}).Current()).offsets[0], "1");
}

TEST(BoundaryTransformApply, NothingOnStillTellsTheViews) {
    WizardFixture f;
    BoundaryWizard w(f.doc, {"edge"});
    f.Cuboid(w.Current(), BoundDef::kAssign);
    w.ApplyBoundary(nullptr, nullptr);
    f.hints.Take();
    const WordList before = f.Copy("edge");
    f.doc.SetModifiedFlag(false);
    BoundaryTransform t(f.doc, {"edge"});
    EXPECT_EQ(t.Apply(TransformFields{}, nullptr), 0);
    EXPECT_EQ(f.Copy("edge"), before);
    EXPECT_EQ(f.hints.Take(), (Lines{"2 ChangeBound edge"}));
    EXPECT_TRUE(f.doc.IsModified());
}

TEST(BoundaryTransformApply, CancelRestoresExactly) {
    WizardFixture f;
    BoundaryWizard w(f.doc, {"edge"});
    f.Cuboid(w.Current(), BoundDef::kAssign);
    w.ApplyBoundary(nullptr, nullptr);
    for (std::int64_t i = 0; i < f.Count(); ++i) f.Words("rim")[i] = (i % 3) ? 16383 : 0;
    const WordList edge = f.Copy("edge"), rim = f.Copy("rim");
    f.hints.Take();
    const TransBoundParams kept = f.doc.transBoundParams;

    BoundaryTransform t(f.doc, {"edge", "rim"});
    TransformFields turn;
    turn.rotate = true;
    turn.angles = {"0", "0", "45"};
    turn.translate = true;
    turn.offsets = {"1", "1", "0"};
    HeadlessProgress progress;
    progress.CancelAtCall(2);
    EXPECT_NE(t.Apply(turn, &progress), 0);
    EXPECT_EQ(f.Copy("edge"), edge);
    EXPECT_EQ(f.Copy("rim"), rim);
    EXPECT_EQ(f.Messages(), (Lines{"Operation not completed"}));
    EXPECT_EQ(f.doc.transBoundParams, kept);
    EXPECT_EQ(f.hints.Take(), (Lines{"2"}));
    EXPECT_EQ(progress.Text(), "Transforming Boundary Data");
}

}  // namespace
}  // namespace zun
