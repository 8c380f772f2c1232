#include "selftest/golden.h"

#include <cinttypes>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include "dispatch/registry.h"
#include "dispatch/tiers.h"
#include "isa/platform.h"
#include "selftest/fp_state.h"

namespace tarn::selftest {
namespace {

struct StoredChecksum {
  const char* operation;
  Variant variant;
  std::uint64_t checksum;
};

constexpr Variant kFunction = Variant::kCount;

constexpr StoredChecksum kStored[] = {
#include "selftest/golden_checksums.inc"
    {"", Variant::kCount, 0},  // ends the table (which is empty before generation)
};

// Where a 32-bit x86 build runs the x87 forms on the x87 unit, these replace
// the entries above for the x87 and CMOV forms of a few operations.
#if defined(TARN_X86_32)
constexpr StoredChecksum kStoredOnX87Unit[] = {
#include "selftest/golden_checksums_x87_unit.inc"
};
#else
constexpr StoredChecksum kStoredOnX87Unit[] = {{"", Variant::kCount, 0}};
#endif

constexpr bool only_x87_unit_forms(const auto& table) {
  for (const StoredChecksum& s : table) {
    if (s.variant != Variant::kX87 && s.variant != Variant::kCmov && s.variant != Variant::kCount) {
      return false;
    }
  }
  return true;
}
static_assert(only_x87_unit_forms(kStoredOnX87Unit),
              "only the forms that run on the x87 unit may differ there");

std::string variant_label(Variant v) {
  return v == kFunction ? std::string("function") : std::string(variant_name(v));
}

}  // namespace

std::vector<GoldenSubject> golden_subjects() {
  std::vector<GoldenSubject> subjects;
  const Kernel widest = machine_kernels().widest;
  for (const Operation& op : slot_operations()) {
    for (int v = 0; v < kVariantCount; ++v) {
      const auto variant = static_cast<Variant>(v);
      const SlotImpl* entry = find_entry(op.slot, variant);
      if (entry == nullptr) continue;
      for (int k = 0; k <= static_cast<int>(widest); ++k) {
        if (const GenericFn fn = entry->exact_kernel(k)) {
          subjects.push_back({&op, variant, fn, uses_processor_estimate(op.slot, variant),
                              static_cast<Kernel>(k)});
        }
      }
    }
  }
  // The rotation builders and the exact sine-cosine functions.
  for (const Operation& op : function_operations()) {
    subjects.push_back({&op, kFunction, op.self, false});
  }
  return subjects;
}

std::string subject_name(const GoldenSubject& subject) {
  std::string name = std::string(subject.operation->name) + " [" + variant_label(subject.variant);
  if (subject.kernel != Kernel::kBaseline) name += ", " + std::string(kernel_name(subject.kernel));
  return name + "]";
}

std::uint64_t subject_checksum(const GoldenSubject& subject, int cases) {
  std::uint64_t sum = 0xC0FFEEull;
  for (int i = 0; i < cases; ++i) {
    sum = (sum ^ case_digest(subject, static_cast<std::uint64_t>(i))) * 0x100000001B3ull;
    sum ^= sum >> 31;
  }
  return sum;
}

std::uint64_t case_digest(const GoldenSubject& subject, std::uint64_t index) {
  Digest digest;
  subject.operation->driver(subject.fn, index, digest);
  return digest.result();
}

std::string describe_case(const GoldenSubject& subject, std::uint64_t index) {
  std::string trace;
  Digest digest(&trace);
  subject.operation->driver(subject.fn, index, digest);
  char head[96];
  std::snprintf(head, sizeof head, "  case %" PRIu64 " (digest %016" PRIX64 "):", index,
                digest.result());
  return head + trace + "\n";
}

std::optional<std::uint64_t> stored_checksum(const GoldenSubject& subject) {
  const auto find_in = [&](const auto& table) -> std::optional<std::uint64_t> {
    for (const StoredChecksum& s : table) {
      if (s.variant == subject.variant && std::strcmp(s.operation, subject.operation->name) == 0) {
        return s.checksum;
      }
    }
    return std::nullopt;
  };
  if (const auto on_x87_unit = find_in(kStoredOnX87Unit)) return on_x87_unit;
  return find_in(kStored);
}

GoldenRun::GoldenRun() : x87_(fpu::read_x87_control()), mxcsr_(read_mxcsr()) {
  for (int i = 0; i < kSlotCount; ++i) saved_slots_.push_back(load_slot(static_cast<SlotId>(i)));
  MxInitLibForCPU(tier_flags(Tier::kX87));
  MxInitTables();
  set_reference_environment();
}

GoldenRun::~GoldenRun() {
  for (int i = 0; i < kSlotCount; ++i) store_slot(static_cast<SlotId>(i), saved_slots_[i]);
  fpu::write_x87_control(x87_);
  write_mxcsr(mxcsr_);
}

GoldenOptions golden_options_from_environment() {
  GoldenOptions options;
  if (const char* v = std::getenv("TARN_GOLDEN_PRINT")) options.print_table = *v && *v != '0';
  if (const char* v = std::getenv("TARN_GOLDEN_RECORD")) options.record_file = v;
  if (const char* v = std::getenv("TARN_GOLDEN_REFERENCE")) options.reference_file = v;
  if (const char* v = std::getenv("TARN_GOLDEN_CASE")) {
    options.show_case = std::strtoull(v, nullptr, 0);
  }
  return options;
}

namespace {

// Reference digests, keyed by "name [variant]", one vector of case digests each.
using ReferenceDigests = std::map<std::string, std::vector<std::uint64_t>>;

ReferenceDigests read_reference(const std::string& path) {
  ReferenceDigests reference;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    // name [variant] <tab> case <tab> digest
    const auto tab1 = line.find('\t');
    const auto tab2 = line.find('\t', tab1 + 1);
    if (tab1 == std::string::npos || tab2 == std::string::npos) continue;
    const std::size_t index = std::stoull(line.substr(tab1 + 1, tab2 - tab1 - 1));
    auto& digests = reference[line.substr(0, tab1)];
    if (digests.size() <= index) digests.resize(index + 1);
    digests[index] = std::stoull(line.substr(tab2 + 1), nullptr, 16);
  }
  return reference;
}

void report_first_difference(std::FILE* out, const GoldenSubject& subject,
                             const ReferenceDigests& reference) {
  const auto it = reference.find(subject_name(subject));
  if (it == reference.end()) {
    std::fprintf(out, "  (no reference digests for it)\n");
    return;
  }
  for (std::size_t i = 0; i < it->second.size(); ++i) {
    if (case_digest(subject, i) != it->second[i]) {
      std::fprintf(out, "  first differing case: %zu (reference digest %016" PRIX64 ")\n%s", i,
                   it->second[i], describe_case(subject, i).c_str());
      return;
    }
  }
  std::fprintf(out, "  every case matches the reference digests\n");
}

}  // namespace

