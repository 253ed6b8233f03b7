#include "foundation/threadwait.h"

#include <sys/prctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace zun {

namespace {

constexpr const char* kWaitPolicy = "OMP_WAIT_POLICY";
constexpr const char* kSpinCount = "GOMP_SPINCOUNT";
// Beside the policy for the restarted program only: the program chose it, not the user. Its value
// is the name the program was started under (see NameBeforeRestart).
constexpr const char* kPolicyChosenHere = "ZUN_PASSIVE_WAIT_CHOSEN";

bool HasValue(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// A memory checker follows only the program it started; the restarted one would run unchecked.
bool UnderMemoryChecker() {
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "vgpreload");
}

void ForgetChosenPolicy() {
    unsetenv(kPolicyChosenHere);
    unsetenv(kWaitPolicy);
}

// The kernel names a process after the last part of the path it ran, and the restart runs
// /proc/self/exe (the one path that still leads to a renamed or deleted program file): without
// this the restarted program is "exe" to ps, top, pgrep and killall. The name taken here is the
// one the kernel gave at the first start, a symbolic link's own name included.
std::string NameBeforeRestart() {
    char name[16] = {};  // the kernel's limit, terminator included
    if (prctl(PR_GET_NAME, name, 0, 0, 0) != 0 || !*name) return "zun";
    return name;
}

}  // namespace

void WaitPassivelyBetweenRegions(char** argv) {
    if (const char* name = std::getenv(kPolicyChosenHere); name && *name) {
        prctl(PR_SET_NAME, name, 0, 0, 0);
        ForgetChosenPolicy();
        return;
    }
    if (HasValue(kWaitPolicy) || HasValue(kSpinCount) || !argv || !argv[0] || UnderMemoryChecker()) return;
    setenv(kWaitPolicy, "passive", 1);
    setenv(kPolicyChosenHere, NameBeforeRestart().c_str(), 1);
    execv("/proc/self/exe", argv);
    ForgetChosenPolicy();
}

}  // namespace zun
