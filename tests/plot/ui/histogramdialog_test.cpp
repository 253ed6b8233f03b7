// The "Histogram" window over a document channel: opening, unit and style radios, the bin-count
// edit, the plot-properties child, export, and closing with the document's modified flag.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <fstream>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "guitest.h"
#include "model/sample.h"
#include "platform/prompt.h"
#include "plot/ui/histogramdialog.h"
#include "plot/ui/plotpropertiesdialog.h"
#include "plot/ui/plotwidget.h"
#include "plot/ui/propertycommands.h"
#include "plot/ui/spinbuttons.h"
#include "tree/treecommandids.h"
#include "tree/ui/treeview.h"

using namespace zun;

namespace {

class HistogramDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::App();
        RegisterDocumentClasses();
        doc.OnNewDocument();
        ASSERT_EQ(doc.ResizeVolume({64, 48, 6}, {0, 0, 0}), 0);
        ZunChan& ch = *doc.GetSample().GetChan(0);
        ch.range = {0.0f, 1.0f};
        // Two overlapping bell curves of values, flag bits on some words.
        imtype* d = ch.Data();
        const std::uint64_t n = ch.GetNumVoxels();
        std::uint32_t state = 12345;
        for (std::uint64_t i = 0; i < n; ++i) {
            int sum = 0;
            for (int k = 0; k < 4; ++k) {
                state = state * 1664525u + 1013904223u;
                sum += static_cast<int>(state >> 22);  // 0..1023
            }
            const int v = (i % 3 == 0 ? 9000 : 4000) + sum - 2048;
            d[i] = static_cast<imtype>(v | (i % 7 == 0 ? 0x8000 : 0));
        }
        doc.SetModifiedFlag(false);
        channel = ch.name;
    }
    std::vector<HistogramSliceEntry> AllSlices() const {
        std::vector<HistogramSliceEntry> s;
        for (int z = 0; z < 6; ++z) s.push_back({channel, z});
        return s;
    }
    static std::filesystem::path Temp() {
        auto dir = std::filesystem::path(ZUN_TEST_BINARY_DIR) / "histogram_ui_tmp";
        std::filesystem::create_directories(dir);
        return dir;
    }

    HeadlessPrompt prompt;
    CZunDoc doc{DocServices{&prompt, nullptr, nullptr}};
    std::string channel;
};

TEST_F(HistogramDialogTest, OpensWithTheChannelsDefaultsAndLeavesAScreenshot) {
    HistogramDialog d(doc, channel + " Histogram", AllSlices());
    ASSERT_TRUE(d.Opened());
    EXPECT_EQ(d.windowTitle().toStdString(), channel + " Histogram");
    EXPECT_EQ(d.binEdit->text(), "16384");
    EXPECT_TRUE(d.styleRadios[1]->isChecked());
    EXPECT_TRUE(d.xRadios[0]->isChecked());
    EXPECT_EQ(d.xRadios[2]->text(), "Physical (0 to 1)");
    EXPECT_FALSE(d.refreshButton->isEnabled());

    // A readable view: 200 bins, physical units, frequencies.
    d.binEdit->setText("200");
    QTest::keyClick(d.binEdit, Qt::Key_Backspace);
    QTest::keyClicks(d.binEdit, "0");
    EXPECT_TRUE(d.refreshButton->isEnabled());
    d.refreshButton->click();
    EXPECT_EQ(d.Model().BinCount(), 200u);
    d.xRadios[2]->click();
    d.yRadios[1]->click();
    EXPECT_EQ(d.GetPlotCtrl()->Control().GetXLabel(), "Volume fraction");
    EXPECT_EQ(d.GetPlotCtrl()->Control().GetYLabel(), "Frequency");
    d.resize(760, 560);
    ASSERT_FALSE(test::SaveScreen(d, "histogram").empty());
    d.styleRadios[0]->click();
    ASSERT_FALSE(test::SaveScreen(d, "histogram_line").empty());

    std::uint64_t sum = 0;
    for (std::uint64_t c : d.Model().Counts()) sum += c;
    EXPECT_EQ(sum, 64u * 48u * 6u);
    d.reject();
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.GetSample().GetChan(0)->histVars.binCount, 200);
    EXPECT_EQ(doc.GetSample().GetChan(0)->histVars.style, HistVars::kLine);
}

TEST_F(HistogramDialogTest, InvalidBinCountIsRefusedAndTheOldOneRestored) {
    HistogramDialog d(doc, "h", AllSlices());
    QStringList messages;
    d.showMessage = [&](const QString& m, QMessageBox::Icon) { messages << m; };
    for (const char* bad : {"0", "20000"}) {
        d.binEdit->clear();
        QTest::keyClicks(d.binEdit, bad);
        d.refreshButton->click();
        EXPECT_EQ(d.binEdit->text(), "16384") << bad;
        EXPECT_FALSE(d.refreshButton->isEnabled());
    }
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0], "Nbins must be an integer between 1 and 16384 inclusive.");
    // A pending bad count typed before a radio is refused there too; the radio still acts.
    d.binEdit->clear();
    QTest::keyClicks(d.binEdit, "x");
    d.closureRadios[3]->click();
    EXPECT_EQ(messages.size(), 3);
    EXPECT_EQ(d.Model().Settings().closure, HistVars::kNoEndBins);
    // The spin steps from the edit's number.
    d.binSpin->DownButton()->click();
    EXPECT_EQ(d.binEdit->text(), "16383");
    d.reject();
}

