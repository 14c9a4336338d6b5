#include "tools/simulator/simulator.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "common/Utility.h"
#include "tools/simulator/discovery.h"

namespace qmx::sim {
namespace {

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> w;
  std::string s;
  while (in >> s) w.push_back(s);
  return w;
}

bool ToLong(const std::string& s, long lo, long hi, long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 0);
  if (*end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

std::string Hex4(unsigned v) {
  char b[8];
  std::snprintf(b, sizeof b, "%04X", v & 0xFFFF);
  return b;
}

}  // namespace

std::string ToHex(const Bytes& bytes) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string s;
  for (uint8_t b : bytes) {
    s.push_back(kDigits[b >> 4]);
    s.push_back(kDigits[b & 15]);
  }
  return s.empty() ? "-" : s;
}

bool FromHex(const std::string& text, Bytes* out) {
  out->clear();
  if (text == "-") return true;
  if (text.size() % 2 != 0 || !IsHexDigits(text)) return false;
  *out = HexPairsToBytes(text);
  return true;
}

Simulator::Simulator(const SimConfig& config) : discoveryFault_(config.discoveryFault) {
  for (const StationConfig& s : config.stations) stations_.push_back(std::make_unique<Station>(s));
  if (stations_.empty()) stations_.push_back(std::make_unique<Station>(StationConfig{}));
  for (const FaultRule& r : config.faults) faults_.Add(r);
}

Station* Simulator::StationForRtu(uint8_t unit) {
  for (auto& s : stations_)
    if (s->node() == unit) return s.get();
  return nullptr;
}

Station* Simulator::StationForTcp(uint8_t unit) {
  Station* s = StationForRtu(unit);
  return s ? s : stations_.front().get();
}

void Simulator::SetTime(uint64_t ms) {
  for (auto& s : stations_) s->SetTime(ms);
}

void Simulator::Record(char transport, uint8_t unit, const Bytes& pdu, const std::optional<FaultRule>& fault) {
  HistoryEntry e;
  e.transport = transport;
  e.unit = unit;
  e.request = Summarize(pdu);
  if (fault) e.fault = FaultText(*fault);
  history_.push_back(e);
  while (history_.size() > kHistoryLimit) history_.pop_front();
}

ReplyPlan Simulator::HandleTcp(const TcpRequest& request, char transport) {
  Station* st = StationForTcp(request.unit);
  const uint8_t function = request.pdu.empty() ? 0 : request.pdu[0];
  std::optional<FaultRule> fault = faults_.Take(request.unit, function);
  Record(transport, request.unit, request.pdu, fault);
  Bytes reply;
  if (fault && FaultPreventsRequest(fault->kind)) {
    if (fault->kind != FaultKind::Exception) ++st->counters().noResponse;
    reply = request.pdu.empty() ? Bytes{0} : Bytes{function};
  } else {
    reply = Respond(*st, request.pdu);
  }
  return PlanReply(Transport::Tcp, fault ? &*fault : nullptr, request.transactionId, request.unit, reply);
}

ReplyPlan Simulator::HandleRtu(uint8_t unit, const Bytes& pdu) {
  const uint8_t function = pdu.empty() ? 0 : pdu[0];
  if (unit == 0) {
    Record('R', unit, pdu, std::nullopt);
    if (IsWrite(function))
      for (auto& s : stations_) Respond(*s, pdu);
    return {};
  }
  Station* st = StationForRtu(unit);
  if (!st) return {};
  std::optional<FaultRule> fault = faults_.Take(unit, function);
  Record('R', unit, pdu, fault);
  Bytes reply;
  if (fault && FaultPreventsRequest(fault->kind)) {
    if (fault->kind != FaultKind::Exception) ++st->counters().noResponse;
    reply = Bytes{function};
  } else {
    reply = Respond(*st, pdu);
  }
  return PlanReply(Transport::Rtu, fault ? &*fault : nullptr, 0, unit, reply);
}

Bytes Simulator::HandleDiscovery(const uint8_t* data, size_t length) {
  if (!IsDiscoveryRequest(data, length)) return {};
  return ApplyDiscoveryFault(DiscoveryReply(primary()), discoveryFault_);
}

void Simulator::CountBadFrame() {
  for (auto& s : stations_) ++s->counters().commErrors;
}

bool Simulator::TakeDisconnectRequest() {
  const bool d = disconnect_;
  disconnect_ = false;
  return d;
}

Station* Simulator::Select(const std::vector<std::string>& words, size_t* used, std::string* error) {
  *used = words.size();
  if (!words.empty() && words.back().rfind("node=", 0) == 0) {
    --*used;
    long n = 0;
    if (!ToLong(words.back().substr(5), 0, 255, &n) || !StationForRtu(static_cast<uint8_t>(n))) {
      *error = "no station " + words.back();
      return nullptr;
    }
    return StationForRtu(static_cast<uint8_t>(n));
  }
  return stations_.front().get();
}

