// What the hardware says is there: the online I/O configuration of a
// configured device (drvGetIOConfig) and the automatic scan for adapters
// nobody has configured yet (drvStartAutoScan): one discovery broadcast on
// Ethernet, a probe of every node on a range of COM ports on serial buses,
// each found adapter's modules read afterwards. Runs on the caller's thread
// while the instance is stopped, with channel objects of its own that it
// leaves behind none of.
#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "common/Utility.h"
#include "driver/driver_instance.h"
#include "driver/driver_utils.h"
#include "driver/modbus_driver.h"
#include "driver/records.h"
#include "driver/result_codes.h"
#include "platform/net/socket.h"

namespace tessivar {
namespace {

// One read carries at most 125 registers: the adapter's word and 124 slots.
constexpr int kMaxSlots = 124;
constexpr int kWsaMessageTooLong = -qmx::net::kWsaEmsgsize;
// The module scans of a whole Ethernet scan end by one deadline, this long
// after they start. Each adapter has a thread of its own, so that adapters
// that cannot be reached (a connect waits out the deadline) hold up no
// other: there are at most kMaxDiscoveryRecords of them.
constexpr int kModuleScanTimeoutMs = 5000;

using Clock = std::chrono::steady_clock;

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

uint16_t Word(const uint8_t* wire, int k) { return static_cast<uint16_t>(wire[2 * k] << 8 | wire[2 * k + 1]); }

int Field(const std::string& text, int n) {
  return static_cast<int>(std::strtol(TrimStr(GetToken(text, n, ',', 1)).c_str(), nullptr, 10));
}

using Found = ModbusDriver::Found;

intptr_t ListOf(const std::vector<Found>& found) {
  std::vector<ScannedAdapter*> adapters;
  adapters.reserve(found.size());
  for (const Found& f : found) adapters.push_back(NewOnlineIOConfig(f.productCode, f.texts, f.modules));
  return reinterpret_cast<intptr_t>(NewScanResultList(adapters));
}

}  // namespace

intptr_t ModbusDriver::GetIOConfig(const std::string& key) {
  if (RefusedOffline()) return 0;
  DeviceRecord* d = FindDevice(key);
  if (!d) {
    LogUnknownDevice("VUSK_GetIOConfig");
    return 0;
  }
  const std::string prefix = PrefixOf(*d);
  const char* function = "VUSK_GetIOConfig";
  int failure = 0;
  Modbus* channel = OpenPrivateChannel(*d, function, &failure);
  if (!channel) {
    if (failure == kDrvNoInstance) LogNoChannel(*d, function);
    return 0;
  }
  auto failed = [&](int code) {
    owner_.Log(DRV_LOG_ERROR, StrFormat("%s Cannot read. GetIOConfig. ErrCode: %d. Desc: %s", prefix.c_str(), code,
                                        owner_.VUSK_GetErrStr(code).c_str()));
    CloseChannel(1);
    return intptr_t{0};
  };
  const auto node = static_cast<uint8_t>(d->node);
  uint8_t wire[2 * (kMaxSlots + 1)] = {};
  int r = channel->ReadRegisters(node, kFcReadInputRegisters, kRegExpansionSlotNo, 1, wire, 2);
  if (r != 1) return failed(r);
  const int n = Word(wire, 0);
  if (n > kMaxSlots) {
    // More slots than one read can list: no list at all rather than a cut one.
    owner_.Log(DRV_LOG_ERROR,
               StrFormat("%s Cannot read. GetIOConfig. The device reports %d slots, at most %d can be read. "
                         "Func: %s",
                         prefix.c_str(), n, kMaxSlots, function));
    CloseChannel(1);
    return 0;
  }
  r = channel->ReadRegisters(node, kFcReadInputRegisters, kRegSlotList, static_cast<uint16_t>(n + 1), wire,
                             2 * (n + 1));
  // Without the list there is no product code either: a record with 0
  // would read as an adapter that is not there.
  if (r != 1) return failed(r);
  std::vector<uint16_t> modules;
  for (int k = 1; k <= n; ++k) modules.push_back(Word(wire, k));
  CloseChannel(1);
  return reinterpret_cast<intptr_t>(NewOnlineIOConfig(Word(wire, 0), {}, modules));
}

intptr_t ModbusDriver::StartAutoScan(const std::string& /*name*/, int commKind, int timeValue, int moduleScan,
                                     const std::string& param) {
  if (IsTcpCommType(commKind)) return ScanTCPNA(moduleScan, timeValue);
  if (IsSerialCommType(commKind)) return ScanSerialNA(commKind, timeValue, moduleScan, param);
  owner_.Log(DRV_LOG_ERROR,
             StrFormat("[Bug] Invalid Comm Type. enCommType: %d. Func: %s", commKind, "VUSK_StartAutoScan"));
  return 0;
}

intptr_t ModbusDriver::ScanTCPNA(int moduleScan, int timeValue) {
  ScanHits hits;
  int counter = 0;
  for (int attempt = 0;; ++attempt) {
    std::unique_ptr<CModbusTCP> channel(new (std::nothrow) CModbusTCP());
    if (!channel) return 0;
    channel->SetOwner(this);
    const int opened = channel->OpenConnection(DiscoverySettings(), 0, 0);
    if (opened != 1) {
      owner_.Log(DRV_LOG_ERROR, StrFormat("Open connection is failed. Because %s Func: %s",
                                          channel->ErrorText(opened).c_str(), "ScanTCPNA"));
      channel->CloseConnection();
      return 0;
    }
    hits = ScanHits();
    counter = 0;
    const int r = channel->ScanDevice(0, hits, counter, timeValue);
    channel->CloseConnection();
    if (r == 1) break;
    if (r == kWsaMessageTooLong && attempt == 0) continue;
    owner_.Log(DRV_LOG_ERROR, StrFormat("Cannot scan network adapter. Because %s. Func: %s",
                                        channel->ErrorText(r).c_str(), "ScanTCPNA"));
    return 0;
  }
  if (const size_t dropped = hits.DiscoveryDroppedCount(); dropped > 0)
    owner_.Log(DRV_LOG_ERROR, StrFormat(" Scan result is full with %d adapters. Adapters not listed: %d. Func: %s",
                                        static_cast<int>(kMaxDiscoveryRecords), static_cast<int>(dropped),
                                        "ScanTCPNA"));
  if (hits.discovery.empty())
    owner_.Log(DRV_LOG_GENERAL,
               StrFormat("[Warning] Scan result is none. You must first set IP address of network adapters. "
                         "Func: %s",
                         "ScanTCPNA"));
  std::vector<Found> found;
  for (const DiscoveryRecord& record : hits.discovery) {
    DiscoveredAdapter adapter = DecodeDiscoveryRecord(record);
    Found f;
    f.productCode = adapter.productCode;
    f.texts = std::move(adapter.texts);
    found.push_back(std::move(f));
  }
  if (moduleScan) ScanModulesOfAll(found);
  return ListOf(found);
}

void ModbusDriver::ScanModulesOfAll(std::vector<Found>& found) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(kModuleScanTimeoutMs);
  std::atomic<size_t> next{0};
  std::atomic<size_t> scanned{0};
  size_t workers = 1;
  auto work = [&] {
    for (size_t i; (i = next++) < found.size();) {
      const Clock::time_point now = Clock::now();
      if (now >= deadline) return;
      // With a thread for every adapter, each has the whole deadline. With
      // fewer (the system gave no more), the adapters still to come share
      // what is left, so that one behind adapters that cannot be reached
      // is still scanned.
      const size_t rounds = (found.size() - i + workers - 1) / workers;
      const Clock::time_point own = now + (deadline - now) / static_cast<int>(rounds);
      ScannedAdapter probe{};
      probe.text1 = "";
      probe.text2 = found[i].texts[1].c_str();
      ScanIOs(kCommTcp, probe, found[i].modules, own);
      ++scanned;
    }
  };
  std::vector<std::thread> threads;
  {
    // The workers wait for the count of their fellows before they start.
    std::mutex startLock;
    std::unique_lock<std::mutex> starting(startLock);
    auto worker = [&] {
      { std::lock_guard<std::mutex> started(startLock); }
      work();
    };
    try {
      for (size_t w = 1; w < found.size(); ++w) threads.emplace_back(worker);
    } catch (const std::system_error&) {
      // Fewer threads: the ones there are, and this one, share the work.
    }
    workers = threads.size() + 1;
  }
  work();
  for (std::thread& t : threads) t.join();
  if (scanned.load() < found.size())
    owner_.Log(DRV_LOG_ERROR, StrFormat(" Module scan time is over. Adapters without module scan: %d. Func: %s",
                                        static_cast<int>(found.size() - scanned.load()), "ScanTCPNA"));
}

