#include "tools/ui/addboundsheet.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QVBoxLayout>

#include "document/zundoc.h"
#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/numberfield.h"
#include "foundation/ui/progressdialog.h"
#include "model/sample.h"
#include "platform/progress.h"
#include "platform/prompt.h"
#include "tools/ui/addboundpages.h"
#include "tools/ui/buttonrow.h"

namespace zun {

namespace {

// The progress dialog appears with the first text, that is when work really starts (an Apply
// that is skipped shows none); the owner stays disabled while it is up.
class BoundaryProgress : public ProgressSink {
public:
    BoundaryProgress(QWidget* owner, std::string caption) : owner_(owner), caption_(std::move(caption)) {}
    ~BoundaryProgress() override {
        dialog_.reset();
        if (owner_ && disabled_) owner_->setEnabled(true);
    }
    void SetText(const std::string& text) override {
        Open();
        // The step's own text follows the caption, unless it only repeats it.
        dialog_->SetText(text.empty() || text == caption_ ? caption_ : caption_ + ": " + text);
    }
    void SetPos(int percent) override {
        Open();
        dialog_->SetPos(percent);
    }
    bool SetProgress(int percent) override {
        Open();
        return dialog_->SetProgress(percent);
    }

private:
    void Open() {
        if (dialog_) return;
        if (owner_) {
            owner_->setEnabled(false);
            disabled_ = true;
        }
        dialog_ = std::make_unique<CProgressBar>(owner_ ? owner_->window() : nullptr);
        dialog_->SetText(caption_);
        dialog_->Start();
    }

    QPointer<QWidget> owner_;
    std::string caption_;
    std::unique_ptr<CProgressBar> dialog_;
    bool disabled_ = false;
};

QLineEdit* SmallEdit(QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setMaximumWidth(90);
    return RealField(e);
}

}  // namespace

std::unique_ptr<ProgressSink> MakeBoundaryProgress(QWidget* parent, const std::string& caption) {
    return std::make_unique<BoundaryProgress>(parent, caption);
}

// ---- panel

AddBoundDialog::AddBoundDialog(QWidget* parent) : QWidget(parent) {
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel("Type:", this), 0, 0);
    type_ = new QComboBox(this);
    for (const char* t : kBoundKindTitles) type_->addItem(t);
    layout->addWidget(type_, 0, 1);

    auto* modeBox = new QGroupBox("Mode:", this);
    auto* modeLayout = new QHBoxLayout(modeBox);
    auto* group = new QButtonGroup(modeBox);
    for (std::size_t m = 0; m < modes_.size(); ++m) {
        modes_[m] = new QRadioButton(kBoundModeTitles[m], modeBox);
        group->addButton(modes_[m], static_cast<int>(m));
        modeLayout->addWidget(modes_[m]);
    }
    layout->addWidget(modeBox, 1, 0, 1, 4);

    auto* rotBox = new QGroupBox(this);
    auto* rot = new QGridLayout(rotBox);
    rotate_ = new QCheckBox("Rotate:", rotBox);
    rot->addWidget(rotate_, 0, 0, 1, 2);
    auto* transBox = new QGroupBox(this);
    auto* trans = new QGridLayout(transBox);
    translate_ = new QCheckBox("Translate:", transBox);
    trans->addWidget(translate_, 0, 0, 1, 2);
    const char* axes[3] = {"X Axis:", "Y Axis:", "Z Axis:"};
    const char* offs[3] = {"X Offset:", "Y Offset:", "Z Offset:"};
    for (std::size_t k = 0; k < 3; ++k) {
        angleLabels_[k] = new QLabel(axes[k], rotBox);
        angles_[k] = SmallEdit(rotBox);
        rot->addWidget(angleLabels_[k], static_cast<int>(k) + 1, 0);
        rot->addWidget(angles_[k], static_cast<int>(k) + 1, 1);
        offsetLabels_[k] = new QLabel(offs[k], transBox);
        offsets_[k] = SmallEdit(transBox);
        trans->addWidget(offsetLabels_[k], static_cast<int>(k) + 1, 0);
        trans->addWidget(offsets_[k], static_cast<int>(k) + 1, 1);
    }
    layout->addWidget(rotBox, 2, 0, 1, 2);
    layout->addWidget(transBox, 2, 2, 1, 2);
    layout->setColumnStretch(1, 1);
    layout->setColumnStretch(3, 1);
    connect(rotate_, &QCheckBox::toggled, this, [this] { EnableEdits(); });
    connect(translate_, &QCheckBox::toggled, this, [this] { EnableEdits(); });
}

