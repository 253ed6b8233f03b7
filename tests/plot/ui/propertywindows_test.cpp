// The "Channel Information" window from the tree's menu (rename, export) and the "Notes" window
// (save, drop question, close question).

#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "guitest.h"
#include "model/sample.h"
#include "platform/prompt.h"
#include "plot/ui/channelinfodialog.h"
#include "plot/ui/propertycommands.h"
#include "plot/ui/usernotesdialog.h"
#include "tree/treecommandids.h"
#include "tree/ui/treeview.h"

using namespace zun;

namespace {

std::filesystem::path TempDir() {
    auto dir = std::filesystem::path(ZUN_TEST_BINARY_DIR) / "propertywindows_tmp";
    std::filesystem::create_directories(dir);
    return dir;
}

TEST(ChannelInfoWindow, OpensFromTheTreeFollowsRenamesAndExports) {
    test::App();
    RegisterDocumentClasses();
    HeadlessPrompt prompt;
    CZunDoc doc{DocServices{&prompt}};
    doc.OnNewDocument();
    doc.InsertChannel(0, 1, "Iron");
    doc.GetSample().GetChan(1)->note =
        "Imported 20 images from /data/iron\nresolution 16 x 16, 16 bits\n<#@#>Threshold 0.4<#@#>";
    ZunTreeView view(doc);
    RegisterPropertyCommands(view);
    for (TreeNode* n = view.Tree().Root(); n; n = DisplayTree::NextInPreOrder(n)) n->selected = false;
    view.Tree().FindChannel("Iron")->selected = true;

    ASSERT_TRUE(view.Commands().IsEnabled(treecmd::kChannelInformation));
    ASSERT_TRUE(view.Commands().Execute(treecmd::kChannelInformation));
    ChannelInfoDialog* d = view.findChild<ChannelInfoDialog*>();
    ASSERT_NE(d, nullptr);
    QPointer<ChannelInfoDialog> guard(d);
    EXPECT_FALSE(view.Commands().IsEnabled(treecmd::kChannelInformation));  // one at a time
    EXPECT_EQ(d->text->toPlainText().toStdString(),
              "Imported 20 images from /data/iron\nresolution 16 x 16, 16 bits\nThreshold 0.4");
    test::SaveScreen(*d, "channel_information");

    ASSERT_EQ(doc.RenameChannel("Iron", "Steel"), 0);
    EXPECT_TRUE(d->windowTitle().contains("'Steel'"));

    const auto path = TempDir() / "info.txt";
    d->chooseFile = [&](const QString& caption, const QString&) {
        EXPECT_EQ(caption.toStdString(), "Export information for 'Steel'");
        return path.string();
    };
    d->exportButton->click();
    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "Imported 20 images from /data/iron\nresolution 16 x 16, 16 bits\n");
    d->closeButton->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(guard.isNull());
    EXPECT_FALSE(doc.propertyDialogOpen[CZunDoc::kChannelInformationDialog]);
}

TEST(NotesWindow, SavesAsksAndRemembersItsSize) {
    test::App();
    RegisterDocumentClasses();
    HeadlessPrompt prompt;
    CZunDoc doc{DocServices{&prompt}};
    doc.OnNewDocument();
    doc.SetNotes("Sample s1: sandstone core, scanned at 40 and 80 keV.\nDensity checked by weighing.");
    doc.SetModifiedFlag(false);

    QPointer<UserNotesDialog> d = ShowUserNotes(doc, nullptr);
    ASSERT_FALSE(d.isNull());
    EXPECT_EQ(ShowUserNotes(doc, nullptr), d.data());  // one per document
    EXPECT_FALSE(d->saveButton->isEnabled());
    EXPECT_EQ(d->edit->blockCount(), 2);
    test::SaveScreen(*d, "notes");

    d->edit->appendPlainText("Third line.");
    EXPECT_TRUE(d->saveButton->isEnabled());
    d->saveButton->click();
    EXPECT_EQ(
        doc.GetNotes(),
        "Sample s1: sandstone core, scanned at 40 and 80 keV.\nDensity checked by weighing.\nThird line.");
    EXPECT_TRUE(doc.IsModified());
    EXPECT_FALSE(d->saveButton->isEnabled());

    // A dropped file over unsaved typing: the question, and No keeps the typing.
    const auto file = TempDir() / "dropped.txt";
    std::ofstream(file, std::ios::binary) << "from\r\nfile";
    d->edit->appendPlainText("typing");
    prompt.QueueAnswer(kPromptNo);
    d->Drop(QString::fromStdString(file.string()));
    EXPECT_TRUE(d->edit->toPlainText().endsWith("typing"));
    d->Drop(QString::fromStdString(file.string()));  // the queue is empty: Yes
    EXPECT_EQ(d->edit->toPlainText().toStdString(), "from\nfile");

    // Close with unsaved text: Cancel keeps the window, No closes without saving.
    prompt.QueueAnswer(kPromptCancel);
    d->closeButton->click();
    ASSERT_FALSE(d.isNull());
    EXPECT_TRUE(d->isVisible());
    d->resize(700, 450);
    prompt.QueueAnswer(kPromptNo);
    d->closeButton->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(d.isNull());
    EXPECT_EQ(doc.GetNotes().substr(0, 6), "Sample");
    EXPECT_EQ(doc.notesRect[2] - doc.notesRect[0], 700);

    UserNotesDialog* again = ShowUserNotes(doc, nullptr);
    EXPECT_EQ(again->width(), 700);
    EXPECT_EQ(again->height(), 450);
    delete again;
}

}  // namespace
