// The General pages of the three parameter sheets.

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QTabWidget>
#include <QVBoxLayout>

#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/numberfield.h"
#include "setup/ui/methodsheetdialog.h"

namespace zun {
namespace {

QComboBox* RangeBox(QWidget* parent, const MethodSheet& sheet) {
    auto* box = new QComboBox(parent);
    for (const std::string& e : sheet.RangeEntries()) box->addItem(Q(e));
    box->setCurrentIndex(sheet.RangeSelection());
    return box;
}

}  // namespace

QLineEdit* MethodSheetDialog::AddEdit(QWidget* page, QGridLayout* grid, int row, const char* label,
                                      std::string& field, bool digitsOnly) {
    auto* l = new QLabel(label, page);
    auto* e = new QLineEdit(Q(field), page);
    e->setMaximumWidth(140);
    if (digitsOnly) {
        e->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), e));
        IntegerField(e, 0, INT32_MAX);
    } else {
        RealField(e);
    }
    grid->addWidget(l, row, 0);
    grid->addWidget(e, row, 1);
    connect(e, &QLineEdit::textChanged, this, [this, &field](const QString& t) {
        field = S(t);
        Modified();
    });
    controls_.emplace_back(label, e);
    controls_.emplace_back(std::string(label) + "#label", l);
    return e;
}

ListGridWidget* MethodSheetDialog::AddRowGrid(QWidget* page, const char* label, RowGrid& values,
                                              const std::vector<std::string>& headers) {
    ListGridWidget* g = MakeSheetGrid(page);
    FillSheetGrid(*g, {""}, headers, [&values](int, int c) { return values.Text(c); });
    FitGridHeight(*g);
    FitGridWidth(*g);
    connect(g, &ListGridWidget::cellEdited, this, [this, g, &values](int r, int c, const QString& text) {
        if (!values.Edit(c, S(text))) {
            Refuse(nullptr);
            return;
        }
        GridSetCellText(*g, r, c, S(text), false);
        Modified();
    });
    auto* l = new QLabel(label, page);
    controls_.emplace_back(label, g);
    controls_.emplace_back(std::string(label) + "#label", l);
    return g;
}

void MethodSheetDialog::BuildLinear(QWidget* page) {
    auto& s = static_cast<LinearSheet&>(sheet_);
    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(0, 0, 0, 0);
    auto* form = new QGridLayout;
    AddEdit(page, form, 0, "Number of Iterations:", s.iterations, true);
    AddEdit(page, form, 1, "Number of Uninterruptible Voxel Computations Per Core:", s.uninterruptible, true);
    AddEdit(page, form, 2, "Random Seed:", s.seed, false)->setEnabled(false);  // set in the set-up dialog
    form->setColumnStretch(2, 1);
    v->addLayout(form);
    iterationsGroup_ = {Edit("Number of Iterations:"), controls_[1].second};

    auto addCheck = [&](const char* label, bool& flag) {
        auto* c = new QCheckBox(label, page);
        c->setChecked(flag);
        connect(c, &QCheckBox::clicked, this, [this, &flag](bool on) {
            flag = on;
            UpdateGeneral();
            Modified();
        });
        controls_.emplace_back(label, c);
        v->addWidget(c);
        return c;
    };
    addCheck("Minimise CT Error", s.minimiseCtError)->setEnabled(s.HasCt());
    ListGridWidget* w = AddRowGrid(page, "CT Data Set Weights", s.weights, s.CtNames());
    QWidget* wl = controls_.back().second;
    v->addWidget(wl);
    v->addWidget(w);
    weightsGroup_ = {wl, w};
    addCheck("Minimise Self Energy", s.minimiseSelfEnergy);
    ListGridWidget* se = AddRowGrid(page, "Composition Self Energies", s.selfEnergies, s.CompositionNames());
    QWidget* sl = controls_.back().second;
    v->addWidget(sl);
    v->addWidget(se);
    selfGroup_ = {sl, se};
    addCheck("Interaction with Previous State", s.interactWithPrevious);

    auto* rangeRow = new QHBoxLayout;
    auto* rangeLabel = new QLabel("Neighbour Interaction Range:", page);
    range_ = RangeBox(page, sheet_);
    rangeRow->addWidget(rangeLabel);
    rangeRow->addWidget(range_);
    rangeRow->addStretch(1);
    v->addLayout(rangeRow);
    tabsLabel_ = new QLabel("Composition Interaction Energies", this);
    interactionGroup_ = {rangeLabel, range_, tabsLabel_};
    connect(range_, &QComboBox::activated, this, &MethodSheetDialog::RangeChosen);
}

