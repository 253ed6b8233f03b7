#pragma once
// A document window: the document tree on the left and the 3-D view on the right, side by side in
// a splitter, over the window's own status bar (status text, two duration panes and the red
// recording pane).

#include <string>
#include <vector>

#include <QWidget>

#include "compute/log.h"
#include "document/changehints.h"

class QLabel;
class QMdiSubWindow;
class QSplitter;
class QStatusBar;

namespace zun {

class CZunDoc;

// The two panes of a document window. Each is made by one function so that the real tree and
// 3-D view replace the placeholders here and nowhere else.
QWidget* CreateTreePane(CZunDoc& doc, QWidget* parent, QWidget* copyFrom = nullptr);
QWidget* CreateViewPane(CZunDoc& doc, QWidget* parent);

class CChildFrame : public QWidget, public DocView {
    Q_OBJECT
public:
    // copyFrom: the window a "New Window" is made from, whose tree state the new one takes.
    explicit CChildFrame(CZunDoc& doc, QWidget* parent = nullptr, const CChildFrame* copyFrom = nullptr);
    ~CChildFrame() override;

    CZunDoc& Document() const { return doc_; }
    QSplitter* Splitter() const { return splitter_; }
    QWidget* TreePane() const { return tree_; }
    QWidget* ViewPane() const { return view_; }
    QStatusBar* StatusBar() const { return status_; }
    // Pane 0 the status text, 1 and 2 the durations, 3 the recording pane.
    QLabel* StatusPane(int index) const;

    void SetStatusText(const std::string& text);
    // Panes 1 and 2 from the first two items: "<name>: <whole duration>".
    void SetStatusValues(const std::vector<CDuration>& items);
    // The red text of the recording pane ("Recording..." while an animation is recorded).
    void SetRecordingText(const std::string& text);

    // The first size of the window inside an area of the given size: the tree column as wide as
    // its names (or as the user last left it, `treeWidth` > 0), at least a fifth of the client
    // width, the 3-D pane a square 1.4 times the client height; moved, not cut, to fit the area.
    void ApplyInitialGeometry(QMdiSubWindow* window, const QSize& area, int treeWidth = 0);
    // The width the tree column needs to show its rows whole.
    int TreeContentWidth() const;
    // Widens the tree column to names that grew, as on opening (WidenTreeColumn).
    void FitTreeColumn();
    // Shows the X-ray CT channels in the 3-D view in place of the channels shown when those hold
    // no data yet (a data file's compositions before any computation), so that the first look is
    // at data rather than at an empty box.
    void DisplayCtChannels();

    // The computation's state and progress reach the status panes; every change reaches the main
    // window's commands.
    void OnUpdate(DocView* sender, unsigned hint, const ChangeHint* hintObject) override;

private:
    void SetPaneText(int index, const QString& text);
    CZunDoc& doc_;
    QSplitter* splitter_;
    QWidget* tree_;
    QWidget* view_;
    QStatusBar* status_;
    QLabel* panes_[4];
};

}  // namespace zun
