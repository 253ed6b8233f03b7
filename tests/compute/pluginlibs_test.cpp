#include <dlfcn.h>
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "compute/pluginlibs.h"
#include "platform/archive.h"
#include "plugintestdoc.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

bool IsLoaded(const std::string& path) {
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (!h) return false;
    dlclose(h);
    return true;
}

class PluginLibsTest : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::path(ZUN_TEST_BINARY_DIR) / ("plugin_folders_" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }

    // Copies a test plug-in into a folder (made when needed) under a file name, with the given
    // modification time (seconds after a fixed base), and returns the path.
    std::string Put(const std::string& folder, const std::string& plugin, const std::string& file,
                    int seconds = 0) {
        fs::create_directories(root / folder);
        const fs::path to = root / folder / file;
        fs::copy_file(fs::path(ZUN_TEST_PLUGIN_DIR) / ("zt_" + plugin + ".so"), to,
                      fs::copy_options::overwrite_existing);
        fs::last_write_time(to, fs::file_time_type(std::chrono::seconds(1700000000 + seconds)));
        return to.string();
    }
    std::string Folder(const std::string& name) const { return (root / name).string(); }

    void ExpectNothingLoaded() {
        for (auto& e : fs::recursive_directory_iterator(root)) {
            if (e.path().extension() != ".so") continue;
            EXPECT_FALSE(IsLoaded(e.path().string())) << e.path();
        }
    }

    fs::path root;
};

TEST_F(PluginLibsTest, DiscoveryListsOnlyPluginsInFolderAndNameOrder) {
    Put("a", "writer", "zt_writer.so");
    const std::string echoA = Put("a", "valid", "zt_echo.so", 10);
    Put("a", "norelease", "zt_norelease.so");
    std::ofstream(root / "a" / "junk.so") << "not a library";
    std::ofstream(root / "a" / "readme.txt") << "text";
    fs::create_directories(root / "a" / "dir.so");
    const std::string echoC = Put("c", "valid", "zt_echo.so", 20);

    std::vector<DetectedPlugin> found{DetectedPlugin{}};  // stale content is dropped
    DiscoverPlugins(found, {Folder("a"), Folder("missing"), Folder("c") + "/"});
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0].name, "Echo");
    EXPECT_EQ(found[0].fileBaseName, "zt_echo");
    EXPECT_EQ(found[0].description, "Logs its arguments.");
    EXPECT_EQ(found[0].path, echoA);
    EXPECT_EQ(found[0].duplicateIndex, 0);
    EXPECT_EQ(found[1].name, "Inverter");
    EXPECT_EQ(found[1].duplicateIndex, 0);
    EXPECT_EQ(found[2].name, "Echo");
    EXPECT_EQ(found[2].path, echoC);
    EXPECT_EQ(found[2].duplicateIndex, 1);
    EXPECT_EQ(found[2].fileTime - found[0].fileTime, 10'000'000'000LL);
    ExpectNothingLoaded();
    // The check itself sees a library that is loaded.
    void* h = dlopen(echoA.c_str(), RTLD_NOW);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(IsLoaded(echoA));
    dlclose(h);
}

TEST_F(PluginLibsTest, MergeGivesSavedParametersAndSelectsOnlyTheNewestOfOneName) {
    Put("a", "valid", "zt_echo.so", 10);
    Put("b", "valid", "zt_echo_new.so", 20);
    Put("b", "writer", "zt_writer.so");
    const std::vector<SavedPluginSetting> saved{{"Echo", "zt_echo", "-v", true}, {"Gone", "gone", "x", true}};
    std::vector<PluginRunEntry> list;
    MergePluginSettings(list, saved, {Folder("a"), Folder("b")});
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].parameters, "-v");
    EXPECT_FALSE(list[0].selected);
    EXPECT_EQ(list[1].parameters, "-v");
    EXPECT_TRUE(list[1].selected);
    EXPECT_EQ(list[1].fileBaseName, "zt_echo_new");
    EXPECT_EQ(list[2].name, "Inverter");
    EXPECT_EQ(list[2].parameters, "");
    EXPECT_FALSE(list[2].selected);

    // The newer library decides, wherever it stands in the search order.
    Put("a", "valid", "zt_echo.so", 30);
    MergePluginSettings(list, saved, {Folder("a"), Folder("b")});
    EXPECT_TRUE(list[0].selected);
    EXPECT_FALSE(list[1].selected);
    // A saved setting that is not selected selects nothing.
    MergePluginSettings(list, {{"Echo", "zt_echo", "-v", false}}, {Folder("a"), Folder("b")});
    EXPECT_FALSE(list[0].selected);
    EXPECT_FALSE(list[1].selected);
    ExpectNothingLoaded();
}

