// A device-independent bitmap in memory: 8 bits per pixel with a colour
// table of 256 entries, or 24 bits per pixel (blue, green, red bytes). One
// block holds the 40-byte bitmap info header, the colour table and the
// pixel rows, bottom row first, each row padded to four bytes. The image
// saves itself as a bitmap file or a JPEG file, chosen by the file name.
// User-interface thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace qmx {

// A colour-table entry as stored in the bitmap.
struct RgbQuad {
  uint8_t blue = 0;
  uint8_t green = 0;
  uint8_t red = 0;
  uint8_t reserved = 0;
};

// A palette entry: the colour-table entry in palette order.
struct PaletteEntry {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t flags = 0;
};

// The device bitmap that DibImage::CreateFromBitmap copies (the toolkit
// adapter implements it for its own pictures).
class BitmapSource {
public:
  virtual ~BitmapSource() = default;
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual int Planes() const = 0;
  virtual int BitsPerPixel() const = 0;
  // Copies the pixels at the bitmap's own depth into `bits`, bottom row
  // first, each row `rowSize` bytes (padded to four bytes); an 8-bit bitmap
  // also fills the 256 entries of `colourTable` (null otherwise). False,
  // with the system's text in `error`, when the bits cannot be read.
  virtual bool ReadBits(uint8_t* bits, size_t rowSize, RgbQuad* colourTable, std::string& error) const = 0;
};

class DibImage {
public:
  static constexpr int kHeaderSize = 40;
  static constexpr int kFileHeaderSize = 14;
  // The quality the JPEG files are written with.
  static constexpr int kJpegQuality = 17;

  // Bytes of one stored row (padded to four bytes).
  static int RowSizeFor(int width, int bitsPerPixel);
  // Colour-table entries of a depth: 1 -> 2, 4 -> 16, 8 -> 256, else 0.
  static int ColourTableEntries(int bitsPerPixel);

  DibImage();
  ~DibImage();
  DibImage(const DibImage&) = delete;
  DibImage& operator=(const DibImage&) = delete;

  // A new 8-bit image with the grey ramp as colour table and every pixel
  // set to `fill`.
  bool CreateGrey(int width, int height, uint8_t fill);
  // A new 24-bit image with every pixel set to `colour` (0x00BBGGRR).
  bool CreateRgb(int width, int height, uint32_t colour);
  // Copies a bitmap of 8, 24 or 32 bits per pixel; a 32-bit bitmap becomes a
  // 24-bit image (the fourth byte is dropped). When the bits cannot be read
  // the system's text is shown in a box titled "Error".
  bool CreateFromBitmap(const BitmapSource& bitmap);

  // ".bmp" (any case) writes a bitmap file, ".jpg" or ".jpeg" a JPEG file;
  // another extension, or none, is refused. True only when the file was
  // written completely.
  bool SaveToFile(const std::filesystem::path& path);

  // Top-down row pointers (row 0 is the top row); null when the image has
  // another depth or no memory.
  uint8_t* const* GetRows8();
  uint8_t* const* GetRows24();

  int Width() const { return width_; }
  int Height() const { return height_; }
  int RowSize() const { return rowSize_; }
  int BitsPerPixel() const { return bitsPerPixel_; }
  bool IsEmpty() const { return dib_ == nullptr; }

  // The whole block: header, colour table, rows bottom row first.
  const uint8_t* Dib() const { return dib_.get(); }
  size_t DibSize() const { return dibSize_; }
  // The colour table (null without one) and the palette built from it.
  const RgbQuad* ColourTable() const;
  const std::vector<PaletteEntry>& Palette() const { return palette_; }
  // Replaces the first entries of the colour table of an 8-bit image and
  // rebuilds the palette. False without a colour table or with too many
  // entries.
  bool SetColourTable(std::span<const RgbQuad> entries);
  // The path of the last save.
  const std::filesystem::path& Path() const { return path_; }

private:
  void Reset();
  bool Allocate(int width, int height, int bitsPerPixel);
  bool AttachHeader();
  void BuildPalette();
  uint8_t* Bits() const;
  bool SaveBitmapFile(const std::filesystem::path& path);
  bool SaveJpegFile(const std::filesystem::path& path);

  std::unique_ptr<uint8_t[]> dib_;
  size_t dibSize_ = 0;
  int width_ = 0;
  int rowSize_ = 0;
  int height_ = 0;
  int bitsPerPixel_ = 0;
  std::vector<PaletteEntry> palette_;
  std::vector<uint8_t*> rows8_;
  std::vector<uint8_t*> rows24_;
  std::filesystem::path path_;
};

}  // namespace qmx
