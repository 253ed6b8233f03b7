#pragma once
// The "Zun Preferences" sheet: six pages over a working copy of the preferences, with OK, Cancel
// and Apply. The pages only draw and forward; their rules are in app/prefsheet.h and
// app/prefpages.h.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QAbstractSpinBox>
#include <QDialog>

#include "app/prefpages.h"
#include "app/prefsheet.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSlider;
class QTabWidget;

namespace zun {

class CZunApp;

// An edit with spin arrows whose text is read only by its owner: every arrow press is reported
// as a step, and any text may be typed (the owner checks it when the edit is left).
class SpinEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    explicit SpinEdit(QWidget* parent = nullptr);
    void stepBy(int steps) override;
    QString Text() const;
    void SetText(const QString& text);
    QLineEdit* Edit() const { return lineEdit(); }
Q_SIGNALS:
    void stepped(int steps);

protected:
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }
    QValidator::State validate(QString&, int&) const override { return QValidator::Acceptable; }
};

// A page of the sheet; Refresh() redraws it from the working copy.
class PrefsPage : public QWidget {
    Q_OBJECT
public:
    PrefsPage(const char* caption, PrefsSheetModel& sheet, QWidget* parent = nullptr);
    const char* Caption() const { return caption_; }
    virtual void Refresh() = 0;
    // Takes pending edits before the sheet applies; false when one was refused.
    virtual bool Commit() { return true; }

protected:
    PrefsSheetModel& sheet_;
    bool refreshing_ = false;

private:
    const char* caption_;
};

class DisplayPrefs : public PrefsPage {
    Q_OBJECT
public:
    explicit DisplayPrefs(PrefsSheetModel& sheet, QWidget* parent = nullptr);
    void Refresh() override;
    bool Commit() override;
    DisplayPageModel& Model() { return model_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool CommitEdit(DisplayPageModel::Trigger trigger);
    DisplayPageModel model_;
    QLineEdit* volume_;
    QRadioButton* integer_;
    QRadioButton* scientific_;
    QSlider* resolution_;
    QSlider* speed_;
    QPushButton* restore_;
    QPushButton* setDefault_;
};

class MemoryPrefs : public PrefsPage {
    Q_OBJECT
public:
    explicit MemoryPrefs(PrefsSheetModel& sheet, QWidget* parent = nullptr);
    void Refresh() override;
    bool Commit() override;

private:
    MemoryPageModel model_;
    QCheckBox* enabled_;
    SpinEdit* remain_;
    QPushButton* setDefault_;
};

// (The document's logging switches already own the name LoggingPrefs.)
class LoggingPrefsPage : public PrefsPage {
    Q_OBJECT
public:
    explicit LoggingPrefsPage(PrefsSheetModel& sheet, QWidget* parent = nullptr);
    void Refresh() override;

private:
    QCheckBox* enabled_;
    QCheckBox* clearOnStart_;
    QCheckBox* viewLog_;
};

class PluginPrefs : public PrefsPage {
    Q_OBJECT
public:
    // Asks for a folder; "" when the user cancelled.
    using FolderBrowser = std::function<std::string(QWidget* owner)>;
    PluginPrefs(PrefsSheetModel& sheet, FolderBrowser browse, QWidget* parent = nullptr);
    void Refresh() override;

private:
    void UpdateButtons();
    PluginPageModel model_;
    FolderBrowser browse_;
    QListWidget* list_;
    QCheckBox* enabled_;
    QPushButton* add_;
    QPushButton* remove_;
    QPushButton* restore_;
    QPushButton* defaults_;
};

class DebugPrefs : public PrefsPage {
    Q_OBJECT
public:
    explicit DebugPrefs(PrefsSheetModel& sheet, QWidget* parent = nullptr);
    void Refresh() override;

private:
    SpinEdit* level_;
};

class ClusterPrefs : public PrefsPage {
    Q_OBJECT
public:
    explicit ClusterPrefs(PrefsSheetModel& sheet, QWidget* parent = nullptr);
    void Refresh() override;
    ClusterPageModel& Model() { return model_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ClusterPageModel model_;
    QListWidget* found_;
    QLabel* position_;
    QLineEdit* name_;
    QLineEdit* dns_;
    QLineEdit* ip_;
    QLineEdit* bin_;
    QCheckBox* asDefault_;
    QPushButton* prev_;
    QPushButton* next_;
    QPushButton* del_;
    QPushButton* delAll_;
    QPushButton* save_;
};

class ZunPrefs : public QDialog {
    Q_OBJECT
public:
    struct Options {
        PluginPrefs::FolderBrowser browseFolder;  // null: the folder dialog
    };
    ZunPrefs(ZunPreferences& current, IniFile& ini, Prompt& prompt, std::function<void()> applied,
             QWidget* parent = nullptr, Options options = {});
    ~ZunPrefs() override;

    PrefsSheetModel& Model() { return *model_; }
    QTabWidget* Tabs() const { return tabs_; }
    PrefsPage* Page(int index) const { return pages_[static_cast<std::size_t>(index)]; }
    QPushButton* ApplyButton() const { return apply_; }
    QPushButton* OkButton() const { return ok_; }
    QPushButton* CancelButton() const { return cancel_; }
    // Takes every page's pending edit and applies; false when an edit was refused.
    bool Apply();

private:
    std::unique_ptr<PrefsSheetModel> model_;
    QTabWidget* tabs_;
    std::vector<PrefsPage*> pages_;
    QPushButton* ok_;
    QPushButton* cancel_;
    QPushButton* apply_;
};

// "Preferences...": the sheet over the application's preferences, run modally.
void RunPreferenceSheet(CZunApp& app);

}  // namespace zun
