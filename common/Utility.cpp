#include "common/Utility.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

bool IsTrimChar(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string WithSlash(const std::string& folder) {
  if (!folder.empty() && folder.back() == '/') return folder;
  return folder + "/";
}

// Regular files of a folder (no ".", "..", sub-folders); false when the folder
// cannot be read.
bool ListFiles(const std::string& folder, std::vector<std::string>& names, int& error) {
  // An empty folder text names no folder (it must not become the working
  // folder for listing and the root for deleting).
  if (folder.empty()) {
    error = ENOENT;
    return false;
  }
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) {
    error = errno;
    return false;
  }
  const std::string base = WithSlash(folder);
  while (dirent* entry = ::readdir(dir)) {
    const char* name = entry->d_name;
    if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
    struct stat st {};
    if (::lstat((base + name).c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) continue;
    names.emplace_back(name);
  }
  ::closedir(dir);
  return true;
}

}  // namespace

std::string StrFormat(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string out;
  if (needed > 0) {
    out.resize(static_cast<size_t>(needed) + 1);
    std::vsnprintf(out.data(), out.size(), format, args);
    out.resize(static_cast<size_t>(needed));
  }
  va_end(args);
  return out;
}

std::string TrimStr(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsTrimChar(text[begin])) ++begin;
  while (end > begin && IsTrimChar(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::vector<std::string> SplitTrimmed(const std::string& text, char separator) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    const size_t end = text.find(separator, start);
    fields.push_back(TrimStr(text.substr(start, end == std::string::npos ? std::string::npos : end - start)));
    if (end == std::string::npos) return fields;
    start = end + 1;
  }
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

std::string RemoveAll(const std::string& text, std::string_view what) {
  if (what.empty()) return text;
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

namespace {
bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }
}  // namespace

std::string_view CutUtf8(std::string_view text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && IsUtf8Continuation(text[end])) --end;
  return text.substr(0, end);
}

size_t Utf8Length(std::string_view text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return !IsUtf8Continuation(c); }));
}

int IsStrEmpty(const std::string& text, int trim) {
  return (trim == 1 ? TrimStr(text) : text).empty() ? 1 : 0;
}

int GetCharCount(const std::string& text, char ch) {
  if (text.empty()) return 0;
  return static_cast<int>(std::count(text.begin(), text.end(), ch)) + 1;
}

std::string GetToken(const std::string& text, int16_t index, char separator, int trim) {
  const std::string wrapped = std::string(1, separator) + text + std::string(1, separator);
  int seen = 0;
  size_t start = std::string::npos;
  std::string field;
  bool done = false;
  for (size_t i = 0; i < wrapped.size(); ++i) {
    if (wrapped[i] != separator) continue;
    ++seen;
    if (seen == index) {
      start = i + 1;
    } else if (seen == index + 1 && start != std::string::npos) {
      field = wrapped.substr(start, i - start);
      done = true;
      break;
    }
  }
  if (!done) {
    if (start != std::string::npos || index == 1) {
      if (start == std::string::npos) start = 1;
      size_t end = wrapped.size() - 1;  // before the closing separator
      field = start <= end ? wrapped.substr(start, end - start) : std::string();
    } else if (index <= 0) {
      field.clear();
    } else {
      field = std::string(1, wrapped[0]);
    }
  }
  return trim == 1 ? TrimStr(field) : field;
}

int IsValidIpAddr(const std::string& raw) {
  if (raw == "0.0.0.0") return 0;
  const std::string text = TrimStr(raw);
  if (text.empty()) return 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (!IsDigit(c) && c != '.') return 0;
    if (c == '.' && i + 1 < text.size() && text[i + 1] == '.') return 0;
  }
  if (GetCharCount(text, '.') != 4) return 0;
  if (text.front() == '.' || text.back() == '.') return 0;
  for (int16_t f = 1; f <= 4; ++f) {
    const std::string field = GetToken(text, f, '.', 0);
    if (field.empty() || field.size() > 3) return 0;
    const int value = std::atoi(field.c_str());
    if (f == 1 ? (value < 1 || value > 223) : (value < 0 || value > 255)) return 0;
  }
  return 1;
}

