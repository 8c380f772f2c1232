// The fault guard on POSIX systems. Handlers for the signals a faulting
// instruction raises are installed only around the probe and resume through
// siglongjmp to the point recorded before it; the host's own handlers come
// back afterwards, exactly as they were.
//
// Only a synchronous fault of the probe's own instruction is the probe's: a
// kernel-generated code, on the probing thread, at an address inside the
// probe. The fault signals must be unblocked for the probe (a blocked
// synchronous fault kills the process), so a host signal that was pending
// reaches our handler, as does one sent during the probe. Such a signal is
// set aside and sent again, with its original information, once the host's
// handlers and mask are back: the host sees it pending, or handled, as without
// the guard. A host fault on another thread, or in a host handler that runs
// in the middle of the probe, goes to the host's disposition at once.
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <iterator>

#if defined(TARN_LINUX)
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>
#endif

#include "identify/fault_guard.h"
#include "isa/platform.h"

namespace tarn {
namespace {

constexpr int kFaultSignals[] = {SIGILL, SIGSEGV, SIGBUS};
constexpr std::size_t kFaultSignalCount = std::size(kFaultSignals);

// Host signals set aside during one probe. More than this many within a few
// microseconds is not a host anyone runs; the excess merges as blocked
// standard signals would.
constexpr int kSetAsideCapacity = 8;

struct SetAside {
  siginfo_t info[kSetAsideCapacity];
  bool to_thread[kSetAsideCapacity];
  int count = 0;
};

struct Guarded {
  sigjmp_buf* resume = nullptr;  // null once the probe has returned
  ProbeCode code;
  SetAside* set_aside = nullptr;
};

// The guard of this thread; null outside completes_without_fault.
// Initial-exec TLS so the handler's access never allocates.
#if defined(TARN_GNU_C)
__attribute__((tls_model("initial-exec")))
#endif
thread_local Guarded* t_guarded = nullptr;

// The host's handlers while ours are installed. One probe at a time installs
// handlers, so two threads identifying at once cannot save each other's.
pthread_mutex_t g_install_mutex = PTHREAD_MUTEX_INITIALIZER;
struct sigaction g_host_actions[kFaultSignalCount];
// Set when a host handler with SA_RESETHAND ran through ours: the kernel would
// have reset it to the default, so that is what comes back.
std::atomic<bool> g_host_reset[kFaultSignalCount];

int index_of(int signal_number) {
  for (std::size_t i = 0; i < kFaultSignalCount; ++i) {
    if (kFaultSignals[i] == signal_number) return static_cast<int>(i);
  }
  return -1;
}

// Sent by a process (kill, tgkill, sigqueue) or by a timer, a message queue
// or asynchronous I/O, as opposed to raised by the processor.
bool is_sent(const siginfo_t* info) {
#if defined(TARN_LINUX)
  return info->si_code <= 0;
#else
  switch (info->si_code) {
    case SI_USER:
    case SI_QUEUE:
    case SI_TIMER:
    case SI_MESGQ:
    case SI_ASYNCIO:
      return true;
    default:
      return false;
  }
#endif
}

// Raised by the processor for the instruction being executed, as opposed to
// sent, or reported asynchronously by the kernel (a memory error found by
// scrubbing).
bool is_synchronous_fault(int signal_number, const siginfo_t* info) {
  if (is_sent(info)) return false;
#if defined(BUS_MCEERR_AO)
  if (signal_number == SIGBUS && info->si_code == BUS_MCEERR_AO) return false;
#else
  (void)signal_number;
#endif
  return true;
}

// The faulting instruction's address, where the system reports it.
bool instruction_address(int signal_number, const siginfo_t* info, const void* ucontext,
                         std::uintptr_t* address) {
#if defined(TARN_LINUX) && defined(TARN_X86_64)
  (void)signal_number, (void)info;
  *address = static_cast<std::uintptr_t>(
      static_cast<const ucontext_t*>(ucontext)->uc_mcontext.gregs[REG_RIP]);
  return true;
#elif defined(TARN_LINUX) && defined(TARN_X86_32)
  (void)signal_number, (void)info;
  *address = static_cast<std::uintptr_t>(
      static_cast<const ucontext_t*>(ucontext)->uc_mcontext.gregs[REG_EIP]);
  return true;
#elif defined(TARN_LINUX) && defined(TARN_ARM64)
  (void)signal_number, (void)info;
  *address = static_cast<std::uintptr_t>(static_cast<const ucontext_t*>(ucontext)->uc_mcontext.pc);
  return true;
#else
  (void)ucontext;
  // Elsewhere only an invalid instruction names itself.
  if (signal_number != SIGILL) return false;
  *address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  return true;
#endif
}

bool is_probe_fault(const Guarded& guarded, int signal_number, const siginfo_t* info,
                    const void* ucontext) {
  if (guarded.resume == nullptr || !is_synchronous_fault(signal_number, info)) return false;
  std::uintptr_t address = 0;
  return !instruction_address(signal_number, info, ucontext, &address) ||
         guarded.code.contains(address);
}

// tgkill and raise address a thread; kill, sigqueue, timers and the rest
// address the process, which lets the kernel choose the thread again.
bool addressed_to_thread(const siginfo_t* info) {
#if defined(SI_TKILL)
  return info->si_code == SI_TKILL;
#else
  (void)info;
  return false;
#endif
}

// Sends a set-aside signal again, with its original information where the
// system allows that.
void send_again(int signal_number, siginfo_t* info, bool to_thread) {
#if defined(TARN_LINUX)
  const long process = getpid();
  const long number = signal_number;
  if (to_thread) {
    if (syscall(SYS_rt_tgsigqueueinfo, process, syscall(SYS_gettid), number, info) == 0) return;
  } else if (syscall(SYS_rt_sigqueueinfo, process, number, info) == 0) {
    return;
  }
  // The kernel lets only the process's main thread requeue as the process;
  // without the original sender then.
#endif
  if (to_thread) {
    pthread_kill(pthread_self(), signal_number);
  } else {
    kill(getpid(), signal_number);
  }
}

// Does what the host's disposition does with a signal that reached our
// handler. Our handler runs with the host's mask and flags, so the host's
// handler sees what the kernel would have given it.
void pass_on(int signal_number, siginfo_t* info, void* ucontext) {
  const int i = index_of(signal_number);
  if (i < 0) return;
  const struct sigaction host = g_host_actions[i];
  const bool is_default = !(host.sa_flags & SA_SIGINFO) && host.sa_handler == SIG_DFL;
  const bool is_ignored = !(host.sa_flags & SA_SIGINFO) && host.sa_handler == SIG_IGN;
  if (is_default || (is_ignored && is_synchronous_fault(signal_number, info))) {
    // The kernel forces the default action on a fault that cannot be
    // ignored. Returning repeats a faulting instruction under it; a sent
    // signal is raised again, to be taken once this handler returns.
    signal(signal_number, SIG_DFL);
    if (!is_synchronous_fault(signal_number, info)) raise(signal_number);
    return;
  }
  if (is_ignored) return;
  if (host.sa_flags & SA_RESETHAND) g_host_reset[i].store(true);
  if (host.sa_flags & SA_SIGINFO) {
    host.sa_sigaction(signal_number, info, ucontext);
  } else {
    host.sa_handler(signal_number);
  }
}

void on_fault(int signal_number, siginfo_t* info, void* ucontext) {
  Guarded* const guarded = t_guarded;
  if (guarded != nullptr && is_probe_fault(*guarded, signal_number, info, ucontext)) {
    siglongjmp(*guarded->resume, 1);
  }
  if (guarded != nullptr && !is_synchronous_fault(signal_number, info)) {
    SetAside& aside = *guarded->set_aside;
    if (aside.count < kSetAsideCapacity) {
      aside.info[aside.count] = *info;
      aside.to_thread[aside.count] = addressed_to_thread(info);
      ++aside.count;
    }
    return;
  }
  pass_on(signal_number, info, ucontext);
}

sigset_t fault_signal_set() {
  sigset_t set;
  sigemptyset(&set);
  for (int s : kFaultSignals) sigaddset(&set, s);
  return set;
}

}  // namespace

bool completes_without_fault(ProbeFn probe, void* context, ProbeCode code) {
  pthread_mutex_lock(&g_install_mutex);
  const sigset_t fault_signals = fault_signal_set();
  // Nothing reaches this thread's handler before the probe is armed.
  sigset_t host_mask;
  pthread_sigmask(SIG_BLOCK, &fault_signals, &host_mask);

  SetAside set_aside;
  Guarded guarded;
  guarded.code = code;
  guarded.set_aside = &set_aside;
  t_guarded = &guarded;

  for (std::size_t i = 0; i < kFaultSignalCount; ++i) {
    g_host_reset[i].store(false);
    sigaction(kFaultSignals[i], nullptr, &g_host_actions[i]);
    struct sigaction ours = {};
    ours.sa_sigaction = on_fault;
    ours.sa_flags =
        SA_SIGINFO | (g_host_actions[i].sa_flags & (SA_ONSTACK | SA_RESTART | SA_NODEFER));
    ours.sa_mask = g_host_actions[i].sa_mask;
    sigaction(kFaultSignals[i], &ours, nullptr);
  }

  sigjmp_buf resume;
  volatile bool completed = false;
  // The mask saved here, with the fault signals blocked, comes back with the
  // jump.
  if (sigsetjmp(resume, 1) == 0) {
    guarded.resume = &resume;
    // A blocked synchronous fault would kill the process instead of reaching
    // the handler. Host signals pending until now arrive here and are set
    // aside.
    pthread_sigmask(SIG_UNBLOCK, &fault_signals, nullptr);
    probe(context);
    guarded.resume = nullptr;
    pthread_sigmask(SIG_BLOCK, &fault_signals, nullptr);
    completed = true;
  }
  guarded.resume = nullptr;

  for (std::size_t i = kFaultSignalCount; i-- > 0;) {
    struct sigaction host = g_host_actions[i];
    if (g_host_reset[i].load()) {
      host.sa_handler = SIG_DFL;
      host.sa_flags &= ~(SA_SIGINFO | SA_RESETHAND);
    }
    sigaction(kFaultSignals[i], &host, nullptr);
  }
  t_guarded = nullptr;
  // Unlocked first: a host handler run by what follows may identify again.
  pthread_mutex_unlock(&g_install_mutex);
  pthread_sigmask(SIG_SETMASK, &host_mask, nullptr);
  for (int i = 0; i < set_aside.count; ++i) {
    send_again(set_aside.info[i].si_signo, &set_aside.info[i], set_aside.to_thread[i]);
  }
  return completed;
}

}  // namespace tarn
