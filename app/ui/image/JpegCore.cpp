#include "app/ui/image/JpegCore.h"

#include <algorithm>
#include <bit>
#include <cstring>

// SSE2, which every x86-64 has, unless the portable code is asked for
// (QMX_JPEG_PORTABLE, which its tests build): both give the same bits.
#if defined(__SSE2__) && !defined(QMX_JPEG_PORTABLE)
#define QMX_JPEG_SSE2 1
#include <emmintrin.h>
#endif

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

#if defined(QMX_JPEG_SSE2)

// Eight rows of eight 16-bit values become eight columns.
inline void Transpose8x8(__m128i r[8]) {
  const __m128i a0 = _mm_unpacklo_epi16(r[0], r[1]), a1 = _mm_unpackhi_epi16(r[0], r[1]);
  const __m128i a2 = _mm_unpacklo_epi16(r[2], r[3]), a3 = _mm_unpackhi_epi16(r[2], r[3]);
  const __m128i a4 = _mm_unpacklo_epi16(r[4], r[5]), a5 = _mm_unpackhi_epi16(r[4], r[5]);
  const __m128i a6 = _mm_unpacklo_epi16(r[6], r[7]), a7 = _mm_unpackhi_epi16(r[6], r[7]);
  const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
  const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
  const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
  const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
  r[0] = _mm_unpacklo_epi64(b0, b4);
  r[1] = _mm_unpackhi_epi64(b0, b4);
  r[2] = _mm_unpacklo_epi64(b1, b5);
  r[3] = _mm_unpackhi_epi64(b1, b5);
  r[4] = _mm_unpacklo_epi64(b2, b6);
  r[5] = _mm_unpackhi_epi64(b2, b6);
  r[6] = _mm_unpacklo_epi64(b3, b7);
  r[7] = _mm_unpackhi_epi64(b3, b7);
}

// The 8-point pass of Dct8 on four lanes at once, operation for operation.
inline void Dct8Lanes(const __m128 (&x)[8], __m128 (&out)[8]) {
  const __m128 s0 = _mm_add_ps(x[0], x[7]), s1 = _mm_add_ps(x[1], x[6]);
  const __m128 s2 = _mm_add_ps(x[2], x[5]), s3 = _mm_add_ps(x[3], x[4]);
  const __m128 d0 = _mm_sub_ps(x[0], x[7]), d1 = _mm_sub_ps(x[1], x[6]);
  const __m128 d2 = _mm_sub_ps(x[2], x[5]), d3 = _mm_sub_ps(x[3], x[4]);
  const __m128 e0 = _mm_add_ps(s0, s3), e1 = _mm_add_ps(s1, s2);
  const __m128 e2 = _mm_sub_ps(s0, s3), e3 = _mm_sub_ps(s1, s2);
  const __m128 c1 = _mm_set1_ps(kC1), c2 = _mm_set1_ps(kC2), c3 = _mm_set1_ps(kC3), c4 = _mm_set1_ps(kC4);
  const __m128 c5 = _mm_set1_ps(kC5), c6 = _mm_set1_ps(kC6), c7 = _mm_set1_ps(kC7);
  out[0] = _mm_mul_ps(_mm_add_ps(e0, e1), c4);
  out[4] = _mm_mul_ps(_mm_sub_ps(e0, e1), c4);
  out[2] = _mm_add_ps(_mm_mul_ps(e2, c2), _mm_mul_ps(e3, c6));
  out[6] = _mm_sub_ps(_mm_mul_ps(e2, c6), _mm_mul_ps(e3, c2));
  out[1] = _mm_add_ps(_mm_add_ps(_mm_add_ps(_mm_mul_ps(d0, c1), _mm_mul_ps(d1, c3)), _mm_mul_ps(d2, c5)),
                      _mm_mul_ps(d3, c7));
  out[3] = _mm_sub_ps(_mm_sub_ps(_mm_sub_ps(_mm_mul_ps(d0, c3), _mm_mul_ps(d1, c7)), _mm_mul_ps(d2, c1)),
                      _mm_mul_ps(d3, c5));
  out[5] = _mm_add_ps(_mm_add_ps(_mm_sub_ps(_mm_mul_ps(d0, c5), _mm_mul_ps(d1, c1)), _mm_mul_ps(d2, c7)),
                      _mm_mul_ps(d3, c3));
  out[7] = _mm_sub_ps(_mm_add_ps(_mm_sub_ps(_mm_mul_ps(d0, c7), _mm_mul_ps(d1, c5)), _mm_mul_ps(d2, c3)),
                      _mm_mul_ps(d3, c1));
}

