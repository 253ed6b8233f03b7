#include "compute/threadteam.h"

#include <omp.h>
#include <pthread.h>

#include <vector>

namespace zun {

namespace {

void* Idle(void*) {
    return nullptr;
}

}  // namespace

bool StartThreadTeam(int threads) {
    if (threads <= 1) return true;
    // All of them at once, with the default stack the runtime's threads get as well.
    std::vector<pthread_t> probes;
    probes.reserve(static_cast<std::size_t>(threads - 1));
    bool ok = true;
    for (int i = 1; i < threads; ++i) {
        pthread_t t;
        if (pthread_create(&t, nullptr, &Idle, nullptr) != 0) {
            ok = false;
            break;
        }
        probes.push_back(t);
    }
    for (pthread_t t : probes) pthread_join(t, nullptr);
    if (!ok) return false;
        // The runtime keeps the team of this thread for the regions that follow.
#pragma omp parallel num_threads(threads)
    {}
    return true;
}

}  // namespace zun
