// Loop shapes shared by the benchmarks: a throughput pass over an array of
// independent inputs, and a dependent chain where each result feeds the next
// call. Both count one item per operation.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>

namespace tarn::bench {

// One pass of op(i) for i in [0, n) per benchmark iteration.
template <class Op>
void run_passes(benchmark::State& state, int n, Op op) {
  for (auto _ : state) {
    for (int i = 0; i < n; ++i) op(i);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * n);
}

}  // namespace tarn::bench
