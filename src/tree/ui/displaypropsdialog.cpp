#include "tree/ui/displaypropsdialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

#include "document/ui/datcoldialog.h"
#include "document/zundoc.h"
#include "foundation/ui/colorstatic.h"
#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/numberfield.h"
#include "tree/datcoltarget.h"
#include "tree/treehints.h"
#include "tree/ui/treeview.h"

namespace zun {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

const char* const kDisplayNames[] = {"Display Data", "Display RO", "Display ERR"};
const char* const kColourNames[] = {"Data Colour...", "RO Colour...", "ERR Colour..."};
const char* const kStatsNames[] = {"Ave", "Stdev", "Min", "Max", "N"};
const char* const kOpacityNames[] = {"Data Low Threshold (%):", "Data High Threshold (%):",
                                     "Opacity At Low Threshold (%):", "Opacity At High Threshold (%):"};
constexpr int kSwatchSize = 22;

Qt::CheckState ToQt(CheckState s) {
    switch (s) {
        case CheckState::kChecked:
            return Qt::Checked;
        case CheckState::kIndeterminate:
            return Qt::PartiallyChecked;
        default:
            return Qt::Unchecked;
    }
}

// The 3-D views beside the tree in its document window.
std::vector<DocView*> FrameViews(ZunTreeView& tree) {
    std::vector<DocView*> views;
    QWidget* frame = tree.parentWidget();
    if (!frame) return views;
    for (QObject* o : frame->children())
        if (auto* v = dynamic_cast<DocView*>(o); v && o != &tree) views.push_back(v);
    return views;
}

// The mask list: opening it first lets the dialog drop the mixed entry.
class MaskComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> beforePopup;
    void showPopup() override {
        if (beforePopup) beforePopup();
        QComboBox::showPopup();
    }
};

}  // namespace

DisplayPropertiesDialog::DisplayPropertiesDialog(ZunTreeView& view, TreeItems items, const std::string& title)
    // Over the document's main window, not inside the view: it must be gone before the view's
    // tree is (the view's children outlive its members).
    : QDialog(view.window() != &view ? view.window() : nullptr, Qt::Dialog),
      view_(view),
      doc_(view.Document()) {
    WaitCursor wait;
    own_ = std::make_unique<DisplayPropsModel>(view_.Tree(), std::move(items), this);
    model_ = own_.get();
    if (!title.empty()) model_->title = title;
    Open();
}

DisplayPropertiesDialog::DisplayPropertiesDialog(ZunTreeView& view, DisplayPropsModel& driven)
    : QDialog(view.window() != &view ? view.window() : nullptr, Qt::Dialog),
      view_(view),
      doc_(view.Document()),
      model_(&driven) {
    Open();
}

void DisplayPropertiesDialog::Open() {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(Q(model_->title));
    Build();
    Refresh();
    doc_.propertyDialogCount++;
    doc_.Views().Add(this);
    connect(&view_, &QObject::destroyed, this, [this] {
        closing_ = true;
        delete this;
    });
    // The title names channels in quotes: a rename follows.
    connect(&view_, &ZunTreeView::channelRenamed, this, [this](const QString& from, const QString& to) {
        model_->title = ReplaceQuotedName(model_->title, from.toStdString(), to.toStdString());
        setWindowTitle(Q(model_->title));
    });
}

DisplayPropertiesDialog::~DisplayPropertiesDialog() {
    doc_.Views().Remove(this);
    if (doc_.propertyDialogCount > 0) doc_.propertyDialogCount--;
}

// ---- layout

void DisplayPropertiesDialog::Build() {
    auto* top = new QVBoxLayout(this);
    auto* row1 = new QHBoxLayout;
    row1->addWidget(BuildItemsGroup(), 1);
    row1->addWidget(BuildOpacityGroup(), 1);
    top->addLayout(row1);
    auto* row2 = new QHBoxLayout;
    row2->addWidget(BuildMaskGroup(), 1);
    row2->addWidget(BuildStatsGroup(), 1);
    top->addLayout(row2);
    auto* ends = new QHBoxLayout;
    ends->addStretch(1);
    auto* ok = new QPushButton(tr("OK"), this);
    auto* cancel = new QPushButton(tr("Cancel"), this);
    ok->setDefault(true);
    ends->addWidget(ok);
    ends->addWidget(cancel);
    top->addLayout(ends);
    connect(ok, &QPushButton::clicked, this, &DisplayPropertiesDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &DisplayPropertiesDialog::reject);
    buttons_.push_back(ok);
    buttons_.push_back(cancel);
}

