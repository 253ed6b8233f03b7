#include "foundation/threadwait.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace zun {

namespace {

constexpr const char* kWaitPolicy = "OMP_WAIT_POLICY";
constexpr const char* kSpinCount = "GOMP_SPINCOUNT";
// Beside the policy for the restarted program only: the program chose it, not the user.
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

}  // namespace

void WaitPassivelyBetweenRegions(char** argv) {
    if (HasValue(kPolicyChosenHere)) {
        ForgetChosenPolicy();
        return;
    }
    if (HasValue(kWaitPolicy) || HasValue(kSpinCount) || !argv || !argv[0] || UnderMemoryChecker()) return;
    setenv(kWaitPolicy, "passive", 1);
    setenv(kPolicyChosenHere, "1", 1);
    execv("/proc/self/exe", argv);
    ForgetChosenPolicy();
}

}  // namespace zun
