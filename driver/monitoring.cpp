// The monitoring cycle of the driver object: the open and close steps around
// a run, the channel opened once per run and re-established only through
// the channel's own reconnection, the liveness echo, the initial and
// monitored CommInit reads, the queued writes and the process-image reads,
// and the image store that drvRead answers from while the instance runs.
//
// Runs on the instance's communication thread under its schedule lock. The
// device configuration is constant while running (the exports that change
// it are refused), so it is read without a lock; images, states, lost flags
// and modes are written under the image lock, the queue is split under the
// queue lock, and the two are never held together.
#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "common/Utility.h"
#include "driver/address_map.h"
#include "driver/driver_instance.h"
#include "driver/driver_utils.h"
#include "driver/modbus/run_ahead.h"
#include "driver/modbus_driver.h"
#include "driver/online_io.h"
#include "driver/result_codes.h"

namespace tessivar {
namespace {

constexpr const char* kStar = "\u2605";

// Copies `bits` bits from bit `firstBit` of src (src holds srcLength bytes)
// to dst from its bit 0; dst (dstLength bytes) is cleared first. Bits beyond
// src read as 0.
void CopyBits(uint8_t* dst, size_t dstLength, const uint8_t* src, size_t srcLength, size_t firstBit, size_t bits) {
  // An empty part of an image may have no storage at all.
  if (dstLength == 0) return;
  std::memset(dst, 0, dstLength);
  bits = std::min(bits, 8 * dstLength);
  if (firstBit % 8 == 0 && bits % 8 == 0) {
    const size_t from = firstBit / 8;
    if (from < srcLength) std::memcpy(dst, src + from, std::min(bits / 8, srcLength - from));
    return;
  }
  for (size_t i = 0; i < bits; ++i) {
    const size_t s = firstBit + i;
    if (s / 8 >= srcLength) break;
    if (src[s / 8] & (1u << (s % 8))) dst[i / 8] = static_cast<uint8_t>(dst[i / 8] | (1u << (i % 8)));
  }
}

// The repeated part of a cycle, bracketed for the channel's run ahead.
class ScriptedPart {
public:
  ScriptedPart(RunAhead& ahead, CycleScript& script, std::function<bool()> noWrites) : ahead_(ahead) {
    ahead_.Begin(script, std::move(noWrites));
  }
  ~ScriptedPart() { ahead_.End(); }
  ScriptedPart(const ScriptedPart&) = delete;
  ScriptedPart& operator=(const ScriptedPart&) = delete;
  RunAhead& ahead() const { return ahead_; }

private:
  RunAhead& ahead_;
};

const SpecialRegister* CommInitEntry(const DeviceRecord& d, const char* name) {
  for (const SpecialRegister& r : d.commInit) {
    if (EqualsNoCase(r.name, name)) return &r;
  }
  return nullptr;
}

}  // namespace

int ModbusDriver::Open() {
  {
    std::lock_guard<std::mutex> guard(imageLock_);
    for (auto& [key, d] : devices_) {
      d.initialRead = 1;
      d.state = kDeviceOpened;
      d.lost = 0;
      d.validImages = 0;
      d.writesPurged = false;
      d.writesDropped = 0;
      d.failedReads = 0;
      d.refusedWrites.clear();
      d.failuresLogged.clear();
      d.script.Reset();
    }
  }
  droppedAtStop_ = 0;
  {
    // Writes left from an earlier run belong to no cycle of this one.
    std::lock_guard<std::mutex> guard(queueLock_);
    queue_.clear();
  }
  if (commType_ == kCommOffline) {
    owner_.Log(DRV_LOG_ERROR,
               StrFormat("%s Communication drive does not supprt online functions. Func: %s", "", "VUSK_Open"));
    return 0;
  }
  CloseChannel(1);
  channelOpened_ = 0;
  if (IsTcp()) {
    owner_.Log(DRV_LOG_GENERAL,
               StrFormat(" Comm. Setting. IP:%s, Timeout:%d ms, Reconnect period:%d sec.",
                         tcpSetting_.ipAddress.c_str(), tcpSetting_.timeoutMs, tcpSetting_.reconnectPeriodS));
  } else {
    const std::string settings = StrFormat("%d,%d,%s,%d", serialSetting_.baudRate, serialSetting_.dataBits,
                                           ParityNameFromCode(serialSetting_.parityCode), serialSetting_.stopBitsCode);
    owner_.Log(DRV_LOG_GENERAL, StrFormat(" Comm. Setting. Port:%d, Timeout:%d ms, %s.", serialSetting_.comPort,
                                          serialSetting_.timeoutMs, settings.c_str()));
  }
  return 1;
}

int ModbusDriver::Close() {
  // A device that did not run again before the stop: its dropped writes'
  // line comes now.
  for (auto& [key, d] : devices_) {
    size_t dropped = 0;
    {
      std::lock_guard<std::mutex> guard(imageLock_);
      std::swap(dropped, d.writesDropped);
    }
    LogDroppedWrites(d, dropped);
  }
  // Writes accepted but not carried out when the stop came: the ones the
  // last pass had not reached and the ones still queued. They go, with one
  // line for all of them.
  size_t dropped = droppedAtStop_;
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    dropped += queue_.size();
    queue_.clear();
  }
  droppedAtStop_ = 0;
  if (dropped > 0)
    owner_.Log(DRV_LOG_ERROR, StrFormat(" Queued writes are dropped because communication is stopped. Count: %d.",
                                        static_cast<int>(dropped)));
  std::lock_guard<std::mutex> guard(imageLock_);
  for (auto& [key, d] : devices_) {
    d.state = kDeviceStopped;
    d.initialRead = 0;
  }
  channelOpened_ = 0;
  return 1;
}

