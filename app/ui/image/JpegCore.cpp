#include "app/ui/image/JpegCore.h"

#include <algorithm>
#include <cstring>

namespace qmx::jpeg {
namespace {

constexpr std::array<uint8_t, 64> kZigzag = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// The example quantisation tables of the JPEG standard, natural order.
constexpr uint8_t kExampleLuminance[64] = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr uint8_t kExampleChrominance[64] = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

constexpr std::array<uint8_t, 64> HalfTable(const uint8_t (&natural)[64]) {
  std::array<uint8_t, 64> table{};
  for (size_t k = 0; k < 64; ++k) table[k] = static_cast<uint8_t>((natural[kZigzag[k]] * 50 + 50) / 100);
  return table;
}

// The example Huffman tables of the JPEG standard: code counts by length 1..16
// and the symbols in code order.
constexpr uint8_t kDcLuminanceBits[16] = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t kDcChrominanceBits[16] = {0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
constexpr uint8_t kDcValues[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
constexpr uint8_t kAcLuminanceBits[16] = {0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
constexpr uint8_t kAcLuminanceValues[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22,
    0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33,
    0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34,
    0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55,
    0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76,
    0x77, 0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96,
    0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5,
    0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4,
    0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1,
    0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};
constexpr uint8_t kAcChrominanceBits[16] = {0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
constexpr uint8_t kAcChrominanceValues[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13,
    0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0, 0x15, 0x62,
    0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26, 0x27, 0x28, 0x29,
    0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54,
    0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75,
    0x76, 0x77, 0x78, 0x79, 0x7a, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94,
    0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3,
    0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2,
    0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea,
    0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa};

// Two DHT segments (DC, then AC) of one table id as one block.
constexpr std::array<uint8_t, 216> MakeDht(uint8_t id, const uint8_t (&dcBits)[16], const uint8_t (&dcValues)[12],
                                           const uint8_t (&acBits)[16], const uint8_t (&acValues)[162]) {
  std::array<uint8_t, 216> s{};
  size_t i = 0;
  auto segment = [&](uint8_t tableClass, const uint8_t(&bits)[16], const uint8_t* values, size_t count) {
    const size_t length = 2 + 1 + 16 + count;
    s[i++] = 0xFF;
    s[i++] = 0xC4;
    s[i++] = static_cast<uint8_t>(length >> 8);
    s[i++] = static_cast<uint8_t>(length & 0xFF);
    s[i++] = static_cast<uint8_t>((tableClass << 4) | id);
    for (uint8_t b : bits) s[i++] = b;
    for (size_t k = 0; k < count; ++k) s[i++] = values[k];
  };
  segment(0, dcBits, dcValues, 12);
  segment(1, acBits, acValues, 162);
  return s;
}

// 8-point DCT constants, with the factor 0.5 of every output folded in
// (scaling by a power of two does not change the rounding).
constexpr float kC4 = 0.7071f * 0.5f;
constexpr float kC2 = 0.9239f * 0.5f;
constexpr float kC6 = 0.3827f * 0.5f;
constexpr float kC1 = 0.9808f * 0.5f;
constexpr float kC3 = 0.8315f * 0.5f;
constexpr float kC5 = 0.5556f * 0.5f;
constexpr float kC7 = 0.1951f * 0.5f;

inline int16_t Trunc16(float v) { return static_cast<int16_t>(static_cast<int>(v)); }

// One 8-point pass: in[k * inStride], out[k * outStride].
inline void Dct8(const int16_t* in, size_t inStride, int16_t* out, size_t outStride) {
  const float x0 = in[0], x1 = in[inStride], x2 = in[2 * inStride], x3 = in[3 * inStride];
  const float x4 = in[4 * inStride], x5 = in[5 * inStride], x6 = in[6 * inStride], x7 = in[7 * inStride];
  const float s0 = x0 + x7, s1 = x1 + x6, s2 = x2 + x5, s3 = x3 + x4;
  const float d0 = x0 - x7, d1 = x1 - x6, d2 = x2 - x5, d3 = x3 - x4;
  const float e0 = s0 + s3, e1 = s1 + s2, e2 = s0 - s3, e3 = s1 - s2;
  out[0] = Trunc16((e0 + e1) * kC4);
  out[4 * outStride] = Trunc16((e0 - e1) * kC4);
  out[2 * outStride] = Trunc16(e2 * kC2 + e3 * kC6);
  out[6 * outStride] = Trunc16(e2 * kC6 - e3 * kC2);
  out[1 * outStride] = Trunc16(d0 * kC1 + d1 * kC3 + d2 * kC5 + d3 * kC7);
  out[3 * outStride] = Trunc16(d0 * kC3 - d1 * kC7 - d2 * kC1 - d3 * kC5);
  out[5 * outStride] = Trunc16(d0 * kC5 - d1 * kC1 + d2 * kC7 + d3 * kC3);
  out[7 * outStride] = Trunc16(d0 * kC7 - d1 * kC5 + d2 * kC3 - d3 * kC1);
}

}  // namespace

const std::array<uint8_t, 64> kZigzagToNatural = kZigzag;
const std::array<uint8_t, 64> kLuminanceQuant = HalfTable(kExampleLuminance);
const std::array<uint8_t, 64> kChrominanceQuant = HalfTable(kExampleChrominance);
const std::array<uint8_t, 216> kLuminanceDht =
    MakeDht(0, kDcLuminanceBits, kDcValues, kAcLuminanceBits, kAcLuminanceValues);
const std::array<uint8_t, 216> kChrominanceDht =
    MakeDht(1, kDcChrominanceBits, kDcValues, kAcChrominanceBits, kAcChrominanceValues);

std::array<uint8_t, 64> LuminanceTableFor(int quality) {
  std::array<uint8_t, 64> table = kLuminanceQuant;
  if (quality > 16) return table;
  if (quality == 0) {  // the scale grows without bound toward quality 0
    table.fill(255);
    return table;
  }
  const float scale = quality > 7 ? 200.0f - 12.5f * static_cast<float>(quality)
                                  : 5000.0f / (6.25f * static_cast<float>(quality));
  if (scale < 0.0f) return table;
  for (uint8_t& entry : table) {
    const float v = (static_cast<float>(entry) * scale + 50.0f) * 0.01f;
    entry = v > 255.0f ? 255 : v < 1.0f ? 1 : static_cast<uint8_t>(static_cast<int>(v));
  }
  return table;
}

void ForwardDct(int16_t* block) {
  int16_t rows[64];
  for (size_t y = 0; y < 8; ++y) Dct8(block + 8 * y, 1, rows + 8 * y, 1);
  for (size_t x = 0; x < 8; ++x) Dct8(rows + x, 8, block + x, 8);
}

Quantiser::Quantiser(const std::array<uint8_t, 64>& zigzagTable) {
  // floor(2^32 / d) + 1 divides every 16-bit magnitude exactly (truncating).
  for (size_t k = 0; k < 64; ++k) {
    const uint64_t d = std::max<uint8_t>(zigzagTable[k], 1);
    reciprocal_[k] = (uint64_t{1} << 32) / d + 1;
  }
}

void Quantiser::Quantise(const int16_t* natural, int16_t* zigzag) const {
  for (size_t k = 0; k < 64; ++k) {
    const int v = natural[kZigzag[k]];
    const uint64_t magnitude = static_cast<uint64_t>(v < 0 ? -v : v);
    const int q = static_cast<int>((magnitude * reciprocal_[k]) >> 32);
    zigzag[k] = static_cast<int16_t>(v < 0 ? -q : q);
  }
}

size_t BuildHuffmanCodes(const uint8_t* segment, HuffmanCodes& codes) {
  codes = HuffmanCodes{};
  const uint8_t* bits = segment + 1;
  const uint8_t* values = segment + 17;
  size_t k = 0;
  uint32_t code = 0;
  for (int length = 1; length <= 16; ++length) {
    for (int i = 0; i < bits[length - 1]; ++i) {
      const uint8_t symbol = values[k++];
      codes.code[symbol] = static_cast<uint16_t>(code);
      codes.size[symbol] = static_cast<uint8_t>(length);
      ++code;
    }
    code <<= 1;
  }
  return 17 + k;
}

BitWriter::BitWriter(size_t initialCapacity)
    : buf_(std::make_unique_for_overwrite<uint8_t[]>(std::max<size_t>(initialCapacity, 64))),
      capacity_(std::max<size_t>(initialCapacity, 64)),
      out_(buf_.get()) {}

void BitWriter::Reserve(size_t bytes) {
  const size_t used = size();
  if (capacity_ - used >= bytes) return;
  const size_t capacity = std::max(capacity_ * 2, used + bytes);
  auto grown = std::make_unique_for_overwrite<uint8_t[]>(capacity);
  std::memcpy(grown.get(), buf_.get(), used);
  buf_ = std::move(grown);
  capacity_ = capacity;
  out_ = buf_.get() + used;
}

void BitWriter::Flush64() {
  const uint64_t v = acc_;
  const uint64_t inverted = ~v;
  const bool hasFF = ((inverted - 0x0101010101010101ull) & ~inverted & 0x8080808080808080ull) != 0;
  if (!hasFF) {
    const uint64_t be = __builtin_bswap64(v);
    std::memcpy(out_, &be, 8);
    out_ += 8;
    return;
  }
  for (int shift = 56; shift >= 0; shift -= 8) {
    const uint8_t byte = static_cast<uint8_t>(v >> shift);
    *out_++ = byte;
    if (byte == 0xFF) *out_++ = 0x00;
  }
}

void BitWriter::Finish() {
  Reserve(32);
  const int used = 64 - free_;
  const int pad = (8 - used % 8) % 8;
  if (pad != 0) Put((1u << pad) - 1, pad);
  const int bits = 64 - free_;
  for (int shift = bits - 8; shift >= 0; shift -= 8) {
    const uint8_t byte = static_cast<uint8_t>(acc_ >> shift);
    *out_++ = byte;
    if (byte == 0xFF) *out_++ = 0x00;
  }
  acc_ = 0;
  free_ = 64;
}

}  // namespace qmx::jpeg
