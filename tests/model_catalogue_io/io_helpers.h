// Helpers of the module catalogue tests: copies of the small test catalogue,
// its texts, the shipped catalogue read whole, and a module object made from
// a definition.
#pragma once

#include "app/model/IOCatalogue.h"
#include "app/model/IOUsr.h"
#include "app/model/TextIdList.h"
#include "tests/model_catalogue_na/catalogue_helpers.h"

#include <filesystem>
#include <memory>
#include <string>

namespace qmx::test {

// The test catalogue copied into `dir`: dir/listIO.xml, dir/IO/TMA.xml,
// TMB.xml, TMC.xml.
void CopyIOTestCatalogue(const std::filesystem::path& dir);
TextIdMap LoadIOTestTexts();

// The shipped module catalogue with the shipped English texts, read from the
// source tree.
struct ShippedIOCatalogue {
  ShippedIOCatalogue();
  TextIdMap texts;
  IOCatalogue catalogue;
  RecordingToolBox toolBox;
  std::string listPath;
  int result = 0;
};

// One description read on its own (not through a catalogue).
struct ReadDescription {
  explicit ReadDescription(const std::filesystem::path& file, const TextIdMap& texts, int iconIdx = 0);
  IODef def;
  bool complete = false;
  int result = 0;
};

// A module object of a definition in a byte-order mode.
std::unique_ptr<CIOUsr> MakeModule(const IODef& def, int byteOrderMode = 0, int position = 1);
// The text of a parameter's value in a module's project image, as the views
// read it.
std::string ParaText(const CIOUsr& module, const ParaItem& para);

}  // namespace qmx::test
