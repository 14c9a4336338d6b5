// Text placed in a box the way QPainter::drawText(rect, flags, text) places
// it (horizontal and vertical alignment, word wrap, wrap anywhere), kept as
// glyph runs: a report draws the same few thousand strings hundreds of
// thousands of times, and drawing glyph runs skips shaping them again. The
// page layout measures with the same lines, so what it reserves is what is
// drawn.
#pragma once

#include <QFont>
#include <QGlyphRun>
#include <QSizeF>
#include <QString>

#include <vector>

namespace qmx::report {

struct ShapedText {
  std::vector<QGlyphRun> runs;  // positions relative to the box's top left
};

ShapedText ShapeText(const QString& text, const QFont& font, const QSizeF& box, int flags);

// The height of the text's lines in a box of that width.
double ShapedHeight(const QString& text, const QFont& font, double width, int flags);

}  // namespace qmx::report
