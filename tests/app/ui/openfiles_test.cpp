// The files named on the command line and in the recent-file list: a document file, a text data
// file, a binary data file, and missing or damaged files, each with a clear message and nothing
// changed on disk. One run happens under a decimal-comma locale.

#include <gtest/gtest.h>

#include <clocale>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>

#include "app/preferences.h"
#include "app/ui/childframe.h"
#include "app/ui/mainframe.h"
#include "app/ui/zunapp.h"
#include "document/docmessages.h"
#include "document/zundoc.h"
#include "foundation/ui/progressdialog.h"
#include "guitest.h"
#include "model/sample.h"
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

struct OpenFixture : test::AppFixture {
    std::string chosen;
    std::string askedFilter, suggested;
    void SetUp() override { Restart(); }
    void Restart() {
        CloseApp();
        MakeApp();
        app->SetFileChooser(
            [this](const std::string&, const std::string& filter, bool, const std::string& s) {
                askedFilter = filter;
                suggested = s;
                return chosen;
            });
    }
    bool Start(std::vector<std::string> files) {
        StartupOptions o;
        o.files = std::move(files);
        return app->InitInstance(o);
    }
};

}  // namespace

// A data file of tens of megabytes shows the progress dialog while it is read; its Cancel opens
// nothing and tells nothing, and the next open reads the whole file.
TEST_F(OpenFixture, ALargeDataFileShowsProgressAndItsCancelOpensNothing) {
    ASSERT_TRUE(Start({}));
    const std::string path = tmp.File("large.dat");
    {
        CZunDoc* maker = app->OnFileNew();
        ASSERT_NE(maker, nullptr);
        ASSERT_EQ(maker->ResizeVolume({180, 180, 180}, {0, 0, 0}), 0);
        ASSERT_EQ(maker->InsertChannel(1, 1, "ct"), 0);
        // Words that do not compress: the document file is as large as the data file.
        std::uint32_t state = 7;
        for (int c = 0; c < 2; ++c) {
            imtype* d = maker->GetSample().GetChan(c)->Data();
            for (std::uint64_t i = 0; i < maker->GetSample().GetNumVoxels(); ++i) {
                state = state * 1664525u + 1013904223u;
                d[i] = static_cast<imtype>(state >> 18);
            }
        }
        maker->GetSample().GetChan(1)->Data()[12345] = 777;
        ASSERT_TRUE(maker->ExportBinaryDataFile(path));
        maker->SetModifiedFlag(false);
        app->CloseDocument(maker);
    }
    const std::size_t documents = app->Documents().size();
    prompt.Clear();

    int seen = 0;
    bool cancel = true;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* bar = qobject_cast<CProgressBar*>(w);
            if (!bar || !bar->isVisible()) continue;
            if (seen++ == 0) test::SaveScreenshot(bar, "progress-open-large-file");
            if (cancel) bar->CancelButton()->click();
        }
    });
    poll.start(0);
    EXPECT_EQ(app->OpenDocumentFile(path), nullptr);
    EXPECT_GT(seen, 0);
    EXPECT_EQ(app->Documents().size(), documents);
    EXPECT_TRUE(prompt.Requests().empty()) << LastMessage();

    cancel = false;
    seen = 0;
    CZunDoc* doc = app->OpenDocumentFile(path);
    poll.stop();
    ASSERT_NE(doc, nullptr) << LastMessage();
    EXPECT_GT(seen, 0);
    EXPECT_EQ(doc->GetSample().GetChan(1)->Data()[12345], 777);

    // Saving it as a document: Cancel leaves the file of that name as it was.
    chosen = tmp.File("large.zun");
    std::ofstream(chosen) << "old";
    cancel = true;
    seen = 0;
    poll.start(0);
    EXPECT_FALSE(app->OnFileSaveAs(doc));
    EXPECT_GT(seen, 0);
    EXPECT_EQ(Bytes(chosen), "old");
    EXPECT_TRUE(prompt.Requests().empty()) << LastMessage();
    std::size_t entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(tmp.Path())) ++entries;
    cancel = false;
    EXPECT_TRUE(app->OnFileSaveAs(doc));
    std::size_t after = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(tmp.Path())) ++after;
    EXPECT_EQ(after, entries);  // no temporary file left beside it
    ASSERT_GE(std::filesystem::file_size(chosen), 16u << 20);
    app->CloseDocument(doc);

    // Opening the document: Cancel opens nothing; then it opens whole.
    cancel = true;
    seen = 0;
    EXPECT_EQ(app->OpenDocumentFile(chosen), nullptr);
    EXPECT_GT(seen, 0);
    EXPECT_EQ(app->Documents().size(), documents);
    EXPECT_TRUE(prompt.Requests().empty()) << LastMessage();
    cancel = false;
    doc = app->OpenDocumentFile(chosen);
    poll.stop();
    ASSERT_NE(doc, nullptr) << LastMessage();
    EXPECT_EQ(doc->GetSample().GetChan(1)->Data()[12345], 777);
}

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
    if (!asRoot) {
        EXPECT_EQ(prompt.Requests()[prompt.Requests().size() - 2].text,
                  "Cannot open " + locked + ": Permission denied.");
    }
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

