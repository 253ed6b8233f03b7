#pragma once
// "Channel Gradient Parameters": the output channel and, per axis, periodic faces or supplied
// values beyond the faces, over GradientParsModel.

#include <QDialog>
#include <array>
#include <string>

#include "tools/channelgradient.h"
#include "tools/channeltoolsteps.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace zun {

class CZunDoc;
class Prompt;

class ChannelGradientDialog : public QDialog {
    Q_OBJECT
public:
    ChannelGradientDialog(GradientParsModel& model, Prompt& prompt, QWidget* parent = nullptr);

    QComboBox* OutputCombo() const { return output_; }
    QCheckBox* PeriodicBox(int axis) const { return periodic_[axis]; }
    QCheckBox* OutsideBox(int axis) const { return outside_[axis]; }
    QLineEdit* ValueEdit(int i) const { return values_[i]; }

    void accept() override;

private:
    void Refresh();

    GradientParsModel& model_;
    Prompt& prompt_;
    QComboBox* input_;
    QComboBox* output_;
    QCheckBox* periodic_[3];
    QCheckBox* outside_[3];
    QLineEdit* values_[6];
};

// "Compute Gradient...": the dialog for the channel, then the gradient as a controller step. The
// settings are kept in `store` for the next opening.
void RunChannelGradient(CZunDoc& doc, int input, GradientSettingsStore& store, Prompt& prompt,
                        QWidget* parent);

}  // namespace zun
