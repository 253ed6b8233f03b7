#include <gtest/gtest.h>

#include <functional>

#include "model/rulelist.h"

#include "tools/mapchannel.h"
#include "valuetoolsfixture.h"

namespace zun {
namespace {

using Lines = std::vector<std::string>;

MapRow Row(int action, int kind, std::int64_t i = 0, float f = 0.0f) {
    return MapRow{action, kind, i, f};
}

TEST(MapWord, ReplaceKinds) {
    using S = MapDataSpec;
    // Raw constants replace the whole word; out-of-range constants clamp instead of wrapping.
    EXPECT_EQ(MapWord(Row(S::kReplace, S::kRawConst, 16383), S::kRaw, 0, 0xC005), 16383);
    EXPECT_EQ(MapWord(Row(S::kReplace, S::kRawConst, -1), S::kRaw, 0, 7), 0);
    EXPECT_EQ(MapWord(Row(S::kReplace, S::kRawConst, 20000), S::kRaw, 0, 7), 16383);
    // A normalised constant sets the value bits and keeps the flags.
    EXPECT_EQ(MapWord(Row(S::kReplace, S::kNormConst, 0, 0.5f), S::kRaw, 0, 0x4000), 0x4000 | 8192);
    EXPECT_EQ(MapWord(Row(S::kReplace, S::kNormConst, 0, 3.0f), S::kRaw, 0, 0x8000), 0x8000 | 16383);
    // Raw input: r is the whole word; 2 x 10000 clamps to 16383 (not 3616).
    EXPECT_EQ(MapWord(Row(S::kReplace, S::kInputTimes, 2), S::kRaw, 10000, 0), 16383);
    EXPECT_EQ(MapWord(Row(S::kReplace, S::kInputTimes, 2), S::kRaw, 100, 0xC000), 200);
    EXPECT_EQ(MapWord(Row(S::kReplace, S::kInputPlus, -50), S::kRaw, 20, 0), 0);
    // Normalised input: value bits from constant * x, saturated at 1.0, flags of the output kept.
    EXPECT_EQ(MapWord(Row(S::kReplace, S::kInputTimes, 0, 2.0f), S::kNormalised, 12000, 0x4000),
              0x4000 | 16383);
    EXPECT_EQ(MapWord(Row(S::kReplace, S::kInputPlus, 0, -1.0f), S::kNormalised, 12000, 0x8000 | 5), 0x8000);
    EXPECT_EQ(MapWord(Row(S::kDoNothing, S::kRawConst, 5), S::kRaw, 1, 0x4321), 0x4321);
}

TEST(MapWord, CombiningActionsIgnoreTheConstant) {
    using S = MapDataSpec;
    EXPECT_EQ(MapWord(Row(S::kOrExisting, S::kRawConst, 5), S::kRaw, 0, 100), 16383);
    EXPECT_EQ(MapWord(Row(S::kAndExisting, S::kRawConst, 5), S::kRaw, 0, 0xC000 | 100), 100);
    EXPECT_EQ(MapWord(Row(S::kAddToExisting, S::kRawConst, 5), S::kRaw, 300, 100), 400);
    EXPECT_EQ(MapWord(Row(S::kAddToExisting, S::kRawConst, 5), S::kRaw, 16000, 1000), 16383);
    // Normalised unit: the output's value bits only, so AND keeps the value and drops the flags.
    EXPECT_EQ(MapWord(Row(S::kAndExisting, S::kNormConst), S::kNormalised, 0, 0xC000 | 100), 100);
    EXPECT_EQ(MapWord(Row(S::kAddToExisting, S::kNormConst), S::kNormalised, 0x4000 | 300, 0x8000 | 100),
              400);
}

struct MapFixture : ValueToolsFixture {
    MapDataSpec spec;
    MapFixture() {
        imtype* ct = Words("ct");
        const std::vector<imtype> v{0, 0x4000, 1, 8192, 16383, 0, 300, 12000};
        for (std::int64_t i = 0; i < Count(); ++i) ct[i] = v[static_cast<std::size_t>(i) % v.size()];
        for (std::int64_t i = 0; i < Count(); ++i) Words("B")[i] = 0x4000 | 55;
        spec.inputChannel = Index("ct");
        spec.outputChannel = Index("B");
    }
    std::vector<imtype> Out() { return {Words("B"), Words("B") + Count()}; }
};

TEST(MapChannel, RawRuleMarksWholeWordZero) {
    MapFixture f;
    f.spec.ruleText[0] = "0";
    f.spec.matchValue[0] = "16383";
    f.spec.elseAction = MapDataSpec::kReplace;
    f.spec.elseValue[0] = "0";
    MapChannelData m(f.doc, f.spec);
    EXPECT_EQ(m.Title(), "Map [ct] channel data to channel [B]:");
    EXPECT_EQ(m.Run(1), 0);
    const imtype* ct = f.Words("ct");
    for (std::int64_t i = 0; i < f.Count(); ++i) EXPECT_EQ(f.Words("B")[i], ct[i] == 0 ? 16383 : 0) << i;
    EXPECT_NE(f.Chan("B").note.find("Map [ct] channel data to channel [B] completed at: "),
              std::string::npos);
    EXPECT_EQ(f.hints.Take(), (Lines{"6", "2 Stats 0 all"}));
    EXPECT_TRUE(f.doc.IsModified());
}

TEST(MapChannel, BoundaryAllModeAndNoRules) {
    MapFixture f;
    for (std::int64_t i = 0; i < f.Count(); ++i) f.Words("edge")[i] = i < 12 ? 16383 : 0;
    f.spec.ruleText[1] = "";
    f.spec.inputUnit = MapDataSpec::kNormalised;
    f.spec.anyOrAll = 1;  // no rules: every voxel matches
    f.spec.matchKind = MapDataSpec::kNormConst;
    f.spec.matchValue[1] = "0.25";
    f.spec.elseAction = MapDataSpec::kReplace;
    f.spec.boundary = 1;
    MapChannelData m(f.doc, f.spec);
    EXPECT_EQ(m.BoundaryChoices(), (Lines{"None", "edge"}));
    EXPECT_EQ(m.Run(2), 0);
    EXPECT_EQ(f.Messages(), (Lines{"Input channel data undefined. Nothing to map."}));
    for (std::int64_t i = 0; i < f.Count(); ++i)
        EXPECT_EQ(f.Words("B")[i], i < 12 ? 0x4000 | 4096 : 0x4000 | 55);
    EXPECT_EQ(f.spec.matchValue[1], "0.25");  // written back on success
}

TEST(MapChannel, RefusalsAndParseErrorsWriteNothing) {
    MapFixture f;
    const auto before = f.Out();
    f.spec.matchAction = MapDataSpec::kOrExisting;
    f.spec.matchKind = MapDataSpec::kInputTimes;
    f.spec.elseAction = MapDataSpec::kAddToExisting;
    f.spec.elseKind = MapDataSpec::kInputPlus;
    MapChannelData m(f.doc, f.spec);
    EXPECT_EQ(m.Run(), 8);  // the else row's code wins
    EXPECT_EQ(f.Messages(), (Lines{"Invalid output channel or other values (8 ,3, 3)."}));
    EXPECT_TRUE(f.hints.Take().empty());

    MapDataSpec bad = f.spec;
    bad.matchAction = bad.elseAction = MapDataSpec::kReplace;
    bad.ruleText[0] = "5--7";
    MapChannelData p(f.doc, bad);
    const int code = p.Run();
    EXPECT_GT(code, 0);
    EXPECT_EQ(f.Messages().back(),
              "Error (" + std::to_string(code) + ") in defining input channel data value.");
    EXPECT_EQ(f.Out(), before);
    EXPECT_NE(f.Chan("B").note.find("finished with return code (" + std::to_string(code) + ") at: "),
              std::string::npos);
    EXPECT_EQ(bad.ruleText[0], "5--7");  // the caller's record keeps its text
    EXPECT_FALSE(f.doc.IsModified());

    // A run on the document's worker: the map is refused before it touches a voxel.
    MapDataSpec good = f.spec;
    good.matchAction = good.elseAction = MapDataSpec::kReplace;
    good.matchKind = good.elseKind = MapDataSpec::kRawConst;
    f.doc.GetModel().SetState(kRunning, true, "running");
    f.Messages();
    MapChannelData busy(f.doc, good);
    EXPECT_NE(busy.Run(), 0);
    EXPECT_EQ(f.Messages(), (Lines{"Computation in progress."}));
    EXPECT_EQ(f.Out(), before);
    f.doc.GetModel().SetState(kStopped, true, "stopped");
}

// A rule or value with no number in it, which would be read as 0, and a mapping where every row a
// voxel can take is "Do nothing", are refused with the tool's message before anything changes:
// the output, its note, the views, the caller's settings and the texts as typed all stay.
TEST(MapChannel, UnreadableRulesAndValuesAndNothingToMapAreRefused) {
    struct Case {
        const char* what;
        std::function<void(MapDataSpec&)> set;
        int code;
        std::string message;
    };
    const std::string noNumber = "Error (13) in defining input channel data value.";
    const Case cases[] = {
        {"rule x", [](MapDataSpec& s) { s.ruleText[0] = "x"; }, kRuleNoNumber, noNumber},
        {"rule <<<garbage", [](MapDataSpec& s) { s.ruleText[0] = "<<<garbage"; }, kRuleNoNumber, noNumber},
        {"normalised rule", [](MapDataSpec& s) { s.inputUnit = 1, s.ruleText[1] = "0.2, -0.5"; },
         kRuleNoNumber, noNumber},
        {"match value", [](MapDataSpec& s) { s.matchValue[0] = "abc"; }, MapChannelData::kBadMatchValue,
         "Invalid output channel value \"abc\"."},
        {"else value", [](MapDataSpec& s) { s.elseValue[0] = ""; }, MapChannelData::kBadElseValue,
         "Invalid else value \"\"."},
        {"real value nan",
         [](MapDataSpec& s) { s.matchKind = MapDataSpec::kNormConst, s.matchValue[1] = "nan"; },
         MapChannelData::kBadMatchValue, "Invalid output channel value \"nan\"."},
        {"real value 1e99",
         [](MapDataSpec& s) { s.matchKind = MapDataSpec::kNormConst, s.matchValue[1] = "1e99"; },
         MapChannelData::kBadMatchValue, "Invalid output channel value \"1e99\"."},
        {"no rules, any mode",
         [](MapDataSpec& s) { s.ruleText[0] = " , ;", s.elseAction = MapDataSpec::kDoNothing; }, kRuleEmpty,
         mapmsg::kNoRules},
        {"no rules, all mode",
         [](MapDataSpec& s) { s.ruleText[0] = "", s.anyOrAll = 1, s.matchAction = MapDataSpec::kDoNothing; },
         kRuleEmpty, mapmsg::kNoRules},
        // With rules as well: neither row can change a voxel.
        {"both rows do nothing, any mode",
         [](MapDataSpec& s) {
             s.ruleText[0] = ">=0", s.matchAction = s.elseAction = MapDataSpec::kDoNothing;
         },
         kRuleEmpty, mapmsg::kNoRules},
        {"both rows do nothing, all mode, normalised",
         [](MapDataSpec& s) {
             s.inputUnit = 1, s.anyOrAll = 1, s.matchAction = s.elseAction = MapDataSpec::kDoNothing;
         },
         kRuleEmpty, mapmsg::kNoRules},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MapFixture f;
        f.Chan("B").note = "earlier note";
        f.spec.elseAction = MapDataSpec::kReplace;
        c.set(f.spec);
        const MapDataSpec stored = f.spec;
        const auto before = f.Out();
        f.hints.Take();
        MapChannelData m(f.doc, f.spec);
        EXPECT_EQ(m.Run(1), c.code);
        EXPECT_EQ(f.Messages(), (Lines{c.message}));
        EXPECT_EQ(m.Failure(), c.message);
        EXPECT_EQ(f.Out(), before);
        EXPECT_EQ(f.Chan("B").note, "earlier note");
        EXPECT_TRUE(f.hints.Take().empty());
        EXPECT_FALSE(f.doc.IsModified());
        EXPECT_EQ(f.spec.ruleText, stored.ruleText);
        EXPECT_EQ(f.spec.matchValue, stored.matchValue);
        EXPECT_EQ(f.spec.elseValue, stored.elseValue);
        // The texts stay as typed, to be put right.
        EXPECT_EQ(m.ruleText, stored.ruleText[static_cast<std::size_t>(stored.inputUnit)]);
        const auto slot = static_cast<std::size_t>(MapDataSpec::Slot(stored.matchKind, stored.inputUnit));
        if (c.code == MapChannelData::kBadMatchValue) {
            EXPECT_EQ(m.matchText, stored.matchValue[slot]);
        }
    }

    // A value read by its leading number stays so read, and no rules with a row that acts still
    // map (every voxel takes the else row in the any mode).
    MapFixture f;
    f.spec.ruleText[0] = "";
    f.spec.elseAction = MapDataSpec::kReplace;
    f.spec.elseValue[0] = "42abc";
    MapChannelData m(f.doc, f.spec);
    EXPECT_EQ(m.Run(1), 0);
    EXPECT_EQ(f.Messages(), (Lines{mapmsg::kNoRules}));
    EXPECT_EQ(f.Out(), std::vector<imtype>(f.Out().size(), 42));
    EXPECT_EQ(f.spec.elseValue[0], "42");
}

TEST(MapChannel, TextsFollowUnitAndKindUntilARunSucceeds) {
    MapFixture f;
    f.spec.inputChannel = 99;  // a missing input reads 0
    f.spec.elseAction = 9;     // outside the list: "replace"
    MapChannelData m(f.doc, f.spec);
    EXPECT_EQ(m.spec.elseAction, 0);
    EXPECT_EQ(m.ruleText, "<2, 4, 5, 8-20, >=100");
    m.ruleText = "1";
    m.SetUnit(1);
    EXPECT_EQ(m.ruleText, "<0.05, 0.1-0.3, 0.32, 0.35, 0.7-0.8, >=0.9");
    m.SetUnit(0);
    EXPECT_EQ(m.ruleText, "<2, 4, 5, 8-20, >=100");
    m.SetKind(true, MapDataSpec::kInputPlus);
    EXPECT_EQ(m.matchText, "0");
    m.matchText = "12.7";
    EXPECT_EQ(m.Run(1), 0);
    EXPECT_EQ(f.spec.matchValue[4], "12");  // an integer slot
    EXPECT_EQ(f.spec.ruleText[0], "<2, 4, 5, 8-20, >=100");
    EXPECT_EQ(f.Words("B")[0], 12);  // input 0 matches "<2"
}

}  // namespace
}  // namespace zun
