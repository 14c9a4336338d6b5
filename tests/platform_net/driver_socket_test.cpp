// The driver's socket against loopback peers that accept, stall, close and
// reset, and against an address nobody answers inside a namespace.
#include "driver/modbus/driver_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/net/socket.h"
#include "tests/driver/netns_helper.h"

namespace tessivar {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// A plain listening socket on 127.0.0.1 with an ephemeral port.
class Peer {
public:
  explicit Peer(int type = SOCK_STREAM) {
    fd_ = ::socket(AF_INET, type, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&sa), sizeof sa), 0);
    if (type == SOCK_STREAM) {
      EXPECT_EQ(::listen(fd_, 4), 0);
    }
    socklen_t len = sizeof sa;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&sa), &len);
    port_ = ntohs(sa.sin_port);
  }
  ~Peer() {
    if (conn_ >= 0) ::close(conn_);
    if (fd_ >= 0) ::close(fd_);
  }
  int port() const { return port_; }
  int fd() const { return fd_; }
  int Accept() {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, 2000) != 1) return -1;
    conn_ = ::accept(fd_, nullptr, nullptr);
    return conn_;
  }
  int conn() const { return conn_; }
  void CloseConn() {
    ::close(conn_);
    conn_ = -1;
  }
  void ResetConn() {
    linger l{1, 0};
    ::setsockopt(conn_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    CloseConn();
  }
  void CloseListener() {
    ::close(fd_);
    fd_ = -1;
  }

private:
  int fd_ = -1;
  int conn_ = -1;
  int port_ = 0;
};

std::string Read(int fd, size_t n) {
  std::string out(n, '\0');
  size_t got = 0;
  while (got < n) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 2000) != 1) break;
    const ssize_t r = ::recv(fd, &out[got], n - got, 0);
    if (r <= 0) break;
    got += static_cast<size_t>(r);
  }
  out.resize(got);
  return out;
}

std::unique_ptr<DriverSocket> Connected(Peer& peer, int timeoutMs = 300) {
  auto s = std::make_unique<DriverSocket>("", "127.0.0.1", peer.port(), 0, 0);
  s->SetTimeouts(timeoutMs, 0, 5);
  return s;
}

TEST(DriverSocket, ExchangesBytesWithAnAcceptingPeer) {
  Peer peer;
  DriverSocket s("", "127.0.0.1", peer.port(), 0, 0);
  s.SetTimeouts(500, 0, 5);
  ASSERT_EQ(s.Open(), 1);
  EXPECT_EQ(s.IsConnected(), 1);
  ASSERT_GE(peer.Accept(), 0);

  const uint8_t request[12] = {0, 1, 0, 0, 0, 6, 1, 3, 0, 0, 0, 2};
  EXPECT_EQ(s.Send(request, 12), 12);
  EXPECT_EQ(Read(peer.conn(), 12), std::string(reinterpret_cast<const char*>(request), 12));

  const char reply[] = "\x00\x01\x00\x00\x00\x07\x01\x03\x04\x00\x0A\x00\x0B";
  ASSERT_EQ(::send(peer.conn(), reply, 13, 0), 13);
  uint8_t buffer[64] = {};
  EXPECT_EQ(s.Receive(buffer, sizeof buffer), 13);
  EXPECT_EQ(std::memcmp(buffer, reply, 13), 0);

  // A large send goes out whole.
  std::vector<uint8_t> big(200000, 0x5A);
  std::string received;
  ASSERT_EQ(::fcntl(peer.conn(), F_SETFL, O_NONBLOCK), 0);
  s.SetTimeouts(3000, 0, 5);
  std::thread drain([&] {
    const auto until = Clock::now() + 5s;
    char chunk[65536];
    while (received.size() < big.size() && Clock::now() < until) {
      const ssize_t r = ::recv(peer.conn(), chunk, sizeof chunk, 0);
      if (r > 0) {
        received.append(chunk, static_cast<size_t>(r));
      } else {
        std::this_thread::sleep_for(1ms);
      }
    }
  });
  EXPECT_EQ(s.Send(big.data(), static_cast<int>(big.size())), static_cast<int>(big.size()));
  drain.join();
  EXPECT_EQ(received.size(), big.size());
}

