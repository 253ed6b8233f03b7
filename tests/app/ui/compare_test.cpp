// "Compare..." from the File menu over documents saved from the example.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>

#include "app/startup.h"
#include "app/ui/mainframe.h"
#include "app/ui/zunapp.h"
#include "document/zundoc.h"
#include "guitest.h"
#include "platform/prompt.h"

using namespace zun;

TEST(CompareCommand, SavedDocumentsAreComparedVoxelForVoxel) {
    test::TempFolder tmp;
    HeadlessPrompt prompt;
    CZunApp app(CZunApp::Services{&prompt, tmp.File("zun.ini")});
    std::string nextSave;
    app.SetFileChooser(
        [&](const std::string&, const std::string&, bool, const std::string&) { return nextSave; });
    ASSERT_TRUE(app.InitInstance(StartupOptions{}));
    QAction* compare = app.MainFrame()->Action("fileCompare");
    ASSERT_NE(compare, nullptr);

    compare->trigger();  // only the untitled start-up document
    EXPECT_EQ(prompt.Requests().back().text, "Open at least two ZUN documents for comparison");
    ASSERT_TRUE(app.CloseDocument(app.Documents().front()));

    // Two documents read from data files are compared as well.
    const std::string example = std::string(ZUN_SOURCE_DIR) + "/examples/phantom.txt";
    CZunDoc* text = app.OpenDocumentFile(example);
    ASSERT_NE(text, nullptr);
    nextSave = tmp.File("phantom.dat");
    ASSERT_TRUE(app.OnExportBinaryDataFile(text));
    ASSERT_NE(app.OpenDocumentFile(tmp.File("phantom.dat")), nullptr);
    compare->trigger();
    EXPECT_NE(prompt.Requests().back().text.find("\n\nSame\n"), std::string::npos)
        << prompt.Requests().back().text;
    for (CZunDoc* d : app.Documents()) d->SetModifiedFlag(false);
    while (!app.Documents().empty()) ASSERT_TRUE(app.CloseDocument(app.Documents().front()));

    CZunDoc* a = app.OpenDocumentFile(example);
    ASSERT_NE(a, nullptr);
    nextSave = tmp.File("first.zun");
    ASSERT_TRUE(app.OnFileSaveAs(a));
    CZunDoc* b = app.OpenDocumentFile(nextSave);
    ASSERT_EQ(b, a);  // the same file is not opened twice
    std::filesystem::copy_file(tmp.File("first.zun"), tmp.File("second.zun"));
    b = app.OpenDocumentFile(tmp.File("second.zun"));
    ASSERT_NE(b, nullptr);
    ASSERT_NE(b, a);

    compare->trigger();
    const ZunImage& s = a->GetSample();
    const std::string same =
        "Compare first.zun and second.zun\n\nSame\nNumChans = " + std::to_string(s.GetChanCount()) +
        ", Dim = (" + std::to_string(s.nx) + "," + std::to_string(s.ny) + "," + std::to_string(s.nz) + ")\n";
    EXPECT_EQ(prompt.Requests().back().text, same);

    // The error flag of one voxel of the last channel.
    const int last = s.GetChanCount() - 1;
    std::uint16_t* words = b->GetSample().GetChan(last)->Data();
    const std::uint16_t before = words[5];
    words[5] |= 0x8000;
    compare->trigger();
    EXPECT_EQ(prompt.Requests().back().text,
              "Compare first.zun and second.zun\n\nDifferent - Channel " + std::to_string(last) +
                  " image data at position (5) does not match ( " + std::to_string(before) + ", " +
                  std::to_string(before | 0x8000) + ")\n");
    for (CZunDoc* d : app.Documents()) d->SetModifiedFlag(false);
}

int main(int argc, char** argv) {
    QApplication qt(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
