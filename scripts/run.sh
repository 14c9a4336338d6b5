#!/usr/bin/env bash
# Installs what is missing, builds and stages the program folder, and starts
# QMX410Tools from it with the shipped catalogue.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
BUILD_DIR=${QMX_BUILD_DIR:-build}
JOBS=${QMX_JOBS:-$(nproc)}
# Release: the same tree is what `cpack` packs (stripped, no debug information).
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQMX_BUILD_TESTS=OFF -DQMX_BUILD_BENCH=OFF
cmake --build "$BUILD_DIR" -j "$JOBS"
cd "$BUILD_DIR/dist"
exec ./QMX410Tools "$@"
