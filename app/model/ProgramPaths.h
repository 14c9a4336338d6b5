// The program folder and its sub-folders, fixed once at start-up by the main
// frame and read program-wide.
//
// What is shipped is read from the program folder (catalogue, pictures, help,
// start page). What the program writes (log files, the documentation work
// folder, the settings file) goes to the program folder when the user may
// write to it, else to per-user folders (qmx::os::ChooseWritableFolders); so
// does the default folder of new and saved projects.
#pragma once

#include <string>

namespace qmx {

struct ProgramPaths {
  std::string appDir;        // folder of the program file, no trailing separator
  std::string dataDir;       // holds Log/ and ~tmp/: appDir, or the per-user data folder
  std::string configDir;     // holds the settings file: appDir, or the per-user config folder
  bool perUser = false;      // appDir is not writable: dataDir and configDir are the user's
  std::string projectsDir;   // "%s/Projects" (of dataDir), or the user's project folder from the settings
  std::string tmpDir;        // "%s/~tmp" (of dataDir), documentation work folder
  std::string imageDir;      // "%s/Image", module pictures
  std::string startUpDir;    // "%s/StartUpOffline", start page

  // Forms every folder from the program folder; creates nothing.
  void SetAppDir(const std::string& dir);
  std::string ShippedProjectsDir() const { return appDir + "/Projects"; }
  std::string SettingsFile() const;         // the settings file read and written
  std::string ShippedSettingsFile() const;  // the settings file as shipped in appDir
};

// The program-wide instance: the paths member of the program services
// (app/model/Services.h).
ProgramPaths& Paths();

// For per-user folders: makes them, copies the shipped settings file and the
// example projects into them when they are not there yet, and posts one line
// naming where the logs, work files and settings are kept. Does nothing when
// the program folder is writable. 1 when the folders are ready, 0 when one
// could not be made (posted on the error category).
int PreparePerUserFolders(const ProgramPaths& paths);

// The user's cache folder (the single-instance lock's and the in-place
// backups' place) is not $XDG_CACHE_HOME's when another user could plant,
// take or remove things there (qmx::os::ChooseUserCacheFolder): then one
// line on the error category names the folders passed over and why, and the
// one used. Nothing otherwise.
void ReportCacheFolderChoice();

}  // namespace qmx
