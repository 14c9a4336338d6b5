// Where the programs write: the program folder when it is writable, else the
// user's XDG folders; the shipped settings seed the user's copy once.
#include "platform/os/user_folders.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>

namespace fs = std::filesystem;
using qmx::test::ReadFile;
using qmx::test::TempDir;
using qmx::test::WriteFile;

namespace {

// Sets or clears one variable for the scope and puts the old value back.
class ScopedEnv {
public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

private:
  const char* name_;
  std::optional<std::string> old_;
};

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
  // The link's target kept its rights.
  EXPECT_NE(fs::status(dir / "target").permissions() & fs::perms::all, fs::perms::owner_all);
  EXPECT_FALSE(qmx::os::IsPrivateFolder(dir / "link"));
}
