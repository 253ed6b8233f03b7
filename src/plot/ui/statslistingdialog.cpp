#include "plot/ui/statslistingdialog.h"
#include "foundation/ui/numberfield.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zun {

StatsListingDialog::StatsListingDialog(StatsListingModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
    setWindowTitle(QString::fromStdString(model_.caption));
    text = new QPlainTextEdit(this);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    mono.setPointSize(10);
    text->setFont(mono);

    auto* options = new QGroupBox(tr("Options"), this);
    average = new QCheckBox(tr("Average"), options);
    stdev = new QCheckBox(tr("Standard Deviation"), options);
    min = new QCheckBox(tr("Min"), options);
    max = new QCheckBox(tr("Max"), options);
    count = new QCheckBox(tr("N"), options);
    width = new QLineEdit(QString::number(model_.width), options);
    IntegerField(width, 1, StatsListingModel::kMaxWidth);
    width->setMaximumWidth(width->minimumWidth());
    auto* row = new QHBoxLayout(options);
    for (QCheckBox* c : {average, stdev, min, max, count}) row->addWidget(c);
    row->addSpacing(12);
    row->addWidget(new QLabel(tr("Column Width:"), options));
    row->addWidget(width);
    row->addStretch();
    average->setChecked(model_.columns & StatsListingModel::kAverage);
    stdev->setChecked(model_.columns & StatsListingModel::kStdev);
    min->setChecked(model_.columns & StatsListingModel::kMin);
    max->setChecked(model_.columns & StatsListingModel::kMax);
    count->setChecked(model_.columns & StatsListingModel::kCount);

    refreshButton = new QPushButton(tr("Refresh"), this);
    saveAsButton = new QPushButton(tr("Save As..."), this);
    closeButton = new QPushButton(tr("Close"), this);
    refreshButton->setEnabled(false);
    closeButton->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(refreshButton);
    buttons->addStretch();
    buttons->addWidget(saveAsButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(options);
    layout->addWidget(text, 1);
    layout->addLayout(buttons);

    for (QCheckBox* c : {average, stdev, min, max, count})
        connect(c, &QCheckBox::toggled, this, &StatsListingDialog::OptionsChanged);
    connect(width, &QLineEdit::textEdited, this, &StatsListingDialog::OptionsChanged);
    connect(refreshButton, &QPushButton::clicked, this, &StatsListingDialog::Refresh);
    connect(saveAsButton, &QPushButton::clicked, this, &StatsListingDialog::SaveAs);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);

    model_.RefreshListing();
    ShowText();
    resize(720, 420);
    setMinimumSize(layout->minimumSize());
}

void StatsListingDialog::ShowText() {
    text->setPlainText(QString::fromStdString(model_.Text()));
}

void StatsListingDialog::OptionsChanged() {
    refreshButton->setEnabled(true);
    closeButton->setDefault(false);
    refreshButton->setDefault(true);
}

void StatsListingDialog::Refresh() {
    std::int32_t columns = 0;
    if (average->isChecked()) columns |= StatsListingModel::kAverage;
    if (stdev->isChecked()) columns |= StatsListingModel::kStdev;
    if (min->isChecked()) columns |= StatsListingModel::kMin;
    if (max->isChecked()) columns |= StatsListingModel::kMax;
    if (count->isChecked()) columns |= StatsListingModel::kCount;
    if (!model_.Refresh(width->text().toStdString(), columns)) return;
    ShowText();
    refreshButton->setEnabled(false);
    refreshButton->setDefault(false);
    closeButton->setDefault(true);
}

void StatsListingDialog::SaveAs() {
    const QString caption = QString::fromStdString("Save " + model_.caption);
    std::string path;
    if (chooseFile) {
        path = chooseFile(caption);
    } else {
        QFileDialog dialog(this, caption, QString(), tr("Text files (*.txt)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("txt"));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            path = dialog.selectedFiles().front().toStdString();
    }
    if (!path.empty()) model_.Save(path);
}

}  // namespace zun
