#include "foundation/threadwait.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace zun {
namespace {

// What the probe program printed, started with the wait settings `settings` (names to remove
// with -u or NAME=value words for env) in place of this process's own, through `program` (the
// probe or a path that leads to it).
std::string RunProbe(const std::string& settings, const std::string& program = ZUN_THREADWAIT_PROBE) {
    const std::string command = "env -u OMP_WAIT_POLICY -u GOMP_SPINCOUNT -u ZUN_PASSIVE_WAIT_CHOSEN " +
                                settings + " '" + program + "' first 'two words' 2>&1";
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    EXPECT_EQ(pclose(pipe), 0) << out;
    return out;
}

bool Has(const std::string& out, const std::string& text) {
    return out.find(text) != std::string::npos;
}

// With no policy of the user's the runtime never spins, the programs started later get the
// user's environment back, and the program runs with its own arguments.
TEST(ThreadWait, ThreadsSleepUnlessTheUserChoseOtherwise) {
    const std::string chosen = RunProbe("");
    EXPECT_TRUE(Has(chosen, "GOMP_SPINCOUNT = '0'")) << chosen;
    EXPECT_TRUE(Has(chosen, "environment: (none)")) << chosen;
    EXPECT_TRUE(Has(chosen, "argument: first\nargument: two words\n")) << chosen;

    // The user's policy or spin count stands.
    const std::string active = RunProbe("OMP_WAIT_POLICY=active");
    EXPECT_TRUE(Has(active, "OMP_WAIT_POLICY = 'ACTIVE'")) << active;
    EXPECT_TRUE(Has(active, "environment: active")) << active;
    const std::string spins = RunProbe("GOMP_SPINCOUNT=1234");
    EXPECT_TRUE(Has(spins, "GOMP_SPINCOUNT = '1234'")) << spins;
    EXPECT_TRUE(Has(spins, "environment: (none)")) << spins;
}

// The restart must not rename the program in ps, top, pgrep or killall: it keeps the name it was
// started under, a symbolic link's included, as it does when the user's policy stands.
TEST(ThreadWait, TheProgramKeepsItsNameOverTheRestart) {
    EXPECT_TRUE(Has(RunProbe(""), "name: zt_threadwait\n")) << RunProbe("");
    EXPECT_TRUE(Has(RunProbe("OMP_WAIT_POLICY=active"), "name: zt_threadwait\n"));

    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("zun-threadwait-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path link = folder / "zt_other_name";
    std::error_code ec;
    fs::create_symlink(ZUN_THREADWAIT_PROBE, link, ec);
    ASSERT_FALSE(ec) << ec.message();
    const std::string linked = RunProbe("", link.string());
    EXPECT_TRUE(Has(linked, "name: zt_other_name\n")) << linked;
    EXPECT_TRUE(Has(linked, "GOMP_SPINCOUNT = '0'")) << linked;  // restarted all the same
    fs::remove_all(folder, ec);
}

}  // namespace
}  // namespace zun
