#!/usr/bin/python3
"""Decodes BOOTP packets with scapy, independently of the server's own code.

Usage: scapy_decode.py FILE...   prints one JSON object per file.
"""
import json
import sys

from scapy.layers.dhcp import BOOTP, DHCP


def decode(raw):
    p = BOOTP(raw)
    out = {
        "length": len(raw),
        "op": p.op,
        "htype": p.htype,
        "hlen": p.hlen,
        "xid": p.xid,
        "ciaddr": p.ciaddr,
        "yiaddr": p.yiaddr,
        "siaddr": p.siaddr,
        "giaddr": p.giaddr,
        "chaddr": p.chaddr[:6].hex(),
        "sname": p.sname.rstrip(b"\0").decode("latin-1"),
        "options": {},
    }
    if p.haslayer(DHCP):
        for opt in p[DHCP].options:
            if opt in ("end", "pad"):
                out["options"].setdefault("_order", []).append(opt)
                continue
            name, *values = opt
            value = values[0] if len(values) == 1 else list(values)
            if isinstance(value, bytes):
                value = value.decode("latin-1")
            out["options"][name] = value
            out["options"].setdefault("_order", []).append(name)
    return out


for path in sys.argv[1:]:
    with open(path, "rb") as f:
        print(json.dumps(decode(f.read()), sort_keys=True))
