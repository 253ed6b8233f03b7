// The files named on the command line and in the recent-file list: a document file, a text data
// file, a binary data file, and missing or damaged files, each with a clear message and nothing
// changed on disk. One run happens under a decimal-comma locale.

#include <gtest/gtest.h>

#include <clocale>
#include <fstream>
#include <sstream>

#include <QAction>
#include <QMenuBar>
#include <QToolBar>

#include "app/preferences.h"
#include "app/ui/childframe.h"
#include "app/ui/mainframe.h"
#include "app/ui/zunapp.h"
#include "document/zundoc.h"
#include "guitest.h"
#include "platform/prompt.h"

using namespace zun;

namespace {

const std::string kExample = std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt";

std::string Bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct OpenFixture : ::testing::Test {
    test::TempFolder tmp;
    HeadlessPrompt prompt;
    std::unique_ptr<CZunApp> app;
    std::string chosen;
    std::string askedFilter, suggested;
    void SetUp() override { Restart(); }
    void Restart() {
        if (app)
            for (CZunDoc* d : app->Documents()) d->SetModifiedFlag(false);
        app.reset();
        app = std::make_unique<CZunApp>(CZunApp::Services{&prompt, tmp.File("zun.ini")});
        app->SetFileChooser(
            [this](const std::string&, const std::string& filter, bool, const std::string& s) {
                askedFilter = filter;
                suggested = s;
                return chosen;
            });
    }
    void TearDown() override {
        for (CZunDoc* d : app->Documents()) d->SetModifiedFlag(false);
        app.reset();
    }
    bool Start(std::vector<std::string> files) {
        StartupOptions o;
        o.files = std::move(files);
        return app->InitInstance(o);
    }
    std::string LastMessage() const { return prompt.Requests().empty() ? "" : prompt.Requests().back().text; }
};

}  // namespace

TEST_F(OpenFixture, EachKindOfFileOpensAsItShould) {
    // A text data file: a new document named after the file, not modified.
    ASSERT_TRUE(Start({kExample}));
    CZunDoc* text = app->ActiveDocument();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->GetTitle(), "phantom");
    EXPECT_FALSE(text->IsModified());
    const std::string binary = tmp.File("phantom.dat");
    chosen = binary;
    ASSERT_TRUE(app->OnExportBinaryDataFile(text));
    // The export is offered beside the file the document came from, and Open lists what it wrote.
    EXPECT_EQ(suggested, std::string(ZUN_SOURCE_DIR) + "/examples/phantom.dat");
    const std::string keep = chosen;
    chosen.clear();
    app->OnFileOpen();
    EXPECT_NE(askedFilter.find("(*.dat)"), std::string::npos) << askedFilter;
    chosen = keep;
    chosen = tmp.File("phantom.zun");
    ASSERT_TRUE(app->OnFileSaveAs(text));
    EXPECT_EQ(Bytes(kExample).substr(0, 4), "TEXT");  // the data file itself is untouched

    // A binary data file and a document file, from the command line of a new start.
    Restart();
    ASSERT_TRUE(Start({binary, tmp.File("phantom.zun")}));
    ASSERT_EQ(app->Documents().size(), 2u);
    EXPECT_EQ(app->Documents()[0]->GetTitle(), "phantom");
    EXPECT_TRUE(app->Documents()[0]->GetPathName().empty());
    EXPECT_EQ(app->Documents()[1]->GetPathName(), tmp.File("phantom.zun"));
    EXPECT_EQ(app->Documents()[0]->GetSample().GetChanCount(),
              app->Documents()[1]->GetSample().GetChanCount());
    // The recent-file list carried over from the first start, newest first.
    EXPECT_EQ(app->Recent().Paths(), (std::vector<std::string>{tmp.File("phantom.zun"), binary, kExample}));
}

TEST_F(OpenFixture, MissingAndDamagedFilesAreNamedAndTheStartGoesOnWithTheRest) {
    EXPECT_TRUE(Start({tmp.File("nothere.zun")}));
    EXPECT_EQ(LastMessage(), tmp.File("nothere.zun") + " was not found.");
    EXPECT_TRUE(app->Documents().empty());
    EXPECT_NE(app->MainFrame(), nullptr);

    // An unreadable file says why, and the files after it still open.
    const std::string locked = tmp.File("locked.zun");
    std::ofstream(locked) << "x";
    std::filesystem::permissions(locked, std::filesystem::perms::none);
    const bool asRoot = std::ifstream(locked).good();
    Restart();
    ASSERT_TRUE(Start({locked, tmp.File("nothere.txt"), kExample}));
    ASSERT_EQ(app->Documents().size(), 1u);
    EXPECT_EQ(app->Documents()[0]->GetTitle(), "phantom");
    if (!asRoot)
        EXPECT_EQ(prompt.Requests()[prompt.Requests().size() - 2].text,
                  "Cannot open " + locked + ": Permission denied.");
    std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
    prompt.Clear();

    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"damaged.zun", "this is not a document"},
        {"short.txt", "TEXT 1\nGRID 2 2\n"},
        {"badbinary.dat", std::string("zun_file\0\1\0\0\0\xff\xff\xff\x7f", 17)},
    };
    for (const Case& c : cases) {
        Restart();
        const std::string path = tmp.File(c.name);
        std::ofstream(path, std::ios::binary) << c.bytes;
        const std::size_t before = prompt.Requests().size();
        EXPECT_TRUE(Start({path})) << c.name;
        EXPECT_GT(prompt.Requests().size(), before) << c.name << ": no message";
        EXPECT_FALSE(LastMessage().empty()) << c.name;
        EXPECT_TRUE(app->Documents().empty()) << c.name;
        EXPECT_EQ(Bytes(path), c.bytes) << c.name;
    }
    EXPECT_EQ(prompt.Requests()[0].text, tmp.File("damaged.zun") + ": Unexpected file format.");
}

