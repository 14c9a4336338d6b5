#!/usr/bin/env bash
# Builds every target with AddressSanitizer + UndefinedBehaviorSanitizer and
# warnings as errors, then runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD_DIR=${QMX_TEST_BUILD_DIR:-build-asan}
JOBS=${QMX_JOBS:-$(nproc)}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQMX_SANITIZE=ON -DQMX_WERROR=ON \
      -DQMX_BUILD_BENCH=ON
cmake --build "$BUILD_DIR" -j "$JOBS"
cd "$BUILD_DIR"
ctest --output-on-failure -j "$JOBS" --timeout 300
