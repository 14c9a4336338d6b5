#include "platform/report/model/document.h"

namespace qmx::report {

std::vector<std::vector<std::string>> TocPaths(const Document& document) {
  std::vector<std::vector<std::string>> paths;
  for (const Block& block : document.blocks) {
    if (const auto* cover = std::get_if<CoverBlock>(&block); cover && !cover->tocPath.empty()) {
      paths.push_back(cover->tocPath);
    } else if (const auto* heading = std::get_if<HeadingBlock>(&block); heading && !heading->tocPath.empty()) {
      paths.push_back(heading->tocPath);
    }
  }
  return paths;
}

std::string JoinTocPath(const std::vector<std::string>& path) {
  std::string joined;
  for (size_t i = 0; i < path.size(); ++i) {
    if (i) joined += '\\';
    joined += path[i];
  }
  return joined;
}

const SheetCell& Sheet::At(size_t row, size_t column) const {
  static const SheetCell kEmpty;
  if (row == 0 || column == 0 || row > rows.size()) return kEmpty;
  const SheetRow& r = rows[row - 1];
  if (column > r.cells.size()) return kEmpty;
  return r.cells[column - 1];
}

SheetCell& Sheet::Set(size_t row, size_t column) {
  if (row == 0) row = 1;
  if (column == 0) column = 1;
  if (rows.size() < row) rows.resize(row);
  SheetRow& r = rows[row - 1];
  if (r.cells.size() < column) r.cells.resize(column);
  return r.cells[column - 1];
}

}  // namespace qmx::report
