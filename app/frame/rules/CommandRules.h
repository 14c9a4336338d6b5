// When each command of the main menu is enabled, decided from the project
// tree and a few frame flags only, so the whole table is tested without a
// window. The frame asks IsCommandEnabled for every entry before a menu opens
// and periodically for the toolbar, and enables an entry only when the
// command also has a handler in the running program.
//
// The rules read the selection of the project tree: the object services take
// the first project item when nothing is selected, the project look-up does
// not (ProjectWorkspace).
#pragma once

#include "app/commands/CommandIds.h"

#include <functional>
#include <string>

class CProjectUsr;
class NADef;
class ProjectWorkspace;

namespace qmx::commands {


// What the rules read beside the workspace.
struct CommandContext {
  const ProjectWorkspace* workspace = nullptr;
  // The project tree has the keyboard focus.
  bool treeHasFocus = false;
  // The tab host's CanHandleCommand(id, 1). Empty: no tab host (0).
  std::function<int(int commandId)> viewHandles;
  // Whether the selection is a project the XDD export takes. Empty: false.
  std::function<bool()> xddExportable;
};

// Non-empty `text`: the tree is not empty. Empty `text`: besides, the
// selection lies in a project that has at least one adapter.
bool IsSelPrjUsable(const ProjectWorkspace& workspace, const std::string& text);
// A selected object that is not a project, in naming mode 0 ("User View").
bool IsCanRename(const ProjectWorkspace& workspace);
// The selected object's type tag is in the comma list `kinds` (any case);
// with `flag` 1 a project counts only when it has an adapter.
bool IsSelTypeMatch(const ProjectWorkspace& workspace, const std::string& kinds, int flag);

// Adapter products that are never started from the Start Monitoring command.
// Decided by the definition (its model name or identifier), never by the name
// the user gave the adapter.
bool IsMonitoringExcludedModel(const NADef* definition);
// Start Monitoring: the selection's project exists, does not monitor, has
// adapters, and the last of its adapters that supports online or is an
// excluded model supports online and is not excluded.
bool CanStartMonitoring(const ProjectWorkspace& workspace);

// The enabling rule of a command id (true for the commands without a rule).
bool IsCommandEnabled(int commandId, const CommandContext& context);

// ---- structure commands -------------------------------------------------------------

// What the Add Network Adapter dialog is offered for a project (empty where
// the project's communication type proposes nothing).
struct AdapterProposal {
  std::string comPort;
  std::string serialSettings;
  std::string nodeAddress;
};
// RS232C: the lowest COM port number from 1 that no adapter uses. RS422 and
// RS485: the last adapter's COM port and serial settings, and the lowest node
// address no adapter uses within 1 to 127, or within the last adapter's
// settable node range when its definition names one.
AdapterProposal ProposeAdapterComm(const CProjectUsr& project);

// ---- help ---------------------------------------------------------------------------------

// The help file the topics name and the folder of the program that holds the
// pages in its place.
inline constexpr const char* kHelpFileName = "QMX410Tools.chm";
inline constexpr const char* kHelpFolder = "Help";
// "<program folder>/QMX410Tools.chm::/<page>" of a page.
std::string HelpTopic(const std::string& programFolder, const std::string& page);
// The page file of a help topic: the part after "::/" (the whole topic
// without one) under the program folder's Help folder; a page named without
// extension is its ".htm" file. Empty when the topic names no page or a page
// outside the folder.
std::string HelpPageFile(const std::string& programFolder, const std::string& topic);

}  // namespace qmx::commands
