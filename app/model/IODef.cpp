#include "app/model/IODef.h"

#include "app/model/Logging.h"
#include "app/model/ReaderConventions.h"
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

IODef::IODef() = default;
IODef::~IODef() = default;

int IODef::AssignDefaultParaText(const std::string& text) {
  const std::string digits = HexDigitsOf(text, qmx::reader::kDefaultParaSeparators);
  if (digits.empty() || paraLength < 1) return 0;
  if (digits.size() != 2 * static_cast<size_t>(paraLength)) return 0;
  // A text with other characters would turn into bytes nobody wrote.
  if (!IsHexDigits(digits)) return 0;
  defaultParaText = digits;
  return 1;
}

uint16_t IODef::GetProductCode() const {
  std::string text = Upper(TrimStr(productCodeText));
  if (text.find("0X") != std::string::npos) text = text.substr(2);
  return static_cast<uint16_t>(HexStrToInt(text));
}

ParaItem* IODef::FindParaByIdx(int index) const {
  if (index > static_cast<int>(paraItems.size())) return nullptr;
  if (index >= 1) return paraItems[static_cast<size_t>(index - 1)].get();
  PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
          StrFormat("[Bug] Cannot find parameter Obj by index. iValParaIdx:%d. Func: %s.", index,
                    "IODef::FindParaByIdx"));
  return nullptr;
}

ConvParaSource IODef::ConvSource() {
  ConvParaSource source;
  source.id = ID;
  source.findParaByIdx = [this](int index) { return FindParaByIdx(index); };
  source.valueLists = &valueLists;
  source.convByPara = &convByPara;
  return source;
}

const ValueList* IODef::FindValueList(const std::string& id) const {
  const auto it = valueLists.find(id);
  return it == valueLists.end() ? nullptr : &it->second;
}
