#include "tree/ui/treeview.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QMouseEvent>

#include "document/zundoc.h"
#include "energyopt/ui/energyoptdialog.h"
#include "script/ui/editdatadialog.h"
#include "tools/toolsupport.h"
#include "tools/ui/addboundsheet.h"
#include "tools/ui/channelaligndialog.h"
#include "tools/ui/channelgradientdialog.h"
#include "tools/ui/movingaveragedialog.h"
#include "tools/ui/normaliserangedialog.h"
#include "tools/ui/transbounddialog.h"
#include "tools/ui/valuetoolcommands.h"
#include "tree/treecommandids.h"
#include "tree/treehints.h"
#include "tree/treerecord.h"
#include "tree/treeselection.h"
#include "tree/ui/displaypropsdialog.h"
#include "tree/ui/treecommandui.h"
#include "tree/ui/treeitemmodel.h"

namespace zun {

ZunTreeView::ZunTreeView(CZunDoc& doc, QWidget* parent, const ZunTreeView* copyFrom)
    : QTreeView(parent), doc_(doc) {
    if (copyFrom) {
        tree_.BuildCopy(doc.GetSample(), copyFrom->tree_);
    } else {
        tree_.Build(doc.GetSample(), doc.GetTitle());
        // A document read from a file brings the display state its first window had.
        if (!doc.WindowRecords().empty()) LoadTreeRecord(tree_, doc.WindowRecords().front().tree);
    }
    model_ = new TreeItemModel(tree_, this);
    setModel(model_);
    setHeaderHidden(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformRowHeights(true);
    setIconSize(QSize(22, 18));
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Long labels scroll sideways instead of being cut: the tree column is narrow.
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    if (tree_.ChannelCount() > 0) expand(model_->IndexOf(tree_.Root()));
    namesWidth_ = sizeHintForColumn(0);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { OnSelectionChanged(); });
    doc_.Views().Add(this);

    commandUi_ = std::make_unique<TreeCommandUi>(doc_, this);
    commandUi_->displayChanged = [this] { Q_EMIT displayChanged(kHintDisplayItems); };
    commands_ = std::make_unique<TreeCommands>(tree_, doc_, *commandUi_);
    commands_->Register(treecmd::kEditData, [this](int) { script::RunEditData(doc_, window()); });
    const ValueToolCommands tools =
        MakeValueToolCommands(doc_, this, [this] { return SelectedChannelNames(tree_); });
    commands_->Register(treecmd::kThresholdSegmentation, tools.threshold);
    commands_->Register(treecmd::kSetData, tools.setData);
    commands_->Register(treecmd::kMapDataPlaceholder, tools.mapData);
    RegisterChannelTools();
    commands_->RegisterBoundaryTool(
        true, [this](const std::vector<std::string>& names) { RunBoundaryWizard(doc_, names, window()); });
    commands_->RegisterBoundaryTool(false, [this](const std::vector<std::string>& names) {
        RunTransformBoundary(doc_, names, window());
    });
    // Commands that change the items wait while the items' display dialog is open.
    commands_->displayPropertiesQuery = [this] { return OpenDisplayProperties(*this) != nullptr; };
    for (int id :
         {treecmd::kDisplayPropertiesRoot, treecmd::kDisplayPropertiesChan, treecmd::kDisplayPropertiesSlice})
        commands_->Register(id, [this](int) { ShowDisplayProperties(*this); });
    for (int id : {treecmd::kEnergyPropertiesAll, treecmd::kEnergyPropertiesChan})
        commands_->Register(id, [this](int) { EnergyOpt::RunEnergyOptSheet(doc_, window()); });
}

// The channel tools of the channel popup: alignment, gradient, mirror reflection, moving-volume
// average and value-range normalisation, each over the first selected channel.
void ZunTreeView::RegisterChannelTools() {
    auto selected = [this] {
        const auto names = SelectedChannelNames(tree_);
        return names.empty() ? -1 : doc_.GetSample().FindChanIndex(names.front());
    };
    auto busy = [this] {
        if (!ComputationBusy(doc_)) return false;
        commandUi_->GetPrompt().Tell(kComputationInProgress, PromptIcon::Information);
        return true;
    };
    commands_->Register(treecmd::kAlignsWithPlaceholder, [this, selected, busy](int reference) {
        const int moving = selected();
        if (moving >= 0 && !busy())
            RunChannelAlignDialog(doc_, moving, reference, commandUi_->GetPrompt(), window());
    });
    auto gradientSettings = std::make_shared<GradientSettingsStore>();
    commands_->Register(treecmd::kComputeGradient, [this, selected, busy, gradientSettings](int) {
        const int input = selected();
        if (input >= 0 && !busy())
            RunChannelGradient(doc_, input, *gradientSettings, commandUi_->GetPrompt(), window());
    });
    const std::pair<int, int> mirrors[] = {
        {treecmd::kMirrorX, 1}, {treecmd::kMirrorY, 2}, {treecmd::kMirrorZ, 3}};
    for (const auto& [id, axis] : mirrors)
        commands_->Register(id, [this, busy, axis = axis](int) {
            if (!busy()) StartMirrorStep(doc_, SelectedChannelNames(tree_), axis);
        });
    commands_->Register(treecmd::kMovingAverage, [this, selected](int) {
        const int input = selected();
        if (input >= 0) RunMovingAverageDialog(doc_, input, commandUi_->GetPrompt(), window());
    });
    commands_->Register(treecmd::kNormalizeRange, [this, selected](int) {
        const int input = selected();
        if (input >= 0) RunNormaliseRangeDialog(doc_, input, commandUi_->GetPrompt(), window());
    });
}

ZunTreeView::~ZunTreeView() {
    doc_.Views().Remove(this);
    commands_.reset();
    // The model reads the tree: it goes first, while the tree is still there.
    setModel(nullptr);
    delete model_;
}

void ZunTreeView::OnUpdate(DocView*, unsigned hint, const ChangeHint* hintObject) {
    // The stepped items are still all there: they get their own display back before any goes.
    if (ReshapesTree(hintObject) && !stepping_.Empty()) stepping_.RestoreAndForget();
    const TreeHintResult r = ApplyChangeHint(tree_, hint, hintObject);
    if (r.statusBits & kTreeStatusText) Q_EMIT statusTextChanged(StatusText());
    if (r.statusBits & kTreeStatusValues) Q_EMIT statusValuesChanged();
    if (r.renamed)
        Q_EMIT channelRenamed(QString::fromStdString(r.oldName), QString::fromStdString(r.newName));
    // Stepped items may be gone: the set is dropped, and a run animation over it stops.
    if (r.structureChanged) stepping_.Forget();
    if (r.structureChanged && tree_.ChannelCount() > 0) expand(model_->IndexOf(tree_.Root()));
    viewport()->update();
    const int width = sizeHintForColumn(0);
    const bool wider = width > namesWidth_;
    namesWidth_ = width;
    if (wider) Q_EMIT namesWidened();
}

void ZunTreeView::StoreRecord(TreeRecord& record) const {
    StoreTreeRecord(tree_, record);
}

QString ZunTreeView::StatusText() const {
    return QString::fromStdString(doc_.GetModel().GetStateText());
}

void ZunTreeView::OnSelectionChanged() {
    // The selected bits live in the tree; rebuild them from the widget's selection.
    for (TreeNode* n = tree_.Root(); n; n = DisplayTree::NextInPreOrder(n)) n->selected = false;
    for (const QModelIndex& i : selectionModel()->selectedIndexes())
        if (TreeNode* n = TreeItemModel::NodeOf(i)) n->selected = true;
}

QMenu* ZunTreeView::CreateContextMenu(const TreeNode* item, QWidget* parent) {
    const MenuEntries entries = commands_->BuildPopup(PopupOf(item));
    return BuildPopupMenu(entries, parent ? parent : this, [this](int id) { commands_->Execute(id); });
}

void ZunTreeView::contextMenuEvent(QContextMenuEvent* event) {
    // From the keyboard the menu belongs to the current item, at that item.
    QPoint at = event->pos();
    QModelIndex index = indexAt(at);
    if (event->reason() == QContextMenuEvent::Keyboard) {
        // Without a current item the keyboard's menu is the root's.
        index = currentIndex().isValid() ? currentIndex() : model()->index(0, 0);
        at = visualRect(index).center();
    }
    TreeNode* node = TreeItemModel::NodeOf(index);
    if (!node) return;
    // An unselected item takes the selection over; a selected one keeps the whole selection.
    if (!node->selected) selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    QMenu* menu = CreateContextMenu(node, this);
    menu->exec(viewport()->mapToGlobal(at));
    menu->deleteLater();
}

bool ZunTreeView::OnItemIcon(const QModelIndex& index, const QPoint& pos) const {
    QStyleOptionViewItem opt;
    initViewItemOption(&opt);
    opt.rect = visualRect(index);
    opt.features |= QStyleOptionViewItem::HasDecoration;
    opt.decorationSize = iconSize();
    opt.index = index;
    const QRect icon = style()->subElementRect(QStyle::SE_ItemViewItemDecoration, &opt, this);
    return icon.contains(pos);
}

void ZunTreeView::keyPressEvent(QKeyEvent* event) {
    // Shift+F10 opens the item's menu as the Menu key does, on every platform.
    if (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) {
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, QPoint(), mapToGlobal(QPoint()));
        contextMenuEvent(&menu);
        return;
    }
    QTreeView::keyPressEvent(event);
}

