#include "tools/simulator/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <modbus.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace qmx::sim {
namespace {

int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
  const char c = 1;
  if (g_signalPipe[1] >= 0) (void)!::write(g_signalPipe[1], &c, 1);
}

void SetNonBlocking(int fd) {
  const int flags = ::fcntl(fd, F_GETFL, 0);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

void WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      pollfd p{fd, POLLOUT, 0};
      ::poll(&p, 1, 100);
    } else {
      return;
    }
  }
}

int BoundPort(int fd) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) return -1;
  return ntohs(a.sin_port);
}

}  // namespace

Server::Server(const SimConfig& config) : config_(config), sim_(config), rtu_(config.rtuGapMs) {
  start_ = Now();
  // Start bit, data bits, parity bit, stop bits.
  const SerialSettings& s = config_.serial;
  const int bits = 1 + s.dataBits + (s.parity == 'N' ? 0 : 1) + s.stopBits;
  if (s.baud > 0) rtuCharacter_ = std::chrono::nanoseconds(1'000'000'000LL * bits / s.baud);
}

Server::~Server() {
  CloseAllClients();
  for (LineClient& c : controlClients_) ::close(c.fd);
  if (controlFd_ >= 0) {
    ::close(controlFd_);
    ::unlink(config_.controlPath.c_str());
  }
  if (udpFd_ >= 0) ::close(udpFd_);
  if (modbusUdpFd_ >= 0) ::close(modbusUdpFd_);
  CloseRtu();
  if (rtuCtx_) modbus_free(rtuCtx_);
  if (listenFd_ >= 0) ::close(listenFd_);
  if (tcpCtx_) modbus_free(tcpCtx_);
}

uint64_t Server::Now() const {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

void Server::Log(const std::string& line) const {
  if (config_.verbose) WriteAll(2, "qmx-sim: " + line + "\n");
}

bool Server::Open(std::string* error) {
  if (config_.tcp.enabled()) {
    tcpCtx_ = modbus_new_tcp(config_.tcp.address.c_str(), config_.tcp.port);
    if (!tcpCtx_) {
      *error = "cannot create the TCP context: " + std::string(modbus_strerror(errno));
      return false;
    }
    listenFd_ = modbus_tcp_listen(tcpCtx_, 16);
    if (listenFd_ < 0) {
      *error = "cannot listen on " + config_.tcp.text() + ": " + modbus_strerror(errno);
      return false;
    }
    SetNonBlocking(listenFd_);
    tcpPort_ = BoundPort(listenFd_);
  }
  if (!config_.rtuDevice.empty()) {
    rtuCtx_ = modbus_new_rtu(config_.rtuDevice.c_str(), config_.serial.baud, config_.serial.parity,
                             config_.serial.dataBits, config_.serial.stopBits);
    if (!rtuCtx_) {
      *error = "cannot create the RTU context: " + std::string(modbus_strerror(errno));
      return false;
    }
    if (!ReopenRtu()) {
      *error = "cannot open " + config_.rtuDevice + ": " + modbus_strerror(errno);
      return false;
    }
  }
  if (config_.discovery.enabled()) {
    udpFd_ = BindUdp(config_.discovery, &udpPort_, error, "the discovery responder");
    if (udpFd_ < 0) return false;
  }
  if (config_.udp.enabled()) {
    modbusUdpFd_ = BindUdp(config_.udp, &modbusUdpPort_, error, "Modbus over UDP");
    if (modbusUdpFd_ < 0) return false;
  }
  if (!config_.controlPath.empty()) {
    sockaddr_un a{};
    if (config_.controlPath.size() >= sizeof a.sun_path) {
      *error = "control socket path too long";
      return false;
    }
    struct stat st {};
    if (::lstat(config_.controlPath.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) ::unlink(config_.controlPath.c_str());
    controlFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, config_.controlPath.c_str(), sizeof a.sun_path - 1);
    if (::bind(controlFd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(controlFd_, 4) != 0) {
      *error = "cannot listen on " + config_.controlPath + ": " + std::strerror(errno);
      ::close(controlFd_);
      controlFd_ = -1;
      return false;
    }
  }
  switch (config_.stdinMode) {
    case StdinMode::Ignore: stdinCommands_ = false; break;
    case StdinMode::Commands: stdinCommands_ = true; break;
    case StdinMode::Auto: {
      struct stat st {};
      // A pipe or socket, or the terminal while we are in its foreground.
      const bool foregroundTty = ::isatty(0) && ::tcgetpgrp(0) == ::getpgrp();
      stdinCommands_ = foregroundTty || (::fstat(0, &st) == 0 && (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)));
      break;
    }
  }
  return true;
}

int Server::BindUdp(const Endpoint& at, int* port, std::string* error, const char* what) {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const int on = 1;
  // Several responders may share a port (each gets a copy of a broadcast).
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(at.port));
  ::inet_pton(AF_INET, at.address.c_str(), &a.sin_addr);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    *error = std::string("cannot bind ") + what + " to " + at.text() + ": " + std::strerror(errno);
    ::close(fd);
    return -1;
  }
  *port = BoundPort(fd);
  return fd;
}

