// The program folder and its sub-folders, fixed once at start-up by the main
// frame and read program-wide.
#pragma once

#include <string>

namespace qmx {

struct ProgramPaths {
  std::string appDir;       // folder of the program file, no trailing separator
  std::string projectsDir;  // "%s/Projects", or the user's project folder from the settings
  std::string tmpDir;       // "%s/~tmp", documentation work folder
  std::string imageDir;     // "%s/Image", module pictures
  std::string startUpDir;   // "%s/StartUpOffline", start page

  // Forms every folder from the program folder.
  void SetAppDir(const std::string& dir) {
    appDir = dir;
    while (appDir.size() > 1 && appDir.back() == '/') appDir.pop_back();
    projectsDir = appDir + "/Projects";
    tmpDir = appDir + "/~tmp";
    imageDir = appDir + "/Image";
    startUpDir = appDir + "/StartUpOffline";
  }
  std::string ProductsDir() const { return appDir + "/Products"; }
  std::string LogDir() const { return appDir + "/Log"; }
  std::string ToolsDir() const { return appDir + "/Tools"; }
};

// The program-wide instance: the paths member of the program services
// (app/model/Services.h).
ProgramPaths& Paths();

}  // namespace qmx
