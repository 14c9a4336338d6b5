// ModbusDriver: the instance's driver object (channel settings, devices,
// online exchanges, monitoring cycle, address map).
//
// The object owns at most one channel object, the Modbus master of its comm
// type (CModbusTCP for "TCP" and "UDP", ModbusSerial otherwise), with the two
// settings blocks it connects with, and receives the master's log lines.
//
// While the instance is stopped every read, write and diagnostic command
// opens a channel of its own on the caller's thread, exchanges its frames
// and closes it (OnlineIo does the register work). While it runs, reads are
// answered from the process images and writes are queued for the monitoring
// cycle (monitoring.cpp), which owns the channel object for the whole run.
// drvGetIOConfig and the automatic scan (online_scan.cpp) run on the
// caller's thread while the instance is stopped.
#pragma once

#include <array>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "driver/channel_settings.h"
#include "driver/device_record.h"
#include "driver/driver_object.h"
#include "driver/modbus/modbus_serial.h"
#include "driver/modbus/modbus_settings.h"
#include "driver/modbus/modbus_tcp.h"

namespace tessivar {

class DriverInstance;
class OnlineIo;

// A write queued while the instance runs; the monitoring cycle carries it
// out and drops it.
struct WriteRequest {
  std::string key;
  int module = 0;
  int kind = 0;
  std::vector<uint8_t> data;
};

class ModbusDriver : public DriverObject, public ModbusOwner {
public:
  explicit ModbusDriver(DriverInstance& owner);
  ~ModbusDriver() override;

  // An adapter a scan found and its module product codes.
  struct Found {
    uint16_t productCode = 0;
    std::array<std::string, 5> texts;
    std::vector<uint16_t> modules;
  };

  int SetChannelProperty(const std::string& text) override;
  int SetDeviceProperty(const std::string& key, const std::string& deviceName, const std::string& text,
                        bool isNew) override;
  void RemoveDevice(const std::string& key, const std::string& deviceName) override;
  int SetModuleList(const std::string& key, const ModuleListEntry* entries, int count) override;
  int SetProcessImgMode(const std::string& key, int inputMode, int outputMode) override;
  int Read(const std::string& key, int module, int kind, void* destination) override;
  int WriteByte(const std::string& key, int module, int kind, const void* source, int flag, int length) override;
  int SendSpecialCmd(const std::string& key, int command) override;
  intptr_t GetIOConfig(const std::string& key) override;
  intptr_t StartAutoScan(const std::string& name, int commKind, int timeValue, int moduleScan,
                         const std::string& param) override;
  AddressMapInfo* GetAddresMap(const std::string& key, int slot) override;
  int ShowAddresMap(const std::string& key, int slot, int16_t* inputMode, int16_t* outputMode) override;
  int ShowProtocolComm() override;
  int Open() override;
  int Close() override;
  int MonitoringDevice(const std::string& key) override;
  void CloseChByCallThread() override;
  void SetDeviceState(const std::string& key, int state) override;
  std::string DeviceLogPrefix(const std::string& key) override;
  bool RunsOnFiber() const override { return IsTcp(); }
  std::string ErrorText(int code) override;

  // ---- the channel ----
  int CommType() const { return commType_; }
  TcpCommSetting& TcpSetting() { return tcpSetting_; }
  SerialCommSetting& SerialSetting() { return serialSetting_; }
  // The channel object of the current comm type (none if not created); with
  // close = 1 it is closed and deleted first, so the result is none.
  Modbus* GetChannel(int close);
  // A new channel object for the current comm type, replacing the one of its
  // kind; none (logged) when it cannot be allocated.
  Modbus* CreateChannel(const char* function);
  // Opens `channel` with the settings block of the current comm type.
  int OpenChannelObject(Modbus& channel, int a, int b);
  // deleteFlag = 1 closes the connection first; the object goes in any case.
  void CloseChannel(int deleteFlag);

  // ModbusOwner: the master's lines go to the instance's log; ping results
  // are logged as the channel lines of the monitoring cycle.
  void MasterLog(int level, const std::string& text) override;
  void PingReport(const std::string& host, int result) override;

  // ---- devices (tests and the monitoring cycle) ----
  // A copy of a device record, taken under the image lock; false when the
  // key is unknown.
  bool Device(const std::string& key, DeviceRecord* out);
  // A bound on the queue: a write beyond it is refused, not queued.
  static constexpr size_t kMaxQueuedWrites = 256;

