// The settings file: its exact bytes, reading it back, the reader's stopping
// rules, and a save that fails without harming the previous file.
#include "app/model/AppOptions.h"
#include "app/model/ProgramPaths.h"
#include "tests/support/load_failure_line.h"
#include "app/model/ReaderConventions.h"
#include "tests/model_settings/log_capture.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using qmx::test::LogCapture;
using qmx::test::ReadFile;
using qmx::test::ScopedEnv;
using qmx::test::SourcePath;
using qmx::test::TempDir;
using qmx::test::WriteFile;

namespace {

// The settings of the "special" golden file: entities, Korean text, a
// character EUC-KR cannot hold, unusual numbers.
void FillSpecial(AppOptions& o, ConfigExtras& x) {
  x.copyright = "A & B <C> \"D\" 주식회사";
  o.Language = "Kor";
  o.StartUpTitle = "한글 시작";
  o.StartUpPath = "file:///opt/start.htm?a=1&b=2";
  o.ViewMode = "Product, Desc View";
  o.PrjUsrFolder = "/home/user/프로젝트 😀";
  o.MaxWndDisplay = 25;
  o.MaxLogFileSize = 3000;
  o.EraseOldLogFileDays = -3;
  const int wnd[4] = {0, 1, 2, -1};
  const int file[4] = {1, 0, 1, 0};
  for (int i = 0; i < 4; ++i) {
    o.WndEnable[i] = wnd[i];
    o.FileEnable[i] = file[i];
  }
}

void ExpectSameOptions(const AppOptions& a, const AppOptions& b) {
  EXPECT_EQ(a.Language, b.Language);
  EXPECT_EQ(a.StartUpTitle, b.StartUpTitle);
  EXPECT_EQ(a.StartUpPath, b.StartUpPath);
  EXPECT_EQ(a.ViewMode, b.ViewMode);
  EXPECT_EQ(a.PrjUsrFolder, b.PrjUsrFolder);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(a.WndEnable[i], b.WndEnable[i]) << "window switch " << i;
    EXPECT_EQ(a.FileEnable[i], b.FileEnable[i]) << "file switch " << i;
  }
  EXPECT_EQ(a.MaxWndDisplay, b.MaxWndDisplay);
  EXPECT_EQ(a.MaxLogFileSize, b.MaxLogFileSize);
  EXPECT_EQ(a.EraseOldLogFileDays, b.EraseOldLogFileDays);
}

// A settings file with the given body lines between the declaration and the end.
std::string ConfigText(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\r\n<Ferrowyn Copyright=\"Mine\">\r\n" + body + "</Ferrowyn>\r\n";
}

const std::string kFullBody =
    "<Options Language=\"Eng\"/>\r\n"
    "<StartUp Title=\"T\" Path=\"P\"/>\r\n"
    "<Default ViewMode=\"User View\" PrjUsrFolder=\"\"/>\r\n"
    "<LogOption MaxWndDisplay=\"7\" MaxLogFileSize=\"2\" EraseOldLogFileDays=\"3\">\r\n"
    "<WndEnable>\r\n<Assign Value=\"0\"/>\r\n<Assign Value=\"0\"/>\r\n<Assign Value=\"1\"/>\r\n<Assign Value=\"1\"/>\r\n"
    "</WndEnable>\r\n"
    "<FileEnable>\r\n<Assign Value=\"0\"/>\r\n<Assign Value=\"0\"/>\r\n<Assign Value=\"1\"/>\r\n<Assign Value=\"1\"/>\r\n"
    "</FileEnable>\r\n"
    "</LogOption>\r\n";

// Runs `body` while the file system refuses to grow a file past `limit`
// bytes (the write fails with EFBIG, "File too large"), and answers what it
// answers.
template <typename Body>
auto UnderFileSizeLimit(rlim_t limit, Body body) {
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = limit;
  EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const auto result = body();
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  return result;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

}  // namespace

