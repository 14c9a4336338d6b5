// Independent readers for the picture tests: libjpeg-turbo for JPEG files
// (every warning counted), ImageMagick for bitmap files, and a walker over
// the segments of a JPEG file.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qmx::test {

// A test picture in the writer's layout (top-down rows of blue, green, red
// bytes, or of grey bytes) and as R, G, B / grey bytes for comparisons.
struct Picture {
  int width = 0;
  int height = 0;
  bool colour = true;
  std::vector<uint8_t> stored;            // writer layout
  std::vector<uint8_t> expected;          // RGB or grey, what a decoder returns
  std::vector<const uint8_t*> rows;

  // `pixel(x, y)` returns 0xRRGGBB; grey pictures take its green byte.
  template <typename F>
  static Picture Make(int width, int height, bool colour, F pixel) {
    Picture p;
    p.width = width;
    p.height = height;
    p.colour = colour;
    const size_t n = static_cast<size_t>(width) * static_cast<size_t>(height);
    p.stored.resize(n * (colour ? 3 : 1));
    p.expected.resize(n * (colour ? 3 : 1));
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const uint32_t c = pixel(x, y);
        const size_t i = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
        const uint8_t r = static_cast<uint8_t>(c >> 16), g = static_cast<uint8_t>(c >> 8), b = static_cast<uint8_t>(c);
        if (colour) {
          p.stored[3 * i] = b;
          p.stored[3 * i + 1] = g;
          p.stored[3 * i + 2] = r;
          p.expected[3 * i] = r;
          p.expected[3 * i + 1] = g;
          p.expected[3 * i + 2] = b;
        } else {
          p.stored[i] = g;
          p.expected[i] = g;
        }
      }
    }
    const size_t stride = static_cast<size_t>(width) * (colour ? 3 : 1);
    for (int y = 0; y < height; ++y) p.rows.push_back(p.stored.data() + static_cast<size_t>(y) * stride);
    return p;
  }
};

// Keeps only the pixels of a rectangle (for comparisons away from the edges).
std::vector<uint8_t> Crop(const std::vector<uint8_t>& pixels, int width, int channels, int x0, int y0, int x1, int y1);

struct DecodedJpeg {
  bool ok = false;
  std::string error;
  int warnings = 0;
  int width = 0;
  int height = 0;
  int components = 0;           // in the file
  std::vector<uint8_t> pixels;  // top-down; grey or R, G, B
};

// Decodes with libjpeg-turbo; colour files are converted to RGB.
DecodedJpeg DecodeJpeg(const std::vector<uint8_t>& bytes);

// The quantised coefficients of every block as libjpeg-turbo reads them.
struct JpegCoefficients {
  bool ok = false;
  std::string error;
  int warnings = 0;
  struct Component {
    int id = 0;
    int h = 0;
    int v = 0;
    int blocksWide = 0;  // including the blocks that complete the last MCU
    int blocksHigh = 0;
    std::vector<std::array<int16_t, 64>> blocks;  // natural order, row by row
    std::array<uint16_t, 64> quant{};              // natural order
  };
  std::vector<Component> components;
};

JpegCoefficients ReadJpegCoefficients(const std::vector<uint8_t>& bytes);

// Encodes RGB pixels with libjpeg-turbo at a quality, Y sampled 2x1, without
// a JFIF segment.
std::vector<uint8_t> EncodeWithLibjpeg(int width, int height, const std::vector<uint8_t>& rgb, int quality);

struct JpegSegment {
  uint8_t marker = 0;
  std::vector<uint8_t> body;  // after the length field
  size_t offset = 0;          // of the 0xFF of the marker
};

struct JpegLayout {
  bool ok = false;
  std::string error;
  std::vector<JpegSegment> segments;  // SOI .. SOS (SOI with an empty body)
  std::vector<uint8_t> scan;          // entropy-coded bytes as stored (stuffing kept)
  bool endsWithEoi = false;
};

JpegLayout ParseJpeg(const std::vector<uint8_t>& bytes);

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);
int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

// ImageMagick's own binary (not a stand-in on the PATH), or empty when it is
// not installed.
std::string ImageMagickConvert();

// Runs a command and returns its standard output; `status` gets the exit
// status.
std::string RunCommand(const std::string& command, int& status);

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);

}  // namespace qmx::test
