#include "view3d/ui/exportweb3ddialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/numberfield.h"
#include "view3d/web3dtexts.h"

namespace zun {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
std::string S(const QString& s) {
    return s.toStdString();
}

}  // namespace

ExportWeb3DDialog::ExportWeb3DDialog(QWidget* parent, Web3DOptions& options,
                                     std::function<Web3DDocumentFacts()> defaults)
    : QDialog(parent), model_(options), defaults_(std::move(defaults)) {
    setWindowTitle(web3dmsg::kDialogCaption);
    setObjectName("exportWeb3DDialog");
    auto* top = new QVBoxLayout(this);

    auto* size = new QGroupBox("Image size:", this);
    auto* sg = new QGridLayout(size);
    width_ = new QLabel(size);
    height_ = new QLabel(size);
    slices_ = new QLabel(size);
    matrixX_ = new QLabel(size);
    matrixY_ = new QLabel(size);
    sg->addWidget(new QLabel("Width", size), 0, 0);
    sg->addWidget(width_, 0, 1);
    sg->addWidget(new QLabel("Height", size), 0, 2);
    sg->addWidget(height_, 0, 3);
    sg->addWidget(new QLabel("Slide", size), 0, 4);
    sg->addWidget(slices_, 0, 5);
    sg->addWidget(new QLabel("Matrix X", size), 1, 0);
    sg->addWidget(matrixX_, 1, 1);
    sg->addWidget(new QLabel("Matrix Y", size), 1, 2);
    sg->addWidget(matrixY_, 1, 3);
    top->addWidget(size);

    auto* form = new QGridLayout;
    title_ = new QLineEdit(this);
    description_ = new QPlainTextEdit(this);
    description_->setMinimumHeight(90);
    form->addWidget(new QLabel("Title:", this), 0, 0);
    form->addWidget(title_, 0, 1);
    form->addWidget(new QLabel("Description:", this), 1, 0, Qt::AlignTop);
    form->addWidget(description_, 1, 1);
    top->addLayout(form);

    auto* effect = new QGroupBox("Effect:", this);
    auto* eg = new QGridLayout(effect);
    border_ = IntegerField(new QLineEdit(effect), 0, kWeb3DMaxBorderPixels);
    opacity_ = RealField(new QLineEdit(effect));
    eg->addWidget(new QLabel("Border", effect), 0, 0);
    eg->addWidget(border_, 0, 1);
    eg->addWidget(new QLabel("Opacity Factor", effect), 0, 2);
    eg->addWidget(opacity_, 0, 3);
    top->addWidget(effect);

    auto* method = new QGroupBox("Image process method", this);
    auto* mg = new QHBoxLayout(method);
    decimation_ = new QRadioButton("Decimation", method);
    averaging_ = new QRadioButton("Averaging", method);
    mg->addWidget(decimation_);
    mg->addWidget(averaging_);
    mg->addStretch();
    top->addWidget(method);

    auto* dest = new QGridLayout;
    folder_ = new QLineEdit(this);
    auto* browse = new QPushButton("Browse", this);
    fileName_ = new QLineEdit(this);
    dest->addWidget(new QLabel("Destination:", this), 0, 0);
    dest->addWidget(folder_, 0, 1);
    dest->addWidget(browse, 0, 2);
    dest->addWidget(new QLabel("Web3D sub-folder will be created in the destination folder.", this), 1, 1, 1,
                    2);
    dest->addWidget(new QLabel("File name:", this), 2, 0);
    dest->addWidget(fileName_, 2, 1, 1, 2);
    top->addLayout(dest);

    thumbnail_ = new QCheckBox("Generate image thumbnail", this);
    service_ = new QCheckBox("Also write the data-service script and loader page", this);
    service_->setEnabled(false);
    top->addWidget(thumbnail_);
    top->addWidget(service_);

    auto* buttons = new QHBoxLayout;
    default_ = new QPushButton("Default", this);
    export_ = new QPushButton("Export", this);
    auto* cancel = new QPushButton("Cancel", this);
    export_->setDefault(true);
    buttons->addWidget(default_);
    buttons->addStretch();
    buttons->addWidget(export_);
    buttons->addWidget(cancel);
    top->addLayout(buttons);

    connect(border_, &QLineEdit::textChanged, this, [this] { UpdateMatrix(); });
    connect(browse, &QPushButton::clicked, this, [this] { Browse(); });
    connect(default_, &QPushButton::clicked, this, [this] {
        if (defaults_) model_.Default(defaults_());
        Fill();
    });
    connect(export_, &QPushButton::clicked, this, &ExportWeb3DDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    resize(560, sizeHint().height());
    Fill();
}

void ExportWeb3DDialog::Fill() {
    const Web3DDialogModel::Fields f = model_.Fill();
    width_->setText(Q(f.width));
    height_->setText(Q(f.height));
    slices_->setText(Q(f.slices));
    title_->setText(Q(f.title));
    description_->setPlainText(Q(f.description));
    border_->setText(Q(f.border));
    opacity_->setText(Q(f.opacityFactor));
    folder_->setText(Q(f.folder));
    fileName_->setText(Q(f.fileName));
    thumbnail_->setChecked(f.thumbnail);
    service_->setChecked(f.serviceScript);
    decimation_->setChecked(!f.averaging);
    averaging_->setChecked(f.averaging);
    UpdateMatrix();
}

void ExportWeb3DDialog::UpdateMatrix() {
    const auto m = model_.MatrixTexts(S(border_->text()));
    matrixX_->setText(Q(m[0]));
    matrixY_->setText(Q(m[1]));
}

void ExportWeb3DDialog::Browse() {
    std::string folder = S(folder_->text());
    if (BrowseForFolder("Save as location", this, folder)) folder_->setText(Q(folder));
}

Web3DDialogModel::Fields ExportWeb3DDialog::Read() const {
    Web3DDialogModel::Fields f;
    f.title = S(title_->text());
    f.description = S(description_->toPlainText());
    f.border = S(border_->text());
    f.opacityFactor = S(opacity_->text());
    f.folder = S(folder_->text());
    f.fileName = S(fileName_->text());
    f.thumbnail = thumbnail_->isChecked();
    f.serviceScript = service_->isChecked();
    f.averaging = averaging_->isChecked();
    return f;
}

void ExportWeb3DDialog::accept() {
    const std::string problem = model_.Export(Read());
    if (!problem.empty()) {
        if (showMessage)
            showMessage(problem);
        else
            QMessageBox::warning(this, windowTitle(), Q(problem));
        return;
    }
    QDialog::accept();
}

}  // namespace zun
