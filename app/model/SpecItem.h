// One technical-data item of an adapter or module definition: a named value
// with its unit, shown in the image view, the documentation and the address
// map. Definitions hold fixed items (hardware version, dimension, ...) and a
// list of further items.
#pragma once

#include "app/model/PooledText.h"
#include <string>

struct SpecItem {
  PooledText textId;
  PooledText displayText;
  PooledText description;
  PooledText value;
  PooledText unit;
  int visible = 1;
};
