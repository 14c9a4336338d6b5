// The data-type vocabulary of the device descriptions and the byte rules that
// go with it: the code of each type name, the bytes n items take, and how a
// default text of a description becomes the bytes of an image.
//
// Values sit in byte images in the byte-order mode of their object (0 plain,
// 1 swap each 16-bit pair, 2 reverse the run; see CopyBytesByOrder); a value
// in machine order is least significant byte first.
#pragma once

#include "app/errors/ErrorCodes.h"

#include <cstdint>
#include <string>

enum DataType : int {
  kDataTypeBit = 0,
  kDataTypeBitArea = 1,
  kDataTypeInteger8 = 2,
  kDataTypeInteger16 = 3,
  kDataTypeInteger32 = 4,
  kDataTypeInteger64 = 5,
  kDataTypeUnsigned8 = 6,
  kDataTypeUnsigned16 = 7,
  kDataTypeUnsigned32 = 8,
  kDataTypeUnsigned64 = 9,
  kDataTypeFloat16 = 10,
  kDataTypeFloat32 = 11,
  kDataTypeFloat64 = 12,
  kDataTypeString = 13,
  kDataTypeByteArea = 14,
  kDataTypeIPAddr = 15,
  kDataTypeUndefined = 16,
};

// Code of a type name, matched after trimming and without regard to case;
// kDataTypeUndefined (16) for any other text.
int GetDataTypeCode(const std::string& name);
// Name of codes 0 to 15 ("Bit" ... "IPAddr"); "Undefined" for any other code.
std::string GetDataTypeName(int code);
// Bytes that `count` items of the type take: Bit 1, BitArea count/8 rounded
// up, 8-bit types count, 16-bit types 2*count, 32-bit 4*count, 64-bit
// 8*count, String/ByteArea/IPAddr count; 0 for a code outside 0 to 15.
int GetDataTypeSize(int code, int count);

// Decimal text of the descriptions' default values: leading blanks, an
// optional sign, then the leading digits (none give 0); the value saturates
// at the 64-bit range, callers cut it to their width.
long long DecimalTextToInt64(const std::string& text);

// Outcome of WriteDefaultValue.
enum DefaultWriteResult : int {
  kDefaultWritten = 1,
  kDefaultUnsupported = qmx::err::kUnsupportedDataType,  // the data type has no default rule
  kDefaultDoesNotFit = qmx::err::kValueNotAllowed,       // the bytes would leave the item or the image
};

// Writes the default text of an item into `image` (of `imageLength` bytes)
// at `byteOffset`, by the item's data type and length (its count):
//   Integer8/Unsigned8       the decimal value's low byte;
//   Integer16/Unsigned16     the decimal value's low 16 bits, 2 bytes;
//   Integer32/Unsigned32     the decimal value's low 32 bits, 4 bytes;
//   Float16                  the decimal number in signed 12.4 fixed point, 2 bytes;
//   String                   the text's bytes, at most `length` of them;
//   ByteArea                 the text upper-cased, "0X" and blanks removed, read
//                            as hex pairs from the left into bytes in order, at
//                            most `length` bytes (a lone last digit is a byte);
//   IPAddr                   the '.'-separated parts as decimal bytes, 4 bytes
//                            (missing parts 0, parts past the fourth ignored).
// Multi-byte values go into the image by `byteOrderMode`. Every write stays
// inside the item (its GetDataTypeSize extent) and inside the image: when it
// would not, nothing is written and kDefaultDoesNotFit is answered. Bit,
// BitArea, the 64-bit types, Float32/Float64 and unknown codes write nothing
// and answer kDefaultUnsupported.
int WriteDefaultValue(uint8_t* image, int imageLength, int byteOffset, int dataType, int length,
                      const std::string& text, int byteOrderMode);

