#include "tools/simulator/config.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include "common/Utility.h"
#include "common/WholeFile.h"
#include "tools/simulator/catalogue.h"

namespace qmx::sim {
namespace {

std::string Trim(const std::string& s) {
  size_t a = 0, b = s.size();
  while (a < b && std::isspace(static_cast<unsigned char>(s[a]))) ++a;
  while (b > a && std::isspace(static_cast<unsigned char>(s[b - 1]))) --b;
  return s.substr(a, b - a);
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::string cur;
  std::istringstream in(s);
  while (std::getline(in, cur, sep)) out.push_back(Trim(cur));
  return out;
}

bool ToLong(const std::string& s, long lo, long hi, long* out) {
  const std::string t = Trim(s);
  if (t.empty()) return false;
  char* end = nullptr;
  const long v = std::strtol(t.c_str(), &end, 0);
  if (*end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool ToBool(const std::string& s, bool* out) {
  const std::string t = Upper(Trim(s));
  if (t == "1" || t == "ON" || t == "YES" || t == "TRUE") *out = true;
  else if (t == "0" || t == "OFF" || t == "NO" || t == "FALSE") *out = false;
  else return false;
  return true;
}

bool ParseMac(const std::string& text, std::array<uint8_t, 6>* out) {
  const std::vector<std::string> parts = Split(text, ':');
  if (parts.size() != 6) return false;
  std::array<uint8_t, 6> mac{};
  for (size_t i = 0; i < 6; ++i) {
    if (parts[i].empty() || parts[i].size() > 2) return false;
    char* end = nullptr;
    const long v = std::strtol(parts[i].c_str(), &end, 16);
    if (*end != '\0') return false;
    mac[i] = static_cast<uint8_t>(v);
  }
  *out = mac;
  return true;
}

bool ParseSerial(const std::string& text, SerialSettings* out) {
  const std::vector<std::string> p = Split(text, ',');
  if (p.empty() || p.size() > 4) return false;
  SerialSettings s;
  long v = 0;
  if (!ToLong(p[0], 50, 4000000, &v)) return false;
  s.baud = static_cast<int>(v);
  if (p.size() > 1) {
    if (!ToLong(p[1], 5, 8, &v)) return false;
    s.dataBits = static_cast<int>(v);
  }
  if (p.size() > 2) {
    const std::string par = Upper(p[2]);
    if (par == "N" || par == "NOPARITY" || par == "NONE") s.parity = 'N';
    else if (par == "E" || par == "EVENPARITY" || par == "EVEN") s.parity = 'E';
    else if (par == "O" || par == "ODDPARITY" || par == "ODD") s.parity = 'O';
    else return false;
  }
  if (p.size() > 3) {
    if (!ToLong(p[3], 1, 2, &v)) return false;
    s.stopBits = static_cast<int>(v);
  }
  *out = s;
  return true;
}

// A station as the options describe it, before the catalogue fills in what
// they leave open: the keys given explicitly win over the catalogue's values.
struct Draft {
  StationConfig st;
  std::set<std::string> given;
  std::string modules;  // parsed once the catalogue is known
};

// Station keys; true when the key is one (the value may still be bad).
bool ApplyStationKey(Draft& draft, const std::string& key, const std::string& value, std::string* error,
                     bool* handled) {
  StationConfig& st = draft.st;
  *handled = true;
  long v = 0;
  auto bad = [&](const char* what) {
    *error = std::string(what) + ": '" + value + "'";
    return false;
  };
  if (key == "model") {
    if (Trim(value).empty()) return bad("empty model");
    st.model = Trim(value);
  } else if (key == "product") {
    if (!ToLong(value, 0, 0xFFFF, &v)) return bad("product code must be 0 to 0xFFFF");
    st.productCode = static_cast<uint16_t>(v);
  } else if (key == "node") {
    if (!ToLong(value, 1, 247, &v)) return bad("node must be 1 to 247");
    st.node = static_cast<uint8_t>(v);
  } else if (key == "modules") {
    draft.modules = value;
  } else if (key == "ip") {
    if (!ParseIpv4(value, &st.ip)) return bad("bad IP address");
  } else if (key == "mask") {
    if (!ParseIpv4(value, &st.mask)) return bad("bad subnet mask");
  } else if (key == "gateway") {
    if (!ParseIpv4(value, &st.gateway)) return bad("bad gateway");
  } else if (key == "mac") {
    if (!ParseMac(value, &st.mac)) return bad("bad MAC address");
  } else if (key == "input-mode") {
    if (!ToLong(value, 0, 3, &v)) return bad("input mode must be 0 to 3");
    st.inputMode = static_cast<int>(v);
  } else if (key == "output-mode") {
    if (!ToLong(value, 0, 1, &v)) return bad("output mode must be 0 or 1");
    st.outputMode = static_cast<int>(v);
  } else if (key == "adapter-para" || key == "adapter-input" || key == "adapter-output") {
    if (!ToLong(value, 0, 1024, &v)) return bad("adapter block size must be 0 to 1024");
    (key == "adapter-para" ? st.adapterPara : key == "adapter-input" ? st.adapterInput : st.adapterOutput) =
        static_cast<int>(v);
  } else if (key == "firmware") {
    if (!ToLong(value, 0, 0xFFFF, &v)) return bad("firmware must be 0 to 0xFFFF");
    st.firmware = static_cast<uint16_t>(v);
  } else if (key == "seed") {
    const std::string t = Trim(value);
    char* end = nullptr;
    const unsigned long long s = std::strtoull(t.c_str(), &end, 0);
    if (t.empty() || t[0] == '-' || *end != '\0') return bad("bad seed");
    st.seed = s;
  } else if (key == "input-period") {
    if (!ToLong(value, 0, 3600000, &v)) return bad("input period must be 0 to 3600000 ms");
    st.inputPeriodMs = static_cast<uint32_t>(v);
  } else if (key == "freeze") {
    if (!ToBool(value, &st.frozen)) return bad("freeze is on or off");
  } else if (key == "para-session") {
    if (!ToBool(value, &st.requireParaSession)) return bad("para-session is on or off");
  } else {
    *handled = false;
  }
  if (*handled) draft.given.insert(key);
  return true;
}

// Fills in from the catalogue what the options left open and parses the
// module list. A model the catalogue does not name keeps the built-in
// defaults and reports product code 0 unless one is given.
bool Resolve(Draft& draft, const Catalogue* catalogue, std::string* error) {
  StationConfig& st = draft.st;
  const CatalogueAdapter* adapter = catalogue ? catalogue->FindAdapter(st.model) : nullptr;
  if (adapter) {
    st.model = adapter->id;
    if (!draft.given.count("product")) st.productCode = adapter->productCode;
    if (!draft.given.count("adapter-para")) {
      st.adapterPara = adapter->paraLength;
      st.adapterParaDefault = adapter->defaultPara;
    }
    if (!draft.given.count("adapter-input")) st.adapterInput = adapter->inputLength;
    if (!draft.given.count("adapter-output")) st.adapterOutput = adapter->outputLength;
  } else if (!draft.given.count("product")) {
    st.productCode = 0;
  }
  if (!draft.given.count("modules")) return true;
  std::string why;
  if (!ParseModules(draft.modules, catalogue, &st.modules, &why)) {
    *error = "modules of node " + std::to_string(st.node) + ": " + why;
    return false;
  }
  return true;
}

struct Parser {
  SimConfig cfg;
  Draft base;
  std::vector<int> nodes;
  std::vector<Draft> sections;
  Draft* section = nullptr;

  bool Apply(const std::string& key, const std::string& value, std::string* error) {
    bool handled = false;
    Draft& target = section ? *section : base;
    if (!ApplyStationKey(target, key, value, error, &handled)) return false;
    if (handled) {
      if (section == nullptr && key == "node") nodes.clear();
      return true;
    }
    if (section) {
      *error = "'" + key + "' belongs before the first section";
      return false;
    }
    long v = 0;
    if (key == "tcp") {
      if (!ParseEndpoint(value, &cfg.tcp)) return Bad(error, "tcp needs ADDR:PORT", value);
    } else if (key == "udp") {
      if (!ParseEndpoint(value, &cfg.udp)) return Bad(error, "udp needs ADDR:PORT", value);
    } else if (key == "discovery") {
      if (!ParseEndpoint(value, &cfg.discovery)) return Bad(error, "discovery needs ADDR:PORT", value);
    } else if (key == "rtu") {
      if (Trim(value).empty()) return Bad(error, "rtu needs a device path", value);
      cfg.rtuDevice = Trim(value);
    } else if (key == "serial") {
      if (!ParseSerial(value, &cfg.serial)) return Bad(error, "serial needs BAUD[,DATA[,PARITY[,STOP]]]", value);
    } else if (key == "nodes") {
      nodes.clear();
      for (const std::string& n : Split(value, ',')) {
        if (!ToLong(n, 1, 247, &v)) return Bad(error, "nodes are 1 to 247", value);
        nodes.push_back(static_cast<int>(v));
      }
    } else if (key == "catalogue") {
      if (Trim(value).empty()) return Bad(error, "catalogue needs a Products folder", value);
      cfg.catalogueDir = Trim(value);
    } else if (key == "control") {
      cfg.controlPath = Trim(value);
    } else if (key == "fault") {
      FaultRule r;
      if (Trim(value) == "none") {
        cfg.faults.clear();
      } else {
        if (!ParseFault(Trim(value), &r, error)) return false;
        cfg.faults.push_back(r);
      }
    } else if (key == "discovery-fault") {
      if (!ParseDiscoveryFault(Trim(value), &cfg.discoveryFault))
        return Bad(error, "discovery-fault is none, silence, short or bad-header", value);
    } else if (key == "verbose") {
      if (!ToBool(value, &cfg.verbose)) return Bad(error, "verbose is on or off", value);
    } else if (key == "rtu-gap") {
      if (!ToLong(value, 1, 10000, &v)) return Bad(error, "rtu-gap must be 1 to 10000 ms", value);
      cfg.rtuGapMs = static_cast<int>(v);
    } else if (key == "max-clients") {
      if (!ToLong(value, 1, 256, &v)) return Bad(error, "max-clients must be 1 to 256", value);
      cfg.maxClients = static_cast<int>(v);
    } else if (key == "stdin") {
      const std::string m = Trim(value);
      if (m == "auto") cfg.stdinMode = StdinMode::Auto;
      else if (m == "commands") cfg.stdinMode = StdinMode::Commands;
      else if (m == "ignore") cfg.stdinMode = StdinMode::Ignore;
      else return Bad(error, "stdin is auto, commands or ignore", value);
    } else {
      *error = "unknown option '" + key + "'";
      return false;
    }
    return true;
  }

  static bool Bad(std::string* error, const std::string& what, const std::string& value) {
    *error = what + ": '" + value + "'";
    return false;
  }

  bool LoadFile(const std::string& path, std::string* error) {
    std::string text, reason;
    const int read = ReadWholeFile(path, kConfigFileLimit, text, &reason);
    if (read != 1) {
      *error = read == 0 ? reason : "cannot read configuration file " + path;
      return false;
    }
    return LoadText(text, path, error);
  }

  // The lines of a configuration file; `name` leads the error lines.
  bool LoadText(const std::string& text, const std::string& name, std::string* error) {
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
      ++number;
      const size_t hash = line.find('#');
      if (hash != std::string::npos) line.erase(hash);
      line = Trim(line);
      if (line.empty()) continue;
      std::string why;
      if (line.front() == '[') {
        long v = 0;
        const std::string inner = line.back() == ']' ? Trim(line.substr(1, line.size() - 2)) : std::string();
        if (inner.rfind("node", 0) != 0 || !ToLong(inner.substr(4), 1, 247, &v)) {
          *error = name + ":" + std::to_string(number) + ": sections are [node N]";
          return false;
        }
        sections.push_back(base);
        sections.back().st.node = static_cast<uint8_t>(v);
        section = &sections.back();
        continue;
      }
      const size_t eq = line.find('=');
      if (eq == std::string::npos) {
        *error = name + ":" + std::to_string(number) + ": expected key = value";
        return false;
      }
      if (!Apply(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)), &why)) {
        *error = name + ":" + std::to_string(number) + ": " + why;
        return false;
      }
    }
    section = nullptr;
    return true;
  }