// Documents opened without end would take the memory. Past the bound every road that would make
// one is refused before anything is made, with one message each (the command line and a drop
// too, however many files they name); a file open already is still activated, a recent file
// refused stays listed, and a close makes room again.
TEST_F(OpenFixture, EveryRoadRefusesADocumentPastTheBound) {
    const std::size_t bound = docmsg::kMaxOpenDocuments;
    const std::string refused = docmsg::NoRoomForDocument(bound);
    ASSERT_FALSE(refused.empty());
    ASSERT_TRUE(Start({}));
    std::vector<std::string> files{tmp.File("d0.zun")};
    chosen = files[0];
    ASSERT_TRUE(app->OnFileSaveAs(app->ActiveDocument()));
    for (std::size_t i = 1; i < bound + 3; ++i) {
        files.push_back(tmp.File("d" + std::to_string(i) + ".zun"));
        std::filesystem::copy_file(files[0], files.back());
    }
    const auto refusals = [&] {
        std::size_t n = 0;
        for (const PromptRequest& r : prompt.Requests()) n += r.text == refused;
        return n;
    };

    Restart();
    ASSERT_TRUE(Start(std::vector<std::string>(files.begin(), files.end() - 1)));
    EXPECT_EQ(app->Documents().size(), bound);
    EXPECT_EQ(refusals(), 1u) << LastMessage();
    EXPECT_EQ(app->Documents().back()->GetPathName(), files[bound - 1]);

    prompt.Clear();
    Trigger("fileNew");
    chosen = files[bound];
    Trigger("fileOpen");
    app->Recent().Add(files[bound + 1]);
    app->MainFrame()->RebuildRecentFiles();
    Trigger("fileRecent1");
    EXPECT_EQ(refusals(), 3u) << LastMessage();
    EXPECT_EQ(app->Recent()[0], files[bound + 1]);
    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(QString::fromStdString(files[bound])),
                     QUrl::fromLocalFile(QString::fromStdString(files[bound + 1]))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(app->MainFrame(), &enter);
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &dropped, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(app->MainFrame(), &drop);
    EXPECT_EQ(refusals(), 4u) << LastMessage();
    EXPECT_EQ(prompt.Requests().size(), 4u) << LastMessage();
    EXPECT_EQ(app->Documents().size(), bound);

    CZunDoc* first = app->Documents().front();
    EXPECT_EQ(app->OpenDocumentFile(files[0]), first);
    EXPECT_EQ(app->ActiveDocument(), first);
    EXPECT_EQ(refusals(), 4u);

    ASSERT_TRUE(app->CloseDocument(first));
    CZunDoc* made = app->OnFileNew();
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(app->ActiveDocument(), made);
    EXPECT_EQ(app->OpenDocumentFile(files[bound]), nullptr);
    EXPECT_EQ(refusals(), 5u);
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
