#!/usr/bin/env bash
# The README's roads as a new user takes them, each command as the README
# writes it (the script fails when the README no longer holds the command),
# run from the checkout after `bash scripts/run.sh`'s Release build:
#   - the set-up command without a display: builds, then says why it starts nothing;
#   - the picture of the main window under a virtual X server;
#   - the report program alone on a documentation set that qmx-docu writes;
#   - the package: built with cpack, installed with apt, started by a
#     throw-away normal user, purged: nothing of it left behind;
#   - the install without a package (stripped) and its removal by the manifest.
# The package roads change the machine (they install to /), so they run only
# as root or with password-less sudo, and only where no qmx410tools package is
# installed already.
#
#   tests/install/readme_roads.sh            (from anywhere; uses <checkout>/build)
set -euo pipefail
src=$(cd "$(dirname "$0")/../.." && pwd)
cd "$src"
readme="$src/README.md"
work=$(mktemp -d "${TMPDIR:-/tmp}/qmx-readme.XXXXXX")
chmod 755 "$work"
installed=""
cleanup() {
  if [ "$installed" = package ]; then $SUDO apt-get purge -y -qq qmx410tools >/dev/null 2>&1 || true; fi
  if [ "$installed" = manifest ]; then
    $SUDO xargs -d '\n' rm -f <build/install_manifest.txt || true
    $SUDO rm -rf /opt/qmx410tools
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "readme roads: $*" >&2; exit 1; }
# The command must stand in the README as a line of its own (indented as code).
readme_has() { grep -qxF "    $1" "$readme" || fail "the README no longer says: $1"; }
shot_has_picture() {
  [ -s "$1" ] || fail "no picture $1"
  local colours
  colours=$(convert "$1" -format '%k' info:)
  [ "$colours" -gt 16 ] || fail "the picture $1 holds $colours colours: an empty screen"
}

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if sudo -n true 2>/dev/null; then SUDO="sudo"; else SUDO="none"; fi
fi

# 1. The set-up command on a machine without a display. The build is there
#    already (scripts/test.sh built it), so it builds nothing and tells why
#    it starts nothing, instead of Qt's abort.
readme_has "bash scripts/run.sh"
set +e
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM bash scripts/run.sh >"$work/run.out" 2>&1
rc=$?
set -e
[ "$rc" -eq 1 ] || { cat "$work/run.out" >&2; fail "scripts/run.sh without a display ended with $rc"; }
grep -q "there is no display to open its window on" "$work/run.out" || fail "scripts/run.sh did not say why"
[ -x build/dist/QMX410Tools ] && [ -x build/tools-bin/qmx-docu ] || fail "the set-up built no program or no qmx-docu"

# The programs run with a home of their own, so nothing of this machine's
# user is read or changed; the staged folder is used from a copy.
export HOME="$work/home" XDG_RUNTIME_DIR="$work/run" QMX_LOCK_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
mkdir "$work/checkout"
cp -r build/dist "$work/dist"
mkdir -p "$work/checkout/build"
ln -s "$work/dist" "$work/checkout/build/dist"
ln -s "$src/build/tools-bin" "$work/checkout/build/tools-bin"

# 2. The picture of the main window.
shot="xvfb-run -a sh -c 'build/dist/QMX410Tools & sleep 10; import -window root shot.png; kill \$!'"
readme_has "$shot"
(cd "$work/checkout" && bash -c "$shot") >"$work/shot.out" 2>&1 || { cat "$work/shot.out" >&2; fail "the picture road failed"; }
shot_has_picture "$work/checkout/shot.png"

# 3. The report program alone. The folder the README names is taken apart
#    from /tmp here.
docu="build/tools-bin/qmx-docu build/dist/Projects/ModbusTCP_Station.KPX /tmp/docu"
readme_has "$docu"
(cd "$work/checkout" && ${docu%/tmp/docu} "$work/docu") >"$work/docu.cmd" || fail "qmx-docu failed"
grep -qE '^/.*/Rendaval "PROJECT\*'"$work"'/docu/prj[0-9]{8} [0-9]{6}_[0-9]{3}\.xml"$' "$work/docu.cmd" ||
  fail "qmx-docu printed: $(cat "$work/docu.cmd")"