TEST(AppOptionsTest, DefaultsAndSwitchSections) {
  AppOptions o;
  EXPECT_EQ(o.Language, "Eng");
  EXPECT_EQ(o.StartUpTitle, "Kestun Main");
  EXPECT_EQ(o.ViewMode, "User View");
  EXPECT_EQ(o.PrjUsrFolder, "");
  EXPECT_EQ(o.MaxWndDisplay, 1000);
  EXPECT_EQ(o.MaxLogFileSize, 5);
  EXPECT_EQ(o.EraseOldLogFileDays, 14);

  o.SetLogEnable("wnd", 3, 7);
  o.SetLogEnable("File", 0, -2);
  o.SetLogEnable("WINDOW", 1, 9);  // unknown section
  o.SetLogEnable("WND", 4, 9);     // index out of range
  o.SetLogEnable("FILE", -1, 9);
  const int wnd[4] = {1, 1, 0, 7};
  const int file[4] = {-2, 1, 0, 0};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(o.WndEnable[i], wnd[i]);
    EXPECT_EQ(o.FileEnable[i], file[i]);
  }
}

TEST(AppOptionsTest, DecimalConversion) {
  const struct {
    const char* text;
    int value;
  } cases[] = {{"42", 42},          {"  -12abc", -12},           {"+7", 7},           {"abc", 0},  {"", 0},
               {" - 5", 0},         {"99999999999", 2147483647}, {"-99999999999", -2147483647 - 1},
               {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1}, {"\t3", 3}};
  for (const auto& c : cases) EXPECT_EQ(qmx::reader::DecimalTextToInt(c.text), c.value) << '"' << c.text << '"';
}

// ---- writing --------------------------------------------------------------------

TEST(SettingsWriterTest, DefaultsMatchGoldenAndShippedFile) {
  TempDir dir("settings");
  LogCapture log;
  ASSERT_EQ(SaveConfigFile(dir.path().string(), AppOptions(), ConfigExtras()), 1);
  const std::string written = ReadFile(dir / "QMX410Tools.xml");
  EXPECT_EQ(written, ReadFile(SourcePath("tests/model_settings/golden/QMX410Tools_defaults.xml")));
  // The program folder ships exactly what the writer writes for the defaults.
  EXPECT_EQ(written, ReadFile(SourcePath("resources/QMX410Tools/QMX410Tools.xml")));
  EXPECT_TRUE(log.HasText("Save configuration is completed. Path: " + (dir / "QMX410Tools.xml").string()));
  EXPECT_FALSE(fs::exists(dir / "QMX410Tools.xml.tmp"));
  EXPECT_TRUE(LogCapture::Boxes().empty());
}

TEST(SettingsWriterTest, SpecialValuesMatchGolden) {
  TempDir dir("settings");
  LogCapture log;
  AppOptions o;
  ConfigExtras x;
  FillSpecial(o, x);
  ASSERT_EQ(SaveConfigFile(dir.path().string(), o, x), 1);
  EXPECT_EQ(ReadFile(dir / "QMX410Tools.xml"),
            ReadFile(SourcePath("tests/model_settings/golden/QMX410Tools_special.xml")));
}

TEST(SettingsWriterTest, SaveThenReadGivesBackEveryOption) {
  TempDir dir("settings");
  LogCapture log;
  AppOptions saved;
  ConfigExtras savedExtras;
  FillSpecial(saved, savedExtras);
  ASSERT_EQ(SaveConfigFile(dir.path().string(), saved, savedExtras), 1);

  AppOptions read;
  ConfigExtras extras;
  extras.projectsFolder = "/prog/Projects";
  ASSERT_EQ(ParseConfigFile((dir / "QMX410Tools.xml").string(), read, extras), 1);
  ExpectSameOptions(read, saved);
  EXPECT_EQ(extras.copyright, savedExtras.copyright);
  EXPECT_TRUE(extras.viewModeRead);
  EXPECT_EQ(extras.viewMode, 2);
  EXPECT_EQ(extras.projectsFolder, saved.PrjUsrFolder);
  EXPECT_TRUE(log.WithCode(-6001).empty());
}