void ModbusDriver::CloseChByCallThread() { CloseChannel(1); }

int ModbusDriver::OpenChannel() {
  if (channelOpened_ == 1) return 1;
  channelOpened_ = 1;
  GetChannel(1);
  Modbus* channel = CreateChannel("OpenChannel");
  if (!channel) return kDrvNoInstance;
  // Waits of the run's channel end as soon as the instance is told to stop.
  channel->SetAbortFlag(owner_.RunningFlag());
  if (OpenChannelObject(*channel, 1, 0) == 1) {
    owner_.Log(DRV_LOG_GENERAL, StrFormat(" %s channel is connected with deivce", kStar));
    return 1;
  }
  {
    std::lock_guard<std::mutex> guard(imageLock_);
    for (auto& [key, d] : devices_) d.state = kDeviceLost;
  }
  owner_.Log(DRV_LOG_ERROR, " Channel cannot communicate with device due to below cause. Will reconnecting...");
  if (IsTcp())
    PingReport(tcpSetting_.ipAddress,
               PingHost(tcpSetting_.ipAddress.c_str(), CModbusTCP::kPingTimeoutMs, CModbusTCP::kPingCount));
  return kDrvNoResponse;
}

int ModbusDriver::MonitoringDevice(const std::string& key) {
  DeviceRecord* d = FindDevice(key);
  if (!d) {
    LogUnknownDevice("VUSK_MonitoringDevice");
    return kDrvBadDevice;
  }
  if (!owner_.IsRunning()) return kCycleSkipped;
  if (OpenChannel() == kDrvNoResponse) return kDrvNoResponse;
  Modbus* channel = GetChannel(0);
  if (channel && channel->IsConnected() == 0) {
    std::lock_guard<std::mutex> guard(imageLock_);
    d->state = kDeviceLost;
  }
  const int reconnect = channel ? channel->Reconnect() : static_cast<int>(kReconnectWait);
  if (reconnect == kReconnectWait) return kCycleSkipped;
  if (reconnect != kReconnected && reconnect != kStillConnected) return 0;
  if (!owner_.IsRunning()) return kCycleSkipped;
  if (reconnect == kReconnected) {
    // A new connection: read in full again, and log afresh.
    std::lock_guard<std::mutex> guard(imageLock_);
    d->initialRead = 1;
    d->failuresLogged.clear();
  }

  // A cycle with no initial read to come asks what the last one asked,
  // its queued writes apart, as long as every reply is the success it was.
  std::optional<ScriptedPart> scripted;
  RunAhead* ahead = channel->CycleRunAhead();
  if (ahead && d->initialRead == 0 && d->lost == 0)
    scripted.emplace(*ahead, d->script, [this, &key] { return !HasQueuedWrites(key); });

  const std::string prefix = PrefixOf(*d);
  if (channel->DiagEcho(static_cast<uint8_t>(d->node)) != 1) {
    // A stop cut the wait short: the device said nothing wrong.
    if (!owner_.IsRunning()) return kCycleSkipped;
    {
      std::lock_guard<std::mutex> guard(imageLock_);
      if (d->lost == 1) return kCycleSkipped;
      d->lost = 1;
      d->initialRead = 1;
      d->failuresLogged.clear();
      // Nothing can be read from a device that does not answer: what the
      // images hold is no longer current.
      d->validImages &= ~(1u << DRV_IMAGE_INPUT | 1u << DRV_IMAGE_OUTPUT);
    }
    PurgeWrites(key, *d);
    return kDrvNoResponse;
  }
  bool restored = false;
  size_t dropped = 0;
  {
    std::lock_guard<std::mutex> guard(imageLock_);
    d->state = kDeviceRunning;
    restored = d->lost == 1 || reconnect == kReconnected;
    d->lost = 0;
    std::swap(dropped, d->writesDropped);
  }
  // Restored only once the device itself has answered, not when the link
  // came back: the reconnected line without a prefix, a device that
  // answers again with its prefix.
  if (restored && reconnect == kReconnected) {
    owner_.Log(DRV_LOG_GENERAL, StrFormat(" %s Communication be restored to NORMAL status from disconnection!", kStar));
  } else if (restored) {
    owner_.Log(DRV_LOG_GENERAL, StrFormat("%s %s Communication be restored to NORMAL status from disconnection!",
                                          prefix.c_str(), kStar));
  }
  LogDroppedWrites(*d, dropped);

  OnlineIo io = MakeIo(*d, channel, true);
  if (d->initialRead == 1) InitialRead(*d, io);
  // A run ahead that went on past this place found no write queued: the
  // cycle has none (one queued since goes in the next cycle, at once).
  if (!scripted || scripted->ahead().BeforeWrites()) {
    RunQueuedWrites(key, *d, io);
    if (scripted) scripted->ahead().AfterWrites();
  }

  // Monitored registers: the others keep their image values.
  if (!d->commInit.empty() && owner_.IsRunning()) {
    std::vector<uint8_t>& buffer = cycleCommInit_;
    {
      std::lock_guard<std::mutex> guard(imageLock_);
      buffer.assign(d->images[DRV_IMAGE_COMMINIT].begin(), d->images[DRV_IMAGE_COMMINIT].end());
    }
    if (!buffer.empty()) {
      // Registers the device refuses keep their values; the image counts as
      // read only when the initial read read all of it.
      io.ReadCommInit(0, buffer.data(), true);
      StoreCommInit(*d, buffer, false);
    }
  }
  if (!owner_.IsRunning()) return kCycleSkipped;
  return ReadImages(*d, io);
}

