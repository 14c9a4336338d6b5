// Files of the JPEG writer read by libjpeg-turbo: markers and tables,
// decoded pixels, the padding of partial blocks, byte stuffing, and failures.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

#include "app/ui/image/ImageLog.h"
#include "app/ui/image/JpegCore.h"
#include "app/ui/image/JpegWriter.h"
#include "image_checks.h"
#include "tests/support/test_support.h"

namespace qmx {
namespace {

using test::DecodeJpeg;
using test::ParseJpeg;
using test::Picture;

std::vector<uint8_t> Encode(const Picture& p, int quality = 17) {
  JpegWriter writer;
  std::vector<uint8_t> file;
  const bool ok = p.colour ? writer.EncodeColour(file, p.width, p.height, p.rows.data(), quality)
                           : writer.EncodeGrey(file, p.width, p.height, p.rows.data(), quality);
  EXPECT_TRUE(ok);
  return file;
}

Picture Flat(int width, int height, bool colour, uint32_t rgb) {
  return Picture::Make(width, height, colour, [rgb](int, int) { return rgb; });
}

// Collects the writers' log lines for one test.
class LogCapture {
public:
  LogCapture() {
    previous_ = SetImageLogSink([this](int category, const std::string& source, const std::string& text) {
      lines.push_back({category, source, text});
    });
  }
  ~LogCapture() { SetImageLogSink(previous_); }
  struct Line {
    int category;
    std::string source;
    std::string text;
  };
  std::vector<Line> lines;

private:
  ImageLogSink previous_;
};

// --- markers and tables ------------------------------------------------------

struct LayoutCase {
  bool colour;
  int width;
  int height;
  bool decode = true;  // libjpeg-turbo reads at most 65500 pixels a side
};

void PrintTo(const LayoutCase& c, std::ostream* os) {
  *os << (c.colour ? "colour " : "grey ") << c.width << "x" << c.height;
}

class JpegLayoutTest : public testing::TestWithParam<LayoutCase> {};

TEST_P(JpegLayoutTest, SegmentsTablesAndFrameAsWritten) {
  const LayoutCase c = GetParam();
  const Picture p = Flat(c.width, c.height, c.colour, 0x406080);
  const std::vector<uint8_t> file = Encode(p);
  const auto layout = ParseJpeg(file);
  ASSERT_TRUE(layout.ok) << layout.error;
  EXPECT_TRUE(layout.endsWithEoi);

  std::vector<uint8_t> markers;
  for (const auto& s : layout.segments) markers.push_back(s.marker);
  const std::vector<uint8_t> expected =
      c.colour ? std::vector<uint8_t>{0xD8, 0xDB, 0xDB, 0xC4, 0xC4, 0xC4, 0xC4, 0xC0, 0xDA}
               : std::vector<uint8_t>{0xD8, 0xDB, 0xC4, 0xC4, 0xC0, 0xDA};
  ASSERT_EQ(markers, expected) << "no APP segment, no restart interval";

  // DQT: table 0 at offset 2; in a colour file table 1 follows.
  const std::vector<uint8_t> dqt0 = {0xFF, 0xDB, 0x00, 0x43, 0x00};
  EXPECT_TRUE(std::equal(dqt0.begin(), dqt0.end(), file.begin() + 2));
  EXPECT_TRUE(std::equal(jpeg::kLuminanceQuant.begin(), jpeg::kLuminanceQuant.end(), file.begin() + 7));
  size_t at = 2 + 69;
  if (c.colour) {
    const std::vector<uint8_t> dqt1 = {0xFF, 0xDB, 0x00, 0x43, 0x01};
    EXPECT_TRUE(std::equal(dqt1.begin(), dqt1.end(), file.begin() + at));
    EXPECT_TRUE(std::equal(jpeg::kChrominanceQuant.begin(), jpeg::kChrominanceQuant.end(), file.begin() + at + 5));
    at += 69;
  }
  // The Huffman blocks of 216 bytes: luminance DC (00) and AC (10), then
  // chrominance DC (01) and AC (11).
  const std::vector<std::vector<uint8_t>> dhtHeads = {{0xFF, 0xC4, 0x00, 0x1F, 0x00}, {0xFF, 0xC4, 0x00, 0xB5, 0x10},
                                                      {0xFF, 0xC4, 0x00, 0x1F, 0x01}, {0xFF, 0xC4, 0x00, 0xB5, 0x11}};
  for (size_t i = 0; i < (c.colour ? 4u : 2u); ++i) {
    EXPECT_TRUE(std::equal(dhtHeads[i].begin(), dhtHeads[i].end(), file.begin() + at)) << "DHT " << i;
    at += i % 2 == 0 ? 33 : 183;
  }
  const uint8_t hi = static_cast<uint8_t>(c.height >> 8), hl = static_cast<uint8_t>(c.height & 0xFF);
  const uint8_t wi = static_cast<uint8_t>(c.width >> 8), wl = static_cast<uint8_t>(c.width & 0xFF);
  const std::vector<uint8_t> sof =
      c.colour ? std::vector<uint8_t>{0xFF, 0xC0, 0x00, 0x11, 0x08, hi,   hl,   wi,   wl, 0x03, 0x01,
                                      0x21, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11, 0x01}
               : std::vector<uint8_t>{0xFF, 0xC0, 0x00, 0x0B, 0x08, hi, hl, wi, wl, 0x01, 0x01, 0x11, 0x00};
  EXPECT_TRUE(std::equal(sof.begin(), sof.end(), file.begin() + at)) << "SOF0";
  at += sof.size();
  const std::vector<uint8_t> sos =
      c.colour ? std::vector<uint8_t>{0xFF, 0xDA, 0x00, 0x0C, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3F, 0x00}
               : std::vector<uint8_t>{0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00};
  EXPECT_TRUE(std::equal(sos.begin(), sos.end(), file.begin() + at)) << "SOS";

  if (!c.decode) return;
  const auto decoded = DecodeJpeg(file);
  ASSERT_TRUE(decoded.ok) << decoded.error;
  EXPECT_EQ(decoded.warnings, 0) << decoded.error;
  EXPECT_EQ(decoded.width, c.width);
  EXPECT_EQ(decoded.height, c.height);
  EXPECT_EQ(decoded.components, c.colour ? 3 : 1);
}

INSTANTIATE_TEST_SUITE_P(Sizes, JpegLayoutTest,
                         testing::Values(LayoutCase{false, 1, 1}, LayoutCase{true, 1, 1}, LayoutCase{false, 20, 13},
                                         LayoutCase{true, 20, 13}, LayoutCase{true, 300, 258},
                                         LayoutCase{false, 65500, 2}, LayoutCase{true, 2, 65500},
                                         LayoutCase{false, 65535, 1, false}, LayoutCase{true, 1, 65535, false}));

// libjpeg-turbo at quality 75 uses the same half-scaled example tables and,
// without optimised coding, the example Huffman tables: its segments must
// carry the same bytes as ours.
TEST(JpegTables, SameBytesAsLibjpegTurboAtQuality75) {
  const Picture p = Flat(16, 8, true, 0x808080);
  const auto ours = ParseJpeg(Encode(p));
  const auto theirs = ParseJpeg(test::EncodeWithLibjpeg(16, 8, p.expected, 75));
  ASSERT_TRUE(ours.ok);
  ASSERT_TRUE(theirs.ok);
  auto tables = [](const test::JpegLayout& layout, uint8_t marker) {
    // Split each segment into its tables, keyed by the class/id byte.
    std::map<uint8_t, std::vector<uint8_t>> out;
    for (const auto& s : layout.segments) {
      if (s.marker != marker) continue;
      size_t i = 0;
      while (i < s.body.size()) {
        size_t size = 65;
        if (marker == 0xC4) {
          size = 17;
          for (int k = 0; k < 16; ++k) size += s.body[i + 1 + k];
        }
        out[s.body[i]] = std::vector<uint8_t>(s.body.begin() + i, s.body.begin() + i + size);
        i += size;
      }
    }
    return out;
  };
  const auto ourQuant = tables(ours, 0xDB), theirQuant = tables(theirs, 0xDB);
  ASSERT_EQ(ourQuant.size(), 2u);
  EXPECT_EQ(ourQuant, theirQuant);
  const auto ourHuffman = tables(ours, 0xC4), theirHuffman = tables(theirs, 0xC4);
  ASSERT_EQ(ourHuffman.size(), 4u);
  EXPECT_EQ(ourHuffman, theirHuffman);
}

TEST(JpegTables, QualityScalesTheLuminanceTableOnly) {
  const Picture p = Flat(16, 8, true, 0x336699);
  struct Case {
    int quality;
    std::array<uint8_t, 64> luminance;
  };
  std::array<uint8_t, 64> ones;
  ones.fill(1);
  for (const Case& c : {Case{17, jpeg::kLuminanceQuant}, Case{8, jpeg::kLuminanceQuant}, Case{16, ones}}) {
    const std::vector<uint8_t> file = Encode(p, c.quality);
    EXPECT_TRUE(std::equal(c.luminance.begin(), c.luminance.end(), file.begin() + 7)) << c.quality;
    EXPECT_TRUE(std::equal(jpeg::kChrominanceQuant.begin(), jpeg::kChrominanceQuant.end(), file.begin() + 76))
        << c.quality;
    const auto decoded = DecodeJpeg(file);
    EXPECT_TRUE(decoded.ok && decoded.warnings == 0) << decoded.error;
  }
}

// --- decoded pixels -----------------------------------------------------------

struct FlatCase {
  bool colour;
  int width;
  int height;
};

void PrintTo(const FlatCase& c, std::ostream* os) {
  *os << (c.colour ? "colour " : "grey ") << c.width << "x" << c.height;
}

class JpegFlatTest : public testing::TestWithParam<FlatCase> {};

// Flat pictures of any size, whole MCUs or not: the padding repeats the
// picture's edge, so the edge blocks are as flat as the others. Grey comes
// back within 1; in colour the truncating quantisation of the chrominance DC
// (step 9) and the conversion's rounding add up to 4 levels per channel.
TEST_P(JpegFlatTest, DecodesToTheSameLevel) {
  const FlatCase c = GetParam();
  std::vector<uint32_t> levels = {0x000000u, 0x010101u, 0x252525u, 0x7F7F7Fu,
                                  0x808080u, 0xC8C8C8u, 0xFEFEFEu, 0xFFFFFFu};
  if (c.colour) {
    for (uint32_t rgb : {0xFF0000u, 0x00FF00u, 0x0000FFu, 0xC85837u, 0x0CC8F0u, 0xFFFF00u, 0x00FFFFu, 0xFF00FFu,
                         0x123456u, 0xFEDCBAu})
      levels.push_back(rgb);
  }
  for (uint32_t rgb : levels) {
    const Picture p = Flat(c.width, c.height, c.colour, rgb);
    const auto decoded = DecodeJpeg(Encode(p));
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.warnings, 0) << decoded.error;
    ASSERT_EQ(decoded.width, c.width);
    ASSERT_EQ(decoded.height, c.height);
    EXPECT_LE(test::MaxDifference(decoded.pixels, p.expected), c.colour ? 4 : 1) << std::hex << rgb;
  }
}

std::vector<FlatCase> FlatCases() {
  std::vector<FlatCase> cases;
  const std::pair<int, int> sizes[] = {{1, 1},   {2, 1},  {1, 2},  {7, 5},  {8, 8},  {9, 9},   {15, 7},  {20, 13},
                                       {17, 33}, {33, 17}, {47, 9}, {250, 3}, {3, 250}, {24, 16}, {48, 24}};
  for (bool colour : {false, true})
    for (auto [width, height] : sizes) cases.push_back({colour, width, height});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Sizes, JpegFlatTest, testing::ValuesIn(FlatCases()));

struct GradientCase {
  const char* name;
  bool colour;
  int width;
  int height;
  uint32_t (*pixel)(int x, int y, int w, int h);
};

uint32_t Rgb(int r, int g, int b) {
  return static_cast<uint32_t>(std::clamp(r, 0, 255) << 16 | std::clamp(g, 0, 255) << 8 | std::clamp(b, 0, 255));
}

uint32_t Horizontal(int x, int, int w, int) {
  const int v = x * 255 / std::max(1, w - 1);
  return Rgb(v, v, v);
}
uint32_t Vertical(int, int y, int, int h) {
  const int v = y * 255 / std::max(1, h - 1);
  return Rgb(v, v, 255 - v);
}
uint32_t Diagonal(int x, int y, int w, int h) {
  return Rgb(x * 255 / (w - 1), y * 255 / (h - 1), (x + y) * 255 / (w + h - 2));
}
uint32_t Waves(int x, int y, int w, int h) {
  const double fx = x / static_cast<double>(w), fy = y / static_cast<double>(h);
  return Rgb(static_cast<int>(127.5 + 127.5 * std::sin(fx * 6.283)), static_cast<int>(255 * fy),
             static_cast<int>(127.5 + 127.5 * std::cos(fy * 3.1416 + fx * 3)));
}

void PrintTo(const GradientCase& c, std::ostream* os) { *os << c.name; }

class JpegGradientTest : public testing::TestWithParam<GradientCase> {};

TEST_P(JpegGradientTest, DecodesAboveThirtyFiveDecibels) {
  const GradientCase c = GetParam();
  const Picture p = Picture::Make(c.width, c.height, c.colour,
                                  [&c](int x, int y) { return c.pixel(x, y, c.width, c.height); });
  const auto decoded = DecodeJpeg(Encode(p));
  ASSERT_TRUE(decoded.ok) << decoded.error;
  EXPECT_EQ(decoded.warnings, 0) << decoded.error;
  const double psnr = test::Psnr(decoded.pixels, p.expected);
  EXPECT_GT(psnr, 35.0) << c.name;
  RecordProperty("psnr", std::to_string(psnr));
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, JpegGradientTest,
    testing::Values(GradientCase{"grey_horizontal_64x48", false, 64, 48, Horizontal},
                    GradientCase{"grey_horizontal_256x64", false, 256, 64, Horizontal},
                    GradientCase{"grey_waves_256x256", false, 256, 256, Waves},
                    GradientCase{"colour_vertical_64x48", true, 64, 48, Vertical},
                    GradientCase{"colour_diagonal_64x48", true, 64, 48, Diagonal},
                    GradientCase{"colour_diagonal_256x256", true, 256, 256, Diagonal},
                    GradientCase{"colour_waves_256x256", true, 256, 256, Waves},
                    GradientCase{"colour_waves_320x240", true, 320, 240, Waves},
                    // Sizes that end in partial blocks and MCUs.
                    GradientCase{"grey_waves_250x243", false, 250, 243, Waves},
                    GradientCase{"colour_waves_250x243", true, 250, 243, Waves},
                    GradientCase{"colour_diagonal_61x37", true, 61, 37, Diagonal}),
    [](const testing::TestParamInfo<GradientCase>& info) { return std::string(info.param.name); });

// --- padding of partial blocks and MCUs ---------------------------------------

TEST(JpegPadding, OneByOneGreyIsOneBlockOfItsOwnLevel) {
  for (uint8_t value : {0, 1, 100, 128, 200, 255}) {
    const Picture p = Flat(1, 1, false, Rgb(value, value, value));
    const auto coefficients = test::ReadJpegCoefficients(Encode(p));
    ASSERT_TRUE(coefficients.ok) << coefficients.error;
    ASSERT_EQ(coefficients.components.size(), 1u);
    const auto& grey = coefficients.components[0];
    ASSERT_EQ(grey.blocks.size(), 1u);
    // The block the writer should have coded: the one sample in all 64 places.
    int16_t block[64];
    std::fill(block, block + 64, static_cast<int16_t>(value - 128));
    jpeg::ForwardDct(block);
    int16_t zz[64];
    jpeg::Quantiser(jpeg::kLuminanceQuant).Quantise(block, zz);
    for (size_t k = 0; k < 64; ++k)
      EXPECT_EQ(grey.blocks[0][jpeg::kZigzagToNatural[k]], zz[k]) << int{value} << " zigzag " << k;
    for (size_t k = 1; k < 64; ++k) EXPECT_EQ(zz[k], 0) << "a flat block has no AC terms";
  }
}

// Columns 16 to 19 in a second colour: the second MCU repeats column 19, so
// its luminance blocks and its chroma are those of a flat picture of that
// colour, the block that lies wholly right of the picture included.
TEST(JpegPadding, TwentyWideColourRepeatsTheLastColumnThroughTheSecondMcu) {
  const uint32_t left = 0xFFFFFF, right = 0xC85837;
  const Picture p = Picture::Make(20, 8, true, [&](int x, int) { return x < 16 ? left : right; });
  const auto coefficients = test::ReadJpegCoefficients(Encode(p));
  ASSERT_TRUE(coefficients.ok) << coefficients.error;
  ASSERT_EQ(coefficients.components.size(), 3u);
  const auto& y = coefficients.components[0];
  EXPECT_EQ(y.h, 2);
  EXPECT_EQ(y.v, 1);
  ASSERT_EQ(y.blocksWide, 4);  // 32 pixels
  ASSERT_EQ(y.blocksHigh, 1);
  for (size_t c = 1; c < 3; ++c) {
    EXPECT_EQ(coefficients.components[c].h, 1);
    ASSERT_EQ(coefficients.components[c].blocksWide, 2);  // 16 chroma samples
  }
  const auto flatLeft = test::ReadJpegCoefficients(Encode(Flat(16, 8, true, left)));
  const auto flatRight = test::ReadJpegCoefficients(Encode(Flat(16, 8, true, right)));
  ASSERT_TRUE(flatLeft.ok && flatRight.ok);
  EXPECT_EQ(y.blocks[0], flatLeft.components[0].blocks[0]);
  EXPECT_EQ(y.blocks[1], flatLeft.components[0].blocks[1]);
  EXPECT_EQ(y.blocks[2], flatRight.components[0].blocks[0]);
  EXPECT_EQ(y.blocks[3], flatRight.components[0].blocks[1]) << "the block right of the picture";
  EXPECT_NE(y.blocks[3][0], 0);
  for (size_t c = 1; c < 3; ++c) {
    EXPECT_EQ(coefficients.components[c].blocks[0], flatLeft.components[c].blocks[0]) << c;
    EXPECT_EQ(coefficients.components[c].blocks[1], flatRight.components[c].blocks[0]) << c;
  }
}

// A picture of any size is coded exactly as the picture the size of whole
// MCUs in which every pixel beyond the last column repeats that column and
// every row below the last row repeats that row. In colour this fixes the
// chroma of the padding to that of the last pixel, also when the width is
// even and the last pixel has no chroma sample of its own.
TEST(JpegPadding, CodedAsTheEdgeRepeatedWholeMcuPicture) {
  struct Case {
    bool colour;
    int width;
    int height;
  };
  std::mt19937 random(23);
  for (const Case c : {Case{false, 1, 1}, Case{false, 7, 5}, Case{false, 13, 11}, Case{false, 17, 9},
                       Case{false, 250, 3}, Case{true, 1, 1}, Case{true, 2, 3}, Case{true, 7, 5}, Case{true, 20, 13},
                       Case{true, 17, 33}, Case{true, 18, 9}, Case{true, 250, 3}, Case{true, 19, 1}}) {
    std::vector<uint32_t> pixels(static_cast<size_t>(c.width) * static_cast<size_t>(c.height));
    for (uint32_t& v : pixels) v = static_cast<uint32_t>(random()) & 0xFFFFFF;
    auto at = [&](int x, int y) {
      return pixels[static_cast<size_t>(std::min(y, c.height - 1)) * static_cast<size_t>(c.width) +
                    static_cast<size_t>(std::min(x, c.width - 1))];
    };
    const int mcuWidth = c.colour ? 16 : 8;
    const Picture picture = Picture::Make(c.width, c.height, c.colour, at);
    const Picture whole = Picture::Make((c.width + mcuWidth - 1) / mcuWidth * mcuWidth, (c.height + 7) / 8 * 8,
                                        c.colour, at);
    const auto ours = test::ReadJpegCoefficients(Encode(picture));
    const auto reference = test::ReadJpegCoefficients(Encode(whole));
    ASSERT_TRUE(ours.ok) << ours.error;
    ASSERT_TRUE(reference.ok) << reference.error;
    ASSERT_EQ(ours.components.size(), reference.components.size());
    for (size_t k = 0; k < ours.components.size(); ++k) {
      const auto& a = ours.components[k];
      const auto& b = reference.components[k];
      ASSERT_EQ(a.blocksWide, b.blocksWide) << c.width << "x" << c.height << " component " << k;
      ASSERT_EQ(a.blocksHigh, b.blocksHigh) << c.width << "x" << c.height << " component " << k;
      for (size_t i = 0; i < a.blocks.size(); ++i)
        EXPECT_EQ(a.blocks[i], b.blocks[i]) << (c.colour ? "colour " : "grey ") << c.width << "x" << c.height
                                            << " component " << k << " block " << i;
    }
  }
}

// --- the entropy-coded segment --------------------------------------------------

TEST(JpegStream, EveryFFInTheScanIsFollowedByZero) {
  std::mt19937 random(11);
  int stuffed = 0;
  for (int round = 0; round < 6; ++round) {
    const bool colour = round % 2 == 1;
    const Picture p = Picture::Make(96, 40, colour, [&random](int, int) { return static_cast<uint32_t>(random()); });
    const std::vector<uint8_t> file = Encode(p, round < 4 ? 16 : 17);
    const auto layout = ParseJpeg(file);
    ASSERT_TRUE(layout.ok) << layout.error;
    // The scan ends only at the EOI marker: no bare 0xFF inside it.
    EXPECT_TRUE(layout.endsWithEoi);
    for (size_t i = 0; i + 1 < layout.scan.size(); ++i)
      if (layout.scan[i] == 0xFF) {
        EXPECT_EQ(layout.scan[i + 1], 0x00);
        ++stuffed;
      }
    const auto decoded = DecodeJpeg(file);
    ASSERT_TRUE(decoded.ok) << decoded.error;
    EXPECT_EQ(decoded.warnings, 0) << decoded.error;
  }
  EXPECT_GT(stuffed, 0) << "the pictures should have produced 0xFF bytes";
}

// Noise at the finest luminance table needs far more than one byte per
// padded pixel; the output grows as needed.
TEST(JpegStream, HighDetailOutgrowsOneBytePerPixel) {
  std::mt19937 random(5);
  const Picture p = Picture::Make(256, 256, false, [&random](int, int) { return static_cast<uint32_t>(random()); });
  const std::vector<uint8_t> file = Encode(p, 16);
  const auto layout = ParseJpeg(file);
  ASSERT_TRUE(layout.ok);
  EXPECT_GT(layout.scan.size(), 256u * 256u);
  const auto decoded = DecodeJpeg(file);
  ASSERT_TRUE(decoded.ok) << decoded.error;
  EXPECT_EQ(decoded.warnings, 0) << decoded.error;
  EXPECT_GT(test::Psnr(decoded.pixels, p.expected), 40.0);
}

// --- files and failures -----------------------------------------------------------

TEST(JpegFiles, WrittenFileHoldsTheEncodedBytesAndReplacesAnOldOne) {
  test::TempDir dir("jpeg");
  const auto path = dir / "picture.jpg";
  test::WriteFile(path, std::string(100000, 'x'));
  const Picture p = Picture::Make(40, 30, true, [](int x, int y) { return Rgb(x * 6, y * 8, 100); });
  JpegWriter writer;
  ASSERT_TRUE(writer.WriteColour(path, p.width, p.height, p.rows.data(), 17));
  EXPECT_EQ(test::ReadBytes(path), Encode(p));
  const Picture grey = Picture::Make(9, 5, false, [](int x, int) { return Rgb(0, x * 20, 0); });
  ASSERT_TRUE(writer.WriteGrey(path, grey.width, grey.height, grey.rows.data(), 17));
  EXPECT_EQ(test::ReadBytes(path), Encode(grey));
}

TEST(JpegFiles, FailuresAreReportedAndLogged) {
  test::TempDir dir("jpeg");
  const Picture p = Flat(8, 8, true, 0x102030);
  struct Case {
    const char* name;
    std::filesystem::path path;
  };
  for (const Case& c : {Case{"missing folder", dir / "missing" / "x.jpg"}, Case{"a folder", dir.path()},
                        Case{"full device", "/dev/full"}}) {
    LogCapture log;
    JpegWriter writer;
    EXPECT_FALSE(writer.WriteColour(c.path, p.width, p.height, p.rows.data(), 17)) << c.name;
    EXPECT_FALSE(writer.WriteGrey(c.path, 1, 1, p.rows.data(), 17)) << c.name;
    ASSERT_EQ(log.lines.size(), 2u) << c.name;
    EXPECT_EQ(log.lines[0].category, 0);
    EXPECT_EQ(log.lines[0].source, "QMX-410 Tools");
    EXPECT_EQ(log.lines[0].text.rfind("[Error Code: -1035] ", 0), 0u) << log.lines[0].text;
    EXPECT_NE(log.lines[0].text.find("Func: JpegWriter::WriteColour"), std::string::npos) << log.lines[0].text;
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
  EXPECT_TRUE(std::filesystem::exists("/dev/full")) << "a device is never removed";
}

TEST(JpegFiles, SizesOutsideTheFrameAreRefused) {
  test::TempDir dir("jpeg");
  const Picture p = Flat(2, 2, true, 0);
  struct Case {
    int width;
    int height;
    bool rows;
  };
  for (const Case c : {Case{0, 1, true}, Case{1, 0, true}, Case{-3, 2, true}, Case{65536, 1, true},
                       Case{1, 65536, true}, Case{2, 2, false}}) {
    LogCapture log;
    JpegWriter writer;
    const auto path = dir / "refused.jpg";
    EXPECT_FALSE(writer.WriteColour(path, c.width, c.height, c.rows ? p.rows.data() : nullptr, 17));
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(writer.EncodeGrey(bytes, c.width, c.height, c.rows ? p.rows.data() : nullptr, 17));
    EXPECT_FALSE(std::filesystem::exists(path));
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_NE(log.lines[0].text.find("Invalid picture size"), std::string::npos);
  }
}

}  // namespace
}  // namespace qmx