std::string Server::ReadyLine() const {
  std::string s = "READY";
  if (listenFd_ >= 0) s += " tcp=" + config_.tcp.address + ":" + std::to_string(tcpPort_);
  if (modbusUdpFd_ >= 0) s += " udp=" + config_.udp.address + ":" + std::to_string(modbusUdpPort_);
  if (rtuCtx_) s += " rtu=" + config_.rtuDevice;
  if (udpFd_ >= 0) s += " discovery=" + config_.discovery.address + ":" + std::to_string(udpPort_);
  if (controlFd_ >= 0) s += " control=" + config_.controlPath;
  s += " nodes=";
  for (size_t i = 0; i < sim_.stations().size(); ++i) {
    if (i) s += ',';
    s += std::to_string(sim_.stations()[i]->node());
  }
  return s;
}

bool Server::ReopenRtu() {
  CloseRtu();
  if (modbus_connect(rtuCtx_) != 0) return false;
  rtuFd_ = modbus_get_socket(rtuCtx_);
  return rtuFd_ >= 0;
}

void Server::CloseRtu() {
  if (rtuCtx_ && rtuFd_ >= 0) modbus_close(rtuCtx_);
  rtuFd_ = -1;
  rtuOut_ = Queue{};
}

void Server::Enqueue(Queue& q, const ReplyPlan& plan, uint64_t now) {
  uint64_t t = q.items.empty() ? now : std::max(now, q.items.back().due);
  for (const ReplyChunk& c : plan.chunks) {
    t += c.delayMs;
    q.items.push_back({t, c.bytes, false});
  }
  if (plan.close) q.items.push_back({t, {}, true});
}

void Server::HoldForTheLine(size_t firstNew, size_t requestLength) {
  // The request had crossed by now at the earliest; each frame after it
  // crosses behind the one before.
  auto lineFree = std::chrono::steady_clock::now() + rtuCharacter_ * static_cast<long>(requestLength);
  for (size_t i = firstNew; i < rtuOut_.items.size(); ++i) {
    Pending& p = rtuOut_.items[i];
    lineFree = std::max(lineFree, p.notBefore) + rtuCharacter_ * static_cast<long>(p.bytes.size());
    p.notBefore = lineFree;
  }
}

bool Server::Flush(Queue& q, int fd, uint64_t now) {
  while (!q.items.empty() && q.items.front().due <= now &&
         (q.sent > 0 || q.items.front().notBefore <= std::chrono::steady_clock::now())) {
    Pending& p = q.items.front();
    if (p.close) return false;
    while (q.sent < p.bytes.size()) {
      const ssize_t n = fd == rtuFd_ ? ::write(fd, p.bytes.data() + q.sent, p.bytes.size() - q.sent)
                                     : ::send(fd, p.bytes.data() + q.sent, p.bytes.size() - q.sent, MSG_NOSIGNAL);
      if (n > 0) {
        q.sent += static_cast<size_t>(n);
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
        return true;  // POLLOUT brings us back
      } else {
        return false;
      }
    }
    if (fd == rtuFd_) ::tcdrain(fd);
    q.items.pop_front();
    q.sent = 0;
  }
  return true;
}

int Server::NextWakeMs(uint64_t now) const {
  int64_t wake = 1000;
  auto consider = [&](const Queue& q) {
    if (!q.items.empty()) wake = std::min<int64_t>(wake, static_cast<int64_t>(q.items.front().due) - static_cast<int64_t>(now));
  };
  for (const Client& c : clients_) consider(c.out);
  consider(udpOut_);  // the serial line's queue: NextWake
  const int gap = rtu_.MsUntilGap(now);
  if (gap >= 0) wake = std::min<int64_t>(wake, gap);
  if (rtuCtx_ && rtuFd_ < 0) wake = std::min<int64_t>(wake, 500);
  return static_cast<int>(std::max<int64_t>(wake, 0));
}