TEST(DriverSocket, AStalledPeerTimesOutAndClosesTheSocket) {
  Peer peer;
  auto owned = Connected(peer, 250);
  DriverSocket& s = *owned;
  EXPECT_EQ(s.SelectSeconds(), 0);
  EXPECT_EQ(s.SelectMicroseconds(), 250000);
  ASSERT_EQ(s.Open(), 1);
  ASSERT_GE(peer.Accept(), 0);
  uint8_t buffer[16];
  const auto start = Clock::now();
  EXPECT_EQ(s.Receive(buffer, sizeof buffer), kSockTimeout);
  const auto took = Clock::now() - start;
  EXPECT_GE(took, 240ms);
  EXPECT_LT(took, 1500ms);
  EXPECT_EQ(s.IsConnected(), 0);
  EXPECT_EQ(s.Send("x", 1), kSockNotConnected);
  EXPECT_EQ(s.Receive(buffer, sizeof buffer), kSockNotConnected);
}

TEST(DriverSocket, ASlicedWaitTakesALateReplyAndEndsOnAnAbort) {
  Peer peer;
  auto owned = Connected(peer, 2000);
  DriverSocket& s = *owned;
  std::atomic<bool> abort{false};
  s.SetAbort([&] { return abort.load(); });
  ASSERT_EQ(s.Open(), 1);
  ASSERT_GE(peer.Accept(), 0);

  // A reply that comes several slices into the wait is taken whole.
  std::thread late([&] {
    std::this_thread::sleep_for(90ms);
    ::send(peer.conn(), "reply", 5, 0);
  });
  uint8_t buffer[16] = {};
  EXPECT_EQ(s.Receive(buffer, sizeof buffer), 5);
  late.join();
  EXPECT_EQ(std::memcmp(buffer, "reply", 5), 0);

  // A stop ends the wait within a slice, long before the time-out.
  std::thread stop([&] {
    std::this_thread::sleep_for(50ms);
    abort = true;
  });
  const auto start = Clock::now();
  EXPECT_EQ(s.Receive(buffer, sizeof buffer), kSockTimeout);
  stop.join();
  EXPECT_LT(Clock::now() - start, 500ms);

  // The socket waited inside its receives; a new connection still connects
  // within its own time-out.
  abort = false;
  EXPECT_EQ(s.Open(), 1);
  EXPECT_EQ(s.IsConnected(), 1);
}

// A receive that gets nothing waits out its time-out, neither less nor much
// more, whether it waits in one piece or in abort slices (the deadline is
// taken only once the first slice has run out), and whether the time-out is
// the socket's or the call's.
TEST(DriverSocket, AnUnansweredReceiveWaitsItsWholeTimeout) {
  struct Case {
    int socketMs;
    int callMs;  // -1: the socket's
    bool sliced;
    int waitsMs;
  };
  const Case cases[] = {{0, -1, false, 0},   {0, -1, true, 0},    {60, -1, false, 60}, {10, -1, true, 10},
                        {130, -1, true, 130}, {2000, 70, true, 70}, {2000, 45, false, 45}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.socketMs << " ms, call " << c.callMs << " ms, sliced " << c.sliced);
    Peer peer;
    auto owned = Connected(peer, c.socketMs);
    DriverSocket& s = *owned;
    if (c.sliced) s.SetAbort([] { return false; });
    ASSERT_EQ(s.Open(), 1);
    ASSERT_GE(peer.Accept(), 0);
    uint8_t buffer[16];
    const auto start = Clock::now();
    EXPECT_EQ(s.Receive(buffer, sizeof buffer, c.callMs), kSockTimeout);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, std::chrono::milliseconds(c.waitsMs) - 2ms);
    EXPECT_LT(took, std::chrono::milliseconds(c.waitsMs) + 400ms);
  }
}

