#include "setup/ui/setupdialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDrag>
#include <QDragEnterEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include "document/zundoc.h"
#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/numberfield.h"
#include "platform/prompt.h"
#include "setup/methodsheet.h"
#include "setup/setupmessages.h"
#include "setup/ui/methodsheetdialog.h"
#include "setup/ui/propertydialogs.h"

namespace zun {
namespace {

constexpr const char* kMethodMime = "application/x-zun-setup-method";
constexpr int kListHeight = (3 + 2) * 30;  // room for every method kind

const SheetKind kSheetOf[3] = {SheetKind::Segmentation, SheetKind::Linear, SheetKind::Nonlinear};

}  // namespace

// ---------------------------------------------------------------------------------------------
// The method lists

MethodList::MethodList(bool selectedList, QWidget* parent) : QTableWidget(parent), selected_(selectedList) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    verticalHeader()->hide();
    horizontalHeader()->setSectionsClickable(false);
    setDragEnabled(true);
    setAcceptDrops(selectedList);
    viewport()->setAcceptDrops(selectedList);
    setDragDropMode(selectedList ? QAbstractItemView::DragDrop : QAbstractItemView::DragOnly);
    setFixedHeight(kListHeight);
}

void MethodList::startDrag(Qt::DropActions) {
    const int row = currentRow();
    if (row < 0) return;
    auto* mime = new QMimeData;
    mime->setData(kMethodMime, QByteArray(selected_ ? "s" : "c") + QByteArray::number(row));
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->exec(Qt::MoveAction | Qt::CopyAction);
}

void MethodList::dragEnterEvent(QDragEnterEvent* e) {
    if (selected_ && e->mimeData()->hasFormat(kMethodMime))
        e->acceptProposedAction();
    else
        e->ignore();
}

void MethodList::dragMoveEvent(QDragMoveEvent* e) {
    if (selected_ && e->mimeData()->hasFormat(kMethodMime))
        e->acceptProposedAction();
    else
        e->ignore();
}

void MethodList::dropEvent(QDropEvent* e) {
    if (Drop(e->mimeData(), rowAt(e->position().toPoint().y()))) e->acceptProposedAction();
}

bool MethodList::Drop(const QMimeData* mime, int row) {
    const QByteArray data = mime ? mime->data(kMethodMime) : QByteArray();
    if (!selected_ || data.size() < 2 || !dropped) return false;
    dropped(data[0], data.mid(1).toInt(), row);
    return true;
}

// ---------------------------------------------------------------------------------------------
// The dialog

