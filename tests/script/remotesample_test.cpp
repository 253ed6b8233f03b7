// The remote commands that build a sample, set the display state, map channel data, set up and
// start the computation and write outputs, driven over a loopback link against plain documents.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "document/docmessages.h"
#include "document/testfiles.h"
#include "foundation/memoryguard.h"
#include "remotefixture.h"
#include "tree/displaystate.h"
#include "tree/treehints.h"

namespace zun {
namespace {

// Composition Void, composition Water, CT "ct" and boundary "b" on a 6 x 4 x 3 grid.
struct Sample : Remote {
    CZunDoc* doc = nullptr;
    Sample() : Remote(true) {
        host.NewDocument();
        doc = host.active;
        doc->SetTitle("Doc");
        EXPECT_EQ(Ask("A:insertchannels@@Water;0#ct;1#b;3"), "A:OK");
        EXPECT_EQ(Ask("B:setupgrids@doc@6@4@3@0@0@0@1e-6@2e-6@3e-6"), "B:OK");
    }
    ZunImage& S() { return doc->GetSample(); }
    std::vector<std::string> Names() { return S().GetChanNames(); }
};

TEST(RemoteSampleCommands, GridAndChannels) {
    Sample r;
    EXPECT_EQ(r.S().GetDims(), (Dims{6, 4, 3}));
    const std::vector<double>& edges = r.doc->GetModel().GetParams().voxelPhysicalSize;
    EXPECT_DOUBLE_EQ(edges[1], 1e-6);
    EXPECT_DOUBLE_EQ(edges[3], 3e-6);
    EXPECT_EQ(r.Names(), (std::vector<std::string>{"Void", "Water", "ct", "b"}));
    EXPECT_EQ(r.S().GetChan(2)->kind, ZunChan::kXrayCt);
    EXPECT_EQ(r.S().GetChan(3)->kind, ZunChan::kBoundary);

    // One value: the edge size keeps the grid, a size changes only its axis.
    EXPECT_EQ(r.Ask("C:setupgrid@@2@1@5e-6"), "C:OK");
    EXPECT_EQ(r.S().GetDims(), (Dims{6, 4, 3}));
    EXPECT_DOUBLE_EQ(r.doc->GetModel().GetParams().voxelPhysicalSize[2], 5e-6);
    EXPECT_EQ(r.Ask("D:setupgrid@@0@2@5"), "D:OK");
    EXPECT_EQ(r.S().GetDims(), (Dims{6, 4, 5}));
    EXPECT_EQ(r.Ask("E:setupgrid@@0@3@5"), "E:ERROR:Command 'setupgrid' - invalid axis (3)");
    EXPECT_EQ(r.Ask("F:setupgrid@@0@-1@5"), "F:ERROR:Command 'setupgrid' - invalid axis (-1)");

    // A list item without its kind refuses the whole list before a channel goes in; empty names
    // take the kind's default.
    EXPECT_EQ(r.Ask("G:insertchannels@@;2#x"),
              "G:ERROR:Command 'insertchannels' - Invalid channel format (;2#x)");
    EXPECT_EQ(r.S().CountChansOfKind(ZunChan::kProperty), 0);
    EXPECT_EQ(r.Ask("G:insertchannels@@;2"), "G:OK");
    EXPECT_EQ(r.S().CountChansOfKind(ZunChan::kProperty), 1);
    const int count = r.S().GetChanCount();
    EXPECT_EQ(r.Ask("H:insertchannel@@@" + std::to_string(count + 1) + "@0"),
              "H:ERROR:Command 'insertchannel' - invalid channel index");
    EXPECT_EQ(r.Ask("I:insertchannel@@last@" + std::to_string(count) + "@7"), "I:OK");
    EXPECT_EQ(r.S().GetChan(r.S().FindChanIndex("last"))->kind, ZunChan::kComposition);
    EXPECT_EQ(r.Ask("J:insertchannel@nodoc@x@0@0"),
              "J:ERROR:Command 'insertchannel' - no document (nodoc) found");
}

TEST(RemoteSampleCommands, CompoundAndBeamEnergyRenameTheirChannels) {
    Sample r;
    EXPECT_EQ(r.Ask("A:setupcompchannel@@1@H2O@1.5"), "A:OK");
    const ZunChan& water = *r.S().GetChan(1);
    EXPECT_EQ(water.compound.formula, "H2O");
    EXPECT_DOUBLE_EQ(water.compound.density, 1.5);
    EXPECT_EQ(water.name, r.doc->GetChannelDisplayName(1));
    EXPECT_EQ(r.Ask("B:setupcompchannel@@1@Xx3@2"), "B:ERROR:Command 'setupcompchannel' - parse formula");
    EXPECT_EQ(water.compound.formula, "H2O");
    // The compound dialog's density rule holds on the link too.
    for (const char* density : {"-1", "inf", "nan", "1e300"})
        EXPECT_EQ(r.Ask(std::string("B:setupcompchannel@@1@CaCO3@") + density),
                  "B:ERROR:Command 'setupcompchannel' - Invalid density entry")
            << density;
    EXPECT_EQ(water.compound.formula, "H2O");
    EXPECT_DOUBLE_EQ(water.compound.density, 1.5);
    // Another kind's channel, or one past the list, has no composition row.
    EXPECT_EQ(r.Ask("C:setupcompchannel@@2@H2O@1"),
              "C:ERROR:Command 'setupcompchannel' - invalid channel index");
    EXPECT_EQ(r.Ask("D:setupcompchannel@@4@H2O@1"),
              "D:ERROR:Command 'setupcompchannel' - invalid channel index");

    EXPECT_EQ(r.Ask("E:setupctchannel@@2@30"), "E:OK");
    const Params& p = r.doc->GetModel().GetParams();
    EXPECT_FLOAT_EQ(p.ctBeamEnergy[1], 30.0f);
    EXPECT_NEAR(p.lacMatrix[p.MatrixIndex(1, 1)], 1.5 * 0.3756, 0.01);
    EXPECT_EQ(r.S().GetChan(2)->name, r.doc->GetChannelDisplayName(2));
    EXPECT_EQ(r.Ask("F:setupctchannel@@1@30"), "F:ERROR:Command 'setupctchannel' - invalid channel index");
    // An energy where the attenuation source has no data would leave the channel's coefficients 0:
    // refused as the text data file and the CT properties dialog refuse it.
    const float lac = p.lacMatrix[p.MatrixIndex(1, 1)];
    for (const char* energy : {"0", "-1", "inf", "nan", "1e9"}) {
        const std::string reply = r.Ask(std::string("G:setupctchannel@@2@") + energy);
        EXPECT_EQ(reply.rfind("G:ERROR:Command 'setupctchannel' - beam energy ", 0), 0u) << reply;
    }
    EXPECT_FLOAT_EQ(p.ctBeamEnergy[1], 30.0f);
    EXPECT_EQ(p.lacMatrix[p.MatrixIndex(1, 1)], lac);
}

TEST(RemoteSampleCommands, ImportTakesTheMatchingFilesInNameOrder) {
    TempDir dir;
    RunPython(R"(
import sys, os, numpy as np, tifffile
d = sys.argv[1]
for z in [3, 0, 2, 1]:
    tifffile.imwrite(d + "/s%d.tif" % z, np.full((4, 6), float(z + 1), dtype=np.float32))
open(d + "/notes.txt", "w").write("x")
open(d + "/.hidden.tif", "w").write("x")
os.mkfifo(d + "/s1pipe.tif")
os.mkdir(d + "/s2folder.tif")
)",
              {dir.Path()});
    // A named pipe and a folder named like slice files are not listed (the pipe would block).
    EXPECT_EQ(ListImportFiles(dir.Path(), "tif", 0, 3),
              (std::vector<std::string>{"s0.tif", "s1.tif", "s2.tif"}));
    EXPECT_TRUE(ListImportFiles(dir.Path(), "tif", 2, 2).empty());
    EXPECT_EQ(ListImportFiles(dir.Path(), "tif", 1, 100),
              (std::vector<std::string>{"s1.tif", "s2.tif", "s3.tif"}));
    EXPECT_TRUE(ListImportFiles(dir.Path(), "TIF", 0, 100).empty());

