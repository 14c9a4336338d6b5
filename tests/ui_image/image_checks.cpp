#include "image_checks.h"

#include <csetjmp>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

#include <jpeglib.h>
#include <sys/wait.h>
#include <unistd.h>

namespace qmx::test {
namespace {

struct CountingErrors {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  int warnings = 0;
  char message[JMSG_LENGTH_MAX] = {};
};

void OnError(j_common_ptr info) {
  auto* errors = reinterpret_cast<CountingErrors*>(info->err);
  (*info->err->format_message)(info, errors->message);
  std::longjmp(errors->jump, 1);
}

void OnMessage(j_common_ptr info, int level) {
  auto* errors = reinterpret_cast<CountingErrors*>(info->err);
  if (level < 0) {
    ++errors->warnings;
    (*info->err->format_message)(info, errors->message);
  }
}

}  // namespace

DecodedJpeg DecodeJpeg(const std::vector<uint8_t>& bytes) {
  DecodedJpeg result;
  jpeg_decompress_struct info{};
  CountingErrors errors;
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnError;
  errors.base.emit_message = OnMessage;
  if (setjmp(errors.jump)) {
    result.ok = false;
    result.error = errors.message;
    result.warnings = errors.warnings;
    jpeg_destroy_decompress(&info);
    return result;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  result.components = info.num_components;
  info.out_color_space = info.num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_start_decompress(&info);
  result.width = static_cast<int>(info.output_width);
  result.height = static_cast<int>(info.output_height);
  const size_t stride = static_cast<size_t>(info.output_width) * static_cast<size_t>(info.output_components);
  result.pixels.resize(stride * info.output_height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = result.pixels.data() + stride * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  result.warnings = errors.warnings;
  if (errors.warnings > 0) result.error = errors.message;
  result.ok = true;
  return result;
}

JpegCoefficients ReadJpegCoefficients(const std::vector<uint8_t>& bytes) {
  JpegCoefficients result;
  jpeg_decompress_struct info{};
  CountingErrors errors;
  info.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = OnError;
  errors.base.emit_message = OnMessage;
  if (setjmp(errors.jump)) {
    result.ok = false;
    result.error = errors.message;
    jpeg_destroy_decompress(&info);
    return result;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&info, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&info);
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& comp = info.comp_info[c];
    JpegCoefficients::Component out;
    out.id = comp.component_id;
    out.h = comp.h_samp_factor;
    out.v = comp.v_samp_factor;
    const int h = info.num_components > 1 ? comp.h_samp_factor : 1;
    const int v = info.num_components > 1 ? comp.v_samp_factor : 1;
    out.blocksWide = static_cast<int>((comp.width_in_blocks + h - 1) / h * h);
    out.blocksHigh = static_cast<int>((comp.height_in_blocks + v - 1) / v * v);
    for (int k = 0; k < 64; ++k) out.quant[k] = comp.quant_table->quantval[k];
    for (int row = 0; row < out.blocksHigh; ++row) {
      JBLOCKARRAY line = (*info.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&info), arrays[c],
                                                         static_cast<JDIMENSION>(row), 1, FALSE);
      for (int col = 0; col < out.blocksWide; ++col) {
        std::array<int16_t, 64> block;
        for (int k = 0; k < 64; ++k) block[k] = line[0][col][k];
        out.blocks.push_back(block);
      }
    }
    result.components.push_back(std::move(out));
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  result.warnings = errors.warnings;
  if (errors.warnings > 0) result.error = errors.message;
  result.ok = true;
  return result;
}

std::vector<uint8_t> EncodeWithLibjpeg(int width, int height, const std::vector<uint8_t>& rgb, int quality) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  info.write_JFIF_header = FALSE;
  info.comp_info[0].h_samp_factor = 2;
  info.comp_info[0].v_samp_factor = 1;
  jpeg_start_compress(&info, TRUE);
  const size_t stride = static_cast<size_t>(width) * 3;
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = const_cast<uint8_t*>(rgb.data()) + stride * info.next_scanline;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<uint8_t> bytes(out, out + size);
  jpeg_destroy_compress(&info);
  free(out);
  return bytes;
}

JpegLayout ParseJpeg(const std::vector<uint8_t>& b) {
  JpegLayout layout;
  if (b.size() < 4 || b[0] != 0xFF || b[1] != 0xD8) {
    layout.error = "no SOI";
    return layout;
  }
  layout.segments.push_back({0xD8, {}, 0});
  size_t i = 2;
  while (true) {
    if (i + 4 > b.size() || b[i] != 0xFF) {
      layout.error = "segment expected at " + std::to_string(i);
      return layout;
    }
    const uint8_t marker = b[i + 1];
    const size_t length = static_cast<size_t>(b[i + 2]) << 8 | b[i + 3];
    if (length < 2 || i + 2 + length > b.size()) {
      layout.error = "bad length at " + std::to_string(i);
      return layout;
    }
    layout.segments.push_back({marker, std::vector<uint8_t>(b.begin() + i + 4, b.begin() + i + 2 + length), i});
    i += 2 + length;
    if (marker == 0xDA) break;
  }
  // Entropy-coded data runs to the first 0xFF that is not followed by 0x00.
  while (i < b.size()) {
    if (b[i] == 0xFF) {
      if (i + 1 >= b.size()) {
        layout.error = "0xFF at the end";
        return layout;
      }
      if (b[i + 1] != 0x00) break;
      layout.scan.push_back(0xFF);
      layout.scan.push_back(0x00);
      i += 2;
      continue;
    }
    layout.scan.push_back(b[i++]);
  }
  layout.endsWithEoi = i + 2 == b.size() && b[i] == 0xFF && b[i + 1] == 0xD9;
  layout.ok = true;
  return layout;
}

std::vector<uint8_t> Crop(const std::vector<uint8_t>& pixels, int width, int channels, int x0, int y0, int x1, int y1) {
  std::vector<uint8_t> out;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x)
      for (int c = 0; c < channels; ++c)
        out.push_back(pixels[(static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) *
                                 static_cast<size_t>(channels) +
                             static_cast<size_t>(c)]);
  return out;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size() || a.empty()) return 0.0;
  double sum = 0.0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = static_cast<double>(a[i]) - static_cast<double>(b[i]);
    sum += d * d;
  }
  if (sum == 0.0) return 200.0;
  return 10.0 * std::log10(255.0 * 255.0 / (sum / static_cast<double>(a.size())));
}

int MaxDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a.size() != b.size()) return 256;
  int worst = 0;
  for (size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(int{a[i]} - int{b[i]}));
  return worst;
}

std::string ImageMagickConvert() {
  const char* path = "/usr/bin/convert";
  return ::access(path, X_OK) == 0 ? path : std::string();
}

std::string RunCommand(const std::string& command, int& status) {
  std::string out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    status = -1;
    return out;
  }
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int rc = ::pclose(pipe);
  status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace qmx::test
