// Character sets of the files the suite reads and writes. Inside the program
// every string is UTF-8; files declared "euc-kr" hold EUC-KR bytes.
#pragma once

#include <string>
#include <string_view>

namespace qmx::text {

// UTF-8 to EUC-KR. A character EUC-KR cannot hold is written as the numeric
// character reference "&#N;" (decimal), so nothing is lost when the text is
// read back by an XML reader. Invalid UTF-8 input bytes become U+FFFD's
// reference. Never fails.
// The references are only understood where an XML reader expands them (text
// and attribute values), so escape a value (EscapeAttribute) before
// converting it, never after.
std::string Utf8ToEucKr(std::string_view utf8);

// EUC-KR to UTF-8. Returns false (and leaves `out` holding what could be
// converted, with U+FFFD for each undecodable byte sequence) when the input
// is not valid EUC-KR. The double-byte codes of the extended Korean code page
// (CP949), which files written on Korean Windows systems under the name
// "euc-kr" may hold, are accepted and decoded as well.
bool EucKrToUtf8(std::string_view euckr, std::string& out);
std::string EucKrToUtf8(std::string_view euckr);

// True when the text is valid UTF-8.
bool IsValidUtf8(std::string_view text);

// True when an encoding name as a file declares it ("euc-kr", "EUC-KR",
// "ks_c_5601-1987", "cp949", ...) names the Korean character set these
// functions convert.
bool IsEucKrName(std::string_view encoding);

}  // namespace qmx::text
