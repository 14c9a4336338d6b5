// A walk over a window's controls for what keyboard and screen-reader users
// need: every control that takes input can be reached with the Tab key
// (tool-bar buttons excepted: their actions are in the menus), and every
// control has an accessible name (a button by its caption, a field by the
// label whose buddy it is, or a name set on it).
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace qmx::test {

// One line per fault: "<class> '<what it shows>' in <path>: <problem>".
// Controls hidden inside the window (not visible once it is shown) are left
// out; disabled ones are checked for their name only.
std::vector<std::string> AuditAccess(QWidget* window);

}  // namespace qmx::test
