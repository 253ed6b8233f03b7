#pragma once
// The advanced view settings of a 3-D view (stereo display and volume rendering), opened from its
// control panel. Every change applies at once; the panel is brought up to date after it.

#include <QDialog>

class QButtonGroup;
class QCheckBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QSlider;
class QSpinBox;

namespace zun {

class CZunView;
class ImageControlFloatingDialog;

class CZunViewAdvancedSettings : public QDialog {
    Q_OBJECT
public:
    CZunViewAdvancedSettings(ImageControlFloatingDialog& owner, QWidget* parent);

    // Shows the view's settings in every control.
    void Fill();

    // The handlers, callable as the controls call them.
    void OnStereo(int mode);
    void OnEyeSwap(bool on);
    void OnSlider(int which);
    void OnRenderMode(int mode);
    void OnGrayscale();
    void OnSpin(int which, int value);
    void OnLoadDefault();

    enum Slider { kEye = 0, kSplitH, kSplitV, kDensity, kThreshold };
    enum Spin { kRed = 0, kGreen, kBlue, kAlpha, kTransparency };
    QSlider* slider(int i) const { return sliders_[i]; }
    QLineEdit* sliderEdit(int i) const { return edits_[i]; }
    QSpinBox* spin(int i) const { return spins_[i]; }
    QLabel* quadBufferNote() const { return note_; }
    QRadioButton* stereoRadio(int mode) const;
    QRadioButton* renderRadio(int mode) const;
    QCheckBox* grayscale() const { return grey_; }

private:
    void BuildControls();
    void FillStereo();
    void Range(int which, float& min, float& max) const;
    void SyncPanel();

    ImageControlFloatingDialog& owner_;
    CZunView& view_;
    QButtonGroup* stereo_ = nullptr;
    QButtonGroup* render_ = nullptr;
    QSlider* sliders_[5] = {};
    QLineEdit* edits_[5] = {};
    QSpinBox* spins_[5] = {};
    QLabel* eyeLabel_ = nullptr;
    QLabel* thresholdLabel_ = nullptr;
    QLabel* greyLabels_[3] = {};
    QLabel* note_ = nullptr;
    QCheckBox* eyeSwap_ = nullptr;
    QCheckBox* grey_ = nullptr;
    bool filling_ = false;
};

}  // namespace zun