void MethodSheetDialog::BuildNonlinear(QWidget* page) {
    auto& s = static_cast<NonlinearSheet&>(sheet_);
    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(0, 0, 0, 0);
    auto* box = new QGroupBox("General", page);
    auto* bv = new QVBoxLayout(box);
    const char* names[3] = {"Constrained Matrix Search", "Constrained Line Search",
                            "Constrained Lagrange Multiplier"};
    auto* searchRow = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) {
        searchBoxes_[i] = new QCheckBox(names[i], box);
        searchBoxes_[i]->setChecked(s.search[i]);
        connect(searchBoxes_[i], &QCheckBox::clicked, this, [this, &s, i](bool on) {
            s.ClickSearchMethod(i, on);
            UpdateGeneral();
            Modified();
        });
        controls_.emplace_back(names[i], searchBoxes_[i]);
        searchRow->addWidget(searchBoxes_[i]);
    }
    searchBoxes_[2]->setEnabled(false);
    searchRow->addStretch(1);
    bv->addLayout(searchRow);
    auto* form = new QGridLayout;
    // Q and the exponent cap are kept, checked and stored, but not offered to the user.
    for (QWidget* w :
         {static_cast<QWidget*>(AddEdit(box, form, 0, "Q:", s.q, false)), controls_.back().second,
          static_cast<QWidget*>(AddEdit(box, form, 1, "Max. Exp. Value:", s.maxExpValue, false)),
          controls_.back().second})
        w->hide();
    AddEdit(box, form, 2, "Vol frac sub-divisions", s.gridSize, false);
    iterationsGroup_ = {AddEdit(box, form, 3, "No. of Iterations:", s.iterations, false),
                        controls_.back().second};
    AddEdit(box, form, 4, "Exponent for 2-Composition Interaction:", s.interactionExponent, false);
    AddEdit(box, form, 5, "Exponent for CT Attenuation Coefficient Error:", s.ctErrorExponent, false);
    AddEdit(box, form, 6, "Number of Uninterruptible Voxel Computations Per Core:", s.uninterruptible, true);
    form->setColumnStretch(2, 1);
    bv->addLayout(form);
    ListGridWidget* se = AddRowGrid(box, "Self Energy", s.selfEnergies, s.CompositionNames());
    bv->addWidget(controls_.back().second);
    bv->addWidget(se);
    auto* rangeRow = new QHBoxLayout;
    rangeRow->addWidget(new QLabel("Neighbour Interaction Range:", box));
    range_ = RangeBox(box, sheet_);
    rangeRow->addWidget(range_);
    rangeRow->addStretch(1);
    bv->addLayout(rangeRow);
    v->addWidget(box);
    tabsLabel_ = new QLabel("Interaction Energy", this);
    connect(range_, &QComboBox::activated, this, &MethodSheetDialog::RangeChosen);
}

