// Runs a probe that may execute an instruction the processor or the system
// does not allow. A processor exception raised inside the probe resumes after
// it and is reported as a failed probe; nothing reaches the host. POSIX builds
// use short-lived signal handlers (fault_guard_posix.cpp), Windows builds
// structured exception handling (fault_guard_windows.cpp).
#pragma once

namespace tarn {

// A probe must own no objects with destructors: a fault abandons its frame.
using ProbeFn = void (*)(void* context);

// True when the probe ran to its end without a processor exception. The
// calling thread's signal mask and the process's handlers are as before on
// return, whether or not the probe faulted.
bool completes_without_fault(ProbeFn probe, void* context);

}  // namespace tarn
