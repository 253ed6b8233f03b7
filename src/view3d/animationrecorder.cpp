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

}  // namespace

std::string CheckRecordOptions(const RecordOptions& o) {
    if (o.mode == 0) return o.frameRate == 0 ? "Frame rate must be > 10" : "";
    if (o.rotations == 0) return "Number of rotations must be > 0";
    if (o.frameRate < 10) return "Frame rate must be > 10";
    if (!(o.period > 0)) return "Period must be > 0";
    // Fewer than ten frames a rotation would turn the eye further than the view is away.
    if (FramesPerRotation(o) < 10) return "Period must be > 0";
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
    int vw = 0, vh = 0;
    host.ViewportSize(vw, vh);
    const int width = RoundUpToMultipleOf4(vw), height = RoundUpToMultipleOf4(vh);
    int code = 0;
    switch (writer.Open(
        fileName, MovieFormat{width, height, static_cast<int>(o.frameRate), MovieCodec::kMsVideo1}, code)) {
        case MovieError::kNone:
            break;
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
    host.ShowRecording(true);
    const bool noRotation = o.mode == 4;
    const Quat saved = host.Rotation();
    Quat current = saved;
    const Quat step =
        noRotation ? Quat{0, 0, 0, 1}
                   : StepRotation(saved, host.Distance(), host.MinimumDistance(), perRotation, o.axisAngle);
    const float slicesPerFrame = static_cast<float>(host.SliceCount()) / perRotation;
    const std::string baseName = BaseNameOf(fileName);
    std::string message;
    std::vector<std::uint8_t> frame;
    int counter = 0;
    for (int f = 0; f < total; ++f) {
        if (host.Progress(std::clamp(static_cast<int>(double(f) / total * 100), 0, 100))) {
            message = "Record Animation cancelled";
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
        FrameImage image;
        if (!host.Capture(0, image)) {
            message = FrameMessage("Error getting screen image on frame #", f, fileName);
            break;
        }
        FitFrame(image.data, image.width, image.height, image.stride, width, height, host.Background(),
                 frame);
        if (!writer.WriteFrame(f, frame.data())) {
            message = FrameMessage("Error writing frame #", f, fileName);
            break;
        }
        if (o.saveFrames) {
            if (!host.Capture(1, image)) {
                message = FrameMessage("Error getting screen image on frame #", f, fileName);
                break;
            }
            const std::uint32_t bg = host.Background();
            FitFrame(image.data, image.width, image.height, image.stride, width, height,
                     ((bg & 0xFF) << 16) | (bg & 0xFF00) | ((bg >> 16) & 0xFF), frame);
            const std::string jpeg = FrameFileName(baseName, f);
            if (!host.WriteJpeg(FrameImage{frame.data(), width, height, width * 3}, jpeg)) {
                message = FrameMessage("Error writing frame #", f, jpeg);
                break;
            }
        }
    }
    if (o.effect != 0) host.StepSlices(-2, false);
    if (!noRotation) host.SetRotation(saved);
    host.ShowRecording(false);
    // The movie written so far is kept, also after an error or a cancel.
    if (!writer.Close() && message.empty())
        message = FrameMessage("Error writing frame #", total - 1, fileName);
    return message;
}

}  // namespace zun
