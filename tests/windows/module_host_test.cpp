// A host program that uses the library the way its users do: it loads the
// shared module by name at run time and reaches everything through the export
// table. It checks
//   - every export resolves, and on Windows by ordinal to the same address,
//     and the export directory holds exactly the 99 names with their ordinals;
//   - the scratch records' placement and their 0x3F bytes at load, and that
//     every slot starts null;
//   - tier selection through the module, and every operation called through
//     the module against the same operation in the statically linked library,
//     bit for bit, on seeded inputs (this crosses the module boundary with
//     every argument and result type of the interface).
// Usage: module_host_test [--digest] [module path]
//   --digest prints one line per (tier, operation): a hash of every result,
//   NaNs folded to one pattern, for comparing builds on different platforms.
#include <array>
#include <bit>
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>

#include "TarnLib2DLL.h"
#include "dispatch/exports.h"
#include "dispatch/registry.h"
#include "dispatch/slots.h"
#include "dispatch/tiers.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif
#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define TARN_HOST_MXCSR 1
#endif

namespace {

// ---- Loading the module ----------------------------------------------------

#if defined(_WIN32)
constexpr const char* kDefaultModule = "TarnLib2DLL.dll";
using Module = HMODULE;
Module open_module(const char* path) {
  return LoadLibraryA(path);
}
void* by_name(Module m, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(m, name));
}
void* by_ordinal(Module m, int ordinal) {
  return reinterpret_cast<void*>(GetProcAddress(m, MAKEINTRESOURCEA(ordinal)));
}
#else
constexpr const char* kDefaultModule = "libTarnLib2DLL.so";
using Module = void*;
Module open_module(const char* path) {
  return dlopen(path, RTLD_NOW | RTLD_LOCAL);
}
void* by_name(Module m, const char* name) {
  return dlsym(m, name);
}
#endif

// ---- Reporting ---------------------------------------------------------------

int g_passed = 0;
int g_failed = 0;

bool check(bool ok, const std::string& what) {
  if (ok) {
    ++g_passed;
  } else {
    ++g_failed;
    std::printf("FAILED: %s\n", what.c_str());
  }
  return ok;
}

struct ExportEntry {
  int ordinal;
  const char* name;
};

constexpr ExportEntry kExportList[] = {
#define TARN_ENTRY(ordinal, name, ...) {ordinal, #name},
    TARN_EXPORTS(TARN_ENTRY, TARN_ENTRY, TARN_ENTRY)
#undef TARN_ENTRY
};

// ---- Export table ------------------------------------------------------------

void check_exports(Module module) {
  for (const ExportEntry& e : kExportList) {
    void* named = by_name(module, e.name);
    check(named != nullptr, std::string("export by name: ") + e.name);
#if defined(_WIN32)
    check(by_ordinal(module, e.ordinal) == named,
          std::string("export by ordinal agrees with name: ") + e.name);
#endif
  }

#if defined(_WIN32)
  // The export directory itself: ordinals 1..99, one name for each, nothing
  // else (no decorated duplicates, no runtime symbols).
  const auto* base = reinterpret_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  check(exports->Base == 1, "export ordinals start at 1");
  check(exports->NumberOfFunctions == 99, "export table has 99 entries");
  if (!check(exports->NumberOfNames == 99, "export table has 99 names")) return;
  const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  const auto* name_ordinals = reinterpret_cast<const WORD*>(base + exports->AddressOfNameOrdinals);
  int matched = 0;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    const char* name = reinterpret_cast<const char*>(base + names[i]);
    const int ordinal = static_cast<int>(name_ordinals[i] + exports->Base);
    for (const ExportEntry& e : kExportList) {
      if (std::strcmp(e.name, name) == 0 && e.ordinal == ordinal) ++matched;
    }
  }
  check(matched == 99, "every exported name carries its own ordinal");
  check(std::strcmp(reinterpret_cast<const char*>(base + exports->Name), "TarnLib2DLL.dll") == 0,
        "module name in the export directory");
