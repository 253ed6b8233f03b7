#include "plot/ui/filterwindows.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <memory>

#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/numberfield.h"
#include "platform/prompt.h"
#include "plot/plotsettings.h"
#include "plot/ui/plotpropertiesdialog.h"
#include "plot/ui/plotwidget.h"
#include "plot/ui/spinbuttons.h"

namespace zun {

namespace {
QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

QTableWidget* MakeTable(QWidget* parent, int columns) {
    auto* t = new QTableWidget(0, columns, parent);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setSectionsClickable(false);
    // Columns as wide as their titles, the last one taking the rest.
    t->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    t->horizontalHeader()->setStretchLastSection(true);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    return t;
}

void FillRows(QTableWidget* t, const std::vector<std::vector<std::string>>& rows, bool editable) {
    t->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r)
        for (std::size_t c = 0; c < rows[r].size(); ++c) {
            auto* item = new QTableWidgetItem(Q(rows[r][c]));
            Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
            if (editable) flags |= Qt::ItemIsEditable;
            item->setFlags(flags);
            t->setItem(static_cast<int>(r), static_cast<int>(c), item);
        }
}
}  // namespace

// ---------------------------------------------------------------- import dialog

DeviceFilterImportDialog::DeviceFilterImportDialog(const QString& title, Prompt* prompt, QWidget* parent)
    : QFileDialog(parent, title), prompt_(prompt) {
    setOption(QFileDialog::DontUseNativeDialog, true);
    setFileMode(QFileDialog::ExistingFile);
    setNameFilters({tr("Text files (*.txt)"), tr("Any files (*)")});
    forceSkip = new QCheckBox(tr("Force Skip:"), this);
    lines = IntegerField(new QLineEdit(QStringLiteral("0"), this), 0, INT32_MAX);
    lines->setEnabled(false);
    auto* row = new QHBoxLayout;
    row->addWidget(forceSkip);
    row->addWidget(lines);
    row->addWidget(new QLabel(tr("Lines From File Start"), this));
    row->addStretch();
    if (auto* grid = qobject_cast<QGridLayout*>(layout())) grid->addLayout(row, grid->rowCount(), 0, 1, -1);
    connect(forceSkip, &QCheckBox::toggled, lines, &QLineEdit::setEnabled);
}

void DeviceFilterImportDialog::accept() {
    skipLines = 0;
    if (forceSkip->isChecked() && !ReadSkipLines(lines->text().toStdString(), &skipLines)) {
        if (prompt_) prompt_->Tell(filtermsg::kInvalidSkip, PromptIcon::Warning);
        lines->setFocus();
        return;
    }
    QFileDialog::accept();
}

// ---------------------------------------------------------------- common

FilterWindowBase::FilterWindowBase(TomographyPropsModel& owner, std::string name, QWidget* parent)
    : QDialog(parent), owner_(owner), name_(std::move(name)) {
    setWindowFlag(Qt::Window);
    setModal(false);
    plot_ = new PlotWidget(this);
    plot_->GetGraph().showLegend = false;
    plot_->GetGraph().xAxis.autoscale = true;
    plot_->GetGraph().yAxis.autoscale = true;
    plotButton = new QPushButton(tr("Plot Properties..."), this);
    connect(plotButton, &QPushButton::clicked, this,
            [this] { OpenModelessPlotProperties(properties_, this, this, windowTitle(), plotButton); });
    ev = new QRadioButton(tr("eV"), this);
    kev = new QRadioButton(tr("keV"), this);
    auto* units = new QButtonGroup(this);
    units->addButton(ev);
    units->addButton(kev);
    ok_ = new QPushButton(tr("OK"), this);
    applyButton = new QPushButton(tr("Apply"), this);
    cancel_ = new QPushButton(tr("Cancel"), this);
}

void FilterWindowBase::AddUnitsAndButtons(QHBoxLayout* row, QCheckBox* enabled) {
    row->addWidget(new QLabel(tr("Energy Units:"), this));
    row->addWidget(ev);
    row->addWidget(kev);
    if (enabled) row->addWidget(enabled);
    row->addStretch();
    row->addWidget(ok_);
    row->addWidget(applyButton);
    row->addWidget(cancel_);
}

