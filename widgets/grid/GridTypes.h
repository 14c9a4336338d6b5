// Basic types and constants shared by the grid controls: colours in the
// program's 0x00BBGGRR layout, control ids, list styles and error codes.
#pragma once

#include "widgets/errors/ErrorCodes.h"

#include <cstdint>

namespace qmx::grid {

// A colour as the program's records keep it: red in the low byte, then green,
// then blue. kNoColor marks "no colour".
using GridColor = std::uint32_t;
constexpr GridColor kNoColor = 0xFFFFFFFFu;

constexpr GridColor GridRgb(unsigned r, unsigned g, unsigned b) {
  return (r & 0xFFu) | ((g & 0xFFu) << 8) | ((b & 0xFFu) << 16);
}
constexpr unsigned GridRed(GridColor c) { return c & 0xFFu; }
constexpr unsigned GridGreen(GridColor c) { return (c >> 8) & 0xFFu; }
constexpr unsigned GridBlue(GridColor c) { return (c >> 16) & 0xFFu; }

// Colours of the grid's painting.
constexpr GridColor kGridRowBackground = GridRgb(243, 243, 243);
constexpr GridColor kGridEditableBackground = GridRgb(255, 255, 255);
constexpr GridColor kGridEditableText = GridRgb(0, 0, 255);
constexpr GridColor kGridPlainText = GridRgb(0, 0, 0);
constexpr GridColor kGridReadOnlyFocus = GridRgb(192, 0, 0);
constexpr GridColor kGridEditableFocus = GridRgb(0, 192, 0);
constexpr GridColor kGridTreeLine = GridRgb(192, 192, 192);
constexpr GridColor kGridBoxBorder = GridRgb(198, 198, 198);

// Control ids.
constexpr int kGridControlId = 4097;
constexpr int kGridPlaceholderId = 1021;
constexpr int kEditFirstColumnId = 4659;
constexpr int kEditOtherColumnId = 4660;
constexpr int kInPlaceListId = 4661;
constexpr int kFolderEditLineId = 14148;
constexpr int kFolderTreeId = 14145;
constexpr int kFolderStatusTextId = 14147;

// Extended list styles accepted by InsertColumns.
constexpr unsigned kGridExGridLines = 0x1;
constexpr unsigned kGridExCheckBoxes = 0x4;

// Column alignment selector of InsertColumns.
constexpr int kGridAlignLeft = 0;
constexpr int kGridAlignCenter = 1;
constexpr int kGridAlignRight = 2;

// Cell kinds of a row's value columns.
constexpr int kCellKindDropDown = 1;
constexpr int kCellKindFolder = 2;
constexpr int kCellKindSerialSettings = 3;

// Failure codes of the grid controls (resource-lack family).
constexpr int kErrComboCreate = err::kCreateGridCombo;
constexpr int kErrImageList = err::kCreateGridImageList;
constexpr int kErrImageListReadBack = err::kGridImageListReadBack;
constexpr int kErrSubItemImageList = err::kCreateGridSubItemImageList;
constexpr int kErrEditCreate = err::kCreateGridEdit;
constexpr int kErrListCreate = err::kCreateGridList;

}  // namespace qmx::grid