TEST_F(OpenFixture, RecentFilesThatVanishedAreReportedAndRemoved) {
    const std::string doc = tmp.File("gone.zun");
    ASSERT_TRUE(Start({}));
    chosen = doc;
    ASSERT_TRUE(app->OnFileSaveAs(app->ActiveDocument()));
    ASSERT_EQ(app->Recent()[0], doc);
    QAction* first = app->MainFrame()->Action("fileRecent1");
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(first->text().endsWith(QString::fromStdString(doc)));
    std::filesystem::remove(doc);
    first->trigger();
    EXPECT_EQ(LastMessage(), doc + " was not found.");
    EXPECT_EQ(app->Recent().Size(), 0);
    EXPECT_FALSE(first->isVisible());
    // The list was written to the preferences file at once.
    IniFile ini(tmp.File("zun.ini"));
    EXPECT_EQ(ini.GetProfileString("Recent File List", "File1", "x"), "");

    // A file that exists but cannot be opened goes too, after its message.
    const std::string bad = tmp.File("bad.zun");
    std::ofstream(bad) << "garbage";
    app->Recent().Add(bad);
    app->MainFrame()->RebuildRecentFiles();
    first->trigger();
    EXPECT_EQ(LastMessage(), bad + " exists but could not be opened.");
    EXPECT_EQ(app->Recent().Size(), 0);
}

TEST_F(OpenFixture, PreferencesReachNewDocumentsAndTheOpenOnes) {
    {
        IniFile ini(tmp.File("zun.ini"));
        ini.WriteProfileString("Logging", "enabled", "false");
        ini.WriteProfileString("Logging", "viewLog", "true");
        ini.WriteProfileString("Memory", "remain", "150");
    }
    ASSERT_TRUE(Start({}));
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    EXPECT_FALSE(doc->IsLoggingEnabled());
    EXPECT_NE(app->LogWindow(doc), nullptr);  // "view log" opens the new document's log
    EXPECT_EQ(app->Prefs().memory.remain, 100);
    app->Prefs().memory.enabled = false;
    app->ApplyPreferences();
    EXPECT_EQ(doc->GetSample().GetAllocator().remainPercent, 0);
    EXPECT_FALSE(app->LastApplied().memory.enabled);
}

TEST_F(OpenFixture, DecimalCommaLocaleLeavesFilesWithPoints) {
    const char* old = std::setlocale(LC_ALL, nullptr);
    const std::string saved = old ? old : "C";
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "no de_DE.UTF-8 locale";
    ASSERT_TRUE(Start({kExample}));
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->GetSample().GetChanCount(), 5);
    app->Prefs().dataDisplay.bitSpec.opacities[0] = 0.5f;
    app->SavePreferences();
    IniFile ini(tmp.File("zun.ini"));
    EXPECT_EQ(ini.GetProfileString("DataDisplay", "bitSpec.opacities.0", ""), "0.500000");
    ZunPreferences back;
    back.LoadAll(ini);
    EXPECT_FLOAT_EQ(back.dataDisplay.bitSpec.opacities[0], 0.5f);
    std::setlocale(LC_ALL, saved.c_str());
}

TEST_F(OpenFixture, RemoteControlledStartHandsTheOptionsOnAndHidesTheFrame) {
    struct Recorder : RemoteControlStartup {
        StartupOptions started;
        AppOperations* attached = nullptr;
        std::vector<std::string> requests;
        bool refuse = false;
        bool Start(const StartupOptions& o) override {
            started = o;
            return !refuse;
        }
        void Attach(AppOperations& app) override { attached = &app; }
        void HandleRequest(const std::string& r) override { requests.push_back(r); }
    };
    auto owned = std::make_unique<Recorder>();
    Recorder* remote = owned.get();
    SetRemoteControlStartup(std::move(owned));
    StartupOptions o = ParseCommandLine({"zun", "--h127.0.0.1", "--p5000"});
    ASSERT_TRUE(app->InitInstance(o));
    EXPECT_EQ(remote->started.port, "5000");
    EXPECT_EQ(remote->attached, app.get());
    CMainFrame* f = app->MainFrame();
    EXPECT_FALSE(f->menuBar()->isVisible());
    EXPECT_FALSE(f->ToolBar()->isVisible());
    EXPECT_FALSE(f->isEnabled());
    ASSERT_NE(f->ActiveChild(), nullptr);
    EXPECT_TRUE(f->ActiveChild()->parentWidget()->isMaximized());
    // A request posted by the server's thread comes back on the UI thread.
    std::thread([&] {
        app->FrameChannel().Post(FrameMessage{FrameMsg::RemoteRequest, nullptr, 0, 0, "t1|newdocument"});
    }).join();
    EXPECT_TRUE(test::WaitFor([&] { return !remote->requests.empty(); }));
    EXPECT_EQ(remote->requests, std::vector<std::string>{"t1|newdocument"});

    // A server that cannot start ends the start-up before any window exists.
    Restart();
    remote->refuse = true;
    EXPECT_FALSE(app->InitInstance(o));
    EXPECT_EQ(app->MainFrame(), nullptr);
    SetRemoteControlled(false);
    SetRemoteControlStartup(nullptr);
}

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
