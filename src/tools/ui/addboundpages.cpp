#include "tools/ui/addboundpages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "document/zundoc.h"
#include "foundation/numformat.h"
#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/numberfield.h"
#include "model/sample.h"
#include "platform/prompt.h"
#include "tools/boundarywizard.h"

namespace zun {

namespace {

class LeaveFilter : public QObject {
public:
    LeaveFilter(QObject* parent, std::function<void()> check) : QObject(parent), check_(std::move(check)) {}
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::FocusOut && !busy_) {
            busy_ = true;
            check_();
            busy_ = false;
        }
        return false;
    }

private:
    std::function<void()> check_;
    bool busy_ = false;
};

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

}  // namespace

void OnLeavingEdit(QLineEdit* edit, std::function<void()> check) {
    edit->installEventFilter(new LeaveFilter(edit, std::move(check)));
}

AddBoundPage::AddBoundPage(BoundaryWizard& wizard, int index, QWidget* parent)
    : QWidget(parent), wizard_(wizard), index_(index) {}

// ---- "Channel cluster based"

AddBoundPage_0::AddBoundPage_0(BoundaryWizard& wizard, const std::string& firstTarget, QWidget* parent)
    : AddBoundPage(wizard, BoundDef::kClusters, parent), page_(wizard.Document().GetSample(), firstTarget) {
    auto* layout = new QVBoxLayout(this);
    auto* top = new QGridLayout;
    top->addWidget(new QLabel("Reference channel", this), 0, 0);
    reference_ = new QComboBox(this);
    reference_->setMaxVisibleItems(6);
    for (const std::string& n : page_.Rows()) reference_->addItem(Q(n));
    top->addWidget(reference_, 0, 1, 1, 3);

    auto* unitGroup = new QButtonGroup(this);
    const char* unitNames[3] = {"Raw", "Normalised", "Physical"};
    auto* unitRow = new QHBoxLayout;
    for (int u = 0; u < 3; ++u) {
        units_[u] = new QRadioButton(unitNames[u], this);
        unitGroup->addButton(units_[u], u);
        unitRow->addWidget(units_[u]);
    }
    unitRow->addStretch();
    top->addLayout(unitRow, 1, 0, 1, 4);
    label_ = new QLabel(this);
    threshold_ = RealField(new QLineEdit(this));
    top->addWidget(label_, 2, 0, 1, 2);
    top->addWidget(threshold_, 2, 2, 1, 2);
    layout->addLayout(top);

    auto side = [this, layout](const char* title, QRadioButton** buttons, QLineEdit*& edit) {
        auto* box = new QGroupBox(title, this);
        auto* row = new QHBoxLayout(box);
        auto* group = new QButtonGroup(box);
        const char* names[3] = {"OR", "AND", "NA"};
        for (int c = 0; c < 3; ++c) {
            buttons[c] = new QRadioButton(names[c], box);
            group->addButton(buttons[c], c);
            row->addWidget(buttons[c]);
        }
        edit = new QLineEdit(box);
        row->addWidget(edit, 1);
        layout->addWidget(box);
        connect(group, &QButtonGroup::idClicked, this, [this](int) {
            ClusterPageFields f = Read();
            page_.OnCombinationChanged(wizard_.Current(), f);
            Write(f);
            Changed();
        });
    };
    side("Include the <= threshold cluster labels", low_, lowRule_);
    side("Include the >= threshold cluster labels", high_, highRule_);
    status_ = new QLabel(this);
    status_->setWordWrap(true);
    layout->addWidget(status_);
    layout->addStretch();

    connect(reference_, &QComboBox::currentIndexChanged, this, [this](int) {
        if (updating_) return;
        ClusterPageFields f = Read();
        page_.OnReferenceChanged(wizard_.Current(), f);
        Write(f);
        Changed();
    });
    connect(unitGroup, &QButtonGroup::idClicked, this, [this](int unit) {
        ClusterPageFields f = Read();  // still the unit shown before the click
        page_.OnUnitChanged(wizard_.Current(), f, unit);
        Write(f);
        Changed();
    });
    for (QLineEdit* e : {threshold_, lowRule_, highRule_})
        connect(e, &QLineEdit::textChanged, this, [this] {
            if (!updating_) Changed();
        });
    Show();
}