void MethodSheetDialog::BuildSegmentation(QWidget* page) {
    auto& s = static_cast<SegmentationSheet&>(sheet_);
    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(0, 0, 0, 0);
    auto* frame = new QGroupBox(page);
    auto* fv = new QVBoxLayout(frame);
    fv->setSpacing(0);
    ctStrip_ = new QTableWidget(0, s.CtChannels() + 1, frame);
    ctHeader_ = new CheckHeadCtrl(ctStrip_);
    ctStrip_->setHorizontalHeader(ctHeader_);
    ctStrip_->verticalHeader()->hide();
    QStringList heads{""};
    for (const std::string& n : s.CtNames()) heads << Q(n);
    ctStrip_->setHorizontalHeaderLabels(heads);
    ctHeader_->SetBoxes(s.CtChannels() + 1);
    for (int j = 0; j < s.CtChannels(); ++j)
        ctHeader_->SetImage(j + 1, s.CtSelected(j) ? CheckHeadCtrl::kChecked : CheckHeadCtrl::kUnchecked);
    ctHeader_->setSectionResizeMode(QHeaderView::Fixed);  // locked to the coefficient columns
    ctStrip_->setFixedHeight(ctHeader_->sizeHint().height() + 2 * ctStrip_->frameWidth());
    ctStrip_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ctStrip_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ctHeader_->callback = [this, &s](int column, bool) {
        s.ToggleCt(column);
        FillCoefficients();
        Modified();
    };
    fv->addWidget(ctStrip_);
    coefficients_ = MakeSheetGrid(frame);
    controls_.emplace_back("Coefficients", coefficients_);
    connect(coefficients_, &ListGridWidget::cellEdited, this, [this, &s](int r, int c, const QString& text) {
        if (!s.EditCoefficient(r, c, S(text))) {
            Refuse(nullptr);
            return;
        }
        GridSetCellText(*coefficients_, r, c, S(text), false);
        Modified();
    });
    fv->addWidget(coefficients_);
    connect(coefficients_->horizontalHeader(), &QHeaderView::sectionResized, this, [this] { SyncCtStrip(); });
    FillCoefficients();
    FitGridHeight(*coefficients_);
    FitGridWidth(*coefficients_);
    ctStrip_->setMinimumWidth(coefficients_->minimumWidth());
    v->addWidget(frame);
    ListGridWidget* se = AddRowGrid(page, "Self Energy", s.selfEnergies, s.CompositionNames());
    v->addWidget(controls_.back().second);
    v->addWidget(se);
    v->addWidget(new QLabel("Interaction Energy", page));
    auto* rangeRow = new QHBoxLayout;
    rangeRow->addWidget(new QLabel("Neighbour Interaction Range:", page));
    range_ = RangeBox(page, sheet_);
    rangeRow->addWidget(range_);
    rangeRow->addStretch(1);
    v->addLayout(rangeRow);
    tabsLabel_ = new QLabel(this);
    tabsLabel_->hide();
    connect(range_, &QComboBox::activated, this, &MethodSheetDialog::RangeChosen);
}

void MethodSheetDialog::FillCoefficients() {
    auto& s = static_cast<SegmentationSheet&>(sheet_);
    std::vector<std::string> heads;
    for (int j = 0; j < s.CtChannels(); ++j) {
        heads.push_back("Zero Offset");
        heads.push_back("Multiplier");
    }
    FillSheetGrid(
        *coefficients_, s.CompositionNames(), heads, [&s](int r, int c) { return s.Coefficient(r, c); },
        [&s](int r, int c) { return s.CoefficientReadOnly(r, c); });
    SyncCtStrip();
}

// Each CT column of the strip spans its channel's two coefficient columns.
void MethodSheetDialog::SyncCtStrip() {
    ctStrip_->setColumnWidth(0, coefficients_->columnWidth(0));
    for (int j = 0; j + 1 < ctStrip_->columnCount(); ++j)
        ctStrip_->setColumnWidth(
            j + 1, coefficients_->columnWidth(2 * j + 1) + coefficients_->columnWidth(2 * j + 2));
}

void MethodSheetDialog::UpdateGeneral() {
    auto show = [](const std::vector<QWidget*>& group, bool on) {
        for (QWidget* w : group) {
            w->setVisible(on);
            w->setEnabled(on);
        }
    };
    if (sheet_.Kind() == SheetKind::Linear) {
        auto& s = static_cast<LinearSheet&>(sheet_);
        show(weightsGroup_, s.WeightsShown());
        show(selfGroup_, s.SelfEnergiesShown());
        show(interactionGroup_, s.InteractionShown());
        show(iterationsGroup_, s.IterationsShown());
    } else if (sheet_.Kind() == SheetKind::Nonlinear) {
        auto& s = static_cast<NonlinearSheet&>(sheet_);
        show(iterationsGroup_, s.IterationsShown());
        for (int i = 0; i < 3; ++i) searchBoxes_[i]->setChecked(s.search[i]);
    }
    tabs_->setVisible(sheet_.TabsVisible());
    // Groups shown again take room back: the sheet grows to show them where the screen has room,
    // moving up when its bottom would pass the screen's; past that the interaction grid gives up
    // rows, and the page scrolls when even that is not enough. Groups hidden give their room to
    // the interaction grid, or leave it below the last row.
    if (!opened_.isEmpty()) {
        UpdateLayoutsNow(general_);
        page_->updateGeometry();
        GrowWindowOnScreen(this, sizeHint());
    }
}

}  // namespace zun
