// Reads a text data document, runs the default computation, writes the result as a text data
// document and prints the time and the voxels per second of each step.
//
//   bench_pipeline [--size N] [--truth truth.txt] [input.txt [output.txt]]
//
// Without an input it makes an N^3 three-material phantom (default 128) with
// examples/make_phantom.py and compares the recovered volume fractions with the phantom's truth.

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "document/docclasses.h"
#include "document/textdatafile.h"
#include "document/zundoc.h"
#include "platform/mainframe.h"
#include "platform/prompt.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Step {
    std::string text;
    Clock::time_point start;
    double seconds = 0;
};

int Fail(const std::string& text) {
    std::fprintf(stderr, "bench_pipeline: %s\n", text.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    int size = 128;
    std::string input, output, truth;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--size" && i + 1 < argc) {
            size = std::atoi(argv[++i]);
        } else if (a == "--truth" && i + 1 < argc) {
            truth = argv[++i];
        } else if (input.empty()) {
            input = a;
        } else {
            output = a;
        }
    }
    namespace fs = std::filesystem;
    const fs::path work = fs::temp_directory_path() / ("zun_pipeline_" + std::to_string(::getpid()));
    fs::create_directories(work);
    if (input.empty()) {
        if (size < 4) return Fail("--size must be at least 4");
        input = (work / "phantom.txt").string();
        truth = (work / "truth.txt").string();
        std::string cmd = std::string(ZUN_PYTHON) + " " + ZUN_SOURCE_DIR +
                          "/examples/make_phantom.py --size " + std::to_string(size) + " --out '" + input +
                          "' --truth '" + truth + "'";
        std::printf("making a %d^3 phantom...\n", size);
        std::fflush(stdout);
        if (std::system(cmd.c_str()) != 0) return Fail("the phantom generator failed");
    }
    // Without an output path the result is written (its time counts) into the scratch folder.
    const bool keepOutput = !output.empty();
    if (!keepOutput) output = (work / "result.txt").string();

    zun::RegisterDocumentClasses();
    zun::HeadlessPrompt prompt;
    zun::QueuedMainFrameChannel frame;
    zun::CZunDoc doc(zun::DocServices{&prompt, nullptr, &frame});
    std::vector<Step> steps;
    bool ended = false;
    frame.SetHandler([&](const zun::FrameMessage& m) {
        const auto now = Clock::now();
        if (m.kind == zun::FrameMsg::SetModelState && m.value == zun::kRunning && m.value2) {
            if (!steps.empty() && steps.back().seconds == 0)
                steps.back().seconds = std::chrono::duration<double>(now - steps.back().start).count();
            steps.push_back({m.text, now, 0});
        }
        if (m.kind == zun::FrameMsg::ComputationEnded) {
            if (!steps.empty() && steps.back().seconds == 0)
                steps.back().seconds = std::chrono::duration<double>(now - steps.back().start).count();
            ended = true;
        }
        doc.HandleFrameMessage(m);
    });
    doc.OnNewDocument();

    auto t0 = Clock::now();
    if (!doc.ImportTextDocument(input))
        return Fail(prompt.Requests().empty() ? "cannot read " + input : prompt.Requests().back().text);
    const double readSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const double voxels = static_cast<double>(doc.GetSample().GetNumVoxels());
    const auto& d = doc.GetSample().GetDims();
    std::printf("document   %s: %d x %d x %d voxels, %d channels, read in %.3f s\n", input.c_str(), d[0],
                d[1], d[2], doc.GetSample().GetChanCount(), readSeconds);

    t0 = Clock::now();
    int r = doc.OnStartComputation();
    if (r != 0) return Fail("the computation did not start (" + std::to_string(r) + ")");
    while (!ended) frame.WaitAndPump(2);
    const double runSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    for (const Step& s : steps)
        std::printf("step       %-60s %8.3f s %14.0f voxels/s\n", s.text.c_str(), s.seconds,
                    s.seconds > 0 ? voxels / s.seconds : 0.0);
    std::printf("computation %s in %.3f s, %.0f voxels/s\n", doc.GetModel().GetStateText().c_str(),
                runSeconds, voxels / runSeconds);

    t0 = Clock::now();
    if (!doc.ExportTextDocument(output)) return Fail("cannot write " + output);
    std::printf("result     %s written in %.3f s\n", output.c_str(),
                std::chrono::duration<double>(Clock::now() - t0).count());

    int status = doc.GetModel().GetState() == zun::kCompleted ? 0 : 2;
    if (!truth.empty()) {
        zun::DataDocument want = zun::ReadTextDataFile(truth);
        double sum = 0, worst = 0;
        std::size_t n = 0;
        for (std::size_t c = 0; c < want.channels.size() && want.channels[c].kind == 0; ++c) {
            const zun::imtype* got = doc.GetSample().GetChan(static_cast<int>(c))->Data();
            for (std::size_t v = 0; v < want.channels[c].words.size(); ++v, ++n) {
                const double e =
                    std::abs(double(got[v] & 0x3FFF) - double(want.channels[c].words[v])) / 16383.0;
                sum += e;
                worst = std::max(worst, e);
            }
        }
        std::printf("fractions  mean error %.5f, largest %.5f against %s\n", n ? sum / n : 0.0, worst,
                    truth.c_str());
    }
    std::error_code ec;
    fs::remove_all(work, ec);
    if (!keepOutput) std::printf("(the result was not kept: give an output path to keep it)\n");
    return status;
}
