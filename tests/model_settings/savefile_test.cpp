// The save policies: which failure of a replacement sends a save to the
// in-place road, and what a file its user may not write means, as each
// writer names them.
#include "app/model/SaveFile.h"
#include "tests/model_settings/log_capture.h"
#include "tests/support/test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;
using qmx::SaveOutcome;
using qmx::SavePolicy;
using qmx::test::LogCapture;
using qmx::test::ReadFile;
using qmx::test::TempDir;
using qmx::test::WriteFile;

namespace {

constexpr uid_t kNobody = 65534;
const std::string kOld = "<?xml version=\"1.0\"?>\r\n<Old/>\r\n";
const std::string kNew = "<?xml version=\"1.0\"?>\r\n<New/>\r\n";

SavePolicy Policy(SavePolicy::InPlace inPlace, const std::string& backup, bool refuseUnwritable) {
  return {.naming = qmx::os::StagedName::kBesideTarget,
          .inPlace = inPlace,
          .backups = {backup},
          .loadLimit = 1 << 20,
          .folderSync = SavePolicy::FolderSync::kFailsTheSave,
          .refuseUnwritableFile = refuseUnwritable};
}

// A staged file that cannot be made for another reason than a refusing
// folder (its name is taken by a folder) goes to the in-place road only
// when the policy says any failure does.
TEST(SavePolicyTest, WhichFailureToMakeTheStagedFileGoesInPlace) {
  const struct {
    const char* name;
    SavePolicy::InPlace inPlace;
    bool inPlaceRoad;
  } cases[] = {{"whenever it cannot be replaced", SavePolicy::InPlace::kWhenNotReplaceable, true},
               {"only when the folder refuses", SavePolicy::InPlace::kWhenTheFolderRefusesNewFiles, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir("save-policy");
    const fs::path file = dir / "file.xml", backup = dir / "file.xml.bak";
    WriteFile(file, kOld);
    fs::create_directory(dir / "file.xml.tmp");
    const SavePolicy policy = Policy(c.inPlace, backup.string(), false);
    const SaveOutcome outcome = qmx::WriteSafely(file.string(), kNew, policy);
    EXPECT_EQ(outcome.ok(), c.inPlaceRoad);
    EXPECT_EQ(ReadFile(file), c.inPlaceRoad ? kNew : kOld);
    EXPECT_EQ(fs::exists(backup), c.inPlaceRoad);
    if (c.inPlaceRoad) {
      EXPECT_EQ(ReadFile(backup), kNew);
      continue;
    }
    EXPECT_EQ(outcome.failure, SaveOutcome::Failure::kOpen);
    EXPECT_EQ(outcome.path, file.string());
    EXPECT_EQ(outcome.error, EEXIST);
    // SaveFile tells that outcome as the file that cannot be opened.
    LogCapture log;
    EXPECT_EQ(qmx::SaveFile(file.string(), kNew, policy), 0);
    ASSERT_EQ(log.WithCode(-1003).size(), 1u);
    EXPECT_EQ(log.WithCode(-1003)[0].text,
              "[Error Code: -1003] Cannot open the file during saving. Check if the file exists or using. File: " +
                  file.string() + ".");
  }
}

// A file its user may not write, in a folder that lets it be replaced: one
// policy refuses it as opening it would be refused, the other replaces it.
TEST(SavePolicyTest, AFileItsUserMayNotWriteIsRefusedOrReplaced) {
  for (const bool refuse : {true, false}) {
    SCOPED_TRACE(refuse ? "refused" : "replaced");
    TempDir dir("save-policy");
    fs::permissions(dir.path(), fs::perms::all);
    const fs::path file = dir / "file.xml";
    WriteFile(file, kOld);
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    const SavePolicy policy =
        Policy(SavePolicy::InPlace::kWhenTheFolderRefusesNewFiles, (dir / "file.xml.bak").string(), refuse);
    // Root may write any file: then an ordinary user owns it and saves.
    const bool root = ::geteuid() == 0;
    if (root) {
      ASSERT_EQ(::chown(file.c_str(), kNobody, kNobody), 0);
    }
    auto save = [&] {
      const SaveOutcome outcome = qmx::WriteSafely(file.string(), kNew, policy);
      return outcome.ok() ? 0 : outcome.failure == SaveOutcome::Failure::kOpen && outcome.path == file.string() ? 1 : 2;
    };
    int result = -1;
    if (root) {
      const pid_t child = ::fork();
      if (child == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(3);
        ::_exit(save());
      }
      int status = -1;
      ASSERT_EQ(::waitpid(child, &status, 0), child);
      ASSERT_TRUE(WIFEXITED(status));
      result = WEXITSTATUS(status);
    } else {
      result = save();
    }
    EXPECT_EQ(result, refuse ? 1 : 0);
    EXPECT_EQ(ReadFile(file), refuse ? kOld : kNew);
    // The replacement keeps the file's rights.
    EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  }
}

}  // namespace