TEST(DriverSocket, APeerThatClosesLeavesItNotConnected) {
  Peer peer;
  auto owned = Connected(peer);
  DriverSocket& s = *owned;
  ASSERT_EQ(s.Open(), 1);
  ASSERT_GE(peer.Accept(), 0);
  peer.CloseConn();
  uint8_t buffer[16];
  EXPECT_EQ(s.Receive(buffer, sizeof buffer), 0);
  EXPECT_EQ(s.IsConnected(), 0);
  EXPECT_EQ(s.Send("x", 1), kSockNotConnected);
}

TEST(DriverSocket, APeerThatResetsGivesTheResetCode) {
  Peer peer;
  auto owned = Connected(peer);
  DriverSocket& s = *owned;
  ASSERT_EQ(s.Open(), 1);
  ASSERT_GE(peer.Accept(), 0);
  peer.ResetConn();
  uint8_t buffer[16];
  EXPECT_EQ(s.Receive(buffer, sizeof buffer), -qmx::net::kWsaEconnreset);
  EXPECT_EQ(s.IsConnected(), 0);
  std::string text;
  DriverSocket::ErrorText(-10054, text);
  EXPECT_EQ(text, "Ethernet Error. Code: -10054. Desc: Connection reset by peer.");
}

TEST(DriverSocket, SendingToAClosedPeerReturnsACodeInsteadOfKillingTheProcess) {
  Peer peer;
  auto owned = Connected(peer);
  DriverSocket& s = *owned;
  ASSERT_EQ(s.Open(), 1);
  ASSERT_GE(peer.Accept(), 0);
  peer.CloseConn();
  std::this_thread::sleep_for(20ms);
  // The first send may still be taken by the stack; the peer answers it with
  // a reset, and the next one fails. Without MSG_NOSIGNAL the process would
  // die of SIGPIPE here.
  int r = 0;
  for (int i = 0; i < 20 && r >= 0; ++i) {
    r = s.Send("0123456789", 10);
    std::this_thread::sleep_for(5ms);
  }
  EXPECT_LT(r, 0);
  EXPECT_TRUE(r == -qmx::net::kWsaEconnreset || r == -qmx::net::kWsaEconnaborted || r == kSockNotConnected) << r;
  EXPECT_EQ(s.IsConnected(), 0);
}

TEST(DriverSocket, ARefusedConnectionFailsAndStaysClosed) {
  int port;
  {
    Peer gone;
    port = gone.port();
  }
  DriverSocket s("", "127.0.0.1", port, 0, 0);
  EXPECT_EQ(s.Open(), -qmx::net::kWsaEconnrefused);
  EXPECT_EQ(s.IsConnected(), 0);
  EXPECT_EQ(s.Send("x", 1), kSockNotConnected);
}

TEST(DriverSocket, ConnectToASilentAddressTimesOut) {
  std::string reason;
  const bool ran = qmx::test::RunInNetNamespace(
      [] {
        // 10.79.0.2 has a neighbour entry but no host behind it: the SYN
        // leaves and nothing ever answers.
        ASSERT_TRUE(qmx::test::Shell(
            "ip link add qmxs0 type veth peer name qmxs1 && ip addr add 10.79.0.1/24 dev qmxs0 && "
            "ip link set qmxs0 up && ip link set qmxs1 up && "
            "ip neigh add 10.79.0.2 lladdr 02:00:00:00:79:02 dev qmxs0"));
        DriverSocket s("", "10.79.0.2", 502, 0, 0);
        s.SetTimeouts(250, 0, 10);
        const auto start = Clock::now();
        EXPECT_EQ(s.Open(), -qmx::net::kWsaEtimedout);
        const auto took = Clock::now() - start;
        EXPECT_GE(took, std::chrono::milliseconds(s.ConnectTimeoutMs() - 20));
        EXPECT_LT(took, std::chrono::milliseconds(s.ConnectTimeoutMs() + 1000));
        EXPECT_EQ(s.IsConnected(), 0);

        // A longer exchange time-out is the connect bound too.
        DriverSocket slow("", "10.79.0.2", 502, 0, 0);
        slow.SetTimeouts(1500, 0, 10);
        EXPECT_EQ(slow.ConnectTimeoutMs(), 1500);
        const auto start2 = Clock::now();
        EXPECT_EQ(slow.Open(), -qmx::net::kWsaEtimedout);
        EXPECT_GE(Clock::now() - start2, 1450ms);
      },
      &reason);
  if (!ran) GTEST_SKIP() << reason;
}

