// A document's life at the window and on the remote link: a document being read or written is
// busy (nothing closes or changes it meanwhile), every way of closing a document or the program
// asks before it throws a running computation away, and the active document is the current
// window's also where the frame cannot be activated (remote control under a window manager).

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeySequence>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>

#include "app/ui/childframe.h"
#include "app/ui/mainframe.h"
#include "app/ui/zunapp.h"
#include "compute/exitrequested.h"
#include "compute/model.h"
#include "document/docmessages.h"
#include "document/zundoc.h"
#include "guitest.h"
#include "platform/progress.h"
#include "platform/prompt.h"
#include "plot/ui/usernotesdialog.h"
#include "script/remotecommands.h"
#include "script/remotehost.h"
#include "script/remotelink.h"

using namespace zun;
using zun::test::WaitFor;

namespace {

const std::string kExample = std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt";

// The application's documents as the remote commands reach them.
class AppHost : public RemoteHost {
public:
    explicit AppHost(CZunApp& app) : app_(app) {}
    std::vector<CZunDoc*> Documents() override { return app_.Documents(); }
    CZunDoc* ActiveDocument() override { return app_.ActiveDocument(); }
    CZunDoc* NewDocument() override { return app_.NewDocument(); }
    bool CloseDocument(CZunDoc* doc) override {
        doc->SetModifiedFlag(false);
        return app_.CloseDocument(doc);
    }
    void SetMainWindowPos(unsigned, unsigned, unsigned, unsigned) override {}
    bool HasActiveTreeView() override { return false; }
    void SetVolumeScalarProperty(float) override {}
    void ResetPluginPreferences() override {}
    void StopComputation(CZunDoc*) override {}
    void Wait(int) override {}

private:
    CZunApp& app_;
};

// Stands for the progress dialog of a read or a write, which lets queued requests run: at the
// first progress report the requests run, and their replies are kept.
class RequestsDuringWork : public ProgressSink {
public:
    std::function<void()> during;
    int reports = 0;
    void SetText(const std::string&) override {}
    void SetPos(int) override {}
    bool SetProgress(int) override {
        if (reports++ == 0 && during) during();
        return false;
    }
};

struct DocLife : test::AppFixture {
    std::unique_ptr<RemoteLink> link;
    std::unique_ptr<AppHost> host;
    std::unique_ptr<RemoteInterpreter> interpreter;

