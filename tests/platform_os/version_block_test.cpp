// The version block that the build embeds into programs and libraries, read
// back from the file by the operating-system layer and by FileVersionInfo.
#include "app/model/FileVersionInfo.h"
#include "platform/os/os.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <elf.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using qmx::os::ReadVersionBlock;
using qmx::test::TempDir;
using qmx::test::WriteFile;

namespace {

#define QMX_STR2(x) #x
#define QMX_STR(x) QMX_STR2(x)

const std::string kVersionText = std::string(QMX_STR(QMX_TEST_VERSION_MAJOR)) + ", " +
                                 QMX_STR(QMX_TEST_VERSION_MINOR) + ", " + QMX_STR(QMX_TEST_VERSION_PATCH) + ", " +
                                 QMX_STR(QMX_TEST_BUILD_NUMBER);
constexpr uint32_t kBuild = QMX_TEST_BUILD_NUMBER;
constexpr uint32_t kVersionHigh = (uint32_t{QMX_TEST_VERSION_MAJOR} << 16) | QMX_TEST_VERSION_MINOR;
constexpr uint32_t kVersionLow = (uint32_t{QMX_TEST_VERSION_PATCH} << 16) | (kBuild & 0xFFFF);

std::string Key(const std::string& name) { return "\\StringFileInfo\\040904B0\\" + name; }

// ---- blocks written by the test ------------------------------------------------------

std::string U32(uint32_t v) {
  std::string s(4, '\0');
  std::memcpy(s.data(), &v, 4);
  return s;
}

// Assembled at run time, so this test program itself holds no marker.
std::string Marker() {
  std::string m = "QMX410";
  m += "-VERBLOCK";
  m.push_back('\0');
  return m;
}

struct Block {
  uint32_t fixed[13] = {0xFEEF04BDu, 0x00010000u, 0x00020003u, 0x00040005u, 0x00020003u, 0x00040005u, 0x3F,
                        0, 0, 2, 0, 0, 0};
  std::vector<uint32_t> translations = {0x04B00409u};
  std::vector<std::pair<std::string, std::string>> strings = {{"040904B0/FileVersion", "2, 3, 4, 5"}};
  int sizeAdjust = 0;        // added to the recorded size
  bool terminate = true;     // the empty key that ends the strings
  uint32_t countOverride = 0xFFFFFFFF;

  std::string Bytes() const {
    std::string body;
    for (uint32_t f : fixed) body += U32(f);
    body += U32(countOverride != 0xFFFFFFFF ? countOverride : static_cast<uint32_t>(translations.size()));
    for (uint32_t t : translations) body += U32(t);
    for (const auto& [key, value] : strings) {
      body += key;
      body.push_back('\0');
      body += value;
      body.push_back('\0');
    }
    if (terminate) body.push_back('\0');
    const uint32_t total = static_cast<uint32_t>(16 + 4 + body.size() + sizeAdjust);
    return Marker() + U32(total) + body;
  }
};

// ---- blocks embedded by the build ---------------------------------------------------------

// The two files of this test the build embeds a block into.
struct Embedded {
  const char* path;
  uint32_t fileType;  // 1 program, 2 library
  const char* originalFilename;
  const char* description;
  const char* internalName;
};

const Embedded kEmbedded[] = {
    {QMX_OS_HELPER, 1, "QmxOsHelper.exe", "Operating-system layer test helper", "qmx_os_helper"},
    {QMX_OS_TESTLIB, 2, "QmxTestLib.dll", "Operating-system layer test library", "qmx_os_testlib"},
};

TEST(ReadVersionBlock, EmbeddedBlockFields) {
  for (const Embedded& e : kEmbedded) {
    SCOPED_TRACE(e.originalFilename);
    const auto block = ReadVersionBlock(e.path);
    ASSERT_TRUE(block.has_value());
    EXPECT_EQ(block->fixed[0], qmx::os::kFixedInfoSignature);
    EXPECT_EQ(block->fixed[1], 0x00010000u);
    EXPECT_EQ(block->fixed[2], kVersionHigh);
    EXPECT_EQ(block->fixed[3], kVersionLow);
    EXPECT_EQ(block->fixed[4], kVersionHigh);
    EXPECT_EQ(block->fixed[5], kVersionLow);
    EXPECT_EQ(block->fixed[6], 0x3Fu);
    EXPECT_EQ(block->fixed[9], e.fileType);
    EXPECT_EQ(block->translations, std::vector<uint32_t>{0x04B00409u});
    const auto& s = block->strings;
    const std::pair<const char*, std::string> strings[] = {
        {"FileVersion", kVersionText},
        {"ProductVersion", kVersionText},
        {"SpecialBuild", QMX_STR(QMX_TEST_BUILD_NUMBER)},
        {"OriginalFilename", e.originalFilename},
        {"FileDescription", e.description},
        {"InternalName", e.internalName},
        {"ProductName", "QMX-410 Tools"},
        {"CompanyName", "Kestun Automation"},
    };
    for (const auto& [key, value] : strings) {
      ASSERT_TRUE(s.count(Key(key))) << key;
      EXPECT_EQ(s.at(Key(key)), value) << key;
    }
    EXPECT_EQ(s.count(Key("PrivateBuild")), 0u);
  }
}

TEST(ReadVersionBlock, FilesWithoutABlock) {
  TempDir dir("qmx-version");
  WriteFile(dir / "empty", "");
  WriteFile(dir / "text.txt", "just some text\n");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);  // no writer: a blocking open would hang
  for (const fs::path& path :
       {dir / "empty", dir / "text.txt", dir / "missing", dir.path(), dir / "fifo", fs::path("/bin/sh")})
    EXPECT_FALSE(ReadVersionBlock(path)) << path;
}

