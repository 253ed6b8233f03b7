#pragma once
// Small tables of strings edited in a list control (energy/value pairs of filters, material
// entries, device numbers): moving the data in and out of the rows, and keeping one blank row at
// the end where the user types a new entry. The list itself is behind the RowList interface so
// the rules run without a window; the GUI implements it over its table widget.

#include <map>
#include <string>
#include <vector>

namespace zun {

using RowTexts = std::vector<std::string>;

// The list control as the table functions see it: rows of cells, a column count from the
// header, and the selection mark (the row the keyboard works on; -1 for none).
class RowList {
public:
    virtual ~RowList() = default;
    virtual int RowCount() const = 0;
    virtual int ColumnCount() const = 0;
    virtual std::string CellText(int row, int column) const = 0;
    virtual void SetCellText(int row, int column, const std::string& text) = 0;
    // Inserts a row of empty cells at the position (the end when at the row count).
    virtual void InsertRow(int row) = 0;
    virtual void DeleteRow(int row) = 0;
    virtual void DeleteAllRows() = 0;
    virtual int SelectionMark() const = 0;
    virtual void SetSelectionMark(int row) = 0;
    virtual void SelectRow(int row) = 0;
};

// A list held in memory: what the tests and headless callers use.
class MemoryRowList : public RowList {
public:
    explicit MemoryRowList(int columns) : columns_(columns) {}
    int RowCount() const override { return static_cast<int>(rows_.size()); }
    int ColumnCount() const override { return columns_; }
    std::string CellText(int row, int column) const override;
    void SetCellText(int row, int column, const std::string& text) override;
    void InsertRow(int row) override;
    void DeleteRow(int row) override;
    void DeleteAllRows() override { rows_.clear(); }
    int SelectionMark() const override { return mark_; }
    void SetSelectionMark(int row) override { mark_ = row; }
    void SelectRow(int row) override { selected_ = row; }
    int SelectedRow() const { return selected_; }
    const std::vector<RowTexts>& Rows() const { return rows_; }

private:
    int columns_;
    std::vector<RowTexts> rows_;
    int mark_ = -1;
    int selected_ = -1;
};

// A material entry: a name and its numbers (cells 1 and 2 of the row).
struct MaterialRow {
    std::string name;
    std::vector<double> numbers;
    bool operator==(const MaterialRow&) const = default;
};

// Reads every cell of the row; true when the row is blank (every cell empty or white space).
bool ListGetRowTexts(const RowList& list, int row, RowTexts& texts);
void ListSetRowTexts(RowList& list, int row, const RowTexts& texts);
// The index of the new empty row at the end.
int ListAppendEmptyRow(RowList& list);
// Replaces every row; the selection mark is kept within the new rows.
void ListFillRows(const std::vector<RowTexts>& rows, RowList& list);
// Leaves exactly one blank row at the end of a list that ends in several; the rows removed.
int ListTrimEmptyRows(RowList& list);
// The pairs of cells 0 and 1 of every row that is not blank ("%g"); 0.
int ListReadNumberPairs(const RowList& list, std::map<float, float>& table);
// One record per row that is not blank: 0, or minus the number cells that did not parse (they
// read as 0). A blank number cell is 0 and no failure.
int ListReadRecordRows(const RowList& list, std::vector<MaterialRow>& records);
void ListShowNumberPairs(RowList& list, const std::map<float, float>& table);
void ListShowMaterialRows(RowList& list, const std::vector<MaterialRow>& records);
void ListShowIntRows(RowList& list, const std::vector<std::vector<int>>& records);

}  // namespace zun
