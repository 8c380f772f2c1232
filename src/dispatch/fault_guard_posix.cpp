// The fault guard on POSIX systems: handlers for the signals a faulting
// instruction raises are installed only around the probe, resume through
// siglongjmp to the point recorded before it, and are replaced by the host's
// own handlers afterwards, exactly as they were.
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>

#include <cstddef>
#include <iterator>

#include "dispatch/fault_guard.h"

namespace tarn {
namespace {

constexpr int kFaultSignals[] = {SIGILL, SIGSEGV, SIGBUS};
constexpr std::size_t kFaultSignalCount = std::size(kFaultSignals);

// Where a fault on this thread resumes; null outside a probe. Initial-exec TLS
// so the handler's access never allocates.
#if defined(__GNUC__)
__attribute__((tls_model("initial-exec")))
#endif
thread_local sigjmp_buf* t_resume = nullptr;

// The host's handlers while ours are installed. One probe at a time installs
// handlers, so two threads identifying at once cannot save each other's.
pthread_mutex_t g_install_mutex = PTHREAD_MUTEX_INITIALIZER;
struct sigaction g_host_actions[kFaultSignalCount];

const struct sigaction* host_action(int signal_number) {
  for (std::size_t i = 0; i < kFaultSignalCount; ++i) {
    if (kFaultSignals[i] == signal_number) return &g_host_actions[i];
  }
  return nullptr;
}

// A signal that did not come from a probe on this thread goes where the host
// would have sent it.
void pass_on(int signal_number, siginfo_t* info, void* ucontext) {
  const struct sigaction* host = host_action(signal_number);
  if (host == nullptr) return;
  if (host->sa_flags & SA_SIGINFO) {
    host->sa_sigaction(signal_number, info, ucontext);
  } else if (host->sa_handler == SIG_IGN) {
    return;
  } else if (host->sa_handler == SIG_DFL) {
    // Delivered again once this handler returns, then with its default action.
    signal(signal_number, SIG_DFL);
    raise(signal_number);
  } else {
    host->sa_handler(signal_number);
  }
}

void on_fault(int signal_number, siginfo_t* info, void* ucontext) {
  if (sigjmp_buf* resume = t_resume) siglongjmp(*resume, 1);
  pass_on(signal_number, info, ucontext);
}

sigset_t fault_signal_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kFaultSignals) sigaddset(&set, s);
  return set;
}

}  // namespace

bool completes_without_fault(ProbeFn probe, void* context) {
  pthread_mutex_lock(&g_install_mutex);
  const sigset_t fault_signals = fault_signal_set();
  sigset_t host_mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &host_mask);

  struct sigaction ours = {};
  ours.sa_sigaction = on_fault;
  ours.sa_flags = SA_SIGINFO;
  sigemptyset(&ours.sa_mask);
  for (std::size_t i = 0; i < kFaultSignalCount; ++i) {
    sigaction(kFaultSignals[i], &ours, &g_host_actions[i]);
  }

  sigjmp_buf resume;
  volatile bool completed = false;
  // The mask saved here (the host's) comes back with the jump.
  if (sigsetjmp(resume, 1) == 0) {
    t_resume = &resume;
    // A blocked synchronous fault would kill the process instead of reaching
    // the handler.
    pthread_sigmask(SIG_UNBLOCK, &fault_signals, nullptr);
    probe(context);
    completed = true;
  }
  t_resume = nullptr;
  pthread_sigmask(SIG_SETMASK, &host_mask, nullptr);
  for (std::size_t i = kFaultSignalCount; i-- > 0;) {
    sigaction(kFaultSignals[i], &g_host_actions[i], nullptr);
  }
  pthread_mutex_unlock(&g_install_mutex);
  return completed;
}

}  // namespace tarn
