// A module device description made of arbitrary bytes: the reader must end
// with one of its results, never crash, leak or read past a buffer; a
// definition it registers must be consistent, and a module object bound to
// it must answer its texts, values and conversions in every byte order.
#include "app/model/IOCatalogue.h"
#include "app/model/IOUsr.h"
#include "app/model/ValueConversion.h"
#include "tests/support/fuzz_files.h"
#include "tests/support/fuzz_model.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qmx::fuzz::QuietBoxes();
  static const std::string path = std::string(qmx::fuzz::kMemoryFolder) + "/QMX-0000.xml";
  qmx::fuzz::MemoryFiles::Get().Put(path, data, size);
  static const TextIdMap texts = {{"T_A", {"A", "a"}}};
  const qmx::fuzz::FreshPools fresh;
  IOCatalogue catalogue;
  const IODef* def = nullptr;
  const int rc = ParseIO(path, 0, texts, catalogue, &def);
  if (rc != 1 && rc != 0 && rc != -4000) std::abort();
  if (def) {
    if (catalogue.FindByID(def->ID) != def) std::abort();
    if (def->paraLength < 0 || def->paraLength > 0xFFFF) std::abort();
    if (!def->defaultParaText.empty() && def->defaultParaText.size() != 2u * static_cast<size_t>(def->paraLength)) {
      std::abort();
    }
    for (int mode = 0; mode < 3; ++mode) {
      CIOUsr module;
      module.posNo = 1;
      module.SetByteOrderMode(mode);
      module.SetIODef(def);
      if (module.ParaLength() != std::max(def->paraLength, 0)) std::abort();
      module.GetLabel(mode);
      for (const auto& para : def->paraItems) {
        module.GetParaValForUsr("PARA", *para, "");
        module.GetParaValForUsr(CIOUsr::kListDataIfCan, *para, para->defaultValue);
        module.GetValueText(para->valueItemTarget, "0");
      }
      for (const auto* items : {&def->inputItems, &def->outputItems}) {
        for (const auto& item : *items) {
          const ConvRuleState rule = module.ActiveRule(*item, "PRJ");
          ConvRawToText(0x1234, &rule);
          uint16_t raw = 0;
          ConvEngToRawChecked(1.5, &rule, raw, "fuzz");
        }
      }
    }
  }
  return 0;
}
