// What the tab views ask of the main frame, in one object.
//
// The views never reach the frame's classes: they read the project tree and
// its selection services through the workspace, and everything else through
// the hooks below, which the frame fills once when it creates the tab host
// and tests fill as they need. A view whose host has no workspace behaves as
// a view without main frame (-1015 and result 0).
#pragma once

#include <functional>
#include <string>

class CNAUsr;
class ProjectWorkspace;
class Wrapper;

namespace qmx::views {

struct ViewHost {
  // The open projects with their tree; null: no main frame.
  ProjectWorkspace* workspace = nullptr;
  // Analog value mode of the frame (0 engineering, 1 raw decimal, 2 raw
  // hexadecimal). Empty: the model's current analog value mode.
  std::function<int()> valueMode;
  // Display text of a communication-init parameter value (parameter key,
  // value text, adapter). Empty: the value text as it is.
  std::function<std::string(const std::string& key, const std::string& value, CNAUsr* adapter)> commBlockDisplayVal;
  // Communication state of a monitored adapter (2: communication fault).
  // Empty: 0, never a fault.
  std::function<int(const CNAUsr& adapter)> commState;
  // Asks the tab host to refresh (bForce, view name; "" every view).
  // Empty: nothing is refreshed.
  std::function<void(int bForce, const std::string& viewName)> refreshViews;
  // Opens the Properties dialog of an object under the given title; 1 when
  // the user confirmed with OK. Empty: nothing opens, 0.
  std::function<int(Wrapper* object, const std::string& title)> openProperties;
  // Carries out a menu command by its id (the start page's links). Empty:
  // the command goes to the main window of the view, when it has one.
  std::function<void(int commandId)> runCommand;
};

// The one host of the program's views.
ViewHost& Host();
// Every member back to empty.
void ResetHost();

// The naming mode of the project window (0 without workspace).
int HostNamingMode();
// The analog value mode through the hook or the model.
int HostValueMode();

}  // namespace qmx::views