TEST(DriverSocket, AddressTextsAreCheckedAndBounded) {
  DriverSocket unknown("", "no-such-host.invalid", 502, 0, 0);
  EXPECT_EQ(unknown.Open(), kSockHostAddressInvalid);
  EXPECT_EQ(unknown.IsConnected(), 0);
  DriverSocket badChars("", "10.0.0.1;x", 502, 0, 0);
  EXPECT_EQ(badChars.Open(), kSockHostAddressInvalid);
  DriverSocket badDotted("", "300.1.1.1", 502, 0, 0);
  EXPECT_EQ(badDotted.Open(), kSockHostAddressInvalid);
  DriverSocket empty("", "", 502, 0, 0);
  EXPECT_EQ(empty.Open(), kSockHostAddressInvalid);
  DriverSocket badLocal("a b", "127.0.0.1", 502, 0, 0);
  EXPECT_EQ(badLocal.Open(), kSockAdapterAddressInvalid);
  DriverSocket unknownLocal("no-such-host.invalid", "127.0.0.1", 502, 0, 0);
  EXPECT_EQ(unknownLocal.Open(), kSockAdapterAddressInvalid);

  // Construction parameters: every open returns the status.
  const std::string longName(DriverSocket::kMaxAddressLength + 1, 'a');
  DriverSocket tooLong("", longName.c_str(), 502, 0, 0);
  EXPECT_EQ(tooLong.Status(), kSockConstructionParameters);
  EXPECT_EQ(tooLong.Open(), kSockConstructionParameters);
  DriverSocket tooLongLocal(longName.c_str(), "127.0.0.1", 502, 0, 0);
  EXPECT_EQ(tooLongLocal.Open(), kSockConstructionParameters);
  DriverSocket nullAddress(nullptr, "127.0.0.1", 502, 0, 0);
  EXPECT_EQ(nullAddress.Open(), kSockConstructionParameters);
  DriverSocket negativePort("", "127.0.0.1", -1, 0, 0);
  EXPECT_EQ(negativePort.Open(), kSockConstructionParameters);
  DriverSocket textsOnly;
  EXPECT_EQ(textsOnly.Open(), kSockConstructionParameters);
}

TEST(DriverSocket, LocalAddressChoices) {
  Peer peer;
  DriverSocket any("", "127.0.0.1", peer.port(), 0, 0);
  ASSERT_EQ(any.Open(), 1);
  EXPECT_EQ(any.LocalAddress(), htonl(INADDR_ANY));
  DriverSocket loopbackText("127.0.0.1", "127.0.0.1", peer.port(), 0, 0);
  ASSERT_EQ(loopbackText.Open(), 1);
  EXPECT_EQ(loopbackText.LocalAddress(), htonl(INADDR_ANY));
  DriverSocket nullText("(NULL)", "127.0.0.1", peer.port(), 0, 0);
  ASSERT_EQ(nullText.Open(), 1);
  EXPECT_EQ(nullText.LocalAddress(), htonl(INADDR_ANY));

  uint32_t own = 0;
  ASSERT_EQ(qmx::net::LocalHostFirstAddress(&own), 0);
  DriverSocket local("localhost", "127.0.0.1", peer.port(), 0, 0);
  EXPECT_EQ(local.Open(), 1);
  EXPECT_EQ(local.LocalAddress(), own);
}

