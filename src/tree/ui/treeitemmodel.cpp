#include "tree/ui/treeitemmodel.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zun {

namespace {

constexpr int kIconWidth = 22;
constexpr int kIconHeight = 18;

// Kind and channel-type colours of the item pictures.
QColor TypeColour(int type) {
    switch (type) {
        case 1:
            return QColor(40, 110, 210);  // X-ray CT
        case 2:
            return QColor(220, 140, 30);  // property
        case 3:
            return QColor(150, 60, 170);  // boundary
        default:
            return QColor(40, 160, 70);  // composition
    }
}

void DrawBase(QPainter& p, int image) {
    p.setPen(QPen(QColor(60, 60, 60), 1));
    if (image <= 16) {
        // The document: a page with a folded corner.
        QPainterPath page;
        page.moveTo(3.5, 1.5);
        page.lineTo(11.5, 1.5);
        page.lineTo(15.5, 5.5);
        page.lineTo(15.5, 16.5);
        page.lineTo(3.5, 16.5);
        page.closeSubpath();
        p.setBrush(QColor(250, 250, 245));
        p.drawPath(page);
        p.drawLine(QPointF(11.5, 1.5), QPointF(11.5, 5.5));
        p.drawLine(QPointF(11.5, 5.5), QPointF(15.5, 5.5));
        p.setPen(QColor(120, 120, 120));
        for (int y = 8; y <= 14; y += 3) p.drawLine(6, y, 13, y);
        return;
    }
    const bool slice = image >= 25;
    const int type = ((slice ? image - 25 : image - 17) / 2) & 3;
    const QColor c = TypeColour(type);
    if (!slice) {
        // A channel: a stack of three planes.
        for (int k = 2; k >= 0; --k) {
            QPolygonF plane;
            const double y = 4.5 + 4 * k;
            plane << QPointF(5.5, y) << QPointF(14.5, y) << QPointF(17.5, y - 3) << QPointF(8.5, y - 3);
            p.setBrush(c.lighter(100 + 25 * k));
            p.drawPolygon(plane);
        }
        return;
    }
    // A slice: one plane.
    QPolygonF plane;
    plane << QPointF(4.5, 13.5) << QPointF(14.5, 13.5) << QPointF(18.5, 6.5) << QPointF(8.5, 6.5);
    p.setBrush(c.lighter(130));
    p.drawPolygon(plane);
}

void DrawOverlay(QPainter& p, int overlay) {
    const int state = overlay & 7;
    const bool imported = (overlay & 8) != 0;
    p.setRenderHint(QPainter::Antialiasing, true);
    auto dot = [&](QColor fill) {
        p.setPen(QPen(Qt::white, 1));
        p.setBrush(fill);
        p.drawEllipse(QRectF(0.5, 10.5, 7, 7));
    };
    switch (state) {
        case 1:  // data shown
            dot(QColor(20, 170, 40));
            break;
        case 2:  // read-only or error voxels shown without data
            dot(QColor(230, 120, 0));
            break;
        case 3:  // data and overlays
            dot(QColor(20, 170, 40));
            p.setBrush(QColor(230, 120, 0));
            p.drawEllipse(QRectF(3.5, 12.5, 4, 4));
            break;
        case 4:  // the active boundary, hidden
        case 5:  // the active boundary, shown
            p.setPen(QPen(QColor(200, 0, 0), 2));
            p.setBrush(state == 5 ? QColor(20, 170, 40) : Qt::transparent);
            p.drawEllipse(QRectF(1, 11, 6, 6));
            break;
        default:
            break;
    }
    if (imported) {
        // Imported images are kept: a small picture in the top right corner.
        p.setPen(QPen(QColor(40, 40, 40), 1));
        p.setBrush(QColor(255, 230, 120));
        p.drawRect(QRectF(15.5, 0.5, 6, 5));
        p.setPen(QColor(40, 120, 200));
        p.drawLine(QPointF(16.5, 4.5), QPointF(18.5, 2.5));
        p.drawLine(QPointF(18.5, 2.5), QPointF(20.5, 4.5));
    }
}

}  // namespace

TreeItemModel::TreeItemModel(DisplayTree& tree, QObject* parent) : QAbstractItemModel(parent), tree_(tree) {
    tree_.SetListener(this);
}

TreeItemModel::~TreeItemModel() {
    if (tree_.Listener() == this) tree_.SetListener(nullptr);
}

TreeNode* TreeItemModel::NodeOf(const QModelIndex& index) {
    return index.isValid() ? static_cast<TreeNode*>(index.internalPointer()) : nullptr;
}

QModelIndex TreeItemModel::IndexOf(const TreeNode* node) const {
    if (!node) return {};
    return createIndex(node->parent ? node->row : 0, 0, const_cast<TreeNode*>(node));
}

QModelIndex TreeItemModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || row < 0) return {};
    if (!parent.isValid())
        return (row == 0 && tree_.Root()) ? createIndex(0, 0, tree_.Root()) : QModelIndex();
    const TreeNode* p = NodeOf(parent);
    if (row >= p->ChildCount()) return {};
    return createIndex(row, 0, p->Child(row));
}

QModelIndex TreeItemModel::parent(const QModelIndex& child) const {
    const TreeNode* n = NodeOf(child);
    return (n && n->parent) ? IndexOf(n->parent) : QModelIndex();
}

int TreeItemModel::rowCount(const QModelIndex& parent) const {
    if (parent.column() > 0) return 0;
    if (!parent.isValid()) return tree_.Root() ? 1 : 0;
    return NodeOf(parent)->ChildCount();
}

int TreeItemModel::columnCount(const QModelIndex&) const {
    return 1;
}

QIcon TreeItemModel::ItemIcon(int image, int overlay) {
    // Kept for the program's life: pixmaps must not outlive the application object at exit.
    static auto* cache = new QHash<int, QIcon>;
    const int key = image * 64 + overlay;
    auto it = cache->find(key);
    if (it != cache->end()) return *it;
    QPixmap pm(kIconWidth, kIconHeight);
    pm.fill(Qt::transparent);
    {
        QPainter p(&pm);
        DrawBase(p, image);
        DrawOverlay(p, overlay);
    }
    QIcon icon(pm);
    cache->insert(key, icon);
    return icon;
}

QVariant TreeItemModel::data(const QModelIndex& index, int role) const {
    const TreeNode* n = NodeOf(index);
    if (!n) return {};
    switch (role) {
        case Qt::DisplayRole:
            return QString::fromStdString(n->label);
        case Qt::DecorationRole:
            return ItemIcon(ItemImageIndex(n->spec), ItemOverlayIndex(n->spec));
        case Qt::SizeHintRole:
            return QVariant();
        default:
            return {};
    }
}

Qt::ItemFlags TreeItemModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void TreeItemModel::BeginInsert(const TreeNode* parent, int row, int count) {
    beginInsertRows(IndexOf(parent), row, row + count - 1);
}

void TreeItemModel::EndInsert() {
    endInsertRows();
}

void TreeItemModel::BeginRemove(const TreeNode* parent, int row, int count) {
    beginRemoveRows(IndexOf(parent), row, row + count - 1);
}

void TreeItemModel::EndRemove() {
    endRemoveRows();
}

void TreeItemModel::BeginReset() {
    beginResetModel();
}

void TreeItemModel::EndReset() {
    endResetModel();
}

void TreeItemModel::ItemChanged(const TreeNode* node) {
    const QModelIndex i = IndexOf(node);
    Q_EMIT dataChanged(i, i, {Qt::DisplayRole, Qt::DecorationRole});
}

}  // namespace zun
