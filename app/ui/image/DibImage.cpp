#include "app/ui/image/DibImage.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <limits>
#include <new>

#include "app/ui/image/ImageFile.h"
#include "app/ui/image/ImageLog.h"
#include "app/ui/image/JpegWriter.h"

namespace qmx {
namespace {

void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t Get32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// The largest block whose size still fits the 32-bit size fields of a file.
constexpr uint64_t kMaxBlock = std::numeric_limits<int32_t>::max() - 14;

uint64_t RowSize64(int width, int bitsPerPixel) {
  return (static_cast<uint64_t>(width) * static_cast<uint64_t>(bitsPerPixel) + 31) / 32 * 4;
}

}  // namespace

int DibImage::RowSizeFor(int width, int bitsPerPixel) {
  if (width < 0 || bitsPerPixel < 0) return 0;
  const uint64_t size = RowSize64(width, bitsPerPixel);
  return size > static_cast<uint64_t>(std::numeric_limits<int>::max()) ? 0 : static_cast<int>(size);
}

int DibImage::ColourTableEntries(int bitsPerPixel) {
  switch (bitsPerPixel) {
    case 1: return 2;
    case 4: return 16;
    case 8: return 256;
    default: return 0;
  }
}

DibImage::DibImage() = default;
DibImage::~DibImage() = default;

void DibImage::Reset() {
  dib_.reset();
  dibSize_ = 0;
  width_ = rowSize_ = height_ = bitsPerPixel_ = 0;
  palette_.clear();
  rows8_.clear();
  rows24_.clear();
}

// A new block with the header of a bottom-up image of the depth; pixels zero.
bool DibImage::Allocate(int width, int height, int bitsPerPixel) {
  Reset();
  if (width < 1 || height < 1) return false;
  const uint64_t rowSize = RowSize64(width, bitsPerPixel);
  const int entries = ColourTableEntries(bitsPerPixel);
  const uint64_t imageSize = rowSize * static_cast<uint64_t>(height);
  const uint64_t size = kHeaderSize + 4ull * entries + imageSize;
  if (rowSize > kMaxBlock || size > kMaxBlock) return false;
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[size]());
  if (!block) return false;
  uint8_t* h = block.get();
  Put32(h + 0, kHeaderSize);
  Put32(h + 4, static_cast<uint32_t>(width));
  Put32(h + 8, static_cast<uint32_t>(height));
  Put16(h + 12, 1);
  Put16(h + 14, static_cast<uint32_t>(bitsPerPixel));
  Put32(h + 16, 0);  // no compression
  Put32(h + 20, static_cast<uint32_t>(imageSize));
  Put32(h + 24, 0);
  Put32(h + 28, 0);
  Put32(h + 32, bitsPerPixel == 8 ? 256 : 0);
  Put32(h + 36, 0);
  dib_ = std::move(block);
  dibSize_ = size;
  if (!AttachHeader()) {
    Reset();
    return false;
  }
  return true;
}

// Takes width, height and depth from the block's header and builds the
// palette of the depths that have a colour table.
bool DibImage::AttachHeader() {
  const uint8_t* h = dib_.get();
  if (h == nullptr || Get32(h) != kHeaderSize) return false;
  const int width = static_cast<int32_t>(Get32(h + 4));
  const int height = static_cast<int32_t>(Get32(h + 8));
  const int depth = Get16(h + 14);
  if (width < 1 || height < 1) return false;
  width_ = width;
  height_ = height;
  bitsPerPixel_ = depth;
  rowSize_ = RowSizeFor(width, depth);
  rows8_.clear();
  rows24_.clear();
  BuildPalette();
  return true;
}

void DibImage::BuildPalette() {
  palette_.clear();
  const int entries = ColourTableEntries(bitsPerPixel_);
  const RgbQuad* table = ColourTable();
  if (entries == 0 || table == nullptr) return;
  palette_.reserve(static_cast<size_t>(entries));
  for (int i = 0; i < entries; ++i) palette_.push_back({table[i].red, table[i].green, table[i].blue, 0});
}