    Sample r;
    EXPECT_EQ(r.Ask("A:importdata@@2@" + dir.Path() + "@1@100@tif@0@1@0@1@0@1@0@0@0@0@0@0"), "A:OK");
    // Slices 0, 1, 2 hold files s1, s2, s3: values 2, 3, 4 of the maximum 4.
    for (int z = 0; z < 3; ++z) EXPECT_NEAR(r.S().GetChanPhysicalValue(2, 1, 1, z), z + 2.0, 1e-3) << z;
    EXPECT_EQ(r.Ask("B:importdata@@4@" + dir.Path() + "@0@1@tif@0@0@0@1@0@1@0@0@0@0@0@0"),
              "B:ERROR:Command 'importdata' - invalid channel index");
}

// An import that leaves files out or refuses the stack answers ERROR with the import's own report
// instead of OK; a range that takes no file has nothing to fail.
TEST(RemoteSampleCommands, AnImportThatFailsAnswersItsReport) {
    TempDir dir;
    RunPython(R"(
import sys, os, numpy as np, tifffile
d = sys.argv[1]
for sub in ["bad", "part", "mixed"]:
    os.mkdir(d + "/" + sub)
for name in ["bad/a.tif", "bad/b.tif", "part/b.tif"]:
    open(d + "/" + name, "w").write("not a picture")
for name in ["part/a.tif", "mixed/a.tif"]:
    tifffile.imwrite(d + "/" + name, np.full((4, 6), 2.0, dtype=np.float32))
tifffile.imwrite(d + "/mixed/b.tif", np.full((4, 6), 2, dtype=np.uint16))
)",
              {dir.Path()});
    Sample r;
    const ZunChan& ct = *r.S().GetChan(2);
    const std::vector<imtype> before(ct.Data(), ct.Data() + ct.GetNumVoxels());
    auto import = [&](const std::string& tag, const std::string& folder, const std::string& range,
                      const std::string& expected) {
        r.Request(tag + ":importdata@@2@" + dir.File(folder) + "@" + range + "@tif@0@1@0@1@0@1@0@0@0@0@0@0");
        EXPECT_TRUE(r.PumpUntilHanded(r.handed.size() + 1));
        return r.ReadReply(tag + ":" + expected);
    };
    const std::string e = "ERROR:Command 'importdata' - ";
    EXPECT_EQ(import("A", "bad", "0@100", e + "Could not import any files"),
              "A:" + e + "Could not import any files");
    EXPECT_EQ(import("B", "mixed", "0@100", e + docmsg::kMixedImportFormats),
              "B:" + e + docmsg::kMixedImportFormats);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), ct.Data()));
    EXPECT_EQ(import("C", "bad", "2@2", "OK"), "C:OK");
    // The file that could be read went in; the reply names the one that could not.
    EXPECT_EQ(import("D", "part", "0@100", e + "Could not import b.tif"),
              "D:" + e + "Could not import b.tif");
    EXPECT_NEAR(r.S().GetChanPhysicalValue(2, 1, 1, 0), 2.0, 1e-3);
}

