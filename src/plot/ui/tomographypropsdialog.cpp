#include "plot/ui/tomographypropsdialog.h"

#include <algorithm>

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "document/zundoc.h"
#include "foundation/ui/numberfield.h"
#include "model/sample.h"
#include "platform/prompt.h"
#include "plot/ui/filterwindows.h"

namespace zun {

namespace {
QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

std::string Trimmed(const QString& s) {
    return s.trimmed().toStdString();
}
}  // namespace

// ---------------------------------------------------------------- Add Filter

AddFilterDialog::AddFilterDialog(TomographyPropsModel& owner, QWidget* parent)
    : QDialog(parent), owner_(owner) {
    setWindowTitle(tr("Add Filter"));
    userDefined = new QRadioButton(tr("User Defined Filter"), this);
    absorptive = new QRadioButton(tr("Absorptive Filter"), this);
    absorptive->setChecked(true);
    name = new QLineEdit(this);
    auto* ok = new QPushButton(tr("OK"), this);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    ok->setDefault(true);
    auto* grid = new QGridLayout(this);
    grid->addWidget(userDefined, 0, 0, 1, 2);
    grid->addWidget(absorptive, 1, 0, 1, 2);
    grid->addWidget(new QLabel(tr("Name:"), this), 2, 0);
    grid->addWidget(name, 2, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, 3, 0, 1, 2);
    connect(ok, &QPushButton::clicked, this, &AddFilterDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &AddFilterDialog::reject);
}

void AddFilterDialog::accept() {
    const std::string text = Trimmed(name->text());
    if (text.empty()) {
        QDialog::accept();
        return;
    }
    const std::string refusal = owner_.CheckNewFilterName(text);
    if (!refusal.empty()) {
        // Shown through the document's prompt like every other message of the dialog.
        if (Prompt* p = owner_.MessagePrompt()) p->Tell(refusal);
        return;
    }
    if (userDefined->isChecked())
        owner_.AddDeviceFilter(text);
    else
        owner_.AddMaterialFilter(text);
    accepted = text;
    QDialog::accept();
}

// ---------------------------------------------------------------- X-ray CT Properties

TomographyPropsDialog::TomographyPropsDialog(TomographyPropsModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
    setWindowTitle(Q(model_.title));
    Build();
    Connect();
    Refresh();
}

QWidget* TomographyPropsDialog::BuildBeam() {
    auto* box = new QGroupBox(tr("Beam"), this);
    lac = new QRadioButton(tr("LAC"), box);
    lpc = new QRadioButton(tr("LPC"), box);
    auto* typeGroup = new QButtonGroup(box);
    typeGroup->addButton(lac);
    typeGroup->addButton(lpc);
    mono = new QRadioButton(tr("Monochromatic Energy (keV):"), box);
    poly = new QRadioButton(tr("Polychromatic Beam Filters:"), box);
    auto* beamGroup = new QButtonGroup(box);
    beamGroup->addButton(mono);
    beamGroup->addButton(poly);
    energy = RealField(new QLineEdit(box));
    filterCombo = new QComboBox(box);
    filterCombo->setMinimumContentsLength(16);
    addButton = new QPushButton(tr("Add..."), box);
    deleteButton = new QPushButton(tr("Delete..."), box);
    step = RealField(new QLineEdit(box));

    auto* grid = new QGridLayout(box);
    auto* types = new QHBoxLayout;
    types->addWidget(new QLabel(tr("Data Type:"), box));
    types->addWidget(lac);
    types->addWidget(lpc);
    types->addStretch();
    grid->addLayout(types, 0, 0, 1, 4);
    grid->addWidget(mono, 1, 0);
    grid->addWidget(energy, 1, 1);
    grid->addWidget(poly, 2, 0);
    grid->addWidget(filterCombo, 2, 1);
    grid->addWidget(addButton, 2, 2);
    grid->addWidget(deleteButton, 2, 3);
    grid->addWidget(new QLabel(tr("Maximum Integration Step (keV):"), box), 3, 0);
    grid->addWidget(step, 3, 1);
    grid->setColumnStretch(1, 1);
    return box;
}

QWidget* TomographyPropsDialog::BuildLimits() {
    auto* box = new QWidget(this);
    auto readOnly = [box] {
        auto* e = new QLineEdit(box);
        e->setReadOnly(true);
        e->setEnabled(false);
        return RealField(e);
    };
    zeroLabel = new QLabel(box);
    oneLabel = new QLabel(box);
    totalZero = readOnly();
    measuredZero = readOnly();
    offsetZero = RealField(new QLineEdit(box));
    totalOne = readOnly();
    measuredOne = readOnly();
    offsetOne = RealField(new QLineEdit(box));
    accuracy = RealField(new QLineEdit(box));
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(new QLabel(tr("Total"), box), 0, 1, Qt::AlignHCenter);
    grid->addWidget(new QLabel(tr("Measured"), box), 0, 2, Qt::AlignHCenter);
    grid->addWidget(new QLabel(tr("Offset"), box), 0, 3, Qt::AlignHCenter);
    grid->addWidget(zeroLabel, 1, 0);
    grid->addWidget(totalZero, 1, 1);
    grid->addWidget(measuredZero, 1, 2);
    grid->addWidget(offsetZero, 1, 3);
    grid->addWidget(oneLabel, 2, 0);
    grid->addWidget(totalOne, 2, 1);
    grid->addWidget(measuredOne, 2, 2);
    grid->addWidget(offsetOne, 2, 3);
    grid->addWidget(new QLabel(tr("Data relative accuracy (0-1):"), box), 3, 0);
    grid->addWidget(accuracy, 3, 1);
    for (int c = 1; c <= 3; ++c) grid->setColumnMinimumWidth(c, 80);
    return box;
}

void TomographyPropsDialog::Build() {
    tableGroup = new QGroupBox(this);
    table = new QTableWidget(0, 5, tableGroup);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionsClickable(false);
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setShowGrid(true);
    // Only the focused row's Offset cell is edited, by a click on it.
    table->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
    auto* tableLayout = new QVBoxLayout(tableGroup);
    tableLayout->addWidget(table);

    autoRename = new QCheckBox(tr("Auto Rename Channel When Properties Change:"), this);
    autoRename->setLayoutDirection(Qt::RightToLeft);
    renameButton = new QPushButton(tr("Rename Channel..."), this);
    okButton = new QPushButton(tr("OK"), this);
    applyButton = new QPushButton(tr("Apply"), this);
    cancelButton = new QPushButton(tr("Cancel"), this);
    okButton->setDefault(true);

    auto* rename = new QHBoxLayout;
    rename->addWidget(autoRename);
    rename->addStretch();
    rename->addWidget(renameButton);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(applyButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuildBeam());
    layout->addWidget(tableGroup, 1);
    layout->addWidget(BuildLimits());
    layout->addLayout(rename);
    layout->addLayout(buttons);
    resize(720, 600);
}

void TomographyPropsDialog::Connect() {
    auto edit = [this](QLineEdit* e, TomographyPropsModel::Field field) {
        connect(e, &QLineEdit::textChanged, this, [this, field](const QString& t) {
            if (filling_) return;
            model_.OnEditChanged(field, t.toStdString());
            ShowStates();
        });
    };
    edit(energy, TomographyPropsModel::kEnergyField);
    edit(offsetZero, TomographyPropsModel::kOffsetZeroField);
    edit(offsetOne, TomographyPropsModel::kOffsetOneField);
    edit(accuracy, TomographyPropsModel::kAccuracyField);
    edit(step, TomographyPropsModel::kStepField);
    connect(autoRename, &QCheckBox::clicked, this, [this](bool on) {
        model_.OnAutoRenameChanged(on);
        ShowStates();
    });
    connect(mono, &QRadioButton::clicked, this, [this] {
        model_.OnBeamType(false);
        Refresh();
    });
    connect(poly, &QRadioButton::clicked, this, [this] {
        model_.OnBeamType(true);
        Refresh();
    });
    connect(lac, &QRadioButton::clicked, this, [this] {
        model_.OnDataType(0);
        Refresh();
    });
    connect(lpc, &QRadioButton::clicked, this, [this] {
        model_.OnDataType(1);
        Refresh();
    });
    connect(filterCombo, &QComboBox::activated, this, [this](int index) {
        model_.OnComboSelection(index);
        Refresh();
    });
    connect(addButton, &QPushButton::clicked, this, [this] { OnAdd(); });
    connect(deleteButton, &QPushButton::clicked, this, [this] {
        model_.DeleteSelectedFilter();
        Refresh();
    });
    connect(table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (filling_ || !TomographyPropsModel::IsOffsetColumn(item->column())) return;
        model_.EditOffset(static_cast<std::size_t>(item->row()), item->text().toStdString());
        ShowTable();
        ShowStates();
    });
    connect(renameButton, &QPushButton::clicked, this, [this] {
        if (renameChannel) renameChannel(model_.Chan().name);
    });
    connect(okButton, &QPushButton::clicked, this, &TomographyPropsDialog::accept);
    connect(applyButton, &QPushButton::clicked, this, [this] {
        if (model_.Apply()) {
            setWindowTitle(Q(model_.title));
            Refresh();
        } else {
            Focus(model_.failedField);
        }
    });
    connect(cancelButton, &QPushButton::clicked, this, &TomographyPropsDialog::reject);
}

