// Fault injection: rules that change how the next requests are answered,
// and the reply plan (pieces, pauses, closing) that a rule makes of a reply.
//
// Rule text: KIND[=VALUE][,OPTION...]
//   silence            no reply (the request is not carried out)
//   delay=MS           the reply leaves MS milliseconds late
//   drop               the TCP connection is closed instead of replying (UDP, RTU: silence)
//   exception=CODE     exception reply CODE (default 4); the request is not carried out
//   wrong-unit         the reply carries another unit id
//   wrong-function     the reply carries another function code
//   short[=N]          the reply PDU loses its last N bytes (default 1), framed consistently
//   bad-crc            the RTU reply's CRC is damaged (TCP: no effect)
//   wrong-tid          the TCP reply carries another transaction id (RTU: no effect)
//   segment[=MS[/SIZE]] the reply is sent in pieces of SIZE bytes (default: header, then
//                      the rest) with MS milliseconds between them (default 50)
// Options: once | count=N (applies N times, then is gone) | fc=N (only requests
// of function code N) | node=N (only requests to unit N).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tools/simulator/pdu.h"

namespace qmx::sim {

enum class FaultKind { Silence, Delay, Drop, Exception, WrongUnit, WrongFunction, Short, BadCrc, WrongTid, Segment };

struct FaultRule {
  FaultKind kind = FaultKind::Silence;
  int value = 0;       // delay or pause ms, exception code, bytes cut
  int size = 0;        // segment piece size (0 = header, then the rest)
  int remaining = -1;  // -1 = always
  int function = -1;   // -1 = any function code
  int node = -1;       // -1 = any unit
};

bool ParseFault(const std::string& text, FaultRule* out, std::string* error);
std::string FaultText(const FaultRule& rule);

class FaultPlan {
public:
  void Clear() { rules_.clear(); }
  void Add(const FaultRule& rule) { rules_.push_back(rule); }
  // The first rule that matches the request, counted down (a used-up rule
  // is removed); none when no rule matches.
  std::optional<FaultRule> Take(uint8_t unit, uint8_t function);
  const std::vector<FaultRule>& rules() const { return rules_; }

private:
  std::vector<FaultRule> rules_;
};

// Faults that answer in place of the station: the request is not carried out.
bool FaultPreventsRequest(FaultKind kind);

enum class Transport { Tcp, Rtu };

struct ReplyChunk {
  uint32_t delayMs = 0;  // pause before this piece
  Bytes bytes;
};
struct ReplyPlan {
  bool close = false;  // close the connection (after the pieces, if any)
  std::vector<ReplyChunk> chunks;
};

// The frames to send for a reply PDU, with a fault applied (or none).
ReplyPlan PlanReply(Transport transport, const FaultRule* rule, uint16_t transactionId, uint8_t unit,
                    Bytes pdu);

}  // namespace qmx::sim