#endif
}

// ---- Records and the freshly loaded state -------------------------------------

void check_records(Module module) {
  const auto* mat1 = static_cast<const unsigned char*>(by_name(module, "g_mat1"));
  const auto* vec1 = static_cast<const unsigned char*>(by_name(module, "g_vec1"));
  if (!check(mat1 && vec1, "records resolve")) return;
  check(reinterpret_cast<std::uintptr_t>(mat1) % 256 == 0, "g_mat1 on a 256-byte boundary");
  check(reinterpret_cast<std::uintptr_t>(vec1) % 64 == 16, "g_vec1 16 bytes past a 64-byte line");
  for (int i = 1; i <= 16; ++i) {
    const std::string n = std::to_string(i);
    check(by_name(module, ("g_mat" + n).c_str()) == mat1 + 64 * (i - 1),
          "g_mat" + n + " placement");
    check(by_name(module, ("g_vec" + n).c_str()) == vec1 + 64 * (i - 1),
          "g_vec" + n + " placement");
  }
  bool all_3f = true;
  for (int i = 0; i < 1024; ++i) all_3f &= mat1[i] == 0x3F && vec1[i - 16] == 0x3F;
  check(all_3f, "both record blocks hold 0x3F bytes at load");
  float first;
  std::memcpy(&first, mat1, sizeof first);
  check(std::bit_cast<std::uint32_t>(first) == 0x3F3F3F3Fu, "a record float reads 0x3F3F3F3F");
}

void check_slots_null(Module module, const char* when) {
  for (const tarn::SlotInfo& s : tarn::kSlots) {
    auto* var = static_cast<tarn::GenericFn*>(by_name(module, s.name));
    check(var && *var == nullptr, std::string("slot null ") + when + ": " + s.name);
  }
}

// ---- Calling operations on both sides ------------------------------------------

// Every pointer argument gets its own buffer: a matrix, a vector line or a run
// of up to 48 dwords for the operations, two 16x16 surfaces for the blit.
template <int kWords>
struct Buffers {
  alignas(64) std::uint32_t buffers[4][kWords];
  bool operator==(const Buffers& other) const {
    return std::memcmp(buffers, other.buffers, sizeof buffers) == 0;
  }
};
using Arena = Buffers<64>;
using Surfaces = Buffers<256>;

float pick_float(std::uint64_t raw) {
  constexpr float kSpecial[] = {0.0f,   -0.0f,  1.0f,     -1.0f,  INFINITY,    -INFINITY,
                                NAN,    1e-40f, 3.4e38f,  1e30f,  3.14159274f, 90.0f,
                                720.5f, -1e5f,  402.123f, -0.001f};
  if (raw % 8 == 0) return kSpecial[(raw >> 3) % std::size(kSpecial)];
  const float magnitude = std::ldexp(1.0f + static_cast<float>((raw >> 8) & 0xFFFFF) / 1048576.0f,
                                     static_cast<int>((raw >> 28) % 22) - 9);
  return (raw >> 63) ? -magnitude : magnitude;
}

template <typename A>
void fill(A& arena, std::mt19937_64& rng) {
  for (auto& buffer : arena.buffers) {
    for (std::uint32_t& word : buffer) word = std::bit_cast<std::uint32_t>(pick_float(rng()));
  }
}

// One argument from its raw random word; the same raw word gives the same
// argument on both sides, pointers each into their own side's arena.
template <typename T>
T make_arg(std::uint64_t raw, int index, int first_unsigned, Arena& arena) {
  if constexpr (std::is_same_v<T, float>) {
    return pick_float(raw);
  } else if constexpr (std::is_same_v<T, double>) {
    return static_cast<double>(pick_float(raw)) * (1.0 + static_cast<double>(raw >> 40) * 1e-9);
  } else if constexpr (std::is_same_v<T, std::int32_t>) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(raw));
  } else if constexpr (std::is_same_v<T, std::uint32_t>) {
    // The first unsigned argument is a dword count within the buffers.
    return index == first_unsigned ? static_cast<std::uint32_t>(raw % 49)
                                   : static_cast<std::uint32_t>(raw);
  } else {
    static_assert(std::is_pointer_v<T>);
    return reinterpret_cast<T>(arena.buffers[index % 4]);
  }
}