    // The program with one new document, or with the example's when `example`.
    void Start(bool remoteLink = false, bool example = false) {
        MakeApp();
        StartupOptions o;
        if (example) o.files = {kExample};
        ASSERT_TRUE(app->InitInstance(o));
        app->MainFrame()->show();
        if (!remoteLink) return;
        link = std::make_unique<RemoteLink>();
        host = std::make_unique<AppHost>(*app);
        interpreter = std::make_unique<RemoteInterpreter>(*host, link->server);
        InstallRemoteCommands(*interpreter);
    }
    void TearDown() override {
        interpreter.reset();
        link.reset();
        CloseApp();
    }
    // One request run now on this thread (as the event loop would run it); its reply.
    std::string Run(const std::string& tag, const std::string& payload) {
        interpreter->Execute(tag, payload);
        return link->ReadFinal(tag);
    }
    // A computation that runs until it is stopped.
    void StartEndlessRun(CZunDoc& doc) {
        Model& m = doc.GetModel();
        m.SetStepRunner([&m](int, const ComputeLibParams&) {
            try {
                for (;;) {
                    m.SetProgress(1, false);
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                }
            } catch (const ExitRequested&) {
                return kUserInterrupt;
            }
        });
        app->OnStartComputation(&doc);
        ASSERT_TRUE(WaitFor([&] { return m.GetState() == kRunning; }));
    }
    std::size_t StopQuestions() const {
        std::size_t n = 0;
        for (const PromptRequest& r : prompt.Requests()) n += r.text == "Stop computation?";
        return n;
    }
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// A document being read or written

TEST_F(DocLife, RequestsThatCloseOrChangeADocumentBeingReadAreRefused) {
    Start(true);
    RequestsDuringWork sink;
    std::string replies;
    sink.during = [&] {
        // The document being read is listed under its first title.
        replies += Run("A", "closedocument@Untitled");
        replies += Run("B", "renamechannel@Untitled@Void@Air");
        replies += Run("C", "insertchannel@Untitled@x@1@0");
        replies += Run("D", "setupgrids@Untitled@4@4@4@0@0@0@1e-6@1e-6@1e-6");
    };
    app->Progress().SetTarget(&sink);
    CZunDoc* doc = app->OpenDocumentFile(kExample);
    app->Progress().SetTarget(nullptr);
    ASSERT_GT(sink.reports, 0);
    EXPECT_EQ(replies,
              "A:ERROR:Command 'closedocument' - file reading running"
              "B:ERROR:Command 'renamechannel' - file reading running"
              "C:ERROR:Command 'insertchannel' - file reading running"
              "D:ERROR:Command 'setupgrids' - file reading running");
    // The file opened whole, untouched by the requests.
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->RunningWork(), "");
    EXPECT_EQ(app->Documents().size(), 2u);
    EXPECT_EQ(doc->GetTitle(), "phantom");
    EXPECT_EQ(Run("E", "closedocument@phantom"), "E:OK");
}

TEST_F(DocLife, TheWindowsCloseAndExitAreRefusedWhileADocumentIsRead) {
    Start();
    RequestsDuringWork sink;
    bool exited = true;
    sink.during = [&] {
        CZunDoc* reading = app->Documents().back();
        EXPECT_FALSE(app->CloseDocument(reading));
        EXPECT_EQ(LastMessage(), "The document cannot be closed while its file reading is running.");
        exited = app->CloseAllDocuments();
    };
    app->Progress().SetTarget(&sink);
    CZunDoc* doc = app->OpenDocumentFile(kExample);
    app->Progress().SetTarget(nullptr);
    EXPECT_FALSE(exited);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(app->FramesOf(doc).size(), 1u);
}

TEST_F(DocLife, ADocumentBeingSavedIsNeitherClosedNorWrittenAgain) {
    Start(true);
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    const std::string title = doc->GetTitle();
    const std::string second = tmp.File("second.zun");
    RequestsDuringWork sink;
    std::string replies;
    sink.during = [&] {
        EXPECT_FALSE(app->CloseDocument(doc));
        EXPECT_EQ(LastMessage(), "The document cannot be closed while its file saving is running.");
        replies += Run("A", "closedocument@" + title);
        EXPECT_FALSE(doc->OnSaveDocument(second));
        EXPECT_EQ(LastMessage(), "The document is being saved already.");
    };
    app->Progress().SetTarget(&sink);
    const std::string path = tmp.File("saved.zun");
    EXPECT_TRUE(doc->OnSaveDocument(path));
    app->Progress().SetTarget(nullptr);
    ASSERT_GT(sink.reports, 0);
    EXPECT_EQ(replies, "A:ERROR:Command 'closedocument' - file saving running");
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(second));
    EXPECT_EQ(doc->RunningWork(), "");
    EXPECT_TRUE(app->CloseDocument(doc));
}

// ---------------------------------------------------------------------------------------------
// A running computation is not thrown away without a word

TEST_F(DocLife, EveryCloseOfADocumentAsksBeforeStoppingItsRun) {
    Start(false, true);
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    doc->SetModifiedFlag(false);
    StartEndlessRun(*doc);
    Model& m = doc->GetModel();
    auto* sub = qobject_cast<QMdiSubWindow*>(app->FramesOf(doc).front()->parentWidget());
    ASSERT_NE(sub, nullptr);

    // Cancel keeps the run and the window, whichever way the close came.
    QAction* ctrlW = nullptr;
    for (QAction* a : sub->systemMenu()->actions())
        if (a->shortcuts().contains(QKeySequence("Ctrl+W"))) ctrlW = a;
    ASSERT_NE(ctrlW, nullptr);
    const std::vector<std::pair<const char*, std::function<void()>>> roads = {
        {"File > Close", [&] { Trigger("fileClose"); }},
        {"the window's close button", [&] { sub->close(); }},
        {"Ctrl+W", [&] { ctrlW->trigger(); }},
    };
    for (const auto& [road, close] : roads) {
        const std::size_t asked = StopQuestions();
        prompt.QueueAnswer(kPromptCancel);
        close();
        WaitFor([&] { return StopQuestions() > asked; }, 60000);
        EXPECT_EQ(StopQuestions(), asked + 1) << road;
        EXPECT_EQ(app->Documents().size(), 1u) << road;
        EXPECT_EQ(m.GetState(), kRunning) << road;
        EXPECT_EQ(app->FramesOf(doc).size(), 1u) << road;
    }
    // OK stops the run and goes on closing (the stopped run's results are changes to keep or not).
    prompt.QueueAnswer(kPromptOk);
    prompt.QueueAnswer(kPromptNo);
    sub->close();
    EXPECT_TRUE(WaitFor([&] { return app->Documents().empty(); }));
    EXPECT_EQ(StopQuestions(), 4u);
}

