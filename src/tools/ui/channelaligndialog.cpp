#include "tools/ui/channelaligndialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>
#include <new>

#include "document/zundoc.h"
#include "foundation/ui/numberfield.h"
#include "platform/prompt.h"

namespace zun {

ChannelAlignDialog::ChannelAlignDialog(ChannelAlignModel& model, Prompt& prompt, QWidget* parent)
    : QDialog(parent), model_(model), prompt_(prompt) {
    setWindowTitle(QString::fromStdString(model.Title()));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    const char* labels[3] = {"DX (voxels):", "DY (voxels):", "DZ (voxels):"};
    for (int a = 0; a < 3; ++a) {
        edits_[a] = RealField(new QLineEdit(QStringLiteral("0.0"), this));
        form->addRow(tr(labels[a]), edits_[a]);
        connect(edits_[a], &QLineEdit::textEdited, this, [this] {
            model_.Edited();
            Refresh();
        });
    }
    layout->addLayout(form);
    correlation_ = new QLabel(this);
    layout->addWidget(correlation_);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    layout->addWidget(progress_);
    status_ = new QLabel(this);
    status_->setMinimumWidth(420);
    layout->addWidget(status_);
    auto* buttons = new QDialogButtonBox(this);
    apply_ = buttons->addButton(tr("Apply"), QDialogButtonBox::ApplyRole);
    ok_ = buttons->addButton(QDialogButtonBox::Ok);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(apply_, &QPushButton::clicked, this, &ChannelAlignDialog::OnApply);
    connect(buttons, &QDialogButtonBox::accepted, this, &ChannelAlignDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ChannelAlignDialog::reject);
    layout->addWidget(buttons);
    Refresh();
}

void ChannelAlignDialog::Refresh() {
    apply_->setEnabled(model_.ApplyEnabled());
    ok_->setEnabled(model_.OkEnabled());
    correlation_->setText(QString::fromStdString(model_.CorrelationText()));
    progress_->setValue(model_.Progress().Percent());
    status_->setText(QString::fromStdString(model_.StatusText()));
}

void ChannelAlignDialog::OnApply() {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const std::string message = model_.Apply(edits_[0]->text().toStdString(), edits_[1]->text().toStdString(),
                                             edits_[2]->text().toStdString());
    QGuiApplication::restoreOverrideCursor();
    if (!message.empty()) prompt_.Tell(message, PromptIcon::Information);
    Refresh();
}

void ChannelAlignDialog::accept() {
    if (!model_.OkEnabled()) return;
    model_.Ok();
    QDialog::accept();
}

void ChannelAlignDialog::reject() {
    // The moved channel is put back before the window goes, never under a running worker.
    if (!model_.Cancel()) {
        prompt_.Tell(kComputationInProgress, PromptIcon::Information);
        return;
    }
    QDialog::reject();
}

bool RunChannelAlignDialog(CZunDoc& doc, int moving, int reference, Prompt& prompt, QWidget* parent) {
    std::unique_ptr<ChannelAlignModel> model;
    try {
        model = std::make_unique<ChannelAlignModel>(doc, moving, reference);
    } catch (const std::bad_alloc&) {
        prompt.Tell(std::string("Insufficient memory while ") + alignmsg::kMemoryActivity + ".",
                    PromptIcon::Warning);
        return false;
    }
    ChannelAlignDialog dlg(*model, prompt, parent);
    dlg.exec();
    return true;
}

}  // namespace zun
