#include "view3d/animationrecorder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace zun {

namespace {

using Vec = std::array<double, 3>;

Quat Hamilton(const Quat& p, const Quat& q) {
    return {p[3] * q[0] + p[0] * q[3] + p[1] * q[2] - p[2] * q[1],
            p[3] * q[1] - p[0] * q[2] + p[1] * q[3] + p[2] * q[0],
            p[3] * q[2] + p[0] * q[1] - p[1] * q[0] + p[2] * q[3],
            p[3] * q[3] - p[0] * q[0] - p[1] * q[1] - p[2] * q[2]};
}

Vec Rotate(const Quat& q, const Vec& v) {
    const Quat r = Hamilton(Hamilton(q, Quat{v[0], v[1], v[2], 0}), Quat{-q[0], -q[1], -q[2], q[3]});
    return {r[0], r[1], r[2]};
}

Vec Cross(const Vec& a, const Vec& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double Length(const Vec& v) {
    return std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
}

std::string FrameMessage(const char* head, int frame, const std::string& target) {
    return head + std::to_string(frame) + " to " + target + "; aborting";
}

std::string OpenMovie(AnimationHost& host, MovieWriter& writer, const std::string& fileName,
                      unsigned frameRate, int& width, int& height) {
    int vw = 0, vh = 0;
    host.ViewportSize(vw, vh);
    width = RoundUpToMultipleOf4(vw);
    height = RoundUpToMultipleOf4(vh);
    int code = 0;
    switch (writer.Open(
        fileName, MovieFormat{width, height, static_cast<int>(frameRate), MovieCodec::kMsVideo1}, code)) {
        case MovieError::kNone:
            return {};
        case MovieError::kCodec: {
            char text[96];
            std::snprintf(text, sizeof text, "ERROR! %08x creating compressed AVI stream.\n", unsigned(code));
            return text;
        }
        case MovieError::kFormat:
            return "ERROR! Setting AVI stream format.\n";
        default:
            return "ERROR! Could not create avi file " + fileName;
    }
}

// One movie frame and, when asked, its JPEG file made from the same drawing; the message of the first failure
// (the replay calls a movie frame that could not be drawn a failed write, the scripted movie a failed
// capture).
std::string WriteAnimationFrame(AnimationHost& host, MovieWriter& writer, const std::string& fileName,
                                int index, bool saveFrames, int width, int height,
                                std::vector<std::uint8_t>& frame, const char* noMovieFrame) {
    FrameImage image;
    if (!host.Capture(0, image)) return FrameMessage(noMovieFrame, index, fileName);
    FitFrame(image.data, image.width, image.height, image.stride, width, height, host.Background(), frame);
    if (!writer.WriteFrame(index, frame.data()))
        return FrameMessage("Error writing frame #", index, fileName);
    if (!saveFrames) return {};
    const std::string jpeg = FrameFileName(BaseNameOf(fileName), index);
    if (!host.WriteJpeg(FrameImage{frame.data(), width, height, width * 3}, jpeg))
        return FrameMessage("Error writing frame #", index, jpeg);
    return {};
}

}  // namespace

RecordOptionsEnables RecordOptionsState(int kind, bool effectChecked, bool noRotation) {
    RecordOptionsEnables e{};
    const bool freeForm = kind == 0;
    // Free form replays at the frame rate; the rotation values have no meaning for it.
    e.frameRate = true;
    e.rotations = !freeForm;
    e.period = !freeForm;
    e.axisAngle = kind == 3;
    e.effect = !freeForm;
    e.effectChoices = effectChecked && !freeForm;
    e.kinds = true;
    if (e.effectChoices && noRotation) {
        e.kinds = false;
        e.rotations = false;
    }
    return e;
}

void FreeFormRecording::Start(const std::array<double, 16>& camera, std::uint32_t colour) {
    std::lock_guard lock(mutex_);
    events_.clear();
    events_.push_back(AnimationEvent{});
    events_.push_back(AnimationEvent{AnimationEvent::kCamera, 0.0, camera, 0});
    events_.push_back(AnimationEvent{AnimationEvent::kColour, 0.0, {}, colour});
}

void FreeFormRecording::AddCamera(double t, const std::array<double, 16>& camera) {
    if (!(t <= kMaxSeconds)) return;
    std::lock_guard lock(mutex_);
    events_.push_back(AnimationEvent{AnimationEvent::kCamera, t, camera, 0});
}

void FreeFormRecording::AddColour(double t, std::uint32_t colour) {
    if (!(t <= kMaxSeconds)) return;
    std::lock_guard lock(mutex_);
    events_.push_back(AnimationEvent{AnimationEvent::kColour, t, {}, colour});
}

void FreeFormRecording::Finish(double t) {
    std::lock_guard lock(mutex_);
    AnimationEvent end;
    end.time = std::min(t, kMaxSeconds);
    events_.push_back(end);
}

std::vector<AnimationEvent> FreeFormRecording::Events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

std::string ReplayFreeForm(AnimationHost& host, MovieWriter& writer, const std::string& fileName,
                           unsigned frameRate, bool saveFrames, const std::vector<AnimationEvent>& events) {
    if (frameRate == 0 || events.empty()) return "Frame rate must be > 10";
    int width = 0, height = 0;
    std::string message = OpenMovie(host, writer, fileName, frameRate, width, height);
    if (!message.empty()) return message;
    host.ShowRecording(true);
    const double total = events.back().time;
    std::size_t cursor = 0;
    bool pending = false;
    std::vector<std::uint8_t> frame;
    // Every frame time from the start to the end marker, so the movie lasts as long as the
    // recording did; the last event (the end marker) is applied at the frame time that reaches it.
    for (int f = 0; cursor < events.size(); ++f) {
        const double t = static_cast<double>(f) / frameRate;
        const int percent = total > 0 ? std::clamp(static_cast<int>(t / total * 100), 0, 100) : 100;
        if (host.Progress(percent)) {
            message = kRecordCancelled;
            break;
        }
        for (; cursor < events.size() && events[cursor].time <= t; ++cursor) {
            const AnimationEvent& e = events[cursor];
            if (e.kind == AnimationEvent::kCamera) host.SetCameraMatrix(e.matrix);
            if (e.kind == AnimationEvent::kColour) host.SetBackground(e.colour);
            pending = true;
        }
        if (!pending) continue;
        pending = false;
        message = WriteAnimationFrame(host, writer, fileName, f, saveFrames, width, height, frame,
                                      "Error writing frame #");
        if (!message.empty()) break;
    }
    host.ShowRecording(false);
    if (message == kRecordCancelled)
        writer.Discard();
    else if (!writer.Close() && message.empty())
        message = "ERROR! Could not create avi file " + fileName;
    return message;
}

std::string CheckRecordOptions(const RecordOptions& o) {
    if (o.mode == 0) return o.frameRate == 0 ? "Frame rate must be > 10" : "";
    if (o.rotations == 0) return "Number of rotations must be > 0";
    if (o.frameRate < 10) return "Frame rate must be > 10";
    if (!(o.period > 0) || !std::isfinite(o.period)) return "Period must be > 0";
    // Counted in double: a frame count past the int range would not be counted at all.
    const double perRotation = static_cast<double>(o.frameRate) * o.period;
    // Fewer than ten frames a rotation would turn the eye further than the view is away.
    if (perRotation < 10) return "Period must be > 0";
    const double frames = perRotation * (o.mode == 4 ? 1.0 : static_cast<double>(o.rotations));
    if (frames > kMaxMovieFrames) return kTooManyFrames;
    return {};
}

int FramesPerRotation(const RecordOptions& o) {
    return static_cast<int>(static_cast<float>(o.frameRate) * o.period);
}

int ScriptedFrameCount(const RecordOptions& o) {
    return FramesPerRotation(o) * (o.mode == 4 ? 1 : static_cast<int>(o.rotations));
}

Quat QuatMultiply(const Quat& a, const Quat& b) {
    // The scene library's order: a first, then b.
    return Hamilton(b, a);
}

Quat StepRotation(const Quat& saved, double distance, double minimumDistance, int framesPerRotation,
                  float axisAngle) {
    const float angle = (90.0f - axisAngle) * 3.1415927f / 180.0f;
    const double d = distance;
    const float s = static_cast<float>((minimumDistance + d) * 10.0 / framesPerRotation);
    const double a = std::cos(angle) * s, b = -std::sin(angle) * s;
    const double c = std::sqrt(std::max(0.0, d * d - double(s) * s));
    const Vec up = Rotate(saved, {0, 1, 0}), right = Rotate(saved, {1, 0, 0}),
              forward = Rotate(saved, {0, 0, -1});
    Vec p1, p2;
    for (int i = 0; i < 3; ++i) {
        p1[i] = up[i] * b + right[i] * a - forward[i] * c;
        p2[i] = -forward[i] * d;
    }
    Vec axis = Cross(p2, p1);
    const double len = Length(axis);
    if (len == 0 || d == 0) return {0, 0, 0, 1};
    for (double& x : axis) x /= len;
    const double k =
        std::clamp(Length(Vec{p2[0] - p1[0], p2[1] - p1[1], p2[2] - p1[2]}) / (2 * d), -1.0, 1.0);
    const double half = static_cast<float>(std::asin(k)) / 2;
    return {axis[0] * std::sin(half), axis[1] * std::sin(half), axis[2] * std::sin(half), std::cos(half)};
}

std::string RecordScripted(AnimationHost& host, MovieWriter& writer, const std::string& fileName,
                           const RecordOptions& o) {
    const int perRotation = FramesPerRotation(o);
    const int total = ScriptedFrameCount(o);
    if (perRotation <= 0) return "Period must be > 0";
    int width = 0, height = 0;
    std::string message = OpenMovie(host, writer, fileName, o.frameRate, width, height);
    if (!message.empty()) return message;
    host.ShowRecording(true);
    const bool noRotation = o.mode == 4;
    const Quat saved = host.Rotation();
    Quat current = saved;
    const Quat step =
        noRotation ? Quat{0, 0, 0, 1}
                   : StepRotation(saved, host.Distance(), host.MinimumDistance(), perRotation, o.axisAngle);
    const float slicesPerFrame = static_cast<float>(host.SliceCount()) / perRotation;
    std::vector<std::uint8_t> frame;
    int counter = 0;
    for (int f = 0; f < total; ++f) {
        if (host.Progress(std::clamp(static_cast<int>(double(f) / total * 100), 0, 100))) {
            message = kRecordCancelled;
            break;
        }
        if (o.effect != 0 && f % perRotation == 0) {
            host.StepSlices(-1, false);
            counter = 0;
        }
        if (o.effect != 0) host.StepSlices(static_cast<int>(counter++ * slicesPerFrame), o.effect == 1);
        if (!noRotation) {
            current = QuatMultiply(current, step);
            host.SetRotation(current);
        }
        message = WriteAnimationFrame(host, writer, fileName, f, o.saveFrames, width, height, frame,
                                      "Error getting screen image on frame #");
        if (!message.empty()) break;
    }
    if (o.effect != 0) host.StepSlices(-2, false);
    if (!noRotation) host.SetRotation(saved);
    host.ShowRecording(false);
    // The movie written so far is kept after an error; a cancelled one leaves no file.
    if (message == kRecordCancelled)
        writer.Discard();
    else if (!writer.Close() && message.empty())
        message = FrameMessage("Error writing frame #", total - 1, fileName);
    return message;
}

}  // namespace zun