TEST(ReadVersionBlock, WrittenBlockIsReadAtAnyOffset) {
  TempDir dir("qmx-version");
  Block b;
  b.translations = {0x04B00409u, 0x04E40407u};
  b.strings = {{"040904B0/FileVersion", "2, 3, 4, 5"}, {"040704E4/FileVersion", "2, 3, 4, 5 de"}, {"NoSlash", "x"}};
  WriteFile(dir / "f", std::string(1001, '\x7F') + b.Bytes() + std::string(77, '\0'));
  const auto block = ReadVersionBlock(dir / "f");
  ASSERT_TRUE(block.has_value());
  EXPECT_EQ(block->fixed[2], 0x00020003u);
  EXPECT_EQ(block->translations, (std::vector<uint32_t>{0x04B00409u, 0x04E40407u}));
  EXPECT_EQ(block->strings.size(), 2u);  // a key without translation is skipped
  EXPECT_EQ(block->strings.at("\\StringFileInfo\\040704E4\\FileVersion"), "2, 3, 4, 5 de");
}

TEST(ReadVersionBlock, DamagedBlocksAreRefused) {
  TempDir dir("qmx-version");
  std::vector<std::pair<std::string, std::string>> damaged;
  {
    Block b;
    b.fixed[0] = 0xFEEF04BCu;
    damaged.push_back({"wrong signature", b.Bytes()});
  }
  {
    Block b;
    b.sizeAdjust = 1;
    damaged.push_back({"size beyond the file", b.Bytes()});
  }
  {
    Block b;
    b.sizeAdjust = -static_cast<int>(b.Bytes().size()) + 20;
    damaged.push_back({"size below the header", b.Bytes()});
  }
  {
    Block b;
    b.countOverride = 1000;
    damaged.push_back({"translation count too large", b.Bytes() + std::string(8000, '\0')});
  }
  {
    Block b;
    b.strings = {{"040904B0/FileVersion", "2, 3"}};
    b.terminate = false;
    std::string bytes = b.Bytes();
    bytes.pop_back();  // the value's terminator is cut off: the recorded size ends inside the value
    const uint32_t total = static_cast<uint32_t>(bytes.size());
    std::memcpy(bytes.data() + 16, &total, 4);
    damaged.push_back({"value without terminator", bytes});
  }
  {
    Block b;
    b.strings = {{"040904B0/FileVersion", ""}};
    b.terminate = false;
    std::string bytes = b.Bytes();
    bytes.resize(bytes.size() - 1);  // key without any value
    const uint32_t total = static_cast<uint32_t>(bytes.size());
    std::memcpy(bytes.data() + 16, &total, 4);
    damaged.push_back({"key without value", bytes});
  }
  damaged.push_back({"marker at the very end", std::string(10, 'x') + Marker()});
  damaged.push_back({"header cut short", Block().Bytes().substr(0, 40)});

  for (const auto& [what, bytes] : damaged) {
    WriteFile(dir / "f", bytes);
    EXPECT_FALSE(ReadVersionBlock(dir / "f")) << what;
  }
}

