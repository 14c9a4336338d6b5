// Window messages of the suite carried as Qt events. The numeric values are
// the message numbers the program has always used; the Qt event type is
// QEvent::User plus that number so they never collide with Qt's own.
#pragma once

#include <QEvent>

#include <cstdint>

namespace qmx::toolkit {

constexpr int kLogRecordMessage = 0x401;  // a posted log record (lParam = record)
constexpr int kGridRowMessage = 0x402;    // a grid's selected row changed (sent)

constexpr QEvent::Type EventTypeOf(int message) {
  return static_cast<QEvent::Type>(QEvent::User + message);
}

// A window message with its two parameters, as posted or sent to a QObject.
// The payload's ownership is the business of the message's sender and
// receiver; see each message's documentation.
class WindowMessageEvent : public QEvent {
public:
  WindowMessageEvent(int message, std::uintptr_t wparam, std::intptr_t lparam)
      : QEvent(EventTypeOf(message)), message_(message), wparam_(wparam), lparam_(lparam) {}
  int message() const { return message_; }
  std::uintptr_t wparam() const { return wparam_; }
  std::intptr_t lparam() const { return lparam_; }

private:
  int message_;
  std::uintptr_t wparam_;
  std::intptr_t lparam_;
};

}  // namespace qmx::toolkit
