#pragma once
// The document tree of a document window: the left pane of the child frame. It builds its tree
// from the document (or restores the tree stored with it), follows the document's change hints
// and keeps the selected state of the items in the widget-free tree, which the commands read.

#include <QTreeView>

class QMenu;
#include <memory>

#include "document/changehints.h"
#include "document/dispspec.h"
#include "tree/displaytree.h"
#include "tree/slicestepping.h"
#include "tree/treedispatch.h"
#include "tree/treemenus.h"

namespace zun {

class CZunDoc;
class TreeCommandUi;
class TreeItemModel;

class ZunTreeView : public QTreeView, public DocView {
    Q_OBJECT
public:
    // copyFrom: another window's tree of the same document, whose display state a new window
    // takes over.
    explicit ZunTreeView(CZunDoc& doc, QWidget* parent = nullptr, const ZunTreeView* copyFrom = nullptr);
    ~ZunTreeView() override;

    DisplayTree& Tree() { return tree_; }
    const DisplayTree& Tree() const { return tree_; }
    TreeItemModel* ItemModel() const { return model_; }
    CZunDoc& Document() const { return doc_; }

    void OnUpdate(DocView* sender, unsigned hint, const ChangeHint* hintObject) override;
    // The tree's record for the document file.
    void StoreRecord(TreeRecord& record) const;
    // The computation state text for the frame's first status pane.
    QString StatusText() const;

    // The context-menu commands; other windows register theirs here by command number.
    TreeCommands& Commands() { return *commands_; }
    TreeCommandUi& CommandUi() { return *commandUi_; }
    // The slices stepped through by the run animation, the 3-D view and its control panel.
    SliceStepping& Stepping() { return stepping_; }
    RefreshQueue& RefreshRequests() { return refreshQueue_; }
    // The context menu of an item as it would open now (the item's popup for the current
    // selection); the caller owns the menu.
    QMenu* CreateContextMenu(const TreeNode* item, QWidget* parent = nullptr);

Q_SIGNALS:
    void statusTextChanged(const QString& text);
    void statusValuesChanged();
    void channelRenamed(const QString& oldName, const QString& newName);
    // The items' display changed: the window's 3-D view redraws.
    void displayChanged(unsigned hint);
    // The longest name grew (a computation adds statistics to the names): the window's column
    // follows it as it did on opening.
    void namesWidened();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void RegisterChannelTools();
    void OnSelectionChanged();
    bool OnItemIcon(const QModelIndex& index, const QPoint& pos) const;

    CZunDoc& doc_;
    DisplayTree tree_;
    SliceStepping stepping_{tree_};
    RefreshQueue refreshQueue_;
    TreeItemModel* model_ = nullptr;
    std::unique_ptr<TreeCommandUi> commandUi_;
    std::unique_ptr<TreeCommands> commands_;
    int namesWidth_ = 0;
};

// The tree pane of a document window. A further window on a document that has a tree already
// takes over the display state of `copyFrom` (the window it was made from), else of the first.
ZunTreeView* CreateTreeView(CZunDoc& doc, QWidget* parent, const ZunTreeView* copyFrom = nullptr);

// Puts the display state of every tree of the document into the document's window records, in the
// order the windows were opened, before the document is written.
void StoreTreeRecords(CZunDoc& doc);

}  // namespace zun
