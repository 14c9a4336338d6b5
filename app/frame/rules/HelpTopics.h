// Which page of the help (resources/QMX410Tools/Help) describes what: each
// window of the program and the driver that F1 can be pressed in, and the
// selection of the project window (the commands name their pages in the
// frame's table of commands, CommandSpecs.h). Pages are named as the help
// topics name them ("Transfers.htm#upload"); the frame's context help
// (ContextHelp.h) turns them into topics.
//
// Toolkit-free: the tables are tested against the pages without a display.
#pragma once

#include <string>
#include <vector>

class ProjectWorkspace;

namespace qmx::commands {

// The page of the contents, and of a project or folder.
inline constexpr const char* kHelpContentsPage = "Introduction.htm";
inline constexpr const char* kHelpProjectPage = "Projects.htm";
inline constexpr const char* kHelpLogPage = "LogWindow.htm";
inline constexpr const char* kHelpWindowsPage = "Views.htm#windows";

// The environment variable that names a program to give help topics to, in
// place of the help window: the program is started with the topic as its one
// argument ("<folder>/QMX410Tools.chm::/Transfers.htm#upload"). Tests of the
// running program record the topics F1 opens with it.
inline constexpr const char* kHelpViewerVariable = "QMX_HELP_VIEWER";

// The page of a window by its class name, with or without its namespace
// ("qmx::dialogs::CAddNaDlg" or "CAddNaDlg"); empty for a window without one.
std::string WindowHelpPage(const std::string& className);
// The class names WindowHelpPage knows, for tests.
std::vector<std::string> HelpWindowClasses();

// The page of the project window's selection: the product page of an adapter
// or a module (its help link), the project page for a project or a folder,
// the contents when nothing is selected or a product names no page.
std::string SelectionHelpPage(const ProjectWorkspace& workspace);

}  // namespace qmx::commands
