// Filling a DibImage from the pictures Qt holds.
#include <gtest/gtest.h>

#include <QImage>

#include "app/ui/image/qt/QtDibImage.h"
#include "image_checks.h"
#include "tests/support/test_support.h"

namespace qmx {
namespace {

QImage Painted(QImage::Format format, int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.setPixel(x, y, qRgb(x * 20, y * 30, (x + y) * 10));
  return image.convertToFormat(format);
}

// The 24-bit pixels of a DibImage as QRgb, top row first.
QRgb PixelOf(DibImage& dib, int x, int y) {
  if (dib.BitsPerPixel() == 8) {
    const RgbQuad& c = dib.ColourTable()[dib.GetRows8()[y][x]];
    return qRgb(c.red, c.green, c.blue);
  }
  const uint8_t* p = dib.GetRows24()[y] + 3 * x;
  return qRgb(p[2], p[1], p[0]);
}

TEST(QtDibImage, TrueColourFormatsBecomeTwentyFourBits) {
  for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32, QImage::Format_ARGB32_Premultiplied,
                                QImage::Format_RGB888, QImage::Format_BGR888, QImage::Format_RGBX8888,
                                QImage::Format_RGBA8888}) {
    const QImage image = Painted(format, 7, 5);
    DibImage dib;
    ASSERT_TRUE(CreateDibFromQImage(dib, image)) << format;
    EXPECT_EQ(dib.BitsPerPixel(), 24);
    ASSERT_EQ(dib.Width(), 7);
    ASSERT_EQ(dib.Height(), 5);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x) EXPECT_EQ(PixelOf(dib, x, y), image.pixel(x, y) | 0xFF000000u) << format;
  }
}

TEST(QtDibImage, EightBitFormatsKeepTheirColourTable) {
  QImage indexed(6, 4, QImage::Format_Indexed8);
  indexed.setColorTable({qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)});
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) indexed.setPixel(x, y, static_cast<uint>((x + y) % 3));
  QImage grey(6, 4, QImage::Format_Grayscale8);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) grey.scanLine(y)[x] = static_cast<uchar>(x * 40 + y);
  for (const QImage& image : {indexed, grey}) {
    DibImage dib;
    ASSERT_TRUE(CreateDibFromQImage(dib, image));
    EXPECT_EQ(dib.BitsPerPixel(), 8);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x) EXPECT_EQ(PixelOf(dib, x, y), image.pixel(x, y));
  }
}

TEST(QtDibImage, OtherDepthsAndEmptyPicturesAreRefused) {
  for (QImage::Format format : {QImage::Format_Mono, QImage::Format_RGB16, QImage::Format_RGBA64}) {
    DibImage dib;
    EXPECT_FALSE(CreateDibFromQImage(dib, Painted(format, 4, 4))) << format;
    EXPECT_TRUE(dib.IsEmpty());
  }
  DibImage dib;
  EXPECT_FALSE(CreateDibFromQImage(dib, QImage()));
}

TEST(QtDibImage, GrabbedPictureSavesAsTheSameBitmap) {
  test::TempDir dir("qtdib");
  const QImage image = Painted(QImage::Format_ARGB32_Premultiplied, 33, 9);
  DibImage dib;
  ASSERT_TRUE(CreateDibFromQImage(dib, image));
  const auto path = dir / "grab.bmp";
  ASSERT_TRUE(dib.SaveToFile(path));
  const QImage loaded(QString::fromStdString(path.string()));
  ASSERT_EQ(loaded.size(), image.size());
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 33; ++x) EXPECT_EQ(loaded.pixel(x, y), image.pixel(x, y));
}

}  // namespace
}  // namespace qmx