ClusterPageFields AddBoundPage_0::Read() const {
    ClusterPageFields f;
    f.row = reference_->currentIndex();
    f.unit = shownUnit_;
    f.threshold = threshold_->text().toStdString();
    f.label = label_->text().toStdString();
    for (int c = 0; c < 3; ++c) {
        if (low_[c]->isChecked()) f.lowCombine = c;
        if (high_[c]->isChecked()) f.highCombine = c;
    }
    f.lowRule = lowRule_->text().toStdString();
    f.highRule = highRule_->text().toStdString();
    return f;
}

void AddBoundPage_0::Write(const ClusterPageFields& f) {
    updating_ = true;
    reference_->setCurrentIndex(f.row);
    shownUnit_ = f.unit;
    units_[f.unit]->setChecked(true);
    units_[BoundDef::kPhysical]->setEnabled(f.row >= 0);
    label_->setText(Q(f.label));
    threshold_->setText(Q(f.threshold));
    low_[f.lowCombine]->setChecked(true);
    high_[f.highCombine]->setChecked(true);
    lowRule_->setText(Q(f.lowRule));
    highRule_->setText(Q(f.highRule));
    lowRule_->setEnabled(ClusterBoundaryPage::RuleEditEnabled(f.lowCombine));
    highRule_->setEnabled(ClusterBoundaryPage::RuleEditEnabled(f.highCombine));
    updating_ = false;
}

void AddBoundPage_0::Changed() {
    bool ready = false;
    status_->setText(Q(page_.ReadyProblem(Read(), &ready)));
    NotifyReady();
}

void AddBoundPage_0::Show() {
    Write(page_.Open(wizard_.Current()));
    Changed();
}

bool AddBoundPage_0::IsReady() const {
    if (updating_) return true;
    bool ready = false;
    page_.ReadyProblem(Read(), &ready);
    return ready;
}

void AddBoundPage_0::StoreDefinition(Prompt* prompt) {
    ClusterPageFields f = Read();
    const int errors = page_.Store(wizard_.Current(), f, prompt);
    for (int i = 0; i < errors; ++i) wizard_.AddPageError();
    Write(f);
}

// ---- "Channel value based"

