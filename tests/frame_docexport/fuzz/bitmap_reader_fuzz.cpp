// Fuzz entry point of the bitmap reader that loads the station pictures of the
// documentation: any bytes either give a picture whose pixels fill its size or
// a reason.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/frame/export/DocExport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qmx::docu::Picture picture;
  std::string error;
  if (qmx::docu::ReadBitmap(std::string_view(reinterpret_cast<const char*>(data), size), picture, error)) {
    if (picture.width <= 0 || picture.height <= 0 ||
        picture.pixels.size() != static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height))
      std::abort();
  } else if (error.empty()) {
    std::abort();
  }
  return 0;
}
