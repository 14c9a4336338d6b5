// The few text checks of the grid's value validation that the shared
// utilities (common/Utility.h) do not offer: integers that are
// range-checked before conversion, the driver's integer-text test, lenient
// numbers of definition fields, finite reals.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qmx::grid::text {

// Whole number (digits, an optional leading '-') within the range of int:
// the digits are range-checked before the value is formed, so an overlong
// number never wraps. Empty on any failure.
std::optional<int> ParseInt(const std::string& text);

// Decimal number (digits, at most one '.', '-' only first, at least one digit,
// no exponent) whose value is a finite real.
bool IsFiniteFloatStr(const std::string& text);

// Every character a digit, '-' only first, '.' (at most one) when allowed.
// An empty text passes.
bool IsIntegerText(std::string_view text, bool allowPoint);

// Number of a definition field: leading blanks, a sign, digits; stops at the
// first other character; 0 without digits; clamped to int.
int LenientInt(std::string_view text);
// Real of a definition field (0 without a number).
double LenientDouble(const std::string& text);

bool EqualsNoCase(const std::string& a, const std::string& b);
std::string Trim(const std::string& text);

}  // namespace qmx::grid::text
