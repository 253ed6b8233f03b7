#include "app/ui/zunmessage.h"

#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include "app/messagereport.h"

namespace zun {

namespace {
QStyle::StandardPixmap IconFor(int kind) {
    switch (kind) {
        case kMbIconStop:
            return QStyle::SP_MessageBoxCritical;
        case kMbIconQuestion:
            return QStyle::SP_MessageBoxQuestion;
        case kMbIconExclamation:
            return QStyle::SP_MessageBoxWarning;
        default:
            return QStyle::SP_MessageBoxInformation;
    }
}
}  // namespace

ZunMessage::ZunMessage(const std::string& caption, const std::string& text, const std::string& report,
                       int type, QWidget* parent)
    : QDialog(parent) {
    setSizeGripEnabled(true);
    const std::vector<std::string> lines = SplitReport(report);
    const MessageButtons set = MessageButtonsFor(type);
    const int iconKind = MessageIconKind(type);

    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setAlternatingRowColors(true);
    QFont fixed = list_->font();
    fixed.setStyleHint(QFont::TypeWriter);
    fixed.setFamily("Monospace");
    list_->setFont(fixed);
    for (const std::string& l : lines) list_->addItem(QString::fromStdString(l));
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->installEventFilter(this);
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (list_->selectedItems().isEmpty()) return;
        QMenu menu(this);
        QAction* copy = menu.addAction("&Copy\tCtrl+C");
        if (menu.exec(list_->viewport()->mapToGlobal(at)) == copy) CopySelection();
    });
    if (lines.empty()) {
        list_->hide();
        list_->setEnabled(false);
    }

    icon_ = new QLabel(this);
    icon_->setFixedSize(40, 40);
    if (iconKind) icon_->setPixmap(style()->standardIcon(IconFor(iconKind)).pixmap(32, 32));
    text_ = new QLabel(QString::fromStdString(text), this);
    text_->setWordWrap(true);
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text_->setMinimumHeight(40);
    text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text_->setContentsMargins(0, 8, 0, 0);

    auto* textRow = new QHBoxLayout;
    textRow->addWidget(icon_, 0, Qt::AlignTop);
    textRow->addWidget(text_, 1);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    for (int id : {set.left, set.middle, set.right}) {
        if (!id) {
            // An empty place keeps the others where they belong.
            buttonRow->addSpacing(100 + buttonRow->spacing());
            continue;
        }
        auto* b = new QPushButton(MessageButtonText(id), this);
        b->setMinimumWidth(100);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, id] { done(id); });
        buttons_[id] = b;
        buttonRow->addWidget(b);
    }
    default_ = buttons_.count(set.defaultButton) ? buttons_[set.defaultButton] : nullptr;
    if (default_) default_->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(textRow, lines.empty() ? 1 : 0);
    layout->addLayout(buttonRow);

    setWindowTitle(QString::fromStdString(caption.empty() ? std::string(set.caption) : caption));
    if (lines.empty()) {
        // A short message gets a box its size, not one sized for a report.
        int widest = 0;
        for (const QString& line : QString::fromStdString(text).split('\n'))
            widest = std::max(widest, text_->fontMetrics().horizontalAdvance(line));
        const int width = std::clamp(widest + icon_->width() + 60, 340, 560);
        resize(width, std::max(100, layout->totalHeightForWidth(width)));
    } else {
        resize(640, 330);
    }
}

QPushButton* ZunMessage::Button(int id) const {
    auto it = buttons_.find(id);
    return it == buttons_.end() ? nullptr : it->second;
}

QString ZunMessage::SelectedText() const {
    QStringList rows;
    for (int i = 0; i < list_->count(); ++i)
        if (list_->item(i)->isSelected()) rows << list_->item(i)->text();
    return rows.join('\n');
}

void ZunMessage::CopySelection() {
    if (QClipboard* c = QApplication::clipboard()) c->setText(SelectedText());
}

bool ZunMessage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == list_ && event->type() == QEvent::KeyPress) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (k->matches(QKeySequence::Copy)) {
            CopySelection();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void ZunMessage::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!sized_) {
        // The first size is the smallest: the dialog can only grow.
        sized_ = true;
        setMinimumSize(size());
        if (default_) default_->setFocus();
    }
}

int ZunMessageBox(const std::string& text, const std::string& report, const std::string& caption, int type,
                  QWidget* parent, const std::function<bool()>& stillApplies) {
    ZunMessage dialog(caption, text, report, type, parent);
    QTimer recheck;
    if (stillApplies) {
        QObject::connect(&recheck, &QTimer::timeout, &dialog, [&dialog, &stillApplies] {
            if (!stillApplies()) dialog.reject();
        });
        recheck.start(100);
    }
    const int r = dialog.exec();
    if (r > 0) return r;
    // Closed by the window's own close or Escape: the answer that changes nothing.
    if (dialog.Button(kIdCancel)) return kIdCancel;
    if (dialog.Button(kIdNo)) return kIdNo;
    return MessageButtonsFor(type).defaultButton;
}

}  // namespace zun