TEST(SettingsWriterTest, ReplacesAnExistingFileAndKeepsItsAccessRights) {
  TempDir dir("settings");
  LogCapture log;
  const fs::path file = dir / "QMX410Tools.xml";
  WriteFile(file, "old and much longer text than the new file will be ......................................"
                  "..........................................................................................."
                  "..........................................................................................."
                  "..........................................................................................."
                  "..........................................................................................."
                  "...........................................................................................");
  fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_EQ(SaveConfigFile(dir.path().string(), AppOptions(), ConfigExtras()), 1);
  EXPECT_EQ(ReadFile(file), ReadFile(SourcePath("tests/model_settings/golden/QMX410Tools_defaults.xml")));
  EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(SettingsWriterTest, FolderThatCannotExistReportsMinus1003) {
  TempDir dir("settings");
  LogCapture log;
  WriteFile(dir / "plainfile", "x");
  const std::string folder = (dir / "plainfile" / "sub").string();
  EXPECT_EQ(SaveConfigFile(folder, AppOptions(), ConfigExtras()), 0);
  const std::string path = folder + "/QMX410Tools.xml";
  ASSERT_EQ(log.WithCode(-1003).size(), 1u);
  EXPECT_EQ(log.WithCode(-1003)[0].text,
            "[Error Code: -1003] Cannot open the file during saving. Check if the file exists or using. File: " + path +
                ".");
  EXPECT_EQ(log.WithCode(-1003)[0].category, 0);
  ASSERT_EQ(LogCapture::Boxes().size(), 1u);
  EXPECT_EQ(LogCapture::Boxes()[0].first,
            "Cannot open the file during saving. Check if the file exists or using.\nError Code: -1003. File: " + path +
                ".");
  EXPECT_EQ(LogCapture::Boxes()[0].second, qmx::kBoxIconStop);
}

TEST(SettingsWriterTest, ATemporaryThatCannotBeMadeFallsBackToWritingInPlace) {
  TempDir dir("settings");
  LogCapture log;
  const fs::path file = dir / "QMX410Tools.xml";
  WriteFile(file, ConfigText(kFullBody));
  // The new file cannot be made beside the old one (as in a folder that
  // refuses new files while the settings file stays writable).
  fs::create_directory(dir / "QMX410Tools.xml.tmp");
  AppOptions changed;
  changed.Language = "Kor";
  EXPECT_EQ(SaveConfigFile(dir.path().string(), changed, ConfigExtras()), 1);
  EXPECT_EQ(ReadFile(file), FormatConfigFile(changed, ConfigExtras()));
  // The same text went to the backup first, before the file was cut.
  EXPECT_EQ(ReadFile(dir / "QMX410Tools.xml.bak"), FormatConfigFile(changed, ConfigExtras()));
  EXPECT_TRUE(log.WithCode(-1003).empty());
  EXPECT_TRUE(log.HasText("Save configuration is completed. Path: " + file.string()));
}

TEST(SettingsWriterTest, NoRewriteInPlaceWithoutABackup) {
  TempDir dir("settings");
  LogCapture log;
  const fs::path file = dir / "QMX410Tools.xml";
  const std::string old = ConfigText(kFullBody);
  WriteFile(file, old);
  // Neither the temporary nor a backup can be made: beside the file the names
  // are taken, and the cache folders are plain files.
  fs::create_directory(dir / "QMX410Tools.xml.tmp");
  fs::create_directory(dir / "QMX410Tools.xml.bak");
  WriteFile(dir / "cache", "x");
  fs::create_directory(dir / "home");
  WriteFile(dir / "home" / ".cache", "x");
  int rc = 0;
  {
    ScopedEnv cache("XDG_CACHE_HOME", (dir / "cache").string());
    ScopedEnv home("HOME", (dir / "home").string());
    rc = SaveConfigFile(dir.path().string(), AppOptions(), ConfigExtras());
  }
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(ReadFile(file), old);
  ASSERT_EQ(log.WithCode(-1003).size(), 1u);
  EXPECT_NE(log.WithCode(-1003)[0].text.find("File: " + (dir / "QMX410Tools.xml.bak").string() + "."),
            std::string::npos);
}

TEST(SettingsWriterTest, TheTemporaryOfAnInterruptedSaveIsRemoved) {
  TempDir dir("settings");
  LogCapture log;
  WriteFile(dir / "QMX410Tools.xml.tmp", "<Ferrowyn");
  ASSERT_EQ(SaveConfigFile(dir.path().string(), AppOptions(), ConfigExtras()), 1);
  EXPECT_FALSE(fs::exists(dir / "QMX410Tools.xml.tmp"));
  EXPECT_EQ(ReadFile(dir / "QMX410Tools.xml"), FormatConfigFile(AppOptions(), ConfigExtras()));
}

TEST(SettingsWriterTest, WriteErrorReportsMinus1006AndLeavesTheOldFileIntact) {
  TempDir dir("settings");
  LogCapture log;
  const fs::path file = dir / "QMX410Tools.xml";
  const std::string old = ConfigText(kFullBody);
  WriteFile(file, old);

  // A file-size limit below the settings text makes the write itself fail.
  const int rc = UnderFileSizeLimit(64, [&] { return SaveConfigFile(dir.path().string(), AppOptions(), ConfigExtras()); });

  EXPECT_EQ(rc, 0);
  EXPECT_EQ(ReadFile(file), old);
  EXPECT_FALSE(fs::exists(dir / "QMX410Tools.xml.tmp"));
  const auto lines = log.WithCode(-1006);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].source, "QMX-410Tools");
  EXPECT_EQ(lines[0].text,
            "[Error Code: -1006] Cannot save the file. Cause: File too large. Path: " + file.string() + ".");
  ASSERT_EQ(LogCapture::Boxes().size(), 1u);
  EXPECT_EQ(LogCapture::Boxes()[0].first,
            "Cannot save the file. Cause: File too large.\nError Code: -1006. Path: " + file.string() + ".");
}

