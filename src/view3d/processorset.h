#pragma once
// The processors the program was started on. The scene library sets the processor affinity of
// the thread that realises a viewer (our UI thread); every thread started from it afterwards, the
// computation's worker and every OpenMP team, inherits that set, and OpenMP sizes its teams by it.
// Restoring the set the user started the program with (for example under taskset) keeps both as
// they were before any view opened.

#include <vector>

namespace zun {

// The processor numbers of the process's starting affinity, read once before main runs (and so
// before any viewer exists). Empty when the system would not tell.
const std::vector<int>& StartingProcessors();

}  // namespace zun
