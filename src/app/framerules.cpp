#include "app/framerules.h"

#include <algorithm>

namespace zun {

bool StatusProgressState::Apply(std::int64_t op, std::int64_t value) {
    if (op == 0 || value == 0) return false;
    if (op == 2) {
        if (exists) position = value;
        return false;
    }
    if (op == 3) {
        exists = false;
        range = position = 0;
        return false;
    }
    // The whole range is kept: an export of more than 65535 images must not wrap its bar.
    exists = true;
    range = value;
    position = 0;
    return true;
}

ChildGeometry InitialChildGeometry(int clientWidth, int clientHeight, int nonClientWidth, int nonClientHeight,
                                   int areaWidth, int areaHeight, int treeContentWidth) {
    ChildGeometry g;
    g.treeWidth = std::max(0, clientWidth / 5);
    g.viewSide = std::max(0, static_cast<int>(clientHeight * 1.4));
    // A window taller than the area it opens in could not be reached by the user: the square
    // pane shrinks to what fits, and the column keeps its share of the width.
    if (areaWidth > 0 && areaHeight > 0) {
        const int maxSide = std::min(areaHeight - nonClientHeight, (areaWidth - nonClientWidth) * 5 / 6);
        if (g.viewSide > maxSide) {
            g.viewSide = std::max(0, maxSide);
            g.treeWidth = std::min(g.treeWidth, std::max(0, g.viewSide / 5));
        }
    }
    if (treeContentWidth > g.treeWidth) {
        int room = treeContentWidth;
        if (areaWidth > 0) room = std::min(room, areaWidth - nonClientWidth - g.viewSide);
        g.treeWidth = std::max(g.treeWidth, room);
    }
    g.frameWidth = g.viewSide + g.treeWidth + nonClientWidth;
    g.frameHeight = g.viewSide + nonClientHeight;
    return g;
}

ChildPosition FitChildPosition(int x, int y, int width, int height, int areaWidth, int areaHeight) {
    ChildPosition p;
    p.x = std::max(0, std::min(x, areaWidth - width));
    p.y = std::max(0, std::min(y, areaHeight - height));
    return p;
}

ChildRect CascadeChildRect(int index, int count, int areaWidth, int areaHeight, int step) {
    ChildRect r;
    step = std::max(1, step);
    const int steps = std::max(0, count - 1);
    r.width = std::max(std::max(0, areaWidth) * 3 / 5, areaWidth - steps * step);
    r.height = std::max(std::max(0, areaHeight) * 3 / 5, areaHeight - steps * step);
    const int fit = std::max(1, std::min((areaWidth - r.width) / step, (areaHeight - r.height) / step) + 1);
    const int k = std::max(0, index) % fit;
    r.x = k * step;
    r.y = k * step;
    return r;
}

TreeColumnFit WidenTreeColumn(int treeWidth, int viewWidth, int contentWidth, int frameX, int frameWidth,
                              int areaWidth, bool fixedFrame) {
    TreeColumnFit f{treeWidth, viewWidth, frameX, frameWidth};
    const int short_ = contentWidth - treeWidth;
    if (short_ <= 0) return f;
    if (fixedFrame) {
        const int taken =
            std::clamp(std::min(short_, (treeWidth + viewWidth) / 2 - treeWidth), 0, std::max(0, viewWidth));
        f.treeWidth += taken;
        f.viewWidth -= taken;
        return f;
    }
    const int grow = std::clamp(short_, 0, std::max(0, areaWidth - frameWidth));
    f.treeWidth += grow;
    f.frameWidth += grow;
    f.frameX = std::max(0, std::min(frameX, areaWidth - f.frameWidth));
    return f;
}

int FitStatusPane(int textWidth, int paneWidth) {
    if (textWidth > paneWidth || (paneWidth >= 41 && textWidth < paneWidth - 40)) return textWidth;
    return paneWidth;
}

}  // namespace zun
