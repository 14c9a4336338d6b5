// DibImage: layout in memory, bitmap files read back by Qt and ImageMagick,
// JPEG files by libjpeg-turbo, and copies from device bitmaps.
#include <gtest/gtest.h>

#include <QImage>
#include <cstring>

#include "app/ui/image/DibImage.h"
#include "app/ui/image/ImageLog.h"
#include "image_checks.h"
#include "tests/support/test_support.h"

namespace qmx {
namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 | uint32_t{b[at + 3]} << 24;
}
uint16_t Le16(const std::vector<uint8_t>& b, size_t at) { return static_cast<uint16_t>(b[at] | b[at + 1] << 8); }

// A 24-bit image with a different colour in every pixel.
void Paint24(DibImage& dib) {
  uint8_t* const* rows = dib.GetRows24();
  for (int y = 0; y < dib.Height(); ++y)
    for (int x = 0; x < dib.Width(); ++x) {
      rows[y][3 * x] = static_cast<uint8_t>(x * 7 + y);      // blue
      rows[y][3 * x + 1] = static_cast<uint8_t>(y * 13);     // green
      rows[y][3 * x + 2] = static_cast<uint8_t>(x ^ y * 3);  // red
    }
}

// An 8-bit image using a colour palette.
void Paint8(DibImage& dib) {
  std::vector<RgbQuad> table(256);
  for (int i = 0; i < 256; ++i)
    table[i] = {static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 3), static_cast<uint8_t>(i), 0};
  ASSERT_TRUE(dib.SetColourTable(table));
  uint8_t* const* rows = dib.GetRows8();
  for (int y = 0; y < dib.Height(); ++y)
    for (int x = 0; x < dib.Width(); ++x) rows[y][x] = static_cast<uint8_t>(x * 11 + y * 5);
}

// R, G, B bytes of the image, top row first.
std::vector<uint8_t> ExpectedRgb(DibImage& dib) {
  std::vector<uint8_t> out;
  for (int y = 0; y < dib.Height(); ++y)
    for (int x = 0; x < dib.Width(); ++x) {
      if (dib.BitsPerPixel() == 24) {
        const uint8_t* p = dib.GetRows24()[y] + 3 * x;
        out.insert(out.end(), {p[2], p[1], p[0]});
      } else {
        const RgbQuad& c = dib.ColourTable()[dib.GetRows8()[y][x]];
        out.insert(out.end(), {c.red, c.green, c.blue});
      }
    }
  return out;
}

std::vector<uint8_t> QtRgb(const QImage& loaded) {
  const QImage image = loaded.convertToFormat(QImage::Format_RGB888);
  std::vector<uint8_t> out;
  for (int y = 0; y < image.height(); ++y) {
    const uint8_t* line = image.constScanLine(y);
    out.insert(out.end(), line, line + 3 * image.width());
  }
  return out;
}

TEST(DibImageLayout, RowSizeIsPaddedToFourBytes) {
  struct Case {
    int width, bits, rowSize;
  };
  for (const Case c : {Case{10, 8, 12}, Case{10, 24, 32}, Case{1, 8, 4}, Case{1, 24, 4}, Case{4, 8, 4},
                       Case{5, 8, 8}, Case{4, 24, 12}, Case{5, 24, 16}, Case{33, 1, 8}, Case{10, 4, 8},
                       Case{8, 32, 32}}) {
    EXPECT_EQ(DibImage::RowSizeFor(c.width, c.bits), c.rowSize) << c.width << " x " << c.bits;
  }
  EXPECT_EQ(DibImage::ColourTableEntries(1), 2);
  EXPECT_EQ(DibImage::ColourTableEntries(4), 16);
  EXPECT_EQ(DibImage::ColourTableEntries(8), 256);
  EXPECT_EQ(DibImage::ColourTableEntries(24), 0);
}

