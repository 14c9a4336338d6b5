// The driver's network endpoint: a stream connection to an adapter or a
// datagram socket for the discovery broadcast, with time-outs on every wait,
// a connected flag that its own error handling clears, and the reconnection
// gate. Every operation returns a count of bytes or 1 on success, or a
// negative code: the driver's socket codes (-9101 to -9115) or minus a
// Windows Sockets error number (platform/net).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "driver/modbus/reconnect_gate.h"
#include "platform/net/socket.h"

namespace tessivar {

// The driver's socket codes.
enum SocketCode : int {
  kSockNoReconnectNeeded = ReconnectGate::kNotNeeded,
  kSockBadParameter = -9101,
  kSockGeneralError = -9102,
  kSockTimeout = -9103,
  kSockNotConnected = -9104,
  kSockAdapterSocketInvalid = -9105,
  kSockAdapterAddressInvalid = -9106,
  kSockHostSocketInvalid = -9107,
  kSockHostAddressInvalid = -9108,
  kSockNoDelimiter = -9109,
  kSockShortRead = -9110,
  kSockReconnectFailed = -9111,
  kSockConstructionException = -9112,
  kSockUnsupportedVersion = -9113,
  kSockConstructionParameters = -9114,
  kSockCommTestFailed = -9115,
};

class DriverSocket {
public:
  // Socket type 2 is a datagram socket; any other value a stream socket.
  static constexpr int kDatagram = 2;
  // Longest address text accepted (a DNS name is at most 253 characters).
  static constexpr size_t kMaxAddressLength = 255;

  // Serves only ErrorText (status -9114).
  DriverSocket();
  // A null address, an address text longer than kMaxAddressLength or a
  // negative remote port gives status -9114, returned by every Open.
  DriverSocket(const char* localAddress, const char* remoteAddress, int remotePort, int socketType,
               int localPort);
  ~DriverSocket();
  DriverSocket(const DriverSocket&) = delete;
  DriverSocket& operator=(const DriverSocket&) = delete;

  int Status() const { return status_; }

  // Send/receive time-out (ms; a negative value counts as 0) and the
  // reconnect period (s, limited to 5..1800). The second argument is not used.
  void SetTimeouts(int timeoutMs, int ignored, int reconnectPeriodS);
  void SetBroadcast(int flag);
  int TimeoutMs() const { return timeoutMs_; }
  // The wait as seconds and microseconds.
  long SelectSeconds() const { return selectSeconds_; }
  long SelectMicroseconds() const { return selectMicroseconds_; }
  int ReconnectPeriod() const { return reconnectPeriodS_; }

  // Resolves, binds and connects (stream) or enables broadcast (datagram).
  // The connect waits at most ConnectTimeoutMs().
  int Open();
  int ConnectTimeoutMs() const;
  int Close();
  int IsConnected() const;

  int SendTo(const void* data, int length);
  int ReceiveFrom(void* buffer, int size);
  // One send or receive under its own lock; an exchange holds the lock
  // across both (HoldForExchange).
  int Send(const void* data, int length);
  // Waits at most timeoutMs (the socket's time-out when negative).
  int Receive(void* buffer, int size, int timeoutMs = -1);
  int ReceiveRaw(void* buffer, int size);

  // A receive time-out closes the socket unless its user keeps the stream
  // in step itself (the Modbus TCP master matches replies by transaction
  // id, so a reply that comes late is recognised and skipped).
  void SetCloseOnTimeout(bool close);

  int ReconnectDue();
  int Reopen();
  // The link broke on a glitch of the stream (a reset, the peer's close, a
  // reply out of step): when it had answered since it was opened
  // (NoteAnswered), the next ReconnectDue tries again at once. A link that
  // breaks again before it answers waits the period, so a peer that breaks
  // every connection is not reconnected in every cycle.
  void RetryAtOnce();
  void NoteAnswered();
  // The socket's lock held for a whole exchange (a request and the
  // receives of its reply): one lock round trip per request, none inside.
  class Held {
  public:
    int Send(const void* data, int length) { return socket_.SendHeld(data, length); }
    // Waits at most timeoutMs (the socket's time-out when negative).
    int Receive(void* buffer, int size, int timeoutMs = -1) { return socket_.ReceiveHeld(buffer, size, timeoutMs); }

