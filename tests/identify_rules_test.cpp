// The identification rules on simulated processors, one row per processor
// class, and the speed measurement on a simulated clock.
#include <gtest/gtest.h>

#include <cstring>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "identify/identify.h"
#include "test_support.h"

namespace tarn::identify {
namespace {

constexpr std::uint16_t kHostControlWord = 0x027F;  // the caller's: 53-bit precision
constexpr std::uint16_t kInitialisedControlWord = 0x037F;
constexpr std::uint16_t kSingleControlWord = 0x007F;
constexpr std::uint32_t kHostMxcsr = 0x1F80;
constexpr std::uint32_t kFtz = 0x8000;

// Leaf-1 EDX of processors with a counter and CMPXCHG8B.
constexpr std::uint32_t kTimed = kLeaf1Tsc | kLeaf1Cx8;
constexpr std::uint32_t kPentium = kLeaf1Fpu | kTimed;
constexpr std::uint32_t kPentiumMmx = kPentium | kLeaf1Mmx;
constexpr std::uint32_t kPentiumII = kPentiumMmx | kLeaf1Cmov;
constexpr std::uint32_t kPentiumIII = kPentiumII | kLeaf1Sse;
constexpr std::uint32_t kAll3DNow = kExt3DNow | kExtExt3DNow | kExtMmxExt;

// What the simulated processor reports and how its probes behave.
struct Model {
  bool id_flag = true;
  const char* vendor = "GenuineIntel";
  std::uint32_t max_leaf = 1;
  std::uint32_t leaf1_eax = 0x0633;
  std::uint32_t leaf1_edx = 0;
  std::uint32_t max_ext_leaf = 0;
  std::uint32_t ext_edx = 0;
  bool sse_probe_ok = true;
  bool emmx_probe_ok = true;
  bool cpuid_enable_ok = false;     // the configuration-register sequence completes
  bool enable_sets_id_flag = true;  // ...and then CPUID works
  X87Kind x87 = X87Kind::k387OrLater;
  // The millisecond clock's first reading, the time each reading takes, and
  // the counter's rate: 1 GHz unless a test says otherwise.
  std::uint32_t clock_start_ms = 0;
  std::uint64_t us_per_clock_read = 250;
  std::uint64_t ticks_per_us = 1000;
};

// What a path must leave behind.
struct Expect {
  MxCpuFlags word;
  const char* vendor;  // after the call; "UndefinedCPU" when CPUID was not found
  bool speed_measured;
  std::uint16_t control_word;
  std::uint32_t mxcsr;
  unsigned visited = 0;  // kEmmxProbed | kExtLeafRead | kEnableTried
};

// What a path passes through on its way.
constexpr unsigned kEmmxProbed = 1, kExtLeafRead = 2, kEnableTried = 4;
constexpr bool kSpeed = true, kNoSpeed = false;

class SimulatedProcessor final : public Processor {
 public:
  explicit SimulatedProcessor(const Model& model) : model_(model), id_flag_(model.id_flag) {}

  bool id_flag_toggles() override { return id_flag_; }

  CpuidRegs cpuid(std::uint32_t leaf) override {
    EXPECT_TRUE(id_flag_) << "CPUID executed where it does not exist";
    CpuidRegs r;
    if (leaf == 0) {
      r.eax = model_.max_leaf;
      char text[13] = {};
      std::strncpy(text, model_.vendor, 12);
      std::memcpy(&r.ebx, text, 4);
      std::memcpy(&r.edx, text + 4, 4);
      std::memcpy(&r.ecx, text + 8, 4);
    } else if (leaf == 1) {
      EXPECT_GE(static_cast<std::int32_t>(model_.max_leaf), 1) << "leaf 1 read beyond the maximum";
      r.eax = model_.leaf1_eax;
      r.edx = model_.leaf1_edx;
    } else if (leaf == 0x80000000u) {
      r.eax = model_.max_ext_leaf;
    } else if (leaf == 0x80000001u) {
      ext_leaf_read = true;
      EXPECT_GE(model_.max_ext_leaf, 0x80000001u) << "extended leaf read beyond the maximum";
      r.edx = model_.ext_edx;
    }
    return r;
  }

  bool sse_probe_completes() override { return model_.sse_probe_ok; }
  bool cyrix_emmx_probe_completes() override {
    emmx_probed = true;
    return model_.emmx_probe_ok;
  }
  bool cyrix_cpuid_enable_completes() override {
    if (++cpuid_enable_attempts > 10) throw std::runtime_error("CPUID enabled without end");
    if (model_.cpuid_enable_ok && model_.enable_sets_id_flag) id_flag_ = true;
    return model_.cpuid_enable_ok;
  }
  X87Kind probe_x87() override {
    control_word = kInitialisedControlWord;
    return model_.x87;
  }

