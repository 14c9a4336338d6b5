#!/usr/bin/env bash
# Builds every target with AddressSanitizer + UndefinedBehaviorSanitizer and
# warnings as errors, then runs the whole test suite. The suite's own
# libraries are built shared and debug sections compressed, which keeps the
# build folder near a gigabyte instead of several.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD_DIR=${QMX_TEST_BUILD_DIR:-build-asan}
JOBS=${QMX_JOBS:-$(nproc)}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQMX_SANITIZE=ON -DQMX_WERROR=ON \
      -DQMX_BUILD_BENCH=ON -DQMX_SHARED_LIBS=ON \
      -DCMAKE_C_FLAGS=-gz -DCMAKE_CXX_FLAGS=-gz \
      -DCMAKE_EXE_LINKER_FLAGS=-Wl,--compress-debug-sections=zlib \
      -DCMAKE_SHARED_LINKER_FLAGS=-Wl,--compress-debug-sections=zlib \
      -DCMAKE_MODULE_LINKER_FLAGS=-Wl,--compress-debug-sections=zlib
cmake --build "$BUILD_DIR" -j "$JOBS"
cd "$BUILD_DIR"
ctest --output-on-failure -j "$JOBS" --timeout 300