  bool Finish(const Catalogue* catalogue, std::string* error) {
    cfg.stations.clear();
    std::vector<Draft> drafts;
    auto put = [&](const Draft& d) {
      auto it = std::find_if(drafts.begin(), drafts.end(), [&](const Draft& o) { return o.st.node == d.st.node; });
      if (it != drafts.end()) *it = d;
      else drafts.push_back(d);
    };
    if (nodes.empty()) {
      put(base);
    } else {
      for (int n : nodes) {
        Draft d = base;
        d.st.node = static_cast<uint8_t>(n);
        put(d);
      }
    }
    for (const Draft& d : sections) put(d);
    for (Draft& d : drafts) {
      if (!Resolve(d, catalogue, error)) return false;
      cfg.stations.push_back(d.st);
    }
    return true;
  }
};

}  // namespace

bool ParseIpv4(const std::string& text, std::array<uint8_t, 4>* out) {
  const std::vector<std::string> parts = Split(text, '.');
  if (parts.size() != 4) return false;
  std::array<uint8_t, 4> a{};
  for (size_t i = 0; i < 4; ++i) {
    long v = 0;
    if (parts[i].empty() || !std::all_of(parts[i].begin(), parts[i].end(), ::isdigit) || !ToLong(parts[i], 0, 255, &v))
      return false;
    a[i] = static_cast<uint8_t>(v);
  }
  *out = a;
  return true;
}

