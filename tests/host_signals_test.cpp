// A host's own fault signals around identification: pending, sent from
// another thread during it, or raised by a host handler in the middle of a
// probe, they reach the host exactly once and change neither the capability
// word nor the floating-point state.
#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <pthread.h>
#include <setjmp.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "TarnLib2DLL.h"
#include "identify/fault_guard.h"
#include "selftest/fp_state.h"

namespace tarn {
namespace {

using selftest::kMxcsrControlMask;

struct Seen {
  std::atomic<int> count{0};
  std::atomic<int> code{0};
  std::atomic<int> value{0};
  std::atomic<pid_t> sender{0};
};
Seen g_seen[32];

void count_host_signal(int signal_number, siginfo_t* info, void*) {
  Seen& seen = g_seen[signal_number];
  seen.code = info->si_code;
  seen.value = info->si_value.sival_int;
  seen.sender = info->si_pid;
  ++seen.count;
}

// The host's counting handler on SIGILL and SIGSEGV, put back on destruction.
class HostHandlers {
 public:
  static constexpr int kSignals[] = {SIGILL, SIGSEGV};

  HostHandlers() {
    struct sigaction action = {};
    action.sa_sigaction = count_host_signal;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 2; ++i) {
      sigaction(kSignals[i], &action, &saved_[i]);
      g_seen[kSignals[i]].count = 0;
    }
  }
  ~HostHandlers() {
    for (int i = 0; i < 2; ++i) sigaction(kSignals[i], &saved_[i], nullptr);
  }
  HostHandlers(const HostHandlers&) = delete;
  HostHandlers& operator=(const HostHandlers&) = delete;

 private:
  struct sigaction saved_[2];
};

class Blocked {
 public:
  explicit Blocked(int signal_number) {
    sigemptyset(&set_);
    sigaddset(&set_, signal_number);
    pthread_sigmask(SIG_BLOCK, &set_, nullptr);
  }
  ~Blocked() { unblock(); }
  void unblock() { pthread_sigmask(SIG_UNBLOCK, &set_, nullptr); }

 private:
  sigset_t set_;
};

bool is_pending(int signal_number) {
  sigset_t pending;
  sigpending(&pending);
  return sigismember(&pending, signal_number) == 1;
}

struct Identified {
  MxCpuFlags flags;
  std::uint32_t mxcsr;
};

// Identification from one starting state, so that flush-to-zero shows.
Identified identify() {
  selftest::write_mxcsr(selftest::kMxcsrDefault);
  const MxCpuFlags flags = MxIdentifyCPU();
  return {flags, selftest::read_mxcsr() & kMxcsrControlMask};
}

const char* signal_name(int signal_number) {
  return signal_number == SIGILL ? "SIGILL" : "SIGSEGV";
}

// Identification probes with a fault guard only on x86; elsewhere it reads
// the processor's registers, and qemu-user, which runs the other builds'
// tests, does not keep a blocked SIGSEGV pending as a kernel does.
#if defined(__i386__) || defined(__x86_64__)
#define TARN_SKIP_WITHOUT_PROBES()
#else
#define TARN_SKIP_WITHOUT_PROBES() GTEST_SKIP() << "identification runs no probe here"
#endif

TEST(HostSignals, APendingSignalStaysPendingThroughIdentification) {
  TARN_SKIP_WITHOUT_PROBES();
  selftest::FpStateGuard fp;
  const Identified reference = identify();
  HostHandlers host;
  for (int s : HostHandlers::kSignals) {
    Blocked blocked(s);
    raise(s);
    const Identified seen = identify();
    EXPECT_EQ(seen.flags, reference.flags) << signal_name(s);
    EXPECT_EQ(seen.mxcsr, reference.mxcsr) << signal_name(s);
    EXPECT_TRUE(is_pending(s)) << signal_name(s);
    EXPECT_EQ(g_seen[s].count, 0) << signal_name(s);
    blocked.unblock();
    EXPECT_EQ(g_seen[s].count, 1) << signal_name(s);
    EXPECT_EQ(g_seen[s].code, SI_TKILL) << signal_name(s);
    EXPECT_EQ(g_seen[s].sender, getpid()) << signal_name(s);
  }
}

// Sends SIGILL and SIGSEGV in turn to one thread, each once the host's
// handler has taken the one before, so that none merge with another.
class Sender {
 public:
  explicit Sender(pthread_t target)
      : thread_([this, target] {
          const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
          while (!stop_ && sent_ < kMaxSignals && std::chrono::steady_clock::now() < deadline) {
            const int s = HostHandlers::kSignals[sent_ % 2];
            const int before = g_seen[s].count;
            pthread_kill(target, s);
            ++sent_;
            // A lost signal shows in the totals.
            const auto wait_until =
                std::chrono::steady_clock::now() + std::chrono::milliseconds(50);
            while (g_seen[s].count == before && std::chrono::steady_clock::now() < wait_until) {
            }
          }
        }) {}
  ~Sender() { finish(); }
  Sender(const Sender&) = delete;
  Sender& operator=(const Sender&) = delete;

  int finish() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return sent_;
  }

 private:
  static constexpr int kMaxSignals = 400000;
  std::atomic<bool> stop_{false};
  std::atomic<int> sent_{0};
  std::thread thread_;
};

int received() {
  return g_seen[SIGILL].count + g_seen[SIGSEGV].count;
}

