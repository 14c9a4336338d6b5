// The documentation sets of the report tests: written by the main program's
// own documentation export from the projects in tests/report/projects
// (report_docu_sets, docu_sets.cpp, which CTest runs before these tests) into
// the build folder, and installed from there into a test's own folder.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>

#include "tests/support/test_support.h"

namespace qmx::rendaval::test {

struct InstalledSet {
  std::filesystem::path folder;    // the temporary folder the set lies in
  std::filesystem::path mainFile;  // the main documentation file
};

inline std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
    text.replace(at, from.size(), to);
  return text;
}

// Copies the set into `folder`; the files that named the folder they were
// written to name `folder` instead.
inline InstalledSet InstallSet(const std::string& set, const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  const fs::path source = fs::path(QMX_DOCU_SETS_DIR) / set;
  if (!fs::is_directory(source))
    throw std::runtime_error("no documentation set " + source.string() + " (written by: ctest -R report_docu_sets)");
  InstalledSet installed{folder, {}};
  fs::create_directories(folder);
  for (const auto& entry : fs::directory_iterator(source)) {
    const fs::path to = folder / entry.path().filename();
    if (entry.path().extension() == ".xml") {
      qmx::test::WriteFile(to, ReplaceAll(qmx::test::ReadFile(entry.path()), source.string(), folder.string()));
      const std::string name = entry.path().filename().string();
      if (name.find("node") == std::string::npos && name.find("map") == std::string::npos &&
          name.find("param") == std::string::npos && name.find("nquiry") == std::string::npos)
        installed.mainFile = to;
    } else {
      fs::copy_file(entry.path(), to, fs::copy_options::overwrite_existing);
    }
  }
  return installed;
}

}  // namespace qmx::rendaval::test