TEST_F(DocLife, AfterTheRunStopsTheChangesCanBeSavedOnTheWayOut) {
    Start(false, true);
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    const std::string path = tmp.File("kept.zun");
    app->SetFileChooser(
        [&](const std::string&, const std::string&, bool, const std::string&) { return path; });
    StartEndlessRun(*doc);
    doc->SetModifiedFlag(true);
    prompt.QueueAnswer(kPromptOk);   // stop the computation
    prompt.QueueAnswer(kPromptYes);  // save the changes
    Trigger("fileClose");
    EXPECT_TRUE(app->Documents().empty());
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(StopQuestions(), 1u);
}

TEST_F(DocLife, TheProgramsExitAsksBeforeStoppingARun) {
    Start(false, true);
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    doc->SetModifiedFlag(false);
    StartEndlessRun(*doc);
    // Ctrl+Q is File > Exit's key.
    EXPECT_EQ(app->MainFrame()->Action("appExit")->shortcut(), QKeySequence(QKeySequence::Quit));
    prompt.QueueAnswer(kPromptCancel);
    Trigger("appExit");
    EXPECT_EQ(StopQuestions(), 1u);
    EXPECT_TRUE(app->MainFrame()->isVisible());
    EXPECT_EQ(doc->GetModel().GetState(), kRunning);
    // The main window's own close button.
    prompt.QueueAnswer(kPromptCancel);
    EXPECT_FALSE(app->MainFrame()->close());
    EXPECT_EQ(StopQuestions(), 2u);
    EXPECT_EQ(app->Documents().size(), 1u);
    prompt.QueueAnswer(kPromptOk);
    prompt.QueueAnswer(kPromptNo);
    EXPECT_TRUE(app->MainFrame()->close());
    EXPECT_TRUE(app->Documents().empty());
}

TEST_F(DocLife, AViewClosedBesideAnotherKeepsTheRunWithoutAQuestion) {
    Start(false, true);
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    StartEndlessRun(*doc);
    app->OnWindowNew();
    ASSERT_EQ(app->FramesOf(doc).size(), 2u);
    app->FramesOf(doc).back()->parentWidget()->close();
    EXPECT_TRUE(WaitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);  // the closed window
        return app->FramesOf(doc).size() == 1u;
    }));
    EXPECT_EQ(StopQuestions(), 0u);
    EXPECT_EQ(doc->GetModel().GetState(), kRunning);
    app->OnStopComputation(doc);
    EXPECT_TRUE(WaitFor([&] { return !doc->GetModel().IsBusy(); }));
}

// The notes' changes go into the document at its close, whose Save question is then answered
// Cancel: the application keeps the document, and the remote close says so instead of OK.
TEST_F(DocLife, ARemoteCloseThatTheApplicationTurnsDownAnswersError) {
    Start(true, true);
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    doc->SetTitle("Kept");
    UserNotesDialog* notes = ShowUserNotes(*doc, app->MainFrame());
    ASSERT_NE(notes, nullptr);
    notes->Model().OnEdited("typed while the controller worked");
    prompt.QueueAnswer(kPromptYes);     // the notes into the document
    prompt.QueueAnswer(kPromptCancel);  // and the document stays
    interpreter->Execute("A", "closedocument@Kept");
    const std::string refused = "A:ERROR:Command 'closedocument' - could not close (Kept)";
    EXPECT_EQ(link->ReadReply(refused), refused);
    ASSERT_EQ(app->Documents().size(), 1u);
    EXPECT_EQ(app->Documents().front(), doc);
    // Asked again with no one to say Cancel, it closes.
    interpreter->Execute("B", "closedocument@Kept");
    EXPECT_EQ(link->ReadReply("B:OK"), "B:OK");
    EXPECT_TRUE(app->Documents().empty());
}

