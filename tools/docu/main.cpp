// qmx-docu: writes the documentation set of a project file, as File >
// Documentation does, into a folder of the caller's, and prints the command
// line that starts the report program on it.
//
//   qmx-docu <project.KPX> <folder> [station]
//
// With a station number (1 for the project's first station) the set is that
// station's alone, as File > Documentation > Network Adapter writes it. The
// catalogue, the pictures and the driver library are those of the staged
// program folder beside the tool (build/dist for build/tools-bin/qmx-docu),
// or of the folder QMX_PROGRAM_DIR names.
#include "tools/docu/docu_writer.h"

#include <cstdlib>
#include <iostream>
#include <string>

namespace fs = std::filesystem;

namespace {

int Usage() {
  std::cerr << "usage: qmx-docu <project.KPX> <folder> [station]\n";
  return 2;
}

fs::path ProgramDir() {
  if (const char* env = std::getenv("QMX_PROGRAM_DIR"); env && *env) return env;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  return self.parent_path().parent_path() / "dist";
}

}  // namespace

#if defined(__SANITIZE_ADDRESS__)
// A sanitizer build's tool: the loaded driver library's thread-local blocks
// trip the leak checker's scan at exit, and a tool that ends at once has no
// leak worth a report.
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }
#endif

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) return Usage();
  qmx::docutool::DocuRequest request;
  request.project = fs::absolute(argv[1]);
  if (argc == 4) {
    char* end = nullptr;
    const long station = std::strtol(argv[3], &end, 10);
    if (*argv[3] == '\0' || *end != '\0' || station < 1 || station > 1000) return Usage();
    request.station = static_cast<int>(station);
  }
  const fs::path folder = fs::absolute(argv[2]).lexically_normal();
  std::error_code ec;
  if (fs::exists(folder, ec) && !fs::is_empty(folder, ec)) {
    std::cerr << "qmx-docu: " << folder.string() << " is not empty\n";
    return 1;
  }
  const fs::path programDir = ProgramDir();
  qmx::docutool::DocuWriter writer;
  std::string error;
  if (!writer.Load(programDir, error)) {
    std::cerr << "qmx-docu: " << error << '\n';
    return 1;
  }
  const qmx::docutool::DocuSet set = writer.Write(request, folder, error);
  if (set.mainFile.empty()) {
    std::cerr << "qmx-docu: " << error << '\n';
    return 1;
  }
  std::cout << (programDir / "Rendaval").string() << " \"" << set.ReportArgument() << "\"\n";
  return 0;
}
