// IPv4 sockets over POSIX with bounded waits.
//
// Every socket is non-blocking underneath; the waits (connect, readable,
// writable) take a time-out in milliseconds, so no call blocks without a
// bound. Sends never raise SIGPIPE. Failures are reported as Windows Sockets
// style error numbers (10000 + n, see WsaErrorFromErrno), which is what the
// driver's socket codes and texts are built on.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace qmx::net {

// Windows Sockets error numbers used by the socket layer.
enum WsaError : int {
  kWsaEintr = 10004,
  kWsaEbadf = 10009,
  kWsaEacces = 10013,
  kWsaEfault = 10014,
  kWsaEinval = 10022,
  kWsaEmfile = 10024,
  kWsaEwouldblock = 10035,
  kWsaEinprogress = 10036,
  kWsaEalready = 10037,
  kWsaEnotsock = 10038,
  kWsaEdestaddrreq = 10039,
  kWsaEmsgsize = 10040,
  kWsaEprototype = 10041,
  kWsaEnoprotoopt = 10042,
  kWsaEprotonosupport = 10043,
  kWsaEsocktnosupport = 10044,
  kWsaEopnotsupp = 10045,
  kWsaEpfnosupport = 10046,
  kWsaEafnosupport = 10047,
  kWsaEaddrinuse = 10048,
  kWsaEaddrnotavail = 10049,
  kWsaEnetdown = 10050,
  kWsaEnetunreach = 10051,
  kWsaEnetreset = 10052,
  kWsaEconnaborted = 10053,
  kWsaEconnreset = 10054,
  kWsaEnobufs = 10055,
  kWsaEisconn = 10056,
  kWsaEnotconn = 10057,
  kWsaEshutdown = 10058,
  kWsaEtoomanyrefs = 10059,
  kWsaEtimedout = 10060,
  kWsaEconnrefused = 10061,
  kWsaEloop = 10062,
  kWsaEnametoolong = 10063,
  kWsaEhostdown = 10064,
  kWsaEhostunreach = 10065,
  kWsaEnotempty = 10066,
  kWsaEusers = 10068,
  kWsaEdquot = 10069,
  kWsaEstale = 10070,
  kWsaEremote = 10071,
  kWsaSyscallFailure = 10107,
  kWsaHostNotFound = 11001,
  kWsaTryAgain = 11002,
  kWsaNoRecovery = 11003,
  kWsaNoData = 11004,
};

// The Windows Sockets error number for an errno value; 0 for 0. An errno
// with no counterpart gives `fallback` (the layer itself passes
// kWsaSyscallFailure). A write to a connection the peer has
// closed (EPIPE) counts as an aborted connection.
int WsaErrorFromErrno(int err, int fallback);
// The error number for a getaddrinfo() failure.
int WsaErrorFromResolver(int gaiError);

// Dotted IPv4 text ("a.b.c.d", each 0..255) to an address in network order.
bool ParseDottedIPv4(const std::string& text, uint32_t* address);
// Resolves a host name (or dotted text) to its first IPv4 address. Returns 0
// or a Windows Sockets error number.
int ResolveIPv4(const std::string& name, uint32_t* address);
// The first IPv4 address of this host's own name (gethostname); falls back to
// 127.0.0.1 when the name does not resolve. Returns 0 or an error number.
int LocalHostFirstAddress(uint32_t* address);
// "a.b.c.d" of an address in network order.
std::string FormatIPv4(uint32_t address);

class Socket {
public:
  Socket() = default;
  ~Socket();
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  Socket(Socket&& other) noexcept;
  Socket& operator=(Socket&& other) noexcept;

  // SOCK_STREAM or SOCK_DGRAM. Returns 0 or an error number.
  int Create(int type);
  bool IsValid() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  int Bind(uint32_t address, uint16_t port);
  int SetBroadcast(int value);
  // Each datagram received tells the interface it came in by (see
  // RecvFromInterface).
  int SetReceiveInterface(bool on);
  // Asks for a receive buffer of `bytes`: beyond the system's limit where the
  // process has the right, else up to the limit. Returns 0 or an error number.
  int SetReceiveBuffer(int bytes);
  // Connects within timeoutMs; kWsaEtimedout when the peer does not answer
  // in time. Returns 0 or an error number.
  int Connect(uint32_t address, uint16_t port, int timeoutMs);

  // 1 ready, 0 time-out, negative: minus an error number. A time-out below 0
  // counts as 0.
  int WaitReadable(int timeoutMs);
  int WaitWritable(int timeoutMs);

  // One non-blocking call each: a count (0 for a closed peer on Recv), or
  // minus an error number (-kWsaEwouldblock when nothing can move now).
  int SendSome(const void* data, size_t length);
  int Recv(void* buffer, size_t size);
  int SendTo(const void* data, size_t length, uint32_t address, uint16_t port);
  int RecvFrom(void* buffer, size_t size, uint32_t* fromAddress, uint16_t* fromPort);
  // RecvFrom that also gives the index of the interface the datagram came in
  // by (0 when the socket was not asked to tell, SetReceiveInterface).
  int RecvFromInterface(void* buffer, size_t size, uint32_t* fromAddress, uint16_t* fromPort,
                        unsigned* interfaceIndex);
  // SendTo through one interface: a broadcast leaves there, whatever the
  // routes say and also where there is no route at all.
  int SendToThrough(const void* data, size_t length, uint32_t address, uint16_t port, unsigned interfaceIndex);
  // A receive that waits at most timeoutMs for data inside the one call
  // (no separate readiness wait): a count, 0 for a closed peer,
  // -kWsaEwouldblock when nothing came in time, or minus an error number.
  // The first call turns the socket's own blocking on (every other call here
  // asks not to block for itself); a later Connect turns it off again. On a
  // fiber the wait goes to the scheduler, so that the other fibers run: the
  // socket stays registered there from then on, and it waits only once every
  // byte that had come has been read.
  int RecvWithin(void* buffer, size_t size, int timeoutMs);
  // For a caller that waits for input itself (fiber::AwaitInput with a
  // handler, reading with Recv): the socket is registered as RecvWithin
  // leaves it. True when the last read took every byte that had come, so a
  // wait may begin; false: read first.
  bool WatchForInput() {
    watched_ = true;
    return drained_;
  }

  int LocalEndpoint(uint32_t* address, uint16_t* port) const;

  // Shuts both directions down and closes; errors are ignored.
  void Close();

private:
  int SetBlocking(bool on);
  // What a read left behind, from what it returned (errno for a failure).
  void NoteRead(ssize_t n, size_t size);

  int fd_ = -1;
  bool stream_ = false;
  bool blocking_ = false;
  // Registered with the fiber scheduler (RecvWithin on a fiber).
  bool watched_ = false;
  // The last read took every byte that had come: what comes next is
  // reported by the scheduler.
  bool drained_ = false;
  // The receive time-out the socket holds (ms; -1: none set yet).
  int receiveTimeoutMs_ = -1;
};

}  // namespace qmx::net
