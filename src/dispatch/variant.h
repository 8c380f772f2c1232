// Implementation variants, each named by the instruction family it uses.
#pragma once

#include <cstdint>
#include <iterator>
#include <string_view>

namespace tarn {

// Every variant once: its enumerator (also its spelling in the golden
// checksum files) and its display name. Everything that names variants
// derives from this list.
#define TARN_VARIANTS(X)                    \
  X(kX87, "x87")                            \
  X(kCmov, "CMOV")                          \
  X(kMmx, "MMX")                            \
  X(kMmxext, "MMXext")                      \
  X(k3DNow, "3DNow!")                       \
  X(k3DNowMmxext, "3DNow!+MMXext")          \
  X(kExt3DNow, "ext3DNow!")                 \
  X(kExt3DNowMmxext, "ext3DNow!+MMXext")    \
  X(kSse, "SSE")                            \
  X(kCyrixEmmx, "Cyrix EMMX")               \
  X(kNoOp, "no-op")

enum class Variant : std::uint8_t {
#define TARN_VARIANT_ENUMERATOR(enumerator, name) enumerator,
  TARN_VARIANTS(TARN_VARIANT_ENUMERATOR)
#undef TARN_VARIANT_ENUMERATOR
  kCount
};

inline constexpr int kVariantCount = static_cast<int>(Variant::kCount);

struct VariantNames {
  std::string_view enumerator;
  std::string_view display;
};

// Indexed by the enumerator; the last entry names kCount itself.
inline constexpr VariantNames kVariantNames[] = {
#define TARN_VARIANT_NAMES(enumerator, name) {#enumerator, name},
    TARN_VARIANTS(TARN_VARIANT_NAMES)
#undef TARN_VARIANT_NAMES
    {"kCount", "none"},
};
static_assert(std::size(kVariantNames) == static_cast<std::size_t>(Variant::kCount) + 1);

constexpr std::string_view variant_name(Variant v) {
  return kVariantNames[static_cast<int>(v)].display;
}

// The enumerator's own spelling, as the golden checksum files write it.
constexpr std::string_view variant_enumerator(Variant v) {
  return kVariantNames[static_cast<int>(v)].enumerator;
}

}  // namespace tarn
