#include "plot/ui/plotpropertiesdialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "foundation/ui/numberfield.h"
#include "plot/ui/plotowner.h"
#include "plot/ui/plotwidget.h"
#include "plot/ui/spinbuttons.h"

namespace zun {

PlotPropertiesDialog::PlotPropertiesDialog(AtplotOwner* owner, QWidget* parent)
    : QDialog(parent), owner_(owner), model_(owner->GetPlotCtrl()->Control()) {
    showMessage = [this](const QString& text) { QMessageBox::information(this, caption_, text); };
    SetCaption(QStringLiteral("Attenuation Plot Properties"));

    auto* top = new QGridLayout;
    titleCheck = new QCheckBox(QStringLiteral("Title:"));
    titleEdit = new QLineEdit;
    legendCheck = new QCheckBox(QStringLiteral("Legend:"));
    top->addWidget(titleCheck, 0, 0);
    top->addWidget(titleEdit, 0, 1);
    top->addWidget(legendCheck, 1, 0);
    top->setColumnStretch(1, 1);

    refreshButton = new QPushButton(QStringLiteral("Refresh Plot"));
    closeButton = new QPushButton(QStringLiteral("Close"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(refreshButton);
    buttons->addStretch(1);
    buttons->addWidget(closeButton);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(BuildAxisGroup(PlotAxisId::X, x));
    layout->addWidget(BuildAxisGroup(PlotAxisId::Y, y));
    layout->addLayout(buttons);

    connect(titleCheck, &QCheckBox::toggled, this, [this](bool on) {
        model_.SetShowTitle(on);
        EndChange();
    });
    connect(legendCheck, &QCheckBox::toggled, this, [this](bool on) {
        model_.SetShowLegend(on);
        EndChange();
    });
    connect(titleEdit, &QLineEdit::textEdited, this, [this] {
        edited_.insert(titleEdit);
        refreshButton->setEnabled(true);
    });
    connect(titleEdit, &QLineEdit::editingFinished, this, [this] { CommitEdit(titleEdit); });
    ConnectAxis(PlotAxisId::X, x);
    ConnectAxis(PlotAxisId::Y, y);
    connect(refreshButton, &QPushButton::clicked, this, &PlotPropertiesDialog::ApplyPendingEdits);
    connect(closeButton, &QPushButton::clicked, this, &PlotPropertiesDialog::Close);

    Fill();
    refreshButton->setEnabled(false);
}

QWidget* PlotPropertiesDialog::BuildAxisGroup(PlotAxisId id, AxisControls& c) {
    const QString a = id == PlotAxisId::X ? QStringLiteral("X") : QStringLiteral("Y");
    auto* box = new QGroupBox(a + QStringLiteral(" Axis"));
    auto* g = new QGridLayout(box);
    c.grid = new QCheckBox(a + QStringLiteral(" Grid:"));
    c.autoscale = new QCheckBox(a + QStringLiteral(" Autoscale:"));
    c.linear = new QRadioButton(QStringLiteral("Linear"));
    c.log = new QRadioButton(QStringLiteral("Log"));
    auto* scale = new QButtonGroup(box);
    scale->addButton(c.linear);
    scale->addButton(c.log);
    c.range = new QLineEdit;
    c.rangeSpin = new SpinButtons;
    c.offset = new QLineEdit;
    c.offsetSpin = new SpinButtons;
    c.showLabel = new QCheckBox(a + QStringLiteral(" Label:"));
    c.label = new QLineEdit;
    for (QLineEdit* e : {c.range, c.offset}) RealField(e);

    g->addWidget(c.grid, 0, 0);
    g->addWidget(c.autoscale, 0, 1, 1, 2);
    auto* radios = new QHBoxLayout;
    radios->addWidget(c.linear);
    radios->addWidget(c.log);
    radios->addStretch(1);
    g->addLayout(radios, 0, 3, 1, 3);
    g->addWidget(new QLabel(a + QStringLiteral(" Range:")), 1, 0);
    g->addWidget(c.range, 1, 1);
    g->addWidget(c.rangeSpin, 1, 2);
    g->addWidget(new QLabel(a + QStringLiteral(" Offset:")), 1, 3);
    g->addWidget(c.offset, 1, 4);
    g->addWidget(c.offsetSpin, 1, 5);
    g->addWidget(c.showLabel, 2, 0);
    g->addWidget(c.label, 2, 1, 1, 5);
    g->setColumnStretch(1, 1);
    g->setColumnStretch(4, 1);
    return box;
}

void PlotPropertiesDialog::ConnectAxis(PlotAxisId id, AxisControls& c) {
    connect(c.grid, &QCheckBox::toggled, this, [this, id](bool on) {
        model_.SetGrid(id, on);
        EndChange();
    });
    connect(c.showLabel, &QCheckBox::toggled, this, [this, id](bool on) {
        model_.SetShowLabel(id, on);
        EndChange();
    });
    connect(c.autoscale, &QCheckBox::toggled, this, [this, id, &c](bool on) {
        // Typed numbers of an axis that turns autoscaling are dropped with its edits' enabling.
        if (on) {
            edited_.erase(c.range);
            edited_.erase(c.offset);
        }
        model_.SetAutoscale(id, on);
        EndChange();
    });
    connect(c.log, &QRadioButton::toggled, this, [this, id](bool on) {
        model_.SetLog(id, on);
        EndChange();
    });
    for (QLineEdit* e : {c.range, c.offset, c.label}) {
        connect(e, &QLineEdit::textEdited, this, [this, e] {
            edited_.insert(e);
            refreshButton->setEnabled(true);
        });
        connect(e, &QLineEdit::editingFinished, this, [this, e] { CommitEdit(e); });
    }
    connect(c.rangeSpin, &SpinButtons::stepped, this, [this, id, &c](int delta) {
        c.range->setText(QString::fromStdString(model_.SpinRange(id, c.range->text().toStdString(), delta)));
        edited_.erase(c.range);
        EndChange();
    });
    connect(c.offsetSpin, &SpinButtons::stepped, this, [this, id, &c](int delta) {
        c.offset->setText(
            QString::fromStdString(model_.SpinOffset(id, c.offset->text().toStdString(), delta)));
        edited_.erase(c.offset);
        EndChange();
    });
}

void PlotPropertiesDialog::SetCaption(const QString& caption) {
    caption_ = caption;
    setWindowTitle(caption);
}

void PlotPropertiesDialog::Fill() {
    const PlotPropertiesModel::Fields f = model_.Read();
    auto setText = [this](QLineEdit* e, const std::string& t) {
        if (!edited_.count(e)) e->setText(QString::fromStdString(t));
    };
    {
        const QSignalBlocker b1(titleCheck), b2(legendCheck);
        titleCheck->setChecked(f.showTitle);
        legendCheck->setChecked(f.showLegend);
    }
    setText(titleEdit, f.title);
    titleEdit->setEnabled(f.showTitle);
    for (PlotAxisId id : {PlotAxisId::X, PlotAxisId::Y}) {
        AxisControls& c = Controls(id);
        const PlotPropertiesModel::AxisFields& a = id == PlotAxisId::X ? f.x : f.y;
        const QSignalBlocker b1(c.grid), b2(c.autoscale), b3(c.linear), b4(c.log), b5(c.showLabel);
        c.grid->setChecked(a.grid);
        c.autoscale->setChecked(a.autoscale);
        (a.log ? c.log : c.linear)->setChecked(true);
        c.showLabel->setChecked(a.showLabel);
        setText(c.range, a.range);
        setText(c.offset, a.offset);
        setText(c.label, a.label);
        c.label->setEnabled(a.showLabel);
        for (QWidget* w : std::initializer_list<QWidget*>{c.range, c.rangeSpin, c.offset, c.offsetSpin})
            w->setEnabled(!a.autoscale);
    }
}

void PlotPropertiesDialog::EndChange() {
    Fill();
    refreshButton->setEnabled(!edited_.empty());
}

bool PlotPropertiesDialog::CommitEdit(QLineEdit* edit) {
    if (committing_ || !edited_.count(edit)) return true;
    const std::string text = edit->text().toStdString();
    std::string message;
    if (edit == titleEdit)
        model_.SetTitle(text);
    else if (edit == x.label || edit == y.label)
        model_.SetLabel(edit == x.label ? PlotAxisId::X : PlotAxisId::Y, text);
    else if (edit == x.range || edit == y.range)
        message = model_.CommitRange(edit == x.range ? PlotAxisId::X : PlotAxisId::Y, text);
    else
        message = model_.CommitOffset(edit == x.offset ? PlotAxisId::X : PlotAxisId::Y, text);
    if (!message.empty()) {
        committing_ = true;
        showMessage(QString::fromStdString(message));
        committing_ = false;
        edit->setFocus();
        return false;
    }
    edited_.erase(edit);
    EndChange();
    return true;
}

void PlotPropertiesDialog::ApplyPendingEdits() {
    const std::set<QLineEdit*> pending = edited_;
    for (QLineEdit* e : pending)
        if (!CommitEdit(e)) return;
}

void PlotPropertiesDialog::RefreshFromPlot() {
    const PlotPropertiesModel::Fields f = model_.Read();
    for (PlotAxisId id : {PlotAxisId::X, PlotAxisId::Y}) {
        AxisControls& c = Controls(id);
        const PlotPropertiesModel::AxisFields& a = id == PlotAxisId::X ? f.x : f.y;
        if (!a.autoscale) continue;
        c.range->setText(QString::fromStdString(a.range));
        c.offset->setText(QString::fromStdString(a.offset));
        edited_.erase(c.range);
        edited_.erase(c.offset);
    }
    y.label->setText(QString::fromStdString(f.y.label));
    edited_.erase(y.label);
}

void PlotPropertiesDialog::RenameChannel(const std::string& oldName, const std::string& newName) {
    std::string caption = caption_.toStdString();
    if (ReplaceQuotedName(caption, oldName, newName)) SetCaption(QString::fromStdString(caption));
    for (QLineEdit* e : {titleEdit, y.label}) {
        std::string t = e->text().toStdString();
        if (ReplaceQuotedName(t, oldName, newName)) {
            e->setText(QString::fromStdString(t));
            edited_.insert(e);
        }
    }
    ApplyPendingEdits();
}

void PlotPropertiesDialog::Close() {
    if (closed_) return;
    closed_ = true;
    hide();
    owner_->PlotPropertiesClosed();
}

void PlotPropertiesDialog::closeEvent(QCloseEvent* event) {
    event->accept();
    Close();
}

void PlotPropertiesDialog::reject() {
    Close();
}

void OpenModelessPlotProperties(QPointer<PlotPropertiesDialog>& properties, AtplotOwner* owner,
                                QWidget* parent, const QString& caption, QPushButton* button) {
    if (properties) return;
    properties = new PlotPropertiesDialog(owner, parent);
    properties->SetCaption(caption);
    properties->setModal(false);
    properties->show();
    button->setEnabled(false);
}

void ReleaseModelessPlotProperties(QPointer<PlotPropertiesDialog>& properties, QPushButton* button) {
    button->setEnabled(true);
    button->setFocus();
    button->setDefault(true);
    if (!properties) return;
    properties->hide();
    properties->deleteLater();
    properties = nullptr;
}

}  // namespace zun
