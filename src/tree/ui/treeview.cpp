#include "tree/ui/treeview.h"

#include <QHeaderView>
#include <QItemSelectionModel>

#include "document/zundoc.h"
#include "tree/treehints.h"
#include "tree/treerecord.h"
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
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { OnSelectionChanged(); });
    doc_.Views().Add(this);
}

ZunTreeView::~ZunTreeView() {
    doc_.Views().Remove(this);
    // The model reads the tree: it goes first, while the tree is still there.
    setModel(nullptr);
    delete model_;
}

void ZunTreeView::OnUpdate(DocView*, unsigned hint, const ChangeHint* hintObject) {
    const TreeHintResult r = ApplyChangeHint(tree_, hint, hintObject);
    if (r.statusBits & kTreeStatusText) Q_EMIT statusTextChanged(StatusText());
    if (r.statusBits & kTreeStatusValues) Q_EMIT statusValuesChanged();
    if (r.renamed)
        Q_EMIT channelRenamed(QString::fromStdString(r.oldName), QString::fromStdString(r.newName));
    if (r.structureChanged && tree_.ChannelCount() > 0) expand(model_->IndexOf(tree_.Root()));
    viewport()->update();
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

namespace {
std::vector<ZunTreeView*> TreesOf(CZunDoc& doc) {
    std::vector<ZunTreeView*> trees;
    for (DocView* v : doc.Views().Views())
        if (auto* t = dynamic_cast<ZunTreeView*>(v)) trees.push_back(t);
    return trees;
}
}  // namespace

ZunTreeView* CreateTreeView(CZunDoc& doc, QWidget* parent) {
    const std::vector<ZunTreeView*> trees = TreesOf(doc);
    return new ZunTreeView(doc, parent, trees.empty() ? nullptr : trees.front());
}

void StoreTreeRecords(CZunDoc& doc) {
    const std::vector<ZunTreeView*> trees = TreesOf(doc);
    std::vector<WindowRecord>& records = doc.WindowRecords();
    // The 3-D views keep their part of each record; only the tree part is written here.
    if (records.size() < trees.size()) records.resize(trees.size());
    for (std::size_t i = 0; i < trees.size(); ++i) trees[i]->StoreRecord(records[i].tree);
}

}  // namespace zun
