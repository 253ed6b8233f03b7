// The "Statistics Listing" window opened from the tree's slice menu: the rows the tree writes,
// a rejected and an accepted column width, and the saved file.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "guitest.h"
#include "model/sample.h"
#include "platform/prompt.h"
#include "plot/ui/propertycommands.h"
#include "plot/ui/statslistingdialog.h"
#include "tree/treecommandids.h"
#include "tree/ui/treeview.h"

using namespace zun;

namespace {

TEST(StatsListingDialog, ListsRefreshesAndSaves) {
    test::App();
    RegisterDocumentClasses();
    HeadlessPrompt prompt;
    CZunDoc doc{DocServices{&prompt}};
    doc.OnNewDocument();
    ASSERT_EQ(doc.ResizeVolume({8, 8, 3}, {0, 0, 0}), 0);
    doc.InsertChannel(0, 1, "Iron");
    ZunChan& iron = *doc.GetSample().GetChan(1);
    iron.range = {0.0f, 1.0f};
    for (std::uint64_t i = 0; i < iron.GetNumVoxels(); ++i)
        iron.Data()[i] = static_cast<imtype>((i * 97) % 16384);
    ZunTreeView view(doc);
    RegisterPropertyCommands(view);
    TreeNode* ironItem = view.Tree().FindChannel("Iron");
    for (TreeNode* n = view.Tree().Root(); n; n = DisplayTree::NextInPreOrder(n)) n->selected = false;
    for (int z = 0; z < 3; ++z) {
        ironItem->Child(z)->spec.statColumns = DispSpec::kColAve | DispSpec::kColStdev | DispSpec::kColN;
        ironItem->Child(z)->selected = true;
    }
    ASSERT_TRUE(view.Commands().IsEnabled(treecmd::kStatsSlice));

    const auto dir = std::filesystem::path(ZUN_TEST_BINARY_DIR) / "statslisting_ui_tmp";
    std::filesystem::create_directories(dir);
    bool ran = false;
    QTimer::singleShot(0, [&] {
        auto* d = qobject_cast<StatsListingDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        ran = true;
        const QString text = d->text->toPlainText();
        EXPECT_EQ(text.count('\n'), 4) << text.toStdString();  // header and three slices
        EXPECT_TRUE(d->average->isChecked());
        EXPECT_FALSE(d->min->isChecked());
        EXPECT_FALSE(d->refreshButton->isEnabled());

        d->width->setText("12.5");
        d->min->setChecked(true);
        EXPECT_TRUE(d->refreshButton->isEnabled());
        d->refreshButton->click();
        EXPECT_EQ(prompt.Requests().back().text, "Column width must be a positive integer");
        EXPECT_TRUE(d->refreshButton->isEnabled());
        d->width->setText("10");
        d->refreshButton->click();
        EXPECT_FALSE(d->refreshButton->isEnabled());
        EXPECT_NE(d->text->toPlainText(), text);
        EXPECT_TRUE(d->text->toPlainText().contains("Min"));
        test::SaveScreen(*d, "statistics_listing");

        d->chooseFile = [&](const QString& caption) {
            EXPECT_TRUE(caption.startsWith("Save "));
            return (dir / "stats.txt").string();
        };
        d->saveAsButton->click();
        d->closeButton->click();
    });
    ASSERT_TRUE(view.Commands().Execute(treecmd::kStatsSlice));
    EXPECT_TRUE(ran);
    std::ifstream in(dir / "stats.txt", std::ios::binary);
    const std::string saved{std::istreambuf_iterator<char>(in), {}};
    EXPECT_EQ(saved.find('\r'), std::string::npos);
    EXPECT_EQ(std::count(saved.begin(), saved.end(), '\n'), 4);
}

}  // namespace
