#include "plot/ui/ctcommands.h"

#include <QApplication>
#include <filesystem>

#include "document/zundoc.h"
#include "model/sample.h"
#include "plot/ui/imageimportdialog.h"
#include "plot/ui/tomographypropsdialog.h"
#include "tree/treecommandids.h"
#include "tree/treeselection.h"
#include "tree/ui/treecommandui.h"
#include "tree/ui/treeview.h"

namespace zun {

namespace {
int SelectedChannelIndex(ZunTreeView& view) {
    const std::vector<std::string> names = SelectedChannelNames(view.Tree());
    return names.empty() ? -1 : view.Document().GetSample().FindChanIndex(names.front());
}
// The channel's slices (whole channel) or the selected slices of one channel, through the import
// dialog with the channel's stored options.
void ImportImages(ZunTreeView& view, bool wholeChannel) {
    CZunDoc& doc = view.Document();
    std::string channel;
    std::vector<int> slices;
    if (wholeChannel) {
        const TreeNode* c = view.Tree().FirstSelectedChannel();
        if (!c) return;
        if (!doc.CheckGridForImport()) return;
        channel = DisplayTree::GetItemName(c);
        for (const auto& s : c->children) slices.push_back(s->row);
    } else {
        const std::vector<ChanSliceRecord> records = SelectedSliceRecords(view.Tree());
        if (records.empty()) return;
        channel = records.front().channel;
        for (const ChanSliceRecord& r : records) slices.push_back(static_cast<int>(r.slice));
    }
    const int index = doc.GetSample().FindChanIndex(channel);
    if (index < 0) return;
    // The stack may set the CT range limits only while no slice holds an image, or when it
    // replaces them all.
    bool anyImported = false;
    const ZunChan& c = *doc.GetSample().GetChan(index);
    for (int z = 0; z < c.GetSliceCount(); ++z) anyImported = anyImported || c.GetSlice(z)->imported;
    ImageImportChoice choice = RunImageImportDialog(doc, index, wholeChannel || !anyImported, view.window());
    if (choice.files.empty()) return;
    const std::filesystem::path folder = std::filesystem::path(choice.files.front()).parent_path();
    std::vector<std::string> files;
    for (const std::string& p : choice.files) {
        const std::filesystem::path fp(p);
        files.push_back(fp.parent_path() == folder ? fp.filename().string() : p);
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    doc.ImportImageStack(channel, slices, folder.string(), files, choice.options.ToSettings());
    QApplication::restoreOverrideCursor();
    view.viewport()->update();
}

}  // namespace

void RegisterCtCommands(ZunTreeView& view) {
    TreeCommands& commands = view.Commands();
    commands.Register(treecmd::kXrayCtProperties, [&view](int) {
        const int index = SelectedChannelIndex(view);
        if (index < 0) return;
        CZunDoc& doc = view.Document();
        RunTomographyPropsDialog(
            doc, index, false, view.window(),
            [&view, &doc](const std::string& name) {
                const int i = doc.GetSample().FindChanIndex(name);
                if (auto newName = view.CommandUi().AskChannelRename(i)) doc.RenameChannel(name, *newName);
            },
            [&view](TomographyPropsDialog& dialog) {
                QObject::connect(&view, &ZunTreeView::channelRenamed, &dialog,
                                 [&dialog](const QString& oldName, const QString& newName) {
                                     dialog.RenameChannel(oldName.toStdString(), newName.toStdString());
                                 });
            });
        view.viewport()->update();
    });
    commands.Register(treecmd::kImportImagesChan, [&view](int) { ImportImages(view, true); });
    commands.Register(treecmd::kImportImagesSlice, [&view](int) { ImportImages(view, false); });
}

}  // namespace zun