bool ParseEndpoint(const std::string& text, Endpoint* out) {
  const std::string t = Trim(text);
  const size_t colon = t.rfind(':');
  if (colon == std::string::npos) return false;
  std::array<uint8_t, 4> ip{};
  long port = 0;
  if (!ParseIpv4(t.substr(0, colon), &ip) || !ToLong(t.substr(colon + 1), 0, 65535, &port)) return false;
  out->address = t.substr(0, colon);
  out->port = static_cast<int>(port);
  return true;
}

const std::vector<ModuleSpec>& ModulePresets() {
  static const std::vector<ModuleSpec> kPresets = {
      {"DI4", 0x1104, "DI", 4, 0, 2},        {"DI8", 0x1108, "DI", 8, 0, 2},
      {"DI16", 0x1116, "DI", 16, 0, 2},      {"DI32", 0x1132, "DI", 32, 0, 4},
      {"DO4", 0x2104, "DO", 0, 4, 2},        {"DO8", 0x2108, "DO", 0, 8, 2},
      {"DO16", 0x2116, "DO", 0, 16, 2},      {"DO32", 0x2132, "DO", 0, 32, 4},
      {"DIO8", 0x2808, "DIO", 8, 8, 2},      {"AI2", 0x3102, "AI", 32, 0, 2},
      {"AI4", 0x3104, "AI", 64, 0, 4},       {"AI8", 0x3108, "AI", 128, 0, 8},
      {"RTD4", 0x3204, "AI", 64, 0, 8},      {"AO2", 0x4102, "AO", 0, 32, 2},
      {"AO4", 0x4104, "AO", 0, 64, 4},       {"CNT2", 0x5102, "Special", 64, 32, 8},
      {"PWR", 0x7101, "Power", 0, 0, 0},
  };
  return kPresets;
}

