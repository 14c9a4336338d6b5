#!/bin/bash
# Writes app/startup-functions.txt: the functions of QMX410Tools that run from
# its start until its window is drawn and the shipped catalogue read, which the
# link places side by side. Run it on a Release build after start-up changed:
#
#   scripts/startup-functions.sh [build folder] [seconds]
#
# The program runs under callgrind (package valgrind) on a virtual display
# (xvfb-run) with a home of its own; after the given time (90 s by default,
# ample for the slowed-down start) the functions it ran are taken from the
# profile. They are listed by name, so that a new list differs from the one
# before only by what changed; what matters is that they are together.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-rel}
seconds=${2:-90}
program=$build/dist/QMX410Tools
[ -x "$program" ] || { echo "no $program: build it first" >&2; exit 1; }
for tool in valgrind callgrind_control xvfb-run; do
  command -v $tool >/dev/null || { echo "$tool is missing" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/home"
cat >"$work/run.sh" <<EOF
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
export QMX_LOCK_DIR=$work/home XDG_RUNTIME_DIR=$work/home QT_QPA_PLATFORM=xcb
valgrind --tool=callgrind --dump-instr=no --compress-strings=no --compress-pos=no --demangle=no \\
  --callgrind-out-file=$work/profile "$program" >$work/log 2>&1 &
pid=\$!
sleep $seconds
callgrind_control -d \$pid >/dev/null 2>&1
sleep 5
kill -9 \$pid
EOF
xvfb-run -a -s "-screen 0 1600x1000x24" bash "$work/run.sh"

python3 - "$work" "$root/app/startup-functions.txt" "$program" <<'EOF'
import collections, glob, re, subprocess, sys
work, out, program = sys.argv[1:4]
# Every name of an address: a complete constructor or destructor (C1, D1) is
# an alias of the base one (C2, D2), and a function the compiler found equal
# to another is an alias of that one; the code is in the section of the name
# that owns it, which need not be the name the profile gives.
names_at = collections.defaultdict(list)
address_of = {}
for line in subprocess.run(['nm', '--defined-only', program], capture_output=True, text=True,
                           check=True).stdout.splitlines():
    parts = line.split()
    if len(parts) == 3 and parts[1] in 'tTW':
        address = int(parts[0], 16)
        names_at[address].append(parts[2])
        address_of[parts[2]] = address
names = set()
for path in sorted(glob.glob(work + '/profile*')):
    ours = False
    for line in open(path, errors='replace'):
        if line.startswith('ob='):
            ours = line.rstrip().endswith('/QMX410Tools')
        elif ours and line.startswith('fn='):
            name = re.sub(r"'\d+$", '', line[3:].strip())  # recursion marks
            if name in address_of:  # not an address without a symbol
                names.update(n for n in names_at[address_of[name]] if not n.endswith('.localalias'))
if len(names) < 100:
    sys.exit('the profile names only %d functions: did the program start?' % len(names))
with open(out, 'w') as f:
    f.write('# Functions QMX410Tools runs while it starts, linked side by side\n')
    f.write('# (scripts/startup-functions.sh writes this file; see qmx_order_startup).\n')
    f.write('\n'.join(sorted(names)) + '\n')
print('%d functions -> %s' % (len(names), out))
EOF
