// Frames per second of a computation movie: reading a 644 x 484 frame back from the 3-D view,
// encoding it and writing it to the AVI file, for each codec. Needs an X display (run it under
// xvfb-run -a).
//
//   bench_recording [--frames N]

#include <QApplication>
#include <QElapsedTimer>

#include <osg/Notify>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "platform/prompt.h"
#include "view3d/movierecorder.h"
#include "view3d/ui/zunview.h"
#include "view3d/updatehints.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    int frames = 100;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--frames") frames = std::max(1, std::atoi(argv[i + 1]));
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "bench_recording: no X display (run under xvfb-run -a)\n");
        return 77;
    }
    QApplication app(argc, argv);
    osg::setNotifyLevel(osg::FATAL);
    zun::RegisterDocumentClasses();
    zun::HeadlessPrompt prompt;
    zun::CZunDoc doc(zun::DocServices{&prompt, nullptr, nullptr});
    doc.OnNewDocument();
    const int n = 128;
    if (doc.GetSample().Resize(zun::Dims{n, n, n}) < 0) return 1;
    zun::CZunView view(&doc);
    // A translucent noise volume makes the draw expensive; an empty one leaves the read-back.
    bool empty = false;
    view.fillDisplayVolume = [&empty](zun::DisplayVolume& vol, const zun::Dims&) {
        std::uint32_t* d = vol.Data();
        for (std::size_t i = 0; i < vol.GetNumVoxels(); ++i)
            d[i] = empty ? 0u : 0x20000000u | static_cast<std::uint32_t>((i * 2654435761u) & 0x00FFFFFFu);
        return 1;
    };
    // A 641 x 481 window records 644 x 484 frames.
    view.resize(641, 481);
    view.show();
    QElapsedTimer wait;
    wait.start();
    while (!view.GetVolumeLayer() && wait.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    view.grabFramebuffer();
    const osg::Viewport* vp = view.Viewer()->getCamera()->getViewport();

    char tmpl[] = "/tmp/zun_bench_recording_XXXXXX";
    const std::filesystem::path dir = mkdtemp(tmpl);
    std::printf("frames of %d x %d (viewport %d x %d), %d per codec\n",
                zun::RoundUpToMultipleOf4(int(vp->width())), zun::RoundUpToMultipleOf4(int(vp->height())),
                int(vp->width()), int(vp->height()), frames);
    std::printf("%-28s %10s %10s %10s %10s\n", "scene, codec", "capture ms", "write ms", "frames/s", "MB");
    for (int run = 0; run < 4; ++run) {
        const zun::MovieCodec codec = run % 2 ? zun::MovieCodec::kUncompressed : zun::MovieCodec::kMsVideo1;
        if (run == 2) {
            empty = true;
            view.OnUpdate(nullptr, zun::kUpdateData, nullptr);
            QElapsedTimer refill;
            refill.start();
            while (refill.elapsed() < 2000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        zun::MovieRecorder rec;
        zun::RecordingChoice choice;
        choice.fileName = (dir / "bench.avi").string();
        choice.codec = codec;
        std::string message;
        if (rec.Open(choice, int(vp->width()), int(vp->height()), message) != 0) {
            std::fprintf(stderr, "%s\n", message.c_str());
            return 1;
        }
        Clock::duration capture{}, write{};
        const auto t0 = Clock::now();
        for (int f = 0; f < frames; ++f) {
            // The camera turns a little each frame, as a running view changes.
            view.Manipulator()->setRotation(view.Manipulator()->getRotation() *
                                            osg::Quat(0.02, osg::Vec3d(0, 1, 0)));
            const auto a = Clock::now();
            osg::ref_ptr<osg::Image> img = view.CaptureFrame(0);
            const auto b = Clock::now();
            zun::FrameImage image{img->data(), img->s(), img->t(),
                                  static_cast<std::ptrdiff_t>(img->getRowStepInBytes())};
            if (!rec.WriteFrame(image, view.Settings().background)) {
                std::fprintf(stderr, "frame %d not written\n", f);
                return 1;
            }
            capture += b - a;
            write += Clock::now() - b;
        }
        rec.Close();  // the last frames may still be encoding
        const double total = Ms(Clock::now() - t0);
        const double mb = std::filesystem::file_size(choice.fileName) / 1e6;
        const std::string label = std::string(empty ? "empty, " : "volume, ") +
                                  (codec == zun::MovieCodec::kMsVideo1 ? "MS Video 1" : "uncompressed");
        std::printf("%-28s %10.2f %10.2f %10.1f %10.1f\n", label.c_str(), Ms(capture) / frames,
                    Ms(write) / frames, frames * 1000.0 / total, mb);
    }
    // The writer alone on a frame already read back (what a faster read-back would leave).
    for (zun::MovieCodec codec : {zun::MovieCodec::kMsVideo1, zun::MovieCodec::kUncompressed}) {
        auto writer = zun::MakeMovieWriter();
        const int w = 644, h = 484;
        std::vector<std::uint8_t> frame(static_cast<std::size_t>(w) * h * 3);
        for (std::size_t i = 0; i < frame.size(); ++i)
            frame[i] = static_cast<std::uint8_t>((i / 3 % w) * 255 / w);
        int code = 0;
        if (writer->Open((dir / "alone.avi").string(), zun::MovieFormat{w, h, 25, codec}, code) !=
            zun::MovieError::kNone)
            return 1;
        const auto t0 = Clock::now();
        for (int f = 0; f < frames; ++f) writer->WriteFrame(f, frame.data());
        writer->Close();
        const double ms = Ms(Clock::now() - t0) / frames;
        std::printf(
            "%-28s %10s %10.2f %10.1f\n",
            codec == zun::MovieCodec::kMsVideo1 ? "writer alone, MS Video 1" : "writer alone, uncompressed",
            "-", ms, 1000.0 / ms);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
