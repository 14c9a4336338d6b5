#include "app/ui/image/JpegWriter.h"

#include <algorithm>
#include <bit>
#include <initializer_list>
#include <cstring>
#include <new>
#include <span>

#include "app/ui/image/ImageFile.h"
#include "app/ui/image/ImageLog.h"
#include "app/ui/image/JpegCore.h"

namespace qmx {
namespace {

using jpeg::BitWriter;
using jpeg::HuffmanCodes;
using jpeg::Quantiser;

// Worst case of one block: DC code and bits (27) and 63 AC codes with bits
// (26 each) make 1665 bits; stuffing at most doubles the bytes.
constexpr size_t kBlockReserve = 512;

struct Component {
  const Quantiser* quantiser;
  const HuffmanCodes* dc;
  const HuffmanCodes* ac;
  int previousDc = 0;
};

// Bits that follow a code: the value, or the value - 1 when negative, in
// `size` bits.
inline uint32_t ValueBits(int value, int size) {
  return static_cast<uint32_t>(value + (value >> 31)) & ((1u << size) - 1);
}

// Codes a quantised block held in natural order, its coefficients taken in
// zigzag order.
void EncodeBlock(BitWriter& out, const int16_t* natural, Component& c) {
  // DC difference; its category stays within the table's 0..11.
  int diff = std::clamp(natural[0] - c.previousDc, -2047, 2047);
  c.previousDc += diff;
  int size = std::bit_width(static_cast<unsigned>(diff < 0 ? -diff : diff));
  out.Put((static_cast<uint32_t>(c.dc->code[size]) << size) | ValueBits(diff, size), c.dc->size[size] + size);

  const HuffmanCodes& ac = *c.ac;
  uint64_t mask = jpeg::ZigzagNonZero(natural) & ~uint64_t{1};
  int last = 0;
  while (mask != 0) {
    const int k = std::countr_zero(mask);
    mask &= mask - 1;
    int run = k - last - 1;
    while (run > 15) {
      out.Put(ac.code[0xF0], ac.size[0xF0]);
      run -= 16;
    }
    const int value = std::clamp<int>(natural[jpeg::kZigzagToNatural[static_cast<size_t>(k)]], -1023, 1023);
    size = std::bit_width(static_cast<unsigned>(value < 0 ? -value : value));
    const int symbol = run * 16 + size;
    out.Put((static_cast<uint32_t>(ac.code[symbol]) << size) | ValueBits(value, size), ac.size[symbol] + size);
    last = k;
  }
  if (last != 63) out.Put(ac.code[0x00], ac.size[0x00]);
}

// Transforms, quantises and codes the 8x8 block at `samples` (row stride
// `stride`).
inline void CodeBlock(BitWriter& out, const int16_t* samples, size_t stride, Component& c) {
  alignas(16) int16_t block[64];
  alignas(16) int16_t quotients[64];
  for (size_t r = 0; r < 8; ++r) std::memcpy(block + 8 * r, samples + r * stride, 8 * sizeof(int16_t));
  jpeg::ForwardDct(block);
  c.quantiser->QuantiseNatural(block, quotients);
  EncodeBlock(out, quotients, c);
}

// Partial blocks at the right and bottom edges are completed by repeating
// the last pixel of each row and the last row of the picture. A block that
// only continues the picture's edge carries no step, so the truncating
// quantisation cannot smear one back into the visible pixels: a flat picture
// decodes to its own level at any size, and a decoder's chroma upsampling
// next to the edge blends the edge colour with itself.

// Fills samples [used, end) of a line with sample used - 1 (used >= 1).
inline void RepeatLastSample(int16_t* line, size_t used, size_t end) {
  std::fill(line + used, line + end, line[used - 1]);
}

// Copies the line above (one band stride back) into a line below the
// picture; the first line of a band always lies inside the picture, so there
// is one.
inline void RepeatLine(int16_t* line, size_t stride) { std::memcpy(line, line - stride, stride * sizeof(int16_t)); }

// The marker segments from SOI to SOS (at most 605 bytes).
class HeaderBytes {
public:
  void Put(std::initializer_list<uint8_t> bytes) {
    for (uint8_t b : bytes) bytes_[size_++] = b;
  }
  void Put(std::span<const uint8_t> bytes) {
    std::memcpy(bytes_.data() + size_, bytes.data(), bytes.size());
    size_ += bytes.size();
  }
  void PutWord(int value) { Put({static_cast<uint8_t>((value >> 8) & 0xFF), static_cast<uint8_t>(value & 0xFF)}); }
  void PutQuantTable(int id, const std::array<uint8_t, 64>& table) {
    Put({0xFF, 0xDB, 0x00, 0x43, static_cast<uint8_t>(id)});
    Put(table);
  }
  std::span<const uint8_t> bytes() const { return {bytes_.data(), size_}; }

private:
  std::array<uint8_t, 640> bytes_{};
  size_t size_ = 0;
};

void LogInvalidPicture(const char* func, int width, int height) {
  ImageLog(kLogError, kImageLogSource,
           FormatImageText("[Error Code: %d] Invalid picture size %d x %d. Func: %s.", kImageErrFileSave, width,
                           height, func));
}

void LogNoMemory(const char* func) {
  ImageLog(kLogError, kImageLogSource,
           FormatImageText("[Error Code: %d] Not enough memory to encode the picture. Func: %s.", kImageErrNoMemory,
                           func));
}

constexpr uint8_t kEoi[2] = {0xFF, 0xD9};

}  // namespace

JpegWriter::JpegWriter() = default;
JpegWriter::~JpegWriter() = default;

bool JpegWriter::Encode(bool colour, int width, int height, const uint8_t* const* rows, int quality) {
  const char* func = colour ? "JpegWriter::WriteColour" : "JpegWriter::WriteGrey";
  if (width < 1 || width > 65535 || height < 1 || height > 65535 || rows == nullptr) {
    LogInvalidPicture(func, width, height);
    return false;
  }
  try {
    HeaderBytes h;
    h.Put({0xFF, 0xD8});
    luminance_ = jpeg::LuminanceTableFor(quality);
    h.PutQuantTable(0, luminance_);
    if (colour) h.PutQuantTable(1, jpeg::kChrominanceQuant);
    h.Put(jpeg::kLuminanceDht);
    if (colour) h.Put(jpeg::kChrominanceDht);
    // SOF0: precision 8, height, width, components (id, sampling, table).
    h.Put({0xFF, 0xC0});
    h.PutWord(colour ? 17 : 11);
    h.Put({8});
    h.PutWord(height);
    h.PutWord(width);
    if (colour) {
      h.Put({3, 1, 0x21, 0, 2, 0x11, 1, 3, 0x11, 1});
    } else {
      h.Put({1, 1, 0x11, 0});
    }
    // SOS: components with their DC/AC tables, spectral 0..63, approximation 0.
    h.Put({0xFF, 0xDA});
    if (colour) {
      h.PutWord(12);
      h.Put({3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0});
    } else {
      h.PutWord(8);
      h.Put({1, 1, 0x00, 0, 63, 0});
    }
    headers_.assign(h.bytes().begin(), h.bytes().end());

    const size_t padded = static_cast<size_t>((width + 15) & ~15) * static_cast<size_t>((height + 7) & ~7);
    scan_ = std::make_unique<BitWriter>(padded / 4 + 4096);
    if (colour) {
      EncodeColourScan(width, height, rows);
    } else {
      EncodeGreyScan(width, height, rows);
    }
    scan_->Finish();
  } catch (const std::bad_alloc&) {
    scan_.reset();
    LogNoMemory(func);
    return false;
  }
  return true;
}

void JpegWriter::EncodeGreyScan(int width, int height, const uint8_t* const* rows) {
  HuffmanCodes dc, ac;
  size_t used = jpeg::BuildHuffmanCodes(jpeg::kLuminanceDht.data() + 4, dc);
  jpeg::BuildHuffmanCodes(jpeg::kLuminanceDht.data() + 4 + used + 4, ac);
  const Quantiser quantiser(luminance_);
  Component grey{&quantiser, &dc, &ac};

  const size_t paddedWidth = static_cast<size_t>((width + 7) & ~7);
  std::vector<int16_t> band(8 * paddedWidth, 0);
  BitWriter& out = *scan_;
  for (int top = 0; top < height; top += 8) {
    for (int r = 0; r < 8; ++r) {
      int16_t* line = band.data() + static_cast<size_t>(r) * paddedWidth;
      const int y = top + r;
      if (y >= height) {
        RepeatLine(line, paddedWidth);
        continue;
      }
      const uint8_t* src = rows[y];
      for (int x = 0; x < width; ++x) line[x] = static_cast<int16_t>(src[x] - 128);
      RepeatLastSample(line, static_cast<size_t>(width), paddedWidth);
    }
    for (size_t x = 0; x < paddedWidth; x += 8) {
      out.Reserve(kBlockReserve);
      CodeBlock(out, band.data() + x, paddedWidth, grey);
    }
  }
}

void JpegWriter::EncodeColourScan(int width, int height, const uint8_t* const* rows) {
  HuffmanCodes lumDc, lumAc, chrDc, chrAc;
  size_t used = jpeg::BuildHuffmanCodes(jpeg::kLuminanceDht.data() + 4, lumDc);
  jpeg::BuildHuffmanCodes(jpeg::kLuminanceDht.data() + 4 + used + 4, lumAc);
  used = jpeg::BuildHuffmanCodes(jpeg::kChrominanceDht.data() + 4, chrDc);
  jpeg::BuildHuffmanCodes(jpeg::kChrominanceDht.data() + 4 + used + 4, chrAc);
  const Quantiser lumQuantiser(luminance_);
  const Quantiser chrQuantiser(jpeg::kChrominanceQuant);
  Component lum{&lumQuantiser, &lumDc, &lumAc};
  Component cb{&chrQuantiser, &chrDc, &chrAc};
  Component cr{&chrQuantiser, &chrDc, &chrAc};

  const size_t paddedWidth = static_cast<size_t>((width + 15) & ~15);
  const size_t chromaWidth = paddedWidth / 2;
  const size_t chromaUsed = static_cast<size_t>(width + 1) / 2;  // even columns inside the picture
  std::vector<int16_t> yBand(8 * paddedWidth, 0), cbBand(8 * chromaWidth, 0), crBand(8 * chromaWidth, 0);
  BitWriter& out = *scan_;
  for (int top = 0; top < height; top += 8) {
    for (int r = 0; r < 8; ++r) {
      int16_t* yLine = yBand.data() + static_cast<size_t>(r) * paddedWidth;
      int16_t* cbLine = cbBand.data() + static_cast<size_t>(r) * chromaWidth;
      int16_t* crLine = crBand.data() + static_cast<size_t>(r) * chromaWidth;
      const int y = top + r;
      if (y >= height) {
        RepeatLine(yLine, paddedWidth);
        RepeatLine(cbLine, chromaWidth);
        RepeatLine(crLine, chromaWidth);
        continue;
      }
      jpeg::ConvertColourRow(rows[y], width, yLine, cbLine, crLine);
      // The columns right of the picture repeat its last pixel, chroma
      // included: the chroma samples of the padding are those of the last
      // pixel even when that pixel sits in an odd column and so has no
      // chroma sample of its own.
      RepeatLastSample(yLine, static_cast<size_t>(width), paddedWidth);
      if (chromaUsed < chromaWidth) {
        int16_t lastY, lastCb, lastCr;
        jpeg::ConvertColourRow(rows[y] + 3 * static_cast<size_t>(width - 1), 1, &lastY, &lastCb, &lastCr);
        std::fill(cbLine + chromaUsed, cbLine + chromaWidth, lastCb);
        std::fill(crLine + chromaUsed, crLine + chromaWidth, lastCr);
      }
    }
    // MCU: two luminance blocks side by side, then Cb and Cr of the same 16 x 8 area.
    for (size_t x = 0; x < paddedWidth; x += 16) {
      out.Reserve(4 * kBlockReserve);
      CodeBlock(out, yBand.data() + x, paddedWidth, lum);
      CodeBlock(out, yBand.data() + x + 8, paddedWidth, lum);
      CodeBlock(out, cbBand.data() + x / 2, chromaWidth, cb);
      CodeBlock(out, crBand.data() + x / 2, chromaWidth, cr);
    }
  }
}

void JpegWriter::Assemble(std::vector<uint8_t>& file) const {
  file.clear();
  file.reserve(headers_.size() + scan_->size() + 2);
  file.insert(file.end(), headers_.begin(), headers_.end());
  file.insert(file.end(), scan_->data(), scan_->data() + scan_->size());
  file.insert(file.end(), std::begin(kEoi), std::end(kEoi));
}

bool JpegWriter::Write(const char* func, const std::filesystem::path& path) {
  std::string reason;
  const bool ok = WritePictureFile(
      path, {std::span<const uint8_t>(headers_), std::span<const uint8_t>(scan_->data(), scan_->size()),
             std::span<const uint8_t>(kEoi)},
      reason);
  if (!ok) LogPictureSaveError(func, path, reason);
  scan_.reset();
  return ok;
}

bool JpegWriter::WriteGrey(const std::filesystem::path& path, int width, int height, const uint8_t* const* rows,
                           int quality) {
  return Encode(false, width, height, rows, quality) && Write("JpegWriter::WriteGrey", path);
}

bool JpegWriter::WriteColour(const std::filesystem::path& path, int width, int height, const uint8_t* const* rows,
                             int quality) {
  return Encode(true, width, height, rows, quality) && Write("JpegWriter::WriteColour", path);
}

bool JpegWriter::EncodeGrey(std::vector<uint8_t>& file, int width, int height, const uint8_t* const* rows,
                            int quality) {
  if (!Encode(false, width, height, rows, quality)) return false;
  bool ok = true;
  try {
    Assemble(file);
  } catch (const std::bad_alloc&) {
    LogNoMemory("JpegWriter::EncodeGrey");
    ok = false;
  }
  scan_.reset();
  return ok;
}

bool JpegWriter::EncodeColour(std::vector<uint8_t>& file, int width, int height, const uint8_t* const* rows,
                              int quality) {
  if (!Encode(true, width, height, rows, quality)) return false;
  bool ok = true;
  try {
    Assemble(file);
  } catch (const std::bad_alloc&) {
    LogNoMemory("JpegWriter::EncodeColour");
    ok = false;
  }
  scan_.reset();
  return ok;
}

}  // namespace qmx