std::chrono::nanoseconds Server::NextWake(uint64_t now) const {
  std::chrono::nanoseconds wake = std::chrono::milliseconds(NextWakeMs(now));
  if (!rtuOut_.items.empty()) {
    const Pending& front = rtuOut_.items.front();
    std::chrono::nanoseconds left = std::chrono::milliseconds(static_cast<int64_t>(front.due) - static_cast<int64_t>(now));
    if (rtuOut_.sent == 0) left = std::max(left, std::chrono::nanoseconds(front.notBefore - std::chrono::steady_clock::now()));
    wake = std::min(wake, std::max(left, std::chrono::nanoseconds(0)));
  }
  return wake;
}

void Server::AcceptTcp() {
  for (;;) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (static_cast<int>(clients_.size()) >= config_.maxClients) {
      Log("connection refused: too many clients");
      ::close(fd);
      continue;
    }
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    Client c;
    c.fd = fd;
    c.lastActivity = Now();
    clients_.push_back(std::move(c));
    Log("TCP client connected");
  }
}

bool Server::ReadTcp(Client& c, uint64_t now) {
  uint8_t buf[4096];
  for (;;) {
    const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
    if (n > 0) {
      c.in.insert(c.in.end(), buf, buf + n);
      continue;
    }
    if (n == 0) return false;
    if (errno == EAGAIN || errno == EWOULDBLOCK) break;
    if (errno == EINTR) continue;
    return false;
  }
  c.lastActivity = now;
  for (;;) {
    TcpRequest req;
    const TcpCut cut = CutTcpRequest(c.in, &req);
    if (cut == TcpCut::NeedMore) return true;
    if (cut == TcpCut::Malformed) {
      Log("malformed MBAP header, closing the connection");
      return false;
    }
    if (req.protocolId != 0) {
      Log("request with protocol id " + std::to_string(req.protocolId) + " ignored");
      continue;
    }
    sim_.SetTime(now - start_);
    const ReplyPlan plan = sim_.HandleTcp(req);
    if (config_.verbose) {
      std::string line = "T< " + ToHex(TcpFrame(req.transactionId, req.unit, req.pdu)) + "  >";
      for (const ReplyChunk& ch : plan.chunks) line.append(" ").append(ToHex(ch.bytes));
      if (plan.chunks.empty()) line += plan.close ? " (close)" : " (silence)";
      Log(line);
    }
    Enqueue(c.out, plan, now);
  }
}

void Server::ReadRtu(uint64_t now) {
  uint8_t buf[512];
  for (;;) {
    const ssize_t n = ::read(rtuFd_, buf, sizeof buf);
    if (n > 0) {
      rtu_.Feed(buf, static_cast<size_t>(n), now);
      continue;
    }
    // A line set up without a minimum count returns 0 when nothing is waiting.
    if (n == 0 || (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))) break;
    if (n < 0 && errno == EINTR) continue;
    // The line went away (the other end of the pty closed): try again later.
    Log("serial line lost, reopening");
    CloseRtu();
    rtuRetryAt_ = now + 500;
    return;
  }
  ServeRtuFrames(now);
}

void Server::ServeRtuFrames(uint64_t now) {
  while (rtu_.badFrames() > seenBad_) {
    ++seenBad_;
    sim_.CountBadFrame();
    Log("bad RTU frame discarded");
  }
  uint8_t unit = 0;
  Bytes pdu;
  while (rtu_.Next(&unit, &pdu)) {
    sim_.SetTime(now - start_);
    const ReplyPlan plan = sim_.HandleRtu(unit, pdu);
    if (config_.verbose) {
      std::string line = "R< ";
      line += ToHex(RtuFrame(unit, pdu));
      line += "  >";
      for (const ReplyChunk& ch : plan.chunks) line.append(" ").append(ToHex(ch.bytes));
      if (plan.chunks.empty()) line += " (no reply)";
      Log(line);
    }
    const size_t queued = rtuOut_.items.size();
    Enqueue(rtuOut_, plan, now);
    HoldForTheLine(queued, 1 + pdu.size() + 2);
  }
}

