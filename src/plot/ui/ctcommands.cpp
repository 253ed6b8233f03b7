#include "plot/ui/ctcommands.h"

#include <filesystem>

#include "document/zundoc.h"
#include "foundation/ui/progressdialog.h"
#include "model/sample.h"
#include "plot/ui/imageimportdialog.h"
#include "plot/ui/importpropsdialog.h"
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
    {
        // Cancel puts every slice back as it was.
        ProgressScope progress(doc.GetProgress(), "Importing " + channel, view.window());
        doc.ImportImageStack(channel, slices, folder.string(), files, choice.options.ToSettings());
    }
    view.viewport()->update();
}

// The channels (scope 0: all of the sample, 1: the selected) or the selected slices (2).
std::vector<ImageItem*> ImportItems(ZunTreeView& view, int scope) {
    ZunImage& sample = view.Document().GetSample();
    std::vector<ImageItem*> items;
    if (scope == 0) {
        for (int i = 0; i < sample.GetChanCount(); ++i) items.push_back(sample.GetChan(i));
    } else if (scope == 1) {
        for (const std::string& n : SelectedChannelNames(view.Tree()))
            if (ZunChan* c = sample.FindChan(n)) items.push_back(c);
    } else {
        for (const ChanSliceRecord& r : SelectedSliceRecords(view.Tree())) {
            ZunChan* c = sample.FindChan(r.channel);
            if (c && static_cast<int>(r.slice) < c->GetSliceCount())
                items.push_back(c->GetSlice(static_cast<int>(r.slice)));
        }
    }
    return items;
}

// "X-ray CT Properties" over one CT channel; a new channel's dialog applies even unedited.
void RunCtProperties(ZunTreeView& view, int index, bool newChannel) {
    CZunDoc& doc = view.Document();
    RunTomographyPropsDialog(
        doc, index, newChannel, view.window(),
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
}

}  // namespace

void RegisterCtCommands(ZunTreeView& view) {
    TreeCommands& commands = view.Commands();
    commands.Register(treecmd::kXrayCtProperties, [&view](int) {
        const int index = SelectedChannelIndex(view);
        if (index >= 0) RunCtProperties(view, index, false);
    });
    commands.ctChannelInserted = [&view](int index) { RunCtProperties(view, index, true); };
    commands.Register(treecmd::kImportImagesChan, [&view](int) { ImportImages(view, true); });
    commands.Register(treecmd::kImportImagesSlice, [&view](int) { ImportImages(view, false); });
    const std::pair<int, int> imported[] = {{treecmd::kImportedPropertiesAll, 0},
                                            {treecmd::kImportedPropertiesChan, 1},
                                            {treecmd::kImportedPropertiesSlice, 2}};
    for (auto [id, scope] : imported) {
        commands.Register(id, [&view, scope = scope](int) {
            ImportPropsDialog* d =
                ShowImportProperties(view.Document(), ImportItems(view, scope), view.window());
            if (d) d->Model().title = view.Document().GetTitle() + ": Import Properties";
            if (d) d->setWindowTitle(QString::fromStdString(d->Model().title));
        });
    }
}

}  // namespace zun
