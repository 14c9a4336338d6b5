// The simulator's request framing on arbitrary bytes: the bytes are a Modbus
// TCP stream cut into requests by their MBAP length, the server's way, and
// the same bytes an RTU line fed in pieces with a quiet gap now and then.
// Every request cut is handled by a simulator of two stations, and what comes
// back is one whole frame of the request's transport: on TCP an MBAP frame
// that echoes the transaction and unit, on RTU a frame of the asked unit with
// a right CRC.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/simulator/frames.h"
#include "tools/simulator/simulator.h"

using namespace qmx::sim;

namespace {

const SimConfig& Config() {
  static const SimConfig config = [] {
    SimConfig c;
    std::string error;
    bool help = false;
    if (!ParseArguments({"--rtu", "/dev/null", "--nodes", "1,2", "--modules", "DI8,AO2,CNT2", "--freeze"}, &c,
                        &error, &help))
      std::abort();
    return c;
  }();
  return config;
}

Bytes Joined(const ReplyPlan& plan) {
  Bytes all;
  for (const ReplyChunk& chunk : plan.chunks) all.insert(all.end(), chunk.bytes.begin(), chunk.bytes.end());
  return all;
}

void CheckTcp(const TcpRequest& request, const ReplyPlan& plan) {
  const Bytes reply = Joined(plan);
  if (reply.empty()) return;
  if (reply.size() < 8 || reply.size() > 260 || reply[0] != request.transactionId >> 8 ||
      reply[1] != (request.transactionId & 0xFF) || reply[2] != 0 || reply[3] != 0 ||
      static_cast<size_t>(reply[4] << 8 | reply[5]) != reply.size() - 6 || reply[6] != request.unit)
    std::abort();
}

void CheckRtu(uint8_t unit, const ReplyPlan& plan) {
  const Bytes reply = Joined(plan);
  if (reply.empty()) return;
  const uint16_t crc = Crc16(reply.data(), reply.size() - 2);
  if (reply.size() < 5 || reply.size() > 256 || reply[0] != unit || reply[reply.size() - 2] != (crc & 0xFF) ||
      reply[reply.size() - 1] != crc >> 8)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Simulator sim(Config());

  Bytes stream(data, data + size);
  for (;;) {
    TcpRequest request;
    const TcpCut cut = CutTcpRequest(stream, &request);
    if (cut != TcpCut::Request) break;  // the server closes on a malformed header
    if (request.pdu.empty() || request.pdu.size() > 253) std::abort();
    if (request.protocolId != 0) continue;
    CheckTcp(request, sim.HandleTcp(request));
  }

  RtuReceiver line(20);
  uint64_t now = 0;
  for (size_t at = 0; at < size;) {
    // A piece of 1 to 16 bytes; every eighth byte's low bits make a gap.
    const size_t piece = std::min<size_t>(size - at, 1 + data[at] % 16);
    now += data[at] % 8 == 0 ? 25 : 1;
    line.Tick(now);
    line.Feed(data + at, piece, now);
    at += piece;
    uint8_t unit = 0;
    Bytes pdu;
    while (line.Next(&unit, &pdu)) {
      if (pdu.empty() || pdu.size() > 253) std::abort();
      CheckRtu(unit, sim.HandleRtu(unit, pdu));
    }
  }
  return 0;
}
