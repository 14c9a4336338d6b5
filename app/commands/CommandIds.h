// The command ids of the main program's menu (menu 128), by name. The
// menu and toolbar files (resources/QMX410Tools/ui) carry them as numbers,
// the views answer them and the project tree sends one, so a value never
// changes once given.
//
// Header only and free of everything else, so the frame, its rules and the
// views name the same ids.
#pragma once

namespace qmx::commands {

enum CommandId : int {
  kIdFileNew = 57600,
  kIdFileOpen = 32825,
  kIdFileClose = 32821,
  kIdFileSave = 32826,
  kIdFileSaveAs = 32827,
  kIdFilePrintSetup = 57606,
  kIdFileDocuPrj = 32777,
  kIdFileDocuNa = 32778,
  kIdFileInquiryPrj = 32779,
  kIdFileInquiryNa = 32780,
  kIdEditAddNa = 32781,
  kIdEditAddModule = 32782,
  kIdEditFind = 32783,
  kIdEditDelete = 32784,
  kIdEditRename = 32785,
  kIdEditProperties = 32786,
  kIdChkValidPrj = 32788,
  kIdChkValidNa = 32789,
  kIdOnlineScan = 32790,
  kIdOnlineCompare = 32791,
  kIdOnlineDownload = 32797,
  kIdOnlineUpload = 32798,
  kIdOnlineResetPara = 32799,
  kIdStartMonitoring = 32800,
  kIdStopMonitoring = 32802,
  kIdToolsBootp = 32805,
  kIdHelpTechData = 32806,
  kIdHelpTopics = 32807,
  kIdOptionsConfiguration = 32820,
  kIdViewModeCombo = 32822,
  kIdEditFactoryDefault = 32829,
  kIdViewAddrMap = 32830,
  kIdEditUp = 32831,
  kIdEditDown = 32832,
  kIdOnlineCopyToPrj = 32835,
  kIdOnlineSpecialCmds = 32836,
  kIdToolsModbusMessenger = 32837,
  kIdValueModeCombo = 32839,
  kIdEditGenerateXdd = 32840,
  kIdHelpFinder = 57670,  // Help on Selection (F1): the page of what is selected
  kIdAppAbout = 57664,
  kIdAppExit = 57665,

  // The View menu's entries of the main window's bars. The window shows and
  // hides a bar registered under its id itself (FrameWnd::RegisterBar), so
  // these are no commands of the frame; the toolbar's id is the window
  // layer's own (qmx::toolkit::kToolBarId).
  kIdViewToolBar = 59392,
  kIdViewStatusBar = 59393,
  kIdViewLogBar = 59501,
  kIdViewProjectBar = 59502,
  kIdViewToolBoxBar = 59503,
};

// The bars of the main window by their View menu ids.
inline constexpr CommandId kBarIds[] = {kIdViewToolBar, kIdViewStatusBar, kIdViewLogBar, kIdViewProjectBar,
                                        kIdViewToolBoxBar};

}  // namespace qmx::commands
