#include "tools/ui/samplegriddialog.h"
#include "foundation/ui/numberfield.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

namespace zun {

namespace {
QLineEdit* GridEdit(const std::string& text, QWidget* parent) {
    auto* e = new QLineEdit(QString::fromStdString(text), parent);
    e->setMaxLength(1024);
    return e;
}
}  // namespace

SampleGridDialog::SampleGridDialog(SetupSampleGrid& grid, Prompt& prompt, QWidget* parent)
    : QDialog(parent), grid_(grid), prompt_(prompt) {
    setWindowTitle(QString::fromStdString(grid.caption));
    auto* layout = new QVBoxLayout(this);

    auto* discrete = new QGroupBox("Sample grid discrete size and offset (voxels)", this);
    auto* g = new QGridLayout(discrete);
    const char* axes[3] = {"X", "Y", "Z"};
    for (int k = 0; k < 3; ++k) {
        sizes_[k] =
            IntegerField(GridEdit(grid.sizeText[static_cast<std::size_t>(k)], discrete), 0, kAxisCountMax);
        offsets_[k] = IntegerField(GridEdit(grid.offsetText[static_cast<std::size_t>(k)], discrete),
                                   -kAxisCountMax, kAxisCountMax);
        g->addWidget(new QLabel(QString("%1-axis size:").arg(axes[k]), discrete), k, 0);
        g->addWidget(sizes_[k], k, 1);
        g->addWidget(new QLabel(QString("%1-axis offset:").arg(axes[k]), discrete), k, 2);
        g->addWidget(offsets_[k], k, 3);
        connect(sizes_[k], &QLineEdit::textChanged, this, [this] { RefreshCount(); });
    }
    count_ = new QLabel(discrete);
    g->addWidget(count_, 3, 0, 1, 4);
    layout->addWidget(discrete);

    auto* phys = new QGroupBox("Voxel physical size (m)", this);
    auto* p = new QGridLayout(phys);
    const char* names[4] = {"Multiplier:", "X-edge size:", "Y-edge size:", "Z-edge size:"};
    for (int i = 0; i < 4; ++i) {
        physical_[i] = RealField(GridEdit(grid.physicalText[static_cast<std::size_t>(i)], phys));
        p->addWidget(new QLabel(names[i], phys), i / 2, (i % 2) * 2);
        p->addWidget(physical_[i], i / 2, (i % 2) * 2 + 1);
    }
    layout->addWidget(phys);

    defaults_ = new QCheckBox("Set default values for undefined compositional voxels", this);
    defaults_->setChecked(grid.setDefaults);
    layout->addWidget(defaults_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    RefreshCount();
}

void SampleGridDialog::Store() {
    for (std::size_t k = 0; k < 3; ++k) {
        grid_.sizeText[k] = sizes_[k]->text().toStdString();
        grid_.offsetText[k] = offsets_[k]->text().toStdString();
    }
    for (std::size_t i = 0; i < 4; ++i) grid_.physicalText[i] = physical_[i]->text().toStdString();
    grid_.setDefaults = defaults_->isChecked();
}

void SampleGridDialog::RefreshCount() {
    Store();
    const VoxelCountLine line = grid_.CountLine();
    count_->setText(QString::fromStdString(line.text));
    QPalette pal = count_->palette();
    pal.setColor(QPalette::WindowText, QColor(line.rgb[0], line.rgb[1], line.rgb[2]));
    count_->setPalette(pal);
}

void SampleGridDialog::accept() {
    Store();
    if (grid_.Accept(prompt_)) QDialog::accept();
}

bool RunSampleGridDialog(SetupSampleGrid& grid, Prompt& prompt, QWidget* parent) {
    SampleGridDialog dlg(grid, prompt, parent);
    return dlg.exec() == QDialog::Accepted;
}

}  // namespace zun
