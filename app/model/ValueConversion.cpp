#include "app/model/ValueConversion.h"

#include "app/model/Logging.h"
#include "common/Utility.h"

#include <atomic>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

std::atomic<int> g_analogValueMode{kAnalogNormal};

// "Func: %s." for the writer, "Caller: %s. Func: %s." for the readers.
std::string FuncTail(const char* func, const std::string* caller) {
  if (!caller) return StrFormat("Func: %s.", func);
  return StrFormat("Caller: %s. Func: %s.", caller->c_str(), func);
}

void LogCheck(const char* source, const std::string& text) { PostLog(qmx::kLogError, source, text); }

bool IsUnsupportedType(int type) {
  return type == kDataTypeInteger64 || type == kDataTypeUnsigned64 || type == kDataTypeFloat32 ||
         type == kDataTypeFloat64 || type < 0 || type > kDataTypeIPAddr;
}

uint16_t LoadU16(const uint8_t* image, int offset, int mode) {
  uint8_t bytes[2];
  CopyBytesByOrder(bytes, image + offset, 2, mode);
  return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

uint32_t LoadU32(const uint8_t* image, int offset, int mode) {
  uint8_t bytes[4];
  CopyBytesByOrder(bytes, image + offset, 4, mode);
  return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
         (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

void StoreU16(uint8_t* image, int offset, uint16_t value, int mode) {
  const uint8_t bytes[2] = {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)};
  CopyBytesByOrder(image + offset, bytes, 2, mode);
}

void StoreU32(uint8_t* image, int offset, uint32_t value, int mode) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>((value >> 8) & 0xFF),
                            static_cast<uint8_t>((value >> 16) & 0xFF), static_cast<uint8_t>(value >> 24)};
  CopyBytesByOrder(image + offset, bytes, 4, mode);
}

std::string Hex(const void* bytes, int count) { return BytesToHexStr(static_cast<const uint8_t*>(bytes), count, 0); }

// Whole-number snapping: a result within a thousandth of a step of a whole
// number is that number, so exact values survive the way there and back.
double SnapTruncate(double raw) {
  const double nearest = std::round(raw);
  if (std::fabs(raw - nearest) < 1e-3) raw = nearest;
  return std::trunc(raw);
}

uint16_t To16Bits(double truncated) {
  if (truncated > 2147483647.0) truncated = 2147483647.0;
  if (truncated < -2147483648.0) truncated = -2147483648.0;
  return static_cast<uint16_t>(static_cast<uint32_t>(static_cast<int64_t>(truncated)));
}

}  // namespace

void SetAnalogValueMode(int mode) { g_analogValueMode = mode; }
int GetAnalogValueMode() { return g_analogValueMode; }

ConvRuleState RuleStateOf(const IOItem& item) {
  ConvRuleState state;
  state.kind = item.convKind;
  state.rawLow = item.rawLow;
  state.rawHigh = item.rawHigh;
  state.engLow = item.engLow;
  state.engHigh = item.engHigh;
  state.resolution = item.resolution;
  state.location = item.textId;
  return state;
}

int SelectRangesByPara(const IOItem& item, const std::string& value, ConvRuleState& state) {
  static const char* kFunc = "ChangeConvValRuleByPara";
  if (value.empty()) {
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Bug] Changed content of parameter is empty. Loc: %s. Func: %s.", item.textId.c_str(), kFunc));
    return 0;
  }
  const auto it = item.rangesByValue.find(static_cast<uint16_t>(DecimalTextToInt64(value)));
  if (it == item.rangesByValue.end()) {
    PostLog(qmx::kLogError, qmx::kLogSource,
            StrFormat("[Bug] Cannot find changed content in mapConvByPara. Loc: %s. Func: %s.", item.textId.c_str(),
                      kFunc));
    return 0;
  }
  state.resolution = it->second.resolution;
  state.rawLow = it->second.rawLow;
  state.rawHigh = it->second.rawHigh;
  state.engLow = it->second.engLow;
  state.engHigh = it->second.engHigh;
  return 1;
}

std::string ConvRawToText(uint16_t raw, const ConvRuleState* rule) {
  if (!rule || rule->kind == kConvNone) {
    float value = 0.0f;
    Float16ToFloat(raw, value);
    return StrFormat("%2.2f", static_cast<double>(value));
  }
  if (rule->kind != kConvLinear && rule->kind != kConvByParaVal) return {};
  const double x = static_cast<int16_t>(raw);
  const double rawLow = rule->rawLow;
  const double rawHigh = rule->rawHigh;
  if (x > rawHigh || x < rawLow || rawHigh - rawLow == 0.0) return "N/A";
  const double engLow = rule->engLow;
  const double engHigh = rule->engHigh;
  const float value = static_cast<float>(engLow + (x - rawLow) * ((engHigh - engLow) / (rawHigh - rawLow)));
  return StrFormat("%2.2f", static_cast<double>(value));
}

