#include "plot/ui/xraypropertiesdialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "document/zundoc.h"

namespace zun {

namespace {
QGroupBox* Group(const QString& title, std::initializer_list<QRadioButton*> radios, QWidget* parent) {
    auto* box = new QGroupBox(title, parent);
    auto* layout = new QVBoxLayout(box);
    auto* group = new QButtonGroup(box);
    for (QRadioButton* r : radios) {
        r->setParent(box);
        group->addButton(r);
        layout->addWidget(r);
    }
    layout->addStretch(1);
    return box;
}
}  // namespace

XrayPropertiesDialog::XrayPropertiesDialog(XrayPropertiesModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
    setWindowTitle(QString::fromStdString(model_.title));
    tlac = new QRadioButton(tr("TLAC/TRC attenuation tables"));
    extended = new QRadioButton(tr("Extended"));
    nist = new QRadioButton(tr("NIST attenuation tables"));
    mucal = new QRadioButton(tr("Mucal algorithm"));
    total = new QRadioButton(tr("Total linear attenuation"));
    photo = new QRadioButton(tr("Photoelectric linear attenuation"));
    okButton = new QPushButton(tr("OK"), this);
    cancelButton = new QPushButton(tr("Cancel"), this);
    okButton->setDefault(true);

    auto* groups = new QHBoxLayout;
    groups->addWidget(Group(tr("Attenuation Data"), {tlac, extended, nist, mucal}, this));
    groups->addWidget(Group(tr("Attenuation Coefficients"), {total, photo}, this));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(groups);
    layout->addLayout(buttons);

    // A value outside the known ones leaves its buttons clear.
    tlac->setChecked(model_.method == 1);
    extended->setChecked(model_.method == 3);
    nist->setChecked(model_.method == 2);
    mucal->setChecked(model_.method == 0);
    total->setChecked(model_.kind == 0);
    photo->setChecked(model_.kind == 1);

    connect(okButton, &QPushButton::clicked, this, &XrayPropertiesDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

void XrayPropertiesDialog::accept() {
    model_.method =
        XrayPropertiesModel::MethodFromButtons(extended->isChecked(), tlac->isChecked(), nist->isChecked());
    model_.kind = XrayPropertiesModel::KindFromButtons(total->isChecked());
    QDialog::accept();
}

int RunXrayProperties(CZunDoc& doc, QWidget* parent) {
    XrayPropertiesModel model = XrayPropertiesModel::FromDocument(doc);
    XrayPropertiesDialog dialog(model, parent);
    // Shown by exec() only: a dialog shown before would not become modal (Qt centres it over
    // its parent).
    const int result = dialog.exec();
    if (result == QDialog::Accepted) model.ApplyToDocument(doc);
    return result;
}

}  // namespace zun
