#include "app/ui/image/qt/QtDibImage.h"

#include <cerrno>
#include <cstring>

namespace qmx {

bool QImageBitmap::ReadBits(uint8_t* bits, size_t rowSize, RgbQuad* colourTable, std::string& error) const {
  const int width = image_.width();
  const int height = image_.height();
  const int depth = BitsPerPixel();
  QImage source = image_;
  if (depth == 8) {
    if (colourTable == nullptr) {
      error = std::strerror(EINVAL);
      return false;
    }
    if (source.format() == QImage::Format_Indexed8) {
      const QList<QRgb> table = source.colorTable();
      for (int i = 0; i < 256; ++i) {
        const QRgb c = i < table.size() ? table[i] : 0;
        colourTable[i] = {static_cast<uint8_t>(qBlue(c)), static_cast<uint8_t>(qGreen(c)),
                          static_cast<uint8_t>(qRed(c)), 0};
      }
    } else {  // grey levels (or alpha) of one byte
      for (int i = 0; i < 256; ++i) {
        const auto v = static_cast<uint8_t>(i);
        colourTable[i] = {v, v, v, 0};
      }
    }
    for (int y = 0; y < height; ++y) {
      std::memcpy(bits + static_cast<size_t>(height - 1 - y) * rowSize, source.constScanLine(y),
                  static_cast<size_t>(width));
    }
    return true;
  }
  if (depth == 24) {
    if (source.format() != QImage::Format_BGR888) source = source.convertToFormat(QImage::Format_BGR888);
  } else if (depth == 32) {
    const QImage::Format f = source.format();
    if (f != QImage::Format_RGB32 && f != QImage::Format_ARGB32 && f != QImage::Format_ARGB32_Premultiplied) {
      source = source.convertToFormat(QImage::Format_RGB32);
    }
  } else {
    error = std::strerror(EINVAL);
    return false;
  }
  if (source.isNull()) {
    error = std::strerror(ENOMEM);
    return false;
  }
  for (int y = 0; y < height; ++y) {
    uint8_t* d = bits + static_cast<size_t>(height - 1 - y) * rowSize;
    if (depth == 24) {
      std::memcpy(d, source.constScanLine(y), static_cast<size_t>(width) * 3);
      continue;
    }
    const auto* s = reinterpret_cast<const QRgb*>(source.constScanLine(y));
    for (int x = 0; x < width; ++x, d += 4) {
      d[0] = static_cast<uint8_t>(qBlue(s[x]));
      d[1] = static_cast<uint8_t>(qGreen(s[x]));
      d[2] = static_cast<uint8_t>(qRed(s[x]));
      d[3] = static_cast<uint8_t>(qAlpha(s[x]));
    }
  }
  return true;
}

bool CreateDibFromQImage(DibImage& dib, const QImage& image) {
  return dib.CreateFromBitmap(QImageBitmap(image));
}

}  // namespace qmx
