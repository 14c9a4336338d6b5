// Helper program of the operating-system layer tests.
//   os_helper try NAME    takes the named lock, exits with 100 + the result
//   os_helper hold NAME   takes the named lock, prints the result, keeps the lock
//                         until its standard input ends
//   os_helper cwd FILE    writes its working folder and arguments into FILE
//   os_helper stage [ignore-hup] TARGET...
//                         with SIGHUP ignored first when asked, has signals
//                         remove staged files, stages a file for each target
//                         ("+TARGET": staged and committed), prints each staged
//                         path and then "ready", and waits for its standard
//                         input to end
#include "platform/os/os.h"
#include "platform/os/replace_file.h"

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string mode = argv[1];
  if (mode == "try") {
    qmx::os::NamedMutex mutex;
    return 100 + mutex.Create(argv[2]);
  }
  if (mode == "hold") {
    qmx::os::NamedMutex mutex;
    std::printf("%d\n", mutex.Create(argv[2]));
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
  }
  if (mode == "cwd") {
    const std::string file = argv[2];
    {
      std::ofstream out(file + ".part");
      out << std::filesystem::current_path().string() << "\n";
      for (int i = 3; i < argc; ++i) out << argv[i] << "\n";
    }
    std::filesystem::rename(file + ".part", file);
    return 0;
  }
  if (mode == "stage") {
    // From the default actions, whatever the test runner ignores.
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) std::signal(signal, SIG_DFL);
    int first = 2;
    if (std::string(argv[2]) == "ignore-hup") {
      std::signal(SIGHUP, SIG_IGN);
      ++first;
    }
    qmx::os::RemoveStagedFilesOnSignals();
    std::vector<std::unique_ptr<qmx::os::StagedFile>> staged;
    for (int i = first; i < argc; ++i) {
      const std::string target = argv[i][0] == '+' ? argv[i] + 1 : argv[i];
      auto& file = staged.emplace_back(
          std::make_unique<qmx::os::StagedFile>(target, qmx::os::StagedName::kHiddenPerWrite));
      if (!file->ok() || file->Write("partial") != 0) return 3;
      std::printf("%s\n", file->path().c_str());
      if (argv[i][0] == '+' && !file->Commit().ok()) return 4;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
  }
  return 2;
}