void TomographyPropsDialog::Refresh() {
    ShowFields();
    ShowTable();
    ShowCombo();
    ShowStates();
}

void TomographyPropsDialog::ShowFields() {
    filling_ = true;
    const CtBeamSettings& s = model_.Current();
    lac->setChecked(s.dataType == 0);
    lpc->setChecked(s.dataType != 0);
    mono->setChecked(!s.polychromatic);
    poly->setChecked(s.polychromatic);
    energy->setText(Q(model_.energyText));
    step->setText(Q(model_.stepText));
    totalZero->setText(Q(model_.totalZeroText));
    measuredZero->setText(Q(model_.measuredZeroText));
    offsetZero->setText(Q(model_.offsetZeroText));
    totalOne->setText(Q(model_.totalOneText));
    measuredOne->setText(Q(model_.measuredOneText));
    offsetOne->setText(Q(model_.offsetOneText));
    accuracy->setText(Q(model_.accuracyText));
    autoRename->setChecked(model_.autoRename);
    tableGroup->setTitle(Q(model_.GroupTitle()));
    zeroLabel->setText(Q(model_.RowLabel(0)));
    oneLabel->setText(Q(model_.RowLabel(1)));
    filling_ = false;
}

void TomographyPropsDialog::ShowTable() {
    filling_ = true;
    const int selected = table->currentRow();
    QStringList headers;
    for (const std::string& h : model_.ColumnHeaders()) headers << Q(h);
    table->setHorizontalHeaderLabels(headers);
    const auto& rows = model_.Current().rows;
    table->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < 5; ++c) {
            auto* item = new QTableWidgetItem(Q(model_.CellText(r, c)));
            Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
            if (TomographyPropsModel::IsOffsetColumn(c)) flags |= Qt::ItemIsEditable;
            item->setFlags(flags);
            table->setItem(static_cast<int>(r), c, item);
        }
    }
    for (int c = 1; c < 5; ++c) table->resizeColumnToContents(c);
    if (!rows.empty())
        table->selectRow(std::clamp(selected < 0 ? 0 : selected, 0, static_cast<int>(rows.size()) - 1));
    filling_ = false;
}