TEST_F(DocLife, TheRemoteCloseOfAComputingDocumentIsRefusedWithoutAQuestion) {
    Start(true, true);
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    doc->SetTitle("Run");
    StartEndlessRun(*doc);
    EXPECT_EQ(Run("A", "closedocument@Run"), "A:ERROR:Command 'closedocument' - computation running");
    EXPECT_EQ(StopQuestions(), 0u);
    EXPECT_EQ(doc->GetModel().GetState(), kRunning);
    app->OnStopComputation(doc);
    EXPECT_TRUE(WaitFor([&] { return !doc->GetModel().IsBusy(); }));
    EXPECT_EQ(Run("B", "closedocument@Run"), "B:OK");
}

// ---------------------------------------------------------------------------------------------
// The active document does not follow the window manager's focus

TEST_F(DocLife, TheCurrentWindowIsActiveInADisabledFrameTheDesktopActivated) {
    Start(true);
    CMainFrame* frame = app->MainFrame();
    // As remote control leaves the frame; a window manager then activates it all the same.
    frame->setEnabled(false);
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(frame, &activate);
    CZunDoc* first = app->Documents().front();
    EXPECT_EQ(app->ActiveDocument(), first);

    EXPECT_EQ(Run("A", "newdocument@B"), "A:OK");
    ASSERT_EQ(app->Documents().size(), 2u);
    CZunDoc* second = app->Documents().back();
    EXPECT_EQ(second->GetTitle(), "B");
    EXPECT_EQ(app->ActiveDocument(), second);
    EXPECT_EQ(Run("B", "settitle@C"), "B:OK");
    EXPECT_EQ(second->GetTitle(), "C");
    EXPECT_EQ(Run("C", "initial"), "C:OK");
    const std::string path = tmp.File("current.zun");
    EXPECT_EQ(Run("D", "save@" + path), "D:OK:current.zun");
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(frame->windowTitle().toStdString(), "Zun - current.zun");

    // A command that brings a document forward makes it the current one; when the current
    // window closes, the one current before it follows.
    CZunDoc* third = app->OpenDocumentFile(kExample);
    ASSERT_EQ(third, app->Documents().back());
    EXPECT_EQ(app->ActiveDocument(), third);
    EXPECT_EQ(app->OpenDocumentFile(path), second);
    EXPECT_EQ(app->ActiveDocument(), second);
    EXPECT_EQ(Run("E", "closedocument@current.zun"), "E:OK");
    EXPECT_EQ(app->ActiveDocument(), third);
}

// The remote road to the bound on open documents: the controller reads the refusal, and no
// message box waits for a user who is not there.
TEST_F(DocLife, ARemoteNewDocumentPastTheBoundIsRefusedWithoutAMessageBox) {
    Start(true);
    const auto ask = [this](const std::string& payload, const std::string& expected) {
        interpreter->Execute("A", payload);
        return link->ReadReply(expected);
    };
    while (app->Documents().size() < docmsg::kMaxOpenDocuments)
        ASSERT_EQ(ask("newdocument@", "A:OK"), "A:OK") << app->Documents().size();
    CZunDoc* last = app->ActiveDocument();
    const std::string refused =
        "A:ERROR:Command 'newdocument' - " + docmsg::NoRoomForDocument(app->Documents().size());
    EXPECT_EQ(ask("newdocument@Over", refused), refused);
    EXPECT_EQ(app->Documents().size(), docmsg::kMaxOpenDocuments);
    EXPECT_EQ(app->ActiveDocument(), last);
    EXPECT_TRUE(prompt.Requests().empty()) << LastMessage();
}

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
