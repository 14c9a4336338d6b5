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
// single precision and truncated toward zero to 16 bits.
void ForwardDct(int16_t* block);

// Divides the natural-order coefficients by a zigzag-order table, truncating
// toward zero, and stores them in zigzag order.
class Quantiser {
public:
  explicit Quantiser(const std::array<uint8_t, 64>& zigzagTable);
  void Quantise(const int16_t* natural, int16_t* zigzag) const;

private:
  std::array<uint64_t, 64> reciprocal_{};
};

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
