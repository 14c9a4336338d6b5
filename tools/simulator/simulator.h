// The simulator's state shared by all transports: the stations, the fault
// rules, the request history, and the control commands that change them at
// run time. No sockets here; server.h carries the bytes.
//
// Control commands (one line each; the answer is one line, "OK ..." or
// "ERR reason"). NODE selects a station ("node=N", default the first):
//   ping                           OK
//   fault SPEC | fault add SPEC    replace the rules by one / add a rule
//   fault clear | fault            remove all rules / list them
//   discovery-fault KIND           none, silence, short, bad-header
//   freeze on|off                  stop or resume the input pattern
//   time MS                        set the pattern time of every station and freeze it
//   input SLOT HEX [NODE]          fix a slot's input bytes (slot 0 = the adapter)
//   release [NODE]                 inputs follow the pattern again
//   get input|output|para SLOT [NODE]   OK HEX (image byte order; para in wire order)
//   set output SLOT HEX [NODE]
//   object ADDR [HEX] [NODE]       read (OK HEX) or replace a named register's bytes
//   read ADDR COUNT [NODE]         OK HHHH ... (the register table as FC 3/4 see it)
//   mode IN OUT [NODE]             process-image modes
//   counters [NODE]                OK bus=.. errors=.. exceptions=.. slave=.. noresponse=..
//   history | history clear        OK N T/U/FC/ADDR/QTY[!FAULT] ... (hex, oldest first)
//   disconnect                     close every TCP connection
//   quit                           end the program
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/simulator/config.h"
#include "tools/simulator/faults.h"
#include "tools/simulator/frames.h"
#include "tools/simulator/station.h"

namespace qmx::sim {

struct HistoryEntry {
  char transport = 'T';  // 'T' TCP, 'U' UDP, 'R' RTU
  uint8_t unit = 0;
  RequestSummary request;
  std::string fault;  // the fault rule applied, empty for none
};

class Simulator {
public:
  explicit Simulator(const SimConfig& config);

  // The station of a unit; TCP falls back to the first station (a TCP
  // adapter answers whatever unit id it is asked with), RTU does not.
  Station* StationForTcp(uint8_t unit);
  Station* StationForRtu(uint8_t unit);
  Station& primary() { return *stations_.front(); }
  const std::vector<std::unique_ptr<Station>>& stations() const { return stations_; }

  void SetTime(uint64_t ms);

  // One request and what to send back. TCP replies echo the request's unit.
  // Modbus over UDP uses the same frames; `transport` marks it in the history
  // ('T' TCP, 'U' UDP).
  ReplyPlan HandleTcp(const TcpRequest& request, char transport = 'T');
  // RTU: no chunks for units that are not on the line and for broadcasts
  // (unit 0), whose writes reach every station.
  ReplyPlan HandleRtu(uint8_t unit, const Bytes& pdu);
  // The discovery reply to a datagram, empty when none is due.
  Bytes HandleDiscovery(const uint8_t* data, size_t length);
  // A bad frame seen on the RTU line.
  void CountBadFrame();

  std::string Execute(const std::string& line);
  bool quitRequested() const { return quit_; }
  // True once after a "disconnect" command.
  bool TakeDisconnectRequest();

  const std::deque<HistoryEntry>& history() const { return history_; }
  static constexpr size_t kHistoryLimit = 4096;

private:
  void Record(char transport, uint8_t unit, const Bytes& pdu, const std::optional<FaultRule>& fault);
  Station* Select(const std::vector<std::string>& words, size_t* used, std::string* error);

  std::vector<std::unique_ptr<Station>> stations_;
  FaultPlan faults_;
  DiscoveryFault discoveryFault_;
  std::deque<HistoryEntry> history_;
  bool quit_ = false;
  bool disconnect_ = false;
};

std::string ToHex(const Bytes& bytes);
bool FromHex(const std::string& text, Bytes* out);

}  // namespace qmx::sim
