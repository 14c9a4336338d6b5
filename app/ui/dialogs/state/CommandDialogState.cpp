#include "app/ui/dialogs/state/CommandDialogState.h"

#include "common/Utility.h"

namespace qmx::dialogs {

TargetButtons PlanTargetButtons(const std::string& kind, int mayIncludeModules) {
  TargetButtons buttons;
  if (mayIncludeModules == 1) {
    buttons.all = true;
    buttons.selected = CompareNoCase(kind, "PROJECT") != 0;
  }
  return buttons;
}

const std::vector<std::string>& BaudRateChoices() {
  static const std::vector<std::string> choices{"1200",  "2400",  "4800",  "9600",   "14400",  "19200",
                                                "38400", "56000", "57600", "115200", "128000", "256000"};
  return choices;
}

const std::vector<std::string>& DataBitsChoices() {
  static const std::vector<std::string> choices{"4", "5", "6", "7", "8"};
  return choices;
}

const std::vector<std::string>& ParityChoices() {
  static const std::vector<std::string> choices{"NOPARITY", "ODDPARITY", "EVENPARITY"};
  return choices;
}

const std::vector<std::string>& StopBitsChoices() {
  static const std::vector<std::string> choices{"1", "1.5", "2"};
  return choices;
}

int FindChoiceByPrefix(const std::vector<std::string>& choices, const std::string& text) {
  if (text.empty()) return -1;
  for (size_t i = 0; i < choices.size(); ++i) {
    if (choices[i].size() >= text.size() && CompareNoCase(choices[i].substr(0, text.size()), text) == 0) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool SerialCommSetting::Set(const std::string& text) {
  if (GetCharCount(text, ',') < 4) return false;
  baudRate = GetToken(text, 1, ',', 1);
  dataBits = GetToken(text, 2, ',', 1);
  parity = GetToken(text, 3, ',', 1);
  stopBits = GetToken(text, 4, ',', 1);
  return true;
}

std::string SerialCommSetting::Text() const {
  const std::string text = ", " + baudRate + ", " + dataBits + ", " + parity + ", " + stopBits;
  return text.substr(2);
}

}  // namespace qmx::dialogs