template <typename... A, std::size_t... I>
constexpr int first_unsigned_index(std::index_sequence<I...>) {
  int index = -1;
  ((index = (index < 0 && std::is_same_v<A, std::uint32_t>) ? static_cast<int>(I) : index), ...);
  return index;
}

std::uint32_t fold_nan(std::uint32_t word) {
  return (word & 0x7F800000u) == 0x7F800000u && (word & 0x007FFFFFu) ? 0x7FC00000u : word;
}

struct Digest {
  std::uint64_t hash = 0xcbf29ce484222325ull;
  void add(std::uint32_t word) {
    for (int i = 0; i < 4; ++i) hash = (hash ^ ((word >> (8 * i)) & 0xFF)) * 0x100000001b3ull;
  }
  template <int kWords>
  void add(const Buffers<kWords>& arena) {
    for (const auto& buffer : arena.buffers) {
      for (std::uint32_t word : buffer) add(fold_nan(word));
    }
  }
  template <typename R>
  void add_result(R r) {
    if constexpr (std::is_same_v<R, double>) {
      const auto b = std::bit_cast<std::uint64_t>(r);
      add(std::isnan(r) ? 0x7FF80000u : static_cast<std::uint32_t>(b >> 32));
      add(std::isnan(r) ? 0u : static_cast<std::uint32_t>(b));
    } else if constexpr (std::is_same_v<R, float>) {
      add(fold_nan(std::bit_cast<std::uint32_t>(r)));
    } else if constexpr (std::is_pointer_v<R>) {
      add(0);  // pointers differ between modules by nature
    } else if constexpr (!std::is_void_v<R>) {
      add(static_cast<std::uint32_t>(r));
    }
  }
};

template <typename R>
std::uint64_t result_bits(R r) {
  if constexpr (std::is_floating_point_v<R>) {
    if constexpr (sizeof(R) == 8)
      return std::bit_cast<std::uint64_t>(r);
    else
      return std::bit_cast<std::uint32_t>(r);
  } else if constexpr (std::is_pointer_v<R>) {
    return 0;
  } else {
    return static_cast<std::uint64_t>(r);
  }
}

template <typename R, typename... A, std::size_t... I>
bool compare_call(R (*module_fn)(A...), R (*static_fn)(A...), std::mt19937_64& rng, Digest& digest,
                  std::index_sequence<I...> seq) {
  std::uint64_t raw[sizeof...(A) + 1];
  for (std::uint64_t& r : raw) r = rng();
  constexpr int first_unsigned = first_unsigned_index<A...>(seq);
  Arena through_module, through_static;
  fill(through_module, rng);
  std::memcpy(&through_static, &through_module, sizeof through_module);
  if constexpr (std::is_void_v<R>) {
    module_fn(make_arg<A>(raw[I], static_cast<int>(I), first_unsigned, through_module)...);
    static_fn(make_arg<A>(raw[I], static_cast<int>(I), first_unsigned, through_static)...);
    digest.add(through_module);
    return through_module == through_static;
  } else {
    const R a =
        module_fn(make_arg<A>(raw[I], static_cast<int>(I), first_unsigned, through_module)...);
    const R b =
        static_fn(make_arg<A>(raw[I], static_cast<int>(I), first_unsigned, through_static)...);
    digest.add_result(a);
    digest.add(through_module);
    return result_bits(a) == result_bits(b) && through_module == through_static;
  }
}

