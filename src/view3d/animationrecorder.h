#pragma once
// The scripted animation movie of a 3-D view: the camera turns about the view's centre for a number
// of rotations while frames are drawn, read back and written, optionally with a slice effect. The
// view is reached through AnimationHost, so the whole recording runs without a window in tests.

#include <array>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "view3d/movierecorder.h"
#include "view3d/moviewriter.h"

namespace zun {

// The "Record Animation" options with the values the command starts the dialog with.
struct RecordOptions {
    int mode = 1;  // 0 free form, 1 horizontal axis, 2 vertical axis, 3 own angle, 4 no rotation
    unsigned frameRate = 24;
    unsigned rotations = 1;
    float axisAngle = 0.0f;  // degrees
    float period = 10.0f;    // seconds
    bool saveFrames = false;
    int effect = 0;  // 0 none, 1 fill in, 2 step through
};

// Which controls of the options dialog are enabled, from the checked kind (0 free form, 1 and 2
// the fixed axes, 3 an own angle) and the two effect check boxes.
struct RecordOptionsEnables {
    bool frameRate, rotations, axisAngle, period, effect, effectChoices, kinds;
};
RecordOptionsEnables RecordOptionsState(int kind, bool effectChecked, bool noRotation);

// A scripted movie of more frames than this (over an hour at 25 frames a second) is refused
// rather than recorded for days.
inline constexpr double kMaxMovieFrames = 100000;
inline constexpr const char* kTooManyFrames = "The movie would have more than 100000 frames.";
inline constexpr const char* kRecordCancelled = "Record Animation cancelled";
// The range checks of the options (free form needs a frame rate only): the message, or empty.
std::string CheckRecordOptions(const RecordOptions& o);
// Frames of one rotation (frame rate x period, truncated) and of the whole movie.
int FramesPerRotation(const RecordOptions& o);
int ScriptedFrameCount(const RecordOptions& o);

// x, y, z, w.
using Quat = std::array<double, 4>;
Quat QuatMultiply(const Quat& a, const Quat& b);
// The turn added each frame: the eye moves by about a tenth of the view's size per rotation's
// frames along the direction axisAngle gives (0 up, 90 right).
Quat StepRotation(const Quat& saved, double distance, double minimumDistance, int framesPerRotation,
                  float axisAngle);

class AnimationHost {
public:
    virtual ~AnimationHost() = default;
    virtual bool Capture(int order, FrameImage& image) = 0;
    // A frame file from a blue-green-red frame as the movie gets it.
    virtual bool WriteJpeg(const FrameImage& bgr, const std::string& path) = 0;
    virtual void ViewportSize(int& width, int& height) const = 0;
    virtual std::uint32_t Background() const = 0;
    virtual Quat Rotation() const = 0;
    virtual void SetRotation(const Quat& q) = 0;
    virtual double Distance() const = 0;
    virtual double MinimumDistance() const = 0;
    virtual int SliceCount() const = 0;
    // The manipulator's camera matrix (free form replay) and the view's background (0x00BBGGRR).
    virtual void SetCameraMatrix(const std::array<double, 16>& m) = 0;
    virtual void SetBackground(std::uint32_t colour) = 0;
    // -1 begins slice stepping, -2 ends it, else shows the slices up to that step.
    virtual void StepSlices(int position, bool fillIn) = 0;
    // Progress in percent; true when the user cancelled.
    virtual bool Progress(int percent) = 0;
    virtual void ShowRecording(bool on) = 0;
};

// A free-form recording: the camera after every drawn frame and each background change, with
// the seconds since the start, up to 300 s. Drawn frames and colour changes may come from
// different threads.
struct AnimationEvent {
    enum Kind { kMarker, kCamera, kColour } kind = kMarker;
    double time = 0;
    std::array<double, 16> matrix{};
    std::uint32_t colour = 0;
};

class FreeFormRecording {
public:
    static constexpr double kMaxSeconds = 300.0;
    // A marker, the camera and the background at time 0.
    void Start(const std::array<double, 16>& camera, std::uint32_t colour);
    void AddCamera(double t, const std::array<double, 16>& camera);
    void AddColour(double t, std::uint32_t colour);
    // The end marker, at 300 s when the recording ran longer.
    void Finish(double t);
    std::vector<AnimationEvent> Events() const;

private:
    mutable std::mutex mutex_;
    std::vector<AnimationEvent> events_;
};

// Replays the events at the frame rate into the movie, from the start to the end marker: a frame
// is written for each frame time at which an event was applied, so frames without a change stay
// empty (the player keeps showing the previous one, and their JPEG numbers are skipped). Returns
// the message to show (empty when complete). A cancel leaves no movie file.
std::string ReplayFreeForm(AnimationHost& host, MovieWriter& writer, const std::string& fileName,
                           unsigned frameRate, bool saveFrames, const std::vector<AnimationEvent>& events);

// Records the scripted movie to fileName; returns the message to show (empty when complete). A
// cancel leaves no movie file; after an error the frames written so far are kept.
std::string RecordScripted(AnimationHost& host, MovieWriter& writer, const std::string& fileName,
                           const RecordOptions& options);

}  // namespace zun
