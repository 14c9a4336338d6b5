// Painting laid-out pages and writing them to PDF.
#include <QFontMetricsF>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

#include <map>

#include "platform/report/report_render.h"
#include "platform/report/staged_file.h"

namespace qmx::report {
namespace {

QFont BandFont() { return ReportFont(9); }

}  // namespace

QString ElideWithDots(const QString& text, const QFont& font, double width) {
  const QFontMetricsF metrics(font);
  if (metrics.horizontalAdvance(text) <= width) return text;
  const QString dots = QStringLiteral("...");
  // The longest start of the text, ending between two characters (never
  // inside a surrogate pair), that leaves room for the dots.
  qsizetype fits = 0, low = 0, high = text.size();
  while (low <= high) {
    const qsizetype mid = (low + high) / 2;
    if (metrics.horizontalAdvance(text.left(mid) + dots) <= width) {
      fits = mid;
      low = mid + 1;
    } else {
      high = mid - 1;
    }
  }
  if (fits > 0 && text.at(fits - 1).isHighSurrogate()) --fits;
  return text.left(fits).trimmed() + dots;
}

void PaintPage(QPainter& painter, const LaidOutDocument& document, int page) {
  if (page < 0 || page >= int(document.pages.size())) return;
  const PageGeometry& g = document.geometry;
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  std::map<QString, QImage> images;
  for (const PageItem& item : document.pages[size_t(page)].items) {
    switch (item.kind) {
      case PageItem::Fill:
        painter.fillRect(item.rect, item.color);
        break;
      case PageItem::Frame:
        painter.setPen(QPen(QColor(0x80, 0x80, 0x80), 0.5));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(item.rect);
        break;
      case PageItem::Text:
        painter.setPen(Qt::black);
        painter.setFont(item.font);
        painter.drawText(item.rect, item.flags, item.text);
        break;
      case PageItem::Image: {
        auto it = images.find(item.text);
        if (it == images.end()) it = images.emplace(item.text, QImage(item.text)).first;
        if (!it->second.isNull()) painter.drawImage(item.rect, it->second);
        break;
      }
    }
  }
  const QFont band = BandFont();
  painter.setFont(band);
  painter.setPen(Qt::black);
  // The cover carries no page header.
  if (page > 0 && !document.header.isEmpty()) {
    const QRectF header(g.margin, g.margin, g.width - 2 * g.margin, 14);
    painter.drawText(header, Qt::AlignLeft | Qt::AlignVCenter, ElideWithDots(document.header, band, header.width()));
    painter.setPen(QPen(QColor(0x60, 0x60, 0x60), 0.5));
    painter.drawLine(QPointF(g.margin, header.bottom() + 1), QPointF(g.width - g.margin, header.bottom() + 1));
    painter.setPen(Qt::black);
  }
  const QRectF footer(g.margin, g.height - g.margin - 14, g.width - 2 * g.margin, 14);
  painter.drawText(footer, Qt::AlignHCenter | Qt::AlignVCenter, PageFooterText(page + 1, int(document.pages.size())));
  painter.restore();
}

bool PaintAllPages(QPainter& painter, QPagedPaintDevice& device, const LaidOutDocument& document,
                   const CancelCheck& cancelled) {
  const QRect paintRect = device.pageLayout().fullRectPixels(device.logicalDpiX());
  const double sx = paintRect.width() / document.geometry.width;
  const double sy = paintRect.height() / document.geometry.height;
  for (int page = 0; page < int(document.pages.size()); ++page) {
    if (cancelled && cancelled()) return false;
    if (page > 0) device.newPage();
    painter.save();
    // Devices that keep a margin of their own paint from inside it.
    const QRect pageRect = device.pageLayout().paintRectPixels(device.logicalDpiX());
    painter.translate(-pageRect.x(), -pageRect.y());
    painter.scale(sx, sy);
    PaintPage(painter, document, page);
    painter.restore();
  }
  return true;
}

bool WritePdf(const LaidOutDocument& document, const std::string& path, std::string* error,
              const CancelCheck& cancelled) {
  const auto fail = [error](const std::string& reason) {
    if (error) *error = reason;
    return false;
  };
  StagedFile staged(path);
  if (!staged.ok()) return fail(staged.error());
  {
    QPdfWriter writer(QString::fromStdString(staged.path()));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(72);
    writer.setTitle(document.name);
    writer.setCreator(QStringLiteral("Rendaval"));
    QPainter painter;
    if (!painter.begin(&writer)) return fail("the PDF writer could not start");
    const bool complete = PaintAllPages(painter, writer, document, cancelled);
    if (!painter.end()) return fail("the PDF file could not be completed");
    if (!complete) return fail(kCancelledReason);
  }
  if (cancelled && cancelled()) return fail(kCancelledReason);
  if (!staged.Commit()) return fail(staged.error());
  return true;
}

}  // namespace qmx::report
