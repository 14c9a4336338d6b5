// An adapter device description made of arbitrary bytes: the reader must end
// with one of its results, never crash, leak or read past a buffer, and every
// definition it keeps must be consistent (default image as long as its block).
#include "app/model/NACatalogue.h"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = "/tmp/qmx_na_fuzz_" + std::to_string(::getpid()) + ".xml";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  static const TextIdMap texts = {{"T_A", {"T_A", "A", "a"}}};
  std::vector<std::unique_ptr<NADef>> definitions;
  const int rc = ParseNA(path, 0, texts, definitions);
  if (rc != 1 && rc != -4000) std::abort();
  for (const auto& def : definitions) {
    const auto& image = def->blockDefaultImage[kMonInit];
    if (!image.empty() && static_cast<int>(image.size()) != def->blockLength[kMonInit]) std::abort();
    // Image lengths are bounded as the module reader bounds them.
    for (int length : {def->paraLength, def->inputLength, def->outputLength}) {
      if (length < 0 || length > 0xFFFF) std::abort();
    }
    if (!def->defaultParaImage.empty() && static_cast<int>(def->defaultParaImage.size()) != def->paraLength) {
      std::abort();
    }
    def->GetProductCode();
    def->CheckCommTypes();
    for (const auto& entry : def->commTypeMap) def->GetCommTypeCode(entry.first);
  }
  ::unlink(path.c_str());
  return 0;
}
