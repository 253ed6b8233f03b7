// The web export from a live 3-D view: the options dialog (its checks, matrix sizes and defaults)
// and the page set written from the view's own display volume.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <osg/Notify>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "platform/prompt.h"
#include "view3d/ui/exportweb3ddialog.h"
#include "view3d/ui/zunview.h"
#include "view3d/web3dexport.h"
#include "view3d/web3dtexts.h"

namespace zun {
namespace {

namespace fs = std::filesystem;

QApplication* App() {
    static int argc = 1;
    static char name[] = "web3dview_test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        osg::setNotifyLevel(osg::FATAL);
        return new QApplication(argc, argv);
    }();
    return app;
}

std::string Screens() {
    const char* d = std::getenv("ZUN_SCREENS_DIR");
    const std::string dir = d ? d : ZUN_SCREENS_DIR;
    fs::create_directories(dir);
    return dir;
}

struct Scratch {
    fs::path path;
    Scratch() {
        char tmpl[] = "/tmp/zun_web3dview_XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

class Web3DViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY") || !*std::getenv("DISPLAY"))
            GTEST_SKIP() << "no X display (run under xvfb-run)";
        App();
        RegisterDocumentClasses();
        doc = std::make_unique<CZunDoc>(DocServices{&prompt, nullptr, nullptr});
        doc->OnNewDocument();
        for (int c = 1; c < 3; ++c) doc->InsertChannel(0, c, "Material " + std::to_string(c));
        ASSERT_GE(doc->GetSample().Resize(Dims{64, 48, 40}), 0);
        ZunImage& s = doc->GetSample();
        for (int c = 1; c < s.GetChanCount(); ++c) {
            imtype* d = s.GetChan(c)->Data();
            for (std::size_t i = 0; i < std::size_t(64) * 48 * 40; ++i)
                d[i] = static_cast<imtype>((i % 64) * 250 * c % 16384);
        }
    }

    std::unique_ptr<CZunView> MakeView() {
        auto v = std::make_unique<CZunView>(doc.get());
        v->resize(400, 360);
        v->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(v.get()));
        QElapsedTimer t;
        t.start();
        while (!v->GetVolumeLayer() && t.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_NE(v->GetVolumeLayer(), nullptr);
        return v;
    }

    HeadlessPrompt prompt;
    std::unique_ptr<CZunDoc> doc;
};

TEST_F(Web3DViewTest, DialogChecksAndShowsTheMatrix) {
    Web3DOptions o;
    o.X = 64, o.Y = 48, o.Z = 40, o.tilesX = o.tilesY = 8;
    o.title = "T";
    o.description = "Some words";
    o.folder = "/tmp";
    o.fileName = "page";
    Web3DDocumentFacts facts;
    facts.title = "Defaults";
    facts.grid = {64, 48, 40};
    ExportWeb3DDialog dialog(nullptr, o, [&] { return facts; });
    std::vector<std::string> messages;
    dialog.showMessage = [&](const std::string& m) { messages.push_back(m); };
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.windowTitle(), "Export interactive Web3D image");
    EXPECT_EQ(dialog.MatrixXLabel()->text(), "640");  // (64 + 16) * 8
    EXPECT_EQ(dialog.MatrixYLabel()->text(), "512");
    dialog.grab().save(QString::fromStdString(Screens() + "/exportweb3d.png"));

