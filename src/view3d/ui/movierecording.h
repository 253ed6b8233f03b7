#pragma once
// The computation movie of a 3-D view on screen: the save dialog with its frame-rate and
// frame-file fields, the compressor choice, and the view's side of the recorder (frames drawn and
// read back after each applied update, JPEG files through Qt's writer).

#include <QFileDialog>
#include <QObject>

#include <osg/Image>
#include <osg/ref_ptr>

#include <functional>

#include "view3d/movierecorder.h"

class QCheckBox;
class QLineEdit;

namespace zun {

class CZunDoc;
class CZunView;

class ComputationRecordingDialog : public QFileDialog {
    Q_OBJECT
public:
    ComputationRecordingDialog(QWidget* parent, const QString& title, const QString& folder,
                               int framesPerSecond, bool saveFrames);
    int FramesPerSecond() const { return framesPerSecond_; }
    bool SaveFrames() const;
    QLineEdit* FramesPerSecondEdit() const { return fps_; }
    QCheckBox* SaveFramesBox() const { return saveFrames_; }
    // Shows a refusal; a message box unless replaced (tests).
    std::function<void(const QString&)> showMessage;

public Q_SLOTS:
    void accept() override;

private:
    QLineEdit* fps_;
    QCheckBox* saveFrames_;
    int framesPerSecond_;
};

class ViewMovieRecording : public QObject, public RecordingHost {
    Q_OBJECT
public:
    // A child of the view: it lives and goes with it.
    ViewMovieRecording(CZunView* view, CZunDoc* doc);
    ~ViewMovieRecording() override;

    ComputationRecording& Recording() { return recording_; }
    // The document's end of a computation: the last state as the final frame, then the movie ends.
    void FinishWithLastState();

    // Replace the dialogs, the message box and the pane (tests, the child frame).
    std::function<int(RecordingChoice&)> chooseRecording;
    std::function<void(const std::string&)> showMessage;
    std::function<void(bool)> showRecording;
    std::function<bool()> animationBusy;
    // Stands for the document's controller state (tests that drive the view themselves).
    std::function<bool()> computationRunning;

    bool ComputationRunning() const override;
    bool AnimationRecorderBusy() const override;
    int ChooseRecording(RecordingChoice& choice) override;
    void ShowMessage(const std::string& text) override;
    void ViewportSize(int& width, int& height) const override;
    std::uint32_t Background() const override;
    bool Capture(int order, FrameImage& image) override;
    bool WriteJpeg(const FrameImage& bgr, const std::string& path) override;
    void AdjustSyncUpdateCount(int delta) override;
    std::string Title() const override;
    void LogTimestamped(const std::string& text) override;
    void ShowRecording(bool on) override;

private:
    CZunView* view_;
    CZunDoc* doc_;
    osg::ref_ptr<osg::Image> captured_;
    ComputationRecording recording_;
};

// A frame file through Qt's JPEG writer, written to a temporary name and renamed.
bool WriteJpegFrame(const FrameImage& bgr, const std::string& path);

// The recorder of a 3-D view (null when it has none).
ViewMovieRecording* MovieRecordingOf(QWidget* view);
// Gives the view its recorder and lets the document start and stop the recorders of all its
// views with its computation.
ViewMovieRecording* AddMovieRecording(CZunView* view, CZunDoc& doc);
// True when the document's last start of its views' recordings ended because the user cancelled
// a choice in one of them (then the computation stays unstarted, and that is no failure).
bool RecordingStartCancelled(CZunDoc& doc);

}  // namespace zun
