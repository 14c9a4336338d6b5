#include "driver/modbus/driver_socket.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>

#include "common/Utility.h"
#include "driver/driver_utils.h"
#include "driver/modbus/code_text.h"

namespace tessivar {
namespace {

using Clock = std::chrono::steady_clock;

// A connect never waits less than this, whatever the exchange time-out: a
// time-out of a few hundred milliseconds suits replies, not connection set-up.
constexpr int kMinConnectTimeoutMs = 1000;

bool IsDigitsAndDots(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

// Host names and dotted addresses: '.', digits, letters (and what lies
// between 'Z' and 'a') and '-'.
bool IsAddressText(const std::string& text) {
  return std::all_of(text.begin(), text.end(), [](char c) {
    return c == '.' || c == '-' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'z');
  });
}

int LeftMs(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

constexpr CodeText kDescriptions[] = {
    {kSockNoReconnectNeeded, "Warning. Reconnection does not need"},
    {kSockBadParameter, "Function parameter is invalid."},
    {kSockGeneralError, "General socket error."},
    {kSockTimeout, "Operation timeout."},
    {kSockNotConnected, "Not connected. Operation is failed."},
    {kSockAdapterSocketInvalid, "Adapter Socket is invalid."},
    {kSockAdapterAddressInvalid, "Adapter Address is invalid."},
    {kSockHostSocketInvalid, "Host Socket is invalid."},
    {kSockHostAddressInvalid, "Host Address is invalid."},
    {kSockNoDelimiter, "Rx data does not has the delimeter."},
    {kSockShortRead, "Read. But data is less wanted length."},
    {kSockReconnectFailed, "Reconection failed, but will retry..."},
    {kSockConstructionException, "Exception is happened construction"},
    {kSockUnsupportedVersion, "Unsupport WAS version"},
    {kSockConstructionParameters, "Construction parameters error"},
    {kSockCommTestFailed, "Open success. But CommTest is failed. Check the channel/device setting or network"},
    {-qmx::net::kWsaEintr, "Interrupted function call."},
    {-qmx::net::kWsaEbadf, "File handle is not valid."},
    {-qmx::net::kWsaEacces, "Permission denied."},
    {-qmx::net::kWsaEfault, "Bad address."},
    {-qmx::net::kWsaEinval, "Invalid argument."},
    {-qmx::net::kWsaEmfile, "Too many open files."},
    {-qmx::net::kWsaEwouldblock, "Resource temporarily unavailable."},
    {-qmx::net::kWsaEinprogress, "Operation now in progress."},
    {-qmx::net::kWsaEalready, "Operation already in progress."},
    {-qmx::net::kWsaEnotsock, "Socket operation on nonsocket."},
    {-qmx::net::kWsaEdestaddrreq, "Destination address required."},
    {-qmx::net::kWsaEmsgsize, "Message too long."},
    {-qmx::net::kWsaEprototype, "Protocol wrong type for socket."},
    {-qmx::net::kWsaEnoprotoopt, "Bad protocol option."},
    {-qmx::net::kWsaEprotonosupport, "Protocol not supported."},
    {-qmx::net::kWsaEsocktnosupport, "Socket type not supported."},
    {-qmx::net::kWsaEopnotsupp, "Operation not supported."},
    {-qmx::net::kWsaEpfnosupport, "Protocol family not supported."},
    {-qmx::net::kWsaEafnosupport, "Address family not supported by protocol family."},
    {-qmx::net::kWsaEaddrinuse, "Address already in use."},
    {-qmx::net::kWsaEaddrnotavail, "Cannot assign requested address. Check network."},
    {-qmx::net::kWsaEnetdown, "Network is down."},
    {-qmx::net::kWsaEnetunreach, "Network is unreachable."},
    {-qmx::net::kWsaEnetreset, "Network dropped connection on reset."},
    {-qmx::net::kWsaEconnaborted, "Software caused connection abort."},
    {-qmx::net::kWsaEconnreset, "Connection reset by peer."},
    {-qmx::net::kWsaEnobufs, "No buffer space available."},
    {-qmx::net::kWsaEisconn, "Socket is already connected."},
    {-qmx::net::kWsaEnotconn, "Socket is not connected."},
    {-qmx::net::kWsaEshutdown, "Cannot send after socket shutdown."},
    {-qmx::net::kWsaEtoomanyrefs, "Too many references."},
    {-qmx::net::kWsaEtimedout, "Connection timed out."},
    {-qmx::net::kWsaEconnrefused, "Connection is refused."},
    {-qmx::net::kWsaEloop, "Cannot translate name."},
    {-qmx::net::kWsaEnametoolong, "Name too long."},
    {-qmx::net::kWsaEhostdown, "Host is down."},
    {-qmx::net::kWsaEhostunreach, "No route to host."},
    {-qmx::net::kWsaEnotempty, "Directory not empty."},
    {-10067, "Too many processes"},
    {-qmx::net::kWsaEusers, "User quota exceeded."},
    {-qmx::net::kWsaEdquot, "Disk quota exceeded."},
    {-qmx::net::kWsaEstale, "Stale file handle reference"},
    {-qmx::net::kWsaEremote, "Item is remote."},
    {-10091, "Network subsystem is unavailable."},
    {-10092, "Winsock.dll version out of range."},
    {-10093, "Successful WSAStartup not yet performed."},
    {-10101, "Graceful shutdown in progress."},
    {-10102, "No more results."},
    {-10103, "Call has been canceled."},
    {-10104, "Procedure call table is invalid."},
    {-10105, "Service provider is invalid."},
    {-10106, "Service provider failed to initialize."},
    {-qmx::net::kWsaSyscallFailure, "System call failure."},
    {-10108, "Service not found."},
    {-10109, "Class type not found."},
    {-10110, "No more results."},
    {-10111, "Call was canceled."},
    {-10112, "Database query was refused."},
    {-qmx::net::kWsaHostNotFound, "Host not found."},
    {-qmx::net::kWsaTryAgain, "Nonauthoritative host not found."},
    {-qmx::net::kWsaNoRecovery, "This is a nonrecoverable error."},
    {-qmx::net::kWsaNoData, "Valid name, no data record of requested type."},
};

}  // namespace

DriverSocket::DriverSocket() = default;

DriverSocket::DriverSocket(const char* localAddress, const char* remoteAddress, int remotePort, int socketType,
                           int localPort) {
  if (!localAddress || !remoteAddress || remotePort < 0) return;
  localText_ = localAddress;
  remoteText_ = remoteAddress;
  if (localText_.size() > kMaxAddressLength || remoteText_.size() > kMaxAddressLength) {
    localText_.clear();
    remoteText_.clear();
    return;
  }
  remotePort_ = remotePort;
  socketType_ = socketType;
  localPort_ = localPort;
  status_ = 1;
}

DriverSocket::~DriverSocket() {
  if (status_ == 1) Close();
}

void DriverSocket::SetTimeouts(int timeoutMs, int /*ignored*/, int reconnectPeriodS) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  timeoutMs_ = timeoutMs < 0 ? 0 : timeoutMs;
  selectSeconds_ = timeoutMs_ / 1000;
  selectMicroseconds_ = (static_cast<long>(timeoutMs_) * 1000) % 1000000;
  if (reconnectPeriodS <= 5) reconnectPeriodS = 5;
  if (reconnectPeriodS >= 1800) reconnectPeriodS = 1800;
  reconnectPeriodS_ = reconnectPeriodS;
}

void DriverSocket::SetBroadcast(int flag) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  broadcast_ = flag;
}

