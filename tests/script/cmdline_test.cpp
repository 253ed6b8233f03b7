// The console's line editing: what each key does to the line, the cursor and the history.

#include <gtest/gtest.h>

#include "script/cmdline.h"

namespace zun::script {
namespace {

void Type(CmdLineModel& m, const std::string& text) {
    for (char c : text) m.Insert(c);
}

TEST(CmdLine, EnterTrimsAndKeepsOnlyNonBlankLines) {
    CmdLineModel m;
    EXPECT_EQ(m.Prompt(), "> ");
    Type(m, "   ");
    EXPECT_FALSE(m.Enter());
    EXPECT_TRUE(m.History().empty());
    EXPECT_EQ(m.Line(), "");

    Type(m, "  a = 1 ");
    m.Paste("\t");
    auto entered = m.Enter();
    ASSERT_TRUE(entered);
    EXPECT_EQ(*entered, "a = 1");
    EXPECT_EQ(m.History(), std::vector<std::string>{"a = 1"});
    EXPECT_EQ(m.Line(), "");
    EXPECT_EQ(m.Cursor(), 0);
    EXPECT_EQ(m.HistoryIndex(), -1);

    Type(m, "a = 1");  // duplicates are kept, newest first
    Type(m, "");
    m.Enter();
    Type(m, "b");
    m.Enter();
    EXPECT_EQ(m.History(), (std::vector<std::string>{"b", "a = 1", "a = 1"}));
}

TEST(CmdLine, HistoryWalkBringsBackTheLineBeingTyped) {
    CmdLineModel m;
    EXPECT_FALSE(m.Up());  // no history
    for (const char* l : {"first", "second"}) {
        Type(m, l);
        m.Enter();
    }
    Type(m, "draft");
    m.Left();
    EXPECT_FALSE(m.Down());  // already the user's own line
    EXPECT_TRUE(m.Up());
    EXPECT_EQ(m.Line(), "second");
    EXPECT_EQ(m.Cursor(), 6);
    EXPECT_EQ(m.SavedLine(), "draft");
    EXPECT_TRUE(m.Up());
    EXPECT_EQ(m.Line(), "first");
    EXPECT_FALSE(m.Up());  // oldest entry: nothing happens
    EXPECT_EQ(m.Line(), "first");
    EXPECT_EQ(m.HistoryIndex(), 1);

    // Editing a recalled entry does not change the history, and walking on keeps the draft.
    m.Backspace();
    EXPECT_EQ(m.Line(), "firs");
    EXPECT_TRUE(m.Down());
    EXPECT_EQ(m.Line(), "second");
    EXPECT_TRUE(m.Down());
    EXPECT_EQ(m.Line(), "draft");
    EXPECT_EQ(m.Cursor(), 5);
    EXPECT_EQ(m.HistoryIndex(), -1);
    EXPECT_EQ(m.History(), (std::vector<std::string>{"second", "first"}));

    // A recalled line runs as a new newest entry; the walk starts over.
    m.Up();
    m.Up();
    EXPECT_EQ(*m.Enter(), "first");
    EXPECT_EQ(m.History().front(), "first");
    EXPECT_EQ(m.HistoryIndex(), -1);
    EXPECT_TRUE(m.Up());
    EXPECT_EQ(m.Line(), "first");
}

TEST(CmdLine, CursorEditsStayInsideTheLine) {
    CmdLineModel m;
    EXPECT_FALSE(m.Backspace());  // the prompt cannot be erased
    EXPECT_FALSE(m.Left());
    EXPECT_FALSE(m.Delete());
    Type(m, "ac");
    EXPECT_FALSE(m.Right());
    EXPECT_FALSE(m.Delete());  // at the end
    m.Left();
    Type(m, "b");
    EXPECT_EQ(m.Line(), "abc");
    EXPECT_EQ(m.Cursor(), 2);
    m.Home();
    EXPECT_EQ(m.Cursor(), 0);
    EXPECT_FALSE(m.Backspace());
    EXPECT_EQ(m.Line(), "abc");
    EXPECT_TRUE(m.Delete());
    EXPECT_EQ(m.Line(), "bc");
    EXPECT_EQ(m.Cursor(), 0);
    m.End();
    EXPECT_TRUE(m.Backspace());
    EXPECT_EQ(m.Line(), "b");
    EXPECT_EQ(m.Cursor(), 1);

    // Control characters are not typed into the line.
    EXPECT_FALSE(m.Insert('\x01'));
    EXPECT_FALSE(m.Insert('\x7f'));
    EXPECT_EQ(m.Line(), "b");

    m.Clear();  // Ctrl+U
    EXPECT_EQ(m.Line(), "");
    EXPECT_EQ(m.Cursor(), 0);
    EXPECT_TRUE(m.History().empty());
}

TEST(CmdLine, PasteOfSeveralLinesMakesOneLineAtTheCursor) {
    CmdLineModel m;
    Type(m, "x = ()");
    m.Left();
    m.Paste("a +\r\nb\n\t* 2\x07");
    EXPECT_EQ(m.Line(), "x = (a + b  * 2)");
    EXPECT_EQ(m.Cursor(), 15);
    m.Paste("");
    EXPECT_EQ(m.Line(), "x = (a + b  * 2)");
    EXPECT_EQ(*m.Enter(), "x = (a + b  * 2)");
}

}  // namespace
}  // namespace zun::script
