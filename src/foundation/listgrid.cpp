#include "foundation/listgrid.h"

#include <algorithm>

#include "foundation/numformat.h"

namespace zun {

// ---- the grid in memory

std::string MemoryGridList::Text(int row, int listColumn) const {
    if (!ValidRow(row) || !ValidColumn(listColumn)) return {};
    return rows_[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(listColumn)];
}

bool MemoryGridList::SetText(int row, int listColumn, const std::string& text) {
    if (!ValidRow(row) || !ValidColumn(listColumn)) return false;
    rows_[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(listColumn)] = text;
    return true;
}

bool MemoryGridList::SetHeaderText(int listColumn, const std::string& text) {
    if (!ValidColumn(listColumn)) return false;
    headers_[static_cast<std::size_t>(listColumn)] = text;
    return true;
}

bool MemoryGridList::InsertListRow(int row) {
    if (row < 0 || row > RowCount()) return false;
    rows_.insert(rows_.begin() + row, Row{std::vector<std::string>(headers_.size()), std::nullopt});
    return true;
}

bool MemoryGridList::DeleteListRow(int row) {
    if (!ValidRow(row)) return false;
    rows_.erase(rows_.begin() + row);
    return true;
}

bool MemoryGridList::InsertListColumn(int listColumn) {
    if (listColumn < 0 || listColumn > ListColumnCount()) return false;
    headers_.insert(headers_.begin() + listColumn, std::string());
    widths_.insert(widths_.begin() + listColumn, 0);
    for (Row& r : rows_) r.cells.insert(r.cells.begin() + listColumn, std::string());
    return true;
}

bool MemoryGridList::DeleteListColumn(int listColumn) {
    if (!ValidColumn(listColumn)) return false;
    headers_.erase(headers_.begin() + listColumn);
    widths_.erase(widths_.begin() + listColumn);
    for (Row& r : rows_) r.cells.erase(r.cells.begin() + listColumn);
    return true;
}

int MemoryGridList::ColumnWidth(int listColumn) const {
    return ValidColumn(listColumn) ? widths_[static_cast<std::size_t>(listColumn)] : -1;
}

bool MemoryGridList::SetColumnWidth(int listColumn, int width) {
    if (!ValidColumn(listColumn)) return false;
    widths_[static_cast<std::size_t>(listColumn)] = width;
    return true;
}

int MemoryGridList::MeasureColumn(int listColumn, bool withHeader) const {
    if (!ValidColumn(listColumn)) return -1;
    std::size_t w = withHeader ? headers_[static_cast<std::size_t>(listColumn)].size() : 0;
    for (const Row& r : rows_) w = std::max(w, r.cells[static_cast<std::size_t>(listColumn)].size());
    return static_cast<int>(w);
}

RowFlags* MemoryGridList::Flags(int row) {
    if (!ValidRow(row)) return nullptr;
    auto& f = rows_[static_cast<std::size_t>(row)].flags;
    return f ? &*f : nullptr;
}

const RowFlags* MemoryGridList::Flags(int row) const {
    if (!ValidRow(row)) return nullptr;
    const auto& f = rows_[static_cast<std::size_t>(row)].flags;
    return f ? &*f : nullptr;
}

void MemoryGridList::SetFlags(int row, std::optional<RowFlags> flags) {
    if (ValidRow(row)) rows_[static_cast<std::size_t>(row)].flags = std::move(flags);
}

// ---- the grid functions

namespace {
int DataColumns(const GridList& grid) {
    return std::max(0, grid.ListColumnCount() - 1);
}
}  // namespace

int GridGetRowCount(const GridList& grid) {
    return grid.RowCount();
}

void GridFreeRowData(GridList& grid) {
    for (int r = 0; r < grid.RowCount(); ++r) grid.SetFlags(r, std::nullopt);
}

void GridGetCellText(const GridList& grid, int row, int column, std::string& text) {
    if (row < 0 || column < -1) return;
    text = grid.Text(row, column + 1);
}

int GridGetCellFlag(const GridList& grid, int row, int column, bool& readOnly) {
    if (row < 0 || column < 0) return 1;
    const RowFlags* f = grid.Flags(row);
    readOnly = f && static_cast<std::size_t>(column) < f->size() && (*f)[static_cast<std::size_t>(column)];
    return 0;
}

int GridSetCellFlag(GridList& grid, int row, int column, bool readOnly) {
    if (row < 0 || column < 0 || row >= grid.RowCount() || column >= DataColumns(grid)) return 1;
    if (!grid.Flags(row)) grid.SetFlags(row, RowFlags(static_cast<std::size_t>(DataColumns(grid))));
    RowFlags& f = *grid.Flags(row);
    if (f.size() < static_cast<std::size_t>(DataColumns(grid)))
        f.resize(static_cast<std::size_t>(DataColumns(grid)));
    f[static_cast<std::size_t>(column)] = readOnly;
    return 0;
}

int GridIsCellBlank(const GridList& grid, int row, int column, bool& blank) {
    if (row < 0 || column < -1) return 1;
    blank = IsBlankString(grid.Text(row, column + 1));
    return 0;
}

int GridIsRowBlank(const GridList& grid, int row, bool& blank) {
    if (row < 0) return 1;
    blank = true;
    for (int c = 0; c < DataColumns(grid) && blank; ++c) GridIsCellBlank(grid, row, c, blank);
    return 0;
}

int GridSetColumnCount(GridList& grid, int columns) {
    if (columns < 0) return 1;
    const int now = DataColumns(grid);
    if (grid.ListColumnCount() == 0 && !grid.InsertListColumn(0)) return -1;
    if (columns > now) return GridInsertColumns(grid, columns - now, now);
    if (columns < now) return GridDeleteColumns(grid, now - columns, columns);
    return 0;
}

int GridSetRowLabel(GridList& grid, int row, const std::string& text, bool autoWidth) {
    return GridSetCellText(grid, row, -1, text, autoWidth);
}

int GridSetColumnHeader(GridList& grid, int column, const std::string& text, bool autoWidth) {
    if (column < -1) return 1;
    if (!grid.SetHeaderText(column + 1, text)) return -1;
    return autoWidth ? GridAutoSizeColumn(grid, column) : 0;
}

int GridSetCellText(GridList& grid, int row, int column, const std::string& text, bool autoWidth) {
    if (row < 0 || column < -1) return 1;
    if (!grid.SetText(row, column + 1, text)) return -1;
    return autoWidth ? GridAutoSizeColumn(grid, column) : 0;
}

int GridInsertRows(GridList& grid, int count, int row) {
    if (count < 0 || row < 0) return 1;
    row = std::min(row, grid.RowCount());
    for (int i = 0; i < count; ++i) {
        if (!grid.InsertListRow(row + i)) return -1;
        grid.SetFlags(row + i, RowFlags(static_cast<std::size_t>(DataColumns(grid))));
    }
    return 0;
}

int GridInsertRow(GridList& grid, int row) {
    return GridInsertRows(grid, 1, row);
}

int GridInsertColumns(GridList& grid, int count, int column) {
    if (count < 0 || column < 0) return 1;
    column = std::min(column, DataColumns(grid));
    for (int i = 0; i < count; ++i)
        if (!grid.InsertListColumn(column + 1 + i)) return -1;
    for (int r = 0; r < grid.RowCount(); ++r)
        if (RowFlags* f = grid.Flags(r)) {
            const auto at =
                f->begin() + std::min<std::ptrdiff_t>(column, static_cast<std::ptrdiff_t>(f->size()));
            f->insert(at, static_cast<std::size_t>(count), false);
        }
    return 0;
}

int GridInsertColumn(GridList& grid, int column) {
    return GridInsertColumns(grid, 1, column);
}

int GridDeleteRows(GridList& grid, int count, int row) {
    if (count < 0 || row < 0) return 1;
    const int n = std::min(count, std::max(0, grid.RowCount() - row));
    for (int i = 0; i < n; ++i) {
        grid.SetFlags(row, std::nullopt);
        if (!grid.DeleteListRow(row)) return -1;
    }
    return 0;
}

int GridDeleteRow(GridList& grid, int row) {
    return GridDeleteRows(grid, 1, row);
}

int GridDeleteColumns(GridList& grid, int count, int column) {
    if (count < 0 || column < 0) return 1;
    const int n = std::min(count, std::max(0, DataColumns(grid) - column));
    for (int i = 0; i < n; ++i)
        if (!grid.DeleteListColumn(column + 1)) return -1;
    for (int r = 0; r < grid.RowCount(); ++r)
        if (RowFlags* f = grid.Flags(r)) {
            const std::size_t from = std::min(static_cast<std::size_t>(column), f->size());
            const std::size_t to = std::min(from + static_cast<std::size_t>(n), f->size());
            f->erase(f->begin() + static_cast<std::ptrdiff_t>(from),
                     f->begin() + static_cast<std::ptrdiff_t>(to));
        }
    return 0;
}

int GridDeleteColumn(GridList& grid, int column) {
    return GridDeleteColumns(grid, 1, column);
}

int GridAutoSizeColumn(GridList& grid, int column) {
    const int w = GridGetAutoColumnWidth(grid, column);
    if (w < 0) return -1;
    return grid.SetColumnWidth(column + 1, w) ? 0 : -1;
}

int GridGetAutoColumnWidth(const GridList& grid, int column) {
    if (column < -1) return -1;
    const int withHeader = grid.MeasureColumn(column + 1, true);
    const int cells = grid.MeasureColumn(column + 1, false);
    if (withHeader < 0 || cells < 0) return -1;
    return std::max(withHeader, cells);
}

int GridTrimTrailingRows(GridList& grid) {
    while (grid.RowCount() >= 2) {
        bool last = false, before = false;
        GridIsRowBlank(grid, grid.RowCount() - 1, last);
        GridIsRowBlank(grid, grid.RowCount() - 2, before);
        if (!last || !before) break;
        if (GridDeleteRow(grid, grid.RowCount() - 1) != 0) return -1;
    }
    return 0;
}

GridCellLook GridCellColours(const GridList& grid, int row, int listColumn, bool enabled) {
    GridCellLook look;
    if (!grid.Flags(row)) {
        look.defaultLook = true;
        return look;
    }
    if (!enabled) {
        look.faceBackground = true;
        look.text = kGridDisabledText;
        return look;
    }
    if (listColumn == 0) {
        look.faceBackground = true;
        return look;
    }
    bool readOnly = false;
    GridGetCellFlag(grid, row, listColumn - 1, readOnly);
    look.background = readOnly ? kGridReadOnlyBackground : 0xFFFFFF;
    return look;
}

GridClick GridClickAction(const GridList& grid, int focusedRow, int row, int listColumn) {
    if (row < 0 || row >= grid.RowCount() || listColumn < 0 || listColumn >= grid.ListColumnCount())
        return GridClick::kNothing;
    if (row != focusedRow) return GridClick::kSelectRow;
    if (listColumn == 0) return GridClick::kNothing;
    bool readOnly = false;
    GridGetCellFlag(grid, row, listColumn - 1, readOnly);
    return readOnly ? GridClick::kNothing : GridClick::kEdit;
}

}  // namespace zun
