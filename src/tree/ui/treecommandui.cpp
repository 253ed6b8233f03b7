#include "tree/ui/treecommandui.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QMenu>

#include "document/zundoc.h"
#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/progressdialog.h"
#include "tools/ui/chanpropertiesdialog.h"
#include "tools/ui/renamechanneldialog.h"
#include "tools/ui/samplegriddialog.h"

namespace zun {

TreeCommandUi::TreeCommandUi(CZunDoc& doc, QWidget* owner) : doc_(doc), owner_(owner) {}

Prompt& TreeCommandUi::GetPrompt() {
    Prompt* p = doc_.GetPromptSink();
    return p ? *p : fallback_;
}

std::optional<std::string> TreeCommandUi::AskNewChannelName(const std::string& caption,
                                                            const std::string& name) {
    return RunChanPropertiesDialog(caption, name, GetPrompt(), owner_);
}

std::optional<std::string> TreeCommandUi::AskChannelRename(int index) {
    return RunRenameChannelDialog(doc_, index, GetPrompt(), owner_);
}

bool TreeCommandUi::EditSampleGrid(SetupSampleGrid& grid) {
    return RunSampleGridDialog(grid, GetPrompt(), owner_);
}

std::vector<std::string> TreeCommandUi::ChooseFiles(const std::string& title, const std::string& filter,
                                                    bool multiple, bool save) {
    if (chooseFiles) return chooseFiles(title, filter, multiple, save);
    const QString t = QString::fromStdString(title), f = QString::fromStdString(filter);
    std::vector<std::string> out;
    if (save) {
        // A name typed without an extension is saved as the chosen filter says.
        const QString path = GetSaveFileName(owner_, t, QString(), f);
        if (!path.isEmpty()) out.push_back(path.toStdString());
    } else if (multiple) {
        for (const QString& p : QFileDialog::getOpenFileNames(owner_, t, QString(), f))
            out.push_back(p.toStdString());
    } else {
        const QString path = QFileDialog::getOpenFileName(owner_, t, QString(), f);
        if (!path.isEmpty()) out.push_back(path.toStdString());
    }
    return out;
}

void TreeCommandUi::DisplayChanged() {
    if (displayChanged) displayChanged();
}

TreeCommandUi::~TreeCommandUi() = default;

void TreeCommandUi::BeginFileProgress(const std::string& caption) {
    fileProgress_ =
        std::make_unique<ProgressScope>(doc_.GetProgress(), caption, owner_ ? owner_->window() : nullptr);
}

void TreeCommandUi::EndFileProgress() {
    fileProgress_.reset();
}

void TreeCommandUi::SetBusy(bool busy) {
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

namespace {

void Fill(QMenu* menu, const MenuEntries& entries, const std::function<void(int)>& run) {
    for (const MenuEntry& e : entries) {
        switch (e.type) {
            case MenuEntry::kSeparator:
                menu->addSeparator();
                break;
            case MenuEntry::kSubmenu: {
                QMenu* sub = menu->addMenu(QString::fromStdString(e.text));
                Fill(sub, e.children, run);
                // A submenu whose entries are all disabled is greyed as a whole.
                bool any = false;
                for (QAction* a : sub->actions()) any = any || (!a->isSeparator() && a->isEnabled());
                sub->setEnabled(any);
                break;
            }
            case MenuEntry::kCommand: {
                // Menu texts are plain: an "&" in a channel name is no mnemonic.
                QString text = QString::fromStdString(e.text);
                text.replace("&", "&&");
                QAction* a = menu->addAction(text);
                a->setData(e.command);
                a->setEnabled(e.enabled);
                a->setCheckable(e.checkable);
                a->setChecked(e.checked);
                const int id = e.command;
                QObject::connect(a, &QAction::triggered, menu, [run, id] { run(id); });
                break;
            }
        }
    }
}

}  // namespace

QMenu* BuildPopupMenu(const MenuEntries& entries, QWidget* parent, const std::function<void(int)>& run) {
    auto* menu = new QMenu(parent);
    Fill(menu, entries, run);
    return menu;
}

}  // namespace zun
