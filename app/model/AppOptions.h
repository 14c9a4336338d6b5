// The user options of the main program and the settings file that keeps them.
//
// "QMX410Tools.xml" lies in the program folder. It is read once at start-up
// (ParseConfigFile) and rewritten whole when the configuration changes
// (SaveConfigFile). Besides the options record it carries three values that
// live elsewhere in the program: the copyright line, the tree view-mode number
// and the Projects folder (ConfigExtras).
//
// The log switches are kept in the order General, Error, Communication,
// Developer; the log categories (0 Error, 1 General, 2/3 Communication,
// 4 Developer) map onto them in the log window and the driver binding.
#pragma once

#include <string>
#include <vector>

namespace qmx {

// Index of a log switch in AppOptions::WndEnable / FileEnable.
enum LogSwitch : int {
  kSwitchGeneral = 0,
  kSwitchError = 1,
  kSwitchComm = 2,
  kSwitchDeveloper = 3,
};

inline constexpr const char* kConfigFileName = "QMX410Tools.xml";
inline constexpr const char* kDefaultStartUpPath = "https://www.kestun.com/";
inline constexpr const char* kDefaultCopyright = "Copyright (C) Kestun Automation. All rights reserved.";

struct ProgramPaths;

}  // namespace qmx

class AppOptions {
public:
  AppOptions();

  // Section "WND" (window switches) or "FILE" (file switches), any letter
  // case; index 0 to 3. The value is stored unchanged; any other section or
  // index changes nothing.
  void SetLogEnable(const std::string& section, int index, int value);

  std::string Language;      // suffix of the text-id and error lists
  std::string StartUpTitle;  // text of the start-page tab
  std::string StartUpPath;   // address the start page opens
  std::string ViewMode;      // name of the tree view mode, as written to the file
  std::string PrjUsrFolder;  // user folder for project files; empty: the Projects folder
  int WndEnable[4];          // window log switches (General, Error, Communication, Developer)
  int FileEnable[4];         // log-file switches, same order
  int MaxWndDisplay;         // most rows each list of the log window keeps
  int MaxLogFileSize;        // size limit of one log file, in units of 1,000,000 bytes
  int EraseOldLogFileDays;   // log files older than this many days are erased at shutdown
};

// The values of the settings file that live outside the options record. The
// caller fills them with the program's current values before reading; the
// reader changes only what the file sets.
struct ConfigExtras {
  std::string copyright = qmx::kDefaultCopyright;  // the About dialog's copyright line
  int viewMode = 0;            // 0 "User View", 1 "Product View", 2 "Product, Desc View"
  bool viewModeRead = false;   // set when the file named a view mode (select it in the toolbar box)
  std::string projectsFolder;  // the program-wide Projects folder
};

// Reads the settings file into `options` and `extras`. Returns 1 when the
// file loaded (also when its reading stopped early at a missing element or
// attribute: what was read stays, the rest keeps its values), 0 when it did
// not load (-1027, with a message box).
int ParseConfigFile(const std::string& path, AppOptions& options, ConfigExtras& extras);

// The settings file's text exactly as it is stored: EUC-KR bytes, CR LF line
// ends, values with the predefined XML entities.
std::string FormatConfigFile(const AppOptions& options, const ConfigExtras& extras);

// Writes "<programFolder>/QMX410Tools.xml" from the options, so that a
// readable settings file exists at every moment, whenever the save is cut
// off. The text goes to a temporary file in the same folder
// ("QMX410Tools.xml.tmp"; one left by an interrupted save is removed first)
// that then replaces the old file. When the folder refuses the temporary or
// its rename, the file is rewritten in place, but only after the new text is
// whole and on disk in its backup (SettingsBackupPaths), and when the file
// is the broken one of the two, the file goes first. Returns 1 on success, 0
// on failure: -1003 naming the file that could not be opened (also a backup
// that can be made nowhere), -1006 when writing failed or the folder could
// not be synchronised after the rename (naming the folder); logged and shown.
int SaveConfigFile(const std::string& programFolder, const AppOptions& options, const ConfigExtras& extras);

// Where the backup of a settings file that is rewritten in place is kept:
// "QMX410Tools.xml.bak" beside it, else (a folder that refuses new files) a
// name of its own in the user's private cache folder.
std::vector<std::string> SettingsBackupPaths(const std::string& settingsPath);

// Reads the settings file of the program (paths.SettingsFile()) as
// ParseConfigFile does. A file that is there but cannot be read (cut short,
// not XML, too large) gives way to its backup when one reads; else, for
// per-user settings, it is kept as "QMX410Tools.xml.broken" and replaced by
// a copy of the shipped file. Each of these posts one line that names the
// files; only when none of them reads is the result 0 (-1027).
int ReadSettingsFile(const qmx::ProgramPaths& paths, AppOptions& options, ConfigExtras& extras);
