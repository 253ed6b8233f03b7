// The "Imported Image Properties" window from the tree: one at a time, edits through its fields,
// OK refusing an unreadable field and Cancel putting the records back.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdlib>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "guitest.h"
#include "model/sample.h"
#include "model/slice.h"
#include "platform/prompt.h"
#include "plot/ui/ctcommands.h"
#include "plot/ui/importpropsdialog.h"
#include "tree/treecommandids.h"
#include "tree/ui/treeview.h"

using namespace zun;

namespace {

TEST(ImportPropsDialog, OpensOnceEditsAndCancels) {
    QTemporaryDir dir;
    const std::string cmd =
        "/usr/bin/python3 -c \"import sys, numpy as np, tifffile\n"
        "tifffile.imwrite(sys.argv[1] + '/i0.tif', np.arange(12, dtype=np.uint16).reshape(3, 4))\" '" +
        dir.path().toStdString() + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    test::App();
    RegisterDocumentClasses();
    HeadlessPrompt prompt;
    CZunDoc doc{DocServices{&prompt}};
    doc.OnNewDocument();
    doc.SetTitle("phantom.zun");
    doc.ResizeVolume({4, 3, 1}, {0, 0, 0});
    doc.InsertChannel(0, 1, "c");
    ImageImportSettings s;
    s.retain = true;
    ASSERT_EQ(doc.ImportImageStack("c", {0}, dir.path().toStdString(), {"i0.tif"}, s), 1);
    ZunTreeView view(doc);
    RegisterCtCommands(view);
    for (TreeNode* n = view.Tree().Root(); n; n = DisplayTree::NextInPreOrder(n)) n->selected = false;
    view.Tree().FindChannel("c")->selected = true;

    ASSERT_TRUE(view.Commands().Execute(treecmd::kImportedPropertiesChan));
    auto* d = view.window()->findChild<ImportPropsDialog*>();
    ASSERT_NE(d, nullptr);
    EXPECT_TRUE(doc.propertyDialogOpen[CZunDoc::kImportedImageDialog]);
    EXPECT_FALSE(view.Commands().IsEnabled(treecmd::kImportedPropertiesChan));
    EXPECT_EQ(d->resolution->text(), "4x3");
    EXPECT_EQ(d->format->text(), "16");
    EXPECT_FALSE(d->restoreButton->isEnabled());
    d->fields[ImportPropsModel::kPositionX]->setText("2");
    Q_EMIT d->fields[ImportPropsModel::kPositionX]->editingFinished();
    EXPECT_EQ(doc.GetSample().FindChan("c")->GetSlice(0)->import->position[0], 2);
    EXPECT_TRUE(d->restoreButton->isEnabled());
    test::SaveScreen(*d, "import_properties");

    d->fields[ImportPropsModel::kCropRangeX]->setText("-1");
    d->okButton->click();
    EXPECT_EQ(prompt.Requests().back().text, "Invalid value for X Crop Range");
    EXPECT_TRUE(d->isVisible());
    d->cancelButton->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(doc.GetSample().FindChan("c")->GetSlice(0)->import->position[0], 0);
    EXPECT_FALSE(doc.propertyDialogOpen[CZunDoc::kImportedImageDialog]);
}

}  // namespace
