// The windows that remote commands open, driven over a loopback link from a socket controller
// against the application's own document window: each is shown centred over the main window,
// closed to the local user, shows what the commands set, and goes with its close command.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QScreen>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "app/ui/mainframe.h"
#include "app/ui/remotedocwindow.h"
#include "app/ui/zunapp.h"
#include "document/ui/datcoldialog.h"
#include "document/zundoc.h"
#include "foundation/ui/progressdialog.h"
#include "guitest.h"
#include "platform/progress.h"
#include "platform/prompt.h"
#include "script/remotecommands.h"
#include "script/remotehost.h"
#include "script/remotelink.h"
#include "setup/ui/methodsheetdialog.h"
#include "setup/ui/setupdialog.h"
#include "tools/ui/addboundsheet.h"
#include "tools/ui/mapchanneldialog.h"
#include "tree/ui/displaypropsdialog.h"

using namespace zun;

namespace {

const std::string kExample = std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt";

// The application's documents and windows as the remote commands reach them.
class AppHost : public RemoteHost {
public:
    explicit AppHost(CZunApp& app) : app_(app) {}
    std::vector<CZunDoc*> Documents() override { return app_.Documents(); }
    CZunDoc* ActiveDocument() override { return app_.ActiveDocument(); }
    CZunDoc* NewDocument() override { return app_.NewDocument(); }
    bool CloseDocument(CZunDoc* doc) override { return app_.CloseDocument(doc); }
    void SetMainWindowPos(unsigned, unsigned, unsigned, unsigned) override {}
    bool HasActiveTreeView() override { return true; }
    void SetVolumeScalarProperty(float) override {}
    void ResetPluginPreferences() override {}
    void StopComputation(CZunDoc*) override {}
    void Wait(int) override {}
    std::unique_ptr<RemoteDocWindow> DocumentWindow(CZunDoc& doc) override {
        return FindRemoteDocWindow(doc);
    }

private:
    CZunApp& app_;
};

// The progress dialogs' reports reach the controller as the program's own route sends them.
class ServerRoute : public WorkReportRoute {
public:
    explicit ServerRoute(RemoteControlServer& server) : server_(server) {}
    void ReplyWork(int percent) override { server_.ReplyWork(percent); }

private:
    RemoteControlServer& server_;
};

// Looks at the screen while a command runs: the probe is called from the event loop that the
// command's own progress keeps turning.
class Watch {
public:
    explicit Watch(std::function<void()> probe) : probe_(std::move(probe)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { probe_(); });
        timer_.start(0);
    }

private:
    std::function<void()> probe_;
    QTimer timer_;
};

template <class T>
T* Shown() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* t = qobject_cast<T*>(w); t && t->isVisible()) return t;
    return nullptr;
}

struct RemoteWindows : test::AppFixture {
    std::unique_ptr<RemoteLink> link;
    std::unique_ptr<AppHost> host;
    std::unique_ptr<RemoteInterpreter> interpreter;