BoundPanelFields AddBoundDialog::Read() const {
    BoundPanelFields p;
    p.kind = type_->currentIndex();
    p.mode = -1;
    for (std::size_t m = 0; m < modes_.size(); ++m)
        if (modes_[m]->isChecked()) p.mode = static_cast<int>(m);
    p.rotate = rotate_->isChecked();
    p.translate = translate_->isChecked();
    for (std::size_t k = 0; k < 3; ++k) {
        p.angles[k] = angles_[k]->text().toStdString();
        p.offsets[k] = offsets_[k]->text().toStdString();
    }
    return p;
}

void AddBoundDialog::Show(const BoundDef& def) {
    const BoundPanelFields p = PanelFromDefinition(def);
    {
        const QSignalBlocker block(type_);
        type_->setCurrentIndex(p.kind >= 0 && p.kind < 5 ? p.kind : -1);
    }
    modes_[static_cast<std::size_t>(p.mode >= 0 && p.mode < 5 ? p.mode : 0)]->setChecked(true);
    rotate_->setChecked(p.rotate);
    translate_->setChecked(p.translate);
    for (std::size_t k = 0; k < 3; ++k) {
        angles_[k]->setText(QString::fromStdString(p.angles[k]));
        offsets_[k]->setText(QString::fromStdString(p.offsets[k]));
    }
    EnableEdits();
}

void AddBoundDialog::EnableEdits() {
    const bool r = rotate_->isChecked() && rotate_->isEnabled();
    const bool t = translate_->isChecked() && translate_->isEnabled();
    for (std::size_t k = 0; k < 3; ++k) {
        angles_[k]->setEnabled(r);
        angleLabels_[k]->setEnabled(r);
        offsets_[k]->setEnabled(t);
        offsetLabels_[k]->setEnabled(t);
    }
}

// ---- sheet

AddBoundSheet::AddBoundSheet(BoundaryWizard& wizard, int channelCount, QWidget* parent)
    : QDialog(parent), wizard_(wizard) {
    WaitCursor wait;
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    panel_ = new AddBoundDialog(this);
    panel_->Show(wizard_.Current());
    layout->addWidget(panel_);

    tabs_ = new QTabWidget(this);
    tabs_->setUsesScrollButtons(false);  // every kind visible at once
    const std::string first = wizard_.Targets().empty() ? std::string() : wizard_.Targets().front();
    pages_[0] = new AddBoundPage_0(wizard_, first, tabs_);
    pages_[1] = new AddBoundPage_1(wizard_, channelCount, tabs_);
    for (int k = BoundDef::kCuboid; k <= BoundDef::kCylinder; ++k)
        pages_[static_cast<std::size_t>(k)] = new AddBoundGeometryPage(wizard_, k, tabs_);
    for (std::size_t k = 0; k < pages_.size(); ++k) {
        tabs_->addTab(pages_[k], kBoundKindTitles[k]);
        pages_[k]->readyChanged = [this] { RefreshApply(); };
    }
    layout->addWidget(tabs_, 1);

    layout->addLayout(ApplyCloseRow(this, apply_, close_));
    close_->setDefault(true);

    connect(apply_, &QPushButton::clicked, this, [this] { Apply(); });
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);
    connect(panel_->type_, &QComboBox::currentIndexChanged, this, [this](int k) { OnTypeChosen(k); });
    connect(tabs_, &QTabWidget::currentChanged, this, [this](int k) { OnPageEntered(k); });
    for (QRadioButton* b : panel_->modes_)
        connect(b, &QRadioButton::clicked, this, [this] { RefreshApply(); });
    for (std::size_t k = 0; k < 3; ++k) {
        for (QLineEdit* e : {panel_->angles_[k], panel_->offsets_[k]})
            connect(e, &QLineEdit::textChanged, this, [this] { RefreshApply(); });
        QLineEdit* angle = panel_->angles_[k];
        OnLeavingEdit(angle, [this, k, angle] {
            LineEditField field(angle);
            if (Prompt* p = wizard_.Document().GetPrompt())
                CheckEditReal(field, wizard_.Current().rotation[k], *p);
        });
        QLineEdit* offset = panel_->offsets_[k];
        OnLeavingEdit(offset, [this, k, offset] {
            LineEditField field(offset);
            if (Prompt* p = wizard_.Document().GetPrompt())
                CheckEditInteger(wizard_.Current().translation[k], field, *p);
        });
    }

    const int kind = panel_->type_->currentIndex();
    switching_ = true;
    tabs_->setCurrentIndex(kind < 0 ? 0 : kind);
    switching_ = false;
    if (kind == BoundDef::kClusters || kind < 0) OnTypeChosen(kind < 0 ? 0 : kind);
    RefreshApply();
    adjustSize();
    setMinimumSize(size());
}

