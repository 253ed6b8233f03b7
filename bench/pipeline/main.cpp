// Reads a text data document, runs the default computation, writes the result as a text data
// document and prints the time and the voxels per second of each step.
//
//   bench_pipeline [--size N] [--truth truth.txt] [--io-only] [input.txt [output.txt]]
//
// --io-only reads and writes the document without computing, and prints the peak resident memory
// against the size of the voxel words it holds. A binary data file (told by its header) is read as
// one, and with --io-only written as one.
//
// Without an input it makes an N^3 three-material phantom (default 128) with
// examples/make_phantom.py and compares the recovered volume fractions with the phantom's truth.

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "document/binarydatafile.h"
#include "document/docclasses.h"
#include "document/textdatafile.h"
#include "document/zundoc.h"
#include "platform/mainframe.h"
#include "platform/prompt.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr const char* kUsage =
    "usage: bench_pipeline [--size N] [--truth truth.txt] [--io-only] [input.txt [output.txt]]\n"
    "  Reads a text data document, runs the default computation and writes the result as a text\n"
    "  data document (into a scratch folder that is removed unless output.txt is given), printing\n"
    "  the time and voxels per second of each step.\n"
    "  Without an input it computes an N^3 three-material phantom (default 128) and compares the\n"
    "  recovered volume fractions with the phantom's truth (or with --truth for a given input).\n"
    "  --io-only reads and writes the document without computing and prints the peak resident\n"
    "  memory against the size of the voxel words. A binary data file (told by its header) is\n"
    "  read as one, and with --io-only written as one.\n";

struct Options {
    int size = 128;
    std::string input, output, truth;
    bool ioOnly = false;
};

struct Step {
    std::string text;
    Clock::time_point start;
    double seconds = 0;
};

int Fail(const std::string& text) {
    std::fprintf(stderr, "bench_pipeline: %s\n", text.c_str());
    return 1;
}

int UsageError(const std::string& text) {
    std::fprintf(stderr, "bench_pipeline: %s\n%s", text.c_str(), kUsage);
    return 2;
}

// The options, or the exit status when the program ends here (0 for --help).
std::optional<int> ParseOptions(int argc, char** argv, Options& o) {
    std::vector<std::string> positional;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (a == "--io-only") {
            o.ioOnly = true;
            continue;
        }
        if (a == "--size" || a == "--truth") {
            if (i + 1 >= argc) return UsageError(a + " needs a value");
            const std::string v = argv[++i];
            if (a == "--truth") {
                o.truth = v;
                continue;
            }
            char* end = nullptr;
            errno = 0;
            const long n = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || errno != 0 || n < 4 || n > 2048)
                return UsageError("--size must be a whole number from 4 to 2048, not \"" + v + "\"");
            o.size = static_cast<int>(n);
        } else if (a.size() > 1 && a[0] == '-') {
            return UsageError("unknown option " + a);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() > 2) return UsageError("too many arguments (" + positional[2] + ")");
    if (!positional.empty()) o.input = positional[0];
    if (positional.size() > 1) o.output = positional[1];
    return std::nullopt;
}

// Why the output cannot be written, or an empty text.
std::string CheckOutput(const std::string& input, const std::string& output) {
    std::error_code ec;
    if (fs::exists(input, ec) && fs::exists(output, ec) && fs::equivalent(input, output, ec))
        return "the output " + output + " is the input: the document would be overwritten";
    if (fs::is_directory(output, ec)) return "the output " + output + " is a folder";
    fs::path folder = fs::path(output).parent_path();
    if (folder.empty()) folder = ".";
    if (!fs::is_directory(folder, ec)) return "cannot write " + output + ": no folder " + folder.string();
    if (::access(folder.c_str(), W_OK) != 0)
        return "cannot write " + output + ": " + folder.string() + ": " + std::strerror(errno);
    return {};
}

bool IsBinaryInput(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    const bool binary = f && zun::IsBinaryDataFile(f) == 1;
    if (f) std::fclose(f);
    return binary;
}

