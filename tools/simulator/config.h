// The simulator's configuration: command line and configuration file.
//
// The file is lines of "key = value"; '#' starts a comment. Keys are the
// long option names without "--". Keys before any section describe the
// station (or, with "nodes", one such station per node) and the transports;
// a section "[node N]" adds a station of node N that starts as a copy of
// the top-level station, so stations on one RTU line can differ.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/simulator/discovery.h"
#include "tools/simulator/faults.h"
#include "tools/simulator/station.h"

namespace qmx::sim {

struct Endpoint {
  std::string address;  // dotted IPv4 address
  int port = -1;        // 0 = pick a free port; -1 = not used
  bool enabled() const { return port >= 0; }
  std::string text() const { return address + ":" + std::to_string(port); }
};

struct SerialSettings {
  int baud = 9600;
  char parity = 'N';
  int dataBits = 8;
  int stopBits = 1;
};

enum class StdinMode {
  Auto,      // commands from a pipe or terminal; end of input ends the program
  Commands,  // always read commands; end of input ends the program
  Ignore,    // stdin is not read
};

struct SimConfig {
  std::vector<StationConfig> stations;  // the first answers TCP requests of unknown units
  Endpoint tcp;
  Endpoint udp;  // Modbus over UDP: one MBAP request per datagram
  Endpoint discovery;
  std::string rtuDevice;
  SerialSettings serial;
  std::string catalogueDir;  // Products folder of the catalogue; empty = the built-in one
  std::string controlPath;  // UNIX socket for control commands; empty = none
  std::vector<FaultRule> faults;
  DiscoveryFault discoveryFault = DiscoveryFault::None;
  StdinMode stdinMode = StdinMode::Auto;
  bool verbose = false;
  int rtuGapMs = 20;
  int maxClients = 16;
};

// Parses the arguments (without the program name). "--config FILE" is read
// first, wherever it stands; the other options then override its values.
// Returns false with a message for a bad option or value; sets *help for
// --help.
bool ParseArguments(const std::vector<std::string>& args, SimConfig* out, std::string* error, bool* help);
std::string UsageText();

class Catalogue;

// The largest configuration file read.
inline constexpr std::uint64_t kConfigFileLimit = 1024 * 1024;

// The text of a configuration file as "--config" reads it with no other
// option, over `catalogue` (may be null) in place of the one the options
// name; for tests and fuzzing.
bool ParseConfigText(const std::string& text, const Catalogue* catalogue, SimConfig* out, std::string* error);

// Module list: comma-separated catalogue modules (QMX-1808, ...), presets
// (DI8, AO4, ...), each optionally "*N" for N of them, or explicit modules
// CODE:KIND:INBITS:OUTBITS[:PARA[:LABEL]]. Catalogue names need a catalogue.
bool ParseModules(const std::string& text, const Catalogue* catalogue, std::vector<ModuleSpec>* out,
                  std::string* error);
bool ParseModules(const std::string& text, std::vector<ModuleSpec>* out, std::string* error);
const std::vector<ModuleSpec>& ModulePresets();

bool ParseEndpoint(const std::string& text, Endpoint* out);
bool ParseIpv4(const std::string& text, std::array<uint8_t, 4>* out);

}  // namespace qmx::sim
