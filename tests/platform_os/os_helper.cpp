// Helper program of the operating-system layer tests.
//   os_helper try NAME    takes the named lock, exits with 100 + the result
//   os_helper hold NAME   takes the named lock, prints the result, keeps the lock
//                         until its standard input ends
//   os_helper cwd FILE    writes its working folder and arguments into FILE
#include "platform/os/os.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

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
  return 2;
}
