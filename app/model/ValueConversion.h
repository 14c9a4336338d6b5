// Conversions between the text a user sees or types and the bytes of a byte
// image, by data type, byte-order mode and display mode; and the conversion
// rules of analog (Float16) values.
//
// These functions work on a plain byte range so that the project images, the
// online images read from a device and test buffers all take the same road.
// The tree objects (Wrapper) select the image, resolve the conversion rule of
// the item for themselves and call in here.
//
// Results: 1 success, 0 refused (logged), 2 nothing done (logged when the
// caller's arguments were at fault).
#pragma once

#include "app/model/DataTypes.h"
#include "app/model/IOItem.h"

#include <cstdint>
#include <string>
#include <string_view>

// Where a value sits: data type code, size (items, bits of a BitArea,
// characters of a String, bytes of a ByteArea or IPAddr), byte offset and bit
// offset (0 ... 7, used by Bit and BitArea).
struct ItemAddress {
  int dataType = kDataTypeBit;
  uint16_t size = 1;
  int byteOffset = 0;
  int bitOffset = 0;
};

// The active conversion rule of one item as one object uses it. The ranges a
// by-parameter rule selects are copied into this state, never into the
// item of the shared definition, so two objects of the same definition never
// see each other's selection.
struct ConvRuleState {
  int kind = kConvNone;
  float rawLow = 1.0f;
  float rawHigh = 1.0f;
  float engLow = 1.0f;
  float engHigh = 1.0f;
  float resolution = 0.0f;
  std::string location;  // the item's text id, for the messages
};

// The rule of an item with the ranges the item itself carries.
ConvRuleState RuleStateOf(const IOItem& item);
// Puts the ranges that range-selecting parameter value `value` stands for into
// `state` (the item is not touched). 1 selected; 0 for an empty value or one
// without ranges (logged; `state` keeps its ranges).
int SelectRangesByPara(const IOItem& item, const std::string& value, ConvRuleState& state);

// The engineering text of a raw 16-bit value:
//   no rule or kind none   the raw value as 12.4 fixed point, "%2.2f";
//   Linear, ByParaVal      engLow + (x - rawLow) * (engSpan / rawSpan) of the
//                          signed raw value x, "%2.2f"; "N/A" outside
//                          rawLow ... rawHigh or for an empty raw span;
//   other kinds            empty.
std::string ConvRawToText(uint16_t raw, const ConvRuleState* rule);
// The raw value of an engineering value: 1 with `raw` set; 0 refused and
// logged (value outside engLow ... engHigh, an empty engineering span, a
// by-parameter rule whose resolution is 0, not a finite number, a kind
// without a conversion), `raw` then 0.
//   no rule or kind none   12.4 fixed point;
//   Linear, ByParaVal      (value - engLow) * rawSpan / engSpan + rawLow over
//                          the active ranges, in double precision and
//                          truncated toward zero (a result within 1/1000 of
//                          a step of a whole number is that number, so exact
//                          values survive the way back and forth); kept to
//                          16 bits.
// `func` names the calling operation in the messages.
int ConvEngToRawChecked(double value, const ConvRuleState* rule, uint16_t& raw, const char* func);

// Frame mode of analog values: 0 engineering value, 1 raw decimal, 2 raw
// hexadecimal. Kept here so that the model follows the frame's choice.
enum AnalogValueMode : int {
  kAnalogNormal = 0,
  kAnalogRawDec = 1,
  kAnalogRawHex = 2,
};
void SetAnalogValueMode(int mode);
int GetAnalogValueMode();

// The checks every value operation makes before touching bytes (data type,
// size rules, bounds). `caller` is null for the writer; the readers' lines
// name it. -1 when the value may be accessed, else the result to return.
int CheckValueAccess(const char* func, const std::string* caller, int imageLength, const ItemAddress& address);

// How a Float16 is written: `encode` turns the trimmed text into the raw
// value (1) or refuses it (0, logged).
using Float16Encoder = int (*)(void* context, const std::string& text, uint16_t& raw);

// What a typed byte text may hold between its digit pairs, besides "0X"
// (HexDigitsOf): a ByteArea value, a Float16 output typed as raw hex.
inline constexpr std::string_view kTypedHexSeparators = " \t";

// Writes the user's text into `image` at `address` (after CheckValueAccess
// passed). The text is trimmed first.
//   Bit          "0" clears the bit, any other text sets it;
//   BitArea      the decimal value into the `size` bits from the bit offset;
//   8-bit        the decimal value's low byte;
//   16-bit       the low 16 bits, by byte-order mode;
//   32-bit       the decimal value's low 32 bits, by byte-order mode;
//   Float16      the raw value of `encode`, by byte-order mode;
//   String       the text's first `size` characters, the rest of the field
//                zero-filled, by byte-order mode;
//   ByteArea     "0X" and blanks removed, hex pairs from the left fill a
//                zeroed field from its last byte backwards; by byte-order
//                mode; a character that is no hex digit refuses the text;
//   IPAddr       the '.'-separated decimal parts as bytes in text order, at
//                most `size` of them, by byte-order mode; parts outside
//                0 ... 255 refuse the text.
// 1 written; 0 refused (logged, image unchanged).
int WriteUserValue(uint8_t* image, int imageLength, const ItemAddress& address, const std::string& text,
                   int byteOrderMode, Float16Encoder encode, void* encodeContext, const char* func);

// How a Float16 is shown in the normal form.
using Float16Decoder = std::string (*)(void* context, uint16_t raw);

// The text of the value at `address` (after CheckValueAccess passed).
// `displayMode` "HEX" gives the hexadecimal form ("0x" and the value's digits
// in machine order), "DEC" shows a Float16 as its signed raw decimal value.
// `online` selects the online form of IPAddr with "HEX" (hexadecimal; the
// project form shows the dotted text).
void ReadUserValue(const uint8_t* image, const ItemAddress& address, const std::string& displayMode,
                   int byteOrderMode, bool online, Float16Decoder decode, void* decodeContext, std::string& out);

// Reads a hex image text of a project file into `image`: exactly
// 2 * image length hex digits, pair k from the left into byte length-1-k.
// 1 taken; 0 refused (wrong length or a character that is no hex digit),
// the image unchanged.
int HexTextToImage(const std::string& text, uint8_t* image, int imageLength);
