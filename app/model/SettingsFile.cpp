// Saving the settings file so that a readable copy of it exists at every
// moment, and reading it with the copies that stand in for a broken one.
#include "app/model/AppOptions.h"

#include "app/model/Logging.h"
#include "app/model/ReaderConventions.h"
#include "app/model/ProgramPaths.h"
#include "app/model/SaveFile.h"
#include "common/Utility.h"
#include "common/WholeFile.h"
#include "platform/os/replace_file.h"
#include "platform/os/user_folders.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

void ReportSaved(const std::string& path) {
  PostLog(qmx::kLogGeneral, qmx::kLogSource, StrFormat("Save configuration is completed. Path: %s", path.c_str()));
}

// Whether the file loads as a document; the reason when it does not.
bool Loads(const std::string& path, std::string* cause = nullptr) {
  return qmx::LoadsAsXml(path, qmx::reader::kDefinitionFileLimit, cause);
}

// How the settings file is saved: the new text goes to
// "QMX410Tools.xml.tmp" beside the file (what an interrupted save left there
// goes first), and only a complete, flushed file replaces it. An installed
// program's folder may refuse new files while the settings file itself
// stays writable, and a settings file mounted on its own cannot be replaced:
// then the file is rewritten where it is, beside its backup. The rename is
// durable only once the folder is, so a folder that cannot be flushed fails
// the save.
qmx::SavePolicy SettingsSavePolicy(const std::string& path) {
  return {.naming = qmx::os::StagedName::kBesideTarget,
          .inPlace = qmx::SavePolicy::InPlace::kWhenNotReplaceable,
          .backups = SettingsBackupPaths(path),
          .loadLimit = qmx::reader::kDefinitionFileLimit,
          .folderSync = qmx::SavePolicy::FolderSync::kFailsTheSave,
          .refuseUnwritableFile = false};
}

void PostRecovery(const std::string& text) { PostLog(qmx::kLogError, qmx::kLogSource, text); }

// The backup's text written back over the broken settings file, as a save
// writes it, so that the settings do not rest on the backup alone (which
// may lie in the cache folder, a folder users and cleaners empty). 0, or the
// errno of the failure.
int WriteBackBackup(const std::string& path, const std::string& backup) {
  std::string bytes;
  if (const int read = ReadWholeFile(backup, qmx::reader::kDefinitionFileLimit, bytes); read != 1) {
    return read < 0 ? -read : EFBIG;
  }
  const qmx::SaveOutcome outcome = qmx::WriteSafely(path, bytes, SettingsSavePolicy(path));
  return outcome.ok() ? 0 : outcome.error != 0 ? outcome.error : EIO;
}

// The broken per-user file moved aside and the shipped one copied in its
// place; false (nothing changed) when that cannot be done.
bool ReplaceByShipped(const qmx::ProgramPaths& paths, const std::string& cause) {
  const std::string path = paths.SettingsFile();
  const std::string kept = path + ".broken";
  std::error_code ec;
  fs::rename(path, kept, ec);
  if (ec) return false;
  if (qmx::os::SeedFile(paths.ShippedSettingsFile(), path) != 1) {
    fs::rename(kept, path, ec);
    return false;
  }
  PostRecovery(StrFormat("[Warning] The settings file %s cannot be read (%s). It is kept as %s, and the shipped "
                         "settings file %s takes its place.",
                         path.c_str(), cause.c_str(), kept.c_str(), paths.ShippedSettingsFile().c_str()));
  return true;
}

}  // namespace

std::vector<std::string> SettingsBackupPaths(const std::string& settingsPath) {
  return {settingsPath + ".bak", qmx::CacheBackupPath(settingsPath)};
}

int SaveConfigFile(const std::string& programFolder, const AppOptions& options, const ConfigExtras& extras) {
  const std::string path = (fs::path(programFolder) / qmx::kConfigFileName).string();
  const std::string bytes = FormatConfigFile(options, extras);
  if (qmx::SaveFile(path, bytes, SettingsSavePolicy(path)) != 1) return 0;
  ReportSaved(path);
  return 1;
}

int ReadSettingsFile(const qmx::ProgramPaths& paths, AppOptions& options, ConfigExtras& extras) {
  const std::string path = paths.SettingsFile();
  std::error_code ec;
  std::string cause;
  // A missing file is no broken one: it is reported as it always was.
  if (fs::exists(path, ec) && !Loads(path, &cause)) {
    for (const std::string& backup : SettingsBackupPaths(path)) {
      if (!fs::exists(backup, ec) || !Loads(backup)) continue;
      std::string line = StrFormat("[Warning] The settings file %s cannot be read (%s). Its backup %s is read instead",
                                   path.c_str(), cause.c_str(), backup.c_str());
      if (const int error = WriteBackBackup(path, backup); error == 0) {
        line += " and written back to the settings file.";
      } else {
        line += StrFormat("; it cannot be written back to the settings file (%s).", std::strerror(error));
      }
      PostRecovery(line);
      return ParseConfigFile(backup, options, extras);
    }
    if (paths.perUser) ReplaceByShipped(paths, cause);
  }
  return ParseConfigFile(path, options, extras);
}
