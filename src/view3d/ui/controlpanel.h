#pragma once
// The floating control panel of a 3-D view: view information, movement, zoom, slice stepping,
// bounding box, run animations, stereo switches, shader, full-screen screen and recording. It
// holds no view state: it reads the view when synced and changes it only through the view.

#include <QDialog>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QScrollArea;

namespace zun {

class CZunView;
class CZunViewAdvancedSettings;

class ImageControlFloatingDialog : public QDialog {
    Q_OBJECT
public:
    ImageControlFloatingDialog(CZunView& view, QWidget* parent);
    ~ImageControlFloatingDialog() override;

    CZunView& View() const { return view_; }
    // Brings every switch up to the view's state (and the advanced dialog, when open).
    void SyncFromView();
    void ShowViewInfo(double angleDegrees, double x, double y, double z, double distance);
    void FillScreenList();
    // Closes the advanced settings dialog when it is open.
    void CloseAdvancedSettings();
    CZunViewAdvancedSettings* AdvancedSettings() const;

    // The handlers, callable as the buttons call them.
    void OnSet();
    void OnSliceCheck(bool checked);
    void OnStepSlices(bool forward);
    void OnBoxVisible(bool checked);
    void OnBoxTransparent(bool checked);
    void OnAnimation(int mode);
    void OnRecord();
    void OnStop();
    void OnEyeSwap(bool checked);
    void OnShader(int index);
    void OnMore();
    void OnScreen(int index);
    void OnDetect();

    // The controls, for tests and screenshots.
    QLineEdit* infoEdit(int i) const { return info_[i]; }  // X, Y, Z, Angle, Scale
    QCheckBox* sliceCheck() const { return slice_; }
    QPushButton* sliceMinus() const { return minus_; }
    QPushButton* slicePlus() const { return plus_; }
    QCheckBox* boxVisible() const { return visible_; }
    QCheckBox* boxTransparent() const { return transparent_; }
    QPushButton* stereoButton(int i) const { return stereo_[i]; }  // quad, anaglyph, interlace, split
    QPushButton* eyeSwap() const { return eyeSwap_; }
    QComboBox* shaderList() const { return shaders_; }
    QComboBox* screenList() const { return screens_; }

    // Closing the panel (Cancel, Escape, the window's close button).
    void reject() override;
    // The whole column of controls (within the screen, the panel opens at this size).
    QSize sizeHint() const override;

private:
    void BuildControls();

    CZunView& view_;
    QScrollArea* scroll_ = nullptr;
    QWidget* body_ = nullptr;
    QLineEdit* info_[5] = {};
    QCheckBox* slice_ = nullptr;
    QPushButton* minus_ = nullptr;
    QPushButton* plus_ = nullptr;
    QCheckBox* visible_ = nullptr;
    QCheckBox* transparent_ = nullptr;
    QPushButton* stereo_[4] = {};
    QPushButton* eyeSwap_ = nullptr;
    QComboBox* shaders_ = nullptr;
    QComboBox* screens_ = nullptr;
    QPointer<CZunViewAdvancedSettings> advanced_;
};

}  // namespace zun
