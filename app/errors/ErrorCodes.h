// The error codes of the main program, by name. Log lines and message boxes
// carry them as numbers ("[Error Code: -1021] ..."), the error list
// (listErrorEng.xml) keys its texts by them and users quote them when they
// report a fault, so a value never changes once given. The driver
// library has its own codes (driver/result_codes.h); these are the program's.
//
// Header only and free of everything else, so every layer of the main
// program names the same codes. The codes of the grid controls belong to the
// widgets layer below the program and the driver; they are in the same
// namespace and the same number space, so this header brings them in.
#pragma once

#include "widgets/errors/ErrorCodes.h"

namespace qmx::err {

// ---- program, files and objects (-1000 ... -1050) --------------------------------
inline constexpr int kNoSelectedProject = -1000;       // no project in the selection
inline constexpr int kTextIdUndefined = -1001;         // text id not in listTextId.xml
inline constexpr int kTmpFolder = -1002;               // "~tmp" cannot be created
inline constexpr int kFileOpenForSave = -1003;         // file cannot be opened for saving
inline constexpr int kLogFile = -1004;                 // log file cannot be opened or written
inline constexpr int kOutOfMemory = -1005;             // an object or buffer could not be made
inline constexpr int kFileSave = -1006;                // writing a file failed
inline constexpr int kUndefinedObjectKind = -1007;     // a tree object of no known kind
inline constexpr int kNoAdapterForSelection = -1008;   // the selection has no adapter
inline constexpr int kProgramNotStarted = -1009;       // another program could not be started
inline constexpr int kAdapterDefinitionMissing = -1010;
inline constexpr int kModuleDefinitionMissing = -1011;
inline constexpr int kNoActiveView = -1012;            // the tab host view is missing
inline constexpr int kErrorKeyUndefined = -1013;       // category/code not in listErrorEng.xml
inline constexpr int kDeleteFailed = -1014;
inline constexpr int kNoMainFrame = -1015;
inline constexpr int kModuleImageLoad = -1016;         // a module's picture cannot be loaded
inline constexpr int kSettingValueUnreadable = -1017;  // a parameter value cannot be read from its image
inline constexpr int kProjectFileDelete = -1019;
inline constexpr int kDriverFileMissing = -1021;       // the driver library cannot be loaded
inline constexpr int kDriverInstance = -1022;          // drvInitialize gave no instance
inline constexpr int kAddressMapUnsupported = -1023;   // drvShowAddresMap missing
inline constexpr int kDriverFunctionMissing = -1024;   // drvSendSpecialCmd / drvGetAddresMap missing
inline constexpr int kSetModuleListMissing = -1025;    // drvSetModuleList missing
inline constexpr int kUninitializeMissing = -1026;     // drvUninitialize missing (or its result)
inline constexpr int kFileNotOpened = -1027;           // a file cannot be loaded (missing, locked, not XML)
inline constexpr int kRequiredFunctionMissing = -1027; // the driver lacks an entry point it must have
inline constexpr int kAutoScanFailed = -1028;
inline constexpr int kFreeAddressMapMissing = -1029;   // drvFreeGetAddresMap missing
inline constexpr int kFreeIOConfigMissing = -1030;     // drvFreeGetIOConfig missing
inline constexpr int kNoCommOffset = -1031;            // online data asked at an offset below 0
inline constexpr int kNoOnlineImage = -1033;           // the adapter has no online image of that kind
inline constexpr int kCompareFailed = -1034;
inline constexpr int kFileNotSaved = -1035;            // a file (picture, report) cannot be written
inline constexpr int kHelpLinkUndefined = -1036;
inline constexpr int kEmptyLength = -1037;             // an I/O item of length 0
inline constexpr int kMonInitOwner = -1038;            // MON_INIT under an object that is no adapter
inline constexpr int kVersionNotSupported = -1039;     // project file of an unsupported version
inline constexpr int kDocumentationFailed = -1040;
inline constexpr int kBusTypeOffline = -1042;          // the bus type has no online functions
inline constexpr int kNoSelectedItem = -1043;
inline constexpr int kAdapterCodeUnknown = -1044;      // no adapter of that product code
inline constexpr int kModuleCodeUnknown = -1045;       // no module of that product code
inline constexpr int kInvalidModuleKind = -1046;
inline constexpr int kModuleDefinitionByCode = -1047;  // no module of that code and category letter
inline constexpr int kOnlineValueUnreadable = -1048;
inline constexpr int kModuleObjectMissing = -1049;
inline constexpr int kInvalidOperation = -1050;        // unknown operation of the field-power check
inline constexpr int kDriverRefused = -1051;           // the driver refused a setting text or the module list

// ---- configuration-validation rules (-101 ... -111) ------------------------------
inline constexpr int kRulePower = -101;              // consumption above the budget
inline constexpr int kRuleExpansion = -102;          // more communicating modules than the adapter serves
inline constexpr int kRuleInputSize = -103;          // input image too large
inline constexpr int kRuleOutputSize = -104;         // output image too large
inline constexpr int kRuleFieldPowerGroup = -105;    // module in another field-power group without cut-off
inline constexpr int kRuleFirstModuleCutoff = -106;  // the first module must cut the field power
inline constexpr int kRuleAddressTwice = -107;       // address used by another adapter of the project
inline constexpr int kRuleAddressEmpty = -108;       // adapter without address
inline constexpr int kRuleComPort = -109;            // different COM ports on one shared line
inline constexpr int kRuleSerialSetting = -110;      // different serial settings on one shared line
inline constexpr int kRuleFieldPowerChange = -111;   // a removal or move breaks the field-power groups

// ---- warnings --------------------------------------------------------------------
inline constexpr int kDriverNotDefined = -3500;  // "[Warning: %d]": the definition names no driver

// ---- definition-file content (-4000 ... -4007) -----------------------------------
inline constexpr int kNodeMissing = -4000;          // a required element or attribute is missing
inline constexpr int kValueNotAllowed = -4001;      // a value outside what the reader accepts
inline constexpr int kNoCurrentObject = -4002;      // project file: element before its adapter
inline constexpr int kNotAdapter = -4003;           // project file: element needs an adapter
inline constexpr int kNotAdapterOrModule = -4004;   // project file: element needs an adapter or module
inline constexpr int kUnsupportedDataType = -4005;  // no default rule for the data type
inline constexpr int kParameterFormat = -4006;      // a parameter's allowed-value text is malformed
inline constexpr int kCommBlockKeyMissing = -4007;

// ---- windows and controls that could not be created (-5000 ... -5172) ------------
// Main frame.
inline constexpr int kCreateFrameWnd = -5000;
inline constexpr int kCreateMenuBar = -5001;
inline constexpr int kCreateToolBar = -5002;
inline constexpr int kCreateLogBar = -5003;
inline constexpr int kCreateProjectBar = -5004;
inline constexpr int kCreateToolBoxBar = -5005;
inline constexpr int kCreateStatusBar = -5006;
// Tabs of the tab host (-5021 is not used).
inline constexpr int kCreateStartUpView = -5020;
inline constexpr int kCreateImageTab = -5022;
inline constexpr int kCreateProcessImageTab = -5023;
inline constexpr int kCreateParameterTab = -5024;
inline constexpr int kCreateAddressMapTab = -5025;
inline constexpr int kCreateCommentTab = -5026;
// The views' own windows.
inline constexpr int kCreateImageView = -5060;
inline constexpr int kCreateProcessImageView = -5070;
inline constexpr int kCreateParametersView = -5080;
// Log window.
inline constexpr int kCreateLogWindow = -5110;
inline constexpr int kCreateLogTabs = -5111;
inline constexpr int kCreateLogSheetAll = -5112;
inline constexpr int kCreateLogSheetError = -5113;
inline constexpr int kCreateLogSheetInfo = -5114;
inline constexpr int kCreateLogSheetComm = -5115;
inline constexpr int kCreateLogSheetDev = -5116;
inline constexpr int kCreateLogImageList = -5117;
// Dialogs.
inline constexpr int kCreateAutoScanDlg = -5120;
inline constexpr int kCreateCheckValidationDlg = -5121;
inline constexpr int kCreateCompareOfflineDlg = -5122;
inline constexpr int kCreateConfigDlg = -5123;
inline constexpr int kCreateInquiryDlg = -5124;
inline constexpr int kCreatePropertiesDlg = -5125;
// Grid controls (-5140 ... -5146): widgets/errors/ErrorCodes.h, included above.
// Project window.
inline constexpr int kCreateProjectWindow = -5160;
inline constexpr int kCreateProjectTree = -5161;
inline constexpr int kCreateProjectTabImages = -5162;
inline constexpr int kCreateTreeCtrl = -5163;
// Catalogue window.
inline constexpr int kCreateToolBoxWindow = -5170;
inline constexpr int kCreateToolBoxImages = -5171;
inline constexpr int kCreateToolBoxControl = -5172;

// ---- XML layer ---------------------------------------------------------------------
inline constexpr int kXmlParser = -6000;     // the XML parser cannot be created
inline constexpr int kXmlException = -6001;  // a reading ended at an XML failure

}  // namespace qmx::err