std::string NormalizeIpAddr(const std::string& raw) {
  if (!IsValidIpAddr(raw)) return {};
  const std::string text = TrimStr(raw);
  std::string out;
  for (int16_t f = 1; f <= 4; ++f) {
    if (f > 1) out += '.';
    out += std::to_string(std::atoi(GetToken(text, f, '.', 0).c_str()));
  }
  return out;
}

int IsValidFileName(const std::string& text, int separatorFlag) {
  static const char kRefused[] = "\\:*?\"<>|";
  for (char c : text) {
    if (std::strchr(kRefused, c) && c != '\0') return 0;
    if (separatorFlag == 1 && c == '/') return 0;
  }
  return 1;
}

std::string BoolToStr(int value) { return value == 1 ? "True" : "False"; }

int StrToBool(const std::string& text) { return CompareNoCase(TrimStr(text), "true") == 0 ? 1 : 0; }

int IsNumberStr(const std::string& text, int dotFlag, unsigned maxDots) {
  if (TrimStr(text).empty()) return 0;
  unsigned dots = 0;
  bool digit = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      digit = true;
    } else if (c == '-' && i == 0) {
    } else if (c == '.' && dotFlag) {
      ++dots;
    } else {
      return 0;
    }
  }
  if (dotFlag && dots > maxDots) return 0;
  // A sign or dots without a single digit are not a number.
  if (!digit) return 0;
  return 1;
}

int IsFloatStr(const std::string& text) {
  if (TrimStr(text).empty()) return 0;
  // Mantissa: an optional '-' first, digits with at most one '.', at least
  // one digit; then an optional exponent ("e" or "E", an optional sign and
  // digits), as the conversion of a typed value reads it ("1e2" is 100).
  size_t i = 0;
  if (text[0] == '-') ++i;
  int dots = 0;
  bool digit = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      digit = true;
    } else if (c == '.') {
      if (++dots > 1) return 0;
    } else {
      break;
    }
  }
  if (!digit) return 0;
  if (i < text.size()) {
    if (text[i] != 'e' && text[i] != 'E') return 0;
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i == text.size()) return 0;
    for (; i < text.size(); ++i) {
      if (!IsDigit(text[i])) return 0;
    }
  }
  const double value = std::strtod(text.c_str(), nullptr);
  return std::isnan(value) ? 0 : 1;
}

int IsIntStrInRange(const std::string& text, long long minimum, long long maximum) {
  if (!IsNumberStr(text, 0, 0)) return 0;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno == ERANGE) return 0;  // beyond what any range can hold
  return (value >= minimum && value <= maximum) ? 1 : 0;
}

std::string NormalizeHexStr(const std::string& text, int expectedLength) {
  std::string s = text;
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (s.rfind("0X", 0) == 0) s.erase(0, 2);
  if (s.find("  ") != std::string::npos) return "INVALID";
  s.erase(std::remove(s.begin(), s.end(), ' '), s.end());
  if (expectedLength > 0 && static_cast<int>(s.size()) != expectedLength) return "INVALID";
  for (char c : s) {
    if (!(IsDigit(c) || (c >= 'A' && c <= 'F'))) return "INVALID";
  }
  return "0x" + s;
}

namespace {

// ASCII letters folded in place; other bytes as the C library folds them.
int Fold(unsigned char c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
  return std::tolower(c);
}

// strcasecmp's order without a call into the library per comparison: names
// and tags are compared to long lists of others, and most differ in their
// first letter.
int CompareFolded(const char* a, const char* b) {
  for (;; ++a, ++b) {
    const int x = Fold(static_cast<unsigned char>(*a));
    const int y = Fold(static_cast<unsigned char>(*b));
    if (x != y || x == 0) return x - y;
  }
}

}  // namespace

int CompareNoCase(const std::string& a, const std::string& b) { return CompareFolded(a.c_str(), b.c_str()); }

int CompareNoCaseFolded(const char* a, const char* b) { return CompareFolded(a, b); }

