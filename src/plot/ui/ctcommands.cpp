#include "plot/ui/ctcommands.h"

#include "document/zundoc.h"
#include "model/sample.h"
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
}

}  // namespace zun