int DriverSocket::ConnectTimeoutMs() const { return std::max(timeoutMs_, kMinConnectTimeoutMs); }

int DriverSocket::ResolveLocal(uint32_t* address) const {
  std::string text = TrimStr(localText_);
  if (EqualsNoCase(text, "(null)")) text.clear();
  if (!IsAddressText(text)) return kSockAdapterAddressInvalid;
  if (IsDigitsAndDots(text)) {
    if ((socketType_ == kDatagram && broadcast_ == 1) || text.empty() || text == "127.0.0.1") {
      *address = htonl(INADDR_ANY);
      return 1;
    }
    return qmx::net::ParseDottedIPv4(text, address) ? 1 : kSockAdapterAddressInvalid;
  }
  if (EqualsNoCase(text, "localhost")) return qmx::net::LocalHostFirstAddress(address) == 0 ? 1 : kSockAdapterAddressInvalid;
  return qmx::net::ResolveIPv4(text, address) == 0 ? 1 : kSockAdapterAddressInvalid;
}

int DriverSocket::ResolveRemote(uint32_t* address) const {
  const std::string text = TrimStr(remoteText_);
  if (text.empty() || !IsAddressText(text)) return kSockHostAddressInvalid;
  if (IsDigitsAndDots(text)) return qmx::net::ParseDottedIPv4(text, address) ? 1 : kSockHostAddressInvalid;
  if (EqualsNoCase(text, "localhost")) return qmx::net::LocalHostFirstAddress(address) == 0 ? 1 : kSockHostAddressInvalid;
  return qmx::net::ResolveIPv4(text, address) == 0 ? 1 : kSockHostAddressInvalid;
}