void FilterWindowBase::ConnectUnits(std::function<void(int)> setUnit) {
    connect(ev, &QRadioButton::clicked, this, [setUnit] { setUnit(0); });
    connect(kev, &QRadioButton::clicked, this, [setUnit] { setUnit(1); });
}

void FilterWindowBase::PlotPropertiesClosed() {
    ReleaseModelessPlotProperties(properties_, plotButton);
}

void FilterWindowBase::PlotChanged() {
    plot_->update();
    if (properties_) properties_->RefreshFromPlot();
}

void FilterWindowBase::RenamePlot(const std::string& oldName, const std::string& newName) {
    Graph& g = plot_->GetGraph();
    ReplaceQuotedName(g.title.text, oldName, newName);
    ReplaceQuotedName(g.yLabel.text, oldName, newName);
    if (properties_) properties_->RenameChannel(oldName, newName);
    plot_->update();
}

void FilterWindowBase::Raise() {
    show();
    raise();
    activateWindow();
}

void FilterWindowBase::Destroy() {
    closing_ = true;
    if (properties_) PlotPropertiesClosed();
    hide();
    deleteLater();
}

void FilterWindowBase::Close() {
    if (closing_) return;
    owner_.CloseFilterWindow(name_);
    if (ownerChanged) ownerChanged();
}

void FilterWindowBase::closeEvent(QCloseEvent* event) {
    event->ignore();
    reject();
}

void FilterWindowBase::ShowCurve(const std::vector<double>& x, const std::vector<double>& y,
                                 const std::string& xTitle, const std::string& caption, std::int32_t colour) {
    x_ = x;
    y_ = y;
    Graph& g = plot_->GetGraph();
    g.plot.ClearYData();
    g.title.text = caption;
    g.xLabel.text = xTitle;
    g.yLabel.text = filtermsg::kGainTitle;
    if (!x_.empty()) g.plot.SetXData(&x_);
    if (!y_.empty()) g.plot.AddYData(&y_, static_cast<ColourRef>(colour), nullptr, name_);
    PlotChanged();
}

std::string FilterWindowBase::ChooseSave(const std::string& title) {
    return GetSaveFileName(this, Q(title), QString(), tr("Text files (*.txt);;Any files (*)")).toStdString();
}

// ---------------------------------------------------------------- device filter

DeviceFilterWindow::DeviceFilterWindow(TomographyPropsModel& owner, const std::string& name,
                                       const std::string& caption, QWidget* parent)
    : FilterWindowBase(owner, name, parent), model_(owner, name, owner.MessagePrompt()) {
    model_.caption = caption;
    setWindowTitle(Q(caption));
    model_.Open();

    table = MakeTable(this, 2);
    table->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::DoubleClicked |
                           QAbstractItemView::EditKeyPressed);
    enabled = new QCheckBox(tr("Filter Enabled"), this);
    enabled->setVisible(!model_.IsSource());
    auto* importButton = new QPushButton(tr("Import..."), this);
    auto* exportButton = new QPushButton(tr("Export..."), this);
    auto* clearButton = new QPushButton(tr("Clear..."), this);

    auto* curve = new QGroupBox(tr("Transfer Function"), this);
    auto* curveLayout = new QVBoxLayout(curve);
    curveLayout->addWidget(plot_);
    auto* top = new QHBoxLayout;
    top->addWidget(table, 1);
    top->addWidget(curve, 2);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(importButton);
    bottom->addWidget(exportButton);
    bottom->addWidget(clearButton);
    bottom->addWidget(plotButton);
    bottom->addSpacing(12);
    AddUnitsAndButtons(bottom, enabled);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);
    resize(760, 420);

    connect(table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (filling_) return;
        model_.EditCell(static_cast<std::size_t>(item->row()), item->column(), item->text().toStdString());
        Show();
    });
    connect(enabled, &QCheckBox::clicked, this, [this](bool on) {
        model_.OnEnabledChanged(on);
        Show();
    });
    connect(clearButton, &QPushButton::clicked, this, [this] {
        model_.Clear();
        Show();
    });
    connect(importButton, &QPushButton::clicked, this, [this] { Import(); });
    connect(exportButton, &QPushButton::clicked, this, [this] {
        const std::string path = ChooseSave(model_.caption + " Export");
        if (!path.empty()) model_.Export(path);
    });
    ConnectUnits([this](int unit) {
        model_.SetUnit(unit);
        Show();
    });
    ConnectApplyOkCancel(model_, {}, [this] { Show(); });
    Show();
}

