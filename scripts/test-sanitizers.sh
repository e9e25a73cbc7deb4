#!/usr/bin/env bash
# Builds the engine, its command-line tool and their tests with ASan and UBSan
# and runs those tests; then once more with ThreadSanitizer (its own build
# folder), which must find no data race between the engine's worker threads
# and the caller's thread.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKUVZIP_SANITIZE=ON -DKUVZIP_ENGINE_ONLY=ON
cmake --build build-sanitize -j"$(nproc)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize -j"$(nproc)" --output-on-failure

cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKUVZIP_TSAN=ON
cmake --build build-tsan -j"$(nproc)"
# Left out: the gigabyte tests ("big"), far too slow under the sanitizer, and
# the tests that bound their own running time (the sanitizer makes every
# step several times slower).
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1" \
  ctest --test-dir build-tsan -j"$(nproc)" -LE big --output-on-failure \
    -E 'EndRecordSearch\.(CrowdOfEndRecordsOverAFullDirectoryIsBounded|EndRecordsAtEveryDirectoryOffsetSpendTheBudget)|Mutation\.SeededByteFlipsNeverCrash'
