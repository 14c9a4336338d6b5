// The main window of QMX410Tools: owner of the open projects, the device
// catalogue, the text-id and error lists, the options record and every
// docking window; start-up after the window exists and shutdown.
#pragma once

#include "app/frame/CommandSpecs.h"
#include "app/frame/ProjectFile.h"
#include "app/frame/export/DocExport.h"
#include "app/frame/export/InquiryList.h"
#include "app/frame/online/OnlineOperations.h"
#include "app/model/AppOptions.h"
#include "app/model/ConfigValidation.h"
#include "app/model/IOCatalogue.h"
#include "app/model/NACatalogue.h"
#include "app/model/ProjectWorkspace.h"
#include "app/model/TextIdList.h"
#include "platform/toolkit/frame_wnd.h"

#include <QPointer>

#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

class QComboBox;
class QTimer;
class COutputBar;
class CFerrowynView;
class CToolBoxBar;
class CHelpWindow;
class ContextHelp;
class AutoScanDlg;
class CSpecialCmdDlg;
class TabDockWnd;
class TabTreeCtrl;

namespace qmx::os {
class Profile;
}
namespace qmx::dialogs {
class CompareOfflineDlg;
}

class CMainFrame : public qmx::toolkit::FrameWnd {
  Q_OBJECT
public:
  explicit CMainFrame(qmx::os::Profile* profile);
  ~CMainFrame() override;

  // Builds the frame's windows; 0 on success, -1 after the resource-lack box.
  int OnCreate();
  // Restores bar layout and window placement, then shows the window.
  bool RestoreWindowState();
  // Start-up work after the window is shown: BeginStartUp, then FinishStartUp.
  void InitializeFrmaework();
  // What the first frame shows: the folders, the banner (window title and
  // log line) and the "~tmp" folder.
  void BeginStartUp();
  // The rest, in its order: settings, text lists and catalogue, the log
  // window's options, the start page, the catalogue window's folder.
  void FinishStartUp();
  // BeginStartUp now and FinishStartUp once the window has been drawn, so
  // the frame does not wait for the catalogue; then `then`. When the window
  // is not drawn within kFirstFrameWaitMs (minimized, not mapped) the rest
  // runs all the same. Commands given before the rest has run wait for it
  // and then run in their order.
  void InitializeFrameworkAfterFirstFrame(std::function<void()> then);
  static constexpr int kFirstFrameWaitMs = 250;
  // Set before OnCreate: what the first frame does not show (the hidden
  // tabs' views) is made by FinishStartUp instead of OnCreate.
  void SetPartsAfterFirstFrame(bool later) { partsAfterFirstFrame_ = later; }
  bool startUpFinished() const { return startUpFinished_; }
  void InitPaths();
  // Reads the settings, the text lists and the catalogue; 1 when all were
  // read, else the result of the first reader that failed (0 without parser).
  int ParseXmlsAndAssignDatas();
  std::string GetFileVersionText(const std::string& programFile, std::string& title, std::string& version);
  std::string GetTextIdValue(const std::string& textId, std::string& description);
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
  // The module-naming mode of the project window (the workspace keeps it).
  int namingMode() const { return workspace_.namingMode; }
  int valueMode() const { return valueMode_; }
  const std::string& versionText() const { return versionText_; }
  const std::string& noticeText() const { return noticeText_; }
  const std::vector<std::string>& loadedFiles() const { return loadedFiles_; }

  // Test seams: where the menu and toolbar resources are read from, and
  // whether the XML parser can be created.
  static QString s_menuResource;
  static QString s_toolBarResource;
  static bool s_xmlParserAvailable;
  // The program file name whose version block gives the banner.
  static std::string s_programFileName;

  void OnAppAbout();