void ZunTreeView::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QModelIndex index = indexAt(pos);
    if (event->button() == Qt::LeftButton && index.isValid() && OnItemIcon(index, pos)) {
        // A click on an item's picture shows or hides it with the rest of the selection.
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::Select);
        const TreeNode* node = TreeItemModel::NodeOf(index);
        const int command = node->IsSlice()     ? treecmd::kDisplaySlice
                            : node->IsChannel() ? treecmd::kDisplayChan
                                                : treecmd::kDisplayRoot;
        commands_->Execute(command);
        return;
    }
    QTreeView::mousePressEvent(event);
}

namespace {
std::vector<ZunTreeView*> TreesOf(CZunDoc& doc) {
    std::vector<ZunTreeView*> trees;
    for (DocView* v : doc.Views().Views())
        if (auto* t = dynamic_cast<ZunTreeView*>(v)) trees.push_back(t);
    return trees;
}
}  // namespace

ZunTreeView* CreateTreeView(CZunDoc& doc, QWidget* parent, const ZunTreeView* copyFrom) {
    const std::vector<ZunTreeView*> trees = TreesOf(doc);
    if (!copyFrom) copyFrom = trees.empty() ? nullptr : trees.front();
    return new ZunTreeView(doc, parent, copyFrom);
}

void StoreTreeRecords(CZunDoc& doc) {
    const std::vector<ZunTreeView*> trees = TreesOf(doc);
    std::vector<WindowRecord>& records = doc.WindowRecords();
    // The 3-D views keep their part of each record; only the tree part is written here.
    if (records.size() < trees.size()) records.resize(trees.size());
    for (std::size_t i = 0; i < trees.size(); ++i) trees[i]->StoreRecord(records[i].tree);
}

}  // namespace zun