  std::uint32_t milliseconds() override {
    // A measurement that never ends fails the test instead of hanging it.
    if (++clock_reads > 1'000'000) throw std::runtime_error("the clock waits do not end");
    micros_ += model_.us_per_clock_read;
    return static_cast<std::uint32_t>(model_.clock_start_ms + micros_ / 1000);
  }
  std::uint64_t serialised_time_stamp() override {
    ++counter_reads;
    return micros_ * model_.ticks_per_us;
  }

  void set_x87_single_precision() override { control_word = kSingleControlWord; }
  void enable_flush_to_zero() override { mxcsr |= kFtz; }

  std::uint16_t control_word = kHostControlWord;
  std::uint32_t mxcsr = kHostMxcsr;
  bool emmx_probed = false;
  bool ext_leaf_read = false;
  int cpuid_enable_attempts = 0;
  int counter_reads = 0;
  int clock_reads = 0;

 private:
  Model model_;
  bool id_flag_;
  std::uint64_t micros_ = 0;
};

struct Row {
  const char* name;
  Model model;
  Expect expect;
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

Model no_cpuid(X87Kind x87) {
  Model m;
  m.id_flag = false;
  m.x87 = x87;
  return m;
}

Model with_edx(std::uint32_t edx, std::uint32_t max_ext = 0, std::uint32_t ext_edx = 0) {
  Model m;
  m.leaf1_edx = edx;
  m.max_ext_leaf = max_ext;
  m.ext_edx = ext_edx;
  return m;
}

Model amd(std::uint32_t edx, std::uint32_t ext_edx, std::uint32_t max_ext = 0x80000001u) {
  Model m = with_edx(edx, max_ext, ext_edx);
  m.vendor = "AuthenticAMD";
  m.leaf1_eax = 0x0622;
  return m;
}

Model cyrix(std::uint32_t signature, bool probe_ok) {
  Model m = with_edx(kPentiumII);
  m.vendor = "CyrixInstead";
  m.leaf1_eax = signature;
  m.emmx_probe_ok = probe_ok;
  return m;
}

Model os_without_sse() {
  Model m = with_edx(kPentiumIII);
  m.sse_probe_ok = false;
  return m;
}

Model cpuid_behind_config_registers(bool enable_works) {
  Model m = cyrix(0x0520, true);
  m.id_flag = false;
  m.leaf1_edx = kLeaf1Fpu;
  m.cpuid_enable_ok = true;
  m.enable_sets_id_flag = enable_works;
  return m;
}

Model leaf0_only(std::uint32_t max_leaf, X87Kind x87, bool enable_completes) {
  Model m;
  m.max_leaf = max_leaf;
  m.x87 = x87;
  m.cpuid_enable_ok = enable_completes;
  return m;
}

constexpr const char* kUndefined = "UndefinedCPU";
constexpr std::uint16_t kInitCw = kInitialisedControlWord;
constexpr std::uint16_t kSingleCw = kSingleControlWord;
constexpr std::uint32_t kCsr = kHostMxcsr;

const std::vector<Row>& rows() {
  // clang-format off
  static const std::vector<Row> kRows = {
      // Without CPUID: the configuration registers fault, then the x87 probe.
      {"NoCpuid387", no_cpuid(X87Kind::k387OrLater),
       {0x2, kUndefined, kNoSpeed, kInitCw, kCsr, kEnableTried}},
      {"NoCpuidNoFpu", no_cpuid(X87Kind::kNone),
       {0x80000000, kUndefined, kNoSpeed, kSingleCw, kCsr, kEnableTried}},
      {"NoCpuid8087", no_cpuid(X87Kind::k8087),
       {0x80000000, kUndefined, kNoSpeed, kSingleCw, kCsr, kEnableTried}},
      {"NoCpuid80287", no_cpuid(X87Kind::k80287),
       {0x80000000, kUndefined, kNoSpeed, kSingleCw, kCsr, kEnableTried}},
      // CPUID switched on through the configuration registers: identified again.
      {"CpuidEnabledByConfigRegisters", cpuid_behind_config_registers(true),
       {0x3, "CyrixInstead", kNoSpeed, kSingleCw, kCsr, kEnableTried}},
      // The sequence completes but CPUID stays off: one retry, then the x87.
      {"CpuidEnableHasNoEffect", cpuid_behind_config_registers(false),
       {0x2, kUndefined, kNoSpeed, kInitCw, kCsr, kEnableTried}},
      // CPUID whose highest standard leaf is below 1 (signed).
      {"Leaf0OnlyWith387", leaf0_only(0, X87Kind::k387OrLater, false),
       {0x2, "GenuineIntel", kNoSpeed, kInitCw, kCsr, kEnableTried}},
      {"Leaf0OnlyNoFpu", leaf0_only(0, X87Kind::kNone, false),
       {0x80000001, "GenuineIntel", kNoSpeed, kSingleCw, kCsr, kEnableTried}},
      {"NegativeHighestLeaf", leaf0_only(0x80000004u, X87Kind::kNone, false),
       {0x80000001, "GenuineIntel", kNoSpeed, kSingleCw, kCsr, kEnableTried}},
      {"Leaf0OnlyEnableCompletesBounded", leaf0_only(0, X87Kind::kNone, true),
       {0x80000001, "GenuineIntel", kNoSpeed, kSingleCw, kCsr, kEnableTried}},
      // Leaf 1.
      {"FpuBitClear", with_edx(kTimed | kLeaf1Mmx | kLeaf1Cmov),
       {0x80000001, "GenuineIntel", kSpeed, kSingleCw, kCsr}},
      {"FpuOnlyNoCounter", with_edx(kLeaf1Fpu), {0x3, "GenuineIntel", kNoSpeed, kSingleCw, kCsr}},
      {"FpuNoMmx", with_edx(kPentium), {0x3, "GenuineIntel", kSpeed, kSingleCw, kCsr}},
      {"FpuCmovNoMmx", with_edx(kPentium | kLeaf1Cmov),
       {0xB, "GenuineIntel", kSpeed, kSingleCw, kCsr}},
      {"MmxNoCmov", with_edx(kPentiumMmx), {0x7, "GenuineIntel", kSpeed, kSingleCw, kCsr}},
      {"MmxCmov", with_edx(kPentiumII), {0xF, "GenuineIntel", kSpeed, kSingleCw, kCsr}},
      {"CounterWithoutCx8", with_edx(kPentiumII & ~kLeaf1Cx8),
       {0xF, "GenuineIntel", kNoSpeed, kSingleCw, kCsr}},
      {"MmxBitWithoutFpu", with_edx(kTimed | kLeaf1Mmx | kLeaf1Sse),
       {0x80000001, "GenuineIntel", kSpeed, kSingleCw, kCsr}},
      {"SseWithOsSupport", with_edx(kPentiumIII),
       {0x24F, "GenuineIntel", kSpeed, kSingleCw, kCsr | kFtz}},
      {"SseWithoutOsSupport", os_without_sse(), {0x20F, "GenuineIntel", kSpeed, kSingleCw, kCsr}},
      // The extended leaf.
      {"Only3DNow", amd(kPentiumMmx, kExt3DNow),
       {0x17, "AuthenticAMD", kSpeed, kSingleCw, kCsr, kExtLeafRead}},
      {"Ext3DNow", amd(kPentiumMmx, kExt3DNow | kExtExt3DNow),
       {0x37, "AuthenticAMD", kSpeed, kSingleCw, kCsr, kExtLeafRead}},
      {"All3DNowNoCmov", amd(kPentiumMmx, kAll3DNow),
       {0x237, "AuthenticAMD", kSpeed, kSingleCw, kCsr, kExtLeafRead}},
      {"All3DNowCmov", amd(kPentiumII, kAll3DNow),
       {0x23F, "AuthenticAMD", kSpeed, kSingleCw, kCsr, kExtLeafRead}},
      {"SseAnd3DNowReportsNo3DNow", amd(kPentiumIII, kAll3DNow),
       {0x24F, "AuthenticAMD", kSpeed, kSingleCw, kCsr | kFtz}},
      {"ExtBits22And30Without31", amd(kPentiumII, kExtMmxExt | kExtExt3DNow),
       {0xF, "AuthenticAMD", kSpeed, kSingleCw, kCsr, kExtLeafRead}},
      {"HighestExtLeafTooLow", amd(kPentiumII, kAll3DNow, 0x80000000u),
       {0xF, "AuthenticAMD", kSpeed, kSingleCw, kCsr}},
      {"3DNowWithoutMmxUnread", amd(kPentium | kLeaf1Cmov, kAll3DNow),
       {0xB, "AuthenticAMD", kSpeed, kSingleCw, kCsr}},
      // Cyrix extended MMX.
      {"CyrixEmmxProbeSucceeds", cyrix(0x0600, true),
       {0x10F, "CyrixInstead", kSpeed, kSingleCw, kCsr, kEmmxProbed}},
      {"CyrixEmmxProbeFaults", cyrix(0x0600, false),
       {0x0F, "CyrixInstead", kSpeed, kSingleCw, kCsr, kEmmxProbed}},
      {"CyrixOtherSignature", cyrix(0x0601, true),
       {0x0F, "CyrixInstead", kSpeed, kSingleCw, kCsr}},
      {"CyrixSignatureHighBitsIgnored", cyrix(0x00FF0600, true),
       {0x10F, "CyrixInstead", kSpeed, kSingleCw, kCsr, kEmmxProbed}},
  };
  // clang-format on
  return kRows;
}

class IdentifyRules : public ::testing::TestWithParam<Row> {};

TEST_P(IdentifyRules, WordVendorFeaturesSpeedAndFloatingPointState) {
  const Row& row = GetParam();
  SimulatedProcessor cpu(row.model);
  Identification state;
  constexpr std::uint32_t kEarlierSpeed = 7;
  state.speed_mhz = kEarlierSpeed;

  EXPECT_EQ(identify(cpu, state), row.expect.word) << std::hex;
  EXPECT_STREQ(state.vendor.data(), row.expect.vendor);
  for (std::size_t i = kVendorLength; i < kVendorBufferSize; ++i) EXPECT_EQ(state.vendor[i], 0);

  // Leaf 1 is stored exactly when it was read.
  const bool leaf1_read =
      cpu.id_flag_toggles() && static_cast<std::int32_t>(row.model.max_leaf) >= 1;
  EXPECT_EQ(state.leaf1_features, leaf1_read ? row.model.leaf1_edx : 0u);

  // The simulated counter runs at 1 GHz over a window of exactly 1001 ms.
  EXPECT_EQ(state.speed_mhz, row.expect.speed_measured ? 1001u : kEarlierSpeed);
  EXPECT_EQ(cpu.counter_reads, row.expect.speed_measured ? 2 : 0);
  EXPECT_EQ(cpu.control_word, row.expect.control_word) << std::hex;
  EXPECT_EQ(cpu.mxcsr, row.expect.mxcsr) << std::hex;
  EXPECT_EQ(cpu.emmx_probed, (row.expect.visited & kEmmxProbed) != 0);
  EXPECT_EQ(cpu.ext_leaf_read, (row.expect.visited & kExtLeafRead) != 0);
  EXPECT_EQ(cpu.cpuid_enable_attempts, (row.expect.visited & kEnableTried) ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Processors, IdentifyRules, ::testing::ValuesIn(rows()), test::ParamName{});

TEST(IdentifyState, StartsUndefinedAndKeepsWhatACallDoesNotReach) {
  Identification state;
  EXPECT_STREQ(state.vendor.data(), "UndefinedCPU");
  EXPECT_EQ(state.leaf1_features, 0u);
  EXPECT_EQ(state.speed_mhz, 0u);

  // A first call on a Pentium III, then one on a processor without CPUID:
  // the vendor and the feature word survive, and so does the speed.
  SimulatedProcessor p3(with_edx(kPentiumIII));
  identify(p3, state);
  SimulatedProcessor no_id(no_cpuid(X87Kind::k387OrLater));
  EXPECT_EQ(identify(no_id, state), 0x2u);
  EXPECT_STREQ(state.vendor.data(), "GenuineIntel");
  EXPECT_EQ(state.leaf1_features, kPentiumIII);
  EXPECT_EQ(state.speed_mhz, 1001u);
}

TEST(SpeedArithmetic, TicksToMegahertz) {
  const struct {
    std::uint64_t ticks;
    std::uint32_t mhz;
  } kCases[] = {
      {0, 0},
      {998'999, 0},
      {999'000, 1},
      {999'999'000, 1000},
      {999'998'999, 999},
      {1'001'000'000, 1001},
      {4'294'967'295ull * 1'000'000ull, 4'294'967'295u},
  };
  for (const auto& c : kCases) EXPECT_EQ(mhz_from_ticks(c.ticks), c.mhz) << c.ticks;
}

TEST(SpeedMeasurement, ClockThatWrapsOrCrossesTheSignedBoundary) {
  const struct {
    std::uint32_t start_ms;
    std::uint64_t step_us;
    std::uint64_t ticks_per_us;
    std::uint32_t mhz;
  } kCases[] = {
      {0, 250, 1000, 1001},
      {0xFFFFFF00u, 250, 1000, 1001},   // wraps to zero mid-window
      {0xFFFFFFFFu, 250, 1000, 1001},   // wraps during the alignment
      {0x7FFFFF00u, 250, 1000, 1001},   // the signed boundary mid-window
      {0x7FFFFFFFu, 100, 300, 300},     // boundary during the alignment; 300 MHz
      {0xFFFFFE00u, 1000, 2400, 2402},  // one reading per millisecond
  };
  for (const auto& c : kCases) {
    Model model;
    model.clock_start_ms = c.start_ms;
    model.us_per_clock_read = c.step_us;
    model.ticks_per_us = c.ticks_per_us;
    SimulatedProcessor clock(model);
    EXPECT_EQ(measure_speed_mhz(clock), c.mhz) << std::hex << c.start_ms;
  }
}

}  // namespace
}  // namespace tarn::identify
