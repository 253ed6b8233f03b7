#pragma once
// The size of every thread team the program starts (voxel loops, worker pools, the computation's
// devices). Counted from the processors the calling thread may run on, not the machine's: under
// `taskset` or a container's CPU set a team as large as the machine only makes its threads wait
// for each other.

#include <vector>

namespace zun {

// The processor numbers in the calling thread's CPU affinity mask; empty when the system would
// not tell.
std::vector<int> ThreadProcessors();

// Processors in the calling thread's CPU affinity mask; at least 1. While a TestProcessorCount
// lives, its count instead.
int UsableProcessors();

// Threads for a team: `selected` when positive (a document's device selection), else as many as
// the OpenMP runtime was told to use (OMP_NUM_THREADS, omp_set_num_threads); never more than the
// usable processors.
int TeamThreads(int selected = 0);

// For tests only, the program never makes one: while it lives, every thread counts `count` usable
// processors, whatever the machine and the affinity mask, so that the teams a test starts (also on
// the threads of a computation it runs) follow from what the test set up. Made and destroyed on
// one thread, while no other thread counts; one made inside another restores the outer count.
class TestProcessorCount {
public:
    explicit TestProcessorCount(int count);
    ~TestProcessorCount();
    TestProcessorCount(const TestProcessorCount&) = delete;
    TestProcessorCount& operator=(const TestProcessorCount&) = delete;

private:
    int previous_;
};

}  // namespace zun
