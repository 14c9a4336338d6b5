// The independent reader of BOOTP packets: scapy (scapy_decode.py, run with
// the system's python) decodes packet files, one JSON line per file.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace qmx::test {

inline std::string RunScapy(const std::vector<std::string>& files) {
  std::string command = "/usr/bin/python3 " + SourcePath("tests/bootp/scapy_decode.py").string();
  for (const auto& f : files) command += " '" + f + "'";
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
  }
  return out;
}

}  // namespace qmx::test
