#!/usr/bin/env bash
# Builds the suite with ThreadSanitizer in a build folder of its own
# (build-tsan) and runs the tests labelled "driver" or "fiber": the driver's
# instance frame, its communication loops on their fibers and threads, the
# masters, exports, serial port and sockets, the windows and the scan that
# call it, and the fiber scheduler itself. Each fiber is a context of its own
# to ThreadSanitizer (platform/fiber/fiber.cpp), so locks held by one fiber
# across its waits are not taken for the thread's.
# Any report fails its test (halt_on_error), and so does a thread left
# unjoined when a test program ends (a thread leak).
# ThreadSanitizer cannot be combined with AddressSanitizer, so this is a
# separate configuration; scripts/test.sh keeps ASan+UBSan for everything.
# Environment: QMX_TSAN_BUILD_DIR (default build-tsan), QMX_JOBS.
set -euo pipefail
cd "$(dirname "$0")/.."
SOURCE_DIR=$PWD
BUILD_DIR=${QMX_TSAN_BUILD_DIR:-build-tsan}
JOBS=${QMX_JOBS:-$(nproc)}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQMX_SANITIZE=OFF -DQMX_WERROR=ON \
      -DQMX_BUILD_BENCH=OFF \
      "-DCMAKE_C_FLAGS=-fsanitize=thread -fno-omit-frame-pointer" \
      "-DCMAKE_CXX_FLAGS=-fsanitize=thread -fno-omit-frame-pointer" \
      "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread" \
      "-DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread" >/dev/null
# Every program with a test of those labels (a test whose program is not
# built fails, so one missing here shows).
targets=(
  driver_core_tests driver_dlopen_tests driver_modbus_tests driver_windows_tests driver_windows_ui_tests
  platform_fiber_tests platform_net_tests platform_serial_tests frame_scan_tests
  driver_icmp_fuzz_replay driver_store_image_fuzz_replay driver_modbus_reply_fuzz_replay
  driver_serial_reply_fuzz_replay driver_discovery_fuzz_replay driver_builtin_msg_fuzz_replay
  qmx-sim
)
cmake --build "$BUILD_DIR" -j "$JOBS" --target "${targets[@]}"
cd "$BUILD_DIR"
# halt_on_error: the first report fails its test; second_deadlock_stack
# helps to read lock-order reports; tsan.supp says what Qt is spared.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$SOURCE_DIR/scripts/tsan.supp ${TSAN_OPTIONS:-}"
ctest --output-on-failure -j "$JOBS" --timeout 300 -L '^(driver|fiber)$'
