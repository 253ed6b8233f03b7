// The preference sheet as the user drives it: keys, buttons, Apply and Cancel, every page's
// screenshot; and the plug-in list with its About box.

#include <gtest/gtest.h>

#include <fstream>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "app/startup.h"
#include "app/ui/mainframe.h"
#include "app/ui/pluginlist.h"
#include "app/ui/prefsheet.h"
#include "app/ui/zunapp.h"
#include "document/zundoc.h"
#include "guitest.h"
#include "platform/inifile.h"
#include "platform/prompt.h"
#include "view3d/ui/zunview.h"

using namespace zun;

namespace {

struct SheetFixture : ::testing::Test {
    test::TempFolder tmp;
    IniFile ini;
    HeadlessPrompt prompt;
    ZunPreferences current;
    int applied = 0;
    std::string nextFolder;
    std::unique_ptr<ZunPrefs> sheet;

    void SetUp() override {
        ini.SetPath(tmp.File("zun.ini"));
        current.plugins.defaultList = {"/usr/lib/zun/plugins"};
        current.plugins.searchList = {"/usr/lib/zun/plugins", "/home/user/plugins"};
        current.cluster.clusters = {{"alpha", "files.alpha.test", "10.0.0.5", "/opt/zun/bin"},
                                    {"beta", "files.beta.test", "10.0.0.6", "/opt/zun/bin"}};
        current.cluster.defaultCluster = 0;
        ZunPrefs::Options options;
        options.browseFolder = [this](QWidget*) { return nextFolder; };
        sheet = std::make_unique<ZunPrefs>(
            current, ini, prompt, [this] { ++applied; }, nullptr, options);
        sheet->show();
        QApplication::processEvents();
    }
    template <class T>
    T* Find(int page, const char* name) {
        T* w = sheet->Page(page)->findChild<T*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    void Show(int page) {
        sheet->Tabs()->setCurrentIndex(page);
        QApplication::processEvents();
    }
};

}  // namespace

TEST_F(SheetFixture, EveryPageLeavesAScreenshot) {
    const char* names[] = {"Display", "Memory", "Logging", "Plugins", "Debug", "Cluster"};
    ASSERT_EQ(sheet->Tabs()->count(), 6);
    EXPECT_EQ(sheet->windowTitle(), "Zun Preferences");
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(sheet->Tabs()->tabText(i), names[i]);
        Show(i);
        EXPECT_FALSE(test::SaveScreenshot(sheet.get(), std::string("prefs_") + names[i]).empty());
    }
    EXPECT_FALSE(sheet->ApplyButton()->isEnabled());
}

TEST_F(SheetFixture, EnterInTheVolumeEditNeverClosesTheSheet) {
    Show(0);
    auto* edit = Find<QLineEdit>(0, "volumeEdit");
    auto* slider = Find<QSlider>(0, "resolutionSlider");
    EXPECT_EQ(edit->text(), "27000000");
    EXPECT_EQ(slider->value(), 568);
    edit->setFocus();
    edit->selectAll();
    EXPECT_FALSE(sheet->ApplyButton()->isEnabled());
    QTest::keyClicks(edit, "7e10");
    EXPECT_TRUE(sheet->ApplyButton()->isEnabled());  // while typing, before any Enter
    QTest::keyClick(edit, Qt::Key_Return);
    EXPECT_TRUE(sheet->isVisible());
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_EQ(prompt.Requests()[0].text, "Invalid value for the Maximum Display Volume (voxels)");
    EXPECT_EQ(edit->text(), "27000000");

    edit->selectAll();
    QTest::keyClicks(edit, "2.5e8");
    QTest::keyClick(edit, Qt::Key_Enter);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->Model().Working().display.maxSize, 250000000u);
    EXPECT_EQ(slider->value(), DisplayVolumeToSlider(250000000));
    EXPECT_TRUE(sheet->ApplyButton()->isEnabled());

    QTest::mouseClick(sheet->Page(0)->findChild<QWidget*>("scientificFormat"), Qt::LeftButton);
    EXPECT_EQ(edit->text(), "2.5e+08");
    slider->setValue(0);
    EXPECT_EQ(sheet->Model().Working().display.maxSize, 1000u);
    slider->setValue(1000);
    EXPECT_EQ(sheet->Model().Working().display.maxSize, 64000000000ULL);
    EXPECT_EQ(prompt.Requests().size(), 1u);
}

