// Saves of the settings file killed part-way, on the road that replaces the
// file and on the road that rewrites it in place (a folder that refuses new
// files): after every kill the settings read, and the catalogue loads after
// them as at a start. A child process saves; the test traces its system
// calls and kills it at one of them, each round at the next, so every step
// of a save (the cut of a file, the write, the sync, the rename) is hit.
#include "app/model/AppOptions.h"
#include "app/model/IOCatalogue.h"
#include "app/model/NACatalogue.h"
#include "app/model/ProgramPaths.h"
#include "app/model/TextIdList.h"
#include "tests/model_settings/log_capture.h"
#include "tests/support/test_support.h"
#include "tests/support/traced_child.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

namespace fs = std::filesystem;
using qmx::test::LogCapture;
using qmx::test::TempDir;

namespace {

constexpr uid_t kNobody = 65534;

// The options of save number n: every save another MaxWndDisplay.
AppOptions Saved(int number) {
  AppOptions options;
  options.MaxWndDisplay = number;
  return options;
}
std::string SavedText(int number) { return FormatConfigFile(Saved(number), ConfigExtras()); }

// A child that saves once, stopped at its start under the tracer; `asUser`
// drops root first (a folder refuses nobody but root).
pid_t StartSaver(const std::string& folder, std::optional<uid_t> asUser, int number) {
  return qmx::test::StartTracedChild(
      asUser, [&] { return SaveConfigFile(folder, Saved(number), ConfigExtras()) == 1 ? 0 : 3; });
}
int RunSaver(pid_t pid, int killAt) { return qmx::test::RunTracedChild(pid, killAt); }

// The chain of a start after the settings: the text lists in the settings'
// language and the whole catalogue of the shipped program folder.
::testing::AssertionResult CatalogueLoads(const std::string& language) {
  const std::string dist = qmx::test::DistDir().string();
  TextIdMap texts;
  ErrorMap errors;
  NACatalogue adapters;
  IOCatalogue modules;
  if (ParseTextIdFile(TextIdListPath(dist, language), texts) != 1) return ::testing::AssertionFailure() << "text ids";
  if (ParseErrorFile(ErrorListPath(dist, language), errors) != 1) return ::testing::AssertionFailure() << "errors";
  if (ParseNAFiles(NAListPath(dist), texts, adapters) != 1 || adapters.definitions.empty())
    return ::testing::AssertionFailure() << "adapters";
  if (ParseIOFiles(IOListPath(dist), texts, modules) != 1 || modules.definitions().empty())
    return ::testing::AssertionFailure() << "modules";
  return ::testing::AssertionSuccess();
}

struct Road {
  const char* name;
  bool inPlace;     // the folder refuses new files
  bool fileBroken;  // each save starts over a file an earlier kill cut, with a whole backup
};

void PrintTo(const Road& road, std::ostream* out) { *out << road.name; }

class SettingsKillTest : public ::testing::TestWithParam<Road> {
protected:
  void SetUp() override {
    if (const char* old = std::getenv("XDG_CACHE_HOME")) savedCache_ = old;
    ::setenv("XDG_CACHE_HOME", (root_ / "cache").c_str(), 1);
    fs::create_directories(folder_);
    fs::create_directories(root_ / "cache");
    LogCapture log;
    ASSERT_EQ(SaveConfigFile(folder_.string(), Saved(0), ConfigExtras()), 1);
  }
  void TearDown() override {
    if (savedCache_) ::setenv("XDG_CACHE_HOME", savedCache_->c_str(), 1);
    else ::unsetenv("XDG_CACHE_HOME");
    // The refusing folder is the test's own again, so it can be removed.
    std::error_code ec;
    fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::add, ec);
  }

