// Shared pieces of the fuzz targets: implementations by variant, and a hard
// stop that libFuzzer reports with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "dispatch/registry.h"

namespace tarn::fuzz {

template <SlotId S>
std::vector<typename SlotTraits<S>::Fn> implementations() {
  std::vector<typename SlotTraits<S>::Fn> fns;
  for (int v = 0; v < kVariantCount; ++v) {
    if (const GenericFn fn = find_impl(S, static_cast<Variant>(v))) {
      fns.push_back(reinterpret_cast<typename SlotTraits<S>::Fn>(fn));
    }
  }
  return fns;
}

[[noreturn]] inline void fail(const char* what) {
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

inline void check(bool ok, const char* what) {
  if (!ok) fail(what);
}

}  // namespace tarn::fuzz