TEST_F(SheetFixture, ApplyThenCancelKeepsTheAppliedValues) {
    Show(1);
    auto* remain = sheet->Page(1)->findChild<SpinEdit*>("remainEdit");
    ASSERT_NE(remain, nullptr);
    remain->stepBy(1);
    EXPECT_EQ(remain->Text(), "6");
    Show(2);
    Find<QCheckBox>(2, "viewLog")->click();
    QTest::mouseClick(sheet->ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(applied, 1);
    EXPECT_FALSE(sheet->ApplyButton()->isEnabled());
    EXPECT_EQ(current.memory.remain, 6);
    EXPECT_TRUE(current.logging.viewLog);

    remain->stepBy(10);  // changed after Apply, then cancelled
    QTest::mouseClick(sheet->CancelButton(), Qt::LeftButton);
    EXPECT_FALSE(sheet->isVisible());
    EXPECT_EQ(current.memory.remain, 6);
    ZunPreferences fromFile;
    fromFile.LoadAll(ini);
    EXPECT_EQ(fromFile.memory.remain, 6);
    EXPECT_TRUE(fromFile.logging.viewLog);
}

TEST_F(SheetFixture, PluginAndClusterPagesFromTheirButtons) {
    Show(3);
    auto* list = Find<QListWidget>(3, "folderList");
    auto* restore = Find<QPushButton>(3, "restore");
    auto* defaults = Find<QPushButton>(3, "includeDefaults");
    auto* remove = Find<QPushButton>(3, "remove");
    EXPECT_FALSE(restore->isEnabled());
    EXPECT_FALSE(defaults->isEnabled());
    EXPECT_FALSE(remove->isEnabled());
    nextFolder = "/home/user/plugins";
    QTest::mouseClick(Find<QPushButton>(3, "add"), Qt::LeftButton);
    EXPECT_EQ(prompt.Requests().back().text,
              "The directory /home/user/plugins\nis already in the plugin dll search list.");
    nextFolder = "/srv/more";
    QTest::mouseClick(Find<QPushButton>(3, "add"), Qt::LeftButton);
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(2)->text(), "/srv/more");
    list->item(0)->setSelected(true);
    EXPECT_TRUE(remove->isEnabled());
    QTest::mouseClick(remove, Qt::LeftButton);
    EXPECT_EQ(list->count(), 2);
    EXPECT_TRUE(defaults->isEnabled());
    EXPECT_TRUE(restore->isEnabled());
    QTest::mouseClick(restore, Qt::LeftButton);
    EXPECT_EQ(sheet->Model().Working().plugins.searchList, current.plugins.searchList);

    Show(5);
    auto* dns = Find<QLineEdit>(5, "fileDns");
    EXPECT_EQ(Find<QLineEdit>(5, "name")->text(), "alpha");
    EXPECT_TRUE(Find<QLineEdit>(5, "name")->isReadOnly());
    EXPECT_TRUE(Find<QCheckBox>(5, "setAsDefault")->isChecked());
    QTest::mouseClick(Find<QPushButton>(5, "next"), Qt::LeftButton);
    EXPECT_EQ(Find<QLineEdit>(5, "name")->text(), "beta");
    EXPECT_FALSE(Find<QPushButton>(5, "next")->isEnabled());
    dns->setFocus();
    dns->clear();
    QTest::keyClicks(dns, "new.beta.test");
    QTest::keyClick(dns, Qt::Key_Return);  // consumed: the sheet stays
    EXPECT_TRUE(sheet->isVisible());
    QTest::mouseClick(Find<QPushButton>(5, "save"), Qt::LeftButton);
    EXPECT_EQ(sheet->Model().Working().cluster.clusters[1].dnsName, "new.beta.test");
    EXPECT_FALSE(test::SaveScreenshot(sheet.get(), "prefs_Cluster_edited").empty());
    QTest::mouseClick(Find<QPushButton>(5, "del"), Qt::LeftButton);
    EXPECT_EQ(sheet->Model().Working().cluster.clusters.size(), 1u);
    EXPECT_EQ(Find<QLineEdit>(5, "name")->text(), "alpha");
}

