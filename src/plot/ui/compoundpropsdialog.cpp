#include "plot/ui/compoundpropsdialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "document/zundoc.h"
#include "foundation/ui/numberfield.h"
#include "model/sample.h"
#include "plot/ui/compoundtextdialog.h"

namespace zun {

CompoundPropsDialog::CompoundPropsDialog(CompoundPropsModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
    setWindowTitle(QString::fromStdString(model_.title));
    Build();
    ShowFields();
    ShowButtons();
}

void CompoundPropsDialog::Build() {
    elements = new QListWidget(this);
    for (const std::string& s : CompoundPropsModel::Symbols()) elements->addItem(QString::fromStdString(s));
    elements->setCurrentRow(0);
    elements->setFixedWidth(elements->fontMetrics().horizontalAdvance(QStringLiteral("MMMMMM")) + 30);
    insertButton = new QToolButton(this);
    insertButton->setArrowType(Qt::RightArrow);
    insertButton->setToolTip(tr("Insert the element into the formula"));
    insertButton->setEnabled(elements->count() > 0);

    formula = new QLineEdit(this);
    density = RealField(new QLineEdit(this));
    estimateButton = new QPushButton(tr("Estimate Density"), this);
    accuracy = RealField(new QLineEdit(this));
    autoRename = new QCheckBox(this);
    autoRename->setLayoutDirection(Qt::RightToLeft);  // the text stands left of the box
    autoRename->setText(tr("Auto Rename Channel When Composition Changes:"));
    renameButton = new QPushButton(tr("Rename Channel..."), this);
    okButton = new QPushButton(tr("OK"), this);
    applyButton = new QPushButton(tr("Apply"), this);
    cancelButton = new QPushButton(tr("Cancel"), this);
    okButton->setDefault(true);

    auto* listColumn = new QVBoxLayout;
    listColumn->addWidget(new QLabel(tr("Available"), this));
    listColumn->addWidget(elements);
    auto* arrowColumn = new QVBoxLayout;
    arrowColumn->addStretch();
    arrowColumn->addWidget(insertButton);
    arrowColumn->addStretch();

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(tr("Formula"), this), 0, 0, 1, 2);
    fields->addWidget(formula, 1, 0, 1, 2);
    fields->addWidget(new QLabel(tr("Density (g/cm^3):"), this), 2, 0);
    fields->addWidget(density, 2, 1);
    fields->addWidget(estimateButton, 3, 1);
    fields->addWidget(new QLabel(tr("Volume fraction relative accuracy (0-1):"), this), 4, 0);
    fields->addWidget(accuracy, 4, 1);
    fields->addWidget(autoRename, 5, 0, 1, 2, Qt::AlignLeft);
    fields->addWidget(renameButton, 6, 1);
    fields->setRowStretch(7, 1);

    auto* top = new QHBoxLayout;
    top->addLayout(listColumn);
    top->addLayout(arrowColumn);
    top->addLayout(fields, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(applyButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(buttons);

    connect(elements, &QListWidget::itemDoubleClicked, this, [this] { InsertSelected(); });
    connect(insertButton, &QToolButton::clicked, this, [this] { InsertSelected(); });
    connect(formula, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (filling_) return;
        model_.OnFormulaChanged(t.toStdString());
        ShowButtons();
    });
    connect(density, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (filling_) return;
        model_.OnDensityChanged(t.toStdString());
        ShowButtons();
    });
    connect(accuracy, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (filling_) return;
        model_.OnAccuracyChanged(t.toStdString());
        ShowButtons();
    });
    connect(autoRename, &QCheckBox::clicked, this, [this](bool on) {
        model_.OnAutoRenameChanged(on);
        ShowButtons();
    });
    connect(estimateButton, &QPushButton::clicked, this, [this] {
        model_.EstimateDensity();
        filling_ = true;
        density->setText(QString::fromStdString(model_.densityText));
        filling_ = false;
    });
    connect(renameButton, &QPushButton::clicked, this, [this] {
        if (renameChannel) renameChannel(model_.ChannelName());
    });
    connect(okButton, &QPushButton::clicked, this, &CompoundPropsDialog::accept);
    connect(applyButton, &QPushButton::clicked, this, [this] { RunApply(true); });
    connect(cancelButton, &QPushButton::clicked, this, &CompoundPropsDialog::reject);
}

void CompoundPropsDialog::ShowFields() {
    filling_ = true;
    formula->setText(QString::fromStdString(model_.formulaText));
    density->setText(QString::fromStdString(model_.densityText));
    accuracy->setText(QString::fromStdString(model_.accuracyText));
    autoRename->setChecked(model_.autoRename);
    filling_ = false;
}

void CompoundPropsDialog::ShowButtons() {
    estimateButton->setEnabled(model_.estimateEnabled);
    applyButton->setEnabled(model_.applyEnabled);
}

void CompoundPropsDialog::InsertSelected() {
    QListWidgetItem* item = elements->currentItem();
    if (!item || !item->isSelected()) return;
    formula->insert(item->text());
    formula->setFocus();
}

bool CompoundPropsDialog::RunApply(bool refresh) {
    // The edits may not have reached the model when a test or a paste skipped the signals.
    model_.formulaText = formula->text().toStdString();
    model_.densityText = density->text().toStdString();
    model_.accuracyText = accuracy->text().toStdString();
    model_.autoRename = autoRename->isChecked();
    switch (model_.Apply(refresh)) {
        case CompoundPropsModel::kBadDensity:
            density->setFocus();
            return false;
        case CompoundPropsModel::kBadAccuracy:
            accuracy->setFocus();
            return false;
        case CompoundPropsModel::kBadFormula:
            formula->setFocus();
            return false;
        case CompoundPropsModel::kApplied:
            break;
    }
    if (refresh) ShowFields();
    ShowButtons();
    return true;
}

void CompoundPropsDialog::accept() {
    // A rejected entry keeps the dialog open so the user's other edits are not lost.
    if (RunApply(false)) QDialog::accept();
}

void CompoundPropsDialog::reject() {
    model_.Cancel();
    QDialog::reject();
}

int RunCompoundPropsDialog(CZunDoc& doc, int channel, QWidget* parent,
                           std::function<void(const std::string& name)> renameChannel) {
    CompoundPropsModel model(doc, channel, doc.GetPromptSink());
    if (!model.Open()) return QDialog::Rejected;
    // The attenuation window shows values of this composition.
    model.refreshDependents = model.compositionRestored = [&doc](int index) {
        if (CompoundTextDialog* w = FindXrayAttenuationWindow(doc)) w->UpdateChannel(index);
    };
    model.title = doc.GetTitle() + ": Channel '" + model.ChannelName() + "' Composition Properties";
    doc.propertyDialogOpen[CZunDoc::kCompositionDialog] = true;
    CompoundPropsDialog dialog(model, parent);
    dialog.renameChannel = std::move(renameChannel);
    const int result = dialog.exec();
    doc.propertyDialogOpen[CZunDoc::kCompositionDialog] = false;
    return result;
}

}  // namespace zun
