// Replies per second of Plenvar (its main dialog shown, the request list
// growing) and of dnsmasq for the same static table of MAC-to-IP rows, in one
// run: each server sits in a network namespace of its own, linked by a veth
// pair to a client namespace; nothing reaches a real network.
//
//   sudo bench-bin/bench_bootp [--rounds=9] [--chunk=8000] [--table=1000] [--window=32]
//   sudo bench-bin/bench_bootp --flood=1000,3000,10000 [--seconds=10]
//
// A client keeps `window` requests outstanding (each with its own xid, from
// the table's MACs in turn) and counts the replies of one chunk; a request
// without a reply after 200 ms counts as lost and the next goes out. Rounds
// run A B then B A, so a change in the machine's load falls on both. Plenvar's
// request list grows by each chunk (it starts over past 65,535 rows); the
// table gives its rows at the start of each chunk, to show the rate flat.
// At the end: the ratio Plenvar / dnsmasq per round, min/median/max.
//
// --flood: a second client floods each server with requests from unlisted
// MACs at each rate (paced per millisecond) while a listed device asks every
// 20 ms; each good request's time to its reply is taken, and the table gives
// how many were answered within 100 ms (the goal: all) and the slowest.
//
// dnsmasq (Debian package dnsmasq or dnsmasq-base) is started here with
// --conf-file=/dev/null and only the link's interface.
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QMetaObject>
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "bootp/core/bootp_packet.h"
#include "bootp/ui/PlenvarDlg.h"
#include "platform/net/socket.h"
#include "tools/netns/netns_rig.h"

namespace {

using Clock = std::chrono::steady_clock;
using qmx::plenvar::kBootpBroadcastAddress;
using qmx::plenvar::kBootpClientPort;
using qmx::plenvar::kBootpServerPort;

struct Options {
  int rounds = 9;
  int chunk = 8000;
  int table = 1000;
  int window = 32;
  std::vector<int> floodRates;  // empty: the reply-rate comparison
  int seconds = 10;
};

std::vector<int> Rates(const char* text) {
  std::vector<int> out;
  for (const char* p = text; *p != 0;) {
    out.push_back(std::atoi(p));
    p = std::strchr(p, ',');
    if (p == nullptr) break;
    ++p;
  }
  return out;
}

int IntOption(const char* arg, const char* name, int fallback) {
  const size_t n = std::strlen(name);
  return std::strncmp(arg, name, n) == 0 ? std::atoi(arg + n) : fallback;
}

// Row i of the static table: MAC 02-4D-9A-00-hi-lo, address 10.82.(100 + i / 250).(1 + i % 250).
std::array<uint8_t, 6> TableMac(int i) {
  return {0x02, 0x4D, 0x9A, 0x00, static_cast<uint8_t>(i >> 8), static_cast<uint8_t>(i & 0xFF)};
}
std::string TableIp(int i) { return "10.82." + std::to_string(100 + i / 250) + "." + std::to_string(1 + i % 250); }

// A BOOTREQUEST as a BOOTP client sends it: the broadcast flag set (so
// either server answers by broadcast) and an empty vendor area.
std::vector<uint8_t> Request(uint32_t xid, const std::array<uint8_t, 6>& mac) {
  std::vector<uint8_t> d(300, 0);
  d[0] = 1;
  d[1] = 1;
  d[2] = 6;
  std::memcpy(&d[4], &xid, 4);
  d[10] = 0x80;
  std::copy(mac.begin(), mac.end(), d.begin() + 28);
  const uint8_t cookie[5] = {99, 130, 83, 99, 255};
  std::copy(cookie, cookie + 5, d.begin() + 236);
  return d;
}

struct ChunkResult {
  int answered = 0;
  int lost = 0;
  double seconds = 0;
  double rate() const { return seconds > 0 ? answered / seconds : 0; }
};

// One client on the far end of a server's link.
class Client {
public:
  bool Open(const qmx::netns::PeerNamespace& where) {
    int rc = -1;
    where.Inside([&] {
      rc = socket_.Create(SOCK_DGRAM);
      if (rc == 0) rc = socket_.Bind(0, kBootpClientPort);
      if (rc == 0) rc = socket_.SetBroadcast(1);
    });
    return rc == 0;
  }

