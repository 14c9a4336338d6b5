#include "app/model/IODef.h"

#include "common/Utility.h"

// ---- XddObject -------------------------------------------------------------------

int XddObject::Assign(int index, const std::string& name, int objectType, const Table& source) {
  auto cut = std::make_shared<Table>();
  for (size_t r = 0; r < kRows; ++r) {
    for (size_t c = 0; c < kColumns; ++c) (*cut)[r][c] = CutUtf8(source[r][c], kCellChars);
  }
  return Assign(index, name, objectType, std::shared_ptr<const Table>(std::move(cut)));
}

int XddObject::Assign(int index, const std::string& name, int objectType, std::shared_ptr<const Table> source) {
  if (!source) return Assign(index, name, objectType, Table{});
  for (const auto& row : *source) {
    for (const std::string& cell : row) {
      if (cell.size() > kCellChars) return Assign(index, name, objectType, *source);
    }
  }
  index_ = index;
  name_ = name;
  objectType_ = objectType;
  rowCount_ = kRows;
  cells_ = std::move(source);
  return 1;
}

std::string XddObject::GetSubObjectField(int row, int column) const {
  if (row < 0 || row >= kRows) return {};
  switch (column) {
    case 0:
    case 1:
    case 2:
    case 4:
    case 5:
    case 6:
      return cells_ ? (*cells_)[static_cast<size_t>(row)][static_cast<size_t>(column)] : std::string();
    default:
      return {};
  }
}

// ---- IODef -------------------------------------------------------------------------

IODef::IODef() : DeviceDef("IODef") {}
IODef::~IODef() = default;

int IODef::AssignDefaultParaText(const std::string& text) {
  const std::string digits = DefaultParaDigits(text);
  if (digits.empty()) return 0;
  // A text with other characters would turn into bytes nobody wrote.
  if (!IsHexDigits(digits)) return 0;
  defaultParaText = digits;
  return 1;
}
