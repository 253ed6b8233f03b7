#pragma once
// "Moving-volume average": the fields of MovingAverageModel; Execute runs the averaging as a
// step of the document's controller while the dialog shows its progress and offers Stop.

#include <QDialog>
#include <QPointer>

#include "tools/movingaveragemodel.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class QTimer;

namespace zun {

class CZunDoc;
class Prompt;

class MovingAverageDialog : public QDialog {
    Q_OBJECT
public:
    MovingAverageDialog(MovingAverageModel& model, Prompt& prompt, QWidget* parent = nullptr);

    QComboBox* OutputCombo() const { return output_; }
    QComboBox* BoundaryCombo() const { return boundary_; }
    QComboBox* GeometryCombo() const { return geometry_; }
    QCheckBox* AutoBox() const { return auto_; }
    QLineEdit* ExpectedEdit() const { return expected_; }
    QLineEdit* DimensionEdit(int i) const { return dims_[i]; }
    QLineEdit* RegionEdit(int i) const { return regions_[i]; }
    QLineEdit* SetValueEdit() const { return setValue_; }
    QLineEdit* IterationsEdit() const { return iterations_; }
    QPushButton* ExecuteButton() const { return execute_; }
    QPushButton* CloseButton() const { return close_; }
    QLabel* DimensionLabel() const { return dimLabel_; }
    bool Running() const { return running_; }

    void reject() override;

private:
    void OnGeometry(int g);
    void OnExecute();
    void OnEnded(int result);
    void RefreshEnabling();

    MovingAverageModel& model_;
    Prompt& prompt_;
    QLineEdit* input_;
    QComboBox* output_;
    QComboBox* boundary_;
    QCheckBox* auto_;
    QLineEdit* expected_;
    QPushButton* average_;
    QComboBox* geometry_;
    QLabel* dimLabel_;
    QStackedWidget* stack_;
    QLineEdit* dims_[3];
    QLineEdit* regions_[4];
    QRadioButton* original_;
    QRadioButton* setValueRadio_;
    QLineEdit* setValue_;
    QLineEdit* iterations_;
    QProgressBar* progress_;
    QPushButton* execute_;
    QPushButton* close_;
    QTimer* poll_;
    bool running_ = false;
    bool closePending_ = false;
};

// The tree's "Moving-volume Average" command; refuses a grid with a zero extent.
void RunMovingAverageDialog(CZunDoc& doc, int input, Prompt& prompt, QWidget* parent);

}  // namespace zun