const RgbQuad* DibImage::ColourTable() const {
  if (!dib_ || ColourTableEntries(bitsPerPixel_) == 0) return nullptr;
  static_assert(sizeof(RgbQuad) == 4);
  return reinterpret_cast<const RgbQuad*>(dib_.get() + kHeaderSize);
}

bool DibImage::SetColourTable(std::span<const RgbQuad> entries) {
  const int count = ColourTableEntries(bitsPerPixel_);
  if (!dib_ || count == 0 || entries.size() > static_cast<size_t>(count)) return false;
  std::memcpy(dib_.get() + kHeaderSize, entries.data(), entries.size() * sizeof(RgbQuad));
  BuildPalette();
  return true;
}

uint8_t* DibImage::Bits() const {
  return dib_.get() + kHeaderSize + 4 * ColourTableEntries(bitsPerPixel_);
}

bool DibImage::CreateGrey(int width, int height, uint8_t fill) {
  if (!Allocate(width, height, 8)) return false;
  RgbQuad ramp[256];
  for (int i = 0; i < 256; ++i) {
    const auto v = static_cast<uint8_t>(i);
    ramp[i] = {v, v, v, 0};
  }
  SetColourTable(ramp);
  uint8_t* bits = Bits();
  for (int y = 0; y < height_; ++y) std::memset(bits + static_cast<size_t>(y) * rowSize_, fill, width_);
  return true;
}

bool DibImage::CreateRgb(int width, int height, uint32_t colour) {
  if (!Allocate(width, height, 24)) return false;
  const uint8_t bgr[3] = {static_cast<uint8_t>(colour >> 16), static_cast<uint8_t>(colour >> 8),
                          static_cast<uint8_t>(colour)};
  uint8_t* bits = Bits();
  for (int y = 0; y < height_; ++y) {
    uint8_t* p = bits + static_cast<size_t>(y) * rowSize_;
    for (int x = 0; x < width_; ++x, p += 3) std::memcpy(p, bgr, 3);
  }
  return true;
}

bool DibImage::CreateFromBitmap(const BitmapSource& bitmap) {
  const int width = bitmap.Width();
  const int height = bitmap.Height();
  const int depth = bitmap.Planes() * bitmap.BitsPerPixel();
  if (depth != 8 && depth != 24 && depth != 32) return false;
  if (width < 1 || height < 1) return false;
  const uint64_t rowSize = RowSize64(width, depth);
  const uint64_t imageSize = rowSize * static_cast<uint64_t>(height);
  if (rowSize > kMaxBlock || imageSize > kMaxBlock) return false;

  std::unique_ptr<uint8_t[]> bits(new (std::nothrow) uint8_t[imageSize]());
  std::array<RgbQuad, 256> table{};
  if (!bits) return false;
  std::string error;
  if (!bitmap.ReadBits(bits.get(), rowSize, depth == 8 ? table.data() : nullptr, error)) {
    ImageMessage("Error", error);
    return false;
  }

  if (depth == 8) {
    if (!CreateGrey(width, height, 0)) return false;
    SetColourTable(table);
    std::memcpy(Bits(), bits.get(), imageSize);
    return true;
  }
  if (!CreateRgb(width, height, 0)) return false;
  uint8_t* dest = Bits();
  if (depth == 24) {
    std::memcpy(dest, bits.get(), imageSize);
    return true;
  }
  for (int y = 0; y < height; ++y) {
    const uint8_t* s = bits.get() + static_cast<size_t>(y) * rowSize;
    uint8_t* d = dest + static_cast<size_t>(y) * rowSize_;
    for (int x = 0; x < width; ++x, s += 4, d += 3) {
      d[0] = s[0];
      d[1] = s[1];
      d[2] = s[2];
    }
  }
  return true;
}

uint8_t* const* DibImage::GetRows8() {
  if (!dib_ || bitsPerPixel_ != 8) return nullptr;
  if (rows8_.empty()) {
    rows8_.resize(static_cast<size_t>(height_));
    for (int i = 0; i < height_; ++i) rows8_[i] = Bits() + static_cast<size_t>(height_ - 1 - i) * rowSize_;
  }
  return rows8_.data();
}

