// The adapter and module lists (listNA.xml, listIO.xml) from arbitrary bytes,
// beside the shipped device descriptions, so the list's references reach the
// description readers. Each list reader ends with one of its two results,
// and everything the catalogue window would show points at a definition the
// catalogue owns. The lists stand in the shipped Products folder, read from
// memory as the descriptions are (each read from the disk once).
#include "app/model/IOCatalogue.h"
#include "app/model/NACatalogue.h"
#include "app/model/TextIdList.h"
#include "common/WholeFile.h"
#include "tests/support/fuzz_files.h"
#include "tests/support/fuzz_model.h"

#include <strings.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace fs = std::filesystem;

namespace {

const fs::path kProducts = QMX_FUZZ_PRODUCTS_DIR;

// Every shipped description into memory, before the lists take the place
// of the shipped ones there.
void HoldDescriptions() {
  static const bool held = [] {
    for (const char* folder : {"NA", "IO"}) {
      for (const fs::directory_entry& entry : fs::directory_iterator(kProducts / folder)) {
        std::string bytes;
        if (ReadWholeFile(entry.path().string(), 1u << 24, bytes) == 1) {
          qmx::fuzz::MemoryFiles::Get().Put(entry.path().string(), bytes);
        }
      }
    }
    return true;
  }();
  (void)held;
}

const TextIdMap& ShippedTexts() {
  static const TextIdMap texts = [] {
    TextIdMap map;
    ParseTextIdFile((kProducts / "listTextIdEng.xml").string(), map);
    return map;
  }();
  return texts;
}

template <typename Owned, typename T>
bool Owns(const Owned& owned, const T* definition) {
  return std::any_of(owned.begin(), owned.end(), [&](const auto& d) { return d.get() == definition; });
}

// Each item a list names costs a description's reading; a list of more items
// than the shipped catalogue has takes no other road through the list
// readers, only longer, and would slow the search down to a crawl.
bool NamesTooManyItems(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  size_t items = 0;
  for (size_t at = text.find("DefineFileName"); at != std::string_view::npos; at = text.find("DefineFileName", at + 1))
    if (++items > 24) return true;
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (NamesTooManyItems(data, size)) return 0;
  qmx::fuzz::QuietBoxes();
  const TextIdMap& texts = ShippedTexts();
  HoldDescriptions();
  const qmx::fuzz::FreshPools fresh;
  qmx::fuzz::MemoryFiles& files = qmx::fuzz::MemoryFiles::Get();

  // Both lists are this input before either is read.
  static const std::string naList = (kProducts / "listNA.xml").string();
  static const std::string ioList = (kProducts / "listIO.xml").string();
  files.Put(naList, data, size);
  files.Put(ioList, data, size);
  NACatalogue adapters;
  const int naRc = ParseNAFiles(naList, texts, adapters);
  if (naRc != 0 && naRc != 1) qmx::fuzz::Broken();
  for (const NACatalogueGroup& group : adapters.groups) {
    for (const NACatalogueItem& item : group.items) {
      if (item.definition != nullptr && !Owns(adapters.definitions, item.definition)) qmx::fuzz::Broken();
    }
  }
  for (size_t i = 0; i < adapters.busTypes.size(); ++i) {
    for (size_t j = i + 1; j < adapters.busTypes.size(); ++j) {
      if (::strcasecmp(adapters.busTypes[i].c_str(), adapters.busTypes[j].c_str()) == 0) qmx::fuzz::Broken();
    }
  }

  IOCatalogue modules;
  const int ioRc = ParseIOFiles(ioList, texts, modules);
  if (ioRc != 0 && ioRc != 1) qmx::fuzz::Broken();
  for (const IOGroup& group : modules.groups) {
    for (const IODef* module : group.Modules) {
      if (module == nullptr || !Owns(modules.definitions(), module)) qmx::fuzz::Broken();
    }
  }
  return 0;
}
