// The settings file from arbitrary bytes: the reader ends with one of its two
// results, and whatever it took from the file survives being written by the
// settings writer and read again (a save must never change or lose a value).
#include "app/model/AppOptions.h"
#include "tests/support/fuzz_files.h"
#include "tests/support/fuzz_model.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

bool SameOptions(const AppOptions& a, const AppOptions& b) {
  for (int i = 0; i < 4; ++i) {
    if (a.WndEnable[i] != b.WndEnable[i] || a.FileEnable[i] != b.FileEnable[i]) return false;
  }
  return a.Language == b.Language && a.StartUpTitle == b.StartUpTitle && a.StartUpPath == b.StartUpPath &&
         a.ViewMode == b.ViewMode && a.PrjUsrFolder == b.PrjUsrFolder && a.MaxWndDisplay == b.MaxWndDisplay &&
         a.MaxLogFileSize == b.MaxLogFileSize && a.EraseOldLogFileDays == b.EraseOldLogFileDays;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qmx::fuzz::QuietBoxes();
  static const std::string path = std::string(qmx::fuzz::kMemoryFolder) + "/" + qmx::kConfigFileName;
  qmx::fuzz::MemoryFiles& files = qmx::fuzz::MemoryFiles::Get();
  files.Put(path, data, size);

  AppOptions options;
  ConfigExtras extras;
  const int rc = ParseConfigFile(path, options, extras);
  if (rc != 0 && rc != 1) qmx::fuzz::Broken();
  if (rc != 1) return 0;

  files.Put(path, FormatConfigFile(options, extras));
  AppOptions again;
  ConfigExtras againExtras;
  if (ParseConfigFile(path, again, againExtras) != 1) qmx::fuzz::Broken();
  if (!SameOptions(options, again) || extras.copyright != againExtras.copyright) qmx::fuzz::Broken();
  return 0;
}
