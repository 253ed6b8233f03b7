#pragma once
// Recording a movie of a 3-D view while the document's computation runs: the view's recorder
// state, the movie file it writes, and the operations behind "Save Movie of This View". What
// needs a window (the file dialog, drawing and reading back a frame, the JPEG writer, the
// controller) is reached through RecordingHost, so that all of it runs without one in tests.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "view3d/moviewriter.h"

namespace zun {

// A frame read back from the view: 3 bytes a pixel, bottom row first, valid until the next capture.
struct FrameImage {
    const std::uint8_t* data = nullptr;
    int width = 0, height = 0;
    std::ptrdiff_t stride = 0;
};

// What the user chose in the recording dialog and the compressor choice.
struct RecordingChoice {
    std::string fileName;
    int framesPerSecond = 25;
    bool saveFrames = false;
    MovieCodec codec = MovieCodec::kMsVideo1;
};

// The frames-per-second entry: a positive whole number, else the message (empty when valid).
std::string CheckFramesPerSecond(const std::string& text, int& value);

class RecordingHost {
public:
    virtual ~RecordingHost() = default;
    virtual bool ComputationRunning() const = 0;
    virtual bool AnimationRecorderBusy() const = 0;
    // The file dialog and the compressor choice, started from `choice`: 0 chosen, 1 cancelled,
    // 2 no file name.
    virtual int ChooseRecording(RecordingChoice& choice) = 0;
    virtual void ShowMessage(const std::string& text) = 0;
    // The viewport of the main camera in pixels and the view's background (0x00BBGGRR).
    virtual void ViewportSize(int& width, int& height) const = 0;
    virtual std::uint32_t Background() const = 0;
    // Draws one frame and reads it back (order 0 blue-green-red, 1 red-green-blue); false when
    // nothing could be read.
    virtual bool Capture(int order, FrameImage& image) = 0;
    // A frame file from a blue-green-red frame as the movie gets it.
    virtual bool WriteJpeg(const FrameImage& bgr, const std::string& path) = 0;
    virtual void AdjustSyncUpdateCount(int delta) = 0;
    // The frame window's title, for the log line.
    virtual std::string Title() const = 0;
    virtual void LogTimestamped(const std::string& text) = 0;
    // The view's recording pane shows "Recording..." while a movie is open.
    virtual void ShowRecording(bool on) = 0;
};

// The per-view recorder state and its movie.
class MovieRecorder {
public:
    explicit MovieRecorder(std::unique_ptr<MovieWriter> writer = MakeBackgroundMovieWriter());

    bool requested = false;
    bool active = false;
    int framesPerSecond = 25;
    bool saveFrames = false;
    int frameIndex = 0;
    int width = 0, height = 0;
    std::string fileName, baseName;

    // Opens the movie for the chosen file at the viewport's size rounded up to multiples of 4:
    // 0 opened, 3 failed with the message set.
    int Open(const RecordingChoice& choice, int viewportWidth, int viewportHeight, std::string& message);
    // Appends a captured frame (fitted to the movie's size, the uncovered part in the colour) as
    // frame number frameIndex; false when it could not be written.
    bool WriteFrame(const FrameImage& bgr, std::uint32_t colour);
    // The same in two steps: the fitted frame (valid until the next Fit), then its write.
    FrameImage Fit(const FrameImage& bgr, std::uint32_t colour);
    bool WriteFitted();
    // Finishes the movie and resets the state; false when the file could not be finished.
    bool Close();

private:
    std::unique_ptr<MovieWriter> writer_;
    std::vector<std::uint8_t> frame_;
};

class ComputationRecording {
public:
    explicit ComputationRecording(RecordingHost& host,
                                  std::unique_ptr<MovieWriter> writer = MakeBackgroundMovieWriter());

    // The menu command: toggles the mark; while the computation runs it also starts or stops.
    void OnSaveMovie();
    bool MenuChecked() const;
    bool MenuEnabled() const;
    // 0 started or nothing to do, 1 failed or cancelled, 2 refused (an animation is recorded).
    int Start();
    void Stop();
    // After the view applied a document update: one frame, drawn and appended. A frame that
    // cannot be captured or written ends the recording with a line in the log.
    void WriteRecordingFrame();
    bool Active() const { return recorder_.active; }
    const MovieRecorder& Recorder() const { return recorder_; }
    // The folder the next file dialog opens in.
    std::string lastFolder;
    // The last start ended because the user cancelled the file or compressor choice: no failure.
    bool cancelledByUser = false;

private:
    void EndAfterError(const char* what);
    RecordingHost& host_;
    MovieRecorder recorder_;
};

}  // namespace zun
