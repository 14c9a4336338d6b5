// The toolkit-free part of the three small command dialogs: which target
// buttons the reset and target dialogs offer, and the serial setting text
// with the choices of the serial-setting dialog.
#pragma once

#include <string>
#include <vector>

namespace qmx::dialogs {

// ---- reset and target dialogs ---------------------------------------------------------

// The two target buttons: "... NA && IOs" (the adapter or project with all its
// modules) and the selected-object button.
struct TargetButtons {
  bool all = false;
  bool selected = true;
};

// With the flag 1 both are offered, except that a project ("PROJECT", any
// case) has no selected-object button; with 0 only the selected object.
TargetButtons PlanTargetButtons(const std::string& kind, int mayIncludeModules);

// ---- serial setting -------------------------------------------------------------------

// The choices of the four lists, in list order.
const std::vector<std::string>& BaudRateChoices();
const std::vector<std::string>& DataBitsChoices();
const std::vector<std::string>& ParityChoices();
const std::vector<std::string>& StopBitsChoices();

// The first choice that begins with `text` without regard to case, as a
// drop-down list selects a stored value; -1 when none does or text is empty.
int FindChoiceByPrefix(const std::vector<std::string>& choices, const std::string& text);

// A serial setting: "baud, data, parity, stop", as "9600, 8, NOPARITY, 1".
struct SerialCommSetting {
  std::string baudRate = "115200";
  std::string dataBits = "8";
  std::string parity = "NOPARITY";
  std::string stopBits = "1";

  // Takes the first four comma-separated fields, trimmed; further fields are
  // ignored. Fewer than four: false, and the fields stay as they were.
  bool Set(const std::string& text);
  // The four fields joined by ", ".
  std::string Text() const;
};

}  // namespace qmx::dialogs
