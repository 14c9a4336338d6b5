// Painting laid-out pages and writing them to PDF.
#include <QFontMetricsF>
#include <QIODevice>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <list>
#include <unordered_map>

#include "platform/report/report_render.h"
#include "platform/report/shaped_text.h"
#include "platform/report/staged_file.h"

namespace qmx::report {
namespace {

QFont BandFont() { return ReportFont(9); }

constexpr double kUnscaledTolerance = 0.001;

// The PDF writer's output: its many small writes gathered into large
// appends to the staged file. The first failed append fails every later
// write, so the PDF writer, which looks at no answer, writes nothing more,
// and the painting stops at the next page.
class StagedDevice : public QIODevice {
public:
  explicit StagedDevice(StagedFile& file) : file_(file) { open(QIODevice::WriteOnly); }
  bool isSequential() const override { return true; }
  bool failed() const { return file_.failed(); }
  // Appends what is gathered: false when this or an earlier append failed.
  bool Flush() {
    const bool written = file_.Write(std::string_view(buffer_.constData(), size_t(buffer_.size())));
    buffer_.clear();
    return written;
  }

protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 size) override {
    if (file_.failed()) return -1;
    buffer_.append(data, size);
    if (buffer_.size() >= kGathered && !Flush()) return -1;
    return size;
  }

private:
  static constexpr qsizetype kGathered = qsizetype(256) << 10;
  StagedFile& file_;
  QByteArray buffer_;
};

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

struct PaintCache::Impl {
  // A text in a box, as items name it.
  struct TextKey {
    uint32_t text, flags;
    uint8_t font;
    int32_t width, height;  // 1/16 point
    bool operator==(const TextKey&) const = default;
  };
  struct TextKeyHash {
    size_t operator()(const TextKey& k) const {
      uint64_t h = (uint64_t(k.text) << 32) ^ (uint64_t(k.flags) << 8) ^ k.font;
      h ^= (uint64_t(uint32_t(k.width)) << 20) ^ uint64_t(uint32_t(k.height));
      return std::hash<uint64_t>()(h * 0x9E3779B97F4A7C15ull);
    }
  };
  // Shaped texts kept at most; a report has far fewer distinct ones.
  static constexpr size_t kMaxTexts = 200000;
  // Decoded pictures kept at most, in bytes; the least recently used go first.
  static constexpr qsizetype kImageBudget = qsizetype(64) << 20;

  const LaidOutDocument* document = nullptr;
  std::unordered_map<TextKey, ShapedText, TextKeyHash> texts;
  std::list<std::pair<uint32_t, QImage>> images;  // most recently used first
  std::unordered_map<uint32_t, std::list<std::pair<uint32_t, QImage>>::iterator> imageIndex;
  qsizetype imageBytes = 0;
  QString header;
  std::vector<QRectF> rects;  // kept between pages to spare their allocation
  std::vector<Rgb> colours;

  void Use(const LaidOutDocument& doc) {
    if (document == &doc) return;
    document = &doc;
    texts.clear();
    images.clear();
    imageIndex.clear();
    imageBytes = 0;
    const PageGeometry& g = doc.geometry;
    header = ElideWithDots(doc.header, BandFont(), g.width - 2 * g.margin);
  }

  const ShapedText& Text(const PageItem& item) {
    const TextKey key{item.ref, item.flags, item.font, int32_t(item.width * 16), int32_t(item.height * 16)};
    auto it = texts.find(key);
    if (it != texts.end()) return it->second;
    if (texts.size() >= kMaxTexts) texts.clear();
    return texts
        .emplace(key, ShapeText(document->texts[item.ref], document->fonts[item.font],
                                QSizeF(item.width, item.height), int(item.flags)))
        .first->second;
  }

