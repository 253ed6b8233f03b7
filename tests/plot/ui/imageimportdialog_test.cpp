// The tree's image import through the import dialog: the options panels, a refused option keeping
// the dialog open, and a TIFF stack imported through the dialog equal to the same import made
// without it.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdlib>
#include <functional>

#include "compute/model.h"
#include "document/docclasses.h"
#include "document/zundoc.h"
#include "guitest.h"
#include "model/sample.h"
#include "platform/prompt.h"
#include "plot/ui/ctcommands.h"
#include "plot/ui/imageimportdialog.h"
#include "tree/treecommandids.h"
#include "tree/ui/treeview.h"

using namespace zun;

namespace {

void OnModal(std::function<void(ImageImportDialog&)> f) {
    QTimer::singleShot(0, [f] {
        auto* d = qobject_cast<ImageImportDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        f(*d);
    });
}

// Two float slices 4 x 3 (values (x + 4y) * (z + 1) / 4).
void WriteStack(const QString& dir) {
    const std::string cmd =
        "/usr/bin/python3 -c \"import sys, numpy as np, tifffile\n"
        "for z in range(2):\n"
        "    tifffile.imwrite(sys.argv[1] + '/f%d.tif' % z, "
        "np.arange(12, dtype=np.float32).reshape(3, 4) * (z + 1) / 4)\" '" +
        dir.toStdString() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
}

struct Document {
    Document() {
        test::App();
        RegisterDocumentClasses();
        doc.OnNewDocument();
        doc.ResizeVolume({4, 3, 2}, {0, 0, 0});
        doc.InsertChannel(1, 1, "ct");
        doc.InsertChannel(0, 1, "comp");
        doc.GetModel().GetParams().ctBeamEnergy[1] = 20.0f;
    }
    HeadlessPrompt prompt;
    CZunDoc doc{DocServices{&prompt}};
};

struct Window : Document {
    Window() {
        view = std::make_unique<ZunTreeView>(doc);
        RegisterCtCommands(*view);
    }
    void Select(const std::string& name) {
        for (TreeNode* n = view->Tree().Root(); n; n = DisplayTree::NextInPreOrder(n)) n->selected = false;
        view->Tree().FindChannel(name)->selected = true;
    }
    std::unique_ptr<ZunTreeView> view;
};

TEST(ImageImportDialog, StackThroughTheDialogEqualsTheHeadlessImport) {
    QTemporaryDir dir;
    WriteStack(dir.path());
    Window w;
    w.Select("ct");
    bool ran = false;
    OnModal([&](ImageImportDialog& d) {
        ran = true;
        ASSERT_NE(d.rescale, nullptr);
        EXPECT_EQ(d.energy->text(), "20");
        EXPECT_FALSE(d.energy->isEnabled());
        EXPECT_TRUE(d.autoGenerate->isChecked());
        EXPECT_FALSE(d.lacZero->isEnabled());
        EXPECT_FALSE(d.note->isVisibleTo(&d));
        EXPECT_FALSE(d.scale->isEnabled());
        d.applyScale->setChecked(true);
        EXPECT_TRUE(d.scale->isEnabled());
        d.scale->setText("2");
        d.retain->setChecked(true);
        d.setDirectory(dir.path());
        // Typed into the name field: selectFile leaves a focused field alone.
        d.findChild<QLineEdit*>("fileNameEdit")->setText("\"f1.tif\" \"f0.tif\"");
        d.resize(900, 620);
        test::SaveScreen(d, "image_import_ct");
        d.accept();
    });
    ASSERT_TRUE(w.view->Commands().Execute(treecmd::kImportImagesChan));
    EXPECT_TRUE(ran);

    Document headless;
    ImageImportSettings s;
    s.keV = 20.0f;
    s.applyScale = true;
    s.scaleFactor = 2.0f;
    s.retain = true;
    ASSERT_EQ(headless.doc.ImportImageStack("ct", {0, 1}, dir.path().toStdString(), {"f0.tif", "f1.tif"}, s),
              2);
    const ZunChan& a = *w.doc.GetSample().FindChan("ct");
    const ZunChan& b = *headless.doc.GetSample().FindChan("ct");
    EXPECT_EQ(a.range, b.range);
    EXPECT_EQ(a.range, (std::vector<float>{0.0f, 11.0f}));  // 11 * 2 / 4 * 2
    EXPECT_EQ(std::vector<imtype>(a.Data(), a.Data() + 24), std::vector<imtype>(b.Data(), b.Data() + 24));
    EXPECT_TRUE(a.applyScale);
    EXPECT_EQ(a.scaleFactor, 2.0f);
    EXPECT_TRUE(a.GetSlice(1)->image);

    // The next import of one slice cannot change the limits any more.
    for (TreeNode* n = w.view->Tree().Root(); n; n = DisplayTree::NextInPreOrder(n)) n->selected = false;
    w.view->Tree().FindChannel("ct")->children.front()->selected = true;
    OnModal([&](ImageImportDialog& d) {
        EXPECT_TRUE(d.note->isVisibleTo(&d));
        EXPECT_FALSE(d.autoGenerate->isEnabled());
        EXPECT_TRUE(d.applyScale->isChecked());  // the channel's stored options
        EXPECT_EQ(d.scale->text(), "2.000000");
        d.reject();
    });
    ASSERT_TRUE(w.view->Commands().Execute(treecmd::kImportImagesSlice));
}

TEST(ImageImportDialog, ARefusedOptionKeepsTheDialogOpen) {
    QTemporaryDir dir;
    WriteStack(dir.path());
    Window w;
    w.Select("comp");
    bool ran = false;
    OnModal([&](ImageImportDialog& d) {
        ran = true;
        EXPECT_EQ(d.rescale, nullptr);
        d.crop->setChecked(true);
        d.cropX->setText("x");
        d.setDirectory(dir.path());
        d.findChild<QLineEdit*>("fileNameEdit")->setText("f0.tif");
        d.resize(760, 520);
        test::SaveScreen(d, "image_import");
        d.accept();
        EXPECT_TRUE(d.isVisible());
        EXPECT_EQ(w.prompt.Requests().back().text, "Invalid X Offset for crop");
        d.cropX->setText("1");
        d.accept();
        EXPECT_FALSE(d.isVisible());
    });
    ASSERT_TRUE(w.view->Commands().Execute(treecmd::kImportImagesChan));
    EXPECT_TRUE(ran);
    EXPECT_EQ(w.doc.GetSample().FindChan("comp")->cropX, 1);
}

}  // namespace
