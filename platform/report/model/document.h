// The toolkit-free models that the report layer renders: a printable document
// (blocks in reading order: cover, headings with their table-of-contents
// paths, tables with per-row background colours, pictures, text lines and
// page breaks) and a workbook (sheets of cells with font sizes and pictures).
// The report program builds them from its data; platform_report lays them
// out on pages, paints them, and writes PDF and xlsx files.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace qmx::report {

// 0xRRGGBB.
using Rgb = uint32_t;
constexpr Rgb kWhite = 0xFFFFFF;
constexpr Rgb kLightGrey = 0xE0E0E0;
constexpr Rgb kLightYellow = 0xFFFFC0;

// ---- printable document ---------------------------------------------------------

// The cover: a large title and label/value lines below it.
struct CoverBlock {
  std::string title;
  std::vector<std::pair<std::string, std::string>> fields;
  std::vector<std::string> tocPath;  // empty: no entry
};

// A chapter (level 1) or sub-chapter (level 2) title that starts a new page.
struct HeadingBlock {
  int level = 1;
  std::string text;
  std::vector<std::string> tocPath;  // levels of its table-of-contents entry; empty: none
};

struct TableColumn {
  std::string title;
  std::string group;  // caption drawn above a run of columns with the same group ("Input")
  double weight = 1;  // share of the table width
};

struct TableCell {
  std::string text;
  std::string picture;  // file of a picture drawn in the cell, scaled to fit; empty: none
};

struct TableRow {
  std::vector<TableCell> cells;
  Rgb background = kWhite;
  bool caption = false;  // one bold text across the whole row (an entry's name)
};

struct TableBlock {
  std::vector<TableColumn> columns;
  std::vector<TableRow> rows;
};

struct PictureBlock {
  std::string path;
};

struct TextBlock {
  std::string text;
};

struct PageBreakBlock {};

using Block = std::variant<CoverBlock, HeadingBlock, TableBlock, PictureBlock, TextBlock, PageBreakBlock>;

struct Document {
  std::string name;         // document name (PDF title, print job)
  std::string headerText;   // printed at the top of every page after the cover
  std::vector<Block> blocks;
};

// The table-of-contents paths of a document in reading order.
std::vector<std::vector<std::string>> TocPaths(const Document& document);

// Levels joined by "\", as the viewer's contents name an entry.
std::string JoinTocPath(const std::vector<std::string>& path);

// ---- workbook ----------------------------------------------------------------------

constexpr double kDefaultFontSize = 10;

struct SheetCell {
  std::string text;
  double fontSize = kDefaultFontSize;
  bool bold = false;
  bool number = false;  // written as a number cell when the text reads as a number
  std::string picture;  // file of a picture anchored at this cell; empty: none
};

struct SheetRow {
  std::vector<SheetCell> cells;  // column 1 first; missing cells are empty
  double height = 0;             // points; 0: the default height
};

struct Sheet {
  std::string name;
  std::vector<SheetRow> rows;  // row 1 first; missing rows are empty

  // Cell (row, column), both counted from 1; an empty default cell where none is set.
  const SheetCell& At(size_t row, size_t column) const;
  SheetCell& Set(size_t row, size_t column);  // grows the sheet as needed
};

struct Workbook {
  std::vector<Sheet> sheets;
  std::vector<double> columnWidths;  // characters, column 1 first
};

}  // namespace qmx::report
