#include "plot/ui/importpropsdialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "document/zundoc.h"
#include "foundation/ui/numberfield.h"
#include "plot/ui/spinbuttons.h"

namespace zun {

ImportPropsDialog::ImportPropsDialog(std::unique_ptr<ImportPropsModel> model, QWidget* parent)
    : QDialog(parent), model_(std::move(model)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromStdString(model_->title));
    Build();
    Show();
}

void ImportPropsDialog::Build() {
    auto readOnly = [this] {
        auto* e = new QLineEdit(this);
        e->setReadOnly(true);
        return e;
    };
    fileName = readOnly();
    format = readOnly();
    resolution = readOnly();
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Filename:"), this), 0, 0);
    grid->addWidget(fileName, 0, 1, 1, 3);
    grid->addWidget(new QLabel(tr("Format (bits):"), this), 1, 0);
    grid->addWidget(format, 1, 1);
    grid->addWidget(new QLabel(tr("Resolution:"), this), 2, 0);
    grid->addWidget(resolution, 2, 1);
    const bool live = model_->HasInfo();
    for (int f = 0; f < ImportPropsModel::kFieldCount; ++f) {
        const auto field = static_cast<ImportPropsModel::Field>(f);
        QLineEdit* e = fields[static_cast<std::size_t>(f)] = new QLineEdit(this);
        e->setEnabled(live);
        if (field == ImportPropsModel::kScale)
            RealField(e);
        else if (field == ImportPropsModel::kPositionX || field == ImportPropsModel::kPositionY)
            IntegerField(e, INT32_MIN, ImportPropsModel::kLargest);
        else
            IntegerField(e, 0, ImportPropsModel::kLargest);
        grid->addWidget(new QLabel(tr(ImportPropsModel::FieldLabel(field)), this), 3 + f, 0);
        grid->addWidget(e, 3 + f, 1);
        connect(e, &QLineEdit::editingFinished, this, [this, field, e] {
            model_->OnFieldChanged(field, e->text().toStdString());
            Show();
        });
        if (field == ImportPropsModel::kScale) continue;
        auto* spin = new SpinButtons(this);
        spin->setEnabled(live);
        grid->addWidget(spin, 3 + f, 2);
        connect(spin, &SpinButtons::stepped, this, [this, field](int delta) {
            model_->Spin(field, delta);
            Show();
        });
    }
    grid->setColumnStretch(3, 1);
    restoreButton = new QPushButton(tr("Restore Settings"), this);
    defaultButton = new QPushButton(tr("Default Settings"), this);
    okButton = new QPushButton(tr("OK"), this);
    cancelButton = new QPushButton(tr("Cancel"), this);
    okButton->setDefault(true);
    auto* side = new QHBoxLayout;
    side->addWidget(restoreButton);
    side->addWidget(defaultButton);
    side->addStretch();
    side->addWidget(okButton);
    side->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(side);
    connect(restoreButton, &QPushButton::clicked, this, [this] {
        model_->Restore();
        Show();
    });
    connect(defaultButton, &QPushButton::clicked, this, [this] {
        model_->Defaults();
        Show();
    });
    connect(okButton, &QPushButton::clicked, this, &ImportPropsDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &ImportPropsDialog::reject);
    resize(520, sizeHint().height());
}

void ImportPropsDialog::Show() {
    fileName->setText(QString::fromStdString(model_->FileText()));
    format->setText(QString::fromStdString(model_->BitsText()));
    resolution->setText(QString::fromStdString(model_->HasInfo() ? model_->ResolutionText() : std::string()));
    for (std::size_t f = 0; f < fields.size(); ++f)
        fields[f]->setText(model_->HasInfo() ? QString::fromStdString(model_->texts[f]) : QString());
    restoreButton->setEnabled(model_->HasInfo() && model_->restoreEnabled);
    defaultButton->setEnabled(model_->HasInfo() && model_->defaultEnabled);
}

void ImportPropsDialog::accept() {
    // Typed text that has not yet left its field counts too.
    for (std::size_t f = 0; f < fields.size(); ++f) model_->texts[f] = fields[f]->text().toStdString();
    if (!model_->Ok()) return;
    QDialog::accept();
}

void ImportPropsDialog::reject() {
    model_->Cancel();
    QDialog::reject();
}

ImportPropsDialog* ShowImportProperties(CZunDoc& doc, std::vector<ImageItem*> items, QWidget* parent) {
    if (doc.propertyDialogOpen[CZunDoc::kImportedImageDialog]) return nullptr;
    auto model = std::make_unique<ImportPropsModel>(doc, std::move(items), doc.GetPromptSink());
    model->Open();
    auto* dialog = new ImportPropsDialog(std::move(model), parent);
    dialog->setWindowFlag(Qt::Window);
    doc.propertyDialogOpen[CZunDoc::kImportedImageDialog] = true;
    QObject::connect(dialog, &QObject::destroyed,
                     [&doc] { doc.propertyDialogOpen[CZunDoc::kImportedImageDialog] = false; });
    dialog->show();
    return dialog;
}

}  // namespace zun
