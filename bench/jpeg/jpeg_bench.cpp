// Our JPEG writer against libjpeg-turbo, as shipped (its SIMD code on), on
// the same 4096 x 4096 colour picture, at equal size and quality of the
// result: our quality 17 (the half-scaled example tables with truncating
// quantisation) against libjpeg-turbo's quality 50 (the example tables with
// rounding), both 2x1 luminance sampling and the standard Huffman tables.
// The two are timed interleaved, A B B A in every round, since the machine
// is shared; each round gives the ratio of libjpeg-turbo's time to ours (our
// speed as a fraction of its speed), and the run prints the ratio's
// minimum, median and maximum, each encoder's median time, and the file
// sizes and PSNR (decoded by libjpeg-turbo) that make the comparison fair.
//
//     bench-bin/bench_jpeg [rounds]        (default 8)
//
// Setting JSIMD_FORCENONE=1 compares against libjpeg-turbo's plain C code.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "app/ui/image/DibImage.h"
#include "app/ui/image/JpegWriter.h"

namespace {

constexpr int kSize = 4096;
constexpr int kTurboQuality = 50;

using Clock = std::chrono::steady_clock;

// A picture with smooth areas, edges and fine detail: the kind of content a
// screen capture holds, not random noise.
struct Picture {
  std::vector<uint8_t> bgr;
  std::vector<const uint8_t*> rows;
  Picture() : bgr(static_cast<size_t>(kSize) * kSize * 3), rows(kSize) {
    uint32_t seed = 12345;
    for (int y = 0; y < kSize; ++y) {
      uint8_t* p = bgr.data() + static_cast<size_t>(y) * kSize * 3;
      rows[static_cast<size_t>(y)] = p;
      for (int x = 0; x < kSize; ++x, p += 3) {
        seed = seed * 1664525u + 1013904223u;
        const int noise = static_cast<int>(seed >> 28) - 8;
        const double fx = x / static_cast<double>(kSize), fy = y / static_cast<double>(kSize);
        int r = static_cast<int>(127.5 + 127.5 * std::sin(fx * 40.0 + fy * 7.0));
        int g = static_cast<int>(255.0 * fy);
        int b = ((x / 64 + y / 64) % 2 == 0) ? 220 : 40;
        if ((x / 256) % 3 == 0) r = g = b = (x ^ y) & 0xFF;  // textured stripes
        p[0] = static_cast<uint8_t>(std::clamp(b + noise, 0, 255));
        p[1] = static_cast<uint8_t>(std::clamp(g + noise, 0, 255));
        p[2] = static_cast<uint8_t>(std::clamp(r + noise, 0, 255));
      }
    }
  }
};

std::vector<uint8_t> EncodeOurs(const Picture& picture) {
  qmx::JpegWriter writer;
  std::vector<uint8_t> file;
  if (!writer.EncodeColour(file, kSize, kSize, picture.rows.data(), qmx::DibImage::kJpegQuality)) {
    std::fprintf(stderr, "our writer failed\n");
    std::exit(1);
  }
  return file;
}

std::vector<uint8_t> EncodeTurbo(const Picture& picture) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = kSize;
  info.image_height = kSize;
  info.input_components = 3;
  info.in_color_space = JCS_EXT_BGR;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, kTurboQuality, TRUE);
  info.write_JFIF_header = FALSE;
  info.comp_info[0].h_samp_factor = 2;
  info.comp_info[0].v_samp_factor = 1;
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(picture.rows[info.next_scanline]);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<uint8_t> file(out, out + size);
  jpeg_destroy_compress(&info);
  std::free(out);
  return file;
}

// PSNR of the decoded file against the picture, over the R, G and B bytes.
double Psnr(const std::vector<uint8_t>& file, const Picture& picture) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, file.data(), file.size());
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&info);
  std::vector<uint8_t> row(static_cast<size_t>(kSize) * 3);
  double squares = 0;
  while (info.output_scanline < info.output_height) {
    const int y = static_cast<int>(info.output_scanline);
    JSAMPROW out = row.data();
    jpeg_read_scanlines(&info, &out, 1);
    const uint8_t* source = picture.rows[static_cast<size_t>(y)];
    for (size_t i = 0; i < row.size(); ++i) {
      const double d = static_cast<double>(row[i]) - source[i];
      squares += d * d;
    }
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  const double mse = squares / (static_cast<double>(kSize) * kSize * 3);
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}

template <typename F>
double Seconds(F&& encode) {
  const Clock::time_point start = Clock::now();
  encode();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 8;
  const Picture picture;

  // Warm-up, and what the comparison stands on.
  const std::vector<uint8_t> ours = EncodeOurs(picture);
  const std::vector<uint8_t> turbo = EncodeTurbo(picture);
  std::printf("%d x %d colour: ours (quality %d) %zu bytes, PSNR %.2f dB; libjpeg-turbo (quality %d, SIMD %s) %zu "
              "bytes, PSNR %.2f dB\n",
              kSize, kSize, qmx::DibImage::kJpegQuality, ours.size(), Psnr(ours, picture), kTurboQuality,
              std::getenv("JSIMD_FORCENONE") && std::string(std::getenv("JSIMD_FORCENONE")) == "1" ? "off" : "on",
              turbo.size(), Psnr(turbo, picture));

  std::vector<double> ratios, ourTimes, turboTimes;
  for (int r = 0; r < rounds; ++r) {
    const double a1 = Seconds([&] { EncodeOurs(picture); });
    const double b1 = Seconds([&] { EncodeTurbo(picture); });
    const double b2 = Seconds([&] { EncodeTurbo(picture); });
    const double a2 = Seconds([&] { EncodeOurs(picture); });
    ourTimes.push_back((a1 + a2) / 2);
    turboTimes.push_back((b1 + b2) / 2);
    ratios.push_back((b1 + b2) / (a1 + a2));
  }
  std::printf("%d rounds A B B A: ours median %.1f ms, libjpeg-turbo median %.1f ms\n", rounds,
              Median(ourTimes) * 1e3, Median(turboTimes) * 1e3);
  std::printf("speed ratio (ours / libjpeg-turbo) min/median/max: %.2f / %.2f / %.2f\n",
              *std::min_element(ratios.begin(), ratios.end()), Median(ratios),
              *std::max_element(ratios.begin(), ratios.end()));
  return 0;
}
