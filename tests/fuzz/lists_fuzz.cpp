// The text-id list and the error list from arbitrary bytes (each input is
// given to both readers): each ends with one of its two results and keeps
// only complete entries, filed under the key they carry.
#include "app/model/TextIdList.h"
#include "tests/support/fuzz_files.h"
#include "tests/support/fuzz_model.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qmx::fuzz::QuietBoxes();
  static const std::string path = std::string(qmx::fuzz::kMemoryFolder) + "/listTextIdEng.xml";
  qmx::fuzz::MemoryFiles::Get().Put(path, data, size);
  const qmx::fuzz::FreshPools fresh;

  TextIdMap texts;
  const int textsRc = ParseTextIdFile(path, texts);
  if (textsRc != 0 && textsRc != 1) qmx::fuzz::Broken();
  if (textsRc == 0 && !texts.empty()) qmx::fuzz::Broken();

  ErrorMap errors;
  const int errorsRc = ParseErrorFile(path, errors);
  if (errorsRc != 0 && errorsRc != 1) qmx::fuzz::Broken();
  if (errorsRc == 0 && !errors.empty()) qmx::fuzz::Broken();
  for (const auto& [key, info] : errors) {
    if (key != info.key || key.find('_') == std::string::npos) qmx::fuzz::Broken();
  }
  return 0;
}
