// The server's two lists and what a request does to them: the setup list
// (MAC-to-IP rows typed by the user, the only table replies are made from)
// and the request list (every request seen). Rows are compared as text, as
// they are shown.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "bootp/core/bootp_packet.h"

namespace qmx::plenvar {

struct SetupRow {
  std::string mac;
  std::string ip;
  std::string subnetMask;
  std::string gateway;
  std::string transactionId;
};

// One row per MAC: a device must never get two conflicting replies to one
// request. The row number shown is the index + 1, so it stays 1..n.
class SetupList {
public:
  const std::vector<SetupRow>& rows() const { return rows_; }
  size_t size() const { return rows_.size(); }
  const SetupRow& at(size_t index) const { return rows_.at(index); }

  std::optional<size_t> FindMac(const std::string& mac) const;
  std::optional<size_t> FindIp(const std::string& ip) const;

  // Appends the row, or replaces the row of the same MAC in place; the
  // replaced row is returned so the caller can tell the user.
  std::optional<SetupRow> Put(const SetupRow& row);
  void Remove(size_t index);
  // Removes every row whose MAC gives the six bytes of `mac12` (twelve
  // digits), however it was typed ("A-1B-..." and "0A-1B-..." alike); the count.
  size_t RemoveMac12(const std::string& mac12);
  void Clear() { rows_.clear(); }

private:
  std::vector<SetupRow> rows_;
};

struct RequestRow {
  bool makerDevice = false;  // image 1
  std::string time;          // "%02d:%02d:%02d"
  std::string mac;
  std::string ip;
  std::string transactionId;
  unsigned interfaceIndex = 0;  // the interface the request came in by; 0 when not known
};

// Bounded: past 65535 rows the list starts over.
class RequestList {
public:
  static constexpr size_t kMaxRows = 65535;
  const std::vector<RequestRow>& rows() const { return rows_; }
  size_t size() const { return rows_.size(); }
  // How many rows can be added before an Add empties the list.
  size_t RoomBeforeRestart() const { return rows_.size() > kMaxRows ? 0 : kMaxRows + 1 - rows_.size(); }
  // True when the list was emptied to make room.
  bool Add(RequestRow row);
  void Clear() { rows_.clear(); }

private:
  std::vector<RequestRow> rows_;
};

struct RequestSwitches {
  bool started = false;
  bool makerDevicesOnly = false;
};

// What one received datagram leads to.
struct RequestOutcome {
  bool listed = false;  // false: dropped without trace
  RequestRow row;
  std::vector<BootpPacket> replies;
};

RequestOutcome HandleBootpDatagram(const uint8_t* data, size_t size, const RequestSwitches& switches,
                                   const SetupList& setup, const InterfaceParams& iface,
                                   const std::string& timeText);

// Outcome of answering a listed request by hand (double click) with an
// address the user chose.
enum class ManualAnswer {
  AddRow,       // address free: reply, then the row is added (or replaces the MAC's row)
  ReplyAgain,   // the same device already has this address: reply, no row
  AddressTaken, // another device has the address: nothing sent
};
ManualAnswer ClassifyManualAnswer(const SetupList& setup, const std::string& mac, const std::string& ip);

// Outcome of "Add New Device".
enum class NewDeviceCheck { Add, IpListed, MacListed, BothListed };
NewDeviceCheck ClassifyNewDevice(const SetupList& setup, const std::string& mac, const std::string& ip);

}  // namespace qmx::plenvar
