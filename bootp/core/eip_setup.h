// The EtherNet/IP requests of the setup dialog and of the device probe: the
// request table, the repeat on status 0x6A, and the decoding of each answer.
// A request fails when the client fails, when the device answers with a
// non-zero general status, or when the answer does not fit the dialog's
// 500-byte area.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/cip/cip.h"

namespace qmx::plenvar {

constexpr size_t kEipAreaSize = 500;
constexpr uint8_t kEipStatusBusy = 0x6A;  // asked again, three requests in all
constexpr int kEipTries = 3;
constexpr uint16_t kEipDeviceCheckValue = 741;
constexpr const char* kEipNotResponding = "Request failed: Target is not responding";

struct EipRequestSpec {
  uint8_t service;
  uint16_t classId;
  uint16_t instance;
  uint16_t attribute;
};

namespace eipreq {
constexpr EipRequestSpec kDeviceCheck{0x0E, 0x70, 1, 0xA0};
constexpr EipRequestSpec kRevision{0x0E, 0x01, 1, 4};
constexpr EipRequestSpec kReleaseDate{0x0E, 0x01, 1, 0x68};
constexpr EipRequestSpec kProductName{0x0E, 0x01, 1, 7};
constexpr EipRequestSpec kBootpGet{0x0E, 0xF5, 1, 3};
constexpr EipRequestSpec kRunIdleInputGet{0x0E, 0x70, 1, 13};
constexpr EipRequestSpec kRunIdleOutputGet{0x0E, 0x70, 1, 14};
constexpr EipRequestSpec kBootpSet{0x10, 0xF5, 1, 3};
constexpr EipRequestSpec kRunIdleInputSet{0x10, 0x70, 1, 13};
constexpr EipRequestSpec kRunIdleOutputSet{0x10, 0x70, 1, 14};
constexpr EipRequestSpec kReboot{0x05, 0x01, 1, 0};
}  // namespace eipreq

class EipRequester {
public:
  // `pauseMs`: the wait between sending a request and collecting its reply.
  EipRequester(qmx::cip::Client& client, std::string interfaceAddress, int pauseMs = 300);

  // Sends until the status is not 0x6A, three times at most; the last
  // client result (0 success). A failed try leaves status 1 and the
  // not-responding text in *response.
  int Transact(const std::string& target, const qmx::cip::Request& request, qmx::cip::Response* response);
  // True with the answer's data in *data.
  bool Request(const std::string& target, const EipRequestSpec& spec, const std::vector<uint8_t>& payload,
               std::vector<uint8_t>* data);
  bool ReadShortString(const std::string& target, const EipRequestSpec& spec, std::string* text);

  qmx::cip::Client& client() { return client_; }
  int tries() const { return tries_; }  // of the last Transact

private:
  qmx::cip::Client& client_;
  std::string interfaceAddress_;
  int pauseMs_;
  int tries_ = 0;
};

struct EipDeviceInfo {
  std::string productName = "Network Adatper Name";
  std::string revision = "00.000";
  std::string releaseDate = "(00/00/0000)";
  bool bootp = false;
  bool runIdleInput = false;
  bool runIdleOutput = false;
};

// The seven reads in order; the first failure, or a device check other than
// 741, fails all. Runs inside one batch.
bool ReadEipDeviceInfo(EipRequester& eip, const std::string& target, EipDeviceInfo* info);
// One batch with the device check; true only for 741.
bool ProbeEip(EipRequester& eip, const std::string& target);

enum class EipSetting { Bootp, RunIdleInput, RunIdleOutput };
// One batch with the Set request; true on success.
bool WriteEipSetting(EipRequester& eip, const std::string& target, EipSetting setting, bool on);
bool RebootEipDevice(EipRequester& eip, const std::string& target);

// Decoding (pure).
std::string FormatEipRevision(const std::vector<uint8_t>& data);     // "%d.%03d"
std::string FormatEipReleaseDate(const std::vector<uint8_t>& data);  // " (%02X/%02X/%02X%02X)"

}  // namespace qmx::plenvar
