// Fuzz entry point of the documentation reader and the two report trees. The
// input is one station's documentation: the main, node, map, parameter and
// parts-list files separated by NUL bytes; "@DOC_DIR@" in them names the
// folder the files are in (the corpus holds the na1 set of the report
// tests as the main program's export writes it, under these names); they are
// read from memory.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "report/core/DocuSet.h"
#include "report/core/ReportBuilders.h"
#include "tests/support/fuzz_files.h"

namespace fs = std::filesystem;

namespace {

const fs::path& Folder() {
  static const fs::path folder = qmx::fuzz::kMemoryFolder;
  return folder;
}

std::string Placed(std::string text) {
  const std::string token = "@DOC_DIR@";
  for (size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + 1))
    text.replace(at, token.size(), Folder().string());
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kNames[] = {"main.xml", "node1.xml", "map1.xml", "param1.xml", "inquiry1.xml"};
  const std::string input(reinterpret_cast<const char*>(data), size);
  size_t start = 0;
  for (const char* name : kNames) {
    const size_t end = std::min(input.find('\0', start), input.size());
    qmx::fuzz::MemoryFiles::Get().Put((Folder() / name).string(), Placed(input.substr(start, end - start)));
    start = std::min(end + 1, input.size());
  }
  try {
    const qmx::rendaval::DocuSet docu = qmx::rendaval::LoadDocuSet("NA", Folder() / "main.xml");
    (void)qmx::rendaval::BuildPrintDocument(docu);
    (void)qmx::rendaval::ReshapeWorkbook(qmx::rendaval::BuildExcelPages(docu));
  } catch (const qmx::rendaval::DocuError&) {
  }
  return 0;
}
