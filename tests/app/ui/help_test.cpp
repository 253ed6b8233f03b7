// Help Topics: the guide is found beside the program and under the installation prefix, opens from
// the Help menu and F1 in a window of its own, lists every remote word with its word count as the
// interpreter checks it, and shows the lines a controller and a console user need.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QTextBrowser>

#include "app/ui/helpwindow.h"
#include "guitest.h"
#include "script/remotecommands.h"
#include "script/remotehost.h"
#include "script/remotelink.h"
#include "script/remoteserver.h"

using namespace zun;
namespace fs = std::filesystem;

namespace {

const fs::path kGuide = fs::path(ZUN_SOURCE_DIR) / "doc" / "help" / "index.html";

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class NoHost : public RemoteHost {
public:
    std::vector<CZunDoc*> Documents() override { return {}; }
    CZunDoc* ActiveDocument() override { return nullptr; }
    CZunDoc* NewDocument() override { return nullptr; }
    bool CloseDocument(CZunDoc*) override { return false; }
    void SetMainWindowPos(unsigned, unsigned, unsigned, unsigned) override {}
    bool HasActiveTreeView() override { return false; }
    void SetVolumeScalarProperty(float) override {}
    void ResetPluginPreferences() override {}
    void StopComputation(CZunDoc*) override {}
    void Wait(int) override {}
};

struct HelpFixture : test::AppFixture {
    void SetUp() override {
        MakeApp();
        ASSERT_TRUE(app->InitInstance(StartupOptions{}));
        app->MainFrame()->show();
    }
    HelpWindow* Shown() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* h = qobject_cast<HelpWindow*>(w); h && h->isVisible()) return h;
        return nullptr;
    }
};

}  // namespace

TEST(HelpFiles, TheGuideIsFoundBesideTheProgramAndUnderThePrefix) {
    // The build puts it beside the program.
    const QString built = QString::fromStdString((fs::path(ZUN_TEST_BINARY_DIR) / "../../../src").string());
    EXPECT_EQ(FindHelpIndex(built), QDir::cleanPath(built + "/help/index.html"));
    // An installed program in <prefix>/bin finds <prefix>/share/zun/help.
    test::TempFolder prefix;
    fs::create_directories(prefix.Path() / "bin");
    fs::create_directories(prefix.Path() / "share/zun/help");
    fs::copy_file(kGuide, prefix.Path() / "share/zun/help/index.html");
    const QString bin = QString::fromStdString((prefix.Path() / "bin").string());
    EXPECT_EQ(FindHelpIndex(bin),
              QString::fromStdString((prefix.Path() / "share/zun/help/index.html").string()));
    fs::remove_all(prefix.Path() / "share");
    EXPECT_TRUE(FindHelpIndex(bin).isEmpty());
}

TEST(HelpFiles, TheGuideListsEveryRemoteWordWithItsCount) {
    const std::string whole = ReadAll(kGuide);
    // The words' table, to the end of the page: other sections have tables of code too.
    const std::size_t section = whole.find("<h2 id=\"words\">");
    ASSERT_NE(section, std::string::npos);
    const std::string guide = whole.substr(section);
    NoHost host;
    RemoteLink link(false);
    RemoteInterpreter interpreter(host, link.server);
    ASSERT_FALSE(interpreter.Commands().empty());
    std::size_t rows = 0;
    for (std::size_t at = guide.find("<tr><td><code>"); at != std::string::npos;
         at = guide.find("<tr><td><code>", at + 1))
        ++rows;
    EXPECT_EQ(rows, interpreter.Commands().size()) << "one row per word, no word the program lacks";
    for (const RemoteCommandEntry& e : interpreter.Commands()) {
        const std::string count = e.wordCount < 0 ? "any" : std::to_string(e.wordCount);
        EXPECT_NE(guide.find("<tr><td><code>" + std::string(e.word) + "</code></td><td>" + count + "</td>"),
                  std::string::npos)
            << e.word << " with " << count << " words";
    }
}

TEST_F(HelpFixture, HelpTopicsAndF1OpenTheGuideInItsOwnWindow) {
    QAction* topics = app->MainFrame()->Action("helpTopics");
    ASSERT_NE(topics, nullptr);
    EXPECT_EQ(topics->text(), "&Help Topics");
    EXPECT_EQ(topics->shortcut(), QKeySequence(QKeySequence::HelpContents));
    EXPECT_TRUE(app->MainFrame()->Action("helpAbout")->shortcut().isEmpty());

    // Without the guide beside it the program says where it looked.
    const fs::path beside = fs::path(QCoreApplication::applicationDirPath().toStdString()) / "help";
    fs::remove_all(beside);
    Trigger("helpTopics");
    EXPECT_EQ(Shown(), nullptr);
    EXPECT_NE(LastMessage().find("help/index.html"), std::string::npos) << LastMessage();

    fs::create_directories(beside);
    fs::copy_file(kGuide, beside / "index.html", fs::copy_options::overwrite_existing);
    Trigger("helpTopics");
    HelpWindow* help = Shown();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->Browser()->toPlainText().contains("The remote words"));
    EXPECT_TRUE(help->Browser()->toPlainText().contains("ZUN_UNATTENDED"));
    EXPECT_TRUE(help->Browser()->toPlainText().contains("Energy Properties: proposes beam energies"));
    // The lines users had to guess at, as the window shows them (words wrap at any blank).
    const QString shown = help->Browser()->toPlainText().simplified();
    const QStringList lines = {
        // The channel entry as the tree enables it.
        "it is greyed on an X-ray CT channel",
        // Pipelining as the link's receive takes it.
        QString(
            "at most %1 requests wait, and one more closes the link, and the replies not yet sent are lost")
            .arg(RemoteControlServer::kMaxQueuedRequests),
        "a request whose tag is already waiting is dropped without a reply",
        "two requests that reach the program in one read are one request",
        "sends each request in its own write and uses tags that are not waiting",
        // Computations of several documents answer apart.
        "Each startcomp answers under its own tag",
        "answer the tag of the computation they stop: a plain OK once that computation has ended",
        // The console's language.
        "The Edit Data console",
        "variable does not exist: 'x'",
        "the voxel is Calcite[16][24][16]",
        "sumt(CT > 0.75 ? 1 : 0)",
    };
    for (const QString& line : lines) EXPECT_TRUE(shown.contains(line)) << line.toStdString();
    // A second Help Topics brings the same window forward.
    Trigger("helpTopics");
    EXPECT_EQ(Shown(), help);
    help->Browser()->setSource(QUrl("#editdata"));
    test::SaveScreenshot(help, "help-editdata");
    help->Browser()->setSource(QUrl("#editdata-functions"));
    test::SaveScreenshot(help, "help-editdata-functions");
    help->Browser()->setSource(QUrl("#editdata-lines"));
    test::SaveScreenshot(help, "help-editdata-lines");
    help->Browser()->setSource(QUrl("#words"));
    test::SaveScreenshot(help, "help-topics");
    help->close();
    fs::remove_all(beside);
}

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