TEST(HostSignals, SignalsSentThroughoutIdentificationReachTheHostOnceEach) {
  TARN_SKIP_WITHOUT_PROBES();
  selftest::FpStateGuard fp;
  const Identified reference = identify();
  HostHandlers host;
  Sender sender(pthread_self());
  for (int i = 0; i < 2; ++i) {
    const Identified seen = identify();
    EXPECT_EQ(seen.flags, reference.flags) << "identification " << i;
    EXPECT_EQ(seen.mxcsr, reference.mxcsr) << "identification " << i;
  }
  const int sent = sender.finish();
  EXPECT_GT(sent, 0);
  EXPECT_EQ(received(), sent);
}

#if defined(__i386__) || defined(__x86_64__)
TARN_ASM_PROBE(tarn_test_clean_probe, "  nop\n")
TARN_ASM_PROBE(tarn_test_ud2_probe, "  ud2\n")

// The guard itself, many times over, so that signals land inside probes.
// While a probe really faults, a host signal of the same kind that the kernel
// queues before the fault is delivered merges with it, as standard signals
// do; so only clean probes count deliveries exactly.
TEST(HostSignals, ProbesUnderAStreamOfHostSignalsJudgeOnlyTheirOwnFaults) {
  HostHandlers host;
  {
    Sender sender(pthread_self());
    int failed = 0;
    for (int i = 0; i < 10000; ++i) {
      failed +=
          !completes_without_fault(tarn_test_clean_probe, nullptr, tarn_test_clean_probe_code());
    }
    const int sent = sender.finish();
    EXPECT_EQ(failed, 0);
    EXPECT_EQ(received(), sent);
  }
  Sender sender(pthread_self());
  int wrong = 0;
  for (int i = 0; i < 10000; ++i) {
    if (i % 2 == 0) {
      wrong +=
          !completes_without_fault(tarn_test_clean_probe, nullptr, tarn_test_clean_probe_code());
    } else {
      wrong += completes_without_fault(tarn_test_ud2_probe, nullptr, tarn_test_ud2_probe_code());
    }
  }
  sender.finish();
  EXPECT_EQ(wrong, 0);
}

// Pending signals of each kind of sender keep their sender's information, and
// a probe's own fault still counts while one is pending.
TEST(HostSignals, PendingSignalsKeepTheirSenderAndProbesStillFault) {
  enum Sent { kRaise, kKill, kQueue };
  const struct {
    int signal_number;
    Sent how;
    int code;
  } kCases[] = {{SIGILL, kRaise, SI_TKILL},
                {SIGSEGV, kKill, SI_USER},
                {SIGILL, kQueue, SI_QUEUE},
                {SIGSEGV, kQueue, SI_QUEUE}};
  HostHandlers host;
  for (const auto& c : kCases) {
    const int s = c.signal_number;
    g_seen[s].count = 0;
    Blocked blocked(s);
    switch (c.how) {
      case kRaise:
        raise(s);
        break;
      case kKill:
        kill(getpid(), s);
        break;
      case kQueue:
        sigqueue(getpid(), s, sigval{.sival_int = 1234});
        break;
    }
    EXPECT_FALSE(completes_without_fault(tarn_test_ud2_probe, nullptr, tarn_test_ud2_probe_code()));
    EXPECT_TRUE(
        completes_without_fault(tarn_test_clean_probe, nullptr, tarn_test_clean_probe_code()));
    EXPECT_TRUE(is_pending(s)) << c.code;
    blocked.unblock();
    EXPECT_EQ(g_seen[s].count, 1) << c.code;
    EXPECT_EQ(g_seen[s].code, c.code);
    EXPECT_EQ(g_seen[s].sender, getpid()) << c.code;
    if (c.how == kQueue) {
      EXPECT_EQ(g_seen[s].value, 1234);
    }
  }
}

// A host handler that runs in the middle of a probe and faults there: the
// fault is the host's, whose own SIGILL handler recovers from it.
sigjmp_buf g_host_recovery;
void host_recovers(int signal_number, siginfo_t* info, void* context) {
  count_host_signal(signal_number, info, context);
  siglongjmp(g_host_recovery, 1);
}
void host_handler_that_faults(int, siginfo_t*, void*) {
  if (sigsetjmp(g_host_recovery, 1) == 0) __asm__ volatile("ud2");
}

TEST(HostSignals, AFaultInAHostHandlerDuringAProbeIsTheHosts) {
  struct sigaction recover = {}, faulting = {}, saved_ill, saved_usr1;
  recover.sa_sigaction = host_recovers;
  recover.sa_flags = SA_SIGINFO;
  sigemptyset(&recover.sa_mask);
  faulting.sa_sigaction = host_handler_that_faults;
  faulting.sa_flags = SA_SIGINFO;
  sigemptyset(&faulting.sa_mask);
  sigaction(SIGILL, &recover, &saved_ill);
  sigaction(SIGUSR1, &faulting, &saved_usr1);
  g_seen[SIGILL].count = 0;

  // The host's SIGUSR1 arrives during the probe, before its (clean) code.
  const bool completed = completes_without_fault(
      [](void*) {
        pthread_kill(pthread_self(), SIGUSR1);
        tarn_test_clean_probe(nullptr);
      },
      nullptr, tarn_test_clean_probe_code());
  EXPECT_TRUE(completed);
  EXPECT_EQ(g_seen[SIGILL].count, 1);
  EXPECT_EQ(g_seen[SIGILL].code, ILL_ILLOPN);

  sigaction(SIGUSR1, &saved_usr1, nullptr);
  sigaction(SIGILL, &saved_ill, nullptr);
}
#endif

}  // namespace
}  // namespace tarn
#endif
