#!/usr/bin/env bash
# Builds the engine, its command-line tool and their tests with ASan and UBSan
# and runs those tests.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKUVZIP_SANITIZE=ON -DKUVZIP_ENGINE_ONLY=ON
cmake --build build-sanitize -j"$(nproc)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize -j"$(nproc)" --output-on-failure