bool ParseModules(const std::string& text, std::vector<ModuleSpec>* out, std::string* error) {
  return ParseModules(text, nullptr, out, error);
}

bool ParseModules(const std::string& text, const Catalogue* catalogue, std::vector<ModuleSpec>* out,
                  std::string* error) {
  std::vector<ModuleSpec> list;
  if (Trim(text).empty() || Trim(text) == "none") {
    out->clear();
    return true;
  }
  for (const std::string& item0 : Split(text, ',')) {
    std::string item = item0;
    long repeat = 1;
    if (const size_t star = item.find('*'); star != std::string::npos) {
      if (!ToLong(item.substr(star + 1), 1, 32, &repeat)) {
        *error = "bad module repeat '" + item0 + "'";
        return false;
      }
      item = Trim(item.substr(0, star));
    }
    ModuleSpec m;
    if (item.find(':') != std::string::npos) {
      const std::vector<std::string> f = Split(item, ':');
      long code = 0, in = 0, outBits = 0, para = 0;
      if (f.size() < 4 || f.size() > 6 || !ToLong(f[0], 0, 0xFFFF, &code) || f[1].empty() ||
          !ToLong(f[2], 0, 2048, &in) || !ToLong(f[3], 0, 2048, &outBits) ||
          (f.size() > 4 && !ToLong(f[4], 0, 1024, &para))) {
        *error = "module '" + item + "' is not CODE:KIND:INBITS:OUTBITS[:PARA[:LABEL]]";
        return false;
      }
      m.productCode = static_cast<uint16_t>(code);
      m.kind = f[1];
      m.inputBits = static_cast<uint16_t>(in);
      m.outputBits = static_cast<uint16_t>(outBits);
      m.paraLength = static_cast<uint16_t>(para);
      m.label = f.size() > 5 ? f[5] : f[1] + std::to_string(std::max(in, outBits));
    } else {
      const auto& presets = ModulePresets();
      auto it = std::find_if(presets.begin(), presets.end(),
                             [&](const ModuleSpec& p) { return Upper(p.label) == Upper(item); });
      const CatalogueModule* product = catalogue ? catalogue->FindModule(item) : nullptr;
      if (it != presets.end()) {
        m = *it;
      } else if (product) {
        m = product->Spec();
      } else {
        *error = "unknown module '" + item + "'" + (catalogue ? "" : " (no catalogue was read)");
        return false;
      }
    }
    for (long k = 0; k < repeat; ++k) list.push_back(m);
  }
  if (list.size() > 32) {
    *error = "at most 32 modules";
    return false;
  }
  *out = list;
  return true;
}

