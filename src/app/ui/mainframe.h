#pragma once
// The program's main window: the menus, the toolbar, the status bar with its progress bar for long
// operations without a dialog, and the area holding the document windows.

#include <vector>

#include <QMainWindow>
#include <QPointer>
#include <QProgressBar>

#include "app/framerules.h"

class QAction;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QMouseEvent;
class QToolBar;

namespace zun {

class CChildFrame;
class CZunApp;
class CZunDoc;

class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(CZunApp& app);

    QMdiArea* MdiArea() const { return mdi_; }
    QToolBar* ToolBar() const { return toolbar_; }
    // The action with this object name ("fileNew", "computationStart", ...); null when none.
    QAction* Action(const char* name) const;
    CChildFrame* ActiveChild() const;
    // Makes the document window the current one, as the user's click on it would; it stays current
    // also where it cannot be activated (the disabled frame of a remote-controlled program).
    void MakeCurrent(QMdiSubWindow* w);
    std::vector<CChildFrame*> Children() const;
    // Shows a new document window in the area at its first size (maximised when the active one
    // is), its tree column as wide as its names or as the user last left a column.
    QMdiSubWindow* AddChild(CChildFrame* child);
    // "Zun - <active window's title>", or the product name alone without a document window.
    void UpdateCaption();
    // Window > Cascade: every document window at one usable size, a title bar apart.
    void CascadeChildren();
    // Set once the window is closing: the documents' saves skip their renames then.
    bool Closing() const { return closing_; }

    // The status-bar progress bar (FrameMsg::StatusProgress).
    void StatusProgress(std::int64_t op, std::int64_t value);
    QProgressBar* StatusProgressBar() const { return progress_; }

    // Enables the commands that apply now (also called before each menu opens).
    void UpdateCommandUI();
    // The same once the events queued now have run, however often it is asked meanwhile: the
    // toolbar follows each change a document tells its windows of.
    void QueueCommandUI();
    void RebuildRecentFiles();
    // Embedded in a controlling program: no caption, menu, toolbar or status bar.
    void EnterRemoteMode(long long parentWindow);
    // Puts the frame back into the controller's window when Qt has recreated its native window
    // (the first OpenGL view in a frame does that).
    void KeepEmbedded();

protected:
    void closeEvent(QCloseEvent* event) override;
    // The area retitles the frame itself around a maximised window: the caption is put back.
    void changeEvent(QEvent* event) override;
    // Files dropped on the window are opened.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // The area's resizes: document windows are fitted to the area it ends up with.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // A native window made anew goes back into the controller's window at once (KeepEmbedded).
    bool event(QEvent* event) override;

private:
    void BuildMenus();
    // The current document window: the one last made current or activated that is still open.
    // The window manager's focus does not decide it.
    QMdiSubWindow* ActiveWindow() const;
    // The active document and the commands and caption that follow the current window.
    void CurrentChanged();
    // The 3-D view's entries of the View menu, and their enabled and checked state.
    void BuildViewMenuCommands(QMenu* view);
    void UpdateViewMenuCommands();
    // The Window menu's list of the open document windows, rebuilt each time the menu opens.
    void FillWindowList();
    int TreePaneWidth() const;
    // The room for document windows when the area shows no scroll bars.
    QSize ChildArea() const;
    // After the area shrank from `oldArea`: each document window it held whole and holds no more
    // (the window manager's frame took room from the main window after the first document
    // window opened, or the user made the main window smaller) moves back and shrinks into it.
    void FitChildrenToArea(const QSize& oldArea);
    // Before a press on a document window's own parts (title bar, border): the pointer's move to it.
    static void HoverWherePressed(QWidget* window, const QMouseEvent& press);
    QAction* Add(QMenu* menu, const char* name, const QString& text, const QKeySequence& key = {});

    CZunApp& app_;
    QMdiArea* mdi_;
    QToolBar* toolbar_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    std::vector<QAction*> windowList_;
    // The document windows in the order they were last made current, the latest last.
    std::vector<QPointer<QMdiSubWindow>> currentOrder_;
    QString caption_;
    QAction* recentSeparator_ = nullptr;
    std::vector<QAction*> recent_;
    QPointer<QProgressBar> progress_;
    StatusProgressState progressState_;
    bool closing_ = false;
    bool commandUiQueued_ = false;
    long long remoteParent_ = 0;  // the controller's window, 0 when not embedded
};

}  // namespace zun
