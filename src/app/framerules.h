#pragma once
// The arithmetic and bookkeeping of the main window and the document windows, kept apart from
// the widgets so that it is tested without a window.

#include <cstdint>

namespace zun {

// The status-bar progress bar of long operations without a dialog of their own. The operation
// and value come from FrameMsg::StatusProgress: 1 create with the range maximum, 2 set the
// position, 3 remove; a zero operation or value is ignored; any other operation creates.
struct StatusProgressState {
    bool exists = false;
    std::int64_t range = 0;
    std::int64_t position = 0;
    // Applies one message; returns true when the bar was (re)created.
    bool Apply(std::int64_t op, std::int64_t value);
};

// The first size of a document window: the tree column is a fifth of the client width and the
// 3-D pane a square 1.4 times the client height. The window grows to hold both, but never past the
// area it lives in (its non-client parts included), keeping the column at a fifth.
struct ChildGeometry {
    int treeWidth = 0;
    int viewSide = 0;    // the 3-D pane's width and height
    int frameWidth = 0;  // the whole window
    int frameHeight = 0;
};
// A column whose names need more (`treeContentWidth`) is widened to them as far as the area
// leaves room beside the square.
ChildGeometry InitialChildGeometry(int clientWidth, int clientHeight, int nonClientWidth, int nonClientHeight,
                                   int areaWidth, int areaHeight, int treeContentWidth = 0);

// Where a window of the given size goes when the area proposed (x, y): moved back from the
// right and bottom edges so that it fits whole (to 0 when it is larger than the area).
struct ChildPosition {
    int x = 0;
    int y = 0;
};
ChildPosition FitChildPosition(int x, int y, int width, int height, int areaWidth, int areaHeight);

// Cascade: window `index` of `count`, each one step (a title bar) right of and below the one
// before. The windows share one size that keeps at least three fifths of the area, and the steps
// start over at the top left when they would leave the area.
struct ChildRect {
    int x = 0, y = 0, width = 0, height = 0;
};
ChildRect CascadeChildRect(int index, int count, int areaWidth, int areaHeight, int step);

// The tree column after its names grew to `contentWidth` (a computation adds statistics to them):
// as on opening, the window grows by what the names need, as far as the area leaves room and
// moving left where it must, and the 3-D pane keeps its width; a maximised window (`fixedFrame`)
// keeps its size and the column takes what it needs, up to half the window. Nothing shrinks.
struct TreeColumnFit {
    int treeWidth = 0;
    int viewWidth = 0;
    int frameX = 0;
    int frameWidth = 0;
};
TreeColumnFit WidenTreeColumn(int treeWidth, int viewWidth, int contentWidth, int frameX, int frameWidth,
                              int areaWidth, bool fixedFrame);

// A status pane's width after a new text: the text's width when it is wider than the pane, or
// when the pane is at least 41 pixels wide and more than 40 wider than the text; else unchanged.
int FitStatusPane(int textWidth, int paneWidth);

}  // namespace zun
