#pragma once
// The floating, read-only window of a document's log. Text the logger appends while the window is
// open is added at once; text from another thread travels to the UI thread as a queued call on
// the view itself, so a window closed meanwhile simply never receives it.

#include <string>

#include <QPlainTextEdit>
#include <QWidget>

#include "compute/log.h"

namespace zun {

class CLogView : public QPlainTextEdit, public LogView {
    Q_OBJECT
public:
    explicit CLogView(QWidget* parent = nullptr);
    // Any thread. An empty text clears the view.
    void AppendText(const std::string& text) override;
    void SetCaption(const std::string& caption) override;

private:
    void AppendOnUiThread(const std::string& text);
};

class CLogFrame : public QWidget {
    Q_OBJECT
public:
    // Opens the window over the logger, at the saved rectangle (or the default place when none
    // fits the screen), with the whole log in it. The window deletes itself when closed.
    CLogFrame(CLogger& logger, const std::string& documentName, QWidget* mainWindow);
    ~CLogFrame() override;
    CLogView* View() const { return view_; }

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void SaveRect();
    CLogger& logger_;
    CLogView* view_;
    bool placed_ = false;
};

}  // namespace zun