// The grid words pass the Sample Grid dialog's checks and are refused with its texts; a refusal
// changes nothing.
TEST(RemoteSampleCommands, GridWordsAreCheckedAsTheSampleGridDialogChecksThem) {
    Sample r;
    const std::string xy = "If all gridSize dimensions are non-zero, X and Y ranges must be >=3";
    const std::string limit = "All gridSize dimensions must be less than or equal to 32767";
    const std::string big = "One or more requested gridSize dimensions are too large";
    const std::string invalid = "One or more numeric fields contain an invalid value";
    const std::string voxel = "Invalid voxel physical size specification";
    const std::pair<const char*, std::string> cases[] = {
        {"setupgrids@@2@2@2@0@0@0@1e-6@1e-6@1e-6", xy},
        {"setupgrids@@40000@3@3@0@0@0@1e-6@1e-6@1e-6", limit},
        {"setupgrids@@2147483647@0@24@0@0@0@1e-6@1e-6@1e-6", limit},
        {"setupgrids@@32767@32767@3@0@0@0@1e-6@1e-6@1e-6", big},
        {"setupgrids@@-1@3@3@0@0@0@1e-6@1e-6@1e-6", invalid},
        {"setupgrids@@x@3@3@0@0@0@1e-6@1e-6@1e-6", invalid},
        {"setupgrids@@6@4@3@99999999999@0@0@1e-6@1e-6@1e-6", invalid},
        {"setupgrids@@6@4@3@0@0@@1e-6@1e-6@1e-6", invalid},
        {"setupgrids@@6@4@3@0@0@0@nan@1e-6@1e-6", voxel},
        {"setupgrids@@6@4@3@0@0@0@1e-6@inf@1e-6", voxel},
        {"setupgrids@@6@4@3@0@0@0@1e-6@1e-6@-1", voxel},
        {"setupgrids@@6@4@3@0@0@0@0@1e-6@1e-6", voxel},
        {"setupgrids@@6@4@3@0@0@0@1e-6@1e-6@1e309", voxel},
        {"setupgrid@@0@0@40000", limit},
        {"setupgrid@@0@0@2", xy},
        {"setupgrid@@1@2@x", invalid},
        {"setupgrid@@2@1@nan", voxel},
        {"setupgrid@@2@1@-inf", voxel},
        {"setupgrid@@2@2@0", voxel},
        // A size or offset with more after its number is no size: read by its leading digits,
        // the first would keep one slice of three.
        {"setupgrids@@24@24@1e309@0@0@0@1e-6@1e-6@1e-6", invalid},
        {"setupgrids@@24abc@4@3@0@0@0@1e-6@1e-6@1e-6", invalid},
        {"setupgrids@@6@4@3@0@1,5@0@1e-6@1e-6@1e-6", invalid},
        {"setupgrid@@0@2@5x", invalid},
        {"setupgrid@@1@2@-1.5", invalid},
    };
    const std::vector<double> edges = r.doc->GetModel().GetParams().voxelPhysicalSize;
    r.doc->SetModifiedFlag(false);
    for (const auto& [request, detail] : cases) {
        const std::string command = std::string(request).substr(0, std::string(request).find('@'));
        EXPECT_EQ(r.Ask(std::string("A:") + request), "A:ERROR:Command '" + command + "' - " + detail);
        EXPECT_EQ(r.S().GetDims(), (Dims{6, 4, 3})) << request;
        EXPECT_EQ(r.doc->GetModel().GetParams().voxelPhysicalSize, edges) << request;
        EXPECT_FALSE(r.doc->IsModified()) << request;
    }
    // Blanks may follow a size or offset; an edge size keeps its reading of the leading number.
    EXPECT_EQ(r.Ask("B:setupgrids@@6 @4@5\t@0 @0@0@1e-6@5e-6 m@3e-6"), "B:OK");
    EXPECT_EQ(r.S().GetDims(), (Dims{6, 4, 5}));
    EXPECT_DOUBLE_EQ(r.doc->GetModel().GetParams().voxelPhysicalSize[2], 5e-6);
}