SetupComputationDialog::SetupComputationDialog(SetupComputationState& state, Prompt& prompt, QWidget* parent,
                                               const PluginSectionFactory& plugins, DialogRunner run)
    : QDialog(parent), state_(state), prompt_(prompt), run_(std::move(run)) {
    setWindowTitle(setupmsg::kSetupCaption);
    auto* outer = new QHBoxLayout(this);
    auto* v = new QVBoxLayout;
    outer->addLayout(v, 1);
    auto* buttons = new QVBoxLayout;
    auto* ok = new QPushButton("OK", this);
    auto* cancel = new QPushButton("Cancel", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &SetupComputationDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    buttons->addStretch(1);
    outer->addLayout(buttons);

    v->addWidget(BuildMethods());
    if (state.PropertySectionBuilt()) v->addWidget(BuildProperty());
    if (state.BoundarySectionBuilt()) v->addWidget(BuildMask());
    if (state.PluginSectionBuilt() && plugins && !state.plugins.empty()) {
        plugins_ = plugins(state.plugins, state.jobs.plugins, this);
        if (plugins_.widget) v->addWidget(plugins_.widget, 1);
    }
    auto* rows = new QGridLayout;
    auto addRow = [&](int r, const char* label, std::string& field) {
        auto* e = new QLineEdit(Q(field), this);
        e->setMaximumWidth(110);
        IntegerField(e, 0, UINT32_MAX);
        connect(e, &QLineEdit::textChanged, this, [&field](const QString& t) { field = S(t); });
        rows->addWidget(new QLabel(label, this), r, 0);
        rows->addWidget(e, r, 1);
        return e;
    };
    seed_ = addRow(0, "Random Seed:", state.seedText);
    cap_ = addRow(1, "Max number of error reports for each computation class:", state.capText);
    rows->setColumnStretch(2, 1);
    v->addLayout(rows);
    if (!plugins_.widget) v->addStretch(1);
    SetCompositionJob(state.jobs.composition);
    if (property_) SetPropertyJob(state.jobs.property);
    // A long plug-in list scrolls rather than push the rows below it off the screen.
    layout()->activate();
    resize(FitClientSize(this, sizeHint()));
}

QWidget* SetupComputationDialog::BuildMethods() {
    auto* w = new QWidget(this);
    auto* v = new QVBoxLayout(w);
    v->setContentsMargins(0, 0, 0, 0);
    composition_ = new QCheckBox("Compute Composition", w);
    v->addWidget(composition_);
    auto* group = new QGroupBox(w);
    auto* g = new QGridLayout(group);
    for (int k = 0; k < 3; ++k) {
        order_[k] = new QLineEdit(Q(state_.orderText[k]), group);
        order_[k]->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), order_[k]));
        order_[k]->setFixedWidth(40);
        IntegerField(order_[k], 0, 99);
        method_[k] = new QCheckBox(setupmsg::kMethodNames[k], group);
        method_[k]->setChecked(state_.methodChecked[k]);
        params_[k] = new QPushButton("Set Parameters...", group);
        params_[k]->setAutoDefault(false);
        params_[k]->setVisible(state_.ParametersButtonShown(k));
        g->addWidget(order_[k], k, 0);
        g->addWidget(method_[k], k, 1);
        g->addWidget(params_[k], k, 2);
        connect(order_[k], &QLineEdit::textChanged, this,
                [this, k](const QString& t) { state_.orderText[k] = S(t); });
        connect(method_[k], &QCheckBox::clicked, this, [this, k](bool on) { MethodClicked(k, on); });
        connect(params_[k], &QPushButton::clicked, this, [this, k] {
            if (!state_.methodChecked[k]) return;
            state_.SetParametersPressed(k);
            OpenMethodSheet(k);
        });
    }
    g->setColumnStretch(1, 1);
    v->addWidget(group);
    if (!state_.CompositionAvailable()) {
        composition_->setChecked(false);
        composition_->setEnabled(false);
    }
    connect(composition_, &QCheckBox::clicked, this, [this](bool on) { SetCompositionJob(on); });
    return w;
}

