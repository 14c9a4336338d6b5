#include "widgets/grid/GridTextChecks.h"

#include "common/Utility.h"

#include <climits>
#include <cmath>
#include <cstdlib>

namespace qmx::grid::text {
namespace {
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

std::optional<int> ParseInt(const std::string& text) {
  if (!::IsNumberStr(text, 0, 0)) return std::nullopt;
  const bool negative = text.front() == '-';
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  long long value = 0;
  for (size_t i = negative ? 1 : 0; i < text.size(); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > limit) return std::nullopt;
  }
  return static_cast<int>(negative ? -value : value);
}

bool IsFiniteFloatStr(const std::string& text) {
  // Plain decimal notation only: a cell takes no exponent ("1e3").
  if (!::IsNumberStr(text, 1, 1)) return false;
  return std::isfinite(std::strtod(text.c_str(), nullptr));
}

bool IsIntegerText(std::string_view text, bool allowPoint) {
  int points = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (IsDigit(c)) continue;
    if (c == '-' && i == 0) continue;
    if (c == '.' && allowPoint && ++points <= 1) continue;
    return false;
  }
  return true;
}

int LenientInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) break;
  }
  value = negative ? -value : value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

double LenientDouble(const std::string& text) {
  const double v = std::strtod(text.c_str(), nullptr);
  return std::isfinite(v) ? v : 0.0;
}

bool EqualsNoCase(const std::string& a, const std::string& b) { return ::CompareNoCase(a, b) == 0; }

std::string Trim(const std::string& text) { return ::TrimStr(text); }

}  // namespace qmx::grid::text
