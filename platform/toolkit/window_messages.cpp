#include "platform/toolkit/window_messages.h"

#include <QCoreApplication>

namespace qmx::toolkit {

void PostWindowMessage(QObject* receiver, int message, std::uintptr_t wparam, std::intptr_t lparam,
                       WindowMessageEvent::Deleter deleter) {
  auto* event = new WindowMessageEvent(message, wparam, lparam, std::move(deleter));
  if (!receiver || !QCoreApplication::instance()) {
    delete event;
    return;
  }
  // Qt takes the event; if the receiver is destroyed first, Qt deletes it.
  QCoreApplication::postEvent(receiver, event);
}

bool SendWindowMessage(QObject* receiver, int message, std::uintptr_t wparam, std::intptr_t lparam) {
  if (!receiver) return false;
  WindowMessageEvent event(message, wparam, lparam);
  return QCoreApplication::sendEvent(receiver, &event);
}

}  // namespace qmx::toolkit