TEST_F(HistogramDialogTest, PlotPropertiesChildAndExport) {
    HistogramDialog d(doc, "comp", AllSlices());
    d.propertiesButton->click();
    ASSERT_NE(d.PlotProperties(), nullptr);
    EXPECT_EQ(d.PlotProperties()->windowTitle(), "comp Plot Properties");
    EXPECT_FALSE(d.propertiesButton->isEnabled());
    d.PlotProperties()->closeButton->click();
    EXPECT_EQ(d.PlotProperties(), nullptr);
    EXPECT_TRUE(d.propertiesButton->isEnabled());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    const std::string path = (Temp() / "hist.txt").string();
    d.askExportPath = [&] { return QString::fromStdString(path); };
    d.binEdit->setText("4");
    d.refreshButton->setEnabled(true);
    Q_EMIT d.binEdit->textEdited("4");
    d.refreshButton->click();
    d.exportButton->click();
    EXPECT_EQ(doc.textExportFolder, Temp().string());  // the next export starts there
    std::ifstream in(path);
    std::string line;
    std::vector<std::string> lines;
    while (std::getline(in, line)) lines.push_back(line);
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "# comp");
    EXPECT_EQ(lines[1], "# \"Norm Bin Index\"\"Norm Frequency\"");

    QStringList warnings;
    d.showMessage = [&](const QString& m, QMessageBox::Icon icon) {
        if (icon == QMessageBox::Warning) warnings << m;
    };
    const std::string bad = (Temp() / "missing" / "h.txt").string();
    d.askExportPath = [&] { return QString::fromStdString(bad); };
    d.exportButton->click();
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_EQ(warnings[0].toStdString(), "Could not create " + bad);

    // Closing with the child open closes the child first; unchanged settings leave the
    // document unmodified... but the bin count did change here.
    d.propertiesButton->click();
    d.reject();
    EXPECT_EQ(d.PlotProperties(), nullptr);
    EXPECT_TRUE(doc.IsModified());
}

TEST_F(HistogramDialogTest, UnchangedSettingsLeaveTheDocumentUnmodified) {
    {
        HistogramDialog d(doc, "h", AllSlices());
        d.reject();
    }
    doc.SetModifiedFlag(false);
    HistogramDialog d(doc, "h", {{channel, 2}});
    ASSERT_TRUE(d.Opened());
    EXPECT_EQ(d.Model().TotalCount(), 64u * 48u);
    d.reject();
    EXPECT_FALSE(doc.IsModified());
    HistogramDialog none(doc, "h", {{"no such channel", 0}});
    EXPECT_FALSE(none.Opened());
}

}  // namespace

// "Histogram..." of the channel and slice menus: served, enabled by the selection, and opening
// the window over the whole channel or over the selected slices.
TEST_F(HistogramDialogTest, TheTreeMenusOpenTheWindowForChannelsAndSlices) {
    ZunTreeView view(doc);
    RegisterPropertyCommands(view);
    DisplayTree& tree = view.Tree();
    auto selectOnly = [&tree](std::vector<TreeNode*> items) {
        for (TreeNode* n = tree.Root(); n; n = DisplayTree::NextInPreOrder(n)) n->selected = false;
        for (TreeNode* n : items) n->selected = true;
    };
    TreeNode* chan = tree.FindChannel(channel);
    ASSERT_NE(chan, nullptr);
    EXPECT_TRUE(view.Commands().IsServed(treecmd::kHistogramChan));
    EXPECT_TRUE(view.Commands().IsServed(treecmd::kHistogramSlice));

    std::vector<std::pair<std::string, std::uint64_t>> opened;
    auto closeWhenOpen = [&opened] {
        QTimer::singleShot(0, [&opened] {
            auto* d = qobject_cast<HistogramDialog*>(QApplication::activeModalWidget());
            if (!d) return;
            std::uint64_t sum = 0;
            for (std::uint64_t c : d->Model().Counts()) sum += c;
            opened.emplace_back(d->windowTitle().toStdString(), sum);
            test::SaveScreen(*d, "histogram_from_menu");
            d->closeButton->click();
        });
    };
    selectOnly({chan});
    ASSERT_TRUE(view.Commands().IsEnabled(treecmd::kHistogramChan));
    closeWhenOpen();
    ASSERT_TRUE(view.Commands().Execute(treecmd::kHistogramChan));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].first, doc.GetTitle() + ": Channel '" + channel + "' Histogram");
    EXPECT_EQ(opened[0].second, 64u * 48u * 6u);

    // Two slices of the channel count two slices; slices of two channels are refused.
    selectOnly({chan->Child(1), chan->Child(4)});
    ASSERT_TRUE(view.Commands().IsEnabled(treecmd::kHistogramSlice));
    closeWhenOpen();
    ASSERT_TRUE(view.Commands().Execute(treecmd::kHistogramSlice));
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[1].first, doc.GetTitle() + ": Multiple Slice Histogram");
    EXPECT_EQ(opened[1].second, 2u * 64u * 48u);

    doc.InsertChannel(0, 1, "Iron");
    TreeNode* iron = tree.FindChannel("Iron");
    ASSERT_NE(iron, nullptr);
    chan = tree.FindChannel(channel);
    selectOnly({chan->Child(0), iron->Child(0)});
    EXPECT_FALSE(view.Commands().IsEnabled(treecmd::kHistogramSlice));
    selectOnly({chan, iron});
    EXPECT_FALSE(view.Commands().IsEnabled(treecmd::kHistogramChan));
}
