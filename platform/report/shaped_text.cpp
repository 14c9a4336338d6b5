#include "platform/report/shaped_text.h"

#include <QFontMetricsF>
#include <QTextLayout>
#include <QTextOption>

namespace qmx::report {
namespace {

QTextOption OptionFor(int flags) {
  QTextOption option;
  option.setAlignment(Qt::Alignment(flags & Qt::AlignHorizontal_Mask));
  option.setWrapMode((flags & Qt::TextWrapAnywhere) ? QTextOption::WrapAnywhere
                     : (flags & Qt::TextWordWrap)   ? QTextOption::WordWrap
                                                    : QTextOption::NoWrap);
  return option;
}

// Lays the lines out one below the other, with the font's leading between
// them, and returns their height.
double LayOutLines(QTextLayout& layout, const QFont& font, double width) {
  const double leading = QFontMetricsF(font).leading();
  double height = -leading;
  layout.beginLayout();
  for (;;) {
    QTextLine line = layout.createLine();
    if (!line.isValid()) break;
    line.setLineWidth(width);
    height += leading;
    line.setPosition(QPointF(0, height));
    height += line.height();
  }
  layout.endLayout();
  return std::max(0.0, height);
}

QString Prepared(const QString& text) {
  QString prepared = text;
  prepared.replace(QLatin1Char('\n'), QChar::LineSeparator);
  return prepared;
}

}  // namespace

ShapedText ShapeText(const QString& text, const QFont& font, const QSizeF& box, int flags) {
  ShapedText shaped;
  if (text.isEmpty()) return shaped;
  QTextLayout layout(Prepared(text), font);
  layout.setTextOption(OptionFor(flags));
  const double height = LayOutLines(layout, font, box.width());
  double top = 0;
  if (flags & Qt::AlignVCenter) top = (box.height() - height) / 2;
  else if (flags & Qt::AlignBottom) top = box.height() - height;
  for (QGlyphRun& run : layout.glyphRuns()) {
    QList<QPointF> positions = run.positions();
    for (QPointF& p : positions) p.ry() += top;
    run.setPositions(positions);
    shaped.runs.push_back(std::move(run));
  }
  return shaped;
}

double ShapedHeight(const QString& text, const QFont& font, double width, int flags) {
  if (text.isEmpty()) return QFontMetricsF(font).height();
  QTextLayout layout(Prepared(text), font);
  layout.setTextOption(OptionFor(flags));
  return LayOutLines(layout, font, width);
}

}  // namespace qmx::report