    void SetUp() override {
        MakeApp();
        ASSERT_TRUE(app->InitInstance(StartupOptions{}));
        app->MainFrame()->show();
        ASSERT_NE(app->OpenDocumentFile(kExample), nullptr);
        // On a desktop the window manager frames the main window and the program fits it to the
        // screen: the windows are centred over the main window as it stands then.
        Settle(app->MainFrame());
        link = std::make_unique<RemoteLink>();
        host = std::make_unique<AppHost>(*app);
        interpreter = std::make_unique<RemoteInterpreter>(*host, link->server);
        InstallRemoteCommands(*interpreter);
        link->onMessage = [this](const FrameMessage& m) { interpreter->HandleFrameMessage(m); };
    }
    void TearDown() override {
        link->server.CloseCommandWindows();
        interpreter.reset();
        link.reset();
        CloseApp();
    }
    std::string Ask(const std::string& request) {
        link->Request(request);
        const std::size_t before = link->handed.size();
        EXPECT_TRUE(link->PumpUntilHanded(before + 1)) << request;
        QApplication::processEvents();
        return link->ReadFinal(TagOf(request), kReplyWaitMs, [] { QApplication::processEvents(); });
    }
    // Until the window's frame watch has ended: the window manager has framed the window and the
    // program has answered its frame (at once offscreen, where no frame comes).
    static void Settle(QWidget* w) {
        if (QGuiApplication::platformName() == "offscreen") return;
        test::WaitFor([w] { return !w->findChild<QObject*>("zunFrameWatch", Qt::FindDirectChildrenOnly); },
                      kReplyWaitMs);
    }
    // Centred over the main window as far as the screen lets it, wholly on the screen, and closed
    // to the user's clicks and keys.
    void ExpectDriven(QWidget* w, const char* screenshot) {
        ASSERT_NE(w, nullptr) << screenshot;
        Settle(w);
        EXPECT_FALSE(w->isEnabled()) << screenshot;
        const QRect screen = app->MainFrame()->screen()->availableGeometry();
        EXPECT_TRUE(screen.contains(w->frameGeometry())) << screenshot;
        QRect centred(QPoint(), w->frameGeometry().size());
        centred.moveCenter(app->MainFrame()->geometry().center());
        if (screen.contains(centred)) {
            EXPECT_LE((w->geometry().center() - centred.center()).manhattanLength(), 4) << screenshot;
        }
        test::SaveScreenshot(w, screenshot);
    }
};

}  // namespace

TEST_F(RemoteWindows, DisplayPropertiesAndDataColourAreShownWhileDriven) {
    EXPECT_EQ(Ask("A:displayprop-open@phantom@3"), "A:OK");
    auto* props = Shown<DisplayPropertiesDialog>();
    ExpectDriven(props, "remote-display-properties");
    EXPECT_EQ(props->windowTitle(), "Display Properties");
    // What a command sets shows at once.
    const bool before = props->DisplayBox(1)->isChecked();
    EXPECT_EQ(Ask("B:displayprop-open-setdisplay@phantom@1@" + std::string(before ? "0" : "1")), "B:OK");
    EXPECT_NE(props->DisplayBox(1)->isChecked(), before);

    EXPECT_EQ(Ask("C:displayprop-open-colourdata-open@phantom"), "C:OK");
    ExpectDriven(Shown<DatcolPropertiesDialog>(), "remote-data-colour");
    EXPECT_EQ(Ask("D:displayprop-open-colourdata-close@phantom"), "D:OK");
    EXPECT_EQ(Shown<DatcolPropertiesDialog>(), nullptr);
    EXPECT_EQ(Shown<DisplayPropertiesDialog>(), props);
    EXPECT_EQ(Ask("E:displayprop-close@phantom"), "E:OK");
    EXPECT_EQ(Shown<DisplayPropertiesDialog>(), nullptr);
}

TEST_F(RemoteWindows, SetupComputationMethodSheetAndMapDataAreShownWhileDriven) {
    EXPECT_EQ(Ask("A:setupcomp-open@phantom"), "A:OK");
    auto* setup = Shown<SetupComputationDialog>();
    ExpectDriven(setup, "remote-setup-computation");
    EXPECT_EQ(Ask("B:setupcomp-open-computation@phantom@0"), "B:OK");
    setup = Shown<SetupComputationDialog>();
    ASSERT_NE(setup, nullptr);
    EXPECT_FALSE(setup->CompositionBox()->isChecked());
    EXPECT_EQ(Ask("C:setupcomp-open-computation@phantom@1"), "C:OK");
    setup = Shown<SetupComputationDialog>();
    ASSERT_NE(setup, nullptr);
    EXPECT_TRUE(setup->CompositionBox()->isChecked());
    EXPECT_FALSE(setup->isEnabled());

    EXPECT_EQ(Ask("D:setupcomp-open-dlss-open@phantom@1"), "D:OK");
    ExpectDriven(Shown<MethodSheetDialog>(), "remote-method-sheet");
    EXPECT_EQ(Ask("E:setupcomp-open-dlss-close@phantom"), "E:OK");
    EXPECT_EQ(Shown<MethodSheetDialog>(), nullptr);
    EXPECT_EQ(Ask("F:setupcomp-close@phantom"), "F:OK");
    EXPECT_EQ(Shown<SetupComputationDialog>(), nullptr);

    EXPECT_EQ(Ask("G:setup-map-mapdata@phantom@3@2@0@0@<2@0@0@0@100@0@0@7"), "G:OK");
    ExpectDriven(Shown<MapChannelDataDialog>(), "remote-map-channel-data");
    EXPECT_EQ(Ask("H:setup-map-mapdata-action"), "H:OK");
    EXPECT_EQ(Shown<MapChannelDataDialog>(), nullptr);
}