  // The same QImage for every use of a file, so a PDF holds each picture once.
  const QImage& Picture(uint32_t ref) {
    auto it = imageIndex.find(ref);
    if (it != imageIndex.end()) {
      images.splice(images.begin(), images, it->second);
      return images.front().second;
    }
    images.emplace_front(ref, QImage(document->pictures[ref]));
    imageIndex[ref] = images.begin();
    imageBytes += images.front().second.sizeInBytes();
    while (imageBytes > kImageBudget && images.size() > 1) {
      imageBytes -= images.back().second.sizeInBytes();
      imageIndex.erase(images.back().first);
      images.pop_back();
    }
    return images.front().second;
  }
};

PaintCache::PaintCache() : impl_(std::make_unique<Impl>()) {}
PaintCache::~PaintCache() = default;

void PaintPage(QPainter& painter, const LaidOutDocument& document, int page, PaintCache& cache) {
  if (page < 0 || page >= document.PageCount()) return;
  PaintCache::Impl& c = *cache.impl_;
  c.Use(document);
  const std::span<const PageItem> items = document.Page(page);
  const PageGeometry& g = document.geometry;
  painter.save();
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  // Cells never overlap and texts and pictures lie on their cells, so the
  // page is painted kind by kind: the fills colour by colour, then every
  // frame, the pictures and the texts, each batch with one pen and brush (a
  // PDF then states each colour once, not once per cell).
  std::vector<QRectF>& rects = c.rects;
  std::vector<Rgb>& colours = c.colours;
  colours.clear();
  for (const PageItem& item : items)
    if (item.kind == PageItem::Cell && std::find(colours.begin(), colours.end(), item.ref) == colours.end())
      colours.push_back(item.ref);
  painter.setPen(Qt::NoPen);
  for (const Rgb colour : colours) {
    rects.clear();
    for (const PageItem& item : items)
      if (item.kind == PageItem::Cell && item.ref == colour) rects.push_back(item.rect());
    painter.setBrush(QColor((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF));
    painter.drawRects(rects.data(), int(rects.size()));
  }
  rects.clear();
  for (const PageItem& item : items)
    if (item.kind == PageItem::Cell) rects.push_back(item.rect());
  painter.setPen(QPen(QColor(0x80, 0x80, 0x80), 0.5));
  painter.setBrush(Qt::NoBrush);
  if (!rects.empty()) painter.drawRects(rects.data(), int(rects.size()));
  for (const PageItem& item : items) {
    if (item.kind != PageItem::Image) continue;
    const QImage& image = c.Picture(item.ref);
    if (!image.isNull()) painter.drawImage(item.rect(), image);
  }
  painter.setPen(Qt::black);
  for (const PageItem& item : items) {
    if (item.kind != PageItem::Text) continue;
    const QPointF at(item.x, item.y);
    for (const QGlyphRun& run : c.Text(item).runs) painter.drawGlyphRun(at, run);
  }
  const QFont band = BandFont();
  painter.setFont(band);
  // The cover carries no page header.
  if (page > 0 && !c.header.isEmpty()) {
    const QRectF header(g.margin, g.margin, g.width - 2 * g.margin, 14);
    painter.drawText(header, Qt::AlignLeft | Qt::AlignVCenter, c.header);
    painter.setPen(QPen(QColor(0x60, 0x60, 0x60), 0.5));
    painter.drawLine(QPointF(g.margin, header.bottom() + 1), QPointF(g.width - g.margin, header.bottom() + 1));
    painter.setPen(Qt::black);
  }
  const QRectF footer(g.margin, g.height - g.margin - 14, g.width - 2 * g.margin, 14);
  painter.drawText(footer, Qt::AlignHCenter | Qt::AlignVCenter, PageFooterText(page + 1, document.PageCount()));
  painter.restore();
}

bool PaintAllPages(QPainter& painter, QPagedPaintDevice& device, const LaidOutDocument& document,
                   const CancelCheck& cancelled) {
  const QRect paintRect = device.pageLayout().fullRectPixels(device.logicalDpiX());
  double sx = paintRect.width() / document.geometry.width;
  double sy = paintRect.height() / document.geometry.height;
  // A device in points (a PDF at 72 dpi) differs from the page only by its
  // whole-pixel rounding; painting it unscaled spares a transformation of
  // every shape.
  if (std::abs(sx - 1) < kUnscaledTolerance && std::abs(sy - 1) < kUnscaledTolerance) sx = sy = 1;
  PaintCache cache;
  for (int page = 0; page < document.PageCount(); ++page) {
    if (cancelled && cancelled()) return false;
    if (page > 0) device.newPage();
    painter.save();
    // Devices that keep a margin of their own paint from inside it.
    const QRect pageRect = device.pageLayout().paintRectPixels(device.logicalDpiX());
    if (pageRect.x() || pageRect.y()) painter.translate(-pageRect.x(), -pageRect.y());
    if (sx != 1 || sy != 1) painter.scale(sx, sy);
    PaintPage(painter, document, page, cache);
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
  StagedDevice device(staged);
  {
    QPdfWriter writer(&device);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setResolution(72);
    writer.setTitle(document.name);
    writer.setCreator(QStringLiteral("Rendaval"));
    QPainter painter;
    if (!painter.begin(&writer)) return fail("the PDF writer could not start");
    // A failed write ends the painting as a cancel does.
    const bool complete =
        PaintAllPages(painter, writer, document, [&] { return device.failed() || (cancelled && cancelled()); });
    // The PDF writer ends the file (its cross-reference table and trailer)
    // here, and answers true whatever its device did with them.
    if (!painter.end()) return fail("the PDF file could not be completed");
    if (!device.Flush()) return fail(staged.error());
    if (!complete) return fail(kCancelledReason);
  }
  if (cancelled && cancelled()) return fail(kCancelledReason);
  if (!staged.Commit()) return fail(staged.error());
  return true;
}

}  // namespace qmx::report