AddBoundSheet::~AddBoundSheet() = default;

void AddBoundSheet::OnTypeChosen(int kind) {
    const int page = kind < 0 ? 0 : kind;
    switching_ = true;
    tabs_->setCurrentIndex(page);
    switching_ = false;
    {
        const QSignalBlocker block(panel_->type_);
        panel_->type_->setCurrentIndex(page);
    }
    if (page == BoundDef::kClusters) {
        wizard_.Current().rotate = false;
        wizard_.Current().translate = false;
        for (QCheckBox* c : {panel_->rotate_, panel_->translate_}) {
            c->setChecked(false);
            c->setEnabled(false);
        }
    } else {
        panel_->rotate_->setEnabled(true);
        panel_->translate_->setEnabled(true);
    }
    panel_->EnableEdits();
    RefreshApply();
}

void AddBoundSheet::OnPageEntered(int kind) {
    if (switching_ || panel_->type_->currentIndex() == kind) return;
    OnTypeChosen(kind);
}

void AddBoundSheet::RefreshApply() {
    if (!apply_) return;
    const int k = tabs_->currentIndex();
    apply_->setEnabled(k >= 0 && pages_[static_cast<std::size_t>(k)]->IsReady());
}

int AddBoundSheet::Apply() {
    Prompt* prompt = wizard_.Document().GetPrompt();
    const int kind = panel_->type_->currentIndex();
    // Only the chosen kind's page stores; fields typed on another page stay unstored.
    if (kind >= 0 && kind < static_cast<int>(pages_.size()))
        pages_[static_cast<std::size_t>(kind)]->StoreDefinition(prompt);
    const BoundPanelFields fields = panel_->Read();
    int result = 0;
    {
        const std::unique_ptr<ProgressSink> progress = MakeBoundaryProgress(this, boundmsg::kGenerating);
        result = wizard_.ApplyBoundary(&fields, progress.get());
    }
    if (wizard_.LastOutcome() == BoundaryWizard::kBuilt || wizard_.LastOutcome() == BoundaryWizard::kFailed) {
        panel_->setFocus();
        OnTypeChosen(tabs_->currentIndex());
    }
    RefreshApply();
    return result;
}

void RunBoundaryWizard(CZunDoc& doc, const std::vector<std::string>& targets, QWidget* parent) {
    if (targets.empty()) return;
    BoundaryWizard wizard(doc, targets);
    AddBoundSheet sheet(wizard, doc.GetSample().GetChanCount(), parent);
    const std::string name = doc.GetNameText().empty() ? doc.GetTitle() : doc.GetNameText();
    sheet.setWindowTitle(QString::fromStdString(BoundaryToolCaption(name, targets, "Build")));
    sheet.exec();
}

}  // namespace zun
