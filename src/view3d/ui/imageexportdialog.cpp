#include "view3d/ui/imageexportdialog.h"

#include <algorithm>

#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "foundation/ui/dialoghelpers.h"
#include "platform/prompt.h"

namespace zun {

namespace {
QRadioButton* MakeRadio(const char* text, QWidget* parent) {
    auto* r = new QRadioButton(QString::fromUtf8(text), parent);
    // The presenter decides what is checked: a Mono type chosen under TIFF shows no check under PNG.
    r->setAutoExclusive(false);
    return r;
}
}  // namespace

ImageExportDialog::ImageExportDialog(QWidget* parent, std::string directory, Prompt* prompt)
    : QDialog(parent), presenter_(std::move(directory)), prompt_(prompt) {
    setWindowTitle(QString::fromUtf8(imageexport::kCaption));
    browseFolder = [](QWidget* owner, const std::string& title, const std::string& start) {
        std::string folder = start;
        return BrowseForFolder(title, owner, folder) ? folder : std::string();
    };

    auto* top = new QVBoxLayout(this);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(new QLabel(tr("Output folder:"), this));
    folder_ = new QLabel(this);
    folder_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    folder_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    folderRow->addWidget(folder_, 1);
    browse_ = new QPushButton(tr("Browse"), this);
    folderRow->addWidget(browse_);
    top->addLayout(folderRow);

    auto* group = new QGroupBox(tr("Options"), this);
    auto* grid = new QGridLayout(group);
    const char* typeTexts[] = {"Colour", "Mono 8 bit", "Mono 16 bit"};
    const char* formatTexts[] = {"PNG", "TIFF"};
    const char* planeTexts[] = {"XY", "YZ", "ZX"};
    grid->addWidget(new QLabel(tr("Image type:"), group), 0, 0);
    for (int i = 0; i < 3; ++i) grid->addWidget(types_[i] = MakeRadio(typeTexts[i], group), 0, i + 1);
    grid->addWidget(new QLabel(tr("Image format:"), group), 1, 0);
    for (int i = 0; i < 2; ++i) grid->addWidget(formats_[i] = MakeRadio(formatTexts[i], group), 1, i + 1);
    grid->addWidget(new QLabel(tr("Slice:"), group), 2, 0);
    for (int i = 0; i < 3; ++i) grid->addWidget(planes_[i] = MakeRadio(planeTexts[i], group), 2, i + 1);
    grid->setColumnStretch(4, 1);
    top->addWidget(group);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    export_ = new QPushButton(tr("Export"), this);
    export_->setDefault(true);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    buttons->addWidget(export_);
    buttons->addWidget(cancel);
    top->addLayout(buttons);

    connect(browse_, &QPushButton::clicked, this, [this] { OnBrowse(); });
    connect(export_, &QPushButton::clicked, this, &ImageExportDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &ImageExportDialog::reject);
    connect(formats_[0], &QRadioButton::clicked, this, [this] {
        presenter_.OnPng();
        Refresh();
    });
    connect(formats_[1], &QRadioButton::clicked, this, [this] {
        presenter_.OnTiff();
        Refresh();
    });
    for (int i = 0; i < 3; ++i) {
        connect(types_[i], &QRadioButton::clicked, this, [this, i] {
            presenter_.OnColourMode(i + 1);
            Refresh();
        });
        connect(planes_[i], &QRadioButton::clicked, this, [this, i] {
            presenter_.OnPlane(i);
            Refresh();
        });
    }
    Refresh();
    if (QWidget* main = MainWindow()) {
        adjustSize();
        move(main->geometry().center() - rect().center());
    }
}

void ImageExportDialog::Refresh() {
    // The framed text grows with the folder up to a limit; a longer folder is shortened in the
    // middle, keeping its start and its last names, and shown whole as the tooltip.
    const QString folder = QString::fromStdString(presenter_.Options().directory);
    const QFontMetrics metrics(folder_->font());
    constexpr int kMaxTextWidth = 520;
    const int margin = 2 * folder_->frameWidth() + 8;
    folder_->setMinimumWidth(
        std::clamp(metrics.horizontalAdvance(folder) + margin, 260, kMaxTextWidth + margin));
    folder_->setText(metrics.elidedText(folder, Qt::ElideMiddle, kMaxTextWidth));
    folder_->setToolTip(folder);
    for (int i = 0; i < 3; ++i) {
        types_[i]->setChecked(presenter_.TypeChecked(i + 1));
        planes_[i]->setChecked(presenter_.PlaneChecked(i));
    }
    for (int i = 0; i < 2; ++i) formats_[i]->setChecked(presenter_.FormatChecked(i + 1));
    types_[1]->setEnabled(presenter_.MonoEnabled());
    types_[2]->setEnabled(presenter_.MonoEnabled());
}

void ImageExportDialog::OnBrowse() {
    if (!browseFolder) return;
    presenter_.OnBrowse(browseFolder(this, imageexport::kBrowseTitle, presenter_.Options().directory));
    Refresh();
}

void ImageExportDialog::accept() {
    const std::string refusal = presenter_.CheckExport();
    if (refusal.empty()) {
        QDialog::accept();
        return;
    }
    if (prompt_)
        prompt_->Tell(refusal, PromptIcon::Warning);
    else
        QMessageBox::warning(this, windowTitle(), QString::fromStdString(refusal));
}

}  // namespace zun
