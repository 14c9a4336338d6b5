#!/usr/bin/env bash
# First builds the delivered programs as Release with warnings as errors (the
# optimiser warns where a debug build does not) and packs them with cpack,
# checking that the package carries only shipped, stripped files and that the
# main program's start-up functions are linked side by side. Then builds
# every target with AddressSanitizer + UndefinedBehaviorSanitizer and
# warnings as errors, and runs the whole test suite. The suite's own
# libraries are built shared and debug sections compressed, which keeps the
# build folder near a gigabyte instead of several.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
JOBS=${QMX_JOBS:-$(nproc)}

RELEASE_DIR=${QMX_RELEASE_BUILD_DIR:-build-release}
cmake -S . -B "$RELEASE_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQMX_WERROR=ON \
      -DQMX_BUILD_TESTS=OFF -DQMX_BUILD_BENCH=OFF
cmake --build "$RELEASE_DIR" -j "$JOBS"
bash tests/install/package_contents.sh "$RELEASE_DIR" --package
bash tests/install/startup_order.sh "$RELEASE_DIR"

BUILD_DIR=${QMX_TEST_BUILD_DIR:-build-asan}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQMX_SANITIZE=ON -DQMX_WERROR=ON \
      -DQMX_BUILD_BENCH=ON -DQMX_SHARED_LIBS=ON \
      -DCMAKE_C_FLAGS=-gz -DCMAKE_CXX_FLAGS=-gz \
      -DCMAKE_EXE_LINKER_FLAGS=-Wl,--compress-debug-sections=zlib \
      -DCMAKE_SHARED_LINKER_FLAGS=-Wl,--compress-debug-sections=zlib \
      -DCMAKE_MODULE_LINKER_FLAGS=-Wl,--compress-debug-sections=zlib
cmake --build "$BUILD_DIR" -j "$JOBS"
cd "$BUILD_DIR"
ctest --output-on-failure -j "$JOBS" --timeout 300
