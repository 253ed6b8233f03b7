#include "tools/ui/mapchanneldialog.h"
#include "foundation/ui/numberfield.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zun {

namespace {

QComboBox* Combo(const QStringList& items, int current, QWidget* parent) {
    auto* c = new QComboBox(parent);
    c->addItems(items);
    c->setMaxVisibleItems(std::max(1, static_cast<int>(items.size())));
    c->setCurrentIndex(current);
    return c;
}

const QStringList kActions{"replace", "OR existing", "AND existing", "Add to existing", "Do nothing"};
const QStringList kKinds{"raw const", "norm const", "input value *", "input value +"};

}  // namespace

MapChannelDataDialog::MapChannelDataDialog(QWidget* parent, CZunDoc& doc, MapDataSpec& settings)
    : QDialog(parent), data_(doc, settings) {
    const MapDataSpec& s = data_.spec;
    setWindowTitle(QString::fromStdString(data_.Title()));
    auto* layout = new QVBoxLayout(this);

    auto* condition = new QHBoxLayout;
    unit_ = Combo({"raw", "normalised"}, s.inputUnit, this);
    anyAll_ =
        Combo({"satisfies any following conditions", "satisfies all following conditions"}, s.anyOrAll, this);
    condition->addWidget(new QLabel("If input channel", this));
    condition->addWidget(unit_);
    condition->addWidget(new QLabel("value", this));
    condition->addWidget(anyAll_);
    condition->addStretch();
    layout->addLayout(condition);
    rule_ = new QLineEdit(this);
    layout->addWidget(rule_);

    auto* bound = new QHBoxLayout;
    QStringList boundaries;
    for (const std::string& b : data_.BoundaryChoices()) boundaries << QString::fromStdString(b);
    boundary_ = Combo(boundaries, static_cast<int>(s.boundary), this);
    bound->addWidget(new QLabel("In boundary", this));
    bound->addWidget(boundary_);
    bound->addStretch();
    layout->addLayout(bound);

    auto* rowsGrid = new QGridLayout;
    for (int m = 0; m < 2; ++m) {
        const bool match = m == 0;
        action_[m] = Combo(kActions, match ? s.matchAction : s.elseAction, this);
        label_[m] = new QLabel("outout channel value with", this);
        kind_[m] = Combo(kKinds, match ? s.matchKind : s.elseKind, this);
        value_[m] = new QLineEdit(this);
        value_[m]->setMaxLength(255);
        value_[m]->setMinimumWidth(90);
        RealField(value_[m]);
        if (!match) rowsGrid->addWidget(new QLabel("else", this), 1, 0);
        rowsGrid->addWidget(action_[m], m, 1);
        rowsGrid->addWidget(label_[m], m, 2);
        rowsGrid->addWidget(kind_[m], m, 3);
        rowsGrid->addWidget(value_[m], m, 4);
        connect(action_[m], &QComboBox::activated, this, [this, match](int a) {
            TakeTexts();
            data_.SetAction(match, a);
            ShowRows();
        });
        connect(kind_[m], &QComboBox::activated, this, [this, match](int k) {
            TakeTexts();
            data_.SetKind(match, k);
            ShowTexts();
        });
    }
    layout->addLayout(rowsGrid);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    ok_ = new QPushButton("OK", this);
    auto* cancel = new QPushButton("Cancel", this);
    ok_->setDefault(true);
    buttons->addWidget(ok_);
    buttons->addWidget(cancel);
    layout->addLayout(buttons);

    connect(unit_, &QComboBox::activated, this, [this](int u) {
        TakeTexts();
        data_.SetUnit(u);
        ShowTexts();
    });
    connect(anyAll_, &QComboBox::activated, this, [this](int a) { data_.spec.anyOrAll = a; });
    connect(boundary_, &QComboBox::activated, this,
            [this](int b) { data_.spec.boundary = static_cast<std::uint32_t>(b); });
    connect(ok_, &QPushButton::clicked, this, [this] { Run(); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    ShowTexts();
    ShowRows();
}

void MapChannelDataDialog::ShowTexts() {
    rule_->setText(QString::fromStdString(data_.ruleText));
    value_[0]->setText(QString::fromStdString(data_.matchText));
    value_[1]->setText(QString::fromStdString(data_.elseText));
}

void MapChannelDataDialog::ShowRows() {
    for (int m = 0; m < 2; ++m) {
        const bool visible = data_.RowVisible(m == 0);
        label_[m]->setVisible(visible);
        kind_[m]->setVisible(visible);
        value_[m]->setVisible(visible);
    }
}

void MapChannelDataDialog::TakeTexts() {
    data_.ruleText = rule_->text().toStdString();
    data_.matchText = value_[0]->text().toStdString();
    data_.elseText = value_[1]->text().toStdString();
}

int MapChannelDataDialog::Run() {
    TakeTexts();
    setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const int result = data_.Run();
    QApplication::restoreOverrideCursor();
    setEnabled(true);
    ShowTexts();
    if (result == 0) accept();
    return result;
}

}  // namespace zun