void TomographyPropsDialog::ShowCombo() {
    filling_ = true;
    filterCombo->clear();
    for (const std::string& e : model_.comboEntries) filterCombo->addItem(Q(e));
    filterCombo->setCurrentIndex(model_.comboSelection);
    filling_ = false;
}

void TomographyPropsDialog::ShowStates() {
    const bool types = model_.TypeButtonsEnabled();
    lac->setEnabled(types);
    lpc->setEnabled(types && model_.LpcAvailable());
    mono->setEnabled(types);
    poly->setEnabled(types);
    energy->setEnabled(model_.EnergyEnabled());
    filterCombo->setEnabled(model_.FilterControlsEnabled());
    addButton->setEnabled(model_.FilterControlsEnabled());
    step->setEnabled(model_.FilterControlsEnabled());
    deleteButton->setEnabled(model_.FilterControlsEnabled() && model_.deleteEnabled);
    applyButton->setEnabled(model_.applyEnabled);
}

void TomographyPropsDialog::Focus(TomographyPropsModel::Field field) {
    switch (field) {
        case TomographyPropsModel::kEnergyField:
            energy->setFocus();
            break;
        case TomographyPropsModel::kOffsetZeroField:
            offsetZero->setFocus();
            break;
        case TomographyPropsModel::kOffsetOneField:
            offsetOne->setFocus();
            break;
        case TomographyPropsModel::kAccuracyField:
            accuracy->setFocus();
            break;
        default:
            break;
    }
}

void TomographyPropsDialog::OnAdd() {
    AddFilterDialog add(model_, this);
    if (add.exec() != QDialog::Accepted || add.accepted.empty()) return;
    model_.ShowFilterProperties(add.accepted);
    model_.RefreshAllFiltersWindow();
    Refresh();
}

void TomographyPropsDialog::RenameChannel(const std::string& oldName, const std::string& newName) {
    model_.RenameChannel(oldName, newName);
    setWindowTitle(Q(model_.title));
    ShowTable();
}

void TomographyPropsDialog::accept() {
    if (model_.Ok())
        QDialog::accept();
    else
        Focus(model_.failedField);
}

void TomographyPropsDialog::reject() {
    model_.Cancel();
    QDialog::reject();
}

int RunTomographyPropsDialog(CZunDoc& doc, int channel, bool newChannel, QWidget* parent,
                             std::function<void(const std::string& name)> renameChannel,
                             const std::function<void(TomographyPropsDialog&)>& prepare) {
    TomographyPropsModel model(doc, channel, doc.GetPromptSink());
    model.newChannel = newChannel;
    if (!model.Open()) return QDialog::Rejected;
    model.title = doc.GetTitle() + ": '" + model.Chan().name + "' X-ray CT Properties";
    doc.propertyDialogOpen[CZunDoc::kXrayCtDialog] = true;
    TomographyPropsDialog dialog(model, parent);
    dialog.renameChannel = std::move(renameChannel);
    model.windowFactory = MakeFilterWindowFactory(model, &dialog, [&dialog] { dialog.Refresh(); });
    if (prepare) prepare(dialog);
    const int result = dialog.exec();
    // The filter windows are the dialog's children: the registry lets go of them first.
    model.CloseAllFilterWindows();
    doc.propertyDialogOpen[CZunDoc::kXrayCtDialog] = false;
    return result;
}

}  // namespace zun
