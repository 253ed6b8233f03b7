#include "tools/ui/normaliserangedialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include "document/zundoc.h"
#include "foundation/ui/numberfield.h"
#include "platform/prompt.h"

namespace zun {

namespace {
constexpr int kModes[3] = {kNormaliseRedistribute, kNormaliseClip, kNormaliseNothing};
}

NormaliseRangeDialog::NormaliseRangeDialog(NormaliseModel& model, Prompt& prompt, QWidget* parent)
    : QDialog(parent), model_(model), prompt_(prompt) {
    setWindowTitle(tr(normmsg::kCaption));
    auto* grid = new QGridLayout(this);
    int row = 0;
    grid->addWidget(new QLabel(tr("Input channel"), this), row, 0);
    auto* input = new QLineEdit(QString::fromStdString(model.InputName()), this);
    input->setReadOnly(true);
    grid->addWidget(input, row++, 1, 1, 3);
    grid->addWidget(new QLabel(tr("Output channel"), this), row, 0);
    output_ = new QComboBox(this);
    for (const auto& n : model.Channels()) output_->addItem(QString::fromStdString(n));
    output_->setCurrentIndex(model.Output());
    output_->setMaxVisibleItems(4);
    connect(output_, &QComboBox::currentIndexChanged, this, [this](int i) {
        model_.SetOutput(i);
        RefreshSide(0);
        RefreshSide(1);
    });
    grid->addWidget(output_, row++, 1, 1, 3);
    grid->addWidget(new QLabel(tr("Boundary channel"), this), row, 0);
    boundary_ = new QComboBox(this);
    for (const auto& n : model.BoundaryEntries()) boundary_->addItem(QString::fromStdString(n));
    connect(boundary_, &QComboBox::currentIndexChanged, this,
            [this](int i) { model_.SetBoundarySelection(i); });
    grid->addWidget(boundary_, row++, 1, 1, 3);

    const char* sides[2] = {"Lower", "Upper"};
    const char* radioText[3] = {"Redistribute", "Clip", "Do nothing"};
    for (int side = 0; side < 2; ++side) {
        grid->addWidget(new QLabel(tr("%1 bound").arg(sides[side]), this), row, 0);
        bound_[side] = new QLineEdit(this);
        grid->addWidget(bound_[side], row, 1);
        auto* group = new QButtonGroup(this);
        auto* radios = new QHBoxLayout;
        for (int k = 0; k < 3; ++k) {
            modes_[side][k] = new QRadioButton(tr(radioText[k]), this);
            group->addButton(modes_[side][k], k);
            radios->addWidget(modes_[side][k]);
            modes_[side][k]->setChecked(model.Mode(side) == kModes[k]);
        }
        grid->addLayout(radios, row++, 2, 1, 2);
        connect(group, &QButtonGroup::idClicked, this, [this, side](int k) {
            model_.SetMode(side, kModes[k]);
            RefreshSide(side);
        });
        grid->addWidget(new QLabel(tr("%1 bound redistribution radius (pixels)").arg(sides[side]), this), row,
                        0);
        radius_[side] = new QLineEdit(this);
        // Wide enough for "Not applicable".
        const int width = fontMetrics().horizontalAdvance(QStringLiteral("Not applicable  ")) + 16;
        bound_[side]->setMinimumWidth(width);
        radius_[side]->setMinimumWidth(width);
        RealField(bound_[side]);
        IntegerField(radius_[side], 0, kAxisCountMax);
        grid->addWidget(radius_[side], row++, 1);
        connect(bound_[side], &QLineEdit::editingFinished, this, [this, side] {
            model_.SetBoundText(side, bound_[side]->text().toStdString());
            RefreshSide(side);
        });
        connect(radius_[side], &QLineEdit::editingFinished, this, [this, side] {
            model_.SetRadiusText(side, radius_[side]->text().toStdString());
            RefreshSide(side);
        });
        RefreshSide(side);
    }
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->setValue(0);
    grid->addWidget(progress_, row++, 0, 1, 4);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    execute_ = new QPushButton(tr("Execute"), this);
    execute_->setDefault(true);
    close_ = new QPushButton(QString::fromStdString(model.CloseButtonText()), this);
    buttons->addWidget(execute_);
    buttons->addWidget(close_);
    grid->addLayout(buttons, row++, 0, 1, 4);
    connect(execute_, &QPushButton::clicked, this, &NormaliseRangeDialog::OnExecute);
    connect(close_, &QPushButton::clicked, this, [this] {
        if (model_.Running())
            model_.Stop();
        else
            QDialog::reject();
    });
    poll_ = new QTimer(this);
    poll_->setInterval(100);
    connect(poll_, &QTimer::timeout, this, [this] { progress_->setValue(model_.Progress().Percent()); });
}

void NormaliseRangeDialog::RefreshSide(int side) {
    bound_[side]->setText(QString::fromStdString(model_.BoundText(side)));
    bound_[side]->setEnabled(model_.BoundEnabled(side) && !model_.Running());
    radius_[side]->setText(QString::fromStdString(model_.RadiusText(side)));
    radius_[side]->setEnabled(model_.RadiusEnabled(side) && !model_.Running());
}

void NormaliseRangeDialog::SetControlsEnabled(bool on) {
    output_->setEnabled(on);
    boundary_->setEnabled(on);
    execute_->setEnabled(on);
    for (auto& side : modes_)
        for (QRadioButton* r : side) r->setEnabled(on);
    RefreshSide(0);
    RefreshSide(1);
    close_->setText(QString::fromStdString(model_.CloseButtonText()));
}

void NormaliseRangeDialog::OnExecute() {
    if (model_.Running()) return;
    // The edits a click did not leave yet.
    for (int side = 0; side < 2; ++side) {
        model_.SetBoundText(side, bound_[side]->text().toStdString());
        model_.SetRadiusText(side, radius_[side]->text().toStdString());
    }
    QPointer<NormaliseRangeDialog> self(this);
    poll_->start();
    const std::string message = model_.Execute([self](int result) {
        if (self) self->OnEnded(result);
    });
    if (!self) return;
    if (!message.empty()) {
        poll_->stop();
        prompt_.Tell(message, PromptIcon::Information);
    }
    SetControlsEnabled(!model_.Running());
}

void NormaliseRangeDialog::OnEnded(int) {
    poll_->stop();
    progress_->setValue(0);
    SetControlsEnabled(true);
    if (closePending_) QDialog::reject();
}

void NormaliseRangeDialog::reject() {
    if (model_.Running()) {
        // Closed during a run: the dialog goes once the worker's end has arrived.
        closePending_ = true;
        model_.Stop();
        return;
    }
    QDialog::reject();
}

void RunNormaliseRangeDialog(CZunDoc& doc, int input, Prompt& prompt, QWidget* parent) {
    NormaliseModel model(doc, input);
    NormaliseRangeDialog dlg(model, prompt, parent);
    dlg.exec();
}

}  // namespace zun
