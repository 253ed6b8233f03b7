#include "setup/ui/setupwidgets.h"

#include <algorithm>

#include <QHeaderView>
#include <QScrollBar>

namespace zun {

int RunDialog(const DialogRunner& run, QDialog& dialog) {
    return run ? run(dialog) : dialog.exec();
}

namespace {

// A grid that may give up height asks for the height that shows its rows, not its least.
class SheetGrid : public ListGridWidget {
public:
    using ListGridWidget::ListGridWidget;
    QSize sizeHint() const override {
        QSize hint = ListGridWidget::sizeHint();
        if (wantedHeight > 0) hint.setHeight(wantedHeight);
        return hint;
    }
    int wantedHeight = 0;
};

}  // namespace

ListGridWidget* MakeSheetGrid(QWidget* parent) {
    auto* g = new SheetGrid(parent);
    g->setSelectionBehavior(QAbstractItemView::SelectRows);
    g->setShowGrid(true);
    g->verticalHeader()->hide();
    g->horizontalHeader()->setSectionsClickable(false);
    g->setAutoFillBackground(true);
    g->setBackgroundRole(QPalette::Button);
    return g;
}

void FillSheetGrid(ListGridWidget& grid, const std::vector<std::string>& rowLabels,
                   const std::vector<std::string>& headers, const std::function<std::string(int, int)>& text,
                   const std::function<bool(int, int)>& readOnly) {
    const int rows = static_cast<int>(rowLabels.size());
    const int cols = static_cast<int>(headers.size());
    GridDeleteRows(grid, GridGetRowCount(grid), 0);
    GridSetColumnCount(grid, cols);
    GridInsertRows(grid, rows, 0);
    GridSetColumnHeader(grid, -1, "", false);
    for (int c = 0; c < cols; ++c) GridSetColumnHeader(grid, c, headers[static_cast<std::size_t>(c)], false);
    bool labels = false;
    for (int r = 0; r < rows; ++r) {
        GridSetRowLabel(grid, r, rowLabels[static_cast<std::size_t>(r)], false);
        labels = labels || !rowLabels[static_cast<std::size_t>(r)].empty();
        for (int c = 0; c < cols; ++c) {
            GridSetCellText(grid, r, c, text(r, c), false);
            if (readOnly) GridSetCellFlag(grid, r, c, readOnly(r, c));
        }
    }
    const int minimum = grid.fontMetrics().horizontalAdvance("+XXXXXX.XXX") + 12;
    grid.setColumnWidth(0, labels ? std::max(grid.MeasureColumn(0, true), 40) : 24);
    for (int c = 1; c <= cols; ++c) grid.setColumnWidth(c, std::max(minimum, grid.MeasureColumn(c, true)));
    grid.viewport()->update();
}

namespace {
// Beyond this many rows a grid scrolls: a document of many compositions or channels would
// otherwise make its sheet taller than the screen.
constexpr int kMostRowsShown = 8;
// A grid that shares its window's spare height keeps at least this many rows in sight.
constexpr int kFewestRowsShown = 3;

int HeightShowing(const ListGridWidget& grid, int rows) {
    int h = grid.horizontalHeader()->sizeHint().height() + 2 * grid.frameWidth() + 2;
    for (int r = 0; r < std::min(grid.rowCount(), rows); ++r) h += grid.rowHeight(r);
    if (grid.horizontalScrollBar()) h += grid.horizontalScrollBar()->sizeHint().height();
    return h;
}
}  // namespace

void FitGridHeight(ListGridWidget& grid, bool fixed) {
    const int h = HeightShowing(grid, kMostRowsShown);
    if (fixed) {
        grid.setFixedHeight(h);
        return;
    }
    grid.setMinimumHeight(HeightShowing(grid, kFewestRowsShown));
    if (auto* sheetGrid = dynamic_cast<SheetGrid*>(&grid)) {
        sheetGrid->wantedHeight = h;
        grid.updateGeometry();
    }
}

void FitGridWidth(ListGridWidget& grid) {
    int w = 2 * grid.frameWidth() + 2;
    for (int c = 0; c < grid.columnCount(); ++c)
        if (!grid.isColumnHidden(c)) w += grid.columnWidth(c);
    if (grid.rowCount() > kMostRowsShown && grid.verticalScrollBar())
        w += grid.verticalScrollBar()->sizeHint().width();
    grid.setMinimumWidth(std::min(w, 1100));
}

}  // namespace zun
