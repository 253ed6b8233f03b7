#pragma once
// "Select Computation Devices": the device rows with their thread counts, edited in place, over
// DeviceSelection.

#include <QDialog>

#include "tools/deviceselection.h"

class QPushButton;
class QTableWidget;

namespace zun {

class Prompt;

class SelectGpuDialog : public QDialog {
    Q_OBJECT
public:
    SelectGpuDialog(DeviceSelection& selection, Prompt& prompt, QWidget* parent = nullptr);

    QTableWidget* Table() const { return table_; }
    QPushButton* SetDefaultButton() const { return setDefault_; }

    void accept() override;

private:
    void Fill();
    void OnCellChanged(int row, int column);

    DeviceSelection& sel_;
    Prompt& prompt_;
    QTableWidget* table_;
    QPushButton* setDefault_;
    bool filling_ = false;
};

// The document's "Select Computation Device..." command over this dialog.
int RunSelectComputationDevices(CZunDoc& doc, Prompt& prompt, QWidget* parent);

}  // namespace zun
