// The message dialog, the progress dialog, the log window and the status-bar progress bar, each
// driven as the user and the program drive them; every window leaves a screenshot.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include "app/messagereport.h"
#include "app/startup.h"
#include "app/ui/logwindow.h"
#include "app/ui/mainframe.h"
#include "app/ui/qtprompt.h"
#include "app/ui/zunapp.h"
#include "app/ui/zunmessage.h"
#include "compute/log.h"
#include "document/zundoc.h"
#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/progressdialog.h"
#include "guitest.h"
#include "platform/prompt.h"

using namespace zun;
using zun::test::WaitFor;

namespace {
// Runs `act` on the dialog once it is shown by exec(); a fallback rejects it so a test never hangs.
void WhenShown(const std::function<void(ZunMessage&)>& act) {
    auto* timer = new QTimer;
    auto started = std::make_shared<QElapsedTimer>();
    started->start();
    QObject::connect(timer, &QTimer::timeout, [timer, act, started] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* m = qobject_cast<ZunMessage*>(w); m && m->isVisible()) {
                timer->deleteLater();
                timer->stop();
                return act(*m);
            }
        }
        if (started->elapsed() > 5000) timer->deleteLater(), timer->stop();
    });
    timer->start(5);
}
}  // namespace

TEST(MessageDialog, OkCancelWithExclamationEnterPressesCancel) {
    int shownButtons = 0;
    QString title;
    WhenShown([&](ZunMessage& m) {
        title = m.windowTitle();
        shownButtons = static_cast<int>(m.findChildren<QPushButton*>().size());
        EXPECT_EQ(m.DefaultButton(), m.Button(kIdCancel));
        EXPECT_FALSE(m.List()->isVisible());  // no report: no list
        test::SaveScreenshot(&m, "message-dialog-okcancel");
        QTest::keyClick(&m, Qt::Key_Return);
    });
    EXPECT_EQ(ZunMessageBox("The computation set-up has warnings.", "", "", 0x31), kIdCancel);
    EXPECT_EQ(title, "Note");
    EXPECT_EQ(shownButtons, 2);
}

TEST(MessageDialog, ContinueSkipCancelWithReportRowsAndCopy) {
    WhenShown([&](ZunMessage& m) {
        EXPECT_EQ(m.windowTitle(), "Question");
        ASSERT_EQ(m.List()->count(), 3);
        EXPECT_EQ(m.List()->item(0)->text(), "a   b");
        EXPECT_EQ(m.List()->item(1)->text(), "");
        m.List()->item(0)->setSelected(true);
        m.List()->item(2)->setSelected(true);
        QTest::keyClick(m.List(), Qt::Key_C, Qt::ControlModifier);
        EXPECT_EQ(QApplication::clipboard()->text(), "a   b\nc");
        // The dialog only grows: its first size is its smallest.
        EXPECT_EQ(m.minimumSize(), m.size());
        const QPoint skipAt = m.Button(kIdSkip)->pos();
        const QSize larger(m.width() + 100, m.height() + 60);
        m.resize(larger);
        // A window manager answers the resize in its own time.
        WaitFor([&] { return m.size() == larger && m.Button(kIdSkip)->pos() != skipAt; }, 3000);
        EXPECT_GT(m.Button(kIdSkip)->pos().x(), skipAt.x());
        EXPECT_GT(m.Button(kIdSkip)->pos().y(), skipAt.y());
        m.resize(m.minimumSize());
        WaitFor([&] { return m.size() == m.minimumSize(); }, 3000);
        test::SaveScreenshot(&m, "message-dialog-continueskipcancel");
        m.Button(kIdSkip)->click();
    });
    EXPECT_EQ(ZunMessageBox("Property computation setup contains warnings; continue computation?",
                            "a\tb\n\nc\n", "", 0x37),
              kIdSkip);
}

