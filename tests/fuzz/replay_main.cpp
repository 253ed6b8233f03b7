// Runs a harness over files without a fuzzing engine: every file named, and every file in every
// folder named, once, in name order. Used to replay the seed corpora under the sanitizers.
//
// Like the fuzzing engine, the replay fails an input that makes the process hold more memory than
// -rss_limit_mb=N allows (default 512; 0 turns the limit off): an input that once exhausted memory
// must not do so again unnoticed. The limit counts what the process holds beyond its resident set
// before the first input (the program and the libraries it loads, which depend on how it was
// linked, not on the input). A watchdog stops the run while such an input is still growing, and
// the peak is checked after every input, so short-lived peaks are caught as well.

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) __attribute__((weak));

namespace {

// The resident set now, or at its peak, in MB (from /proc/self/status); 0 when unknown.
std::uint64_t ResidentMb(const char* field) {
    std::FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    unsigned long long kb = 0;
    const std::size_t n = std::strlen(field);
    while (std::fgets(line, sizeof line, f))
        if (std::strncmp(line, field, n) == 0 && std::sscanf(line + n, " %llu", &kb) == 1) break;
    std::fclose(f);
    return kb / 1024;
}

std::mutex g_currentMutex;
std::string g_current;  // the input being run, for the watchdog's report

[[noreturn]] void OverLimit(std::uint64_t mb, std::uint64_t base, std::uint64_t limit, const std::string& input) {
    std::fprintf(stderr,
                 "==%d== ERROR: out of memory: %s took the process to %llu MB, %llu MB beyond its own %llu MB "
                 "(limit %llu MB)\n",
                 static_cast<int>(::getpid()), input.c_str(), static_cast<unsigned long long>(mb),
                 static_cast<unsigned long long>(mb - base), static_cast<unsigned long long>(base),
                 static_cast<unsigned long long>(limit));
    std::fflush(stderr);
    std::_Exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    namespace fs = std::filesystem;
    std::uint64_t limitMb = 512;
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a.rfind("-rss_limit_mb=", 0) == 0) {
            limitMb = std::strtoull(a.c_str() + 14, nullptr, 10);
            continue;
        }
        const fs::path p = a;
        if (fs::is_directory(p)) {
            for (const auto& e : fs::directory_iterator(p))
                if (e.is_regular_file()) files.push_back(e.path());
        } else {
            files.push_back(p);
        }
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::fprintf(stderr, "no input files\n");
        return 2;
    }
    const std::uint64_t baseMb = ResidentMb("VmRSS:");
    std::atomic<bool> done{false};
    std::thread watchdog;
    if (limitMb > 0)
        watchdog = std::thread([&] {
            while (!done.load()) {
                const std::uint64_t mb = ResidentMb("VmRSS:");
                if (mb > baseMb + limitMb) {
                    std::lock_guard lock(g_currentMutex);
                    OverLimit(mb, baseMb, limitMb, g_current);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    for (const fs::path& f : files) {
        std::ifstream in(f, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", f.c_str());
            done = true;
            if (watchdog.joinable()) watchdog.join();
            return 2;
        }
        const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        {
            std::lock_guard lock(g_currentMutex);
            g_current = f.string();
        }
        LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        if (limitMb > 0) {
            const std::uint64_t peak = ResidentMb("VmHWM:");
            if (peak > baseMb + limitMb) OverLimit(peak, baseMb, limitMb, f.string());
        }
    }
    done = true;
    if (watchdog.joinable()) watchdog.join();
    std::printf("%zu inputs replayed\n", files.size());
    return 0;
}
