#include "foundation/listtable.h"

#include <gtest/gtest.h>

#include "foundation/listgrid.h"

namespace zun {
namespace {

MemoryRowList ListOf(int columns, const std::vector<RowTexts>& rows) {
    MemoryRowList l(columns);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        l.InsertRow(static_cast<int>(r));
        ListSetRowTexts(l, static_cast<int>(r), rows[r]);
    }
    return l;
}

TEST(ListTable, FillKeepsTheSelectionMarkInsideTheRows) {
    const std::vector<RowTexts> rows{{"1", "2"}, {"3", "4"}, {"5", "6"}};
    struct Case {
        int mark, selected;
    };
    for (Case c : {Case{5, 2}, Case{-1, 0}, Case{1, 1}}) {
        MemoryRowList l(2);
        l.SetSelectionMark(c.mark);
        ListFillRows(rows, l);
        EXPECT_EQ(l.Rows(), rows);
        EXPECT_EQ(l.SelectionMark(), c.selected) << c.mark;
        EXPECT_EQ(l.SelectedRow(), c.selected) << c.mark;
    }
    // Nothing to select in an empty list.
    MemoryRowList empty(2);
    empty.SetSelectionMark(3);
    ListFillRows({}, empty);
    EXPECT_EQ(empty.RowCount(), 0);
    EXPECT_EQ(empty.SelectedRow(), -1);
}

TEST(ListTable, TrimLeavesOneBlankRowAtTheEnd) {
    MemoryRowList l = ListOf(2, {{"data", "1"}, {"", " "}, {"\t", ""}, {"", ""}});
    EXPECT_EQ(ListTrimEmptyRows(l), 2);
    EXPECT_EQ(l.RowCount(), 2);
    EXPECT_EQ(l.CellText(0, 0), "data");
    // A single blank row, or a table ending in data, is left alone.
    MemoryRowList one = ListOf(2, {{"", ""}});
    EXPECT_EQ(ListTrimEmptyRows(one), 0);
    EXPECT_EQ(one.RowCount(), 1);
    MemoryRowList full = ListOf(2, {{"", ""}, {"", ""}, {"x", ""}});
    EXPECT_EQ(ListTrimEmptyRows(full), 0);
    EXPECT_EQ(ListAppendEmptyRow(full), 3);
    RowTexts texts;
    EXPECT_TRUE(ListGetRowTexts(full, 3, texts));
    EXPECT_FALSE(ListGetRowTexts(full, 2, texts));
}

TEST(ListTable, RecordRowsCountCellsThatAreNoNumbers) {
    MemoryRowList l = ListOf(3, {{"water", "", "abc"}, {"", "", ""}, {"iron", "7.87", "2e1"}});
    std::vector<MaterialRow> records{{"old", {1}}};
    EXPECT_EQ(ListReadRecordRows(l, records), -1);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], (MaterialRow{"water", {0, 0}}));
    EXPECT_EQ(records[1], (MaterialRow{"iron", {7.87, 20}}));

    MemoryRowList shown(3);
    ListShowMaterialRows(shown, records);
    EXPECT_EQ(shown.Rows(), (std::vector<RowTexts>{{"water", "0", "0"}, {"iron", "7.87", "20"}}));
}

TEST(ListTable, NumberPairsAndIntegersRoundTrip) {
    const std::map<float, float> table{{10.5f, 0.25f}, {100, 1e-7f}, {20, 3}};
    MemoryRowList l(2);
    ListShowNumberPairs(l, table);
    EXPECT_EQ(l.Rows(), (std::vector<RowTexts>{{"10.5", "0.25"}, {"20", "3"}, {"100", "1e-07"}}));
    ListAppendEmptyRow(l);
    std::map<float, float> back{{1, 1}};
    EXPECT_EQ(ListReadNumberPairs(l, back), 0);
    EXPECT_EQ(back, table);

    MemoryRowList ints(3);
    ListShowIntRows(ints, {{1, -2, 3}, {40, 0, 7}});
    EXPECT_EQ(ints.Rows(), (std::vector<RowTexts>{{"1", "-2", "3"}, {"40", "0", "7"}}));
}

// ---- the grid

MemoryGridList GridOf(int dataColumns, int rows) {
    MemoryGridList g;
    EXPECT_EQ(GridSetColumnCount(g, dataColumns), 0);
    EXPECT_EQ(GridInsertRows(g, rows, 0), 0);
    return g;
}