template <typename R, typename... A>
bool compare_call(R (*module_fn)(A...), R (*static_fn)(A...), std::mt19937_64& rng,
                  Digest& digest) {
  return compare_call(module_fn, static_fn, rng, digest, std::index_sequence_for<A...>{});
}

// The blit with arguments inside its contract: an 8x8 rectangle at most, from a
// 16x16 source onto a 16x16 surface of 32 or 16 bits per pixel.
bool compare_call(MxAlphaBlt32Fn module_fn, MxAlphaBlt32Fn static_fn, std::mt19937_64& rng,
                  Digest& digest) {
  Surfaces through_module, through_static;
  fill(through_module, rng);
  for (std::uint32_t& pixel : through_module.buffers[0]) {
    const std::uint32_t alpha[] = {0x00, 0xFF, static_cast<std::uint32_t>(rng() & 0xFF)};
    pixel = (pixel & 0x00FFFFFFu) | (alpha[rng() % 3] << 24);
  }
  std::memcpy(&through_static, &through_module, sizeof through_module);
  constexpr std::int32_t kRedMasks[] = {0x7C00, 0x0F00, 0xF800};
  const std::int32_t bpp = rng() % 2 ? 32 : 16;
  const std::int32_t sx = rng() % 4, sy = rng() % 4, dx = rng() % 12, dy = rng() % 12;
  const std::int32_t w = 1 + rng() % 8, h = 1 + rng() % 8, mask = kRedMasks[rng() % 3];
  const std::int32_t dst_pitch = bpp == 32 ? 64 : 32;
  auto run = [&](MxAlphaBlt32Fn fn, Surfaces& arena) {
    fn(arena.buffers[0], sx, sy, w, h, 64, arena.buffers[1], dx, dy, 16, 16, dst_pitch, bpp, mask);
  };
  run(module_fn, through_module);
  run(static_fn, through_static);
  digest.add(through_module);
  return through_module == through_static;
}

constexpr int kCallsPerOperation = 200;

template <typename Fn>
void compare_operation(const char* tier, const char* name, Fn module_fn, Fn static_fn,
                       bool print_digest) {
  if (!check((module_fn == nullptr) == (static_fn == nullptr),
             std::string(tier) + " " + name + ": bound alike in the module and the static library"))
    return;
  if (module_fn == nullptr) return;
  Digest seed;  // from the name alone, the same on every platform
  for (const char* c = name; *c; ++c) seed.add(static_cast<unsigned char>(*c));
  std::mt19937_64 rng(seed.hash);
  Digest digest;
  int mismatches = 0;
  for (int i = 0; i < kCallsPerOperation; ++i) {
    if (!compare_call(module_fn, static_fn, rng, digest)) ++mismatches;
  }
  check(mismatches == 0, std::string(tier) + " " + name + ": " + std::to_string(mismatches) +
                             " calls differ between the module and the static library");
  if (print_digest)
    std::printf("digest %s %s %016llx\n", tier, name, static_cast<unsigned long long>(digest.hash));
}

template <typename T>
T resolve(Module module, const char* name) {
  return reinterpret_cast<T>(by_name(module, name));
}

template <std::size_t... S>
void compare_slots(Module module, const char* tier, bool print_digest, std::index_sequence<S...>) {
  (
      [&] {
        constexpr tarn::SlotId id = static_cast<tarn::SlotId>(S);
        using Traits = tarn::SlotTraits<id>;
        auto* variable = resolve<typename Traits::Fn*>(module, Traits::kName);
        if (variable)
          compare_operation(tier, Traits::kName, *variable, Traits::variable(), print_digest);
      }(),
      ...);
}

