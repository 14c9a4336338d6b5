// The simulator's configuration file and control lines on arbitrary bytes:
// up to the first NUL byte the text of a "--config" file, read over the
// shipped catalogue; when it makes a configuration, the rest are control
// lines for a simulator of it. A configuration has its stations within the
// node range, and every control line gets one answer line, "OK ..." or
// "ERR ...".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "tools/simulator/catalogue.h"
#include "tools/simulator/config.h"
#include "tools/simulator/simulator.h"

using namespace qmx::sim;

namespace {

const Catalogue& Shipped() {
  static const Catalogue catalogue = [] {
    Catalogue c;
    std::string error;
    if (!Catalogue::Load(QMX_FUZZ_CATALOGUE_DIR, &c, &error)) std::abort();
    return c;
  }();
  return catalogue;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t end = input.find('\0');
  SimConfig config;
  std::string error;
  if (!ParseConfigText(input.substr(0, end), &Shipped(), &config, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  if (config.stations.empty()) std::abort();
  for (const StationConfig& station : config.stations) {
    if (station.node < 1 || station.node > 247 || station.modules.size() > 32) std::abort();
  }
  if (end == std::string::npos) return 0;

  Simulator sim(config);
  std::istringstream lines(input.substr(end + 1));
  std::string line;
  while (std::getline(lines, line) && !sim.quitRequested()) {
    const std::string answer = sim.Execute(line);
    if ((answer.rfind("OK", 0) != 0 && answer.rfind("ERR", 0) != 0) || answer.find('\n') != std::string::npos)
      std::abort();
  }
  return 0;
}
