// The conventions every reader of the catalogue and settings files follows:
// the start and end lines, the answer to a file that does not load, the
// -6001 line of a reading that an XML failure ended, what a missing node or
// attribute is, which nodes of a list take no part, and how numbers are read.
//
// The settings reader, the text-id and error list readers, the catalogue list
// readers and the device description readers all use these, so they answer
// the same file faults with the same lines.
#pragma once

#include "platform/xml/xml.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace qmx::reader {

// The largest settings, text-id, error, catalogue list or device description
// file read (such a file is a few kB): a larger one does not load.
inline constexpr std::uint64_t kDefinitionFileLimit = 4ull * 1024 * 1024;

// What a description may write between the digit pairs of a default
// parameter text ("0x12, 0x34"), besides the "0X" in front of each
// (HexDigitsOf).
inline constexpr std::string_view kDefaultParaSeparators = ", \t";

// The description the readers log for a node or attribute that is not there.
inline constexpr const char* kMissingNodeText = "Invalid pointer";

// Comments, processing instructions and blank text between elements take no
// part in the reading of a list.
bool IsCommentOrPi(const xml::Node& node);
bool IsBlankText(const xml::Node& node);
inline bool IsSkipped(const xml::Node& node) { return IsCommentOrPi(node) || IsBlankText(node); }

// The attribute's text; throws xml::XmlError(kMissingNodeText) when the node
// is missing, is not an element or has no such attribute.
std::string RequireAttribute(const xml::Node& node, const std::string& name);
// The node at the path; throws xml::XmlError(kMissingNodeText) when none.
xml::Node RequireNode(const xml::Document& document, const std::string& path);

// Decimal numbers of the files: optional leading blanks and sign, then the
// leading digits; no digits give 0. Values beyond the 32-bit range are
// clamped to it.
int DecimalTextToInt(const std::string& text);

// "Start parsing definition file. File:%s" / "End parsing definition file.
// File:%s. Result: %d", category 4.
void LogStartParsing(const std::string& path);
void LogEndParsing(const std::string& path, int result);
// -1027 line (category 0) and the "Cannot open the file..." box.
void ReportLoadFailure(const std::string& path, const std::string& cause = {});
// The -6001 line of a reading that stopped at an XML failure; the error text
// (which for a file that did not load names its line and the parser's
// reason) loses any trailing line break.
void LogXmlException(const std::string& source, const std::string& errorText, const std::string& function,
                     const std::string& location, const std::string& path);
// The -4000 "Node does not defined" line of a required element; `cause`, when
// not empty, is the parser's reason why the file gave no document (its line
// and message), added so that a broken file can be found.
void LogNodeMissing(const char* source, const std::string& location, const std::string& function,
                    const std::string& path, const std::string& cause = {});

// Reads a settings, text-id, error or catalogue list file: the start line;
// the load, 0 after ReportLoadFailure when the file does not load or, given
// a `root`, when its document element has another name (a file of another
// kind, whose paths would all select nothing: the cause names what the file
// holds); `read` over the document; the -6001 line (from `source`, naming
// `function` and the `location` that `read` moved on) when an XML failure
// ends the reading, with what was read kept; the end line. 1 once the file
// loaded.
int ReadListFile(const std::string& path, const char* source, const char* function, std::string& location,
                 const std::function<void(const xml::Document&)>& read, const char* root = nullptr);

}  // namespace qmx::reader