// A tree that follows the document's hints, as the windows' trees do.
struct FollowingTree : DocView {
    DisplayTree tree;
    CZunDoc& doc;
    explicit FollowingTree(CZunDoc& d) : doc(d) {
        tree.Build(doc.GetSample(), "Doc");
        doc.Views().Add(this);
    }
    ~FollowingTree() override { doc.Views().Remove(this); }
    void OnUpdate(DocView*, unsigned hint, const ChangeHint* h) override { ApplyChangeHint(tree, hint, h); }
};

// Offsets past the grid are clamped as the dialog clamps them: the views follow with one item per
// slice of the new grid, not one per voxel of the offset. An empty axis is a grid without voxels.
TEST(RemoteSampleCommands, HostileGridOffsetsAndEmptyAxesStayWithinTheGrid) {
    Sample r;
    FollowingTree view(*r.doc);
    for (const char* request : {"A:setupgrids@@24@24@24@0@0@100000@1e-6@1e-6@1e-6",
                                "A:setupgrids@@24@24@24@0@0@-2147483648@1e-6@1e-6@1e-6",
                                "A:setupgrid@@1@2@2147483647", "A:setupgrid@@1@0@-2147483648",
                                "A:setupgrids@@24@24@24@-2147483648@2147483647@2147483647@1e-6@1e-6@1e-6"}) {
        EXPECT_EQ(r.Ask(request), "A:OK") << request;
        EXPECT_EQ(r.S().GetDims(), (Dims{24, 24, 24})) << request;
        for (int c = 0; c < view.tree.ChannelCount(); ++c)
            ASSERT_EQ(view.tree.Channel(c)->ChildCount(), 24) << request;
    }
    EXPECT_EQ(r.Ask("B:setupgrids@@32767@0@24@0@0@0@1e-6@1e-6@1e-6"), "B:OK");
    EXPECT_EQ(r.S().GetDims(), (Dims{32767, 0, 24}));
    EXPECT_EQ(r.S().GetNumVoxels(), 0u);
    // The edge sizes of a refused command were never written, those of an accepted one exactly.
    EXPECT_EQ(r.Ask("C:setupgrid@@2@0@1.2345678901234567e-6"), "C:OK");
    EXPECT_EQ(r.doc->GetModel().GetParams().voxelPhysicalSize[1], 1.2345678901234567e-6);
}

