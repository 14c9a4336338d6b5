// The table of the main window's commands (CommandSpecs.h).
#include "app/frame/CommandSpecs.h"

#include "app/frame/MainFrame.h"
#include "app/frame/rules/HelpTopics.h"

#include <algorithm>

using namespace qmx::commands;

std::span<const CommandSpec> CMainFrame::CommandSpecs() {
  using F = CMainFrame&;
  constexpr Online kLocal = Online::kNo;
  constexpr Online kDevice = Online::kYes;
  static constexpr CommandSpec kTable[] = {
      // File
      {kIdFileNew, [](F f) { f.OnFileNew(); }, kLocal, rules::Always, "Projects.htm#new"},
      {kIdFileOpen, [](F f) { f.OnFileOpenPrj(); }, kLocal, rules::Always, "Projects.htm#open"},
      {kIdFileClose, [](F f) { f.OnFileClosePrj(); }, kLocal, rules::ProjectOpenNotMonitoring, "Projects.htm#close"},
      {kIdFileSave, [](F f) { f.OnFileSave(); }, kLocal, rules::ProjectOpen, "Projects.htm#save"},
      {kIdFileSaveAs, [](F f) { f.OnFileSaveAs(); }, kLocal, rules::ProjectOpenNotMonitoring, "Projects.htm#save"},
      {kIdFileDocuPrj, [](F f) { f.OnFileDocuPrj(); }, kLocal, rules::ProjectWithAdapters,
       "Documentation.htm#documentation"},
      {kIdFileDocuNa, [](F f) { f.OnFileDocuNa(); }, kLocal, rules::AdapterSelected,
       "Documentation.htm#documentation"},
      {kIdFileInquiryPrj, [](F f) { f.OnFileInquiryPrj(); }, kLocal, rules::ProjectWithAdapters,
       "Documentation.htm#inquiry"},
      {kIdFileInquiryNa, [](F f) { f.OnFileInquiryNa(); }, kLocal, rules::AdapterSelected,
       "Documentation.htm#inquiry"},
      {kIdFilePrintSetup, [](F f) { f.OnFilePrintSetup(); }, kLocal, rules::Always, "Projects.htm#print"},
      {kIdAppExit, [](F f) { f.close(); }, kLocal, rules::Always, "Projects.htm#exit"},
      // Edit
      {kIdEditAddNa, [](F f) { f.OnEditAddNa(); }, kLocal, rules::ProjectOpenNotMonitoring,
       "Editing.htm#add-adapter"},
      {kIdEditAddModule, [](F f) { f.OnEditAddModule(); }, kLocal, rules::AdapterSelectedNotMonitoring,
       "Editing.htm#add-modules"},
      {kIdEditDelete, [](F f) { f.OnEditDelete(); }, kLocal, rules::Deletable, "Editing.htm#delete"},
      {kIdEditRename, [](F f) { f.EditRename(); }, kLocal, rules::Renamable, "Editing.htm#rename"},
      {kIdEditUp, [](F f) { f.OnEditUp(); }, kLocal, rules::ModuleMovable, "Editing.htm#move"},
      {kIdEditDown, [](F f) { f.OnEditDown(); }, kLocal, rules::ModuleMovable, "Editing.htm#move"},
      {kIdEditProperties, [](F f) { f.EditProperties(); }, kLocal, rules::ProjectOpen, "Editing.htm#properties"},
      {kIdEditFactoryDefault, [](F f) { f.onlineOps_.OnEditSetFactoryVal(); }, kDevice,
       rules::FactoryDefaultsSettable, "Editing.htm#factory"},
      {kIdEditGenerateXdd, [](F f) { f.OnEditGenerateXdd(); }, kLocal, rules::XddExportable, "XddExport.htm"},
      // View
      {kIdViewAddrMap, [](F f) { f.onlineOps_.OnViewAddrMap(); }, kDevice, rules::AdapterOrModuleSelected,
       "Views.htm#address-map"},
      // Online
      {kIdOnlineScan, [](F f) { f.OnOnlineAutoScan(); }, kLocal, rules::Scannable, "Scan.htm"},
      {kIdOnlineCompare, [](F f) { f.onlineOps_.OnOnlineCompare(); }, kDevice, rules::OnlineAdapterIdle,
       "Compare.htm"},
      {kIdOnlineDownload, [](F f) { f.onlineOps_.OnOnlineDn(); }, kDevice, rules::Downloadable,
       "Transfers.htm#download"},
      {kIdOnlineUpload, [](F f) { f.onlineOps_.OnOnlineUp(); }, kDevice, rules::Uploadable, "Transfers.htm#upload"},
      {kIdOnlineResetPara, [](F f) { f.onlineOps_.OnOnlineResetPara(); }, kDevice, rules::ParametersResettable,
       "Transfers.htm#reset"},
      {kIdOnlineCopyToPrj, [](F f) { f.onlineOps_.OnOnlineCopyToOffline(); }, kDevice, rules::Downloadable,
       "Transfers.htm#copy"},
      {kIdOnlineSpecialCmds, [](F f) { f.OnOnlineSpecialCmds(); }, kLocal, rules::OnlineAdapterIdle,
       "SpecialCommands.htm"},
      {kIdStartMonitoring, [](F f) { f.onlineOps_.OnOnlineMonStartPrj(); }, kDevice, rules::MonitoringStartable,
       "Monitoring.htm"},
      {kIdStopMonitoring, [](F f) { f.onlineOps_.OnOnlineMonStopPrj(); }, kDevice, rules::MonitoringStoppable,
       "Monitoring.htm"},
      // Tools
      {kIdChkValidPrj, [](F f) { f.OnEditChkValidPrj(); }, kLocal, rules::ProjectWithAdapters, "Validation.htm"},
      {kIdChkValidNa, [](F f) { f.OnEditChkValidNa(); }, kLocal, rules::AdapterSelected, "Validation.htm"},
      {kIdOptionsConfiguration, [](F f) { f.OnOptionsConfiguration(); }, kLocal, rules::Always,
       "Configuration.htm"},
      {kIdToolsBootp, [](F f) { f.OnToolsBootp(); }, kLocal, rules::Always, "BootpServer.htm"},
      {kIdToolsModbusMessenger, [](F f) { f.OnToolsModbusMsger(); }, kLocal, rules::Always, "Messenger.htm"},
      // Help
      {kIdHelpTopics, [](F f) { f.OnHelpTopics(); }, kLocal, rules::Always, kHelpContentsPage},
      {kIdHelpFinder, [](F f) { f.OnHelpOnSelection(); }, kLocal, rules::Always, "Introduction.htm#help"},
      {kIdHelpTechData, [](F f) { f.OnHelpTechData(); }, kLocal, rules::Always, "Vexo Information.htm"},
      {kIdAppAbout, [](F f) { f.OnAppAbout(); }, kLocal, rules::Always, "Introduction.htm#about"},
  };
  static_assert(IdsAreDistinct(kTable), "a command id is listed twice");
  return kTable;
}

const CommandSpec* CMainFrame::FindCommandSpec(int id) {
  const std::span<const CommandSpec> specs = CommandSpecs();
  const auto it = std::find_if(specs.begin(), specs.end(), [id](const CommandSpec& spec) { return spec.id == id; });
  return it == specs.end() ? nullptr : &*it;
}

bool CMainFrame::IsCommandEnabled(int id, const CommandContext& context) {
  const CommandSpec* spec = FindCommandSpec(id);
  return spec && IsRuleMet(spec->rule, context);
}

namespace qmx::commands {

std::string CommandHelpPage(int commandId) {
  if (CMainFrame::IsRecentFileId(commandId)) return "Projects.htm#recent";
  if (std::find(std::begin(kBarIds), std::end(kBarIds), commandId) != std::end(kBarIds)) return kHelpWindowsPage;
  const CommandSpec* spec = CMainFrame::FindCommandSpec(commandId);
  return spec ? spec->help : std::string();
}

}  // namespace qmx::commands
