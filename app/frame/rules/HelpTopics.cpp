#include "app/frame/rules/HelpTopics.h"

#include "app/model/ProjectWorkspace.h"
#include "app/model/Wrapper.h"
#include "common/Utility.h"

#include <map>

namespace qmx::commands {
namespace {

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
