// Loads and stores at byte addresses with no alignment rule: memcpy keeps an
// address that is not a multiple of the width merely slower, never undefined.
#pragma once

#include <cstdint>
#include <cstring>

namespace tarn::pixel {

using Byte = unsigned char;

inline std::uint32_t load32(const Byte* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void store32(Byte* p, std::uint32_t v) { std::memcpy(p, &v, 4); }
inline std::uint32_t load16(const Byte* p) {
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline void store16(Byte* p, std::uint32_t v) {
  const auto narrow = static_cast<std::uint16_t>(v);
  std::memcpy(p, &narrow, 2);
}

}  // namespace tarn::pixel
