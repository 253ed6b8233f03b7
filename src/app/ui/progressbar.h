#pragma once
// The progress dialog of long operations on the UI thread: a bar from 0 to 100 and a Cancel
// button. Each SetProgress keeps the windows alive, moves the bar, reports the progress to a
// remote controller and tells the operation whether the user cancelled. While the mouse is over
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

// The progress sink the documents hold for their whole life: it forwards to the progress dialog
// of the operation running now, if any.
class ProgressRouter : public ProgressSink {
public:
    void SetTarget(ProgressSink* target) { target_ = target; }
    ProgressSink* Target() const { return target_; }
    void SetText(const std::string& text) override;
    void SetPos(int percent) override;
    bool SetProgress(int percent) override;

private:
    ProgressSink* target_ = nullptr;
};

// A progress dialog for the lifetime of the object, shown through the router.
class ProgressScope {
public:
    ProgressScope(ProgressRouter& router, const std::string& caption, QWidget* parent = nullptr);
    ~ProgressScope();
    CProgressBar& Dialog() { return *dialog_; }

private:
    ProgressRouter& router_;
    ProgressSink* previous_;
    std::unique_ptr<CProgressBar> dialog_;
};

}  // namespace zun
