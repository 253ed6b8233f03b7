#include "view3d/movierecorder.h"

#include <charconv>
#include <cstdio>

#include "view3d/recordingtexts.h"

namespace zun {

std::string CheckFramesPerSecond(const std::string& text, int& value) {
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    int v = 0;
    if (first != std::string::npos) {
        const char* b = text.data() + first;
        const char* e = text.data() + last + 1;
        const auto r = std::from_chars(b, e, v);
        if (r.ec == std::errc() && r.ptr == e && v > 0) {
            value = v;
            return {};
        }
    }
    return recmsg::kFpsNotPositive;
}

namespace {

std::string WithCode(const char* format, int code) {
    char text[128];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(code));
    return text;
}

}  // namespace

MovieRecorder::MovieRecorder(std::unique_ptr<MovieWriter> writer) : writer_(std::move(writer)) {}

int MovieRecorder::Open(const RecordingChoice& choice, int viewportWidth, int viewportHeight,
                        std::string& message) {
    Close();
    framesPerSecond = choice.framesPerSecond;
    saveFrames = choice.saveFrames;
    fileName = choice.fileName;
    baseName = BaseNameOf(fileName);
    width = RoundUpToMultipleOf4(viewportWidth);
    height = RoundUpToMultipleOf4(viewportHeight);
    int code = 0;
    switch (writer_->Open(fileName, MovieFormat{width, height, framesPerSecond, choice.codec}, code)) {
        case MovieError::kNone:
            active = true;
            frameIndex = 0;
            return 0;
        case MovieError::kCodec:
            message = WithCode(recmsg::kErrorCreatingStream, code);
            return 3;
        case MovieError::kFormat:
            message = WithCode(recmsg::kErrorSettingFormat, code);
            return 3;
        default:
            message = recmsg::kCouldNotCreate + fileName;
            return 3;
    }
}

FrameImage MovieRecorder::Fit(const FrameImage& bgr, std::uint32_t colour) {
    FitFrame(bgr.data, bgr.width, bgr.height, bgr.stride, width, height, colour, frame_);
    return FrameImage{frame_.data(), width, height, width * 3};
}

bool MovieRecorder::WriteFrame(const FrameImage& bgr, std::uint32_t colour) {
    if (!active || !bgr.data) return false;
    Fit(bgr, colour);
    return WriteFitted();
}

bool MovieRecorder::WriteFitted() {
    if (!active || frame_.size() != static_cast<std::size_t>(width) * height * 3) return false;
    if (!writer_->WriteFrame(frameIndex, frame_.data())) return false;
    ++frameIndex;
    return true;
}

bool MovieRecorder::Close() {
    const bool ok = writer_->Close();
    active = false;
    frameIndex = 0;
    framesPerSecond = 25;
    saveFrames = false;
    return ok;
}

ComputationRecording::ComputationRecording(RecordingHost& host, std::unique_ptr<MovieWriter> writer)
    : host_(host), recorder_(std::move(writer)) {}

void ComputationRecording::OnSaveMovie() {
    recorder_.requested = !recorder_.requested;
    if (!host_.ComputationRunning()) return;
    if (recorder_.requested && !recorder_.active)
        Start();
    else if (recorder_.active)
        Stop();
}

bool ComputationRecording::MenuChecked() const {
    return !host_.AnimationRecorderBusy() && recorder_.requested;
}

bool ComputationRecording::MenuEnabled() const {
    // Also while the computation runs: that is when the command starts and stops the movie.
    return !host_.AnimationRecorderBusy();
}

int ComputationRecording::Start() {
    cancelledByUser = false;
    if (host_.AnimationRecorderBusy()) return 2;
    if (!recorder_.requested || recorder_.active) return 0;
    RecordingChoice choice;
    choice.framesPerSecond = recorder_.framesPerSecond;
    choice.saveFrames = recorder_.saveFrames;
    choice.fileName = lastFolder;
    int r = host_.ChooseRecording(choice);
    cancelledByUser = r == 1;
    if (r == 0) {
        lastFolder = FolderOf(choice.fileName);
        int w = 0, h = 0;
        host_.ViewportSize(w, h);
        std::string message;
        r = recorder_.Open(choice, w, h, message);
        if (r != 0) host_.ShowMessage(message);
    }
    if (r != 0) {
        if (host_.ComputationRunning()) {
            recorder_.requested = false;
            recorder_.Close();
        }
        return 1;
    }
    host_.AdjustSyncUpdateCount(+1);
    host_.ShowRecording(true);
    return 0;
}

void ComputationRecording::Stop() {
    if (!recorder_.active) return;
    const bool closed = recorder_.Close();
    host_.AdjustSyncUpdateCount(-1);
    host_.ShowRecording(false);
    // The last frames or the file's index did not reach the disk.
    if (!closed) EndAfterError(recmsg::kFrame);
}

void ComputationRecording::WriteRecordingFrame() {
    if (!recorder_.active) return;
    FrameImage image;
    // One drawing serves the frame file and the movie, so both hold the same picture.
    if (!host_.Capture(0, image)) return EndAfterError(recmsg::kWait);
    const FrameImage fitted = recorder_.Fit(image, host_.Background());
    if (recorder_.saveFrames &&
        !host_.WriteJpeg(fitted, FrameFileName(recorder_.baseName, recorder_.frameIndex)))
        return EndAfterError(recmsg::kFrame);
    if (!recorder_.WriteFitted()) EndAfterError(recmsg::kFrame);
}

void ComputationRecording::EndAfterError(const char* what) {
    if (recorder_.active) {
        recorder_.Close();
        host_.AdjustSyncUpdateCount(-1);
        host_.ShowRecording(false);
    }
    recorder_.requested = false;
    char head[512];
    std::snprintf(head, sizeof head, recmsg::kStoppedWith, host_.Title().c_str());
    host_.LogTimestamped(std::string(head) + what + recmsg::kErrorSuffix);
}

}  // namespace zun