#define TARN_COMPARE_FUNCTION(name) \
  compare_operation(tier, #name, resolve<decltype(&::name)>(module, #name), &::name, print_digest)

void compare_tier(Module module, tarn::Tier tier_id, bool print_digest) {
  std::string tier_label(tarn::tier_name(tier_id));
  for (char& c : tier_label) c = c == '+' ? '_' : c;
  const char* tier = tier_label.c_str();
  const MxCpuFlags word = tarn::tier_flags(tier_id);
  auto module_init = resolve<decltype(&MxInitLibForCPU)>(module, "MxInitLibForCPU");
  auto module_tables = resolve<decltype(&MxInitTables)>(module, "MxInitTables");
  check(module_init(word) == 1 && MxInitLibForCPU(word) == 1, std::string(tier) + ": selected");
  check(module_tables() == 1 && MxInitTables() == 1, std::string(tier) + ": tables built");
  compare_slots(module, tier, print_digest, std::make_index_sequence<tarn::kSlotCount>{});
  // The functions that call slots inside the module, and the exact forms.
  TARN_COMPARE_FUNCTION(MxRotXMat);
  TARN_COMPARE_FUNCTION(MxRotYMat);
  TARN_COMPARE_FUNCTION(MxRotZMat);
  TARN_COMPARE_FUNCTION(MxDegRotXMat);
  TARN_COMPARE_FUNCTION(MxDegRotYMat);
  TARN_COMPARE_FUNCTION(MxDegRotZMat);
  TARN_COMPARE_FUNCTION(MxSinCosFFF);
  TARN_COMPARE_FUNCTION(MxSinCosDDD);
  TARN_COMPARE_FUNCTION(MxSinCosDDF);
  TARN_COMPARE_FUNCTION(MxSinCosFFD);
}

void check_selection_failure(Module module) {
  auto module_init = resolve<decltype(&MxInitLibForCPU)>(module, "MxInitLibForCPU");
  auto* idmat = resolve<MxIdMatFn*>(module, "MxIdMat");
  const MxIdMatFn before = *idmat;
  check(module_init(0) == 0 && module_init(0x80000000u) == 0 && module_init(0x24D) == 0,
        "a word without the FPU bit is refused");
  check(*idmat == before, "a refused word changes no slot");
}

}  // namespace

int main(int argc, char** argv) {
  bool print_digest = false;
  const char* path = kDefaultModule;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--digest") == 0)
      print_digest = true;
    else
      path = argv[i];
  }
  Module module = open_module(path);
  if (!module) {
    std::printf("cannot load %s\n", path);
    return 2;
  }

  check_exports(module);
  check_records(module);
  check_slots_null(module, "at load");
  auto module_init = resolve<decltype(&MxInitLibForCPU)>(module, "MxInitLibForCPU");
  if (module_init) {
    check(module_init(0) == 0, "word 0 refused on a fresh module");
    check_slots_null(module, "after a refused word");
  }

  auto module_identify = resolve<decltype(&MxIdentifyCPU)>(module, "MxIdentifyCPU");
  auto module_vendor = resolve<decltype(&MxGetCPUVendor)>(module, "MxGetCPUVendor");
  if (module_identify && module_vendor) {
    // Identification turns on flush-to-zero where it finds SSE; the results
    // below are compared across platforms, so they run in the default
    // floating-point environment everywhere.
    std::fenv_t environment;
    std::fegetenv(&environment);
#if defined(TARN_HOST_MXCSR)
    const unsigned mxcsr = _mm_getcsr();  // not every C runtime's environment holds it
#endif
    check(module_identify() == MxIdentifyCPU(), "identification agrees with the static library");
    check(std::strcmp(module_vendor(), MxGetCPUVendor()) == 0, "vendor text agrees");
    std::fesetenv(&environment);
#if defined(TARN_HOST_MXCSR)
    _mm_setcsr(mxcsr);
#endif
  }

  if (module_init) {
    for (int t = 0; t < tarn::kTierCount; ++t) {
      compare_tier(module, static_cast<tarn::Tier>(t), print_digest);
    }
    check_selection_failure(module);
  }

  std::printf("module_host_test: %d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
