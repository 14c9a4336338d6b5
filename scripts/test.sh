#!/usr/bin/env bash
# First builds the delivered programs as Release with warnings as errors (the
# optimiser warns where a debug build does not) into build/, the tree that
# `scripts/run.sh` builds, and packs them with cpack, checking that the
# package carries only shipped, stripped files and that the main program's
# start-up functions are linked side by side; then tries the README's roads
# on that tree (tests/install/readme_roads.sh). Then builds every target with
# AddressSanitizer + UndefinedBehaviorSanitizer and warnings as errors, and
# runs the whole test suite. Last, the driver and fiber tests run again
# under ThreadSanitizer (scripts/tsan.sh, a build folder of its own). The
# suite's own libraries are built shared and
# debug sections compressed, which keeps the build folder near a gigabyte
# instead of several.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
JOBS=${QMX_JOBS:-$(nproc)}

# The Release tree is the one `bash scripts/run.sh` builds (build/), so the
# README's roads are tried on what a new user has after the set-up.
RELEASE_DIR=${QMX_RELEASE_BUILD_DIR:-build}
cmake -S . -B "$RELEASE_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQMX_WERROR=ON \
      -DQMX_BUILD_TESTS=OFF -DQMX_BUILD_BENCH=OFF
cmake --build "$RELEASE_DIR" -j "$JOBS"
bash tests/install/package_contents.sh "$RELEASE_DIR" --package
bash tests/install/startup_order.sh "$RELEASE_DIR"
if [ "$RELEASE_DIR" = build ]; then bash tests/install/readme_roads.sh; fi

BUILD_DIR=${QMX_TEST_BUILD_DIR:-build-asan}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQMX_SANITIZE=ON -DQMX_WERROR=ON \
      -DQMX_BUILD_BENCH=ON -DQMX_SHARED_LIBS=ON \
      -DCMAKE_C_FLAGS=-gz -DCMAKE_CXX_FLAGS=-gz \
      -DCMAKE_EXE_LINKER_FLAGS=-Wl,--compress-debug-sections=zlib \
      -DCMAKE_SHARED_LINKER_FLAGS=-Wl,--compress-debug-sections=zlib \
      -DCMAKE_MODULE_LINKER_FLAGS=-Wl,--compress-debug-sections=zlib
cmake --build "$BUILD_DIR" -j "$JOBS"
(cd "$BUILD_DIR" && ctest --output-on-failure -j "$JOBS" --timeout 300)

QMX_JOBS=$JOBS bash scripts/tsan.sh