TEST(ReadVersionBlock, FirstValidBlockWins) {
  TempDir dir("qmx-version");
  Block bad;
  bad.fixed[0] = 0;
  Block good;
  good.strings = {{"040904B0/SpecialBuild", "good"}};
  Block later;
  later.strings = {{"040904B0/SpecialBuild", "later"}};
  WriteFile(dir / "f", Marker() + "junk" + bad.Bytes() + good.Bytes() + later.Bytes());
  const auto block = ReadVersionBlock(dir / "f");
  ASSERT_TRUE(block.has_value());
  EXPECT_EQ(block->strings.at(Key("SpecialBuild")), "good");
}

// ---- where in a program file the block is looked for ------------------------------------

// The file offset of the named section of an ELF64 file.
size_t SectionOffset(const std::string& elf, const char* name) {
  Elf64_Ehdr header;
  std::memcpy(&header, elf.data(), sizeof header);
  auto sectionAt = [&](size_t index) {
    Elf64_Shdr section;
    std::memcpy(&section, elf.data() + header.e_shoff + index * header.e_shentsize, sizeof section);
    return section;
  };
  const Elf64_Shdr names = sectionAt(header.e_shstrndx);
  for (size_t i = 0; i < header.e_shnum; ++i) {
    const Elf64_Shdr section = sectionAt(i);
    if (std::strcmp(elf.data() + names.sh_offset + section.sh_name, name) == 0) return section.sh_offset;
  }
  return std::string::npos;
}

// A program's block is read from its version section by the section table:
// a block elsewhere in the file (here written over the start of its code,
// before the section) is not the program's; a file whose section holds no
// valid block is searched whole.
TEST(ReadVersionBlock, AProgramIsReadInItsVersionSection) {
  TempDir dir("qmx-version");
  const std::string program = qmx::test::ReadFile(QMX_OS_HELPER);
  ASSERT_EQ(program.compare(0, 4, "\x7F" "ELF"), 0);
  const size_t code = SectionOffset(program, ".text");
  const size_t version = SectionOffset(program, ".qmx_version");
  ASSERT_NE(code, std::string::npos);
  ASSERT_NE(version, std::string::npos);
  ASSERT_LT(code, version);
  Block other;
  other.strings = {{"040904B0/FileVersion", "9, 9, 9, 9"}};
  const std::string otherBytes = other.Bytes();

  std::string elsewhere = program;
  elsewhere.replace(code, otherBytes.size(), otherBytes);
  WriteFile(dir / "elsewhere", elsewhere);
  auto block = ReadVersionBlock(dir / "elsewhere");
  ASSERT_TRUE(block.has_value());
  EXPECT_EQ(block->strings.at(Key("FileVersion")), kVersionText);

  std::string broken = program;
  const size_t marker = program.find(Marker(), version);
  ASSERT_NE(marker, std::string::npos);
  broken[marker + 20] = 0;  // the fixed record's signature
  WriteFile(dir / "broken", broken + otherBytes);
  block = ReadVersionBlock(dir / "broken");
  ASSERT_TRUE(block.has_value());
  EXPECT_EQ(block->strings.at(Key("FileVersion")), "9, 9, 9, 9");
}

// ---- FileVersionInfo ----------------------------------------------------------------------

TEST(FileVersionInfo, KeyNames) {
  const char* expected[] = {"Comments",        "CompanyName",    "FileDescription", "FileVersion", "InternalName",
                            "LegalCopyright",  "LegalTrademarks", "OriginalFilename", "PrivateBuild", "ProductName",
                            "ProductVersion",  "SpecialBuild",    "OLESelfRegister"};
  for (int i = 0; i < 13; ++i) {
    ASSERT_NE(FileVersionInfo::GetKeyName(i), nullptr) << i;
    EXPECT_STREQ(FileVersionInfo::GetKeyName(i), expected[i]);
  }
  EXPECT_EQ(FileVersionInfo::GetKeyName(13), nullptr);
  EXPECT_EQ(FileVersionInfo::GetKeyName(-1), nullptr);
  EXPECT_EQ(FileVersionInfo::GetKeyName(1000), nullptr);
}

