// When each command of the main menu is enabled, decided from the project
// tree and a few frame flags only, so every rule is tested without a window.
// Each rule is a function of its own; the frame's table of commands
// (app/frame/CommandSpecs.h) names the rule of each command, and the frame
// asks it for every entry before a menu opens and periodically for the
// toolbar. A command the table does not list is never enabled.
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

// The enabling rule of a command. A rule reads `*context.workspace`; it is
// asked through IsRuleMet, which holds no rule met without a workspace.
using CommandRule = bool (*)(const CommandContext& context);
bool IsRuleMet(CommandRule rule, const CommandContext& context);

namespace rules {

// New, Open, the tools and the help: whatever the frame's state.
bool Always(const CommandContext& context);
// Save, Properties: a project is open.
bool ProjectOpen(const CommandContext& context);
// Close, Save As, Add Network Adapter: a project is open and the selection's
// project does not monitor.
bool ProjectOpenNotMonitoring(const CommandContext& context);
// Documentation, inquiry and validation of the project: the selection's
// project has an adapter.
bool ProjectWithAdapters(const CommandContext& context);
// Documentation, inquiry and validation of an adapter: an adapter is
// selected (or holds the selection).
bool AdapterSelected(const CommandContext& context);
// Add Module: an adapter is selected and its project does not monitor.
bool AdapterSelectedNotMonitoring(const CommandContext& context);
// Move Up and Down: the focused tree has a module selected, not monitoring.
bool ModuleMovable(const CommandContext& context);
// Delete: not monitoring, and the focused tree has a selection or the view
// takes the command (a module button of the image view).
bool Deletable(const CommandContext& context);
// Rename: IsCanRename.
bool Renamable(const CommandContext& context);
// Automatic Scan: the selection's project has a communication type with a
// driver and does not monitor.
bool Scannable(const CommandContext& context);
// Compare, Special Commands: the selected adapter works online and its
// project does not monitor.
bool OnlineAdapterIdle(const CommandContext& context);
// Download, and Copy to Project: the selected adapter works online and the
// view takes Download.
bool Downloadable(const CommandContext& context);
// Upload, Reset Parameter: the selected adapter works online, the view takes
// the command and the project does not monitor.
bool Uploadable(const CommandContext& context);
bool ParametersResettable(const CommandContext& context);
// Start Monitoring (CanStartMonitoring) and Stop Monitoring (the selection's
// project has adapters and monitors).
bool MonitoringStartable(const CommandContext& context);
bool MonitoringStoppable(const CommandContext& context);
// Reset to Factory Default: an adapter or a module is selected and the view
// takes the command.
bool FactoryDefaultsSettable(const CommandContext& context);
// View Address Map: an adapter or a module is selected.
bool AdapterOrModuleSelected(const CommandContext& context);
// Generate XDD File: the context's XDD predicate holds.
bool XddExportable(const CommandContext& context);

}  // namespace rules

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
