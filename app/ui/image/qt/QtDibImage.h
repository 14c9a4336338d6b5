// Fills a DibImage from a picture that Qt holds (a grabbed window, a loaded
// file). Pictures of 8 bits per pixel keep their colour table, 24 and 32
// bits per pixel become 24-bit images; other depths are refused.
#pragma once

#include <QImage>

#include "app/ui/image/DibImage.h"

namespace qmx {

// A QImage seen as the device bitmap that DibImage::CreateFromBitmap copies.
class QImageBitmap : public BitmapSource {
public:
  explicit QImageBitmap(const QImage& image) : image_(image) {}
  int Width() const override { return image_.width(); }
  int Height() const override { return image_.height(); }
  int Planes() const override { return 1; }
  int BitsPerPixel() const override { return image_.isNull() ? 0 : image_.depth(); }
  bool ReadBits(uint8_t* bits, size_t rowSize, RgbQuad* colourTable, std::string& error) const override;

private:
  QImage image_;
};

bool CreateDibFromQImage(DibImage& dib, const QImage& image);

}  // namespace qmx
