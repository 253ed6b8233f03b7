#pragma once
// How the threads of the program's teams wait for their next parallel region.

namespace zun {

// Called first in main, with main's argv, before any thread team starts. A thread that spins
// while it waits takes a processor from every other team and program on the machine: a console
// line of a thousand small operations kept eight processors busy doing nothing, and beside other
// busy programs each region then waited for its descheduled threads. The OpenMP runtime reads its
// wait policy from the environment once, when it is loaded, before main runs; so when the user
// chose none (OMP_WAIT_POLICY, GOMP_SPINCOUNT), the program starts itself again with
// OMP_WAIT_POLICY=passive, and the restarted program takes the setting out of its environment,
// so that the programs it starts in turn see the user's, and takes back the name it was started
// under. Returns in the program that goes on: the restarted one, or this one when the user chose a
// policy or the restart failed (then as before).
void WaitPassivelyBetweenRegions(char** argv);

}  // namespace zun
