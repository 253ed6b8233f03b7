// The notes window's decisions: line ends, import with and without the question, save, save as
// and the close question.

#include "plot/usernotes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "platform/prompt.h"

using namespace zun;

namespace {

class UserNotesTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterDocumentClasses();
        doc.OnNewDocument();
        doc.SetNotes("a\nb");
        doc.SetModifiedFlag(false);
        dir = std::filesystem::path(ZUN_TEST_BINARY_DIR) / "usernotes_tmp";
        std::filesystem::create_directories(dir);
    }
    std::string Write(const char* name, const std::string& bytes) {
        std::ofstream(dir / name, std::ios::binary) << bytes;
        return (dir / name).string();
    }
    HeadlessPrompt prompt;
    CZunDoc doc{DocServices{&prompt}};
    std::filesystem::path dir;
};

TEST_F(UserNotesTest, UnchangedTextGoesBackWithoutCarriageReturns) {
    UserNotesModel m(doc, &prompt);
    EXPECT_EQ(m.Title(), doc.GetNameText() + ": Notes");
    EXPECT_EQ(m.Text(), "a\nb");
    m.OnEdited("a\r\nb");
    EXPECT_TRUE(m.Modified());
    m.Save();
    EXPECT_EQ(doc.GetNotes(), "a\nb");
    EXPECT_TRUE(doc.IsModified());
    EXPECT_FALSE(m.Modified());
}

TEST_F(UserNotesTest, ImportDropsCarriageReturnsAndAsksOnlyForDrops) {
    UserNotesModel m(doc, &prompt);
    const std::string win = Write("win.txt", "one\r\ntwo");
    ASSERT_EQ(m.ImportText(win, false), 0);
    EXPECT_EQ(m.Text(), "one\ntwo");
    EXPECT_TRUE(m.Modified());
    EXPECT_TRUE(prompt.Requests().empty());
    EXPECT_EQ(doc.GetNotes(), "a\nb");  // not before Save

    // A drop over unsaved typing asks first; No keeps the text.
    m.OnEdited("typed");
    prompt.QueueAnswer(kPromptNo);
    EXPECT_EQ(m.ImportText(win, true), 1);
    EXPECT_EQ(m.Text(), "typed");
    ASSERT_EQ(prompt.Requests().size(), 1u);
    EXPECT_EQ(prompt.Requests()[0].text, m.Title() + " changes will be lost - Continue?");

    // A file that cannot be read changes nothing.
    EXPECT_EQ(m.ImportText((dir / "none.txt").string(), false), 0);
    EXPECT_EQ(m.Text(), "typed");
    EXPECT_EQ(prompt.Requests().back().text, m.Title() + ": Could not open " + (dir / "none.txt").string());
}

TEST_F(UserNotesTest, SaveAsTouchesNeitherDocumentNorState) {
    UserNotesModel m(doc, &prompt);
    m.OnEdited("x\r\ny");
    ASSERT_TRUE(m.SaveAs((dir / "out.txt").string()));
    std::ifstream in(dir / "out.txt", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "x\ny");
    EXPECT_TRUE(m.Modified());
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetNotes(), "a\nb");
}

TEST_F(UserNotesTest, CloseQuestion) {
    UserNotesModel m(doc, &prompt);
    EXPECT_TRUE(m.Close());  // nothing typed: no question
    EXPECT_TRUE(prompt.Requests().empty());

    m.OnEdited("new");
    prompt.QueueAnswer(kPromptCancel);
    EXPECT_FALSE(m.Close());
    EXPECT_EQ(prompt.Requests().back().text, "Save " + m.Title() + " changes?");
    EXPECT_EQ(prompt.Requests().back().buttons, PromptButtons::YesNoCancel);
    prompt.QueueAnswer(kPromptNo);
    EXPECT_TRUE(m.Close());
    EXPECT_EQ(doc.GetNotes(), "a\nb");
    EXPECT_FALSE(doc.IsModified());

    m.OnEdited("kept");
    prompt.QueueAnswer(kPromptYes);
    m.AskSaveChanges();
    EXPECT_EQ(doc.GetNotes(), "kept");
    EXPECT_EQ(prompt.Requests().back().buttons, PromptButtons::YesNo);
}

}  // namespace
