#include "app/model/DataTypes.h"

#include "common/Utility.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <vector>

namespace {

constexpr std::array<const char*, 16> kNames = {
    "Bit",        "BitArea",    "Integer8", "Integer16", "Integer32", "Integer64", "Unsigned8", "Unsigned16",
    "Unsigned32", "Unsigned64", "Float16",  "Float32",   "Float64",   "String",    "ByteArea",  "IPAddr"};

// Places `width` bytes of `value` (machine order) at the offset by the mode.
void PutValue(uint8_t* image, int byteOffset, unsigned long long value, int width, int mode) {
  uint8_t bytes[8] = {};
  for (int i = 0; i < width; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  CopyBytesByOrder(image + byteOffset, bytes, static_cast<uint16_t>(width), mode);
}

}  // namespace

int GetDataTypeCode(const std::string& name) {
  const std::string trimmed = TrimStr(name);
  for (size_t i = 0; i < kNames.size(); ++i) {
    if (CompareNoCase(trimmed, kNames[i]) == 0) return static_cast<int>(i);
  }
  return kDataTypeUndefined;
}

std::string GetDataTypeName(int code) {
  if (code < 0 || code >= static_cast<int>(kNames.size())) return "Undefined";
  return kNames[static_cast<size_t>(code)];
}

int GetDataTypeSize(int code, int count) {
  switch (code) {
    case kDataTypeBit:
      return 1;
    case kDataTypeBitArea:
      return (count + 7) / 8;
    case kDataTypeInteger8:
    case kDataTypeUnsigned8:
    case kDataTypeString:
    case kDataTypeByteArea:
    case kDataTypeIPAddr:
      return count;
    case kDataTypeInteger16:
    case kDataTypeUnsigned16:
    case kDataTypeFloat16:
      return 2 * count;
    case kDataTypeInteger32:
    case kDataTypeUnsigned32:
    case kDataTypeFloat32:
      return 4 * count;
    case kDataTypeInteger64:
    case kDataTypeUnsigned64:
    case kDataTypeFloat64:
      return 8 * count;
    default:
      return 0;
  }
}

long long DecimalTextToInt64(const std::string& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  unsigned long long value = 0;
  constexpr unsigned long long kLimit = static_cast<unsigned long long>(LLONG_MAX) + 1;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value >= kLimit / 10) {
      value = kLimit;  // saturate; the digits that follow change nothing
      continue;
    }
    value = value * 10 + static_cast<unsigned long long>(text[i] - '0');
  }
  if (negative) return value >= kLimit ? LLONG_MIN : -static_cast<long long>(value);
  return value > static_cast<unsigned long long>(LLONG_MAX) ? LLONG_MAX : static_cast<long long>(value);
}

int WriteDefaultValue(uint8_t* image, int imageLength, int byteOffset, int dataType, int length,
                      const std::string& text, int byteOrderMode) {
  // How many bytes the default needs, by type.
  int width = 0;
  std::vector<uint8_t> bytes;  // String, ByteArea and IPAddr
  switch (dataType) {
    case kDataTypeInteger8:
    case kDataTypeUnsigned8:
      width = 1;
      break;
    case kDataTypeInteger16:
    case kDataTypeUnsigned16:
    case kDataTypeFloat16:
      width = 2;
      break;
    case kDataTypeInteger32:
    case kDataTypeUnsigned32:
      width = 4;
      break;
    case kDataTypeString: {
      const size_t count = std::min(text.size(), static_cast<size_t>(std::max(length, 0)));
      bytes.assign(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(count));
      width = static_cast<int>(count);
      break;
    }
    case kDataTypeByteArea: {
      bytes = HexPairsToBytes(HexDigitsOf(text, " "), static_cast<size_t>(std::max(length, 0)));
      width = static_cast<int>(bytes.size());
      break;
    }
    case kDataTypeIPAddr: {
      bytes.assign(4, 0);
      const int parts = std::min(GetCharCount(text, '.'), 4);
      for (int i = 0; i < parts; ++i) {
        bytes[static_cast<size_t>(i)] =
            static_cast<uint8_t>(DecimalTextToInt64(GetToken(text, static_cast<int16_t>(i + 1), '.', 1)));
      }
      width = 4;
      break;
    }
    default:
      return kDefaultUnsupported;
  }

  // The write must stay inside the item and inside the image.
  const int extent = GetDataTypeSize(dataType, length);
  if (!image || byteOffset < 0 || width > extent || byteOffset + width > imageLength) return kDefaultDoesNotFit;
  if (width == 0) return kDefaultWritten;

  switch (dataType) {
    case kDataTypeFloat16: {
      uint16_t raw = 0;
      FloatToFloat16(std::strtof(TrimStr(text).c_str(), nullptr), raw);
      PutValue(image, byteOffset, raw, 2, byteOrderMode);
      break;
    }
    case kDataTypeString:
    case kDataTypeByteArea:
    case kDataTypeIPAddr:
      CopyBytesByOrder(image + byteOffset, bytes.data(), static_cast<uint16_t>(width), byteOrderMode);
      break;
    default:
      PutValue(image, byteOffset, static_cast<unsigned long long>(DecimalTextToInt64(text)), width, byteOrderMode);
      break;
  }
  return kDefaultWritten;
}

