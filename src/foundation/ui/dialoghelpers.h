#pragma once
// Dialog-field and window helpers over Qt widgets: the number readers and writers of edit
// fields, enabling whole widget trees, window placement over the main window, the folder browser,
// the wait cursor and the message pump of long loops on the UI thread. A null widget is accepted
// everywhere and does nothing (readers fail).

#include <cstdint>
#include <string>
#include <vector>

#include <QMargins>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <QString>

#include "foundation/numformat.h"

class QRect;
class QScrollArea;
class QWidget;
class QAbstractButton;
class QLineEdit;

namespace zun {

// The text of a line edit, text edit, combo box, label or button ("" for anything else).
std::string GetDlgItemString(const QWidget* control);
// The control's text scanned as the number; 0 converted, -1 nothing converted (target kept).
int ReadDlgItemInt(const QWidget* control, int* value);
int ReadDlgItemUInt64(const QWidget* control, std::uint64_t* value);
int ReadDlgItemInt64(const QWidget* control, std::int64_t* value);
int ReadDlgItemDouble(const QWidget* control, double* value);
// True when the control is a checked button.
bool IsDlgItemChecked(const QWidget* control);
void SetDlgItemString(QWidget* control, const std::string& text);
void SetDlgItemInt32(QWidget* control, int value);
void SetDlgItemReal(QWidget* control, float value, int precision, const char* format);
// Every descendant, depth first, each before its own children.
void EnableChildWindows(QWidget* window, bool enable);
// The window itself, then its descendants.
void EnableWindowTree(QWidget* window, bool enable);

// A line edit as the edit checks of the core see it.
class LineEditField : public TextField {
public:
    explicit LineEditField(QLineEdit* edit) : edit_(edit) {}
    std::string GetText() const override;
    void SetText(const std::string& text) override;

private:
    QLineEdit* edit_;
};

// The application's main window (the first visible top-level QMainWindow); null when none.
QWidget* MainWindow();

// Window placement. Every window the program places keeps its whole frame on one screen: the
// screen that holds the holder given, else the main window's (without its panels).
QRect PlacementScreen(const QWidget* holder = nullptr);
// The frame a window manager puts around a top-level window: its own once it is framed, else that
// of a decorated window already framed (a window manager frames them alike), else none.
QMargins WindowFrameMargins(const QWidget* window);
// The window's frame rectangle, as it stands or as it will stand once framed.
QRect WindowFrameRect(const QWidget* window);
// Gives a window that has not been shown the size its first show would give it.
void PrepareWindowSize(QWidget* window);
// The largest client size whose frame fits the available area of the screen the window opens on
// (that of its parent's window, else the main window's). Before any window has been framed the
// frame is estimated from the style's title bar height.
QSize ClientRoomOnScreen(const QWidget* window);
// `wanted` bounded by that room: the size a window opens with when its lists and tables take what
// height is left and scroll. A window whose minimum is its opening size keeps a minimum that fits.
QSize FitClientSize(const QWidget* window, QSize wanted);
// Grows a window to at least `wanted` (its client size) as far as that room allows, and keeps
// its whole frame in the available area: a window on the screen that would reach past the
// screen's edge moves up or left instead; one not on it yet keeps its position. A minimum larger
// than the room is held to it, so the buttons at the bottom of a window that grew when a section
// was shown stay on the screen.
void GrowWindowOnScreen(QWidget* window, QSize wanted);
// A scroll area over a page of controls taller than a short screen has room for: it asks for
// the page's whole size (and room for its vertical scroll bar, so a page that scrolls need not
// scroll sideways too) and gives up height when the window has less, the page then scrolling.
// The scroll area takes the page; call updateGeometry() on it after showing or hiding controls
// in the page so its window sees the new size at once.
QScrollArea* MakeScrollingPage(QWidget* page, QWidget* parent);
// Brings the size `page` asks for up to date with the controls it shows, at once: a control
// hidden deep inside a page tells the page's own layout only when that layout next runs, and the
// layout around the page may meanwhile keep the page's old height and spread its rows over it.
// Call after showing or hiding controls in a page that stands in a layout with other controls.
void UpdateLayoutsNow(QWidget* page);
// Puts the window's client area at `client`, or as near to it as keeps the whole frame on the
// placement screen (a window larger than the screen shrinks to it). The client position is exact
// whatever frame the window manager adds; once the window is framed the rule is checked again
// with its real frame.
void PlaceWindowOnScreen(QWidget* window, QPoint client, const QWidget* holder = nullptr);
// For a window the window manager places: once it is framed, its whole frame is put on the
// placement screen if it is not (moved, and shrunk when larger than the screen).
void KeepFrameOnScreen(QWidget* window, const QWidget* holder = nullptr);
// The same for a frame rectangle: the window's client area fills it less the frame.
void PlaceWindowFrame(QWidget* window, const QRect& frame, const QWidget* holder = nullptr);

// Moves the window so that its frame is centred over the frame of `over`'s window (the main
// window's when that window is hidden, the available area of the placement screen when there is
// none), shifted by (dx, dy), and kept on that screen. The position is the program's own, which a
// window manager keeps rather than placing the window by its own rules.
void CenterWindowOver(QWidget* window, const QWidget* over, int dx = 0, int dy = 0);
// Moves the window so that its frame is centred over the main window's frame, shifted by (dx, dy)
// (on the placement screen), raises and shows it.
void CenterWindowInMainFrame(QWidget* window, int dx, int dy);
// Places a floating window by the cascade rules, wholly on the screen that holds the anchor (or
// the main window), and adds it to the list (windows closed meanwhile drop out of the list); a
// window already in the list only comes to the top.
void CascadeFloatingWindow(std::vector<QPointer<QWidget>>& open, QWidget* window, QWidget* anchor, int dx,
                           int dy);
// Asks for a folder, starting at `folder`; true (and the folder set) when the user chose one.
bool BrowseForFolder(const std::string& title, QWidget* owner, std::string& folder);

// The extension a file filter such as "OSG Files (*.osg)" writes ("osg"); empty for a filter of
// any extension ("*.*", "*").
QString FilterSuffix(const QString& filter);
// Asks for a file to save, starting at `start` with the filter `selected` (when given; it gets
// the chosen one). A name typed without an extension gets that of the chosen filter, as the
// filter says the file will be. Empty when cancelled.
QString GetSaveFileName(QWidget* parent, const QString& title, const QString& start, const QString& filters,
                        QString* selected = nullptr);

// Makes PumpMessages of the core run the Qt event loop once: 0 the queue was emptied, 1 the
// program is quitting. Call once after the QApplication exists.
void InstallQtMessagePump();

// The wait cursor for the lifetime of the object (nests).
class WaitCursor {
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    // Takes the cursor back after a dialog replaced it.
    static void Restore();
};

}  // namespace zun
