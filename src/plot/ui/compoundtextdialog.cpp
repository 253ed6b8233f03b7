#include "plot/ui/compoundtextdialog.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "document/zundoc.h"
#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/numberfield.h"
#include "model/sample.h"
#include "platform/progress.h"
#include "platform/prompt.h"
#include "plot/ui/attenmatrixdialog.h"
#include "plot/ui/compoundgraph.h"

namespace zun {

namespace {

constexpr const char* kDefaultFormat = "10g";

// The progress of a long table, cancelled from its dialog.
class TableProgress : public ProgressSink {
public:
    TableProgress(const QString& title, QWidget* parent)
        : dialog_(title, QStringLiteral("Cancel"), 0, 100, parent) {
        dialog_.setWindowTitle(title);
        dialog_.setWindowModality(Qt::WindowModal);
        dialog_.setMinimumDuration(0);
    }
    void SetText(const std::string& text) override { dialog_.setLabelText(QString::fromStdString(text)); }
    void SetPos(int percent) override { dialog_.setValue(ClampPercent(percent)); }
    bool SetProgress(int percent) override {
        dialog_.setValue(ClampPercent(percent));
        QCoreApplication::processEvents();
        return dialog_.wasCanceled();
    }

private:
    QProgressDialog dialog_;
};

QLineEdit* NarrowEdit(QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setMaximumWidth(90);
    return e;
}

QLineEdit* NumberEdit(QWidget* parent) {
    return RealField(NarrowEdit(parent));
}

}  // namespace

CompoundTextDialog::CompoundTextDialog(std::unique_ptr<CompoundTextModel> model, QWidget* parent)
    : QDialog(parent), model_(std::move(model)) {
    setWindowTitle(QString::fromStdString(model_->title));
    setSizeGripEnabled(true);
    model_->openProgress = [this](const std::string& title) -> std::unique_ptr<ProgressSink> {
        return std::make_unique<TableProgress>(QString::fromStdString(title), this);
    };
    Build();
    model_->Open();
    ShowFields();
    modeAtRead_ = model_->settings.normalisation;
    Document().propertyDialogOpen[CZunDoc::kXrayAttenuationDialog] = true;
    const bool any = CompoundTextModel::WouldHaveSeries(Fields());
    if (any) CalculateAndShow();
    graphButton->setEnabled(any);
    recalculateButton->setEnabled(false);
    resize(FitClientSize(this, sizeHint().expandedTo(QSize(760, 640))));
    // The window never becomes smaller than it opened.
    setMinimumSize(size());
}

CompoundTextDialog::~CompoundTextDialog() {
    CloseMatrixWindow();
    if (graph_) {
        graph_->onClosed = nullptr;
        delete graph_.data();
    }
    Document().propertyDialogOpen[CZunDoc::kXrayAttenuationDialog] = false;
}

CompoundGraph* CompoundTextDialog::Graph() const {
    return graph_;
}

AttenMatrixDialog* CompoundTextDialog::Matrix() const {
    return matrix_;
}

void CompoundTextDialog::Build() {
    auto* energyBox = new QGroupBox(tr("Beam Energy (keV):"), this);
    auto* energyGrid = new QGridLayout(energyBox);
    minEnergy = NumberEdit(energyBox);
    maxEnergy = NumberEdit(energyBox);
    interval = NumberEdit(energyBox);
    energyGrid->addWidget(new QLabel(tr("Min:"), energyBox), 0, 0);
    energyGrid->addWidget(minEnergy, 0, 1);
    energyGrid->addWidget(new QLabel(tr("Max:"), energyBox), 1, 0);
    energyGrid->addWidget(maxEnergy, 1, 1);
    energyGrid->addWidget(new QLabel(tr("Interval:"), energyBox), 2, 0);
    energyGrid->addWidget(interval, 2, 1);
    energyGrid->setColumnStretch(2, 1);

    auto* normBox = new QGroupBox(tr("Normalisation"), this);
    auto* normGrid = new QGridLayout(normBox);
    normNone = new QRadioButton(tr("None"), normBox);
    normEnergy = new QRadioButton(tr("Normalised to Values at Energy:"), normBox);
    normChannel = new QRadioButton(tr("Normalised to Channel:"), normBox);
    auto* modes = new QButtonGroup(normBox);
    for (QRadioButton* r : {normNone, normEnergy, normChannel}) modes->addButton(r);
    normEnergyEdit = NumberEdit(normBox);
    normSeries = new QComboBox(normBox);
    normSeries->setMinimumContentsLength(14);
    normSeries->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    normGrid->addWidget(normNone, 0, 0);
    normGrid->addWidget(normEnergy, 1, 0);
    normGrid->addWidget(normEnergyEdit, 1, 1);
    normGrid->addWidget(normChannel, 2, 0);
    normGrid->addWidget(normSeries, 2, 1);

    auto* left = new QVBoxLayout;
    left->addWidget(energyBox);
    left->addWidget(normBox);
    left->addStretch(1);

    auto* top = new QHBoxLayout;
    top->addLayout(left);
    top->addWidget(BuildOptions(), 1);

    caption = new QLabel(this);
    table = new QPlainTextEdit(this);
    table->setReadOnly(true);
    table->setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont mono(QStringLiteral("Courier New"), 10);
    mono.setStyleHint(QFont::Monospace);
    mono.setFixedPitch(true);
    table->setFont(mono);
    table->setTabStopDistance(QFontMetricsF(mono).horizontalAdvance(QLatin1Char(' ')) * 8);

    matrixButton = new QPushButton(tr("Show Atten Matrix..."), this);
    recalculateButton = new QPushButton(tr("Recalculate"), this);
    graphButton = new QPushButton(tr("Show Graph..."), this);
    saveButton = new QPushButton(tr("Save As..."), this);
    okButton = new QPushButton(tr("OK"), this);
    cancelButton = new QPushButton(tr("Cancel"), this);
    okButton->setDefault(true);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {matrixButton, recalculateButton, graphButton, saveButton}) buttons->addWidget(b);
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(caption);
    layout->addWidget(table, 1);
    layout->addLayout(buttons);