  // ---- project files: open, save, close, the File menu and recent files ----
  ProjectFiles& projectFiles() { return Files(); }
  int OpenProject(const std::string& path) { return Files().OpenProject(path); }
  int SaveProject(const std::string& newName, const std::string& path, CProjectUsr* project) {
    return Files().SaveProject(newName, path, project);
  }
  int CloseProject(CProjectUsr* project, TreeItem item, int remove, int ask) {
    return Files().CloseProject(project, item, remove, ask);
  }
  void OnFileOpenPrj();
  void OnFileSave();
  void OnFileSaveAs();
  void OnFileClosePrj();
  // Opens entry `index` (0-based) of the recent-file list.
  void OnOpenRecentFile(int index);
  // Puts a path at the top of the recent-file list and its menu entries.
  void AddToRecentFileList(const std::string& path);
  // Test seam: the Open (save false) and Save As (save true) file dialogs;
  // answers the chosen path, empty for Cancel.
  using ProjectFileDialog =
      std::function<std::string(QWidget* parent, bool save, const std::string& folder, const std::string& fileName)>;
  static ProjectFileDialog s_projectFileDialog;

  // ---- selection services and tree operations (the project window's tree) ----
  ProjectWorkspace& workspace() { return workspace_; }
  TabTreeCtrl* GetPrjTreeCtrl() const;
  // The tab host; none: -1012 logged with the label, boxed with show 1.
  CFerrowynView* GetTabView(const std::string& label, int show);
  TreeItem GetSelUsrObj(Wrapper*& object, std::string& text, const std::string& label, int show) const {
    return workspace_.GetSelUsrObj(object, text, label, show);
  }
  TreeItem GetSelNAUsr(CNAUsr*& adapter, std::string& text, const std::string& label, int show,
                       TreeItem item = kNoTreeItem) const {
    return workspace_.GetSelNAUsr(adapter, text, label, show, item);
  }
  int CollectIOUsrs(TreeItem item, std::vector<CIOUsr*>& list, int all) const {
    return workspace_.CollectIOUsrs(item, list, all);
  }
  CProjectUsr* GetPrjUsrOfNA(TreeItem adapterItem) const { return workspace_.GetPrjUsrOfNA(adapterItem); }
  bool IsSelPrjMonitoring() const { return workspace_.IsSelPrjMonitoring(); }
  void SetProjectModified(int flag, CProjectUsr* project) { workspace_.SetProjectModified(flag, project); }
  void RefreshView(int bForce, const std::string& viewName);
  void ChangeViewModuleNameIcon(int which);
  void UpdateNATreeLabel(Wrapper* object) { workspace_.UpdateNATreeLabel(object); }
  int RenumberSubtree(TreeItem item, int& counter) { return workspace_.RenumberSubtree(item, counter); }
  void ReNumberingIOsDispath(const std::string& kind, TreeItem item) { workspace_.ReNumberingIOsDispath(kind, item); }
  void ReCalNAPosNo(TreeItem projectItem, int relabel) { workspace_.ReCalNAPosNo(projectItem, relabel); }
  CProjectUsr* CreateProject(const std::string& name, const std::string& folder) {
    return workspace_.CreateProject(name, folder);
  }
  CNAUsr* CreateNA(const std::string& title, const std::string& definitionId, TreeItem& item, CNAUsr* adapter) {
    return workspace_.CreateNA(title, definitionId, item, adapter);
  }
  CIOUsr* CreateIO(const std::string& title, const std::string& definitionId, TreeItem& item,
                   const IODef* definition, TreeItem parent) {
    return workspace_.CreateIO(title, definitionId, item, definition, parent);
  }
  int RemoveUsrObj(TreeItem item, Wrapper* object, const std::string& displayName, int ask) {
    return workspace_.RemoveUsrObj(item, object, displayName, ask);
  }
  void DeleteModuleItems(TreeItem adapterItem) { workspace_.DeleteModuleItems(adapterItem); }
  std::string GetBusTypeName(int index) const;
  bool ChangeCommParasOfAllNA(CNAUsr* adapter) { return workspace_.ChangeCommParasOfAllNA(adapter); }
  // Every selection change of the project tree.
  void PrjTreeSelChanged();