void ModbusDriver::StoreCommInit(DeviceRecord& d, const std::vector<uint8_t>& buffer, bool complete) {
  std::lock_guard<std::mutex> guard(imageLock_);
  std::vector<uint8_t>& image = d.images[DRV_IMAGE_COMMINIT];
  std::memcpy(image.data(), buffer.data(), std::min(image.size(), buffer.size()));
  if (complete) d.validImages |= 1u << DRV_IMAGE_COMMINIT;
}

void ModbusDriver::InitialRead(DeviceRecord& d, OnlineIo& io) {
  // Read once per connection, also when it fails (a register the device
  // refuses is refused again on every try): each failure is logged once.
  {
    std::lock_guard<std::mutex> guard(imageLock_);
    d.initialRead = 0;
  }
  // The image modes may change here: the repeated part is recorded afresh.
  d.script.Reset();
  if (!d.commInit.empty()) {
    std::vector<uint8_t> buffer;
    {
      std::lock_guard<std::mutex> guard(imageLock_);
      buffer = d.images[DRV_IMAGE_COMMINIT];
      // A mode register the device refuses leaves the mode as it is.
      for (const char* name : {"InputMode", "OutputMode"}) {
        const SpecialRegister* r = CommInitEntry(d, name);
        if (!r || static_cast<size_t>(r->offset) + 2 > buffer.size()) continue;
        const uint16_t mode = EqualsNoCase(name, "InputMode") ? d.inputMode : d.outputMode;
        buffer[r->offset] = static_cast<uint8_t>(mode & 0xFF);
        buffer[r->offset + 1u] = static_cast<uint8_t>(mode >> 8);
      }
    }
    const int r = buffer.empty() ? 0 : io.ReadCommInit(0, buffer.data(), false);
    if (r == 1 || IsDeviceAnswer(r)) {
      StoreCommInit(d, buffer, r == 1);
      const std::string prefix = PrefixOf(d);
      auto takeMode = [&](const char* name, bool input) {
        const SpecialRegister* reg = CommInitEntry(d, name);
        if (!reg || static_cast<size_t>(reg->offset) + 2 > buffer.size()) return;
        const int value = buffer[reg->offset] | buffer[reg->offset + 1u] << 8;
        if (input ? !IsValidInputMode(value) : !IsValidOutputMode(value)) {
          owner_.Log(DRV_LOG_ERROR,
                     StrFormat(input ? "%s [Bug] InputImgMode from online is invalid. Value: %d. Func: %s."
                                     : "%s [Bug] OutputImgMode from online is invalid. Value: %d. Func: %s.",
                               prefix.c_str(), value, "VUSK_MonitoringDevice"));
          return;
        }
        std::lock_guard<std::mutex> guard(imageLock_);
        (input ? d.inputMode : d.outputMode) = static_cast<uint16_t>(value);
      };
      takeMode("InputMode", true);
      takeMode("OutputMode", false);
    }
  } else {
    MarkImageRead(d, DRV_IMAGE_COMMINIT);
  }
  const size_t paraLength = d.images[DRV_IMAGE_PARA].size();
  if (paraLength > 0) {
    if (!owner_.IsRunning()) return;
    std::vector<uint8_t> buffer(paraLength, 0);
    if (io.ReadParas(-1, buffer.data()) == 1) StoreImage(d, DRV_IMAGE_PARA, buffer.data(), buffer.size(), 0);
  } else {
    MarkImageRead(d, DRV_IMAGE_PARA);
  }
}