// The scratch folder goes on every way out of the program.
struct ScratchFolder {
    fs::path path;
    ~ScratchFolder() {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
};

void PrintMessages(zun::HeadlessPrompt& prompt) {
    for (const auto& r : prompt.Requests()) std::printf("message    %s\n", r.text.c_str());
    prompt.Clear();
    std::fflush(stdout);
}

void PrintLogProblems(const std::string& log) {
    std::istringstream in(log);
    std::string line;
    while (std::getline(in, line)) {
        std::string lower = line;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower.find("warning") != std::string::npos || lower.find("error") != std::string::npos)
            std::printf("log        %s\n", line.c_str());
    }
}

void CompareWithTruth(const zun::CZunDoc& doc, const std::string& truth) {
    const zun::DataDocument want = zun::ReadTextDataFile(truth);
    double sum = 0, worst = 0;
    std::size_t n = 0;
    for (std::size_t c = 0; c < want.channels.size() && want.channels[c].kind == 0; ++c) {
        if (static_cast<int>(c) >= doc.GetSample().GetChanCount()) break;
        const zun::imtype* got = doc.GetSample().GetChan(static_cast<int>(c))->Data();
        if (want.channels[c].words.size() != doc.GetSample().GetNumVoxels()) break;
        for (std::size_t v = 0; v < want.channels[c].words.size(); ++v, ++n) {
            const double e = std::abs(double(got[v] & 0x3FFF) - double(want.channels[c].words[v])) / 16383.0;
            sum += e;
            worst = std::max(worst, e);
        }
    }
    std::printf("fractions  mean error %.5f, largest %.5f against %s\n", n ? sum / n : 0.0, worst,
                truth.c_str());
}

// The process's resident memory ("VmRSS:") or its peak so far ("VmHWM:"), in bytes.
double ResidentBytes(const char* key) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    char line[256];
    double kb = 0;
    while (f && std::fgets(line, sizeof line, f))
        if (std::strncmp(line, key, std::strlen(key)) == 0) kb = std::atof(line + std::strlen(key));
    if (f) std::fclose(f);
    return kb * 1024;
}

// Set by SIGINT and SIGTERM: the run is stopped and the program leaves through its normal path,
// which removes the scratch folder.
volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int) {
    gInterrupted = 1;
}

