#pragma once
// The worker threads of a parallel region, started where their failure can be reported.
//
// The OpenMP runtime ends the whole program when it cannot create a thread inside a parallel
// region (memory or thread limits reached). Before a computation's regions run, StartThreadTeam
// checks that the system gives that many threads now and lets the runtime create its team in an
// empty region; on false the operation fails as out of memory and the document stays as it was.

namespace zun {

// True when `threads` threads (the calling one included) could be had; 1 or less always is.
bool StartThreadTeam(int threads);

}  // namespace zun
