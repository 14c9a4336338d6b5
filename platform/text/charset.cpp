// Conversion between the program's UTF-8 strings and the EUC-KR bytes of the
// files declared "euc-kr".
//
// Both directions go through tables that are filled once from iconv: the
// decoding table covers the extended Korean code page (CP949, a superset of
// EUC-KR that files written on Korean Windows systems may hold) and strict
// EUC-KR, the encoding table only the characters both agree on, so every file
// we write is plain EUC-KR that any reader understands. A character the encoding table does not hold
// is written as a decimal numeric character reference.
#include "platform/text/charset.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace qmx::text {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Double-byte range of the extended code page: lead 0x81..0xFE, trail 0x41..0xFE.
constexpr unsigned kLeadFirst = 0x81, kLeadLast = 0xFE;
constexpr unsigned kTrailFirst = 0x41, kTrailLast = 0xFE;
constexpr unsigned kTrailCount = kTrailLast - kTrailFirst + 1;
constexpr unsigned kLeadCount = kLeadLast - kLeadFirst + 1;

struct Tables {
  std::array<char32_t, kLeadCount * kTrailCount> decode{};  // 0 = not a character
  std::unordered_map<char32_t, uint16_t> encode;           // strict EUC-KR only
};

// Decodes one double-byte code with an open descriptor; 0 when iconv rejects it.
char32_t DecodePair(iconv_t cd, unsigned char lead, unsigned char trail) {
  char in[2] = {static_cast<char>(lead), static_cast<char>(trail)};
  unsigned char out[8] = {};
  char* inp = in;
  char* outp = reinterpret_cast<char*>(out);
  size_t inleft = sizeof in, outleft = sizeof out;
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  if (iconv(cd, &inp, &inleft, &outp, &outleft) == static_cast<size_t>(-1) || inleft != 0 ||
      sizeof out - outleft != 4) {
    return 0;
  }
  return static_cast<char32_t>(out[0]) | static_cast<char32_t>(out[1]) << 8 |
         static_cast<char32_t>(out[2]) << 16 | static_cast<char32_t>(out[3]) << 24;
}

const Tables& GetTables() {
  static Tables* tables = nullptr;
  static std::once_flag once;
  std::call_once(once, [] {
    static Tables t;
    if (iconv_t cd = iconv_open("UTF-32LE", "CP949"); cd != reinterpret_cast<iconv_t>(-1)) {
      for (unsigned lead = kLeadFirst; lead <= kLeadLast; ++lead) {
        for (unsigned trail = kTrailFirst; trail <= kTrailLast; ++trail) {
          t.decode[(lead - kLeadFirst) * kTrailCount + (trail - kTrailFirst)] =
              DecodePair(cd, static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
        }
      }
      iconv_close(cd);
    }
    // Strict EUC-KR: added to the decoding table where the extended code page
    // has no character, and written only where both sets agree, so that what
    // we write reads back the same through either.
    if (iconv_t cd = iconv_open("UTF-32LE", "EUC-KR"); cd != reinterpret_cast<iconv_t>(-1)) {
      for (unsigned lead = 0xA1; lead <= 0xFE; ++lead) {
        for (unsigned trail = 0xA1; trail <= 0xFE; ++trail) {
          char32_t cp = DecodePair(cd, static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
          if (cp < 0x80) {
            continue;
          }
          char32_t& wide = t.decode[(lead - kLeadFirst) * kTrailCount + (trail - kTrailFirst)];
          if (wide == 0) {
            wide = cp;
          } else if (wide == cp) {
            t.encode.emplace(cp, static_cast<uint16_t>(lead << 8 | trail));
          }
        }
      }
      iconv_close(cd);
    }
    tables = &t;
  });
  return *tables;
}

// Decodes one UTF-8 sequence at `i`; returns its length, or 0 when the bytes
// there are not a well-formed sequence (overlong forms, surrogates and values
// above U+10FFFF included).
size_t DecodeUtf8(std::string_view s, size_t i, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) {
    cp = b0;
    return 1;
  }
  size_t len;
  char32_t min;
  if (b0 >= 0xC2 && b0 <= 0xDF) {
    len = 2, min = 0x80, cp = b0 & 0x1F;
  } else if (b0 >= 0xE0 && b0 <= 0xEF) {
    len = 3, min = 0x800, cp = b0 & 0x0F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    len = 4, min = 0x10000, cp = b0 & 0x07;
  } else {
    return 0;
  }
  if (i + len > s.size()) {
    return 0;
  }
  for (size_t k = 1; k < len; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      return 0;
    }
    cp = cp << 6 | (b & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    return 0;
  }
  return len;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | cp >> 6));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | cp >> 12));
    out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | cp >> 18));
    out.push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// The end of the run of ASCII bytes that starts at `i`, eight bytes at a