TEST(ListGrid, ColumnCountKeepsEveryRowsFlagsInStep) {
    MemoryGridList g = GridOf(3, 2);
    EXPECT_EQ(g.ListColumnCount(), 4);
    ASSERT_EQ(GridSetCellFlag(g, 1, 2, true), 0);
    EXPECT_EQ(GridSetColumnCount(g, 5), 0);
    EXPECT_EQ(g.ListColumnCount(), 6);
    for (int r = 0; r < 2; ++r) {
        ASSERT_NE(g.Flags(r), nullptr);
        EXPECT_EQ(g.Flags(r)->size(), 5u);
        bool ro = true;
        EXPECT_EQ(GridGetCellFlag(g, r, 4, ro), 0);
        EXPECT_FALSE(ro);  // appended cells are editable
    }
    // A column inserted at the front shifts the read-only bits one place right.
    EXPECT_EQ(GridInsertColumn(g, 0), 0);
    EXPECT_EQ(*g.Flags(1), (RowFlags{false, false, false, true, false, false}));
    EXPECT_EQ(GridSetColumnCount(g, 2), 0);
    EXPECT_EQ(g.ListColumnCount(), 3);
    EXPECT_EQ(*g.Flags(1), (RowFlags{false, false}));
    bool ro = false;
    EXPECT_EQ(GridGetCellFlag(g, -1, 0, ro), 1);
    EXPECT_EQ(GridInsertRows(g, -1, 0), 1);
    EXPECT_EQ(GridSetCellText(g, 0, -2, "x", false), 1);
}

TEST(ListGrid, TextsBlanksAndTrailingRows) {
    MemoryGridList g = GridOf(2, 4);
    GridSetRowLabel(g, 0, "Fe", false);
    GridSetCellText(g, 0, 1, "1", false);
    GridSetRowLabel(g, 2, "label only", false);  // a label does not make a row
    std::string text;
    GridGetCellText(g, 0, -1, text);
    EXPECT_EQ(text, "Fe");
    bool blank = false;
    GridIsRowBlank(g, 2, blank);
    EXPECT_TRUE(blank);
    EXPECT_EQ(GridTrimTrailingRows(g), 0);
    EXPECT_EQ(g.RowCount(), 2);
    // Deleting past the end deletes what is there.
    EXPECT_EQ(GridDeleteRows(g, 5, 1), 0);
    EXPECT_EQ(g.RowCount(), 1);
}

TEST(ListGrid, AutoWidthTakesTheHeaderWhenItIsWider) {
    MemoryGridList g = GridOf(1, 1);
    GridSetCellText(g, 0, 0, "12", false);
    GridSetColumnHeader(g, 0, "a long header", true);
    EXPECT_EQ(GridGetAutoColumnWidth(g, 0), 13);
    EXPECT_EQ(g.ColumnWidth(1), 13);
    GridSetCellText(g, 0, 0, "a cell longer than its header", true);
    EXPECT_EQ(g.ColumnWidth(1), 29);
    EXPECT_EQ(GridGetAutoColumnWidth(g, 4), -1);
}

TEST(ListGrid, LookAndClicksFollowTheFlags) {
    MemoryGridList g = GridOf(2, 2);
    GridSetCellFlag(g, 0, 1, true);
    EXPECT_EQ(GridCellColours(g, 0, 2, true).background, kGridReadOnlyBackground);
    EXPECT_EQ(GridCellColours(g, 0, 1, true).background, 0xFFFFFFu);
    EXPECT_TRUE(GridCellColours(g, 0, 0, true).faceBackground);
    const GridCellLook off = GridCellColours(g, 1, 1, false);
    EXPECT_TRUE(off.faceBackground);
    EXPECT_EQ(off.text, kGridDisabledText);
    GridFreeRowData(g);
    EXPECT_TRUE(GridCellColours(g, 0, 2, true).defaultLook);

    GridSetCellFlag(g, 0, 1, true);
    EXPECT_EQ(GridClickAction(g, -1, 0, 1), GridClick::kSelectRow);  // first click selects
    EXPECT_EQ(GridClickAction(g, 0, 0, 1), GridClick::kEdit);
    EXPECT_EQ(GridClickAction(g, 0, 0, 2), GridClick::kNothing);  // read-only
    EXPECT_EQ(GridClickAction(g, 0, 0, 0), GridClick::kNothing);  // label
    EXPECT_EQ(GridClickAction(g, 0, 5, 1), GridClick::kNothing);  // below the rows
}

}  // namespace
}  // namespace zun
