// Baseline sequential JPEG writer with the standard's example Huffman tables:
// 8-bit grey pictures as one component, 24-bit pictures as Y, Cb, Cr with
// the luminance sampled 2x1. No JPEG library is used.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

namespace qmx {
namespace jpeg {
class BitWriter;
}

class JpegWriter {
public:
  JpegWriter();
  ~JpegWriter();
  JpegWriter(const JpegWriter&) = delete;
  JpegWriter& operator=(const JpegWriter&) = delete;

  // Rows are top-down: `rows[0]` is the top row. Grey rows hold one byte per
  // pixel; colour rows hold blue, green, red bytes per pixel. Width and
  // height run from 1 to 65535. True only when the whole file was written;
  // failures are logged.
  bool WriteGrey(const std::filesystem::path& path, int width, int height, const uint8_t* const* rows, int quality);
  bool WriteColour(const std::filesystem::path& path, int width, int height, const uint8_t* const* rows,
                   int quality);

  // The same encoders into memory: `file` receives the bytes of the file.
  bool EncodeGrey(std::vector<uint8_t>& file, int width, int height, const uint8_t* const* rows, int quality);
  bool EncodeColour(std::vector<uint8_t>& file, int width, int height, const uint8_t* const* rows, int quality);

private:
  bool Encode(bool colour, int width, int height, const uint8_t* const* rows, int quality);
  void EncodeGreyScan(int width, int height, const uint8_t* const* rows);
  void EncodeColourScan(int width, int height, const uint8_t* const* rows);
  bool Write(const char* func, const std::filesystem::path& path);
  void Assemble(std::vector<uint8_t>& file) const;

  std::array<uint8_t, 64> luminance_{};   // the luminance table of the file
  std::vector<uint8_t> headers_;          // SOI to SOS
  std::unique_ptr<jpeg::BitWriter> scan_;  // the entropy-coded segment
};

}  // namespace qmx
