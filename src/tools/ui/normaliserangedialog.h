#pragma once
// "Normalize Channel Value Range": bounds, side modes and radii over NormaliseModel. Execute runs
// the normalisation as a controller step while the dialog stays responsive; the closing button
// reads Cancel, Stop or Close, and a close asked during a run waits for the run's end.

#include <QDialog>

#include "tools/normalisemodel.h"

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTimer;

namespace zun {

class CZunDoc;
class Prompt;

class NormaliseRangeDialog : public QDialog {
    Q_OBJECT
public:
    NormaliseRangeDialog(NormaliseModel& model, Prompt& prompt, QWidget* parent = nullptr);

    QComboBox* OutputCombo() const { return output_; }
    QComboBox* BoundaryCombo() const { return boundary_; }
    QLineEdit* BoundEdit(int side) const { return bound_[side]; }
    QLineEdit* RadiusEdit(int side) const { return radius_[side]; }
    // Mode radios of a side: 0 Redistribute, 1 Clip, 2 Do nothing.
    QRadioButton* ModeRadio(int side, int k) const { return modes_[side][k]; }
    QPushButton* ExecuteButton() const { return execute_; }
    QPushButton* CloseButton() const { return close_; }
    QProgressBar* Progress() const { return progress_; }

    void reject() override;

private:
    void RefreshSide(int side);
    void SetControlsEnabled(bool on);
    void OnExecute();
    void OnEnded(int result);

    NormaliseModel& model_;
    Prompt& prompt_;
    QComboBox* output_;
    QComboBox* boundary_;
    QLineEdit* bound_[2];
    QLineEdit* radius_[2];
    QRadioButton* modes_[2][3];
    QProgressBar* progress_;
    QPushButton* execute_;
    QPushButton* close_;
    QTimer* poll_;
    bool closePending_ = false;
};

void RunNormaliseRangeDialog(CZunDoc& doc, int input, Prompt& prompt, QWidget* parent);

}  // namespace zun
