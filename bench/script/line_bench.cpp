// One console line of many small operations: `a+a+...+a` over a small channel, as a user pastes
// it. Prints the wall time and the processor time of all the program's threads for each run; a
// team that spins while it waits shows as processor time far above the wall time.
//
//   bench_script_line [terms=1000] [edge=24] [threads=usable processors] [repeats=3] [term=a] [joint=+]
//
// Another term and joint time other lines of the same shape: `a+=c` joined by `,` updates the
// channel in place, with no temporaries.

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "benchdocument.h"
#include "foundation/threadcount.h"
#include "foundation/threadwait.h"
#include "script/editdata.h"

namespace {

using Clock = std::chrono::steady_clock;

double ProcessorSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

double LoadAverage() {
    double load[1] = {-1.0};
    return getloadavg(load, 1) == 1 ? load[0] : -1.0;
}

}  // namespace

int main(int argc, char** argv) {
    // As the program runs its teams.
    zun::WaitPassivelyBetweenRegions(argv);
    const int terms = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
    const int edge = argc > 2 ? std::max(1, std::atoi(argv[2])) : 24;
    const int threads = argc > 3 ? std::atoi(argv[3]) : zun::TeamThreads();
    const int repeats = argc > 4 ? std::max(1, std::atoi(argv[4])) : 3;
    const std::string term = argc > 5 ? argv[5] : "a";
    const std::string joint = argc > 6 ? argv[6] : "+";
    zun::script::bench::BenchDocument doc(edge);
    std::string line = term;
    line.reserve(static_cast<size_t>(terms) * (term.size() + joint.size()));
    for (int k = 1; k < terms; ++k) line += joint + term;
    zun::script::EditDataOptions options;
    options.threads = threads;
    std::printf("%s%s%s%s...%s%s of %d terms at %d^3 (%d threads), load average %.1f\n", term.c_str(),
                joint.c_str(), term.c_str(), joint.c_str(), joint.c_str(), term.c_str(), terms, edge, threads,
                LoadAverage());
    std::printf("%6s %12s %16s %8s\n", "run", "wall (s)", "processor (s)", "ratio");
    double best = 1e30, bestProcessor = 0.0;
    for (int r = 0; r < repeats; ++r) {
        const double p0 = ProcessorSeconds();
        const auto t0 = Clock::now();
        const std::string out = zun::script::ExecuteLine(doc, line, options);
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        const double processor = ProcessorSeconds() - p0;
        if (r == 0) std::printf("result: %.60s\n", out.c_str() + (out.empty() ? 0 : 1));
        std::printf("%6d %12.4f %16.4f %8.2f\n", r + 1, wall, processor, processor / wall);
        if (wall < best) best = wall, bestProcessor = processor;
    }
    std::printf("best: %.4f s wall, %.4f s processor\n", best, bestProcessor);
    return 0;
}