TEST_F(PluginLibsTest, RefreshKeepsSettingsOnlyWhereNameAndPathMatch) {
    Put("a", "valid", "zt_echo.so");
    const std::string writer = Put("a", "writer", "zt_writer.so");
    std::vector<PluginRunEntry> list;
    RefreshPluginRunList(list, {Folder("a")});
    ASSERT_EQ(list.size(), 2u);
    list[0].parameters = "--echo";
    list[0].selected = true;
    list[1].parameters = "Density";
    list[1].selected = true;
    // Of two old entries with one name and path, the later one wins.
    PluginRunEntry dup = list[0];
    dup.parameters = "--later";
    dup.selected = false;
    list.push_back(dup);

    fs::rename(writer, root / "a" / "zt_inverter.so");
    RefreshPluginRunList(list, {Folder("a")});
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, "Echo");
    EXPECT_EQ(list[0].parameters, "--later");
    EXPECT_FALSE(list[0].selected);
    EXPECT_EQ(list[1].name, "Inverter");
    EXPECT_EQ(list[1].fileBaseName, "zt_inverter");
    EXPECT_EQ(list[1].parameters, "");
    EXPECT_FALSE(list[1].selected);
}

TEST_F(PluginLibsTest, FoldingBackKeepsAbsentPluginsAndSkipsUntouchedOnes) {
    auto entry = [](std::string name, std::string base, std::string params, bool sel) {
        PluginRunEntry e;
        e.name = std::move(name);
        e.fileBaseName = std::move(base);
        e.parameters = std::move(params);
        e.selected = sel;
        return e;
    };
    std::vector<SavedPluginSetting> saved{{"Zeta", "z", "old", true}, {"Gone", "g", "", true}};
    UpdateSavedPluginSettings(saved, {entry("Zeta", "z2", "", false), entry("Alpha", "a", "", false),
                                      entry("Beta", "b", "p", false), entry("Mu", "m", "", true)});
    const std::vector<SavedPluginSetting> want{
        {"Beta", "b", "p", false}, {"Gone", "g", "", true}, {"Mu", "m", "", true}, {"Zeta", "z2", "", false}};
    EXPECT_EQ(saved, want);
}

TEST_F(PluginLibsTest, SavedSettingsArchiveLayoutAndRoundTrip) {
    std::vector<SavedPluginSetting> saved{{"A", "liba", "-x \"y z\"", true}, {"B", "b", "", false}};
    MemoryStream ms;
    {
        Archive ar(ms, Archive::Mode::Store);
        SerializeSavedPluginSettings(ar, saved);
    }
    const std::vector<std::uint8_t> want{2,   0,   0,   0,   1,   'A', 4, 'l', 'i', 'b', 'a', 8, '-', 'x',
                                         ' ', '"', 'y', ' ', 'z', '"', 1, 1,   'B', 1,   'b', 0, 0};
    EXPECT_EQ(ms.Bytes(), want);
    ms.Rewind();
    std::vector<SavedPluginSetting> back{{"stale", "", "", false}};
    {
        Archive ar(ms, Archive::Mode::Load);
        SerializeSavedPluginSettings(ar, back);
    }
    EXPECT_EQ(back, saved);

    // A damaged count ends in an archive error, not in a huge allocation, and keeps the list.
    MemoryStream bad(std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0x7F, 1, 'A'});
    Archive ar(bad, Archive::Mode::Load);
    EXPECT_THROW(SerializeSavedPluginSettings(ar, back), ArchiveException);
    EXPECT_EQ(back, saved);
}

