// printf-style formatting into std::string for the driver's texts.
#pragma once

#include <cstdarg>
#include <string>

namespace tessivar {

std::string StrFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string StrFormatV(const char* format, va_list args);

// Decimal text of a device key: the key of the device maps.
std::string KeyText(long long key);

// Case-insensitive equality of two texts (ASCII letters).
bool EqualsNoCase(const std::string& a, const std::string& b);

}  // namespace tessivar