int ConvEngToRawChecked(double value, const ConvRuleState* rule, uint16_t& raw, const char* func) {
  raw = 0;
  if (!std::isfinite(value)) {
    PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
            StrFormat("[Error] Value is not a number. Func: %s.", func));
    return 0;
  }
  if (!rule || rule->kind == kConvNone) {
    FloatToFloat16(static_cast<float>(value), raw);
    return 1;
  }
  const char* loc = rule->location.c_str();
  if (rule->kind != kConvLinear && rule->kind != kConvByParaVal) {
    PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
            StrFormat("[Bug] Invalid conversion rule. Conv Type: %d. Loc: %s. Func: %s.", rule->kind, loc, func));
    return 0;
  }
  const float asFloat = static_cast<float>(value);
  if (asFloat > rule->engHigh || asFloat < rule->engLow) {
    PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
            StrFormat("[Error] Value is out of range. Value: %g, Range: %g ~ %g. Loc: %s. Func: %s.", value,
                      static_cast<double>(rule->engLow), static_cast<double>(rule->engHigh), loc, func));
    return 0;
  }
  if (rule->kind == kConvByParaVal && rule->resolution == 0.0f) {
    PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
            StrFormat("[Bug] Resolution of conversion rule is 0. Loc: %s. Func: %s.", loc, func));
    return 0;
  }
  const double engSpan = static_cast<double>(rule->engHigh) - static_cast<double>(rule->engLow);
  if (engSpan == 0.0) {
    PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
            StrFormat("[Bug] Engineering range of conversion rule is empty. Loc: %s. Func: %s.", loc, func));
    return 0;
  }
  // Both kinds go back along the ranges that reading goes forth on, so a
  // value written reads back as itself. (Dividing by the resolution alone
  // would do so only for ranges that start at 0 on both sides: 12 of
  // 4 ... 20 mA over raw 0 ... 32000 would be stored as 24000, which reads
  // 16 mA.)
  const double rawSpan = static_cast<double>(rule->rawHigh) - static_cast<double>(rule->rawLow);
  const double result =
      (value - static_cast<double>(rule->engLow)) * rawSpan / engSpan + static_cast<double>(rule->rawLow);
  raw = To16Bits(SnapTruncate(result));
  return 1;
}

int CheckValueAccess(const char* func, const std::string* caller, int imageLength, const ItemAddress& a) {
  const std::string tail = FuncTail(func, caller);
  if (IsUnsupportedType(a.dataType)) {
    LogCheck(qmx::kLogSource, StrFormat("[Bug] Unsupported datatype. %s. %s", GetDataTypeName(a.dataType).c_str(),
                                        tail.c_str()));
    return 0;
  }
  const bool bitType = a.dataType == kDataTypeBit || a.dataType == kDataTypeBitArea;
  // Either offset below 0 is refused for every type; past bit 7 only matters
  // where the bit offset is used.
  if (a.size == 0 || a.byteOffset < 0 || a.bitOffset < 0 || (bitType && a.bitOffset > 7)) {
    LogCheck(qmx::kLogSourceNoBlank,
             StrFormat("[Bug] Invalid function parameter. wSize:%d, iByteOffset:%d, iBitOffset:%d. %s", a.size,
                       a.byteOffset, a.bitOffset, tail.c_str()));
    return 0;
  }
  switch (a.dataType) {
    case kDataTypeBit:
      if (a.size != 1) {
        LogCheck(qmx::kLogSourceNoBlank,
                 StrFormat("[Bug] Invalid function parameter. Size must be 1 if Datatype is bit. Size:%d. %s", a.size,
                           tail.c_str()));
        return 0;
      }
      break;
    case kDataTypeBitArea:
      if (a.size < 2) {
        LogCheck(qmx::kLogSourceNoBlank,
                 StrFormat("[Bug] Invalid function parameter. Size must be greater than 1 if Datatype is BitArea. "
                           "Size:%d. %s",
                           a.size, tail.c_str()));
        return 0;
      }
      if (a.bitOffset + a.size > 8) {
        LogCheck(qmx::kLogSourceNoBlank,
                 StrFormat("[Bug] Invalid function parameter. Size+BitOffset must be less than 8 if Datatype is "
                           "BitArea. Size+BitOffset:%d. %s",
                           a.bitOffset + a.size, tail.c_str()));
        return 0;
      }
      break;
    case kDataTypeString:
    case kDataTypeByteArea:
    case kDataTypeIPAddr:
      break;
    default:
      if (a.size != 1) {
        const std::string sizeTail =
            !caller ? StrFormat("Func: %s.", func) : StrFormat("Caller: %s Func: %s.", caller->c_str(), func);
        LogCheck(qmx::kLogSourceNoBlank,
                 StrFormat("[Bug] Invalid function parameter. Size must be 1 if Datatype is not BitArea or ByteArea "
                           "or String. Size:%d. %s",
                           a.size, sizeTail.c_str()));
        return 0;
      }
      break;
  }
  const int lastPos = bitType ? a.byteOffset : a.byteOffset + GetDataTypeSize(a.dataType, a.size);
  const bool outside = bitType ? a.byteOffset >= imageLength : lastPos > imageLength;
  if (outside) {
    LogCheck(qmx::kLogSourceNoBlank, StrFormat("[Bug] Byte position is overflow. iSrcLen:%d, iLastPos:%d. %s",
                                               imageLength, lastPos, tail.c_str()));
    return 2;
  }
  if (a.dataType == kDataTypeString && a.byteOffset + a.size > imageLength) {
    LogCheck(qmx::kLogSourceNoBlank,
             StrFormat("[Bug] String length is overflow. iSrcLen:%d. %s", imageLength, tail.c_str()));
    return 0;
  }
  return -1;
}