  ChunkResult Run(int count, int window, int table, int* nextRow) {
    ChunkResult r;
    std::unordered_map<uint32_t, Clock::time_point> outstanding;
    int sent = 0;
    auto sendOne = [&] {
      const uint32_t xid = nextXid_++;
      const auto d = Request(xid, TableMac((*nextRow)++ % table));
      socket_.SendTo(d.data(), d.size(), kBootpBroadcastAddress, kBootpServerPort);
      outstanding.emplace(xid, Clock::now());
      ++sent;
    };
    const auto start = Clock::now();
    while (sent < count && static_cast<int>(outstanding.size()) < window) sendOne();
    uint8_t reply[600];
    while (r.answered + r.lost < count) {
      pollfd ready{socket_.fd(), POLLIN, 0};
      if (::poll(&ready, 1, 20) > 0) {
        int n;
        while ((n = socket_.RecvFrom(reply, sizeof reply, nullptr, nullptr)) >= 240) {
          uint32_t xid;
          std::memcpy(&xid, reply + 4, 4);
          if (reply[0] != 2 || outstanding.erase(xid) == 0) continue;
          ++r.answered;
          if (sent < count) sendOne();
        }
      }
      const auto now = Clock::now();
      for (auto it = outstanding.begin(); it != outstanding.end();) {
        if (now - it->second < std::chrono::milliseconds(200)) {
          ++it;
          continue;
        }
        it = outstanding.erase(it);
        ++r.lost;
        if (sent < count) sendOne();
      }
    }
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return r;
  }

  struct FloodResult {
    int asked = 0;
    int inTime = 0;  // answered within 100 ms
    int lost = 0;    // not answered within a second
    double slowestMs = 0;
  };
  // A listed device (row 0) asks every 20 ms for `seconds`.
  FloodResult Ask(int seconds) {
    FloodResult r;
    std::unordered_map<uint32_t, Clock::time_point> outstanding;
    const auto start = Clock::now();
    auto nextAsk = start;
    uint8_t reply[600];
    while (Clock::now() - start < std::chrono::seconds(seconds) || !outstanding.empty()) {
      auto now = Clock::now();
      if (now >= nextAsk && now - start < std::chrono::seconds(seconds)) {
        const uint32_t xid = nextXid_++;
        const auto d = Request(xid, TableMac(0));
        socket_.SendTo(d.data(), d.size(), kBootpBroadcastAddress, kBootpServerPort);
        outstanding.emplace(xid, now);
        ++r.asked;
        nextAsk += std::chrono::milliseconds(20);
      }
      pollfd ready{socket_.fd(), POLLIN, 0};
      ::poll(&ready, 1, 2);
      while (socket_.RecvFrom(reply, sizeof reply, nullptr, nullptr) >= 240) {
        uint32_t xid;
        std::memcpy(&xid, reply + 4, 4);
        const auto it = outstanding.find(xid);
        if (reply[0] != 2 || it == outstanding.end()) continue;
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - it->second).count();
        r.slowestMs = std::max(r.slowestMs, ms);
        if (ms <= 100) ++r.inTime;
        outstanding.erase(it);
      }
      now = Clock::now();
      for (auto it = outstanding.begin(); it != outstanding.end();) {
        if (now - it->second < std::chrono::seconds(1)) {
          ++it;
          continue;
        }
        it = outstanding.erase(it);
        ++r.lost;
        r.slowestMs = std::max(r.slowestMs, 1000.0);
      }
    }
    return r;
  }

  // True once one request of row 0 is answered within `ms`.
  bool Answers(int ms) {
    int row = 0;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
      if (Run(1, 1, 1, &row).answered == 1) return true;
    }
    return false;
  }

private:
  qmx::net::Socket socket_;
  uint32_t nextXid_ = 0x10000000;
};