TEST(DibImageLayout, NewImagesCarryTheirHeaderAndPixels) {
  struct Case {
    int bits, width, height;
  };
  for (const Case c : {Case{8, 10, 3}, Case{24, 10, 3}, Case{8, 1, 1}, Case{24, 7, 5}}) {
    DibImage dib;
    ASSERT_TRUE(c.bits == 8 ? dib.CreateGrey(c.width, c.height, 0x5A) : dib.CreateRgb(c.width, c.height, 0x00332211));
    EXPECT_EQ(dib.Width(), c.width);
    EXPECT_EQ(dib.Height(), c.height);
    EXPECT_EQ(dib.BitsPerPixel(), c.bits);
    const int rowSize = DibImage::RowSizeFor(c.width, c.bits);
    const int entries = c.bits == 8 ? 256 : 0;
    ASSERT_EQ(dib.DibSize(), static_cast<size_t>(40 + 4 * entries + rowSize * c.height));
    const std::vector<uint8_t> h(dib.Dib(), dib.Dib() + 40);
    EXPECT_EQ(Le32(h, 0), 40u);
    EXPECT_EQ(Le32(h, 4), static_cast<uint32_t>(c.width));
    EXPECT_EQ(Le32(h, 8), static_cast<uint32_t>(c.height));  // positive: bottom-up
    EXPECT_EQ(Le16(h, 12), 1);
    EXPECT_EQ(Le16(h, 14), c.bits);
    EXPECT_EQ(Le32(h, 16), 0u);
    EXPECT_EQ(Le32(h, 20), static_cast<uint32_t>(rowSize * c.height));
    EXPECT_EQ(Le32(h, 24), 0u);
    EXPECT_EQ(Le32(h, 28), 0u);
    EXPECT_EQ(Le32(h, 32), static_cast<uint32_t>(entries));
    EXPECT_EQ(Le32(h, 36), 0u);
    if (c.bits == 8) {
      ASSERT_NE(dib.GetRows8(), nullptr);
      EXPECT_EQ(dib.GetRows24(), nullptr);
      ASSERT_EQ(dib.Palette().size(), 256u);
      for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(dib.ColourTable()[i].red, i);
        EXPECT_EQ(dib.Palette()[i].red, i);
        EXPECT_EQ(dib.Palette()[i].blue, i);
      }
      for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x) EXPECT_EQ(dib.GetRows8()[y][x], 0x5A);
    } else {
      ASSERT_NE(dib.GetRows24(), nullptr);
      EXPECT_EQ(dib.GetRows8(), nullptr);
      EXPECT_TRUE(dib.Palette().empty());
      EXPECT_EQ(dib.ColourTable(), nullptr);
      const uint8_t* p = dib.GetRows24()[0];
      EXPECT_EQ(p[0], 0x33);  // blue, green, red
      EXPECT_EQ(p[1], 0x22);
      EXPECT_EQ(p[2], 0x11);
    }
    // Row 0 is the top row: the last row stored.
    const uint8_t* bits = dib.Dib() + 40 + 4 * entries;
    uint8_t* top = c.bits == 8 ? dib.GetRows8()[0] : dib.GetRows24()[0];
    EXPECT_EQ(top, bits + static_cast<size_t>(rowSize) * (c.height - 1));
  }
}

TEST(DibImageLayout, RefusesEmptyOrHugeImages) {
  DibImage dib;
  EXPECT_FALSE(dib.CreateGrey(0, 5, 0));
  EXPECT_FALSE(dib.CreateRgb(5, 0, 0));
  EXPECT_FALSE(dib.CreateRgb(-1, 5, 0));
  EXPECT_FALSE(dib.CreateRgb(100000, 100000, 0));  // beyond the 32-bit size fields
  EXPECT_TRUE(dib.IsEmpty());
  EXPECT_EQ(dib.GetRows8(), nullptr);
  EXPECT_EQ(dib.GetRows24(), nullptr);
  EXPECT_FALSE(dib.SaveToFile("/tmp/never-written.bmp"));
  ASSERT_TRUE(dib.CreateGrey(3, 3, 1));
  EXPECT_FALSE(dib.CreateRgb(0, 3, 0));
  EXPECT_TRUE(dib.IsEmpty()) << "a failed create leaves nothing allocated";
}