TEST(RemoteSampleCommands, ARunningComputationRefusesTheCommandsThatChangeItsData) {
    Sample r;
    r.doc->GetModel().SetState(kRunning, false, nullptr);
    for (const char* request :
         {"A:setupgrids@@2@2@2@0@0@0@1@1@1", "A:insertchannel@@x@1@0", "A:setupcompchannel@@1@H2O@1",
          "A:setupcomp@@1@1@1@1@1@1@1", "A:setup-map-mapdata@@0@1@0@0@x@0@0@0@1@0@0@0", "A:startcomp@"}) {
        const std::string reply = r.Ask(request);
        EXPECT_NE(reply.find("' - computation running"), std::string::npos) << request << " " << reply;
    }
    r.doc->GetModel().SetState(kReady, false, nullptr);
}

}  // namespace
}  // namespace zun

namespace zun {
namespace {

// The phantom: the water fraction of column x is (x / 2) / 2, over two columns at a time.
void WritePhantom(const std::string& dir, double mu) {
    RunPython(R"(
import sys, numpy as np, tifffile
d, mu = sys.argv[1], float(sys.argv[2])
plane = np.array([[min(x // 2, 2) / 2.0 * mu for x in range(6)] for y in range(4)], dtype=np.float32)
for z in range(3):
    tifffile.imwrite(d + "/p%d.tif" % z, plane)
)",
              {dir, std::to_string(mu)});
}

// How long a computation of the phantom may take on a loaded machine under a sanitizer.
constexpr int kComputeWaitMs = 300000;

// Water in channel 1 and a 30 keV CT channel 2 holding the phantom, over the link, ready to compute.
void SetUpPhantom(Sample& r, const TempDir& dir) {
    EXPECT_EQ(r.Ask("A:setupcompchannel@@1@H2O@1"), "A:OK");
    EXPECT_EQ(r.Ask("B:setupctchannel@@2@30"), "B:OK");
    const Params& p = r.doc->GetModel().GetParams();
    WritePhantom(dir.Path(), p.lacMatrix[p.MatrixIndex(1, 1)]);
    EXPECT_EQ(r.Ask("C:importdata@@2@" + dir.Path() + "@0@100@tif@0@1@0@1@0@1@0@0@0@0@0@0"), "C:OK");
    EXPECT_EQ(r.Ask("D:setupcomp@@1@0@0@1@0@0@0"), "D:OK");
}

TEST(RemoteOutputCommands, StartcompComputesThePhantomAndAnswersAtItsEnd) {
    TempDir dir;
    Sample r;
    SetUpPhantom(r, dir);
    r.doc->SetRemote(&r.server.ComputeReplies());
    r.Request("E:startcomp@Doc");
    const std::string got = r.ReadFinal("E", kComputeWaitMs, [&] { r.frame.Pump(); });
    EXPECT_EQ(got.rfind("E:EXTEND:300", 0), 0u) << got;
    EXPECT_NE(got.find("E:OK"), std::string::npos) << got;
    for (int x = 0; x < 6; ++x)
        EXPECT_NEAR(r.S().GetChanPhysicalValue(1, x, 1, 1), (x / 2) / 2.0, 1.0 / 15)
            << x << "\n"
            << r.doc->Logger().Text();
}

// Exponents other than 1 take the general search. Any finite exponent is the user's choice: a
// negative interaction exponent makes the powers of small fractions enormous, extreme ones take
// the energies of every grid point beyond the arithmetic (a mean that is no number would reach the
// word conversion), yet each run ends with whole fractions in every voxel.
TEST(RemoteOutputCommands, StartcompCompletesWithAnyFiniteExponent) {
    TempDir dir;
    Sample r;
    SetUpPhantom(r, dir);
    const Params& p = r.doc->GetModel().GetParams();
    // CT error exponent @ interaction exponent; the CT word is unsigned, so "-1" stands for 2^32 - 1.
    for (const char* exponents :
         {"2@-2", "0@-0.5", "3@7.5", "-1@-1e6", "-1@1e30", "0@1e-30", "1@-1e30", "1@1e30"}) {
        SCOPED_TRACE(exponents);
        EXPECT_EQ(r.Ask(std::string("E:setupcomp-setup-dnlo@@1@1@1@0@15@") + exponents +
                        "@2000@0;0#1;0.1@1@3@0;0;1;0.5#1;0;1;0.25"),
                  "E:OK");
        EXPECT_EQ(p.interactionExponent, std::stof(std::strchr(exponents, '@') + 1));
        r.doc->SetRemote(&r.server.ComputeReplies());
        r.Request("F:startcomp@Doc");
        const std::string got = r.ReadFinal("F", kComputeWaitMs, [&] { r.frame.Pump(); });
        ASSERT_NE(got.find("F:OK"), std::string::npos) << got << "\n" << r.doc->Logger().Text();
        const ZunImage& s = r.S();
        for (std::size_t v = 0; v < s.GetNumVoxels(); ++v)
            ASSERT_EQ((s.GetChan(0)->Data()[v] & 0x3FFF) + (s.GetChan(1)->Data()[v] & 0x3FFF), 16383) << v;
    }
}

TEST(RemoteOutputCommands, NoRequestClosesOrChangesADocumentWhileLongWorkOnItLetsRequestsIn) {
    TempDir dir;
    Sample r;
    r.host.BuildTree(*r.doc);
    std::filesystem::create_directories(dir.File("slices"));
    { std::ofstream(dir.File("slices") + "/s0.tif") << "not a picture"; }
    std::vector<std::string> boundary = {"buildboundary", "", "3", "2"};
    boundary.resize(32, "0");
    boundary[17] = boundary[19] = boundary[25] = "";
    boundary[26] = boundary[27] = boundary[28] = "2";
    std::string boundaryWords;
    for (const std::string& w : boundary) boundaryWords += (boundaryWords.empty() ? "" : "@") + w;
    struct Case {
        std::string request, work;
        bool changesData;  // a save meanwhile would store it half done
    };
    const std::vector<Case> cases = {
        {"output-animation@@1;0@25@1@1@0@0@0@" + dir.File("m.avi"), "animation recording", false},
        {"output-web3d@@T@0@d@page@" + dir.Path() + "@8@1@0@0", "web page export", false},
        {"output-histogram@@1@0@0@0@1@" + dir.File("h.png"), "histogram picture", false},
        // A folder not made yet makes the export report its failures.
        {"output-img2d@@-1@" + dir.File("none") + "@1@1@0", "image export", false},
        {boundaryWords, "boundary build", true},
        {"importdata@@2@" + dir.File("slices") + "@0@100@tif@0@1@0@1@0@1@0@0@0@0@0@0", "data import", true},
    };
    const std::string during = dir.File("during.zun");
    for (const auto& [request, work, changesData] : cases) {
        SCOPED_TRACE(request);
        int handedIn = 0;
        std::string nested;
        r.host.duringWork.hook = [&, changes = changesData] {
            // What the controller sends while the command's progress lets events through.
            ++handedIn;
            r.interpreter.Execute("Z", "closedocument@Doc");
            r.interpreter.Execute("Y", "setupgrids@Doc@2@2@2@0@0@0@1@1@1");
            r.interpreter.Execute("X", "output-web3d@@T@0@d@page@" + dir.Path() + "@8@1@0@0");
            if (changes) r.interpreter.Execute("U", "save@" + during);
        };
        r.Request("W:" + request);
        ASSERT_TRUE(r.PumpUntilHanded(r.handed.size() + 1));
        const std::string replies = r.ReadFinal("W");
        r.host.duringWork.hook = nullptr;
        EXPECT_GT(handedIn, 0);
        EXPECT_NE(replies.find("Z:ERROR:Command 'closedocument' - " + work + " running"), std::string::npos)
            << replies;
        EXPECT_NE(replies.find("Y:ERROR:Command 'setupgrids' - " + work + " running"), std::string::npos)
            << replies;
        EXPECT_NE(replies.find("X:ERROR:Command 'output-web3d' - " + work + " running"), std::string::npos)
            << replies;
        if (changesData) {
            EXPECT_NE(replies.find("U:ERROR:Command 'save' - The document cannot be saved while its " + work +
                                   " is running."),
                      std::string::npos)
                << replies;
            EXPECT_FALSE(std::filesystem::exists(during));
        }
        ASSERT_EQ(r.host.docs.size(), 1u);
        EXPECT_EQ(r.S().GetDims(), (Dims{6, 4, 3}));
        EXPECT_EQ(r.doc->RunningWork(), "");
    }
    // Once the work has ended the document closes.
    EXPECT_EQ(r.Ask("V:closedocument@Doc"), "V:OK");
}

// Every word that reads or writes a path refuses a named pipe where a file is wanted, a file where
// a folder is, and a name holding a NUL or another control character, before it changes or
// creates anything: the pipe would have held the program in open(), the NUL cut the path short.
TEST(RemoteOutputCommands, PathsThatNameNoFileOrHoldAControlCharacterAreRefusedFirst) {
    TempDir dir;
    Sample r;
    r.host.BuildTree(*r.doc);
    r.doc->SetModifiedFlag(false);
    const std::string d = dir.Path(), nul(1, '\0');
    for (const char* pipe : {"pipe.png", "pipe.avi"}) ASSERT_EQ(::mkfifo(dir.File(pipe).c_str(), 0600), 0);
    const std::string control = "The file or folder name holds a control character.";
    const std::string import = "@0@100@tif@0@1@0@1@0@1@0@0@0@0@0@0";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"output-histogram@@1@0@0@0@1@" + d + "/pipe.png", d + "/pipe.png is not a regular file."},
        {"output-histogram@@1@0@0@0@1@" + d + "/h" + nul + ".png", control},
        {"output-histogram@@1@0@0@0@1@" + d + "/h\n.png", control},
        {"output-img2d@@-1@" + d + "/d" + nul + "e@1@1@0", control},
        {"output-img2d@@-1@" + d + "/pipe.png@1@1@0", d + "/pipe.png is not a folder."},
        {"output-web3d@@T@0@d@page@" + d + "/web" + nul + "x@8@1@0@0", control},
        {"output-web3d@@T@0@d@page@" + d + "/pipe.png@8@1@0@0", d + "/pipe.png is not a folder."},
        {"output-animation@@1;0@25@1@1@0@0@0@" + d + "/pipe.avi", d + "/pipe.avi is not a regular file."},
        {"output-animation@@1;0@25@1@1@0@0@0@" + d + "/m" + nul + ".avi", control},
        {"importdata@@2@" + d + "/s" + nul + "x" + import, control},
        {"importdata@@2@" + d + "/pipe.png" + import, d + "/pipe.png is not a folder."},
        {"setupcomp-setup-plugin@@" + d + "/p" + nul + "q@name@", control},
    };
    for (const auto& [request, reason] : cases) {
        const std::string word = request.substr(0, request.find('@'));
        EXPECT_EQ(r.Ask("T:" + request), "T:ERROR:Command '" + word + "' - " + reason) << request;
    }
    // Nothing was written or created, and the document was left as it was.
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(d))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"pipe.avi", "pipe.png"}));
    EXPECT_TRUE(r.host.log.histograms.empty());
    EXPECT_FALSE(r.doc->IsModified());
    EXPECT_EQ(r.doc->GetModel().PluginRunList().size(), 0u);
}

