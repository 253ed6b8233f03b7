#pragma once
// A list control used as a small spreadsheet: list column 0 holds the row labels, data column c
// is list column c + 1, and every data cell can be read-only (one flag per data column, kept
// with the row). The grid functions keep no state of their own; the list is behind GridList so
// they run without a window. Results: 0 success, 1 invalid argument, -1 the list refused.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zun {

using RowFlags = std::vector<bool>;

class GridList {
public:
    virtual ~GridList() = default;
    virtual int RowCount() const = 0;
    virtual int ListColumnCount() const = 0;
    virtual std::string Text(int row, int listColumn) const = 0;
    virtual bool SetText(int row, int listColumn, const std::string& text) = 0;
    virtual bool SetHeaderText(int listColumn, const std::string& text) = 0;
    // An empty row at the position (the end at the row count), without flags.
    virtual bool InsertListRow(int row) = 0;
    virtual bool DeleteListRow(int row) = 0;
    // An empty left-aligned column at the position.
    virtual bool InsertListColumn(int listColumn) = 0;
    virtual bool DeleteListColumn(int listColumn) = 0;
    virtual int ColumnWidth(int listColumn) const = 0;
    virtual bool SetColumnWidth(int listColumn, int width) = 0;
    // The width the column needs for its cells, and with its header included; -1 when unknown.
    virtual int MeasureColumn(int listColumn, bool withHeader) const = 0;
    // The row's flags; null when the row has none.
    virtual RowFlags* Flags(int row) = 0;
    virtual const RowFlags* Flags(int row) const = 0;
    virtual void SetFlags(int row, std::optional<RowFlags> flags) = 0;
};

// A grid in memory, for the tests and headless callers. Widths are the longest text's length.
class MemoryGridList : public GridList {
public:
    int RowCount() const override { return static_cast<int>(rows_.size()); }
    int ListColumnCount() const override { return static_cast<int>(headers_.size()); }
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
    std::string Header(int listColumn) const { return headers_.at(static_cast<std::size_t>(listColumn)); }

private:
    struct Row {
        std::vector<std::string> cells;
        std::optional<RowFlags> flags;
    };
    bool ValidRow(int row) const { return row >= 0 && row < RowCount(); }
    bool ValidColumn(int c) const { return c >= 0 && c < ListColumnCount(); }
    std::vector<Row> rows_;
    std::vector<std::string> headers_;
    std::vector<int> widths_;
};

int GridGetRowCount(const GridList& grid);
void GridFreeRowData(GridList& grid);
// Data column -1 is the label column. Nothing for a negative row.
void GridGetCellText(const GridList& grid, int row, int column, std::string& text);
int GridGetCellFlag(const GridList& grid, int row, int column, bool& readOnly);
// Marks a data cell read-only or editable; the row gets its flags when it has none.
int GridSetCellFlag(GridList& grid, int row, int column, bool readOnly);
int GridIsCellBlank(const GridList& grid, int row, int column, bool& blank);
int GridIsRowBlank(const GridList& grid, int row, bool& blank);
int GridSetColumnCount(GridList& grid, int columns);
int GridSetRowLabel(GridList& grid, int row, const std::string& text, bool autoWidth);
int GridSetColumnHeader(GridList& grid, int column, const std::string& text, bool autoWidth);
int GridSetCellText(GridList& grid, int row, int column, const std::string& text, bool autoWidth);
int GridInsertRows(GridList& grid, int count, int row);
int GridInsertRow(GridList& grid, int row);
int GridInsertColumns(GridList& grid, int count, int column);
int GridInsertColumn(GridList& grid, int column);
int GridDeleteRows(GridList& grid, int count, int row);
int GridDeleteRow(GridList& grid, int row);
int GridDeleteColumns(GridList& grid, int count, int column);
int GridDeleteColumn(GridList& grid, int column);
int GridAutoSizeColumn(GridList& grid, int column);
// The larger of the width the cells need and the width cells and header need; -1 on failure.
int GridGetAutoColumnWidth(const GridList& grid, int column);
// Leaves one blank row at the end of a grid that ends in several.
int GridTrimTrailingRows(GridList& grid);

// How a cell is drawn: background and text colour (0x00BBGGRR); "face" means the window's
// button-face colour. Rows without flags keep the default colours.
struct GridCellLook {
    bool defaultLook = false;
    bool faceBackground = false;
    std::uint32_t background = 0xFFFFFF;
    std::optional<std::uint32_t> text;  // absent: the normal text colour
};
inline constexpr std::uint32_t kGridReadOnlyBackground = 0xDCDCDC;
inline constexpr std::uint32_t kGridDisabledText = 0x969696;
GridCellLook GridCellColours(const GridList& grid, int row, int listColumn, bool enabled);

// What a click on a cell does: the first click on a row only selects it, a later click on an
// editable data cell edits it.
enum class GridClick { kNothing, kSelectRow, kEdit };
GridClick GridClickAction(const GridList& grid, int focusedRow, int row, int listColumn);

}  // namespace zun
