// For fuzz entry points over the main program's readers: their message
// boxes are answered at once and never shown or printed (a reader of a
// broken file shows one per input, which would flood standard error).
#pragma once

#include "app/model/Services.h"

#include <string>

namespace qmx::fuzz {

inline void QuietBoxes() {
  static const bool quiet = [] {
    Services().messageBox = [](const std::string&, unsigned) { return 1; };
    return true;
  }();
  (void)quiet;
}

}  // namespace qmx::fuzz
