// qmx-sim: a network adapter with I/O modules on the wire, for tests,
// benchmarks and demonstrations. See tools/README.md.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/simulator/config.h"
#include "tools/simulator/server.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  qmx::sim::SimConfig config;
  std::string error;
  bool help = false;
  if (!qmx::sim::ParseArguments(args, &config, &error, &help)) {
    std::printf("ERROR %s\n", error.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "qmx-sim: %s\nTry qmx-sim --help.\n", error.c_str());
    return 2;
  }
  if (help) {
    std::fputs(qmx::sim::UsageText().c_str(), stdout);
    return 0;
  }
  try {
    qmx::sim::Server server(config);
    if (!server.Open(&error)) {
      std::printf("ERROR %s\n", error.c_str());
      std::fflush(stdout);
      std::fprintf(stderr, "qmx-sim: %s\n", error.c_str());
      return 1;
    }
    std::printf("%s\n", server.ReadyLine().c_str());
    std::fflush(stdout);
    return server.Run();
  } catch (const std::exception& e) {
    std::printf("ERROR %s\n", e.what());
    std::fflush(stdout);
    std::fprintf(stderr, "qmx-sim: %s\n", e.what());
    return 1;
  }
}