int Run(Options& o, ScratchFolder& scratch) {
    const bool keepOutput = !o.output.empty();
    const bool makePhantom = o.input.empty();
    if (makePhantom) {
        o.input = (scratch.path / "phantom.txt").string();
        if (o.truth.empty()) o.truth = (scratch.path / "truth.txt").string();
    }
    // Without an output path the result is written (its time counts) into the scratch folder.
    if (!keepOutput) o.output = (scratch.path / "result.txt").string();
    if (keepOutput)
        if (std::string why = CheckOutput(o.input, o.output); !why.empty()) return Fail(why);
    if (makePhantom) {
        const std::string cmd = std::string(ZUN_PYTHON) + " " + ZUN_SOURCE_DIR +
                                "/examples/make_phantom.py --size " + std::to_string(o.size) + " --out '" +
                                o.input + "' --truth '" + o.truth + "'";
        std::printf("making a %d^3 phantom...\n", o.size);
        std::fflush(stdout);
        if (std::system(cmd.c_str()) != 0) return Fail("the phantom generator failed");
    }

    zun::RegisterDocumentClasses();
    zun::HeadlessPrompt prompt;
    zun::QueuedMainFrameChannel frame;
    zun::CZunDoc doc(zun::DocServices{&prompt, nullptr, &frame});
    std::vector<Step> steps;
    bool ended = false;
    std::int64_t progressRange = 0;
    int progressShown = -1;
    frame.SetHandler([&](const zun::FrameMessage& m) {
        const auto now = Clock::now();
        auto closeStep = [&] {
            if (!steps.empty() && steps.back().seconds == 0)
                steps.back().seconds = std::chrono::duration<double>(now - steps.back().start).count();
        };
        if (m.kind == zun::FrameMsg::SetModelState && m.value == zun::kRunning && m.value2) {
            closeStep();
            steps.push_back({m.text, now, 0});
            std::printf("running    %s\n", m.text.c_str());
            std::fflush(stdout);
            progressShown = -1;
        } else if (m.kind == zun::FrameMsg::StatusProgress) {
            if (m.value == 1) progressRange = m.value2;
            if (m.value == 2 && progressRange > 0) {
                const int tenth = static_cast<int>(10 * m.value2 / progressRange);
                if (tenth > progressShown) {
                    progressShown = tenth;
                    std::printf("progress   %d %%\n", 10 * tenth);
                    std::fflush(stdout);
                }
            }
        } else if (m.kind == zun::FrameMsg::ComputationEnded) {
            closeStep();
            ended = true;
        }
        doc.HandleFrameMessage(m);
    });
    doc.OnNewDocument();

    const bool binary = IsBinaryInput(o.input);
    auto t0 = Clock::now();
    if (!(binary ? doc.ImportBinaryDataFile(o.input) : doc.ImportTextDocument(o.input)))
        return Fail(prompt.Requests().empty() ? "cannot read " + o.input : prompt.Requests().back().text);
    PrintMessages(prompt);
    const double readSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    const double voxels = static_cast<double>(doc.GetSample().GetNumVoxels());
    const auto& d = doc.GetSample().GetDims();
    std::printf("document   %s: %d x %d x %d voxels, %d channels, read in %.3f s\n", o.input.c_str(), d[0],
                d[1], d[2], doc.GetSample().GetChanCount(), readSeconds);
    std::fflush(stdout);

    if (o.ioOnly) {
        const double held = ResidentBytes("VmRSS:");
        const double readPeak = ResidentBytes("VmHWM:");
        t0 = Clock::now();
        if (!(binary ? doc.ExportBinaryDataFile(o.output) : doc.ExportTextDocument(o.output)))
            return Fail(prompt.Requests().empty() ? "cannot write " + o.output
                                                  : prompt.Requests().back().text);
        std::printf("result     %s written in %.3f s\n", o.output.c_str(),
                    std::chrono::duration<double>(Clock::now() - t0).count());
        const double raw = voxels * doc.GetSample().GetChanCount() * sizeof(std::uint16_t);
        const double peak = ResidentBytes("VmHWM:");
        std::printf(
            "memory     voxel words %.1f MiB, resident after reading %.1f MiB, peak while reading %.1f MiB "
            "(%.3f x the words), peak %.1f MiB (%.3f x the words)\n",
            raw / 1048576, held / 1048576, readPeak / 1048576, readPeak / raw, peak / 1048576, peak / raw);
        return 0;
    }

    t0 = Clock::now();
    const int r = doc.OnStartComputation();
    if (r != 0) {
        PrintMessages(prompt);
        return Fail("the computation did not start (" + std::to_string(r) + ")");
    }
    bool stopping = false;
    while (!ended) {
        frame.WaitAndPump(2);
        if (gInterrupted && !stopping) {
            stopping = true;
            doc.OnStopComputation();
        }
    }
    if (gInterrupted) return Fail("interrupted");
    const double runSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    for (const Step& s : steps)
        std::printf("step       %-60s %8.3f s %14.0f voxels/s\n", s.text.c_str(), s.seconds,
                    s.seconds > 0 ? voxels / s.seconds : 0.0);
    std::printf("computation %s in %.3f s, %.0f voxels/s\n", doc.GetModel().GetStateText().c_str(),
                runSeconds, voxels / runSeconds);
    PrintLogProblems(doc.Logger().Text());
    PrintMessages(prompt);

    t0 = Clock::now();
    if (!doc.ExportTextDocument(o.output))
        return Fail(prompt.Requests().empty() ? "cannot write " + o.output : prompt.Requests().back().text);
    std::printf("result     %s written in %.3f s\n", o.output.c_str(),
                std::chrono::duration<double>(Clock::now() - t0).count());

    const int status = doc.GetModel().GetState() == zun::kCompleted ? 0 : 2;
    if (!o.truth.empty()) CompareWithTruth(doc, o.truth);
    if (!keepOutput) std::printf("(the result was not kept: give an output path to keep it)\n");
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (std::optional<int> end = ParseOptions(argc, argv, options)) return *end;
    ScratchFolder scratch;
    std::error_code ec;
    scratch.path = fs::temp_directory_path(ec) / ("zun_pipeline_" + std::to_string(::getpid()));
    if (ec || !fs::create_directories(scratch.path, ec) || ec)
        return Fail("cannot make the scratch folder " + scratch.path.string() + ": " + ec.message());
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    try {
        return Run(options, scratch);
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}
