// The two report trees as pure functions of the documentation records: the
// printable document (cover, project overview, one chapter per station with
// its four sub-chapters, project parts list) and the workbook of the Excel
// report, one sheet per page, with the reshaping that gathers the pages of a
// chapter into one sheet named after it.
#pragma once

#include <string>

#include "platform/report/model/document.h"
#include "report/core/DocuSet.h"

namespace qmx::rendaval {

// Texts that the report prints for a kind: the cover's title, and the report
// title that heads every table-of-contents path ("" for an unknown kind).
std::string CoverTitle(const std::string& kind);
std::string ReportTitle(const std::string& kind);
// "2." for a project report, "1." otherwise.
std::string ChapterPrefix(const std::string& kind);

qmx::report::Document BuildPrintDocument(const DocuSet& docu);

// ---- Excel report ------------------------------------------------------------------

// Ends every exported page in column 1 (the page footer of the Excel tree).
inline const char* const kPageEndMarker = "   ";
// A first cell with a font below this size opens a chapter sheet.
constexpr double kChapterFontLimit = 13;
constexpr double kChapterFontSize = 12;
// The first cell of a page that continues a chapter.
constexpr double kContinuationFontSize = 14;
constexpr double kContinuationRowHeight = 4;  // points
// Rows of one exported page, its end marker included.
constexpr size_t kExcelPageRows = 40;

// One sheet per page, as the report engine's export gave them.
qmx::report::Workbook BuildExcelPages(const DocuSet& docu);

struct ReshapeResult {
  qmx::report::Workbook workbook;
  bool ok = true;
  std::string error;  // why the workbook could not be reshaped
  size_t absorbed = 0;
};

// Each sheet whose cell (1, 1) has a font below 13 points becomes a chapter
// sheet named after that cell's text; the rows above the end marker of every
// following sheet are appended at the chapter's end row (the first of them
// over the chapter's own marker) and those sheets are deleted. Sheets before
// the first chapter, and sheets without a marker, stay as they are. No limit
// on the number of sheets or on the row of a marker. On failure (a chapter
// name that a workbook cannot hold) `ok` is false and the workbook is the
// input unchanged.
ReshapeResult ReshapeWorkbook(const qmx::report::Workbook& workbook);

// Removes the spacer rows that open continuation pages (kContinuationFontSize,
// kContinuationRowHeight, nothing else) from a reshaped workbook, where they
// would stand as empty rows inside the gathered tables.
void DropContinuationSpacers(qmx::report::Workbook& workbook);

// Empty when a workbook can give a sheet that name next to `taken`, else why not.
std::string CheckSheetName(const std::string& name, const std::vector<std::string>& taken);

}  // namespace qmx::rendaval
