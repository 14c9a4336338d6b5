// Project files ("KPX"): the writer, the reader and the open, save and close
// operations of the main frame, without any window, so that they run in
// tests and benchmarks with no display.
//
// The file is one XML text written line by line (CR LF ends, declaration
// "euc-kr"): the project's settings, then one Node element per adapter and
// module in tree order with each object's byte images as hex text (last
// byte first). Values are escaped with the predefined entities, and tab, CR
// and LF as character references, before the UTF-8 text is converted to
// EUC-KR; a character EUC-KR cannot hold becomes a decimal reference, so a
// file read back gives the same values and, saved again, the same bytes.
//
// Saving does not truncate the file it replaces: the text goes into a new
// file in the same folder, which is flushed and renamed over the old one; a
// failed save leaves the old file and the project's name, path and modified
// flag as they were. Only a folder that refuses new files, holding a file
// the user may write, gets the file rewritten in place, and then only after
// the same text is whole and on disk in its backup (ProjectBackupPath); a
// file found broken at its next open gives way to that backup, with one
// line, and the project opens modified.
//
// A project whose file was read only in part (an XML failure, an unknown
// definition, a refused element or image) is marked modified, and the first
// save over the file it came from asks first, since the file would lose
// what could not be read.
#pragma once

#include "app/model/ProjectTree.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

class CProjectUsr;
class IOCatalogue;
class ProjectWorkspace;
class Wrapper;

namespace qmx::xml {
class Document;
class Node;
}

// The project-file type as the file dialogs name it, and its extension.
inline constexpr const char* kProjectFileType = "QMX-410 Tools Project";
inline constexpr const char* kProjectFileExt = "KPX";
// The largest project file opened: a station takes a few kB, so this holds
// thousands of them; a larger file is refused before it is read.
inline constexpr std::uint64_t kProjectFileLimit = 32ull * 1024 * 1024;

// Where the backup of a project file rewritten in place lies (its folder
// refuses new files): in the user's private cache folder, named by the file
// the path leads to (a link followed), so that every path to it finds it.
std::string ProjectBackupPath(const std::string& path);

// What OpenProject answers beside 1 (opened) and 0 (refused or failed).
inline constexpr int kOpenVersionRefused = -1039;
inline constexpr int kOpenNoProjectElement = -4000;

// Result of CloseProject when the user kept the project.
inline constexpr int kCloseCancelled = 2;

class ProjectFiles {
public:
  ProjectFiles(ProjectWorkspace& workspace, const IOCatalogue& modules);
  ProjectFiles(const ProjectFiles&) = delete;
  ProjectFiles& operator=(const ProjectFiles&) = delete;

  // The program's version text written as AppVersion.
  std::string appVersion;
  // The lowest file version number accepted (every version from 0 on).
  int minimumFileVersion = 0;
  // False when no XML parser can be made (open then reports -6000).
  bool xmlParserAvailable = true;
  // Called with the path of every file saved (the recent-file list).
  std::function<void(const std::string& path)> addRecentFile;
  // Shows the start view before a file is read (the tab host's tab 0).
  std::function<void()> showStartView;

  // ---- writing ----
  // Appends the lines of a tree item and of everything below it (UTF-8,
  // escaped, CR LF ends) to `out`. 0.
  int SaveNodeToXmlForPrj(TreeItem item, std::string& out) const;
  // The whole file as it goes to disk (EUC-KR with references).
  std::string ProjectFileBytes(const CProjectUsr& project) const;
  // Saves a project (null: the selected one) under `path`, renaming it to
  // `newName` when that is not empty. 1 saved, 0 failed or declined.
  int SaveProject(const std::string& newName, const std::string& path, CProjectUsr* project);

  // ---- reading ----
  // 1 opened; 0 refused or failed; -1039 version not supported; -4000 no
  // project element.
  int OpenProject(const std::string& path);
  // Reads a list of nodes under a tree item and the current object (null
  // for none). 1; an XML failure propagates as qmx::xml::XmlError.
  int OpenRecursiveNodeInfo(const std::vector<qmx::xml::Node>& nodes, TreeItem item, Wrapper* current);
  // 1 when a file of this version is accepted, else 0.
  int IsSupportedAppVersion(const std::string& version) const;

  // ---- closing ----
  // Closes a project, asking to save it when it is modified and `ask` is 1.
  // With `remove` 1 the project also leaves the open list and is deleted.
  // 1 closed; 2 the user kept it.
  int CloseProject(CProjectUsr* project, TreeItem item, int remove, int ask);
  // Deletes the objects of an item and of every item below it except a
  // project. 0.
  int DeleteTreeObjects(TreeItem item);

  // Whether the project was read from its file only in part and has not
  // been saved over that file since.
  bool IsOpenedInPart(const CProjectUsr* project) const { return partial_.count(project) != 0; }

private:
  void WriteProjectLines(const CProjectUsr& project, std::string& out) const;
  void WriteNodeLines(const Wrapper* object, std::string& out) const;
  bool IsModuleCategory(const std::string& category) const;
  // Monitoring, comment and scan settings of the project element; `location`
  // follows the XPath being read.
  void ReadProjectSettings(const qmx::xml::Document& doc, CProjectUsr& project, std::string& location);
  // Reads one Node element (an adapter, a module or a folder).
  void OpenNodeElement(const qmx::xml::Node& node, TreeItem item, Wrapper* current);
  // Writes the bytes to `path` through a new file in its folder. 1, or 0
  // after reporting -1003 / -1006.
  int WriteFileReplacing(const std::string& path, const std::string& bytes);
  // Asks before the first save of a project read in part over its file.
  bool ConfirmSaveOverPartialFile(const CProjectUsr& project, const std::string& path) const;
  void NoteReadInPart() { readInPart_ = true; }

  ProjectWorkspace& workspace_;
  const IOCatalogue& modules_;
  // Projects read in part, with the file they were read from.
  std::map<const CProjectUsr*, std::string> partial_;
  bool readInPart_ = false;  // set while a file is read
};

// The folder, file name and title (file name up to its last point) of a
// path.
struct ProjectPathParts {
  std::string folder;
  std::string fileName;
  std::string title;
};
ProjectPathParts SplitProjectPath(const std::string& path);
