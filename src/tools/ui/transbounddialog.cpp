#include "tools/ui/transbounddialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "document/zundoc.h"
#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/numberfield.h"
#include "platform/progress.h"
#include "platform/prompt.h"
#include "tools/boundarywizard.h"
#include "tools/ui/addboundpages.h"
#include "tools/ui/addboundsheet.h"
#include "tools/ui/buttonrow.h"

namespace zun {

TransBoundDialog::TransBoundDialog(BoundaryTransform& transform, CZunDoc& doc, QWidget* parent)
    : QDialog(parent), transform_(transform), doc_(doc) {
    WaitCursor wait;
    setWindowTitle("Transform");
    auto* layout = new QVBoxLayout(this);
    auto* groups = new QHBoxLayout;
    auto* rotBox = new QGroupBox("Rotation, degrees", this);
    auto* rot = new QGridLayout(rotBox);
    rotate_ = new QCheckBox("Rotate:", rotBox);
    rot->addWidget(rotate_, 0, 0, 1, 2);
    auto* transBox = new QGroupBox("Translation, voxels", this);
    auto* trans = new QGridLayout(transBox);
    translate_ = new QCheckBox("Translate:", transBox);
    trans->addWidget(translate_, 0, 0, 1, 2);
    const char* axes[3] = {"X Axis:", "Y Axis:", "Z Axis:"};
    const char* offs[3] = {"X Offset:", "Y Offset:", "Z Offset:"};
    const TransformFields f = FieldsFromParams(transform_.Current());
    for (std::size_t k = 0; k < 3; ++k) {
        angleLabels_[k] = new QLabel(axes[k], rotBox);
        angles_[k] = RealField(new QLineEdit(QString::fromStdString(f.angles[k]), rotBox));
        rot->addWidget(angleLabels_[k], static_cast<int>(k) + 1, 0);
        rot->addWidget(angles_[k], static_cast<int>(k) + 1, 1);
        offsetLabels_[k] = new QLabel(offs[k], transBox);
        offsets_[k] = RealField(new QLineEdit(QString::fromStdString(f.offsets[k]), transBox));
        trans->addWidget(offsetLabels_[k], static_cast<int>(k) + 1, 0);
        trans->addWidget(offsets_[k], static_cast<int>(k) + 1, 1);
        QLineEdit* angle = angles_[k];
        OnLeavingEdit(angle, [this, k, angle] {
            LineEditField field(angle);
            if (Prompt* p = doc_.GetPrompt()) CheckEditReal(field, transform_.Current().rotation[k], *p);
        });
        QLineEdit* offset = offsets_[k];
        OnLeavingEdit(offset, [this, k, offset] {
            LineEditField field(offset);
            if (Prompt* p = doc_.GetPrompt())
                CheckEditInteger(transform_.Current().translation[k], field, *p);
        });
    }
    rotate_->setChecked(f.rotate);
    translate_->setChecked(f.translate);
    groups->addWidget(rotBox);
    groups->addWidget(transBox);
    layout->addLayout(groups);

    layout->addLayout(ApplyCloseRow(this, apply_, close_));
    close_->setDefault(true);
    connect(rotate_, &QCheckBox::toggled, this, [this] { EnableEdits(); });
    connect(translate_, &QCheckBox::toggled, this, [this] { EnableEdits(); });
    connect(apply_, &QPushButton::clicked, this, [this] { Apply(); });
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    EnableEdits();
}

TransformFields TransBoundDialog::Read() const {
    TransformFields f;
    f.rotate = rotate_->isChecked();
    f.translate = translate_->isChecked();
    for (std::size_t k = 0; k < 3; ++k) {
        f.angles[k] = angles_[k]->text().toStdString();
        f.offsets[k] = offsets_[k]->text().toStdString();
    }
    return f;
}

void TransBoundDialog::EnableEdits() {
    for (std::size_t k = 0; k < 3; ++k) {
        angles_[k]->setEnabled(rotate_->isChecked());
        angleLabels_[k]->setEnabled(rotate_->isChecked());
        offsets_[k]->setEnabled(translate_->isChecked());
        offsetLabels_[k]->setEnabled(translate_->isChecked());
    }
}

int TransBoundDialog::Apply() {
    const TransformFields fields = Read();
    int result = 0;
    {
        const std::unique_ptr<ProgressSink> progress = MakeBoundaryProgress(this, boundmsg::kTransforming);
        result = transform_.Apply(fields, progress.get());
    }
    EnableEdits();
    return result;
}

void RunTransformBoundary(CZunDoc& doc, const std::vector<std::string>& targets, QWidget* parent) {
    if (targets.empty()) return;
    BoundaryTransform transform(doc, targets);
    TransBoundDialog dlg(transform, doc, parent);
    const std::string name = doc.GetNameText().empty() ? doc.GetTitle() : doc.GetNameText();
    dlg.setWindowTitle(QString::fromStdString(BoundaryToolCaption(name, targets, "Transform")));
    dlg.exec();
}

}  // namespace zun