void Server::ReadDiscovery() {
  for (;;) {
    uint8_t buf[1500];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(udpFd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) return;
    const Bytes reply = sim_.HandleDiscovery(buf, static_cast<size_t>(n));
    char addr[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &from.sin_addr, addr, sizeof addr);
    Log("discovery datagram of " + std::to_string(n) + " bytes from " + addr + ":" +
        std::to_string(ntohs(from.sin_port)) + (reply.empty() ? ", no reply" : ", replying"));
    if (!reply.empty())
      ::sendto(udpFd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
  }
}

void Server::ReadModbusUdp(uint64_t now) {
  for (;;) {
    uint8_t buf[1500];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    const ssize_t n = ::recvfrom(modbusUdpFd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (n < 0) return;
    // One request per datagram; bytes beyond its MBAP length are ignored.
    Bytes datagram(buf, buf + n);
    TcpRequest req;
    if (CutTcpRequest(datagram, &req) != TcpCut::Request || req.protocolId != 0) {
      Log("UDP datagram of " + std::to_string(n) + " bytes is no Modbus request, ignored");
      continue;
    }
    sim_.SetTime(now - start_);
    const ReplyPlan plan = sim_.HandleTcp(req, 'U');
    if (config_.verbose) {
      std::string line = "U< ";
      line += ToHex(TcpFrame(req.transactionId, req.unit, req.pdu));
      line += "  >";
      for (const ReplyChunk& ch : plan.chunks) line.append(" ").append(ToHex(ch.bytes));
      if (plan.chunks.empty()) line += " (no reply)";
      Log(line);
    }
    // Each piece of a segmented reply is a datagram of its own; there is no
    // connection to drop.
    const size_t before = udpOut_.items.size();
    Enqueue(udpOut_, plan, now);
    for (size_t i = before; i < udpOut_.items.size(); ++i) udpOut_.items[i].to = from;
  }
}

void Server::FlushUdp(uint64_t now) {
  while (!udpOut_.items.empty() && udpOut_.items.front().due <= now) {
    const Pending& p = udpOut_.items.front();
    if (!p.close)
      ::sendto(modbusUdpFd_, p.bytes.data(), p.bytes.size(), 0, reinterpret_cast<const sockaddr*>(&p.to),
               sizeof p.to);
    udpOut_.items.pop_front();
  }
}

void Server::AcceptControl() {
  for (;;) {
    const int fd = ::accept4(controlFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    controlClients_.push_back({fd, {}});
  }
}

int Server::ReadLines(int fd, std::string& buffer, int replyFd) {
  // One read per readiness, so a terminal on stdin is never switched to
  // non-blocking mode (that would reach the shell that shares it).
  char buf[1024];
  int state = 1;
  const ssize_t n = ::read(fd, buf, sizeof buf);
  if (n > 0) buffer.append(buf, static_cast<size_t>(n));
  else if (n == 0) state = 0;
  else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) state = -1;
  size_t nl;
  while ((nl = buffer.find('\n')) != std::string::npos) {
    std::string line = buffer.substr(0, nl);
    buffer.erase(0, nl + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    const std::string answer = sim_.Execute(line);
    Log("control: " + line + " -> " + answer);
    WriteAll(replyFd, answer + "\n");
    if (sim_.TakeDisconnectRequest()) CloseAllClients();
  }
  return state;
}

void Server::CloseAllClients() {
  for (Client& c : clients_) ::close(c.fd);
  clients_.clear();
}

uint16_t Server::IdleTimeoutSeconds() {
  Bytes b;
  if (!sim_.primary().ObjectBytes(reg::kTcpConnectionTimeout, &b) || b.size() != 2) return 0;
  return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

int Server::Run() {
  if (::pipe2(g_signalPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
  }
  ::signal(SIGPIPE, SIG_IGN);
  // Commands from a terminal: a simulator put in the background stops
  // reading them instead of being stopped by the terminal.
  ::signal(SIGTTIN, SIG_IGN);

  while (!stop_ && !sim_.quitRequested()) {
    uint64_t now = Now();
    if (rtuCtx_ && rtuFd_ < 0 && now >= rtuRetryAt_) {
      if (!ReopenRtu()) rtuRetryAt_ = now + 500;
    }
    std::vector<pollfd> fds;
    enum Kind { kSignal, kStdin, kListen, kClient, kRtu, kUdp, kModbusUdp, kControl, kControlClient };
    std::vector<std::pair<Kind, size_t>> what;
    auto add = [&](int fd, short events, Kind k, size_t i = 0) {
      fds.push_back({fd, events, 0});
      what.emplace_back(k, i);
    };
    if (g_signalPipe[0] >= 0) add(g_signalPipe[0], POLLIN, kSignal);
    if (stdinCommands_) add(0, POLLIN, kStdin);
    if (listenFd_ >= 0) add(listenFd_, POLLIN, kListen);
    for (size_t i = 0; i < clients_.size(); ++i) {
      const bool waiting = clients_[i].out.sent > 0;
      add(clients_[i].fd, static_cast<short>(POLLIN | (waiting ? POLLOUT : 0)), kClient, i);
    }
    if (rtuFd_ >= 0) add(rtuFd_, static_cast<short>(POLLIN | (rtuOut_.sent > 0 ? POLLOUT : 0)), kRtu);
    if (udpFd_ >= 0) add(udpFd_, POLLIN, kUdp);
    if (modbusUdpFd_ >= 0) add(modbusUdpFd_, POLLIN, kModbusUdp);
    if (controlFd_ >= 0) add(controlFd_, POLLIN, kControl);
    for (size_t i = 0; i < controlClients_.size(); ++i) add(controlClients_[i].fd, POLLIN, kControlClient, i);

    const auto wake = NextWake(now);
    const timespec timeout{static_cast<time_t>(wake.count() / 1'000'000'000),
                           static_cast<long>(wake.count() % 1'000'000'000)};
    const int r = ::ppoll(fds.data(), fds.size(), &timeout, nullptr);
    if (r < 0 && errno != EINTR) break;
    now = Now();
    std::vector<int> closedClients;
    std::vector<size_t> closedControl;
    for (size_t k = 0; r > 0 && k < fds.size(); ++k) {
      if (!fds[k].revents) continue;
      const auto [kind, i] = what[k];
      switch (kind) {
        case kSignal: stop_ = true; break;
        case kStdin: {
          const int state = ReadLines(0, stdinBuffer_, 1);
          if (state <= 0) stdinCommands_ = false;
          if (state == 0) stop_ = true;  // the end of the commands: whoever drove us is gone
          break;
        }
        case kListen: AcceptTcp(); break;
        case kClient:
          // A "disconnect" command may have closed the clients meanwhile.
          if (i < clients_.size() && clients_[i].fd == fds[k].fd && !ReadTcp(clients_[i], now))
            closedClients.push_back(fds[k].fd);
          break;
        case kRtu:
          if (fds[k].revents & (POLLHUP | POLLERR)) {
            Log("serial line hung up, reopening");
            CloseRtu();
            rtuRetryAt_ = now + 500;
          } else {
            ReadRtu(now);
          }
          break;
        case kUdp: ReadDiscovery(); break;
        case kModbusUdp: ReadModbusUdp(now); break;
        case kControl: AcceptControl(); break;
        case kControlClient:
          if (ReadLines(controlClients_[i].fd, controlClients_[i].in, controlClients_[i].fd) <= 0)
            closedControl.push_back(i);
          break;
      }
    }
    for (auto it = closedControl.rbegin(); it != closedControl.rend(); ++it) {
      ::close(controlClients_[*it].fd);
      controlClients_.erase(controlClients_.begin() + static_cast<long>(*it));
    }
    for (int fd : closedClients) {
      auto it = std::find_if(clients_.begin(), clients_.end(), [fd](const Client& c) { return c.fd == fd; });
      if (it == clients_.end()) continue;
      ::close(fd);
      clients_.erase(it);
      Log("TCP client closed");
    }
    rtu_.Tick(now);
    ServeRtuFrames(now);
    const uint16_t idle = IdleTimeoutSeconds();
    for (size_t i = clients_.size(); i-- > 0;) {
      Client& c = clients_[i];
      // A client accepted in this pass has a later time than `now`: compare
      // without subtracting, or it would look idle for ages and be closed.
      const bool idleOut = idle > 0 && c.out.items.empty() && now >= c.lastActivity + idle * 1000ull;
      if (!Flush(c.out, c.fd, now) || idleOut) {
        ::close(c.fd);
        clients_.erase(clients_.begin() + static_cast<long>(i));
        Log(idleOut ? "idle TCP client closed" : "TCP connection closed");
      }
    }
    if (modbusUdpFd_ >= 0) FlushUdp(now);
    if (rtuFd_ >= 0 && !Flush(rtuOut_, rtuFd_, now)) {
      Log("serial write failed");
      CloseRtu();
      rtuRetryAt_ = now + 500;
    }
  }
  return 0;
}

}  // namespace qmx::sim
