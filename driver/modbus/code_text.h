// The code texts of the transports (socket and serial port): each lists its
// codes with their descriptions, and a code's text names the transport.
#pragma once

#include <cstddef>
#include <string>

#include "common/Utility.h"

namespace tessivar {

struct CodeText {
  int code;
  const char* text;
};

// The description of `code` in `table`; "Undefined." for a code not listed.
template <size_t N>
const char* DescribeCode(const CodeText (&table)[N], int code) {
  for (const CodeText& entry : table) {
    if (entry.code == code) return entry.text;
  }
  return "Undefined.";
}

// "<transport> Code: <code>. Desc: <description>".
inline std::string TransportCodeText(const char* transport, int code, const char* description) {
  return StrFormat("%s Code: %d. Desc: %s", transport, code, description);
}

}  // namespace tessivar