void DeviceFilterWindow::Show() {
    filling_ = true;
    table->setHorizontalHeaderLabels({Q(model_.EnergyTitle()), Q(filtermsg::kGainTitle)});
    std::vector<std::vector<std::string>> rows;
    for (const TableRow& r : model_.rows) rows.push_back({r.first, r.second});
    FillRows(table, rows, true);
    ev->setChecked(model_.Unit() == 0);
    kev->setChecked(model_.Unit() == 1);
    enabled->setChecked(model_.enabled);
    applyButton->setEnabled(model_.applyEnabled);
    filling_ = false;
    ShowCurve(model_.graphX, model_.graphY, model_.EnergyTitle(), model_.caption, model_.Working().attribute);
}

void DeviceFilterWindow::Import() {
    Prompt* prompt = owner_.MessagePrompt();
    if (model_.NeedsOverwriteQuestion() && prompt &&
        prompt->Ask({filtermsg::kOverwrite, {}, {}, PromptButtons::OkCancel, PromptIcon::Question}) !=
            kPromptOk)
        return;
    DeviceFilterImportDialog dialog(Q(model_.caption + " Import"), prompt, this);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    model_.Import(dialog.selectedFiles().front().toStdString(), dialog.skipLines);
    Show();
}

void DeviceFilterWindow::RenameChannel(const std::string& oldName, const std::string& newName) {
    model_.RenameChannel(oldName, newName);
    RenamePlot(oldName, newName);
    setWindowTitle(Q(model_.caption));
    Show();
}

// ---------------------------------------------------------------- material filter

