// The JPEG writer's building blocks against independent computations.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "app/ui/image/JpegCore.h"

namespace qmx::jpeg {
namespace {

TEST(JpegTables, StoredQuantisationTablesStartAsDocumented) {
  const uint8_t luminance[8] = {8, 6, 6, 7, 6, 5, 8, 7};
  const uint8_t chrominance[8] = {9, 9, 9, 12, 11, 12, 24, 13};
  for (size_t k = 0; k < 8; ++k) {
    EXPECT_EQ(kLuminanceQuant[k], luminance[k]) << k;
    EXPECT_EQ(kChrominanceQuant[k], chrominance[k]) << k;
  }
  // Every chrominance entry past the top-left corner is 99 halved, rounded up.
  EXPECT_EQ(kChrominanceQuant[63], 50);
  EXPECT_EQ(kLuminanceQuant[63], 50);  // 99 halved as well
}

TEST(JpegTables, LuminanceTableByQuality) {
  struct Case {
    int quality;
    std::array<uint8_t, 64> expected;
  };
  std::array<uint8_t, 64> ones;
  ones.fill(1);
  std::array<uint8_t, 64> all255;
  all255.fill(255);
  std::array<uint8_t, 64> scale50{};  // quality 12: 200 - 150 = 50
  std::array<uint8_t, 64> scale800{};  // quality 1: 5000 / 6.25
  for (size_t k = 0; k < 64; ++k) {
    scale50[k] = static_cast<uint8_t>(std::max(1, (kLuminanceQuant[k] * 50 + 50) / 100));
    scale800[k] = static_cast<uint8_t>(std::min(255, kLuminanceQuant[k] * 8));
  }
  const Case cases[] = {
      {17, kLuminanceQuant}, {100, kLuminanceQuant}, {8, kLuminanceQuant}, {16, ones},
      {12, scale50},         {1, scale800},          {0, all255},         {-5, kLuminanceQuant},
  };
  for (const Case& c : cases) EXPECT_EQ(LuminanceTableFor(c.quality), c.expected) << "quality " << c.quality;
}

TEST(JpegHuffman, CodesAreCanonicalAndPrefixFree) {
  struct Known {
    const uint8_t* table;
    int symbol;
    uint16_t code;
    int size;
  };
  const Known known[] = {
      {kLuminanceDht.data() + 4, 0x00, 0b00, 2},         {kLuminanceDht.data() + 4, 0x0B, 0b111111110, 9},
      {kLuminanceDht.data() + 37, 0x00, 0b1010, 4},      {kLuminanceDht.data() + 37, 0x01, 0b00, 2},
      {kLuminanceDht.data() + 37, 0xF0, 0b11111111001, 11}, {kChrominanceDht.data() + 4, 0x00, 0b00, 2},
      {kChrominanceDht.data() + 37, 0x00, 0b00, 2},      {kChrominanceDht.data() + 37, 0xF0, 0b1111111010, 10},
  };
  for (const Known& k : known) {
    HuffmanCodes codes;
    BuildHuffmanCodes(k.table, codes);
    EXPECT_EQ(codes.size[k.symbol], k.size) << std::hex << k.symbol;
    EXPECT_EQ(codes.code[k.symbol], k.code) << std::hex << k.symbol;
  }
  for (const uint8_t* table : {kLuminanceDht.data() + 4, kLuminanceDht.data() + 37, kChrominanceDht.data() + 4,
                               kChrominanceDht.data() + 37}) {
    HuffmanCodes codes;
    BuildHuffmanCodes(table, codes);
    for (int a = 0; a < 256; ++a) {
      if (codes.size[a] == 0) continue;
      EXPECT_LT(codes.size[a], 17);
      EXPECT_NE(codes.code[a], (1u << codes.size[a]) - 1) << "all-ones code " << a;
      for (int b = 0; b < 256; ++b) {
        if (a == b || codes.size[b] < codes.size[a]) continue;
        EXPECT_NE(codes.code[b] >> (codes.size[b] - codes.size[a]), codes.code[a]) << a << " prefixes " << b;
      }
    }
  }
}

// The DCT as the textbook defines it, in double precision.
void ExactDct(const int16_t* in, double* out) {
  for (int v = 0; v < 8; ++v) {
    for (int u = 0; u < 8; ++u) {
      double sum = 0;
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
          sum += in[8 * y + x] * std::cos((2 * x + 1) * u * M_PI / 16) * std::cos((2 * y + 1) * v * M_PI / 16);
      const double cu = u == 0 ? M_SQRT1_2 : 1.0, cv = v == 0 ? M_SQRT1_2 : 1.0;
      out[8 * v + u] = 0.25 * cu * cv * sum;
    }
  }
}

TEST(JpegDct, FollowsTheExactTransformWithinTheTruncations) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> sample(-128, 127);
  for (int round = 0; round < 300; ++round) {
    int16_t block[64];
    const int kind = round % 3;
    for (int i = 0; i < 64; ++i) {
      if (kind == 0) block[i] = static_cast<int16_t>(sample(random));
      if (kind == 1) block[i] = static_cast<int16_t>((i % 8) * 30 - 105);            // ramp
      if (kind == 2) block[i] = static_cast<int16_t>(((i / 8 + i % 8) % 2) ? 127 : -128);  // checkerboard
    }
    double exact[64];
    ExactDct(block, exact);
    ForwardDct(block);
    for (int i = 0; i < 64; ++i) {
      // The row pass truncates by less than 1, which the column pass can
      // multiply by up to 8 x 0.3536; the column pass truncates once more.
      EXPECT_NEAR(block[i], exact[i], 4.0) << "round " << round << " coefficient " << i;
    }
  }
}

TEST(JpegDct, FlatBlockHasOnlyADcTermAndTruncatesTowardZero) {
  for (int value : {-128, -1, 0, 1, 127}) {
    int16_t block[64];
    std::fill(block, block + 64, static_cast<int16_t>(value));
    ForwardDct(block);
    // Both passes truncate: +-1 comes out as +-5.
    EXPECT_NEAR(block[0], 8 * value, 4) << value;
    EXPECT_LE(std::abs(block[0]), std::abs(8 * value)) << value;  // never rounded away from zero
    for (int i = 1; i < 64; ++i) EXPECT_EQ(block[i], 0) << value << " at " << i;
  }
}

TEST(JpegQuantiser, DividesEveryValueExactlyTowardZero) {
  std::array<uint8_t, 64> table;
  for (int start = 1; start < 256; start += 64) {
    for (size_t k = 0; k < 64; ++k) table[k] = static_cast<uint8_t>(std::min<int>(255, start + static_cast<int>(k)));
    const Quantiser quantiser(table);
    for (int v = -32768; v <= 32767; v += (v > -2100 && v < 2100) ? 1 : 97) {
      int16_t natural[64], zz[64];
      std::fill(natural, natural + 64, static_cast<int16_t>(v));
      quantiser.Quantise(natural, zz);
      for (size_t k = 0; k < 64; ++k) ASSERT_EQ(zz[k], v / table[k]) << v << " / " << int{table[k]};
    }
  }
}

TEST(JpegQuantiser, StoresTheResultsInZigzagOrder) {
  std::array<uint8_t, 64> table;
  table.fill(1);
  const Quantiser quantiser(table);
  int16_t natural[64], zz[64];
  for (int i = 0; i < 64; ++i) natural[i] = static_cast<int16_t>(i);
  quantiser.Quantise(natural, zz);
  for (size_t k = 0; k < 64; ++k) EXPECT_EQ(zz[k], kZigzagToNatural[k]);
}

std::vector<uint8_t> Bytes(const BitWriter& w) { return std::vector<uint8_t>(w.data(), w.data() + w.size()); }

TEST(JpegBitWriter, PacksMostSignificantFirstAndPadsWithOnes) {
  struct Case {
    std::vector<std::pair<uint32_t, int>> puts;
    std::vector<uint8_t> expected;
  };
  const Case cases[] = {
      {{{0b101, 3}}, {0xBF}},                                  // 101 + 11111
      {{{0b0, 1}, {0b0000000, 7}}, {0x00}},                    // whole byte, no padding
      {{{0xFF, 8}}, {0xFF, 0x00}},                             // stuffed
      {{{0x7F, 7}}, {0xFF, 0x00}},                             // the padding makes 0xFF: stuffed too
      {{{0xFFFF, 16}, {0x1, 1}}, {0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00}},
      {{{0x12345678, 32}, {0x9ABCDEF0, 32}, {0x3, 2}}, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0xFF, 0x00}},
      {{{0xFFFFFFFF, 32}, {0xFFFFFFFF, 32}}, {0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0}},
      {{}, {}},
  };
  for (const Case& c : cases) {
    BitWriter w(16);
    for (auto [bits, length] : c.puts) {
      w.Reserve(64);
      w.Put(bits, length);
    }
    w.Finish();
    EXPECT_EQ(Bytes(w), c.expected);
  }
}

