#include "foundation/ui/listcontrols.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include "foundation/ui/colorstatic.h"
#include "foundation/ui/inplaceedit.h"
#include "foundation/ui/wheelguard.h"

namespace zun {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QTableWidgetItem* ItemAt(QTableWidget* table, int row, int column) {
    QTableWidgetItem* item = table->item(row, column);
    if (!item) {
        item = new QTableWidgetItem;
        table->setItem(row, column, item);
    }
    return item;
}

// The editor's place over a cell: the cell scrolled into view, clipped at the viewport's right
// edge.
QRect EditorRect(QTableWidget* table, int row, int column) {
    if (row < 0 || row >= table->rowCount() || column < 0 || column >= table->columnCount()) return {};
    const QModelIndex index = table->model()->index(row, column);
    table->scrollTo(index, QAbstractItemView::EnsureVisible);
    QRect r = table->visualRect(index);
    const int viewWidth = table->viewport()->width();
    if (r.left() < 0 || r.left() > viewWidth) {
        QScrollBar* h = table->horizontalScrollBar();
        h->setValue(h->value() + r.left());
        r = table->visualRect(index);
    }
    r.setRight(std::min(r.right(), viewWidth - 1));
    return r;
}

Qt::Alignment ColumnAlignment(QTableWidget* table, int column) {
    const QTableWidgetItem* h = table->horizontalHeaderItem(column);
    const int a = h ? h->textAlignment() : 0;
    if (a & Qt::AlignRight) return Qt::AlignRight;
    if (a & Qt::AlignHCenter) return Qt::AlignHCenter;
    return Qt::AlignLeft;
}

// Paints the grid's cells as their flags say.
class GridDelegate : public QStyledItemDelegate {
public:
    GridDelegate(ListGridWidget* grid) : QStyledItemDelegate(grid), grid_(grid) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const GridCellLook look = GridCellColours(*grid_, index.row(), index.column(), grid_->isEnabled());
        if (look.defaultLook) return;
        option->backgroundBrush =
            look.faceBackground ? grid_->palette().color(QPalette::Button) : ColorFromRef(look.background);
        if (look.text) option->palette.setColor(QPalette::Text, ColorFromRef(*look.text));
    }

private:
    ListGridWidget* grid_;
};

}  // namespace

// ---- row list over a table

int TableRowList::RowCount() const {
    return table_->rowCount();
}

int TableRowList::ColumnCount() const {
    return table_->columnCount();
}

std::string TableRowList::CellText(int row, int column) const {
    const QTableWidgetItem* item = table_->item(row, column);
    return item ? item->text().toStdString() : std::string();
}

void TableRowList::SetCellText(int row, int column, const std::string& text) {
    if (row < 0 || row >= table_->rowCount() || column < 0 || column >= table_->columnCount()) return;
    ItemAt(table_, row, column)->setText(Q(text));
}

void TableRowList::InsertRow(int row) {
    table_->insertRow(row < 0 || row > table_->rowCount() ? table_->rowCount() : row);
}

void TableRowList::DeleteRow(int row) {
    table_->removeRow(row);
}

void TableRowList::DeleteAllRows() {
    table_->setRowCount(0);
}

int TableRowList::SelectionMark() const {
    return table_->currentRow();
}

void TableRowList::SetSelectionMark(int row) {
    table_->setCurrentCell(row, std::max(0, table_->currentColumn()), QItemSelectionModel::NoUpdate);
}

void TableRowList::SelectRow(int row) {
    table_->selectRow(row);
}

InPlaceEdit* ListEditCell(int row, int column, QTableWidget* table) {
    const QRect r = EditorRect(table, row, column);
    if (!r.isValid()) return nullptr;
    const QTableWidgetItem* item = table->item(row, column);
    return new InPlaceEdit(row, column, item ? item->text() : QString(), table, r,
                           ColumnAlignment(table, column));
}

// ---- grid

ListGridWidget::ListGridWidget(QWidget* parent) : QTableWidget(parent) {
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    verticalHeader()->hide();
    setItemDelegate(new GridDelegate(this));
    ScrollAreaTakesWheel(this);
}

std::string ListGridWidget::Text(int row, int listColumn) const {
    const QTableWidgetItem* i = item(row, listColumn);
    return i ? i->text().toStdString() : std::string();
}

