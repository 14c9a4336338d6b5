#include "app/frame/rules/HelpTopics.h"

#include "app/frame/rules/CommandRules.h"
#include "app/model/ProjectWorkspace.h"
#include "app/model/Wrapper.h"
#include "common/Utility.h"

#include <map>

namespace qmx::commands {
namespace {

// The recent-file entries of the File menu (the framework's range of them).
constexpr int kRecentFileIdFirst = 57616;
constexpr int kRecentFileIdLast = 57631;
// The View menu's window entries: the three docking windows, the toolbar and
// the status bar.
constexpr int kViewWindowIds[] = {59501, 59502, 59503, 59392, 59393};

const std::map<int, const char*>& CommandPages() {
  static const std::map<int, const char*> pages = {
      {kIdFileNew, "Projects.htm#new"},
      {kIdFileOpen, "Projects.htm#open"},
      {kIdFileClose, "Projects.htm#close"},
      {kIdFileSave, "Projects.htm#save"},
      {kIdFileSaveAs, "Projects.htm#save"},
      {kIdFilePrintSetup, "Projects.htm#print"},
      {kIdAppExit, "Projects.htm#exit"},
      {kIdFileDocuPrj, "Documentation.htm#documentation"},
      {kIdFileDocuNa, "Documentation.htm#documentation"},
      {kIdFileInquiryPrj, "Documentation.htm#inquiry"},
      {kIdFileInquiryNa, "Documentation.htm#inquiry"},
      {kIdEditAddNa, "Editing.htm#add-adapter"},
      {kIdEditAddModule, "Editing.htm#add-modules"},
      {kIdEditDelete, "Editing.htm#delete"},
      {kIdEditRename, "Editing.htm#rename"},
      {kIdEditUp, "Editing.htm#move"},
      {kIdEditDown, "Editing.htm#move"},
      {kIdEditProperties, "Editing.htm#properties"},
      {kIdEditFactoryDefault, "Editing.htm#factory"},
      {kIdEditGenerateXdd, "XddExport.htm"},
      {kIdViewAddrMap, "Views.htm#address-map"},
      {kIdOnlineScan, "Scan.htm"},
      {kIdOnlineCompare, "Compare.htm"},
      {kIdOnlineDownload, "Transfers.htm#download"},
      {kIdOnlineUpload, "Transfers.htm#upload"},
      {kIdOnlineResetPara, "Transfers.htm#reset"},
      {kIdOnlineCopyToPrj, "Transfers.htm#copy"},
      {kIdOnlineSpecialCmds, "SpecialCommands.htm"},
      {kIdStartMonitoring, "Monitoring.htm"},
      {kIdStopMonitoring, "Monitoring.htm"},
      {kIdChkValidPrj, "Validation.htm"},
      {kIdChkValidNa, "Validation.htm"},
      {kIdOptionsConfiguration, "Configuration.htm"},
      {kIdToolsBootp, "BootpServer.htm"},
      {kIdToolsModbusMessenger, "Messenger.htm"},
      {kIdHelpTopics, kHelpContentsPage},
      {kIdHelpTechData, "Vexo Information.htm"},
      {kIdHelpFinder, "Introduction.htm#help"},
      {kIdAppAbout, "Introduction.htm#about"},
      {kIdViewModeCombo, "Views.htm#modes"},
      {kIdValueModeCombo, "Views.htm#modes"},
  };
  return pages;
}

// Windows by class name: the program's dialogs, the driver's windows, the
// folder chooser and the help window itself.
const std::map<std::string, const char*>& WindowPages() {
  static const std::map<std::string, const char*> pages = {
      {"CProjectNewDlg", "Projects.htm#new"},
      {"FolderBrowser", "Projects.htm#folder"},
      {"CAddNaDlg", "Editing.htm#add-adapter"},
      {"AddIoDlg", "Editing.htm#add-modules"},
      {"CRenameDlg", "Editing.htm#rename"},
      {"CPropertiesDlg", "Editing.htm#properties"},
      {"CSerialCommSetDlg", "Editing.htm#serial"},
      {"CResetFactoryDlg", "Editing.htm#factory"},
      {"CDownloadTargetDlg", "Transfers.htm#target"},
      {"CheckValidationDlg", "Validation.htm"},
      {"CompareOfflineDlg", "Compare.htm"},
      {"ConfigDlg", "Configuration.htm"},
      {"InquiryDlg", "Documentation.htm#inquiry"},
      {"AutoScanDlg", "Scan.htm"},
      {"CSpecialCmdDlg", "SpecialCommands.htm"},
      {"CCommProgressDlg", "Transfers.htm"},
      {"CAboutDlg", "Introduction.htm#about"},
      {"MessengerDlg", "Messenger.htm"},
      {"SerialSettingDlg", "Messenger.htm#serial"},
      {"AddressMapDlg", "Views.htm#address-map"},
      {"CHelpWindow", "Introduction.htm#help"},
  };
  return pages;
}

}  // namespace

std::string CommandHelpPage(int commandId) {
  if (commandId >= kRecentFileIdFirst && commandId <= kRecentFileIdLast) return "Projects.htm#recent";
  for (int id : kViewWindowIds) {
    if (commandId == id) return kHelpWindowsPage;
  }
  const auto it = CommandPages().find(commandId);
  return it == CommandPages().end() ? std::string() : it->second;
}

std::string WindowHelpPage(const std::string& className) {
  const size_t colon = className.rfind("::");
  const std::string bare = colon == std::string::npos ? className : className.substr(colon + 2);
  const auto it = WindowPages().find(bare);
  return it == WindowPages().end() ? std::string() : it->second;
}

std::vector<std::string> HelpWindowClasses() {
  std::vector<std::string> names;
  for (const auto& [name, page] : WindowPages()) names.push_back(name);
  return names;
}

std::string SelectionHelpPage(const ProjectWorkspace& workspace) {
  const TreeItem selected = workspace.tree().GetSelectedItem();
  const Wrapper* object = selected == kNoTreeItem ? nullptr : workspace.tree().GetItemData(selected);
  if (!object) return kHelpContentsPage;
  if (object->IsType(kTypeNA) || object->IsType(kTypeIO)) {
    const std::string link = TrimStr(object->GetHelpLink());
    return link.empty() ? kHelpContentsPage : link;
  }
  return kHelpProjectPage;
}

}  // namespace qmx::commands
