#include "widgets/grid/GridValueCheck.h"

#include "common/Utility.h"
#include "widgets/grid/GridTextChecks.h"

#include <cstdio>
#include <cstdlib>

namespace qmx::grid {
namespace {

GridValueResult Refuse() { return {false, {}}; }
GridValueResult Accept(std::string text) { return {true, std::move(text)}; }

bool IsTypeField(const std::string& field) {
  std::string t = text::Trim(field);
  if (t.empty()) return false;
  size_t i = (t[0] == '-' || t[0] == '+') ? 1 : 0;
  if (i >= t.size()) return false;
  for (; i < t.size(); ++i)
    if (t[i] < '0' || t[i] > '9') return false;
  return true;
}

template <typename T>
bool InBounds(T value, const AllowedValueDef& def, T min, T max, bool noBoundAccepts) {
  bool hasMin = !def.min.empty(), hasMax = !def.max.empty();
  if (hasMin && hasMax) return min <= value && !(value > max);
  if (hasMin) return value >= min;
  if (hasMax) return !(value > max);
  return noBoundAccepts;
}

std::string Format(const char* pattern, double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, pattern, v);
  return buf;
}

}  // namespace

AllowedValueDef ParseAllowedValueDef(const std::string& definition) {
  AllowedValueDef def;
  std::string type = ::GetToken(definition, 1, ',', 1);
  def.type = IsTypeField(type) ? text::LenientInt(type) : 0;
  def.min = ::GetToken(definition, 2, ',', 1);
  def.max = ::GetToken(definition, 3, ',', 1);
  // A field past the last one comes back as the delimiter itself.
  if (def.min == ",") def.min.clear();
  if (def.max == ",") def.max.clear();
  return def;
}

GridValueResult CheckGridValueMain(const std::string& definition, const std::string& value) {
  if (definition.empty()) return Accept(value);
  AllowedValueDef def = ParseAllowedValueDef(definition);
  switch (def.type) {
    case 1: {
      std::optional<int> v = text::ParseInt(value);
      if (!v) return Refuse();
      if (!InBounds<long long>(*v, def, text::LenientInt(def.min), text::LenientInt(def.max), false))
        return Refuse();
      return Accept(std::to_string(*v));
    }
    case 2: {
      if (!text::IsFiniteFloatStr(value)) return Refuse();
      float v = static_cast<float>(std::strtod(value.c_str(), nullptr));
      if (!InBounds<float>(v, def, static_cast<float>(text::LenientDouble(def.min)),
                           static_cast<float>(text::LenientDouble(def.max)), true))
        return Refuse();
      return Accept(Format("%2.2f", static_cast<double>(v)));
    }
    case 3:
      // Stored as the driver reads addresses: no blanks, no leading zeros.
      if (!::IsValidIpAddr(value)) return Refuse();
      return Accept(::NormalizeIpAddr(value));
    case 4: {
      std::string norm = ::NormalizeHexStr(value, text::LenientInt(def.min));
      if (text::EqualsNoCase(norm, "INVALID") || norm.size() <= 2) return Refuse();
      return Accept(norm);
    }
    default:
      if (def.type >= 5) return Accept(value);
      return Refuse();
  }
}

GridValueResult CheckGridValueDriver(const std::string& definition, const std::string& value) {
  if (definition.empty() || value.empty()) return Accept(value);
  AllowedValueDef def = ParseAllowedValueDef(definition);
  switch (def.type) {
    case 1: {
      if (!text::IsIntegerText(value, false)) return Refuse();
      std::optional<int> v = text::ParseInt(value);
      if (!v) return Refuse();
      if (!InBounds<long long>(*v, def, text::LenientInt(def.min), text::LenientInt(def.max), false))
        return Refuse();
      return Accept(value);
    }
    case 2: {
      if (!text::IsIntegerText(value, true) || !text::IsFiniteFloatStr(value)) return Refuse();
      double v = std::strtod(value.c_str(), nullptr);
      if (!InBounds<double>(v, def, text::LenientDouble(def.min), text::LenientDouble(def.max), true))
        return Refuse();
      return Accept(value);
    }
    case 3:
      if (!::IsValidIpAddr(value)) return Refuse();
      return Accept(value);
    case 4: {
      std::string norm = ::NormalizeHexStr(value, text::LenientInt(def.min));
      if (norm == "INVALID" || norm.size() <= 2) return Refuse();
      return Accept(norm);
    }
    default:
      return Refuse();
  }
}

std::string AllowedValueHint(const std::string& definition) {
  if (definition.empty()) return {};
  AllowedValueDef def = ParseAllowedValueDef(definition);
  const char* name = nullptr;
  switch (def.type) {
    case 1: name = "Integer"; break;
    case 2: name = "Float"; break;
    case 3: return " Must be IP Address format.";
    case 4: return " Must be HEX format and length " + def.min + ".";
    default: return " Invalid definition";
  }
  std::string n = name;
  if (!def.min.empty() && !def.max.empty()) return " " + n + ". Must be " + def.min + " ~ " + def.max + ".";
  if (!def.min.empty()) return " " + n + ". Must be >= " + def.min + ".";
  if (!def.max.empty()) return " " + n + ". Must be <= " + def.max + ".";
  return " Must be " + n + ".";
}

}  // namespace qmx::grid