bool ModbusDriver::HasQueuedWrites(const std::string& key) {
  std::lock_guard<std::mutex> guard(queueLock_);
  return std::any_of(queue_.begin(), queue_.end(), [&](const WriteRequest& w) { return EqualsNoCase(w.key, key); });
}

std::vector<WriteRequest> ModbusDriver::TakeQueuedWritesOf(const std::string& key) {
  std::vector<WriteRequest> taken;
  std::lock_guard<std::mutex> guard(queueLock_);
  for (auto it = queue_.begin(); it != queue_.end();) {
    if (EqualsNoCase(it->key, key)) {
      taken.push_back(std::move(*it));
      it = queue_.erase(it);
    } else {
      ++it;
    }
  }
  return taken;
}

void ModbusDriver::RunQueuedWrites(const std::string& key, DeviceRecord& d, OnlineIo& io) {
  std::vector<WriteRequest> mine = TakeQueuedWritesOf(key);
  const std::string prefix = PrefixOf(d);
  for (size_t i = 0; i < mine.size(); ++i) {
    // A stop does not wait for the queue: what is left is dropped and
    // counted (one line at the close).
    if (!owner_.IsRunning()) {
      droppedAtStop_ += mine.size() - i;
      return;
    }
    WriteRequest& request = mine[i];
    int result = 1;
    if (request.kind == DRV_IMAGE_PARA) {
      // The block is as long as the device's records say, whatever the
      // caller passed: pad a short one rather than read past its end.
      size_t offset = 0;
      size_t length = d.adapterPara;
      bool found = request.module == 0;
      if (request.module >= 1) {
        if (const ModuleRecord* m = d.ModuleByCommNumber(request.module)) {
          offset = static_cast<size_t>(m->paraOffset);
          length = m->paraLength;
          found = true;
        }
      }
      std::vector<uint8_t> data = request.data;
      if (data.size() < length) data.resize(length, 0);
      result = io.WriteParas(request.module, data.data());
      if (result == 1 && found) StoreImage(d, DRV_IMAGE_PARA, data.data(), length, offset);
    } else if (request.kind == DRV_IMAGE_OUTPUT) {
      result = io.WriteOutput(request.module, request.data.data(), static_cast<int>(request.data.size()));
    } else {
      owner_.Log(DRV_LOG_ERROR, StrFormat("%s [Bug] Invalid function parameter. Type: %d. Func: %s.", prefix.c_str(),
                                          request.kind, "VUSK_MonitoringDevice"));
      continue;
    }
    if (result != 1 && !owner_.IsRunning()) {
      // Cut short by the stop: not carried out as far as anyone knows.
      ++droppedAtStop_;
      continue;
    }
    // A write the exchange failed (a refusal of the device, no reply) shows
    // in the status until a write of the same kind to the same module
    // succeeds; one refused for its arguments (0, logged) is the caller's.
    std::lock_guard<std::mutex> guard(imageLock_);
    const int what = request.kind * 0x10000 + (request.module & 0xFFFF);
    if (result == 1) {
      d.refusedWrites.erase(what);
    } else if (result < 0) {
      d.refusedWrites.insert(what);
    }
  }
}

