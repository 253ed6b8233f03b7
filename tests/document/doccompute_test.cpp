// A text document written by a script computes with the default set-up and recovers the
// phantom's volume fractions.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "dochelpers.h"
#include "document/textdatafile.h"
#include "foundation/pinnedthread.h"
#include "model/voxelword.h"
#include "platform/mainframe.h"
#include "testfiles.h"

namespace zun {
namespace {

using Lines = std::vector<std::string>;

struct ComputeFixture {
    HeadlessPrompt prompt;
    HintLog hints;
    QueuedMainFrameChannel frame;
    CZunDoc doc{DocServices{&prompt, nullptr, &frame}};
    ComputeFixture() {
        RegisterAllClasses();
        frame.SetHandler([this](const FrameMessage& m) { doc.HandleFrameMessage(m); });
        doc.OnNewDocument();
        doc.Views().Add(&hints);
    }
    // Pumps the main frame until the run has ended.
    void WaitForEnd() {
        for (int i = 0; i < 6000 && (doc.GetModel().IsBusy() || frame.Pending()); ++i) frame.WaitAndPump(50);
        frame.Pump();
    }
};

TEST(DocCompute, ScriptWrittenDocumentComputesWithTheDefaultSetup) {
    TempDir dir;
    std::string doc = dir.File("phantom.txt"), truth = dir.File("truth.txt");
    ASSERT_EQ(std::system((std::string(ZUN_PYTHON) + " " + ZUN_SOURCE_DIR +
                           "/examples/make_phantom.py --size 16 --out '" + doc + "' --truth '" + truth + "'")
                              .c_str()),
              0);
    ComputeFixture f;
    ASSERT_TRUE(f.doc.ImportTextDocument(doc)) << f.prompt.Requests().at(0).text;
    const Params& p = f.doc.GetModel().GetParams();
    ASSERT_EQ(p.compositionCount, 2);  // the compositions after the first
    ASSERT_EQ(p.ctChannelCount, 2);
    EXPECT_FLOAT_EQ(p.ctBeamEnergy[1], 40.0f);
    EXPECT_FLOAT_EQ(p.ctBeamEnergy[2], 80.0f);
    // Coefficients from the compounds at the beam energies: void 0, aluminium above water.
    EXPECT_EQ(p.lacMatrix[p.MatrixIndex(1, 0)], 0.0f);
    EXPECT_NEAR(p.lacMatrix[p.MatrixIndex(1, 1)], 0.268, 0.01);
    EXPECT_NEAR(p.lacMatrix[p.MatrixIndex(2, 2)], 0.545, 0.02);

    ASSERT_TRUE(f.doc.CanStartComputation());
    ASSERT_EQ(f.doc.OnStartComputation(), 0)
        << (f.prompt.Requests().empty() ? "" : f.prompt.Requests()[0].text);
    f.WaitForEnd();
    EXPECT_EQ(f.doc.GetModel().GetState(), kCompleted) << f.doc.GetModel().GetStateText() << "\n"
                                                       << f.doc.Logger().Text();
    EXPECT_TRUE(f.doc.IsModified());

    DataDocument want = ReadTextDataFile(truth);
    const ZunImage& s = f.doc.GetSample();
    double worst = 0, sum = 0;
    std::size_t n = 0;
    for (int c = 0; c < 3; ++c) {
        const imtype* got = s.GetChan(c)->Data();
        for (std::size_t v = 0; v < want.channels[c].words.size(); ++v, ++n) {
            double d = std::abs(double(got[v] & 0x3FFF) - double(want.channels[c].words[v])) / 16383.0;
            worst = std::max(worst, d);
            sum += d;
        }
    }
    std::printf("mean fraction error %.5f, largest %.5f\n%s", sum / n, worst, f.doc.Logger().Text().c_str());
    EXPECT_LT(sum / n, 0.02) << "mean fraction error";
    EXPECT_LT(worst, 0.2) << "largest fraction error";

    // The model explains the data: the residual channels stay near zero.
    f.hints.Take();
    EXPECT_EQ(f.doc.SubtractModelData(), 2);
    const int r = s.FindChanIndex("CT 40 keV_residual");
    ASSERT_GE(r, 0);
    EXPECT_EQ(s.GetChan(r)->kind, 2);
    EXPECT_GE(s.FindChanIndex("CT 80 keV_residual"), 0);
    EXPECT_LT(std::abs(s.GetChan(r)->range[0]), 0.05f);
    EXPECT_LT(std::abs(s.GetChan(r)->range[1]), 0.05f);
    Lines hints = f.hints.Take();
    ASSERT_FALSE(hints.empty());
    EXPECT_EQ(hints.back(), "2 Stats 0 all");
    EXPECT_EQ(f.doc.SubtractModelData(), 2);  // the second time the channels are reused
    EXPECT_EQ(s.GetChanCount(), 7);
}

TEST(DocCompute, DeviceSelectionAndSaveOptions) {
    ComputeFixture f;
    std::vector<ComputeDeviceEntry> present;
    f.doc.GetModel().Devices().GetDeviceList(present);
    EXPECT_TRUE(SameDevices(f.doc.DeviceSelection(), present));  // a new document uses them all
    f.doc.SetDeviceSelection(present);
    EXPECT_FALSE(f.doc.IsModified());
    present[0].threadCount = 3;
    f.doc.SetDeviceSelection(present);
    EXPECT_TRUE(f.doc.IsModified());
    std::vector<ComputeDeviceEntry> applied;
    f.doc.GetModel().Devices().GetDeviceList(applied);
    EXPECT_EQ(applied[0].threadCount, 3);
    // The dialog's or a controller's count past what the machine can run is bounded as a file's is.
    present[0].threadCount = 131073;
    f.doc.SetDeviceSelection(present);
    EXPECT_LE(f.doc.GetModel().Devices().TotalThreads(), MaxSelectionThreads());
    EXPECT_LE(LibraryThreadCount(f.doc.DeviceSelection()), MaxSelectionThreads());
    present[0].threadCount = 3;
    f.doc.SetDeviceSelection(present);

    f.doc.Settings().exitAfterComputation = true;
    f.doc.SetSaveAfterComputation(true);
    EXPECT_TRUE(f.doc.ExitAfterComputation());
    f.doc.SetSaveAfterComputation(false);
    EXPECT_FALSE(f.doc.ExitAfterComputation());

    // Nothing to compute in a new document: the start is refused with the document's message.
    EXPECT_FALSE(f.doc.CanStartComputation());
    EXPECT_EQ(f.doc.OnStartComputation(), 1);
    ASSERT_EQ(f.prompt.Requests().size(), 1u);
    EXPECT_EQ(f.prompt.Requests()[0].text, "Must have a non-zero volume before starting a computation");
}

// The property runs and the library share the document's selection, bounded by the processors
// the program may run on: a document saved on a larger machine does not crowd a narrower mask.
TEST(DocCompute, ThreadsFollowTheSelectionWithinTheAffinityMask) {
    ComputeFixture f;
    std::vector<ComputeDeviceEntry> eight;
    for (int k = 0; k < 8; ++k) eight.push_back({"CPU #" + std::to_string(k), 1});
    f.doc.Settings().devices = eight;
    int pinned = 0, noneSelected = 0;
    ASSERT_TRUE(RunOnProcessors(1, [&] {
        pinned = f.doc.Properties()->ThreadCount();
        f.doc.Settings().devices.clear();
        noneSelected = f.doc.Properties()->ThreadCount();
    }));
    EXPECT_EQ(pinned, 1);
    EXPECT_EQ(noneSelected, 1);
    f.doc.Settings().devices = {{"CPU #0", 1}};
    EXPECT_EQ(f.doc.Properties()->ThreadCount(), 1);
}

TEST(DocCompute, NoSaveOrEditWhileRunningAndStopMarksModified) {
    TempDir dir;
    std::string doc = dir.File("p.txt");
    ASSERT_EQ(std::system((std::string(ZUN_PYTHON) + " " + ZUN_SOURCE_DIR +
                           "/examples/make_phantom.py --size 4 --out '" + doc + "'")
                              .c_str()),
              0);
    std::atomic<bool> release{false};
    {
        ComputeFixture f;
        SetActiveZunDoc(&f.doc);
        EXPECT_EQ(GetActiveZunDoc(), &f.doc);
        ASSERT_TRUE(f.doc.ImportTextDocument(doc));
        const std::string first = f.doc.GetSample().GetChan(0)->name;
        // Text files of the first channel and of its first slice, each with its first word changed.
        const imtype kept = f.doc.GetSample().GetChan(0)->Data()[0];
        std::string exported = dir.File("first.txt"), slice = dir.File("slice.txt");
        ASSERT_TRUE(f.doc.ExportChannelsToText({first}, exported));
        ASSERT_TRUE(f.doc.ExportSlicesToText({{first, 0}}, slice));
        for (const std::string& path : {exported, slice}) {
            DataDocument d = ReadTextDataFile(path);
            d.channels[0].words[0] = static_cast<imtype>(kept ^ 1);
            WriteTextDataFile(path, d);
        }
        // A step that waits until the test lets it go.
        f.doc.GetModel().SetStepRunner([&](int, const ComputeLibParams&) {
            while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return 0;
        });
        ASSERT_EQ(f.doc.OnStartComputation(), 0);
        EXPECT_EQ(f.doc.GetModel().GetState(), kRunning);
        f.prompt.Clear();
        EXPECT_FALSE(f.doc.OnSaveDocument(dir.File("busy.zun")));
        EXPECT_EQ(f.prompt.Requests().at(0).text,
                  "The document cannot be saved while a computation is running.");
        EXPECT_FALSE(std::filesystem::exists(dir.File("busy.zun")));
        // Nor exported: the file would mix the voxels of two moments of the run.
        f.prompt.Clear();
        EXPECT_FALSE(f.doc.ExportTextDocument(dir.File("busy.txt")));
        EXPECT_FALSE(f.doc.ExportBinaryDataFile(dir.File("busy.bin")));
        EXPECT_FALSE(f.doc.ExportChannelsToText({first}, dir.File("busy1.txt")));
        EXPECT_EQ(f.prompt.Requests().size(), 3u);
        EXPECT_EQ(f.prompt.Requests().at(0).text,
                  "The document cannot be exported while a computation is running.");
        for (const char* name : {"busy.txt", "busy.bin", "busy1.txt"})
            EXPECT_FALSE(std::filesystem::exists(dir.File(name))) << name;
        EXPECT_EQ(f.doc.InsertChannel(0, 1, "late"), -3);
        EXPECT_TRUE(f.doc.DeleteSlices({0}).empty());
        // The worker owns the voxels: a text import must not write into them under it.
        f.doc.SetModifiedFlag(false);
        EXPECT_FALSE(f.doc.ImportChannelsFromText({first}, exported));
        EXPECT_FALSE(f.doc.ImportSlicesFromText({{first, 0}}, slice));
        EXPECT_EQ(f.doc.GetSample().GetChan(0)->Data()[0], kept);
        EXPECT_FALSE(f.doc.IsModified());
        // The worker reads the mask fields: the active boundary cannot change under it.
        const bool maskOn = f.doc.GetSample().boundaryMaskOn;
        const std::string active = f.doc.GetSample().activeBoundaryName;
        f.doc.SetBoundaryActive(!maskOn, first);
        EXPECT_EQ(f.doc.GetSample().boundaryMaskOn, maskOn);
        EXPECT_EQ(f.doc.GetSample().activeBoundaryName, active);
        // The remote stop: no question, and the document counts as modified.
        f.doc.SetModifiedFlag(false);
        f.doc.HandleFrameMessage(FrameMessage{FrameMsg::StartStopComputation, &f.doc, 1});
        // Stopping: the worker is still in its step and still owns the voxels.
        EXPECT_EQ(f.doc.GetModel().GetState(), kStopping);
        EXPECT_EQ(f.doc.InsertChannel(0, 1, "late"), -3);
        EXPECT_TRUE(f.doc.DeleteSlices({0}).empty());
        release = true;
        f.WaitForEnd();
        EXPECT_TRUE(f.doc.IsModified());
        EXPECT_NE(f.doc.GetModel().GetState(), kRunning);
        EXPECT_TRUE(f.doc.OnSaveDocument(dir.File("done.zun")));
    }
    EXPECT_EQ(GetActiveZunDoc(), nullptr);  // the document went away
}

TEST(DocCompute, UndefinedVoxelsTakeTheDefaultFractions) {
    ComputeFixture f;
    ASSERT_EQ(f.doc.InsertChannel(0, 1, "A"), 0);
    ASSERT_EQ(f.doc.InsertChannel(0, 2, "B"), 0);
    f.doc.GetModel().GetParams().defaultVolumeFractions = {0.2f, 0.3f, 0.5f};
    ASSERT_EQ(f.doc.ResizeVolume({2, 2, 1}, {0, 0, 0}), 0);
    const std::vector<imtype> w = f.doc.DefaultFractionWords();
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[0] + w[1] + w[2], 16383);
    EXPECT_NEAR(w[1], 0.3 * 16383, 1.5);
    ZunImage& s = f.doc.GetSample();
    for (int i = 0; i < 3; ++i) s.GetChan(i)->Data()[0] = i == 1 ? 16383 : 0;  // a defined voxel
    ASSERT_EQ(f.doc.ResizeVolume({3, 2, 1}, {0, 0, 0}), 0);
    EXPECT_EQ(s.GetChan(1)->Data()[0], 16383);
    EXPECT_EQ(s.GetChan(0)->Data()[0], 0);
    for (int v = 1; v < 6; ++v)
        for (int i = 0; i < 3; ++i) EXPECT_EQ(s.GetChan(i)->Data()[v], w[static_cast<std::size_t>(i)]) << v;
    f.doc.GetModel().GetParams().setDefaultsForUndefinedVoxels = false;
    for (int i = 0; i < 3; ++i) s.GetChan(i)->Data()[5] = 0;
    ASSERT_EQ(f.doc.ResizeVolume({3, 2, 2}, {0, 0, 0}), 0);
    EXPECT_EQ(s.GetChan(2)->Data()[5], 0);
}

// A new document's grid gives "Void" every voxel by default; a composition added afterwards must
// still be free to take them.
TEST(DocCompute, DefaultFractionsStayFreeForLaterCompositions) {
    ComputeFixture f;
    ASSERT_EQ(f.doc.ResizeVolume({2, 2, 1}, {0, 0, 0}), 0);
    ZunImage& s = f.doc.GetSample();
    for (int v = 0; v < 4; ++v) EXPECT_EQ(s.GetChan(0)->Data()[v], 16383) << v;
    ASSERT_EQ(f.doc.InsertChannel(0, 1, "A"), 0);
    for (int v = 0; v < 4; ++v) EXPECT_EQ(s.GetChan(0)->Data()[v] & kVoxelReadOnlyBit, 0) << v;
}

}  // namespace
}  // namespace zun
