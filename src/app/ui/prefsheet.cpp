#include "app/ui/prefsheet.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/ui/mainframe.h"
#include "app/ui/zunapp.h"
#include "foundation/ui/dialoghelpers.h"
#include "foundation/ui/numberfield.h"

namespace zun {

namespace {
QString Q(const std::string& s) {
    return QString::fromStdString(s);
}

bool IsEnter(QEvent* event) {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride) return false;
    const int key = static_cast<QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}
}  // namespace

// ---------------------------------------------------------------------------------------------

SpinEdit::SpinEdit(QWidget* parent) : QAbstractSpinBox(parent) {
    setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setKeyboardTracking(true);
}

void SpinEdit::stepBy(int steps) {
    Q_EMIT stepped(steps);
}

QString SpinEdit::Text() const {
    return lineEdit()->text();
}

void SpinEdit::SetText(const QString& text) {
    lineEdit()->setText(text);
}

PrefsPage::PrefsPage(const char* caption, PrefsSheetModel& sheet, QWidget* parent)
    : QWidget(parent), sheet_(sheet), caption_(caption) {
    setObjectName(caption);
}

// ---------------------------------------------------------------------------------------------
// Display

DisplayPrefs::DisplayPrefs(PrefsSheetModel& sheet, QWidget* parent)
    : PrefsPage("Display", sheet, parent), model_(sheet) {
    auto* layout = new QVBoxLayout(this);
    auto* top = new QGridLayout;
    top->addWidget(new QLabel("Maximum Display Volume (voxels):"), 0, 0);
    // Voxels as an integer or in scientific notation.
    volume_ = RealField(new QLineEdit);
    volume_->setObjectName("volumeEdit");
    volume_->installEventFilter(this);
    top->addWidget(volume_, 0, 1);
    auto* formatRow = new QHBoxLayout;
    formatRow->addWidget(new QLabel("Text Format:"));
    integer_ = new QRadioButton("Integer");
    integer_->setObjectName("integerFormat");
    scientific_ = new QRadioButton("Scientific");
    scientific_->setObjectName("scientificFormat");
    formatRow->addWidget(integer_);
    formatRow->addWidget(scientific_);
    formatRow->addStretch();
    top->addLayout(formatRow, 1, 1);
    layout->addLayout(top);

    auto* orLabel = new QLabel("-------- OR --------");
    orLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(orLabel);
    auto* resLabel = new QLabel("Lower   -----------  Resolution  -----------   Higher");
    resLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(resLabel);
    resolution_ = new QSlider(Qt::Horizontal);
    resolution_->setObjectName("resolutionSlider");
    resolution_->setRange(0, 1000);
    resolution_->setPageStep(50);
    layout->addWidget(resolution_);
    auto* speedLabel = new QLabel("Faster ----------- Display Speed ----------- Slower");
    speedLabel->setAlignment(Qt::AlignCenter);
    layout->addWidget(speedLabel);

    auto* animation = new QGroupBox("Animation");
    auto* anim = new QGridLayout(animation);
    anim->addWidget(new QLabel("Speed:"), 0, 0);
    speed_ = new QSlider(Qt::Horizontal);
    speed_->setObjectName("speedSlider");
    speed_->setRange(10, 200);
    speed_->setPageStep(10);
    anim->addWidget(speed_, 0, 1, 1, 3);
    anim->addWidget(new QLabel("Fast"), 1, 1, Qt::AlignLeft);
    anim->addWidget(new QLabel("Normal"), 1, 2, Qt::AlignHCenter);
    anim->addWidget(new QLabel("Slow"), 1, 3, Qt::AlignRight);
    layout->addWidget(animation);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    restore_ = new QPushButton("Restore");
    restore_->setObjectName("restore");
    setDefault_ = new QPushButton("Set Default");
    setDefault_->setObjectName("setDefault");
    for (QPushButton* b : {restore_, setDefault_}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    layout->addStretch();

    connect(volume_, &QLineEdit::textEdited, this, [this] { model_.OnTextEdited(); });
    connect(volume_, &QLineEdit::editingFinished, this, [this] {
        if (!volume_->hasFocus()) CommitEdit(DisplayPageModel::Trigger::FocusLoss);
    });
    connect(integer_, &QRadioButton::clicked, this, [this] {
        model_.SetFormat(0);
        Refresh();
    });
    connect(scientific_, &QRadioButton::clicked, this, [this] {
        model_.SetFormat(1);
        Refresh();
    });
    connect(resolution_, &QSlider::valueChanged, this, [this](int p) {
        if (refreshing_) return;
        model_.OnResolutionSlider(p);
        Refresh();
    });
    connect(speed_, &QSlider::valueChanged, this, [this](int p) {
        if (refreshing_) return;
        model_.OnSpeedSlider(p);
        Refresh();
    });
    connect(restore_, &QPushButton::clicked, this, [this] {
        model_.Restore();
        Refresh();
    });
    connect(setDefault_, &QPushButton::clicked, this, [this] {
        model_.SetDefault();
        Refresh();
    });
}

void DisplayPrefs::Refresh() {
    refreshing_ = true;
    volume_->setText(Q(model_.EditText()));
    integer_->setChecked(model_.Format() == 0);
    scientific_->setChecked(model_.Format() == 1);
    resolution_->setValue(model_.SliderPosition());
    speed_->setValue(model_.SpeedPosition());
    restore_->setEnabled(model_.CanRestore());
    setDefault_->setEnabled(model_.CanSetDefault());
    refreshing_ = false;
}

bool DisplayPrefs::CommitEdit(DisplayPageModel::Trigger trigger) {
    // An untouched edit is not read back: the scientific form rounds the volume.
    if (volume_->text() == Q(model_.EditText())) return true;
    const bool ok = model_.CommitEdit(volume_->text().toStdString(), trigger);
    if (!ok) {
        volume_->setText(Q(model_.EditText()));
        if (auto* tabs = qobject_cast<QTabWidget*>(parentWidget() ? parentWidget()->parentWidget() : nullptr))
            tabs->setCurrentWidget(this);
        volume_->setFocus();
        return false;
    }
    Refresh();
    return true;
}

bool DisplayPrefs::Commit() {
    return CommitEdit(DisplayPageModel::Trigger::FocusLoss);
}

// Enter checks the volume and stays on the page: it never reaches the sheet's OK button.
bool DisplayPrefs::eventFilter(QObject* watched, QEvent* event) {
    if (watched == volume_ && IsEnter(event)) {
        if (event->type() == QEvent::KeyPress) CommitEdit(DisplayPageModel::Trigger::Enter);
        event->accept();
        return true;
    }
    return PrefsPage::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------------------------
// Memory

MemoryPrefs::MemoryPrefs(PrefsSheetModel& sheet, QWidget* parent)
    : PrefsPage("Memory", sheet, parent), model_(sheet) {
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    enabled_ = new QCheckBox("Keep available at least");
    enabled_->setObjectName("memoryEnabled");
    remain_ = new SpinEdit;
    remain_->setObjectName("remainEdit");
    remain_->setMinimumWidth(70);
    row->addWidget(enabled_);
    row->addWidget(remain_);
    row->addWidget(new QLabel("percent of total physical memory."));
    row->addStretch();
    layout->addLayout(row);
    auto* note = new QLabel(
        "Disabling this feature or setting the value to zero may cause the system to run slowly with large "
        "data volumes.");
    note->setWordWrap(true);
    layout->addWidget(note);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    setDefault_ = new QPushButton("Set Default");
    setDefault_->setObjectName("setDefault");
    setDefault_->setAutoDefault(false);
    buttons->addWidget(setDefault_);
    layout->addLayout(buttons);
    layout->addStretch();

    connect(enabled_, &QCheckBox::clicked, this, [this](bool on) {
        model_.SetEnabled(on);
        Refresh();
    });
    connect(remain_->Edit(), &QLineEdit::textEdited, this, [this] {
        if (refreshing_) return;
        model_.OnTextChanged();
        setDefault_->setEnabled(model_.CanSetDefault());
    });
    connect(remain_, &QAbstractSpinBox::editingFinished, this, [this] {
        if (!remain_->hasFocus()) Commit();
    });
    connect(remain_, &SpinEdit::stepped, this, [this](int steps) {
        model_.Spin(remain_->Text().toStdString(), steps);
        Refresh();
    });
    connect(setDefault_, &QPushButton::clicked, this, [this] {
        model_.SetDefault();
        Refresh();
    });
}

void MemoryPrefs::Refresh() {
    refreshing_ = true;
    enabled_->setChecked(model_.Enabled());
    remain_->SetText(Q(model_.EditText()));
    setDefault_->setEnabled(model_.CanSetDefault());
    refreshing_ = false;
}

bool MemoryPrefs::Commit() {
    const bool ok = model_.CommitEdit(remain_->Text().toStdString());
    Refresh();
    return ok;
}

// ---------------------------------------------------------------------------------------------
// Logging

LoggingPrefsPage::LoggingPrefsPage(PrefsSheetModel& sheet, QWidget* parent)
    : PrefsPage("Logging", sheet, parent) {
    auto* layout = new QVBoxLayout(this);
    auto* group = new QGroupBox("New Document Defaults");
    auto* g = new QVBoxLayout(group);
    enabled_ = new QCheckBox("Logging Enabled");
    enabled_->setObjectName("loggingEnabled");
    clearOnStart_ = new QCheckBox("Clear Log on Start Computation");
    clearOnStart_->setObjectName("clearOnStart");
    viewLog_ = new QCheckBox("View Log");
    viewLog_->setObjectName("viewLog");
    LoggingSect& s = sheet_.Working().logging;
    for (auto [box, field] : {std::pair<QCheckBox*, bool*>{enabled_, &s.enabled},
                              std::pair<QCheckBox*, bool*>{clearOnStart_, &s.clearOnStart},
                              std::pair<QCheckBox*, bool*>{viewLog_, &s.viewLog}}) {
        g->addWidget(box);
        connect(box, &QCheckBox::clicked, this, [this, field](bool on) {
            *field = on;
            sheet_.SetModifiedAll(true);
        });
    }
    layout->addWidget(group);
    layout->addStretch();
}

void LoggingPrefsPage::Refresh() {
    const LoggingSect& s = sheet_.Working().logging;
    enabled_->setChecked(s.enabled);
    clearOnStart_->setChecked(s.clearOnStart);
    viewLog_->setChecked(s.viewLog);
}

// ---------------------------------------------------------------------------------------------
// Debug

DebugPrefs::DebugPrefs(PrefsSheetModel& sheet, QWidget* parent) : PrefsPage("Debug", sheet, parent) {
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel("Debug Level:"));
    level_ = new SpinEdit;
    level_->setObjectName("levelEdit");
    level_->setMinimumWidth(70);
    row->addWidget(level_);
    row->addStretch();
    layout->addLayout(row);
    layout->addStretch();
    connect(level_, &SpinEdit::stepped, this, [this](int steps) {
        DebugSpin(sheet_, steps);
        Refresh();
    });
}

void DebugPrefs::Refresh() {
    level_->SetText(QString::number(sheet_.Working().debug.level));
}

// ---------------------------------------------------------------------------------------------
// The sheet

ZunPrefs::ZunPrefs(ZunPreferences& current, IniFile& ini, Prompt& prompt, std::function<void()> applied,
                   QWidget* parent, Options options)
    : QDialog(parent), model_(std::make_unique<PrefsSheetModel>(current, ini, prompt, std::move(applied))) {
    setWindowTitle("Zun Preferences");
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget;
    layout->addWidget(tabs_);
    PluginPrefs::FolderBrowser browse = options.browseFolder;
    if (!browse) {
        browse = [](QWidget* owner) {
            return QFileDialog::getExistingDirectory(owner, QString()).toStdString();
        };
    }
    pages_ = {new DisplayPrefs(*model_),        new MemoryPrefs(*model_), new LoggingPrefsPage(*model_),
              new PluginPrefs(*model_, browse), new DebugPrefs(*model_),  new ClusterPrefs(*model_)};
    for (PrefsPage* p : pages_) {
        tabs_->addTab(p, p->Caption());
        p->Refresh();
    }

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    ok_ = new QPushButton("OK");
    ok_->setObjectName("ok");
    cancel_ = new QPushButton("Cancel");
    cancel_->setObjectName("cancel");
    apply_ = new QPushButton("&Apply");
    apply_->setObjectName("apply");
    for (QPushButton* b : {ok_, cancel_, apply_}) buttons->addWidget(b);
    ok_->setDefault(true);
    layout->addLayout(buttons);

    connect(ok_, &QPushButton::clicked, this, [this] {
        if (Apply()) accept();
    });
    connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
    connect(apply_, &QPushButton::clicked, this, [this] { Apply(); });
    model_->onModifiedChanged = [this](bool on) { apply_->setEnabled(on); };
    model_->SetModifiedAll(false);
    tabs_->setCurrentIndex(0);
    setMinimumSize(FitClientSize(this, sizeHint()));
}

ZunPrefs::~ZunPrefs() {
    model_->onModifiedChanged = nullptr;
}

bool ZunPrefs::Apply() {
    for (PrefsPage* p : pages_)
        if (!p->Commit()) return false;
    if (model_->IsModified()) model_->ApplyAll();
    for (PrefsPage* p : pages_) p->Refresh();
    return true;
}

void RunPreferenceSheet(CZunApp& app) {
    ZunPrefs sheet(
        app.Prefs(), app.Profile(), app.GetPrompt(), [&app] { app.ApplyPreferences(); }, app.MainFrame());
    sheet.exec();
}

}  // namespace zun
