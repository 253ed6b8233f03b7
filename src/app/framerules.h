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
ChildGeometry InitialChildGeometry(int clientWidth, int clientHeight, int nonClientWidth, int nonClientHeight,
                                   int areaWidth, int areaHeight);

// A status pane's width after a new text: the text's width when it is wider than the pane, or
// when the pane is at least 41 pixels wide and more than 40 wider than the text; else unchanged.
int FitStatusPane(int textWidth, int paneWidth);

}  // namespace zun