  bool CheckFieldPowerValid(const std::string& operation) { return validator_.CheckFieldPowerValid(operation); }
  void OnEditChkValidPrj();
  void OnEditChkValidNa();
  // Shows a failed validation: the "Validation Result" dialog (tests put a
  // recorder here).
  static ConfigValidator::ResultSink s_validationResult;

  // ---- documentation, inquiry list and XDD export (DocExportCommands.cpp) ----
  // Documentation of the selected project or adapter into "~tmp", then the
  // report program is started with the main file.
  void OnFileDocuPrj();
  void OnFileDocuNa();
  int SavePrjToXmlForDocu(const std::string& folder, std::string& mainFile);
  int SaveSelNaToXmlForDocu(const std::string& folder, std::string& mainFile);
  // The parts list of a scope ("PROJECT" or "NA"); see GetInquiryList in
  // InquiryList.h.
  int GetInquiryList(const std::string& scope, InquiryList& list, int report, TreeItem item = kNoTreeItem) const;
  void OnFileInquiryPrj();
  void OnFileInquiryNa();
  // "Generate XDD File": offered for a project of one POWERLINK adapter.
  bool IsXddExportable() const;
  void OnEditGenerateXdd();
  // Test seams: the clock of the documentation, the Inquiry dialog (label,
  // scope, list) and the XDD file question (empty: cancelled).
  static std::function<qmx::docu::LocalTime()> s_docuClock;
  using InquiryDialog =
      std::function<void(QWidget* parent, const std::string& label, const std::string& scope, const InquiryList&)>;
  static InquiryDialog s_inquiryDialog;
  // The XDD file's save dialog, opened in `folder`: the chosen path, empty
  // when cancelled.
  using XddSaveDialog = std::function<std::string(QWidget* parent, const std::string& folder)>;
  static XddSaveDialog s_xddSaveDialog;

  // ---- structure commands (StructureCommands.cpp) ----
  void OnFileNew();
  void OnEditAddNa();
  void OnEditAddModule();
  void OnEditDelete();
  void OnEditUp() { MoveSelectedItem(true); }
  void OnEditDown() { MoveSelectedItem(false); }
  void EditRename();
  void EditProperties();
  // The Properties dialog of an object under a title; 1 when closed with OK
  // (the image view's module buttons open it as well).
  int RunPropertiesDialog(Wrapper* object, const std::string& title);

  // ---- the commands (CommandSpecs.cpp) ----
  // Every command of the main window, one row each (CommandSpecs.h).
  static std::span<const qmx::commands::CommandSpec> CommandSpecs();
  // The row of a command id; nullptr for an id without one.
  static const qmx::commands::CommandSpec* FindCommandSpec(int id);
  // Whether the command is enabled in `context`: its rule holds. An id
  // without a row is never enabled.
  static bool IsCommandEnabled(int id, const qmx::commands::CommandContext& context);
  // An entry of the File menu's recent-file list.
  static bool IsRecentFileId(int id);

  // ---- command enabling, view modes and tool commands (ToolCommands.cpp) ----
  // IsCommandEnabled with the frame's workspace, tree focus and tab host.
  bool IsCommandRuleEnabled(int id) const;
  void OnSelEndOkViewModeBar();
  void OnSelEndOkValModeBar();
  void OnOptionsConfiguration();
  void OnToolsBootp();
  void OnHelpTopics();
  void OnHelpTechData();
  // Help on Selection (F1): the page of what the user works on (ContextHelp).
  void OnHelpOnSelection();
  const std::string& programFolder() const { return appDir_; }
  void OnFilePrintSetup();
  // Shows a help topic in the program's help window, or gives it to the
  // viewer that $QMX_HELP_VIEWER names (HelpTopics.h).
  void ShowHelpTopic(const std::string& topic);
  CHelpWindow* helpWindow() const;

