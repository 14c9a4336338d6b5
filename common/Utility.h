// Free helper functions shared by the main program and the driver library:
// text tests and tokens, upper case, removal and the UTF-8 cut, IPv4 and
// file-name checks, folder and file operations, hexadecimal and binary digit
// texts, the one reading of byte texts in hexadecimal digit pairs, bit
// fields, byte-order copying and the 12.4 fixed-point format of analog
// values. They keep no state and never log.
//
// "Trim" removes blanks, tabs and line ends at both ends. Paths use "/" as
// their separator; functions that wrap system calls return the negated
// system error code (-errno) on failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// --- text tests and tokens --------------------------------------------------
// printf-style formatting into a std::string (the system's texts keep their
// %s / %d / %02X patterns).
std::string StrFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string TrimStr(const std::string& text);
// The fields of `text` between `separator`s, each trimmed; an empty text is
// one empty field.
std::vector<std::string> SplitTrimmed(const std::string& text, char separator);
// The text with its ASCII letters upper-cased; other bytes (UTF-8 sequences)
// as they are.
std::string Upper(std::string text);
// The text without any occurrence of `what`, taken out from the left
// ("aab" without "ab" is "a"); an empty `what` takes nothing out.
std::string RemoveAll(const std::string& text, std::string_view what);
// The longest start of a UTF-8 text that has at most `limit` bytes and ends
// at a character's end (a view into `text`).
std::string_view CutUtf8(std::string_view text, size_t limit);
// The number of characters of a UTF-8 text (bytes that begin a character).
size_t Utf8Length(std::string_view text);
int IsStrEmpty(const std::string& text, int trim);
int GetCharCount(const std::string& text, char ch);
std::string GetToken(const std::string& text, int16_t index, char separator, int trim);
int IsValidIpAddr(const std::string& text);
// An address IsValidIpAddr takes, as the driver and the other adapters'
// addresses are compared: without the blanks around it and each field
// without leading zeros (" 127.0.0.010 " is "127.0.0.10"); "" for an address
// IsValidIpAddr refuses.
std::string NormalizeIpAddr(const std::string& text);
// 0 when the text holds any of \ : * ? " < > | or, with the flag 1, the path
// separator "/"; else 1 (an empty text is valid).
int IsValidFileName(const std::string& text, int separatorFlag);
std::string BoolToStr(int value);
int StrToBool(const std::string& text);
int IsNumberStr(const std::string& text, int dotFlag, unsigned maxDots);
// 1 for a decimal number with an optional exponent ("-1.5", ".5", "1e2",
// "2.5E-3"), not NaN; no blanks, no "+" before the number.
int IsFloatStr(const std::string& text);
int IsIntStrInRange(const std::string& text, long long minimum, long long maximum);
std::string NormalizeHexStr(const std::string& text, int expectedLength);
// Case-insensitive comparison of two texts (ASCII letters).
int CompareNoCase(const std::string& a, const std::string& b);
int CompareNoCaseFolded(const char* a, const char* b);
// Names and tags are compared with long lists of others, most of which
// differ in their first letter: that answer needs no call.
inline int CompareNoCase(const std::string& a, const char* b) {
  const auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; };
  const int x = fold(static_cast<unsigned char>(a.c_str()[0]));
  const int y = fold(static_cast<unsigned char>(b[0]));
  if (x != y && x < 0x80 && y < 0x80) return x - y;
  return CompareNoCaseFolded(a.c_str(), b);
}

// --- folders and files ------------------------------------------------------
int CreateDirectories(const std::string& path);
int IsFileExistInDir(const std::string& folder, const std::string& fileName);
int DeleteAllFilesInDir(const std::string& folder, int removeFolder);
int DeleteFileInDir(const std::string& folder, const std::string& fileName);
int SplitFilePath(const std::string& path, std::string& folder, std::string& title, std::string& fileName);

// --- hexadecimal and binary digit texts ---------------------------------------
uint8_t HexStrToByte(std::string_view text);
int32_t HexStrToInt(const std::string& text);
std::string BytesToHexStr(const uint8_t* bytes, int count, int group);
std::string IntToHexStr(long long value, int width);
std::string ByteToBinStr(uint8_t value, int reverse);
long long BinStrToInt(const std::string& text);

// --- byte texts: hexadecimal digit pairs ----------------------------------------
// Every byte text that a user types or a description holds is read by one
// rule: HexDigitsOf gives its digits, HexPairsToBytes (or HexPairAt) their
// bytes; a caller that refuses other characters asks IsHexDigits between.
//
// The digits of a byte text: ASCII letters upper-cased, the text trimmed,
// every "0X" taken out and then every character of `separators` ("0x12, 0x34"
// with the separators ", " gives "1234"). Nothing else is checked.
std::string HexDigitsOf(const std::string& text, std::string_view separators);
// True when every character is 0-9, A-F or a-f (an empty text too).
bool IsHexDigits(std::string_view text);
// Where the lone last digit of an odd count goes in its byte: the low half,
// as HexStrToByte reads one digit ("ABC" gives AB 0C), or the high half, as
// a digit text filled with "0" on the right ("ABC" gives AB C0).
enum class HexOddDigit { kLowHalf, kHighHalf };
// The byte of digit pair `k` (from 0), as HexStrToByte reads the pair: 255
// when it holds another character than a hex digit; 0 past the end.
uint8_t HexPairAt(std::string_view digits, size_t k, HexOddDigit odd = HexOddDigit::kLowHalf);
// The digit pairs from the left, pair k as byte k (HexPairAt), at most
// `maxBytes` of them.
std::vector<uint8_t> HexPairsToBytes(std::string_view digits, size_t maxBytes = SIZE_MAX,
                                     HexOddDigit odd = HexOddDigit::kLowHalf);

// --- bit fields, byte order, fixed point ------------------------------------
uint8_t GetBitFieldVal(uint8_t byte, int bitOffset, int width);
uint8_t SetBitFieldVal(uint8_t byte, uint8_t value, int bitOffset, int width);
void CopyBytesByOrder(uint8_t* destination, const uint8_t* source, uint16_t length, int mode);
int Float16ToFloat(uint16_t value, float& out);
void FloatToFloat16(float value, uint16_t& out);
