// The register-level reads and writes of one device over a connected
// channel: CommInit, parameters, inputs and outputs, the process-image mode
// registers. The stopped road opens a channel for each call and runs one of
// these on it; the monitoring cycle will run them on its own channel.
//
// Blocks travel high byte first on the wire and are kept word-swapped
// (little-endian) in the images; odd byte counts are rounded up to whole
// registers on the wire and only the bytes asked for are copied back. Reads
// of more than 125 registers and writes of more than 120 bytes are split
// into several requests.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "driver/device_record.h"
#include "driver/modbus/modbus_master.h"

namespace tessivar {

// What a failed exchange was, for the failure memory of the monitoring
// cycle: an area and a register, module or image kind.
enum class FailureArea : uint32_t { kCommInit = 1, kPara = 2, kInput = 3, kOutput = 4, kImage = 5 };
constexpr uint32_t FailureKey(FailureArea area, uint32_t index) {
  return static_cast<uint32_t>(area) << 16 | (index & 0xFFFF);
}

// A code that is the device's answer (an exception, another unit or
// function, a reply too short), not a failure of the link.
bool IsDeviceAnswer(int code);

class OnlineIo {
public:
  struct Context {
    Modbus* channel = nullptr;
    DeviceRecord* device = nullptr;
    int commType = 0;
    std::string prefix;  // the device's log prefix
    // Level and text of a line for the instance's log.
    std::function<void(int, const std::string&)> log;
    // The text of any result code (the instance's chain).
    std::function<std::string(int)> errorText;
    // Guards the device's process-image modes (the image lock).
    std::mutex* imageLock = nullptr;
    // Opens the channel again after the master closed it (a TCP master
    // closes its connection when the stream is out of step): 1 or a code.
    std::function<int()> reopen;
    // The monitoring cycle's: what it has logged of its repeated reads'
    // failures (FailureKey -> code). With it, each such failure is logged
    // once until that read succeeds again, and a CommInit walk goes on past
    // registers the device refuses.
    std::map<uint32_t, int>* failures = nullptr;
    // True once a stop is under way: failures it causes are not logged.
    std::function<bool()> stopping;
  };

  explicit OnlineIo(Context context)
      : c_(std::move(context)), localAnswers_(c_.device && HasLocalAnswers(c_.device->model)) {}
  void SetReopen(std::function<int()> reopen) { c_.reopen = std::move(reopen); }

  // module: 0 the adapter, -1 the adapter and every module, n the module
  // with communication number n. Results: 1, 0 or a code; a walk over
  // several modules goes on after a failure, keeps what it read and ends
  // with 0, each failure logged.
  int ReadCommInit(int module, uint8_t* dst, bool monitoring);
  int ReadParas(int module, uint8_t* dst);
  int ReadInput(int module, uint8_t* dst);
  int ReadOutput(int module, uint8_t* dst);
  int WriteParas(int module, const uint8_t* src);
  int WriteOutput(int module, const uint8_t* src, int length);
  int WriteCommInit(const uint8_t* src);
  // Reads the mode registers the device has and takes valid new values.
  int GetAssignProcessImgMode(bool input, bool output);
  // A block of the process images: `bytes` read with `function` from
  // `address` (never answered locally), word-swapped into dst.
  int ReadImage(uint8_t function, uint16_t address, int bytes, uint8_t* dst) {
    return ReadBlock(function, address, bytes, dst, false);
  }

private:
  // A block of `bytes` read with `function` from `address`, word-swapped
  // into dst.
  int ReadBlock(uint8_t function, uint16_t address, int bytes, uint8_t* dst, bool localAnswers);
  // `bits` bits from bit `firstBit` of the block at `address`, into dst
  // from its bit 0 (dst cleared for `dstBytes` first).
  int ReadBits(uint8_t function, uint16_t address, unsigned firstBit, unsigned bits, int dstBytes, uint8_t* dst);
  // A block of `bytes` word-swapped and written with function 16.
  int WriteBlock(uint16_t address, const uint8_t* src, int bytes, bool localAnswers);
  int WriteCoils(uint16_t address, const uint8_t* src, unsigned bits);
  // The channel is open, or is opened again; 1 or the open's code.
  int Connected();
  // True (and *value set) when the device answers `address` itself.
  bool LocalAnswer(uint16_t address, uint8_t* value) const;
  int ReadSide(bool output, int module, uint8_t* dst);

  void Error(const std::string& text) const { c_.log(DRV_LOG_ERROR, text); }
  // A failed exchange: logged unless a stop caused it; with the cycle's
  // failure memory and what != 0, only when it differs from what was logged
  // last for `what`.
  void Failed(uint32_t what, int code, const std::string& text) const;
  // The exchange `what` succeeded: its next failure is logged again.
  void Succeeded(uint32_t what) const;
  std::string Desc(int code) const { return c_.errorText(code); }
  const char* P() const { return c_.prefix.c_str(); }
  uint8_t Node() const { return static_cast<uint8_t>(c_.device->node); }

  Context c_;
  // The model answers some registers itself (its configuration is constant
  // while an OnlineIo lives).
  bool localAnswers_ = false;
};

}  // namespace tessivar