AddBoundPage_1::AddBoundPage_1(BoundaryWizard& wizard, int channelCount, QWidget* parent)
    : AddBoundPage(wizard, BoundDef::kSample, parent),
      page_(wizard.Document().GetSample(), channelCount, wizard.Targets()) {
    auto* layout = new QGridLayout(this);
    auto* listBox = new QGroupBox("Contributing Channels", this);
    auto* listLayout = new QVBoxLayout(listBox);
    list_ = new QListWidget(listBox);
    list_->setMinimumWidth(fontMetrics().horizontalAdvance("+XXXXXX.XXX") + 40);
    list_->setBackgroundRole(QPalette::Button);
    for (const std::string& n : page_.Rows()) {
        auto* item = new QListWidgetItem(Q(n), list_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
    }
    listLayout->addWidget(list_);
    layout->addWidget(listBox, 0, 0, 6, 1);

    voidOutside_ = new QCheckBox("There is void outside the sample", this);
    noise_ = new QCheckBox("There is noise present", this);
    checkOnly_ = new QCheckBox("Do threshold check only", this);
    smoothing_ = new QCheckBox("Do boundary smoothing", this);
    layout->addWidget(voidOutside_, 0, 1, 1, 2);
    layout->addWidget(noise_, 1, 1, 1, 2);
    layout->addWidget(checkOnly_, 2, 1, 1, 2);
    layout->addWidget(smoothing_, 3, 1, 1, 2);
    strengthLabel_ = new QLabel("Thresholding Strength (0-1):", this);
    strength_ = RealField(new QLineEdit(this));
    layout->addWidget(strengthLabel_, 4, 1);
    layout->addWidget(strength_, 4, 2);
    layout->setRowStretch(5, 1);
    layout->setColumnStretch(0, 1);

    connect(voidOutside_, &QCheckBox::clicked, this, [this] { Enable(); });
    connect(checkOnly_, &QCheckBox::clicked, this, [this] { Enable(); });
    connect(list_, &QListWidget::itemChanged, this, [this] { NotifyReady(); });
    connect(list_, &QListWidget::currentRowChanged, this, [this] { NotifyReady(); });
    OnLeavingEdit(strength_, [this] {
        std::string back;
        if (ValueBoundaryPage::CheckStrength(strength_->text().toStdString(), wizard_.Current().strength,
                                             &back))
            return;
        if (Prompt* p = wizard_.Document().GetPrompt())
            p->Tell(boundmsg::kStrengthRange, PromptIcon::Warning);
        strength_->setText(Q(back));
    });
    Show();
}

ValuePageFields AddBoundPage_1::Read() const {
    ValuePageFields f;
    for (int r = 0; r < list_->count(); ++r) f.checks.push_back(list_->item(r)->checkState() == Qt::Checked);
    f.voidOutside = voidOutside_->isChecked();
    f.noisePresent = noise_->isChecked();
    f.thresholdCheckOnly = checkOnly_->isChecked();
    f.smoothSurface = smoothing_->isChecked();
    f.strength = strength_->text().toStdString();
    return f;
}

void AddBoundPage_1::Enable() {
    const ValuePageFields f = Read();
    const bool details = ValueBoundaryPage::DetailsEnabled(f);
    for (QWidget* w :
         {static_cast<QWidget*>(list_), static_cast<QWidget*>(noise_), static_cast<QWidget*>(checkOnly_),
          static_cast<QWidget*>(strengthLabel_), static_cast<QWidget*>(strength_)})
        w->setEnabled(details);
    smoothing_->setEnabled(ValueBoundaryPage::SmoothingEnabled(f));
}

void AddBoundPage_1::Show() {
    const ValuePageFields f = page_.Open(wizard_.Current());
    {
        const QSignalBlocker block(list_);
        for (int r = 0; r < list_->count(); ++r)
            list_->item(r)->setCheckState(f.checks[static_cast<std::size_t>(r)] ? Qt::Checked
                                                                                : Qt::Unchecked);
    }
    voidOutside_->setChecked(f.voidOutside);
    noise_->setChecked(f.noisePresent);
    checkOnly_->setChecked(f.thresholdCheckOnly);
    smoothing_->setChecked(f.smoothSurface);
    strength_->setText(Q(f.strength));
    Enable();
    NotifyReady();
}

bool AddBoundPage_1::IsReady() const {
    return ValueBoundaryPage::IsReady(Read());
}

void AddBoundPage_1::StoreDefinition(Prompt*) {
    page_.Store(wizard_.Current(), Read());
}

// ---- geometric pages

AddBoundGeometryPage::AddBoundGeometryPage(BoundaryWizard& wizard, int kind, QWidget* parent)
    : AddBoundPage(wizard, kind, parent) {
    auto* layout = new QGridLayout(this);
    const std::vector<std::string> labels = GeometryLabels(kind);
    for (std::size_t i = 0; i < labels.size(); ++i) {
        auto* e = new QLineEdit(this);
        e->setMaximumWidth(120);
        RealField(e);
        layout->addWidget(new QLabel(Q(labels[i]), this), static_cast<int>(i), 0);
        layout->addWidget(e, static_cast<int>(i), 1);
        edits_.push_back(e);
        connect(e, &QLineEdit::textChanged, this, [this] { NotifyReady(); });
        OnLeavingEdit(e, [this, i, e] {
            Prompt* p = wizard_.Document().GetPrompt();
            const std::vector<std::string> now = GeometryTexts(Index(), wizard_.Current());
            int previous = 0;
            ReadTextInt(now[i], &previous);
            LineEditField field(e);
            if (p) CheckEditInteger(previous, field, *p);
        });
    }
    layout->setColumnStretch(2, 1);
    layout->setRowStretch(static_cast<int>(labels.size()), 1);
    Show();
}

void AddBoundGeometryPage::Show() {
    const std::vector<std::string> texts = GeometryTexts(Index(), wizard_.Current());
    for (std::size_t i = 0; i < edits_.size() && i < texts.size(); ++i) edits_[i]->setText(Q(texts[i]));
}

void AddBoundGeometryPage::StoreDefinition(Prompt* prompt) {
    std::vector<std::string> texts;
    for (QLineEdit* e : edits_) texts.push_back(e->text().toStdString());
    const int errors = StoreGeometry(Index(), texts, wizard_.Current());
    if (errors > 0 && prompt) prompt->Tell(kValueMustBeInteger, PromptIcon::Warning);
    for (int i = 0; i < errors; ++i) wizard_.AddPageError();
}

}  // namespace zun
