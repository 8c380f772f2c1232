// Implementation variants, each named by the instruction family it uses.
#pragma once

#include <cstdint>
#include <string_view>

namespace tarn {

enum class Variant : std::uint8_t {
  kX87,
  kCmov,
  kMmx,
  kMmxext,
  k3DNow,
  k3DNowMmxext,
  kExt3DNow,
  kExt3DNowMmxext,
  kSse,
  kCyrixEmmx,
  kNoOp,
  kCount
};

inline constexpr int kVariantCount = static_cast<int>(Variant::kCount);

constexpr std::string_view variant_name(Variant v) {
  constexpr std::string_view kNames[] = {
      "x87",    "CMOV",          "MMX",       "MMXext",
      "3DNow!", "3DNow!+MMXext", "ext3DNow!", "ext3DNow!+MMXext",
      "SSE",    "Cyrix EMMX",    "no-op",
  };
  static_assert(std::size(kNames) == static_cast<std::size_t>(Variant::kCount));
  return kNames[static_cast<int>(v)];
}

}  // namespace tarn