// A server namespace linked to a client namespace: server end s 10.82.0.1/16,
// client end c 10.82.0.2/16 with a default route for its broadcasts.
bool Link(const std::string& serverIp, const std::string& clientNs, const std::string& serverEnd,
          const std::string& clientEnd, std::string* why) {
  const std::string c = "ip -n " + clientNs + " ";
  return qmx::netns::RunCommands({serverIp + "link add " + serverEnd + " type veth peer name " + clientEnd +
                                      " netns " + clientNs,
                                  serverIp + "addr add 10.82.0.1/16 dev " + serverEnd,
                                  serverIp + "link set " + serverEnd + " up", c + "addr add 10.82.0.2/16 dev " +
                                      clientEnd,
                                  c + "link set " + clientEnd + " up", c + "route add default dev " + clientEnd},
                                 why);
}

// Requests from unlisted MACs at `rate` a second, paced per millisecond,
// until `stop`.
void Flood(const qmx::netns::PeerNamespace& where, int rate, const std::atomic<bool>& stop) {
  qmx::net::Socket flood;
  where.Inside([&] {
    if (flood.Create(SOCK_DGRAM) == 0) flood.SetBroadcast(1);
  });
  const auto start = Clock::now();
  long sent = 0;
  while (!stop.load()) {
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    for (const long due = static_cast<long>(elapsed * rate); sent < due; ++sent) {
      const std::array<uint8_t, 6> mac{0x02, 0x11, 0x22, static_cast<uint8_t>(sent >> 16),
                                       static_cast<uint8_t>(sent >> 8), static_cast<uint8_t>(sent)};
      const auto d = Request(0xF0000000u + static_cast<uint32_t>(sent), mac);
      flood.SendTo(d.data(), d.size(), kBootpBroadcastAddress, kBootpServerPort);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(500));
  }
}