QWidget* SetupComputationDialog::BuildProperty() {
    auto* w = new QWidget(this);
    auto* g = new QGridLayout(w);
    g->setContentsMargins(0, 0, 0, 0);
    property_ = new QCheckBox("Compute Property", w);
    g->addWidget(property_, 0, 0, 1, 2);
    auto* l1 = new QLabel("Method list:", w);
    auto* l2 = new QLabel("Selected for computation:", w);
    catalogue_ = new MethodList(false, w);
    catalogue_->setColumnCount(2);
    catalogue_->setHorizontalHeaderLabels({"ID", "Description"});
    catalogue_->setRowCount(3);
    for (int k = 0; k < 3; ++k) {
        catalogue_->setItem(k, 0, new QTableWidgetItem(Q(PropertyKindId(k))));
        catalogue_->setItem(k, 1, new QTableWidgetItem(Q(PropertyKindDescription(k))));
    }
    catalogue_->resizeColumnsToContents();
    catalogue_->horizontalHeader()->setStretchLastSection(true);
    selected_ = new MethodList(true, w);
    selected_->setColumnCount(2);
    selected_->setHorizontalHeaderLabels({"       ID       ", ""});
    selected_->horizontalHeader()->setStretchLastSection(true);
    selected_->setContextMenuPolicy(Qt::CustomContextMenu);
    auto* h1 = new QLabel("(Drag-drop to select)", w);
    auto* h2 = new QLabel("(Drag-drop to move or right click for a menu)", w);
    g->addWidget(l1, 1, 0);
    g->addWidget(l2, 1, 1);
    g->addWidget(catalogue_, 2, 0);
    g->addWidget(selected_, 2, 1);
    g->addWidget(h1, 3, 0);
    g->addWidget(h2, 3, 1);
    propertyControls_ = {l1, l2, catalogue_, selected_, h1, h2};
    connect(property_, &QCheckBox::clicked, this, [this](bool on) { SetPropertyJob(on); });
    selected_->dropped = [this](char source, int from, int to) {
        if (source == 'c')
            AddMethod(from);
        else
            MoveSelected(from, to);
    };
    connect(selected_, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const int row = selected_->currentRow();
        if (row < 0) return;
        QMenu menu(this);
        QAction* up = menu.addAction("Up");
        QAction* down = menu.addAction("Down");
        QAction* del = menu.addAction("Delete");
        QAction* chosen = menu.exec(selected_->viewport()->mapToGlobal(pos));
        if (chosen) ListMenuAction(row, chosen == up ? 0 : chosen == down ? 1 : chosen == del ? 2 : -1);
    });
    RebuildSelected();
    return w;
}

QWidget* SetupComputationDialog::BuildMask() {
    auto* w = new QWidget(this);
    auto* v = new QVBoxLayout(w);
    v->setContentsMargins(0, 0, 0, 0);
    mask_ = new QCheckBox("Boundary Mask", w);
    v->addWidget(mask_);
    auto* group = new QGroupBox(w);
    auto* h = new QHBoxLayout(group);
    maskCombo_ = new QComboBox(group);
    for (const std::string& e : state_.MaskEntries()) maskCombo_->addItem(Q(e));
    restore_ = new QPushButton("Restore", group);
    restore_->setAutoDefault(false);
    h->addWidget(maskCombo_, 1);
    h->addWidget(restore_);
    h->addStretch(1);
    v->addWidget(group);
    connect(mask_, &QCheckBox::clicked, this, [this](bool on) {
        state_.maskEnabled = on;
        RefreshMask();
    });
    connect(maskCombo_, &QComboBox::activated, this, [this](int i) {
        state_.ChooseMaskEntry(i);
        RefreshMask();
    });
    connect(restore_, &QPushButton::clicked, this, [this] {
        state_.Restore();
        RefreshMask();
    });
    RefreshMask();
    return w;
}

void SetupComputationDialog::RefreshMask() {
    mask_->setChecked(state_.maskEnabled);
    maskCombo_->setEnabled(state_.maskEnabled);
    restore_->setEnabled(state_.RestoreEnabled());
    maskCombo_->setCurrentIndex(state_.MaskEntryIndex());
}

void SetupComputationDialog::RebuildSelected() {
    if (!selected_) return;
    selected_->clearContents();
    selected_->setRowCount(static_cast<int>(state_.selected.size()));
    for (int r = 0; r < selected_->rowCount(); ++r) {
        selected_->setItem(
            r, 0, new QTableWidgetItem(Q(PropertyKindId(state_.selected[static_cast<std::size_t>(r)].kind))));
        auto* b = new QPushButton("Set Parameters...", selected_);
        b->setAutoDefault(false);
        b->setEnabled(state_.PropertyControlsEnabled());
        connect(b, &QPushButton::clicked, this, [this, r] { EditSelected(r); });
        selected_->setCellWidget(r, 1, b);
    }
    selected_->resizeColumnToContents(0);
}

