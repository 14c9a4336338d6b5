// Every message box of the suite goes through ShowMessageBox, so tests can
// answer boxes from a script instead of a person.
#pragma once

#include <functional>
#include <string>

class QWidget;

namespace qmx::toolkit {

// Buttons and icons, combined with |, as the program's boxes have always used them.
enum MessageBoxFlags : unsigned {
  kMbOk = 0x0,
  kMbOkCancel = 0x1,
  kMbYesNoCancel = 0x3,
  kMbYesNo = 0x4,
  kMbIconStop = 0x10,
  kMbIconQuestion = 0x20,
  kMbIconWarning = 0x30,
  kMbIconInformation = 0x40,
};

// Answers.
enum MessageBoxResult : int {
  kIdOk = 1,
  kIdCancel = 2,
  kIdYes = 6,
  kIdNo = 7,
};

struct MessageBoxRequest {
  std::string text;
  std::string title;
  unsigned flags = 0;
};

using MessageBoxScript = std::function<int(const MessageBoxRequest&)>;

// Shows a modal box (or asks the script) and returns the button pressed.
// An empty title means the program title.
int ShowMessageBox(QWidget* parent, const std::string& text, const std::string& title = {},
                   unsigned flags = kMbOk);

// Installs a script that answers every box instead of showing it; an empty
// function restores real boxes. Returns the previous script.
MessageBoxScript SetMessageBoxScript(MessageBoxScript script);

// The title used when a box is given none.
void SetProgramTitle(const std::string& title);

}  // namespace qmx::toolkit
