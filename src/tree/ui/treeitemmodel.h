#pragma once
// The item model of a document tree: reads the widget-free DisplayTree (each index points at its
// node) and replays the tree's structural edits as row insertions and removals.

#include <QAbstractItemModel>
#include <QHash>
#include <QIcon>

#include "tree/displaytree.h"

namespace zun {

class TreeItemModel : public QAbstractItemModel, public TreeListener {
    Q_OBJECT
public:
    explicit TreeItemModel(DisplayTree& tree, QObject* parent = nullptr);
    ~TreeItemModel() override;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    QModelIndex IndexOf(const TreeNode* node) const;
    static TreeNode* NodeOf(const QModelIndex& index);

    // The picture of an item: its kind and type image with its overlay drawn over it.
    static QIcon ItemIcon(int image, int overlay);

    // TreeListener
    void BeginInsert(const TreeNode* parent, int row, int count) override;
    void EndInsert() override;
    void BeginRemove(const TreeNode* parent, int row, int count) override;
    void EndRemove() override;
    void BeginReset() override;
    void EndReset() override;
    void ItemChanged(const TreeNode* node) override;

private:
    DisplayTree& tree_;
};

}  // namespace zun