class PluginRunTest : public PluginLibsTest {
protected:
    PluginRunEntry Entry(const std::string& plugin, const std::string& params = "") {
        PluginRunEntry e;
        e.path = Put("run", plugin, "zt_" + plugin + ".so");
        e.fileBaseName = "zt_" + plugin;
        e.name = plugin == "thrower" ? "Thrower" : plugin;
        e.parameters = params;
        return e;
    }
    test::TestPluginDocument doc{3, 2, 2};
};

TEST_F(PluginRunTest, RunPassesArgumentsAndReportsSuccess) {
    EXPECT_EQ(RunPlugin(Entry("valid", "-n 3 \"a b\""), &doc), kPluginSuccess);
    const std::vector<std::string> want{"argc=4\n", "[zt_valid]\n", "[-n]\n", "[3]\n", "[a b]\n"};
    EXPECT_EQ(doc.log, want);
    EXPECT_EQ(doc.modifiedCalls, 0);
    ExpectNothingLoaded();
}

TEST_F(PluginRunTest, WritingPluginMarksTheDocumentModified) {
    doc.AddChannel("Density", 2, 0x4000 | 100);
    doc.AddChannel("Other", 0, 5);
    doc.channels[0].min = 3.0f;
    EXPECT_EQ(RunPlugin(Entry("writer", "Density"), &doc), kPluginSuccess);
    for (std::uint16_t w : doc.channels[0].words) EXPECT_EQ(w, 0x4000 | (16383 - 100));
    for (std::uint16_t w : doc.channels[1].words) EXPECT_EQ(w, 5);
    EXPECT_EQ(doc.channels[0].min, 0.0f);
    EXPECT_EQ(doc.modifiedCalls, 1);
    ExpectNothingLoaded();
}

TEST_F(PluginRunTest, StopDuringTheRunGivesUserInterrupt) {
    doc.stopAtCall = 5;
    EXPECT_EQ(RunPlugin(Entry("canceller"), &doc), kPluginUserInterrupt);
    EXPECT_EQ(doc.log, std::vector<std::string>{"stopped at 4\n"});
    EXPECT_EQ(doc.modifiedCalls, 0);

    doc.stopAtCall = 0;
    doc.log.clear();
    EXPECT_EQ(RunPlugin(Entry("canceller"), &doc), kPluginSuccess);
    EXPECT_EQ(doc.log, std::vector<std::string>{"finished\n"});
    ExpectNothingLoaded();
}

TEST_F(PluginRunTest, EscapingExceptionIsCaughtLoggedAndReported) {
    EXPECT_EQ(RunPlugin(Entry("thrower"), &doc), kPluginInvalid);
    EXPECT_EQ(doc.log, std::vector<std::string>{"Plugin 'Thrower' failed: deliberate failure\n"});
    // It marked the document changed before failing; that change is not lost.
    EXPECT_EQ(doc.modifiedCalls, 1);
    ExpectNothingLoaded();
}

TEST_F(PluginRunTest, EarlyFailuresReturnTheirCodesAndLeaveNothingLoaded) {
    EXPECT_EQ(RunPlugin(Entry("valid"), nullptr), kPluginNoDocument);
    EXPECT_EQ(RunPlugin(Entry("norelease"), &doc), kPluginInvalid);
    PluginRunEntry missing = Entry("valid");
    missing.path = Folder("run") + "/nothere.so";
    EXPECT_EQ(RunPlugin(missing, &doc), kPluginFileNotFound);
    std::ofstream(root / "run" / "junk.so") << "not a library";
    missing.path = (root / "run" / "junk.so").string();
    EXPECT_EQ(RunPlugin(missing, &doc), kPluginFileNotFound);
    EXPECT_TRUE(doc.log.empty());
    ExpectNothingLoaded();

    EXPECT_STREQ(PluginResultText(kPluginSuccess), "success");
    EXPECT_STREQ(PluginResultText(kPluginFileNotFound), "file not found");
    EXPECT_STREQ(PluginResultText(kPluginInvalid), "invalid plugin");
    EXPECT_STREQ(PluginResultText(kPluginNoDocument), "no document");
    EXPECT_STREQ(PluginResultText(kPluginUserInterrupt), "user interrupt");
}

}  // namespace
}  // namespace zun