  private:
    friend class DriverSocket;
    explicit Held(DriverSocket& socket) : socket_(socket), lock_(socket.lock_) {}
    DriverSocket& socket_;
    std::unique_lock<std::recursive_mutex> lock_;
  };
  Held HoldForExchange() { return Held(*this); }
  // While an exchange holds the socket, its requests and replies may also
  // move without a wait, on the scheduler's stack while the exchange's
  // fiber waits (CModbusTCP runs a monitoring cycle ahead of its loop):
  // one non-blocking call each, the result as the socket layer gives it.
  // Sent and Received take over a result that ended such a run, as the
  // exchange's own Send and Receive would have taken it.
  int SendNow(const void* data, int length) { return socket_.SendSome(data, static_cast<size_t>(length)); }
  int ReceiveNow(void* buffer, int size) { return socket_.Recv(buffer, static_cast<size_t>(size)); }
  int Descriptor() const { return socket_.fd(); }
  // See qmx::net::Socket::WatchForInput.
  bool WatchForInput() { return socket_.WatchForInput(); }
  int Sent(int n);
  // n: a count, 0 (the peer closed), kSockTimeout or minus an error number.
  int Received(int n);
  // With an abort check set, no single wait is longer than this.
  static constexpr int kAbortSliceMs = 20;
  bool Sliced() const { return static_cast<bool>(abort_); }
  bool IsStream() const { return socketType_ != kDatagram; }

  // "Ethernet Error. Code: %d. Desc: %s".
  static void ErrorText(int code, std::string& text);
  static const char* Description(int code);

  // Endpoints as resolved by the last Open (network order; for tests and
  // log lines).
  uint32_t LocalAddress() const { return localAddress_; }
  void SetTickSource(TickSource ticks) { gate_.SetTickSource(std::move(ticks)); }
  // Asked between short slices of every wait (connect, send, receive):
  // true ends the wait at once as a time-out, so a stopping monitoring
  // thread never sits out a whole time-out. None: waits are not sliced.
  void SetAbort(std::function<bool()> abort);

private:
  // A wait of the socket for reading or writing until `deadline`, sliced
  // when an abort check is set: 1 ready, 0 time-out or aborted, or minus an
  // error number.
  int WaitUntil(bool writable, std::chrono::steady_clock::time_point deadline);
  // WaitUntil for a transfer: 1 ready, else the transfer's result (minus the
  // error number, or kSockTimeout), already handed to HandleError.
  int WaitOrFail(bool writable, std::chrono::steady_clock::time_point deadline);
  // One read of at most `size` bytes into `buffer` within the socket's
  // time-out: `read(size)` runs once the socket is readable, again while it
  // would block.
  template <class Read>
  int ReadWithinTimeout(void* buffer, int size, Read&& read);
  // Send and Receive of an exchange, under the lock its Held took.
  int SendHeld(const void* data, int length);
  int ReceiveHeld(void* buffer, int size, int timeoutMs);
  int ConnectLocked(uint32_t remote);
  int CloseLocked();
  int IsConnectedLocked() const;
  void HandleError(int code);
  int ResolveLocal(uint32_t* address) const;
  int ResolveRemote(uint32_t* address) const;

  std::string localText_;
  std::string remoteText_;
  int remotePort_ = 0;
  int localPort_ = 0;
  int timeoutMs_ = 2000;
  int socketType_ = 0;
  qmx::net::Socket socket_;
  long selectSeconds_ = 2;
  long selectMicroseconds_ = 0;
  uint32_t localAddress_ = 0;
  uint32_t remoteAddress_ = 0;
  int connected_ = 0;
  int reconnectPeriodS_ = 5;
  ReconnectGate gate_;
  int broadcast_ = 0;
  bool closeOnTimeout_ = true;
  // Set after each framed answer by the one thread that uses the link, so
  // without the lock; read and cleared under it.
  std::atomic<bool> answered_{false};
  mutable std::recursive_mutex lock_;
  std::function<bool()> abort_;
  int status_ = kSockConstructionParameters;
};

}  // namespace tessivar
