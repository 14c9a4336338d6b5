// Where the programs write: the program folder when it is writable, else the
// user's XDG folders; the shipped settings seed the user's copy once.
#include "platform/os/user_folders.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace fs = std::filesystem;
using qmx::test::ReadFile;
using qmx::test::ScopedEnv;
using qmx::test::TempDir;
using qmx::test::WriteFile;

namespace {

TEST(WritableFolders, ProgramFolderOrTheUsersXdgFolders) {
  TempDir home("qmx-home");
  const std::string homeText = home.path().string();
  ScopedEnv homeVar("HOME", homeText.c_str());
  struct Case {
    const char* data;
    const char* config;
    fs::path wantData;
    fs::path wantConfig;
  };
  const Case cases[] = {
      {nullptr, nullptr, home / ".local/share/qmx410tools", home / ".config/qmx410tools"},
      {"/srv/data", "/srv/conf", "/srv/data/qmx410tools", "/srv/conf/qmx410tools"},
      // Relative values are not XDG folders.
      {"rel/data", "", home / ".local/share/qmx410tools", home / ".config/qmx410tools"},
  };
  for (const Case& c : cases) {
    ScopedEnv data("XDG_DATA_HOME", c.data);
    ScopedEnv config("XDG_CONFIG_HOME", c.config);
    const qmx::os::WritableFolders chosen = qmx::os::ChooseWritableFolders(home / "no-such-program-folder");
    EXPECT_TRUE(chosen.perUser);
    EXPECT_EQ(chosen.data, c.wantData);
    EXPECT_EQ(chosen.config, c.wantConfig);
  }
  const qmx::os::WritableFolders own = qmx::os::ChooseWritableFolders(home.path());
  EXPECT_FALSE(own.perUser);
  EXPECT_EQ(own.data, home.path());
  EXPECT_EQ(own.config, home.path());
}

TEST(WritableFolders, SeedCopiesTheShippedFileOnceAndNeverOverwrites) {
  TempDir dir("qmx-seed");
  WriteFile(dir / "shipped.xml", "shipped");
  fs::permissions(dir / "shipped.xml", fs::perms::owner_read | fs::perms::group_read);
  const fs::path copy = dir / "user/conf/settings.xml";
  EXPECT_EQ(qmx::os::SeedFile(dir / "shipped.xml", copy), 1);
  EXPECT_EQ(ReadFile(copy), "shipped");
  EXPECT_TRUE((fs::status(copy).permissions() & fs::perms::owner_write) != fs::perms::none);
  EXPECT_FALSE(fs::exists(dir / "user/conf/settings.xml.part"));

  WriteFile(copy, "changed by the user");
  EXPECT_EQ(qmx::os::SeedFile(dir / "shipped.xml", copy), 0);
  EXPECT_EQ(ReadFile(copy), "changed by the user");
  EXPECT_EQ(qmx::os::SeedFile(dir / "missing.xml", dir / "other.xml"), -ENOENT);
  EXPECT_FALSE(fs::exists(dir / "other.xml"));
}

// The cache folder lies only where no other user may plant, take or
// remove things: $XDG_CACHE_HOME when it is such a folder (or can be made
// under one), else the home folder's .cache, else that one all the same.
TEST(CacheFolder, OnlyAFolderNoOtherUserMayWriteToHoldsIt) {
  TempDir dir("qmx-cache");
  const fs::path home = dir / "home";
  fs::create_directories(home);
  fs::permissions(home, fs::perms::owner_all);
  ScopedEnv homeVar("HOME", home.c_str());
  const fs::path own = dir / "own", open = dir / "open", sticky = dir / "sticky";
  for (const fs::path& folder : {own, open, sticky}) fs::create_directory(folder);
  fs::permissions(own, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                           fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(open, fs::perms::all);
  fs::permissions(sticky, fs::perms::all | fs::perms::sticky_bit);
  fs::create_directory_symlink(own, dir / "link");
  WriteFile(dir / "file", "x");
  const bool root = ::geteuid() == 0;
  const fs::path theirs = dir / "theirs";
  fs::create_directory(theirs);
  if (root) {
    ASSERT_EQ(::chown(theirs.c_str(), 65534, 65534), 0);
  }
  const std::string homeCache = (home / ".cache").string();
  const struct {
    const char* name;
    std::string xdg;      // empty: unset
    std::string refusal;  // why $XDG_CACHE_HOME is passed over; empty: it is taken
  } cases[] = {
      {"unset", "", ""},
      {"the user's folder", own.string(), ""},
      {"a link to it", (dir / "link").string(), ""},
      {"missing under the user's folder", (own / "a" / "b").string(), ""},
      {"the home folder's .cache itself", homeCache, ""},
      {"a relative path", "rel/cache", ""},
      {"open to all", open.string(), "group or others may write to " + open.string()},
      {"open to all, sticky", sticky.string(), "group or others may write to " + sticky.string()},
      {"missing under a folder open to all", (open / "cache").string(),
       (open / "cache").string() + " does not exist, and group or others may write to " + open.string() +
           ", where it would be made"},
      {"a file", (dir / "file").string(), (dir / "file").string() + " is not a folder"},
      {"another user's", theirs.string(), root ? theirs.string() + " is owned by user 65534" : ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv xdg("XDG_CACHE_HOME", c.xdg.empty() ? nullptr : c.xdg.c_str());
    const qmx::os::CacheFolderChoice choice = qmx::os::ChooseUserCacheFolder();
    const bool xdgTaken = !c.xdg.empty() && c.xdg[0] == '/' && c.refusal.empty();
    EXPECT_EQ(choice.folder, fs::path(xdgTaken ? c.xdg : homeCache) / "qmx410tools");
    EXPECT_EQ(qmx::os::UserCacheFolder(), choice.folder);
    EXPECT_EQ(choice.fellBack(), !c.refusal.empty());
    if (!c.refusal.empty()) {
      ASSERT_EQ(choice.tried.size(), 2u);
      EXPECT_EQ(choice.tried[0].base, fs::path(c.xdg));
      EXPECT_EQ(choice.tried[0].refusal, c.refusal);
      EXPECT_EQ(choice.tried[1].base, fs::path(homeCache));
      EXPECT_EQ(choice.tried[1].refusal, "");
    }
  }

  // The home folder's .cache open to all is used all the same, and says so.
  fs::create_directory(home / ".cache");
  fs::permissions(home / ".cache", fs::perms::all);
  ScopedEnv xdg("XDG_CACHE_HOME", nullptr);
  const qmx::os::CacheFolderChoice last = qmx::os::ChooseUserCacheFolder();
  EXPECT_EQ(last.folder, home / ".cache" / "qmx410tools");
  ASSERT_EQ(last.tried.size(), 1u);
  EXPECT_EQ(last.tried[0].refusal, "group or others may write to " + homeCache);
  EXPECT_TRUE(last.fellBack());
}

}  // namespace

TEST(PrivateFolder, MadeOrMendedForTheUserAloneAndNeverThroughALink) {
  TempDir dir("qmx-private");
  fs::create_directory(dir / "open");
  fs::permissions(dir / "open", fs::perms::all);
  WriteFile(dir / "file", "x");
  fs::create_directory(dir / "target");
  fs::create_directory_symlink(dir / "target", dir / "link");
  fs::create_directory(dir / "theirs");
  const bool root = ::geteuid() == 0;
  if (root) {
    EXPECT_EQ(::chown((dir / "theirs").c_str(), 65534, 65534), 0);
  }
  const struct {
    const char* name;
    int result;
  } cases[] = {{"new/sub", 0}, {"open", 0}, {"file", -ENOTDIR}, {"link", -ENOTDIR}, {"theirs", root ? -EPERM : 0}};
  for (const auto& c : cases) {
    EXPECT_EQ(qmx::os::MakePrivateFolder(dir / c.name), c.result) << c.name;
    if (c.result == 0) {
      EXPECT_EQ(fs::status(dir / c.name).permissions() & fs::perms::all, fs::perms::owner_all) << c.name;
      EXPECT_TRUE(qmx::os::IsPrivateFolder(dir / c.name)) << c.name;
    }
  }
  // A folder made on the way is the user's alone too.
  EXPECT_EQ(fs::status(dir / "new").permissions() & fs::perms::all, fs::perms::owner_all);
  // The link's target kept its rights.
  EXPECT_NE(fs::status(dir / "target").permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_FALSE(qmx::os::IsPrivateFolder(dir / "link"));
}
