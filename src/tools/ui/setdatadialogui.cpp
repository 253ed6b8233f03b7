#include "tools/ui/setdatadialogui.h"
#include "foundation/ui/numberfield.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace zun {

namespace {

QLineEdit* Edit(const std::string& text, QWidget* parent) {
    auto* e = new QLineEdit(QString::fromStdString(text), parent);
    e->setMaxLength(1024);
    e->setMinimumWidth(90);
    return e;
}

}  // namespace

ChanSetDataDialog::ChanSetDataDialog(CChanSetData& data, QWidget* parent) : QDialog(parent), data_(data) {
    setWindowTitle(
        QString::fromStdString(data.request.caption.empty() ? "Channel Set Data" : data.request.caption));
    auto* layout = new QVBoxLayout(this);

    auto* box = new QGridLayout;
    const char* axes[3] = {"X", "Y", "Z"};
    for (int j = 0; j < 3; ++j) {
        offset_[j] = IntegerField(Edit(data.offsetText[static_cast<std::size_t>(j)], this), 0, kAxisCountMax);
        range_[j] = IntegerField(Edit(data.rangeText[static_cast<std::size_t>(j)], this), 0, kAxisCountMax);
        box->addWidget(new QLabel(QString("%1 offset:").arg(axes[j]), this), j, 0);
        box->addWidget(offset_[j], j, 1);
        box->addWidget(new QLabel(QString("%1 range:").arg(axes[j]), this), j, 2);
        box->addWidget(range_[j], j, 3);
        connect(offset_[j], &QLineEdit::editingFinished, this, [this, j] { LeaveBox(false, j); });
        connect(range_[j], &QLineEdit::editingFinished, this, [this, j] { LeaveBox(true, j); });
    }
    layout->addLayout(box);

    group_ = new QGroupBox(QString::fromStdString(data.GroupCaption()), this);
    auto* g = new QGridLayout(group_);
    conditional_ = new QRadioButton("Conditional on Data", group_);
    unconditional_ = new QRadioButton("Unconditional (All Data)", group_);
    g->addWidget(conditional_, 0, 0, 1, 2);
    g->addWidget(unconditional_, 0, 2, 1, 2);
    const char* fields[3] = {"From:", "To:", "Data Value:"};
    for (int f = 0; f < 3; ++f)
        value_[f] = RealField(Edit(data.valueText[static_cast<std::size_t>(f)], group_));
    g->addWidget(new QLabel(fields[0], group_), 1, 0);
    g->addWidget(value_[0], 1, 1);
    g->addWidget(new QLabel(fields[1], group_), 1, 2);
    g->addWidget(value_[1], 1, 3);
    auto* formats = new QButtonGroup(this);
    for (int f = 0; f < 3; ++f) {
        format_[f] = new QRadioButton(QString::fromStdString(data.FormatLabel(f)), group_);
        formats->addButton(format_[f], f);
        g->addWidget(format_[f], 2 + f, 0, 1, 4);
    }
    layout->addWidget(group_);

    auto* parts = new QGridLayout;
    parts->addWidget(new QLabel(fields[2], this), 0, 0);
    parts->addWidget(value_[2], 0, 1);
    readOnly_ = new QCheckBox("Read Only Flag:", this);
    error_ = new QCheckBox("Error Flag:", this);
    readOnly_->setLayoutDirection(Qt::RightToLeft);
    error_->setLayoutDirection(Qt::RightToLeft);
    parts->addWidget(readOnly_, 1, 0, 1, 2, Qt::AlignLeft);
    parts->addWidget(error_, 2, 0, 1, 2, Qt::AlignLeft);
    for (int p = 0; p < 3; ++p) {
        applyPart_[p] = new QCheckBox("Apply", this);
        parts->addWidget(applyPart_[p], p, 2);
        connect(applyPart_[p], &QCheckBox::clicked, this, [this] { Changed(); });
    }
    layout->addLayout(parts);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    ok_ = new QPushButton("OK", this);
    apply_ = new QPushButton("Apply", this);
    auto* cancel = new QPushButton("Cancel", this);
    ok_->setDefault(true);
    buttons->addWidget(ok_);
    buttons->addWidget(apply_);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    const SetDataRequest& r = data.request;
    format_[r.format]->setChecked(true);
    format_[SetDataRequest::kPhysical]->setEnabled(data.PhysicalAvailable());
    conditional_->setChecked(r.conditional);
    unconditional_->setChecked(!r.conditional);
    value_[0]->setEnabled(r.conditional);
    value_[1]->setEnabled(r.conditional);
    applyPart_[0]->setChecked(r.applyData);
    const bool flags = data.FlagsEnabled();
    readOnly_->setChecked(flags && r.readOnly);
    error_->setChecked(flags && r.error);
    applyPart_[1]->setChecked(flags && r.applyReadOnly);
    applyPart_[2]->setChecked(flags && r.applyError);
    for (QCheckBox* c : {readOnly_, error_, applyPart_[1], applyPart_[2]}) c->setEnabled(flags);
    ok_->setEnabled(false);
    apply_->setEnabled(false);

    for (QLineEdit* e : {offset_[0], offset_[1], offset_[2], range_[0], range_[1], range_[2], value_[0],
                         value_[1], value_[2]})
        connect(e, &QLineEdit::textEdited, this, [this] { Changed(); });
    for (int f = 0; f < 3; ++f)
        connect(value_[f], &QLineEdit::editingFinished, this, [this, f] { LeaveValue(f); });
    connect(readOnly_, &QCheckBox::clicked, this, [this] { Changed(); });
    connect(error_, &QCheckBox::clicked, this, [this] { Changed(); });
    connect(conditional_, &QRadioButton::toggled, this, [this](bool on) {
        value_[0]->setEnabled(on);
        value_[1]->setEnabled(on);
        Changed();
    });
    connect(formats, &QButtonGroup::idClicked, this, [this](int f) { ChooseFormat(f); });
    connect(apply_, &QPushButton::clicked, this, [this] { Apply(); });
    connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void ChanSetDataDialog::Changed() {
    data_.Changed();
    ok_->setEnabled(true);
    apply_->setEnabled(true);
}

void ChanSetDataDialog::LeaveBox(bool range, int axis) {
    if (checking_) return;
    checking_ = true;
    QLineEdit* e = (range ? range_ : offset_)[axis];
    (range ? data_.rangeText : data_.offsetText)[static_cast<std::size_t>(axis)] = e->text().toStdString();
    if (!data_.LeaveBoxEdit(range, axis)) {
        e->setText(QString::fromStdString(
            (range ? data_.rangeText : data_.offsetText)[static_cast<std::size_t>(axis)]));
        e->setFocus();
    }
    checking_ = false;
}

void ChanSetDataDialog::LeaveValue(int field) {
    if (checking_) return;
    checking_ = true;
    data_.valueText[static_cast<std::size_t>(field)] = value_[field]->text().toStdString();
    if (!data_.LeaveValueEdit(field)) {
        value_[field]->setText(QString::fromStdString(data_.valueText[static_cast<std::size_t>(field)]));
        value_[field]->setFocus();
    }
    checking_ = false;
}

void ChanSetDataDialog::ShowValues() {
    for (int f = 0; f < 3; ++f) {
        const QSignalBlocker block(value_[f]);
        value_[f]->setText(QString::fromStdString(data_.valueText[static_cast<std::size_t>(f)]));
    }
}

void ChanSetDataDialog::ChooseFormat(int format) {
    for (int f = 0; f < 3; ++f)
        data_.valueText[static_cast<std::size_t>(f)] = value_[f]->text().toStdString();
    data_.ChooseFormat(format);
    ShowValues();
    group_->setTitle(QString::fromStdString(data_.GroupCaption()));
}

bool ChanSetDataDialog::Apply() {
    for (int j = 0; j < 3; ++j) {
        data_.offsetText[static_cast<std::size_t>(j)] = offset_[j]->text().toStdString();
        data_.rangeText[static_cast<std::size_t>(j)] = range_[j]->text().toStdString();
        data_.valueText[static_cast<std::size_t>(j)] = value_[j]->text().toStdString();
    }
    SetDataRequest& r = data_.request;
    r.conditional = conditional_->isChecked();
    r.applyData = applyPart_[0]->isChecked();
    r.readOnly = readOnly_->isChecked();
    r.error = error_->isChecked();
    r.applyReadOnly = applyPart_[1]->isChecked();
    r.applyError = applyPart_[2]->isChecked();
    checking_ = true;
    const bool done = data_.Apply();
    checking_ = false;
    if (!done) {
        // The refused text is back in its edit.
        for (int j = 0; j < 3; ++j) {
            offset_[j]->setText(QString::fromStdString(data_.offsetText[static_cast<std::size_t>(j)]));
            range_[j]->setText(QString::fromStdString(data_.rangeText[static_cast<std::size_t>(j)]));
        }
        ShowValues();
        return false;
    }
    ok_->setEnabled(false);
    apply_->setEnabled(false);
    return true;
}

void ChanSetDataDialog::accept() {
    if (Apply()) QDialog::accept();
}

}  // namespace zun
