// The Windows fault guard on the real machine (or Wine): faulting probes fail,
// the caller's registers survive the fault, the host's own vectored handler
// sees nothing of the probes and everything else, and threads probe at once.
#include <gtest/gtest.h>

#if defined(_WIN32) && (defined(__i386__) || defined(__x86_64__)) && defined(__GNUC__)
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "identify/fault_guard.h"

namespace tarn {
namespace {

void undefined_instruction(void*) {
  __asm__ volatile("ud2");
}
void read_null(void*) {
  const std::uintptr_t null = 0;
  __asm__ volatile("movl (%0), %%eax" : : "r"(null) : "eax", "memory");
}
void privileged_instruction(void*) {
  __asm__ volatile("hlt");
}

// Overwrites every register the caller may keep a value in, then faults.
void clobber_then_fault(void*) {
#if defined(__x86_64__)
  __asm__ volatile(
      "movq $-1, %%rbx\n\tmovq $-1, %%rsi\n\tmovq $-1, %%rdi\n\t"
      "movq $-1, %%r12\n\tmovq $-1, %%r13\n\tmovq $-1, %%r14\n\tmovq $-1, %%r15\n\t"
      "pcmpeqd %%xmm6, %%xmm6\n\tpcmpeqd %%xmm7, %%xmm7\n\tpcmpeqd %%xmm8, %%xmm8\n\t"
      "pcmpeqd %%xmm9, %%xmm9\n\tpcmpeqd %%xmm10, %%xmm10\n\tpcmpeqd %%xmm11, %%xmm11\n\t"
      "pcmpeqd %%xmm12, %%xmm12\n\tpcmpeqd %%xmm13, %%xmm13\n\tpcmpeqd %%xmm14, %%xmm14\n\t"
      "pcmpeqd %%xmm15, %%xmm15\n\t"
      "movl $0x7F80, %%eax\n\tpushq %%rax\n\tldmxcsr (%%rsp)\n\tpopq %%rax\n\t"  // round to zero
      "xorl %%ebp, %%ebp\n\t"
      "ud2"
      :
      :
      : "rax", "rbx", "rsi", "rdi", "r12", "r13", "r14", "r15", "xmm6", "xmm7", "xmm8", "xmm9",
        "xmm10", "xmm11", "xmm12", "xmm13", "xmm14", "xmm15", "memory");
#else
  __asm__ volatile(
      "movl $-1, %%ebx\n\tmovl $-1, %%esi\n\tmovl $-1, %%edi\n\t"
      "xorl %%ebp, %%ebp\n\t"
      "ud2"
      :
      :
      : "ebx", "esi", "edi", "memory");
#endif
}

std::atomic<int> g_host_calls{0};
constexpr DWORD kHostException = 0xE0001234;

// A host's handler: counts everything it sees and continues after the
// exceptions it raises itself.
LONG CALLBACK host_handler(EXCEPTION_POINTERS* info) {
  ++g_host_calls;
  return info->ExceptionRecord->ExceptionCode == kHostException ? EXCEPTION_CONTINUE_EXECUTION
                                                                : EXCEPTION_CONTINUE_SEARCH;
}

class HostHandler {
 public:
  HostHandler() : handle_(AddVectoredExceptionHandler(1, host_handler)) {}
  ~HostHandler() { RemoveVectoredExceptionHandler(handle_); }
  HostHandler(const HostHandler&) = delete;
  HostHandler& operator=(const HostHandler&) = delete;