// ---- reading --------------------------------------------------------------------

TEST(SettingsReaderTest, ReadsEveryValueAndLogsStartAndEnd) {
  TempDir dir("settings");
  LogCapture log;
  const fs::path file = dir / "QMX410Tools.xml";
  WriteFile(file, ConfigText(kFullBody));
  AppOptions o;
  ConfigExtras x;
  x.projectsFolder = "/prog/Projects";
  ASSERT_EQ(ParseConfigFile(file.string(), o, x), 1);
  EXPECT_EQ(x.copyright, "Mine");
  EXPECT_EQ(o.StartUpTitle, "T");
  EXPECT_EQ(o.StartUpPath, "P");
  EXPECT_EQ(o.MaxWndDisplay, 7);
  EXPECT_EQ(o.MaxLogFileSize, 2);
  EXPECT_EQ(o.EraseOldLogFileDays, 3);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(o.WndEnable[i], i < 2 ? 0 : 1);
    EXPECT_EQ(o.FileEnable[i], i < 2 ? 0 : 1);
  }
  // An empty PrjUsrFolder keeps the Projects folder under the program folder.
  EXPECT_EQ(x.projectsFolder, "/prog/Projects");
  const auto lines = log.records();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front().category, 4);
  EXPECT_EQ(lines.front().text, "Start parsing definition file. File:" + file.string());
  EXPECT_EQ(lines.back().category, 4);
  EXPECT_EQ(lines.back().text, "End parsing definition file. File:" + file.string() + ". Result: 1");
}

TEST(SettingsReaderTest, CommentTakesAPositionAmongTheSwitches) {
  TempDir dir("settings");
  LogCapture log;
  const fs::path file = dir / "QMX410Tools.xml";
  WriteFile(file, ConfigText(Replace(kFullBody, "<WndEnable>\r\n", "<WndEnable>\r\n<!-- first -->\r\n")));
  AppOptions o;
  ConfigExtras x;
  ASSERT_EQ(ParseConfigFile(file.string(), o, x), 1);
  // Window switch 0 keeps its default; 1 to 3 come from the first three Assign.
  EXPECT_EQ(o.WndEnable[0], 1);
  EXPECT_EQ(o.WndEnable[1], 0);
  EXPECT_EQ(o.WndEnable[2], 0);
  EXPECT_EQ(o.WndEnable[3], 1);
  EXPECT_TRUE(log.WithCode(-6001).empty());
}

