#!/usr/bin/env bash
# Speed of a copy to a cloud or exchange folder (temporary file, flush, cache
# dropped, read-back against the CRC-32, rotation of the generations) against
# cp followed by sync, on one archive and a folder of the same disk (not part
# of the test run). Best of three each; the copy must take at most 2.2 times.
#
#   tools/benchmark-copy.sh [BUILD_DIR] ARCHIVE [TARGET_FOLDER]
#
# TARGET_FOLDER defaults to the archive's folder.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
ARCHIVE=${2:?archive to copy}
TESTS="$PWD/$BUILD_DIR/bin/test_operations"
[ -x "$TESTS" ] || { echo "test_operations not found in $BUILD_DIR/bin (build first)" >&2; exit 1; }
[ -f "$ARCHIVE" ] || { echo "no archive $ARCHIVE" >&2; exit 1; }
KUVZIP_BENCH_ARCHIVE="$ARCHIVE" KUVZIP_BENCH_TARGET="${3:-}" \
    "$TESTS" --gtest_filter='CopyBenchTest.*' | grep -vE '^\[ *(RUN|OK|-+|=+) *\]|^Running main|^Note: |^$'
