// Writes the documentation sets the report program's tests read, with the
// main program's own documentation export (tools/docu) over the staged
// program folder, from the project files in tests/report/projects: what the
// report reads is what the main program writes.
//
//   report_docu_sets --all <folder>   every set into <folder>/<set>, made afresh
#include "tests/support/program_services.h"
#include "tests/support/test_support.h"
#include "tools/docu/docu_writer.h"

#include <iostream>
#include <string>
#include <string_view>

namespace fs = std::filesystem;

namespace {

struct DocuSetSpec {
  const char* name;
  const char* projectFile;  // in tests/report/projects
  int station;              // 0: the whole project
  const char* language;     // the options' Language: the form of the date
  qmx::docu::LocalTime clock;
};

// The clocks give the file names the tests know the sets by.
const DocuSetSpec kSets[] = {
    {"project3", "Bottling Plant.KPX", 0, "Eng", {2026, 12, 9, 14, 30, 5, 42}},
    {"na1", "Cell 7.KPX", 1, "Eng", {2026, 12, 9, 9, 15, 0, 7}},
    {"korean", "\xED\x8F\xAC\xEC\x9E\xA5 \xEB\x9D\xBC\xEC\x9D\xB8.KPX", 0, "Kor", {2026, 12, 9, 10, 10, 10, 100}},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || std::string_view(argv[1]) != "--all") {
    std::cerr << "usage: report_docu_sets --all <folder>\n";
    return 2;
  }
  const fs::path folder = fs::absolute(argv[2]).lexically_normal();
  qmx::test::ResetProgramServices();
  qmx::docutool::DocuWriter writer;
  std::string error;
  if (!writer.Load(qmx::test::DistDir(), error)) {
    std::cerr << error << '\n';
    return 1;
  }
  for (const DocuSetSpec& spec : kSets) {
    fs::remove_all(folder / spec.name);
    qmx::docutool::DocuRequest request;
    request.project = qmx::test::SourcePath(std::string("tests/report/projects/") + spec.projectFile);
    request.station = spec.station;
    request.language = spec.language;
    request.clock = [&spec] { return spec.clock; };
    if (writer.Write(request, folder / spec.name, error).mainFile.empty()) {
      std::cerr << spec.name << ": " << error << '\n';
      return 1;
    }
  }
  qmx::test::ResetProgramServices();
  return 0;
}
