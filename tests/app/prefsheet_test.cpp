// The preference sheet's rules without a window: the volume slider and edit, the Memory and Debug
// limits, applying, and the Plugins and Cluster pages' list operations.

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "app/prefpages.h"
#include "app/prefsheet.h"
#include "platform/inifile.h"
#include "platform/prompt.h"

using namespace zun;

namespace {

struct SheetFixture : ::testing::Test {
    std::filesystem::path dir;
    IniFile ini;
    HeadlessPrompt prompt;
    ZunPreferences current;
    int applied = 0;
    std::unique_ptr<PrefsSheetModel> sheet;

    void SetUp() override {
        std::random_device rd;
        dir = std::filesystem::temp_directory_path() / ("zun_prefsheet_" + std::to_string(rd()));
        std::filesystem::create_directories(dir);
        ini.SetPath((dir / "zun.ini").string());
        Open();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    void Open() {
        sheet = std::make_unique<PrefsSheetModel>(current, ini, prompt, [this] { ++applied; });
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> out;
        for (const PromptRequest& r : prompt.Requests()) out.push_back(r.text);
        return out;
    }
};

}  // namespace

TEST(DisplayVolume, SliderEndsAndDefaultPosition) {
    EXPECT_EQ(DisplaySliderToVolume(0), 1000u);
    EXPECT_EQ(DisplaySliderToVolume(1000), 64000000000ULL);
    EXPECT_EQ(DisplayVolumeToSlider(1000), 0);
    EXPECT_EQ(DisplayVolumeToSlider(64000000000ULL), 1000);
    EXPECT_EQ(DisplayVolumeToSlider(27000000), 568);
    // Every slider position maps back onto itself.
    for (int p = 0; p <= 1000; ++p) ASSERT_EQ(DisplayVolumeToSlider(DisplaySliderToVolume(p)), p) << p;
}

TEST(DisplayVolume, EditTextParsing) {
    EXPECT_EQ(ParseDisplayVolume("2.5e8"), 250000000u);
    EXPECT_EQ(ParseDisplayVolume("64000000000"), 64000000000ULL);
    EXPECT_EQ(ParseDisplayVolume("1000"), 1000u);
    EXPECT_EQ(ParseDisplayVolume("1234.9"), 1234u);  // the fraction is dropped
    for (const char* bad : {"999", "7e10", "", "abc", "-5000", "1e300", "nan", "99999999999999999999999"})
        EXPECT_FALSE(ParseDisplayVolume(bad)) << bad;
    EXPECT_EQ(FormatDisplayVolume(27000000, 0), "27000000");
    EXPECT_EQ(FormatDisplayVolume(27000000, 1), "2.7e+07");
}

TEST_F(SheetFixture, DisplayEditRefusesAndEnterShowsOneMessage) {
    DisplayPageModel page(*sheet);
    EXPECT_FALSE(page.CommitEdit("999", DisplayPageModel::Trigger::FocusLoss));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Invalid value for the Maximum Display Volume (voxels)"});
    EXPECT_EQ(page.EditText(), "27000000");
    EXPECT_FALSE(sheet->IsModified());

    // The message box takes the focus from the edit while an Enter-started check runs: that focus
    // loss is not checked a second time.
    struct Reentrant : Prompt {
        DisplayPageModel* page = nullptr;
        int shown = 0;
        int Ask(const PromptRequest&) override {
            ++shown;
            page->CommitEdit("7e10", DisplayPageModel::Trigger::FocusLoss);
            return kPromptOk;
        }
    } reentrant;
    PrefsSheetModel other(current, ini, reentrant, nullptr);
    DisplayPageModel page2(other);
    reentrant.page = &page2;
    EXPECT_FALSE(page2.CommitEdit("7e10", DisplayPageModel::Trigger::Enter));
    EXPECT_EQ(reentrant.shown, 1);

    EXPECT_TRUE(page.CommitEdit("2.5e8", DisplayPageModel::Trigger::Enter));
    EXPECT_EQ(sheet->Working().display.maxSize, 250000000u);
    EXPECT_TRUE(sheet->IsModified());
    EXPECT_TRUE(page.CanRestore());
    page.Restore();
    EXPECT_EQ(sheet->Working().display.maxSize, 27000000u);
    EXPECT_FALSE(page.CanRestore());
    EXPECT_FALSE(page.CanSetDefault());
    page.OnSpeedSlider(150);
    EXPECT_TRUE(page.CanSetDefault());
    page.SetDefault();
    EXPECT_EQ(sheet->Working().display.animationSpeed, 100u);
}

TEST_F(SheetFixture, MemoryAndDebugStayInTheirRanges) {
    MemoryPageModel memory(*sheet);
    EXPECT_FALSE(memory.CanSetDefault());
    EXPECT_TRUE(memory.Spin("100", 1));
    EXPECT_EQ(sheet->Working().memory.remain, 100);
    EXPECT_TRUE(memory.Spin("0", -1));
    EXPECT_EQ(sheet->Working().memory.remain, 0);
    EXPECT_TRUE(memory.CanSetDefault());
    for (const char* bad : {"abc", "101", "-1", ""}) {
        prompt.Clear();
        EXPECT_FALSE(memory.CommitEdit(bad)) << bad;
        ASSERT_EQ(prompt.Requests().size(), 1u);
        EXPECT_EQ(prompt.Requests()[0].text, "Value must be an integer between 0 and 100 inclusive.");
        EXPECT_EQ(prompt.Requests()[0].icon, PromptIcon::Information);
    }
    EXPECT_FALSE(memory.Spin("x", 1));
    EXPECT_EQ(sheet->Working().memory.remain, 0);  // refused text changes nothing
    EXPECT_TRUE(memory.CommitEdit("42"));
    EXPECT_EQ(memory.EditText(), "42");
    memory.SetEnabled(false);
    memory.SetDefault();
    EXPECT_TRUE(sheet->Working().memory.enabled);
    EXPECT_EQ(sheet->Working().memory.remain, 5);

    DebugSpin(*sheet, 1);
    DebugSpin(*sheet, 1);
    EXPECT_EQ(sheet->Working().debug.level, 1);
    DebugSpin(*sheet, -3);
    EXPECT_EQ(sheet->Working().debug.level, 0);
}

TEST_F(SheetFixture, ApplyThenCancelKeepsTheAppliedValues) {
    sheet->Working().display.maxSize = 5000000;
    sheet->Working().memory.remain = 17;
    sheet->SetModifiedAll(true);
    sheet->ApplyAll();
    EXPECT_EQ(applied, 1);
    EXPECT_FALSE(sheet->IsModified());
    EXPECT_EQ(sheet->Reference().display.maxSize, 5000000u);
    // Changed after Apply, then the sheet is cancelled (dropped).
    sheet->Working().display.maxSize = 9000000;
    sheet.reset();
    EXPECT_EQ(current.display.maxSize, 5000000u);
    EXPECT_EQ(current.memory.remain, 17);
    ZunPreferences fromFile;
    fromFile.LoadAll(ini);
    EXPECT_EQ(fromFile.display.maxSize, 5000000u);
    EXPECT_EQ(fromFile.memory.remain, 17);
}

TEST_F(SheetFixture, PluginFolderOperations) {
    current.plugins.defaultList = {"/opt/a", "/opt/b"};
    current.plugins.searchList = {"/opt/a", "/opt/b", "/x"};
    Open();
    PluginPageModel page(*sheet);
    EXPECT_FALSE(page.CanIncludeDefaults());
    EXPECT_FALSE(page.CanRestore());

    EXPECT_FALSE(page.AddFolder(""));  // the browser was cancelled
    EXPECT_FALSE(page.AddFolder("/x"));
    EXPECT_EQ(Texts(),
              std::vector<std::string>{"The directory /x\nis already in the plugin dll search list."});
    EXPECT_TRUE(page.AddFolder("/X"));  // letter case makes another folder
    EXPECT_TRUE(page.AddFolder("/y"));
    EXPECT_TRUE(page.CanRestore());
    page.Restore();
    EXPECT_EQ(page.Folders(), (std::vector<std::string>{"/opt/a", "/opt/b", "/x"}));

    page.RemoveRows({0});
    EXPECT_TRUE(page.CanIncludeDefaults());
    page.IncludeDefaults();
    EXPECT_EQ(page.Folders(), (std::vector<std::string>{"/opt/b", "/x", "/opt/a"}));
    EXPECT_FALSE(page.CanIncludeDefaults());  // all listed, in another order

    // Two selected rows of equal text remove the first two equal entries.
    sheet->Working().plugins.searchList = {"/d", "/e", "/d", "/d"};
    page.RemoveRows({3, 2});
    EXPECT_EQ(page.Folders(), (std::vector<std::string>{"/e", "/d"}));
    page.RemoveRows({});
    EXPECT_EQ(page.Folders().size(), 2u);
}

TEST_F(SheetFixture, ClusterRecordOperations) {
    ClusterPageModel page(*sheet);
    EXPECT_EQ(page.Record(), nullptr);
    page.Delete();
    EXPECT_FALSE(page.Save("", "", "", false));
    EXPECT_TRUE(page.Save("dns", "1.2.3.4", "/bin", true));  // no record: nothing stored
    EXPECT_EQ(page.Count(), 0);
    EXPECT_EQ(sheet->Working().cluster.defaultCluster, -1);
    page.SearchClusters();
    EXPECT_EQ(prompt.Requests().back().text, "Cannot find any cluster");

    page.SelectOrAdd("");
    EXPECT_EQ(page.Count(), 0);
    page.SelectOrAdd("a");
    page.SelectOrAdd("c");
    page.Prev();
    page.SelectOrAdd("b");  // after the current record
    ASSERT_EQ(page.Count(), 3);
    EXPECT_EQ(page.Record()->name, "b");
    EXPECT_EQ(page.Current(), 1);
    page.SelectOrAdd("c");
    EXPECT_EQ(page.Current(), 2);
    page.Next();
    EXPECT_EQ(page.Current(), 2);

    prompt.Clear();
    EXPECT_FALSE(page.Save("host", "", "/bin", false));
    EXPECT_EQ(Texts(), std::vector<std::string>{"Failed to save cluster info - please fill empty fields"});
    EXPECT_EQ(page.Record()->dnsName, "");
    page.SetAsDefault(true);
    EXPECT_TRUE(page.Save("host", "10.0.0.1", "/opt/bin", true));
    EXPECT_EQ(page.Record()->dnsName, "host");
    EXPECT_EQ(page.Record()->name, "c");
    EXPECT_EQ(sheet->Working().cluster.defaultCluster, 2);

    // The default keeps naming its record, or none once it is gone.
    page.Prev();
    page.Prev();
    page.Delete();  // "a"
    EXPECT_EQ(page.Current(), 0);
    EXPECT_EQ(page.Record()->name, "b");
    EXPECT_EQ(sheet->Working().cluster.defaultCluster, 1);
    page.Next();
    page.Delete();  // "c", the last and the default
    EXPECT_EQ(page.Current(), 0);
    EXPECT_EQ(page.Count(), 1);
    EXPECT_EQ(sheet->Working().cluster.defaultCluster, -1);

    prompt.QueueAnswer(kPromptCancel);
    page.DeleteAll();
    EXPECT_EQ(page.Count(), 1);
    EXPECT_EQ(prompt.Requests().back().text, "Delete all selected clusters?");
    EXPECT_EQ(prompt.Requests().back().buttons, PromptButtons::OkCancel);
    page.DeleteAll();
    EXPECT_EQ(page.Count(), 0);
    EXPECT_EQ(page.Current(), 0);
}
