#include "driver/channel_settings.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "common/Utility.h"
#include "driver/driver_utils.h"

namespace tessivar {
namespace {

// Comma fields of the settings, each trimmed. (No comma can be left inside
// a field after splitting at every comma.)
std::vector<std::string> CommaFields(const std::string& settings) {
  std::vector<std::string> fields;
  std::string field;
  for (char c : settings) {
    if (c == ',') {
      fields.push_back(TrimStr(field));
      field.clear();
    } else {
      field += c;
    }
  }
  fields.push_back(TrimStr(field));
  return fields;
}

// A decimal field: empty keeps `fallback`; text that is not a whole number
// is refused.
bool NumberField(const std::string& field, int fallback, int* out) {
  if (field.empty()) {
    *out = fallback;
    return true;
  }
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(field.c_str(), &end, 10);
  if (errno != 0 || end == field.c_str() || *end != '\0' || value < INT_MIN || value > INT_MAX) return false;
  *out = static_cast<int>(value);
  return true;
}

std::string BadField(const char* block, int index, const std::string& settings) {
  return StrFormat("Field %d of %s is not a number. Contact the dealer. CommPara: %s.", index, block,
                   settings.c_str());
}

}  // namespace

ChannelPropertyResult ParseChannelProperty(const std::string& text, int* commType, TcpCommSetting* tcp,
                                           SerialCommSetting* serial) {
  ChannelPropertyResult result;
  const std::string busType = GetToken(text, 1, '\t', 1);
  const std::string settings = GetToken(text, 2, '\t', 1);

  static const struct {
    const char* name;
    int type;
  } kBusTypes[] = {{"TCP", kCommTcp},       {"UDP", kCommUdp},     {"RS232C", kCommRs232c},
                   {"RS422", kCommRs422},   {"RS485", kCommRs485}, {"Offline", kCommOffline}};
  int type = -1;
  for (const auto& bus : kBusTypes) {
    if (EqualsNoCase(busType, bus.name)) {
      type = bus.type;
      break;
    }
  }
  if (type < 0) {
    result.refusal = StrFormat("Invalid BusType. Contact the dealer. BusType: %s.", busType.c_str());
    return result;
  }
  if (type == kCommOffline) {
    *commType = type;
    result.accepted = true;
    return result;
  }

  const std::vector<std::string> f = CommaFields(settings);
  if (IsTcpCommType(type)) {
    if (f.size() < 7) {
      result.refusal = StrFormat("Parameter count of TcpCommSetting does not 7. Contact the dealer. CommPara: %s.",
                                 settings.c_str());
      return result;
    }
    // A fresh driver object's values stand for empty fields.
    const TcpCommSetting defaults;
    TcpCommSetting next = *tcp;
    next.ipAddress = f[0].empty() ? "127.0.0.1" : f[0];
    const struct {
      int* target;
      int fallback;
    } numbers[] = {{&next.port, defaults.port},
                   {&next.timeoutMs, defaults.timeoutMs},
                   {&next.localPort, defaults.localPort},
                   {&next.field5Value, defaults.field5Value},
                   {&next.reconnectPeriodS, defaults.reconnectPeriodS},
                   {&next.field7Value, defaults.field7Value}};
    for (size_t i = 0; i < 6; ++i) {
      if (!NumberField(f[i + 1], numbers[i].fallback, numbers[i].target)) {
        result.refusal = BadField("TcpCommSetting", static_cast<int>(i + 2), settings);
        return result;
      }
    }
    // "UDP" is a stream connection like "TCP"; only the code differs.
    next.socketType = type == kCommUdp ? 1 : 0;
    *tcp = next;
  } else {
    if (f.size() < 6) {
      result.refusal = StrFormat(
          "Parameter count of SerialCommSetting does not 6. Contact the dealer. CommPara: %s.", settings.c_str());
      return result;
    }
    const SerialCommSetting defaults;
    SerialCommSetting next = *serial;
    const struct {
      size_t field;
      int* target;
      int fallback;
    } numbers[] = {{0, &next.comPort, defaults.comPort},
                   {1, &next.baudRate, defaults.baudRate},
                   {2, &next.dataBits, defaults.dataBits},
                   {4, &next.stopBitsCode, defaults.stopBitsCode},
                   {5, &next.timeoutMs, defaults.timeoutMs}};
    for (const auto& n : numbers) {
      if (!NumberField(f[n.field], n.fallback, n.target)) {
        result.refusal = BadField("SerialCommSetting", static_cast<int>(n.field + 1), settings);
        return result;
      }
    }
    next.parityCode = f[3].empty() ? defaults.parityCode : ParityCodeFromName(f[3]);
    *serial = next;
  }
  *commType = type;
  result.accepted = true;
  return result;
}

}  // namespace tessivar