int run_golden_check(std::FILE* out, const GoldenOptions& options) {
  GoldenRun run;
  const std::vector<GoldenSubject> subjects = golden_subjects();
  ReferenceDigests reference;
  if (!options.reference_file.empty()) reference = read_reference(options.reference_file);
  std::ofstream record;
  if (!options.record_file.empty()) record.open(options.record_file);

  int failures = 0;
  std::ostringstream table;
  for (const GoldenSubject& subject : subjects) {
    const std::string name = subject_name(subject);
    if (record.is_open()) {
      for (int i = 0; i < kGoldenCases; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "\t%d\t%016" PRIX64 "\n", i, case_digest(subject, i));
        record << name << line;
      }
    }
    if (subject.excluded) continue;
    const std::uint64_t actual = subject_checksum(subject);
    char entry[160];
    const std::string_view enumerator = variant_enumerator(subject.variant);
    std::snprintf(entry, sizeof entry, "{\"%s\", Variant::%.*s, 0x%016" PRIX64 "ull},\n",
                  subject.operation->name, static_cast<int>(enumerator.size()), enumerator.data(),
                  actual);
    if (subject.kernel == Kernel::kBaseline) table << entry;  // wider kernels owe the same

    const std::optional<std::uint64_t> expected = stored_checksum(subject);
    if (!expected) {
      ++failures;
      std::fprintf(out, "%s: no stored checksum (computed %016" PRIX64 ")\n", name.c_str(), actual);
      continue;
    }
    if (*expected == actual) continue;
    ++failures;
    std::fprintf(out, "%s: checksum %016" PRIX64 ", stored %016" PRIX64 "\n", name.c_str(), actual,
                 *expected);
    if (!reference.empty()) report_first_difference(out, subject, reference);
    if (options.show_case) std::fputs(describe_case(subject, *options.show_case).c_str(), out);
  }
  if (failures != 0 && !options.print_table) {
    std::fprintf(
        out,
        "To find the first differing case: run a good build with "
        "TARN_GOLDEN_RECORD=FILE, then this one with TARN_GOLDEN_REFERENCE=FILE.\n"
        "To regenerate the stored table after a deliberate change: TARN_GOLDEN_PRINT=1.\n");
  }
  if (options.print_table) std::fputs(table.str().c_str(), out);
  return failures;
}

}  // namespace tarn::selftest
