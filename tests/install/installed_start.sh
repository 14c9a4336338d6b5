#!/usr/bin/env bash
# The installed program folder as a normal user meets it: the install tree
# goes into a temporary root (cmake --install --prefix), its program folder
# is made read-only, and the main program is started offscreen as a user who
# cannot write there (nobody, when this runs as root). The program must keep
# its log files, work folder and settings in the user's XDG folders, seeded
# from the shipped settings, and say so in its log.
#
#   tests/install/installed_start.sh <build folder>
set -euo pipefail

build=$(cd "${1:?usage: $0 <build folder>}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/qmx-install.XXXXXX")
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null || true; fi
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "installed start: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/root" >/dev/null
prog="$work/root/opt/qmx410tools"
for f in QMX410Tools Tessivar.so Rendaval Tools/Plenvar QMX410Tools.xml Products Image Help Projects; do
  [ -e "$prog/$f" ] || fail "the install tree lacks $f"
done
for f in Log '~tmp'; do
  [ ! -e "$prog/$f" ] || fail "the install tree carries the build's $f"
done

# The desktop entry starts the installed program and names the installed icon.
desktop="$work/root/usr/share/applications/qmx410tools.desktop"
[ -f "$desktop" ] || fail "no desktop entry"
grep -qx 'Exec=/opt/qmx410tools/QMX410Tools %f' "$desktop" || fail "the desktop entry starts another program"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$work/root/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon '$icon' installed"
if command -v desktop-file-validate >/dev/null 2>&1; then desktop-file-validate "$desktop"; fi

# A user who may not write to the program folder, with a home of their own.
chmod -R a-w "$prog"
chmod 755 "$work"
home="$work/home"
mkdir -p "$home/run"
chmod 700 "$home/run"
runas=()
if [ "$(id -u)" -eq 0 ]; then
  command -v setpriv >/dev/null 2>&1 || fail "setpriv is needed to start the program as nobody"
  chown -R nobody "$home"
  runas=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups --)
fi

log_dir="$home/.local/share/qmx410tools/Log"
# Starts the installed program (arguments: what its log must show, then the
# program's arguments) and stops it once the log shows it, plus a moment for
# the rest of the start-up. The program writes its log line by line.
run_program() {
  local expect=$1
  shift
  env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home/run" QMX_LOCK_DIR="$home/run" \
      QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0 \
      "${runas[@]}" "$prog/QMX410Tools" "$@" >"$work/stdout" 2>&1 &
  pid=$!
  local seen=0
  for _ in $(seq 1 600); do
    if grep -qs -- "$expect" "$log_dir"/*.log; then
      seen=1
      break
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  [ "$seen" -eq 1 ] && sleep 1 && { kill -0 "$pid" 2>/dev/null || fail "the program ended during its start-up"; }
  kill -TERM "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=""
  if [ "$seen" -ne 1 ]; then
    cat "$work/stdout" >&2 || true
    cat "$log_dir"/*.log >&2 2>/dev/null || true
    fail "the log in $log_dir never showed: $expect"
  fi
}

# First start: the per-user folders are made, seeded and named in the log.
run_program "are kept in $home/.local/share/qmx410tools"
grep -qs "is started" "$log_dir"/*.log || fail "no start-up banner in the log"
settings="$home/.config/qmx410tools/QMX410Tools.xml"
cmp -s "$settings" "$prog/QMX410Tools.xml" || fail "the settings were not seeded from the shipped file"
[ -d "$home/.local/share/qmx410tools/~tmp" ] || fail "no per-user work folder"
for f in "$prog"/Projects/*; do
  [ -f "$home/.local/share/qmx410tools/Projects/$(basename "$f")" ] || fail "example $(basename "$f") not copied"
done

# Second start with the user's copy of an example: it opens with the driver
# library of the read-only program folder.
example="$home/.local/share/qmx410tools/Projects/ModbusTCP_Station.KPX"
run_program "Open project is completed. Path: $example" "$example"
grep -q "Error Code" "$log_dir"/*.log && { cat "$log_dir"/*.log >&2; fail "the start-up logged an error"; }

# Third start over the user's settings cut short, as a save killed while it
# rewrote them might have left them: the file is kept aside, the shipped one
# takes its place, and the catalogue loads (the example opens again).
: >"$settings"
mkdir "$work/earlier-logs"
mv "$log_dir"/*.log "$work/earlier-logs/"
run_program "Open project is completed. Path: $example" "$example"
grep -qs "The settings file $settings cannot be read" "$log_dir"/*.log || fail "no line on the broken settings"
[ -f "$settings.broken" ] && [ ! -s "$settings.broken" ] || fail "the broken settings were not kept"
cmp -s "$settings" "$prog/QMX410Tools.xml" || fail "the shipped settings did not take the broken ones' place"
echo "installed start: logs, work folder, settings and projects in $home's XDG folders"
