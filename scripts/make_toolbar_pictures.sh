#!/usr/bin/env bash
# Draws the main toolbar's pictures as the window layer's style draws them
# (platform/toolkit/toolbar_pictures.cpp names them) at the toolbar's icon
# size, for screens of normal and double density, into
# resources/QMX410Tools/ui/toolbar/<name>-<pixels>.png. The program shows
# these copies instead of asking the style at every start; run again after
# a change of the toolkit's version or style, or of the names.
#
#     scripts/make_toolbar_pictures.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/resources/QMX410Tools/ui/toolbar
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out" "$work/platform/toolkit"
cp "$root/platform/toolkit/toolbar_pictures.h" "$work/platform/toolkit/"

cat > "$work/draw.cpp" <<'CPP'
#include "platform/toolkit/toolbar_pictures.h"

#include <QApplication>
#include <QImage>
#include <QToolBar>

#include <cstdio>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString folder = QString::fromLocal8Bit(argv[1]);
  const QSize size = QToolBar().iconSize();
  int failed = 0;
  for (const QString& name : qmx::toolkit::StandardPictureNames()) {
    const QIcon icon = QApplication::style()->standardIcon(*qmx::toolkit::StandardPixmapOf(name));
    for (const int density : {1, 2}) {
      const QImage image = icon.pixmap(size, density).toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
      const QString file = qmx::toolkit::ToolBarPictureFile(folder, qmx::toolkit::PictureFileStem(name),
                                                           size.width() * density);
      // The copy must read back as the very pixels the style drew. The
      // normal-density copies, which every start reads, are stored without
      // compression (quality 100): inflating them took longer than the rest
      // of reading them. The double-density ones stay small in the program.
      if (!image.save(file, "PNG", density == 1 ? 100 : -1) ||
          QImage(file).convertToFormat(QImage::Format_ARGB32_Premultiplied) != image) {
        std::fprintf(stderr, "%s: not written exactly\n", qPrintable(file));
        ++failed;
      }
    }
  }
  return failed == 0 ? 0 : 1;
}
CPP
# shellcheck disable=SC2046
g++ -std=c++20 -fPIC -I"$work" $(pkg-config --cflags Qt6Widgets) "$work/draw.cpp" \
  "$root/platform/toolkit/toolbar_pictures.cpp" -o "$work/draw" $(pkg-config --libs Qt6Widgets)
QT_QPA_PLATFORM=offscreen "$work/draw" "$out"
ls "$out"
