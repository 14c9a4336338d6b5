#include "tests/model_catalogue_io/io_helpers.h"

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace qmx::test {

void CopyIOTestCatalogue(const fs::path& dir) {
  const fs::path source = SourcePath("tests/model_catalogue_io/data");
  fs::create_directories(dir / "IO");
  fs::copy_file(source / "listIO.xml", dir / "listIO.xml", fs::copy_options::overwrite_existing);
  for (const char* name : {"TMA.xml", "TMB.xml", "TMC.xml"}) {
    fs::copy_file(source / "IO" / name, dir / "IO" / name, fs::copy_options::overwrite_existing);
  }
}

TextIdMap LoadIOTestTexts() {
  TextIdMap texts;
  ParseTextIdFile(SourcePath("tests/model_catalogue_io/data/listTextIdTest.xml").string(), texts);
  return texts;
}

ShippedIOCatalogue::ShippedIOCatalogue() {
  ParseTextIdFile(SourcePath("resources/QMX410Tools/Products/listTextIdEng.xml").string(), texts);
  listPath = SourcePath("resources/QMX410Tools/Products/listIO.xml").string();
  result = ParseIOFiles(listPath, texts, catalogue, &toolBox);
}

ReadDescription::ReadDescription(const fs::path& file, const TextIdMap& texts, int iconIdx) {
  result = ParseIO(file.string(), iconIdx, texts, def, complete);
}

std::unique_ptr<CIOUsr> MakeModule(const IODef& def, int byteOrderMode, int position) {
  auto module = std::make_unique<CIOUsr>();
  module->posNo = position;
  module->SetByteOrderMode(byteOrderMode);
  module->SetIODef(&def);
  return module;
}

std::string ParaText(const CIOUsr& module, const ParaItem& para) {
  std::string text;
  module.GetUsrValFromPrjMemory(text, "PARA", "test", "", para.dataType, para.length, para.byteOffset, para.bitOffset,
                                nullptr);
  return text;
}

}  // namespace qmx::test