int ModbusDriver::ReadImages(DeviceRecord& d, OnlineIo& io) {
  uint16_t inputMode = 0;
  uint16_t outputMode = 0;
  {
    std::lock_guard<std::mutex> guard(imageLock_);
    inputMode = d.inputMode;
    outputMode = d.outputMode;
  }
  int result = 1;
  if (IsSplitModel(d.model)) {
    // The classes lie in areas of their own: module by module, both sides.
    std::vector<uint8_t> image;
    for (const bool output : {false, true}) {
      const int kind = output ? DRV_IMAGE_OUTPUT : DRV_IMAGE_INPUT;
      image.assign(d.images[static_cast<size_t>(kind)].size(), 0);
      if (image.empty()) {
        MarkImageRead(d, kind);
        continue;
      }
      result = output ? io.ReadOutput(-1, image.data()) : io.ReadInput(-1, image.data());
      result = TakeImageRead(d, kind, result, image.data(), image.size());
      if (result != 1) return result;
    }
    return result;
  }
  // One image in its area: read whole and stored, or, when the mode gives
  // it no length, only marked valid.
  auto readArea = [&](int kind, uint8_t function, uint16_t address, bool validMode, size_t length) {
    // A mode outside the tables has no layout: nothing is read, and drvRead
    // keeps answering that the image has not been read.
    if (!validMode) return 1;
    if (length == 0) {
      MarkImageRead(d, kind);
      return 1;
    }
    std::vector<uint8_t>& block = cycleBlock_;
    block.assign(length + 1, 0);
    const int read = io.ReadImage(function, address, static_cast<int>(length), block.data());
    return TakeImageRead(d, kind, read, block.data(), length);
  };
  const bool inValid = IsValidInputMode(inputMode);
  result =
      readArea(DRV_IMAGE_INPUT, kFcReadInputRegisters, static_cast<uint16_t>(d.inputWordBase - d.ownInputBits / 16),
               inValid, inValid ? d.inputLengths[inputMode] : 0);
  if (result != 1) return result;
  if (!owner_.IsRunning()) return kCycleSkipped;
  const bool outValid = IsValidOutputMode(outputMode);
  return readArea(DRV_IMAGE_OUTPUT, kFcReadHoldingRegisters,
                  static_cast<uint16_t>(d.outputWordBase - d.ownOutputBits / 16), outValid,
                  outValid ? d.outputLengths[outputMode] : 0);
}

int ModbusDriver::TakeImageRead(DeviceRecord& d, int kind, int result, const uint8_t* data, size_t length) {
  const uint32_t failure = FailureKey(FailureArea::kImage, static_cast<uint32_t>(kind));
  if (result != 1) {
    if (!owner_.IsRunning()) return kCycleSkipped;
    ReadFailed(d, kind);
    // Logged when it starts (or its cause changes), not in every cycle.
    const auto logged = d.failuresLogged.find(failure);
    if (logged == d.failuresLogged.end() || logged->second != result) {
      d.failuresLogged[failure] = result;
      owner_.Log(DRV_LOG_ERROR, StrFormat("%s Cannot read. %s Monitoring. ErrCode: %d. Desc: %s", PrefixOf(d).c_str(),
                                          kind == DRV_IMAGE_INPUT ? "Input" : "Output", result,
                                          owner_.VUSK_GetErrStr(result).c_str()));
    }
    return result;
  }
  d.failuresLogged.erase(failure);
  StoreImage(d, kind, data, length, 0);
  ReadSucceeded(d, kind);
  return 1;
}

