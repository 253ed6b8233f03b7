#pragma once
// "Adjust ... channel position": DX, DY, DZ edits over ChannelAlignModel; Apply moves the channel
// from its backup and shows the correlation, OK keeps the move, Cancel restores.

#include <QDialog>

#include "tools/channelalign.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace zun {

class CZunDoc;
class Prompt;

class ChannelAlignDialog : public QDialog {
    Q_OBJECT
public:
    ChannelAlignDialog(ChannelAlignModel& model, Prompt& prompt, QWidget* parent = nullptr);

    QLineEdit* Edit(int axis) const { return edits_[axis]; }
    QPushButton* ApplyButton() const { return apply_; }
    QPushButton* OkButton() const { return ok_; }
    QLabel* CorrelationLabel() const { return correlation_; }

    void accept() override;
    void reject() override;

private:
    void OnApply();
    void Refresh();

    ChannelAlignModel& model_;
    Prompt& prompt_;
    QLineEdit* edits_[3];
    QPushButton* apply_;
    QPushButton* ok_;
    QLabel* correlation_;
    QProgressBar* progress_;
    QLabel* status_;
};

// The "Aligns with" command: the moving channel against the reference; false when the backup
// could not be made (the insufficient-memory report shown).
bool RunChannelAlignDialog(CZunDoc& doc, int moving, int reference, Prompt& prompt, QWidget* parent);

}  // namespace zun