// A list of channels goes in whole or not at all, and a single insert that fails says why.
TEST(RemoteSampleCommands, InsertsThatFailSayWhyAndLeaveTheChannelsAsTheyWere) {
    bool tight = false;
    std::uint64_t limit = 0;
    // A machine whose memory ends at the limit, as the guard sees it.
    SetMemoryPolicy({true, 50});
    SetMemoryStatusSource([&](MemoryStatus& m) {
        m.totalPhysical = tight ? 2 * limit : 1ull << 40;
        const std::uint64_t used = VoxelBytesInUse();
        m.availablePhysical = m.totalPhysical > used ? m.totalPhysical - used : 0;
        return true;
    });
    {
        Sample r;
        const std::vector<std::string> names = r.Names();
        const std::string e = "ERROR:Command 'insertchannels' - ";
        EXPECT_EQ(r.Ask("C:insertchannels@@x;0#Water;0"), "C:" + e + "Channel \"Water\" already exists");
        EXPECT_EQ(r.Ask("D:insertchannels@@x;0#y;1#x;2"), "D:" + e + "Channel \"x\" already exists");
        EXPECT_EQ(r.Ask("E:insertchannel@@Water@1@0"),
                  "E:ERROR:Command 'insertchannel' - Channel \"Water\" already exists");
        EXPECT_EQ(r.Names(), names);

        // Room for two more channels of the grid: the third of a list fails, and the two before
        // it go again.
        const std::uint64_t before = VoxelBytesInUse();
        ASSERT_EQ(r.Ask("F:insertchannel@@probe@1@0"), "F:OK");
        const std::uint64_t channel = VoxelBytesInUse() - before;
        ASSERT_GT(channel, 0u);
        const std::vector<std::string> withProbe = r.Names();
        const std::uint64_t base = VoxelBytesInUse();
        limit = base + 2 * channel + channel / 2;
        tight = true;
        EXPECT_EQ(r.Ask("G:insertchannels@@m1;0#m2;1#m3;2#m4;0"),
                  "G:" + e + "Insufficient memory while inserting a new data channel. (m3)");
        EXPECT_EQ(r.Names(), withProbe);
        EXPECT_EQ(VoxelBytesInUse(), base);
        limit = base + channel / 2;
        EXPECT_EQ(
            r.Ask("H:insertchannel@@one@1@0"),
            "H:ERROR:Command 'insertchannel' - Insufficient memory while inserting a new data channel.");
        EXPECT_EQ(r.Names(), withProbe);
        tight = false;
        EXPECT_EQ(r.Ask("I:insertchannels@@m1;0#m2;1#m3;2#m4;0"), "I:OK");
    }
    SetMemoryStatusSource({});
    SetMemoryPolicy({});
}

TEST(RemoteSampleCommands, ChannelSetupKeepsTheKindAndRefreshesTheAttenuationWindow) {
    Sample r;
    r.host.BuildTree(*r.doc);
    EXPECT_EQ(r.Ask("A:setupcompchannel@@1@H2O@1"), "A:OK");
    EXPECT_EQ(r.host.log.refreshed, (std::vector<int>{1}));
    // A polychromatic channel stays one: the command sets the monochromatic energy only.
    r.S().GetChan(2)->polychromatic = true;
    EXPECT_EQ(r.Ask("B:setupctchannel@@2@30"), "B:OK");
    EXPECT_TRUE(r.S().GetChan(2)->polychromatic);
    EXPECT_FLOAT_EQ(r.doc->GetModel().GetParams().ctBeamEnergy[1], 30.0f);
}

}  // namespace
}  // namespace zun