TEST(SettingsReaderTest, MissingElementStopsTheReadingThere) {
  TempDir dir("settings");
  LogCapture log;
  const fs::path file = dir / "QMX410Tools.xml";
  WriteFile(file, ConfigText(Replace(Replace(kFullBody, "<StartUp Title=\"T\" Path=\"P\"/>\r\n", ""), "Eng", "Fra")));
  AppOptions o;
  ConfigExtras x;
  EXPECT_EQ(ParseConfigFile(file.string(), o, x), 1);
  EXPECT_EQ(o.Language, "Fra");  // read before the gap
  ExpectSameOptions(o, [] {
    AppOptions expected;
    expected.Language = "Fra";
    return expected;
  }());
  const auto lines = log.WithCode(-6001);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].category, 0);
  EXPECT_EQ(lines[0].source, "QMX-410 Tools");
  EXPECT_EQ(lines[0].text, "[Error Code: -6001] Exception is happened. Invalid pointer. Func:ParseConfigFile. "
                           "Loc:/Ferrowyn/StartUp. xml file: " +
                               file.string() + ".");
  EXPECT_EQ(log.records().back().text, "End parsing definition file. File:" + file.string() + ". Result: 1");
}

TEST(SettingsReaderTest, MissingAttributeNamesItsElementPath) {
  const struct {
    const char* from;
    const char* to;
    const char* location;
  } cases[] = {
      {"EraseOldLogFileDays=\"3\"", "", "/Ferrowyn/LogOption"},
      {"<FileEnable>\r\n<Assign Value=\"0\"/>", "<FileEnable>\r\n<Assign/>", "/Ferrowyn/LogOption/FileEnable"},
      {" PrjUsrFolder=\"\"", "", "/Ferrowyn/Default"},
      {"</LogOption>\r\n", "</LogOption>\r\n", "/Ferrowyn"},  // Copyright removed below
  };
  for (const auto& c : cases) {
    TempDir dir("settings");
    LogCapture log;
    const fs::path file = dir / "QMX410Tools.xml";
    std::string text = ConfigText(Replace(kFullBody, c.from, c.to));
    if (std::string(c.location) == "/Ferrowyn") text = Replace(text, " Copyright=\"Mine\"", "");
    WriteFile(file, text);
    AppOptions o;
    ConfigExtras x;
    EXPECT_EQ(ParseConfigFile(file.string(), o, x), 1) << c.location;
    const auto lines = log.WithCode(-6001);
    ASSERT_EQ(lines.size(), 1u) << c.location;
    EXPECT_NE(lines[0].text.find(std::string(". Loc:") + c.location + ". xml file:"), std::string::npos)
        << lines[0].text;
  }
}

TEST(SettingsReaderTest, ViewModeTexts) {
  const struct {
    const char* text;
    bool read;
    int mode;
  } cases[] = {{"product view", true, 1},       {"Application View", true, 1}, {"PRODUCT, DESC VIEW", true, 2},
               {"User View", true, 0},          {"anything", true, 0},         {"", false, 5},
               {"   ", false, 5}};
  for (const auto& c : cases) {
    TempDir dir("settings");
    LogCapture log;
    const fs::path file = dir / "QMX410Tools.xml";
    WriteFile(file, ConfigText(Replace(kFullBody, "ViewMode=\"User View\"", std::string("ViewMode=\"") + c.text + "\"")));
    AppOptions o;
    ConfigExtras x;
    x.viewMode = 5;  // the frame's current number
    ASSERT_EQ(ParseConfigFile(file.string(), o, x), 1);
    EXPECT_EQ(o.ViewMode, c.text);
    EXPECT_EQ(x.viewModeRead, c.read) << c.text;
    EXPECT_EQ(x.viewMode, c.mode) << c.text;
  }
}

TEST(SettingsReaderTest, UnusualValues) {
  TempDir dir("settings");
  LogCapture log;
  const fs::path file = dir / "QMX410Tools.xml";
  std::string body = Replace(kFullBody, "MaxLogFileSize=\"2\"", "MaxLogFileSize=\"big\"");
  body = Replace(body, "PrjUsrFolder=\"\"", "PrjUsrFolder=\" /data/prj \"");
  body = Replace(body, "MaxWndDisplay=\"7\"", "MaxWndDisplay=\" -40x\"");
  WriteFile(file, Replace(ConfigText(body), "Copyright=\"Mine\"", "Copyright=\"  \""));
  AppOptions o;
  ConfigExtras x;
  x.copyright = "keep me";
  ASSERT_EQ(ParseConfigFile(file.string(), o, x), 1);
  EXPECT_EQ(o.MaxLogFileSize, 0);
  EXPECT_EQ(o.MaxWndDisplay, -40);
  EXPECT_EQ(o.PrjUsrFolder, " /data/prj ");
  EXPECT_EQ(x.projectsFolder, " /data/prj ");
  EXPECT_EQ(x.copyright, "keep me");  // a blank copyright changes nothing
}

