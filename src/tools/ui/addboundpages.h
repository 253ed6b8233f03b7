#pragma once
// The five pages of the boundary wizard. Each shows the fields of one boundary kind from the
// wizard's current definition and stores them back when its kind is the chosen one; the checks
// and conversions are those of tools/boundarypages.h.

#include <functional>
#include <memory>
#include <vector>

#include <QWidget>

#include "tools/boundarypages.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QRadioButton;

namespace zun {

class BoundaryWizard;
class Prompt;

class AddBoundPage : public QWidget {
    Q_OBJECT
public:
    AddBoundPage(BoundaryWizard& wizard, int index, QWidget* parent);
    int Index() const { return index_; }
    // Copies the controls into the wizard's current definition (a failed check counts as a page
    // error there).
    virtual void StoreDefinition(Prompt* prompt) = 0;
    // Whether the fields are complete enough to apply.
    virtual bool IsReady() const = 0;
    // Shows the wizard's current definition again.
    virtual void Show() = 0;

    // Called whenever a change may alter IsReady.
    std::function<void()> readyChanged;

protected:
    void NotifyReady() {
        if (readyChanged) readyChanged();
    }
    BoundaryWizard& wizard_;

private:
    int index_;
};

// "Channel cluster based".
class AddBoundPage_0 : public AddBoundPage {
    Q_OBJECT
public:
    AddBoundPage_0(BoundaryWizard& wizard, const std::string& firstTarget, QWidget* parent);
    void StoreDefinition(Prompt* prompt) override;
    bool IsReady() const override;
    void Show() override;

    QComboBox* ReferenceCombo() const { return reference_; }
    QRadioButton* UnitButton(int unit) const { return units_[unit]; }
    QLineEdit* ThresholdEdit() const { return threshold_; }
    QLabel* ThresholdLabel() const { return label_; }
    QRadioButton* LowButton(int c) const { return low_[c]; }
    QRadioButton* HighButton(int c) const { return high_[c]; }
    QLineEdit* LowRuleEdit() const { return lowRule_; }
    QLineEdit* HighRuleEdit() const { return highRule_; }
    // Why the page cannot be applied (empty when it can, or when a field is only missing).
    QLabel* StatusLine() const { return status_; }

private:
    ClusterPageFields Read() const;
    void Write(const ClusterPageFields& f);
    void Changed();

    ClusterBoundaryPage page_;
    QComboBox* reference_;
    QRadioButton* units_[3];
    QLabel* label_;
    QLineEdit* threshold_;
    QRadioButton* low_[3];
    QRadioButton* high_[3];
    QLineEdit* lowRule_;
    QLineEdit* highRule_;
    QLabel* status_;
    int shownUnit_ = BoundDef::kNormalised;
    bool updating_ = false;
};

// "Channel value based".
class AddBoundPage_1 : public AddBoundPage {
    Q_OBJECT
public:
    AddBoundPage_1(BoundaryWizard& wizard, int channelCount, QWidget* parent);
    void StoreDefinition(Prompt* prompt) override;
    bool IsReady() const override;
    void Show() override;

    QListWidget* ChannelList() const { return list_; }
    QCheckBox* VoidOutside() const { return voidOutside_; }
    QCheckBox* NoisePresent() const { return noise_; }
    QCheckBox* CheckOnly() const { return checkOnly_; }
    QCheckBox* Smoothing() const { return smoothing_; }
    QLineEdit* StrengthEdit() const { return strength_; }

private:
    ValuePageFields Read() const;
    void Enable();

    ValueBoundaryPage page_;
    QListWidget* list_;
    QCheckBox* voidOutside_;
    QCheckBox* noise_;
    QCheckBox* checkOnly_;
    QCheckBox* smoothing_;
    QLabel* strengthLabel_;
    QLineEdit* strength_;
};

// "Cuboid", "Spherical" and "Cylindrical".
class AddBoundGeometryPage : public AddBoundPage {
    Q_OBJECT
public:
    AddBoundGeometryPage(BoundaryWizard& wizard, int kind, QWidget* parent);
    void StoreDefinition(Prompt* prompt) override;
    bool IsReady() const override { return true; }
    void Show() override;

    QLineEdit* Edit(int i) const { return edits_[static_cast<std::size_t>(i)]; }

private:
    std::vector<QLineEdit*> edits_;
};

// Runs `check` when the edit loses the focus; a message box the check shows takes the focus
// again, so the check does not run twice.
void OnLeavingEdit(QLineEdit* edit, std::function<void()> check);

}  // namespace zun