int DriverSocket::Open() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (status_ != 1) return status_;
  CloseLocked();

  uint32_t local = 0;
  uint32_t remote = 0;
  int r = ResolveLocal(&local);
  if (r != 1) return r;
  r = ResolveRemote(&remote);
  if (r != 1) return r;
  localAddress_ = local;
  remoteAddress_ = remote;

  const bool datagram = socketType_ == kDatagram;
  int err = socket_.Create(datagram ? SOCK_DGRAM : SOCK_STREAM);
  if (err != 0) return -err;
  const uint16_t localPort = datagram ? static_cast<uint16_t>(localPort_) : 0;
  err = socket_.Bind(local, localPort);
  if (err == 0) {
    if (datagram && broadcast_ == 1) {
      err = socket_.SetBroadcast(broadcast_);
    } else {
      err = ConnectLocked(remote);
    }
  }
  if (err != 0) {
    socket_.Close();
    return -err;
  }
  connected_ = 1;
  answered_ = false;
  return 1;
}

void DriverSocket::SetAbort(std::function<bool()> abort) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  abort_ = std::move(abort);
}

int DriverSocket::WaitUntil(bool writable, Clock::time_point deadline) {
  if (!abort_) return writable ? socket_.WaitWritable(LeftMs(deadline)) : socket_.WaitReadable(LeftMs(deadline));
  for (;;) {
    const int slice = std::min(LeftMs(deadline), kAbortSliceMs);
    const int w = writable ? socket_.WaitWritable(slice) : socket_.WaitReadable(slice);
    if (w != 0) return w;
    if (LeftMs(deadline) <= 0 || abort_()) return 0;
  }
}

int DriverSocket::WaitOrFail(bool writable, Clock::time_point deadline) {
  const int w = WaitUntil(writable, deadline);
  if (w < 0) {
    HandleError(-w);
    return w;
  }
  if (w == 0) {
    HandleError(kSockTimeout);
    return kSockTimeout;
  }
  return 1;
}

int DriverSocket::ConnectLocked(uint32_t remote) {
  const auto port = static_cast<uint16_t>(remotePort_);
  if (!abort_) return socket_.Connect(remote, port, ConnectTimeoutMs());
  // Started without waiting, then waited for in slices.
  const auto deadline = Clock::now() + std::chrono::milliseconds(ConnectTimeoutMs());
  int err = socket_.Connect(remote, port, 0);
  if (err != qmx::net::kWsaEtimedout) return err;
  const int w = WaitUntil(true, deadline);
  if (w < 0) return -w;
  if (w == 0) return qmx::net::kWsaEtimedout;
  int soError = 0;
  socklen_t len = sizeof soError;
  if (::getsockopt(socket_.fd(), SOL_SOCKET, SO_ERROR, &soError, &len) != 0) return qmx::net::kWsaSyscallFailure;
  return qmx::net::WsaErrorFromErrno(soError, qmx::net::kWsaSyscallFailure);
}

int DriverSocket::Close() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return CloseLocked();
}

int DriverSocket::CloseLocked() {
  socket_.Close();
  connected_ = 0;
  return 1;
}

int DriverSocket::IsConnected() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return IsConnectedLocked();
}

int DriverSocket::IsConnectedLocked() const { return socket_.IsValid() ? connected_ : 0; }

void DriverSocket::HandleError(int code) {
  if (code == kSockTimeout) {
    if (closeOnTimeout_) CloseLocked();
    return;
  }
  using namespace qmx::net;
  if (code == 0 || code == kWsaEinval || code == kWsaEnetreset || code == kWsaEconnaborted ||
      code == kWsaEconnreset) {
    connected_ = 0;
    // The peer closed or reset the stream: one attempt at once may be all
    // it takes to get it back.
    if (code != kWsaEinval) RetryAtOnce();
  }
}

void DriverSocket::SetCloseOnTimeout(bool close) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  closeOnTimeout_ = close;
}

void DriverSocket::RetryAtOnce() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (answered_.exchange(false)) gate_.RetryAtOnce();
}

void DriverSocket::NoteAnswered() {
  // Once per framed reply: a read while it stays set, no lock round trip.
  if (!answered_.load(std::memory_order_relaxed)) answered_.store(true);
}

