#include "platform/report/picture_file.h"

#include <cstdint>
#include <cstdlib>

namespace qmx::report {
namespace {

uint32_t Le(const QByteArray& bytes, int at, int size) {
  uint32_t value = 0;
  for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

// Whether the bytes are an uncompressed Windows bitmap whose pixel rows end
// before the file does. Other files are left to Qt's readers.
bool BitmapCutShort(const QByteArray& bytes) {
  constexpr int kHeaders = 54;  // file header and the smallest info header
  if (bytes.size() < kHeaders || bytes[0] != 'B' || bytes[1] != 'M') return false;
  const uint32_t compression = Le(bytes, 30, 4);
  if (compression != 0 && compression != 3) return false;  // run-length rows have no fixed size
  const uint64_t width = static_cast<uint64_t>(std::abs(static_cast<int64_t>(static_cast<int32_t>(Le(bytes, 18, 4)))));
  const uint64_t height = static_cast<uint64_t>(std::abs(static_cast<int64_t>(static_cast<int32_t>(Le(bytes, 22, 4)))));
  const uint64_t bits = Le(bytes, 28, 2);
  const uint64_t rowBytes = (width * bits + 31) / 32 * 4;
  return Le(bytes, 10, 4) + rowBytes * height > static_cast<uint64_t>(bytes.size());
}

}  // namespace

QImage DecodeWholePicture(const QByteArray& bytes) {
  if (BitmapCutShort(bytes)) return {};
  return QImage::fromData(bytes);
}

}  // namespace qmx::report