std::string Simulator::Execute(const std::string& line) {
  std::vector<std::string> w = Words(line);
  if (w.empty()) return "ERR empty command";
  std::string error;
  size_t n = 0;
  Station* st = Select(w, &n, &error);
  if (!st) return "ERR " + error;
  w.resize(n);
  // A line of nothing but the station ("node=3") names no command.
  if (w.empty()) return "ERR empty command";
  const std::string& cmd = w[0];
  long a = 0, b = 0;

  if (cmd == "ping") return "OK";
  if (cmd == "quit") {
    quit_ = true;
    return "OK";
  }
  if (cmd == "disconnect") {
    disconnect_ = true;
    return "OK";
  }
  if (cmd == "fault") {
    if (w.size() == 1) {
      std::string s = "OK";
      for (const FaultRule& r : faults_.rules()) s.append(" ").append(FaultText(r));
      return s;
    }
    if (w[1] == "clear" || w[1] == "none") {
      faults_.Clear();
      return "OK";
    }
    const bool add = w[1] == "add";
    if (w.size() != (add ? 3u : 2u)) return "ERR fault [add] SPEC";
    FaultRule r;
    if (!ParseFault(w[add ? 2 : 1], &r, &error)) return "ERR " + error;
    if (!add) faults_.Clear();
    faults_.Add(r);
    return "OK " + FaultText(r);
  }
  if (cmd == "discovery-fault") {
    if (w.size() != 2 || !ParseDiscoveryFault(w[1], &discoveryFault_)) return "ERR discovery-fault none|silence|short|bad-header";
    return "OK";
  }
  if (cmd == "freeze") {
    if (w.size() != 2 || (w[1] != "on" && w[1] != "off")) return "ERR freeze on|off";
    for (auto& s : stations_) s->SetFrozen(w[1] == "on");
    return "OK";
  }
  if (cmd == "time") {
    if (w.size() != 2 || !ToLong(w[1], 0, 0x7FFFFFFF, &a)) return "ERR time MS";
    for (auto& s : stations_) {
      s->SetFrozen(false);
      s->SetTime(static_cast<uint64_t>(a));
      s->SetFrozen(true);
    }
    return "OK";
  }
  if (cmd == "input") {
    Bytes bytes;
    if (w.size() != 3 || !ToLong(w[1], 0, 255, &a) || !FromHex(w[2], &bytes)) return "ERR input SLOT HEX";
    if (static_cast<size_t>(a) >= st->slotCount()) return "ERR no slot " + w[1];
    if (!st->SetInput(static_cast<size_t>(a), bytes))
      return "ERR slot " + w[1] + " has " + std::to_string(st->Input(static_cast<size_t>(a)).size()) + " input bytes";
    return "OK";
  }
  if (cmd == "release") {
    st->ReleaseInputs();
    return "OK";
  }
  if (cmd == "get") {
    if (w.size() != 3 || !ToLong(w[2], 0, 255, &a)) return "ERR get input|output|para SLOT";
    const auto slot = static_cast<size_t>(a);
    if (slot >= st->slotCount()) return "ERR no slot " + w[2];
    if (w[1] == "input") return "OK " + ToHex(st->Input(slot));
    if (w[1] == "output") return "OK " + ToHex(st->Output(slot));
    if (w[1] == "para") return "OK " + ToHex(st->Para(slot));
    return "ERR get input|output|para SLOT";
  }
  if (cmd == "set") {
    Bytes bytes;
    if (w.size() != 4 || w[1] != "output" || !ToLong(w[2], 0, 255, &a) || !FromHex(w[3], &bytes))
      return "ERR set output SLOT HEX";
    if (static_cast<size_t>(a) >= st->slotCount() || !st->SetOutput(static_cast<size_t>(a), bytes))
      return "ERR slot " + w[2] + " takes " +
             std::to_string(static_cast<size_t>(a) < st->slotCount() ? st->Output(static_cast<size_t>(a)).size() : 0) +
             " output bytes";
    return "OK";
  }
  if (cmd == "object") {
    if (w.size() < 2 || w.size() > 3 || !ToLong(w[1], 0, 0xFFFF, &a)) return "ERR object ADDR [HEX]";
    Bytes bytes;
    if (w.size() == 2) {
      if (!st->ObjectBytes(static_cast<uint16_t>(a), &bytes)) return "ERR no object at " + w[1];
      return "OK " + ToHex(bytes);
    }
    if (!FromHex(w[2], &bytes)) return "ERR bad hex";
    if (!st->SetObjectBytes(static_cast<uint16_t>(a), bytes)) return "ERR no object of that size at " + w[1];
    return "OK";
  }
  if (cmd == "read") {
    if (w.size() != 3 || !ToLong(w[1], 0, 0xFFFF, &a) || !ToLong(w[2], 1, 125, &b)) return "ERR read ADDR COUNT";
    std::vector<uint16_t> words;
    const Exception e = st->ReadRegisters(static_cast<uint16_t>(a), static_cast<uint16_t>(b), &words);
    if (e != Exception::None) return "ERR exception " + std::to_string(static_cast<int>(e));
    std::string s = "OK";
    for (uint16_t v : words) s += " " + Hex4(v);
    return s;
  }
  if (cmd == "mode") {
    if (w.size() != 3 || !ToLong(w[1], 0, 3, &a) || !ToLong(w[2], 0, 1, &b)) return "ERR mode IN(0-3) OUT(0-1)";
    st->SetModes(static_cast<int>(a), static_cast<int>(b));
    return "OK";
  }
  if (cmd == "counters") {
    const DiagCounters& c = st->counters();
    return "OK bus=" + std::to_string(c.busMessages) + " errors=" + std::to_string(c.commErrors) +
           " exceptions=" + std::to_string(c.exceptions) + " slave=" + std::to_string(c.slaveMessages) +
           " noresponse=" + std::to_string(c.noResponse);
  }
  if (cmd == "history") {
    if (w.size() == 2 && w[1] == "clear") {
      history_.clear();
      return "OK";
    }
    if (w.size() != 1) return "ERR history [clear]";
    std::string s = "OK " + std::to_string(history_.size());
    for (const HistoryEntry& e : history_) {
      char buf[48];
      std::snprintf(buf, sizeof buf, " %c/%02X/%02X/%04X/%04X", e.transport, e.unit, e.request.function,
                    e.request.address, e.request.quantity);
      s += buf;
      if (!e.fault.empty()) s += "!" + e.fault;
    }
    return s;
  }
  return "ERR unknown command '" + cmd + "'";
}

}  // namespace qmx::sim