// time: the files are ASCII but for their texts, and a run is the same
// bytes in both encodings.
size_t AsciiRunEnd(std::string_view s, size_t i) {
  constexpr uint64_t kHighBits = 0x8080808080808080ull;
  for (uint64_t word = 0; i + sizeof word <= s.size(); i += sizeof word) {
    std::memcpy(&word, s.data() + i, sizeof word);
    if ((word & kHighBits) != 0) {
      break;
    }
  }
  while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) {
    ++i;
  }
  return i;
}

}  // namespace

// The tables are built on the first character beyond ASCII: texts of plain
// ASCII, as the shipped catalogue is, never need them.

std::string Utf8ToEucKr(std::string_view utf8) {
  const Tables* t = nullptr;
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    if (const size_t end = AsciiRunEnd(utf8, i); end > i) {
      out.append(utf8.data() + i, end - i);
      i = end;
      continue;
    }
    char32_t cp = 0;
    size_t len = DecodeUtf8(utf8, i, cp);
    if (len == 0) {
      cp = kReplacement;
      len = 1;
    }
    i += len;
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    if (!t) t = &GetTables();
    if (auto it = t->encode.find(cp); it != t->encode.end()) {
      out.push_back(static_cast<char>(it->second >> 8));
      out.push_back(static_cast<char>(it->second & 0xFF));
    } else {
      out += "&#";
      out += std::to_string(static_cast<uint32_t>(cp));
      out += ';';
    }
  }
  return out;
}

bool EucKrToUtf8(std::string_view euckr, std::string& out) {
  const Tables* t = nullptr;
  out.clear();
  out.reserve(euckr.size() + euckr.size() / 2);
  bool valid = true;
  for (size_t i = 0; i < euckr.size();) {
    const auto lead = static_cast<unsigned char>(euckr[i]);
    if (lead < 0x80) {
      const size_t end = AsciiRunEnd(euckr, i);
      out.append(euckr.data() + i, end - i);
      i = end;
      continue;
    }
    char32_t cp = 0;
    unsigned char trail = 0;
    if (lead >= kLeadFirst && lead <= kLeadLast && i + 1 < euckr.size()) {
      trail = static_cast<unsigned char>(euckr[i + 1]);
      if (trail >= kTrailFirst && trail <= kTrailLast) {
        if (!t) t = &GetTables();
        cp = t->decode[(lead - kLeadFirst) * kTrailCount + (trail - kTrailFirst)];
      }
    }
    if (cp != 0) {
      AppendUtf8(out, cp);
      i += 2;
      continue;
    }
    // Undecodable: one replacement character. A trail byte that is itself
    // ASCII is not swallowed, so the text after a broken lead byte survives.
    valid = false;
    AppendUtf8(out, kReplacement);
    i += (trail >= 0x80) ? 2 : 1;
  }
  return valid;
}

std::string EucKrToUtf8(std::string_view euckr) {
  std::string out;
  EucKrToUtf8(euckr, out);
  return out;
}

bool IsValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    char32_t cp = 0;
    size_t len = DecodeUtf8(text, i, cp);
    if (len == 0) {
      return false;
    }
    i += len;
  }
  return true;
}

bool IsEucKrName(std::string_view encoding) {
  std::string lower;
  for (char c : encoding) {
    lower.push_back((c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c);
  }
  for (const char* name : {"euc-kr", "euckr", "euc_kr", "cseuckr", "cp949", "uhc", "windows-949",
                           "ms949", "ks_c_5601-1987", "ks_c_5601", "korean"}) {
    if (lower == name) {
      return true;
    }
  }
  return false;
}

}  // namespace qmx::text