// Truncates toward zero and, with Wrap, keeps the low 16 bits of each lane,
// sign extended: what a conversion to int16_t keeps. Without Wrap the value
// must already fit 16 bits.
template <bool Wrap>
inline __m128i TruncWrap32(__m128 v) {
  const __m128i t = _mm_cvttps_epi32(v);
  return Wrap ? _mm_srai_epi32(_mm_slli_epi32(t, 16), 16) : t;
}

// The same as single-precision values (exact: they are 16-bit integers).
template <bool Wrap>
inline __m128 TruncWrapPs(__m128 v) {
  return _mm_cvtepi32_ps(TruncWrap32<Wrap>(v));
}

// Whether a value of the rows lies outside -2048..2047. Inside, no result
// of either pass leaves 16 bits: the first pass gives at most
// 16384 x 0.3536 = 5793 (the odd outputs 4096 x 1.2815, the even ones
// 8192 x 0.6533), the second at most 8 x 5793 x 0.3536 = 16385.
inline bool MayWrap(const __m128i (&v)[8]) {
  __m128i hi = v[0], lo = v[0];
  for (int k = 1; k < 8; ++k) {
    hi = _mm_max_epi16(hi, v[k]);
    lo = _mm_min_epi16(lo, v[k]);
  }
  const __m128i out =
      _mm_or_si128(_mm_cmpgt_epi16(hi, _mm_set1_epi16(2047)), _mm_cmplt_epi16(lo, _mm_set1_epi16(-2048)));
  return _mm_movemask_epi8(out) != 0;
}

inline void Transpose4(__m128& a, __m128& b, __m128& c, __m128& d) { _MM_TRANSPOSE4_PS(a, b, c, d); }

#endif  // QMX_JPEG_SSE2

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

#if defined(QMX_JPEG_SSE2)
namespace {

// Both passes on the eight rows, which become the eight rows of results.
template <bool Wrap>
void ForwardDctRows(__m128i (&v)[8]) {
  // Rows first, as columns of the transposed block: lanes 0-3 (lo) and 4-7
  // (hi) are the rows. The truncated results stay in single precision and
  // are transposed 4 x 4 into the columns' lanes for the second pass.
  Transpose8x8(v);
  __m128 lo[8], hi[8], outLo[8], outHi[8];
  for (int k = 0; k < 8; ++k) {
    lo[k] = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(v[k], v[k]), 16));
    hi[k] = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpackhi_epi16(v[k], v[k]), 16));
  }
  Dct8Lanes(lo, outLo);
  Dct8Lanes(hi, outHi);
  // outLo[u] holds coefficient u of rows 0-3; the column pass wants row y in
  // lo[y] (coefficients 0-3) and hi[y] (4-7).
  for (int u = 0; u < 8; ++u) {
    outLo[u] = TruncWrapPs<Wrap>(outLo[u]);
    outHi[u] = TruncWrapPs<Wrap>(outHi[u]);
  }
  Transpose4(outLo[0], outLo[1], outLo[2], outLo[3]);
  Transpose4(outLo[4], outLo[5], outLo[6], outLo[7]);
  Transpose4(outHi[0], outHi[1], outHi[2], outHi[3]);
  Transpose4(outHi[4], outHi[5], outHi[6], outHi[7]);
  for (int y = 0; y < 4; ++y) {
    lo[y] = outLo[y];
    hi[y] = outLo[4 + y];
    lo[4 + y] = outHi[y];
    hi[4 + y] = outHi[4 + y];
  }
  Dct8Lanes(lo, outLo);
  Dct8Lanes(hi, outHi);
  for (int k = 0; k < 8; ++k) v[k] = _mm_packs_epi32(TruncWrap32<Wrap>(outLo[k]), TruncWrap32<Wrap>(outHi[k]));
}

}  // namespace
#endif

void ForwardDct(int16_t* block) {
#if defined(QMX_JPEG_SSE2)
  __m128i v[8];
  for (int k = 0; k < 8; ++k) v[k] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 8 * k));
  if (MayWrap(v)) {
    ForwardDctRows<true>(v);
  } else {
    ForwardDctRows<false>(v);
  }
  for (int k = 0; k < 8; ++k) _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * k), v[k]);
#else
  int16_t rows[64];
  for (size_t y = 0; y < 8; ++y) Dct8(block + 8 * y, 1, rows + 8 * y, 1);
  for (size_t x = 0; x < 8; ++x) Dct8(rows + x, 8, block + x, 8);
#endif
}

