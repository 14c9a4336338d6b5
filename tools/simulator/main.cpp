// qmx-sim: a network adapter with I/O modules on the wire, for tests,
// benchmarks and demonstrations. See tools/README.md.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/simulator/config.h"
#include "tools/simulator/eip_responder.h"
#include "tools/simulator/server.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  qmx::sim::SimConfig config;
  std::string error;
  bool help = false;
  qmx::sim::EipOptions eip;
  if (!qmx::sim::TakeEipOptions(&args, &eip, &error) || !qmx::sim::ParseArguments(args, &config, &error, &help)) {
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
    qmx::sim::EipDevice eipDevice;
    qmx::sim::EipServer eipServer(eipDevice);
    std::string ready = server.ReadyLine();
    if (eip.enabled) {
      qmx::sim::EipIdentity identity;
      identity.deviceCheck = static_cast<uint16_t>(eip.deviceCheck);
      eipDevice.SetIdentity(identity);
      for (const auto& fault : eip.faults) eipDevice.AddFault(fault);
      if (!eipServer.Start(eip.address, eip.port, &error)) {
        std::printf("ERROR %s\n", error.c_str());
        std::fflush(stdout);
        return 1;
      }
      ready += " eip=" + eip.address + ":" + std::to_string(eipServer.port());
    }
    std::printf("%s\n", ready.c_str());
    std::fflush(stdout);
    return server.Run();
  } catch (const std::exception& e) {
    std::printf("ERROR %s\n", e.what());
    std::fflush(stdout);
    std::fprintf(stderr, "qmx-sim: %s\n", e.what());
    return 1;
  }
}
