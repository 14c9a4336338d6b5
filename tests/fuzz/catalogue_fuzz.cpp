// The adapter and module lists (listNA.xml, listIO.xml) from arbitrary bytes,
// beside the shipped device descriptions, so the list's references reach the
// description readers. Each list reader ends with one of its two results,
// and everything the catalogue window would show points at a definition the
// catalogue owns.
#include "app/model/IOCatalogue.h"
#include "app/model/NACatalogue.h"
#include "app/model/TextIdList.h"
#include "fuzz_files.h"

#include <strings.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace {

// The scratch program folder's Products folder with the shipped descriptions.
const fs::path& Products() {
  static const fs::path products = [] {
    const fs::path dst = qmx::fuzz::ScratchFolder() / "Products";
    fs::create_directories(dst);
    fs::copy(fs::path(QMX_FUZZ_PRODUCTS_DIR) / "NA", dst / "NA", fs::copy_options::recursive);
    fs::copy(fs::path(QMX_FUZZ_PRODUCTS_DIR) / "IO", dst / "IO", fs::copy_options::recursive);
    return dst;
  }();
  return products;
}

const TextIdMap& ShippedTexts() {
  static const TextIdMap texts = [] {
    TextIdMap map;
    ParseTextIdFile((fs::path(QMX_FUZZ_PRODUCTS_DIR) / "listTextIdEng.xml").string(), map);
    return map;
  }();
  return texts;
}

template <typename Owned, typename T>
bool Owns(const Owned& owned, const T* definition) {
  return std::any_of(owned.begin(), owned.end(), [&](const auto& d) { return d.get() == definition; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const TextIdMap& texts = ShippedTexts();

  const fs::path naList = Products() / "listNA.xml";
  qmx::fuzz::WriteBytes(naList, data, size);
  NACatalogue adapters;
  const int naRc = ParseNAFiles(naList.string(), texts, adapters);
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

  const fs::path ioList = Products() / "listIO.xml";
  qmx::fuzz::WriteBytes(ioList, data, size);
  IOCatalogue modules;
  const int ioRc = ParseIOFiles(ioList.string(), texts, modules);
  if (ioRc != 0 && ioRc != 1) qmx::fuzz::Broken();
  for (const IOGroup& group : modules.groups) {
    for (const IODef* module : group.Modules) {
      if (module == nullptr || !Owns(modules.definitions(), module)) qmx::fuzz::Broken();
    }
  }
  return 0;
}