  // ---- automatic scan, special commands, Modbus messenger (ScanCommands.cpp) ----
  void OnOnlineAutoScan();
  void OnOnlineSpecialCmds();
  // The selected adapter's restart and reset of its error counters; 1 sent.
  int DoRestart();
  int DoResetErrCounter();
  // The driver library's messenger window on a private instance.
  void OnToolsModbusMsger();
  // Test seams: the two dialogs run through these (empty: modal).
  static std::function<int(AutoScanDlg&)> s_autoScanDialog;
  static std::function<int(CSpecialCmdDlg&)> s_specialCmdDialog;

  // ---- online commands (OnlineOperationsFrame.cpp; the work is OnlineOperations) ----
  OnlineOperations& onlineOps() { return onlineOps_; }
  // A window timer's tick: 40 the status of every monitoring adapter,
  // 50 ... 549 the refresh of a project's active view.
  void OnTimer(int id);
  bool IsFrameTimerRunning(int id) const;
  // Shows the compare dialog (test seam: how the dialog is run).
  static std::function<int(qmx::dialogs::CompareOfflineDlg&)> s_runCompareDialog;

protected:
  void OnCommand(int id) override;
  bool OnUpdateCommand(int id, bool& checked) override;
  void OnClose() override;

private:
  void InitOnlineOperations();
  void SetFrameTimer(int id, int ms);
  void KillFrameTimer(int id);
  void RunCompareDialog(const std::string& kind, const std::string& label, CNAUsr* adapter, TreeItem item,
                        CompareResultList& preset);
  void MoveSelectedItem(bool up);
  void OnCommandUIUpdated() override;
  void RunDocumentation(bool project);
  void RunInquiry(const std::string& scope, const char* func);
  bool CreateCombos();
  // The status bar's indicator panes: selection, communication, saved state.
  void InstallStatusPanes();
  // The project files with the frame's version text and parser state.
  ProjectFiles& Files();
  void ApplyViewModeFromSettings();
  // Tab goes through the window in its reading order (see MainFrame.cpp).
  void OrderTabChain();
  // FinishStartUp and what waited for it, once.
  void CompleteStartUp(const std::function<void()>& then);

  qmx::os::Profile* profile_;
  AppOptions options_;
  ConfigExtras extras_;
  TextIdMap textIds_;
  ErrorMap errors_;
  NACatalogue naCatalogue_;  // adapter definitions and bus types; shared read-only by all projects
  IOCatalogue ioCatalogue_;  // module groups and definitions; shared read-only by all projects
  bool xmlParserHeld_ = false;
  std::string appDir_;
  int valueMode_ = 0;
  std::string versionText_;
  std::string noticeText_;
  std::vector<std::string> loadedFiles_;  // files the loader chain read, in order
  bool startUpFinished_ = true;           // false while FinishStartUp waits for the first frame
  bool partsAfterFirstFrame_ = false;     // hidden views made by FinishStartUp
  std::vector<int> heldCommands_;         // commands given meanwhile, in order
  ProjectWorkspace workspace_;            // the open projects and their tree
  ConfigValidator validator_{workspace_, errors_};
  ProjectFiles files_{workspace_, ioCatalogue_};  // project files of the workspace's projects
  CompareEngine compareEngine_{workspace_, naCatalogue_, ioCatalogue_};
  OnlineOperations onlineOps_{workspace_, validator_, compareEngine_};
  std::map<int, QTimer*> timers_;  // window timers by identifier

  COutputBar* logBar_ = nullptr;
  TabDockWnd* projectBar_ = nullptr;
  CToolBoxBar* toolBoxBar_ = nullptr;
  qmx::toolkit::StatusBar* statusBar_ = nullptr;
  QComboBox* viewModeCombo_ = nullptr;
  QComboBox* valueModeCombo_ = nullptr;
  CFerrowynView* view_ = nullptr;
  QPointer<CHelpWindow> helpWindow_;  // made on first use; may go with a dialog it was lent to
  ContextHelp* contextHelp_ = nullptr;  // F1 for the whole program; a child of the frame
};