TEST(JpegBitWriter, GrowsPastItsFirstCapacityWithoutLosingBits) {
  BitWriter w(64);
  std::mt19937 random(3);
  std::vector<std::pair<uint32_t, int>> puts;
  std::vector<bool> bits;
  for (int i = 0; i < 20000; ++i) {
    const int length = 1 + static_cast<int>(random() % 27);
    const uint32_t value = static_cast<uint32_t>(random()) & ((1u << length) - 1);
    w.Reserve(64);
    w.Put(value, length);
    for (int b = length - 1; b >= 0; --b) bits.push_back((value >> b) & 1);
  }
  w.Finish();
  // Unstuff and compare bit by bit.
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < w.size(); ++i) {
    bytes.push_back(w.data()[i]);
    if (w.data()[i] == 0xFF) {
      ASSERT_LT(i + 1, w.size());
      ASSERT_EQ(w.data()[i + 1], 0x00);
      ++i;
    }
  }
  ASSERT_EQ(bytes.size(), (bits.size() + 7) / 8);
  for (size_t i = 0; i < bytes.size() * 8; ++i) {
    const bool bit = (bytes[i / 8] >> (7 - i % 8)) & 1;
    ASSERT_EQ(bit, i < bits.size() ? bits[i] : true) << i;
  }
}

}  // namespace
}  // namespace qmx::jpeg
