// The windows that remote commands open, driven over a loopback link from a socket controller
// against the application's own document window: each is shown centred over the main window,
// closed to the local user, shows what the commands set, and goes with its close command.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>

#include "app/ui/mainframe.h"
#include "app/ui/remotedocwindow.h"
#include "app/ui/zunapp.h"
#include "document/ui/datcoldialog.h"
#include "document/zundoc.h"
#include "guitest.h"
#include "platform/prompt.h"
#include "script/remotecommands.h"
#include "script/remotehost.h"
#include "script/remotelink.h"
#include "setup/ui/methodsheetdialog.h"
#include "setup/ui/setupdialog.h"
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
    void CloseDocument(CZunDoc* doc) override { app_.CloseDocument(doc); }
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
        return link->Drain(100);
    }
    // Centred over the main window, and closed to the user's clicks and keys.
    void ExpectDriven(QWidget* w, const char* screenshot) {
        ASSERT_NE(w, nullptr) << screenshot;
        EXPECT_FALSE(w->isEnabled()) << screenshot;
        const QPoint centre = app->MainFrame()->geometry().center();
        EXPECT_LE((w->geometry().center() - centre).manhattanLength(), 4) << screenshot;
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

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
