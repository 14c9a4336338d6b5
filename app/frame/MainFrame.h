// The main window of QMX410Tools: owner of the open projects, the device
// catalogue, the text-id and error lists, the options record and every
// docking window; start-up after the window exists and shutdown.
#pragma once

#include "app/model/AppOptions.h"
#include "app/model/IOCatalogue.h"
#include "app/model/NACatalogue.h"
#include "app/model/TextIdList.h"
#include "platform/toolkit/frame_wnd.h"

#include <functional>
#include <string>
#include <vector>

class QComboBox;
class COutputBar;
class CFerrowynView;
class CToolBoxBar;

namespace qmx::os {
class Profile;
}

// An open project as the frame's shutdown sees it. Projects themselves come
// with project files; until then the list stays empty.
struct OpenProjectSlot {
  std::string name;
  std::function<bool()> isMonitoring;
  // Closes the project, asking to save when it was modified: 1 closed,
  // 2 the user cancelled, 0 failure.
  std::function<int()> close;
};

class CMainFrame : public qmx::toolkit::FrameWnd {
  Q_OBJECT
public:
  explicit CMainFrame(qmx::os::Profile* profile);
  ~CMainFrame() override;

  // Builds the frame's windows; 0 on success, -1 after the resource-lack box.
  int OnCreate();
  // Restores bar layout and window placement, then shows the window.
  bool RestoreWindowState();
  // Start-up work after the window is shown.
  void InitializeFrmaework();
  void InitPaths();
  // Reads the settings, the text lists and the catalogue; 1 when all were
  // read, else the result of the first reader that failed (0 without parser).
  int ParseXmlsAndAssignDatas();
  std::string GetFileVersionText(const std::string& programFile, std::string& title, std::string& version);
  std::string GetTextIdValue(const std::string& textId, std::string& description);
  int GetErrInfo(const std::string& category, int code, std::string& errClass, std::string& description,
                 std::string& action);
  int SaveConfig();

  // Accessors for the rest of the program.
  AppOptions& options() { return options_; }
  const TextIdMap& textIds() const { return textIds_; }
  const ErrorMap& errors() const { return errors_; }
  const NACatalogue& naCatalogue() const { return naCatalogue_; }
  const IOCatalogue& ioCatalogue() const { return ioCatalogue_; }
  CToolBoxBar* toolBoxBar() const { return toolBoxBar_; }
  COutputBar* outputBar() const { return logBar_; }
  CFerrowynView* tabView() const { return view_; }
  CFerrowynView* GetTabView(int showMessage);
  QComboBox* viewModeCombo() const { return viewModeCombo_; }
  QComboBox* valueModeCombo() const { return valueModeCombo_; }
  int namingMode() const { return namingMode_; }
  int valueMode() const { return valueMode_; }
  const std::string& versionText() const { return versionText_; }
  const std::string& noticeText() const { return noticeText_; }
  std::vector<OpenProjectSlot>& openProjects() { return projects_; }
  const std::vector<std::string>& loadedFiles() const { return loadedFiles_; }

  // Test seams: where the menu and toolbar resources are read from, and
  // whether the XML parser can be created.
  static QString s_menuResource;
  static QString s_toolBarResource;
  static bool s_xmlParserAvailable;
  // The program file name whose version block gives the banner.
  static std::string s_programFileName;

  void OnAppAbout();

protected:
  void OnCommand(int id) override;
  bool OnUpdateCommand(int id, bool& checked) override;
  void OnClose() override;

private:
  bool CreateCombos();
  void ApplyViewModeFromSettings();

  qmx::os::Profile* profile_;
  AppOptions options_;
  ConfigExtras extras_;
  TextIdMap textIds_;
  ErrorMap errors_;
  NACatalogue naCatalogue_;  // adapter definitions and bus types; shared read-only by all projects
  IOCatalogue ioCatalogue_;  // module groups and definitions; shared read-only by all projects
  bool xmlParserHeld_ = false;
  std::string appDir_;
  std::vector<OpenProjectSlot> projects_;
  int treeSelProcessing_ = 1;
  int projectCounter_ = 0;
  int namingMode_ = 0;
  int valueMode_ = 0;
  std::string versionText_;
  std::string noticeText_;
  std::vector<std::string> loadedFiles_;  // files the loader chain read, in order

  COutputBar* logBar_ = nullptr;
  qmx::toolkit::DockWindow* projectBar_ = nullptr;
  CToolBoxBar* toolBoxBar_ = nullptr;
  qmx::toolkit::StatusBar* statusBar_ = nullptr;
  QComboBox* viewModeCombo_ = nullptr;
  QComboBox* valueModeCombo_ = nullptr;
  CFerrowynView* view_ = nullptr;
};