TEST(FileVersionInfo, EmptyReaderAnswersNothing) {
  FileVersionInfo info;
  EXPECT_EQ(info.IsValid(), 0);
  EXPECT_EQ(info.GetTranslationCount(), 0);
  EXPECT_EQ(info.GetTranslation(0), 0u);
  char buffer[16] = "unchanged";
  EXPECT_EQ(info.GetStringValue("FileVersion", buffer, sizeof(buffer)), 0);
  EXPECT_EQ(info.GetStringValue(std::string("FileVersion")), "");
}

TEST(FileVersionInfo, LoadsTheEmbeddedBlocks) {
  for (const Embedded& e : kEmbedded) {
    SCOPED_TRACE(e.originalFilename);
    FileVersionInfo info;
    ASSERT_EQ(info.Load(e.path), 1);
    EXPECT_EQ(info.IsValid(), 1);
    const FixedFileInfo& fixed = info.GetFixedInfo();
    EXPECT_EQ(fixed.signature, 0xFEEF04BDu);
    EXPECT_EQ(fixed.strucVersion, 0x00010000u);
    EXPECT_EQ(fixed.fileVersionMS, kVersionHigh);
    EXPECT_EQ(fixed.fileVersionLS, kVersionLow);
    EXPECT_EQ(fixed.productVersionMS, kVersionHigh);
    EXPECT_EQ(fixed.productVersionLS, kVersionLow);
    EXPECT_EQ(fixed.fileType, e.fileType);
    EXPECT_EQ(info.GetTranslationCount(), 1);
    EXPECT_EQ(info.GetTranslation(0), 0x04B00409u);
    EXPECT_EQ(info.GetTranslation(1), 0u);
    EXPECT_EQ(info.GetTranslation(-1), 0u);

    char buffer[128];
    ASSERT_EQ(info.GetStringValue("FileVersion", buffer, sizeof(buffer)), 1);
    EXPECT_EQ(std::string(buffer), kVersionText);
    const std::pair<const char*, std::string> strings[] = {
        {"SpecialBuild", QMX_STR(QMX_TEST_BUILD_NUMBER)},
        {"ProductName", "QMX-410 Tools"},
        {"OriginalFilename", e.originalFilename},
        {"FileDescription", e.description},
        {"Comments", "Configuration and commissioning suite for QMX-410 I/O stations"},
    };
    for (const auto& [key, value] : strings) EXPECT_EQ(info.GetStringValue(std::string(key)), value) << key;
  }
}

TEST(FileVersionInfo, StringValueBufferRules) {
  FileVersionInfo info;
  ASSERT_EQ(info.Load(QMX_OS_HELPER), 1);
  char buffer[8];
  // the last place holds the terminator
  std::memset(buffer, 'Z', sizeof(buffer));
  ASSERT_EQ(info.GetStringValue("FileVersion", buffer, 5), 1);
  EXPECT_STREQ(buffer, kVersionText.substr(0, 4).c_str());
  EXPECT_EQ(buffer[5], 'Z') << "wrote past the given size";
  // refused: no key, no room
  EXPECT_EQ(info.GetStringValue(nullptr, buffer, 8), 0);
  EXPECT_EQ(info.GetStringValue("FileVersion", buffer, 0), 0);
  EXPECT_EQ(info.GetStringValue("FileVersion", buffer, -1), 0);
  // an unknown key clears the buffer
  std::memset(buffer, 'Z', sizeof(buffer));
  EXPECT_EQ(info.GetStringValue("PrivateBuild", buffer, 8), 0);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(info.GetStringValue(std::string("PrivateBuild")), "");
  // a translation that does not exist finds nothing
  info.SetCurrentTranslation(1);
  EXPECT_EQ(info.GetStringValue(std::string("FileVersion")), "");
  info.SetCurrentTranslation(0);
  EXPECT_EQ(info.GetStringValue(std::string("FileVersion")), kVersionText);
}