  // The folder stops taking new files; the settings file stays writable.
  // Root may write anywhere, so then the saves run as nobody.
  std::optional<uid_t> RefuseNewFiles() {
    std::optional<uid_t> user;
    const auto readWrite = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                           fs::perms::group_write | fs::perms::others_read | fs::perms::others_write;
    if (::geteuid() == 0) {
      user = kNobody;
      fs::permissions(file_, readWrite);
      // The cache folder root made for nobody, where the test reads too.
      fs::create_directories(root_ / "cache" / "qmx410tools");
      EXPECT_EQ(::chown((root_ / "cache" / "qmx410tools").c_str(), kNobody, kNobody), 0);
    }
    fs::permissions(folder_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                 fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
    return user;
  }

  TempDir root_{"qmx-settings-kill"};
  fs::path folder_ = root_ / "program";
  fs::path file_ = folder_ / qmx::kConfigFileName;
  std::optional<std::string> savedCache_;
};

TEST_P(SettingsKillTest, SettingsReadAndTheCatalogueLoadsAfterEveryKill) {
  const Road road = GetParam();
  const std::optional<uid_t> user = road.inPlace ? RefuseNewFiles() : std::nullopt;
  const std::string backup = SettingsBackupPaths(file_.string())[road.inPlace ? 1 : 0];
  qmx::ProgramPaths paths;
  paths.appDir = qmx::test::DistDir().string();
  paths.configDir = folder_.string();

  // The state a save starts from: the last save whole; or, over a broken
  // file, that save in the backup only (the file and the backup keep their
  // owner and access rights).
  auto prepare = [&](int number) {
    qmx::test::WriteFile(file_, road.fileBroken ? std::string() : SavedText(number));
    if (road.fileBroken) qmx::test::WriteFile(backup, SavedText(number));
  };
  // A whole save first (it also makes the backup of the in-place road): how
  // many system call stops one save takes from that state.
  const int whole = RunSaver(StartSaver(folder_.string(), user, 1), 0);
  if (whole == -2) GTEST_SKIP() << "system calls cannot be traced here";
  ASSERT_GE(whole, 0) << "the saver failed";
  prepare(1);
  const int stops = RunSaver(StartSaver(folder_.string(), user, 2), 0);
  ASSERT_GT(stops, 0);

  // Each stop of a save is the kill point of one round.
  int fromBackup = 0;
  for (int at = 1; at <= stops; ++at) {
    const int before = 2 * at, number = 2 * at + 1;
    prepare(before);
    ASSERT_GE(RunSaver(StartSaver(folder_.string(), user, number), at), 0) << "killed at stop " << at;

    LogCapture log;
    AppOptions read;
    ConfigExtras extras;
    ASSERT_EQ(ReadSettingsFile(paths, read, extras), 1) << "killed at stop " << at;
    EXPECT_TRUE(log.WithCode(-1027).empty());
    // What reads is the state before the save or the save itself.
    EXPECT_TRUE(read.MaxWndDisplay == before || read.MaxWndDisplay == number) << read.MaxWndDisplay;
    EXPECT_EQ(FormatConfigFile(read, extras), SavedText(read.MaxWndDisplay));
    // A file that was broken holds its backup's text again.
    EXPECT_EQ(qmx::test::ReadFile(file_), SavedText(read.MaxWndDisplay)) << "killed at stop " << at;
    for (const auto& r : log.records()) fromBackup += r.text.find("Its backup") != std::string::npos;
    ASSERT_TRUE(CatalogueLoads(read.Language)) << "killed at stop " << at;
  }
  if (road.inPlace) {
    // The folder took no backup: it lies in the user's cache folder.
    EXPECT_FALSE(fs::exists(SettingsBackupPaths(file_.string())[0]));
    // Some kills fell between the cut of the file and its new text.
    EXPECT_GT(fromBackup, 0);
  } else {
    // Replacing the file never leaves it broken, and needs no backup.
    EXPECT_EQ(fromBackup, 0);
    EXPECT_FALSE(fs::exists(backup));
  }
}

INSTANTIATE_TEST_SUITE_P(BothRoads, SettingsKillTest,
                         ::testing::Values(Road{"Replacing", false, false}, Road{"InPlace", true, false},
                                           Road{"InPlaceOverABrokenFile", true, true}),
                         [](const ::testing::TestParamInfo<Road>& info) { return std::string(info.param.name); });

}  // namespace
