#include "app/model/IODef.h"

#include "app/model/Logging.h"
#include "common/Utility.h"

#include <cctype>

namespace {

std::string Upper(std::string text) {
  for (char& ch : text) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  }
  return text;
}

std::string RemoveAll(const std::string& text, const std::string& what) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    if (text.compare(i, what.size(), what) == 0) {
      i += what.size();
    } else {
      out += text[i++];
    }
  }
  return out;
}

// The text cut to at most `limit` bytes, never inside a UTF-8 sequence.
std::string CutUtf8(const std::string& text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

}  // namespace

// ---- XddObject -------------------------------------------------------------------

int XddObject::Assign(int index, const std::string& name, int objectType, const Table& source) {
  index_ = index;
  name_ = name;
  objectType_ = objectType;
  rowCount_ = kRows;
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      cells_[static_cast<size_t>(r)][static_cast<size_t>(c)] =
          CutUtf8(source[static_cast<size_t>(r)][static_cast<size_t>(c)], kCellChars);
    }
  }
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
      return cells_[static_cast<size_t>(row)][static_cast<size_t>(column)];
    default:
      return {};
  }
}

// ---- IODef -------------------------------------------------------------------------

IODef::IODef() = default;
IODef::~IODef() = default;

int IODef::AssignDefaultParaText(const std::string& text) {
  // Separators between the pairs ("0x12, 0x34") take no part in the digits.
  std::string digits = RemoveAll(RemoveAll(Upper(TrimStr(text)), ","), "0X");
  digits = RemoveAll(RemoveAll(digits, " "), "\t");
  if (digits.empty() || paraLength < 1) return 0;
  if (digits.size() != 2 * static_cast<size_t>(paraLength)) return 0;
  // A text with other characters would turn into bytes nobody wrote.
  for (char ch : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(ch))) return 0;
  }
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