int WriteUserValue(uint8_t* image, int /*imageLength*/, const ItemAddress& a, const std::string& rawText,
                   int mode, Float16Encoder encode, void* encodeContext, const char* func) {
  const std::string text = TrimStr(rawText);
  uint8_t* at = image + a.byteOffset;
  switch (a.dataType) {
    case kDataTypeBit:
      *at = SetBitFieldVal(*at, text == "0" ? 0 : 1, a.bitOffset, 1);
      return 1;
    case kDataTypeBitArea:
      *at = SetBitFieldVal(*at, static_cast<uint8_t>(DecimalTextToInt64(text)), a.bitOffset, a.size);
      return 1;
    case kDataTypeInteger8:
    case kDataTypeUnsigned8:
      *at = static_cast<uint8_t>(DecimalTextToInt64(text) & 0xFF);
      return 1;
    case kDataTypeInteger16:
    case kDataTypeUnsigned16:
      StoreU16(image, a.byteOffset, static_cast<uint16_t>(DecimalTextToInt64(text) & 0xFFFF), mode);
      return 1;
    case kDataTypeInteger32:
    case kDataTypeUnsigned32:
      StoreU32(image, a.byteOffset, static_cast<uint32_t>(DecimalTextToInt64(text) & 0xFFFFFFFFLL), mode);
      return 1;
    case kDataTypeFloat16: {
      uint16_t raw = 0;
      if (!encode || encode(encodeContext, text, raw) != 1) return 0;
      StoreU16(image, a.byteOffset, raw, mode);
      return 1;
    }
    case kDataTypeString: {
      std::vector<uint8_t> field(a.size, 0);
      std::memcpy(field.data(), text.data(), std::min<size_t>(text.size(), a.size));
      CopyBytesByOrder(at, field.data(), a.size, mode);
      return 1;
    }
    case kDataTypeByteArea: {
      const std::string hex = HexDigitsOf(text, kTypedHexSeparators);
      if (!IsHexDigits(hex)) {
        PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
                StrFormat("[Error] Value is not a hexadecimal text. Value: %s. Func: %s.", text.c_str(), func));
        return 0;
      }
      std::vector<uint8_t> field(a.size, 0);
      const std::vector<uint8_t> pairs = HexPairsToBytes(hex, a.size);
      std::copy(pairs.begin(), pairs.end(), field.rbegin());
      CopyBytesByOrder(at, field.data(), a.size, mode);
      return 1;
    }
    case kDataTypeIPAddr: {
      // The field as the reader sees it, so parts not given keep their bytes.
      std::vector<uint8_t> field(a.size, 0);
      CopyBytesByOrder(field.data(), at, a.size, mode);
      // GetCharCount counts the fields the dots separate ("1.2.3" has 3).
      const int parts = text.empty() ? 1 : GetCharCount(text, '.');
      for (int k = 0; k < parts && k < a.size; ++k) {
        const std::string part = GetToken(text, static_cast<int16_t>(k + 1), '.', 1);
        const long long value = DecimalTextToInt64(part);
        if (part.empty() || part == "." || !IsNumberStr(part, 0, 0) || value < 0 || value > 255) {
          PostLog(qmx::kLogError, qmx::kLogSourceNoBlank,
                  StrFormat("[Error] Invalid IP address. Value: %s. Func: %s.", text.c_str(), func));
          return 0;
        }
        field[static_cast<size_t>(k)] = static_cast<uint8_t>(value);
      }
      CopyBytesByOrder(at, field.data(), a.size, mode);
      return 1;
    }
    default:
      return 0;  // refused by CheckValueAccess before
  }
}

