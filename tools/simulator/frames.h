// Application data units on the two transports: the Modbus TCP header
// (MBAP) and the RTU frame with its CRC-16, and the receivers that cut a
// byte stream into requests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/simulator/pdu.h"

namespace qmx::sim {

// CRC-16/MODBUS (polynomial 0xA001 reflected, initial 0xFFFF).
uint16_t Crc16(const uint8_t* data, size_t length);

// unit + PDU + CRC low byte first.
Bytes RtuFrame(uint8_t unit, const Bytes& pdu);
// MBAP (transaction id, protocol 0, length = 1 + PDU) + unit + PDU.
Bytes TcpFrame(uint16_t transactionId, uint8_t unit, const Bytes& pdu);

struct TcpRequest {
  uint16_t transactionId = 0;
  uint16_t protocolId = 0;
  uint8_t unit = 0;
  Bytes pdu;
};

// Takes one request off the front of a TCP stream buffer by its MBAP length.
enum class TcpCut { Request, NeedMore, Malformed };
TcpCut CutTcpRequest(Bytes& buffer, TcpRequest* out);

// Cuts RTU requests out of the bytes of a serial line. A request is complete
// when its length, known from the function code (FC 1-6: 8 bytes, FC 15/16:
// 9 + byte count), is reached and its CRC matches; for other function codes
// (FC 8 and unknown ones) when the bytes so far end in a matching CRC. A
// frame whose CRC does not match, one longer than an RTU frame may be (256
// bytes), and bytes left over when the line has been quiet for the gap time,
// are discarded and counted as bad frames. So every request handed out is
// unit + PDU of 1 to 253 bytes.
class RtuReceiver {
public:
  explicit RtuReceiver(int gapMs = 20) : gapMs_(gapMs) {}
  void Feed(const uint8_t* data, size_t length, uint64_t nowMs);
  // The next complete request (unit + PDU, CRC removed), or false.
  bool Next(uint8_t* unit, Bytes* pdu);
  // Discards a partial frame once the line has been quiet for the gap.
  void Tick(uint64_t nowMs);
  // Milliseconds until Tick would discard what is buffered; -1 when empty.
  int MsUntilGap(uint64_t nowMs) const;
  size_t badFrames() const { return badFrames_; }
  size_t buffered() const { return buffer_.size(); }

private:
  void Cut();
  void Drop();
  Bytes buffer_;
  std::vector<Bytes> ready_;
  uint64_t lastByteMs_ = 0;
  int gapMs_;
  size_t badFrames_ = 0;
};

}  // namespace qmx::sim