pid_t StartDnsmasq(const qmx::netns::PeerNamespace& where, const std::string& hostsFile) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const std::string hosts = "--dhcp-hostsfile=" + hostsFile;
  ::execlp("ip", "ip", "netns", "exec", where.name().c_str(), "dnsmasq", "--keep-in-foreground",
           "--conf-file=/dev/null", "--port=0", "--interface=dm0", "--except-interface=lo",
           "--dhcp-range=10.82.0.0,static,255.255.0.0", hosts.c_str(), "--leasefile-ro", "--dhcp-lease-max=100000",
           "--quiet-dhcp", "--log-facility=/dev/null", "--pid-file=", "--user=root", static_cast<char*>(nullptr));
  std::perror("dnsmasq");
  ::_exit(127);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    o.rounds = IntOption(argv[i], "--rounds=", o.rounds);
    o.chunk = IntOption(argv[i], "--chunk=", o.chunk);
    o.table = IntOption(argv[i], "--table=", o.table);
    o.window = IntOption(argv[i], "--window=", o.window);
    o.seconds = IntOption(argv[i], "--seconds=", o.seconds);
    if (std::strncmp(argv[i], "--flood=", 8) == 0) o.floodRates = Rates(argv[i] + 8);
  }
  std::string why;
  // Plenvar runs in this process, in a namespace of its own; the others are
  // named so dnsmasq and the clients can be put there.
  if (!qmx::netns::EnterNewNamespace(&why)) {
    std::fprintf(stderr, "bench_bootp: needs root for network namespaces (%s)\n", why.c_str());
    return 2;
  }
  qmx::netns::PeerNamespace dnsmasqNs("dm"), dnsmasqClientNs("dc"), plenvarClientNs("pc");
  if (!dnsmasqNs.Make(&why) || !dnsmasqClientNs.Make(&why) || !plenvarClientNs.Make(&why) ||
      !Link("ip ", plenvarClientNs.name(), "pv0", "pvc", &why) ||
      !Link(dnsmasqNs.Ip(), dnsmasqClientNs.name(), "dm0", "dmc", &why)) {
    std::fprintf(stderr, "bench_bootp: %s\n", why.c_str());
    return 2;
  }

  // The same table for both.
  char hostsFile[] = "/tmp/bench_bootp_hosts_XXXXXX";
  const int hostsFd = ::mkstemp(hostsFile);
  std::vector<qmx::plenvar::SetupRow> rows;
  {
    std::ofstream hosts(hostsFile);
    for (int i = 0; i < o.table; ++i) {
      const auto mac = TableMac(i);
      const std::string text = qmx::plenvar::FormatMac(mac.data());
      std::string colons = text;
      std::replace(colons.begin(), colons.end(), '-', ':');
      hosts << colons << "," << TableIp(i) << "\n";
      rows.push_back({text, TableIp(i), "255.255.0.0", "10.82.0.1", "1"});
    }
  }
  ::close(hostsFd);
  const pid_t dnsmasq = StartDnsmasq(dnsmasqNs, hostsFile);

  if (std::getenv("DISPLAY") == nullptr) ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  qmx::plenvar::PlenvarDlg dialog;
  if (const int rc = dialog.OpenServerSocket(); rc != 0) {
    std::fprintf(stderr, "bench_bootp: Plenvar's socket: %d\n", rc);
    return 2;
  }
  dialog.PutSetupRows(rows);
  dialog.OnStart();
  dialog.show();

  int status = 0;
  std::thread clients([&] {
    Client plenvar, reference;
    if (!plenvar.Open(plenvarClientNs) || !reference.Open(dnsmasqClientNs)) {
      std::fprintf(stderr, "bench_bootp: client sockets\n");
      status = 2;
    } else if (!reference.Answers(5000) || !plenvar.Answers(5000)) {
      std::fprintf(stderr, "bench_bootp: a server does not answer (dnsmasq missing?)\n");
      status = 2;
    } else if (!o.floodRates.empty()) {
      std::printf("a listed device asks every 20 ms for %d s while unlisted ones flood\n", o.seconds);
      std::printf("%8s %8s %14s %8s %12s\n", "flood/s", "server", "within 100 ms", "lost", "slowest ms");
      for (int rate : o.floodRates) {
        for (int side = 0; side < 2; ++side) {
          const bool isPlenvar = side == 0;
          std::atomic<bool> stop{false};
          std::thread flood(Flood, std::cref(isPlenvar ? plenvarClientNs : dnsmasqClientNs), rate, std::cref(stop));
          const Client::FloodResult r = (isPlenvar ? plenvar : reference).Ask(o.seconds);
          stop = true;
          flood.join();
          std::printf("%8d %8s %8d/%-5d %8d %12.1f\n", rate, isPlenvar ? "Plenvar" : "dnsmasq", r.inTime, r.asked,
                      r.lost, r.slowestMs);
          std::fflush(stdout);
          std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the flood's tail drains
        }
      }
    } else {
      std::printf("table %d rows, chunks of %d requests, %d outstanding, %d rounds (A B, B A)\n", o.table, o.chunk,
                  o.window, o.rounds);
      std::printf("%5s %12s %12s %14s %8s %10s\n", "round", "Plenvar/s", "dnsmasq/s", "Plenvar rows", "ratio",
                  "lost P/D");
      std::vector<double> ratios;
      int plenvarRow = 0, dnsmasqRow = 0;
      long listed = 2;  // the two probes above
      for (int round = 0; round < o.rounds; ++round) {
        const long rowsAtStart = listed % (qmx::plenvar::RequestList::kMaxRows + 1);
        ChunkResult p, d;
        if (round % 2 == 0) {
          p = plenvar.Run(o.chunk, o.window, o.table, &plenvarRow);
          d = reference.Run(o.chunk, o.window, o.table, &dnsmasqRow);
        } else {
          d = reference.Run(o.chunk, o.window, o.table, &dnsmasqRow);
          p = plenvar.Run(o.chunk, o.window, o.table, &plenvarRow);
        }
        listed += o.chunk;
        const double ratio = d.rate() > 0 ? p.rate() / d.rate() : 0;
        ratios.push_back(ratio);
        std::printf("%5d %12.0f %12.0f %14ld %8.2f %5d/%d\n", round + 1, p.rate(), d.rate(), rowsAtStart, ratio,
                    p.lost, d.lost);
        std::fflush(stdout);
      }
      std::sort(ratios.begin(), ratios.end());
      std::printf("ratio Plenvar / dnsmasq: min %.2f median %.2f max %.2f (goal >= 0.5)\n", ratios.front(),
                  Median(ratios), ratios.back());
    }
    QMetaObject::invokeMethod(&app, [&app] { app.quit(); }, Qt::QueuedConnection);
  });
  app.exec();
  clients.join();
  ::kill(dnsmasq, SIGTERM);
  ::waitpid(dnsmasq, nullptr, 0);
  ::unlink(hostsFile);
  return status;
}
