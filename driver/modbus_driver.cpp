#include "driver/modbus_driver.h"

#include <cstring>
#include <new>

#include "common/Utility.h"
#include "driver/address_map.h"
#include "driver/driver_instance.h"
#include "driver/driver_library.h"
#include "driver/driver_utils.h"
#include "driver/online_io.h"
#include "driver/records.h"
#include "driver/result_codes.h"
#include "driver/window_host.h"

namespace tessivar {

ModbusDriver::ModbusDriver(DriverInstance& owner) : owner_(owner) {}

ModbusDriver::~ModbusDriver() = default;

int ModbusDriver::SetChannelProperty(const std::string& text) {
  const ChannelPropertyResult r = ParseChannelProperty(text, &commType_, &tcpSetting_, &serialSetting_);
  if (!r.accepted) {
    owner_.Log(DRV_LOG_ERROR, r.refusal);
    return 0;
  }
  return 1;
}

DeviceRecord* ModbusDriver::FindDevice(const std::string& key) {
  auto it = devices_.find(key);
  return it == devices_.end() ? nullptr : &it->second;
}

std::string ModbusDriver::PrefixOf(const DeviceRecord& device) const {
  if (!IsSerialCommType(commType_)) return {};
  return StrFormat("[Port:%d, Node:%d]", serialSetting_.comPort, device.node);
}

int ModbusDriver::SetDeviceProperty(const std::string& key, const std::string& deviceName, const std::string& text,
                                    bool isNew) {
  const DevicePropertyFields fields = ParseDeviceProperty(text, IsTcp());
  if (!fields.accepted) {
    owner_.Log(DRV_LOG_ERROR, fields.refusal);
    return 0;
  }
  std::lock_guard<std::mutex> guard(imageLock_);
  if (isNew) {
    devices_[key] = NewDeviceRecord(deviceName);
  } else if (!FindDevice(key)) {
    return kDrvBadDevice;
  }
  DeviceRecord& d = devices_[key];
  d.model = deviceName;
  d.name = deviceName;
  d.productCode = fields.productCode;
  d.node = fields.node;
  // The last device set decides the station of the channel.
  if (IsTcp()) {
    tcpSetting_.unitId = fields.node;
  } else {
    serialSetting_.slaveAddress = fields.node;
  }
  return 1;
}

void ModbusDriver::RemoveDevice(const std::string& key, const std::string& deviceName) {
  std::lock_guard<std::mutex> guard(imageLock_);
  auto it = devices_.find(key);
  if (it == devices_.end()) return;
  const std::string prefix = PrefixOf(it->second);
  devices_.erase(it);
  owner_.Log(DRV_LOG_GENERAL,
             StrFormat("%s Device instance is removed. Name: %s.", prefix.c_str(), deviceName.c_str()));
}

int ModbusDriver::SetModuleList(const std::string& key, const ModuleListEntry* entries, int count) {
  DeviceRecord* d = FindDevice(key);
  if (!d) return kDrvBadDevice;
  const std::string prefix = PrefixOf(*d);
  auto text = [](const char* t) { return std::string(t ? t : ""); };

  // Every module line is checked before anything changes: a list that
  // cannot be laid out leaves the device as it was.
  std::vector<ModuleRecord> modules;
  for (int i = 0; i < count; ++i) {
    const ModuleListEntry& e = entries[i];
    if (EqualsNoCase(text(e.typeTag), "NA")) continue;
    ModuleRecord m;
    std::string reason;
    if (!ParseModuleLine(text(e.moduleLine), &m, &reason)) {
      owner_.Log(DRV_LOG_ERROR,
                 StrFormat("%s Invalid module line. Contact the dealer. Module: %s. Reason: %s. Line: %s.",
                           prefix.c_str(), text(e.label).c_str(), reason.c_str(), text(e.moduleLine).c_str()));
      return 0;
    }
    m.productCode = e.productCode;
    m.label = text(e.label);
    m.paraLength = e.paraLength;
    m.inputSize = e.inputSize;
    m.outputSize = e.outputSize;
    modules.push_back(std::move(m));
  }

  std::lock_guard<std::mutex> guard(imageLock_);
  d->modules.clear();
  for (auto& image : d->images) image.clear();
  size_t module = 0;
  int paraOffset = d->adapterPara;
  for (int i = 0; i < count; ++i) {
    const ModuleListEntry& e = entries[i];
    if (EqualsNoCase(text(e.typeTag), "NA")) {
      d->productCode = e.productCode;
      d->name = text(e.label);
      d->adapterPara = e.paraLength;
      d->adapterInput = e.inputSize;
      d->adapterOutput = e.outputSize;
      paraOffset = d->adapterPara;
      if (!ParseInitCommBlock(*d, text(e.initCommBlock)))
        owner_.Log(DRV_LOG_ERROR, StrFormat("%s Invalid Init-CommBlock. Contact the dealer. Block: %s.", prefix.c_str(),
                                            text(e.initCommBlock).c_str()));
      continue;
    }
    ModuleRecord& m = modules[module++];
    m.paraOffset = paraOffset;
    paraOffset += m.paraLength;
    d->modules.push_back(m);
  }
  AssignAddresses(*d, prefix, [this](const std::string& line) { owner_.Log(DRV_LOG_ERROR, line); });

  size_t lengths[kImageKinds] = {d->adapterPara, 0, 0, d->adapterInput, d->adapterOutput};
  for (const SpecialRegister& r : d->commInit) lengths[DRV_IMAGE_COMMINIT] += r.size;
  for (const ModuleRecord& m : d->modules) {
    lengths[DRV_IMAGE_PARA] += m.paraLength;
    lengths[DRV_IMAGE_INPUT] += m.inputSize;
    lengths[DRV_IMAGE_OUTPUT] += m.outputSize;
  }
  for (size_t k = 0; k < kImageKinds; ++k) d->images[k].assign(lengths[k], 0);
  return 1;
}

int ModbusDriver::SetProcessImgMode(const std::string& key, int inputMode, int outputMode) {
  DeviceRecord* d = FindDevice(key);
  if (!d) return kDrvBadDevice;
  // Stored as given: a mode outside the tables is refused where it would be
  // used (the address map, the module reads and writes) and gives the
  // monitoring cycle no image length, so nothing is read for it.
  std::lock_guard<std::mutex> guard(imageLock_);
  d->inputMode = static_cast<uint16_t>(inputMode);
  d->outputMode = static_cast<uint16_t>(outputMode);
  return 1;
}

void ModbusDriver::LogUnknownDevice(const char* function) {
  owner_.Log(DRV_LOG_ERROR, StrFormat("%s. Func: %s", ErrorText(kDrvBadDevice).c_str(), function));
}

OnlineIo ModbusDriver::MakeIo(DeviceRecord& device, Modbus* channel, bool cycle) {
  OnlineIo::Context c;
  if (cycle) {
    c.failures = &device.failuresLogged;
    c.stopping = [this] { return !owner_.IsRunning(); };
  }
  c.channel = channel;
  c.device = &device;
  c.commType = commType_;
  c.prefix = PrefixOf(device);
  c.log = [this](int level, const std::string& line) { owner_.Log(level, line); };
  c.errorText = [this](int code) { return owner_.VUSK_GetErrStr(code); };
  c.imageLock = &imageLock_;
  return OnlineIo(std::move(c));
}

Modbus* ModbusDriver::OpenPrivateChannel(const DeviceRecord& device, const char* operation, int* failure) {
  GetChannel(1);
  Modbus* channel = CreateChannel(operation);
  if (!channel) {
    *failure = kDrvNoInstance;
    return nullptr;
  }
  const int opened = OpenChannelObject(*channel, 0, 0);
  if (opened != 1) {
    owner_.Log(DRV_LOG_ERROR, StrFormat("%s Open connection is failed. Because %s Func: %s", PrefixOf(device).c_str(),
                                        channel->ErrorText(opened).c_str(), operation));
    CloseChannel(1);
    *failure = 0;
    return nullptr;
  }
  return channel;
}

void ModbusDriver::LogNoChannel(const DeviceRecord& device, const char* operation) {
  owner_.Log(DRV_LOG_ERROR, StrFormat("%s %s. Func: %s", PrefixOf(device).c_str(), ErrorText(kDrvNoInstance).c_str(),
                                      operation));
}

int ModbusDriver::WithPrivateChannel(DeviceRecord& device, const char* operation,
                                     const std::function<int(OnlineIo&)>& fn) {
  int failure = 0;
  Modbus* channel = OpenPrivateChannel(device, operation, &failure);
  if (!channel) return failure;
  OnlineIo io = MakeIo(device, channel);
  // The stopped road's channel is its own: a connection the master closed
  // on a mismatching reply is opened again for the rest of the walk.
  io.SetReopen([this, channel] { return OpenChannelObject(*channel, 0, 0); });
  int r = 0;
  try {
    r = fn(io);
  } catch (...) {
    CloseChannel(1);
    throw;
  }
  CloseChannel(1);
  return r;
}

int ModbusDriver::ReadRunning(DeviceRecord& d, int module, int kind, uint8_t* dst) {
  std::lock_guard<std::mutex> guard(imageLock_);
  if (kind == DRV_IMAGE_STATUS) {
    // Writes dropped since the last status read show as a lost connection
    // once, even when the device answers again by now; an image that can no
    // longer be read and a write the device refused show as long as they
    // stand.
    const bool failing = d.writesPurged || d.failedReads != 0 || !d.refusedWrites.empty();
    const int state = failing ? static_cast<int>(kDeviceLost) : d.state;
    d.writesPurged = false;
    dst[0] = static_cast<uint8_t>(state & 0xFF);
    dst[1] = static_cast<uint8_t>((state >> 8) & 0xFF);
    const std::vector<uint8_t>& comm = d.images[DRV_IMAGE_COMMINIT];
    if (d.statusOffset >= 0 && static_cast<size_t>(d.statusOffset) + 2 <= comm.size()) {
      dst[2] = comm[static_cast<size_t>(d.statusOffset)];
      dst[3] = comm[static_cast<size_t>(d.statusOffset) + 1];
      if (d.fieldPowerOffset < 0) dst[2] = static_cast<uint8_t>(dst[2] & 0x7F);
    }
    return 1;
  }
  // An image this run has not read from the device yet holds nothing the
  // caller may take for the device's values.
  if (kind != kImageNone && !(d.validImages & (1u << kind))) return 0;
  const std::vector<uint8_t>& image = d.images[static_cast<size_t>(kind)];
  // The part the selector names, so that a caller's buffer for one module
  // is never filled with the whole image.
  size_t offset = 0;
  size_t length = image.size();
  if (module >= 0 && (kind == DRV_IMAGE_PARA || kind == DRV_IMAGE_INPUT || kind == DRV_IMAGE_OUTPUT)) {
    auto sizeOf = [kind](uint16_t para, uint16_t in, uint16_t out) -> size_t {
      return kind == DRV_IMAGE_PARA ? para : (kind == DRV_IMAGE_INPUT ? in : out);
    };
    offset = 0;
    length = sizeOf(d.adapterPara, d.adapterInput, d.adapterOutput);
    if (module >= 1) {
      bool found = false;
      offset = length;
      for (const ModuleRecord& m : d.modules) {
        const size_t size = sizeOf(m.paraLength, m.inputSize, m.outputSize);
        if (m.commNumber == module) {
          length = size;
          found = true;
          break;
        }
        offset += size;
      }
      if (!found) {
        owner_.Log(DRV_LOG_ERROR, StrFormat("%s Cannot find the module. lModID: %d. Func: %s", PrefixOf(d).c_str(),
                                            module, "VUSK_Read"));
        return 0;
      }
    }
  }
  if (offset + length > image.size()) return 0;
  if (length > 0) std::memcpy(dst, image.data() + offset, length);
  return 1;
}

bool ModbusDriver::RefusedOffline() {
  if (commType_ != kCommOffline) return false;
  owner_.Log(DRV_LOG_ERROR, "Communication drive does not supprt online functions");
  return true;
}

int ModbusDriver::Read(const std::string& key, int module, int kind, void* destination) {
  if (RefusedOffline()) return 0;
  DeviceRecord* d = FindDevice(key);
  if (!d) {
    LogUnknownDevice("VUSK_Read");
    return kDrvBadDevice;
  }
  const std::string prefix = PrefixOf(*d);
  auto* dst = static_cast<uint8_t*>(destination);
  const bool running = owner_.IsRunning();
  const bool known = kind == DRV_IMAGE_PARA || kind == DRV_IMAGE_COMMINIT || kind == DRV_IMAGE_INPUT ||
                     kind == DRV_IMAGE_OUTPUT || (running && (kind == kImageNone || kind == DRV_IMAGE_STATUS));
  if (!known || !dst) {
    owner_.Log(DRV_LOG_ERROR, StrFormat("%s Unsupport argument. Src: %d. Func: %s", prefix.c_str(), kind, "VUSK_Read"));
    return 0;
  }
  if (running) return ReadRunning(*d, module, kind, dst);
  switch (kind) {
    case DRV_IMAGE_COMMINIT:
      return WithPrivateChannel(*d, "ReadCommInit", [&](OnlineIo& io) { return io.ReadCommInit(module, dst, false); });
    case DRV_IMAGE_PARA:
      return WithPrivateChannel(*d, "ReadParas", [&](OnlineIo& io) { return io.ReadParas(module, dst); });
    case DRV_IMAGE_INPUT:
      return WithPrivateChannel(*d, "ReadInput", [&](OnlineIo& io) { return io.ReadInput(module, dst); });
    default:
      return WithPrivateChannel(*d, "ReadOutput", [&](OnlineIo& io) { return io.ReadOutput(module, dst); });
  }
}

int ModbusDriver::WriteByte(const std::string& key, int module, int kind, const void* source, int /*flag*/,
                            int length) {
  if (RefusedOffline()) return 0;
  const bool running = owner_.IsRunning();
  if (running && kind == DRV_IMAGE_COMMINIT) {
    owner_.Log(DRV_LOG_ERROR, "Cannot CommInit data during monitoring.");
    return 0;
  }
  DeviceRecord* d = FindDevice(key);
  if (!d) {
    LogUnknownDevice("VUSK_WriteByte");
    return 0;
  }
  const std::string prefix = PrefixOf(*d);
  const auto* src = static_cast<const uint8_t*>(source);
  const bool known = kind == DRV_IMAGE_PARA || kind == DRV_IMAGE_OUTPUT || kind == DRV_IMAGE_COMMINIT;
  if (!known || !src || length <= 0) {
    owner_.Log(DRV_LOG_ERROR,
               StrFormat("%s Unsupport argument. Src: %d. Func: %s", prefix.c_str(), kind, "VUSK_WriteByte"));
    return 0;
  }
  if (running) {
    {
      std::lock_guard<std::mutex> guard(imageLock_);
      if (d->state != kDeviceRunning) {
        // Refused, and counted with the loss's other dropped writes: one
        // line when the device runs again, not one for every write.
        ++d->writesDropped;
        return 0;
      }
    }
    WriteRequest request;
    request.key = key;
    request.module = module;
    request.kind = kind;
    request.data.assign(src, src + length);
    {
      std::lock_guard<std::mutex> guard(queueLock_);
      if (queue_.size() >= kMaxQueuedWrites) {
        owner_.Log(DRV_LOG_ERROR, StrFormat("%s Cannot write because too many writes wait for the device. Queued: %d.",
                                            prefix.c_str(), static_cast<int>(queue_.size())));
        return 0;
      }
      queue_.push_back(std::move(request));
    }
    owner_.SignalWrite(key);
    return 1;
  }
  // Parameter and CommInit blocks are as long as the device's records say,
  // whatever the caller passed: a shorter source is padded with zeros rather
  // than read past its end.
  std::vector<uint8_t> padded;
  if (kind == DRV_IMAGE_PARA || kind == DRV_IMAGE_COMMINIT) {
    size_t needed = d->images[DRV_IMAGE_COMMINIT].size();
    if (kind == DRV_IMAGE_PARA) {
      const ModuleRecord* m = module >= 1 ? d->ModuleByCommNumber(module) : nullptr;
      needed = m ? m->paraLength : d->adapterPara;
    }
    if (static_cast<size_t>(length) < needed) {
      padded.assign(needed, 0);
      std::memcpy(padded.data(), src, static_cast<size_t>(length));
      src = padded.data();
    }
  }
  switch (kind) {
    case DRV_IMAGE_PARA:
      return WithPrivateChannel(*d, "WriteParas", [&](OnlineIo& io) { return io.WriteParas(module, src); });
    case DRV_IMAGE_OUTPUT:
      return WithPrivateChannel(*d, "WriteOutput", [&](OnlineIo& io) {
        io.GetAssignProcessImgMode(false, true);
        return io.WriteOutput(module, src, length);
      });
    default:
      return WithPrivateChannel(*d, "WriteCommInit", [&](OnlineIo& io) { return io.WriteCommInit(src); });
  }
}

int ModbusDriver::SendSpecialCmd(const std::string& key, int command) {
  // An Offline channel has no port: a serial master would open COM1.
  if (RefusedOffline()) return 0;
  DeviceRecord* d = FindDevice(key);
  if (!d) {
    LogUnknownDevice("VUSK_SendSpecialCmd");
    return 0;
  }
  // Only restart and clearing the counters exist; nothing is sent for any
  // other command.
  if (command != kCmdRestartComm && command != kCmdClearCounters) return 0;
  const std::string prefix = PrefixOf(*d);
  int failure = 0;
  Modbus* channel = OpenPrivateChannel(*d, "VUSK_SendSpecialCmd", &failure);
  if (!channel) {
    if (failure == kDrvNoInstance) LogNoChannel(*d, "VUSK_SendSpecialCmd");
    return 0;
  }
  const int r = channel->DiagCmd(static_cast<uint8_t>(d->node), command);
  if (r != 1)
    owner_.Log(DRV_LOG_ERROR, StrFormat("%s DiagCmd is fail. ErrCode: %d. ErrDesc: %s", prefix.c_str(), r,
                                        owner_.VUSK_GetErrStr(r).c_str()));
  CloseChannel(1);
  return r;
}

AddressMapInfo* ModbusDriver::GetAddresMap(const std::string& key, int slot) {
  DeviceRecord* d = FindDevice(key);
  if (!d) return nullptr;
  const std::string prefix = PrefixOf(*d);
  // The modes may be rewritten by the monitoring cycle meanwhile.
  std::lock_guard<std::mutex> guard(imageLock_);
  return BuildAddressMap(*d, slot, prefix, [this](const std::string& line) { owner_.Log(DRV_LOG_ERROR, line); });
}

int ModbusDriver::ShowAddresMap(const std::string& key, int slot, int16_t* inputMode, int16_t* outputMode) {
  if (!FindDevice(key)) {
    LogUnknownDevice("VUSK_ShowAddresMap");
    return 1;
  }
  // The modes are stored as drvSetProcessImgMode stores them; the caller's
  // values are only read.
  if (inputMode && outputMode) SetProcessImgMode(key, *inputMode, *outputMode);
  AddressMapInfo* map = GetAddresMap(key, slot);
  std::string inputText, outputText;
  {
    std::lock_guard<std::mutex> guard(imageLock_);
    if (const DeviceRecord* d = FindDevice(key)) {
      inputText = InputModeText(d->inputMode);
      outputText = OutputModeText(d->outputMode);
    }
  }
  const windows::WindowHost& host = windows::GetWindowHost();
  try {
    if (host.showAddressMap) host.showAddressMap(map, inputText, outputText);
  } catch (...) {
    FreeAddressMapInfo(map);
    throw;
  }
  FreeAddressMapInfo(map);
  return 1;
}

int ModbusDriver::ShowProtocolComm() {
  const windows::WindowHost& host = windows::GetWindowHost();
  if (host.showMessenger) host.showMessenger(DriverLibrary::Get().Directory());
  return 1;
}

void ModbusDriver::SetDeviceState(const std::string& key, int state) {
  std::lock_guard<std::mutex> guard(imageLock_);
  if (DeviceRecord* d = FindDevice(key)) d->state = state;
}

std::string ModbusDriver::DeviceLogPrefix(const std::string& key) {
  const DeviceRecord* d = FindDevice(key);
  return d ? PrefixOf(*d) : std::string();
}

std::string ModbusDriver::ErrorText(int code) {
  std::string text;
  if (DriverObjectTableText(code, text)) return text;
  // The channel's own texts name the exception code of its last reply
  // (-8015).
  Modbus* channel = GetChannel(0);
  return channel ? channel->ErrorText(code) : "Undefined Error happens.";
}

bool ModbusDriver::Device(const std::string& key, DeviceRecord* out) {
  std::lock_guard<std::mutex> guard(imageLock_);
  const DeviceRecord* d = FindDevice(key);
  if (!d) return false;
  if (out) *out = *d;
  return true;
}

Modbus* ModbusDriver::GetChannel(int close) {
  if (close == 1) CloseChannel(1);
  if (IsTcp()) return tcpChannel_.get();
  return serialChannel_.get();
}

Modbus* ModbusDriver::CreateChannel(const char* function) {
  Modbus* channel = nullptr;
  if (IsTcp()) {
    tcpChannel_.reset(new (std::nothrow) CModbusTCP());
    channel = tcpChannel_.get();
  } else {
    serialChannel_.reset(new (std::nothrow) ModbusSerial());
    if (serialChannel_) serialChannel_->SetLate(lateReply_);
    channel = serialChannel_.get();
  }
  if (!channel) {
    owner_.Log(DRV_LOG_ERROR,
               StrFormat("Out of Memory! Cannot open channel. Please, check PC resource. Func: %s", function));
    return nullptr;
  }
  channel->SetOwner(this);
  return channel;
}

int ModbusDriver::OpenChannelObject(Modbus& channel, int a, int b) {
  if (IsTcp()) return channel.OpenConnection(tcpSetting_, a, b);
  return channel.OpenConnection(serialSetting_, a, b);
}

void ModbusDriver::CloseChannel(int deleteFlag) {
  Modbus* channel = IsTcp() ? static_cast<Modbus*>(tcpChannel_.get()) : serialChannel_.get();
  if (channel && deleteFlag == 1) {
    channel->CloseConnection();
    channel->DeleteConnection();
  }
  if (IsTcp()) {
    tcpChannel_.reset();
  } else {
    if (serialChannel_) lateReply_ = serialChannel_->Late();
    serialChannel_.reset();
  }
}

void ModbusDriver::MasterLog(int level, const std::string& text) { owner_.Log(level, text); }

void ModbusDriver::PingReport(const std::string& host, int result) {
  const char* h = host.c_str();
  if (result == kPingAnswered) {
    owner_.Log(DRV_LOG_GENERAL, StrFormat(" Ping test: Success. host: %s", h));
  } else if (result == kPingAnsweredLater) {
    owner_.Log(DRV_LOG_ERROR, StrFormat(" Ping test: Network is unstable. host: %s", h));
  } else if (result == kPingNoHost) {
    owner_.Log(DRV_LOG_ERROR, StrFormat(" Ping test: Failed. Host address is null. Error Code:%d.", result));
  } else if (result == kPingUnresolved || result < kPingIpStatusBase) {
    owner_.Log(DRV_LOG_ERROR,
               StrFormat(" Ping test: Failed. Check network environment. host: %s. Error Code:%d.", h, result));
  } else {
    owner_.Log(DRV_LOG_ERROR,
               StrFormat(" Ping test is unavailable. Cound not load ICMPDLL. host: %s. Error Code:%d.", h, result));
  }
}

}  // namespace tessivar
