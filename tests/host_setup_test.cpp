// Every test runs on a thread set up as a host sets up its own: the x87 forms
// are defined for the single precision that MxInitTables leaves behind (on a
// 32-bit x86 build they run on the x87 unit itself). Tests that need other
// settings make them and restore these.
#include <gtest/gtest.h>

#include "TarnLib2DLL.h"
#include "isa/fpu_control.h"

namespace {

class HostSetup : public ::testing::Environment {
 public:
  void SetUp() override { MxInitTables(); }
};

const ::testing::Environment* const g_host_setup =
    ::testing::AddGlobalTestEnvironment(new HostSetup);

TEST(HostSetup, TestsRunAtSinglePrecision) {
  if (!tarn::fpu::kHasX87) GTEST_SKIP() << "no x87 unit";
  EXPECT_EQ(tarn::fpu::read_x87_control() & tarn::fpu::kPrecisionControlMask, 0);
}

}  // namespace
