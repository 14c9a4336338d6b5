// The input and output data items of adapter and module definitions, with
// the conversion state of analog items: a linear rule, or ranges and units
// chosen by the value of a parameter of the same definition. The values
// themselves are converted by ValueConversion, the one road for them.
#pragma once

#include "app/model/PooledText.h"
#include "app/model/DataTypes.h"
#include "app/model/ParaItem.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>

// The ranges that one value of a range-selecting parameter stands for.
struct ConvRange {
  float resolution = 0.0f;
  float rawLow = 1.0f;
  float rawHigh = 1.0f;
  float engLow = 1.0f;
  float engHigh = 1.0f;
  PooledText unit;
};

// Conversion kinds of an item.
enum ConvKind : int {
  kConvNone = 0,
  kConvLinear = 1,
  kConvByParaVal = 2,
  kConvInvalid = 3,  // the description's rule could not be used
};

struct IOItem {
  explicit IOItem(std::string itemKind = "INPUT") : kind(std::move(itemKind)) {}

  PooledText unit;
  PooledText kind;         // "INPUT" or "OUTPUT"
  PooledText channelType;  // "DI", "DO", "AI", ...
  PooledText textId;
  PooledText displayText;
  int dataType = kDataTypeUnsigned8;
  uint16_t byteOffset = 0;  // position of the item in its image
  uint16_t length = 0;      // count of the data type
  int visible = 1;

  // Conversion state.
  int convKind = kConvNone;
  float rawLow = 1.0f;
  float rawHigh = 1.0f;
  float engLow = 1.0f;
  float engHigh = 1.0f;
  float resolution = 0.0f;
  std::map<uint16_t, ConvRange> rangesByValue;      // range-selecting parameter value -> ranges
  std::map<std::string, std::string> unitsByValue;  // unit-selecting parameter value -> unit
  const ParaItem* rangePara = nullptr;              // the parameter that selects the ranges
  const ParaItem* unitPara = nullptr;               // the parameter that selects the unit
};

// What a conversion rule looks up in the definition that holds the item: the
// definition's ID (the location of the messages), its parameters by 1-based
// index, its value lists and its conversion-by-parameter flag. Adapter and
// module definitions each hand out one.
struct ConvParaSource {
  std::string id;
  std::function<ParaItem*(int index)> findParaByIdx;
  const ValueListMap* valueLists = nullptr;
  int* convByPara = nullptr;
};

// Reads the conversion text of an item ("Linear:rawLow,rawHigh,engLow,engHigh"
// or "ByParaVal:p1[,p2]"). 1 done, 2 no conversion (empty text), 0 refused
// (logged; an unusable ByParaVal leaves kind kConvInvalid). Either definition
// may be null; a module definition's look-ups win over an adapter's.
int AssignConvInfo(IOItem& item, const std::string& conversion, const ConvParaSource* adapterDef,
                   const ConvParaSource* moduleDef);
// Stores the ranges that parameter value `value` stands for
// ("<kind>:resolution,rawLow,rawHigh,engLow,engHigh"). 1 stored, 0 refused.
int AssignConvValByPara(IOItem& item, const std::string& value, const std::string& conversion,
                        const std::string& unit);
// Stores the unit that unit-parameter value `value` stands for. 1, 0 refused.
int AssignConvUnitByPara(IOItem& item, const std::string& value, const std::string& unit);
// The unit under the two parameter values: the range's unit when it has one,
// else the unit-map text, else empty.
std::string GetConvUnitRuleByPara(const IOItem& item, const std::string& rangeValue, const std::string& unitValue);

struct ConvRule {
  // The item's fixed unit text.
  static std::string GetUnit(const IOItem& item) { return item.unit; }
};
