// The documentation fixture sets (tests/report/fixtures/<set>), installed into
// a temporary folder with the folder names the main program would have written.
#pragma once

#include <filesystem>
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

// Copies the set, putting `folder` and the staged Image folder into the files.
inline InstalledSet InstallSet(const std::string& set, const std::filesystem::path& folder) {
  namespace fs = std::filesystem;
  InstalledSet installed{folder, {}};
  fs::create_directories(folder);
  const fs::path source = qmx::test::SourcePath("tests/report/fixtures/" + set);
  const std::string images = (qmx::test::DistDir() / "Image").string();
  for (const auto& entry : fs::directory_iterator(source)) {
    const fs::path to = folder / entry.path().filename();
    if (entry.path().extension() == ".xml") {
      std::string text = qmx::test::ReadFile(entry.path());
      text = ReplaceAll(ReplaceAll(text, "@DOC_DIR@", folder.string()), "@IMAGE_DIR@", images);
      qmx::test::WriteFile(to, text);
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
