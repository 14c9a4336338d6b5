#!/usr/bin/python3
"""An independent Modbus peer for the driver's tests, on pymodbus 3.0.

It plays a QMX-4101 adapter with two 8-point input modules and one 8-point
output module as the driver addresses it: object-addressed registers
(0x1110 slot count, 0x1113 module list, 0x1114/0x1115 image modes, 0x1119
bus status, 0x1028 I/O update time, 0x2011 + 32 (n - 1) module parameters),
the input image at register 0, the output image at register 2048 (coils
from 4096) and the FC 8 echo. Framing, request decoding and reply encoding
are pymodbus's; the faults are applied to the frames it builds.

  modbus_peer.py (--tcp HOST:PORT | --rtu PATH [--baud N]) [--unit N]

On RTU a reply leaves no sooner than request and reply could have crossed
a line at N baud, 8N1 (default 19200): a pty pair carries bytes at once.

Prints "READY tcp=HOST:PORT" or "READY rtu=PATH", then takes one command a
line on stdin and answers each with one line:
  fault KIND[=VALUE][,fc=N][,address=A][,count=N]   add a fault rule
      exception=CODE  exception reply CODE (the request is not carried out)
      delay=MS        the reply leaves MS ms late (later replies queue behind it)
      silence         no reply
      wrong-unit      the reply carries unit + 1
      wrong-tid       the TCP reply carries another transaction id
      repeat=MS       the reply is sent again MS ms later
  clear                     all fault rules go
  stats                     "OK connections=N requests=N echoes=N writes=N"
  output                    "OK HEX" of the output image byte
  quit
The peer ends when stdin closes.
"""

import argparse
import os
import selectors
import socket
import sys
import termios
import threading
import time
import tty

from pymodbus.factory import ServerDecoder
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.framer.socket_framer import ModbusSocketFramer
from pymodbus.pdu import ExceptionResponse

OUTPUT_REGISTER = 2048
COIL_BASE = 4096


class Station:
    """The register model: registers by address (FC 3 and FC 4 read the same
    table), the output byte also as the coils from 4096 (FC 15)."""

    def __init__(self):
        self.registers = {
            0x0000: [0xA55A],  # the input image 5A A5
            OUTPUT_REGISTER: [0],
            0x1110: [3],  # ExpansionSlotNo
            0x1113: [0x4101, 0x1808, 0x1808, 0x2808],
            0x1114: [2],  # InputMode: uncompressed, no status word
            0x1115: [0],  # OutputMode
            0x1119: [0],  # BusStatus
            0x1028: [0x0A0B],  # IOUpdateTime
            0x2011: [0x1111],
            0x2031: [0x2222],
            0x2051: [0x3333],
        }
        self.writes = 0

    # The context pymodbus's requests execute against.
    def validate(self, fc, address, count=1):
        if fc == 15:
            return COIL_BASE <= address and address + count <= COIL_BASE + 8
        return count <= len(self.registers.get(address, []))

    def getValues(self, fc, address, count=1):
        return self.registers[address][:count]

    def setValues(self, fc, address, values):
        self.writes += 1
        if fc == 15:
            output = self.registers[OUTPUT_REGISTER]
            for i, v in enumerate(values):
                bit = 1 << (address - COIL_BASE + i)
                output[0] = output[0] | bit if v else output[0] & ~bit
        else:
            self.registers[address][: len(values)] = values


class Rule:
    def __init__(self, text):
        parts = text.split(",")
        kind, _, value = parts[0].partition("=")
        if kind not in ("exception", "delay", "silence", "wrong-unit", "wrong-tid", "repeat"):
            raise ValueError("unknown fault " + kind)
        self.kind = kind
        self.value = int(value, 0) if value else (4 if kind == "exception" else 0)
        self.fc = None
        self.address = None
        self.count = -1
        for option in parts[1:]:
            key, _, v = option.partition("=")
            if key == "fc":
                self.fc = int(v, 0)
            elif key == "address":
                self.address = int(v, 0)
            elif key == "count":
                self.count = int(v, 0)
            else:
                raise ValueError("unknown option " + key)

    def matches(self, request):
        if self.fc is not None and request.function_code != self.fc:
            return False
        if self.address is not None and getattr(request, "address", None) != self.address:
            return False
        return True