int DriverSocket::SendTo(const void* data, int length) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (!data || length <= 0) return kSockBadParameter;
  if (!IsConnectedLocked()) return kSockNotConnected;
  return socket_.SendTo(data, static_cast<size_t>(length), remoteAddress_, static_cast<uint16_t>(remotePort_));
}

template <class Read>
int DriverSocket::ReadWithinTimeout(void* buffer, int size, Read&& read) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (!buffer || size <= 0) return kSockBadParameter;
  if (!IsConnectedLocked()) return kSockNotConnected;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs_);
  for (;;) {
    const int w = WaitUntil(false, deadline);
    if (w < 0) return w;
    if (w == 0) return kSockTimeout;
    const int n = read(static_cast<size_t>(size));
    if (n != -qmx::net::kWsaEwouldblock) return n;
  }
}

int DriverSocket::ReceiveFrom(void* buffer, int size) {
  return ReadWithinTimeout(buffer, size, [&](size_t n) { return socket_.RecvFrom(buffer, n, nullptr, nullptr); });
}

int DriverSocket::Send(const void* data, int length) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return SendHeld(data, length);
}

int DriverSocket::Receive(void* buffer, int size, int timeoutMs) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return ReceiveHeld(buffer, size, timeoutMs);
}

int DriverSocket::SendHeld(const void* data, int length) {
  if (!data || length <= 0) return kSockBadParameter;
  if (!IsConnectedLocked()) return kSockNotConnected;
  const auto* bytes = static_cast<const uint8_t*>(data);
  int sent = 0;
  // A request fits the send buffer nearly always: the time-out runs (and
  // the clock is read) only from the first time the buffer is full, which
  // saves a poll and a clock read per request.
  Clock::time_point deadline{};
  bool waiting = false;
  while (sent < length) {
    const int n = socket_.SendSome(bytes + sent, static_cast<size_t>(length - sent));
    if (n == -qmx::net::kWsaEwouldblock) {
      if (!waiting) deadline = Clock::now() + std::chrono::milliseconds(timeoutMs_);
      waiting = true;
      const int w = WaitOrFail(true, deadline);
      if (w < 0) return w;
      continue;
    }
    if (n < 0) return Sent(n);
    sent += n;
  }
  return length;
}

int DriverSocket::Sent(int n) {
  if (n >= 0) return n;
  HandleError(-n);
  return n;
}

int DriverSocket::Received(int n) {
  if (n > 0) return n;
  if (n == 0) {
    // The peer closed the connection.
    HandleError(0);
    return 0;
  }
  HandleError(n == kSockTimeout ? kSockTimeout : -n);
  return n;
}

int DriverSocket::ReceiveHeld(void* buffer, int size, int timeoutMs) {
  if (!buffer || size <= 0) return kSockBadParameter;
  if (!IsConnectedLocked()) return kSockNotConnected;
  const int limit = timeoutMs < 0 ? timeoutMs_ : timeoutMs;
  // The wait is inside the receive itself (one call per reply, not a poll
  // and a read), in slices when a stop may cut it short. A reply that comes
  // within the first slice costs no clock read: the deadline is taken when
  // that slice has run out, as what is left of the time-out from then on.
  int left = limit;
  Clock::time_point deadline{};
  bool sliced = false;
  for (;;) {
    const int slice = abort_ ? std::min(left, kAbortSliceMs) : left;
    const int n = socket_.RecvWithin(buffer, static_cast<size_t>(size), slice);
    if (n == -qmx::net::kWsaEwouldblock) {
      if (!sliced) deadline = Clock::now() + std::chrono::milliseconds(left - slice);
      sliced = true;
      left = LeftMs(deadline);
      if (left > 0 && !(abort_ && abort_())) continue;
      return Received(kSockTimeout);
    }
    return Received(n);
  }
}

int DriverSocket::ReceiveRaw(void* buffer, int size) {
  return ReadWithinTimeout(buffer, size, [&](size_t n) { return socket_.Recv(buffer, n); });
}

int DriverSocket::ReconnectDue() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return gate_.Test(IsConnectedLocked() != 0, reconnectPeriodS_);
}

int DriverSocket::Reopen() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (IsConnectedLocked()) {
    gate_.Disarm();
    return kSockNoReconnectNeeded;
  }
  const int r = Open();
  gate_.Disarm();
  return r == 1 ? 1 : kSockReconnectFailed;
}

const char* DriverSocket::Description(int code) { return DescribeCode(kDescriptions, code); }

void DriverSocket::ErrorText(int code, std::string& text) {
  text = TransportCodeText("Ethernet Error.", code, Description(code));
}

}  // namespace tessivar
