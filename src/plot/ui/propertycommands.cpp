#include "plot/ui/propertycommands.h"

#include <QApplication>

#include "document/zundoc.h"
#include "foundation/pathutil.h"
#include "model/sample.h"
#include "plot/ui/channelinfodialog.h"
#include "plot/ui/compoundpropsdialog.h"
#include "plot/ui/compoundtextdialog.h"
#include "plot/ui/histogramdialog.h"
#include "plot/ui/plotpropertiesdialog.h"
#include "plot/ui/statslistingdialog.h"
#include "plot/ui/usernotesdialog.h"
#include "plot/ui/xraypropertiesdialog.h"
#include "tree/treecommandids.h"
#include "tree/treeselection.h"
#include "tree/treestats.h"
#include "tree/ui/treecommandui.h"
#include "tree/ui/treeview.h"

namespace zun {

namespace {
// The sample index of the one selected channel item, -1 when there is none.
int SelectedChannelIndex(ZunTreeView& view) {
    const std::vector<std::string> names = SelectedChannelNames(view.Tree());
    return names.empty() ? -1 : view.Document().GetSample().FindChanIndex(names.front());
}
}  // namespace

void RunStatisticsListing(ZunTreeView& view, int command) {
    StatisticsListing listing = MakeStatisticsListing(view.Tree(), command, view.Document().GetTitle());
    DisplayTree& tree = view.Tree();
    StatsListingModel model(
        [&tree, items = listing.items](std::int32_t columns, int width) {
            StatisticsListing l;
            l.items = items;
            l.columns = columns;
            return l.Text(tree, width);
        },
        view.Document().GetPromptSink());
    if (!listing.title.empty()) model.caption = listing.title;
    model.columns = listing.columns;
    StatsListingDialog dialog(model, view.window());
    dialog.exec();
    // Computing the statistics may have relabelled items.
    view.viewport()->update();
}

void CloseDocumentWindows(CZunDoc& doc) {
    std::vector<QWidget*> going;
    for (QWidget* w : QApplication::allWidgets()) {
        auto* notes = qobject_cast<UserNotesDialog*>(w);
        auto* atten = qobject_cast<CompoundTextDialog*>(w);
        auto* info = qobject_cast<ChannelInfoDialog*>(w);
        if ((notes && &notes->Document() == &doc) || (atten && &atten->Document() == &doc) ||
            (info && &info->Document() == &doc))
            going.push_back(w);
    }
    for (QWidget* w : going) delete w;
}

std::vector<HistogramSliceEntry> ChannelHistogramSlices(const ZunImage& sample, const std::string& channel) {
    std::vector<HistogramSliceEntry> slices;
    if (sample.FindChanIndex(channel) < 0) return slices;
    for (int z = 0; z < sample.GetSliceCount(); ++z) slices.push_back({channel, z});
    return slices;
}

void RegisterHistogramCommands(ZunTreeView& view) {
    TreeCommands& commands = view.Commands();
    commands.Register(treecmd::kHistogramChan, [&view](int) {
        const std::vector<std::string> names = SelectedChannelNames(view.Tree());
        if (names.empty()) return;
        CZunDoc& doc = view.Document();
        HistogramDialog::Run(
            doc, StripFileExtension(doc.GetTitle()) + ": Channel '" + names.front() + "' Histogram",
            ChannelHistogramSlices(doc.GetSample(), names.front()), view.window());
    });
    commands.Register(treecmd::kHistogramSlice, [&view](int) {
        const std::vector<ChanSliceRecord> records = SelectedSliceRecords(view.Tree());
        std::vector<HistogramSliceEntry> slices;
        for (const ChanSliceRecord& r : records)
            slices.push_back({r.channel, static_cast<std::int32_t>(r.slice)});
        CZunDoc& doc = view.Document();
        const std::string what = slices.size() == 1
                                     ? "Slice " + std::to_string(slices.front().slice) + " Histogram"
                                     : std::string("Multiple Slice Histogram");
        HistogramDialog::Run(doc, StripFileExtension(doc.GetTitle()) + ": " + what, std::move(slices),
                             view.window());
    });
}

void RegisterAttenuationCommands(ZunTreeView& view) {
    TreeCommands& commands = view.Commands();
    commands.Register(treecmd::kXrayProperties,
                      [&view](int) { RunXrayProperties(view.Document(), view.window()); });
    commands.Register(treecmd::kXrayAttenuationProperties, [&view](int) {
        const std::vector<std::string> names = SelectedChannelNames(view.Tree());
        if (names.empty()) return;
        CZunDoc& doc = view.Document();
        const std::string caption =
            doc.GetTitle() + ": " +
            (names.size() == 1 ? "Channel '" + names.front() + "' X-ray Attenuation Properties"
                               : std::string("Multiple Channel X-ray Attenuation Properties"));
        CompoundTextDialog* dialog = ShowXrayAttenuationProperties(doc, names, caption, view.window());
        if (!dialog) return;
        QObject::connect(&view, &ZunTreeView::channelRenamed, dialog,
                         [dialog](const QString& oldName, const QString& newName) {
                             dialog->RenameChannel(oldName.toStdString(), newName.toStdString());
                         });
    });
}

void RegisterPropertyCommands(ZunTreeView& view) {
    TreeCommands& commands = view.Commands();
    RegisterAttenuationCommands(view);
    RegisterHistogramCommands(view);
    commands.Register(treecmd::kCompositionProperties, [&view](int) {
        const int index = SelectedChannelIndex(view);
        if (index < 0) return;
        CZunDoc& doc = view.Document();
        RunCompoundPropsDialog(doc, index, view.window(), [&view, &doc, index](const std::string& name) {
            if (auto newName = view.CommandUi().AskChannelRename(index)) doc.RenameChannel(name, *newName);
        });
    });
    for (int id : {kStatsListRoot, kStatsListChannels, kStatsListAll, kStatsListSelection,
                   kStatsListChannelSlices, kStatsListChannelAndSlices, kStatsListSlices})
        commands.Register(id, [&view, id](int) { RunStatisticsListing(view, id); });
    commands.Register(treecmd::kChannelInformation, [&view](int) {
        const int index = SelectedChannelIndex(view);
        if (index < 0) return;
        ChannelInfoDialog* dialog = ShowChannelInformation(view.Document(), index, view.window());
        if (!dialog) return;
        QObject::connect(&view, &ZunTreeView::channelRenamed, dialog,
                         [dialog](const QString& oldName, const QString& newName) {
                             dialog->RenameChannel(oldName.toStdString(), newName.toStdString());
                         });
    });
}

}  // namespace zun