// --- saving by extension -----------------------------------------------------------

TEST(DibImageSave, ExtensionChoosesTheFormat) {
  test::TempDir dir("dib");
  std::filesystem::create_directories(dir / "sub.bmp");
  struct Case {
    std::string name;
    int kind;  // 0 refused, 1 bitmap, 2 JPEG
  };
  for (const Case& c : {Case{"a.bmp", 1}, Case{"b.BMP", 1}, Case{"c.Bmp", 1}, Case{"d.jpg", 2}, Case{"e.JPG", 2},
                        Case{"f.jpeg", 2}, Case{"g.JPEG", 2}, Case{"h.png", 0}, Case{"noextension", 0},
                        Case{"i.bmp.txt", 0}, Case{"sub.bmp/inner", 0}, Case{"j.bm", 0}}) {
    DibImage dib;
    ASSERT_TRUE(dib.CreateRgb(5, 4, 0x00808080));
    const auto path = dir / c.name;
    EXPECT_EQ(dib.SaveToFile(path), c.kind != 0) << c.name;
    EXPECT_EQ(dib.Path(), path);
    if (c.kind == 0) {
      EXPECT_FALSE(std::filesystem::is_regular_file(path)) << c.name;
      continue;
    }
    const auto bytes = test::ReadBytes(path);
    ASSERT_GE(bytes.size(), 2u);
    if (c.kind == 1) {
      EXPECT_EQ(bytes[0], 'B');
      EXPECT_EQ(bytes[1], 'M');
    } else {
      EXPECT_EQ(bytes[0], 0xFF);
      EXPECT_EQ(bytes[1], 0xD8);
    }
  }
}

TEST(DibImageSave, BitmapFileHeaderAndBody) {
  test::TempDir dir("dib");
  for (int bits : {8, 24}) {
    DibImage dib;
    ASSERT_TRUE(bits == 8 ? dib.CreateGrey(10, 7, 3) : dib.CreateRgb(10, 7, 0x00102030));
    const auto path = dir / ("file" + std::to_string(bits) + ".bmp");
    ASSERT_TRUE(dib.SaveToFile(path));
    const auto bytes = test::ReadBytes(path);
    const uint32_t table = bits == 8 ? 1024 : 0;
    const uint32_t rowSize = bits == 8 ? 12 : 32;
    ASSERT_EQ(bytes.size(), 14 + 40 + table + rowSize * 7);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(Le32(bytes, 2), 14 + 40 + table + rowSize * 7);
    EXPECT_EQ(Le16(bytes, 6), 0);
    EXPECT_EQ(Le16(bytes, 8), 0);
    EXPECT_EQ(Le32(bytes, 10), 14 + 40 + table);
    EXPECT_TRUE(std::equal(bytes.begin() + 14, bytes.end(), dib.Dib())) << "header, table and rows as held";
  }
}

struct RoundTripCase {
  int bits;
  int width;
  int height;
};

void PrintTo(const RoundTripCase& c, std::ostream* os) { *os << c.bits << "-bit " << c.width << "x" << c.height; }

class BitmapRoundTripTest : public testing::TestWithParam<RoundTripCase> {
protected:
  void SetUp() override {
    const RoundTripCase c = GetParam();
    if (c.bits == 8) {
      ASSERT_TRUE(dib_.CreateGrey(c.width, c.height, 0));
      Paint8(dib_);
    } else {
      ASSERT_TRUE(dib_.CreateRgb(c.width, c.height, 0));
      Paint24(dib_);
    }
    path_ = dir_ / "round.bmp";
    ASSERT_TRUE(dib_.SaveToFile(path_));
  }
  test::TempDir dir_{"dib"};
  DibImage dib_;
  std::filesystem::path path_;
};

