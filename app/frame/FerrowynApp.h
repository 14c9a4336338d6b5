// The application object of QMX410Tools: single instance, profile, the main
// frame, and the road from process start to the running window and back.
#pragma once

#include "platform/os/os.h"
#include "platform/os/profile.h"

#include <memory>
#include <string>
#include <vector>

class CMainFrame;

class CFerrowynApp {
public:
  CFerrowynApp();
  ~CFerrowynApp();

  // Start-up; false when the program is to end now (second instance, a lock
  // folder that cannot be used, or the main window could not be created).
  // Needs a QApplication. With the frame drawn first, the settings, text
  // lists and catalogue are read (and the command line's project opened)
  // once the window has been drawn, on the message loop; without, before
  // InitInstance returns.
  bool InitInstance(const std::vector<std::string>& args);
  void SetFrameDrawnFirst(bool first) { frameDrawnFirst_ = first; }
  // The process's exit status after InitInstance answered false: 0 when
  // another instance runs, non-zero when the single-instance lock failed.
  int exitCode() const { return exitCode_; }
  // Shutdown after the message loop.
  int ExitInstance();

  CMainFrame* mainFrame() const { return frame_.get(); }
  // Hands a project file to the frame (recent-file entries, command line).
  bool OpenDocumentFile(const std::string& path);
  void AddToRecentFileList(const std::string& path);

  // Runs the whole program: the entry point of main().
  static int Main(int argc, char** argv);

private:
  qmx::os::NamedMutex instanceLock_;
  int exitCode_ = 0;
  bool frameDrawnFirst_ = false;
  std::unique_ptr<qmx::os::Profile> profile_;
  std::unique_ptr<CMainFrame> frame_;
};