 private:
  void* handle_;
};

TEST(FaultGuardWindows, FaultingProbesFailAndTheHostHandlerSeesNone) {
  HostHandler host;
  const int calls_before = g_host_calls;
  int flag = 0;
  const struct {
    const char* name;
    ProbeFn probe;
    void* context;
    bool completes;
  } kProbes[] = {{"ud2", undefined_instruction, nullptr, false},
                 {"null read", read_null, nullptr, false},
                 {"hlt", privileged_instruction, nullptr, false},
                 {"clean", [](void* c) { *static_cast<int*>(c) = 42; }, &flag, true}};
  for (const auto& p : kProbes) {
    EXPECT_EQ(completes_without_fault(p.probe, p.context), p.completes) << p.name;
  }
  EXPECT_EQ(flag, 42);
  EXPECT_EQ(g_host_calls, calls_before) << "a probe's fault reached the host";

  // The host's handler is still there, and exceptions that are no processor
  // fault pass through a probe to it.
  RaiseException(kHostException, 0, 0, nullptr);
  EXPECT_EQ(g_host_calls, calls_before + 1);
  EXPECT_TRUE(completes_without_fault([](void*) { RaiseException(kHostException, 0, 0, nullptr); },
                                      nullptr));
  EXPECT_EQ(g_host_calls, calls_before + 2);
}

// Values the compiler keeps in callee-saved registers across the guarded
// call must come back intact after the probe faults with them overwritten.
TEST(FaultGuardWindows, CallerRegistersSurviveAFault) {
#if defined(__x86_64__)
  std::uint32_t mxcsr_before = 0;
  __asm__ volatile("stmxcsr %0" : "=m"(mxcsr_before));
#endif
  volatile std::uint32_t seed = 7;
  std::uint32_t a = seed, b = seed * 3, c = seed * 5, d = seed * 7, e = seed * 11;
  double x = seed * 0.5, y = seed * 0.25, z = seed * 0.125, w = seed * 0.0625;
  for (int i = 0; i < 4; ++i) {
    EXPECT_FALSE(completes_without_fault(clobber_then_fault, nullptr));
    a = a * 31 + 1, b = b * 37 + 2, c = c * 41 + 3, d = d * 43 + 4, e = e * 47 + 5;
    x = x * 1.5 + 1, y = y * 2.5 + 2, z = z * 3.5 + 3, w = w * 4.5 + 4;
  }
  std::uint32_t ra = 7, rb = 21, rc = 35, rd = 49, re = 77;
  double rx = 3.5, ry = 1.75, rz = 0.875, rw = 0.4375;
  for (int i = 0; i < 4; ++i) {
    ra = ra * 31 + 1, rb = rb * 37 + 2, rc = rc * 41 + 3, rd = rd * 43 + 4, re = re * 47 + 5;
    rx = rx * 1.5 + 1, ry = ry * 2.5 + 2, rz = rz * 3.5 + 3, rw = rw * 4.5 + 4;
  }
  EXPECT_EQ(a, ra);
  EXPECT_EQ(b, rb);
  EXPECT_EQ(c, rc);
  EXPECT_EQ(d, rd);
  EXPECT_EQ(e, re);
  EXPECT_EQ(x, rx);
  EXPECT_EQ(y, ry);
  EXPECT_EQ(z, rz);
  EXPECT_EQ(w, rw);
#if defined(__x86_64__)
  std::uint32_t mxcsr_after = 0;
  __asm__ volatile("stmxcsr %0" : "=m"(mxcsr_after));
  EXPECT_EQ(mxcsr_after, mxcsr_before) << std::hex;
#endif
}

TARN_ASM_PROBE(tarn_test_clean_probe, "  nop\n")
TARN_ASM_PROBE(tarn_test_ud2_probe, "  ud2\n")
TARN_ASM_PROBE(tarn_test_host_ud2, "  ud2\n")

std::atomic<int> g_host_recoveries{0};

// A host that steps over its own ud2 and continues after the access
// violations it raises itself.
LONG CALLBACK host_recovers(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* const record = info->ExceptionRecord;
  const auto at = reinterpret_cast<std::uintptr_t>(record->ExceptionAddress);
  if (record->ExceptionCode == EXCEPTION_ILLEGAL_INSTRUCTION &&
      tarn_test_host_ud2_code().contains(at)) {
    ++g_host_recoveries;
#if defined(__x86_64__)
    info->ContextRecord->Rip += 2;
#else
    info->ContextRecord->Eip += 2;
#endif
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  if (record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record->NumberParameters == 0) {
    ++g_host_recoveries;
    return EXCEPTION_CONTINUE_EXECUTION;
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

// Processor exceptions raised during a probe, but not by its own code, are
// the host's: one from code the probe calls, one raised by a program.
TEST(FaultGuardWindows, ExceptionsOutsideTheProbesCodeAreTheHosts) {
  void* const host = AddVectoredExceptionHandler(1, host_recovers);
  ASSERT_NE(host, nullptr);
  g_host_recoveries = 0;
  EXPECT_TRUE(completes_without_fault(
      [](void*) {
        tarn_test_host_ud2(nullptr);
        RaiseException(EXCEPTION_ACCESS_VIOLATION, 0, 0, nullptr);
        tarn_test_clean_probe(nullptr);
      },
      nullptr, tarn_test_clean_probe_code()));
  EXPECT_EQ(g_host_recoveries, 2);
  EXPECT_FALSE(completes_without_fault(tarn_test_ud2_probe, nullptr, tarn_test_ud2_probe_code()));
  EXPECT_EQ(g_host_recoveries, 2);
  RemoveVectoredExceptionHandler(host);
}

TEST(FaultGuardWindows, NestedProbesResumeAtTheirOwnLevel) {
  struct Outcome {
    bool inner = true;
    bool after_inner = false;
  } outcome;
  const bool outer = completes_without_fault(
      [](void* context) {
        auto* o = static_cast<Outcome*>(context);
        o->inner = completes_without_fault(undefined_instruction, nullptr);
        o->after_inner = true;
      },
      &outcome);
  EXPECT_TRUE(outer);
  EXPECT_FALSE(outcome.inner);
  EXPECT_TRUE(outcome.after_inner);
}

TEST(FaultGuardWindows, ProbesOnSeveralThreadsAtOnce) {
  HostHandler host;
  const int calls_before = g_host_calls;
  std::atomic<int> faults{0};
  std::atomic<int> completed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        if (i % 3 == 0) {
          completed += completes_without_fault([](void*) {}, nullptr);
        } else {
          faults += !completes_without_fault(i % 2 ? undefined_instruction : read_null, nullptr);
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(completed, 4 * 67);
  EXPECT_EQ(faults, 4 * 133);
  EXPECT_EQ(g_host_calls, calls_before);
}

}  // namespace
}  // namespace tarn
#endif
