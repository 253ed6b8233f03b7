#include "tools/ui/renamechanneldialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/prompt.h"

namespace zun {

RenameChannelDialog::RenameChannelDialog(const RenameChannelForm& form, Prompt& prompt, QWidget* parent)
    : QDialog(parent), form_(form), prompt_(prompt) {
    setWindowTitle(QString::fromStdString(form.caption));
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel("New Channel Name:", this));
    edit_ = new QLineEdit(QString::fromStdString(form.initialText), this);
    layout->addWidget(edit_);
    auto* buttons = new QDialogButtonBox(this);
    useDefault_ = buttons->addButton("Use Default", QDialogButtonBox::ActionRole);
    // Return in the edit means OK, also after "Use Default" was clicked.
    useDefault_->setAutoDefault(false);
    QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
    buttons->addButton(QDialogButtonBox::Cancel);
    ok->setDefault(true);
    connect(useDefault_, &QPushButton::clicked, this,
            [this] { edit_->setText(QString::fromStdString(form_.DefaultName())); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(360, sizeHint().height());
}

void RenameChannelDialog::accept() {
    const RenameChannelForm::Outcome r = form_.Check(edit_->text().toStdString());
    if (!r.accepted) {
        prompt_.Tell(r.message, PromptIcon::Information);
        return;
    }
    name_ = r.name;
    QDialog::accept();
}

std::optional<std::string> RunRenameChannelDialog(const CZunDoc& doc, int index, Prompt& prompt,
                                                  QWidget* parent) {
    RenameChannelForm form(doc, index);
    RenameChannelDialog dlg(form, prompt, parent);
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    return dlg.NewName();
}

}  // namespace zun