namespace {

// The stations from what was read, and something to serve.
bool Complete(Parser& p, const Catalogue* catalogue, SimConfig* out, std::string* error) {
  if (!p.Finish(catalogue, error)) return false;
  if (!p.cfg.tcp.enabled() && !p.cfg.udp.enabled() && p.cfg.rtuDevice.empty() && !p.cfg.discovery.enabled()) {
    *error = "nothing to serve: give --tcp, --udp, --rtu or --discovery";
    return false;
  }
  *out = p.cfg;
  return true;
}

}  // namespace

bool ParseArguments(const std::vector<std::string>& args, SimConfig* out, std::string* error, bool* help) {
  *help = false;
  Parser p;
  static const char* kFlags[] = {"freeze", "verbose", "para-session"};
  // The configuration file first, so the command line overrides it.
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--config" || args[i].rfind("--config=", 0) == 0) {
      std::string path;
      if (args[i] == "--config") {
        if (i + 1 >= args.size()) {
          *error = "--config needs a file";
          return false;
        }
        path = args[i + 1];
      } else {
        path = args[i].substr(9);
      }
      if (!p.LoadFile(path, error)) return false;
    }
  }
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      *help = true;
      return true;
    }
    if (a.rfind("--", 0) != 0) {
      *error = "unexpected argument '" + a + "'";
      return false;
    }
    std::string key = a.substr(2), value;
    const size_t eq = key.find('=');
    if (eq != std::string::npos) {
      value = key.substr(eq + 1);
      key = key.substr(0, eq);
    } else if (std::find(std::begin(kFlags), std::end(kFlags), key) != std::end(kFlags)) {
      value = "on";
    } else {
      if (i + 1 >= args.size()) {
        *error = "--" + key + " needs a value";
        return false;
      }
      value = args[++i];
    }
    if (key == "config") continue;
    if (!p.Apply(key, value, error)) return false;
  }
  // The shipped catalogue, when there is one: a folder given explicitly
  // must read; the built-in one only when it is present.
  Catalogue catalogue;
  const Catalogue* known = nullptr;
  const std::filesystem::path folder =
      p.cfg.catalogueDir.empty() ? DefaultCatalogueFolder() : std::filesystem::path(p.cfg.catalogueDir);
  std::error_code ec;
  if (!p.cfg.catalogueDir.empty() || (!folder.empty() && std::filesystem::exists(folder / "listNA.xml", ec))) {
    if (!Catalogue::Load(folder, &catalogue, error)) return false;
    known = &catalogue;
  }
  return Complete(p, known, out, error);
}