TEST(MessageDialog, ClosingTheWindowAnswersCancelOrTheOnlyButton) {
    WhenShown([](ZunMessage& m) {
        EXPECT_EQ(m.Button(kIdOk), nullptr);
        EXPECT_NE(m.Button(kIdRetry), nullptr);
        m.reject();
    });
    EXPECT_EQ(ZunMessageBox("x", "", "Caption", 0x05), kIdCancel);
    // A one-line message gets a box of its own size.
    QSize oneLine;
    WhenShown([&](ZunMessage& m) {
        oneLine = m.size();
        test::SaveScreenshot(&m, "message-dialog-oneline");
        m.reject();
    });
    EXPECT_EQ(ZunMessageBox("The file was saved.", "", "", 0x40), kIdOk);
    EXPECT_LT(oneLine.width(), 420);
    EXPECT_LT(oneLine.height(), 140);
    // The prompt of the program maps its requests to the dialog's type codes.
    EXPECT_EQ(MessageTypeFor({"t", "", "", PromptButtons::YesNoCancel, PromptIcon::Question}), 0x23);
    EXPECT_EQ(MessageTypeFor({"t", "", "", PromptButtons::ContinueSkipCancel, PromptIcon::Warning}), 0x37);
    EXPECT_EQ(MessageTypeFor({"t", "", "", PromptButtons::Ok, PromptIcon::Error}), 0x10);
}

TEST(MessageDialog, AWorkerThreadsQuestionIsAnsweredOnTheUiThread) {
    QtPrompt prompt;
    WhenShown([](ZunMessage& m) { m.Button(kIdNo)->click(); });
    std::atomic<int> answer{0};
    std::thread t([&] {
        answer = prompt.Ask({"Overwrite?", "", "", PromptButtons::YesNo, PromptIcon::Question});
    });
    EXPECT_TRUE(WaitFor([&] { return answer.load() != 0; }));
    t.join();
    EXPECT_EQ(answer.load(), kPromptNo);
}