Quantiser::Quantiser(const std::array<uint8_t, 64>& zigzagTable) {
  for (size_t k = 0; k < 64; ++k) {
    const uint32_t d = std::max<uint8_t>(zigzagTable[k], 1);
    const int l = std::bit_width(d - 1);  // 2^(l-1) < d <= 2^l
    const uint32_t m = ((uint32_t{1} << (16 + l)) + d - 1) / d;
    const size_t n = kZigzag[k];
    mulLow_[n] = static_cast<uint16_t>(m - 0x10000u);
    shiftMul_[n] = l == 0 ? 0 : static_cast<uint16_t>(1u << (16 - l));
    noShift_[n] = l == 0 ? 0xFFFF : 0;
  }
}

void Quantiser::Quantise(const int16_t* natural, int16_t* zigzag) const {
  alignas(16) int16_t q[64];
  QuantiseNatural(natural, q);
  for (size_t k = 0; k < 64; ++k) zigzag[k] = q[kZigzag[k]];
}

void Quantiser::QuantiseNatural(const int16_t* natural, int16_t* q) const {
#if defined(QMX_JPEG_SSE2)
  auto load = [](const void* p) { return _mm_load_si128(static_cast<const __m128i*>(p)); };
  for (size_t i = 0; i < 64; i += 8) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(natural + i));
    const __m128i sign = _mm_srai_epi16(v, 15);
    const __m128i n = _mm_sub_epi16(_mm_xor_si128(v, sign), sign);  // |v|; 32768 as 0x8000
    const __m128i sum = _mm_add_epi16(n, _mm_mulhi_epu16(n, load(&mulLow_[i])));  // n * m / 2^16 < 2^16
    const __m128i shifted = _mm_mulhi_epu16(sum, load(&shiftMul_[i]));
    const __m128i keep = load(&noShift_[i]);
    const __m128i quotient = _mm_or_si128(_mm_and_si128(keep, sum), _mm_andnot_si128(keep, shifted));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(q + i), _mm_sub_epi16(_mm_xor_si128(quotient, sign), sign));
  }
#else
  for (size_t i = 0; i < 64; ++i) {
    const int v = natural[i];
    const uint32_t n = static_cast<uint32_t>(v < 0 ? -v : v);
    const uint32_t sum = n + ((n * mulLow_[i]) >> 16);
    const uint32_t quotient = noShift_[i] ? sum : (sum * shiftMul_[i]) >> 16;
    q[i] = static_cast<int16_t>(v < 0 ? -static_cast<int>(quotient) : static_cast<int>(quotient));
  }
#endif
}

namespace {

// For each byte b of a natural-order bit mask (indices 8b..8b+7), the bits
// of its set indices at their zigzag positions.
struct ZigzagBits {
  std::array<std::array<uint64_t, 256>, 8> table{};
  ZigzagBits() {
    std::array<int, 64> position{};
    for (int k = 0; k < 64; ++k) position[kZigzag[static_cast<size_t>(k)]] = k;
    for (size_t b = 0; b < 8; ++b) {
      for (unsigned m = 0; m < 256; ++m) {
        uint64_t bits = 0;
        for (unsigned i = 0; i < 8; ++i) {
          if (m & (1u << i)) bits |= uint64_t{1} << position[8 * b + i];
        }
        table[b][m] = bits;
      }
    }
  }
};

const ZigzagBits& TheZigzagBits() {
  static const ZigzagBits bits;
  return bits;
}

}  // namespace

uint64_t ZigzagNonZero(const int16_t* natural) {
  uint64_t zeros = 0;
#if defined(QMX_JPEG_SSE2)
  const __m128i zero = _mm_setzero_si128();
  for (int i = 0; i < 4; ++i) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(natural + 16 * i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(natural + 16 * i + 8));
    const __m128i packed = _mm_packs_epi16(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero));
    zeros |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(packed))) << (16 * i);
  }
#else
  for (int i = 0; i < 64; ++i) zeros |= static_cast<uint64_t>(natural[i] == 0) << i;
#endif
  const uint64_t set = ~zeros;
  const ZigzagBits& bits = TheZigzagBits();
  uint64_t mask = 0;
  for (size_t b = 0; b < 8; ++b) mask |= bits.table[b][(set >> (8 * b)) & 0xFF];
  return mask;
}