bool ParseConfigText(const std::string& text, const Catalogue* catalogue, SimConfig* out, std::string* error) {
  Parser p;
  return p.LoadText(text, "configuration", error) && Complete(p, catalogue, out, error);
}

std::string UsageText() {
  return R"(Usage: qmx-sim [options]
Behaves as a network adapter with I/O modules on Modbus TCP, Modbus RTU and
the UDP discovery.

Transports (at least one):
  --tcp ADDR:PORT          Modbus TCP server (port 0 = any free port)
  --udp ADDR:PORT          Modbus over UDP (one MBAP request per datagram)
  --rtu DEVICE             Modbus RTU slave on a serial device (e.g. a socat pty)
  --serial B[,D[,P[,S]]]   serial settings of the RTU line (default 9600,8,N,1)
  --nodes N,N,...          one station per node address on the line
  --discovery ADDR:PORT    UDP discovery responder (default port of the tool: 8000)
  --eip ADDR:PORT          EtherNet/IP server for the BOOTP server's device setup
                           (a device's port is 44818); beside one of the above

Station:
  --model NAME             adapter model (default QMX-4101); a catalogue adapter gives
                           the product code, parameter and own I/O sizes
  --modules LIST           catalogue modules (QMX-1808,QMX-3404*2), presets (DI8,AO4)
                           or CODE:KIND:INBITS:OUTBITS[:PARA[:LABEL]]
  --catalogue DIR          Products folder of the catalogue (default: the source tree's)
  --product CODE           product code (default: the catalogue's, else 0)
  --node N                 node address / unit id (default 1)
  --adapter-para N, --adapter-input N, --adapter-output N   adapter's own block sizes
  --input-mode 0..3, --output-mode 0..1
  --ip A.B.C.D, --mask A.B.C.D, --gateway A.B.C.D, --mac XX:XX:XX:XX:XX:XX
  --firmware 0xMMNN
  --seed N, --input-period MS, --freeze   the input pattern
  --para-session           module parameter writes only inside a command-register session

Faults and control:
  --fault SPEC             e.g. silence, delay=300, exception=2,fc=3,once (repeatable)
  --discovery-fault KIND   none, silence, short, bad-header
  --eip-fault SPEC         status=HH, silence, short, oversize or drop, then ,count=N or ,once
  --eip-check N            device check value the EtherNet/IP server reports (default 741)
  --control PATH           UNIX socket taking control commands (one per line)
  --stdin auto|commands|ignore
  --rtu-gap MS             quiet time that ends a partial RTU frame (default 20)
  --max-clients N          concurrent TCP connections (default 16)
  --verbose                log every request and reply on stderr
  --config FILE            read options from FILE (key = value, [node N] sections)
)";
}

}  // namespace qmx::sim
