#include "document/docsettings.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "document/docmessages.h"
#include "platform/archive.h"
#include "platform/prompt.h"

namespace zun {
namespace {

TEST(DocSettings, RoundTripAndExitNeedsSave) {
    DocSettings s;
    s.loggingEnabled = false;
    s.clearLogOnStart = s.viewLog = s.saveAfterComputation = s.exitAfterComputation = true;
    s.attenuationMethod = 3;
    s.coefficientKind = 1;
    s.notes = "line 1\nline 2 \xCE\xBC\n";
    s.devices = {{"CPU 0", 4}, {"CPU 1", -1}};
    s.compoundText.energies = {10, 50, 0.1f};
    s.compoundText.normalisation = 2;
    s.compoundText.normalisationSeries = "Water \xCE\xBC";
    s.compoundText.beta = s.compoundText.markEdges = s.compoundText.penetrationDepth = true;
    s.compoundText.quantityMask = 3;
    s.compoundText.transmissionRatio = 12.5f;
    s.compoundText.tableFormat = "8.3f";
    s.compoundText.matrixEnergies = {20, 40.5};
    MemoryStream mem;
    {
        Archive ar(mem, Archive::Mode::Store);
        s.Serialize(ar);
        s.saveAfterComputation = false;
        s.Serialize(ar);
    }
    mem.Rewind();
    Archive ar(mem, Archive::Mode::Load);
    DocSettings back;
    back.Serialize(ar);
    EXPECT_FALSE(back.loggingEnabled);
    EXPECT_TRUE(back.exitAfterComputation);
    EXPECT_EQ(back.attenuationMethod, 3);
    EXPECT_EQ(back.notes, s.notes);
    EXPECT_TRUE(SameDevices(back.devices, s.devices));
    EXPECT_EQ(back.compoundText, s.compoundText);
    back.Serialize(ar);
    EXPECT_FALSE(back.exitAfterComputation);  // exit without save is not kept
}

// A damaged document asked for 131073 threads on its first processor: a computation would start
// them all at once. Whatever a file, the device dialog or a remote command asks for, the selection
// keeps to what this machine can run.
TEST(DocSettings, DeviceSelectionsKeepToWhatTheMachineCanRun) {
    const int most = MaxSelectionThreads();
    ASSERT_GE(most, kMinSelectionThreads);
    DocSettings s;
    s.devices = {{"CPU #0", 131073}, {"CPU #1", 1}, {"CPU #2", -1}, {"CPU #3", 0}, {"CPU #4", 2147483647}};
    MemoryStream mem;
    {
        Archive ar(mem, Archive::Mode::Store);
        s.Serialize(ar);
    }
    mem.Rewind();
    Archive ar(mem, Archive::Mode::Load);
    DocSettings back;
    back.Serialize(ar);
    ASSERT_EQ(back.devices.size(), 5u);
    EXPECT_EQ(back.devices[0].threadCount, most);
    for (std::size_t i = 1; i < back.devices.size(); ++i) EXPECT_EQ(back.devices[i].threadCount, 0) << i;
    EXPECT_LE(LibraryThreadCount(back.devices), most);

    // Ordinary selections stay as they are.
    std::vector<ComputeDeviceEntry> usual = {{"CPU #0", 4}, {"CPU #1", -1}, {"CPU #2", 0}, {"CPU #3", 1}};
    EXPECT_FALSE(BoundDeviceThreads(usual));
    EXPECT_EQ(usual[1].threadCount, -1);
    // The entry that reaches the total gets what is left.
    std::vector<ComputeDeviceEntry> big = {{"CPU #0", most - 3}, {"CPU #1", 5}, {"CPU #2", 5}};
    EXPECT_TRUE(BoundDeviceThreads(big));
    EXPECT_EQ(big[1].threadCount, 3);
    EXPECT_EQ(big[2].threadCount, 0);
}

TEST(ViewRecord, CurrentLayoutAndOlderFiles) {
    ViewRecord v;
    v.background = 0x102030;
    v.boundingBoxFlags = 12;
    v.angle = 1.25;
    v.distance = 7;
    v.radius = 3;
    v.renderMode = 9;  // stored as 0
    v.stereoMode = 5;
    v.splitHorizontal = 120;
    v.alphaFunction = 0.25f;
    MemoryStream mem;
    {
        Archive ar(mem, Archive::Mode::Store);
        v.Serialize(ar, 2648);
    }
    EXPECT_EQ(mem.Bytes().size(), 4u + 1 + 4 + 6 * 8 + 4 + 1 + 4 + 1 + 4 + 4 + 4 + 1 + 12 + 8 + 8);
    mem.Rewind();
    ViewRecord back;
    {
        Archive ar(mem, Archive::Mode::Load);
        back.Serialize(ar, 2648);
    }
    EXPECT_TRUE(back.cameraRestored);
    v.renderMode = 0;
    v.cameraRestored = true;
    v.loadedVersion = 2648;
    EXPECT_EQ(back, v);

    // A file of version 1000: leading word, bool box flag, the rotation, eye settings; no more.
    MemoryStream old;
    {
        Archive ar(old, Archive::Mode::Store);
        ar << std::int32_t(77) << std::int32_t(0xFF) << true << false << 0.5 << 0.0 << 1.0 << 0.0;
        ar << 0.1f << true << std::int32_t(3) << false << 0.75f << std::int32_t(-1);
    }
    old.Rewind();
    ViewRecord r;
    Archive ar(old, Archive::Mode::Load);
    r.Serialize(ar, 1000);
    EXPECT_EQ(r.background, 0xFF);
    EXPECT_EQ(r.boundingBoxFlags, 2);
    EXPECT_EQ(r.angle, 0.5);
    EXPECT_EQ(r.renderMode, 3);
    EXPECT_EQ(r.isoValue, 0.75f);
    std::int32_t next = 0;
    ar >> next;
    EXPECT_EQ(next, -1);  // nothing more was read
}

TEST(DocMessages, MemoryAndFileFailureReports) {
    HeadlessPrompt p;
    ShowInsufficientMemoryError(&p, "inserting a new data channel");
    ShowInsufficientMemoryError(&p);
    ReportFileFailures(&p, {}, 3, "write");
    ReportFileFailures(&p, {"a", "b", "c"}, 3, "write");
    ReportFileFailures(&p, {"a"}, 1, "save");
    ReportFileFailures(&p, {"a", "b"}, 3, "save");
    auto r = p.Requests();
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0].text, "Insufficient memory while inserting a new data channel.");
    EXPECT_EQ(r[1].text, "Insufficient memory.");
    EXPECT_EQ(r[2].text, "Could not write any files");
    EXPECT_EQ(r[3].text, "Could not save a");
    EXPECT_EQ(r[4].text, "Could not save a,b");
}

