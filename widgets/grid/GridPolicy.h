// The behaviour that differs between the main program's grid and the driver
// library's grid, chosen once when a grid is created.
#pragma once

#include "widgets/grid/GridTypes.h"
#include "widgets/grid/GridValueCheck.h"

#include <string>

namespace qmx::grid {

struct GridPolicy {
  enum class Flavor { kMainProgram, kDriver };
  Flavor flavor = Flavor::kMainProgram;
  // The focused cell is green on an editable cell and red elsewhere; when
  // false it is red on every cell.
  bool colourFocusByState = true;
  // Folder and serial-settings cells open their editors from their button.
  bool folderAndSerialCells = true;
  // Failures (control creation, image strips, rejected edits) go to the log.
  bool reportFailures = true;
  // Accepted edits are handed to the row's owner object.
  bool handOverToOwner = true;
  // The value check of an edited cell.
  GridValueResult (*checkValue)(const std::string& definition, const std::string& text) = &CheckGridValueMain;
};

const GridPolicy& MainProgramGridPolicy();
const GridPolicy& DriverGridPolicy();

}  // namespace qmx::grid