void ModbusDriver::MarkImageRead(DeviceRecord& d, int kind) {
  std::lock_guard<std::mutex> guard(imageLock_);
  d.validImages |= 1u << kind;
}

void ModbusDriver::ReadFailed(DeviceRecord& d, int kind) {
  // What the image holds is older than this failure: drvRead no longer
  // answers from it, and the status shows the failure.
  std::lock_guard<std::mutex> guard(imageLock_);
  d.validImages &= ~(1u << kind);
  d.failedReads |= 1u << kind;
}

void ModbusDriver::ReadSucceeded(DeviceRecord& d, int kind) {
  std::lock_guard<std::mutex> guard(imageLock_);
  d.failedReads &= ~(1u << kind);
}

void ModbusDriver::StoreImage(DeviceRecord& d, int kind, const uint8_t* data, size_t length, size_t offset) {
  if (kind != DRV_IMAGE_PARA && kind != DRV_IMAGE_COMMINIT && kind != DRV_IMAGE_INPUT && kind != DRV_IMAGE_OUTPUT)
    return;
  std::lock_guard<std::mutex> guard(imageLock_);
  std::vector<uint8_t>& image = d.images[static_cast<size_t>(kind)];
  // Parameters and CommInit go where they belong; the split layouts' I/O
  // images come assembled already.
  if (kind == DRV_IMAGE_PARA || kind == DRV_IMAGE_COMMINIT || IsSplitModel(d.model)) {
    if (offset < image.size()) std::memcpy(image.data() + offset, data, std::min(length, image.size() - offset));
    d.validImages |= 1u << kind;
    return;
  }
  const bool input = kind == DRV_IMAGE_INPUT;
  const uint16_t mode = input ? d.inputMode : d.outputMode;
  // Input modes 0 and 1 carry the status word: ahead of everything, or
  // behind the adapter's own channels on the fixed-I/O adapters.
  const size_t status = input && mode <= 1 ? 2 : 0;
  const size_t own = input ? d.adapterInput : d.adapterOutput;
  const size_t ownAt = IsFixedIoModel(d.model) ? 0 : status;
  const size_t modulesAt = own + status;
  const bool compressed = input ? (mode == 1 || mode == 3) : mode == 1;
  size_t at = 0;
  // Each part is as long as the module list says, bounded by the image.
  auto put = [&](size_t count, size_t firstBit, size_t bits) {
    if (at + count > image.size()) count = at < image.size() ? image.size() - at : 0;
    CopyBits(image.data() + at, count, data, length, firstBit, std::min(bits, 8 * count));
    at += count;
  };
  put(own, 8 * ownAt, 8 * own);
  for (const ModuleRecord& m : d.modules) {
    const size_t size = input ? m.inputSize : m.outputSize;
    if (size == 0) continue;
    const ImagePosition p = input ? (compressed ? m.inCompressed : m.inUncompressed)
                                  : (compressed ? m.outCompressed : m.outUncompressed);
    put(size, 8 * (modulesAt + p.byte) + p.bit, input ? m.totalInputBits : m.totalOutputBits);
  }
  d.validImages |= 1u << kind;
}

void ModbusDriver::PurgeWrites(const std::string& key, DeviceRecord& d) {
  const std::vector<WriteRequest> dropped = TakeQueuedWritesOf(key);
  if (dropped.empty()) return;
  std::lock_guard<std::mutex> guard(imageLock_);
  d.writesPurged = true;
  d.writesDropped += dropped.size();
}

void ModbusDriver::LogDroppedWrites(const DeviceRecord& d, size_t dropped) {
  if (dropped == 0) return;
  owner_.Log(DRV_LOG_ERROR, StrFormat("%s Writes are dropped because communication with the device does not run. "
                                      "Device name: %s. Count: %d.",
                                      PrefixOf(d).c_str(), d.model.c_str(), static_cast<int>(dropped)));
}

}  // namespace tessivar
