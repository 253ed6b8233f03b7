#include "view3d/ui/exportcommands.h"

#include <QFileDialog>

#include "document/docmessages.h"
#include "document/zundoc.h"
#include "foundation/pathutil.h"
#include "foundation/ui/progressdialog.h"
#include "platform/progress.h"
#include "tree/rgbatext.h"
#include "tree/sliceexport.h"
#include "tree/treecommandids.h"
#include "tree/treedispatch.h"
#include "view3d/displayfill.h"
#include "view3d/ui/imageexportdialog.h"
#include "view3d/ui/zunview.h"

namespace zun {

void RunSliceImageExport(QWidget* parent, CZunDoc& doc, const DisplayTree& tree, int scope,
                         std::uint32_t viewBackground) {
    ImageExportDialog dialog(parent, doc.imageExportFolder, doc.GetPrompt());
    if (dialog.exec() != QDialog::Accepted) return;
    const ImageExportOptions options = dialog.Options();
    doc.imageExportFolder = options.directory;
    // The progress lets events through: the document stays open until the export ends.
    CZunDoc::LongWork work(doc, "image export");

    SliceExportJob job;
    job.tree = &tree;
    job.sample = &doc.GetSample();
    job.title = doc.GetTitle();
    job.folder = options.directory;
    job.scope = scope;
    job.plane = options.plane;
    job.format = options.format;
    ProgressScope progress(doc.GetProgress(), "Exporting slice images...", parent);
    SliceExportServices services;
    services.prompt = doc.GetPrompt();
    services.frame = doc.GetMainFrame();
    services.document = &doc;
    services.progress = &progress.Dialog();
    if (options.colourMode == 1)
        ExportSliceImagesColour(job, viewBackground, services);
    else
        ExportSliceImagesData(job, options.colourMode == 2 ? 8 : 16, services);
}

void RunDisplayRgbaExport(QWidget* parent, CZunDoc& doc, const DisplayVolume& volume) {
    const QString start = QString::fromStdString(
        (doc.imageExportFolder.empty() ? std::string() : doc.imageExportFolder + "/") + doc.GetTitle());
    const QString path =
        QFileDialog::getSaveFileName(parent, QObject::tr("Export current display RGBA to text file"), start,
                                     QObject::tr("Text files (*.txt);;Any files (*)"));
    if (path.isEmpty()) return;
    std::string file = path.toStdString();
    // The default extension, as the dialog of the other platforms adds it.
    if (GetPathFileName(file).find('.') == std::string::npos) file += ".txt";
    doc.imageExportFolder = GetPathFolder(file);

    const Dims& dims = volume.GetDims();
    const int vx = dims.size() > 0 ? dims[0] : 0, vy = dims.size() > 1 ? dims[1] : 0,
              vz = dims.size() > 2 ? dims[2] : 0;
    ProgressScope progress(doc.GetProgress(), "Exporting the display volume...", parent);
    std::string error;
    const int rc =
        WriteDisplayRgbaText(file, doc.GetTitle(), volume.Data(), vx, vy, vz, &progress.Dialog(), &error);
    if (rc == kRgbaFailed) ReportFileFailures(doc.GetPrompt(), {file}, 1, sliceexport::kReportVerb);
}

void RegisterExportCommands(TreeCommands& commands, CZunDoc& doc, const DisplayTree& tree, QWidget* parent,
                            CZunView* view) {
    auto images = [&doc, &tree, parent, view](int scope) {
        return [&doc, &tree, parent, view, scope](int) {
            // The view may have changed its background since the command was registered.
            RunSliceImageExport(parent, doc, tree, scope, view ? view->Settings().background : 0);
        };
    };
    commands.Register(treecmd::kExportImagesAll, images(kExportDocument));
    commands.Register(treecmd::kExportImagesChan, images(kExportSelectedChannels));
    commands.Register(treecmd::kExportImagesSlice, images(kExportSelectedSlices));
    if (view) {
        commands.Register(treecmd::kExportRgba, [&doc, parent, view](int) {
            RunDisplayRgbaExport(parent, doc, view->GetDisplayVolume());
        });
        // The document's scene and web page come from what this window's view shows, as with
        // the view's own keys.
        commands.Register(treecmd::kExportOsgAll, [view](int) { view->OnExportOsgKey(); });
        commands.Register(treecmd::kExportWebAll, [view](int) { view->ExportWeb3D(); });
    }
}

}  // namespace zun