TEST(ProgressDialog, ClampsReportsAndRemembersCancel) {
    struct Remote : RemoteControlStartup {
        std::vector<int> work;
        void ReplyWork(int p) override { work.push_back(p); }
    };
    auto remote = std::make_unique<Remote>();
    Remote* r = remote.get();
    SetRemoteControlStartup(std::move(remote));
    SetRemoteControlled(true);
    {
        CProgressBar bar;
        bar.Start();
        bar.SetText("Importing CT 40 keV");
        EXPECT_TRUE(bar.isVisible());
        EXPECT_FALSE(bar.SetProgress(150));
        EXPECT_EQ(bar.Value(), 100);
        bar.SetPos(-5);
        EXPECT_EQ(bar.Value(), 0);
        EXPECT_FALSE(bar.SetProgress(-1));  // only pumps
        EXPECT_EQ(bar.Value(), 0);
        bar.SetProgress(42);
        test::SaveScreenshot(&bar, "progress-dialog");
        EXPECT_EQ(r->work, (std::vector<int>{150, 42}));
        QTest::mouseClick(bar.CancelButton(), Qt::LeftButton);
        EXPECT_TRUE(bar.SetProgress(50));
        EXPECT_TRUE(bar.SetProgress(60));
        EXPECT_EQ(bar.windowTitle(), "Importing CT 40 keV");
    }
    {
        // The dialog is as wide as its title needs, so that the title bar shows all of it...
        CProgressBar bar;
        const std::string path = "Reading /tmp/zun_newuser_tests/phantoms/large/ui/big320.txt";
        bar.SetText(path);
        bar.Start();
        QFont bold = QApplication::font();
        bold.setBold(true);
        const QFontMetrics metrics(bold);
        EXPECT_EQ(bar.windowTitle().toStdString(), path);
        EXPECT_GE(bar.width(), metrics.horizontalAdvance(bar.windowTitle()) + 100);
        test::SaveScreenshot(&bar, "progress-dialog-long-title");
        // ... within the screen: a longer one loses its middle, keeping both ends.
        const int screen = bar.screen()->availableGeometry().width();
        const std::string huge = "Reading /" + std::string(400, 'x') + "/big320.txt";
        bar.SetText(huge);
        EXPECT_LE(bar.width(), screen);
        const QString title = bar.windowTitle();
        EXPECT_TRUE(title.startsWith("Reading /xxx")) << title.toStdString();
        EXPECT_TRUE(title.endsWith("xxx/big320.txt")) << title.toStdString();
        EXPECT_TRUE(title.contains(QChar(0x2026))) << title.toStdString();
        EXPECT_LE(metrics.horizontalAdvance(title), screen);
        // A short title again: the dialog is no wider than its bar needs.
        bar.SetText("Export");
        EXPECT_LT(bar.width(), metrics.horizontalAdvance(QString::fromStdString(path)));
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the wait cursor is balanced
    SetRemoteControlled(false);
    SetRemoteControlStartup(nullptr);

    // A document's long operation reaches the dialog of the operation running now.
    ProgressRouter router;
    EXPECT_FALSE(router.SetProgress(10));  // nobody: nothing, never cancelled
    {
        ProgressScope scope(router, "Export");
        router.SetProgress(30);
        EXPECT_EQ(scope.Dialog().Value(), 30);
        QTest::mouseClick(scope.Dialog().CancelButton(), Qt::LeftButton);
        EXPECT_TRUE(router.SetProgress(40));
    }
    EXPECT_EQ(router.Target(), nullptr);
}

TEST(LogWindow, TextFromWorkersArrivesInOrderAndAClosedWindowIsSafe) {
    CLogger logger;
    logger.Append("first line\n");
    auto* frame = new CLogFrame(logger, "phantom", nullptr);
    QPointer<CLogFrame> alive(frame);
    EXPECT_EQ(frame->windowTitle(), "phantom: Log");
    EXPECT_EQ(frame->View()->toPlainText(), "first line\n");
    std::vector<std::thread> workers;
    for (int w = 0; w < 4; ++w)
        workers.emplace_back([&logger, w] {
            for (int i = 0; i < 50; ++i)
                logger.Append("w" + std::to_string(w) + " " + std::to_string(i) + "\n");
        });
    for (auto& t : workers) t.join();
    EXPECT_TRUE(WaitFor([&] { return frame->View()->toPlainText().count('\n') == 201; }));
    EXPECT_EQ(frame->View()->toPlainText().toStdString(), logger.Text());
    test::SaveScreenshot(frame, "log-window");

    // Moving the window changes the rectangle the document keeps. On a desktop, moved once the
    // window manager has framed it and the program has answered that frame (its frame watch has
    // ended, and the window manager has carried out what it asked), and measured once the move
    // is answered.
    const bool desktop = QGuiApplication::platformName() != "offscreen";
    if (desktop) {
        WaitFor([&] { return !frame->findChild<QObject*>("zunFrameWatch", Qt::FindDirectChildrenOnly); },
                3000);
        WaitFor([] { return false; }, 500);
    }
    frame->move(210, 120);
    if (desktop) WaitFor([&] { return frame->frameGeometry().topLeft() == QPoint(210, 120); }, 3000);
    QApplication::processEvents();
    EXPECT_EQ(logger.SavedRect().left, frame->frameGeometry().left());
    logger.Clear();
    EXPECT_TRUE(frame->View()->toPlainText().isEmpty());

    // Text posted from a worker just before the window closes never reaches the gone view.
    std::thread late([&] {
        for (int i = 0; i < 200; ++i) logger.Append("late\n");
    });
    frame->close();
    late.join();
    EXPECT_TRUE(WaitFor([&] { return alive.isNull(); }));
    EXPECT_EQ(logger.View(), nullptr);
    WaitFor([] { return false; }, 20);
    const std::string text = logger.Text();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 200);
}

TEST(StatusBarProgress, OneBarThroughCreateMoveRemove) {
    test::TempFolder tmp;
    HeadlessPrompt prompt;
    CZunApp app(CZunApp::Services{&prompt, tmp.File("zun.ini")});
    ASSERT_TRUE(app.InitInstance({}));
    CMainFrame* f = app.MainFrame();
    auto post = [&](int op, int value) {
        std::thread([&] {
            app.FrameChannel().Post(FrameMessage{FrameMsg::StatusProgress, nullptr, op, value});
        }).join();
        QApplication::processEvents();
    };
    post(2, 5);
    EXPECT_EQ(f->StatusProgressBar(), nullptr);
    post(1, 100);
    post(1, 200);
    ASSERT_NE(f->StatusProgressBar(), nullptr);
    EXPECT_EQ(f->findChildren<QProgressBar*>().size(), 1);
    EXPECT_EQ(f->StatusProgressBar()->maximum(), 200);
    post(2, 50);
    post(2, 0);
    EXPECT_EQ(f->StatusProgressBar()->value(), 50);
    post(3, 0);
    EXPECT_NE(f->StatusProgressBar(), nullptr);
    post(3, 1);
    EXPECT_EQ(f->StatusProgressBar(), nullptr);
    for (CZunDoc* d : app.Documents()) d->SetModifiedFlag(false);
}

