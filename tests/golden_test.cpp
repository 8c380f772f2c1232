// Golden checksums: every build computes exactly the stored results.
#include "selftest/golden.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace tarn {
namespace {

using namespace selftest;

TEST(GoldenChecksums, EveryBuildReproducesTheStoredTable) {
  EXPECT_EQ(run_golden_check(stdout, golden_options_from_environment()), 0)
      << "see the lines above for each differing (operation, variant)";
}

// The switch that prints a case must show exactly the case that was folded.
TEST(GoldenChecksums, CasesAreReproducibleAndTracedAsFolded) {
  GoldenRun run;
  for (const Operation& op : slot_operations()) ASSERT_NE(op.driver, nullptr) << op.name;
  for (const GoldenSubject& s : golden_subjects()) {
    for (std::uint64_t i : {0u, 5u, 1000u}) {
      const std::uint64_t digest = case_digest(s, i);
      ASSERT_EQ(digest, case_digest(s, i)) << subject_name(s);
      char hex[32];
      std::snprintf(hex, sizeof hex, "%016llX", static_cast<unsigned long long>(digest));
      ASSERT_NE(describe_case(s, i).find(hex), std::string::npos) << subject_name(s);
    }
  }
}

}  // namespace
}  // namespace tarn
