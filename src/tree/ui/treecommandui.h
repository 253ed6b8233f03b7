#pragma once
// The window side of the tree's commands: the name, rename and grid dialogs, file choosers, the
// wait cursor, and the context menus drawn from the command table.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/prompt.h"
#include "tree/treedispatch.h"

class QMenu;
class QWidget;

namespace zun {

class CZunDoc;
class ProgressScope;

class TreeCommandUi : public TreeCommandHost {
public:
    TreeCommandUi(CZunDoc& doc, QWidget* owner);
    ~TreeCommandUi() override;

    // Chooses files; tests and the application may replace the system's file dialog.
    using FileChooser = std::function<std::vector<std::string>(
        const std::string& title, const std::string& filter, bool multiple, bool save)>;
    FileChooser chooseFiles;
    // Told when the display items changed (the window's 3-D view redraws).
    std::function<void()> displayChanged;

    std::optional<std::string> AskNewChannelName(const std::string& caption,
                                                 const std::string& name) override;
    std::optional<std::string> AskChannelRename(int index) override;
    bool EditSampleGrid(SetupSampleGrid& grid) override;
    std::vector<std::string> ChooseFiles(const std::string& title, const std::string& filter, bool multiple,
                                         bool save) override;
    void DisplayChanged() override;
    void SetBusy(bool busy) override;
    void BeginFileProgress(const std::string& caption) override;
    void EndFileProgress() override;

    Prompt& GetPrompt();

private:
    CZunDoc& doc_;
    QWidget* owner_;
    HeadlessPrompt fallback_;  // a document made without a prompt answers the first button
    std::unique_ptr<ProgressScope> fileProgress_;
};

// A menu of the entries, each command entry triggering `run` with its number.
QMenu* BuildPopupMenu(const MenuEntries& entries, QWidget* parent, const std::function<void(int)>& run);

}  // namespace zun
