// Seeded drivers for every operation of the library, shared by the golden
// checksums, the floating-point hygiene check, the concurrency test and
// `tarn-info --self-test`.
//
// A driver runs one numbered case of one operation: it derives the inputs
// from the operation and the case number alone (the same on every build),
// calls the implementation it is given on records of its own (stack storage,
// so concurrent drivers never share a record), and folds everything the call
// returned or wrote, the untouched parts of its records included, into a
// Digest.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "dispatch/slots.h"
#include "dispatch/variant.h"

namespace tarn::selftest {

// An order-dependent 64-bit digest of 32-bit words. NaNs fold as one value:
// their sign and payload are the processor's choice, not the library's.
class Digest {
 public:
  explicit Digest(std::string* trace = nullptr) : trace_(trace) {}

  void word(std::uint32_t w);
  void value(float f);
  void value(double d);
  void value(std::int32_t i) { word(static_cast<std::uint32_t>(i)); }
  void value(std::uint32_t u) { word(u); }

  // Folds raw memory as little-endian 32-bit words (the last one zero-padded).
  void bytes(const void* data, std::size_t size);

  // Folds a float record (a matrix, a vector) element by element, each NaN as
  // one value: which operand's NaN an instruction passes on is the
  // compiler's choice of operand order.
  void floats(const void* record, std::size_t size);

  // Labels for the trace only (inputs are not folded: they are fixed by the
  // case number).
  void note(const char* label, const void* data, std::size_t size);
  void label(const char* text);

  std::uint64_t result() const { return state_; }

 private:
  std::uint64_t state_ = 0xCBF29CE484222325ull;
  std::string* trace_;
};

// The deterministic generator behind every case (SplitMix64).
class CaseRng {
 public:
  CaseRng(std::uint32_t stream, std::uint64_t index);
  std::uint64_t next();
  std::uint32_t below(std::uint32_t bound);  // 0 .. bound-1 (bound > 0)
  float any_float();                         // specials, ordinary values, raw bits
  float ordinary_float();                    // finite, magnitudes 2^-20 .. 2^20
  float angle();                             // mostly within a few turns, some far out
  std::int32_t any_int();

 private:
  std::uint64_t state_;
};

using GenericFn = void (*)();

// Runs case `index` of an operation through `fn` (an implementation of the
// operation's type) and folds its effects into `digest`.
using Driver = void (*)(GenericFn fn, std::uint64_t index, Digest& digest);

struct Operation {
  const char* name;
  Driver driver;
  bool is_slot;
  SlotId slot;     // valid when is_slot
  GenericFn self;  // the exported function, when not a slot
};

// The 50 slots, indexed by SlotId.
std::span<const Operation> slot_operations();

// The exported functions that run per call: the single-axis rotation builders
// (which call through slots) and the exact sine-cosine functions.
std::span<const Operation> function_operations();

// Whether a variant of a slot takes its result from the processor's own SSE
// reciprocal or reciprocal-square-root estimate, which differs between
// processor makers (so no fixed checksum can hold for it).
bool uses_processor_estimate(SlotId slot, Variant variant);

}  // namespace tarn::selftest