MaterialFilterWindow::MaterialFilterWindow(TomographyPropsModel& owner, const std::string& name,
                                           const std::string& caption, int unavailable, QWidget* parent)
    : FilterWindowBase(owner, name, parent), model_(owner, name, owner.MessagePrompt()) {
    model_.caption = caption;
    model_.unavailable = unavailable;
    setWindowTitle(Q(caption));
    model_.Open();

    materials = MakeTable(this, 3);
    materials->setHorizontalHeaderLabels({tr("Composition"), tr("Density(g/cm^3)"), tr("Volume Fraction")});
    materials->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::DoubleClicked |
                               QAbstractItemView::EditKeyPressed);
    table = MakeTable(this, 2);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    thickness = RealField(new QLineEdit(this));
    minimum = RealField(new QLineEdit(this));
    maximum = RealField(new QLineEdit(this));
    interval = RealField(new QLineEdit(this));
    rangeLabel = new QLabel(this);
    enabled = new QCheckBox(tr("Filter Enabled"), this);
    auto* importButton = new QPushButton(tr("Import..."), this);
    auto* exportMaterials = new QPushButton(tr("Export..."), this);
    auto* exportTable = new QPushButton(tr("Export..."), this);
    auto* clearButton = new QPushButton(tr("Clear..."), this);
    getCurrent = new QPushButton(tr("Get Current..."), this);
    getCurrent->setVisible(model_.IsBeamHardening());

    auto* matBox = new QGroupBox(tr("Material Properties"), this);
    auto* matLayout = new QGridLayout(matBox);
    matLayout->addWidget(materials, 0, 0, 1, 4);
    matLayout->addWidget(importButton, 1, 0);
    matLayout->addWidget(exportMaterials, 1, 1);
    matLayout->addWidget(clearButton, 1, 2);
    matLayout->addWidget(getCurrent, 1, 3);
    matLayout->addWidget(new QLabel(tr("Thickness (mm):"), matBox), 2, 0);
    matLayout->addWidget(thickness, 2, 1);
    matLayout->addWidget(rangeLabel, 3, 0, 1, 2);
    matLayout->addWidget(new QLabel(tr("Min:"), matBox), 4, 0);
    matLayout->addWidget(minimum, 4, 1);
    matLayout->addWidget(new QLabel(tr("Max:"), matBox), 5, 0);
    matLayout->addWidget(maximum, 5, 1);
    matLayout->addWidget(new QLabel(tr("Interval:"), matBox), 6, 0);
    matLayout->addWidget(interval, 6, 1);
    auto* curveBox = new QGroupBox(tr("Transfer Function"), this);
    auto* curveLayout = new QGridLayout(curveBox);
    curveLayout->addWidget(table, 0, 0);
    curveLayout->addWidget(plot_, 0, 1);
    curveLayout->addWidget(exportTable, 1, 0);
    curveLayout->addWidget(plotButton, 1, 1, Qt::AlignLeft);
    curveLayout->setColumnStretch(1, 2);
    curveLayout->setColumnStretch(0, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(matBox, 1);
    top->addWidget(curveBox, 2);
    auto* bottom = new QHBoxLayout;
    AddUnitsAndButtons(bottom, enabled);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);
    resize(1120, 500);

    connect(materials, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (filling_) return;
        model_.EditMaterialCell(static_cast<std::size_t>(item->row()), item->column(),
                                item->text().toStdString());
        Show();
    });
    for (QLineEdit* e : {thickness, minimum, maximum, interval})
        connect(e, &QLineEdit::textChanged, this, [this] {
            if (filling_) return;
            ReadEdits();
            model_.OnEditChanged();
            applyButton->setEnabled(true);
        });
    connect(enabled, &QCheckBox::clicked, this, [this](bool on) {
        model_.OnEnabledChanged(on);
        Show();
    });
    connect(clearButton, &QPushButton::clicked, this, [this] {
        model_.Clear();
        Show();
    });
    connect(getCurrent, &QPushButton::clicked, this, [this] {
        model_.GetCurrent();
        Show();
    });
    connect(importButton, &QPushButton::clicked, this, [this] {
        Prompt* prompt = owner_.MessagePrompt();
        if (model_.NeedsOverwriteQuestion() && prompt &&
            prompt->Ask({materialmsg::kOverwrite, {}, {}, PromptButtons::OkCancel, PromptIcon::Question}) !=
                kPromptOk)
            return;
        const QString path =
            QFileDialog::getOpenFileName(this, Q(model_.caption + " Import Material Properties"), QString(),
                                         tr("Text files (*.txt);;Any files (*)"));
        if (path.isEmpty()) return;
        model_.ImportMaterials(path.toStdString());
        Show();
    });
    connect(exportMaterials, &QPushButton::clicked, this, [this] {
        const std::string path = ChooseSave(model_.caption + " Export Material Properties");
        if (!path.empty()) model_.ExportMaterials(path);
    });
    connect(exportTable, &QPushButton::clicked, this, [this] {
        const std::string path = ChooseSave(model_.caption + " Export");
        if (!path.empty()) model_.ExportTable(path);
    });
    ConnectUnits([this](int unit) {
        ReadEdits();
        model_.SetUnit(unit);
        Show();
    });
    ConnectApplyOkCancel(
        model_, [this] { ReadEdits(); }, [this] { Show(); });
    Show();
}

void MaterialFilterWindow::ReadEdits() {
    model_.thicknessText = thickness->text().toStdString();
    model_.minText = minimum->text().toStdString();
    model_.maxText = maximum->text().toStdString();
    model_.intervalText = interval->text().toStdString();
}