uint8_t* const* DibImage::GetRows24() {
  if (!dib_ || bitsPerPixel_ != 24) return nullptr;
  if (rows24_.empty()) {
    rows24_.resize(static_cast<size_t>(height_));
    for (int i = 0; i < height_; ++i) rows24_[i] = Bits() + static_cast<size_t>(height_ - 1 - i) * rowSize_;
  }
  return rows24_.data();
}

bool DibImage::SaveToFile(const std::filesystem::path& path) {
  path_ = path;
  const std::string& text = path.native();
  const size_t dot = text.rfind('.');
  if (dot == std::string::npos) return false;
  std::string extension = text.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (extension == ".BMP") return SaveBitmapFile(path);
  if (extension == ".JPG" || extension == ".JPEG") return SaveJpegFile(path);
  return false;
}

bool DibImage::SaveBitmapFile(const std::filesystem::path& path) {
  if (!dib_) return false;
  const int entries = ColourTableEntries(bitsPerPixel_);
  uint8_t fileHeader[kFileHeaderSize] = {'B', 'M'};
  Put32(fileHeader + 2, static_cast<uint32_t>(kFileHeaderSize + dibSize_));
  Put16(fileHeader + 6, 0);
  Put16(fileHeader + 8, 0);
  Put32(fileHeader + 10, static_cast<uint32_t>(kHeaderSize + 4 * entries + kFileHeaderSize));
  std::string reason;
  if (!WritePictureFile(path, {std::span<const uint8_t>(fileHeader), std::span<const uint8_t>(dib_.get(), dibSize_)},
                        reason)) {
    LogPictureSaveError("DibImage::SaveToFile", path, reason);
    return false;
  }
  return true;
}

bool DibImage::SaveJpegFile(const std::filesystem::path& path) {
  JpegWriter writer;
  if (bitsPerPixel_ == 24 && dib_) return writer.WriteColour(path, width_, height_, GetRows24(), kJpegQuality);
  if (bitsPerPixel_ != 8 || !dib_) return false;

  // An 8-bit image is written with its palette's colours: as grey levels when
  // every colour in use is grey, else as a colour picture.
  uint8_t* const* rows = GetRows8();
  bool used[256] = {};
  for (int y = 0; y < height_; ++y) {
    for (int x = 0; x < width_; ++x) used[rows[y][x]] = true;
  }
  const RgbQuad* table = ColourTable();
  bool grey = true;
  bool identity = true;
  for (int i = 0; i < 256; ++i) {
    if (!used[i]) continue;
    grey = grey && table[i].red == table[i].green && table[i].green == table[i].blue;
    identity = identity && table[i].red == i;
  }
  try {
    const size_t width = static_cast<size_t>(width_);
    if (grey && identity) return writer.WriteGrey(path, width_, height_, rows, kJpegQuality);
    const size_t bytesPerPixel = grey ? 1 : 3;
    std::vector<uint8_t> pixels(width * bytesPerPixel * static_cast<size_t>(height_));
    std::vector<const uint8_t*> mapped(static_cast<size_t>(height_));
    for (int y = 0; y < height_; ++y) {
      uint8_t* d = pixels.data() + static_cast<size_t>(y) * width * bytesPerPixel;
      mapped[static_cast<size_t>(y)] = d;
      for (int x = 0; x < width_; ++x) {
        const RgbQuad& c = table[rows[y][x]];
        if (grey) {
          *d++ = c.red;
        } else {
          *d++ = c.blue;
          *d++ = c.green;
          *d++ = c.red;
        }
      }
    }
    if (grey) return writer.WriteGrey(path, width_, height_, mapped.data(), kJpegQuality);
    return writer.WriteColour(path, width_, height_, mapped.data(), kJpegQuality);
  } catch (const std::bad_alloc&) {
    LogPictureSaveError("DibImage::SaveToFile", path, "not enough memory");
    return false;
  }
}

}  // namespace qmx
