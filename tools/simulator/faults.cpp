#include "tools/simulator/faults.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "tools/simulator/frames.h"

namespace qmx::sim {
namespace {

struct KindName {
  FaultKind kind;
  const char* name;
};
constexpr KindName kKinds[] = {
    {FaultKind::Silence, "silence"},       {FaultKind::Delay, "delay"},
    {FaultKind::Drop, "drop"},             {FaultKind::Exception, "exception"},
    {FaultKind::WrongUnit, "wrong-unit"},  {FaultKind::WrongFunction, "wrong-function"},
    {FaultKind::Short, "short"},           {FaultKind::BadCrc, "bad-crc"},
    {FaultKind::WrongTid, "wrong-tid"},    {FaultKind::Segment, "segment"},
};

bool ToInt(const std::string& s, int lo, int hi, int* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  const long v = std::strtol(s.c_str(), &end, 0);
  if (*end != '\0' || v < lo || v > hi) return false;
  *out = static_cast<int>(v);
  return true;
}

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::string cur;
  std::istringstream in(s);
  while (std::getline(in, cur, sep)) out.push_back(cur);
  return out;
}

}  // namespace

bool ParseFault(const std::string& text, FaultRule* out, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  const std::vector<std::string> parts = Split(text, ',');
  if (parts.empty() || parts[0].empty()) return fail("empty fault");
  FaultRule r;
  const std::string head = parts[0];
  const size_t eq = head.find('=');
  const std::string name = head.substr(0, eq);
  const std::string value = eq == std::string::npos ? std::string() : head.substr(eq + 1);
  bool known = false;
  for (const KindName& k : kKinds)
    if (name == k.name) {
      r.kind = k.kind;
      known = true;
    }
  if (!known) return fail("unknown fault '" + name + "'");
  switch (r.kind) {
    case FaultKind::Delay:
      if (!ToInt(value, 0, 600000, &r.value)) return fail("delay needs =MS");
      break;
    case FaultKind::Exception:
      r.value = 4;
      if (!value.empty() && !ToInt(value, 1, 255, &r.value)) return fail("exception code must be 1 to 255");
      break;
    case FaultKind::Short:
      r.value = 1;
      if (!value.empty() && !ToInt(value, 1, 255, &r.value)) return fail("short needs =N bytes");
      break;
    case FaultKind::Segment: {
      r.value = 50;
      if (!value.empty()) {
        const size_t slash = value.find('/');
        if (!ToInt(value.substr(0, slash), 0, 60000, &r.value)) return fail("segment needs =MS[/SIZE]");
        if (slash != std::string::npos && !ToInt(value.substr(slash + 1), 1, 260, &r.size))
          return fail("segment size must be 1 to 260");
      }
      break;
    }
    default:
      if (!value.empty()) return fail("fault '" + name + "' takes no value");
  }
  for (size_t i = 1; i < parts.size(); ++i) {
    const std::string& o = parts[i];
    if (o == "once") {
      r.remaining = 1;
    } else if (o == "always") {
      r.remaining = -1;
    } else if (o.rfind("count=", 0) == 0) {
      if (!ToInt(o.substr(6), 1, 1000000, &r.remaining)) return fail("bad count");
    } else if (o.rfind("fc=", 0) == 0) {
      if (!ToInt(o.substr(3), 1, 127, &r.function)) return fail("bad fc");
    } else if (o.rfind("node=", 0) == 0) {
      if (!ToInt(o.substr(5), 0, 255, &r.node)) return fail("bad node");
    } else {
      return fail("unknown option '" + o + "'");
    }
  }
  *out = r;
  return true;
}

std::string FaultText(const FaultRule& r) {
  std::string s;
  for (const KindName& k : kKinds)
    if (k.kind == r.kind) s = k.name;
  switch (r.kind) {
    case FaultKind::Delay:
    case FaultKind::Exception:
    case FaultKind::Short:
      s.append("=").append(std::to_string(r.value));
      break;
    case FaultKind::Segment:
      s.append("=").append(std::to_string(r.value));
      if (r.size) s.append("/").append(std::to_string(r.size));
      break;
    default:
      break;
  }
  if (r.remaining >= 0) s += ",count=" + std::to_string(r.remaining);
  if (r.function >= 0) s += ",fc=" + std::to_string(r.function);
  if (r.node >= 0) s += ",node=" + std::to_string(r.node);
  return s;
}

std::optional<FaultRule> FaultPlan::Take(uint8_t unit, uint8_t function) {
  for (auto it = rules_.begin(); it != rules_.end(); ++it) {
    if (it->function >= 0 && it->function != (function & 0x7F)) continue;
    if (it->node >= 0 && it->node != unit) continue;
    FaultRule used = *it;
    if (it->remaining > 0 && --it->remaining == 0) rules_.erase(it);
    return used;
  }
  return std::nullopt;
}

bool FaultPreventsRequest(FaultKind kind) {
  return kind == FaultKind::Silence || kind == FaultKind::Drop || kind == FaultKind::Exception;
}

ReplyPlan PlanReply(Transport transport, const FaultRule* rule, uint16_t tid, uint8_t unit, Bytes pdu) {
  ReplyPlan plan;
  const bool tcp = transport == Transport::Tcp;
  if (rule) {
    switch (rule->kind) {
      case FaultKind::Silence:
        return plan;
      case FaultKind::Drop:
        plan.close = tcp;
        return plan;
      case FaultKind::Exception:
        pdu = {static_cast<uint8_t>((pdu.empty() ? 0 : pdu[0]) | 0x80), static_cast<uint8_t>(rule->value)};
        break;
      case FaultKind::WrongUnit:
        unit = unit >= 1 && unit < 247 ? static_cast<uint8_t>(unit + 1) : static_cast<uint8_t>(unit - 1);
        break;
      case FaultKind::WrongFunction:
        if (!pdu.empty()) {
          const uint8_t base = pdu[0] & 0x7F;
          pdu[0] = static_cast<uint8_t>((base == 0x7F ? 1 : base + 1) | (pdu[0] & 0x80));
        }
        break;
      case FaultKind::Short: {
        const size_t cut = static_cast<size_t>(rule->value);
        pdu.resize(pdu.size() > cut + 1 ? pdu.size() - cut : 1);
        break;
      }
      case FaultKind::WrongTid:
        if (tcp) tid = static_cast<uint16_t>(tid + 1);
        break;
      default:
        break;
    }
  }
  Bytes frame = tcp ? TcpFrame(tid, unit, pdu) : RtuFrame(unit, pdu);
  if (rule && rule->kind == FaultKind::BadCrc && !tcp) frame[frame.size() - 2] ^= 0x5A;
  const uint32_t delay = rule && rule->kind == FaultKind::Delay ? static_cast<uint32_t>(rule->value) : 0;
  if (rule && rule->kind == FaultKind::Segment) {
    const size_t head = tcp ? 7 : 3;
    size_t pos = 0;
    while (pos < frame.size()) {
      const size_t n = rule->size > 0 ? static_cast<size_t>(rule->size) : (pos == 0 ? head : frame.size() - pos);
      const size_t take = std::min(n, frame.size() - pos);
      plan.chunks.push_back({pos == 0 ? 0u : static_cast<uint32_t>(rule->value),
                             Bytes(frame.begin() + static_cast<long>(pos), frame.begin() + static_cast<long>(pos + take))});
      pos += take;
    }
    return plan;
  }
  plan.chunks.push_back({delay, std::move(frame)});
  return plan;
}

}  // namespace qmx::sim
