#include "driver/online_io.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "common/Utility.h"
#include "driver/address_map.h"
#include "driver/channel_settings.h"
#include "driver/driver_utils.h"
#include "driver/result_codes.h"
#include "platform/fiber/fiber.h"

namespace tessivar {
namespace {

constexpr int kMaxReadRegisters = 125;  // a Modbus read carries at most 125 registers
// One request's registers. A larger block takes the heap: on a fiber, a
// bigger buffer on the stack spread the frames a loop comes back through
// after each reply over more cache lines.
constexpr size_t kExchangeBufferSize = 2 * kMaxReadRegisters;
constexpr int kMaxWriteBytes = 120;     // writes go out in pieces of at most this many bytes
constexpr uint16_t kAdapterParaRegister = 0x2811;
constexpr uint16_t kCommandRegister = 0x111A;
constexpr uint16_t kParaSessionProductCode = 0x8040;

uint16_t ModuleParaRegister(int commNumber) { return static_cast<uint16_t>(32 * commNumber + 0x1FF1); }

// On the monitoring fiber the pause lets the other loops run.
void Pause(int ms) { qmx::fiber::SleepFor(std::chrono::milliseconds(ms)); }

}  // namespace

bool IsDeviceAnswer(int code) {
  return code >= kMbOtherException && code <= kMbIllegalFunction && code != kMbException;
}

void OnlineIo::Failed(uint32_t what, int code, const std::string& text) const {
  if (c_.stopping && c_.stopping()) return;
  if (c_.failures && what != 0) {
    auto it = c_.failures->find(what);
    if (it != c_.failures->end() && it->second == code) return;
    (*c_.failures)[what] = code;
  }
  Error(text);
}

void OnlineIo::Succeeded(uint32_t what) const {
  if (c_.failures && !c_.failures->empty()) c_.failures->erase(what);
}

bool OnlineIo::LocalAnswer(uint16_t address, uint8_t* value) const {
  if (!localAnswers_) return false;
  switch (address) {
    case kRegWatchdogTime:
    case kRegIoUpdateTime:
    case kRegOutputMode:
      *value = 0;
      return true;
    case kRegInputMode:
      *value = 2;
      return true;
    default:
      return false;
  }
}

int OnlineIo::Connected() {
  // Without a reopen (the monitoring cycle's) the exchange itself reports a
  // closed link: no test of it per request.
  if (!c_.reopen || c_.channel->IsConnected() == 1) return 1;
  return c_.reopen();
}

int OnlineIo::ReadBlock(uint8_t function, uint16_t address, int bytes, uint8_t* dst, bool localAnswers) {
  uint8_t local = 0;
  if (localAnswers && LocalAnswer(address, &local)) {
    std::memset(dst, 0, static_cast<size_t>(bytes));
    if (bytes > 0) dst[0] = local;
    return 1;
  }
  if (const int c = Connected(); c != 1) return c;
  const int registers = (bytes + 1) / 2;
  // A block of one request fits the exchange buffer on the stack; only a
  // larger one (a large station's image, a whole station read while
  // stopped) takes the heap.
  uint8_t fixed[kExchangeBufferSize];
  std::vector<uint8_t> large;
  uint8_t* wire = fixed;
  if (static_cast<size_t>(registers) * 2 > sizeof fixed) {
    large.resize(static_cast<size_t>(registers) * 2);
    wire = large.data();
  }
  for (int done = 0; done < registers;) {
    const int q = std::min(kMaxReadRegisters, registers - done);
    const int r = c_.channel->ReadRegisters(Node(), function, static_cast<uint16_t>(address + done),
                                            static_cast<uint16_t>(q), wire + 2 * done, 2 * q);
    if (r != 1) return r;
    done += q;
  }
  // dst gets nothing until every piece has come: a failed read leaves it.
  // Words are swapped whole; an odd last byte is its register's low byte.
  SwapWordBytes(dst, wire, static_cast<unsigned>(bytes & ~1));
  if (bytes % 2 != 0) dst[bytes - 1] = wire[bytes];
  return 1;
}

int OnlineIo::ReadBits(uint8_t function, uint16_t address, unsigned firstBit, unsigned bits, int dstBytes,
                       uint8_t* dst) {
  const int bytes = static_cast<int>((firstBit + bits + 7) / 8);
  std::vector<uint8_t> block(static_cast<size_t>(bytes));
  const int r = ReadBlock(function, address, bytes, block.data(), false);
  if (r != 1) return r;
  std::memset(dst, 0, static_cast<size_t>(dstBytes));
  if (firstBit % 8 == 0 && bits % 8 == 0) {
    std::memcpy(dst, block.data() + firstBit / 8, bits / 8);
    return 1;
  }
  for (unsigned i = 0; i < bits; ++i) {
    const unsigned s = firstBit + i;
    if (block[s / 8] & (1u << (s % 8))) dst[i / 8] = static_cast<uint8_t>(dst[i / 8] | (1u << (i % 8)));
  }
  return 1;
}

int OnlineIo::WriteBlock(uint16_t address, const uint8_t* src, int bytes, bool localAnswers) {
  uint8_t local = 0;
  if (localAnswers && LocalAnswer(address, &local)) return 1;
  if (const int c = Connected(); c != 1) return c;
  const int registers = (bytes + 1) / 2;
  std::vector<uint8_t> image(static_cast<size_t>(registers) * 2, 0);
  std::memcpy(image.data(), src, static_cast<size_t>(bytes));
  std::vector<uint8_t> wire(image.size());
  SwapWordBytes(wire.data(), image.data(), static_cast<unsigned>(wire.size()));
  for (int done = 0; done < registers;) {
    const int q = std::min(kMaxWriteBytes / 2, registers - done);
    const int r = c_.channel->WriteRegisters(Node(), kFcWriteMultipleRegisters, static_cast<uint16_t>(address + done),
                                             static_cast<uint16_t>(q), wire.data() + 2 * done, 2 * q);
    if (r != 1) return r;
    done += q;
  }
  return 1;
}

int OnlineIo::WriteCoils(uint16_t address, const uint8_t* src, unsigned bits) {
  if (const int c = Connected(); c != 1) return c;
  for (unsigned done = 0; done < bits;) {
    const unsigned q = std::min(static_cast<unsigned>(kMaxWriteBytes) * 8, bits - done);
    // Pieces start on whole bytes of the source.
    const int r = c_.channel->WriteRegisters(Node(), kFcWriteMultipleCoils, static_cast<uint16_t>(address + done),
                                             static_cast<uint16_t>(q), src + done / 8, static_cast<int>((q + 7) / 8));
    if (r != 1) return r;
    done += q;
  }
  return 1;
}

// ---- CommInit ----------------------------------------------------------------

int OnlineIo::ReadCommInit(int module, uint8_t* dst, bool monitoring) {
  const DeviceRecord& d = *c_.device;
  if (module != 0) {
    Error(StrFormat("%s CommInit support only network adapter. lModID: %d Func: %s", P(), module, "ReadCommInit"));
    return 0;
  }
  if (d.commInit.empty()) {
    Error(StrFormat("%s CommInit block list does not defined. Func: %s", P(), "ReadCommInit"));
    return 0;
  }
  int result = 1;
  for (const SpecialRegister& r : d.commInit) {
    if (monitoring && !r.monitored) continue;
    const uint32_t what = FailureKey(FailureArea::kCommInit, r.address);
    const int read = ReadBlock(kFcReadInputRegisters, r.address, r.size, dst + r.offset, true);
    if (read == 1) {
      Succeeded(what);
      continue;
    }
    result = read;
    Failed(what, read, StrFormat("%s Cannot read. CommInit. Key: %s. ErrCode: %d. Desc: %s", P(), r.name.c_str(), read,
                                 Desc(read).c_str()));
    // The cycle reads the other registers of a device that refuses one; a
    // link that fails ends the walk.
    if (!c_.failures || !IsDeviceAnswer(read)) break;
  }
  return result;
}

int OnlineIo::WriteCommInit(const uint8_t* src) {
  int result = 1;
  for (const SpecialRegister& r : c_.device->commInit) {
    if (!r.writable) continue;
    const int w = WriteBlock(r.address, src + r.offset, r.size, true);
    if (w != 1) {
      Error(StrFormat("%s Cannot write. CommInit. Key: %s. ErrCode: %d. Desc: %s", P(), r.name.c_str(), w,
                      Desc(w).c_str()));
      result = w;
    }
  }
  return result;
}

// ---- parameters ----------------------------------------------------------------

int OnlineIo::ReadParas(int module, uint8_t* dst) {
  const DeviceRecord& d = *c_.device;
  if (module == 0 && d.adapterPara == 0) {
    Error(StrFormat("%s Unsupport argument. lModID: COMM_NA_IOS. m_wParaSize<=0. Func: %s", P(), "ReadParas"));
    return 0;
  }
  bool failed = false;
  int offset = 0;
  if (module == 0 || (module == -1 && d.adapterPara > 0)) {
    const int r = ReadBlock(kFcReadInputRegisters, kAdapterParaRegister, d.adapterPara, dst, true);
    if (r != 1) {
      Failed(FailureKey(FailureArea::kPara, 0), r,
             StrFormat("%s Cannot read. Parameters. Size: %d. ErrCode: %d. Desc: %s", P(), d.adapterPara, r,
                       Desc(r).c_str()));
      if (module == 0) return 0;
      failed = true;
    }
    if (module == 0) return 1;
    offset = d.adapterPara;
  }
  bool found = module == -1;
  for (const ModuleRecord& m : d.modules) {
    if (module == -1) {
      if (m.paraLength > 0 && m.commNumber >= 1) {
        const int r =
            ReadBlock(kFcReadInputRegisters, ModuleParaRegister(m.commNumber), m.paraLength, dst + offset, false);
        if (r != 1) {
          Failed(FailureKey(FailureArea::kPara, static_cast<uint32_t>(m.commNumber)), r,
                 StrFormat("%s Cannot read. Parameters. Slot No: %d. ErrCode: %d. Desc: %s", P(), m.commNumber, r,
                           Desc(r).c_str()));
          failed = true;
        }
      }
      offset += m.paraLength;
      continue;
    }
    if (m.commNumber != module) continue;
    found = true;
    if (m.paraLength == 0) {
      Error(StrFormat("%s Unsupport argument. lModID: %d. m_wParaSize<=0. Func: %s", P(), module, "ReadParas"));
      return 0;
    }
    const int r = ReadBlock(kFcReadInputRegisters, ModuleParaRegister(m.commNumber), m.paraLength, dst, false);
    if (r != 1) {
      Error(StrFormat("%s Cannot read. Parameters. Slot No: %d. ErrCode: %d. Desc: %s", P(), m.commNumber, r,
                      Desc(r).c_str()));
      return 0;
    }
    return 1;
  }
  if (!found) {
    Error(StrFormat("%s Cannot find the module. lModID: %d. Func: %s", P(), module, "ReadParas"));
    return 0;
  }
  return failed ? 0 : 1;
}

int OnlineIo::WriteParas(int module, const uint8_t* src) {
  const DeviceRecord& d = *c_.device;
  if (module == -1) {
    Error(StrFormat("%s Unsupport argument. lModID: COMM_NA_IOS. Func: %s", P(), "WriteParas"));
    return 0;
  }
  if (module == 0) {
    if (d.adapterPara == 0) {
      Error(StrFormat("%s Unsupport argument. lModID: COMM_NA_IOS. m_wParaSize<=0. Func: %s", P(), "WriteParas"));
      return 0;
    }
    const int r = WriteBlock(kAdapterParaRegister, src, d.adapterPara, true);
    if (r != 1)
      Failed(0, r, StrFormat("%s Cannot write. Parameters. Target: NA. ErrCode: %d. Desc: %s", P(), r, Desc(r).c_str()));
    return r;
  }
  const ModuleRecord* m = d.ModuleByCommNumber(module);
  if (!m || m->paraLength == 0) {
    Error(StrFormat("%s Cannot find the module. lModID: %d. Func: %s", P(), module, "WriteParas"));
    return 0;
  }
  // Adapters of this product code take module parameters over TCP only
  // inside a session opened and closed through the command register.
  const bool session = c_.commType == kCommTcp && d.productCode == kParaSessionProductCode;
  static const uint8_t kOpen[2] = {4, 0};
  static const uint8_t kClose[2] = {1, 0};
  int r = Connected();
  if (session && r == 1) {
    r = c_.channel->WriteRegisters(Node(), kFcWriteMultipleRegisters, kCommandRegister, 1, kOpen, 2);
    if (r == 1) Pause(20);
  }
  if (r == 1) r = WriteBlock(ModuleParaRegister(module), src, m->paraLength, false);
  if (session && r == 1) {
    Pause(20);
    r = c_.channel->WriteRegisters(Node(), kFcWriteMultipleRegisters, kCommandRegister, 1, kClose, 2);
  }
  if (r != 1)
    Failed(0, r, StrFormat("%s Cannot write. Parameters. Target IO: %d. ErrCode: %d. Desc: %s", P(), module, r,
                           Desc(r).c_str()));
  return r;
}

// ---- inputs and outputs --------------------------------------------------------

int OnlineIo::ReadSide(bool output, int module, uint8_t* dst) {
  const DeviceRecord& d = *c_.device;
  const char* function = output ? "ReadOutput" : "ReadInput";
  const char* side = output ? "Output" : "Input";
  const uint16_t adapterSize = output ? d.adapterOutput : d.adapterInput;
  if (module == 0 && adapterSize == 0) {
    Error(StrFormat(output ? "%s Unsupport argument. lModID: COMM_NA. m_wIOSizeOut<=0. Func: %s"
                           : "%s Unsupport argument. lModID: COMM_NA. m_wIOSizeIn<=0. Func: %s",
                    P(), function));
    return 0;
  }
  GetAssignProcessImgMode(!output, output);
  const uint8_t fc = output ? kFcReadHoldingRegisters : kFcReadInputRegisters;
  bool failed = false;
  int offset = 0;
  if (module == 0 || (module == -1 && adapterSize > 0)) {
    const int base = output ? d.outputWordBase - d.ownOutputBits / 16 : d.inputWordBase - d.ownInputBits / 16;
    const int r = ReadBlock(fc, static_cast<uint16_t>(base), adapterSize, dst, true);
    if (r != 1) {
      Failed(FailureKey(output ? FailureArea::kOutput : FailureArea::kInput, 0), r,
             StrFormat("%s Cannot read. %s Size: %d. Target: NA. ErrCode: %d. Desc: %s", P(), side, adapterSize, r,
                       Desc(r).c_str()));
      if (module == 0) return 0;
      failed = true;
    }
    if (module == 0) return 1;
    offset = adapterSize;
  }
  const unsigned unit = d.wordAddressing == 1 ? 16 : 8;
  auto readModule = [&](const ModuleRecord& m, uint8_t* into) {
    const uint16_t size = output ? m.outputSize : m.inputSize;
    const unsigned bits = std::min<unsigned>(output ? m.totalOutputBits : m.totalInputBits, 8u * size);
    ModuleAddress a;
    if (!(output ? OutputAddress(d, m, &a) : InputAddress(d, m, &a)) || bits == 0) {
      Error(StrFormat("%s The module has no %s address in image mode %d. Slot No: %d. Func: %s", P(),
                      output ? "output" : "input", output ? d.outputMode : d.inputMode, m.commNumber, function));
      return 0;
    }
    const unsigned p = 8u * a.position.byte + a.position.bit;
    const int r = ReadBits(fc, static_cast<uint16_t>(p / unit + a.wordBase), p % unit, bits, size, into);
    const uint32_t what =
        FailureKey(output ? FailureArea::kOutput : FailureArea::kInput, static_cast<uint32_t>(m.commNumber));
    if (r != 1) {
      Failed(what, r, StrFormat("%s Cannot read. %s. Slot No: %d. ErrCode: %d. Desc: %s", P(), side, m.commNumber, r,
                                Desc(r).c_str()));
    } else {
      Succeeded(what);
    }
    return r == 1 ? 1 : 0;
  };
  if (module == -1) {
    for (const ModuleRecord& m : d.modules) {
      const uint16_t size = output ? m.outputSize : m.inputSize;
      if (size > 0 && readModule(m, dst + offset) != 1) failed = true;
      offset += size;
    }
    return failed ? 0 : 1;
  }
  const ModuleRecord* m = d.ModuleByCommNumber(module);
  if (!m || (output ? m->outputSize : m->inputSize) == 0) {
    Error(StrFormat("%s Cannot find the module. lModID: %d. Func: %s", P(), module, function));
    return 0;
  }
  return readModule(*m, dst);
}

int OnlineIo::ReadInput(int module, uint8_t* dst) { return ReadSide(false, module, dst); }

int OnlineIo::ReadOutput(int module, uint8_t* dst) { return ReadSide(true, module, dst); }

int OnlineIo::WriteOutput(int module, const uint8_t* src, int length) {
  const DeviceRecord& d = *c_.device;
  if (length <= 0 || module < 0) {
    Error(StrFormat("%s Unsupport argument. lModID: %d. Length: %d. Func: %s", P(), module, length, "WriteOutput"));
    return 0;
  }
  if (module == 0) {
    const int coil = d.outputBitBase - d.ownOutputBits;
    const int r = WriteCoils(static_cast<uint16_t>(coil), src, static_cast<unsigned>(length) * 8);
    if (r != 1)
      Failed(0, r, StrFormat("%s Cannot write. Output. Target: NA. ErrCode: %d. Desc: %s", P(), r, Desc(r).c_str()));
    return r;
  }
  const ModuleRecord* m = d.ModuleByCommNumber(module);
  ModuleAddress a;
  if (!m || !OutputAddress(d, *m, &a)) {
    // Without an output position there is no coil to aim at: nothing is
    // sent to an address that belongs to another module.
    Error(StrFormat("%s The module has no output address in image mode %d. Slot No: %d. Func: %s", P(),
                    d.outputMode, module, "WriteOutput"));
    return 0;
  }
  // Never past the module's own place: uncompressed it owns whole bytes, so
  // the caller's bytes go out whole; compressed its neighbour starts right
  // behind its last bit.
  const bool compressed = d.wordAddressing != 0 && d.outputMode == 1;
  const unsigned own = compressed ? m->totalOutputBits : 8u * ((m->totalOutputBits + 7u) / 8u);
  const unsigned bits = std::min<unsigned>(static_cast<unsigned>(length) * 8, own);
  const int coil = a.bitBase + 8 * a.position.byte + a.position.bit;
  const int r = WriteCoils(static_cast<uint16_t>(coil), src, bits);
  if (r != 1) {
    Failed(0, r, StrFormat("%s Cannot write. Output. Target IO: %d. ErrCode: %d. Desc: %s", P(), module, r,
                           Desc(r).c_str()));
  } else if (length > m->outputSize) {
    // Data beyond the module would land in its neighbour's coils: cut, and
    // said so, as the caller's result alone reads as a full write.
    Error(StrFormat("%s Output data longer than the module is cut. Target IO: %d. Length: %d bytes. Written: %u bits. "
                    "Func: %s",
                    P(), module, length, bits, "WriteOutput"));
  }
  return r;
}

int OnlineIo::GetAssignProcessImgMode(bool input, bool output) {
  DeviceRecord& d = *c_.device;
  auto readMode = [&](const char* key, bool isInput) {
    const SpecialRegister* reg = d.Special(key);
    if (!reg) return;
    uint8_t value[2] = {};
    const int r = ReadBlock(kFcReadInputRegisters, reg->address, 2, value, true);
    const char* name = isInput ? "Input" : "Output";
    const uint32_t what = FailureKey(FailureArea::kCommInit, reg->address);
    if (r != 1) {
      Failed(what, r, StrFormat("%s Cannot read. %s ImgMode. Key: %s. ErrCode: %d. Desc: %s", P(), name,
                                reg->name.c_str(), r, Desc(r).c_str()));
      return;
    }
    Succeeded(what);
    const int mode = value[0] | value[1] << 8;
    if (isInput ? !IsValidInputMode(mode) : !IsValidOutputMode(mode)) {
      Error(StrFormat("%s [Bug] %sImgMode from online is invalid. Value: %d. Func: %s.", P(), name, mode,
                      "GetAssignProcessImgMode"));
      return;
    }
    std::lock_guard<std::mutex> guard(*c_.imageLock);
    uint16_t& stored = isInput ? d.inputMode : d.outputMode;
    if (stored == mode) return;
    c_.log(DRV_LOG_GENERAL, StrFormat("%s %s image mode is changed. Old:%d. New:%d. Func: %s.", P(), name, stored, mode,
                                      "GetAssignProcessImgMode"));
    stored = static_cast<uint16_t>(mode);
  };
  if (input) readMode("InputMode", true);
  if (output) readMode("OutputMode", false);
  return 1;
}

}  // namespace tessivar
