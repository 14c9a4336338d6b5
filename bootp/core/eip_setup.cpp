#include "bootp/core/eip_setup.h"

#include <arpa/inet.h>

#include "common/Utility.h"
#include "platform/os/os.h"
#include "platform/text/charset.h"

namespace qmx::plenvar {
namespace {

// Scoped OpenBatch / CloseBatch: the batch closes also when a request fails.
class Batch {
public:
  explicit Batch(qmx::cip::Client& client) : client_(client) { client_.OpenBatch(); }
  ~Batch() { client_.CloseBatch(); }
  Batch(const Batch&) = delete;
  Batch& operator=(const Batch&) = delete;

private:
  qmx::cip::Client& client_;
};

}  // namespace

EipRequester::EipRequester(qmx::cip::Client& client, std::string interfaceAddress, int pauseMs)
    : client_(client), interfaceAddress_(std::move(interfaceAddress)), pauseMs_(pauseMs) {}

int EipRequester::Transact(const std::string& target, const qmx::cip::Request& request,
                           qmx::cip::Response* response) {
  int result = 0;
  tries_ = 0;
  for (int i = 0; i < kEipTries; ++i) {
    ++tries_;
    const uint32_t handle = client_.Submit(target, request);
    if (pauseMs_ > 0) qmx::os::SleepMs(static_cast<unsigned>(pauseMs_));
    result = client_.Collect(handle, response);
    if (result != 0) {
      response->status = 1;
      response->text = kEipNotResponding;
    }
    if (response->status != kEipStatusBusy) break;
  }
  return result;
}

bool EipRequester::Request(const std::string& target, const EipRequestSpec& spec,
                           const std::vector<uint8_t>& payload, std::vector<uint8_t>* data) {
  qmx::cip::Request request;
  request.service = spec.service;
  request.classId = spec.classId;
  request.instance = spec.instance;
  request.attribute = spec.attribute;
  request.data = payload;
  request.interfaceAddress = ::inet_addr(interfaceAddress_.c_str());
  qmx::cip::Response response;
  if (Transact(target, request, &response) != 0) return false;
  if (response.status != 0 || response.data.size() > kEipAreaSize) return false;
  if (data) *data = std::move(response.data);
  return true;
}

bool EipRequester::ReadShortString(const std::string& target, const EipRequestSpec& spec, std::string* text) {
  std::vector<uint8_t> data;
  if (!Request(target, spec, {}, &data) || data.size() < 2) return false;
  const size_t length = data[0];
  if (length == 0 || length > 32 || data.size() < 1 + length) return false;
  *text = qmx::text::EucKrToUtf8(std::string(data.begin() + 1, data.begin() + 1 + static_cast<long>(length)));
  return true;
}

std::string FormatEipRevision(const std::vector<uint8_t>& data) {
  return StrFormat("%d.%03d", data.size() > 0 ? data[0] : 0, data.size() > 1 ? data[1] : 0);
}

std::string FormatEipReleaseDate(const std::vector<uint8_t>& data) {
  auto b = [&](size_t i) { return i < data.size() ? data[i] : 0; };
  return StrFormat(" (%02X/%02X/%02X%02X)", b(1), b(0), b(3), b(2));
}

namespace {

bool DeviceCheck(EipRequester& eip, const std::string& target) {
  std::vector<uint8_t> d;
  return eip.Request(target, eipreq::kDeviceCheck, {}, &d) && d.size() >= 2 &&
         (d[0] | d[1] << 8) == kEipDeviceCheckValue;
}

bool ReadFlag(EipRequester& eip, const std::string& target, const EipRequestSpec& spec, bool bootp, bool* flag) {
  std::vector<uint8_t> d;
  if (!eip.Request(target, spec, {}, &d) || d.empty()) return false;
  *flag = bootp ? d[0] == 0x11 : d[0] != 0;
  return true;
}

}  // namespace

bool ReadEipDeviceInfo(EipRequester& eip, const std::string& target, EipDeviceInfo* info) {
  Batch batch(eip.client());
  std::vector<uint8_t> d;
  if (!DeviceCheck(eip, target)) return false;
  if (!eip.Request(target, eipreq::kRevision, {}, &d) || d.size() < 2) return false;
  info->revision = FormatEipRevision(d);
  if (!eip.Request(target, eipreq::kReleaseDate, {}, &d) || d.size() < 4) return false;
  info->releaseDate = FormatEipReleaseDate(d);
  if (!eip.ReadShortString(target, eipreq::kProductName, &info->productName)) return false;
  return ReadFlag(eip, target, eipreq::kBootpGet, true, &info->bootp) &&
         ReadFlag(eip, target, eipreq::kRunIdleInputGet, false, &info->runIdleInput) &&
         ReadFlag(eip, target, eipreq::kRunIdleOutputGet, false, &info->runIdleOutput);
}

bool ProbeEip(EipRequester& eip, const std::string& target) {
  Batch batch(eip.client());
  return DeviceCheck(eip, target);
}

bool WriteEipSetting(EipRequester& eip, const std::string& target, EipSetting setting, bool on) {
  Batch batch(eip.client());
  switch (setting) {
    case EipSetting::Bootp:
      return eip.Request(target, eipreq::kBootpSet, {static_cast<uint8_t>(on ? 0x11 : 0x10), 0, 0, 0}, nullptr);
    case EipSetting::RunIdleInput:
      return eip.Request(target, eipreq::kRunIdleInputSet, {static_cast<uint8_t>(on ? 1 : 0)}, nullptr);
    case EipSetting::RunIdleOutput:
      return eip.Request(target, eipreq::kRunIdleOutputSet, {static_cast<uint8_t>(on ? 1 : 0)}, nullptr);
  }
  return false;
}

bool RebootEipDevice(EipRequester& eip, const std::string& target) {
  Batch batch(eip.client());
  return eip.Request(target, eipreq::kReboot, {0x00}, nullptr);
}

}  // namespace qmx::plenvar
