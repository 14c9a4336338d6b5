#!/usr/bin/env bash
# Serial demo: makes a pty pair with socat, waits until both ends exist, then
# runs the device simulator as a Modbus RTU slave on one end. The programs
# reach the other end as COM7 when QMX_COM_DIR names the folder.
#
#   tools/demo-serial.sh [qmx-sim options]      (default: --nodes 1,2,3)
#
# Environment: QMX_COM_DIR  folder of the pty links (default /tmp/qmx)
#              QMX_COM_PORT port number the programs use (default 7: COM7)
#              QMX_SIM      the simulator program (default build/tools-bin/qmx-sim)
# Ctrl-C (or the simulator's end) stops socat and removes the links.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
com_dir="${QMX_COM_DIR:-/tmp/qmx}"
com_link="$com_dir/COM${QMX_COM_PORT:-7}"
peer_link="$com_dir/peer"
sim="${QMX_SIM:-$root/build/tools-bin/qmx-sim}"

if ! command -v socat >/dev/null 2>&1; then
  echo "demo-serial: socat is not installed (apt-get install socat)" >&2
  exit 1
fi
if [[ ! -x "$sim" ]]; then
  echo "demo-serial: no simulator at $sim; build it (cmake --build build --target qmx-sim) or set QMX_SIM" >&2
  exit 1
fi
if [[ $# -eq 0 ]]; then
  set -- --nodes 1,2,3
fi

mkdir -p "$com_dir"
rm -f "$com_link" "$peer_link"
socat pty,raw,echo=0,link="$com_link" pty,raw,echo=0,link="$peer_link" &
socat_pid=$!
sim_pid=""
cleanup() {
  if [[ -n "$sim_pid" ]]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  kill "$socat_pid" 2>/dev/null || true
  wait "$socat_pid" 2>/dev/null || true
  rm -f "$com_link" "$peer_link"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# socat makes the links only once both ptys are open: wait for them (5 s).
for _ in $(seq 1 50); do
  if [[ -e "$com_link" && -e "$peer_link" ]]; then
    break
  fi
  if ! kill -0 "$socat_pid" 2>/dev/null; then
    echo "demo-serial: socat ended before it made the pty pair" >&2
    exit 1
  fi
  sleep 0.1
done
if [[ ! -e "$com_link" || ! -e "$peer_link" ]]; then
  echo "demo-serial: socat did not make $com_link and $peer_link within 5 s" >&2
  exit 1
fi

echo "demo-serial: the programs reach the simulator as COM${QMX_COM_PORT:-7} with QMX_COM_DIR=$com_dir"
# In the background so that a signal to this script ends both at once; the
# simulator keeps the terminal as its command input.
"$sim" --rtu "$peer_link" "$@" <&0 &
sim_pid=$!
status=0
wait "$sim_pid" || status=$?
sim_pid=""
exit "$status"
