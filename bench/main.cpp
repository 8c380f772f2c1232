// tarn_bench: every slot of the shared library, each distinct implementation
// of it, next to the peers a user could call instead.
//
//   tarn_bench [--tarn_library=PATH] [--tarn_quick] [--tarn_describe] [benchmark flags]
//
// Names read "<job>/<implementation>": "MxTSin.tput/tarn CMOV", "MxTSin.tput/glibc".
// Jobs ending in .tput time a pass over an array of independent inputs,
// .chain a dependent chain (each result feeds the next call). Per-operation
// times come from items_per_second, bandwidths from bytes_per_second.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dispatch/slots.h"
#include "library.h"

namespace {

// Prints which distinct implementations each slot has and which tiers bind
// them, as JSON, for bench/compare.
void describe() {
  const auto& lib = tarn::bench::Library::get();
  std::printf("{\n");
  bool first_slot = true;
  for (const auto& info : tarn::kSlots) {
    std::printf("%s  \"%s\": [", first_slot ? "" : ",\n", info.name);
    first_slot = false;
    bool first = true;
    for (const auto& v : lib.variants(info.id)) {
      std::printf("%s{\"variant\": \"%s\", \"tiers\": [", first ? "" : ", ", v.label.c_str());
      first = false;
      for (std::size_t i = 0; i < v.tiers.size(); ++i)
        std::printf("%s\"%s\"", i ? ", " : "", v.tiers[i].c_str());
      std::printf("]}");
    }
    std::printf("]");
  }
  std::printf("\n}\n");
}

}  // namespace

int main(int argc, char** argv) {
  std::string library = TARN_BENCH_LIBRARY;
  bool describe_only = false;
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--tarn_library=", 15) == 0) {
      library = argv[i] + 15;
    } else if (std::strcmp(argv[i], "--tarn_quick") == 0) {
      tarn::bench::set_quick(true);
    } else if (std::strcmp(argv[i], "--tarn_describe") == 0) {
      describe_only = true;
    } else {
      rest.push_back(argv[i]);
    }
  }
  tarn::bench::Library::load(library);
  if (describe_only) {
    describe();
    return 0;
  }

  int rest_count = static_cast<int>(rest.size());
  benchmark::Initialize(&rest_count, rest.data());
  if (benchmark::ReportUnrecognizedArguments(rest_count, rest.data())) return 1;

  tarn::bench::register_dispatch_floor();
  tarn::bench::register_trig();
  tarn::bench::register_matrix();
  tarn::bench::register_vector();
  tarn::bench::register_scalar();
  tarn::bench::register_memory();
  tarn::bench::register_blit();

  benchmark::AddCustomContext("library", library);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