TEST(SettingsReaderTest, FileThatDoesNotLoad) {
  const struct {
    const char* name;
    const char* content;  // nullptr: no file
  } cases[] = {{"missing", nullptr}, {"malformed", "<?xml version=\"1.0\"?>\r\n<Ferrowyn>\r\n<Options"}};
  for (const auto& c : cases) {
    TempDir dir("settings");
    LogCapture log;
    const fs::path file = dir / "QMX410Tools.xml";
    if (c.content) WriteFile(file, c.content);
    AppOptions o;
    o.Language = "Xyz";
    ConfigExtras x;
    EXPECT_EQ(ParseConfigFile(file.string(), o, x), 0) << c.name;
    EXPECT_EQ(o.Language, "Xyz");
    const auto lines = log.WithCode(-1027);
    ASSERT_EQ(lines.size(), 1u) << c.name;
    EXPECT_TRUE(IsLoadFailureLine(lines[0].text, file.string())) << lines[0].text;
    ASSERT_EQ(LogCapture::Boxes().size(), 1u);
    EXPECT_EQ(LogCapture::Boxes()[0].first,
              "Cannot open the file. Check if the file exists or using.\nXML File: " + file.string() + ".");
    // No end line: the file was not read.
    EXPECT_EQ(log.records().size(), 2u);
  }
}

TEST(SettingsReaderTest, AFileFarLargerThanASettingsFileIsRefusedUnread) {
  TempDir dir("settings");
  LogCapture log;
  const fs::path file = dir / "QMX410Tools.xml";
  WriteFile(file, "");
  fs::resize_file(file, 8u * 1024 * 1024);  // sparse: nothing to read if it were read
  AppOptions o;
  ConfigExtras x;
  EXPECT_EQ(ParseConfigFile(file.string(), o, x), 0);
  const auto lines = log.WithCode(-1027);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].text.find("Cause: The file " + file.string() +
                               " is too large to be read: 8388608 bytes, more than the 4194304 bytes"),
            std::string::npos)
      << lines[0].text;
}

// ---- reading a broken file ------------------------------------------------------------

namespace {

// A program folder (the shipped settings) and a settings folder of its own.
struct SettingsFolders {
  TempDir dir{"settings"};
  qmx::ProgramPaths paths;
  fs::path file;
  SettingsFolders() {
    fs::create_directories(dir / "program");
    fs::create_directories(dir / "config");
    WriteFile(dir / "program" / "QMX410Tools.xml", FormatConfigFile(AppOptions(), ConfigExtras()));
    paths.appDir = (dir / "program").string();
    paths.configDir = (dir / "config").string();
    file = dir / "config" / "QMX410Tools.xml";
  }
};

const std::string kCutShort = "<?xml version=\"1.0\" encoding=\"euc-kr\"?>\r\n<Ferrowyn Copy";

}  // namespace

TEST(SettingsRecoveryTest, WithNothingToStandInTheFileIsReportedAsBefore) {
  const struct {
    const char* name;
    bool perUser;
    bool present;
  } cases[] = {{"broken, in the program folder", false, true},
               {"missing, in the program folder", false, false},
               {"missing per-user file", true, false}};
  for (const auto& c : cases) {
    SettingsFolders f;
    f.paths.perUser = c.perUser;
    LogCapture log;
    if (c.present) WriteFile(f.file, kCutShort);
    // A backup that is broken as well does not stand in.
    WriteFile(f.file.string() + ".bak", "");
    AppOptions read;
    ConfigExtras extras;
    EXPECT_EQ(ReadSettingsFile(f.paths, read, extras), 0) << c.name;
    EXPECT_EQ(log.WithCode(-1027).size(), 1u) << c.name;
    EXPECT_EQ(fs::exists(f.file), c.present) << c.name;
    EXPECT_FALSE(fs::exists(f.file.string() + ".broken")) << c.name;
  }
}