int CreateDirectories(const std::string& path) {
  const std::string trimmed = TrimStr(path);
  if (trimmed.empty()) return 0;
  if (!IsValidFileName(trimmed, 0)) return 0;
  // The root of an absolute path is "/"; a relative path starts where it is.
  std::string current = trimmed.front() == '/' ? "" : ".";
  // Walk the fields (trimmed) directly: a 16-bit token index would wrap on
  // paths with more separators than it can count and never end.
  for (size_t start = 0; start <= trimmed.size();) {
    size_t end = trimmed.find('/', start);
    if (end == std::string::npos) end = trimmed.size();
    const std::string field = TrimStr(trimmed.substr(start, end - start));
    start = end + 1;
    if (field.empty()) continue;  // the root or a doubled separator
    current += "/" + field;
    if (::mkdir(current.c_str(), 0777) != 0) {
      const int error = errno;
      if (error != EEXIST) return -error;
      struct stat st {};
      if (::stat(current.c_str(), &st) != 0) return -errno;
      if (!S_ISDIR(st.st_mode)) return -ENOTDIR;
    }
  }
  return 1;
}

int IsFileExistInDir(const std::string& folder, const std::string& fileName) {
  std::vector<std::string> names;
  int error = 0;
  if (!ListFiles(folder, names, error)) return 0;
  for (const auto& name : names) {
    if (CompareNoCase(name, fileName) == 0) return 1;
  }
  return 0;
}

int DeleteAllFilesInDir(const std::string& folder, int removeFolder) {
  std::vector<std::string> names;
  int error = 0;
  if (!ListFiles(folder, names, error)) return -error;
  const std::string base = WithSlash(folder);
  for (const auto& name : names) {
    if (::unlink((base + name).c_str()) != 0) return -errno;
  }
  if (removeFolder == 1) ::rmdir(folder.c_str());
  return 1;
}

int DeleteFileInDir(const std::string& folder, const std::string& fileName) {
  std::vector<std::string> names;
  int error = 0;
  if (!ListFiles(folder, names, error)) return -error;
  const std::string base = WithSlash(folder);
  for (const auto& name : names) {
    if (CompareNoCase(name, fileName) == 0) {
      if (::unlink((base + name).c_str()) != 0) return -errno;
    }
  }
  return 1;
}

int SplitFilePath(const std::string& path, std::string& folder, std::string& title, std::string& fileName) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    folder.clear();
    fileName = path;
  } else {
    folder = path.substr(0, slash);
    fileName = path.substr(slash + 1);
  }
  const size_t dot = fileName.rfind('.');
  title = dot == std::string::npos ? std::string() : fileName.substr(0, dot);
  return 1;
}

uint8_t HexStrToByte(std::string_view text) {
  unsigned value = 0;
  for (char c : text) {
    const int d = HexDigitValue(c);
    if (d < 0) return 255;
    value = (value * 16 + static_cast<unsigned>(d)) & 0xFFu;
  }
  return static_cast<uint8_t>(value);
}

int32_t HexStrToInt(const std::string& text) {
  uint32_t value = 0;
  for (char c : text) {
    const int d = HexDigitValue(c);
    if (d < 0) return -1;
    value = value * 16u + static_cast<uint32_t>(d);
  }
  return static_cast<int32_t>(value);
}

std::string HexDigitsOf(const std::string& text, std::string_view separators) {
  std::string digits = RemoveAll(Upper(TrimStr(text)), "0X");
  std::erase_if(digits, [separators](char c) { return separators.find(c) != std::string_view::npos; });
  return digits;
}

bool IsHexDigits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return HexDigitValue(c) >= 0; });
}

uint8_t HexPairAt(std::string_view digits, size_t k, HexOddDigit odd) {
  if (k >= (digits.size() + 1) / 2) return 0;
  const std::string_view pair = digits.substr(2 * k, 2);
  const uint8_t value = HexStrToByte(pair);
  // A lone digit in the high half: as if a "0" followed it.
  if (pair.size() == 1 && odd == HexOddDigit::kHighHalf && value != 255) return static_cast<uint8_t>(value << 4);
  return value;
}

std::vector<uint8_t> HexPairsToBytes(std::string_view digits, size_t maxBytes, HexOddDigit odd) {
  std::vector<uint8_t> bytes(std::min(maxBytes, (digits.size() + 1) / 2));
  for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = HexPairAt(digits, k, odd);
  return bytes;
}

