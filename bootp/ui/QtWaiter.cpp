#include "bootp/ui/QtWaiter.h"

#include <poll.h>

#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

namespace qmx::plenvar {

Waiter QtEventLoopWaiter() {
  return [](int fd, bool forWrite, int timeoutMs) {
    pollfd p{fd, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    if (::poll(&p, 1, 0) > 0) return 1;
    if (timeoutMs <= 0) return 0;
    QEventLoop loop;
    QSocketNotifier notifier(static_cast<qintptr>(fd), forWrite ? QSocketNotifier::Write : QSocketNotifier::Read);
    QTimer timer;
    timer.setSingleShot(true);
    int result = 0;
    QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
      result = 1;
      loop.quit();
    });
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(timeoutMs);
    loop.exec();
    return result;
  };
}

}  // namespace qmx::plenvar
