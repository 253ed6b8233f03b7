#pragma once
// "Threshold segmentation": one row per composition with its lower and upper threshold, the unit
// and sorting switches, Apply with a progress bar, and Close. CThresholdSegmentation decides
// everything; the dialog draws its rows and forwards edits, spin steps and clicks.

#include <QDialog>
#include <vector>

#include "tools/thresholdseg.h"

class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace zun {

class ThresholdSegmentationDialog : public QDialog {
    Q_OBJECT
public:
    // The segmentation has been prepared for its input channel.
    explicit ThresholdSegmentationDialog(CThresholdSegmentation& seg, QWidget* parent = nullptr);

    QLineEdit* Edit(int row, bool upper) const;
    QToolButton* SpinButton(int row, bool upper, bool up) const;
    QCheckBox* ImageUnit() const { return imageUnit_; }
    QCheckBox* PhysicalUnit() const { return physicalUnit_; }
    QCheckBox* Sorted() const { return sorted_; }
    QPushButton* ApplyButton() const { return apply_; }
    QPushButton* CloseButton() const { return close_; }
    QProgressBar* Progress() const { return progress_; }

private:
    struct RowWidgets {
        QLineEdit* edit[2];
        QToolButton* spin[2][2];  // [lower/upper][down/up]
    };
    void Show(int row, bool upper);
    void ShowAll();
    void OnEdited(int row, bool upper);
    void OnSpin(int row, bool upper, int delta);
    void OnUnit(bool image);
    void OnApply();
    void Touched();

    CThresholdSegmentation& seg_;
    std::vector<RowWidgets> rows_;
    QCheckBox* imageUnit_;
    QCheckBox* physicalUnit_;
    QCheckBox* sorted_;
    QPushButton* apply_;
    QPushButton* close_;
    QProgressBar* progress_;
};

}  // namespace zun
