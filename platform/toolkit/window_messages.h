// Window messages of the suite carried as Qt events. The numeric values are
// the message numbers the program has always used; the Qt event type is
// QEvent::User plus that number so they never collide with Qt's own.
#pragma once

#include <QEvent>

#include <cstdint>
#include <functional>

namespace qmx::toolkit {

constexpr int kLogRecordMessage = 0x401;  // a posted log record (lParam = record)
constexpr int kGridRowMessage = 0x402;    // a grid's selected row changed (sent)

constexpr QEvent::Type EventTypeOf(int message) {
  return static_cast<QEvent::Type>(QEvent::User + message);
}

// A window message with its two parameters, as posted or sent to a QObject.
// A posted message may own its lParam payload: give it a deleter, and the
// payload is freed with the event unless the receiver took it over with
// TakeLParam() (so a message that never reaches its window leaks nothing).
class WindowMessageEvent : public QEvent {
public:
  using Deleter = std::function<void(std::intptr_t)>;
  WindowMessageEvent(int message, std::uintptr_t wparam, std::intptr_t lparam, Deleter deleter = {})
      : QEvent(EventTypeOf(message)), message_(message), wparam_(wparam), lparam_(lparam),
        deleter_(std::move(deleter)) {}
  ~WindowMessageEvent() override {
    if (deleter_ && lparam_) deleter_(lparam_);
  }
  WindowMessageEvent(const WindowMessageEvent&) = delete;
  WindowMessageEvent& operator=(const WindowMessageEvent&) = delete;

  int message() const { return message_; }
  std::uintptr_t wparam() const { return wparam_; }
  std::intptr_t lparam() const { return lparam_; }
  // Hands the payload to the receiver; the event no longer frees it.
  std::intptr_t TakeLParam() {
    deleter_ = nullptr;
    return lparam_;
  }

private:
  int message_;
  std::uintptr_t wparam_;
  std::intptr_t lparam_;
  Deleter deleter_;
};

// Posts a message to a receiver from any thread (the receiver handles it on
// its own thread). With no receiver the event, and so its payload, is freed.
void PostWindowMessage(QObject* receiver, int message, std::uintptr_t wparam, std::intptr_t lparam,
                       WindowMessageEvent::Deleter deleter = {});
// Sends a message synchronously; returns whether the receiver accepted it.
bool SendWindowMessage(QObject* receiver, int message, std::uintptr_t wparam, std::intptr_t lparam);

}  // namespace qmx::toolkit
