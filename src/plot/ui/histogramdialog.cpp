#include "plot/ui/histogramdialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "document/zundoc.h"
#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/numberfield.h"
#include "plot/ui/plotpropertiesdialog.h"
#include "plot/ui/plotwidget.h"
#include "plot/ui/spinbuttons.h"

namespace zun {
namespace {

QGroupBox* RadioGroup(const QString& title, std::initializer_list<QRadioButton*> radios, bool horizontal) {
    auto* box = new QGroupBox(title);
    QBoxLayout* layout = horizontal ? static_cast<QBoxLayout*>(new QHBoxLayout(box)) : new QVBoxLayout(box);
    auto* group = new QButtonGroup(box);
    for (QRadioButton* r : radios) {
        group->addButton(r);
        layout->addWidget(r);
    }
    if (horizontal) layout->addStretch(1);
    return box;
}

}  // namespace

HistogramDialog::HistogramDialog(CZunDoc& doc, const std::string& windowName,
                                 std::vector<HistogramSliceEntry> slices, QWidget* parent)
    : QDialog(parent),
      doc_(doc),
      model_(doc.GetSample(), std::move(slices), windowName),
      plot_(new PlotWidget) {
    setWindowTitle(QString::fromStdString(windowName));
    showMessage = [this](const QString& text, QMessageBox::Icon icon) {
        QMessageBox box(icon, windowTitle(), text, QMessageBox::Ok, this);
        box.exec();
    };
    askExportPath = [this] {
        const QString folder = doc_.textExportFolder.empty()
                                   ? QFileInfo(QString::fromStdString(doc_.GetPathName())).absolutePath()
                                   : QString::fromStdString(doc_.textExportFolder);
        QFileDialog dialog(this, windowTitle() + QStringLiteral(" Export Histogram Data"), folder,
                           QStringLiteral("Text files (*.txt)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("txt"));
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return QString();
        return dialog.selectedFiles().front();
    };

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(plot_, 1);
    layout->addWidget(BuildControls());

    {
        WaitCursor wait;
        opened_ = model_.Open(plot_->Control());
    }
    FillControls();
    refreshButton->setEnabled(false);
    adjustSize();
    setMinimumSize(size());
}

HistogramDialog::~HistogramDialog() = default;

QWidget* HistogramDialog::BuildControls() {
    xRadios[0] = new QRadioButton(QStringLiteral("Norm Bin Index"));
    xRadios[1] = new QRadioButton(QStringLiteral("Bin Index"));
    xRadios[2] = new QRadioButton(QStringLiteral("Physical"));
    closureRadios[0] = new QRadioButton(QStringLiteral("[ ]"));
    closureRadios[1] = new QRadioButton(QStringLiteral("( ]"));
    closureRadios[2] = new QRadioButton(QStringLiteral("[ )"));
    closureRadios[3] = new QRadioButton(QStringLiteral("( )"));
    yRadios[0] = new QRadioButton(QStringLiteral("Norm Frequency"));
    yRadios[1] = new QRadioButton(QStringLiteral("Frequency"));
    styleRadios[0] = new QRadioButton(QStringLiteral("Line"));
    styleRadios[1] = new QRadioButton(QStringLiteral("Bar"));
    binEdit = new QLineEdit;
    binEdit->setMaximumWidth(80);
    IntegerField(binEdit, 1, 16384);
    binSpin = new SpinButtons;
    propertiesButton = new QPushButton(QStringLiteral("Plot Properties..."));
    refreshButton = new QPushButton(QStringLiteral("Refresh"));
    defaultsButton = new QPushButton(QStringLiteral("Set Defaults"));
    exportButton = new QPushButton(QStringLiteral("Export..."));
    closeButton = new QPushButton(QStringLiteral("Close"));

    auto* bins = new QHBoxLayout;
    bins->addWidget(new QLabel(QStringLiteral("Nbins:")));
    bins->addWidget(binEdit);
    bins->addWidget(binSpin);
    bins->addStretch(1);
    auto* binBox = new QGroupBox(QStringLiteral("Bins"));
    auto* binLayout = new QVBoxLayout(binBox);
    binLayout->addLayout(bins);
    auto* closures = new QHBoxLayout;
    for (QRadioButton* r : closureRadios) closures->addWidget(r);
    auto* closureGroup = new QButtonGroup(binBox);
    for (QRadioButton* r : closureRadios) closureGroup->addButton(r);
    binLayout->addLayout(closures);

    auto* grid = new QGridLayout;
    grid->addWidget(RadioGroup(QStringLiteral("X Axis"), {xRadios[0], xRadios[1], xRadios[2]}, false), 0, 0,
                    2, 1);
    grid->addWidget(binBox, 0, 1, 2, 1);
    grid->addWidget(RadioGroup(QStringLiteral("Y Axis"), {yRadios[0], yRadios[1]}, false), 0, 2, 2, 1);
    grid->addWidget(RadioGroup(QStringLiteral("Style"), {styleRadios[0], styleRadios[1]}, false), 0, 3, 2, 1);
    grid->setColumnStretch(0, 1);

    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {propertiesButton, refreshButton, defaultsButton, exportButton}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch(1);
    buttons->addWidget(closeButton);

    auto* controls = new QWidget;
    auto* v = new QVBoxLayout(controls);
    v->setContentsMargins(0, 0, 0, 0);
    v->addLayout(grid);
    v->addLayout(buttons);

    PlotControl& ctrl = plot_->Control();
    for (int u = 0; u < 3; ++u)
        connect(xRadios[u], &QRadioButton::toggled, this, [this, u, &ctrl](bool on) {
            if (!on || filling_) return;
            WaitCursor wait;
            TakePendingBinCount();
            model_.SetXUnit(ctrl, u);
            AfterChange();
        });
    for (int u = 0; u < 2; ++u) {
        connect(yRadios[u], &QRadioButton::toggled, this, [this, u, &ctrl](bool on) {
            if (!on || filling_) return;
            WaitCursor wait;
            TakePendingBinCount();
            model_.SetYUnit(ctrl, u);
            AfterChange();
        });
        connect(styleRadios[u], &QRadioButton::toggled, this, [this, u, &ctrl](bool on) {
            if (!on || filling_) return;
            WaitCursor wait;
            TakePendingBinCount();
            model_.SetStyle(ctrl, u);
            AfterChange();
        });
    }
    for (int c = 0; c < 4; ++c)
        connect(closureRadios[c], &QRadioButton::toggled, this, [this, c, &ctrl](bool on) {
            if (!on || filling_) return;
            WaitCursor wait;
            TakePendingBinCount();
            model_.SetClosure(ctrl, c);
            AfterChange();
        });
    connect(binEdit, &QLineEdit::textEdited, this, [this] {
        if (filling_) return;
        binPending_ = true;
        refreshButton->setEnabled(true);
    });
    connect(binEdit, &QLineEdit::returnPressed, this, &HistogramDialog::OnRefresh);
    connect(binSpin, &SpinButtons::stepped, this, [this, &ctrl](int delta) {
        WaitCursor wait;
        model_.Spin(ctrl, binEdit->text().toStdString(), delta);
        binPending_ = false;
        AfterChange();
    });
    connect(refreshButton, &QPushButton::clicked, this, &HistogramDialog::OnRefresh);
    connect(defaultsButton, &QPushButton::clicked, this, [this, &ctrl] {
        WaitCursor wait;
        binPending_ = false;
        model_.SetDefaults(ctrl);
        FillControls();
        AfterChange();
    });
    connect(propertiesButton, &QPushButton::clicked, this, &HistogramDialog::OpenPlotProperties);
    connect(exportButton, &QPushButton::clicked, this, &HistogramDialog::Export);
    connect(closeButton, &QPushButton::clicked, this, &HistogramDialog::reject);
    return controls;
}

void HistogramDialog::FillControls() {
    filling_ = true;
    const HistVars& h = model_.Settings();
    xRadios[2]->setText(QString::fromStdString(model_.PhysicalRadioText()));
    xRadios[h.xUnit]->setChecked(true);
    closureRadios[h.closure]->setChecked(true);
    yRadios[h.yUnit]->setChecked(true);
    styleRadios[h.style]->setChecked(true);
    binEdit->setText(QString::fromStdString(model_.BinCountText()));
    filling_ = false;
}

bool HistogramDialog::TakePendingBinCount() {
    if (!binPending_) return true;
    binPending_ = false;
    if (model_.TakeBinCountText(binEdit->text().toStdString())) return true;
    showMessage(QString::fromLatin1(HistogramModel::kBinCountMessage), QMessageBox::Information);
    binEdit->setText(QString::fromStdString(model_.BinCountText()));
    refreshButton->setEnabled(false);
    return false;
}

void HistogramDialog::AfterChange() {
    if (!binPending_) {
        const QSignalBlocker block(binEdit);
        binEdit->setText(QString::fromStdString(model_.BinCountText()));
        refreshButton->setEnabled(false);
    }
    if (properties_) properties_->RefreshFromPlot();
}

void HistogramDialog::OnRefresh() {
    WaitCursor wait;
    binPending_ = false;
    if (!model_.Refresh(plot_->Control(), binEdit->text().toStdString())) {
        showMessage(QString::fromLatin1(HistogramModel::kBinCountMessage), QMessageBox::Information);
        binEdit->setText(QString::fromStdString(model_.BinCountText()));
        refreshButton->setEnabled(false);
        return;
    }
    AfterChange();
}

void HistogramDialog::OpenPlotProperties() {
    OpenModelessPlotProperties(properties_, this, this, windowTitle() + QStringLiteral(" Plot Properties"),
                               propertiesButton);
}

void HistogramDialog::PlotPropertiesClosed() {
    ReleaseModelessPlotProperties(properties_, propertiesButton);
}

void HistogramDialog::Export() {
    const QString path = askExportPath ? askExportPath() : QString();
    if (path.isEmpty()) return;
    doc_.textExportFolder = QFileInfo(path).absolutePath().toStdString();
    QApplication::processEvents();
    WaitCursor wait;
    std::string error;
    if (!model_.Export(path.toStdString(), plot_->Control(), &error))
        showMessage(QString::fromStdString(error), QMessageBox::Warning);
}

void HistogramDialog::reject() {
    if (properties_) PlotPropertiesClosed();
    if (opened_ && model_.Close(plot_->Control())) doc_.SetModifiedFlag(true);
    opened_ = false;
    QDialog::reject();
}

int HistogramDialog::Run(CZunDoc& doc, const std::string& windowName, std::vector<HistogramSliceEntry> slices,
                         QWidget* parent) {
    if (slices.empty()) {
        QMessageBox::information(parent, QStringLiteral("Histogram"), QStringLiteral("No data to display."));
        return -1;
    }
    HistogramDialog dialog(doc, windowName, std::move(slices), parent);
    if (!dialog.Opened()) {
        QMessageBox::information(parent, QStringLiteral("Histogram"), QStringLiteral("No data to display."));
        return -1;
    }
    return dialog.exec();
}

}  // namespace zun
