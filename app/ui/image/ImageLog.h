// Where the picture writers report: one log sink and one message sink, each
// set once per program. The main program connects the log sink to its log
// window and the message sink to its message boxes; until then both drop
// what they are given, so the writers stay free of any toolkit.
#pragma once

#include "app/errors/ErrorCodes.h"
#include "common/log/LogCategories.h"

#include <functional>
#include <string>

namespace qmx {

// `category` is a LogCategory.
using ImageLogSink = std::function<void(int category, const std::string& source, const std::string& text)>;
// A box with the information icon: title and text.
using ImageMessageSink = std::function<void(const std::string& title, const std::string& text)>;

// Install a sink; an empty function restores the default (drop). Each
// returns the sink it replaces.
ImageLogSink SetImageLogSink(ImageLogSink sink);
ImageMessageSink SetImageMessageSink(ImageMessageSink sink);

// Hand a line or a box text to the installed sink.
void ImageLog(int category, const std::string& source, const std::string& text);
void ImageMessage(const std::string& title, const std::string& text);

// printf-style formatting of the writers' texts.
std::string FormatImageText(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

// Source name and error code of the writers' lines.
inline constexpr const char* kImageLogSource = "QMX-410 Tools";
inline constexpr int kImageErrFileSave = err::kFileNotSaved;
inline constexpr int kImageErrNoMemory = err::kOutOfMemory;

}  // namespace qmx
