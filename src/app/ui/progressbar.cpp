#include "app/ui/progressbar.h"

#include <QApplication>
#include <QProgressBar>
#include <QVBoxLayout>

#include "app/startup.h"
#include "foundation/pathutil.h"
#include "foundation/ui/dialoghelpers.h"

namespace zun {

void ProgressCancelButton::enterEvent(QEnterEvent* event) {
    if (!tracking_ && QApplication::overrideCursor()) {
        QApplication::restoreOverrideCursor();
        tracking_ = true;
    }
    QPushButton::enterEvent(event);
}

void ProgressCancelButton::leaveEvent(QEvent* event) {
    if (tracking_) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        tracking_ = false;
    }
    QPushButton::leaveEvent(event);
}

CProgressBar::CProgressBar(QWidget* parent) : QDialog(parent ? parent : MainWindow()) {
    setWindowTitle("Progress");
    setModal(false);
    bar_ = new QProgressBar(this);
    bar_->setRange(0, 100);
    bar_->setValue(0);
    bar_->setMinimumWidth(260);
    cancel_ = new ProgressCancelButton("Cancel", this);
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, &CProgressBar::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bar_);
    layout->addWidget(cancel_, 0, Qt::AlignHCenter);
    show();
}

CProgressBar::~CProgressBar() {
    hide();
    if (started_) QApplication::restoreOverrideCursor();
}

void CProgressBar::Start() {
    CenterWindowInMainFrame(this, 0, 0);
    if (!started_) {
        started_ = true;
        QApplication::setOverrideCursor(Qt::WaitCursor);
    }
}

void CProgressBar::SetText(const std::string& text) {
    setWindowTitle(QString::fromStdString(text));
}

void CProgressBar::SetPos(int percent) {
    bar_->setValue(ClampPercent(percent));
    update();
}

bool CProgressBar::SetProgress(int percent) {
    PumpMessages();
    if (started_) WaitCursor::Restore();
    if (percent >= 0) {
        bar_->setValue(percent > 100 ? 100 : percent);
        update();
        if (IsRemoteControlled()) GetRemoteControlStartup().ReplyWork(percent);
    }
    return cancelled_;
}

int CProgressBar::Value() const {
    return bar_->value();
}

void CProgressBar::reject() {
    // Cancel (or Escape) is recorded for the operation, which decides when to stop.
    cancelled_ = true;
    hide();
}

void ProgressRouter::SetText(const std::string& text) {
    if (target_) target_->SetText(text);
}

void ProgressRouter::SetPos(int percent) {
    if (target_) target_->SetPos(percent);
}

bool ProgressRouter::SetProgress(int percent) {
    return target_ ? target_->SetProgress(percent) : false;
}

ProgressScope::ProgressScope(ProgressRouter& router, const std::string& caption, QWidget* parent)
    : router_(router), previous_(router.Target()), dialog_(std::make_unique<CProgressBar>(parent)) {
    dialog_->SetText(caption);
    dialog_->Start();
    router_.SetTarget(dialog_.get());
}

ProgressScope::~ProgressScope() {
    router_.SetTarget(previous_);
}

}  // namespace zun
