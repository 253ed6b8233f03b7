#pragma once
// "Setup Sample Grid": the edits of the grid size, offsets and voxel size over SetupSampleGrid,
// with the live voxel-count line.

#include <QDialog>

#include "tools/samplegrid.h"

class QCheckBox;
class QLabel;
class QLineEdit;

namespace zun {

class Prompt;

class SampleGridDialog : public QDialog {
    Q_OBJECT
public:
    SampleGridDialog(SetupSampleGrid& grid, Prompt& prompt, QWidget* parent = nullptr);

    QLineEdit* SizeEdit(int axis) const { return sizes_[axis]; }
    QLineEdit* OffsetEdit(int axis) const { return offsets_[axis]; }
    QLineEdit* PhysicalEdit(int i) const { return physical_[i]; }
    QLabel* CountLine() const { return count_; }

    void accept() override;

private:
    void Store();
    void RefreshCount();

    SetupSampleGrid& grid_;
    Prompt& prompt_;
    QLineEdit* sizes_[3];
    QLineEdit* offsets_[3];
    QLineEdit* physical_[4];
    QCheckBox* defaults_;
    QLabel* count_;
};

// Runs the dialog modally; true on OK.
bool RunSampleGridDialog(SetupSampleGrid& grid, Prompt& prompt, QWidget* parent);

}  // namespace zun
