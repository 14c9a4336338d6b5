// Answers the toolkit's message boxes while it lives: every request is kept
// in `seen`, and each box is answered from the front of `answers`, or with
// Yes (a Yes/No box) or OK when none is left.
#pragma once

#include "platform/toolkit/message_box.h"

#include <string>
#include <vector>

namespace qmx::test {

class BoxScript {
public:
  BoxScript() { Install(); }
  ~BoxScript() { qmx::toolkit::SetMessageBoxScript({}); }
  BoxScript(const BoxScript&) = delete;
  BoxScript& operator=(const BoxScript&) = delete;

  // Answers the boxes again after something else took them over.
  void Install() {
    qmx::toolkit::SetMessageBoxScript([this](const qmx::toolkit::MessageBoxRequest& r) { return Answer(r); });
  }
  bool Saw(const std::string& text) const {
    for (const auto& r : seen)
      if (r.text == text) return true;
    return false;
  }

  std::vector<qmx::toolkit::MessageBoxRequest> seen;
  std::vector<int> answers;

private:
  int Answer(const qmx::toolkit::MessageBoxRequest& r) {
    seen.push_back(r);
    if (!answers.empty()) {
      const int a = answers.front();
      answers.erase(answers.begin());
      return a;
    }
    return (r.flags & 0x0F) == qmx::toolkit::kMbYesNo ? qmx::toolkit::kIdYes : qmx::toolkit::kIdOk;
  }
};

}  // namespace qmx::test
