#include "app/ui/image/ImageLog.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

namespace qmx {
namespace {

ImageLogSink& LogSink() {
  static ImageLogSink sink;
  return sink;
}

ImageMessageSink& MessageSink() {
  static ImageMessageSink sink;
  return sink;
}

}  // namespace

ImageLogSink SetImageLogSink(ImageLogSink sink) {
  return std::exchange(LogSink(), std::move(sink));
}

ImageMessageSink SetImageMessageSink(ImageMessageSink sink) {
  return std::exchange(MessageSink(), std::move(sink));
}

void ImageLog(int category, const std::string& source, const std::string& text) {
  if (LogSink()) LogSink()(category, source, text);
}

std::string FormatImageText(const char* pattern, ...) {
  va_list args;
  va_start(args, pattern);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, pattern, args);
  va_end(args);
  std::string text;
  if (n > 0) {
    text.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(text.data(), text.size(), pattern, again);
    text.resize(static_cast<size_t>(n));
  }
  va_end(again);
  return text;
}

void ImageMessage(const std::string& title, const std::string& text) {
  if (MessageSink()) MessageSink()(title, text);
}

}  // namespace qmx
