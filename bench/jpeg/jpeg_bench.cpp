// Encodes one 4096 x 4096 colour picture with our JPEG writer and with
// libjpeg-turbo at the same quantisation tables (quality 75 is the same
// half-scaled example table), the same 2x1 luminance sampling and the
// standard Huffman tables, and reports megapixels per second of both and
// their ratio.
//
// libjpeg-turbo's SIMD code is switched off (JSIMD_FORCENONE=1) unless the
// environment already says otherwise; run with JSIMD_FORCENONE=0 to compare
// against the SIMD build.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "app/ui/image/DibImage.h"
#include "app/ui/image/JpegWriter.h"

namespace {

constexpr int kSize = 4096;

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

const Picture& ThePicture() {
  static const Picture picture;
  return picture;
}

void BM_OurWriter(benchmark::State& state) {
  const Picture& picture = ThePicture();
  qmx::JpegWriter writer;
  std::vector<uint8_t> file;
  for (auto _ : state) {
    if (!writer.EncodeColour(file, kSize, kSize, picture.rows.data(), qmx::DibImage::kJpegQuality)) {
      state.SkipWithError("encoding failed");
      break;
    }
    benchmark::DoNotOptimize(file.data());
  }
  state.counters["MP/s"] = benchmark::Counter(static_cast<double>(kSize) * kSize / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
  state.counters["bytes"] = static_cast<double>(file.size());
}

void BM_LibjpegTurbo(benchmark::State& state) {
  const Picture& picture = ThePicture();
  size_t bytes = 0;
  for (auto _ : state) {
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
    jpeg_set_quality(&info, 75, TRUE);
    info.write_JFIF_header = FALSE;
    info.comp_info[0].h_samp_factor = 2;
    info.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
      JSAMPROW row = const_cast<uint8_t*>(picture.rows[info.next_scanline]);
      jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    bytes = size;
    benchmark::DoNotOptimize(out);
    jpeg_destroy_compress(&info);
    std::free(out);
  }
  state.counters["MP/s"] = benchmark::Counter(static_cast<double>(kSize) * kSize / 1e6,
                                              benchmark::Counter::kIsIterationInvariantRate);
  state.counters["bytes"] = static_cast<double>(bytes);
}

BENCHMARK(BM_OurWriter)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_LibjpegTurbo)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Keeps the time per iteration of each run for the ratio line.
class RatioReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) times_[run.run_name.function_name] = run.GetAdjustedRealTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
  void Summary() const {
    auto ours = times_.find("BM_OurWriter");
    auto turbo = times_.find("BM_LibjpegTurbo");
    if (ours == times_.end() || turbo == times_.end()) return;
    const double mp = static_cast<double>(kSize) * kSize / 1e6;
    const double oursRate = mp / (ours->second / 1e3);
    const double turboRate = mp / (turbo->second / 1e3);
    std::printf("\nour writer %.1f MP/s, libjpeg-turbo %.1f MP/s (JSIMD_FORCENONE=%s): ratio %.2f\n", oursRate,
                turboRate, std::getenv("JSIMD_FORCENONE") ? std::getenv("JSIMD_FORCENONE") : "unset",
                oursRate / turboRate);
  }

private:
  std::map<std::string, double> times_;
};

}  // namespace

int main(int argc, char** argv) {
  ::setenv("JSIMD_FORCENONE", "1", 0);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  ThePicture();
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.Summary();
  benchmark::Shutdown();
  return 0;
}
