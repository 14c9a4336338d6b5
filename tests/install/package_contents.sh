#!/usr/bin/env bash
# What the install and the Debian package carry: exactly the built programs
# and libraries, the shipped files of resources/ and the desktop entry, never
# what the programs wrote into the staged program folder.
#
#   tests/install/package_contents.sh <build folder>            install tree
#   tests/install/package_contents.sh <build folder> --package  build the .deb with cpack
#
# With --package the staged folder is first dirtied as a program run leaves it
# (a project, a log, a work file, a changed setting); the package must not
# change for it, and its programs must carry no debug information.
set -euo pipefail

build=$(cd "${1:?usage: $0 <build folder> [--package]}" && pwd)
mode=${2:-}
src=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/qmx-package.XXXXXX")
dist="$build/dist"
settings_backup=""
cleanup() {
  rm -f "$dist/Projects/Trial run.KPX" "$dist/Log/Trial run.log" "$dist/~tmp/Trial run.xml"
  if [ -n "$settings_backup" ]; then mv -f "$settings_backup" "$dist/QMX410Tools.xml"; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "package contents: $*" >&2; exit 1; }

# No install rule may copy files or folders out of the staged folder (the
# programs built into it are installed as targets): everything it holds at
# packing time would ship, whatever a program run left there.
from_dist=$(grep -rhF --include=cmake_install.cmake "\"$dist" "$build" |
            grep -vE 'TYPE (EXECUTABLE|SHARED_LIBRARY|MODULE) ' || true)
[ -z "$from_dist" ] || fail "an install rule copies from $dist: $from_dist"

# The expected list, from the source tree and the programs that are built.
prog=opt/qmx410tools
{
  for d in Products Image StartUpOffline Projects Help Tools; do
    (cd "$src/resources/QMX410Tools" && find "$d" -type f ! -name .keep)
  done
  (cd "$src/resources/Rendaval" && find Image -type f ! -name .keep)
  echo QMX410Tools.xml
  echo QMX410Tools
  echo Rendaval
  echo Tessivar.so
  echo QMX410PageSetup.so
  echo Tools/Plenvar
  if [ -d "$build/lib" ] && [ -z "$mode" ]; then (cd "$build" && find lib -type f); fi
} | sed "s|^|$prog/|" >"$work/expected"
echo usr/share/applications/qmx410tools.desktop >>"$work/expected"
echo usr/share/icons/hicolor/scalable/apps/qmx410tools.svg >>"$work/expected"
sort -u -o "$work/expected" "$work/expected"

if [ "$mode" = --package ]; then
  mkdir -p "$dist/Projects" "$dist/Log" "$dist/~tmp"
  echo '<Project/>' >"$dist/Projects/Trial run.KPX"
  echo 'trial' >"$dist/Log/Trial run.log"
  echo '<Doc/>' >"$dist/~tmp/Trial run.xml"
  settings_backup="$work/settings.xml"
  cp -p "$dist/QMX410Tools.xml" "$settings_backup"
  echo '<!-- changed by a program run -->' >>"$dist/QMX410Tools.xml"
  (cd "$build" && cpack -G DEB -B "$work/cpack" >/dev/null) || fail "cpack failed"
  deb=$(find "$work/cpack" -maxdepth 1 -name '*.deb' | head -n 1)
  [ -n "$deb" ] || fail "cpack made no .deb"
  mkdir "$work/root"
  dpkg-deb -x "$deb" "$work/root"
  echo "package contents: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"
else
  cmake --install "$build" --prefix "$work/root" >/dev/null
fi

(cd "$work/root" && find . -type f | sed 's|^\./||' | sort) >"$work/actual"
if ! diff -u "$work/expected" "$work/actual" >"$work/diff"; then
  cat "$work/diff" >&2
  fail "the install tree differs from the shipped files (- missing, + not shipped)"
fi
cmp -s "$work/root/$prog/QMX410Tools.xml" "$src/resources/QMX410Tools/QMX410Tools.xml" ||
  fail "the shipped settings are not those of resources/"

if [ "$mode" = --package ]; then
  for f in QMX410Tools Rendaval Tessivar.so QMX410PageSetup.so Tools/Plenvar; do
    if readelf -S "$work/root/$prog/$f" | grep -qE '\.debug_|\.symtab'; then
      fail "$f carries debug information or a symbol table"
    fi
  done
  # The libraries the programs open at run time are not seen by the
  # package's link-time dependencies: each must be named by hand.
  depends=$(dpkg-deb -f "$deb" Depends)
  for lib in libxslt.so.1:libxslt1.1; do
    grep -rqF "\"${lib%%:*}\"" "$src/platform" || continue
    [[ ", $depends," == *", ${lib#*:} "* || ", $depends," == *", ${lib#*:},"* ]] ||
      fail "the package opens ${lib%%:*} at run time but does not depend on ${lib#*:}: $depends"
  done
fi
echo "package contents: $(wc -l <"$work/actual") files, all shipped"