bool ListGridWidget::SetText(int row, int listColumn, const std::string& text) {
    if (row < 0 || row >= rowCount() || listColumn < 0 || listColumn >= columnCount()) return false;
    ItemAt(this, row, listColumn)->setText(Q(text));
    return true;
}

bool ListGridWidget::SetHeaderText(int listColumn, const std::string& text) {
    if (listColumn < 0 || listColumn >= columnCount()) return false;
    QTableWidgetItem* h = horizontalHeaderItem(listColumn);
    if (!h) {
        h = new QTableWidgetItem;
        h->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        setHorizontalHeaderItem(listColumn, h);
    }
    h->setText(Q(text));
    return true;
}

bool ListGridWidget::InsertListRow(int row) {
    if (row < 0 || row > rowCount()) return false;
    insertRow(row);
    flags_.insert(flags_.begin() + row, std::nullopt);
    return true;
}

bool ListGridWidget::DeleteListRow(int row) {
    if (row < 0 || row >= rowCount()) return false;
    removeRow(row);
    flags_.erase(flags_.begin() + row);
    return true;
}

bool ListGridWidget::InsertListColumn(int listColumn) {
    if (listColumn < 0 || listColumn > columnCount()) return false;
    insertColumn(listColumn);
    auto* h = new QTableWidgetItem;
    h->setTextAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setHorizontalHeaderItem(listColumn, h);
    return true;
}

bool ListGridWidget::DeleteListColumn(int listColumn) {
    if (listColumn < 0 || listColumn >= columnCount()) return false;
    removeColumn(listColumn);
    return true;
}

int ListGridWidget::ColumnWidth(int listColumn) const {
    return listColumn >= 0 && listColumn < columnCount() ? columnWidth(listColumn) : -1;
}

bool ListGridWidget::SetColumnWidth(int listColumn, int width) {
    if (listColumn < 0 || listColumn >= columnCount()) return false;
    setColumnWidth(listColumn, width);
    return true;
}

int ListGridWidget::MeasureColumn(int listColumn, bool withHeader) const {
    if (listColumn < 0 || listColumn >= columnCount()) return -1;
    const QFontMetrics fm(font());
    const int margin = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1) + 8;
    int w = 0;
    for (int r = 0; r < rowCount(); ++r)
        if (const QTableWidgetItem* i = item(r, listColumn)) w = std::max(w, fm.horizontalAdvance(i->text()));
    if (withHeader)
        if (const QTableWidgetItem* h = horizontalHeaderItem(listColumn)) {
            const int headerMargin = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
            w = std::max(w, QFontMetrics(horizontalHeader()->font()).horizontalAdvance(h->text()) +
                                headerMargin - margin);
        }
    return w + margin;
}

RowFlags* ListGridWidget::Flags(int row) {
    if (row < 0 || row >= static_cast<int>(flags_.size()) || !flags_[static_cast<std::size_t>(row)])
        return nullptr;
    return &*flags_[static_cast<std::size_t>(row)];
}

const RowFlags* ListGridWidget::Flags(int row) const {
    if (row < 0 || row >= static_cast<int>(flags_.size()) || !flags_[static_cast<std::size_t>(row)])
        return nullptr;
    return &*flags_[static_cast<std::size_t>(row)];
}

void ListGridWidget::SetFlags(int row, std::optional<RowFlags> flags) {
    if (row < 0 || row >= static_cast<int>(flags_.size())) return;
    flags_[static_cast<std::size_t>(row)] = std::move(flags);
    viewport()->update();
}

InPlaceEdit* ListGridWidget::GridBeginEdit(int row, int listColumn) {
    InPlaceEdit* e = ListEditCell(row, listColumn, this);
    if (!e) return nullptr;
    connect(e, &InPlaceEdit::editEnded, this, [this](int r, int c, bool cancelled, const QString& text) {
        if (!cancelled) Q_EMIT cellEdited(r, c - 1, text);
    });
    return e;
}

void ListGridWidget::mousePressEvent(QMouseEvent* e) {
    const QModelIndex hit = indexAt(e->position().toPoint());
    const int focused = currentRow();
    if (e->button() != Qt::LeftButton || !hit.isValid()) {
        QTableWidget::mousePressEvent(e);
        return;
    }
    switch (GridClickAction(*this, focused, hit.row(), hit.column())) {
        case GridClick::kEdit:
            setCurrentCell(hit.row(), hit.column());
            GridBeginEdit(hit.row(), hit.column());
            e->accept();
            return;
        default:
            QTableWidget::mousePressEvent(e);
            return;
    }
}

