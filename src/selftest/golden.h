// Golden checksums: one per (slot, variant), and one per single-axis rotation
// builder, over a fixed seeded case list. Every build must reproduce them
// exactly, whatever the compiler, processor or operating system; the stored
// values live in golden_checksums.inc.
//
// Switches (environment variables, read by golden_options_from_environment):
//   TARN_GOLDEN_PRINT=1          print the computed table in the .inc format
//   TARN_GOLDEN_RECORD=FILE      write every case's digest to FILE (on a good build)
//   TARN_GOLDEN_REFERENCE=FILE   on a mismatch, find the first case whose digest
//                                differs from FILE and print its inputs and outputs
//   TARN_GOLDEN_CASE=N           on a mismatch, print case N's inputs and outputs
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "dispatch/kernel.h"
#include "selftest/exercise.h"

namespace tarn::selftest {

inline constexpr int kGoldenCases = 2048;

struct GoldenSubject {
  const Operation* operation;
  Variant variant;  // Variant::kCount for an exported function
  GenericFn fn;
  bool excluded;  // the result depends on the processor's own estimate
  Kernel kernel = Kernel::kBaseline;
};

// Every slot implementation that is built, in every kernel this machine can
// run (each kernel owes the variant's stored checksum), then the rotation
// builders.
std::vector<GoldenSubject> golden_subjects();

std::string subject_name(const GoldenSubject& subject);

// The checksum of the first `cases` cases, and one case's digest and trace.
// The caller provides the state: a tier selected, the tables built, and the
// reference floating-point environment (GoldenRun does all three).
std::uint64_t subject_checksum(const GoldenSubject& subject, int cases = kGoldenCases);
std::uint64_t case_digest(const GoldenSubject& subject, std::uint64_t index);
std::string describe_case(const GoldenSubject& subject, std::uint64_t index);

// The stored value for a subject, if there is one.
std::optional<std::uint64_t> stored_checksum(const GoldenSubject& subject);

// Selects the x87 tier, builds the tables and sets the reference environment;
// restores every slot and the floating-point control state when it ends.
class GoldenRun {
 public:
  GoldenRun();
  ~GoldenRun();
  GoldenRun(const GoldenRun&) = delete;
  GoldenRun& operator=(const GoldenRun&) = delete;

 private:
  std::vector<GenericFn> saved_slots_;
  std::uint16_t x87_;
  std::uint32_t mxcsr_;
};

struct GoldenOptions {
  bool print_table = false;
  std::string record_file;
  std::string reference_file;
  std::optional<std::uint64_t> show_case;
};

GoldenOptions golden_options_from_environment();

// Checks every subject against the stored table, reports each difference (and
// what the options ask for) on `out`, and returns the number of differences
// plus the number of built subjects without a stored value.
int run_golden_check(std::FILE* out, const GoldenOptions& options);

}  // namespace tarn::selftest