void SetupComputationDialog::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!reported_ && !state_.OpeningReport().empty()) {
        reported_ = true;
        prompt_.Ask(PromptRequest{setupmsg::kPropertyReportText, state_.OpeningReport(),
                                  setupmsg::kPropertyReportTitle, PromptButtons::Ok, PromptIcon::Warning});
    }
}

void SetupComputationDialog::SetCompositionJob(bool on) {
    state_.SetCompositionJob(on);
    composition_->setChecked(state_.CompositionJobShown());
    EnableCompositionControls(state_.CompositionAvailable() && on);
}

void SetupComputationDialog::SetPropertyJob(bool on) {
    state_.SetPropertyJob(on);
    if (property_) property_->setChecked(on);
    EnablePropertyControls(on);
}

void SetupComputationDialog::EnableCompositionControls(bool enable) {
    state_.EnableCompositionControls(enable);
    for (int k = 0; k < 3; ++k) {
        order_[k]->setEnabled(enable);
        method_[k]->setEnabled(enable);
        params_[k]->setEnabled(enable);
    }
}

void SetupComputationDialog::EnablePropertyControls(bool enable) {
    state_.EnablePropertyControls(enable);
    if (!property_) return;
    for (QWidget* w : propertyControls_) w->setEnabled(enable);
    for (int r = 0; r < selected_->rowCount(); ++r)
        if (QWidget* b = selected_->cellWidget(r, 1)) b->setEnabled(enable);
}

void SetupComputationDialog::SetMethodChecked(int method, bool on) {
    state_.methodChecked[method] = on;
    method_[method]->setChecked(on);
    params_[method]->setVisible(on);
}

void SetupComputationDialog::MethodClicked(int method, bool on) {
    state_.CheckMethod(method, on);
    params_[method]->setVisible(on);
    if (on) OpenMethodSheet(method);
}

int SetupComputationDialog::OpenMethodSheet(int method) {
    std::unique_ptr<MethodSheet> sheet = MakeMethodSheet(kSheetOf[method], state_.GetParams());
    MethodSheetDialog dialog(*sheet, state_.Document().GetTitle(), prompt_, this);
    return RunDialog(run_, dialog);
}

bool SetupComputationDialog::AddMethod(int kind) {
    PropertyMethodSettings rec = state_.NewRecord(kind);
    if (!EditPropertyMethod(rec, prompt_, this, run_)) return false;
    state_.selected.push_back(std::move(rec));
    RebuildSelected();
    return true;
}

void SetupComputationDialog::MoveSelected(int from, int to) {
    state_.DropSelected(from, to);
    RebuildSelected();
}

void SetupComputationDialog::ListMenuAction(int row, int action) {
    if (action == 0) state_.MoveUp(row);
    if (action == 1) state_.MoveDown(row);
    if (action == 2) state_.Delete(row);
    RebuildSelected();
}

bool SetupComputationDialog::EditSelected(int row) {
    if (row < 0 || row >= static_cast<int>(state_.selected.size())) return false;
    PropertyMethodSettings copy = state_.selected[static_cast<std::size_t>(row)];
    if (!EditPropertyMethod(copy, prompt_, this, run_)) return false;
    state_.selected[static_cast<std::size_t>(row)] = std::move(copy);
    return true;
}

void SetupComputationDialog::accept() {
    if (plugins_.job) state_.jobs.plugins = plugins_.job();
    state_.OnOK();
    QDialog::accept();
}

int SetupComputationRunner::Run(JobFlags& jobs, bool, ComputeDocument* document, Params&) {
    auto* doc = dynamic_cast<CZunDoc*>(document);
    if (!doc) return kPromptCancel;
    SetupComputationState state(*doc);
    state.SetJobs(jobs);
    SetupComputationDialog dialog(state, prompt_, parent_, plugins_, run_);
    if (RunDialog(run_, dialog) != QDialog::Accepted) return kPromptCancel;
    jobs = state.jobs;
    return kPromptOk;
}

}  // namespace zun
