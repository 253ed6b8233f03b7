// Starts as the program does, then shows on the error stream what the OpenMP runtime took, the
// wait policy left in the environment, the name process lists show and the arguments it runs with.
#include <omp.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "foundation/threadwait.h"

int main(int argc, char** argv) {
    zun::WaitPassivelyBetweenRegions(argv);
    omp_display_env(1);
    const char* policy = std::getenv("OMP_WAIT_POLICY");
    std::fprintf(stderr, "environment: %s\n", policy ? policy : "(none)");
    std::string name;
    std::getline(std::ifstream("/proc/self/comm"), name);
    std::fprintf(stderr, "name: %s\n", name.c_str());
    for (int i = 1; i < argc; ++i) std::fprintf(stderr, "argument: %s\n", argv[i]);
    return 0;
}
