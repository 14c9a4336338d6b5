#!/usr/bin/env bash
# F1 as a user presses it: the staged program runs on a virtual X server of
# this test's own, the keys come from the X server (xdotool through XTEST to
# the focused window, never to a widget directly), and a help viewer named by
# $QMX_HELP_VIEWER records the topic each F1 opens. Each row of the table
# brings a context to the front, presses F1 there and names the page that
# must open.
#
#   tests/frame_commands/help_keys_x11.sh <staged program folder> [picture folder]
set -euo pipefail

dist=$(cd "${1:?usage: $0 <staged program folder> [picture folder]}" && pwd)
pictures=${2:-}
for tool in Xvfb xdotool; do
  command -v "$tool" >/dev/null 2>&1 || { echo "help keys: $tool is needed (scripts/install-deps.sh)" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/qmx-help-keys.XXXXXX")
xvfb="" program=""
cleanup() {
  if [ -n "$program" ]; then kill -KILL "$program" 2>/dev/null || true; fi
  if [ -n "$xvfb" ]; then kill -TERM "$xvfb" 2>/dev/null || true; fi
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "help keys: $*" >&2
  if [ -n "$pictures" ] && command -v import >/dev/null 2>&1; then
    import -window root "$pictures/help_keys_x11_failure.png" 2>/dev/null || true
  fi
  exit 1
}

# Waits, bounded, until a command succeeds.
wait_for() {
  local what=$1
  shift
  for _ in $(seq 1 300); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  fail "no $what"
}

# The X server picks a free display and says which.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
wait_for "X display" grep -q . "$work/display"
export DISPLAY=":$(head -n1 "$work/display")"

cp -r "$dist" "$work/dist"
mkdir -p "$work/home/run" && chmod 700 "$work/home/run"
topics="$work/topics"
: >"$topics"
cat >"$work/viewer" <<EOF
#!/bin/sh
printf '%s\n' "\$1" >>"$topics"
EOF
chmod +x "$work/viewer"

env -i PATH="$PATH" HOME="$work/home" XDG_RUNTIME_DIR="$work/home/run" QMX_LOCK_DIR="$work/home/run" \
    DISPLAY="$DISPLAY" QMX_HELP_VIEWER="$work/viewer" ASAN_OPTIONS=detect_leaks=0 \
    "$work/dist/QMX410Tools" "$work/dist/Projects/ModbusTCP_Station.KPX" >"$work/program.log" 2>&1 &
program=$!

# Finds a shown window by its whole title; empty when there is none (yet).
window_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1; }
has_window() { [ -n "$(window_named "$1")" ]; }
no_window() { [ -z "$(window_named "$1")" ]; }
# An open menu is a window of its own, without a title.
shown_windows() { xdotool search --onlyvisible --class . 2>/dev/null | wc -l; }
more_windows_than() { [ "$(shown_windows)" -gt "$1" ]; }
at_most_windows() { [ "$(shown_windows)" -le "$1" ]; }
main=$(timeout 120 xdotool search --sync --onlyvisible --name '^QMX-410 Tools \[' | head -n1) ||
  { cat "$work/program.log" >&2; fail "the main window never showed"; }
# The project is open once its station is in the log.
wait_for "open project" grep -qs "Open project is completed" "$work"/dist/Log/*.log

# Without a window manager the focus stays where it is put: on the main
# window before each row, on the tree at start-up (the program puts it there).
focus_main() { xdotool windowfocus --sync "$main"; }
topic_count() { wc -l <"$topics"; }
more_topics_than() { [ "$(topic_count)" -gt "$1" ]; }

# name | what brings the context (keys, or "click-log") | window that opens ("menu": one without a
# title) | page | keys that leave it
table=(
  "project tree selection|Down||QMX-4101|"
  "highlighted menu entry|alt+o|menu|Scan.htm|Escape Escape"
  "Properties dialog|ctrl+p|Properties|Editing.htm#properties|Escape"
  "Compare dialog|shift+c|Compare with Offline|Compare.htm|Escape"
  "Log window|click-log||LogWindow.htm|"
)

failures=0
for row in "${table[@]}"; do
  IFS='|' read -r name bring window page leave <<<"$row"
  focus_main
  windows=$(shown_windows)
  if [ "$bring" = "click-log" ]; then
    # The log lines fill the main window's bottom, above its tabs and the status bar.
    eval "$(xdotool getwindowgeometry --shell "$main")"
    xdotool mousemove --window "$main" $((WIDTH / 2)) $((HEIGHT - 90)) click 1
  else
    xdotool key $bring
  fi
  # X delivers the keys and the click in order; only a new window is waited for.
  if [ "$window" = "menu" ]; then
    wait_for "menu for the $name" more_windows_than "$windows"
  elif [ -n "$window" ]; then
    wait_for "window '$window' for the $name" has_window "$window"
    xdotool windowfocus --sync "$(window_named "$window")"
  fi
  before=$(topic_count)
  xdotool key F1
  wait_for "help topic for the $name" more_topics_than "$before"
  opened=$(sed -n "$((before + 1))p" "$topics")
  opened=${opened#*::/}
  if [ "$opened" = "$page" ]; then
    echo "help keys: $name -> $opened"
  else
    echo "help keys: $name opened '$opened', not '$page'" >&2
    failures=$((failures + 1))
  fi
  if [ -n "$leave" ]; then xdotool key $leave; fi
  if [ "$window" = "menu" ]; then
    wait_for "closed menu" at_most_windows "$windows"
  elif [ -n "$window" ]; then
    wait_for "closed '$window'" no_window "$window"
  fi
done
[ "$failures" -eq 0 ] || fail "$failures of ${#table[@]} contexts opened another page"
echo "help keys: F1 through the X server opened the page of each of ${#table[@]} contexts"
