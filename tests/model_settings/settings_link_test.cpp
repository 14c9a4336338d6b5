// A settings file that is a link to the user's own copy elsewhere: a save
// replaces the file the link names and the link stays, as a project file's
// save does.
#include "app/model/AppOptions.h"
#include "tests/model_settings/log_capture.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using qmx::test::LogCapture;
using qmx::test::ReadFile;
using qmx::test::TempDir;
using qmx::test::WriteFile;

namespace {

TEST(SettingsWriterTest, ALinkedSettingsFileIsReplacedWhereItPoints) {
  TempDir dir("settings");
  LogCapture log;
  fs::create_directories(dir / "program");
  fs::create_directories(dir / "dotfiles");
  const fs::path real = dir / "dotfiles" / "QMX410Tools.xml";
  const fs::path link = dir / "program" / "QMX410Tools.xml";
  WriteFile(real, FormatConfigFile(AppOptions(), ConfigExtras()));
  fs::create_symlink(real, link);

  AppOptions changed;
  changed.Language = "Kor";
  ASSERT_EQ(SaveConfigFile((dir / "program").string(), changed, ConfigExtras()), 1);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFile(real), FormatConfigFile(changed, ConfigExtras()));
  EXPECT_FALSE(fs::exists(dir / "dotfiles" / "QMX410Tools.xml.tmp"));
  EXPECT_TRUE(log.HasText("Save configuration is completed. Path: " + link.string()));
}

}  // namespace
