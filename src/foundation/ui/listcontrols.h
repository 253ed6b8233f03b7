#pragma once
// The table widgets the dialogs edit small tables in: the row-list and grid adapters over a
// QTableWidget (the rules themselves are in foundation/listtable.h and listgrid.h), opening an
// in-place editor over a cell, the grid widget with read-only cells, and a table with a check
// box per row and check boxes in its header.

#include <functional>
#include <vector>

#include <QHeaderView>
#include <QTableWidget>

#include "foundation/listgrid.h"
#include "foundation/listtable.h"

namespace zun {

class InPlaceEdit;

// A QTableWidget as the table functions see it. The selection mark is the current row.
class TableRowList : public RowList {
public:
    explicit TableRowList(QTableWidget* table) : table_(table) {}
    int RowCount() const override;
    int ColumnCount() const override;
    std::string CellText(int row, int column) const override;
    void SetCellText(int row, int column, const std::string& text) override;
    void InsertRow(int row) override;
    void DeleteRow(int row) override;
    void DeleteAllRows() override;
    int SelectionMark() const override;
    void SetSelectionMark(int row) override;
    void SelectRow(int row) override;

private:
    QTableWidget* table_;
};

// Opens a one-line editor over a cell of the table with the cell's text, aligned as the
// column's header; null when the row or column does not exist. The caller connects editEnded.
InPlaceEdit* ListEditCell(int row, int column, QTableWidget* table);

// A table used as a small spreadsheet: column 0 the row labels, then the data columns, whose
// cells may be read-only (drawn grey). The first click on a row selects it; a click on an
// editable cell of the current row edits it in place.
class ListGridWidget : public QTableWidget, public GridList {
    Q_OBJECT
public:
    explicit ListGridWidget(QWidget* parent = nullptr);

    // GridList
    int RowCount() const override { return rowCount(); }
    int ListColumnCount() const override { return columnCount(); }
    std::string Text(int row, int listColumn) const override;
    bool SetText(int row, int listColumn, const std::string& text) override;
    bool SetHeaderText(int listColumn, const std::string& text) override;
    bool InsertListRow(int row) override;
    bool DeleteListRow(int row) override;
    bool InsertListColumn(int listColumn) override;
    bool DeleteListColumn(int listColumn) override;
    int ColumnWidth(int listColumn) const override;
    bool SetColumnWidth(int listColumn, int width) override;
    int MeasureColumn(int listColumn, bool withHeader) const override;
    RowFlags* Flags(int row) override;
    const RowFlags* Flags(int row) const override;
    void SetFlags(int row, std::optional<RowFlags> flags) override;

    // Opens the editor over a cell (list column); null when there is no such cell.
    InPlaceEdit* GridBeginEdit(int row, int listColumn);

Q_SIGNALS:
    // An edit was committed: the row, the data column and the new text. The owner checks the
    // text and stores it with GridSetCellText.
    void cellEdited(int row, int column, const QString& text);

protected:
    void mousePressEvent(QMouseEvent* e) override;
    // A double click edits an editable cell at once, selected row or not.
    void mouseDoubleClickEvent(QMouseEvent* e) override;

private:
    std::vector<std::optional<RowFlags>> flags_;
};

// The header of a CheckListCtrl: every column but the first carries a check box.
class CheckHeadCtrl : public QHeaderView {
    Q_OBJECT
public:
    enum Image { kNoImage = 0, kUnchecked = 1, kChecked = 2 };
    explicit CheckHeadCtrl(QWidget* parent = nullptr);

    // Called with the data column (header column - 1) and the new state after a click.
    std::function<void(int column, bool checked)> callback;
    int ImageOf(int section) const;
    void SetImage(int section, int image);
    // Section 0 carries the all-rows-checked state but draws no box.
    void SetBoxes(int sections);

Q_SIGNALS:
    void headerChecked(int column, bool checked);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* e) override;

private:
    std::vector<int> images_;
};

// A table with a check box in column 0 of every row and check boxes in its header.
class CheckListCtrl : public QTableWidget {
    Q_OBJECT
public:
    explicit CheckListCtrl(QWidget* parent = nullptr);
    // Once per table, after its columns exist; always true.
    bool InitHeaderCheckBox();
    CheckHeadCtrl* CheckHeader() const { return header_; }
    bool Initialised() const { return initialised_; }

private:
    void RowCheckChanged(QTableWidgetItem* item);
    CheckHeadCtrl* header_;
    bool initialised_ = false;
};

}  // namespace zun
