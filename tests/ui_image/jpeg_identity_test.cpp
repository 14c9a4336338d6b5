// The JPEG writer's files stay byte for byte what the first writer made:
// files of a set of pictures against their recorded sizes and hashes, and
// the fast building blocks against the plain computations they replace, over
// every input they can take (the quantiser, the colour conversion) or over
// blocks from every corner of the input range (the DCT). Built twice: with
// the SSE2 code and with the portable code.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "app/ui/image/JpegCore.h"
#include "app/ui/image/JpegWriter.h"
#include "image_checks.h"

namespace qmx {
namespace {

using test::Picture;

uint64_t Fnv1a(const std::vector<uint8_t>& bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (uint8_t b : bytes) h = (h ^ b) * 0x100000001b3ull;
  return h;
}

uint32_t Mix(uint32_t x, uint32_t y, uint32_t seed) {
  uint32_t h = x * 0x9E3779B1u ^ (y + seed) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0xC2B2AE3Du;
  return h ^ (h >> 13);
}

// Smooth areas, edges, fine texture and a little noise, in integers only.
uint32_t Scene(int x, int y) {
  const int n = static_cast<int>(Mix(static_cast<uint32_t>(x), static_cast<uint32_t>(y), 1) >> 28) - 8;
  int r = (x * 255) / 639, g = (y * 255) / 479, b = ((x / 32 + y / 32) % 2) ? 220 : 40;
  if ((x / 96) % 3 == 0) r = g = b = (x ^ y) & 0xFF;
  auto c = [n](int v) { return static_cast<uint32_t>(std::clamp(v + n, 0, 255)); };
  return c(r) << 16 | c(g) << 8 | c(b);
}
uint32_t Noise(int x, int y) { return Mix(static_cast<uint32_t>(x), static_cast<uint32_t>(y), 7) & 0xFFFFFF; }
uint32_t Bars(int x, int) {
  static const uint32_t colours[] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0x00FFFF, 0xFF00FF, 0xFFFFFF, 0x000000};
  return colours[(x / 7) % 8];
}

struct IdentityCase {
  const char* name;
  bool colour;
  int width, height, quality;
  uint32_t (*pixel)(int, int);
  size_t size;
  uint64_t hash;
};

// Recorded from the writer as first built (plain division, table lookups of
// the colour products, one DCT pass per row and column).
const IdentityCase kCases[] = {
    {"scene", true, 640, 480, 17, Scene, 18648, 0x6f2de9d6601ab175ull},
    {"noise odd size", true, 37, 23, 17, Noise, 1310, 0xe5d561642318c374ull},
    {"one pixel", true, 1, 1, 17, Noise, 612, 0x1ff7678b7d00922full},
    {"two pixels", true, 2, 1, 17, Noise, 630, 0x46ace928bf1ba605ull},
    {"partial MCU", true, 17, 9, 17, Scene, 635, 0x0ff5a2bb6cb1eb02ull},
    {"colour bars", true, 256, 64, 17, Bars, 6614, 0xd0e0e9de9c9ad1bfull},
    {"scene quality 8", true, 64, 48, 8, Scene, 792, 0x7f33389bff2b41d8ull},
    {"scene quality 12", true, 64, 48, 12, Scene, 953, 0x200378f267ac5dc9ull},
    {"scene quality 1", true, 64, 48, 1, Scene, 682, 0x4d9eab4386cd7313ull},
    {"noise quality 16 (every entry 1)", true, 64, 48, 16, Noise, 5731, 0xd5f2cb47527c6865ull},
    {"grey scene", false, 100, 75, 17, Scene, 763, 0x51d0a723f6fd484eull},
    {"grey noise", false, 13, 7, 17, Noise, 375, 0xc17a05c6bbbb36e4ull},
    {"grey noise quality 16", false, 40, 24, 16, Noise, 1784, 0xa78120622c422f24ull},
};

TEST(JpegIdentity, FilesAreTheBytesTheFirstWriterMade) {
  const bool print = std::getenv("QMX_PRINT_JPEG_HASHES") != nullptr;
  for (const IdentityCase& c : kCases) {
    const Picture p = Picture::Make(c.width, c.height, c.colour, c.pixel);
    JpegWriter writer;
    std::vector<uint8_t> file;
    ASSERT_TRUE(c.colour ? writer.EncodeColour(file, p.width, p.height, p.rows.data(), c.quality)
                         : writer.EncodeGrey(file, p.width, p.height, p.rows.data(), c.quality));
    if (print) {
      std::printf("    {\"%s\", ..., %zu, 0x%016llxull},\n", c.name, file.size(),
                  static_cast<unsigned long long>(Fnv1a(file)));
      continue;
    }
    EXPECT_EQ(file.size(), c.size) << c.name;
    EXPECT_EQ(Fnv1a(file), c.hash) << c.name;
  }
}

// ---- the building blocks over their inputs ---------------------------------

// Every int16_t value by every divisor a table can hold, 64 divisors a call.
TEST(JpegIdentity, QuantiserEqualsTruncatingDivisionForEveryValueAndDivisor) {
  for (int first = 1; first <= 255; first += 64) {
    std::array<uint8_t, 64> table;
    for (size_t k = 0; k < 64; ++k) table[k] = static_cast<uint8_t>(std::min<int>(255, first + static_cast<int>(k)));
    const jpeg::Quantiser quantiser(table);
    int16_t natural[64], zigzag[64];
    for (int v = -32768; v <= 32767; ++v) {
      std::fill(natural, natural + 64, static_cast<int16_t>(v));
      quantiser.Quantise(natural, zigzag);
      for (size_t k = 0; k < 64; ++k) {
        if (zigzag[k] != v / table[k]) FAIL() << v << " / " << int{table[k]} << " gave " << zigzag[k];
      }
    }
  }
  // A table entry 0 counts as 1, as it always did.
  std::array<uint8_t, 64> zeros{};
  int16_t natural[64], zigzag[64];
  std::fill(natural, natural + 64, int16_t{-32768});
  jpeg::Quantiser(zeros).Quantise(natural, zigzag);
  EXPECT_EQ(zigzag[0], -32768);
}

// The colour products as the first writer kept them: a table per byte value.
struct ColourProducts {
  float yr[256], yg[256], yb[256], cbr[256], cbg[256], cbb[256], crr[256], crg[256], crb[256];
  ColourProducts() {
    for (int v = 0; v < 256; ++v) {
      const float f = static_cast<float>(v);
      yr[v] = f * 0.299f, yg[v] = f * 0.587f, yb[v] = f * 0.114f;
      cbr[v] = f * -0.1687f, cbg[v] = f * -0.3313f, cbb[v] = f * 0.5f;
      crr[v] = f * 0.5f, crg[v] = f * -0.4187f, crb[v] = f * -0.0813f;
    }
  }
};
int16_t TableSample(float v) { return static_cast<int16_t>(static_cast<int>(v + 0.5f) - 128); }

// All 2^24 colours, in even and in odd columns, through the vector code and
// the pixel-by-pixel tail.
TEST(JpegIdentity, ColourConversionEqualsTheProductTablesForEveryColour) {
  const ColourProducts t;
  constexpr int kWidth = 4096;
  std::vector<uint8_t> row(3 * (kWidth + 1));
  std::vector<int16_t> y(kWidth + 1), cb(kWidth / 2 + 1), cr(kWidth / 2 + 1);
  for (uint32_t start = 0; start < (1u << 24); start += kWidth) {
    for (int shift = 0; shift < 2; ++shift) {  // shift 1: the odd colours in even columns, a 4095 row
      const int width = kWidth - shift;
      for (int x = 0; x < width; ++x) {
        const uint32_t c = start + static_cast<uint32_t>(x + shift);
        row[3 * x] = static_cast<uint8_t>(c), row[3 * x + 1] = static_cast<uint8_t>(c >> 8),
                row[3 * x + 2] = static_cast<uint8_t>(c >> 16);
      }
      jpeg::ConvertColourRow(row.data(), width, y.data(), cb.data(), cr.data());
      for (int x = 0; x < width; ++x) {
        const uint8_t b = row[3 * x], g = row[3 * x + 1], r = row[3 * x + 2];
        if (y[x] != TableSample(t.yr[r] + t.yg[g] + t.yb[b])) FAIL() << "Y of " << start + x + shift;
        if (x % 2) continue;
        if (cb[x / 2] != TableSample(t.cbr[r] + t.cbg[g] + t.cbb[b] + 128.0f)) FAIL() << "Cb of " << start + x;
        if (cr[x / 2] != TableSample(t.crr[r] + t.crg[g] + t.crb[b] + 128.0f)) FAIL() << "Cr of " << start + x;
      }
    }
  }
}

// The first writer's DCT pass, one row or column at a time.
void PlainPass(const int16_t* in, size_t inStride, int16_t* out, size_t outStride) {
  constexpr float c4 = 0.7071f * 0.5f, c2 = 0.9239f * 0.5f, c6 = 0.3827f * 0.5f, c1 = 0.9808f * 0.5f,
                  c3 = 0.8315f * 0.5f, c5 = 0.5556f * 0.5f, c7 = 0.1951f * 0.5f;
  auto trunc16 = [](float v) { return static_cast<int16_t>(static_cast<int>(v)); };
  float x[8];
  for (size_t k = 0; k < 8; ++k) x[k] = in[k * inStride];
  const float s0 = x[0] + x[7], s1 = x[1] + x[6], s2 = x[2] + x[5], s3 = x[3] + x[4];
  const float d0 = x[0] - x[7], d1 = x[1] - x[6], d2 = x[2] - x[5], d3 = x[3] - x[4];
  const float e0 = s0 + s3, e1 = s1 + s2, e2 = s0 - s3, e3 = s1 - s2;
  out[0] = trunc16((e0 + e1) * c4);
  out[4 * outStride] = trunc16((e0 - e1) * c4);
  out[2 * outStride] = trunc16(e2 * c2 + e3 * c6);
  out[6 * outStride] = trunc16(e2 * c6 - e3 * c2);
  out[outStride] = trunc16(d0 * c1 + d1 * c3 + d2 * c5 + d3 * c7);
  out[3 * outStride] = trunc16(d0 * c3 - d1 * c7 - d2 * c1 - d3 * c5);
  out[5 * outStride] = trunc16(d0 * c5 - d1 * c1 + d2 * c7 + d3 * c3);
  out[7 * outStride] = trunc16(d0 * c7 - d1 * c5 + d2 * c3 - d3 * c1);
}

// Samples, values near the bound where the results need wrapping to 16 bits,
// and values over the whole range, which wrap.
TEST(JpegIdentity, DctEqualsThePlainPassesOverTheWholeRange) {
  std::mt19937 random(11);
  struct Range {
    int lo, hi;
  };
  const Range ranges[] = {{-128, 127}, {-2048, 2047}, {-2049, 2048}, {-32768, 32767}, {32000, 32767}, {-32768, -32000}};
  for (const Range& range : ranges) {
    std::uniform_int_distribution<int> value(range.lo, range.hi);
    for (int round = 0; round < 20000; ++round) {
      int16_t block[64], rows[64], expected[64];
      const bool flat = round % 50 == 0;
      for (int i = 0; i < 64; ++i) block[i] = static_cast<int16_t>(flat && i ? block[0] : value(random));
      for (size_t r = 0; r < 8; ++r) PlainPass(block + 8 * r, 1, rows + 8 * r, 1);
      for (size_t c = 0; c < 8; ++c) PlainPass(rows + c, 8, expected + c, 8);
      jpeg::ForwardDct(block);
      for (int i = 0; i < 64; ++i) {
        if (block[i] != expected[i])
          FAIL() << "range " << range.lo << ".." << range.hi << " round " << round << " at " << i;
      }
    }
  }
}

TEST(JpegIdentity, ZigzagNonZeroMarksTheNonZeroCoefficientsInZigzagOrder) {
  std::mt19937 random(5);
  for (int round = 0; round < 5000; ++round) {
    int16_t natural[64];
    const int density = round % 9;  // from empty blocks to full ones
    for (int i = 0; i < 64; ++i)
      natural[i] = static_cast<int16_t>(static_cast<int>(random() % 8) < density ? random() % 7 - 3 : 0);
    uint64_t expected = 0;
    for (size_t k = 0; k < 64; ++k) expected |= static_cast<uint64_t>(natural[jpeg::kZigzagToNatural[k]] != 0) << k;
    ASSERT_EQ(jpeg::ZigzagNonZero(natural), expected) << round;
  }
}

}  // namespace
}  // namespace qmx
