// The user profile: recent-file list and raw values, in a settings folder of the test.
#include "platform/os/profile.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <QSettings>

#include <filesystem>

namespace fs = std::filesystem;
using qmx::os::Profile;
using qmx::test::TempDir;

namespace {

class ProfileTest : public ::testing::Test {
protected:
  void SetUp() override {
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(dir_.path().string()));
  }
  TempDir dir_{"qmx-profile"};
};

TEST_F(ProfileTest, RecentFilesKeepFourMostRecentFirst) {
  Profile profile;
  EXPECT_EQ(profile.maxRecentFiles(), 4);
  EXPECT_TRUE(profile.RecentFiles().isEmpty());
  for (const char* f : {"/p/a.ptp", "/p/b.ptp", "/p/c.ptp", "/p/d.ptp", "/p/e.ptp"}) profile.AddRecentFile(f);
  EXPECT_EQ(profile.RecentFiles(), (QStringList{"/p/e.ptp", "/p/d.ptp", "/p/c.ptp", "/p/b.ptp"}));

  // opening a listed file moves it to the top without doubling it
  profile.AddRecentFile("/p/c.ptp");
  EXPECT_EQ(profile.RecentFiles(), (QStringList{"/p/c.ptp", "/p/e.ptp", "/p/d.ptp", "/p/b.ptp"}));
  profile.AddRecentFile("/p/c.ptp");
  EXPECT_EQ(profile.RecentFiles(), (QStringList{"/p/c.ptp", "/p/e.ptp", "/p/d.ptp", "/p/b.ptp"}));

  profile.RemoveRecentFile("/p/e.ptp");
  EXPECT_EQ(profile.RecentFiles(), (QStringList{"/p/c.ptp", "/p/d.ptp", "/p/b.ptp"}));
  profile.RemoveRecentFile("/p/not-listed.ptp");
  EXPECT_EQ(profile.RecentFiles().size(), 3);
  profile.AddRecentFile("/p/f.ptp");
  EXPECT_EQ(profile.RecentFiles(), (QStringList{"/p/f.ptp", "/p/c.ptp", "/p/d.ptp", "/p/b.ptp"}));
}

TEST_F(ProfileTest, ListSurvivesTheProgramAndLandsInTheUsersFolder) {
  {
    Profile profile;
    for (const char* f : {"/p/1.ptp", "/p/2.ptp", "/p/3.ptp", "/p/4.ptp", "/p/5.ptp", "/p/6.ptp"})
      profile.AddRecentFile(f);
    profile.SetValue("Settings", "BarState", QByteArray("\x01\x00\xFF", 3));
    profile.Sync();
  }
  EXPECT_TRUE(fs::exists(dir_ / "Kestun" / "Ferrowyn Application.conf"));
  Profile again;
  EXPECT_EQ(again.RecentFiles(), (QStringList{"/p/6.ptp", "/p/5.ptp", "/p/4.ptp", "/p/3.ptp"}));
  EXPECT_EQ(again.Value("Settings", "BarState"), QByteArray("\x01\x00\xFF", 3));
  EXPECT_TRUE(again.Value("Settings", "Missing").isEmpty());
}

TEST_F(ProfileTest, SmallerListTrimsWhatALargerOneLeft) {
  {
    Profile big(6);
    for (const char* f : {"/p/1", "/p/2", "/p/3", "/p/4", "/p/5", "/p/6"}) big.AddRecentFile(f);
    EXPECT_EQ(big.RecentFiles().size(), 6);
  }
  Profile profile;
  EXPECT_EQ(profile.RecentFiles(), (QStringList{"/p/6", "/p/5", "/p/4", "/p/3"}));
  profile.AddRecentFile("/p/7");
  EXPECT_EQ(profile.RecentFiles(), (QStringList{"/p/7", "/p/6", "/p/5", "/p/4"}));
}

}  // namespace
