#pragma once
// The boundary wizard: the panel that chooses the kind, the combination mode, the rotation and
// the translation, above one tab per kind, with Apply and Close. Apply stores the chosen kind's
// page and lets BoundaryWizard decide whether to build; the sheet stays open until Close.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include <QDialog>

#include "tools/boundarywizard.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace zun {

class AddBoundPage;
class CZunDoc;
class ProgressSink;

// The fixed panel above the pages.
class AddBoundDialog : public QWidget {
    Q_OBJECT
public:
    explicit AddBoundDialog(QWidget* parent);

    QComboBox* TypeCombo() const { return type_; }
    QRadioButton* ModeButton(int mode) const { return modes_[static_cast<std::size_t>(mode)]; }
    QCheckBox* RotateCheck() const { return rotate_; }
    QCheckBox* TranslateCheck() const { return translate_; }
    QLineEdit* AngleEdit(int axis) const { return angles_[static_cast<std::size_t>(axis)]; }
    QLineEdit* OffsetEdit(int axis) const { return offsets_[static_cast<std::size_t>(axis)]; }

    BoundPanelFields Read() const;
    void Show(const BoundDef& def);
    // The rotate and translate check boxes enable their edits and labels.
    void EnableEdits();

private:
    friend class AddBoundSheet;
    QComboBox* type_;
    std::array<QRadioButton*, 5> modes_;
    QCheckBox* rotate_;
    QCheckBox* translate_;
    std::array<QLineEdit*, 3> angles_;
    std::array<QLineEdit*, 3> offsets_;
    std::array<QLabel*, 3> angleLabels_;
    std::array<QLabel*, 3> offsetLabels_;
};

class AddBoundSheet : public QDialog {
    Q_OBJECT
public:
    // channelCount: the sample's channel count when the command started (the value page lists
    // only channels below it).
    AddBoundSheet(BoundaryWizard& wizard, int channelCount, QWidget* parent = nullptr);
    ~AddBoundSheet() override;

    AddBoundDialog* Panel() const { return panel_; }
    QTabWidget* Tabs() const { return tabs_; }
    AddBoundPage* Page(int kind) const { return pages_[static_cast<std::size_t>(kind)]; }
    QPushButton* ApplyButton() const { return apply_; }
    QPushButton* CloseButton() const { return close_; }

    // What the Apply button does; the result of BoundaryWizard::ApplyBoundary.
    int Apply();

private:
    void OnTypeChosen(int kind);
    void OnPageEntered(int kind);
    void RefreshApply();

    BoundaryWizard& wizard_;
    AddBoundDialog* panel_;
    QTabWidget* tabs_;
    std::array<AddBoundPage*, 5> pages_{};
    QPushButton* apply_ = nullptr;
    QPushButton* close_ = nullptr;
    bool switching_ = false;
};

// The "Build Boundary..." command for the named boundaries: the wizard, modally.
void RunBoundaryWizard(CZunDoc& doc, const std::vector<std::string>& targets, QWidget* parent);

// A progress window for the boundary tools (the wait cursor while it lives).
std::unique_ptr<ProgressSink> MakeBoundaryProgress(QWidget* parent, const std::string& caption);

}  // namespace zun
