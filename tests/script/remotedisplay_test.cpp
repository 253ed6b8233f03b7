// The remote commands of the display state, the mapping tool, the set-up and the outputs, over a
// loopback link against plain documents with a tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>

#include "document/testfiles.h"
#include "model/channelrules.h"
#include "model/rulelist.h"
#include "platform/bytestream.h"
#include "remotefixture.h"
#include "setup/setupmessages.h"
#include "tools/mapchannel.h"
#include "tree/displaystate.h"
#include "tree/sliceexport.h"
#include "view3d/imageexportoptions.h"
#include "view3d/web3dtexts.h"

namespace zun {
namespace {

// Compositions Void and Water, CT "ct", boundary "b" on a 4 x 3 x 2 grid, with a tree.
struct Shown : Remote {
    CZunDoc* doc = nullptr;
    DisplayTree* tree = nullptr;
    Shown() : Remote(true) {
        host.NewDocument();
        doc = host.active;
        doc->SetTitle("Doc");
        EXPECT_EQ(Ask("A:insertchannels@@Water;0#ct;1#b;3"), "A:OK");
        EXPECT_EQ(Ask("B:setupgrids@@4@3@2@0@0@0@1@1@1"), "B:OK");
        tree = &host.BuildTree(*doc);
    }
    ~Shown() { server.CloseCommandWindows(); }
    TreeNode* Item(const char* name) { return tree->FindChannel(name); }
    // What a request answers, its EXTEND and progress included (Ask reads up to the final reply).
    std::string AskLong(const std::string& request) { return Ask(request); }
};

// Sends a request and reads its replies until as many bytes as the expected ones have come.
std::string Replied(Remote& r, const std::string& request, const std::string& expected) {
    r.Request(request);
    EXPECT_TRUE(r.PumpUntilHanded(r.handed.size() + 1)) << request;
    return r.ReadReply(expected);
}

TEST(RemoteCommands, EveryCommandWithEmptyWordsAnswersOnceAndFinally) {
    Shown r;
    for (const RemoteCommandEntry& e : r.interpreter.Commands()) {
        const std::string word = e.word;
        if (word == "disconnect") continue;
        EXPECT_TRUE(static_cast<bool>(e.handler)) << word;
        std::string request = word;
        for (int i = 1; i < e.wordCount; ++i) request += "@";
        const std::string reply = r.AskLong("T:" + request);
        EXPECT_TRUE(std::regex_match(
            reply, std::regex("(T:EXTEND:[0-9]+)?(T:WORK:[0-9]+)*T:(OK|OK:[^:]*|ERROR:Command '" + word +
                              "' - [^:]*)")))
            << reply;
    }
    // A second answer to any of them would come before this one.
    EXPECT_EQ(r.Ask("U:hello"), "U:hello");
}

TEST(RemoteDisplayCommands, ChannelCommandsChangeTheChannelItem) {
    Shown r;
    TreeNode* water = r.Item("Water");
    ASSERT_NE(water, nullptr);
    const std::int32_t before = DisplayItemsFamily::GetOfItems({water});
    // Item 7 is the data bit.
    EXPECT_EQ(r.Ask("C:displayprop-chan-display@@1@7@0@1"), "C:OK");
    EXPECT_EQ(DisplayItemsFamily::GetOfItems({water}), before & ~1);
    EXPECT_EQ(r.Ask("D:displayprop-chan-display@@1@2@1@0"), "D:OK");
    EXPECT_EQ(DisplayItemsFamily::GetOfItems({water}) & 4, 4);
    EXPECT_EQ(r.host.log.viewBits, (std::vector<unsigned>{8}));

    // Index 5 counts as 0 (bit 4); index 2 is bit 2.
    StatsItemsFamily::SetOfItems(*r.tree, {water}, 0);
    EXPECT_EQ(r.Ask("E:displayprop-chan-stats@@1@5@1@0"), "E:OK");
    EXPECT_EQ(r.Ask("F:displayprop-chan-stats@@1@2@1@1"), "F:OK");
    EXPECT_EQ(StatsItemsFamily::GetOfItems({water}), 4 | 2);
    EXPECT_EQ(r.host.log.statsUpdates.size(), 1u);

    EXPECT_EQ(r.Ask("G:displayprop-chan-boundary@@1@9@1@0"),
              "G:ERROR:Command 'displayprop-chan-boundary' - invalid boundary channel index");
    // Only a boundary channel masks, as in the dialog.
    EXPECT_EQ(r.Ask("G:displayprop-chan-boundary@@1@2@1@0"),
              "G:ERROR:Command 'displayprop-chan-boundary' - invalid boundary channel index");
    EXPECT_EQ(r.Ask("H:displayprop-chan-boundary@@1@3@1@1"), "H:OK");
    EXPECT_EQ(BoundaryMaskFamily::GetOfItems({water}), (BoundaryMaskValue{1, "b"}));
    EXPECT_EQ(r.Ask("I:displayprop-chan-boundary@@1@99@0@0"), "I:OK");
    EXPECT_EQ(BoundaryMaskFamily::GetOfItems({water}).state, 0);

    EXPECT_EQ(r.Ask("J:displayprop-chan-colourdata@@1@0@1@255"), "J:OK");
    EXPECT_EQ(ColourKindFamily::GetOfItems({water}), 0);
    EXPECT_EQ(DataColourFamily::GetOfItems({water})[0], 255u);
    EXPECT_EQ(r.Ask("K:displayprop-chan-colourdata@@1@2@0@0"), "K:OK");
    EXPECT_EQ(ColourKindFamily::GetOfItems({water}), 2);

    EXPECT_EQ(r.Ask("L:displayprop-chan-display@@4@0@1@0"),
              "L:ERROR:Command 'displayprop-chan-display' - invalid channel index");
    r.host.trees.clear();
    EXPECT_EQ(r.Ask("M:displayprop-chan-display@@1@0@1@0"),
              "M:ERROR:Command 'displayprop-chan-display' - No tree view found");
}

// A name that cannot be named again is refused on the link; one that a document saved before
// names were checked is still reached by its index.
TEST(RemoteDisplayCommands, ChannelNamesAreCheckedAndFoundWhole) {
    using namespace std::string_literals;
    Shown r;
    const std::string empty = "ERROR:Command '%' - "s + chanmsg::kNameEmpty;
    const std::string control = "ERROR:Command '%' - "s + chanmsg::kNameControl;
    auto with = [](std::string text, const char* word) { return text.replace(text.find('%'), 1, word); };
    EXPECT_EQ(r.Ask("C:renamechannel@@Water@ "), "C:" + with(empty, "renamechannel"));
    EXPECT_EQ(r.Ask("D:renamechannel@@Water@Wa\0ter"s), "D:" + with(control, "renamechannel"));
    EXPECT_EQ(r.Ask("E:insertchannel@@ @1@0"), "E:" + with(empty, "insertchannel"));
    EXPECT_EQ(r.Ask("F:insertchannel@@a\tb@1@0"), "F:" + with(control, "insertchannel"));
    EXPECT_EQ(r.Ask("G:insertchannels@@x;0#  ;1"), "G:" + with(empty, "insertchannels") + " (  )");
    EXPECT_EQ(r.doc->GetSample().GetChanNames(), (std::vector<std::string>{"Void", "Water", "ct", "b"}));
    EXPECT_EQ(r.Ask("H:renamechannel@@Water@Water"), "H:OK");

    const std::string odd = "Wa\0ter"s;
    r.doc->GetSample().RenameChan(odd, 1);
    r.host.trees.clear();
    r.tree = &r.host.BuildTree(*r.doc);
    ASSERT_NE(r.tree->FindChannel(odd), nullptr);
    EXPECT_EQ(r.Ask("I:displayprop-chan-display@@1@7@0@1"), "I:OK");
    EXPECT_EQ(r.Ask("J:renamechannel@@" + odd + "@Water"), "J:OK");
    EXPECT_EQ(r.doc->GetSample().GetChanNameCStr(1), "Water");
}

TEST(RemoteDisplayCommands, TheDialogCommandsDriveTheWindowOnTop) {
    Shown r;
    const std::string none = "' - No display property dialog found";
    EXPECT_EQ(r.Ask("A:displayprop-open-setdisplay@@0@1"),
              "A:ERROR:Command 'displayprop-open-setdisplay" + none);
    EXPECT_EQ(r.Ask("B:displayprop-close@"), "B:ERROR:Command 'displayprop-close" + none);
    EXPECT_EQ(r.Ask("C:displayprop-open@@1"), "C:OK");
    TreeNode* water = r.Item("Water");
    EXPECT_EQ(r.Ask("D:displayprop-open-setdisplay@@2@1"), "D:OK");
    EXPECT_EQ(DisplayItemsFamily::GetOfItems({water}) & 4, 4);
    EXPECT_EQ(r.Ask("E:displayprop-open-setboundary@@1@3"), "E:OK");
    EXPECT_EQ(BoundaryMaskFamily::GetOfItems({water}), (BoundaryMaskValue{1, "b"}));

    // The colour dialog goes on top; the Display Properties commands no longer find theirs.
    EXPECT_EQ(r.Ask("F:displayprop-open-colourdata-open@"), "F:OK");
    EXPECT_EQ(r.Ask("G:displayprop-open-setdisplay@@0@1"),
              "G:ERROR:Command 'displayprop-open-setdisplay" + none);
    EXPECT_EQ(r.Ask("H:displayprop-open-colourdata-open-settype@@0"), "H:OK");
    EXPECT_EQ(r.Ask("I:displayprop-open-colourdata-open-setcolor@@65280"), "I:OK");
    EXPECT_EQ(DataColourFamily::GetOfItems({water})[0], 65280u);
    EXPECT_EQ(r.Ask("J:displayprop-open-colourdata-close@"), "J:OK");
    EXPECT_EQ(r.server.TopCommandWindow()->Kind(), kRemoteDisplayPropsWindow);
    EXPECT_EQ(ColourKindFamily::GetOfItems({water}), 0);

    // Close after a colour dialog opened takes the colour dialog.
    EXPECT_EQ(r.Ask("K:displayprop-open-colourdata-open@"), "K:OK");
    EXPECT_EQ(r.Ask("L:displayprop-close@"), "L:OK");
    EXPECT_EQ(r.server.TopCommandWindow()->Kind(), kRemoteDisplayPropsWindow);
    EXPECT_EQ(r.Ask("M:displayprop-close@"), "M:OK");
    EXPECT_TRUE(r.server.HasNoCommandWindows());
}

// "buildboundary" with the words of a 2 x 2 x 2 cuboid into channel 3, some words replaced.
std::string BoundaryRequest(const std::string& tag, const std::map<int, std::string>& words = {}) {
    std::vector<std::string> w(32, "0");
    w[0] = "buildboundary";
    w[1] = w[17] = w[19] = w[25] = "";
    w[2] = "3";
    w[3] = "2";
    w[24] = "0.5";
    w[26] = w[27] = w[28] = "2";
    for (const auto& [at, value] : words) w[static_cast<std::size_t>(at)] = value;
    std::string text = tag + ":" + w[0];
    for (std::size_t i = 1; i < w.size(); ++i) text += "@" + w[i];
    return text;
}

TEST(RemoteBoundaryCommand, BuildsTheDefinitionFromTheWordsOrSaysWhichWordIsWrong) {
    Shown r;
    const std::string reply = r.AskLong(BoundaryRequest("A"));
    EXPECT_EQ(reply.rfind("A:EXTEND:300", 0), 0u) << reply;
    EXPECT_EQ(reply.substr(reply.size() - 4), "A:OK") << reply;
    const BoundDef& def = r.doc->boundDef;
    EXPECT_EQ(def.kind, BoundDef::kCuboid);
    EXPECT_EQ(def.cuboidSize, (std::vector<std::int32_t>{2, 2, 2}));
    int inside = 0;
    const ZunChan& b = *r.doc->GetSample().GetChan(3);
    for (std::size_t v = 0; v < b.GetNumVoxels(); ++v) inside += (b.Data()[v] & 0x3FFF) == 16383;
    EXPECT_EQ(inside, 8);

    const std::string e = "ERROR:Command 'buildboundary' - ";
    // The wizard's strength range.
    for (const char* strength : {"-1", "2", "nan"})
        EXPECT_EQ(
            r.Ask(BoundaryRequest("B", {{24, strength}})),
            "B:" + e + "invalid smoothing strength (" + strength + "), which should lie between 0 and 1");
    // Angles and thresholds that are no finite number, whether rotation is on or not: the
    // wizard's own check, before the definition is stored.
    const BoundDef before = r.doc->boundDef;
    for (const char* rotate : {"1", "0"})
        for (int word : {6, 7, 8})
            for (const char* angle : {"nan", "inf", "-inf", "1e39"})
                EXPECT_EQ(r.Ask(BoundaryRequest("B", {{5, rotate}, {word, angle}})),
                          "B:" + e + "invalid rotation angle (" + (angle[0] == '1' ? "inf" : angle) +
                              "), which should be a finite number");
    for (const char* unit : {"1", "2"})
        EXPECT_EQ(
            r.Ask(BoundaryRequest("B", {{3, "0"}, {13, "2"}, {14, unit}, {15, "nan"}, {17, "1"}, {19, "1"}})),
            "B:" + e + "invalid threshold (nan), which should be a finite number");
    EXPECT_EQ(r.doc->boundDef, before);
    EXPECT_EQ(r.Ask(BoundaryRequest("B", {{2, "1"}})), "B:" + e + "invalid boundary channel index");
    EXPECT_EQ(r.Ask(BoundaryRequest("C", {{2, "4"}})), "C:" + e + "invalid boundary channel index");
    // A cluster boundary needs a reference channel and well-formed rule texts on the sides used.
    EXPECT_EQ(r.Ask(BoundaryRequest("D", {{3, "0"}, {13, "9"}})),
              "D:" + e + "invalid reference channel index");
    EXPECT_EQ(r.Ask(BoundaryRequest("E", {{3, "0"}})), "E:" + e + "Missing mapping <= rules definition");
    EXPECT_EQ(r.Ask(BoundaryRequest("F", {{3, "0"}, {17, "1--2"}})),
              "F:" + e + "Invalid mapping <= rules definition");
    EXPECT_EQ(r.Ask(BoundaryRequest("G", {{3, "0"}, {17, "1"}, {18, "2"}})).substr(0, 4), "G:EX");
    EXPECT_EQ(r.Ask(BoundaryRequest("H", {{3, "1"}, {25, "1#7"}})),
              "H:" + e + "invalid target channel index");
    // A channel of one value has no width to place a physical threshold in.
    r.doc->GetSample().GetChan(2)->range = {0.5f, 0.5f};
    EXPECT_EQ(r.Ask(BoundaryRequest("I", {{3, "0"}, {13, "2"}, {14, "2"}, {17, "1"}, {19, "1"}})),
              "I:" + e + "invalid reference channel range");
    EXPECT_EQ(r.doc->boundDef.kind, BoundDef::kClusters);  // the last build's definition stays
}

TEST(RemoteMapCommands, TheNewestMapWindowRunsAndOnlyAMapWindow) {
    Shown r;
    EXPECT_EQ(r.Ask("A:setup-map-mapdata-action@x"),
              "A:ERROR:Command 'setup-map-mapdata-action' - invalid argument count (2)");
    EXPECT_EQ(r.Ask("B:setup-map-mapdata-action"),
              "B:ERROR:Command 'setup-map-mapdata-action' - No Map Data Channel dialog found");
    EXPECT_EQ(r.Ask("C:setup-map-mapdata@@0@1@2@0@x@0@0@0@1@0@0@0"),
              "C:ERROR:Command 'setup-map-mapdata' - invalid input value unit");
    EXPECT_EQ(r.Ask("D:setup-map-mapdata@@0@9@0@0@x@0@0@0@1@0@0@0"),
              "D:ERROR:Command 'setup-map-mapdata' - invalid channel index");
    // The CT channel (all 0) mapped into Water: where the raw input is below 2, 100; else 7.
    EXPECT_EQ(r.Ask("E:setup-map-mapdata@@2@1@0@0@<2@0@0@0@100@0@0@7"), "E:OK");
    // Another command's window on top is not run as the map window.
    EXPECT_EQ(r.Ask("F:displayprop-open@@1"), "F:OK");
    EXPECT_EQ(r.Ask("G:setup-map-mapdata-action"),
              "G:ERROR:Command 'setup-map-mapdata-action' - No Map Data Channel dialog found");
    EXPECT_EQ(r.Ask("H:displayprop-close@"), "H:OK");
    EXPECT_EQ(r.Ask("I:setup-map-mapdata-action"), "I:OK");
    EXPECT_TRUE(r.server.HasNoCommandWindows());
    EXPECT_EQ(r.doc->GetSample().GetChan(1)->Data()[0] & 0x3FFF, 100);
}

// Closing the document closes the windows opened for it: the map window's action then finds no
// window instead of acting on the freed document.
TEST(RemoteMapCommands, ClosingTheDocumentClosesItsWindows) {
    Shown r;
    EXPECT_EQ(r.Ask("A:setup-map-mapdata@@2@1@0@0@<2@0@0@0@100@0@0@7"), "A:OK");
    EXPECT_EQ(r.Ask("B:closedocument@" + r.doc->GetTitle()), "B:OK");
    EXPECT_TRUE(r.server.HasNoCommandWindows());
    EXPECT_EQ(r.Ask("C:setup-map-mapdata-action"),
              "C:ERROR:Command 'setup-map-mapdata-action' - No Map Data Channel dialog found");
}

// A mapping the tool refuses, or whose rules do not parse, answers the tool's own message instead
// of OK; the window is used up all the same and no voxel changes.
TEST(RemoteMapCommands, ARefusedMappingAnswersTheToolsMessageAndChangesNothing) {
    Shown r;
    ZunChan& water = *r.doc->GetSample().GetChan(1);
    std::fill(water.Data(), water.Data() + water.GetNumVoxels(), imtype{5});
    const std::vector<imtype> before(water.Data(), water.Data() + water.GetNumVoxels());
    const std::pair<const char*, std::string> cases[] = {
        // A value combined with the existing one cannot come from the input: the match row, then
        // the else row.
        {"0@1@0@0@x > 0@0@1@2@1@0@0@0", "Invalid output channel or other values (7 ,1, 2)."},
        {"0@1@0@0@<2@0@4@0@0@3@3@1", "Invalid output channel or other values (8 ,3, 3)."},
        {"2@1@0@0@5-2@0@0@0@100@0@0@7",
         "Error (" + std::to_string(kRuleIntRangeOrder) + ") in defining input channel data value."},
        // Rules and values with no number in them are not read as 0, and no rules where every
        // voxel would take a "Do nothing" row map nothing: each is refused.
        {"2@1@0@0@x@0@0@0@100@0@0@7",
         "Error (" + std::to_string(kRuleNoNumber) + ") in defining input channel data value."},
        {"2@1@0@0@<<<garbage@0@0@0@100@0@0@7",
         "Error (" + std::to_string(kRuleNoNumber) + ") in defining input channel data value."},
        {"2@1@0@0@<2@0@0@0@abc@0@0@7", "Invalid output channel value \"abc\"."},
        {"2@1@0@0@<2@0@0@0@100@0@0@abc", "Invalid else value \"abc\"."},
        {"2@1@0@0@@0@0@0@100@4@0@7", mapmsg::kNoRules},
        // Rules that match, but both rows "Do nothing": the output's note stays as it was too.
        {"2@1@0@0@>=0@0@4@0@100@4@0@7", mapmsg::kNoRules},
    };
    for (const auto& [words, message] : cases) {
        SCOPED_TRACE(words);
        water.note = "earlier note";
        EXPECT_EQ(Replied(r, std::string("A:setup-map-mapdata@@") + words, "A:OK"), "A:OK");
        const std::string refused = "B:ERROR:Command 'setup-map-mapdata-action' - " + message;
        EXPECT_EQ(Replied(r, "B:setup-map-mapdata-action", refused), refused);
        EXPECT_TRUE(r.server.HasNoCommandWindows());
        EXPECT_TRUE(std::equal(before.begin(), before.end(), water.Data()));
        // Nothing to map is refused before the run, so the note does not claim a mapping.
        if (message == mapmsg::kNoRules) EXPECT_EQ(water.note, "earlier note");
    }
}

TEST(RemoteSetupCommands, SwitchesAndNonlinearParameters) {
    Shown r;
    Model& m = r.doc->GetModel();
    const Params& p = m.GetParams();
    EXPECT_EQ(r.Ask("A:setupcomp@@1@0@1@1@0@1@1"), "A:OK");
    EXPECT_TRUE(m.Jobs().composition);
    EXPECT_FALSE(m.Jobs().property);
    EXPECT_TRUE(m.Jobs().plugins);
    EXPECT_TRUE(m.Jobs().cluster);
    // An "off" word still marks the step changed.
    EXPECT_EQ(p.stepFlags[kStepSegmentation], 2);
    EXPECT_EQ(p.stepFlags[kStepLinear], 3);

    EXPECT_EQ(r.Ask("B:setupcomp-setup-dnlo@@0@0@1@0@12@3@2.5@700@0;1.5#1;-2@1@40@1;1;0;0.25"), "B:OK");
    EXPECT_EQ(p.nonlinearSearchMethods, 2);  // line search alone, whatever word 4 says
    EXPECT_EQ(p.gridSize, 12);
    EXPECT_FLOAT_EQ(p.attenuationErrorExponent, 3.0f);
    EXPECT_FLOAT_EQ(p.interactionExponent, 2.5f);
    EXPECT_EQ(p.nonlinearVoxelsPerThread, 700);
    EXPECT_FLOAT_EQ(p.nonlinearIterations, 40.0f);
    EXPECT_FLOAT_EQ(p.nonlinearSelfEnergy[0], 1.5f);
    EXPECT_FLOAT_EQ(p.nonlinearSelfEnergy[1], -2.0f);
    EXPECT_FLOAT_EQ(p.nonlinearInteractionEnergy[1][1 * 2 + 0], 0.25f);
    EXPECT_EQ(p.stepFlags[kStepNonlinear], 2);
    EXPECT_EQ(r.Ask("C:setupcomp-setup-dnlo@@1@1@1@0@15@1@1@2000@0;0@0@10@0;0;0;0"), "C:OK");
    EXPECT_EQ(p.nonlinearSearchMethods, 3);
    EXPECT_EQ(p.stepFlags[kStepNonlinear], 3);

    // A list item of another shape, or an index outside its table, stops the command with the
    // whole word quoted.
    EXPECT_EQ(r.Ask("D:setupcomp-setup-dnlo@@1@1@0@0@15@1@1@2000@0;0#1@0@10@0;0;0;0"),
              "D:ERROR:Command 'setupcomp-setup-dnlo' - Invalid Self energy data format (0;0#1)");
    EXPECT_EQ(r.Ask("E:setupcomp-setup-dnlo@@1@1@0@0@15@1@1@2000@5;0@0@10@0;0;0;0"),
              "E:ERROR:Command 'setupcomp-setup-dnlo' - Invalid Self energy data format (5;0)");
    EXPECT_EQ(r.Ask("F:setupcomp-setup-dnlo@@1@1@0@0@15@1@1@2000@0;0@0@10@0;2;0;1"),
              "F:ERROR:Command 'setupcomp-setup-dnlo' - Invalid interaction energy data format (0;2;0;1)");
    EXPECT_EQ(r.Ask("G:setupcomp-setup-dnlo@@1@1@0@0@15@1@1@2000@0;0@0@10@"),
              "G:ERROR:Command 'setupcomp-setup-dnlo' - Invalid interaction energy data format ()");
}

TEST(RemoteSetupCommands, SegmentationAndLinearParameters) {
    Shown r;
    const Params& p = r.doc->GetModel().GetParams();
    // Channel 2 is the first CT channel (t = 1); shells of the segmentation count from 1.
    EXPECT_EQ(r.Ask("A:setupcomp-setup-dlss@@1@1@2;1;0.5;2@1;3@1@x@1;0;1;0.75"), "A:OK");
    EXPECT_TRUE(p.ctChannelUsed[1]);
    EXPECT_FLOAT_EQ(p.dlsZeroOffset[1][1], 0.5f);
    EXPECT_FLOAT_EQ(p.dlsMultiplier[1][1], 2.0f);
    EXPECT_FLOAT_EQ(p.dlsSelfEnergy[1], 3.0f);
    EXPECT_EQ(p.dlsNeighbourRange, 1);
    EXPECT_FLOAT_EQ(p.dlsInterfacialEnergy[1][0 * 2 + 1], 0.75f);
    EXPECT_EQ(p.stepFlags[kStepSegmentation], 3);
    // No CT data given: every channel's flag is cleared and word 4 is not read; range 0 reads no
    // interaction list.
    EXPECT_EQ(r.Ask("B:setupcomp-setup-dlss@@0@0@junk@0;1@0@x@junk"), "B:OK");
    EXPECT_FALSE(p.ctChannelUsed[1]);
    EXPECT_EQ(p.stepFlags[kStepSegmentation], 2);
    EXPECT_EQ(r.Ask("C:setupcomp-setup-dlss@@1@1@1;1;0.5;2@1;3@0@@"),
              "C:ERROR:Command 'setupcomp-setup-dlss' - Invalid CT energy data format (1;1;0.5;2)");
    EXPECT_EQ(r.Ask("D:setupcomp-setup-dlss@@1@0@@1;3@1@@0;0;1;1"),
              "D:ERROR:Command 'setupcomp-setup-dlss' - Invalid interaction energy data format (0;0;1;1)");

    EXPECT_EQ(r.Ask("E:setupcomp-setup-dclo@@1@700@42@1@1@0@2;0.25@1;5@2@9@junk"), "E:OK");
    EXPECT_EQ(p.linearVoxelsPerThread, 700);
    EXPECT_EQ(p.randomSeed, 42);
    EXPECT_FLOAT_EQ(p.ctDataSetWeights[1], 0.25f);
    EXPECT_FLOAT_EQ(p.linearObjectiveWeights[1], 5.0f);
    EXPECT_EQ(p.linearNeighbourRange, 2);
    EXPECT_EQ(p.linearIterations, 9);
    EXPECT_EQ(p.stepFlags[kStepLinear], 3);
    EXPECT_EQ(r.Ask("F:setupcomp-setup-dclo@@1@700@42@1@0@0@1;0.25@@2@9@"),
              "F:ERROR:Command 'setupcomp-setup-dclo' - Invalid CT energy data format (1;0.25)");
}

// The parameter set as a document file would hold it.
std::vector<std::uint8_t> Stored(Params p) {
    MemoryStream ms;
    {
        Archive ar(ms, Archive::Mode::Store);
        p.Serialize(ar);
        ar.Flush();
    }
    return ms.Bytes();
}

TEST(RemoteSetupCommands, WordsTheSheetsWouldRefuseChangeNothing) {
    Shown r;
    using namespace setupmsg;
    const std::string range = std::string(kNeighbourRange) + "3";
    const struct {
        const char* request;
        std::string message;
    } cases[] = {
        {"setupcomp-setup-dclo@@1@5000@-1@0@0@1@@@1@2147483647@0;0;0;0",
         std::string(kLinearIterationsCap) + "10000"},
        {"setupcomp-setup-dclo@@1@5000@-1@0@0@1@@@1@-1@0;0;0;0", kLinearIterations},
        {"setupcomp-setup-dclo@@1@4294967295@-1@0@0@0@@@0@10@",
         std::string(kLinearUninterruptible) + "2147483647"},
        {"setupcomp-setup-dclo@@1@5000@-1@1@0@0@2;nan@@0@10@", kEnergyNotFinite},
        {"setupcomp-setup-dclo@@1@5000@-1@0@0@0@@@4@10@", range},
        {"setupcomp-setup-dnlo@@1@1@0@0@15@1@1@2000@0;0@1@-1@0;0;0;0",
         std::string(kNonlinearIterationsCap) + "10000"},
        {"setupcomp-setup-dnlo@@1@1@0@0@15@1@1@2000@0;0@1@2147483647@0;0;0;0",
         std::string(kNonlinearIterationsCap) + "10000"},
        {"setupcomp-setup-dnlo@@1@1@0@0@15@1@1@2000@0;0@1@0@0;0;0;0", kNonlinearIterations},
        {"setupcomp-setup-dnlo@@1@1@0@0@15@1@nan@2000@0;0@0@10@0;0;0;0", kInteractionExponent},
        {"setupcomp-setup-dnlo@@1@1@0@0@15@1@-inf@2000@0;0@0@10@0;0;0;0", kInteractionExponent},
        {"setupcomp-setup-dnlo@@1@1@0@0@-1@1@1@2000@0;0@0@10@0;0;0;0", kGridSizeInteger},
        {"setupcomp-setup-dnlo@@1@1@0@0@15@1@1@-1@0;0@0@10@0;0;0;0",
         std::string(kNonlinearUninterruptible) + "2147483647"},
        {"setupcomp-setup-dnlo@@1@1@0@0@15@1@1@2000@0;inf@0@10@0;0;0;0", kEnergyNotFinite},
        {"setupcomp-setup-dnlo@@1@1@0@0@15@1@1@2000@0;0@-1@10@0;0;0;0", range},
        {"setupcomp-setup-dnlo@@1@1@0@0@15@1@1@2000@0;0@0@10@0;0;1;nan", kEnergyNotFinite},
        {"setupcomp-setup-dlss@@1@0@@0;0@-1@x@1;0;0;0", range},
        {"setupcomp-setup-dlss@@1@1@2;1;nan;2@0;0@0@x@", kEnergyNotFinite},
        // A list that stops the command after other words were read leaves them unwritten too.
        {"setupcomp-setup-dnlo@@1@1@0@0@12@3@2.5@700@0;0#1@0@10@0;0;0;0",
         "Invalid Self energy data format (0;0#1)"},
    };
    const std::vector<std::uint8_t> before = Stored(r.doc->GetModel().GetParams());
    const JobFlags jobs = r.doc->GetModel().Jobs();
    for (const auto& c : cases) {
        const std::string word = std::string(c.request).substr(0, std::string(c.request).find('@'));
        EXPECT_EQ(r.Ask(std::string("X:") + c.request), "X:ERROR:Command '" + word + "' - " + c.message);
        EXPECT_EQ(Stored(r.doc->GetModel().GetParams()), before) << c.request;
        EXPECT_EQ(r.doc->GetModel().Jobs().composition, jobs.composition) << c.request;
    }
    // The sheet takes what the command refused, and refuses it the same way.
    EXPECT_EQ(r.Ask("Y:setupcomp-setup-dnlo@@1@1@0@0@15@1@1@2000@0;0@0@10000@0;0;0;0"), "Y:OK");
    EXPECT_EQ(r.doc->GetModel().GetParams().nonlinearIterations, 10000.0f);
    // Any finite exponent is the user's choice, as on the sheet.
    EXPECT_EQ(r.Ask("Z:setupcomp-setup-dnlo@@1@1@0@0@15@0@-2@2000@0;0@0@10@0;0;0;0"), "Z:OK");
    EXPECT_EQ(r.doc->GetModel().GetParams().interactionExponent, -2.0f);
    EXPECT_EQ(r.doc->GetModel().GetParams().attenuationErrorExponent, 0.0f);
}

TEST(RemoteSetupCommands, ClusterAnalysisChecksEveryWord) {
    Shown r;
    const std::string e = "ERROR:Command 'setupcomp-setup-lca' - ";
    EXPECT_EQ(r.Ask("A:setupcomp-setup-lca@@1@-1@4@0.5@0@0;0;0@0;0;0;0@0;0;0;0@0;0;0;0"),
              "A:" + e + "no property channel found");
    EXPECT_EQ(r.Ask("B:insertchannel@@prop@3@2"), "B:OK");  // Void, Water, ct, prop, b
    const std::string planes = "@1;1;1;3@0;0;0;0@1;0;0;0";
    EXPECT_EQ(r.Ask("C:setupcomp-setup-lca@@1@-1@3@0.25@0@3;2;9" + planes), "C:OK");
    const auto& methods = r.doc->GetModel().PropertyMethods();
    ASSERT_EQ(methods.size(), 1u);
    const PropertyMethodSettings& m = methods[0];
    EXPECT_EQ(m.kind, kLinkedClusterAnalysis);
    EXPECT_EQ(m.inputChannel, "Water");
    EXPECT_EQ(m.outputChannel, "prop");
    EXPECT_EQ(m.inputBound, "");
    EXPECT_FLOAT_EQ(m.cluster.threshold, 0.25f);
    EXPECT_EQ(m.cluster.sortOrder, 1);  // ascending
    EXPECT_EQ(m.cluster.sizeFilter, kBetween);
    EXPECT_EQ(m.cluster.filterLow, 2u);
    EXPECT_EQ(m.cluster.filterHigh, 9u);
    EXPECT_EQ(m.cluster.planes[0][0], 1u);
    EXPECT_EQ(m.cluster.planes[0][1], 3u);
    EXPECT_EQ(m.cluster.planes[2][1], 1u);  // no second plane: up to the last slice
    EXPECT_TRUE(r.doc->GetModel().Jobs().property);

    const std::string ok = "@0.5@0@0;0;0" + planes;
    EXPECT_EQ(r.Ask("D:setupcomp-setup-lca@@5@-1@3" + ok),
              "D:" + e + "invalid input channel index, which should be >= 0 and < 5.");
    EXPECT_EQ(
        r.Ask("E:setupcomp-setup-lca@@1@2@3" + ok),
        "E:" + e + "invalid input boundary channel index (2), which should be >= 4 and < 5, or -1 for none.");
    EXPECT_EQ(r.Ask("F:setupcomp-setup-lca@@1@4@2" + ok),
              "F:" + e + "invalid output property channel index (2), which should be >= 3 and < 4.");
    EXPECT_EQ(r.Ask("G:setupcomp-setup-lca@@3@4@3" + ok),
              "G:" + e + "Input channel (prop) and output channel (prop) must be different.");
    EXPECT_EQ(r.Ask("H:setupcomp-setup-lca@@1@4@3@nan@0@0;0;0" + planes),
              "H:" + e + "Threshold must be a real number between [0, 1].");
    EXPECT_EQ(r.Ask("I:setupcomp-setup-lca@@1@4@3@0.5@0@3;5;5" + planes),
              "I:" + e + "Invalid values for filter range.");
    EXPECT_EQ(r.Ask("J:setupcomp-setup-lca@@1@4@3@0.5@0@0;0@0;0;0;0@0;0;0;0@0;0;0;0"),
              "J:" + e + "Invalid filter format.");
    EXPECT_EQ(r.Ask("K:setupcomp-setup-lca@@1@4@3@0.5@0@0;0;0@1;2;1;2@0;0;0;0@0;0;0;0"),
              "K:" + e + "Invalid plane X range - X1 must be less than X2.");
    EXPECT_EQ(r.Ask("L:setupcomp-setup-lca@@1@4@3@0.5@0@0;0;0@0;0;0;0@1;3;0;0@0;0;0;0"),
              "L:" + e + "Plane Y1 value is out of height range [0, 3].");
    EXPECT_EQ(r.Ask("M:setupcomp-setup-lca@@1@4@3@0.5@0@0;0;0@0;0;0;0@0;0;0;0@1;0;1;2"),
              "M:" + e + "Plane Z2 value is out of depth range [0, 2].");
    EXPECT_EQ(r.Ask("N:setupcomp-setup-lca@@1@4@3@0.5@0@0;0;0@0;0;0@0;0;0;0@0;0;0;0"),
              "N:" + e + "Invalid plane X format.");
    EXPECT_EQ(r.doc->GetModel().PropertyMethods()[0].cluster.sizeFilter,
              kBetween);  // refusals changed nothing
}

TEST(RemoteSetupCommands, APluginIsFoundInTheNamedFolderAndSelected) {
    Shown r;
    TempDir dir;
    std::filesystem::copy_file(ZUN_TEST_PLUGIN, dir.Path() + "/echo.so");
    EXPECT_EQ(r.Ask("A:setupcomp-setup-plugin@@" + dir.Path() + "@Nobody@x"),
              "A:ERROR:Command 'setupcomp-setup-plugin' - No plugin found (Nobody in " + dir.Path() + ")");
    EXPECT_EQ(r.host.pluginFolders, (std::vector<std::string>{"first"}));
    EXPECT_FALSE(r.host.pluginsOn);
    EXPECT_EQ(r.Ask("B:setupcomp-setup-plugin@@" + dir.Path() + "@Echo@-v 2"), "B:OK");
    EXPECT_EQ(r.host.pluginFolders, (std::vector<std::string>{"first", dir.Path()}));
    EXPECT_TRUE(r.host.pluginsOn);
    const auto& list = r.doc->GetModel().PluginRunList();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_TRUE(list[0].selected);
    EXPECT_EQ(list[0].parameters, "-v 2");
    EXPECT_TRUE(r.doc->GetModel().Jobs().plugins);
}

TEST(RemoteSetupCommands, TheDialogAndItsSheets) {
    Shown r;
    Model& m = r.doc->GetModel();
    const std::string none = "' - No Setup Computation dialog found";
    EXPECT_EQ(r.Ask("A:setupcomp-close@"), "A:ERROR:Command 'setupcomp-close" + none);
    EXPECT_EQ(r.Ask("B:setupcomp-open-dnlo-open@@1"), "B:ERROR:Command 'setupcomp-open-dnlo-open" + none);
    m.Jobs().composition = true;
    EXPECT_EQ(r.Ask("C:setupcomp-open@"), "C:OK");
    EXPECT_EQ(r.Ask("D:setupcomp-open-computation@@0"), "D:OK");
    EXPECT_TRUE(m.Jobs().composition);  // the controller follows only at the close
    EXPECT_EQ(r.Ask("E:setupcomp-open-dlss-open@@1"), "E:OK");
    EXPECT_EQ(m.GetParams().stepFlags[kStepSegmentation], 3);
    // A second sheet replaces the first; the first's close then finds nothing.
    EXPECT_EQ(r.Ask("F:setupcomp-open-dnlo-open@@0"), "F:OK");
    EXPECT_EQ(
        r.Ask("G:setupcomp-open-dlss-close@"),
        "G:ERROR:Command 'setupcomp-open-dlss-close' - No Discrete least-square segmentation dialog found");
    EXPECT_EQ(r.Ask("H:setupcomp-open-dnlo-close@"), "H:OK");
    EXPECT_EQ(r.Ask("I:setupcomp-open-dnlo-close@"),
              "I:ERROR:Command 'setupcomp-open-dnlo-close' - No Data-constrained non-linear optimization "
              "dialog found");
    EXPECT_EQ(r.Ask("J:setupcomp-close@"), "J:OK");
    EXPECT_FALSE(m.Jobs().composition);
    EXPECT_TRUE(r.server.HasNoCommandWindows());
}

// Windows opened and never closed do not pile up: past the bound every opening word is refused
// and opens nothing; "stop" closes them all and the words open windows again.
TEST(RemoteCommandWindows, TheStackIsBoundedAndOpeningWordsPastItAreRefused) {
    Shown r;
    const std::string full = "' - too many open windows (" +
                             std::to_string(RemoteControlServer::kMaxCommandWindows) + "); close one first";
    for (std::size_t i = 0; i < RemoteControlServer::kMaxCommandWindows; ++i)
        ASSERT_EQ(r.Ask("A:setupcomp-open@"), "A:OK") << i;
    EXPECT_EQ(r.Ask("B:setupcomp-open@"), "B:ERROR:Command 'setupcomp-open" + full);
    EXPECT_EQ(r.Ask("C:displayprop-open@@1"), "C:ERROR:Command 'displayprop-open" + full);
    EXPECT_EQ(r.Ask("D:setup-map-mapdata@@2@1@0@0@<2@0@0@0@100@0@0@7"),
              "D:ERROR:Command 'setup-map-mapdata" + full);
    // The window on top is still the last one that opened, and closes as before.
    EXPECT_EQ(r.server.TopCommandWindow()->Kind(), kRemoteSetupWindow);
    EXPECT_EQ(r.Ask("E:setupcomp-close@"), "E:OK");
    EXPECT_EQ(r.Ask("F:displayprop-open@@1"), "F:OK");
    EXPECT_EQ(r.Ask("G:displayprop-open-colourdata-open@"),
              "G:ERROR:Command 'displayprop-open-colourdata-open" + full);
    EXPECT_EQ(r.Ask("H:stop"), "H:OK");
    EXPECT_TRUE(r.server.HasNoCommandWindows());
    EXPECT_EQ(r.Ask("I:displayprop-open@@1"), "I:OK");
    EXPECT_EQ(r.Ask("J:displayprop-open-colourdata-open@"), "J:OK");
}

// A sheet shown by the controller was made for the channels the document had then; channels
// inserted meanwhile make its close store nothing and say why, and the document still saves.
TEST(RemoteSetupCommands, ASheetClosedAfterTheChannelsChangedStoresNothing) {
    TempDir dir;
    const std::string changed = std::string("' - ") + setupmsg::kChannelsChanged;
    const char* sheets[3] = {"dlss", "dnlo", "dclo"};
    for (const char* s : sheets) {
        SCOPED_TRACE(s);
        Shown r;
        const std::string open = std::string("setupcomp-open-") + s + "-open@@1";
        const std::string close = std::string("setupcomp-open-") + s + "-close@";
        ASSERT_EQ(r.Ask("A:setupcomp-open@"), "A:OK");
        ASSERT_EQ(r.Ask("B:" + open), "B:OK");
        EXPECT_EQ(r.Ask("C:insertchannel@@Fe@1@0"), "C:OK");
        EXPECT_EQ(r.Ask("D:insertchannels@@CT2;1#Al;0"), "D:OK");
        // The shown sheet is modeless: the local user may delete a channel in the tree meanwhile.
        EXPECT_EQ(r.doc->DeleteChannels({"Fe"}, true), std::vector<std::string>{"Fe"});
        const Params after = r.doc->GetModel().GetParams();
        EXPECT_EQ(r.Ask("E:" + close), "E:ERROR:Command '" + close.substr(0, close.size() - 1) + changed);
        EXPECT_EQ(r.doc->GetModel().GetParams().nonlinearInteractionEnergy, after.nonlinearInteractionEnergy);
        EXPECT_EQ(r.doc->GetModel().GetParams().dlsZeroOffset, after.dlsZeroOffset);
        EXPECT_NO_THROW(r.doc->GetModel().GetParams().Validate());
        // The sheet went all the same: a second close finds none.
        EXPECT_NE(r.Ask("F:" + close).find("dialog found"), std::string::npos);
        const std::string path = dir.File(std::string(s) + ".zun");
        EXPECT_EQ(r.Ask("G:save@" + path), "G:OK:" + std::string(s) + ".zun");
        CZunDoc reopened(DocServices{&r.host.prompt});
        EXPECT_TRUE(reopened.OnOpenDocument(path));
        // A sheet opened on the new channels stores as ever.
        EXPECT_EQ(r.Ask("H:" + open), "H:OK");
        EXPECT_EQ(r.Ask("I:" + close), "I:OK");
        EXPECT_EQ(r.Ask("J:setupcomp-close@"), "J:OK");
    }
}

// A sheet whose General page refuses what the parameter set holds (a stored file may carry such
// values) stores nothing, and its close says why instead of passing for done.
TEST(RemoteSetupCommands, ASheetThatRefusesTheStoredValuesSaysWhy) {
    for (const char* s : {"dclo", "dnlo"}) {
        SCOPED_TRACE(s);
        Shown r;
        Params& p = r.doc->GetModel().GetParams();
        p.linearIterations = 0;
        p.nonlinearIterations = 0.0f;
        const std::string close = std::string("setupcomp-open-") + s + "-close";
        const std::string why = s[1] == 'c' ? setupmsg::kLinearIterations : setupmsg::kNonlinearIterations;
        EXPECT_EQ(Replied(r, "A:setupcomp-open@", "A:OK"), "A:OK");
        EXPECT_EQ(Replied(r, std::string("B:setupcomp-open-") + s + "-open@@1", "B:OK"), "B:OK");
        const std::string refused = "C:ERROR:Command '" + close + "' - " + why;
        EXPECT_EQ(Replied(r, "C:" + close + "@", refused), refused);
        EXPECT_EQ(p.linearIterations, 0);
        EXPECT_EQ(p.nonlinearIterations, 0.0f);
        EXPECT_EQ(r.server.SubWindow(), nullptr);
    }
}

TEST(RemoteOutputCommands, HistogramImagesAndWebPage) {
    Shown r;
    TempDir dir;
    const std::string picture = dir.Path() + "/h.png";
    EXPECT_EQ(r.AskLong("A:output-histogram@@2@2@3@1@0@" + picture), "A:EXTEND:300A:OK:ct");
    const HistVars& h = r.doc->GetSample().GetChan(2)->histVars;
    EXPECT_EQ(h.xUnit, HistVars::kPhysical);
    EXPECT_EQ(h.closure, HistVars::kNoEndBins);
    EXPECT_EQ(h.yUnit, HistVars::kFrequency);
    EXPECT_EQ(h.style, HistVars::kLine);
    EXPECT_GT(h.binCount, 0);  // the window's first settings were taken before the words
    EXPECT_EQ(r.host.log.histograms.back(), (std::pair<int, std::string>{2, picture}));
    EXPECT_EQ(r.AskLong("B:output-histogram@@2@0@0@0@1@/no/such/h.png"),
              "B:EXTEND:300B:ERROR:Command 'output-histogram' - could not save picture (/no/such/h.png)");
    EXPECT_EQ(r.Ask("C:output-histogram@@4@0@0@0@1@x.png"),
              "C:ERROR:Command 'output-histogram' - invalid channel index");

    // One channel: its item is selected and only its slices are written.
    EXPECT_EQ(r.AskLong("D:output-img2d@@1@" + dir.Path() + "@1@1@0"), "D:EXTEND:500D:OK");
    EXPECT_TRUE(r.Item("Water")->selected);
    EXPECT_EQ(r.doc->imageExportFolder, dir.Path());
    EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/Doc_Water_mono8_XY_0.tif"));
    EXPECT_FALSE(std::filesystem::exists(dir.Path() + "/Doc_Void_mono8_XY_0.tif"));
    EXPECT_EQ(r.AskLong("E:output-img2d@@-1@" + dir.Path() + "@2@1@0"), "E:EXTEND:500E:OK");
    EXPECT_TRUE(std::filesystem::exists(dir.Path() + "/Doc_Void_mono16_XY_1.tif"));
    EXPECT_EQ(r.Ask("E2:output-img2d@@-1@@2@1@0"),
              "E2:ERROR:Command 'output-img2d' - invalid output folder ()");

    // The check's refusal comes before EXTEND, the writer's failure after it.
    EXPECT_EQ(r.Ask("F:output-web3d@@T@1@desc@@" + dir.Path() + "@2@1.5@1@0"),
              "F:ERROR:Command 'output-web3d' - No volume image is created.");
    // The dialog's border and opacity ranges, before EXTEND: nothing is written.
    for (const char* opacity : {"-1", "2147483647", "4294967295", "nan"})
        EXPECT_EQ(r.Ask(std::string("G:output-web3d@@T@0@desc@page@bad@3@") + opacity + "@1@1"),
                  "G:ERROR:Command 'output-web3d' - " + std::string(web3dmsg::kBadOpacity));
    EXPECT_EQ(r.Ask("G:output-web3d@@T@0@desc@page@bad@-3@1.5@1@1"),
              "G:ERROR:Command 'output-web3d' - " + std::string(web3dmsg::kBadBorder));
    EXPECT_EQ(r.AskLong("G:output-web3d@@T@0@desc@page@bad@3@1.5@1@1"),
              "G:EXTEND:500G:ERROR:Command 'output-web3d' - could not write");
    EXPECT_EQ(r.host.log.web.description, "desc");
    EXPECT_EQ(r.host.log.web.border, 3);
    EXPECT_TRUE(r.host.log.web.serviceScript);
    EXPECT_EQ(r.AskLong("H:output-web3d@@T@1@desc@page@good@2@1@0@0"), "H:EXTEND:500H:OK");
    EXPECT_EQ(r.host.log.web.description, "");

    EXPECT_EQ(r.Ask("I:output-animation@@1@30@1@10@0@0@0@m.avi"),
              "I:ERROR:Command 'output-animation' - Invalid rotation option format.");
    EXPECT_EQ(r.Ask("J:output-animation@@1;0@30@0@10@0@0@0@m.avi"),
              "J:ERROR:Command 'output-animation' - Number of rotations must be > 0");
    EXPECT_EQ(r.Ask("K:output-animation@@1;0@5@1@10@0@0@0@m.avi"),
              "K:ERROR:Command 'output-animation' - Frame rate must be > 10");
    // A window that cannot record answers after EXTEND with the recorder's message.
    EXPECT_EQ(r.AskLong("L:output-animation@@2;30@25@1@2@1@1@1@m.avi"),
              "L:EXTEND:500L:ERROR:Command 'output-animation' - Animation recording is not available.");
}

// An image export that writes nothing answers ERROR with what the export told, after its EXTEND:
// a folder below a regular file, a link to a missing folder, and colour pictures of a tree that
// shows no slice. Grey pictures asked for as PNG are refused before it, as the window refuses them.
TEST(RemoteOutputCommands, AnImageExportThatWritesNothingAnswersWhatItTold) {
    Shown r;
    TempDir dir;
    { std::ofstream(dir.File("plain")) << "x"; }
    std::filesystem::create_directory_symlink(dir.File("no/such"), dir.File("gone"));
    const std::string e = "ERROR:Command 'output-img2d' - ";
    // Only the boundary channel chosen, whose slices the tree does not show.
    const std::string hidden = "A:EXTEND:500A:" + e + "Could not export " + sliceexport::kNothingVisible;
    EXPECT_EQ(Replied(r, "A:output-img2d@@3@" + dir.Path() + "@0@0@0", hidden), hidden);
    r.tree->SetItemSelected(r.Item("b"), false);
    const std::string none = e + "Could not export any files";
    for (const std::string& folder : {dir.File("plain") + "/sub", dir.File("gone")}) {
        const std::string refused = "B:EXTEND:500B:" + none;
        EXPECT_EQ(Replied(r, "B:output-img2d@@1@" + folder + "@1@1@0", refused), refused) << folder;
    }
    const std::string before = r.doc->imageExportFolder;
    for (const char* mode : {"1", "2", "4294967295"}) {
        const std::string grey = "C:" + e + imageexport::kPngMono;
        EXPECT_EQ(Replied(r, "C:output-img2d@@1@" + dir.Path() + "@" + mode + "@0@0", grey), grey) << mode;
        EXPECT_EQ(r.doc->imageExportFolder, before);
    }
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"gone", "plain"}));
    // The same channel as TIFF writes its slices and passes.
    EXPECT_EQ(Replied(r, "D:output-img2d@@1@" + dir.Path() + "@2@1@0", "D:EXTEND:500D:OK"),
              "D:EXTEND:500D:OK");
    EXPECT_TRUE(std::filesystem::exists(dir.File("Doc_Water_mono16_XY_1.tif")));
}

// An export that leaves out every one of thousands of files over several channels answers one
// short final ERROR that says so, and the link goes on.
TEST(RemoteOutputCommands, AnExportThatLeavesOutManyFilesAnswersOneShortError) {
    Shown r;
    TempDir dir;
    ASSERT_EQ(r.Ask("A:setupgrids@@3@3@1000@0@0@0@1@1@1"), "A:OK");
    { std::ofstream(dir.File("plain")) << "x"; }
    // A folder below a regular file: every slice of every channel is left out.
    EXPECT_EQ(r.Ask("B:output-img2d@@-1@" + dir.File("plain") + "/sub@1@1@0"),
              "B:EXTEND:500B:ERROR:Command 'output-img2d' - Could not export any files");
    EXPECT_EQ(r.Ask("C:hello"), "C:hello");
}

}  // namespace
}  // namespace zun
