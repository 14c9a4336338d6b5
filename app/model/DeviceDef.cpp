#include "app/model/DeviceDef.h"

#include "app/model/Logging.h"
#include "app/model/ReaderConventions.h"
#include "common/Utility.h"

DeviceDef::DeviceDef(const char* kind) : kind_(kind) {}
DeviceDef::~DeviceDef() = default;

uint16_t DeviceDef::GetProductCode() const {
  std::string text = Upper(TrimStr(productCodeText));
  if (text.find("0X") != std::string::npos) text = text.substr(2);
  return static_cast<uint16_t>(HexStrToInt(text));
}

ParaItem* DeviceDef::FindParaByIdx(int index) const {
  if (index > static_cast<int>(paraItems.size())) return nullptr;
  if (index >= 1) return paraItems[static_cast<size_t>(index - 1)].get();
  PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
          StrFormat("[Bug] Cannot find parameter Obj by index. iValParaIdx:%d. Func: %s::FindParaByIdx.", index,
                    kind_));
  return nullptr;
}

ConvParaSource DeviceDef::ConvSource() {
  ConvParaSource source;
  source.id = ID;
  source.findParaByIdx = [this](int index) { return FindParaByIdx(index); };
  source.valueLists = &valueLists;
  source.convByPara = &convByPara;
  return source;
}

const ValueList* DeviceDef::FindValueList(const std::string& id) const {
  const auto it = valueLists.find(id);
  return it == valueLists.end() ? nullptr : &it->second;
}

std::string DeviceDef::DefaultParaDigits(const std::string& text) const {
  std::string digits = HexDigitsOf(text, qmx::reader::kDefaultParaSeparators);
  if (digits.empty() || paraLength < 1) return {};
  if (digits.size() != 2 * static_cast<size_t>(paraLength)) return {};
  return digits;
}