// However many files a batch left out, its report names the first 20 and counts the rest, so a
// message box fits a screen and a remote reply stays small; and its list holds no more than that.
TEST(DocMessages, FileListsNameTheFirstTwentyAndCountTheRest) {
    auto names = [](std::size_t n) {
        std::vector<std::string> v;
        for (std::size_t i = 0; i < n; ++i) v.push_back("/out/f" + std::to_string(i) + ".png");
        return v;
    };
    auto failed = [&](std::size_t n) { return FileFailures(names(n)); };
    std::string first20 = "/out/f0.png";
    for (int i = 1; i < 20; ++i) first20 += ",/out/f" + std::to_string(i) + ".png";
    EXPECT_EQ(FileFailuresText(failed(20), 30, "export"), "Could not export " + first20);
    EXPECT_EQ(FileFailuresText(failed(21), 30, "export"), "Could not export " + first20 + " ... and 1 more");
    // Every one of the batch failed: no names at all, however many.
    EXPECT_EQ(FileFailuresText(failed(40), 40, "import"), "Could not import any files");

    // Five channels of 32767 slices each, the names of a 3,649-character folder, none written: the
    // list keeps 20 names and the count, the text stays short.
    const std::string folder(3649, 'd');
    FileFailures many;
    for (std::size_t i = 0; i < 5 * 32767; ++i) many.Add(folder + "/f" + std::to_string(i) + ".png");
    EXPECT_EQ(many.Count(), 5u * 32767);
    ASSERT_EQ(many.Listed().size(), kListedNames);
    EXPECT_EQ(many.Listed().back(), folder + "/f19.png");
    const std::string text = FileFailuresText(many, 5 * 32767 + 1, "export");
    EXPECT_LT(text.size(), 21 * (folder.size() + 16));
    EXPECT_EQ(text.substr(text.rfind(".png") + 4), " ... and 163815 more");

    EXPECT_EQ(ListFirstNames({}, "\n"), "");
    EXPECT_EQ(ListFirstNames({"a", "b"}, "\n"), "a\nb");
    const std::string lines = ListFirstNames(names(25), "\n");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 19);
    EXPECT_EQ(lines.substr(lines.rfind('\n') + 1), "/out/f19.png ... and 5 more");
}

}  // namespace
}  // namespace zun
