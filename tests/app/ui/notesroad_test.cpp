// The document's "Notes..." command and what closing the document asks of an open notes window.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QPlainTextEdit>

#include "app/startup.h"
#include "app/ui/mainframe.h"
#include "app/ui/zunapp.h"
#include "document/zundoc.h"
#include "guitest.h"
#include "platform/prompt.h"
#include "plot/ui/compoundtextdialog.h"
#include "plot/ui/usernotesdialog.h"

using namespace zun;

namespace {

const std::string kExample = std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt";

struct NotesFixture : test::AppFixture {
    void SetUp() override {
        MakeApp();
        StartupOptions o;
        o.files = {kExample};
        ASSERT_TRUE(app->InitInstance(o));
    }
    int NotesWindows() const {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<UserNotesDialog*>(w)) ++n;
        return n;
    }
};

TEST_F(NotesFixture, MenuOpensOneWindowAndClosingAsksNotesThenDocument) {
    CZunDoc* doc = app->ActiveDocument();
    ASSERT_NE(doc, nullptr);
    doc->SetModifiedFlag(false);
    app->MainFrame()->UpdateCommandUI();
    QAction* notes = app->MainFrame()->Action("viewNotes");
    ASSERT_NE(notes, nullptr);
    ASSERT_TRUE(notes->isEnabled());
    notes->trigger();
    notes->trigger();  // the open window comes to the front; no second one
    EXPECT_EQ(NotesWindows(), 1);
    UserNotesDialog* window = FindUserNotes(*doc);
    ASSERT_NE(window, nullptr);
    window->edit->setPlainText("line one\nline two");
    ASSERT_TRUE(window->Model().Modified());
    // The attenuation table of the example's two materials, open when the document goes; its
    // matrix starts from the example's two monochromatic beams.
    CompoundTextDialog* atten =
        ShowXrayAttenuationProperties(*doc, {"Water", "Aluminium"}, "", app->MainFrame());
    ASSERT_NE(atten, nullptr);
    EXPECT_EQ(atten->Model().MatrixRows(), (std::vector<AttenEnergyRow>{{40.0f, ""}, {80.0f, ""}}));

    // Yes to the notes' question (the text goes into the document), No to the document's.
    prompt.QueueAnswer(kPromptYes);
    prompt.QueueAnswer(kPromptNo);
    ASSERT_TRUE(app->CloseDocument(doc));
    const auto requests = prompt.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].text.rfind("Save ", 0), 0u);
    EXPECT_NE(requests[0].text.find(": Notes changes?"), std::string::npos);
    EXPECT_EQ(requests[1].text.rfind("Save changes to ", 0), 0u);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(NotesWindows(), 0);  // the windows went with their document
    for (QWidget* w : QApplication::allWidgets()) EXPECT_EQ(qobject_cast<CompoundTextDialog*>(w), nullptr);
    app->MainFrame()->UpdateCommandUI();
    EXPECT_FALSE(notes->isEnabled());
}

}  // namespace

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
