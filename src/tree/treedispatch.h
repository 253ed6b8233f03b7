#pragma once
// The command table of a document tree: for each context-menu entry, what it acts on and what it
// calls. The tree's own commands (selection edits, display toggles, boundary and slice commands,
// the document operations it dispatches) are built in; other windows add theirs with Register,
// keyed by the entry's command number, and an entry nobody serves stays in its menu, disabled.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tree/treemenus.h"
#include "tree/treerules.h"

namespace zun {

class CZunDoc;
class Prompt;
class SetupSampleGrid;

// What the commands need of the window: dialogs, file choosers and the 3-D view.
class TreeCommandHost {
public:
    virtual ~TreeCommandHost() = default;
    // "Channel Properties": the name for a channel to be inserted; nothing on Cancel.
    virtual std::optional<std::string> AskNewChannelName(const std::string& caption,
                                                         const std::string& name) = 0;
    // "Rename Channel" over the channel at that index of the sample; nothing on Cancel.
    virtual std::optional<std::string> AskChannelRename(int index) = 0;
    // "Setup Sample Grid": true on OK (the grid then holds the accepted values).
    virtual bool EditSampleGrid(SetupSampleGrid& grid) = 0;
    // Files to read (several when `multiple`) or one file to write; empty when cancelled.
    virtual std::vector<std::string> ChooseFiles(const std::string& title, const std::string& filter,
                                                 bool multiple, bool save) = 0;
    // The display items of the tree changed: the 3-D view of the window redraws.
    virtual void DisplayChanged() = 0;
    // A long operation starts (true) or ends (false): the wait cursor.
    virtual void SetBusy(bool busy) = 0;
    // A file is read or written: the progress dialog with Cancel while it lasts (the document
    // reports to it through its progress sink). Nothing by default.
    virtual void BeginFileProgress(const std::string& caption) { (void)caption; }
    virtual void EndFileProgress() {}
};

class TreeCommands {
public:
    // A handler runs a command; `argument` is the chosen channel's index for the entries of the
    // channel submenus, else 0.
    using Run = std::function<void(int argument)>;
    using Rule = std::function<bool(const TreeCommandEnv&)>;

    TreeCommands(DisplayTree& tree, CZunDoc& doc, TreeCommandHost& host);

    // Serves an entry. Without a rule the entry follows its built-in rule (or is always enabled
    // when it has none); a given rule replaces the built-in one. The submenus "Aligns with" and
    // "Map Channel Data to" are served by registering their placeholder numbers.
    void Register(int command, Run run, Rule enabled = {});
    void Unregister(int command);
    // "Build Boundary..." or "Transform Boundary...": the tool gets the selected boundaries' names
    // once the sample grid is known not to be empty.
    void RegisterBoundaryTool(bool build, std::function<void(const std::vector<std::string>&)> tool);
    bool IsServed(int command) const;

    // The window's own state the rules read: set, or asked of the window when a query is given.
    bool displayPropertiesOpen = false;
    bool runAnimationRunning = false;
    std::function<bool()> displayPropertiesQuery;
    // A new X-ray CT channel inserted from the menus gets its beam settings at once: called with
    // the channel's sample index after each successful insertion.
    std::function<void(int channel)> ctChannelInserted;

    // The popup an item gets, trimmed, with its channel submenus filled and every entry's enabled
    // and checked state set.
    MenuEntries BuildPopup(TreePopup popup) const;
    bool IsEnabled(int command) const;
    // Runs the command when it is served and enabled; false otherwise.
    bool Execute(int command);

    TreeCommandEnv Env() const {
        const bool open = displayPropertiesOpen || (displayPropertiesQuery && displayPropertiesQuery());
        return {tree_, doc_, open, runAnimationRunning};
    }

private:
    void RegisterOwnCommands();
    int ServedNumber(int command) const;
    Prompt* GetPrompt() const;
    void Tell(const std::string& text, int icon) const;

    // Handlers of the tree's own commands.
    void InsertChannel(int kind, int position);
    void InsertChannelNextTo(int kind, bool before);
    void RenameChannel();
    void InsertSlices(bool before);
    void ImportImages(bool wholeChannel);
    void ImportText(bool channels);
    void ExportText(int scope);
    void SetupGrid();
    void ClearBoundaries();
    void ToggleActiveBoundary();
    void AfterDisplayToggle();

    DisplayTree& tree_;
    CZunDoc& doc_;
    TreeCommandHost& host_;
    struct Handler {
        Run run;
        Rule enabled;
    };
    std::map<int, Handler> handlers_;
};

// Messages of the tree's commands.
namespace treemsg {
inline constexpr const char* kNoChannelFound = "No channel found.";
inline constexpr const char* kBuildEmptyGrid = "Failed build boundary: empty sample grid.";
inline constexpr const char* kTransformEmptyGrid = "Failed transform boundary: empty sample grid.";
inline constexpr const char* kSubtractNothing =
    "Nothing to subtract: the document needs its composition and X-ray CT channels and a set-up computation.";
// "Clear boundary?" or "Clear boundaries?".
std::string ClearBoundaryQuestion(std::size_t count);
}  // namespace treemsg

}  // namespace zun