void ReadUserValue(const uint8_t* image, const ItemAddress& a, const std::string& displayMode, int mode, bool online,
                   Float16Decoder decode, void* decodeContext, std::string& out) {
  const bool hex = displayMode == "HEX";
  const uint8_t* at = image + a.byteOffset;
  switch (a.dataType) {
    case kDataTypeBit: {
      const int bit = GetBitFieldVal(*at, a.bitOffset, 1) ? 1 : 0;
      out = hex ? (bit ? "0x01" : "0x00") : (bit ? "1" : "0");
      return;
    }
    case kDataTypeBitArea:
      out = hex ? "0x" + Hex(at, 1) : StrFormat("%d", GetBitFieldVal(*at, a.bitOffset, a.size));
      return;
    case kDataTypeInteger8:
      out = hex ? "0x" + Hex(at, 1) : StrFormat("%d", static_cast<int>(static_cast<int8_t>(*at)));
      return;
    case kDataTypeUnsigned8:
      out = hex ? "0x" + Hex(at, 1) : StrFormat("%hu", static_cast<unsigned short>(*at));
      return;
    case kDataTypeInteger16:
    case kDataTypeUnsigned16:
    case kDataTypeFloat16: {
      const uint16_t v = LoadU16(image, a.byteOffset, mode);
      const uint8_t bytes[2] = {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>(v >> 8)};
      if (hex) {
        out = "0x" + Hex(bytes, 2);
      } else if (a.dataType == kDataTypeInteger16) {
        out = StrFormat("%hd", static_cast<short>(v));
      } else if (a.dataType == kDataTypeUnsigned16) {
        out = StrFormat("%u", static_cast<unsigned>(v));
      } else if (displayMode == "DEC") {
        out = StrFormat("%d", static_cast<int>(static_cast<int16_t>(v)));
      } else {
        out = decode ? decode(decodeContext, v) : ConvRawToText(v, nullptr);
      }
      return;
    }
    case kDataTypeInteger32:
    case kDataTypeUnsigned32: {
      const uint32_t v = LoadU32(image, a.byteOffset, mode);
      const uint8_t bytes[4] = {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>((v >> 8) & 0xFF),
                                static_cast<uint8_t>((v >> 16) & 0xFF), static_cast<uint8_t>(v >> 24)};
      if (hex) {
        out = "0x" + Hex(bytes, 4);
      } else if (a.dataType == kDataTypeInteger32) {
        out = StrFormat("%d", static_cast<int32_t>(v));
      } else {
        out = StrFormat("%u", v);
      }
      return;
    }
    case kDataTypeString: {
      std::vector<uint8_t> field(a.size + 1u, 0);
      CopyBytesByOrder(field.data(), at, a.size, mode);
      out = hex ? "0x" + Hex(field.data(), a.size) : std::string(reinterpret_cast<const char*>(field.data()));
      return;
    }
    case kDataTypeByteArea: {
      std::vector<uint8_t> field(a.size, 0);
      CopyBytesByOrder(field.data(), at, a.size, mode);
      out = (hex ? "0x" : "") + Hex(field.data(), a.size);
      return;
    }
    case kDataTypeIPAddr: {
      std::vector<uint8_t> field(std::max<size_t>(a.size, 4), 0);
      CopyBytesByOrder(field.data(), at, a.size, mode);
      if (hex && online) {
        out = "0x" + Hex(field.data(), a.size);
      } else {
        out = StrFormat("%d.%d.%d.%d", field[0], field[1], field[2], field[3]);
      }
      return;
    }
    default:
      out.clear();
      return;
  }
}

int HexTextToImage(const std::string& text, uint8_t* image, int imageLength) {
  if (!image || imageLength <= 0 || text.size() != 2 * static_cast<size_t>(imageLength) || !IsHexDigits(text)) {
    return 0;
  }
  for (int k = 0; k < imageLength; ++k) image[imageLength - 1 - k] = HexPairAt(text, static_cast<size_t>(k));
  return 1;
}
