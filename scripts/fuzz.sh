#!/usr/bin/env bash
# Builds the fuzz configuration (clang, ASan + UBSan, every library of the
# suite instrumented for coverage) and runs every libFuzzer target in turn for
# a bounded time, starting from its corpus in the source tree.
#
#   scripts/fuzz.sh [seconds per target, default 60] [regex of target names]
#
# New inputs and crash files go to <build>/fuzz-work/<target>/; the corpus
# folders of the source tree are only read. Ends non-zero when a target
# crashed, leaked, timed out or ran out of memory, naming the input to replay
# (<build>/<target> <input>, or the replay program of the normal build).
# Environment: QMX_FUZZ_BUILD_DIR (default build-fuzz), QMX_JOBS, QMX_FUZZ_RUNS
# (each target also stops after that many executions, e.g. 10000000),
# QMX_FUZZ_PARALLEL (that many targets at a time; default 1, in turn).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
filter=${2:-.}
BUILD_DIR=${QMX_FUZZ_BUILD_DIR:-build-fuzz}
JOBS=${QMX_JOBS:-$(nproc)}
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: $0 [seconds per target] [target regex]" >&2
  exit 2
fi

bash scripts/install-deps.sh
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: installing clang (the fuzz configuration needs it)"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends clang libclang-rt-dev
fi

cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DQMX_FUZZ=ON -DQMX_SANITIZE=ON -DQMX_BUILD_BENCH=OFF >/dev/null

manifest="$BUILD_DIR/fuzz-targets.txt"
names=()
programs=()
corpora=()
while read -r name program corpus; do
  [ -n "$name" ] || continue
  [[ "$name" =~ $filter ]] || continue
  names+=("$name")
  programs+=("$program")
  corpora+=("$corpus")
done <"$manifest"
if [ ${#names[@]} -eq 0 ]; then
  echo "fuzz: no target matches '$filter' in $manifest" >&2
  exit 2
fi

cmake --build "$BUILD_DIR" -j "$JOBS" --target "${names[@]}"

runs_limit=()
if [ -n "${QMX_FUZZ_RUNS:-}" ]; then
  [[ "$QMX_FUZZ_RUNS" =~ ^[0-9]+$ ]] || { echo "fuzz: QMX_FUZZ_RUNS must be a number" >&2; exit 2; }
  runs_limit=(-runs="$QMX_FUZZ_RUNS")
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# One target: its log and exit status land in its work folder.
run_target() {
  local i=$1 name=${names[$1]}
  local work="$BUILD_DIR/fuzz-work/$name"
  mkdir -p "$work/corpus" "$work/artifacts"
  echo "fuzz: $name for ${seconds}s (corpus ${corpora[$i]})"
  local status=0
  "${programs[$i]}" -max_total_time="$seconds" "${runs_limit[@]}" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$work/artifacts/" "$work/corpus" "${corpora[$i]}" >"$work/log" 2>&1 || status=$?
  echo "$status" >"$work/status"
}

# QMX_FUZZ_PARALLEL targets at a time (default 1: in turn).
parallel=${QMX_FUZZ_PARALLEL:-1}
[[ "$parallel" =~ ^[1-9][0-9]*$ ]] || { echo "fuzz: QMX_FUZZ_PARALLEL must be a number from 1" >&2; exit 2; }
running=0
for i in "${!names[@]}"; do
  if [ "$running" -ge "$parallel" ]; then
    wait -n || true
    running=$((running - 1))
  fi
  run_target "$i" &
  running=$((running + 1))
done
wait

failed=()
summary=()
for i in "${!names[@]}"; do
  name=${names[$i]}
  work="$BUILD_DIR/fuzz-work/$name"
  status=$(cat "$work/status" 2>/dev/null || echo 1)
  cov=$(grep -o 'cov: [0-9]*' "$work/log" | tail -1 | cut -d' ' -f2 || true)
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/log" | grep -o '[0-9]*$' || true)
  rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$work/log" | grep -o '[0-9]*$' || true)
  summary+=("$(printf '%-32s %-6s cov %-6s runs %-10s per s %s' "$name" \
                "$([ "$status" -eq 0 ] && echo ok || echo FAIL)" "${cov:-?}" "${runs:-?}" "${rate:-?}")")
  if [ "$status" -ne 0 ]; then
    failed+=("$name")
    echo "fuzz: $name FAILED (exit $status); last lines of $work/log:" >&2
    tail -n 30 "$work/log" >&2
    ls -1 "$work/artifacts" | sed "s|^|fuzz:   input: $work/artifacts/|" >&2
  fi
done

echo
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzz: failed: ${failed[*]}" >&2
  exit 1
fi
echo "fuzz: ${#names[@]} targets ran without a finding"
