#include "tools/ui/chanpropertiesdialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "platform/prompt.h"
#include "tools/channelname.h"

namespace zun {

ChanPropertiesDialog::ChanPropertiesDialog(const std::string& caption, const std::string& name,
                                           Prompt& prompt, QWidget* parent)
    : QDialog(parent), prompt_(prompt) {
    setWindowTitle(QString::fromStdString(caption));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    edit_ = new QLineEdit(QString::fromStdString(name), this);
    edit_->setMaxLength(1024);
    edit_->selectAll();
    form->addRow("Name:", edit_);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(320, sizeHint().height());
}

std::string ChanPropertiesDialog::Name() const {
    return edit_->text().toStdString();
}

void ChanPropertiesDialog::accept() {
    if (const std::optional<std::string> refusal = CheckNewChannelName(Name())) {
        prompt_.Tell(*refusal, PromptIcon::Information);
        return;
    }
    QDialog::accept();
}

std::optional<std::string> RunChanPropertiesDialog(const std::string& caption, const std::string& name,
                                                   Prompt& prompt, QWidget* parent) {
    ChanPropertiesDialog dlg(caption, name, prompt, parent);
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    return dlg.Name();
}

}  // namespace zun