  // Device data into the process images, as the monitoring cycle stores
  // what it read (public for the fuzz target): under the image lock, kind 0
  // at `offset`, 1 whole, 3 and 4 from the registers as read in the current
  // mode; marks the kind valid.
  void StoreImage(DeviceRecord& device, int kind, const uint8_t* data, size_t length, size_t offset);

private:
  bool IsTcp() const { return IsTcpCommType(commType_); }
  DeviceRecord* FindDevice(const std::string& key);
  std::string PrefixOf(const DeviceRecord& device) const;
  // A channel object of its own for `operation`, opened; none when no object
  // can be made (*failure = -7102) or it does not open (logged and closed;
  // *failure = 0).
  Modbus* OpenPrivateChannel(const DeviceRecord& device, const char* operation, int* failure);
  // The line of an operation that got no channel object.
  void LogNoChannel(const DeviceRecord& device, const char* operation);
  // Opens a channel of its own for `operation`, runs fn on it and closes it:
  // fn's result, 0 when the channel cannot be opened, -7102 when no channel
  // object can be made.
  int WithPrivateChannel(DeviceRecord& device, const char* operation, const std::function<int(OnlineIo&)>& fn);
  int ReadRunning(DeviceRecord& device, int module, int kind, uint8_t* dst);
  void LogUnknownDevice(const char* function);
  // cycle: the monitoring cycle's (failure memory of the device, failures a
  // stop causes not logged).
  OnlineIo MakeIo(DeviceRecord& device, Modbus* channel, bool cycle = false);
  // Refuses an online operation on an "Offline" channel: true (logged) when
  // the comm type is Offline.
  bool RefusedOffline();

  // ---- monitoring cycle (monitoring.cpp) ----
  int OpenChannel();
  void InitialRead(DeviceRecord& device, OnlineIo& io);
  void RunQueuedWrites(const std::string& key, DeviceRecord& device, OnlineIo& io);
  // The input and output images: 1, kCycleSkipped when the run stopped,
  // else the error of the read that failed.
  int ReadImages(DeviceRecord& device, OnlineIo& io);
  // What a monitoring read of image `kind` gave: stored and marked read
  // (1), or failed (logged once while the same failure lasts; its code, or
  // kCycleSkipped when a stop caused it).
  int TakeImageRead(DeviceRecord& device, int kind, int result, const uint8_t* data, size_t length);
  // Image `kind` counts as read in this run (under the image lock).
  void MarkImageRead(DeviceRecord& device, int kind);
  // The CommInit image from a buffer of the image's layout; complete marks
  // it valid, otherwise its validity stays as it was.
  void StoreCommInit(DeviceRecord& device, const std::vector<uint8_t>& buffer, bool complete);
  // A monitoring read of image `kind` failed (the image stops counting as
  // read, the status shows the failure) or succeeded.
  void ReadFailed(DeviceRecord& device, int kind);
  void ReadSucceeded(DeviceRecord& device, int kind);
  // Takes the device's queued writes out of the queue, oldest first.
  std::vector<WriteRequest> TakeQueuedWritesOf(const std::string& key);
  // A write for the device waits in the queue (any thread).
  bool HasQueuedWrites(const std::string& key);
  // Drops the device's queued writes and counts them; the next status read
  // shows the loss.
  void PurgeWrites(const std::string& key, DeviceRecord& device);
  // The one line of the `dropped` writes since the device last ran, if any.
  void LogDroppedWrites(const DeviceRecord& device, size_t dropped);

  // ---- online configuration and scans (online_scan.cpp) ----
  intptr_t ScanTCPNA(int moduleScan, int timeValue);
  intptr_t ScanSerialNA(int commType, int timeValue, int moduleScan, const std::string& param);
  // The module scans of the adapters an Ethernet scan found, side by side,
  // all ended by one deadline; one line counts the adapters left out.
  void ScanModulesOfAll(std::vector<Found>& found);
  // The modules of one found adapter; every wait ends by `deadline`.
  int ScanIOs(int commType, ScannedAdapter& record, std::vector<uint16_t>& modules,
              std::chrono::steady_clock::time_point deadline);

  DriverInstance& owner_;
  int commType_ = kCommOffline;
  TcpCommSetting tcpSetting_;
  SerialCommSetting serialSetting_;
  std::unique_ptr<CModbusTCP> tcpChannel_;
  std::unique_ptr<ModbusSerial> serialChannel_;
  // Outlives the serial channel objects of the stopped road.
  ModbusSerial::LateReply lateReply_;
  // Device configuration changes only while the instance is stopped
  // (DriverInstance's locking rule); the images, device states, lost flags
  // and image modes inside the records are guarded by imageLock_.
  std::map<std::string, DeviceRecord> devices_;
  std::mutex imageLock_;
  std::mutex queueLock_;
  std::deque<WriteRequest> queue_;
  // Set by the first cycle of a run; the channel is opened once per run.
  int channelOpened_ = 0;
  // Queued writes a stop left undone in the last pass (communication
  // thread; read by Close once the thread has ended).
  size_t droppedAtStop_ = 0;
  // The cycle's buffers, kept from cycle to cycle so that a cycle allocates
  // nothing (communication thread only).
  std::vector<uint8_t> cycleCommInit_;
  std::vector<uint8_t> cycleBlock_;
};

}  // namespace tessivar