TEST(DriverSocket, TimeoutsAndReconnectPeriodAreBounded) {
  DriverSocket s("", "127.0.0.1", 502, 0, 0);
  EXPECT_EQ(s.TimeoutMs(), 2000);
  EXPECT_EQ(s.SelectSeconds(), 2);
  EXPECT_EQ(s.ReconnectPeriod(), 5);
  const std::pair<int, int> periods[] = {{3, 5}, {5, 5}, {6, 6}, {1799, 1799}, {1800, 1800}, {4000, 1800}, {-9, 5}};
  for (const auto& [given, stored] : periods) {
    s.SetTimeouts(1000, 0, given);
    EXPECT_EQ(s.ReconnectPeriod(), stored) << given;
  }
  s.SetTimeouts(2750, 0, 10);
  EXPECT_EQ(s.SelectSeconds(), 2);
  EXPECT_EQ(s.SelectMicroseconds(), 750000);
  s.SetTimeouts(-5, 0, 10);
  EXPECT_EQ(s.TimeoutMs(), 0);
}

TEST(DriverSocket, SendAndReceiveCheckTheirArguments) {
  Peer peer;
  auto owned = Connected(peer);
  DriverSocket& s = *owned;
  uint8_t buffer[4];
  EXPECT_EQ(s.Send(nullptr, 4), kSockBadParameter);
  EXPECT_EQ(s.Send(buffer, 0), kSockBadParameter);
  EXPECT_EQ(s.Receive(buffer, -1), kSockBadParameter);
  EXPECT_EQ(s.Send(buffer, 4), kSockNotConnected) << "not opened yet";
}

TEST(DriverSocket, ReconnectionGateWaitsOneFullPeriod) {
  uint32_t now = 1000;
  DriverSocket s("", "127.0.0.1", 502, 0, 0);
  s.SetTimeouts(250, 0, 10);
  s.SetTickSource([&] { return now; });
  EXPECT_EQ(s.ReconnectDue(), 2) << "first test arms the gate";
  now += 4000;
  EXPECT_EQ(s.ReconnectDue(), 2);
  now += 6000;
  EXPECT_EQ(s.ReconnectDue(), 2) << "the full period has only now been counted";
  now += 1;
  EXPECT_EQ(s.ReconnectDue(), 1);
  EXPECT_EQ(s.ReconnectDue(), 2) << "counting starts again, still armed";
  now += 10001;
  EXPECT_EQ(s.ReconnectDue(), 2);
  EXPECT_EQ(s.ReconnectDue(), 1);
  // A tick count that goes back adds nothing.
  now -= 500;
  EXPECT_EQ(s.ReconnectDue(), 2);
}

TEST(DriverSocket, ReopenReconnectsAndReportsFailures) {
  Peer peer;
  uint32_t now = 0;
  auto owned = Connected(peer);
  DriverSocket& s = *owned;
  s.SetTickSource([&] { return now; });
  ASSERT_EQ(s.Open(), 1);
  EXPECT_EQ(s.ReconnectDue(), 3) << "connected: nothing to do";
  EXPECT_EQ(s.Reopen(), 3);
  ASSERT_GE(peer.Accept(), 0);
  peer.CloseConn();
  uint8_t buffer[4];
  EXPECT_EQ(s.Receive(buffer, 4), 0);
  EXPECT_EQ(s.ReconnectDue(), 2) << "nothing answered on this link: the period applies";
  EXPECT_EQ(s.Reopen(), 1) << "the listener still accepts";
  EXPECT_EQ(s.IsConnected(), 1);

  peer.CloseListener();
  s.Close();
  EXPECT_EQ(s.Reopen(), kSockReconnectFailed);
  EXPECT_EQ(s.ReconnectDue(), 2) << "a failed reopen disarms: one full period again";
}

