// Edit-data language over whole channels: prints wall times, peak extra memory, and numpy's
// time for the same expression in the same run.
//
//   bench_script [edge=256] [repeats=3] [threads=usable processors]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "benchdocument.h"
#include "foundation/threadcount.h"
#include "foundation/threadwait.h"
#include "script/editdata.h"
#include "script/voxel.h"

namespace {

using zun::script::bench::BenchDocument;
using Clock = std::chrono::steady_clock;

long ReadStatusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::string(key).size());
    return -1;
}

void ResetPeak() {
    std::ofstream out("/proc/self/clear_refs");
    out << "5";
}

struct Figure {
    double seconds;
    double extraMiB;
    std::string text;
};

int g_threads = 0;

Figure Time(BenchDocument& doc, const std::string& line, int repeats) {
    Figure f{1e30, 0.0, {}};
    for (int r = 0; r < repeats; ++r) {
        ResetPeak();
        const long before = ReadStatusKb("VmRSS:");
        const auto t0 = Clock::now();
        zun::script::EditDataOptions options;
        options.threads = g_threads;
        f.text = zun::script::ExecuteLine(doc, line, options);
        const double s = std::chrono::duration<double>(Clock::now() - t0).count();
        const long peak = ReadStatusKb("VmHWM:");
        f.seconds = std::min(f.seconds, s);
        f.extraMiB = std::max(f.extraMiB, (peak - before) / 1024.0);
    }
    return f;
}

// The same work written by hand: one thread, no language.
double HandLoop(BenchDocument& doc) {
    auto& a = doc.Words("a");
    const auto& b = doc.Words("b");
    const auto t0 = Clock::now();
    for (size_t i = 0; i < a.size(); ++i) {
        const float pb = zun::script::PhysOf(b[i], 10.0f, 20.0f);
        zun::script::PutClamped(&a[i], static_cast<float>(pb * 0.5 + 0.25), 0.0f, 16.0f);
    }
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double Numpy(int edge, const std::string& which) {
    const std::string script = std::string(ZUN_SOURCE_DIR) + "/bench/script/numpy_bench.py";
    // The machine's OpenBLAS tuning variables are not what a user's numpy would see.
    const std::string cmd = "env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE OPENBLAS_NUM_THREADS=1 " +
                            std::string(ZUN_PYTHON) + " " + script + " " + std::to_string(edge) + " " + which;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    double s = -1;
    if (std::fscanf(p, "%lf", &s) != 1) s = -1;
    pclose(p);
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    // As the program runs its teams.
    zun::WaitPassivelyBetweenRegions(argv);
    const int edge = argc > 1 ? std::atoi(argv[1]) : 256;
    const int repeats = argc > 2 ? std::atoi(argv[2]) : 3;
    g_threads = argc > 3 ? std::atoi(argv[3]) : zun::TeamThreads();
    BenchDocument doc(edge);
    std::printf("edit-data language at %d^3 (%d threads), best of %d\n", edge, g_threads, repeats);
    std::printf("%-46s %10s %12s %10s %8s\n", "case", "time (ms)", "extra (MiB)", "numpy (ms)", "ratio");
    struct Case {
        const char* line;
        const char* numpy;
    } cases[] = {
        {"a = b * 0.5 + 0.25", "affine"},
        {"a = max(b, c, 0.3)", "max"},
        {"a.raw = b.raw + 20000", "raw"},
        {"a = b > 15 ? b : c", "where"},
        {"a = rand(a*0+1)", nullptr},
        {"a = rand(b, c) * 0.5", nullptr},
        {"sumt(a)", "sumt"},
        {"maxt(a)", "maxt"},
        {"a[128][128][128]", nullptr},
        {"a", nullptr},
        // Lines over two million elements of ranges, whatever the edge.
        {"{1 .. 2000000} * 2 + rand({0, 1 .. 1999999})", nullptr},
        {"(1 .. 2000000)[0 .. 1999999] * 2", nullptr},
    };
    const double f64MiB = static_cast<double>(edge) * edge * edge * 8 / (1024.0 * 1024.0);
    const double channelMiB = f64MiB / 4;
    double randPeak = 0.0;
    for (const Case& c : cases) {
        std::string line = c.line;
        if (line == "a[128][128][128]") {
            const int m = edge / 2;
            line = "a[" + std::to_string(m) + "][" + std::to_string(m) + "][" + std::to_string(m) + "]";
        }
        const Figure f = Time(doc, line, repeats);
        if (line == "a = rand(a*0+1)") randPeak = f.extraMiB;
        const double np = c.numpy ? Numpy(edge, c.numpy) : -1;
        if (np > 0) {
            std::printf("%-46s %10.2f %12.1f %10.2f %8.2f\n", line.c_str(), f.seconds * 1e3, f.extraMiB,
                        np * 1e3, f.seconds / np);
        } else {
            std::printf("%-46s %10.3f %12.1f %10s %8s\n", line.c_str(), f.seconds * 1e3, f.extraMiB, "-",
                        "-");
        }
    }
    std::printf("one float64 temporary at this size: %.1f MiB\n", f64MiB);
    std::printf("a = rand(a*0+1): peak extra resident %.1f MiB against the channel's own %.1f MiB (%.1f%%)\n",
                randPeak, channelMiB, randPeak / channelMiB * 100.0);
    std::printf("hand loop for a = b * 0.5 + 0.25 (one thread): %.2f ms\n", HandLoop(doc) * 1e3);
    return 0;
}