TEST_F(RemoteWindows, ImportShowsTheMenusProgressWindowAndReportsToNoOtherRequest) {
    test::TempFolder slices;
    const std::string make = std::string(ZUN_PYTHON) +
                             " -c \"import sys, numpy as np, tifffile\nfor z in range(24): "
                             "tifffile.imwrite(sys.argv[1] + '/s%02d.tif' % z, np.full((24, 24), z + 1.0, "
                             "dtype=np.float32))\" '" +
                             slices.Path().string() + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    // Another request's long work is under way: its tag is open.
    link->server.ReplyExtend("Z", 300);
    EXPECT_EQ(link->ReadReply("Z:EXTEND:300"), "Z:EXTEND:300");
    ServerRoute route(link->server);
    SetWorkReportRoute(&route);
    std::string title;
    bool saved = false;
    {
        Watch watch([&] {
            CProgressBar* bar = Shown<CProgressBar>();
            if (!bar || saved) return;
            title = bar->windowTitle().toStdString();
            saved = true;
            test::SaveScreenshot(bar, "remote-import-progress");
        });
        EXPECT_EQ(
            Ask("A:importdata@phantom@3@" + slices.Path().string() + "@0@100@tif@0@1@0@1@0@1@0@0@0@0@0@0"),
            "A:OK");
    }
    SetWorkReportRoute(nullptr);
    EXPECT_EQ(title, "Importing CT 40 keV");
    EXPECT_EQ(Shown<CProgressBar>(), nullptr);
    // The import's progress is not the other request's: the other request's answer is the next
    // thing on the link.
    link->server.ReplyFinal("Z", "OK");
    EXPECT_EQ(link->ReadReply("Z:OK"), "Z:OK");
}

TEST_F(RemoteWindows, BoundaryBuildShowsTheWizardAndItsProgress) {
    EXPECT_EQ(Ask("A:insertchannel@phantom@bound@5@3"), "A:OK");
    std::vector<std::string> words = {"buildboundary", "phantom", "5", "2"};
    words.resize(32, "0");
    words[17] = words[19] = words[25] = "";
    words[24] = "0.5";
    words[26] = words[27] = words[28] = "8";
    std::string request = "B:" + words[0];
    for (std::size_t i = 1; i < words.size(); ++i) request += "@" + words[i];
    ServerRoute route(link->server);
    SetWorkReportRoute(&route);
    bool sheetSeen = false, progressSeen = false;
    {
        Watch watch([&] {
            if (!sheetSeen)
                if (AddBoundSheet* sheet = Shown<AddBoundSheet>()) {
                    sheetSeen = true;
                    EXPECT_EQ(sheet->windowTitle(), "Build boundary");
                    ExpectDriven(sheet, "remote-build-boundary");
                }
            if (!progressSeen)
                if (CProgressBar* bar = Shown<CProgressBar>()) {
                    progressSeen = true;
                    // The local user may still cancel the build.
                    EXPECT_TRUE(bar->isEnabled());
                    EXPECT_TRUE(bar->CancelButton()->isEnabled());
                    test::SaveScreenshot(bar, "remote-build-boundary-progress");
                }
        });
        const std::string reply = Ask(request);
        EXPECT_EQ(reply.rfind("B:EXTEND:300", 0), 0u) << reply;
        EXPECT_NE(reply.find("B:WORK:"), std::string::npos) << reply;
        EXPECT_EQ(reply.substr(reply.size() - 4), "B:OK") << reply;
    }
    SetWorkReportRoute(nullptr);
    EXPECT_TRUE(sheetSeen);
    EXPECT_TRUE(progressSeen);
    // The wizard goes with the command.
    EXPECT_EQ(Shown<AddBoundSheet>(), nullptr);
    EXPECT_EQ(Shown<CProgressBar>(), nullptr);
}

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
