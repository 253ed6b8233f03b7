#include "document/ui/datcoldialog.h"

#include <algorithm>
#include <cmath>

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include "foundation/ui/colorstatic.h"
#include "foundation/ui/numberfield.h"
#include "foundation/ui/wheelguard.h"

namespace zun {

namespace {

enum EntryColumn { kColOn = 0, kColColour = 1, kColOpacity = 2 };

const char* const kKindNames[] = {"Single Colour", "Colour per Data Bit", "Colour Spectrum",
                                  "Colour per Value"};

// The spectrum of the enabled stops, left to right.
class SpectrumBar : public QWidget {
public:
    SpectrumBar(const DatcolPropsModel& model, QWidget* parent) : QWidget(parent), model_(model) {
        setMinimumHeight(18);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const int w = std::max(1, width() - 1);
        for (int x = 0; x < width(); ++x) {
            p.setPen(ColorFromRef(model_.SpectrumPreview(static_cast<double>(x) / w)));
            p.drawLine(x, 0, x, height());
        }
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }

private:
    const DatcolPropsModel& model_;
};

void ShowColourCell(QTableWidgetItem* item, std::uint32_t colour, const QPalette& palette) {
    if (IsMarkerColourValue(colour)) {
        item->setBackground(palette.color(QPalette::Button));
        item->setText(" ...");
    } else {
        item->setBackground(ColorFromRef(colour));
        item->setText(QString());
    }
}

QTableWidget* MakeTable(int rows, const QStringList& headers, QWidget* parent) {
    auto* t = new QTableWidget(rows, headers.size(), parent);
    t->setHorizontalHeaderLabels(headers);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionMode(QAbstractItemView::NoSelection);
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

}  // namespace

QPixmap DataColourKindPicture(int kind, const QSize& size) {
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    const int w = size.width(), h = size.height();
    switch (kind) {
        case 1:  // a stripe per data bit
            for (int i = 0; i < 6; ++i)
                p.fillRect(QRect(i * w / 6, 0, (i + 1) * w / 6 - i * w / 6, h),
                           ColorFromRef(DatcolPaletteColour(i)));
            break;
        case 2: {  // the spectrum
            QLinearGradient g(0, 0, w, 0);
            DatcolMultiSpec s;
            s.AssignDefault();
            for (int i = 0; i < DatcolMultiSpec::kStops; ++i)
                g.setColorAt(i / double(DatcolMultiSpec::kStops - 1),
                             ColorFromRef(s.colours[static_cast<std::size_t>(i)]));
            p.fillRect(pm.rect(), g);
            break;
        }
        case 3:  // blocks of values
            for (int i = 0; i < 4; ++i)
                p.fillRect(QRect((i % 2) * w / 2, (i / 2) * h / 2, w - w / 2, h - h / 2),
                           ColorFromRef(DatcolPaletteColour(i + 6)));
            break;
        default:
            break;
    }
    p.setPen(QColor(80, 80, 80));
    p.drawRect(pm.rect().adjusted(0, 0, -1, -1));
    return pm;
}

DatcolPropertiesDialog::DatcolPropertiesDialog(DatcolPropsModel& model, QWidget* parent)
    : QDialog(parent), model_(model) {
    setWindowTitle(QString::fromStdString(model_.Title()));
    auto* layout = new QVBoxLayout(this);

    auto* kindRow = new QHBoxLayout;
    kinds_ = new QButtonGroup(this);
    for (int k = 0; k < 4; ++k) {
        auto* r = new QRadioButton(tr(kKindNames[k]), this);
        kinds_->addButton(r, k);
        kindRow->addWidget(r);
    }
    kindRow->addStretch(1);
    layout->addLayout(kindRow);

    pages_ = new QStackedWidget(this);
    pages_->addWidget(MakeSinglePage());
    bitTable_ = MakeEntryTable(true);
    pages_->addWidget(bitTable_);
    pages_->addWidget(MakeSpectrumPage());
    pages_->addWidget(MakeValuePage());
    layout->addWidget(pages_, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(kinds_, &QButtonGroup::idClicked, this, [this](int id) { SetColourKind(id); });
    Refresh();
    resize(460, 440);
}

QWidget* DatcolPropertiesDialog::MakeSinglePage() {
    auto* page = new QWidget(this);
    auto* g = new QGridLayout(page);
    auto* button = new QPushButton(tr("Colour..."), page);
    single_ = new ColorStatic(page);
    single_->setFixedSize(60, 22);
    g->addWidget(new QLabel(tr("Data colour:"), page), 0, 0);
    g->addWidget(single_, 0, 1);
    g->addWidget(button, 0, 2);
    g->setColumnStretch(3, 1);
    g->setRowStretch(1, 1);
    connect(button, &QPushButton::clicked, this, [this] {
        std::uint32_t c = model_.SingleColour();
        if (IsMarkerColourValue(c)) c = 0x808080;
        if (!Pick(c)) return;
        model_.SetSingleColour(c);
        UpdateSingleColourSwatch();
    });
    return page;
}

QTableWidget* DatcolPropertiesDialog::MakeEntryTable(bool bits) {
    auto* t = MakeTable(DatcolBaseSpec::kEntries, {tr("On"), tr("Colour"), tr("Opacity (%)")}, this);
    QStringList rows;
    for (int i = 0; i < DatcolBaseSpec::kEntries; ++i)
        rows << (bits ? tr("Bit %1").arg(i) : tr("Value %1").arg(i + 1));
    t->setVerticalHeaderLabels(rows);
    for (int r = 0; r < DatcolBaseSpec::kEntries; ++r) {
        auto* on = new QTableWidgetItem;
        on->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        t->setItem(r, kColOn, on);
        auto* colour = new QTableWidgetItem;
        colour->setFlags(Qt::ItemIsEnabled);
        colour->setTextAlignment(Qt::AlignCenter);
        t->setItem(r, kColColour, colour);
        auto* spin = new QSpinBox(t);
        spin->setRange(-1, 100);
        spin->setSpecialValueText(" ...");  // mixed over the items
        spin->setFrame(false);
        t->setCellWidget(r, kColOpacity, spin);
        connect(spin, &QSpinBox::valueChanged, this, [this, bits, r] { EntryChanged(bits, r); });
    }
    // The opacity spin boxes fill a column of a table that scrolls.
    ScrollAreaTakesWheel(t);
    t->setColumnWidth(kColOn, 40);
    t->setColumnWidth(kColColour, 80);
    connect(t, &QTableWidget::itemChanged, this, [this, bits](QTableWidgetItem* item) {
        if (item->column() == kColOn) EntryChanged(bits, item->row());
    });
    connect(t, &QTableWidget::cellClicked, this, [this, bits](int row, int column) {
        if (column != kColColour) return;
        const DatcolBaseSpec& spec =
            bits ? static_cast<const DatcolBaseSpec&>(model_.BitSpec()) : model_.ValueSpec();
        std::uint32_t c = spec.colours[static_cast<std::size_t>(row)];
        if (IsMarkerColourValue(c)) c = DatcolPaletteColour(row);
        if (!Pick(c)) return;
        QTableWidget* table = EntryTable(bits);
        filling_ = true;
        ShowColourCell(table->item(row, kColColour), c, palette());
        filling_ = false;
        EntryChanged(bits, row);
    });
    return t;
}

QWidget* DatcolPropertiesDialog::MakeValuePage() {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(0, 0, 0, 0);
    auto* limits = new QHBoxLayout;
    fromOn_ = new QCheckBox(tr("From"), page);
    from_ = RealField(new QLineEdit(page));
    toOn_ = new QCheckBox(tr("To"), page);
    to_ = RealField(new QLineEdit(page));
    format_ = new QComboBox(page);
    format_->addItems({tr("Raw"), tr("Normalised"), tr("Physical")});
    limits->addWidget(fromOn_);
    limits->addWidget(from_);
    limits->addWidget(toOn_);
    limits->addWidget(to_);
    limits->addWidget(format_);
    v->addLayout(limits);
    valueTable_ = MakeEntryTable(false);
    v->addWidget(valueTable_, 1);
    connect(fromOn_, &QCheckBox::toggled, this, [this] { LimitsChanged(); });
    connect(toOn_, &QCheckBox::toggled, this, [this] { LimitsChanged(); });
    connect(from_, &QLineEdit::editingFinished, this, [this] { LimitsChanged(); });
    connect(to_, &QLineEdit::editingFinished, this, [this] { LimitsChanged(); });
    connect(format_, &QComboBox::currentIndexChanged, this, [this](int f) {
        if (filling_) return;
        model_.SetEntryFormat(f);
        FillLimits();
    });
    return page;
}

QWidget* DatcolPropertiesDialog::MakeSpectrumPage() {
    auto* page = new QWidget(this);
    auto* v = new QVBoxLayout(page);
    v->setContentsMargins(0, 0, 0, 0);
    stopTable_ = MakeTable(DatcolMultiSpec::kStops, {tr("On"), tr("Colour")}, page);
    QStringList rows;
    for (int i = 0; i < DatcolMultiSpec::kStops; ++i) rows << tr("Stop %1").arg(i + 1);
    stopTable_->setVerticalHeaderLabels(rows);
    for (int r = 0; r < DatcolMultiSpec::kStops; ++r) {
        auto* on = new QTableWidgetItem;
        on->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
        stopTable_->setItem(r, kColOn, on);
        auto* colour = new QTableWidgetItem;
        colour->setFlags(Qt::ItemIsEnabled);
        colour->setTextAlignment(Qt::AlignCenter);
        stopTable_->setItem(r, kColColour, colour);
    }
    stopTable_->setColumnWidth(kColOn, 40);
    connect(stopTable_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (item->column() == kColOn) StopChanged(item->row());
    });
    connect(stopTable_, &QTableWidget::cellClicked, this, [this](int row, int column) {
        if (column != kColColour) return;
        std::uint32_t c = model_.Spectrum().colours[static_cast<std::size_t>(row)];
        if (IsMarkerColourValue(c)) c = 0x808080;
        if (!Pick(c)) return;
        filling_ = true;
        ShowColourCell(stopTable_->item(row, kColColour), c, palette());
        filling_ = false;
        StopChanged(row);
    });
    v->addWidget(stopTable_, 1);
    preview_ = new SpectrumBar(model_, page);
    v->addWidget(preview_);
    return page;
}

bool DatcolPropertiesDialog::Pick(std::uint32_t& colour) {
    if (pickColour) return pickColour(colour);
    const QColor c = QColorDialog::getColor(ColorFromRef(colour), this, tr("Colour"));
    if (!c.isValid()) return false;
    colour = RefFromColor(c);
    return true;
}

void DatcolPropertiesDialog::SetColourKind(std::int32_t kind) {
    model_.SetColourKind(kind);
    Refresh();
}

void DatcolPropertiesDialog::UpdateSingleColourSwatch() {
    const std::uint32_t c = model_.SingleColour();
    if (IsMarkerColourValue(c)) {
        single_->SetBkColour(kSystemFaceColour);
        single_->setText(" ...");
    } else {
        single_->SetBkColour(c);
        single_->setText(QString());
    }
}

void DatcolPropertiesDialog::Refresh() {
    filling_ = true;
    const int kind = model_.Kind();
    if (kind >= 0 && kind <= 3) {
        kinds_->button(kind)->setChecked(true);
        pages_->setCurrentIndex(kind);
    } else {
        // Items of differing kinds: no radio button is on until one is chosen.
        kinds_->setExclusive(false);
        for (QAbstractButton* b : kinds_->buttons()) b->setChecked(false);
        kinds_->setExclusive(true);
    }
    filling_ = false;
    UpdateSingleColourSwatch();
    FillEntries(true);
    FillEntries(false);
    FillLimits();
    FillStops();
}

void DatcolPropertiesDialog::FillEntries(bool bits) {
    filling_ = true;
    const DatcolBaseSpec& spec =
        bits ? static_cast<const DatcolBaseSpec&>(model_.BitSpec()) : model_.ValueSpec();
    QTableWidget* t = EntryTable(bits);
    for (int r = 0; r < DatcolBaseSpec::kEntries; ++r) {
        const auto k = static_cast<std::size_t>(r);
        t->item(r, kColOn)->setCheckState(spec.enables[k] ? Qt::Checked : Qt::Unchecked);
        ShowColourCell(t->item(r, kColColour), spec.colours[k], palette());
        auto* spin = static_cast<QSpinBox*>(t->cellWidget(r, kColOpacity));
        const float o = spec.opacities[k];
        spin->setValue(o < 0 ? -1 : static_cast<int>(std::floor(o * 100.0f + 0.5f)));
    }
    filling_ = false;
}

void DatcolPropertiesDialog::FillLimits() {
    filling_ = true;
    const DatcolValueSpec& v = model_.ValueSpec();
    fromOn_->setChecked(v.fromEnabled != 0);
    toOn_->setChecked(v.toEnabled != 0);
    from_->setText(QString::fromStdString(model_.FormatLimit(v.fromValue)));
    to_->setText(QString::fromStdString(model_.FormatLimit(v.toValue)));
    format_->setCurrentIndex(std::clamp(v.entryFormat, 0, 2));
    from_->setEnabled(fromOn_->isChecked());
    to_->setEnabled(toOn_->isChecked());
    filling_ = false;
}

void DatcolPropertiesDialog::FillStops() {
    filling_ = true;
    const DatcolMultiSpec& s = model_.Spectrum();
    for (int r = 0; r < DatcolMultiSpec::kStops; ++r) {
        const auto k = static_cast<std::size_t>(r);
        stopTable_->item(r, kColOn)->setCheckState(s.enables[k] ? Qt::Checked : Qt::Unchecked);
        ShowColourCell(stopTable_->item(r, kColColour), s.colours[k], palette());
    }
    preview_->update();
    filling_ = false;
}

void DatcolPropertiesDialog::EntryChanged(bool bits, int row) {
    if (filling_) return;
    QTableWidget* t = EntryTable(bits);
    const DatcolBaseSpec& spec =
        bits ? static_cast<const DatcolBaseSpec&>(model_.BitSpec()) : model_.ValueSpec();
    const auto k = static_cast<std::size_t>(row);
    std::uint32_t colour = spec.colours[k];
    const QTableWidgetItem* c = t->item(row, kColColour);
    if (c->text().isEmpty()) colour = RefFromColor(c->background().color());
    const int o = static_cast<QSpinBox*>(t->cellWidget(row, kColOpacity))->value();
    model_.SetEntry(bits, row, t->item(row, kColOn)->checkState() == Qt::Checked, colour,
                    o < 0 ? spec.opacities[k] : static_cast<float>(o) / 100.0f);
}

void DatcolPropertiesDialog::StopChanged(int row) {
    if (filling_) return;
    std::uint32_t colour = model_.Spectrum().colours[static_cast<std::size_t>(row)];
    const QTableWidgetItem* c = stopTable_->item(row, kColColour);
    if (c->text().isEmpty()) colour = RefFromColor(c->background().color());
    model_.SetStop(row, stopTable_->item(row, kColOn)->checkState() == Qt::Checked, colour);
    preview_->update();
}

void DatcolPropertiesDialog::LimitsChanged() {
    if (filling_) return;
    const DatcolValueSpec& v = model_.ValueSpec();
    std::uint16_t from = v.fromValue, to = v.toValue;
    // A text that is no value in range keeps the limit it had.
    model_.ParseLimit(from_->text().toStdString(), from);
    model_.ParseLimit(to_->text().toStdString(), to);
    model_.SetValueLimits(fromOn_->isChecked(), from, toOn_->isChecked(), to);
    FillLimits();
}

void DatcolPropertiesDialog::reject() {
    model_.Cancel();
    QDialog::reject();
}

}  // namespace zun
