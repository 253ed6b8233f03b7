#include "app/ui/viewcommands.h"

#include <QFileInfo>

#include "app/ui/childframe.h"
#include "app/ui/zunapp.h"
#include "document/docmessages.h"
#include "document/zundoc.h"
#include "foundation/pathutil.h"
#include "foundation/ui/dialoghelpers.h"
#include "platform/prompt.h"
#include "tree/treecommandids.h"
#include "tree/treeselection.h"
#include "tree/ui/treeview.h"
#include "view3d/ui/selectionexport.h"
#include "view3d/ui/zunview.h"
#include "view3d/updatehints.h"
#include "view3d/viewmessages.h"
#include "view3d/viewsettings.h"

namespace zun {

namespace {
CZunView* ViewOf(CChildFrame& frame) {
    return qobject_cast<CZunView*>(frame.ViewPane());
}
ZunTreeView* TreeOf(CChildFrame& frame) {
    return qobject_cast<ZunTreeView*>(frame.TreePane());
}
}  // namespace

ViewCommandState QueryViewCommands(CChildFrame* frame) {
    ViewCommandState s;
    if (!frame) return s;
    if (CZunView* view = ViewOf(*frame)) {
        s.hasView = true;
        s.axesShown = view->Settings().axesShown;
        s.boxShown = (view->Settings().boundingBoxFlags & kBoxShown) != 0;
    }
    if (ZunTreeView* tree = TreeOf(*frame)) {
        s.hasTree = true;
        s.colourScheme = tree->Tree().viewOption;
    }
    return s;
}

void SaveViewSnapshot(CZunApp& app, CChildFrame& frame) {
    CZunView* view = ViewOf(frame);
    if (!view) return;
    CZunDoc& doc = frame.Document();
    std::string path =
        app.ChooseFile(viewmsg::kSaveSnapshotTitle, viewmsg::kSnapshotFilters, true, doc.imageExportFolder);
    if (path.empty()) return;
    if (QFileInfo(QString::fromStdString(path)).suffix().isEmpty()) path += ".jpg";
    doc.imageExportFolder = QFileInfo(QString::fromStdString(path)).absolutePath().toStdString();
    if (!view->WriteSnapshot(path)) app.GetPrompt().Tell(viewmsg::kErrorWriting + path, PromptIcon::Warning);
}

void ToggleViewAxes(CChildFrame& frame) {
    if (CZunView* view = ViewOf(frame)) view->OnViewAxes();
}

void ToggleViewBoundingBox(CChildFrame& frame) {
    if (CZunView* view = ViewOf(frame))
        view->ApplyBoundingBoxFlags(view->Settings().boundingBoxFlags ^ kBoxShown);
}

void ChooseViewBackground(CChildFrame& frame) {
    if (CZunView* view = ViewOf(frame)) view->OnSetBackgroundColour();
}

bool SetViewColourScheme(CChildFrame& frame, int scheme) {
    ZunTreeView* tree = TreeOf(frame);
    if (!tree || scheme < viewcmd::kRgb || scheme > viewcmd::kRybPaint || tree->Tree().viewOption == scheme)
        return false;
    WaitCursor wait;
    tree->Tree().viewOption = scheme;
    // The scheme is stored with the document's window records: a change is one to keep.
    frame.Document().SetModifiedFlag(true);
    if (CZunView* view = ViewOf(frame)) view->OnUpdate(nullptr, kUpdateColours, nullptr);
    return true;
}

namespace {
void ExportSelectionOsg(ZunTreeView& tree, CZunView& view, const SliceSelection& keep) {
    CZunApp* app = CZunApp::Instance();
    if (!app) return;
    CZunDoc& doc = tree.Document();
    std::string path =
        app->ChooseFile(viewmsg::kSaveOsgTitle, viewmsg::kOsgFilters, true, doc.sceneExportFolder);
    if (path.empty()) return;
    // The dialog adds the chosen filter's extension; a name without one is written as the
    // dialog's first filter says.
    if (QFileInfo(QString::fromStdString(path)).suffix().isEmpty())
        path += "." + FilterSuffix(QString(viewmsg::kOsgFilters).section(";;", 0, 0)).toStdString();
    doc.sceneExportFolder = GetPathFolder(path);
    std::vector<std::string> errors;
    int result = 0;
    {
        WaitCursor wait;
        result = ExportSelectionToOsg(view, tree.Tree(), keep, path, errors);
    }
    if (result == 2)
        app->GetPrompt().Tell(errors.front(), PromptIcon::Warning);
    else if (result != 0)
        ReportFileFailures(&app->GetPrompt(), FileFailures(errors), 1, "export");
    else
        app->GetPrompt().Tell(viewmsg::kSavedAt + path);
}
}  // namespace

void RegisterSelectionOsgExports(ZunTreeView& tree, CZunView& view) {
    tree.Commands().Register(treecmd::kExportOsgChan, [&tree, &view](int) {
        ExportSelectionOsg(tree, view,
                           SelectChannels(tree.Document().GetSample(), SelectedChannelNames(tree.Tree())));
    });
    tree.Commands().Register(treecmd::kExportOsgSlice, [&tree, &view](int) {
        ExportSelectionOsg(tree, view,
                           SelectSlices(tree.Document().GetSample(), SelectedSliceRecords(tree.Tree())));
    });
}

}  // namespace zun
