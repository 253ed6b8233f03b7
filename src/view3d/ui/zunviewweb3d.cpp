// The 3-D view's interactive web page export: what the export needs of the document, the tree and
// the view, the options dialog, progress, and the messages at the end.

#include <QCoreApplication>
#include <QDir>
#include <QMessageBox>
#include <QStandardPaths>

#include <osg/Matrixd>
#include <osg/Quat>

#include <ctime>
#include <filesystem>

#include "app/version.h"
#include "compute/model.h"
#include "document/zundoc.h"
#include "foundation/threadcount.h"
#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/progressdialog.h"
#include "platform/progress.h"
#include "tree/displaytree.h"
#include "view3d/ui/exportweb3ddialog.h"
#include "view3d/ui/zunview.h"
#include "view3d/web3dexport.h"
#include "view3d/web3dtexts.h"

namespace zun {

namespace {

std::string FindTemplateFolder(const std::string& configured) {
    if (!configured.empty()) return configured;
    const QString exe = QCoreApplication::applicationDirPath();
    for (const QString& candidate : {exe + "/template/web3d", exe + "/../share/zun/template/web3d"})
        if (QDir(candidate).exists()) return QDir::cleanPath(candidate).toStdString();
    return (exe + "/template/web3d").toStdString();
}

void Show(QWidget* parent, QMessageBox::Icon icon, const std::string& text) {
    QMessageBox box(icon, QString(), QString::fromStdString(text), QMessageBox::Ok, parent);
    box.exec();
}

}  // namespace

Web3DDocumentFacts CZunView::Web3DFacts() const {
    Web3DDocumentFacts f;
    if (!doc_) return f;
    f.title = doc_->GetTitle();
    f.grid = doc_->GetSample().GetDims();
    const std::vector<double>& v = doc_->GetModel().GetParams().voxelPhysicalSize;
    if (!v.empty()) f.unitMetres = v[0];
    for (std::size_t j = 0; j < 3 && j + 1 < v.size(); ++j) f.voxelSize[j] = v[j + 1];
    if (tree_) {
        for (int c = 0; c < tree_->ChannelCount(); ++c) {
            const TreeNode* node = tree_->Channel(c);
            const DispSpec::Displayed& shown = node->spec.shown;
            if (!(shown.displayItems & DispSpec::kItemData)) continue;
            Web3DChannelColouring colouring;
            colouring.name = DisplayTree::GetItemName(node);
            colouring.colourKind = shown.colourKind;
            colouring.colour = shown.displayColours.empty() ? 0 : shown.displayColours[0];
            f.channels.push_back(colouring);
        }
    }
    f.documentsFolder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation).toStdString();
    f.rememberedFolder = doc_->webExportFolder;
    return f;
}

void CZunView::BuildDefaultWeb3DOptions(Web3DOptions& options) const {
    zun::BuildDefaultWeb3DOptions(options, Web3DFacts());
}

int CZunView::CheckWeb3DExport(Web3DOptions& options, std::string& message, bool rememberedFolder) const {
    Web3DDocumentFacts facts = Web3DFacts();
    // A caller that names a folder (the remote command) gets its page there.
    if (!rememberedFolder) facts.rememberedFolder.clear();
    return zun::CheckWeb3DExport(options, GetVolumeLayer() != nullptr && volume_.Data() != nullptr,
                                 volume_.GetDims(), facts, message);
}

int CZunView::WriteWeb3DPage(Web3DOptions& options, bool showDialog, std::string& message) {
    if (showDialog) {
        bool chosen;
        if (runWeb3DDialog) {
            chosen = runWeb3DDialog(options);
        } else {
            ExportWeb3DDialog dialog(window(), options, [this] { return Web3DFacts(); });
            CenterWindowInMainFrame(&dialog, 0, 0);
            chosen = dialog.exec() == QDialog::Accepted;
        }
        if (doc_) doc_->webExportFolder = options.folder;
        if (!chosen) return kWeb3DDialogCancelled;
    }
    // The progress lets events through: the document stays open until the page is written.
    std::unique_ptr<CZunDoc::LongWork> work;
    if (doc_) work = std::make_unique<CZunDoc::LongWork>(*doc_, "web page export");

    Web3DExportInput in;
    in.volume = reinterpret_cast<const std::uint8_t*>(volume_.Data());
    in.volumeDims = volume_.GetDims();
    in.facts = Web3DFacts();
    if (!GetVolumeLayer()) in.volume = nullptr;
    in.page.sampleGrid = in.facts.grid;
    in.page.voxelSize = in.facts.voxelSize;
    in.page.versionText = GetVersionString("FileDescription") + " - " + GetVersionString("ProductVersion");
    in.page.createDate = Web3DCreateDate(std::time(nullptr));
    if (viewer_) {
        const osg::Matrixd inverse = osg::Matrixd::inverse(viewer_->getCamera()->getViewMatrix());
        const osg::Vec3d eye = inverse.getTrans();
        const osg::Node* scene = viewer_->getSceneData();
        const double radius = scene ? scene->getBound().radius() : 1.0;
        const auto position = Web3DViewpointPosition({eye.x(), eye.y(), eye.z()}, radius);
        in.page.position = position;
    }
    if (manipulator_) {
        double angle = 0;
        osg::Vec3d axis(0, 0, 1);
        manipulator_->getRotation().getRotate(angle, axis);
        in.page.orientation = {axis.x(), axis.y(), axis.z(), angle};
    }
    in.templateFolder = FindTemplateFolder(web3dTemplateFolder);
    in.executable = QCoreApplication::applicationFilePath().toStdString();
    in.installFolder = QCoreApplication::applicationDirPath().toStdString();
    in.writeThumbnail = [this](const std::string& path) { return WriteSnapshot(path); };
    in.threads = TeamThreads();

    WaitCursor wait;
    std::unique_ptr<CProgressBar> progress;
    if (showDialog || isVisible()) {
        progress = std::make_unique<CProgressBar>(this);
        progress->SetText(web3dmsg::kSaving);
        progress->Start();
    }
    in.progress = progress.get();
    return WriteWeb3DFiles(options, in, message);
}

int CZunView::ExportWeb3D() {
    std::string message;
    if (CheckWeb3DExport(web3dOptions_, message, true) != 0) {
        Show(this, QMessageBox::NoIcon, message);
        return -1;
    }
    const int result = WriteWeb3DPage(web3dOptions_, true, message);
    if (result == kWeb3DDialogCancelled) return 0;
    if (result > 1) {
        Show(this, QMessageBox::NoIcon, message);
        return -1;
    }
    if (!message.empty()) Show(this, QMessageBox::Warning, message);
    if (result == kWeb3DSuccess)
        Show(this, QMessageBox::Information, web3dmsg::kSuccess);
    else
        Show(this, QMessageBox::Warning, web3dmsg::kPartial);
    return 0;
}

}  // namespace zun
