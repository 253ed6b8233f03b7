#include "tree/treedispatch.h"

#include <algorithm>
#include <filesystem>

#include "document/zundoc.h"
#include "platform/prompt.h"
#include "tools/channelname.h"
#include "tools/samplegrid.h"
#include "tree/treecommandids.h"
#include "tree/treeselection.h"

namespace zun {

using namespace treecmd;

std::string treemsg::ClearBoundaryQuestion(std::size_t count) {
    return std::string("Clear ") + (count == 1 ? "boundary?" : "boundaries?");
}

namespace {

constexpr const char* kImageFilter = "Image files (*.tif *.tiff *.grd *.vod);;All files (*)";
constexpr const char* kTextFilter = "Text files (*.txt);;All files (*)";

// A wait cursor for the length of a scope.
class Busy {
public:
    explicit Busy(TreeCommandHost& host) : host_(host) { host_.SetBusy(true); }
    ~Busy() { host_.SetBusy(false); }
    Busy(const Busy&) = delete;
    Busy& operator=(const Busy&) = delete;

private:
    TreeCommandHost& host_;
};

// A file read or written by a command: the wait cursor and the progress dialog.
class FileBusy {
public:
    FileBusy(TreeCommandHost& host, const std::string& caption) : busy_(host), host_(host) {
        host_.BeginFileProgress(caption);
    }
    ~FileBusy() { host_.EndFileProgress(); }
    FileBusy(const FileBusy&) = delete;
    FileBusy& operator=(const FileBusy&) = delete;

private:
    Busy busy_;
    TreeCommandHost& host_;
};

bool EmptyGrid(const ZunImage& s) {
    const std::vector<int> d = s.GetDims();
    if (d.size() < 3) return true;
    return d[0] == 0 || d[1] == 0 || d[2] == 0;
}

std::vector<std::string> AllChannelNames(const ZunImage& s) {
    std::vector<std::string> names;
    for (int i = 0; i < s.GetChanCount(); ++i) names.push_back(s.GetChan(i)->name);
    return names;
}

}  // namespace

TreeCommands::TreeCommands(DisplayTree& tree, CZunDoc& doc, TreeCommandHost& host)
    : tree_(tree), doc_(doc), host_(host) {
    RegisterOwnCommands();
}

void TreeCommands::Register(int command, Run run, Rule enabled) {
    handlers_[command] = Handler{std::move(run), std::move(enabled)};
}

void TreeCommands::Unregister(int command) {
    handlers_.erase(command);
}

int TreeCommands::ServedNumber(int command) const {
    if (IsAlignsWithEntry(command)) return kAlignsWithPlaceholder;
    if (IsMapDataEntry(command)) return kMapDataPlaceholder;
    return command;
}

void TreeCommands::RegisterBoundaryTool(bool build,
                                        std::function<void(const std::vector<std::string>&)> tool) {
    Register(build ? kBuildBoundary : kTransformBoundary, [this, build, tool = std::move(tool)](int) {
        std::vector<std::string> names;
        for (const TreeNode* b : SelectedBoundaries(tree_)) names.push_back(DisplayTree::GetItemName(b));
        if (names.empty()) return;
        if (EmptyGrid(doc_.GetSample())) {
            Tell(build ? treemsg::kBuildEmptyGrid : treemsg::kTransformEmptyGrid,
                 static_cast<int>(PromptIcon::Error));
            return;
        }
        tool(names);
    });
}

bool TreeCommands::IsServed(int command) const {
    return handlers_.count(ServedNumber(command)) > 0;
}

bool TreeCommands::IsEnabled(int command) const {
    auto it = handlers_.find(ServedNumber(command));
    if (it == handlers_.end()) return false;
    const TreeCommandEnv env = Env();
    // A registered rule decides for the whole submenu; each of its entries keeps its own rule too.
    if (it->second.enabled && !it->second.enabled(env)) return false;
    if (it->second.enabled && ServedNumber(command) == command) return true;
    return TreeEnableRule(command, env).value_or(true);
}

MenuEntries TreeCommands::BuildPopup(TreePopup popup) const {
    MenuEntries entries = PopupEntries(popup);
    TrimPopup(entries, popup, tree_);
    FillChannelSubmenus(entries, tree_);
    const TreeCommandEnv env = Env();
    for (MenuEntry* e : CommandEntries(entries)) {
        e->enabled = IsEnabled(e->command);
        e->checked = TreeCheckedRule(e->command, env).value_or(false);
    }
    return entries;
}

bool TreeCommands::Execute(int command) {
    if (!IsEnabled(command)) return false;
    const int served = ServedNumber(command);
    const int argument = served == kAlignsWithPlaceholder ? command - kAlignsWithFirst
                         : served == kMapDataPlaceholder  ? command - kMapDataFirst
                                                          : 0;
    if (served != command && !doc_.GetSample().IsChanIndex(argument)) {
        Tell(treemsg::kNoChannelFound, static_cast<int>(PromptIcon::Error));
        return true;
    }
    // A copy: the handler may register or unregister commands.
    const Run run = handlers_.at(served).run;
    run(argument);
    return true;
}

Prompt* TreeCommands::GetPrompt() const {
    return doc_.GetPromptSink();
}

void TreeCommands::Tell(const std::string& text, int icon) const {
    if (Prompt* p = GetPrompt()) p->Tell(text, static_cast<PromptIcon>(icon));
}

void TreeCommands::RegisterOwnCommands() {
    // ---- insert channels: first / last of a kind, before / after the selection
    const int firstLast[4][2] = {{kInsertCompFirst, kInsertCompLast},
                                 {kInsertCtFirst, kInsertCtLast},
                                 {kInsertPropFirst, kInsertPropLast},
                                 {kInsertBoundFirst, kInsertBoundLast}};
    const int beforeAfter[4][2] = {{kInsertCompBefore, kInsertCompAfter},
                                   {kInsertCtBefore, kInsertCtAfter},
                                   {kInsertPropBefore, kInsertPropAfter},
                                   {kInsertBoundBefore, kInsertBoundAfter}};
    for (int kind = 0; kind < 4; ++kind) {
        Register(firstLast[kind][0],
                 [this, kind](int) { InsertChannel(kind, doc_.InsertPositionFirst(kind)); });
        Register(firstLast[kind][1],
                 [this, kind](int) { InsertChannel(kind, doc_.InsertPositionLast(kind)); });
        Register(beforeAfter[kind][0], [this, kind](int) { InsertChannelNextTo(kind, true); });
        Register(beforeAfter[kind][1], [this, kind](int) { InsertChannelNextTo(kind, false); });
    }

    // ---- channels
    Register(kDeleteChannels, [this](int) {
        const std::vector<std::string> names = SelectedChannelNames(tree_);
        if (!names.empty()) doc_.DeleteChannels(names, false);
    });
    Register(kRenameChannel, [this](int) { RenameChannel(); });
    Register(kReverseSlicesChan, [this](int) {
        const std::vector<std::string> names = SelectedChannelNames(tree_);
        if (!names.empty()) doc_.ReverseSlices(names);
    });
    Register(kReverseSlicesAll, [this](int) { doc_.ReverseSlices(AllChannelNames(doc_.GetSample())); });
    Register(kImportImagesChan, [this](int) { ImportImages(true); });
    Register(kImportImagesSlice, [this](int) { ImportImages(false); });
    Register(kImportTextChan, [this](int) { ImportText(true); });
    Register(kImportTextSlice, [this](int) { ImportText(false); });
    Register(kExportTextAll, [this](int) { ExportText(0); });
    Register(kExportTextChan, [this](int) { ExportText(1); });
    Register(kExportTextSlice, [this](int) { ExportText(2); });
    Register(kDiscardAll, [this](int) { doc_.DiscardAllImportedImages(); });
    Register(kDiscardChan, [this](int) {
        const std::vector<std::string> names = SelectedChannelNames(tree_);
        if (!names.empty()) doc_.DiscardChannelImportedImages(names);
    });
    Register(kDiscardSlice, [this](int) {
        const std::vector<ChanSliceRecord> records = SelectedSliceRecords(tree_);
        if (!records.empty()) doc_.DiscardSliceImportedImages(records);
    });

    // ---- the document's grid and model commands
    Register(kSetupGrid, [this](int) { SetupGrid(); });
    Register(kAutosizeGrid, [this](int) {
        Busy busy(host_);
        doc_.AutosizeGrid();
    });
    Register(kSubtractModel, [this](int) {
        Busy busy(host_);
        if (doc_.SubtractModelData() < 0)
            Tell(treemsg::kSubtractNothing, static_cast<int>(PromptIcon::Warning));
    });

    // ---- slices
    Register(kInsertSliceBefore, [this](int) { InsertSlices(true); });
    Register(kInsertSliceAfter, [this](int) { InsertSlices(false); });
    Register(kDeleteSlices, [this](int) {
        std::vector<std::uint32_t> numbers;
        for (const ChanSliceRecord& r : SelectedSliceRecords(tree_)) numbers.push_back(r.slice);
        if (!numbers.empty()) doc_.DeleteSlices(numbers);
    });
    Register(kClearSlices, [this](int) {
        const std::vector<ChanSliceRecord> records = SelectedSliceRecords(tree_);
        if (!records.empty()) doc_.ClearSlices(records);
    });

    // ---- display toggles
    Register(kDisplayRoot, [this](int) {
        Busy busy(host_);
        ToggleRootDisplay(tree_);
        AfterDisplayToggle();
    });
    Register(kDisplayChan, [this](int) {
        Busy busy(host_);
        ToggleChannelDisplay(tree_);
        AfterDisplayToggle();
    });
    Register(kDisplaySlice, [this](int) {
        Busy busy(host_);
        ToggleSliceDisplay(tree_);
        AfterDisplayToggle();
    });

    // ---- boundaries
    Register(kClearBoundary, [this](int) { ClearBoundaries(); });
    Register(kActiveBoundary, [this](int) { ToggleActiveBoundary(); });
}

void TreeCommands::InsertChannel(int kind, int position) {
    const std::optional<std::string> name =
        host_.AskNewChannelName(InsertChannelCaption(kind), doc_.GetSample().MakeChanName(kind));
    if (!name) return;
    const int r = doc_.InsertChannel(kind, position, *name);
    // The document refuses an empty name without a word; the user is told why nothing came.
    if (r == -3 && name->empty()) Tell(namemsg::kEmpty, static_cast<int>(PromptIcon::Information));
    if (r == 0 && kind == ZunChan::kXrayCt && ctChannelInserted) {
        const int index = doc_.GetSample().FindChanIndex(*name);
        if (index >= 0) ctChannelInserted(index);
    }
}

void TreeCommands::InsertChannelNextTo(int kind, bool before) {
    // The new channel goes after the reference (-1: first).
    InsertChannel(kind, InsertReferenceIndex(tree_, before) + 1);
}

void TreeCommands::RenameChannel() {
    const TreeNode* first = tree_.FirstSelectedChannel();
    if (!first) return;
    const std::string old = DisplayTree::GetItemName(first);
    const int index = doc_.GetSample().FindChanIndex(old);
    if (index < 0) return;
    const std::optional<std::string> name = host_.AskChannelRename(index);
    if (name && *name != old) doc_.RenameChannel(old, *name);
}

void TreeCommands::InsertSlices(bool before) {
    const std::optional<SliceRun> run = ContiguousSliceSelection(tree_);
    if (!run) {
        Tell(kContiguousSlicesMessage, static_cast<int>(PromptIcon::Information));
        return;
    }
    const auto first = static_cast<int>(before ? run->first : run->first + run->count);
    doc_.InsertSlices(first, static_cast<int>(run->count));
}

void TreeCommands::ImportImages(bool wholeChannel) {
    std::string channel;
    std::vector<int> slices;
    if (wholeChannel) {
        const TreeNode* c = tree_.FirstSelectedChannel();
        if (!c) return;
        if (!doc_.CheckGridForImport()) return;
        channel = DisplayTree::GetItemName(c);
        for (const auto& s : c->children) slices.push_back(s->row);
    } else {
        const std::vector<ChanSliceRecord> records = SelectedSliceRecords(tree_);
        if (records.empty()) return;
        channel = records.front().channel;
        for (const ChanSliceRecord& r : records) slices.push_back(static_cast<int>(r.slice));
    }
    std::vector<std::string> paths = host_.ChooseFiles("Import Image Files", kImageFilter, true, false);
    if (paths.empty()) return;
    // The files fill the slices in the order of their names.
    std::sort(paths.begin(), paths.end());
    const std::filesystem::path folder = std::filesystem::path(paths.front()).parent_path();
    std::vector<std::string> files;
    for (const std::string& p : paths) {
        const std::filesystem::path fp(p);
        files.push_back(fp.parent_path() == folder ? fp.filename().string() : p);
    }
    Busy busy(host_);
    doc_.ImportImageStack(channel, slices, folder.string(), files, ImageImportSettings{});
}

void TreeCommands::ImportText(bool channels) {
    const std::vector<std::string> paths = host_.ChooseFiles("Import Text File", kTextFilter, false, false);
    if (paths.empty()) return;
    FileBusy busy(host_, "Reading " + paths.front());
    if (channels)
        doc_.ImportChannelsFromText(SelectedChannelNames(tree_), paths.front());
    else
        doc_.ImportSlicesFromText(SelectedSliceRecords(tree_), paths.front());
}

void TreeCommands::ExportText(int scope) {
    const std::vector<std::string> paths = host_.ChooseFiles("Export Text File", kTextFilter, false, true);
    if (paths.empty()) return;
    FileBusy busy(host_, "Writing " + paths.front());
    if (scope == 0)
        doc_.ExportTextDocument(paths.front());
    else if (scope == 1)
        doc_.ExportChannelsToText(SelectedChannelNames(tree_), paths.front());
    else
        doc_.ExportSlicesToText(SelectedSliceRecords(tree_), paths.front());
}

void TreeCommands::SetupGrid() {
    SetupSampleGrid grid = SetupSampleGrid::FromDocument(doc_);
    if (!host_.EditSampleGrid(grid)) return;
    Busy busy(host_);
    grid.ApplyTo(doc_);
}

void TreeCommands::ClearBoundaries() {
    std::vector<std::string> names;
    for (const TreeNode* b : SelectedBoundaries(tree_)) names.push_back(DisplayTree::GetItemName(b));
    if (names.empty()) return;
    if (Prompt* p = GetPrompt()) {
        const PromptRequest q{treemsg::ClearBoundaryQuestion(names.size()),
                              {},
                              {},
                              PromptButtons::OkCancel,
                              PromptIcon::Question};
        if (p->Ask(q) == kPromptCancel) return;
    }
    doc_.ClearBoundaries(names);
}

void TreeCommands::ToggleActiveBoundary() {
    const TreeNode* c = tree_.FirstSelectedChannel();
    if (!c) return;
    if (c->spec.active)
        doc_.SetBoundaryActive(false, std::string());
    else
        doc_.SetBoundaryActive(true, DisplayTree::GetItemName(c));
}

void TreeCommands::AfterDisplayToggle() {
    host_.DisplayChanged();
}

}  // namespace zun
