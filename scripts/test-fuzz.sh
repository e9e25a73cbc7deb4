#!/usr/bin/env bash
# Builds the engine's fuzz targets (tests/fuzz) with clang, libFuzzer, ASan
# and UBSan, runs the three side by side for FUZZ_SECONDS (60) each on their
# seed inputs, then replays every regression input through its target.
# A finding (a failed check, a sanitizer report, a leak, a timeout, memory
# exhausted) fails the step and prints the input's path and the report.
#   FUZZ_SECONDS=1800 bash scripts/test-fuzz.sh   # a longer run
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

seconds="${FUZZ_SECONDS:-60}"
build="${FUZZ_BUILD_DIR:-build-fuzz}"
launcher=()
if [ -n "${CCACHE_DIR:-}" ] && command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKUVZIP_FUZZ=ON \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)"

inputs="$build/fuzz"
runs="$build/fuzz-runs"
rm -rf "$runs"
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
common=(-timeout=25 -rss_limit_mb=2048 -dict="$inputs/zip.dict")
targets=(read update roundtrip)
passed=0
failed=0

# Every target must have its seeds and its regression inputs.
for t in "${targets[@]}"; do
  [ -n "$(ls -A "$inputs/seeds/$t" 2>/dev/null)" ] || { echo "no seed inputs for fuzz_$t" >&2; exit 1; }
  [ -n "$(ls -A "$inputs/regressions/$t" 2>/dev/null)" ] || { echo "no regression inputs for fuzz_$t" >&2; exit 1; }
done

# ---- the runs, side by side ----
pids=()
for t in "${targets[@]}"; do
  mkdir -p "$runs/$t/corpus" "$runs/$t/findings"
  "$build/bin/fuzz_$t" "${common[@]}" -max_total_time="$seconds" -max_len=32768 -print_final_stats=1 \
    -artifact_prefix="$runs/$t/findings/" "$runs/$t/corpus" "$inputs/seeds/$t" >"$runs/$t/log" 2>&1 &
  pids+=($!)
done
for i in "${!targets[@]}"; do
  t="${targets[$i]}"
  log="$runs/$t/log"
  if wait "${pids[$i]}"; then
    passed=$((passed + 1))
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -1 || true)
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz_$t: ${seconds} s, ${execs:-?} execs, $(grep -oE 'cov: [0-9]+ ft: [0-9]+' <<<"$done_line" || echo 'cov ?')"
  else
    failed=$((failed + 1))
    echo "fuzz_$t: FINDING, input kept in $runs/$t/findings/:"
    ls -1 "$runs/$t/findings/"
    grep -E 'check failed|ERROR:|SUMMARY:' "$log" | head -5
    grep -E '^ +#[0-9]+ ' "$log" | head -12
  fi
done

# ---- the regressions, one by one ----
for t in "${targets[@]}"; do
  for input in "$inputs/regressions/$t"/*; do
    log="$runs/$t/regression-$(basename "$input").log"
    if "$build/bin/fuzz_$t" "${common[@]}" "$input" >"$log" 2>&1; then
      passed=$((passed + 1))
    else
      failed=$((failed + 1))
      echo "regression $t/$(basename "$input"): FAILS"
      grep -E 'check failed|ERROR:|SUMMARY:' "$log" | head -3
    fi
  done
done

echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
