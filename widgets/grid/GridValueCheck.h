// Checks of an edited cell value against its allowed-value definition
// ("type,min,max"; an empty min or max means no bound) and the hint that
// explains a definition. Two rule sets: the main program's grid and the
// driver's grid, which differ in bounds, normalisation and empty texts.
#pragma once

#include <string>

namespace qmx::grid {

struct AllowedValueDef {
  int type = 0;        // 0 also for a non-numeric type field
  std::string min;     // trimmed field 2, empty = no bound
  std::string max;     // trimmed field 3, empty = no bound
};

AllowedValueDef ParseAllowedValueDef(const std::string& definition);

struct GridValueResult {
  bool accepted = false;
  std::string text;  // the text to store when accepted
};

// Main program: 1 integer (stored as "%d"), 2 decimal (single precision,
// stored as "%2.2f"), 3 IPv4 address (stored as typed), 4 hex text of min digits
// (stored as "0x" + upper-case digits), 0 refused, 5 and above accepted as typed.
// An empty definition accepts everything unchanged.
GridValueResult CheckGridValueMain(const std::string& definition, const std::string& text);

// Driver: an empty definition or an empty text passes at once; 1 integer and
// 2 real (both stored as typed), 3 IPv4 address, 4 hex text (stored
// normalised); any other type refuses.
GridValueResult CheckGridValueDriver(const std::string& definition, const std::string& text);

// " Integer. Must be 0 ~ 1." and the like; empty for an empty definition.
std::string AllowedValueHint(const std::string& definition);

}  // namespace qmx::grid