void ListGridWidget::mouseDoubleClickEvent(QMouseEvent* e) {
    const QModelIndex hit = indexAt(e->position().toPoint());
    if (e->button() == Qt::LeftButton && hit.isValid() &&
        GridClickAction(*this, hit.row(), hit.row(), hit.column()) == GridClick::kEdit) {
        setCurrentCell(hit.row(), hit.column());
        GridBeginEdit(hit.row(), hit.column());
        e->accept();
        return;
    }
    QTableWidget::mouseDoubleClickEvent(e);
}

// ---- header check boxes

CheckHeadCtrl::CheckHeadCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    setSectionsClickable(true);
}

int CheckHeadCtrl::ImageOf(int section) const {
    return section >= 0 && section < static_cast<int>(images_.size())
               ? images_[static_cast<std::size_t>(section)]
               : kNoImage;
}

void CheckHeadCtrl::SetImage(int section, int image) {
    if (section < 0) return;
    if (section >= static_cast<int>(images_.size()))
        images_.resize(static_cast<std::size_t>(section) + 1, kNoImage);
    images_[static_cast<std::size_t>(section)] = image;
    viewport()->update();
}

void CheckHeadCtrl::SetBoxes(int sections) {
    images_.assign(static_cast<std::size_t>(std::max(sections, 0)), kUnchecked);
    if (!images_.empty()) images_[0] = kNoImage;
    viewport()->update();
}

void CheckHeadCtrl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    const int image = ImageOf(logicalIndex);
    if (logicalIndex == 0 || image == kNoImage) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    // The box to the left of the title, the title moved right to make room.
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = rect;
    opt.section = logicalIndex;
    opt.text = model()->headerData(logicalIndex, orientation()).toString();
    const int box = style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this);
    painter->save();
    style()->drawControl(QStyle::CE_HeaderSection, &opt, painter, this);
    QStyleOptionButton check;
    check.rect = QRect(rect.left() + 4, rect.center().y() - box / 2, box, box);
    check.state = QStyle::State_Enabled | (image == kChecked ? QStyle::State_On : QStyle::State_Off);
    style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &check, painter, this);
    opt.rect = rect.adjusted(box + 8, 0, 0, 0);
    style()->drawControl(QStyle::CE_HeaderLabel, &opt, painter, this);
    painter->restore();
}

void CheckHeadCtrl::mousePressEvent(QMouseEvent* e) {
    const int section = logicalIndexAt(e->position().toPoint());
    if (section <= 0 || ImageOf(section) == kNoImage) {
        QHeaderView::mousePressEvent(e);
        return;
    }
    const int image = ImageOf(section) != kUnchecked ? kUnchecked : kChecked;
    SetImage(section, image);
    if (callback) callback(section - 1, image == kChecked);
    Q_EMIT headerChecked(section - 1, image == kChecked);
    e->accept();
}

CheckListCtrl::CheckListCtrl(QWidget* parent) : QTableWidget(parent), header_(new CheckHeadCtrl(this)) {
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->hide();
    connect(this, &QTableWidget::itemChanged, this,
            [this](QTableWidgetItem* item) { RowCheckChanged(item); });
}

bool CheckListCtrl::InitHeaderCheckBox() {
    if (initialised_) return true;
    const int count = columnCount();
    setHorizontalHeader(header_);
    header_->SetBoxes(count);
    initialised_ = true;
    return true;
}

void CheckListCtrl::RowCheckChanged(QTableWidgetItem* item) {
    if (!initialised_ || !item || item->column() != 0 || !(item->flags() & Qt::ItemIsUserCheckable)) return;
    bool anyUnchecked = false;
    for (int r = 0; r < rowCount() && !anyUnchecked; ++r) {
        const QTableWidgetItem* i = this->item(r, 0);
        anyUnchecked = i && i->checkState() == Qt::Unchecked;
    }
    header_->SetImage(0, anyUnchecked ? CheckHeadCtrl::kUnchecked : CheckHeadCtrl::kChecked);
}

}  // namespace zun
