#include "tools/simulator/frames.h"

namespace qmx::sim {
namespace {

// An RTU ADU: unit, function, CRC at least; 256 bytes at most (a PDU of 253).
constexpr size_t kMinRtuFrame = 4;
constexpr size_t kMaxRtuFrame = 256;
constexpr size_t kMbapSize = 7;  // transaction, protocol, length, unit

bool CrcMatches(const Bytes& b, size_t length) {
  if (length < kMinRtuFrame || length > b.size()) return false;
  const uint16_t crc = Crc16(b.data(), length - 2);
  return b[length - 2] == (crc & 0xFF) && b[length - 1] == (crc >> 8);
}

// Length of a request frame known from its function code; 0 = not known
// (yet, or for this function code).
size_t KnownLength(const Bytes& b) {
  if (b.size() < 2) return 0;
  switch (b[1]) {
    case 1: case 2: case 3: case 4: case 5: case 6:
      return 8;
    case 15: case 16:
      return b.size() >= 7 ? size_t{9} + b[6] : 0;
    default:
      return 0;
  }
}

bool HasKnownLength(uint8_t function) {
  return (function >= 1 && function <= 6) || function == 15 || function == 16;
}

}  // namespace

uint16_t Crc16(const uint8_t* data, size_t length) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
  }
  return crc;
}

Bytes RtuFrame(uint8_t unit, const Bytes& pdu) {
  Bytes f;
  f.reserve(1 + pdu.size() + 2);
  f.push_back(unit);
  f.insert(f.end(), pdu.begin(), pdu.end());
  const uint16_t crc = Crc16(f.data(), f.size());
  f.push_back(static_cast<uint8_t>(crc & 0xFF));
  f.push_back(static_cast<uint8_t>(crc >> 8));
  return f;
}

Bytes TcpFrame(uint16_t tid, uint8_t unit, const Bytes& pdu) {
  const size_t length = pdu.size() + 1;
  Bytes f;
  f.reserve(7 + pdu.size());
  f.assign({static_cast<uint8_t>(tid >> 8), static_cast<uint8_t>(tid & 0xFF), 0, 0,
            static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length & 0xFF), unit});
  f.insert(f.end(), pdu.begin(), pdu.end());
  return f;
}

TcpCut CutTcpRequest(Bytes& buffer, TcpRequest* out) {
  if (buffer.size() < 6) return TcpCut::NeedMore;
  const size_t length = static_cast<size_t>((buffer[4] << 8) | buffer[5]);
  // unit + function at least; an ADU is at most 260 bytes.
  if (length < 2 || length > 254) return TcpCut::Malformed;
  if (buffer.size() < 6 + length) return TcpCut::NeedMore;
  out->transactionId = static_cast<uint16_t>((buffer[0] << 8) | buffer[1]);
  out->protocolId = static_cast<uint16_t>((buffer[2] << 8) | buffer[3]);
  out->unit = buffer[6];
  out->pdu.assign(buffer.begin() + kMbapSize, buffer.begin() + 6 + static_cast<long>(length));
  buffer.erase(buffer.begin(), buffer.begin() + 6 + static_cast<long>(length));
  return TcpCut::Request;
}

void RtuReceiver::Feed(const uint8_t* data, size_t length, uint64_t nowMs) {
  if (length == 0) return;
  // Bytes after a quiet gap start a new frame.
  if (!buffer_.empty() && nowMs >= lastByteMs_ + static_cast<uint64_t>(gapMs_)) Drop();
  buffer_.insert(buffer_.end(), data, data + length);
  lastByteMs_ = nowMs;
  Cut();
}

void RtuReceiver::Drop() {
  buffer_.clear();
  ++badFrames_;
}

void RtuReceiver::Cut() {
  while (buffer_.size() >= kMinRtuFrame) {
    size_t take = 0;
    if (HasKnownLength(buffer_[1])) {
      const size_t known = KnownLength(buffer_);
      // A byte count no request can carry: the frame is dropped as soon as
      // it is read, whether the rest comes in the same piece or not.
      if (known > kMaxRtuFrame) return Drop();
      if (known == 0 || buffer_.size() < known) return;
      // A damaged frame: nothing of it can be trusted, wait for silence.
      if (!CrcMatches(buffer_, known)) return Drop();
      take = known;
    } else if (buffer_[1] == 8 && buffer_.size() >= 8 && CrcMatches(buffer_, 8)) {
      // FC 8 requests of the usual 8 bytes first, then any length whose CRC matches.
      take = 8;
    } else if (buffer_.size() > kMaxRtuFrame) {
      // Longer than a frame may be, even where its last two bytes happen to
      // check: noise, or frames run together that cannot be told apart.
      return Drop();
    } else if (CrcMatches(buffer_, buffer_.size())) {
      take = buffer_.size();
    } else {
      return;
    }
    ready_.emplace_back(buffer_.begin(), buffer_.begin() + static_cast<long>(take) - 2);
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<long>(take));
  }
}

bool RtuReceiver::Next(uint8_t* unit, Bytes* pdu) {
  if (ready_.empty()) return false;
  Bytes f = std::move(ready_.front());
  ready_.erase(ready_.begin());
  *unit = f[0];
  pdu->assign(f.begin() + 1, f.end());
  return true;
}

void RtuReceiver::Tick(uint64_t nowMs) {
  if (!buffer_.empty() && nowMs >= lastByteMs_ + static_cast<uint64_t>(gapMs_)) Drop();
}

int RtuReceiver::MsUntilGap(uint64_t nowMs) const {
  if (buffer_.empty()) return -1;
  const uint64_t due = lastByteMs_ + static_cast<uint64_t>(gapMs_);
  return nowMs >= due ? 0 : static_cast<int>(due - nowMs);
}

}  // namespace qmx::sim