TEST(DriverSocket, DatagramBroadcastSocketSendsAndReceives) {
  Peer peer(SOCK_DGRAM);
  // Bind the driver's side to a known local port, as the discovery does.
  int localPort;
  {
    Peer probe(SOCK_DGRAM);
    localPort = probe.port();
  }
  DriverSocket s("127.0.0.1", "127.0.0.1", peer.port(), DriverSocket::kDatagram, localPort);
  s.SetTimeouts(300, 0, 5);
  s.SetBroadcast(1);
  ASSERT_EQ(s.Open(), 1);
  EXPECT_EQ(s.LocalAddress(), htonl(INADDR_ANY)) << "a broadcast socket binds to any address";
  const uint8_t request[16] = {0xFF, 0xFF, 0xEE, 0xEE, 0x0E, 0x00, 0x00, 0x06,
                               0x78, 0x00, 0x01, 0x00, 0x00, 0x00, 0xCC, 0xCC};
  EXPECT_EQ(s.SendTo(request, 16), 16);
  uint8_t got[32];
  sockaddr_in from{};
  socklen_t len = sizeof from;
  pollfd p{peer.fd(), POLLIN, 0};
  ASSERT_EQ(::poll(&p, 1, 2000), 1);
  ASSERT_EQ(::recvfrom(peer.fd(), got, sizeof got, 0, reinterpret_cast<sockaddr*>(&from), &len), 16);
  EXPECT_EQ(ntohs(from.sin_port), localPort);
  EXPECT_EQ(std::memcmp(got, request, 16), 0);

  // Nothing waiting: a time-out that leaves the socket open.
  uint8_t reply[266];
  EXPECT_EQ(s.ReceiveFrom(reply, sizeof reply), kSockTimeout);
  EXPECT_EQ(s.IsConnected(), 1);
  ASSERT_EQ(::sendto(peer.fd(), "\xEE\xEE\xFF\xFF\x0E\x80\x00\x00\x01", 9, 0, reinterpret_cast<sockaddr*>(&from), len),
            9);
  EXPECT_EQ(s.ReceiveFrom(reply, sizeof reply), 9);
  EXPECT_EQ(reply[5], 0x80);

  // Draining: read until nothing is left.
  for (int i = 0; i < 3; ++i) ::sendto(peer.fd(), "old", 3, 0, reinterpret_cast<sockaddr*>(&from), len);
  std::this_thread::sleep_for(20ms);
  int drained = 0;
  while (s.ReceiveRaw(reply, sizeof reply) > 0) ++drained;
  EXPECT_EQ(drained, 3);
  EXPECT_EQ(s.IsConnected(), 1);
}

TEST(WsaErrors, ErrnoValuesMapToTheSocketErrorNumbers) {
  const std::pair<int, int> cases[] = {
      {0, 0},
      {ECONNREFUSED, 10061},
      {ECONNRESET, 10054},
      {EPIPE, 10053},
      {ETIMEDOUT, 10060},
      {EHOSTUNREACH, 10065},
      {ENETUNREACH, 10051},
      {EADDRINUSE, 10048},
      {EAGAIN, 10035},
      {EINPROGRESS, 10036},
      {ENOTCONN, 10057},
      {EINVAL, 10022},
      {ENOENT, 10107},
  };
  for (const auto& [err, wsa] : cases) EXPECT_EQ(qmx::net::WsaErrorFromErrno(err, 10107), wsa) << err;
  EXPECT_EQ(qmx::net::WsaErrorFromResolver(EAI_NONAME), 11001);
  uint32_t address = 0;
  EXPECT_EQ(qmx::net::ResolveIPv4("no-such-host.invalid", &address), 11001);
  EXPECT_EQ(qmx::net::ResolveIPv4("127.0.0.1", &address), 0);
  EXPECT_EQ(qmx::net::FormatIPv4(address), "127.0.0.1");
}

}  // namespace
}  // namespace tessivar
