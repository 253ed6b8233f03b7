#pragma once
// "Record Animation..." and "Stop Recording" of a 3-D view: the options dialog, the free-form
// recording of the camera as the user moves it, and the scripted turn, both written as movies.

#include <QDialog>
#include <QObject>
#include <QPointer>

#include <osg/Camera>
#include <osg/Image>
#include <osg/ref_ptr>

#include <chrono>
#include <functional>
#include <memory>

#include "foundation/ui/progressdialog.h"
#include "view3d/animationrecorder.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace zun {

class CZunDoc;
class CZunView;

class RecordOptionsDialog : public QDialog {
    Q_OBJECT
public:
    RecordOptionsDialog(QWidget* parent, const RecordOptions& options);
    const RecordOptions& Options() const { return options_; }
    QRadioButton* Kind(int i) const { return kinds_[i]; }
    QLineEdit* FrameRate() const { return frameRate_; }
    QLineEdit* Rotations() const { return rotations_; }
    QLineEdit* AxisAngle() const { return axisAngle_; }
    QLineEdit* Period() const { return period_; }
    QCheckBox* SaveFrames() const { return saveFrames_; }
    QCheckBox* Effect() const { return effect_; }
    QRadioButton* FillIn() const { return fillIn_; }
    QRadioButton* StepThrough() const { return stepThrough_; }
    QCheckBox* NoRotation() const { return noRotation_; }
    std::function<void(const QString&)> showMessage;

public Q_SLOTS:
    void accept() override;

private:
    int CheckedKind() const;
    void Refresh();
    RecordOptions options_;
    QRadioButton* kinds_[4];
    QLineEdit *frameRate_, *rotations_, *axisAngle_, *period_;
    QCheckBox *saveFrames_, *effect_, *noRotation_;
    QRadioButton *fillIn_, *stepThrough_;
};

class ViewAnimationRecording : public QObject, public AnimationHost {
    Q_OBJECT
public:
    ViewAnimationRecording(CZunView* view, CZunDoc* doc);
    ~ViewAnimationRecording() override;

    void OnRecordAnimation();
    void OnStopRecording();
    // True from the start of a free-form recording until its movie is written, and while a
    // scripted movie is written.
    bool Busy() const { return busy_; }
    bool FreeFormRunning() const { return freeForm_ != nullptr; }

    // Replace the dialogs and boxes (tests, the child frame's pane).
    std::function<bool(RecordOptions&)> chooseOptions;
    std::function<std::string()> chooseFile;
    std::function<void(const std::string&)> showMessage;
    std::function<void(bool)> showRecording;
    std::function<void(int position, bool fillIn)> stepSlices;
    // The free-form clock (tests replace it).
    std::function<double()> elapsedSeconds;

    bool Capture(int order, FrameImage& image) override;
    bool WriteJpeg(const FrameImage& bgr, const std::string& path) override;
    void ViewportSize(int& width, int& height) const override;
    std::uint32_t Background() const override;
    Quat Rotation() const override;
    void SetRotation(const Quat& q) override;
    double Distance() const override;
    double MinimumDistance() const override;
    int SliceCount() const override;
    void SetCameraMatrix(const std::array<double, 16>& m) override;
    void SetBackground(std::uint32_t colour) override;
    void StepSlices(int position, bool fillIn) override;
    bool Progress(int percent) override;
    void ShowRecording(bool on) override;

    // Called after each drawn frame of a free-form recording.
    void OnFrameDrawn();

private:
    // The file to record to, checked as every written path is; empty when none was chosen.
    std::string ChooseFile();
    std::string AskFile();
    void ShowMessage(const std::string& text);
    std::string Title() const;
    void StopFreeForm();
    // The free-form clock: seconds since the start, and the recording's time (the clock less
    // the pauses of a cancelled Stop).
    double ClockSeconds() const;
    double RecordedSeconds() const { return ClockSeconds() - pausedSeconds_; }
    void AttachFrameCallback();
    void DetachFrameCallback();
    // Runs record(writer) under the modal "Save Animation" progress and the wait cursor; its
    // message.
    std::string SaveWithProgress(const std::function<std::string(MovieWriter&)>& record);
    CZunView* view_;
    CZunDoc* doc_;
    bool busy_ = false;
    RecordOptions options_;
    // What the options dialog last accepted: it opens with it the next time.
    RecordOptions dialogOptions_;
    std::unique_ptr<FreeFormRecording> freeForm_;
    double pausedSeconds_ = 0;
    osg::ref_ptr<osg::Camera::DrawCallback> drawn_;
    std::uint32_t lastColour_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::unique_ptr<CProgressBar> progress_;
    osg::ref_ptr<osg::Image> captured_;
};

ViewAnimationRecording* AnimationRecordingOf(QWidget* view);
ViewAnimationRecording* AddAnimationRecording(CZunView* view, CZunDoc& doc);

}  // namespace zun