TEST_P(BitmapRoundTripTest, QtReadsTheSamePixels) {
  QImage loaded(QString::fromStdString(path_.string()));
  ASSERT_FALSE(loaded.isNull());
  EXPECT_EQ(loaded.width(), dib_.Width());
  EXPECT_EQ(loaded.height(), dib_.Height());
  EXPECT_EQ(QtRgb(loaded), ExpectedRgb(dib_));
}

TEST_P(BitmapRoundTripTest, ImageMagickReadsTheSamePixels) {
  const std::string convert = test::ImageMagickConvert();
  if (convert.empty()) GTEST_SKIP() << "ImageMagick is not installed";
  int status = 0;
  const std::string size = test::RunCommand(convert + " '" + path_.string() + "' -format '%w %h' info:", status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(size, std::to_string(dib_.Width()) + " " + std::to_string(dib_.Height()));
  const std::string raw = test::RunCommand(convert + " '" + path_.string() + "' -depth 8 rgb:-", status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(std::vector<uint8_t>(raw.begin(), raw.end()), ExpectedRgb(dib_));
}

INSTANTIATE_TEST_SUITE_P(Sizes, BitmapRoundTripTest,
                         testing::Values(RoundTripCase{8, 1, 1}, RoundTripCase{24, 1, 1}, RoundTripCase{8, 3, 2},
                                         RoundTripCase{24, 3, 2}, RoundTripCase{8, 10, 7},
                                         RoundTripCase{24, 10, 7}, RoundTripCase{8, 17, 5},
                                         RoundTripCase{24, 17, 5}, RoundTripCase{24, 64, 33}));

// Saves that cannot create or fill the file answer false and leave a log
// line, whatever the format and depth.
TEST(DibImageSave, FailuresAreReportedAndLogged) {
  test::TempDir dir("dib");
  struct Case {
    const char* name;
    int bits;
    std::filesystem::path path;
    const char* func;
  };
  const Case cases[] = {
      {"bitmap, missing folder", 24, dir / "missing" / "a.bmp", "DibImage::SaveToFile"},
      {"bitmap, full device", 8, "/dev/full", "DibImage::SaveToFile"},
      {"JPEG colour, missing folder", 24, dir / "missing" / "a.jpg", "JpegWriter::WriteColour"},
      {"JPEG grey, missing folder", 8, dir / "missing" / "a.JPEG", "JpegWriter::WriteGrey"},
      {"JPEG palette, missing folder", 8, dir / "missing" / "b.jpg", "JpegWriter::WriteColour"},
  };
  for (const Case& c : cases) {
    DibImage dib;
    ASSERT_TRUE(c.bits == 8 ? dib.CreateGrey(4, 4, 9) : dib.CreateRgb(4, 4, 0x00FF00FF));
    if (std::string(c.name).find("palette") != std::string::npos) {
      const RgbQuad red[] = {{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0},
                             {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 255, 0}};
      ASSERT_TRUE(dib.SetColourTable(red));
    }
    // "/dev/full" has no extension of its own: save through a link that has one.
    std::filesystem::path path = c.path;
    if (path == "/dev/full") {
      path = dir / "full.bmp";
      std::filesystem::create_symlink("/dev/full", path);
    }
    std::vector<std::string> lines;
    const ImageLogSink previous =
        SetImageLogSink([&lines](int, const std::string&, const std::string& text) { lines.push_back(text); });
    EXPECT_FALSE(dib.SaveToFile(path)) << c.name;
    SetImageLogSink(previous);
    ASSERT_EQ(lines.size(), 1u) << c.name;
    EXPECT_EQ(lines[0].rfind("[Error Code: -1035] ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(std::string("Func: ") + c.func), std::string::npos) << lines[0];
  }
  EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

// --- JPEG through the image -----------------------------------------------------------

TEST(DibImageJpeg, ColourImageDecodesCloseToItsPixels) {
  test::TempDir dir("dib");
  DibImage dib;
  ASSERT_TRUE(dib.CreateRgb(64, 48, 0));
  uint8_t* const* rows = dib.GetRows24();
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      rows[y][3 * x] = static_cast<uint8_t>(x * 4);
      rows[y][3 * x + 1] = static_cast<uint8_t>(y * 5);
      rows[y][3 * x + 2] = 128;
    }
  ASSERT_TRUE(dib.SaveToFile(dir / "colour.jpg"));
  const auto decoded = test::DecodeJpeg(test::ReadBytes(dir / "colour.jpg"));
  ASSERT_TRUE(decoded.ok) << decoded.error;
  EXPECT_EQ(decoded.warnings, 0);
  EXPECT_EQ(decoded.components, 3);
  EXPECT_GT(test::Psnr(decoded.pixels, ExpectedRgb(dib)), 35.0);
}

// An 8-bit image is written with its palette's colours, not its indices.
TEST(DibImageJpeg, PaletteImagesKeepTheirColours) {
  test::TempDir dir("dib");
  struct Case {
    const char* name;
    std::vector<RgbQuad> table;  // entries 0 and 1
    int components;
  };
  const Case cases[] = {
      {"red and blue", {{0, 0, 255, 0}, {255, 0, 0, 0}}, 3},
      {"inverted grey", {{255, 255, 255, 0}, {0, 0, 0, 0}}, 1},
      {"grey ramp", {{0, 0, 0, 0}, {1, 1, 1, 0}}, 1},
  };
  for (const Case& c : cases) {
    DibImage dib;
    ASSERT_TRUE(dib.CreateGrey(32, 16, 0));
    if (std::string(c.name) != "grey ramp") {
      ASSERT_TRUE(dib.SetColourTable(c.table));
    }
    uint8_t* const* rows = dib.GetRows8();
    for (int y = 0; y < 16; ++y)
      for (int x = 0; x < 32; ++x) rows[y][x] = x < 16 ? 0 : 1;
    const auto path = dir / "palette.jpg";
    ASSERT_TRUE(dib.SaveToFile(path)) << c.name;
    const auto decoded = test::DecodeJpeg(test::ReadBytes(path));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.warnings, 0);
    ASSERT_EQ(decoded.components, c.components) << c.name;
    std::vector<uint8_t> expected = ExpectedRgb(dib);
    if (c.components == 1) {
      std::vector<uint8_t> grey;
      for (size_t i = 0; i < expected.size(); i += 3) grey.push_back(expected[i]);
      expected = grey;
    }
    // Away from the sharp edge between the halves.
    const int channels = c.components;
    const auto a = test::Crop(decoded.pixels, 32, channels, 0, 0, 8, 16);
    const auto b = test::Crop(expected, 32, channels, 0, 0, 8, 16);
    EXPECT_LE(test::MaxDifference(a, b), 4) << c.name;
    const auto a2 = test::Crop(decoded.pixels, 32, channels, 24, 0, 32, 16);
    const auto b2 = test::Crop(expected, 32, channels, 24, 0, 32, 16);
    EXPECT_LE(test::MaxDifference(a2, b2), 4) << c.name;
  }
}

// --- copies of device bitmaps -----------------------------------------------------------

class FakeBitmap : public BitmapSource {
public:
  FakeBitmap(int width, int height, int planes, int bits) : width_(width), height_(height), planes_(planes), bits_(bits) {}
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  int Planes() const override { return planes_; }
  int BitsPerPixel() const override { return bits_; }
  bool ReadBits(uint8_t* bits, size_t rowSize, RgbQuad* table, std::string& error) const override {
    ++reads;
    if (fail) {
      error = "The parameter is incorrect.";
      return false;
    }
    const int depth = planes_ * bits_;
    EXPECT_EQ(rowSize, static_cast<size_t>(DibImage::RowSizeFor(width_, depth)));
    EXPECT_EQ(table != nullptr, depth == 8);
    if (table != nullptr) {
      for (int i = 0; i < 256; ++i) table[i] = {static_cast<uint8_t>(i), 0, static_cast<uint8_t>(255 - i), 0};
    }
    for (int y = 0; y < height_; ++y)  // bottom row first
      for (int x = 0; x < width_; ++x)
        for (int b = 0; b < depth / 8; ++b)
          bits[static_cast<size_t>(y) * rowSize + static_cast<size_t>(x * depth / 8 + b)] =
              static_cast<uint8_t>(x * 16 + y * 4 + b);
    return true;
  }
  bool fail = false;
  mutable int reads = 0;

private:
  int width_, height_, planes_, bits_;
};

TEST(DibImageFromBitmap, ThirtyTwoBitsBecomeTwentyFourWithTheSamePixels) {
  FakeBitmap bitmap(5, 3, 1, 32);
  DibImage dib;
  ASSERT_TRUE(dib.CreateFromBitmap(bitmap));
  EXPECT_EQ(dib.BitsPerPixel(), 24);
  EXPECT_EQ(dib.Width(), 5);
  EXPECT_EQ(dib.Height(), 3);
  const uint8_t* bits = dib.Dib() + 40;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      for (int b = 0; b < 3; ++b)
        EXPECT_EQ(bits[y * dib.RowSize() + 3 * x + b], static_cast<uint8_t>(x * 16 + y * 4 + b));
  test::TempDir dir("dib");
  ASSERT_TRUE(dib.SaveToFile(dir / "from32.bmp"));
  const auto file = test::ReadBytes(dir / "from32.bmp");
  ASSERT_GT(file.size(), 30u);
  EXPECT_EQ(Le16(file, 28), 24) << "a 24-bit file";
  QImage loaded(QString::fromStdString((dir / "from32.bmp").string()));
  EXPECT_EQ(QtRgb(loaded), ExpectedRgb(dib));
}

TEST(DibImageFromBitmap, DepthsAndFailures) {
  for (int planes : {1, 3}) {
    FakeBitmap bitmap(4, 4, planes, 24 / planes);
    DibImage dib;
    EXPECT_TRUE(dib.CreateFromBitmap(bitmap));
    EXPECT_EQ(dib.BitsPerPixel(), 24);
  }
  {
    FakeBitmap bitmap(6, 2, 1, 8);
    DibImage dib;
    ASSERT_TRUE(dib.CreateFromBitmap(bitmap));
    EXPECT_EQ(dib.BitsPerPixel(), 8);
    EXPECT_EQ(dib.ColourTable()[10].blue, 10) << "the bitmap's own colour table";
    EXPECT_EQ(dib.Palette()[10].red, 245) << "the palette follows the table";
    EXPECT_EQ(dib.GetRows8()[1][2], 2 * 16);  // row 1 from the top is the bottom row
  }
  for (int bits : {1, 4, 16}) {
    FakeBitmap bitmap(4, 4, 1, bits);
    DibImage dib;
    EXPECT_FALSE(dib.CreateFromBitmap(bitmap)) << bits;
    EXPECT_EQ(bitmap.reads, 0);
  }
  std::vector<std::pair<std::string, std::string>> boxes;
  const ImageMessageSink previous = SetImageMessageSink(
      [&boxes](const std::string& title, const std::string& text) { boxes.emplace_back(title, text); });
  FakeBitmap failing(4, 4, 1, 32);
  failing.fail = true;
  DibImage dib;
  EXPECT_FALSE(dib.CreateFromBitmap(failing));
  SetImageMessageSink(previous);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].first, "Error");
  EXPECT_EQ(boxes[0].second, "The parameter is incorrect.");
}

}  // namespace
}  // namespace qmx
