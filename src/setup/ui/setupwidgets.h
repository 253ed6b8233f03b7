#pragma once
// What the set-up windows share: the spreadsheet grids they show numbers in, texts to and from
// Qt, and the hook through which dialogs run modally (tests answer them without a window).

#include <functional>
#include <string>
#include <vector>

#include <QDialog>
#include <QString>

#include "foundation/ui/listcontrols.h"

namespace zun {

using DialogRunner = std::function<int(QDialog&)>;
// exec() unless a runner is given.
int RunDialog(const DialogRunner& run, QDialog& dialog);

inline QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
inline std::string S(const QString& s) {
    return s.toStdString();
}

// A grid with grid lines, full-row selection, the button-face background and no vertical header.
ListGridWidget* MakeSheetGrid(QWidget* parent);

// Fills a grid: row labels (empty strings leave the label column blank), one column per header,
// cell texts and read-only flags; each data column is as wide as "+XXXXXX.XXX" or its widest text.
void FillSheetGrid(ListGridWidget& grid, const std::vector<std::string>& rowLabels,
                   const std::vector<std::string>& headers, const std::function<std::string(int, int)>& text,
                   const std::function<bool(int, int)>& readOnly = {});
// The height that shows the header and every row (up to eight, then it scrolls): fixed, or asked
// for by a grid that gives up height down to three rows when its window has less room.
void FitGridHeight(ListGridWidget& grid, bool fixed = true);
// A minimum width that shows every column (up to a screen's share) and the scroll bar of a grid
// with more rows than it shows.
void FitGridWidth(ListGridWidget& grid);

}  // namespace zun
