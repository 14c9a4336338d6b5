#!/usr/bin/env bash
# Pictures of the windows as a user sees them, at 100 % and 200 % screen
# scale, kept as build artefacts in <build>/screenshots/100 and .../200:
# the main window with the TCP example project under a virtual X server, and
# the views and dialogs as the tests that draw them write them.
#
#   scripts/screenshots.sh [build folder, default build-asan]
#
# Needs xvfb-run and ImageMagick's import; the build must be complete.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build-asan}" && pwd)
[ -x "$build/dist/QMX410Tools" ] || { echo "screenshots: no program in $build/dist" >&2; exit 2; }
work=$(mktemp -d "${TMPDIR:-/tmp}/qmx-shots.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The tests of windows (labels), which write pictures of what they show into
# the build folder or their own folder below it.
labels='ui|widgets|frame|bootp|report'

for scale in 1 2; do
  out="$build/screenshots/$((scale * 100))"
  rm -rf "$out" && mkdir -p "$out"
  rm -rf "$work/dist" "$work/home" && cp -r "$build/dist" "$work/dist" && mkdir -p "$work/home"
  HOME="$work/home" QMX_LOCK_DIR="$work" ASAN_OPTIONS=detect_leaks=0 QT_SCALE_FACTOR=$scale \
    xvfb-run -a -s "-screen 0 $((1280 * scale))x$((800 * scale))x24" bash -c '
      "$1/QMX410Tools" "$1/Projects/ModbusTCP_Station.KPX" & pid=$!
      sleep 8
      import -window root "$2/main-window.png"
      kill $pid' _ "$work/dist" "$out"
  touch "$work/stamp"
  QT_SCALE_FACTOR=$scale ctest --test-dir "$build" -j "$(nproc)" -L "$labels" >"$out/ctest.log" 2>&1 || true
  find "$build" -maxdepth 1 -name '*.png' -newer "$work/stamp" -exec cp {} "$out/" \;
  find "$build/tests" -name '*.png' -newer "$work/stamp" -not -path '*report_pages*' -exec cp {} "$out/" \;
  echo "screenshots: $(ls "$out"/*.png | wc -l) pictures at $((scale * 100)) % in $out"
done