std::string BytesToHexStr(const uint8_t* bytes, int count, int group) {
  if (!bytes || count <= 0) return {};
  if (group < 0) group = 0;
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(static_cast<size_t>(count) * 3);
  int written = 0;
  for (int i = count - 1; i >= 0; --i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 15];
    ++written;
    if (group > 0 && written % group == 0 && i > 0) out += ' ';
  }
  return out;
}

std::string IntToHexStr(long long value, int width) {
  std::string digits;
  if (value >= 0) {
    static const char kDigits[] = "0123456789ABCDEF";
    unsigned long long v = static_cast<unsigned long long>(value);
    do {
      digits.insert(digits.begin(), kDigits[v & 15]);
      v >>= 4;
    } while (v != 0);
  }
  if (width > 0 && static_cast<int>(digits.size()) < width) digits.insert(0, static_cast<size_t>(width) - digits.size(), '0');
  return digits;
}

std::string ByteToBinStr(uint8_t value, int reverse) {
  std::string out(8, '0');
  for (int bit = 0; bit < 8; ++bit) {
    const char c = ((value >> bit) & 1) ? '1' : '0';
    out[reverse ? bit : 7 - bit] = c;
  }
  return out;
}

long long BinStrToInt(const std::string& text) {
  unsigned long long value = 0;
  for (char c : text) value = value * 2 + static_cast<unsigned long long>(static_cast<long long>(c - '0'));
  return static_cast<long long>(value);
}

uint8_t GetBitFieldVal(uint8_t byte, int bitOffset, int width) {
  if (bitOffset < 0 || width <= 0 || bitOffset + width > 8) return 0;
  return static_cast<uint8_t>((byte >> bitOffset) & ((1u << width) - 1u));
}

uint8_t SetBitFieldVal(uint8_t byte, uint8_t value, int bitOffset, int width) {
  if (bitOffset < 0 || width <= 0 || bitOffset + width > 8) return byte;
  const unsigned mask = ((1u << width) - 1u) << bitOffset;
  return static_cast<uint8_t>((byte & ~mask) | ((static_cast<unsigned>(value) << bitOffset) & mask));
}

void CopyBytesByOrder(uint8_t* destination, const uint8_t* source, uint16_t length, int mode) {
  if (!destination || !source || length == 0) return;
  switch (mode) {
    case 0:
      std::memmove(destination, source, length);
      break;
    case 1: {
      // Work on a copy so overlapping areas behave like the plain copy.
      std::vector<uint8_t> src(source, source + length);
      if (length > 1) {
        for (uint16_t k = 0; k < length / 2; ++k) {
          destination[2 * k] = src[2 * k + 1];
          destination[2 * k + 1] = src[2 * k];
        }
      }
      if (length % 2) destination[length - 1] = src[length - 1];
      break;
    }
    case 2: {
      std::vector<uint8_t> src(source, source + length);
      for (uint16_t i = 0; i < length; ++i) destination[length - 1 - i] = src[i];
      break;
    }
    default:
      break;
  }
}

int Float16ToFloat(uint16_t value, float& out) {
  const int16_t signedValue = static_cast<int16_t>(value);
  const int integer = signedValue >> 4;  // arithmetic shift keeps the sign
  const int fraction = ((value & 15) * 1000) / 16;
  out = static_cast<float>(integer) + static_cast<float>(fraction * 0.001);
  return integer;
}

void FloatToFloat16(float value, uint16_t& out) {
  if (std::isnan(value)) {
    out = 0;
    return;
  }
  // Beyond the 16-bit range only the low bits are kept, as with any wider value.
  const double clamped = std::clamp(static_cast<double>(value), -1.0e15, 1.0e15);
  long long i = static_cast<long long>(clamped);
  long long f = static_cast<long long>((clamped - static_cast<double>(i)) * 16.0);
  if (f < 0) i -= 1;
  out = static_cast<uint16_t>(static_cast<unsigned long long>(i * 16) | static_cast<unsigned long long>(f & 15));
}