intptr_t ModbusDriver::ScanSerialNA(int commType, int /*timeValue*/, int moduleScan, const std::string& param) {
  const char* function = "ScanSerialNA";
  std::unique_ptr<ModbusSerial> channel(new (std::nothrow) ModbusSerial());
  if (!channel) {
    owner_.Log(DRV_LOG_ERROR,
               StrFormat("Out of Memory! Cannot open channel. Please, check PC resource. Func: %s", function));
    return 0;
  }
  channel->SetOwner(this);
  const std::string ports = GetToken(param, 1, ':', 1);
  const std::string nodes = GetToken(param, 2, ':', 1);
  const std::string line = GetToken(param, 3, ':', 1);
  if (std::count(param.begin(), param.end(), ':') < 2) {
    owner_.Log(DRV_LOG_ERROR,
               StrFormat("[Bug] Parameter count of communication does not 3. Contact the dealer. CommPara: %s.",
                         param.c_str()));
    return 0;
  }
  SerialCommSetting probe;
  probe.slaveAddress = 1;
  probe.baudRate = line.empty() ? 9600 : Field(line, 1);
  probe.dataBits = GetToken(line, 2, ',', 1).empty() ? 8 : Field(line, 2);
  probe.parityCode = ParityCodeFromName(TrimStr(GetToken(line, 3, ',', 1)));
  probe.stopBitsCode = Field(line, 4);
  probe.timeoutMs = 200;
  probe.secondTimeoutMs = 200;
  const int firstPort = Field(ports, 1);
  const int lastPort = Field(ports, 2);
  const int firstNode = Field(nodes, 1);
  const int lastNode = Field(nodes, 2);

  ScanHits hits;
  int counter = 0;
  for (int port = firstPort; port <= lastPort; ++port) {
    probe.comPort = port;
    if (channel->OpenConnection(probe, 0, 0) != 1) {
      owner_.Log(DRV_LOG_ERROR, StrFormat("[Scan] Open connection is failed. Port: %d. Func: %s", port, function));
      continue;
    }
    for (int node = firstNode; node <= lastNode; ++node) {
      const int r = channel->ScanDevice(node, hits, counter, 0);
      Pause(50);
      // A point-to-point line has one device: the first answer ends it.
      if (r == 1 && commType == kCommRs232c) break;
    }
    channel->CloseConnection();
  }
  channel->DeleteConnection();
  channel.reset();
  if (hits.serial.empty()) owner_.Log(DRV_LOG_GENERAL, StrFormat("[Warning] Scan result is none. Func: %s", function));

  std::vector<Found> found;
  for (const SerialScanHit& hit : hits.serial) {
    Found f;
    f.productCode = static_cast<uint16_t>(hit.value[0] << 8 | hit.value[1]);
    f.texts[1] = hit.portText;
    f.texts[2] = hit.settingsText;
    f.texts[3] = hit.unitText;
    found.push_back(std::move(f));
  }
  if (moduleScan) {
    for (Found& f : found) {
      ScannedAdapter probeRecord{};
      probeRecord.text1 = "";
      probeRecord.text2 = f.texts[1].c_str();
      probeRecord.text3 = f.texts[2].c_str();
      probeRecord.text4 = f.texts[3].c_str();
      ScanIOs(commType, probeRecord, f.modules, Clock::time_point::max());
    }
  }
  return ListOf(found);
}

