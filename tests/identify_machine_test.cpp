// Identification on the machine running the tests, checked against what the
// kernel and the processor report independently.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "identify/host_processor.h"
#include "identify/identify.h"
#include "identify_support.h"
#include "test_support.h"

#if defined(TARN_TEST_X86)
#include <cpuid.h>
#include <x86intrin.h>
#endif

namespace tarn::identify {
namespace {

using test::identified_machine;

#if defined(TARN_TEST_X86)

// The first processor's flags from /proc/cpuinfo; empty where there is none.
std::set<std::string> kernel_cpu_flags() {
  std::ifstream in("/proc/cpuinfo");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("flags", 0) != 0) continue;
    std::istringstream words(line.substr(line.find(':') + 1));
    std::set<std::string> flags;
    for (std::string w; words >> w;) flags.insert(w);
    return flags;
  }
  return {};
}

// The capability word as the kernel's flags describe the processor.
MxCpuFlags word_from_kernel_flags(const std::set<std::string>& f) {
  const auto has = [&](const char* name) { return f.count(name) != 0; };
  MxCpuFlags word = MxCpuCPUID;
  if (!has("fpu")) return word | MxCpuNoFPU;
  word |= MxCpuFPU;
  if (has("cmov")) word |= MxCpuCMOV;
  if (!has("mmx")) return word;
  word |= MxCpuMMX;
  if (has("sse")) return word | MxCpuSSE | MxCpuMMXExt;  // the kernel enables SSE
  if (has("3dnow")) {
    word |= MxCpu3DNow;
    if (has("3dnowext")) word |= MxCpuExt3DNow;
    if (has("mmxext")) word |= MxCpuMMXExt;
  }
  return word;
}

// One test, so that a run with one process per test identifies only once.
TEST(IdentifyMachine, AgreesWithTheKernelCpuidAndTheCounter) {
  const test::MachineIdentification& id = identified_machine();

  const std::set<std::string> flags = kernel_cpu_flags();
  if (!flags.empty()) {
    EXPECT_EQ(id.word, word_from_kernel_flags(flags)) << "word vs /proc/cpuinfo " << std::hex;
  }
  EXPECT_EQ(MxInitLibForCPU(id.word), 1);

  unsigned eax, ebx, ecx, edx;
  __cpuid(0, eax, ebx, ecx, edx);
  char vendor[13] = {};
  std::memcpy(vendor, &ebx, 4);
  std::memcpy(vendor + 4, &edx, 4);
  std::memcpy(vendor + 8, &ecx, 4);
  EXPECT_EQ(id.vendor, vendor);
  for (int i = 12; i < 16; ++i) EXPECT_EQ(MxGetCPUVendor()[i], '\0');
  __cpuid(1, eax, ebx, ecx, edx);
  EXPECT_EQ(leaf1_features(), edx) << std::hex;

  ASSERT_TRUE(id.word & MxCpuCPUID);
  EXPECT_EQ(id.control_word_after, 0x007F) << std::hex;
  if (id.word & MxCpuSSE) {
    EXPECT_EQ(id.mxcsr_after, id.mxcsr_before | 0x8000u) << std::hex;
  }

  if (!has_usable_counter(leaf1_features())) return;
  using Clock = std::chrono::steady_clock;
  const Clock::time_point t0 = Clock::now();
  const std::uint64_t c0 = __rdtsc();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const std::uint64_t c1 = __rdtsc();
  const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
  const double counter_mhz = static_cast<double>(c1 - c0) / seconds / 1e6;
  // The library's window is 1001 ms or a little more, read as one second.
  EXPECT_GT(id.mhz, counter_mhz * 0.9);
  EXPECT_LT(id.mhz, counter_mhz * 1.15);
  // The latest identification's speed: in a suite run as one process, other
  // tests may have identified since.
  EXPECT_GT(MxGetCPUSpeed(), counter_mhz * 0.9);
  EXPECT_LT(MxGetCPUSpeed(), counter_mhz * 1.15);
}

TEST(HostProcessor, ProbesOnThisMachine) {
  HostProcessor cpu;
  EXPECT_TRUE(cpu.id_flag_toggles());
  EXPECT_TRUE(cpu.sse_probe_completes());
  // The configuration registers are out of user code's reach.
  EXPECT_FALSE(cpu.cyrix_emmx_probe_completes());
  EXPECT_FALSE(cpu.cyrix_cpuid_enable_completes());

  const std::uint16_t saved = fpu::read_x87_control();
  fpu::write_x87_control(0x007F);
  EXPECT_EQ(cpu.probe_x87(), X87Kind::k387OrLater);
  EXPECT_EQ(fpu::read_x87_control(), 0x037F) << std::hex;
  cpu.set_x87_single_precision();
  EXPECT_EQ(fpu::read_x87_control(), 0x007F) << std::hex;
  fpu::write_x87_control(saved);
}

#endif

TEST(HostProcessor, MillisecondClockFollowsSteadyTime) {
  HostProcessor cpu;
  const std::uint32_t before = cpu.milliseconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const auto elapsed = static_cast<std::int32_t>(cpu.milliseconds() - before);
  EXPECT_GE(elapsed, 49);
  EXPECT_LT(elapsed, 1000);
}

}  // namespace
}  // namespace tarn::identify
