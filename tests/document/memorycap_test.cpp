// Operations under a cap on the address space (the machine out of memory): each fails as that
// operation, with its message, and the program goes on. Every case runs in a child process so
// that the cap and the OpenMP runtime's state stay there.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <new>

#include "compute/kernelrun.h"
#include "compute/threadteam.h"
#include "dochelpers.h"
#include "testfiles.h"

namespace zun {
namespace {

// The address space in use now, in bytes.
std::uint64_t AddressSpace() {
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    unsigned long long pages = 0;
    if (f) {
        if (std::fscanf(f, "%llu", &pages) != 1) pages = 0;
        std::fclose(f);
    }
    return pages * static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
}

rlimit g_unlimited{RLIM_INFINITY, RLIM_INFINITY};

// Only the soft limit, so that the memory can be given back.
void CapAddressSpace(std::uint64_t extra) {
    ::getrlimit(RLIMIT_AS, &g_unlimited);
    rlimit lim{static_cast<rlim_t>(AddressSpace() + extra), g_unlimited.rlim_max};
    ::setrlimit(RLIMIT_AS, &lim);
}

// Runs f in a child; returns its exit status, or 100 + the signal that ended it.
template <class F>
int InChild(F&& f) {
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(f());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST(MemoryCap, AThreadTeamTheSystemCannotGiveFailsTheStep) {
    const int code = InChild([] {
        CapAddressSpace(4u << 20);  // no room for another thread's stack
        if (StartThreadTeam(8)) return 2;
        ComputeLibParams p;
        int visited = 0;
        try {
            zunlib::RunVisits(p, nullptr, 8, 1, 0, 100, [&](int, std::int64_t) { ++visited; });
            return 3;
        } catch (const std::bad_alloc&) {
        }
        if (visited != 0) return 4;
        // With the memory back the same step runs on all threads.
        ::setrlimit(RLIMIT_AS, &g_unlimited);
        if (!StartThreadTeam(8)) return 5;
        zunlib::RunVisits(p, nullptr, 8, 1, 0, 100, [&](int, std::int64_t) {
#pragma omp atomic
            ++visited;
        });
        return visited == 100 ? 0 : 6;
    });
    EXPECT_EQ(code, 0);
}

TEST(MemoryCap, AnImportFailsAsAShortageWhereverMemoryRunsOut) {
    TempDir dir;
    const std::string path = dir.File("doc.txt");
    WriteFileText(path,
                  "TEXT 1 GRID 2 1 1 CHANNELS 2 NAMES \"a\" \"ct\" TYPES 0 1 RANGES 0 1 0 2\n"
                  "COMPOUNDS 0 \"SiO2\" 2.2 BEAM 1 60 DATA 1 16383 7 99 END\n");
    RegisterAllClasses();
    // Caps from nothing to more than the attenuation tables need: the import either succeeds or
    // says why it failed, and the document stays new and empty.
    int failed = 0, succeeded = 0;
    std::vector<std::uint64_t> caps;
    for (std::uint64_t extra = 0; extra <= (64u << 20); extra += 2u << 20) caps.push_back(extra);
    for (std::uint64_t extra = 128u << 20; extra <= (2048u << 20); extra *= 2) caps.push_back(extra);
    for (std::uint64_t extra : caps) {
        const int code = InChild([&] {
            DocFixture f;
            CapAddressSpace(extra);
            const bool ok = f.doc.ImportTextDocument(path);
            if (ok) return 0;
            if (f.Messages().empty()) return 2;
            if (f.doc.GetSample().GetChanCount() != 1 || f.doc.GetSample().GetNumVoxels() != 0) return 3;
            return 1;
        });
        ASSERT_TRUE(code == 0 || code == 1) << "cap +" << (extra >> 20) << " MiB: " << code;
        (code == 0 ? succeeded : failed)++;
    }
    EXPECT_GT(failed, 0);
    EXPECT_GT(succeeded, 0);
}

}  // namespace
}  // namespace zun