TEST(PreferencesCommand, TheApplicationRunsTheSheet) {
    test::TempFolder tmp;
    HeadlessPrompt prompt;
    CZunApp app(CZunApp::Services{&prompt, tmp.File("zun.ini")});
    ASSERT_TRUE(app.InitInstance(StartupOptions{}));
    bool seen = false;
    QTimer::singleShot(0, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* s = qobject_cast<ZunPrefs*>(w); s && s->isVisible()) {
                seen = true;
                s->reject();
            }
    });
    QAction* a = app.MainFrame()->Action("appPreferences");
    app.MainFrame()->UpdateCommandUI();
    ASSERT_TRUE(a->isEnabled());
    a->trigger();
    EXPECT_TRUE(seen);
    for (CZunDoc* d : app.Documents()) d->SetModifiedFlag(false);
}

// The 3-D views' scene-library messages follow the stored debug level from start-up and every
// applied change.
TEST(PreferencesCommand, DebugLevelReachesTheViews) {
    test::TempFolder tmp;
    {
        std::ofstream ini(tmp.File("zun.ini"));
        ini << "[Debug]\nlevel=1\n";
    }
    HeadlessPrompt prompt;
    CZunApp app(CZunApp::Services{&prompt, tmp.File("zun.ini")});
    ASSERT_TRUE(app.InitInstance(StartupOptions{}));
    EXPECT_EQ(CZunView::DebugLevel(), 1);
    app.Prefs().debug.level = 0;
    app.ApplyPreferences();
    EXPECT_EQ(CZunView::DebugLevel(), 0);
    for (CZunDoc* d : app.Documents()) d->SetModifiedFlag(false);
}

TEST(PluginList, RowsAboutBoxAndParameters) {
    std::vector<PluginRunEntry> entries(20);
    for (int i = 0; i < 20; ++i) {
        PluginRunEntry& e = entries[static_cast<std::size_t>(i)];
        e.name = i < 2 ? "Porosity" : "Plugin " + std::to_string(i);
        e.description = i < 2 ? "Pore size distribution of the composition channels"
                              : "Plugin number " + std::to_string(i);
        e.duplicateIndex = i == 1 ? 1 : 0;
        e.fileBaseName = "plugin" + std::to_string(i);
        e.path = "/usr/lib/zun/plugins/" + e.fileBaseName + ".so";
        e.fileTime = 1700000000LL * 1000000000LL;
    }
    entries[0].selected = true;
    std::vector<QString> shown;
    PluginListWidget list(entries, true, nullptr, [&](QDialog& d) {
        d.show();
        QApplication::processEvents();
        shown.push_back(d.windowTitle());
        if (auto* about = qobject_cast<PluginAbout*>(&d)) {
            EXPECT_EQ(about->Description()->toPlainText(),
                      "Pore size distribution of the composition channels");
            EXPECT_TRUE(about->PathField()->text().startsWith("/usr/lib/zun/plugins/plugin0.so   "));
            EXPECT_FALSE(test::SaveScreenshot(&d, "plugin_about").empty());
            return int(QDialog::Accepted);
        }
        auto* params = qobject_cast<PluginParams*>(&d);
        params->Edit()->setText("-n 4 \"two words\"");
        return int(QDialog::Accepted);
    });
    list.show();
    EXPECT_EQ(list.JobBox()->text(), "Plugins (16 shown of 20 located)");
    EXPECT_EQ(list.RowBox(1)->text(), "Pore size distribution of the composition channels (2)");
    EXPECT_TRUE(list.AboutButton(0)->isEnabled());
    EXPECT_FALSE(list.AboutButton(1)->isEnabled());
    EXPECT_FALSE(test::SaveScreenshot(&list, "plugin_list").empty());
    QTest::mouseClick(list.AboutButton(0), Qt::LeftButton);
    QTest::mouseClick(list.ParamsButton(0), Qt::LeftButton);
    EXPECT_EQ(shown, (std::vector<QString>{"About Porosity", "Parameters of Porosity"}));
    EXPECT_EQ(entries[1].parameters, "-n 4 \"two words\"");  // shared by the plug-ins of one name
    list.JobBox()->click();
    EXPECT_FALSE(list.RowBox(0)->isEnabled());
    EXPECT_FALSE(list.AboutButton(0)->isEnabled());
}

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
