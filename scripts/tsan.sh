#!/usr/bin/env bash
# Builds the driver library and its tests with ThreadSanitizer in a build
# folder of its own (build-tsan) and runs the tests labelled "driver": the
# driver's instance frame, communication thread, masters, exports and the
# serial port.
# ThreadSanitizer cannot be combined with AddressSanitizer, so this is a
# separate configuration; scripts/test.sh keeps ASan+UBSan for everything.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${QMX_TSAN_BUILD_DIR:-build-tsan}
JOBS=${QMX_JOBS:-$(nproc)}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQMX_SANITIZE=OFF -DQMX_WERROR=ON \
      -DQMX_BUILD_BENCH=OFF \
      "-DCMAKE_C_FLAGS=-fsanitize=thread -fno-omit-frame-pointer" \
      "-DCMAKE_CXX_FLAGS=-fsanitize=thread -fno-omit-frame-pointer" \
      "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread" \
      "-DCMAKE_SHARED_LINKER_FLAGS=-fsanitize=thread"
cmake --build "$BUILD_DIR" -j "$JOBS" --target driver_core_tests driver_dlopen_tests driver_modbus_tests \
      platform_serial_tests driver_icmp_fuzz_replay driver_modbus_reply_fuzz_replay driver_builtin_msg_fuzz_replay qmx-sim
cd "$BUILD_DIR"
# halt_on_error: the first race fails its test; second_deadlock_stack helps
# to read lock-order reports.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 ${TSAN_OPTIONS:-}"
ctest --output-on-failure -j "$JOBS" --timeout 300 -L '^driver$'
