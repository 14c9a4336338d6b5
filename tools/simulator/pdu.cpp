#include "tools/simulator/pdu.h"

namespace qmx::sim {
namespace {

uint16_t U16At(const Bytes& b, size_t i) { return static_cast<uint16_t>((b[i] << 8) | b[i + 1]); }

void PutU16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v & 0xFF));
}

Bytes Answer(Station& station, const Bytes& q) {
  const uint8_t f = q[0];
  auto fail = [&](Exception e) { return ExceptionPdu(f, e); };
  switch (f) {
    case fc::kReadCoils:
    case fc::kReadDiscreteInputs: {
      if (q.size() != 5) return fail(Exception::IllegalValue);
      const uint16_t address = U16At(q, 1), count = U16At(q, 3);
      if (count < 1 || count > 2000) return fail(Exception::IllegalValue);
      std::vector<uint8_t> bits;
      if (Exception e = station.ReadBits(address, count, &bits); e != Exception::None) return fail(e);
      Bytes r{f, static_cast<uint8_t>((count + 7) / 8)};
      r.resize(2 + r[1], 0);
      for (size_t k = 0; k < bits.size(); ++k)
        if (bits[k]) r[2 + k / 8] = static_cast<uint8_t>(r[2 + k / 8] | (1u << (k % 8)));
      return r;
    }
    case fc::kReadHoldingRegisters:
    case fc::kReadInputRegisters: {
      if (q.size() != 5) return fail(Exception::IllegalValue);
      const uint16_t address = U16At(q, 1), count = U16At(q, 3);
      if (count < 1 || count > 125) return fail(Exception::IllegalValue);
      std::vector<uint16_t> words;
      if (Exception e = station.ReadRegisters(address, count, &words); e != Exception::None) return fail(e);
      Bytes r{f, static_cast<uint8_t>(2 * count)};
      for (uint16_t w : words) PutU16(r, w);
      return r;
    }
    case fc::kWriteSingleCoil: {
      if (q.size() != 5) return fail(Exception::IllegalValue);
      const uint16_t value = U16At(q, 3);
      if (value != 0xFF00 && value != 0x0000) return fail(Exception::IllegalValue);
      if (Exception e = station.WriteBits(U16At(q, 1), {static_cast<uint8_t>(value ? 1 : 0)}); e != Exception::None)
        return fail(e);
      return q;
    }
    case fc::kWriteSingleRegister: {
      if (q.size() != 5) return fail(Exception::IllegalValue);
      if (Exception e = station.WriteRegisters(U16At(q, 1), {U16At(q, 3)}); e != Exception::None) return fail(e);
      return q;
    }
    case fc::kWriteMultipleCoils: {
      if (q.size() < 6) return fail(Exception::IllegalValue);
      const uint16_t address = U16At(q, 1), count = U16At(q, 3);
      const uint8_t n = q[5];
      if (count < 1 || count > 1968 || n != (count + 7) / 8 || q.size() != size_t{6} + n)
        return fail(Exception::IllegalValue);
      std::vector<uint8_t> bits(count);
      for (size_t k = 0; k < count; ++k) bits[k] = (q[6 + k / 8] >> (k % 8)) & 1;
      if (Exception e = station.WriteBits(address, bits); e != Exception::None) return fail(e);
      return Bytes(q.begin(), q.begin() + 5);
    }
    case fc::kWriteMultipleRegisters: {
      if (q.size() < 6) return fail(Exception::IllegalValue);
      const uint16_t address = U16At(q, 1), count = U16At(q, 3);
      const uint8_t n = q[5];
      if (count < 1 || count > 123 || n != 2 * count || q.size() != size_t{6} + n)
        return fail(Exception::IllegalValue);
      std::vector<uint16_t> words(count);
      for (size_t k = 0; k < count; ++k) words[k] = U16At(q, 6 + 2 * k);
      if (Exception e = station.WriteRegisters(address, words); e != Exception::None) return fail(e);
      return Bytes(q.begin(), q.begin() + 5);
    }
    case fc::kDiagnostics: {
      if (q.size() < 3) return fail(Exception::IllegalValue);
      const uint16_t sub = U16At(q, 1);
      Bytes data(q.begin() + 3, q.end()), reply;
      if (Exception e = station.Diagnostic(sub, data, &reply); e != Exception::None) return fail(e);
      Bytes r{f, q[1], q[2]};
      r.insert(r.end(), reply.begin(), reply.end());
      return r;
    }
    default:
      return fail(Exception::IllegalFunction);
  }
}

}  // namespace

Bytes ExceptionPdu(uint8_t function, Exception code) {
  return {static_cast<uint8_t>(function | 0x80), static_cast<uint8_t>(code)};
}

Bytes Respond(Station& station, const Bytes& request) {
  if (request.empty()) return ExceptionPdu(0, Exception::IllegalFunction);
  DiagCounters& c = station.counters();
  ++c.busMessages;
  ++c.slaveMessages;
  Bytes reply = Answer(station, request);
  if (reply.size() == 2 && (reply[0] & 0x80)) ++station.counters().exceptions;
  return reply;
}

RequestSummary Summarize(const Bytes& q) {
  RequestSummary s;
  if (q.empty()) return s;
  s.function = q[0];
  if (q.size() >= 3) s.address = U16At(q, 1);
  if (q.size() >= 5 && q[0] != fc::kDiagnostics) s.quantity = U16At(q, 3);
  if (q[0] == fc::kWriteSingleCoil || q[0] == fc::kWriteSingleRegister) s.quantity = 1;
  return s;
}

bool IsWrite(uint8_t function) {
  return function == fc::kWriteSingleCoil || function == fc::kWriteSingleRegister ||
         function == fc::kWriteMultipleCoils || function == fc::kWriteMultipleRegisters ||
         function == fc::kDiagnostics;
}

}  // namespace qmx::sim
