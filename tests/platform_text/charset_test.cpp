#include "platform/text/charset.h"

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>
#include <thread>
#include <vector>

namespace qmx::text {
namespace {

// Reference conversion straight through iconv, independent of the tables.
std::string Iconv(const std::string& in, const char* from, const char* to) {
  iconv_t cd = iconv_open(to, from);
  EXPECT_NE(cd, reinterpret_cast<iconv_t>(-1));
  std::string out(in.size() * 4 + 16, '\0');
  char* inp = const_cast<char*>(in.data());
  char* outp = out.data();
  size_t inleft = in.size(), outleft = out.size();
  size_t rc = iconv(cd, &inp, &inleft, &outp, &outleft);
  iconv_close(cd);
  EXPECT_NE(rc, static_cast<size_t>(-1)) << "iconv rejected the reference text";
  out.resize(out.size() - outleft);
  return out;
}

std::string Utf8Of(char32_t cp) {
  std::string s;
  if (cp < 0x80) {
    s += static_cast<char>(cp);
  } else if (cp < 0x800) {
    s += static_cast<char>(0xC0 | cp >> 6);
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    s += static_cast<char>(0xE0 | cp >> 12);
    s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    s += static_cast<char>(0xF0 | cp >> 18);
    s += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
    s += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
    s += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return s;
}

TEST(Utf8ToEucKr, KoreanTextBecomesTheKsX1001Codes) {
  EXPECT_EQ(Utf8ToEucKr("한국어"), "\xC7\xD1\xB1\xB9\xBE\xEE");
  const std::string text = "설정 파일: 한국어 텍스트 (모듈 #3)";
  EXPECT_EQ(Utf8ToEucKr(text), Iconv(text, "UTF-8", "EUC-KR"));
}

TEST(Utf8ToEucKr, AsciiPassesUnchanged) {
  const std::string ascii = "<?xml version=\"1.0\"?>\r\n<A b=\"&amp;\">\t~\x01\x7F</A>";
  EXPECT_EQ(Utf8ToEucKr(ascii), ascii);
  EXPECT_EQ(Utf8ToEucKr(""), "");
  EXPECT_EQ(Utf8ToEucKr(std::string("a\0b", 3)), std::string("a\0b", 3));
}

struct ReferenceCase {
  const char* utf8;
  const char* euckr;
};

TEST(Utf8ToEucKr, CharactersOutsideTheSetBecomeDecimalReferences) {
  const ReferenceCase cases[] = {
      {"\xF0\x9F\x98\x80", "&#128512;"},           // emoji outside the BMP
      {"\xEB\x98\xA0", "&#46624;"},                // syllable only in the extended code page
      {"a\xC3\xA9" "b", "a&#233;b"},                 // e acute is not in EUC-KR
      {"\xED\x95\x9C\xF0\x9F\x98\x80", "\xC7\xD1&#128512;"},
      {"\xE3\x89\xBE", "&#12926;"},                // a late EUC-KR addition the code page lacks
      {"\xE2\x82\xAC", "\xA2\xE6"},                // the euro sign is in both (row 2)
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToEucKr(c.utf8), c.euckr) << c.utf8;
  }
}

TEST(Utf8ToEucKr, InvalidUtf8BecomesReplacementReferences) {
  const ReferenceCase cases[] = {
      {"\xFF", "&#65533;"},
      {"a\x80z", "a&#65533;z"},
      {"\xC0\xAF", "&#65533;&#65533;"},          // overlong "/"
      {"\xED\xA0\x80", "&#65533;&#65533;&#65533;"},  // surrogate
      {"\xE2\x82", "&#65533;&#65533;"},          // cut short
      {"\xF4\x90\x80\x80", "&#65533;&#65533;&#65533;&#65533;"},  // above U+10FFFF
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8ToEucKr(c.utf8), c.euckr);
  }
}

TEST(Utf8ToEucKr, EveryEncodedCharacterDecodesBackToItself) {
  int encoded = 0;
  for (char32_t cp = 0x80; cp < 0x10000; ++cp) {
    if (cp >= 0xD800 && cp <= 0xDFFF) {
      continue;
    }
    const std::string utf8 = Utf8Of(cp);
    const std::string euckr = Utf8ToEucKr(utf8);
    if (euckr.rfind("&#", 0) == 0) {
      EXPECT_EQ(euckr, "&#" + std::to_string(static_cast<uint32_t>(cp)) + ";");
      continue;
    }
    ++encoded;
    ASSERT_EQ(euckr.size(), 2u) << "U+" << std::hex << static_cast<uint32_t>(cp);
    EXPECT_GE(static_cast<unsigned char>(euckr[0]), 0xA1);
    EXPECT_GE(static_cast<unsigned char>(euckr[1]), 0xA1);
    std::string back;
    EXPECT_TRUE(EucKrToUtf8(euckr, back));
    ASSERT_EQ(back, utf8) << "U+" << std::hex << static_cast<uint32_t>(cp);
    // Both Korean decoders of iconv read it the same.
    ASSERT_EQ(Iconv(euckr, "EUC-KR", "UTF-8"), utf8);
    ASSERT_EQ(Iconv(euckr, "CP949", "UTF-8"), utf8);
  }
  // KS X 1001 holds 2350 syllables, 4888 hanja and the symbol rows.
  EXPECT_GT(encoded, 8000);
}

TEST(EucKrToUtf8, DecodesKoreanAndAscii) {
  std::string out;
  EXPECT_TRUE(EucKrToUtf8("A \xC7\xD1\xB1\xB9\xBE\xEE!", out));
  EXPECT_EQ(out, "A 한국어!");
  EXPECT_EQ(EucKrToUtf8(Iconv("모듈 설명 텍스트", "UTF-8", "EUC-KR")), "모듈 설명 텍스트");
}

TEST(EucKrToUtf8, AcceptsTheExtendedCodePageAndLateEucKrAdditions) {
  std::string out;
  EXPECT_TRUE(EucKrToUtf8("\xA2\xE8", out));  // circled ieung u, not in the code page
  EXPECT_EQ(out, "\xE3\x89\xBE");
  EXPECT_TRUE(EucKrToUtf8("\x8C\x63", out));
  EXPECT_EQ(out, "똠");
  const std::string text = "똠방각하 햏 뷁";
  EXPECT_TRUE(EucKrToUtf8(Iconv(text, "UTF-8", "CP949"), out));
  EXPECT_EQ(out, text);
}

// ASCII is copied a run at a time; a Korean character at every place
// around the eight-byte steps of a run converts like the reference.
TEST(Charset, KoreanAtEveryPlaceOfAnAsciiRunConverts) {
  for (size_t before = 0; before <= 17; ++before) {
    for (size_t after : {0u, 1u, 7u, 8u, 9u}) {
      const std::string utf8 = std::string(before, 'a') + "한" + std::string(after, 'z') + "국";
      const std::string euckr = Iconv(utf8, "UTF-8", "EUC-KR");
      EXPECT_EQ(Utf8ToEucKr(utf8), euckr) << before << " " << after;
      std::string out;
      EXPECT_TRUE(EucKrToUtf8(euckr, out)) << before << " " << after;
      EXPECT_EQ(out, utf8) << before << " " << after;
      EXPECT_EQ(EucKrToUtf8(std::string(before, 'b') + "\xC7"), std::string(before, 'b') + "\xEF\xBF\xBD");
    }
  }
}

struct DecodeCase {
  std::string euckr;
  std::string utf8;
};

TEST(EucKrToUtf8, InvalidBytesAreReportedAndReplaced) {
  const DecodeCase cases[] = {
      {"\xFF", "\xEF\xBF\xBD"},
      {"\x80", "\xEF\xBF\xBD"},
      {"ab\xC7", "ab\xEF\xBF\xBD"},                    // lead byte at the end
      {"\xC7" "A", "\xEF\xBF\xBD" "A"},                  // an ASCII trail byte is kept
      {"\xC7\xFF" "z", "\xEF\xBF\xBD" "z"},              // a non-ASCII trail byte is consumed
      {"\xA1\xA1\xC9\xA1", "\xE3\x80\x80\xEF\xBF\xBD"},  // user-defined row
  };
  for (const auto& c : cases) {
    std::string out = "stale";
    EXPECT_FALSE(EucKrToUtf8(c.euckr, out));
    EXPECT_EQ(out, c.utf8);
    EXPECT_EQ(EucKrToUtf8(c.euckr), c.utf8);
  }
}

TEST(IsValidUtf8, TellsWellFormedFromBroken) {
  const std::pair<std::string, bool> cases[] = {
      {"", true},
      {"plain", true},
      {"한국어 €😀", true},
      {"\xEF\xBF\xBF", true},
      {"\xC3", false},
      {"\xC0\x80", false},
      {"\xE0\x80\xAF", false},
      {"\xED\xBF\xBF", false},
      {"\xF4\x90\x80\x80", false},
      {"\xF8\x88\x80\x80\x80", false},
      {"a\xBF", false},
  };
  for (const auto& [text, valid] : cases) {
    EXPECT_EQ(IsValidUtf8(text), valid) << text;
  }
}

TEST(IsEucKrName, KnowsTheNamesOfTheKoreanSet) {
  for (const char* name : {"euc-kr", "EUC-KR", "Euc-Kr", "euckr", "ks_c_5601-1987", "CP949", "uhc"}) {
    EXPECT_TRUE(IsEucKrName(name)) << name;
  }
  for (const char* name : {"", "utf-8", "euc-jp", "iso-8859-1", "euc-kr ", "kr"}) {
    EXPECT_FALSE(IsEucKrName(name)) << name;
  }
}

TEST(Charset, ConcurrentFirstUseGivesTheSameResults) {
  const std::string text = "한국어 텍스트 é 똠";
  std::vector<std::string> results(4);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < results.size(); ++i) {
    threads.emplace_back([&, i] { results[i] = EucKrToUtf8(Utf8ToEucKr(text)); });
  }
  for (auto& t : threads) {
    t.join();
  }
  for (const auto& r : results) {
    EXPECT_EQ(r, "한국어 텍스트 &#233; &#46624;");
  }
}

}  // namespace
}  // namespace qmx::text
