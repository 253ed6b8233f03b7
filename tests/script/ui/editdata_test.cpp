// The "Edit Data" console as a user drives it: keys typed into the window, lines run against a
// document that a tree view is watching.

#include "script/ui/editdatadialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QTest>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "script/ui/cmdlineedit.h"
#include "tree/ui/treeitemmodel.h"
#include "tree/ui/treeview.h"

namespace zun::script {
namespace {

QApplication& App() {
    static int argc = 1;
    static char name[] = "script_ui_test";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt's own statics may go first at exit.
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

// A document with one composition channel "Iron" of 4 slices rising with the slice.
std::unique_ptr<CZunDoc> MakeDocument() {
    RegisterDocumentClasses();
    auto doc = std::make_unique<CZunDoc>();
    doc->OnNewDocument();
    ZunImage& s = doc->GetSample();
    s.Resize(Dims{4, 4, 4});
    s.InsertChan(ZunChan::kComposition, 1, "Iron", 0x3050E0);
    ZunChan* iron = s.FindChan("Iron");
    for (int v = 0; v < 64; ++v) iron->Data()[v] = static_cast<std::uint16_t>(100 * v);
    doc->SetModifiedFlag(false);
    return doc;
}

struct Console {
    std::unique_ptr<CZunDoc> doc = (App(), MakeDocument());
    EditDataDialog dialog{*doc};
    CmdLineEdit* edit = dialog.Console();

    Console() {
        dialog.show();
        QApplication::processEvents();
    }
    QString Text() const { return edit->toPlainText(); }
    void Enter(const QString& line) {
        QTest::keyClicks(edit, line);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    QString LastLine() const { return Text().section('\n', -1); }
};

TEST(EditDataConsole, TypedLinesPrintTheirResultsAndErrors) {
    Console c;
    EXPECT_EQ(c.dialog.windowTitle(), "Edit Data");
    EXPECT_EQ(c.Text(), "\n> ");  // empty first line, the prompt on the second

    c.Enter("  1 + 2 ");
    EXPECT_EQ(c.Text(), "\n>   1 + 2 \n3\n> ");
    // A syntax error: a caret under the refused token of the line as typed, then the message.
    c.Enter("Iron = (");
    EXPECT_TRUE(c.Text().endsWith("\n> Iron = (\n          ^\nsyntax error\n> ")) << c.Text().toStdString();
    c.Enter("   Iron Fe");
    EXPECT_TRUE(c.Text().endsWith("\n>    Iron Fe\n          ^\nsyntax error\n> ")) << c.Text().toStdString();
    c.Enter("nosuch + 1");
    EXPECT_TRUE(c.Text().endsWith("\nvariable does not exist: 'nosuch'\n> "));
    // A blank line runs nothing and stays out of the history.
    c.Enter("   ");
    EXPECT_TRUE(c.Text().endsWith("\n>    \n> "));
    EXPECT_EQ(c.edit->Model().History(),
              (std::vector<std::string>{"nosuch + 1", "Iron Fe", "Iron = (", "1 + 2"}));
    EXPECT_FALSE(c.doc->IsModified());

    // The window can grow but not shrink below its opening size.
    EXPECT_EQ(c.dialog.minimumSize(), c.dialog.size());
}

TEST(EditDataConsole, KeysEditOnlyTheLineAfterThePrompt) {
    Console c;
    c.Enter("1 + 2");
    const QString before = c.Text();

    QTest::keyClick(c.edit, Qt::Key_Backspace);  // at the start: the prompt stays
    QTest::keyClick(c.edit, Qt::Key_Left);
    QTest::keyClick(c.edit, Qt::Key_Backspace);
    EXPECT_EQ(c.Text(), before);

    QTest::keyClicks(c.edit, "draft");
    QTest::keyClick(c.edit, Qt::Key_Up);
    EXPECT_EQ(c.LastLine(), "> 1 + 2");
    QTest::keyClick(c.edit, Qt::Key_Up);  // oldest entry: stays
    EXPECT_EQ(c.LastLine(), "> 1 + 2");
    QTest::keyClick(c.edit, Qt::Key_Down);
    EXPECT_EQ(c.LastLine(), "> draft");

    // A click into the output moves the caret there; typing still lands in the line.
    QTextCursor elsewhere = c.edit->textCursor();
    elsewhere.setPosition(1);
    c.edit->setTextCursor(elsewhere);
    QTest::keyClick(c.edit, Qt::Key_Home);
    QTest::keyClicks(c.edit, "x");
    QTest::keyClick(c.edit, Qt::Key_Delete);
    EXPECT_EQ(c.LastLine(), "> xraft");
    EXPECT_TRUE(c.Text().startsWith(before.left(before.size() - 2)));

    QTest::keyClick(c.edit, Qt::Key_U, Qt::ControlModifier);
    EXPECT_EQ(c.LastLine(), "> ");
    // Cut and undo would edit the output behind the model's back: they do nothing.
    QTest::keyClicks(c.edit, "7");
    c.edit->selectAll();
    QTest::keyClick(c.edit, Qt::Key_X, Qt::ControlModifier);
    QTest::keyClick(c.edit, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(c.LastLine(), "> 7");

    QApplication::clipboard()->setText("* (2 +\n 3)");
    QTest::keyClick(c.edit, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(c.LastLine(), "> 7* (2 +  3)");
    QTest::keyClick(c.edit, Qt::Key_Return);
    EXPECT_TRUE(c.Text().endsWith("\n> 7* (2 +  3)\n35\n> "));
}

TEST(EditDataConsole, AssignmentReachesTheTreeAndMarksTheDocument) {
    Console c;
    ZunTreeView tree(*c.doc);
    TreeItemModel* m = tree.ItemModel();
    const QModelIndex iron = m->index(1, 0, m->index(0, 0));
    ASSERT_EQ(m->rowCount(iron), 4);
    auto stats = [&](int slice) { return m->data(m->index(slice, 0, iron)).toString().section(' ', 1); };
    ASSERT_TRUE(stats(3).startsWith("{ave="));
    ASSERT_NE(stats(0), stats(3));

    c.Enter("sumt(Iron.raw = 7)");
    EXPECT_TRUE(c.Text().endsWith("\n448\n> ")) << c.Text().toStdString();
    EXPECT_TRUE(c.doc->IsModified());
    EXPECT_EQ(c.doc->GetSample().FindChan("Iron")->Data()[63], 7);
    // Every slice now holds the same values, and the tree says so without being asked.
    EXPECT_EQ(stats(0), stats(3));

    // Screenshot: results, an error and a line being typed.
    c.Enter("sumt(Iron.raw) / 64");
    c.Enter("Iron.raw = (1 +");
    QTest::keyClicks(c.edit, "Iron[0][0][0].raw");
    QApplication::processEvents();
    QDir().mkpath(ZUN_SCREENS_DIR);
    EXPECT_TRUE(c.dialog.grab().save(QString(ZUN_SCREENS_DIR) + "/edit-data.png"));
}

}  // namespace
}  // namespace zun::script
