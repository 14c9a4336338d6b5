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
# A Qt Widgets program needs a display; without one Qt would abort with a
# page of plugin names.
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "run: built $BUILD_DIR/dist/QMX410Tools, but there is no display to open its window on" \
       "(DISPLAY and WAYLAND_DISPLAY are not set): run this from a terminal of your desktop session," \
       "or under a virtual X server (xvfb-run -a bash scripts/run.sh)" >&2
  exit 1
fi
cd "$BUILD_DIR/dist"
exec ./QMX410Tools "$@"