void MaterialFilterWindow::Show() {
    filling_ = true;
    std::vector<std::vector<std::string>> rows;
    for (const MaterialRow& r : model_.materials) rows.push_back({r[0], r[1], r[2]});
    FillRows(materials, rows, true);
    if (model_.IsBeamHardening())
        for (int r = 0; r < materials->rowCount(); ++r)
            for (int c = 0; c < 2; ++c)
                materials->item(r, c)->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    const std::string energyTitle = EnergyColumnTitle(model_.Unit());
    table->setHorizontalHeaderLabels({Q(energyTitle), Q(filtermsg::kGainTitle)});
    rows.clear();
    for (const TableRow& r : model_.tableRows) rows.push_back({r.first, r.second});
    FillRows(table, rows, false);
    thickness->setText(Q(model_.thicknessText));
    minimum->setText(Q(model_.minText));
    maximum->setText(Q(model_.maxText));
    interval->setText(Q(model_.intervalText));
    rangeLabel->setText(Q(model_.RangeLabel()));
    ev->setChecked(model_.Unit() == 0);
    kev->setChecked(model_.Unit() == 1);
    enabled->setChecked(model_.enabled);
    applyButton->setEnabled(model_.applyEnabled);
    filling_ = false;
    ShowCurve(model_.graphX, model_.graphY, energyTitle, model_.caption, model_.Working().attribute);
}

void MaterialFilterWindow::RenameChannel(const std::string& oldName, const std::string& newName) {
    model_.RenameChannel(oldName, newName);
    RenamePlot(oldName, newName);
    setWindowTitle(Q(model_.caption));
    Show();
}

// ---------------------------------------------------------------- all filters

