// Building blocks of the baseline JPEG writer, visible for its tests: the
// fixed tables, the forward DCT, the quantiser, the Huffman code tables and
// the bit packer with byte stuffing.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace qmx::jpeg {

// Natural (row-major) index of each zigzag position.
extern const std::array<uint8_t, 64> kZigzagToNatural;

// Quantisation tables as the writer stores them: half the example tables of
// the JPEG standard (entry = (table value x 50 + 50) / 100), zigzag order.
extern const std::array<uint8_t, 64> kLuminanceQuant;
extern const std::array<uint8_t, 64> kChrominanceQuant;

// Ready-made DHT segments, marker included: luminance DC (class 0, id 0)
// followed by luminance AC (class 1, id 0), and the same for chrominance
// (id 1). 216 bytes each.
extern const std::array<uint8_t, 216> kLuminanceDht;
extern const std::array<uint8_t, 216> kChrominanceDht;

// The luminance table for a quality: 17 and above the stored table; 1 to 16
// follow the 0..100 quality rule at 6.25 x quality; 0 gives 255 throughout.
std::array<uint8_t, 64> LuminanceTableFor(int quality);

// Forward 8x8 DCT in place, natural order: rows, then columns; each pass in
// single precision and truncated toward zero to 16 bits (wrapping, as a
// conversion to int16_t does). With SSE2 eight rows or columns at a time;
// each value takes the same single-precision operations in the same order
// as in the plain pass, so both give the same bits.
void ForwardDct(int16_t* block);

// Divides the natural-order coefficients by a zigzag-order table, truncating
// toward zero, and stores them in zigzag order. It multiplies instead of
// dividing: for a divisor d with 2^(l-1) < d <= 2^l, m = ceil(2^(16+l) / d)
// gives floor(n / d) = floor(n * m / 2^(16+l)) for every n < 2^16, since
// m * d - 2^(16+l) < d <= 2^l; with m = 2^16 + m' that is
// (n + floor(n * m' / 2^16)) >> l, which 16-bit lanes compute for every
// magnitude of an int16_t (up to 32768).
class Quantiser {
public:
  explicit Quantiser(const std::array<uint8_t, 64>& zigzagTable);
  void Quantise(const int16_t* natural, int16_t* zigzag) const;
  // The same quotients left in natural order (zigzag[k] = quotients[kZigzagToNatural[k]]).
  void QuantiseNatural(const int16_t* natural, int16_t* quotients) const;

private:
  // By natural index: m', the power 2^(16-l) that shifts right by l through
  // a high multiplication, and all ones where l is 0 (d = 1: no shift).
  alignas(16) std::array<uint16_t, 64> mulLow_{};
  alignas(16) std::array<uint16_t, 64> shiftMul_{};
  alignas(16) std::array<uint16_t, 64> noShift_{};
};

// Bit k set when the coefficient at zigzag position k of a natural-order
// block is not zero.
uint64_t ZigzagNonZero(const int16_t* natural);

// One picture row of blue, green, red bytes as the writer's samples: every
// pixel's luminance and, for the pixels in even columns, the two colour
// differences (chroma planes half as wide: cb and cr get (width + 1) / 2
// values). Each sample is the single-precision sum of the byte products
// (0.299, 0.587, 0.114; -0.1687, -0.3313, 0.5, + 128; 0.5, -0.4187,
// -0.0813, + 128) in that order, + 0.5, truncated, - 128.
void ConvertColourRow(const uint8_t* bgr, int width, int16_t* y, int16_t* cb, int16_t* cr);

// Canonical Huffman codes of one table, indexed by symbol.
struct HuffmanCodes {
  std::array<uint16_t, 256> code{};
  std::array<uint8_t, 256> size{};  // 0: the symbol has no code
};

// Builds the codes of the DHT table that starts at `segment` (at its class/id
// byte, after marker and length). Returns the number of bytes of the table.
size_t BuildHuffmanCodes(const uint8_t* segment, HuffmanCodes& codes);

// Packs bits most significant first into a growing byte buffer; a byte 0xFF
// is followed by a stuffed 0x00.
class BitWriter {
public:
  explicit BitWriter(size_t initialCapacity = 4096);
  // Makes room for `bytes` more output bytes (call before each block).
  void Reserve(size_t bytes);
  // Appends the low `length` bits of `bits` (length 1..32).
  void Put(uint32_t bits, int length) {
    if (length < free_) {
      acc_ = (acc_ << length) | bits;
      free_ -= length;
    } else {
      int rest = length - free_;
      acc_ = (acc_ << free_) | (static_cast<uint64_t>(bits) >> rest);
      Flush64();
      acc_ = bits;
      free_ = 64 - rest;
    }
  }
  // Completes the last byte with 1 bits and flushes everything.
  void Finish();
  const uint8_t* data() const { return buf_.get(); }
  size_t size() const { return static_cast<size_t>(out_ - buf_.get()); }

private:
  void Flush64();

  std::unique_ptr<uint8_t[]> buf_;
  size_t capacity_ = 0;
  uint8_t* out_ = nullptr;
  uint64_t acc_ = 0;
  int free_ = 64;
};

}  // namespace qmx::jpeg