TEST(DialogHelpers, ReadersWritersAndEnabling) {
    QWidget dialog;
    auto* edit = new QLineEdit("12.5", &dialog);
    auto* inner = new QWidget(&dialog);
    auto* deep = new QLineEdit("7abc", inner);
    double d = 0;
    EXPECT_EQ(ReadDlgItemDouble(edit, &d), 0);
    EXPECT_DOUBLE_EQ(d, 12.5);
    int i = 3;
    EXPECT_EQ(ReadDlgItemInt(nullptr, &i), -1);
    edit->setText("");
    EXPECT_EQ(ReadDlgItemInt(edit, &i), -1);
    EXPECT_EQ(i, 3);
    SetDlgItemReal(edit, 2.5f, 3, "%f");
    EXPECT_EQ(edit->text(), "2.500");
    SetDlgItemInt32(edit, -4);
    EXPECT_EQ(GetDlgItemString(edit), "-4");
    EXPECT_FALSE(IsDlgItemChecked(edit));
    EnableChildWindows(&dialog, false);
    EXPECT_TRUE(dialog.isEnabled());
    EXPECT_FALSE(deep->isEnabled());
    EXPECT_FALSE(inner->isEnabled());
    EnableWindowTree(&dialog, true);
    EXPECT_TRUE(deep->isEnabled());

    // A text that is no whole number gets the previous value back after the warning.
    HeadlessPrompt prompt;
    LineEditField field(deep);
    CheckEditInteger(5, field, prompt);
    EXPECT_EQ(deep->text(), "7abc");
    deep->setText("abc");
    CheckEditInteger(5, field, prompt);
    EXPECT_EQ(deep->text(), "5");
    EXPECT_EQ(prompt.Requests().back().text, "Value must be an integer");
}

// A name typed without an extension is saved as the chosen filter says, whichever filter that is.
TEST(DialogHelpers, SaveDialogNamesTheFileAsTheChosenFilterSays) {
    EXPECT_EQ(FilterSuffix("OSG Files (*.osg)"), "osg");
    EXPECT_EQ(FilterSuffix("Images (*.png *.jpg)"), "png");
    EXPECT_EQ(FilterSuffix("Any Files (*.*)"), "");
    EXPECT_EQ(FilterSuffix("Any Files (*)"), "");
    test::TempFolder tmp;
    const QString filters = "OSG Files (*.osg);;OSG Ascii Files (*.osgt);;Any Files (*.*)";
    auto save = [&](const QString& name, const QString& filter, QString* selected) {
        QTimer::singleShot(50, [&] {
            QFileDialog* d = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* f = qobject_cast<QFileDialog*>(w); f && f->isVisible()) d = f;
            ASSERT_NE(d, nullptr);
            if (!filter.isEmpty()) {
                d->selectNameFilter(filter);
                Q_EMIT d->filterSelected(filter);
            }
            auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(edit, nullptr);
            edit->setText(name);
            QMetaObject::invokeMethod(d, "accept");
        });
        // Never hangs: a dialog the step above missed is cancelled.
        QTimer::singleShot(10000, [] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* f = qobject_cast<QFileDialog*>(w); f && f->isVisible()) f->reject();
        });
        return GetSaveFileName(nullptr, "Save as OSG format", QString::fromStdString(tmp.Path().string()),
                               filters, selected);
    };
    const QString folder = QString::fromStdString(tmp.Path().string()) + "/";
    EXPECT_EQ(save("scene", {}, nullptr), folder + "scene.osg");
    QString selected = "OSG Ascii Files (*.osgt)";
    EXPECT_EQ(save("scene", {}, &selected), folder + "scene.osgt");
    EXPECT_EQ(save("scene", "OSG Files (*.osg)", &selected), folder + "scene.osg");
    EXPECT_EQ(selected, "OSG Files (*.osg)");
    EXPECT_EQ(save("scene.osgb", {}, nullptr), folder + "scene.osgb");
    EXPECT_EQ(save("scene", "Any Files (*.*)", nullptr), folder + "scene");
}

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