    for (QLineEdit* e : {minEnergy, maxEnergy, interval, normEnergyEdit, transmission})
        connect(e, &QLineEdit::textEdited, this, &CompoundTextDialog::OnFieldChanged);
    connect(normSeries, &QComboBox::currentIndexChanged, this, &CompoundTextDialog::OnFieldChanged);
    for (QCheckBox* c : {penetration, markEdges, wavelength})
        connect(c, &QCheckBox::toggled, this, &CompoundTextDialog::OnFieldChanged);
    for (QRadioButton* r : {normNone, normEnergy, normChannel})
        connect(r, &QRadioButton::toggled, this, [this](bool on) {
            if (on) OnModeChanged();
        });
    connect(massKind, &QRadioButton::toggled, this, &CompoundTextDialog::OnKindChanged);
    for (QCheckBox* c : quantity)
        connect(c, &QCheckBox::toggled, this, &CompoundTextDialog::OnQuantityChanged);
    connect(format, &QLineEdit::textEdited, this, [this](const QString& text) {
        if (filling_) return;
        recalculateButton->setEnabled(true);
        defaultFormat->setEnabled(text != QLatin1String(kDefaultFormat));
    });
    connect(defaultFormat, &QPushButton::clicked, this, &CompoundTextDialog::SetDefaultFormat);
    connect(matrixButton, &QPushButton::clicked, this, &CompoundTextDialog::ShowMatrix);
    connect(recalculateButton, &QPushButton::clicked, this, &CompoundTextDialog::Recalculate);
    connect(graphButton, &QPushButton::clicked, this, &CompoundTextDialog::ShowGraph);
    connect(saveButton, &QPushButton::clicked, this, &CompoundTextDialog::SaveAs);
    connect(okButton, &QPushButton::clicked, this, &CompoundTextDialog::accept);
    connect(cancelButton, &QPushButton::clicked, this, &CompoundTextDialog::reject);
}

