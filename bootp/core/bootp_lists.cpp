#include "bootp/core/bootp_lists.h"

namespace qmx::plenvar {

std::optional<size_t> SetupList::FindMac(const std::string& mac) const {
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].mac == mac) return i;
  }
  return std::nullopt;
}

std::optional<size_t> SetupList::FindIp(const std::string& ip) const {
  for (size_t i = 0; i < rows_.size(); ++i) {
    if (rows_[i].ip == ip) return i;
  }
  return std::nullopt;
}

std::optional<SetupRow> SetupList::Put(const SetupRow& row) {
  if (auto at = FindMac(row.mac)) {
    SetupRow old = rows_[*at];
    rows_[*at] = row;
    return old;
  }
  rows_.push_back(row);
  return std::nullopt;
}

void SetupList::Remove(size_t index) {
  if (index < rows_.size()) rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
}

size_t SetupList::RemoveMac12(const std::string& mac12) {
  const size_t before = rows_.size();
  std::erase_if(rows_, [&](const SetupRow& r) { return Mac12(r.mac) == mac12; });
  return before - rows_.size();
}

bool RequestList::Add(RequestRow row) {
  const bool cleared = rows_.size() > kMaxRows;
  if (cleared) rows_.clear();
  rows_.push_back(std::move(row));
  return cleared;
}

RequestOutcome HandleBootpDatagram(const uint8_t* data, size_t size, const RequestSwitches& switches,
                                   const SetupList& setup, const InterfaceParams& iface,
                                   const std::string& timeText) {
  RequestOutcome out;
  const auto request = ParseBootpRequest(data, size);
  if (!request || !request->IsEthernetRequest() || !switches.started) return out;
  const std::string mac = request->MacText();
  if (switches.makerDevicesOnly && !HasMakerPrefix(mac)) return out;

  out.listed = true;
  out.row.makerDevice = HasMakerPrefix(mac);
  out.row.time = timeText;
  out.row.mac = mac;
  out.row.transactionId = request->TransactionIdText();
  out.row.ip = request->ClientAddressText();
  for (const SetupRow& row : setup.rows()) {
    if (row.mac != mac) continue;
    out.replies.push_back(
        BuildBootpReply(ReplyFields{row.ip, mac, row.subnetMask, row.gateway, out.row.transactionId}, iface));
    out.row.ip = row.ip;
  }
  return out;
}

ManualAnswer ClassifyManualAnswer(const SetupList& setup, const std::string& mac, const std::string& ip) {
  bool taken = false;
  for (const SetupRow& row : setup.rows()) {
    if (row.ip != ip) continue;
    if (row.mac == mac) return ManualAnswer::ReplyAgain;
    taken = true;
  }
  return taken ? ManualAnswer::AddressTaken : ManualAnswer::AddRow;
}

NewDeviceCheck ClassifyNewDevice(const SetupList& setup, const std::string& mac, const std::string& ip) {
  const bool ipListed = setup.FindIp(ip).has_value();
  const bool macListed = setup.FindMac(mac).has_value();
  if (ipListed && macListed) return NewDeviceCheck::BothListed;
  if (ipListed) return NewDeviceCheck::IpListed;
  if (macListed) return NewDeviceCheck::MacListed;
  return NewDeviceCheck::Add;
}

}  // namespace qmx::plenvar
