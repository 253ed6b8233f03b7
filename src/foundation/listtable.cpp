#include "foundation/listtable.h"

#include "foundation/numformat.h"

namespace zun {

std::string MemoryRowList::CellText(int row, int column) const {
    if (row < 0 || row >= RowCount() || column < 0 || column >= columns_) return {};
    return rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)];
}

void MemoryRowList::SetCellText(int row, int column, const std::string& text) {
    if (row < 0 || row >= RowCount() || column < 0 || column >= columns_) return;
    rows_[static_cast<std::size_t>(row)][static_cast<std::size_t>(column)] = text;
}

void MemoryRowList::InsertRow(int row) {
    if (row < 0 || row > RowCount()) row = RowCount();
    rows_.insert(rows_.begin() + row, RowTexts(static_cast<std::size_t>(columns_)));
}

void MemoryRowList::DeleteRow(int row) {
    if (row < 0 || row >= RowCount()) return;
    rows_.erase(rows_.begin() + row);
}

bool ListGetRowTexts(const RowList& list, int row, RowTexts& texts) {
    const int columns = list.ColumnCount();
    texts.assign(static_cast<std::size_t>(columns), std::string());
    bool blank = true;
    for (int c = 0; c < columns; ++c) {
        texts[static_cast<std::size_t>(c)] = list.CellText(row, c);
        if (!IsBlankString(texts[static_cast<std::size_t>(c)])) blank = false;
    }
    return blank;
}

void ListSetRowTexts(RowList& list, int row, const RowTexts& texts) {
    for (std::size_t c = 0; c < texts.size(); ++c) list.SetCellText(row, static_cast<int>(c), texts[c]);
}

int ListAppendEmptyRow(RowList& list) {
    const int row = list.RowCount();
    list.InsertRow(row);
    return row;
}

void ListFillRows(const std::vector<RowTexts>& rows, RowList& list) {
    int mark = list.SelectionMark();
    list.DeleteAllRows();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i);
        if (row == list.RowCount()) list.InsertRow(row);
        ListSetRowTexts(list, row, rows[i]);
    }
    const int count = list.RowCount();
    if (count == 0) return;
    if (mark < 0) mark = 0;
    if (mark >= count) mark = count - 1;
    list.SetSelectionMark(mark);
    list.SelectRow(mark);
}

int ListTrimEmptyRows(RowList& list) {
    int removed = 0;
    RowTexts texts;
    while (list.RowCount() > 1) {
        const int last = list.RowCount() - 1;
        if (!ListGetRowTexts(list, last, texts) || !ListGetRowTexts(list, last - 1, texts)) break;
        list.DeleteRow(last);
        ++removed;
    }
    return removed;
}

int ListReadNumberPairs(const RowList& list, std::map<float, float>& table) {
    table.clear();
    RowTexts texts;
    for (int r = 0; r < list.RowCount(); ++r) {
        if (ListGetRowTexts(list, r, texts)) continue;
        float a = 0, b = 0;
        ScanString(texts.size() > 0 ? texts[0] : std::string(), "%g", &a);
        ScanString(texts.size() > 1 ? texts[1] : std::string(), "%g", &b);
        table[a] = b;
    }
    return 0;
}

int ListReadRecordRows(const RowList& list, std::vector<MaterialRow>& records) {
    records.clear();
    int failures = 0;
    RowTexts texts;
    for (int r = 0; r < list.RowCount(); ++r) {
        if (ListGetRowTexts(list, r, texts)) continue;
        MaterialRow record;
        record.name = texts.empty() ? std::string() : texts[0];
        for (std::size_t c = 1; c < 3 && c < texts.size(); ++c) {
            const std::string cell = IsBlankString(texts[c]) ? "0" : texts[c];
            double v = 0;
            if (ScanString(cell, "%lg", &v) != 0) ++failures;
            record.numbers.push_back(v);
        }
        records.push_back(std::move(record));
    }
    return -failures;
}

void ListShowNumberPairs(RowList& list, const std::map<float, float>& table) {
    std::vector<RowTexts> rows;
    rows.reserve(table.size());
    for (const auto& [a, b] : table) rows.push_back({FormatReal(a, -1, "%g"), FormatReal(b, -1, "%g")});
    ListFillRows(rows, list);
}

void ListShowMaterialRows(RowList& list, const std::vector<MaterialRow>& records) {
    std::vector<RowTexts> rows;
    rows.reserve(records.size());
    for (const MaterialRow& r : records) {
        RowTexts row{r.name};
        for (double v : r.numbers) row.push_back(FormatReal(-1, v, "%g"));
        rows.push_back(std::move(row));
    }
    ListFillRows(rows, list);
}

void ListShowIntRows(RowList& list, const std::vector<std::vector<int>>& records) {
    std::vector<RowTexts> rows;
    rows.reserve(records.size());
    for (const auto& r : records) {
        RowTexts row;
        for (int v : r) row.push_back(FormatInt(v, "%d"));
        rows.push_back(std::move(row));
    }
    ListFillRows(rows, list);
}

}  // namespace zun