TEST(FileVersionInfo, LongValuesAreNotCut) {
  TempDir dir("qmx-version");
  Block b;
  const std::string long_value(1000, 'c');
  b.strings = {{"040904B0/Comments", long_value}};
  WriteFile(dir / "f", b.Bytes());
  FileVersionInfo info;
  ASSERT_EQ(info.Load((dir / "f").string()), 1);
  EXPECT_EQ(info.GetStringValue(std::string("Comments")), long_value);
  std::vector<char> buffer(2000, 'Z');
  ASSERT_EQ(info.GetStringValue("Comments", buffer.data(), static_cast<int>(buffer.size())), 1);
  EXPECT_EQ(std::string(buffer.data()), long_value);
}

TEST(FileVersionInfo, SecondTranslation) {
  TempDir dir("qmx-version");
  Block b;
  b.translations = {0x04B00409u, 0x04E40407u};
  b.strings = {{"040904B0/FileDescription", "english"}, {"040704E4/FileDescription", "deutsch"}};
  WriteFile(dir / "f", b.Bytes());
  FileVersionInfo info;
  ASSERT_EQ(info.Load((dir / "f").string()), 1);
  EXPECT_EQ(info.GetTranslationCount(), 2);
  EXPECT_EQ(info.GetTranslation(1), 0x04E40407u);
  EXPECT_EQ(info.GetStringValue(std::string("FileDescription")), "english");
  info.SetCurrentTranslation(1);
  EXPECT_EQ(info.GetStringValue(std::string("FileDescription")), "deutsch");
}

TEST(FileVersionInfo, FailedLoadLeavesTheReaderCleared) {
  TempDir dir("qmx-version");
  WriteFile(dir / "text.txt", "no block here");
  Block noTranslations;
  noTranslations.translations.clear();
  WriteFile(dir / "no-translations", noTranslations.Bytes());
  Block wrongSignature;
  wrongSignature.fixed[0] = 0x12345678u;
  WriteFile(dir / "wrong-signature", wrongSignature.Bytes());

  for (const fs::path& path : {fs::path(), dir / "missing", dir / "text.txt", dir / "no-translations",
                               dir / "wrong-signature", fs::path("/bin/sh")}) {
    FileVersionInfo info;
    ASSERT_EQ(info.Load(QMX_OS_HELPER), 1);
    EXPECT_EQ(info.Load(path.string()), 0) << path;
    EXPECT_EQ(info.IsValid(), 0) << path;
    EXPECT_EQ(info.GetFixedInfo().signature, 0u) << path;
    EXPECT_EQ(info.GetFixedInfo().fileVersionMS, 0u) << path;
    EXPECT_EQ(info.GetTranslationCount(), 0) << path;
    EXPECT_EQ(info.GetTranslation(0), 0u) << path;
    EXPECT_EQ(info.GetStringValue(std::string("FileVersion")), "") << path;
  }
}

TEST(FileVersionInfo, CopiesStandOnTheirOwn) {
  std::vector<FileVersionInfo> infos;
  {
    FileVersionInfo original;
    ASSERT_EQ(original.Load(QMX_OS_HELPER), 1);
    infos.push_back(original);
    FileVersionInfo assigned;
    assigned = original;
    infos.push_back(assigned);
  }  // the original's table is gone
  for (int i = 0; i < 50; ++i) infos.emplace_back();  // moves the copies around
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(infos[i].GetTranslation(0), 0x04B00409u);
    EXPECT_EQ(infos[i].GetStringValue(std::string("FileVersion")), kVersionText);
  }
}

TEST(FileVersionInfo, ReloadForgetsTheOldStrings) {
  TempDir dir("qmx-version");
  Block b;
  b.strings = {{"040904B0/FileVersion", "9, 9, 9, 9"}};
  WriteFile(dir / "f", b.Bytes());
  FileVersionInfo info;
  ASSERT_EQ(info.Load(QMX_OS_HELPER), 1);
  ASSERT_EQ(info.Load((dir / "f").string()), 1);
  EXPECT_EQ(info.GetStringValue(std::string("FileVersion")), "9, 9, 9, 9");
  EXPECT_EQ(info.GetStringValue(std::string("ProductName")), "");
  EXPECT_EQ(info.GetFixedInfo().fileType, 2u);
}

}  // namespace
