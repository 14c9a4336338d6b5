#include "app/model/IOItem.h"

#include "app/model/Logging.h"
#include "app/model/ReaderConventions.h"
#include "common/Utility.h"

#include <cstdlib>

using qmx::reader::DecimalTextToInt;

namespace {

float FieldAsFloat(const std::string& values, int index) {
  const std::string field = GetToken(values, static_cast<int16_t>(index), ',', 1);
  if (field.size() == 1 && field[0] == ',') return 0.0f;  // past the last field
  return std::strtof(field.c_str(), nullptr);
}

int FieldAsInt(const std::string& values, int index) {
  const std::string field = GetToken(values, static_cast<int16_t>(index), ',', 1);
  if (field.size() == 1 && field[0] == ',') return 0;
  return DecimalTextToInt(field);
}

void LogBug(const char* pattern, const std::string& location, const char* function) {
  PostLog(qmx::kLogError, qmx::kLogSource, StrFormat(pattern, location.c_str(), function));
}

struct ParaLookup {
  ParaItem* para = nullptr;
  const ValueList* list = nullptr;
};

// Parameter `index` of a definition and, when it names one, its value list.
ParaLookup Lookup(const ConvParaSource& source, int index) {
  ParaLookup found;
  if (source.findParaByIdx) found.para = source.findParaByIdx(index);
  if (found.para && !found.para->valueItemTarget.empty() && source.valueLists) {
    const auto it = source.valueLists->find(found.para->valueItemTarget);
    if (it != source.valueLists->end()) found.list = &it->second;
  }
  return found;
}

// The checks of one selecting parameter; false after the [Bug] line.
bool CheckLookup(const ParaLookup& lookup, const std::string& location) {
  static const char* kFunc = "AssignConvInfo";
  if (!lookup.para || !lookup.list) {
    LogBug("[Bug] Undefined paramter or value items of parameter index in XML. Loc:%s. Func: %s.", location, kFunc);
    return false;
  }
  if (lookup.list->empty()) {
    LogBug("[Bug] Undefined items of parameter index in XML. Loc:%s. Func: %s.", location, kFunc);
    return false;
  }
  return true;
}

}  // namespace

int AssignConvInfo(IOItem& item, const std::string& conversion, const ConvParaSource* adapterDef,
                   const ConvParaSource* moduleDef) {
  static const char* kFunc = "AssignConvInfo";
  if (IsStrEmpty(conversion, 1)) return 2;

  std::string location = item.textId;
  if (adapterDef) location = adapterDef->id;
  if (moduleDef) location = moduleDef->id;

  const std::string kindText = GetToken(conversion, 1, ':', 1);
  const std::string values = GetToken(conversion, 2, ':', 1);

  if (CompareNoCase(kindText, "Linear") == 0) {
    if (GetCharCount(values, ',') < 4) return 0;
    item.rawLow = FieldAsFloat(values, 1);
    item.rawHigh = FieldAsFloat(values, 2);
    item.engLow = FieldAsFloat(values, 3);
    item.engHigh = FieldAsFloat(values, 4);
    item.convKind = kConvLinear;
    return 1;
  }

  if (CompareNoCase(kindText, "ByParaVal") == 0) {
    item.convKind = kConvByParaVal;
    const int p1 = FieldAsInt(values, 1);
    const int p2 = FieldAsInt(values, 2);
    if (p1 < 1) {
      LogBug("[Bug] Invalid parameter index in XML. Loc:%s. Func: %s.", location, kFunc);
      item.convKind = kConvInvalid;
      return 0;
    }
    ParaLookup range;
    ParaLookup unit;
    for (const ConvParaSource* source : {adapterDef, moduleDef}) {
      if (!source) continue;
      ParaLookup found = Lookup(*source, p1);
      if (found.para) range = found;
      if (p2 >= 1) {
        found = Lookup(*source, p2);
        if (found.para) unit = found;
      }
    }
    if (!CheckLookup(range, location) || (p2 >= 1 && !CheckLookup(unit, location))) {
      item.convKind = kConvInvalid;
      return 0;
    }

    item.rangePara = range.para;
    range.para->convPara = 1;
    item.unitPara = p2 >= 1 ? unit.para : nullptr;
    if (item.unitPara) unit.para->convPara = 1;
    for (const ConvParaSource* source : {adapterDef, moduleDef}) {
      if (source && source->convByPara) *source->convByPara = 1;
    }
    for (const ValueRecord& record : *range.list) {
      AssignConvValByPara(item, record.content, record.conversion, record.unit);
    }
    if (item.unitPara) {
      for (const ValueRecord& record : *unit.list) AssignConvUnitByPara(item, record.content, record.unit);
    }
    return 1;
  }

  PostLog(qmx::kLogError, qmx::kLogSource,
          StrFormat("[Bug] Invalid conversion type index in XML. Conv: %s. Loc: %s. Func: %s.", conversion.c_str(),
                    location.c_str(), kFunc));
  return 0;
}

int AssignConvValByPara(IOItem& item, const std::string& value, const std::string& conversion,
                        const std::string& unit) {
  static const char* kFunc = "AssignConvValByPara";
  if (value.empty() || conversion.empty()) {
    LogBug("[Bug] Empty content or conversion info of parameter. Loc: %s. Func: %s.", item.textId, kFunc);
    return 0;
  }
  const std::string kindText = GetToken(conversion, 1, ':', 1);
  const std::string values = GetToken(conversion, 2, ':', 1);
  if (CompareNoCase(kindText, "Resolution") != 0 && values.empty()) {
    LogBug("[Bug] Undefined content info of parameter. Loc: %s. Func: %s.", item.textId, kFunc);
    return 0;
  }
  ConvRange range;
  range.resolution = FieldAsFloat(values, 1);
  range.rawLow = FieldAsFloat(values, 2);
  range.rawHigh = FieldAsFloat(values, 3);
  range.engLow = FieldAsFloat(values, 4);
  range.engHigh = FieldAsFloat(values, 5);
  range.unit = unit;
  item.rangesByValue[static_cast<uint16_t>(DecimalTextToInt(value))] = range;
  return 1;
}

int AssignConvUnitByPara(IOItem& item, const std::string& value, const std::string& unit) {
  if (value.empty()) {
    LogBug("[Bug] Empty content or conversion info of parameter. Loc: %s. Func: %s.", item.textId,
           "AssignConvUnitByPara");
    return 0;
  }
  item.unitsByValue[value] = unit;
  return 1;
}

std::string GetConvUnitRuleByPara(const IOItem& item, const std::string& rangeValue, const std::string& unitValue) {
  std::string rangeUnit;
  std::string mapUnit;
  if (!rangeValue.empty()) {
    const auto it = item.rangesByValue.find(static_cast<uint16_t>(DecimalTextToInt(rangeValue)));
    if (it != item.rangesByValue.end()) rangeUnit = it->second.unit;
  }
  if (!unitValue.empty()) {
    const auto it = item.unitsByValue.find(unitValue);
    if (it != item.unitsByValue.end()) mapUnit = it->second;
  }
  return rangeUnit.empty() ? mapUnit : rangeUnit;
}
