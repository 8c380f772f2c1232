#!/usr/bin/env bash
# Hardening checks beyond the unit suite, each in its own build tree:
#   asan        the whole test suite under AddressSanitizer + UndefinedBehaviorSanitizer
#               (halts on the first report)                                  build-asan/
#   tsan        the concurrency tests under ThreadSanitizer                  build-tsan/
#   exhaustive  every float pattern through the lookups, every blend triple,  build/
#               TARN_DOUBLE_SWEEP_COUNT (default 20000000) random double
#               angles through the double-angle sine-cosine (full: 100000000),
#               and every TARN_FLOAT_SWEEP_STRIDE-th (default 8) float pattern
#               through the float-angle sine-cosine against LLVM libc
#               (full, every pattern: TARN_FLOAT_SWEEP_STRIDE=1; MPFR on a
#               fixed sample where LLVM libc is missing)
#   fuzz        each libFuzzer target for TARN_FUZZ_SECONDS (default 20)     build-fuzz/
# Usage: tools/hardening.sh [stage...]   (no stage: all four, in that order)
# Environment: TARN_FUZZ_SECONDS, TARN_CONCURRENCY_ROUNDS (tsan, default 20),
# TARN_DOUBLE_SWEEP_COUNT, TARN_FLOAT_SWEEP_STRIDE.
set -euo pipefail
cd "$(dirname "$0")/.."

stages=("$@")
((${#stages[@]})) || stages=(asan tsan exhaustive fuzz)
fuzz_seconds=${TARN_FUZZ_SECONDS:-20}

bash tools/install-deps.sh clang-14 libclang-rt-14-dev libllvmlibc-19-dev libmpfr-dev

passed=0
failed=0
run_stage() {
  local name=$1
  shift
  local start=$SECONDS
  echo "==== hardening: $name"
  if "$@"; then
    passed=$((passed + 1))
    echo "==== hardening: $name passed in $((SECONDS - start)) s"
  else
    failed=$((failed + 1))
    echo "==== hardening: $name FAILED after $((SECONDS - start)) s"
  fi
}

stage_asan() {
  cmake --preset asan >/dev/null &&
    cmake --build --preset asan -j2 &&
    ctest --preset asan
}

stage_tsan() {
  cmake --preset tsan >/dev/null &&
    cmake --build --preset tsan -j2 --target tarn_tests first_init_tables &&
    ctest --preset tsan
}

stage_exhaustive() {
  cmake --preset default >/dev/null &&
    cmake --build --preset default -j2 --target tarn_exhaustive tarn_double_sweep tarn_float_sweep &&
    build/tests/tarn_exhaustive &&
    build/tests/tarn_double_sweep "${TARN_DOUBLE_SWEEP_COUNT:-20000000}" &&
    build/tests/tarn_float_sweep "${TARN_FLOAT_SWEEP_STRIDE:-8}" || return 1
  # The exact sine-cosine's other forms, where this processor runs them
  # (exit status 3: it does not), over a shorter sample.
  local form status
  for form in fused plain; do
    build/tests/tarn_double_sweep 2000000 --form "$form"
    status=$?
    ((status == 3)) && continue
    ((status == 0)) && build/tests/tarn_float_sweep 257 --form "$form" || return 1
  done
}

stage_fuzz() {
  cmake --preset fuzz >/dev/null &&
    cmake --build --preset fuzz -j2 || return 1
  local target work status=0
  for target in fuzz_blit fuzz_dwords fuzz_angles; do
    # Work on a copy of the checked-in corpus, so a run never edits the tree.
    work=$(mktemp -d)
    mkdir "$work/corpus"
    cp -r "tests/fuzz/corpus/$target/." "$work/corpus/" 2>/dev/null || true
    echo "-- $target for ${fuzz_seconds} s"
    if (cd "$work" && "$OLDPWD/build-fuzz/tests/fuzz/$target" -max_total_time="$fuzz_seconds" \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 corpus >fuzz.log 2>&1); then
      grep -E '^Done|number_of_executed_units|new_units_added' "$work/fuzz.log" || true
      rm -rf "$work"
    else
      status=1
      grep -E 'ERROR|SUMMARY|fuzz check failed|runtime error|^    #[0-9] ' "$work/fuzz.log" | head -n 20
      echo "-- $target found a fault: reproducer $work/crash-*, log $work/fuzz.log"
      echo "   (replay: build-fuzz/tests/fuzz/$target CRASH_FILE; TARN_FUZZ_VERBOSE=1 shows the blit's arguments)"
    fi
  done
  return $status
}

for stage in "${stages[@]}"; do
  case $stage in
    asan | tsan | exhaustive | fuzz) run_stage "$stage" "stage_$stage" ;;
    *)
      echo "unknown stage: $stage (asan, tsan, exhaustive, fuzz)" >&2
      exit 2
      ;;
  esac
done

echo "hardening: $passed passed, $failed failed"
((failed == 0))
