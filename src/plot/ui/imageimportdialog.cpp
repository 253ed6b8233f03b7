#include "plot/ui/imageimportdialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>

#include "document/zundoc.h"
#include "foundation/ui/numberfield.h"

namespace zun {

namespace {
QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
}  // namespace

ImageImportDialog::ImageImportDialog(ImageImportOptions& options, Prompt* prompt, QWidget* parent)
    : QFileDialog(parent), options_(options), prompt_(prompt) {
    // The options panel needs the widget dialog: a platform dialog takes no extra controls.
    setOption(QFileDialog::DontUseNativeDialog, true);
    setFileMode(QFileDialog::ExistingFiles);
    setAcceptMode(QFileDialog::AcceptOpen);
    setWindowTitle(tr("Import Image Files"));
    setNameFilter(options_.FileTypes());

    auto* panel = new QWidget(this);
    auto* box = new QVBoxLayout(panel);
    box->setContentsMargins(0, 0, 0, 0);
    if (options_.ctChannel) {
        auto* common = new QGroupBox(tr("Channel-common Settings"), panel);
        auto* commonLayout = new QVBoxLayout(common);
        commonLayout->addWidget(BuildCommon(common));
        auto* ct = new QGroupBox(tr("CT Channel-specific Settings"), panel);
        auto* ctLayout = new QVBoxLayout(ct);
        ctLayout->addWidget(BuildCt(ct));
        auto* row = new QHBoxLayout;
        row->addWidget(common);
        row->addWidget(ct, 1);
        box->addLayout(row);
    } else {
        box->addWidget(BuildCommon(panel));
    }
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(panel, grid->rowCount(), 0, 1, grid->columnCount());
    else
        layout()->addWidget(panel);
    ShowStates();
}

QWidget* ImageImportDialog::BuildCommon(QWidget* parent) {
    auto* w = new QWidget(parent);
    applyScale = new QCheckBox(tr("Apply Scale Factor:"), w);
    scale = RealField(new QLineEdit(Q(options_.scaleText), w));
    applyOffset = new QCheckBox(tr("Apply Zero Offset:"), w);
    offset = RealField(new QLineEdit(Q(options_.offsetText), w));
    crop = new QCheckBox(tr("Crop Image(s):"), w);
    cropX = IntegerField(new QLineEdit(Q(options_.cropXText), w), 0, kAxisCountMax);
    cropY = IntegerField(new QLineEdit(Q(options_.cropYText), w), 0, kAxisCountMax);
    retain = new QCheckBox(tr("Retain Original Imported Images in Memory"), w);
    applyScale->setChecked(options_.applyScale);
    applyOffset->setChecked(options_.applyZeroOffset);
    crop->setChecked(options_.crop);
    retain->setChecked(options_.retain);
    auto* grid = new QGridLayout(w);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(applyScale, 0, 0);
    grid->addWidget(scale, 0, 1, 1, 3);
    grid->addWidget(applyOffset, 1, 0);
    grid->addWidget(offset, 1, 1, 1, 3);
    grid->addWidget(crop, 2, 0);
    grid->addWidget(new QLabel(tr("X Offset:"), w), 2, 1);
    grid->addWidget(cropX, 2, 2);
    grid->addWidget(new QLabel(tr("Y Offset:"), w), 3, 1);
    grid->addWidget(cropY, 3, 2);
    grid->addWidget(retain, 4, 0, 1, 4);
    for (QCheckBox* b : {applyScale, applyOffset, crop})
        connect(b, &QCheckBox::toggled, this, [this] {
            options_.applyScale = applyScale->isChecked();
            options_.applyZeroOffset = applyOffset->isChecked();
            options_.crop = crop->isChecked();
            ShowStates();
        });
    connect(retain, &QCheckBox::toggled, this, [this](bool on) { options_.retain = on; });
    return w;
}

QWidget* ImageImportDialog::BuildCt(QWidget* parent) {
    auto* w = new QWidget(parent);
    rescale = new QCheckBox(Q(importmsg::kRescaleLabel), w);
    rescale->setChecked(options_.rescale);
    energy = RealField(new QLineEdit(Q(options_.energyText), w));
    energy->setEnabled(false);
    autoGenerate = new QRadioButton(tr("Auto-generate Total Linear Attenuation Coefficients"), w);
    manual = new QRadioButton(tr("Manually enter Total Linear Attenuation Coefficients"), w);
    auto* radios = new QButtonGroup(w);
    radios->addButton(autoGenerate);
    radios->addButton(manual);
    autoGenerate->setChecked(options_.limitsEditable && options_.autoGenerate);
    manual->setChecked(options_.limitsEditable && !options_.autoGenerate);
    lacZero = RealField(new QLineEdit(Q(options_.lacZeroText), w));
    lacOne = RealField(new QLineEdit(Q(options_.lacOneText), w));
    note = new QLabel(Q(importmsg::kLimitsNote), w);
    note->setStyleSheet(QStringLiteral("color: red"));
    note->setWordWrap(true);
    note->setVisible(options_.NoteShown());
    auto* grid = new QGridLayout(w);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(rescale, 0, 0);
    grid->addWidget(energy, 0, 1);
    grid->addWidget(autoGenerate, 1, 0, 1, 2);
    grid->addWidget(manual, 2, 0, 1, 2);
    grid->addWidget(new QLabel(tr("Linear attenuation coefficient  for image value 0.0 (1/cm):"), w), 3, 0);
    grid->addWidget(lacZero, 3, 1);
    grid->addWidget(new QLabel(tr("Linear attenuation coefficient  for image value 1.0 (1/cm):"), w), 4, 0);
    grid->addWidget(lacOne, 4, 1);
    grid->addWidget(note, 5, 0, 1, 2);
    connect(rescale, &QCheckBox::toggled, this, [this](bool on) { options_.rescale = on; });
    connect(autoGenerate, &QRadioButton::clicked, this, [this] {
        options_.autoGenerate = true;
        ShowStates();
    });
    connect(manual, &QRadioButton::clicked, this, [this] {
        options_.autoGenerate = false;
        ShowStates();
    });
    return w;
}

void ImageImportDialog::ShowStates() {
    scale->setEnabled(options_.ScaleEnabled());
    offset->setEnabled(options_.OffsetEnabled());
    cropX->setEnabled(options_.CropEnabled());
    cropY->setEnabled(options_.CropEnabled());
    if (!options_.ctChannel) return;
    autoGenerate->setEnabled(options_.RadiosEnabled());
    manual->setEnabled(options_.RadiosEnabled());
    lacZero->setEnabled(options_.CoefficientsEnabled());
    lacOne->setEnabled(options_.CoefficientsEnabled());
}

void ImageImportDialog::ReadBack() {
    options_.applyScale = applyScale->isChecked();
    options_.applyZeroOffset = applyOffset->isChecked();
    options_.crop = crop->isChecked();
    options_.retain = retain->isChecked();
    options_.scaleText = scale->text().toStdString();
    options_.offsetText = offset->text().toStdString();
    options_.cropXText = cropX->text().toStdString();
    options_.cropYText = cropY->text().toStdString();
    if (!options_.ctChannel) return;
    options_.rescale = rescale->isChecked();
    options_.lacZeroText = lacZero->text().toStdString();
    options_.lacOneText = lacOne->text().toStdString();
}

void ImageImportDialog::accept() {
    ReadBack();
    switch (options_.Accept(prompt_)) {
        case ImageImportOptions::kNoField:
            QFileDialog::accept();
            return;
        case ImageImportOptions::kLacZeroField:
            lacZero->setFocus();
            return;
        case ImageImportOptions::kLacOneField:
            lacOne->setFocus();
            return;
        case ImageImportOptions::kScaleField:
            scale->setFocus();
            return;
        case ImageImportOptions::kOffsetField:
            offset->setFocus();
            return;
        case ImageImportOptions::kCropXField:
            cropX->setFocus();
            return;
        case ImageImportOptions::kCropYField:
            cropY->setFocus();
            return;
    }
}

ImageImportChoice RunImageImportDialog(CZunDoc& doc, int channel, bool limitsEditable, QWidget* parent) {
    ImageImportChoice choice;
    choice.options = ImageImportOptions::FromChannel(doc, channel, limitsEditable);
    choice.options.Open();
    ImageImportDialog dialog(choice.options, doc.GetPromptSink(), parent);
    if (dialog.exec() != QDialog::Accepted) return choice;
    for (const QString& f : dialog.selectedFiles()) choice.files.push_back(f.toStdString());
    // The files fill the slices in the order of their names.
    std::sort(choice.files.begin(), choice.files.end());
    return choice;
}

}  // namespace zun
