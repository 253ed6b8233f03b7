#include "energyopt/ui/energyoptdialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <thread>

#include "document/zundoc.h"
#include "energyopt/energyproperties.h"
#include "energyopt/ui/docmaterials.h"
#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/listcontrols.h"
#include "foundation/ui/numberfield.h"
#include "platform/prompt.h"

namespace EnergyOpt {

namespace {

using zun::ListGridWidget;

// Message boxes for a sheet opened without the application's prompt.
class BoxPrompt : public zun::Prompt {
public:
    int Ask(const zun::PromptRequest& r) override {
        const QString text = QString::fromStdString(r.text);
        if (r.buttons == zun::PromptButtons::OkCancel)
            return QMessageBox::question(QApplication::activeWindow(), QString(), text,
                                         QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok
                       ? zun::kPromptOk
                       : zun::kPromptCancel;
        QMessageBox::information(QApplication::activeWindow(), QString(), text);
        return zun::kPromptOk;
    }
};

ListGridWidget* MakeGrid(QWidget* parent, bool labels) {
    auto* g = new ListGridWidget(parent);
    g->setSelectionBehavior(QAbstractItemView::SelectRows);
    g->setShowGrid(true);
    g->verticalHeader()->hide();
    // A highlighted section is drawn in bold, wider than the width its column was given.
    g->horizontalHeader()->setHighlightSections(false);
    g->setAutoFillBackground(true);
    g->setBackgroundRole(QPalette::Button);
    g->setProperty("labels", labels);
    return g;
}

// The label column is shown only where rows have names (the beam domains).
void AfterFill(ListGridWidget& g) {
    if (g.columnCount() > 0) g.setColumnHidden(0, !g.property("labels").toBool());
    for (int c = 1; c < g.columnCount(); ++c)
        g.setColumnWidth(c,
                         std::max(g.columnWidth(c), g.fontMetrics().horizontalAdvance("+XXXXXX.XXX") + 12));
}

}  // namespace

// ---- the common page

EnergyOptPage::EnergyOptPage(EnergyOptDialog& sheet, int index, QWidget* parent)
    : QWidget(parent), sheet_(sheet), index_(index) {
    auto* layout = new QVBoxLayout(this);
    auto* inputBox = new QGroupBox(tr("Input"), this);
    auto* in = new QVBoxLayout(inputBox);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("Noise Model:"), inputBox));
    noiseModel_ = new QComboBox(inputBox);
    for (const char* name : kNoiseModelNames) noiseModel_->addItem(QString::fromUtf8(name));
    row->addWidget(noiseModel_, 1);
    in->addLayout(row);
    in->addWidget(new QLabel(tr("Target Mixtures"), inputBox));
    mixtures_ = MakeGrid(inputBox, false);
    in->addWidget(mixtures_);
    input_ = new QWidget(inputBox);
    new QVBoxLayout(input_);
    input_->layout()->setContentsMargins(0, 0, 0, 0);
    in->addWidget(input_);
    compute_ = new QPushButton(tr("Compute Output..."), inputBox);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(compute_);
    in->addLayout(buttonRow);
    layout->addWidget(inputBox);
    auto* outputBox = new QGroupBox(tr("Output"), this);
    output_ = outputBox;
    new QVBoxLayout(outputBox);
    layout->addWidget(outputBox, 1);

    connect(noiseModel_, &QComboBox::activated, this, [this](int i) {
        sheet_.model().SetNoiseModel(index_, i);
        Edited();
    });
    connect(mixtures_, &ListGridWidget::cellEdited, this, [this](int r, int c, const QString& text) {
        if (auto error = sheet_.model().EditMixtureCell(index_, *mixtures_, r, c, text.toStdString()))
            ShowMessage(*error);
        Edited();
    });
    connect(compute_, &QPushButton::clicked, this, [this] { sheet_.Compute(index_); });
}

void EnergyOptPage::Refresh() {
    const DialogVars& v = sheet_.model().Working();
    noiseModel_->setCurrentIndex(v.pages[static_cast<std::size_t>(index_)].noiseModel);
    sheet_.model().FillMixtureGrid(index_, *mixtures_);
    AfterFill(*mixtures_);
}

EnergyOptSheetModel::PageControls EnergyOptPage::Controls() {
    return {mixtures_, nullptr, {}, nullptr};
}

void EnergyOptPage::Edited() {
    sheet_.UpdateButtons();
}

void EnergyOptPage::ShowMessage(const std::string& text) {
    sheet_.tabs().setCurrentWidget(this);
    sheet_.prompt().Tell(text, zun::PromptIcon::Warning);
}

// ---- Optimise Energies