readme_has 'build/dist/Rendaval "PROJECT*/tmp/docu/prj20261211 040432_238.xml"   # as printed'
xvfb-run -a sh -c '
  eval "$(cat "$1")" & pid=$!
  sleep 5
  import -window root "$2"
  kill $pid' _ "$work/docu.cmd" "$work/rendaval.png" >"$work/rendaval.out" 2>&1 || true
shot_has_picture "$work/rendaval.png"
grep -q "Error Code" "$work/rendaval.out" && { cat "$work/rendaval.out" >&2; fail "the report program logged an error"; }

if [ "$SUDO" = none ]; then
  echo "readme roads: the package roads need root or password-less sudo; skipped"
  exit 0
fi
if dpkg-query -W -f='${Status}' qmx410tools 2>/dev/null | grep -q 'install ok installed'; then
  echo "readme roads: a qmx410tools package is installed on this machine; the package roads skipped"
  exit 0
fi
[ ! -e /opt/qmx410tools ] || fail "/opt/qmx410tools exists without the package: remove it first"

# What the install leaves behind once removed: nothing under these.
left_behind() {
  local f
  for f in /opt/qmx410tools /usr/share/applications/qmx410tools.desktop \
           /usr/share/icons/hicolor/scalable/apps/qmx410tools.svg; do
    [ ! -e "$f" ] || fail "$1 left $f behind"
  done
  [ -d /opt ] || fail "$1 took /opt with it"
}
# The installed program started by a normal user who cannot write to it:
# its log lands in the user's folder.
start_installed() {
  local home="$work/user-$1"
  mkdir -p "$home/run"
  chmod 700 "$home/run"
  chown -R nobody "$home"
  env -i PATH="$PATH" HOME="$home" XDG_RUNTIME_DIR="$home/run" QMX_LOCK_DIR="$home/run" QT_QPA_PLATFORM=offscreen \
    setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups -- \
    timeout -s TERM 8 /opt/qmx410tools/QMX410Tools >"$work/installed-$1.out" 2>&1 || true
  grep -qs "is started" "$home"/.local/share/qmx410tools/Log/*.log ||
    { cat "$work/installed-$1.out" >&2; fail "the $1 install did not start for a normal user"; }
}
stripped() {
  local f
  for f in QMX410Tools Rendaval Tessivar.so QMX410PageSetup.so Tools/Plenvar; do
    ! readelf -S "/opt/qmx410tools/$f" | grep -q '\.symtab' || fail "$1: $f is not stripped"
  done
}

# 4. The package.
readme_has "(cd build && cpack -G DEB)"
readme_has "sudo apt install ./build/qmx410tools-1.0.0-Linux.deb"
readme_has "sudo apt purge qmx410tools"
(cd build && cpack -G DEB) >"$work/cpack.out" 2>&1 || { cat "$work/cpack.out" >&2; fail "cpack failed"; }
installed=package
DEBIAN_FRONTEND=noninteractive $SUDO apt install -y ./build/qmx410tools-1.0.0-Linux.deb >"$work/apt.out" 2>&1 ||
  { cat "$work/apt.out" >&2; fail "apt could not install the package"; }
stripped package
start_installed package
# A run as root writes into the program folder; purge takes that too.
mkdir -p "$work/root-home"
HOME="$work/root-home" QT_QPA_PLATFORM=offscreen timeout -s TERM 8 $SUDO /opt/qmx410tools/QMX410Tools \
  >"$work/root-run.out" 2>&1 || true
DEBIAN_FRONTEND=noninteractive $SUDO apt purge -y qmx410tools >"$work/purge.out" 2>&1 ||
  { cat "$work/purge.out" >&2; fail "apt purge failed"; }
installed=""
left_behind "apt purge"

# 5. The install without a package, and its removal by the manifest.
readme_has "sudo cmake --install build --prefix / --strip"
readme_has "sudo xargs -d '\\n' rm -f < build/install_manifest.txt && sudo rm -rf /opt/qmx410tools"
installed=manifest
$SUDO cmake --install build --prefix / --strip >"$work/install.out" 2>&1 || { cat "$work/install.out" >&2; fail "cmake --install failed"; }
stripped "cmake --install --strip"
start_installed manifest
$SUDO xargs -d '\n' rm -f <build/install_manifest.txt && $SUDO rm -rf /opt/qmx410tools
installed=""
left_behind "the manifest's removal"
echo "readme roads: set-up, picture, report program alone, package and install roads as the README writes them"