CombinedFiltersWindow::CombinedFiltersWindow(TomographyPropsModel& owner, const std::string& caption,
                                             QWidget* parent)
    : FilterWindowBase(owner, ctmsg::kDisplayAll, parent), model_(owner, owner.MessagePrompt()) {
    model_.caption = caption;
    setWindowTitle(Q(caption));
    model_.Open();
    auto* curveBox = new QGroupBox(tr("Combined Polychromatic Filters Transfer Function"), this);
    auto* curveLayout = new QVBoxLayout(curveBox);
    curveLayout->addWidget(plot_);
    plot_->GetGraph().showLegend = true;
    auto* grid = new QGridLayout;
    const char* labels[] = {"Source:", "Source+Detector:", "All:"};
    for (int c = 0; c < CombinedFiltersModel::kCurveCount; ++c) {
        const auto curve = static_cast<CombinedFiltersModel::Curve>(c);
        shown[static_cast<std::size_t>(c)] = new QCheckBox(tr(labels[c]), this);
        scalings[static_cast<std::size_t>(c)] = RealField(new QLineEdit(this));
        auto* spin = new SpinButtons(this);
        grid->addWidget(shown[static_cast<std::size_t>(c)], c, 0);
        grid->addWidget(scalings[static_cast<std::size_t>(c)], c, 1);
        grid->addWidget(spin, c, 2);
        connect(shown[static_cast<std::size_t>(c)], &QCheckBox::clicked, this, [this, curve](bool on) {
            model_.SetShown(curve, on);
            Show();
        });
        connect(spin, &SpinButtons::stepped, this, [this, curve](int delta) {
            ReadTexts();
            model_.Spin(curve, delta);
            Show();
        });
    }
    auto* exportButton = new QPushButton(tr("Export..."), this);
    grid->addWidget(new QLabel(tr("Energy Units:"), this), 0, 3);
    grid->addWidget(ev, 0, 4);
    grid->addWidget(kev, 0, 5);
    grid->addWidget(exportButton, 2, 3);
    grid->addWidget(plotButton, 2, 4, 1, 2);
    grid->setColumnStretch(6, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok_);
    buttons->addWidget(applyButton);
    buttons->addWidget(cancel_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(curveBox, 1);
    layout->addLayout(grid);
    layout->addLayout(buttons);
    resize(900, 520);
    connect(exportButton, &QPushButton::clicked, this, [this] {
        const std::string path = ChooseSave(model_.caption + " Export");
        if (!path.empty()) model_.Export(path);
    });
    ConnectUnits([this](int unit) {
        model_.SetUnit(unit);
        Show();
    });
    ConnectApplyOkCancel(
        model_, [this] { ReadTexts(); }, [this] { Show(); });
    Show();
}

void CombinedFiltersWindow::ReadTexts() {
    for (std::size_t c = 0; c < scalings.size(); ++c)
        model_.scalingTexts[c] = scalings[c]->text().toStdString();
}

void CombinedFiltersWindow::keyPressEvent(QKeyEvent* event) {
    // Enter in a scaling field applies the scalings to the curves, not to the owner.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        for (std::size_t c = 0; c < scalings.size(); ++c) {
            if (!scalings[c]->hasFocus()) continue;
            ReadTexts();
            int field = -1;
            if (!model_.ReadScalings(&field) && field >= 0)
                scalings[static_cast<std::size_t>(field)]->setFocus();
            Show();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void CombinedFiltersWindow::Refresh() {
    model_.Refresh();
    Show();
}

void CombinedFiltersWindow::Show() {
    filling_ = true;
    for (std::size_t c = 0; c < shown.size(); ++c) {
        shown[c]->setEnabled(model_.available[c]);
        shown[c]->setChecked(model_.Current().curves[c].show);
        scalings[c]->setEnabled(model_.available[c]);
        scalings[c]->setText(Q(model_.scalingTexts[c]));
    }
    ev->setChecked(model_.Unit() == 0);
    kev->setChecked(model_.Unit() == 1);
    applyButton->setEnabled(model_.applyEnabled);
    filling_ = false;
    x_ = model_.x;
    Graph& g = plot_->GetGraph();
    g.plot.ClearYData();
    g.title.text = model_.caption;
    g.xLabel.text = model_.XTitle();
    g.yLabel.text = "Gain            ";
    if (!x_.empty()) g.plot.SetXData(&x_);
    const ColourRef colours[] = {MakeColourRef(255, 0, 0), MakeColourRef(0, 255, 0),
                                 MakeColourRef(0, 0, 255)};
    for (int c = 0; c < CombinedFiltersModel::kCurveCount; ++c) {
        curves_[static_cast<std::size_t>(c)] = model_.y[static_cast<std::size_t>(c)];
        if (!model_.Current().curves[static_cast<std::size_t>(c)].show ||
            curves_[static_cast<std::size_t>(c)].empty())
            continue;
        g.plot.AddYData(&curves_[static_cast<std::size_t>(c)], colours[c], nullptr,
                        CombinedFiltersModel::kNames[c]);
    }
    plot_->update();
}

// ---------------------------------------------------------------- factory

TomographyPropsModel::WindowFactory MakeFilterWindowFactory(TomographyPropsModel& owner, QWidget* dialog,
                                                            std::function<void()> ownerChanged) {
    // The windows of this dialog in the order they opened: the next one cascades from the last.
    auto open = std::make_shared<std::vector<QPointer<QWidget>>>();
    return
        [&owner, dialog, ownerChanged, open](TomographyPropsModel::WindowKind kind, const std::string& name,
                                             const std::string& title, int unavailable) -> CtFilterWindow* {
            FilterWindowBase* w = nullptr;
            if (kind == TomographyPropsModel::WindowKind::Device)
                w = new DeviceFilterWindow(owner, name, title, dialog);
            else if (kind == TomographyPropsModel::WindowKind::Material)
                w = new MaterialFilterWindow(owner, name, title, unavailable, dialog);
            else
                w = new CombinedFiltersWindow(owner, title, dialog);
            w->ownerChanged = ownerChanged;
            // The first beside the dialog, a third of its width in and half its own height up: the
            // height it will open with, not the one of a window not yet laid out.
            PrepareWindowSize(w);
            CascadeFloatingWindow(*open, w, dialog, dialog ? dialog->width() / 3 : 0, -(w->height() / 2));
            return w;
        };
}

}  // namespace zun