namespace {

inline int16_t ColourSample(float v) { return static_cast<int16_t>(static_cast<int>(v + 0.5f) - 128); }

// The pixels [from, width) one by one.
void ConvertColourPixels(const uint8_t* bgr, int from, int width, int16_t* y, int16_t* cb, int16_t* cr) {
  for (int x = from; x < width; ++x) {
    const float b = bgr[3 * x], g = bgr[3 * x + 1], r = bgr[3 * x + 2];
    y[x] = ColourSample(r * 0.299f + g * 0.587f + b * 0.114f);
    if ((x & 1) == 0) {
      cb[x / 2] = ColourSample(r * -0.1687f + g * -0.3313f + b * 0.5f + 128.0f);
      cr[x / 2] = ColourSample(r * 0.5f + g * -0.4187f + b * -0.0813f + 128.0f);
    }
  }
}

#if defined(QMX_JPEG_SSE2)

// Samples of four pixels from their blue, green and red values.
inline __m128i Samples(__m128 r, __m128 g, __m128 b, float kr, float kg, float kb, float offset) {
  __m128 v = _mm_add_ps(_mm_add_ps(_mm_mul_ps(r, _mm_set1_ps(kr)), _mm_mul_ps(g, _mm_set1_ps(kg))),
                        _mm_mul_ps(b, _mm_set1_ps(kb)));
  if (offset != 0.0f) v = _mm_add_ps(v, _mm_set1_ps(offset));
  return _mm_sub_epi32(_mm_cvttps_epi32(_mm_add_ps(v, _mm_set1_ps(0.5f))), _mm_set1_epi32(128));
}

// Four interleaved pixels (b g r b | g r b g | r b g r) as blue, green, red.
inline void Deinterleave(__m128 v0, __m128 v1, __m128 v2, __m128& b, __m128& g, __m128& r) {
  const __m128 b12 = _mm_shuffle_ps(v1, v2, _MM_SHUFFLE(0, 1, 0, 2));  // b2 . b3 .
  const __m128 g02 = _mm_shuffle_ps(v0, v2, _MM_SHUFFLE(0, 2, 0, 1));  // g0 . g3 .
  const __m128 r01 = _mm_shuffle_ps(v0, v1, _MM_SHUFFLE(0, 1, 0, 2));  // r0 . r1 .
  b = _mm_shuffle_ps(v0, b12, _MM_SHUFFLE(2, 0, 3, 0));  // b0 b1 b2 b3
  g = _mm_shuffle_ps(g02, v1, _MM_SHUFFLE(3, 0, 2, 0));  // g0 g3 g1 g2
  g = _mm_shuffle_ps(g, g, _MM_SHUFFLE(1, 3, 2, 0));     // g0 g1 g2 g3
  r = _mm_shuffle_ps(r01, v2, _MM_SHUFFLE(3, 0, 2, 0));  // r0 r1 r2 r3
}

#endif  // QMX_JPEG_SSE2

}  // namespace

void ConvertColourRow(const uint8_t* bgr, int width, int16_t* y, int16_t* cb, int16_t* cr) {
  int x = 0;
#if defined(QMX_JPEG_SSE2)
  // Sixteen pixels (48 bytes) at a time; the same products and sums as one by one.
  const __m128i zero = _mm_setzero_si128();
  for (; x + 16 <= width; x += 16) {
    const uint8_t* p = bgr + 3 * static_cast<size_t>(x);
    __m128 f[12];
    for (int i = 0; i < 3; ++i) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
      const __m128i lo = _mm_unpacklo_epi8(bytes, zero), hi = _mm_unpackhi_epi8(bytes, zero);
      f[4 * i] = _mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero));
      f[4 * i + 1] = _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero));
      f[4 * i + 2] = _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero));
      f[4 * i + 3] = _mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, zero));
    }
    __m128 b[4], g[4], r[4];
    for (int q = 0; q < 4; ++q) Deinterleave(f[3 * q], f[3 * q + 1], f[3 * q + 2], b[q], g[q], r[q]);
    __m128i ys[4];
    for (int q = 0; q < 4; ++q) ys[q] = Samples(r[q], g[q], b[q], 0.299f, 0.587f, 0.114f, 0.0f);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y + x), _mm_packs_epi32(ys[0], ys[1]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y + x + 8), _mm_packs_epi32(ys[2], ys[3]));
    // The even columns: pixels 0 and 2 of each group of four.
    __m128i cbs[2], crs[2];
    for (int h = 0; h < 2; ++h) {
      const __m128 be = _mm_shuffle_ps(b[2 * h], b[2 * h + 1], _MM_SHUFFLE(2, 0, 2, 0));
      const __m128 ge = _mm_shuffle_ps(g[2 * h], g[2 * h + 1], _MM_SHUFFLE(2, 0, 2, 0));
      const __m128 re = _mm_shuffle_ps(r[2 * h], r[2 * h + 1], _MM_SHUFFLE(2, 0, 2, 0));
      cbs[h] = Samples(re, ge, be, -0.1687f, -0.3313f, 0.5f, 128.0f);
      crs[h] = Samples(re, ge, be, 0.5f, -0.4187f, -0.0813f, 128.0f);
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cb + x / 2), _mm_packs_epi32(cbs[0], cbs[1]));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cr + x / 2), _mm_packs_epi32(crs[0], crs[1]));
  }
#endif
  ConvertColourPixels(bgr, x, width, y, cb, cr);
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
