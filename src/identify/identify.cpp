// MxIdentifyCPU and what it keeps: the identification rules bound to the real
// processor, and the library-wide results the other exports report.
#include "identify/identify.h"

#include <atomic>
#include <cstring>

#include "TarnLib2DLL.h"
#include "identify/host_processor.h"

namespace tarn::identify {
namespace {

// MxGetCPUVendor hands out this buffer itself, so it is a plain array.
char g_vendor[kVendorBufferSize] = "UndefinedCPU";
std::atomic<std::uint32_t> g_leaf1_features{0};
std::atomic<std::uint32_t> g_speed_mhz{0};

}  // namespace

std::uint32_t leaf1_features() {
  return g_leaf1_features.load(std::memory_order_relaxed);
}

}  // namespace tarn::identify

extern "C" {

MX_API MxCpuFlags MX_CALL MxIdentifyCPU(void) {
  using namespace tarn::identify;
  // The rules work on a copy, so what a call does not reach keeps its value.
  Identification state;
  std::memcpy(state.vendor.data(), g_vendor, kVendorBufferSize);
  state.leaf1_features = g_leaf1_features.load(std::memory_order_relaxed);
  state.speed_mhz = g_speed_mhz.load(std::memory_order_relaxed);

  HostProcessor cpu;
  const MxCpuFlags flags = identify(cpu, state);

  std::memcpy(g_vendor, state.vendor.data(), kVendorBufferSize);
  g_leaf1_features.store(state.leaf1_features, std::memory_order_relaxed);
  g_speed_mhz.store(state.speed_mhz, std::memory_order_relaxed);
  return flags;
}

MX_API const char* MX_CALL MxGetCPUVendor(void) {
  return tarn::identify::g_vendor;
}

MX_API uint32_t MX_CALL MxGetCPUSpeed(void) {
  return tarn::identify::g_speed_mhz.load(std::memory_order_relaxed);
}

}  // extern "C"
