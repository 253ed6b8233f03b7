#include "tools/ui/thresholddialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include "foundation/ui/numberfield.h"
#include "foundation/ui/wheelguard.h"
#include "tools/ui/buttonrow.h"

namespace zun {

namespace {

constexpr int kRowPitch = 30;
constexpr int kVisibleRows = 12;  // more rows scroll

QToolButton* Arrow(Qt::ArrowType type, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setArrowType(type);
    b->setFixedSize(18, 12);
    b->setAutoRepeat(true);
    return b;
}

}  // namespace

ThresholdSegmentationDialog::ThresholdSegmentationDialog(CThresholdSegmentation& seg, QWidget* parent)
    : QDialog(parent), seg_(seg) {
    seg_.initialising = true;
    setWindowTitle(QString::fromStdString(seg.Caption()));
    auto* layout = new QVBoxLayout(this);

    auto* rowsWidget = new QWidget(this);
    auto* grid = new QGridLayout(rowsWidget);
    grid->setVerticalSpacing(kRowPitch - 24);
    grid->addWidget(new QLabel("Compositions", rowsWidget), 0, 0);
    grid->addWidget(new QLabel("Lower threshold", rowsWidget), 0, 1);
    grid->addWidget(new QLabel("Upper threshold", rowsWidget), 0, 2);
    for (int k = 0; k <= seg.LastRow(); ++k) {
        RowWidgets w{};
        grid->addWidget(new QLabel(QString::fromStdString(seg.RowName(k)), rowsWidget), k + 1, 0);
        for (int u = 0; u < 2; ++u) {
            auto* cell = new QWidget(rowsWidget);
            auto* h = new QHBoxLayout(cell);
            h->setContentsMargins(0, 0, 0, 0);
            h->setSpacing(1);
            w.edit[u] = RealField(new QLineEdit(cell));
            h->addWidget(w.edit[u]);
            auto* arrows = new QVBoxLayout;
            arrows->setSpacing(0);
            w.spin[u][1] = Arrow(Qt::UpArrow, cell);
            w.spin[u][0] = Arrow(Qt::DownArrow, cell);
            arrows->addWidget(w.spin[u][1]);
            arrows->addWidget(w.spin[u][0]);
            h->addLayout(arrows);
            h->addStretch();
            grid->addWidget(cell, k + 1, 1 + u);
            const bool upper = u == 1;
            connect(w.edit[u], &QLineEdit::textEdited, this, [this, k, upper] { OnEdited(k, upper); });
            // The up arrow moves the threshold up: a spin delta of -1.
            connect(w.spin[u][1], &QToolButton::clicked, this, [this, k, upper] { OnSpin(k, upper, -1); });
            connect(w.spin[u][0], &QToolButton::clicked, this, [this, k, upper] { OnSpin(k, upper, 1); });
        }
        rows_.push_back(w);
    }
    if (seg.LastRow() + 1 > kVisibleRows) {
        auto* scroll = new QScrollArea(this);
        scroll->setWidget(rowsWidget);
        ScrollAreaTakesWheel(scroll);
        scroll->setWidgetResizable(true);
        scroll->setMinimumHeight(kVisibleRows * kRowPitch);
        layout->addWidget(scroll);
    } else {
        layout->addWidget(rowsWidget);
    }

    auto* switches = new QHBoxLayout;
    imageUnit_ = new QCheckBox("Use image unit", this);
    physicalUnit_ = new QCheckBox("Use physical unit", this);
    sorted_ = new QCheckBox("Sorted by value", this);
    switches->addWidget(imageUnit_);
    switches->addWidget(physicalUnit_);
    switches->addWidget(sorted_);
    layout->addLayout(switches);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 100);
    progress_->hide();
    layout->addWidget(progress_);
    layout->addLayout(ApplyCloseRow(this, apply_, close_));
    apply_->setAutoDefault(false);
    close_->setAutoDefault(false);

    imageUnit_->setChecked(seg.GetUnit() == CThresholdSegmentation::kImageUnit);
    physicalUnit_->setChecked(seg.GetUnit() == CThresholdSegmentation::kPhysicalUnit);
    sorted_->setChecked(seg.sortedByValue);
    apply_->setEnabled(seg.Modified());
    ShowAll();
    connect(imageUnit_, &QCheckBox::clicked, this, [this] { OnUnit(true); });
    connect(physicalUnit_, &QCheckBox::clicked, this, [this] { OnUnit(false); });
    connect(sorted_, &QCheckBox::clicked, this, [this](bool on) { seg_.sortedByValue = on; });
    connect(apply_, &QPushButton::clicked, this, [this] { OnApply(); });
    connect(close_, &QPushButton::clicked, this, [this] { done(8); });
    setMinimumWidth(410);
    seg_.initialising = false;
}

QLineEdit* ThresholdSegmentationDialog::Edit(int row, bool upper) const {
    return rows_[static_cast<std::size_t>(row)].edit[upper ? 1 : 0];
}

QToolButton* ThresholdSegmentationDialog::SpinButton(int row, bool upper, bool up) const {
    return rows_[static_cast<std::size_t>(row)].spin[upper ? 1 : 0][up ? 1 : 0];
}

void ThresholdSegmentationDialog::Show(int row, bool upper) {
    QLineEdit* e = Edit(row, upper);
    const QSignalBlocker block(e);
    e->setText(QString::fromStdString(seg_.Text(row, upper)));
}

void ThresholdSegmentationDialog::ShowAll() {
    for (int k = 0; k <= seg_.LastRow(); ++k) {
        Show(k, false);
        Show(k, true);
    }
}

void ThresholdSegmentationDialog::Touched() {
    apply_->setEnabled(true);
    progress_->hide();
}

void ThresholdSegmentationDialog::OnEdited(int row, bool upper) {
    for (const auto& c : seg_.EditChanged(row, upper, Edit(row, upper)->text().toStdString()))
        Show(c.row, c.upper);
    Touched();
}

void ThresholdSegmentationDialog::OnSpin(int row, bool upper, int delta) {
    // The stepped value is written into the edit, which then counts as typed.
    const std::string text = seg_.Spin(row, upper, delta);
    Show(row, upper);
    for (const auto& c : seg_.EditChanged(row, upper, text)) Show(c.row, c.upper);
    Touched();
}

void ThresholdSegmentationDialog::OnUnit(bool image) {
    if (image)
        seg_.ImageUnitClicked(imageUnit_->isChecked());
    else
        seg_.PhysicalUnitClicked(physicalUnit_->isChecked());
    imageUnit_->setChecked(seg_.GetUnit() == CThresholdSegmentation::kImageUnit);
    physicalUnit_->setChecked(seg_.GetUnit() == CThresholdSegmentation::kPhysicalUnit);
    ShowAll();
}

void ThresholdSegmentationDialog::OnApply() {
    apply_->setEnabled(false);
    progress_->setValue(0);
    progress_->show();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool done = seg_.Apply([this](int p) { progress_->setValue(p); });
    QApplication::restoreOverrideCursor();
    if (!done) apply_->setEnabled(true);
}

}  // namespace zun
