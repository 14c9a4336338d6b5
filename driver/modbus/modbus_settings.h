// The two settings blocks a Modbus master connects with: TcpCommSetting for
// the Modbus TCP master (and the discovery socket), SerialCommSetting for the
// Modbus RTU master. The driver object keeps one of each, filled from the
// channel property text; the defaults are those of a freshly built driver
// object.
#pragma once

#include <string>

namespace tessivar {

struct TcpCommSetting {
  int unitId = 1;
  // Address to bind; empty binds to any local address.
  std::string localName;
  // The adapter's address (host name or dotted text).
  std::string ipAddress;
  int port = 502;
  int timeoutMs = 250;
  // Handed to the socket as its socket type: 2 is a datagram socket, every
  // other value a stream connection.
  int socketType = 0;
  // Bound only by a datagram socket.
  int localPort = 4322;
  // Handed to the socket, which does not use it.
  int field5Value = 5;
  // Seconds between reconnection attempts (the socket keeps it in 5..1800).
  int reconnectPeriodS = 10;
  int field7Value = 0;
  // 1: a datagram socket bound to any address with broadcasting on.
  int broadcast = 0;
};

struct SerialCommSetting {
  int slaveAddress = 1;
  int comPort = 1;
  int baudRate = 9600;
  int dataBits = 8;
  int parityCode = 0;
  int stopBitsCode = 0;
  // Per-byte read time-out.
  int timeoutMs = 500;
  // Whole-frame write time-out.
  int secondTimeoutMs = 500;
  // The pause before a read-type request and before a write (ms): the time a
  // device on the bus is given to turn round. Not part of the settings text.
  int requestDelayMs = 10;
  int writeDelayMs = 50;
};

}  // namespace tessivar