class Peer:
    def __init__(self, unit, character=0.0):
        self.lock = threading.Lock()
        # Seconds a character takes on the serial line (0: no line).
        self.character = character
        self.station = Station()
        self.rules = []
        self.unit = unit
        self.connections = 0
        self.requests = 0
        self.echoes = 0
        # Frames waiting to leave: (time, fd, bytes); kept in time order per fd.
        self.outgoing = []

    def take_rule(self, request):
        for rule in self.rules:
            if rule.matches(request):
                if rule.count > 0:
                    rule.count -= 1
                    if rule.count == 0:
                        self.rules.remove(rule)
                return rule
        return None

    def answer(self, framer, request, fd):
        """Executes one decoded request and schedules its reply frames."""
        with self.lock:
            self.requests += 1
            self.echoes += request.function_code == 8
            rule = self.take_rule(request)
            if rule and rule.kind == "silence":
                return
            if rule and rule.kind == "exception":
                reply = ExceptionResponse(request.function_code, rule.value)
            else:
                reply = request.execute(self.station)
            reply.transaction_id = request.transaction_id
            reply.unit_id = request.unit_id
            if rule and rule.kind == "wrong-unit":
                reply.unit_id = (request.unit_id + 1) & 0xFF
            if rule and rule.kind == "wrong-tid":
                reply.transaction_id = (request.transaction_id + 0x1000) & 0xFFFF
            frame = framer.buildPacket(reply)
            now = time.monotonic()
            # The request (unit, PDU, CRC) and the reply crossing the line.
            crossing = (len(request.encode()) + 4 + len(frame)) * self.character
            at = now + crossing + (rule.value / 1000.0 if rule and rule.kind == "delay" else 0)
            # A station answers in order: nothing overtakes a delayed reply.
            for t, f, _ in self.outgoing:
                if f == fd and t > at:
                    at = t
            self.outgoing.append((at, fd, frame))
            if rule and rule.kind == "repeat":
                self.outgoing.append((at + rule.value / 1000.0, fd, frame))
            self.outgoing.sort(key=lambda item: item[0])

    def due_frames(self):
        with self.lock:
            now = time.monotonic()
            due = [item for item in self.outgoing if item[0] <= now]
            self.outgoing = [item for item in self.outgoing if item[0] > now]
            wait = self.outgoing[0][0] - now if self.outgoing else None
        return due, wait

    def forget(self, fd):
        with self.lock:
            self.outgoing = [item for item in self.outgoing if item[1] != fd]

    def command(self, line):
        words = line.split()
        if not words:
            return "ERR empty"
        with self.lock:
            if words[0] == "fault" and len(words) == 2:
                self.rules.append(Rule(words[1]))
                return "OK"
            if words[0] == "clear":
                self.rules = []
                return "OK"
            if words[0] == "stats":
                return "OK connections=%d requests=%d echoes=%d writes=%d" % (
                    self.connections, self.requests, self.echoes, self.station.writes)
            if words[0] == "output":
                return "OK %02X" % self.station.registers[OUTPUT_REGISTER][0]
        return "ERR unknown command"


def serve_tcp(peer, listener):
    selector = selectors.DefaultSelector()
    selector.register(listener, selectors.EVENT_READ)
    framers = {}
    sockets = {}
    while True:
        due, wait = peer.due_frames()
        for _, fd, frame in due:
            if fd in sockets:
                try:
                    sockets[fd].sendall(frame)
                except OSError:
                    pass
        timeout = 0.05 if wait is None else max(0.0, min(wait, 0.05))
        for key, _ in selector.select(timeout):
            if key.fileobj is listener:
                conn, _ = listener.accept()
                conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
                sockets[conn.fileno()] = conn
                framers[conn.fileno()] = ModbusSocketFramer(ServerDecoder())
                selector.register(conn, selectors.EVENT_READ)
                with peer.lock:
                    peer.connections += 1
                continue
            conn = key.fileobj
            fd = conn.fileno()
            try:
                data = conn.recv(4096)
            except OSError:
                data = b""
            if not data:
                selector.unregister(conn)
                peer.forget(fd)
                del sockets[fd], framers[fd]
                conn.close()
                continue
            framer = framers[fd]
            framer.processIncomingPacket(
                data, lambda request, f=framer, d=fd: peer.answer(f, request, d), unit=[], single=True)


def serve_rtu(peer, path):
    fd = os.open(path, os.O_RDWR | os.O_NOCTTY)
    tty.setraw(fd, termios.TCSANOW)
    framer = ModbusRtuFramer(ServerDecoder())
    selector = selectors.DefaultSelector()
    selector.register(fd, selectors.EVENT_READ)
    while True:
        due, wait = peer.due_frames()
        for _, _, frame in due:
            os.write(fd, frame)
        timeout = 0.05 if wait is None else max(0.0, min(wait, 0.05))
        if selector.select(timeout):
            data = os.read(fd, 4096)
            framer.processIncomingPacket(
                data, lambda request: peer.answer(framer, request, fd), unit=[peer.unit])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tcp")
    parser.add_argument("--rtu")
    parser.add_argument("--unit", type=int, default=1)
    parser.add_argument("--baud", type=int, default=19200)
    parser.add_argument("--stdin")  # the test harness names its control channel
    args = parser.parse_args()
    peer = Peer(args.unit, 0.0 if args.tcp else 10.0 / args.baud)
    if args.tcp:
        host, _, port = args.tcp.rpartition(":")
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind((host, int(port)))
        listener.listen(8)
        threading.Thread(target=serve_tcp, args=(peer, listener), daemon=True).start()
        ready = "READY tcp=%s:%d" % listener.getsockname()
    else:
        threading.Thread(target=serve_rtu, args=(peer, args.rtu), daemon=True).start()
        ready = "READY rtu=" + args.rtu
    print(ready, flush=True)
    for line in sys.stdin:
        if line.strip() == "quit":
            break
        try:
            answer = peer.command(line)
        except (ValueError, IndexError) as error:
            answer = "ERR %s" % error
        print(answer, flush=True)


if __name__ == "__main__":
    main()
