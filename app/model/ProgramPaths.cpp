#include "app/model/ProgramPaths.h"

#include "app/model/AppOptions.h"
#include "app/model/Logging.h"
#include "app/model/Services.h"
#include "common/Utility.h"
#include "platform/os/user_folders.h"

#include <cstring>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace qmx {

ProgramPaths& Paths() { return Services().paths; }

void ProgramPaths::SetAppDir(const std::string& dir) {
  appDir = dir;
  while (appDir.size() > 1 && appDir.back() == '/') appDir.pop_back();
  const os::WritableFolders writable = os::ChooseWritableFolders(appDir);
  perUser = writable.perUser;
  dataDir = perUser ? writable.data.string() : appDir;
  configDir = perUser ? writable.config.string() : appDir;
  projectsDir = dataDir + "/Projects";
  tmpDir = dataDir + "/~tmp";
  imageDir = appDir + "/Image";
  startUpDir = appDir + "/StartUpOffline";
}

std::string ProgramPaths::SettingsFile() const { return configDir + "/" + kConfigFileName; }

std::string ProgramPaths::ShippedSettingsFile() const { return appDir + "/" + kConfigFileName; }

namespace {

// The example projects of the program folder, into a Projects folder the user
// has only now been given; a folder the user has already is left alone, so
// examples the user deleted stay deleted.
int SeedProjects(const ProgramPaths& paths) {
  std::error_code ec;
  if (fs::exists(paths.projectsDir, ec)) return 0;
  fs::create_directories(paths.projectsDir, ec);
  if (ec) return -ec.value();
  int copied = 0;
  for (fs::directory_iterator it(paths.ShippedProjectsDir(), ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    if (os::SeedFile(it->path(), fs::path(paths.projectsDir) / it->path().filename()) == 1) ++copied;
  }
  return copied;
}

void ReportFolderFailure(const std::string& what, const std::string& path, int error) {
  PostLog(kLogError, kLogSource,
          StrFormat("[Error] Cannot make the per-user %s %s: %s.", what.c_str(), path.c_str(), std::strerror(error)));
}

}  // namespace

int PreparePerUserFolders(const ProgramPaths& paths) {
  if (!paths.perUser) return 1;
  PostLog(kLogGeneral, kLogSource,
          StrFormat("[Info] The program folder %s is not writable: log files and work files are kept in %s, "
                    "the settings in %s.",
                    paths.appDir.c_str(), paths.dataDir.c_str(), paths.configDir.c_str()));
  int ready = 1;
  for (const std::string& folder : {paths.dataDir, paths.configDir}) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
      ReportFolderFailure("folder", folder, ec.value());
      ready = 0;
    }
  }
  const int seeded = os::SeedFile(paths.ShippedSettingsFile(), paths.SettingsFile());
  if (seeded == 1) {
    PostLog(kLogGeneral, kLogSource,
            StrFormat("[Info] The settings file %s was made from %s.", paths.SettingsFile().c_str(),
                      paths.ShippedSettingsFile().c_str()));
  } else if (seeded < 0) {
    ReportFolderFailure("settings file", paths.SettingsFile(), -seeded);
    ready = 0;
  }
  const int projects = SeedProjects(paths);
  if (projects > 0) {
    PostLog(kLogGeneral, kLogSource,
            StrFormat("[Info] %d example projects were copied into %s.", projects, paths.projectsDir.c_str()));
  } else if (projects < 0) {
    ReportFolderFailure("project folder", paths.projectsDir, -projects);
    ready = 0;
  }
  return ready;
}

void ReportCacheFolderChoice() {
  const os::CacheFolderChoice choice = os::ChooseUserCacheFolder();
  if (!choice.fellBack()) return;
  std::string line = "[Warning]";
  for (size_t i = 0; i + 1 < choice.tried.size(); ++i) {
    line += StrFormat(" The cache folder %s is not used, since %s.",
                      (choice.tried[i].base / os::kUserFolderName).string().c_str(), choice.tried[i].refusal.c_str());
  }
  const os::CacheBase& taken = choice.tried.back();
  if (taken.refusal.empty()) {
    line += StrFormat(" The cache folder %s is used instead.", choice.folder.string().c_str());
  } else {
    line += StrFormat(" The cache folder %s is used all the same, although %s.", choice.folder.string().c_str(),
                      taken.refusal.c_str());
  }
  PostLog(kLogError, kLogSource, line);
}

}  // namespace qmx
