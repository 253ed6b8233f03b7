// Time from a change hint to the first frame of the 3-D view, split into the display-volume
// fill (with the scene rebuild), the texture upload and the draw. Needs an X display (run it
// under xvfb-run -a).
//
//   bench_view3d_latency [--size N]

#include <QApplication>
#include <QElapsedTimer>

#include <osg/Notify>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "document/docclasses.h"
#include "document/zundoc.h"
#include "platform/prompt.h"
#include "view3d/ui/zunview.h"

namespace {
double Seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}
}  // namespace

int main(int argc, char** argv) {
    int n = 300;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--size") n = std::atoi(argv[i + 1]);
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "bench_view3d_latency: no X display (run under xvfb-run -a)\n");
        return 77;
    }
    QApplication app(argc, argv);
    osg::setNotifyLevel(osg::FATAL);
    zun::RegisterDocumentClasses();
    zun::HeadlessPrompt prompt;
    zun::CZunDoc doc(zun::DocServices{&prompt, nullptr, nullptr});
    doc.OnNewDocument();
    for (int c = 1; c < 5; ++c) doc.InsertChannel(0, c, "Material " + std::to_string(c));
    if (doc.GetSample().Resize(zun::Dims{n, n, n}) < 0) {
        std::fprintf(stderr, "no memory for the sample\n");
        return 1;
    }
    zun::ZunImage& s = doc.GetSample();
    const std::size_t count = static_cast<std::size_t>(n) * n * n;
    for (int c = 1; c < s.GetChanCount(); ++c) {
        zun::imtype* d = s.GetChan(c)->Data();
        for (std::size_t i = 0; i < count; ++i) d[i] = static_cast<zun::imtype>((i * (c + 1) * 7) % 16384);
    }
    zun::CZunView view(&doc);
    view.resize(700, 700);
    view.show();
    QElapsedTimer wait;
    wait.start();
    while (!view.GetVolumeLayer() && wait.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    view.grabFramebuffer();
    view.grabFramebuffer();

    std::printf("change hint to first frame, %d^3 sample, %d displayed channels, 700 x 700 view\n", n,
                s.GetChanCount() - 1);
    std::printf("%6s %10s %10s %10s %10s\n", "hint", "fill s", "upload s", "draw s", "total s");
    for (unsigned hint : {2u, 16u}) {
        auto t0 = std::chrono::steady_clock::now();
        view.ApplyUpdateHints(hint);  // resize, fill and scene rebuild, as the update thread has it run
        const double fill = Seconds(t0);
        t0 = std::chrono::steady_clock::now();
        view.grabFramebuffer();  // first frame: texture upload and draw
        const double first = Seconds(t0);
        t0 = std::chrono::steady_clock::now();
        view.grabFramebuffer();  // the same frame again: draw only
        const double draw = Seconds(t0);
        std::printf("%6u %10.3f %10.3f %10.3f %10.3f\n", hint, fill, std::max(0.0, first - draw), draw,
                    fill + first);
    }
    return 0;
}