// A settings file that a cut-off save in place left broken is read from its
// backup and gets the backup's text back, so that the settings do not rest
// on a backup in the cache folder alone; a write-back that fails is told on
// the same line, and the backup's settings are read all the same.
TEST(SettingsRecoveryTest, ABrokenFileIsWrittenBackFromItsBackup) {
  const struct {
    const char* name;
    int backup;           // which of SettingsBackupPaths
    bool refusesNewFiles;  // the folder refuses the temporary (then the file is rewritten in place)
    bool writeFails;
  } cases[] = {{"backup beside it", 0, false, false},
               {"folder refusing new files", 1, true, false},
               {"write-back fails", 0, false, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SettingsFolders f;
    ScopedEnv cache("XDG_CACHE_HOME", (f.dir / "cache").string());
    AppOptions saved;
    saved.Language = "Kor";
    saved.MaxWndDisplay = 77;
    const std::string text = FormatConfigFile(saved, ConfigExtras());
    const std::string backup = SettingsBackupPaths(f.file.string())[c.backup];
    fs::create_directories(fs::path(backup).parent_path());
    WriteFile(backup, text);
    WriteFile(f.file, kCutShort);
    if (c.refusesNewFiles) fs::create_directory(f.file.string() + ".tmp");
    LogCapture log;
    AppOptions read;
    ConfigExtras extras;
    // The file system refuses files longer than the cut-short text.
    const int rc = c.writeFails ? UnderFileSizeLimit(64, [&] { return ReadSettingsFile(f.paths, read, extras); })
                                : ReadSettingsFile(f.paths, read, extras);
    EXPECT_EQ(rc, 1);
    ExpectSameOptions(read, saved);
    EXPECT_EQ(ReadFile(f.file), c.writeFails ? kCutShort : text);
    EXPECT_EQ(ReadFile(backup), text);
    const auto records = log.records();
    std::vector<std::string> warnings;
    for (const auto& r : records) {
      if (r.category == qmx::kLogError) warnings.push_back(r.text);
    }
    ASSERT_EQ(warnings.size(), 1u);
    const std::string prefix = "[Warning] The settings file " + f.file.string() + " cannot be read (" +
                               f.file.string() + ", line ";
    const std::string suffix = "). Its backup " + backup + " is read instead" +
                               (c.writeFails ? "; it cannot be written back to the settings file (File too large)."
                                             : " and written back to the settings file.");
    EXPECT_EQ(warnings[0].rfind(prefix, 0), 0u) << warnings[0];
    EXPECT_TRUE(warnings[0].ends_with(suffix)) << warnings[0];
  }
}

// A cache folder others may write to holds no backup: the one line says
// which folder is used instead, where the backups then go.
TEST(SettingsRecoveryTest, ASharedCacheFolderIsPassedOverWithOneLine) {
  TempDir dir("settings");
  fs::create_directories(dir / "shared");
  fs::permissions(dir / "shared", fs::perms::all | fs::perms::sticky_bit);
  fs::create_directories(dir / "home");
  ScopedEnv cache("XDG_CACHE_HOME", (dir / "shared").string());
  ScopedEnv home("HOME", (dir / "home").string());
  LogCapture log;
  qmx::ReportCacheFolderChoice();
  const fs::path used = dir / "home" / ".cache" / "qmx410tools";
  EXPECT_EQ(log.records().size(), 1u);
  EXPECT_TRUE(log.HasText("[Warning] The cache folder " + (dir / "shared" / "qmx410tools").string() +
                          " is not used, since group or others may write to " + (dir / "shared").string() +
                          ". The cache folder " + used.string() + " is used instead."));

  EXPECT_EQ(fs::path(SettingsBackupPaths((dir / "QMX410Tools.xml").string())[1]).parent_path(), used);

  // A cache folder of the user's own gives no line.
  ScopedEnv own("XDG_CACHE_HOME", (dir / "home" / ".cache").string());
  LogCapture quiet;
  qmx::ReportCacheFolderChoice();
  EXPECT_TRUE(quiet.records().empty());
}
