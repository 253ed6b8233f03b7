#pragma once
// The progress dialog of long operations on the UI thread: a bar from 0 to 100 and a Cancel
// button. Each SetProgress keeps the windows alive, moves the bar, reports the progress to a
// remote controller (the work report route) and tells the operation whether the user cancelled.
// Every window's long work shows this one dialog. While the mouse is over
// Cancel the wait cursor gives way so that the button can be aimed at.

#include <memory>
#include <string>

#include <QDialog>
#include <QPushButton>

#include "platform/progress.h"

class QProgressBar;

namespace zun {

class ProgressCancelButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    bool tracking_ = false;
};

class CProgressBar : public QDialog, public ProgressSink {
    Q_OBJECT
public:
    // The dialog is shown at once.
    explicit CProgressBar(QWidget* parent = nullptr);
    ~CProgressBar() override;

    // Centres the dialog over the main window and begins the wait cursor.
    void Start();
    void SetText(const std::string& text) override;
    void SetPos(int percent) override;
    bool SetProgress(int percent) override;

    bool Cancelled() const { return cancelled_; }
    int Value() const;
    QPushButton* CancelButton() const { return cancel_; }

protected:
    void reject() override;

private:
    QProgressBar* bar_;
    ProgressCancelButton* cancel_;
    bool cancelled_ = false;
    bool started_ = false;
};

// A progress dialog for the lifetime of the object, shown through the router: a document's long
// operation reports to its router and so reaches the dialog of the window that started it.
class ProgressScope {
public:
    ProgressScope(ProgressRouter& router, const std::string& caption, QWidget* parent = nullptr);
    // A document's progress sink: routed when it is a router; without one the operation reports to
    // Dialog() itself.
    ProgressScope(ProgressSink* documentSink, const std::string& caption, QWidget* parent = nullptr);
    ~ProgressScope();
    ProgressScope(const ProgressScope&) = delete;
    ProgressScope& operator=(const ProgressScope&) = delete;
    CProgressBar& Dialog() { return *dialog_; }

private:
    ProgressRouter* router_;
    ProgressSink* previous_ = nullptr;
    std::unique_ptr<CProgressBar> dialog_;
};

}  // namespace zun
