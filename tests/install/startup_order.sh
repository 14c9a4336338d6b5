#!/usr/bin/env bash
# The functions of app/startup-functions.txt that the main program has lie
# side by side at the head of its text, where its link script puts them, and
# most of the list still names functions of the program.
#
#   tests/install/startup_order.sh <build folder>   (a build of static libraries)
set -euo pipefail
build=$(cd "${1:?usage: $0 <build folder>}" && pwd)
src=$(cd "$(dirname "$0")/../.." && pwd)
python3 - "$build/dist/QMX410Tools" "$src/app/startup-functions.txt" <<'PY'
import subprocess, sys
program, listed = sys.argv[1], sys.argv[2]
def fail(why):
    sys.exit('startup order: ' + why)
names = {l.strip() for l in open(listed) if l.strip() and not l.startswith('#')}
text = [l.split() for l in subprocess.run(['readelf', '-SW', program], capture_output=True, text=True,
                                          check=True).stdout.splitlines() if ' .text ' in l]
if len(text) != 1:
    fail('the program has %d .text sections, not one' % len(text))
start = int(text[0][text[0].index('.text') + 2], 16)
found, cold = {}, {}
for line in subprocess.run(['nm', '-S', '--defined-only', program], capture_output=True, text=True,
                           check=True).stdout.splitlines():
    parts = line.split()
    if len(parts) != 4 or parts[2] not in 'tTW':
        continue
    if parts[3] in names:
        found[int(parts[0], 16)] = int(parts[1], 16)
    elif parts[3].endswith('.cold') and parts[3][:-5] in names:
        cold[int(parts[0], 16)] = int(parts[1], 16)  # linked after the listed ones
if len(found) < len(names) // 2:
    fail('only %d of the %d listed functions are in the program: make the list again '
         '(scripts/startup-functions.sh)' % (len(found), len(names)))
size = sum(found.values()) + sum(cold.values())
# Alignment padding and the program's entry code lie between them too; a
# few functions the compiler merged with others lie where those are.
limit = start + size * 1.25 + 65536
inside = sum(s for a, s in list(found.items()) + list(cold.items()) if a + s <= limit)
if inside < 0.95 * size:
    fail('only %d of the %d bytes of the listed functions lie at the head of the text' % (inside, size))
print('startup order: %d functions and %d cold parts, %d kB, %d %% of it at the head of the text'
      % (len(found), len(cold), size // 1024, 100 * inside // size))
PY
