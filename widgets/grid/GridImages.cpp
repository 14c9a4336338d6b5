#include "widgets/grid/GridImages.h"

#include <QPainter>

#include <iterator>
#include <map>
#include <tuple>

namespace qmx::grid {
namespace {

std::map<int, QImage>& Registry() {
  static std::map<int, QImage> registry;
  return registry;
}

// The cut strips by bitmap id, image width and mask colour. Pixmaps share
// their pixels, so every grid that shows a strip holds the one copy.
std::map<std::tuple<int, int, GridColor>, std::vector<QPixmap>>& CutStrips() {
  static std::map<std::tuple<int, int, GridColor>, std::vector<QPixmap>> cut;
  return cut;
}

void DrawFolder(QPainter& p, int x, int h, bool open) {
  const int top = h / 2 - 5;
  p.setPen(QColor(160, 120, 20));
  p.setBrush(QColor(240, 200, 80));
  p.drawRect(x + 1, top, 5, 2);
  if (open) {
    p.drawRect(x + 1, top + 2, 12, 8);
    p.setBrush(QColor(250, 225, 130));
    QPolygon flap;
    flap << QPoint(x + 3, top + 5) << QPoint(x + 15, top + 5) << QPoint(x + 13, top + 10) << QPoint(x + 1, top + 10);
    p.drawPolygon(flap);
  } else {
    p.drawRect(x + 1, top + 2, 13, 8);
  }
}

void DrawLeaf(QPainter& p, int x, int h) {
  const int top = h / 2 - 6;
  p.setPen(QColor(90, 90, 90));
  p.setBrush(QColor(254, 254, 250));
  p.drawRect(x + 3, top, 9, 12);
  p.setPen(QColor(120, 140, 200));
  for (int i = 0; i < 4; ++i) p.drawLine(x + 5, top + 3 + 2 * i, x + 10, top + 3 + 2 * i);
}

void DrawGlyph(QPainter& p, int x, int h, int index) {
  // Distinct coloured marks for the images past the tree's three.
  QColor colour = QColor::fromHsv((index * 47) % 360, 170, 210);
  p.setPen(colour.darker(150));
  p.setBrush(colour);
  const int top = h / 2 - 5;
  switch (index % 3) {
    case 0: p.drawEllipse(x + 3, top, 10, 10); break;
    case 1: p.drawRect(x + 3, top, 10, 10); break;
    default: {
      QPolygon tri;
      tri << QPoint(x + 8, top) << QPoint(x + 13, top + 10) << QPoint(x + 3, top + 10);
      p.drawPolygon(tri);
    }
  }
}

void DrawStatus(QPainter& p, int x, int h, int index) {
  const int top = h / 2 - 6;
  p.setRenderHint(QPainter::Antialiasing);
  switch (index) {
    case 0:  // check mark
      p.setPen(QPen(QColor(0, 150, 0), 2));
      p.drawLine(x + 3, top + 6, x + 6, top + 10);
      p.drawLine(x + 6, top + 10, x + 13, top + 2);
      break;
    case 1:  // cross
      p.setPen(QPen(QColor(200, 0, 0), 2));
      p.drawLine(x + 3, top + 2, x + 12, top + 11);
      p.drawLine(x + 12, top + 2, x + 3, top + 11);
      break;
    case 2:  // warning
      p.setPen(QColor(150, 110, 0));
      p.setBrush(QColor(250, 200, 0));
      p.drawPolygon(QPolygon({QPoint(x + 8, top), QPoint(x + 15, top + 12), QPoint(x + 1, top + 12)}));
      break;
    case 3:  // information
      p.setPen(QColor(0, 60, 160));
      p.setBrush(QColor(60, 120, 230));
      p.drawEllipse(x + 2, top, 12, 12);
      break;
    default:  // dot
      p.setPen(Qt::NoPen);
      p.setBrush(QColor(80, 80, 80));
      p.drawEllipse(x + 5, top + 3, 6, 6);
  }
}

QImage BuiltInStrip(int id) {
  int width = 0, height = 16, count = 0;
  bool tree = true;
  switch (id) {
    case kBitmapTreeIcons: width = 512; height = 17; count = 32; break;
    case kBitmapSubItems: width = 80; count = 5; tree = false; break;
    case kBitmapFlatIcons: width = 80; count = 5; break;
    case kBitmapConfigIcons: width = 92; count = 5; break;
    default: return {};
  }
  QImage strip(width, height, QImage::Format_ARGB32);
  strip.fill(Qt::transparent);
  QPainter p(&strip);
  for (int i = 0; i < count; ++i) {
    const int x = i * 16;
    if (!tree) DrawStatus(p, x, height, i);
    else if (i == 0) DrawFolder(p, x, height, true);
    else if (i == 1) DrawFolder(p, x, height, false);
    else if (i == 2) DrawLeaf(p, x, height);
    else DrawGlyph(p, x, height, i);
  }
  return strip;
}

}  // namespace

void RegisterGridBitmap(int id, const QImage& strip) {
  Registry()[id] = strip;
  for (auto it = CutStrips().begin(); it != CutStrips().end();) {
    it = std::get<0>(it->first) == id ? CutStrips().erase(it) : std::next(it);
  }
}

QImage GridBitmap(int id) {
  auto it = Registry().find(id);
  if (it != Registry().end()) return it->second;
  return BuiltInStrip(id);
}

std::vector<QPixmap> CutGridStrip(const QImage& strip, int width, GridColor mask) {
  std::vector<QPixmap> images;
  if (strip.isNull() || width <= 0) return images;
  QImage argb = strip.convertToFormat(QImage::Format_ARGB32);
  const QRgb maskRgb = qRgb(static_cast<int>(GridRed(mask)), static_cast<int>(GridGreen(mask)),
                            static_cast<int>(GridBlue(mask)));
  for (int y = 0; y < argb.height(); ++y) {
    QRgb* line = reinterpret_cast<QRgb*>(argb.scanLine(y));
    for (int x = 0; x < argb.width(); ++x)
      if (qAlpha(line[x]) == 255 && (line[x] & 0xFFFFFFu) == (maskRgb & 0xFFFFFFu)) line[x] = qRgba(0, 0, 0, 0);
  }
  for (int x = 0; x + width <= argb.width(); x += width) images.push_back(QPixmap::fromImage(argb.copy(x, 0, width, argb.height())));
  return images;
}

std::vector<QPixmap> GridImages(int id, int width, GridColor mask) {
  const auto key = std::make_tuple(id, width, mask);
  auto it = CutStrips().find(key);
  if (it == CutStrips().end()) it = CutStrips().emplace(key, CutGridStrip(GridBitmap(id), width, mask)).first;
  return it->second;
}

}  // namespace qmx::grid