QWidget* CompoundTextDialog::BuildOptions() {
    auto* box = new QGroupBox(tr("Options"), this);
    auto* grid = new QGridLayout(box);
    penetration = new QCheckBox(tr("Penetration Depth (mm):"), box);
    transmission = NumberEdit(box);
    markEdges = new QCheckBox(tr("Mark Attenuation Edges:"), box);
    wavelength = new QCheckBox(tr("Display Wavelength:"), box);
    linearKind = new QRadioButton(tr("Linear Attenuation"), box);
    massKind = new QRadioButton(tr("Mass Attenuation"), box);
    auto* kinds = new QButtonGroup(box);
    kinds->addButton(linearKind);
    kinds->addButton(massKind);
    const QString mu = QString::fromUtf8(attensym::kMu), beta = QString::fromUtf8(attensym::kBeta),
                  phi = QString::fromUtf8(attensym::kPhi), delta = QString::fromUtf8(attensym::kDelta);
    quantity[kQuantityMu] = new QCheckBox(QStringLiteral("Attenuation Coefficient ") + mu + ":", box);
    quantity[kQuantityPhi] = new QCheckBox(QStringLiteral("Phase-Shift Coefficient ") + phi + ":", box);
    quantity[kQuantityBeta] = new QCheckBox(QStringLiteral("Imaginary Refractive Index ") + beta + ":", box);
    quantity[kQuantityDelta] = new QCheckBox(QStringLiteral("Real Refractive Index ") + delta + ":", box);
    format = NarrowEdit(box);  // a printf format, not a number
    defaultFormat = new QPushButton(tr("Set Default"), box);

    int row = 0;
    grid->addWidget(penetration, row++, 0, 1, 2);
    grid->addWidget(new QLabel(tr("At Amplitude Transmission Ratio (% of Input):"), box), row, 0);
    grid->addWidget(transmission, row++, 1);
    grid->addWidget(markEdges, row++, 0, 1, 2);
    grid->addWidget(wavelength, row++, 0, 1, 2);
    auto* kindRow = new QHBoxLayout;
    kindRow->addWidget(linearKind);
    kindRow->addWidget(massKind);
    kindRow->addStretch(1);
    grid->addLayout(kindRow, row++, 0, 1, 2);
    for (int q : {kQuantityMu, kQuantityPhi, kQuantityBeta, kQuantityDelta})
        grid->addWidget(quantity[q], row++, 0, 1, 2);
    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(new QLabel(tr("Table Data Format:"), box));
    formatRow->addWidget(format);
    formatRow->addWidget(defaultFormat);
    formatRow->addStretch(1);
    grid->addLayout(formatRow, row++, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    return box;
}

void CompoundTextDialog::ShowFields() {
    filling_ = true;
    const CompoundTextFields f = model_->FieldsFromSettings();
    minEnergy->setText(QString::fromStdString(f.minEnergy));
    maxEnergy->setText(QString::fromStdString(f.maxEnergy));
    interval->setText(QString::fromStdString(f.interval));
    normEnergyEdit->setText(QString::fromStdString(f.normalisationEnergy));
    (f.normalisation == 1 ? normEnergy : f.normalisation == 2 ? normChannel : normNone)->setChecked(true);
    const bool channels = model_->ChannelNormalisationAllowed();
    normChannel->setEnabled(channels);
    FillSeriesCombo(f.attenuationKind, f.normalisationSeries);
    normEnergyEdit->setEnabled(f.normalisation == 1);
    normSeries->setEnabled(channels && f.normalisation == 2);
    penetration->setChecked(f.penetrationDepth);
    transmission->setText(QString::fromStdString(f.transmissionRatio));
    transmission->setEnabled(f.penetrationDepth);
    markEdges->setChecked(f.markEdges);
    wavelength->setChecked(f.showWavelength);
    (f.attenuationKind == 1 ? massKind : linearKind)->setChecked(true);
    const bool ticked[4] = {f.mu, f.beta, f.phi, f.delta};
    for (int q = 0; q < 4; ++q) quantity[q]->setChecked(ticked[q]);
    const bool phase = model_->HasPhaseData();
    quantity[kQuantityPhi]->setEnabled(phase);
    quantity[kQuantityDelta]->setEnabled(phase && f.attenuationKind == 0);
    quantity[kQuantityBeta]->setEnabled(f.attenuationKind == 0);
    massKind->setEnabled(!f.beta && !f.delta);
    format->setText(QString::fromStdString(f.tableFormat));
    defaultFormat->setEnabled(f.tableFormat != kDefaultFormat);
    filling_ = false;
}

void CompoundTextDialog::FillSeriesCombo(int kind, const std::string& keep) {
    const bool wasFilling = filling_;
    filling_ = true;
    normSeries->clear();
    if (model_->ChannelNormalisationAllowed()) {
        for (const std::string& s : model_->NormalisationCandidates(kind))
            normSeries->addItem(QString::fromStdString(s));
        const int at = normSeries->findText(QString::fromStdString(keep));
        normSeries->setCurrentIndex(at >= 0 ? at : 0);
    }
    filling_ = wasFilling;
}

CompoundTextFields CompoundTextDialog::Fields() const {
    CompoundTextFields f;
    f.minEnergy = minEnergy->text().toStdString();
    f.maxEnergy = maxEnergy->text().toStdString();
    f.interval = interval->text().toStdString();
    f.normalisation = normEnergy->isChecked() ? 1 : normChannel->isChecked() ? 2 : 0;
    f.normalisationEnergy = normEnergyEdit->text().toStdString();
    f.normalisationSeries = normSeries->currentText().toStdString();
    f.penetrationDepth = penetration->isChecked();
    f.transmissionRatio = transmission->text().toStdString();
    f.markEdges = markEdges->isChecked();
    f.showWavelength = wavelength->isChecked();
    f.attenuationKind = massKind->isChecked() ? 1 : 0;
    f.mu = quantity[kQuantityMu]->isChecked();
    f.beta = quantity[kQuantityBeta]->isChecked();
    f.phi = quantity[kQuantityPhi]->isChecked();
    f.delta = quantity[kQuantityDelta]->isChecked();
    f.tableFormat = format->text().toStdString();
    return f;
}

void CompoundTextDialog::OnFieldChanged() {
    if (filling_) return;
    const bool any = CompoundTextModel::WouldHaveSeries(Fields());
    recalculateButton->setEnabled(any);
    if (!graph_) graphButton->setEnabled(any);
    transmission->setEnabled(penetration->isChecked());
}

void CompoundTextDialog::OnModeChanged() {
    if (filling_) return;
    const int mode = normEnergy->isChecked() ? 1 : normChannel->isChecked() ? 2 : 0;
    normEnergyEdit->setEnabled(mode == 1);
    normSeries->setEnabled(mode == 2);
    if (mode != modeAtRead_) OnFieldChanged();
}

void CompoundTextDialog::OnKindChanged() {
    if (filling_) return;
    const bool mass = massKind->isChecked();
    filling_ = true;
    if (mass) {
        quantity[kQuantityBeta]->setChecked(false);
        quantity[kQuantityDelta]->setChecked(false);
    }
    quantity[kQuantityBeta]->setEnabled(!mass);
    quantity[kQuantityDelta]->setEnabled(!mass && model_->HasPhaseData());
    filling_ = false;
    FillSeriesCombo(mass ? 1 : 0, normSeries->currentText().toStdString());
    OnFieldChanged();
}

void CompoundTextDialog::OnQuantityChanged() {
    if (filling_) return;
    massKind->setEnabled(!quantity[kQuantityBeta]->isChecked() && !quantity[kQuantityDelta]->isChecked());
    OnFieldChanged();
}

void CompoundTextDialog::SetDefaultFormat() {
    format->setText(QLatin1String(kDefaultFormat));
    defaultFormat->setEnabled(false);
    recalculateButton->setEnabled(true);
}

void CompoundTextDialog::ShowTable() {
    caption->setText(QString::fromStdString(model_->Caption()));
    table->setPlainText(QString::fromStdString(model_->Table()));
    table->moveCursor(QTextCursor::Start);
}

bool CompoundTextDialog::CalculateAndShow() {
    WaitCursor wait;
    if (!model_->ReadFields(Fields())) return false;
    modeAtRead_ = model_->settings.normalisation;
    if (!model_->Calculate()) return false;
    if (graph_) FillGraph();
    if (!model_->BuildTable()) return false;
    ShowTable();
    return true;
}

void CompoundTextDialog::Recalculate() {
    if (CalculateAndShow()) recalculateButton->setEnabled(false);
}

void CompoundTextDialog::UpdateChannel(int sampleIndex) {
    if (!model_->ShowsChannel(sampleIndex)) return;
    WaitCursor wait;
    if (!model_->Calculate()) return;
    // The graph points into the old results: refilled before anything can repaint it.
    if (graph_) FillGraph();
    if (model_->BuildTable()) ShowTable();
}

void CompoundTextDialog::RenameChannel(const std::string& oldName, const std::string& newName) {
    if (!model_->RenameChannel(oldName, newName)) return;
    setWindowTitle(QString::fromStdString(model_->title));
    FillSeriesCombo(model_->settings.attenuationKind, model_->settings.normalisationSeries);
    if (graph_) graph_->RenameChannel(oldName, newName);
    WaitCursor wait;
    if (model_->Calculate()) {
        if (graph_) FillGraph();
        if (model_->BuildTable()) ShowTable();
    }
}

void CompoundTextDialog::SaveAs() {
    const QString title = QString::fromStdString(model_->SaveDialogTitle());
    const QString folder = QString::fromStdString(Document().textExportFolder);
    std::string path;
    if (chooseFile) {
        path = chooseFile(title, folder);
    } else {
        QFileDialog dialog(this, title, folder, tr("Text files (*.txt)"));
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(QStringLiteral("txt"));
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            path = dialog.selectedFiles().front().toStdString();
    }
    if (!path.empty()) {
        Document().textExportFolder = QFileInfo(QString::fromStdString(path)).absolutePath().toStdString();
        model_->SaveTable(path);
    }
    recalculateButton->setFocus();
}

void CompoundTextDialog::FillGraph() {
    if (graph_) graph_->Fill(*model_);
}

void CompoundTextDialog::ShowGraph() {
    if (graph_) return;
    graph_ = new CompoundGraph(this);
    graph_->setWindowFlag(Qt::Window);
    graph_->setWindowTitle(QString::fromStdString(model_->title + " Graph"));
    graph_->onClosed = [this] { GraphClosed(); };
    FillGraph();
    graph_->show();
    CenterWindowInMainFrame(graph_, 0, 0);
    graphButton->setEnabled(false);
}

void CompoundTextDialog::GraphClosed() {
    graph_ = nullptr;
    graphButton->setEnabled(CompoundTextModel::WouldHaveSeries(Fields()));
}

void CompoundTextDialog::ShowMatrix() {
    if (matrix_) return;
    CZunDoc& doc = Document();
    auto lookup = [&doc](const std::string& name) -> const Compound* {
        const int i = doc.GetSample().FindChanIndex(name);
        return i >= 0 ? &doc.GetSample().GetChan(i)->compound : nullptr;
    };
    auto m = std::make_unique<AttenMatrixModel>(model_->Channels(), lookup, doc.Settings().attenuationMethod,
                                                doc.GetPromptSink());
    m->caption = model_->title + " Matrix";
    m->SetRows(model_->MatrixRows());
    matrix_ = new AttenMatrixDialog(std::move(m), this);
    matrix_->setWindowFlag(Qt::Window);
    matrix_->onClosed = [this](const std::vector<AttenEnergyRow>& rows) {
        model_->KeepMatrixRows(rows);
        matrix_ = nullptr;
        matrixButton->setEnabled(true);
    };
    matrix_->show();
    CenterWindowInMainFrame(matrix_, 0, 0);
    matrixButton->setEnabled(false);
}

void CompoundTextDialog::CloseMatrixWindow() {
    if (!matrix_) return;
    AttenMatrixDialog* m = matrix_;
    model_->KeepMatrixRows(m->Model().Rows());
    m->onClosed = nullptr;
    matrix_ = nullptr;
    matrixButton->setEnabled(true);
    delete m;
}

void CompoundTextDialog::accept() {
    if (!model_->ReadFields(Fields())) return;
    // The matrix window's rows belong to what OK stores.
    CloseMatrixWindow();
    model_->ApplyToDocument();
    QDialog::accept();
    deleteLater();
}

void CompoundTextDialog::reject() {
    QDialog::reject();
    deleteLater();
}

CompoundTextDialog* FindXrayAttenuationWindow(CZunDoc& doc) {
    for (QWidget* w : QApplication::allWidgets())
        if (auto* d = qobject_cast<CompoundTextDialog*>(w); d && &d->Document() == &doc) return d;
    return nullptr;
}

CompoundTextDialog* ShowXrayAttenuationProperties(CZunDoc& doc, const std::vector<std::string>& channels,
                                                  const std::string& caption, QWidget* parent) {
    if (channels.empty() || doc.propertyDialogOpen[CZunDoc::kXrayAttenuationDialog]) return nullptr;
    const int method = doc.Settings().attenuationMethod;
    std::string missing;
    int count = 0;
    for (const std::string& name : channels) {
        const int i = doc.GetSample().FindChanIndex(name);
        if (i < 0) return nullptr;
        count += doc.GetSample().GetChan(i)->compound.CountUnavailableElements(method, missing);
    }
    if (count > 0) {
        if (Prompt* p = doc.GetPromptSink())
            p->Tell(std::string("The compositions contain the ") + (count == 1 ? "element " : "elements ") +
                        missing + ".\n" + (count == 1 ? "This is " : "These are ") +
                        "not available with the " + Compound::GetAttenMethodName(method) +
                        " attenuation method.\nSelect an appropriate method in the X-ray Properties dialog.",
                    PromptIcon::Information);
        return nullptr;
    }
    auto model = std::make_unique<CompoundTextModel>(doc, channels, doc.GetPromptSink());
    if (!caption.empty()) model->title = caption;
    model->settings = doc.Settings().compoundText;
    auto* dialog = new CompoundTextDialog(std::move(model), parent);
    dialog->setWindowFlag(Qt::Window);
    dialog->show();
    CenterWindowInMainFrame(dialog, 0, 0);
    return dialog;
}

}  // namespace zun