EnergyOptPage_0::EnergyOptPage_0(EnergyOptDialog& sheet, QWidget* parent) : EnergyOptPage(sheet, 0, parent) {
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("Maximum Iterations:"), input_));
    iterations_ = zun::IntegerField(new QLineEdit(input_), 0, INT32_MAX);
    row->addWidget(iterations_);
    row->addStretch(1);
    static_cast<QVBoxLayout*>(input_->layout())->addLayout(row);
    input_->layout()->addWidget(new QLabel(tr("Beam Domains"), input_));
    domains_ = MakeGrid(input_, true);
    input_->layout()->addWidget(domains_);
    output0_ = MakeGrid(output_, false);
    output_->layout()->addWidget(output0_);

    connect(iterations_, &QLineEdit::textEdited, this, [this] {
        sheet_.model().MarkModified(0);
        Edited();
    });
    connect(iterations_, &QLineEdit::editingFinished, this, [this] {
        if (auto error = sheet_.model().CheckMaxIterations(iterations_->text().toStdString())) {
            iterations_->setText(QString::fromStdString(sheet_.model().MaxIterationsText()));
            ShowMessage(*error);
        }
    });
    connect(domains_, &ListGridWidget::cellEdited, this, [this](int r, int c, const QString& text) {
        if (auto error = sheet_.model().EditBeamDomainCell(*domains_, r, c, text.toStdString()))
            ShowMessage(*error);
        Edited();
    });
}

void EnergyOptPage_0::Refresh() {
    EnergyOptPage::Refresh();
    iterations_->setText(QString::fromStdString(sheet_.model().MaxIterationsText()));
    sheet_.model().FillBeamDomainGrid(*domains_);
    AfterFill(*domains_);
    // Exactly the three domains, without a scroll bar.
    domains_->setFixedHeight(domains_->horizontalHeader()->sizeHint().height() + 3 * domains_->rowHeight(0) +
                             2 * domains_->frameWidth() + 2);
    sheet_.model().FillOptimisedGrid(*output0_);
    AfterFill(*output0_);
}

EnergyOptSheetModel::PageControls EnergyOptPage_0::Controls() {
    return {mixtures_, domains_, iterations_->text().toStdString(), nullptr};
}

// ---- Evaluate Metrics

EnergyOptPage_1::EnergyOptPage_1(EnergyOptDialog& sheet, QWidget* parent) : EnergyOptPage(sheet, 1, parent) {
    input_->layout()->addWidget(new QLabel(tr("Evaluation Energies"), input_));
    evaluation_ = MakeGrid(input_, false);
    input_->layout()->addWidget(evaluation_);
    output1_ = MakeGrid(output_, false);
    output_->layout()->addWidget(output1_);
    connect(evaluation_, &ListGridWidget::cellEdited, this, [this](int r, int c, const QString& text) {
        if (auto error = sheet_.model().EditEvaluationCell(*evaluation_, r, c, text.toStdString()))
            ShowMessage(*error);
        MarkTypeCells();
        Edited();
    });
    // The type is chosen from the three names, not typed.
    connect(evaluation_, &QTableWidget::cellClicked, this, [this](int r, int listColumn) {
        if (listColumn == 2) ChooseType(r);
    });
}

void EnergyOptPage_1::Refresh() {
    EnergyOptPage::Refresh();
    sheet_.model().FillEvaluationGrid(*evaluation_);
    MarkTypeCells();
    sheet_.model().FillMetricGrid(*output1_);
    AfterFill(*output1_);
}

void EnergyOptPage_1::MarkTypeCells() {
    for (int r = 0; r < evaluation_->rowCount(); ++r) zun::GridSetCellFlag(*evaluation_, r, 1, true);
    AfterFill(*evaluation_);
}

void EnergyOptPage_1::ChooseType(int row) {
    std::string energy;
    zun::GridGetCellText(*evaluation_, row, 0, energy);
    if (energy.empty()) return;
    auto* box = new QComboBox(evaluation_->viewport());
    for (int t = 0; t < 3; ++t) box->addItem(QString::fromStdString(TypeName(t)));
    std::string current;
    zun::GridGetCellText(*evaluation_, row, 1, current);
    box->setCurrentText(QString::fromStdString(current));
    box->setGeometry(evaluation_->visualRect(evaluation_->model()->index(row, 2)));
    box->show();
    box->showPopup();
    connect(box, &QComboBox::activated, this, [this, box, row](int) {
        sheet_.model().EditEvaluationCell(*evaluation_, row, 1, box->currentText().toStdString());
        box->deleteLater();
        Edited();
    });
}

EnergyOptSheetModel::PageControls EnergyOptPage_1::Controls() {
    return {mixtures_, nullptr, {}, evaluation_};
}

// ---- the sheet

