#!/usr/bin/env bash
# Speed of the data backup job against kuvzip-cli create on the benchmark data
# set (not part of the test run). The job backs up the files at the top of
# the data folder; its adding and writing phase (first FileAdd to the end of
# WriteZip, without the read-back, waits and timers) is timed against
# kuvzip-cli create on the same files, best of three each, and must stay
# within 1.1 times. During each run of the job a 10 ms QTimer on the thread's
# real event loop measures the window thread's longest stall (the longest
# time between two ticks, while window events could not run), printed as
# "longest window stall: N ms"; the goal is at most 100 ms.
#
#   tools/benchmark-job.sh [BUILD_DIR] [DATA_FOLDER]
#
# BUILD_DIR defaults to build; DATA_FOLDER to the data set of
# tools/benchmark.sh ($BENCH_DIR/data, default /tmp/kuvzip-bench/data), which
# that script generates on its first run.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
DATA=${2:-${BENCH_DIR:-/tmp/kuvzip-bench}/data}
TESTS="$PWD/$BUILD_DIR/bin/test_backup"
[ -x "$TESTS" ] || { echo "test_backup not found in $BUILD_DIR/bin (build first)" >&2; exit 1; }
[ -d "$DATA" ] || { echo "no data folder $DATA (run tools/benchmark.sh once to generate it)" >&2; exit 1; }
KUVZIP_BENCH_DATA="$DATA" QT_QPA_PLATFORM=offscreen \
    "$TESTS" --gtest_filter='DataBackupJobBenchTest.*' | grep -vE '^\[ *(RUN|OK|-+|=+) *\]|^Running main|^Note: |^$'
