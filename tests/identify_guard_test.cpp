// The fault guard on the real machine: faulting probes fail, the process goes
// on, and the host's handlers and signal mask are exactly as before.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <thread>
#include <vector>

#include "identify/fault_guard.h"

namespace tarn {
namespace {

#if defined(__i386__) || defined(__x86_64__)
void undefined_instruction(void*) {
  __asm__ volatile("ud2");
}
void read_null(void*) {
  const std::uintptr_t null = 0;
  __asm__ volatile("movl (%0), %%eax" : : "r"(null) : "eax", "memory");
}
#define TARN_FAULTING_PROBES 1
#endif

void store_flag(void* context) {
  *static_cast<int*>(context) = 42;
}

std::atomic<int> g_host_handler_calls{0};
void host_handler(int, siginfo_t*, void*) {
  ++g_host_handler_calls;
}

// A distinctive host action for each fault signal, put back on destruction.
class HostHandlers {
 public:
  static constexpr int kSignals[] = {SIGILL, SIGSEGV, SIGBUS};

  HostHandlers() {
    struct sigaction action = {};
    action.sa_sigaction = host_handler;
    action.sa_flags = SA_SIGINFO | SA_RESTART | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaddset(&action.sa_mask, SIGUSR2);
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &action, &saved_[i]);
  }
  ~HostHandlers() {
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &saved_[i], nullptr);
  }

  static void expect_still_installed() {
    for (int s : kSignals) {
      struct sigaction now = {};
      sigaction(s, nullptr, &now);
      EXPECT_EQ(now.sa_sigaction, host_handler) << s;
      EXPECT_EQ(now.sa_flags & (SA_SIGINFO | SA_RESTART | SA_NODEFER),
                SA_SIGINFO | SA_RESTART | SA_NODEFER)
          << s;
      EXPECT_TRUE(sigismember(&now.sa_mask, SIGUSR2)) << s;
    }
  }

 private:
  struct sigaction saved_[3];
};

// The mask helpers serve the faulting probes, which exist on x86 only.
[[maybe_unused]] sigset_t current_mask() {
  sigset_t mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  return mask;
}

[[maybe_unused]] void expect_same_mask(const sigset_t& a, const sigset_t& b) {
  for (int s = 1; s < 32; ++s) EXPECT_EQ(sigismember(&a, s), sigismember(&b, s)) << s;
}

TEST(FaultGuard, CompletingProbeRunsWithItsContext) {
  int flag = 0;
  EXPECT_TRUE(completes_without_fault(store_flag, &flag));
  EXPECT_EQ(flag, 42);
}

#if defined(TARN_FAULTING_PROBES)

TEST(FaultGuard, FaultingProbesFailAndTheHostHandlersStay) {
  HostHandlers host;
  const int calls_before = g_host_handler_calls;
  const struct {
    const char* name;
    ProbeFn probe;
    bool completes;
  } kProbes[] = {{"ud2", undefined_instruction, false},
                 {"null read", read_null, false},
                 {"clean", [](void*) {}, true}};
  for (const auto& p : kProbes) {
    EXPECT_EQ(completes_without_fault(p.probe, nullptr), p.completes) << p.name;
    HostHandlers::expect_still_installed();
  }
  EXPECT_EQ(g_host_handler_calls, calls_before) << "a probe's fault reached the host";

  // And they still work.
  raise(SIGILL);
  EXPECT_EQ(g_host_handler_calls, calls_before + 1);
}

TEST(FaultGuard, SignalMaskIsRestoredEvenWhenFaultSignalsWereBlocked) {
  sigset_t blocked;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR1);
  sigaddset(&blocked, SIGILL);
  sigset_t original;
  pthread_sigmask(SIG_BLOCK, &blocked, &original);
  const sigset_t host_mask = current_mask();

  EXPECT_FALSE(completes_without_fault(undefined_instruction, nullptr));
  expect_same_mask(current_mask(), host_mask);
  EXPECT_TRUE(completes_without_fault([](void*) {}, nullptr));
  expect_same_mask(current_mask(), host_mask);

  pthread_sigmask(SIG_SETMASK, &original, nullptr);
}

TEST(FaultGuard, ProbesOnSeveralThreadsAtOnce) {
  HostHandlers host;
  std::atomic<int> faults{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&faults] {
      for (int i = 0; i < 200; ++i) {
        if (!completes_without_fault(i % 2 ? undefined_instruction : read_null, nullptr)) {
          ++faults;
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(faults, 800);
  HostHandlers::expect_still_installed();
}

#endif

}  // namespace
}  // namespace tarn
#endif