    dialog.BorderEdit()->setText("-4");  // shown as border 0, refused on Export
    EXPECT_EQ(dialog.MatrixXLabel()->text(), "512");
    dialog.ExportButton()->click();
    dialog.BorderEdit()->setText("2");
    dialog.FileNameEdit()->setText("../escape");
    dialog.ExportButton()->click();
    dialog.FileNameEdit()->setText("page.v2");
    dialog.OpacityEdit()->setText("3");
    dialog.ExportButton()->click();
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], web3dmsg::kBadBorder);
    EXPECT_EQ(messages[1], web3dmsg::kNameSymbol);
    EXPECT_EQ(messages[2], web3dmsg::kBadOpacity);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(o.fileName, "page");

    dialog.OpacityEdit()->setText("0.5");
    dialog.AveragingButton()->setChecked(true);
    dialog.ExportButton()->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(o.fileName, "page.v2");
    EXPECT_EQ(o.border, 2);
    EXPECT_FLOAT_EQ(o.opacityFactor, 0.5f);
    EXPECT_EQ(o.samplingMode, 1);

    // "Default" writes the defaults into the options at once.
    ExportWeb3DDialog again(nullptr, o, [&] { return facts; });
    again.DefaultButton()->click();
    EXPECT_EQ(again.TitleEdit()->text(), "Defaults");
    EXPECT_EQ(o.title, "Defaults");
    EXPECT_EQ(o.border, 8);
    EXPECT_NE(again.DescriptionEdit()->toPlainText().indexOf("64 x 48 x 40 voxels"), -1);
}

TEST_F(Web3DViewTest, ExportsTheViewsVolume) {
    auto view = MakeView();
    Scratch dir;
    view->web3dTemplateFolder = (dir.path / "template").string();
    fs::create_directories(dir.path / "template" / "js");
    std::ofstream(dir.path / "template" / "js" / "x3dom.js") << "//";

    std::string msg;
    Web3DOptions& o = view->GetWeb3DOptions();
    ASSERT_EQ(view->CheckWeb3DExport(o, msg), 0) << msg;
    EXPECT_EQ(o.X, view->GetDisplayVolume().GetDims()[0]);
    bool asked = false;
    view->runWeb3DDialog = [&](Web3DOptions& options) {
        asked = true;
        options.folder = dir.path.string();
        options.fileName = "view";
        return true;
    };
    EXPECT_EQ(view->WriteWeb3DPage(o, true, msg), kWeb3DSuccess) << msg;
    EXPECT_TRUE(asked);
    EXPECT_EQ(doc->webExportFolder, dir.path.string());  // remembered for the next export
    EXPECT_TRUE(fs::exists(dir.path / "Web3D" / "view.xhtml"));
    EXPECT_TRUE(fs::exists(dir.path / "Web3D" / "view_zun1.js"));
    EXPECT_GT(fs::file_size(dir.path / "view.jpg"), 100u);  // the thumbnail
    std::stringstream page;
    page << std::ifstream(dir.path / "Web3D" / "view.xhtml").rdbuf();
    EXPECT_NE(page.str().find("<meta name=\"sample size\" content=\"64 x 48 x 40\" />"), std::string::npos);

    // A cancelled dialog writes nothing but still remembers the folder.
    view->runWeb3DDialog = [&](Web3DOptions& options) {
        options.folder = (dir.path / "other").string();
        return false;
    };
    EXPECT_EQ(view->WriteWeb3DPage(o, true, msg), kWeb3DDialogCancelled);
    EXPECT_EQ(doc->webExportFolder, (dir.path / "other").string());
    EXPECT_FALSE(fs::exists(dir.path / "other"));
}

// The remote command names its folder; the folder remembered from an interactive export belongs
// to the interactive road only.
TEST_F(Web3DViewTest, ANamedFolderIsNotReplacedByTheRememberedOne) {
    auto view = MakeView();
    Scratch dir;
    doc->webExportFolder = (dir.path / "interactive").string();
    Web3DOptions remote;
    remote.folder = (dir.path / "named").string();
    std::string msg;
    ASSERT_EQ(view->CheckWeb3DExport(remote, msg), 0) << msg;
    EXPECT_EQ(remote.folder, (dir.path / "named").string());
    Web3DOptions interactive;
    interactive.folder = (dir.path / "named").string();
    ASSERT_EQ(view->CheckWeb3DExport(interactive, msg, true), 0) << msg;
    EXPECT_EQ(interactive.folder, (dir.path / "interactive").string());
}

}  // namespace
}  // namespace zun