EnergyOptDialog::EnergyOptDialog(const DialogVars& documentRecord, std::vector<std::string> names,
                                 std::function<void(const DialogVars&)> commit,
                                 EnergyOptSheetServices services, QWidget* parent)
    : QDialog(parent),
      model_(documentRecord, std::move(names), std::move(commit)),
      services_(std::move(services)) {
    if (!services_.prompt) {
        ownPrompt_ = std::make_unique<BoxPrompt>();
        services_.prompt = ownPrompt_.get();
    }
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    auto* strip = new QWidget(this);  // the empty band across the top
    strip->setFixedHeight(fontMetrics().height());
    layout->addWidget(strip);
    tabs_ = new QTabWidget(this);
    page0_ = new EnergyOptPage_0(*this, tabs_);
    page1_ = new EnergyOptPage_1(*this, tabs_);
    tabs_->addTab(page0_, tr("Optimise Energies"));
    tabs_->addTab(page1_, tr("Evaluate Metrics"));
    layout->addWidget(tabs_, 1);
    auto* buttons =
        new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
    apply_ = buttons->button(QDialogButtonBox::Apply);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &EnergyOptDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &EnergyOptDialog::reject);
    connect(apply_, &QPushButton::clicked, this, &EnergyOptDialog::Apply);
    page0_->Refresh();
    page1_->Refresh();
    tabs_->setCurrentIndex(0);
    UpdateButtons();
    // On a small screen the grids give up height and scroll: OK, Cancel and Apply stay on it.
    resize(zun::FitClientSize(this, sizeHint().expandedTo(QSize(720, 620))));
    setMinimumSize(size());
}

EnergyOptDialog::~EnergyOptDialog() = default;

void EnergyOptDialog::UpdateButtons() {
    apply_->setEnabled(model_.Modified());
    page0_->computeButton().setEnabled(model_.ComputeEnabled(0));
    page1_->computeButton().setEnabled(model_.ComputeEnabled(1));
}

void EnergyOptDialog::Apply() {
    model_.Apply(page0_->Controls(), page1_->Controls());
    page0_->Refresh();
    page1_->Refresh();
    UpdateButtons();
}

void EnergyOptDialog::accept() {
    Apply();
    QDialog::accept();
}

void EnergyOptDialog::Compute(int page) {
    if (const std::optional<std::string> refused = model_.CheckCompute(page)) {
        prompt().Tell(*refused, zun::PromptIcon::Warning);
        return;
    }
    const char* question = page == 0 ? "Compute optimal energies?" : "Compute evaluation metrics?";
    if (prompt().Ask({question, {}, {}, zun::PromptButtons::OkCancel, zun::PromptIcon::Question}) !=
        zun::kPromptOk)
        return;
    // The functions are asked for the names the record holds now, which are the channels'.
    EnergyOptJob job(model_.Working(), page,
                     services_.materials ? services_.materials() : std::vector<MaterialFunctions>{});
    QProgressDialog progress(QString::fromUtf8(question).chopped(1) + tr("..."), tr("Cancel"), 0, 0, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(0);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    int32_t status = 0;
    std::atomic<bool> done{false};
    std::thread worker([&] {
        status = job.Run();
        done = true;
    });
    progress.show();
    if (onProgressShown) onProgressShown(progress, job);
    QTimer poll;
    QEventLoop loop;
    connect(&poll, &QTimer::timeout, &loop, [&] {
        // Asked here rather than on the signal: closing the window also says "canceled".
        if (progress.wasCanceled()) job.Cancel();
        progress.setLabelText(tr("%1 evaluations").arg(job.evaluations()));
        if (done) loop.quit();
    });
    poll.start(50);
    loop.exec();
    worker.join();
    progress.close();
    const std::string message = model_.Finish(job, status);
    if (!message.empty()) prompt().Tell(message, zun::PromptIcon::Information);
    if (page == 0)
        page0_->Refresh();
    else
        page1_->Refresh();
    UpdateButtons();
}

void RunEnergyOptSheet(zun::CZunDoc& doc, QWidget* parent) {
    auto* record = dynamic_cast<DialogVars*>(doc.EnergyOptVars());
    if (!record) return;
    const std::string docName = doc.GetNameText().empty() ? doc.GetTitle() : doc.GetNameText();
    const EnergyPropertiesRequest request =
        PrepareEnergyProperties(doc.GetSample(), doc.Settings().attenuationMethod, docName);
    if (!request.refusal.empty()) {
        if (zun::Prompt* p = doc.GetPrompt()) p->Tell(request.refusal, zun::PromptIcon::Information);
        return;
    }
    const std::vector<std::string>& names = request.compositions;
    DocMaterials materials(doc);
    EnergyOptSheetServices services{[&] { return materials.Functions(names); }, doc.GetPrompt()};
    EnergyOptDialog sheet(
        *record, names,
        [&](const DialogVars& v) {
            *record = v;
            doc.SetModifiedFlag(true);
        },
        services, parent);
    sheet.setWindowTitle(QString::fromStdString(request.caption));
    sheet.exec();
}

}  // namespace EnergyOpt
