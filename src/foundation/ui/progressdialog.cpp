#include "foundation/ui/progressdialog.h"

#include <algorithm>

#include <QApplication>
#include <QFontMetrics>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

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
    // Not run by exec(): the operation drives it. While it is up the other windows take no input,
    // so that no second command runs in the middle of the operation's own loop.
    setWindowModality(Qt::ApplicationModal);
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

namespace {
// The window manager's title bar holds the icon and the buttons besides the title, in a font that
// may be bold: the title needs this much more than its text.
constexpr int kTitleBarExtra = 160;

QFontMetrics TitleMetrics() {
    QFont font = QApplication::font();
    font.setBold(true);
    return QFontMetrics(font);
}
}  // namespace

void CProgressBar::SetText(const std::string& text) {
    // Wide enough for the whole title, within the screen; past that the title loses its middle,
    // so that both the operation and the file's own name stay readable.
    const QString title = QString::fromStdString(text);
    const QFontMetrics metrics = TitleMetrics();
    const QScreen* screen = parentWidget() ? parentWidget()->screen() : this->screen();
    const int room = screen ? screen->availableGeometry().width() - 40 : 1 << 20;
    const int needed = metrics.horizontalAdvance(title) + kTitleBarExtra;
    const int width = std::max(std::min(needed, room), sizeHint().width());
    setWindowTitle(needed <= room ? title
                                  : metrics.elidedText(title, Qt::ElideMiddle, room - kTitleBarExtra));
    if (width != minimumWidth()) {
        setMinimumWidth(width);
        resize(width, height());
        // A started dialog that changed its width stays centred.
        if (started_) CenterWindowInMainFrame(this, 0, 0);
    }
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
        ReportWork(percent);
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

ProgressScope::ProgressScope(ProgressRouter& router, const std::string& caption, QWidget* parent)
    : ProgressScope(static_cast<ProgressSink*>(&router), caption, parent) {}

ProgressScope::ProgressScope(ProgressSink* documentSink, const std::string& caption, QWidget* parent)
    : router_(dynamic_cast<ProgressRouter*>(documentSink)), dialog_(std::make_unique<CProgressBar>(parent)) {
    dialog_->SetText(caption);
    dialog_->Start();
    if (router_) {
        previous_ = router_->Target();
        router_->SetTarget(dialog_.get());
    }
}

ProgressScope::~ProgressScope() {
    if (router_) router_->SetTarget(previous_);
}

}  // namespace zun
