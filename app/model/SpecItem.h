// One technical-data item of an adapter or module definition: a named value
// with its unit, shown in the image view, the documentation and the address
// map. Definitions hold fixed items (hardware version, dimension, ...) and a
// list of further items.
#pragma once

#include <string>

struct SpecItem {
  std::string textId;
  std::string displayText;
  std::string description;
  std::string value;
  std::string unit;
  int visible = 1;
};