int ModbusDriver::ScanIOs(int commType, ScannedAdapter& record, std::vector<uint16_t>& modules,
                          Clock::time_point deadline) {
  std::unique_ptr<Modbus> channel;
  int opened = 0;
  uint8_t unit = 1;
  if (IsTcpCommType(commType)) {
    auto* tcp = new (std::nothrow) CModbusTCP();
    if (!tcp) return 0;
    channel.reset(tcp);
    channel->SetOwner(this);
    TcpCommSetting s;
    s.ipAddress = record.text2 ? record.text2 : "";
    s.port = 502;
    s.socketType = 1;  // a stream connection
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    s.timeoutMs = static_cast<int>(std::clamp<long long>(left, 0, kModuleScanTimeoutMs));
    s.unitId = 1;
    if (deadline != Clock::time_point::max()) tcp->SetAbort([deadline] { return Clock::now() >= deadline; });
    opened = tcp->OpenConnection(s, 0, 0);
  } else {
    auto* serial = new (std::nothrow) ModbusSerial();
    if (!serial) return 0;
    channel.reset(serial);
    channel->SetOwner(this);
    const std::string settings = record.text3 ? record.text3 : "";
    SerialCommSetting s;
    s.comPort = std::atoi(record.text2 ? record.text2 : "0");
    s.slaveAddress = std::atoi(record.text4 ? record.text4 : "1");
    s.baudRate = Field(settings, 1);
    s.dataBits = Field(settings, 2);
    s.parityCode = ParityCodeFromName(TrimStr(GetToken(settings, 3, ',', 1)));
    s.stopBitsCode = Field(settings, 4);
    s.timeoutMs = 1000;
    s.secondTimeoutMs = 1000;
    unit = static_cast<uint8_t>(s.slaveAddress);
    opened = serial->OpenConnection(s, 0, 0);
  }
  const std::string na = record.text1 ? record.text1 : "";
  auto done = [&](int result) {
    channel->CloseConnection();
    channel->DeleteConnection();
    return result;
  };
  if (opened != 1) {
    owner_.Log(DRV_LOG_ERROR, StrFormat(" Cannot open connection. NA: %s. ErrCode: %d. Desc: %s", na.c_str(), opened,
                                        channel->ErrorText(opened).c_str()));
    return done(0);
  }
  uint8_t wire[2 * (kMaxSlots + 1)] = {};
  int r = channel->ReadRegisters(unit, kFcReadInputRegisters, kRegExpansionSlotNo, 1, wire, 2);
  if (r != 1) {
    owner_.Log(DRV_LOG_ERROR, StrFormat(" Cannot read. Slot total number. NA: %s. ErrCode: %d. Desc: %s", na.c_str(), r,
                                        channel->ErrorText(r).c_str()));
    return done(0);
  }
  const int n = Word(wire, 0);
  if (n > kMaxSlots) {
    owner_.Log(DRV_LOG_ERROR,
               StrFormat(" Cannot read. Slot Information. Slot No: %d. The device reports more slots than one "
                         "read can carry (%d).",
                         n, kMaxSlots));
    return done(0);
  }
  Pause(100);
  r = channel->ReadRegisters(unit, kFcReadInputRegisters, kRegSlotList, static_cast<uint16_t>(n + 1), wire,
                             2 * (n + 1));
  if (r != 1) {
    owner_.Log(DRV_LOG_ERROR, StrFormat(" Cannot read. Slot Information. Slot No: %d. ErrCode: %d. Desc: %s", n, r,
                                        channel->ErrorText(r).c_str()));
    return done(0);
  }
  for (int k = 1; k <= n; ++k) modules.push_back(Word(wire, k));
  return done(1);
}

}  // namespace tessivar
