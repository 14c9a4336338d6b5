// An adapter device description made of arbitrary bytes: the reader must end
// with one of its results, never crash, leak or read past a buffer, and every
// definition it keeps must be consistent (default image as long as its block).
#include "app/model/NACatalogue.h"
#include "tests/support/fuzz_files.h"
#include "tests/support/fuzz_model.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qmx::fuzz::QuietBoxes();
  static const std::string path = std::string(qmx::fuzz::kMemoryFolder) + "/QMX-0000.xml";
  qmx::fuzz::MemoryFiles::Get().Put(path, data, size);
  static const TextIdMap texts = {{"T_A", {"A", "a"}}};
  const qmx::fuzz::FreshPools fresh;
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
  return 0;
}
