// One repaint of a histogram plot of 16384 bins in bar style (32,768 outline points) into an
// off-screen image of window size, as the histogram window draws it. Usage: bench_plot_paint [reps]

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "plot/ui/plotwidget.h"
#include "plot/ui/qpaintercanvas.h"

using namespace zun;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int reps = argc > 1 ? std::stoi(argv[1]) : 20;

    PlotWidget plot;
    Graph& g = plot.GetGraph();
    constexpr int kBins = 16384;
    std::vector<double> x, y;
    std::uint32_t state = 1;
    double prev = 0;
    x.push_back(0);
    for (int i = 0; i < kBins; ++i) {
        state = state * 1664525u + 1013904223u;
        const double v =
            std::exp(-((i - 8000.0) * (i - 8000.0)) / 2e7) * (0.9 + 0.2 * (state >> 8) / 16777216.0);
        if (i == 0) {
            y.push_back(v);
        } else {
            x.push_back(i / double(kBins));
            y.push_back(prev);
            x.push_back(i / double(kBins));
            y.push_back(v);
        }
        prev = v;
    }
    x.push_back(1.0);
    y.push_back(prev);
    g.plot.ClearYData();
    g.xAxis.autoscale = g.yAxis.autoscale = true;
    g.plot.SetXData(&x);
    g.plot.AddYData(&y, 0xFF0000, nullptr, "Norm Frequency");

    QImage image(760, 400, QImage::Format_RGB32);
    double best = 1e30;
    for (int r = 0; r < reps; ++r) {
        const auto t0 = std::chrono::steady_clock::now();
        {
            QPainter painter(&image);
            QPainterCanvas canvas(painter, plot.palette());
            plot.Control().DrawBorder(&canvas, {0, 0, image.width(), image.height()});
        }
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    std::printf("histogram repaint, %zu outline points, 760x400: best %.2f ms of %d\n", x.size(), best * 1e3,
                reps);
    return 0;
}