QPushButton* DisplayPropertiesDialog::AddButton(const QString& text, void (DisplayPropsModel::*handler)()) {
    auto* b = new QPushButton(text, this);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this,
            [this, handler] { Run([this, handler] { (model_->*handler)(); }); });
    buttons_.push_back(b);
    return b;
}

QWidget* DisplayPropertiesDialog::BuildItemsGroup() {
    auto* box = new QGroupBox(tr("Display Items and Colours"), this);
    auto* g = new QGridLayout(box);
    for (int i = 0; i < 3; ++i) {
        display_[static_cast<std::size_t>(i)] = new QCheckBox(tr(kDisplayNames[i]), box);
        colourButtons_[static_cast<std::size_t>(i)] = new QPushButton(tr(kColourNames[i]), box);
        colourButtons_[static_cast<std::size_t>(i)]->setAutoDefault(false);
        swatches_[static_cast<std::size_t>(i)] = new ColorStatic(box);
        swatches_[static_cast<std::size_t>(i)]->setFixedSize(kSwatchSize * 2, kSwatchSize);
        g->addWidget(display_[static_cast<std::size_t>(i)], i, 0);
        g->addWidget(colourButtons_[static_cast<std::size_t>(i)], i, 1);
        g->addWidget(swatches_[static_cast<std::size_t>(i)], i, 2);
        connect(display_[static_cast<std::size_t>(i)], &QCheckBox::clicked, this,
                [this, i](bool on) { Run([this, i, on] { model_->ClickDisplay(i, on); }); });
    }
    connect(colourButtons_[0], &QPushButton::clicked, this, [this] { OpenDataColour(); });
    connect(colourButtons_[1], &QPushButton::clicked, this, [this] { PickLayerColour(1); });
    connect(colourButtons_[2], &QPushButton::clicked, this, [this] { PickLayerColour(2); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(AddButton(tr("Restore Items"), &DisplayPropsModel::RestoreItems));
    buttons->addWidget(AddButton(tr("Restore Colours"), &DisplayPropsModel::RestoreColours));
    buttons->addWidget(AddButton(tr("Set Default Colours"), &DisplayPropsModel::SetDefaultColours));
    g->addLayout(buttons, 3, 0, 1, 3);
    g->setRowStretch(4, 1);
    return box;
}

QWidget* DisplayPropertiesDialog::BuildOpacityGroup() {
    auto* box = new QGroupBox(tr("Display Opacity"), this);
    auto* g = new QGridLayout(box);
    for (int i = 0; i < 4; ++i) {
        auto* field = new QLineEdit(box);
        field->setFixedWidth(field->fontMetrics().horizontalAdvance("00000") + 12);
        IntegerField(field, 0, 100);  // percent
        field->installEventFilter(this);
        fields_[static_cast<std::size_t>(i)] = field;
        auto* up = new QToolButton(box);
        auto* down = new QToolButton(box);
        up->setArrowType(Qt::UpArrow);
        down->setArrowType(Qt::DownArrow);
        for (QToolButton* b : {up, down}) {
            b->setAutoRepeat(true);
            b->setFixedSize(16, 11);
        }
        spins_[static_cast<std::size_t>(2 * i)] = up;
        spins_[static_cast<std::size_t>(2 * i + 1)] = down;
        auto* spin = new QVBoxLayout;
        spin->setSpacing(0);
        spin->addWidget(up);
        spin->addWidget(down);
        g->addWidget(new QLabel(tr(kOpacityNames[i]), box), i, 0);
        g->addWidget(field, i, 1);
        g->addLayout(spin, i, 2);
        connect(up, &QToolButton::clicked, this, [this, i] { Step(i, 1); });
        connect(down, &QToolButton::clicked, this, [this, i] { Step(i, -1); });
        // The end of a scroll applies the value.
        for (QToolButton* b : {up, down})
            connect(b, &QToolButton::released, this, [this, i] {
                Run([this, i] {
                    int pos = fields_[static_cast<std::size_t>(i)]->text().toInt();
                    model_->SpinDone(i, std::clamp(pos, 0, 100));
                });
            });
    }
    incLower_ = new QCheckBox(tr("Inc Lower"), box);
    incUpper_ = new QCheckBox(tr("Inc Upper"), box);
    for (QCheckBox* c : {incLower_, incUpper_}) c->setTristate(true);
    connect(incLower_, &QCheckBox::clicked, this, [this] { Run([this] { model_->ClickIncLower(); }); });
    connect(incUpper_, &QCheckBox::clicked, this, [this] { Run([this] { model_->ClickIncUpper(); }); });
    auto* inc = new QHBoxLayout;
    inc->addWidget(incLower_);
    inc->addWidget(incUpper_);
    inc->addStretch(1);
    g->addLayout(inc, 4, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(AddButton(tr("Restore Opacity"), &DisplayPropsModel::RestoreOpacity));
    buttons->addWidget(AddButton(tr("Set Default Opacity"), &DisplayPropsModel::SetDefaultOpacity));
    g->addLayout(buttons, 5, 0, 1, 3);
    return box;
}

QWidget* DisplayPropertiesDialog::BuildMaskGroup() {
    auto* box = new QGroupBox(tr("Display Masking"), this);
    auto* g = new QGridLayout(box);
    maskBox_ = new QCheckBox(tr("Boundary Mask:"), box);
    auto* combo = new MaskComboBox(box);
    combo->beforePopup = [this] {
        model_->MaskDropDown();
        ShowMask();
    };
    maskCombo_ = combo;
    maskCombo_->setMinimumContentsLength(14);
    g->addWidget(maskBox_, 0, 0);
    g->addWidget(maskCombo_, 0, 1);
    g->addWidget(AddButton(tr("Restore Mask"), &DisplayPropsModel::RestoreMask), 1, 1, Qt::AlignRight);
    connect(maskBox_, &QCheckBox::clicked, this,
            [this](bool on) { Run([this, on] { model_->ClickMask(on); }); });
    connect(maskCombo_, &QComboBox::activated, this,
            [this](int index) { Run([this, index] { model_->SelectMask(index); }); });
    return box;
}

QWidget* DisplayPropertiesDialog::BuildStatsGroup() {
    auto* box = new QGroupBox(tr("Data Statistics"), this);
    auto* v = new QVBoxLayout(box);
    auto* boxes = new QHBoxLayout;
    for (int i = 0; i < 5; ++i) {
        stats_[static_cast<std::size_t>(i)] = new QCheckBox(tr(kStatsNames[i]), box);
        boxes->addWidget(stats_[static_cast<std::size_t>(i)]);
        connect(stats_[static_cast<std::size_t>(i)], &QCheckBox::clicked, this,
                [this, i](bool on) { Run([this, i, on] { model_->ClickStats(i, on); }); });
    }
    v->addLayout(boxes);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(AddButton(tr("Set All"), &DisplayPropsModel::SetAllStats));
    buttons->addWidget(AddButton(tr("Clear All"), &DisplayPropsModel::ClearAllStats));
    buttons->addWidget(AddButton(tr("Restore"), &DisplayPropsModel::RestoreStats));
    v->addLayout(buttons);
    return box;
}

QPushButton* DisplayPropertiesDialog::Button(const QString& text) const {
    for (QPushButton* b : buttons_)
        if (b->text() == text) return b;
    for (QPushButton* b : colourButtons_)
        if (b->text() == text) return b;
    return nullptr;
}

// ---- showing the model

void DisplayPropertiesDialog::Refresh() {
    refreshing_ = true;
    const DisplayPropsModel& m = *model_;
    for (int i = 0; i < 3; ++i) display_[static_cast<std::size_t>(i)]->setChecked(m.DisplayChecked(i));
    for (int i = 0; i < 5; ++i) stats_[static_cast<std::size_t>(i)]->setChecked(m.StatsChecked(i));
    for (int i = 0; i < 3; ++i) ShowSwatch(i);
    for (int i = 1; i < 3; ++i) {
        display_[static_cast<std::size_t>(i)]->setEnabled(m.RoErrEnabled());
        colourButtons_[static_cast<std::size_t>(i)]->setEnabled(m.RoErrEnabled());
    }
    ShowOpacity();
    ShowMask();
    const auto& e = m.Enabled();
    const std::pair<const char*, bool> states[] = {
        {"Restore Items", e.restoreItems},
        {"Restore", e.restoreStats},
        {"Set All", e.setAllStats},
        {"Clear All", e.clearAllStats},
        {"Restore Colours", e.restoreColours},
        {"Set Default Colours", e.setDefaultColours},
        {"Restore Opacity", e.restoreOpacity && m.OpacityControlsEnabled()},
        {"Set Default Opacity", e.setDefaultOpacity && m.OpacityControlsEnabled()},
        {"Restore Mask", e.restoreMask}};
    for (const auto& [text, on] : states)
        if (QPushButton* b = Button(tr(text))) b->setEnabled(on);
    refreshing_ = false;
}

void DisplayPropertiesDialog::ShowSwatch(int index) {
    const SwatchLook s = model_->Swatch(index);
    ColorStatic* w = swatches_[static_cast<std::size_t>(index)];
    w->SetBkColour(s.face || s.picture ? kSystemFaceColour : s.colour);
    w->setText(Q(s.text));
    if (s.picture) w->setPixmap(DataColourKindPicture(s.picture, QSize(kSwatchSize - 6, kSwatchSize - 6)));
}

void DisplayPropertiesDialog::ShowOpacity() {
    const bool on = model_->OpacityControlsEnabled();
    for (int i = 0; i < 4; ++i) {
        QLineEdit* f = fields_[static_cast<std::size_t>(i)];
        f->setText(Q(model_->OpacityText(i)));
        f->setEnabled(on);
    }
    for (QToolButton* b : spins_) b->setEnabled(on);
    incLower_->setCheckState(ToQt(model_->IncLower()));
    incUpper_->setCheckState(ToQt(model_->IncUpper()));
}

void DisplayPropertiesDialog::ShowMask() {
    maskCombo_->blockSignals(true);
    maskCombo_->clear();
    for (const std::string& e : model_->MaskEntries()) maskCombo_->addItem(Q(e));
    maskCombo_->setCurrentIndex(model_->MaskSelection());
    maskCombo_->blockSignals(false);
    maskBox_->setChecked(model_->MaskChecked());
    maskBox_->setEnabled(model_->MaskBoxEnabled());
    maskCombo_->setEnabled(model_->MaskComboEnabled());
}

// ---- events

void DisplayPropertiesDialog::Run(const std::function<void()>& handler) {
    if (refreshing_ || closing_) return;
    WaitCursor wait;
    handler();
    Refresh();
}

bool DisplayPropertiesDialog::eventFilter(QObject* watched, QEvent* e) {
    for (int i = 0; i < 4; ++i) {
        QLineEdit* f = fields_[static_cast<std::size_t>(i)];
        if (watched != f) continue;
        if (e->type() == QEvent::FocusOut) {
            const std::string text = f->text().toStdString();
            Run([this, i, text] { model_->OpacityFieldDone(i, text); });
        } else if (e->type() == QEvent::KeyPress) {
            auto* k = static_cast<QKeyEvent*>(e);
            if (k->key() == Qt::Key_Up || k->key() == Qt::Key_Down) {
                Step(i, k->key() == Qt::Key_Up ? 1 : -1);
                Run([this, i, f] { model_->SpinDone(i, std::clamp(f->text().toInt(), 0, 100)); });
                return true;
            }
            // Only the low opacity field takes any character; the others digits.
            const QString t = k->text();
            if (i != 2 && !t.isEmpty() && t.at(0).isPrint() && !t.at(0).isDigit()) return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

void DisplayPropertiesDialog::Step(int field, int delta) {
    // The spin starts from the position shown (its lower limit for a mixed value).
    QLineEdit* f = fields_[static_cast<std::size_t>(field)];
    int pos = model_->SpinPosition(field);
    bool ok = false;
    const int typed = f->text().toInt(&ok);
    if (ok) pos = typed;
    f->setText(QString::number(std::clamp(pos + delta, 0, 100)));
}

void DisplayPropertiesDialog::PickLayerColour(int index) {
    const std::uint32_t now = model_->DisplayColours()[static_cast<std::size_t>(index)];
    const QColor c = QColorDialog::getColor(ColorFromRef(IsMarkerColourValue(now) ? 0x808080 : now), this,
                                            tr(kColourNames[index]).remove("..."));
    if (!c.isValid()) return;
    Run([this, index, c] { model_->SetLayerColour(index, RefFromColor(c)); });
}

void DisplayPropertiesDialog::OpenDataColour() {
    DisplayPropsModel& m = *model_;
    TreeDatcolTarget target(view_.Tree(), m.Items(), [this](unsigned bits) { UpdateView(bits); });
    DatcolPropsModel colours(&target, m.DataColourTitle(), m.ColourKind(),
                             {m.DisplayColours().begin(), m.DisplayColours().end()}, m.BitSpec(),
                             m.ValueSpec(), m.Spectrum());
    DatcolPropertiesDialog dialog(colours, this);
    const int result = dialog.exec();
    if (closing_) {
        // Every item went while the Data Colour dialog was open.
        hide();
        deleteLater();
        return;
    }
    if (result == QDialog::Rejected) {
        Refresh();
        return;
    }
    std::array<std::uint32_t, 3> shown = m.DisplayColours();
    shown[0] = colours.SingleColour();
    Run([&] {
        m.ApplyDataColour(colours.Kind(), shown, colours.BitSpec(), colours.ValueSpec(), colours.Spectrum());
    });
}

void DisplayPropertiesDialog::UpdateView(unsigned bits) {
    for (DocView* v : FrameViews(view_)) v->OnUpdate(nullptr, bits, nullptr);
    view_.viewport()->update();
}

void DisplayPropertiesDialog::UpdateTreeStats(const std::set<TreeItemId>& items) {
    StatsMod hint(0, &items);
    view_.OnUpdate(nullptr, 0, &hint);
}

void DisplayPropertiesDialog::OnUpdate(DocView*, unsigned hint, const ChangeHint* hintObject) {
    const bool structural = hint == kHintStructure || dynamic_cast<const InsertChanMod*>(hintObject) ||
                            dynamic_cast<const DeleteChanMod*>(hintObject) ||
                            dynamic_cast<const InsertSliceMod*>(hintObject) ||
                            dynamic_cast<const DeleteSliceMod*>(hintObject);
    if (!structural || closing_) return;
    if (!model_->DropVanishedItems()) {
        closing_ = true;
        // An open Data Colour dialog ends first; this dialog goes once its loop has returned.
        if (auto* colours = findChild<DatcolPropertiesDialog*>()) {
            colours->reject();
            return;
        }
        hide();
        deleteLater();
        return;
    }
    Refresh();
}

void DisplayPropertiesDialog::accept() {
    std::array<std::string, 4> texts;
    for (int i = 0; i < 4; ++i)
        texts[static_cast<std::size_t>(i)] = fields_[static_cast<std::size_t>(i)]->text().toStdString();
    if (!model_->Ok(texts)) {
        QMessageBox::information(this, windowTitle(), tr(kInvalidOpacityValue));
        return;
    }
    closing_ = true;
    QDialog::accept();
}

void DisplayPropertiesDialog::reject() {
    if (!closing_) {
        WaitCursor wait;
        model_->Cancel();
    }
    closing_ = true;
    QDialog::reject();
}

DisplayPropertiesDialog* OpenDisplayProperties(const ZunTreeView& view) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = qobject_cast<DisplayPropertiesDialog*>(w); d && &d->TreeView() == &view && !d->closing_)
            return d;
    return nullptr;
}

DisplayPropertiesDialog* ShowDisplayProperties(ZunTreeView& view, QWidget* parent) {
    if (DisplayPropertiesDialog* open = OpenDisplayProperties(view)) {
        open->raise();
        open->activateWindow();
        return open;
    }
    TreeItems items = DisplayPropertiesItems(view.Tree());
    if (items.empty()) return nullptr;
    const std::string title = DisplayPropertiesTitle(view.Document().GetTitle(), items);
    auto* dialog = new DisplayPropertiesDialog(view, std::move(items), title);
    dialog->show();
    if (parent)
        dialog->move(parent->mapToGlobal(parent->rect().center()) - dialog->rect().center());
    else
        CenterWindowInMainFrame(dialog, 0, 0);
    return dialog;
}

}  // namespace zun
