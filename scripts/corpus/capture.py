#!/usr/bin/env python3
"""Capture what a CUPS socket backend sends, one file per connection.

Listens on 127.0.0.1:PORT as an AppSocket (port 9100 style) printer does:
each connection's bytes, up to the backend closing its side, go to
OUT/NNNN.prn (written as OUT/NNNN.part and renamed when complete), so a
print job's bytes are exactly what the printer would have received. Never
answers anything: the backend reads no status from it. Stops when OUT/stop
exists, or after --lifetime seconds.
"""
import argparse
import os
import socket
import time

BUFFER = 1 << 16


def serve(port, out, lifetime, most):
    os.makedirs(out, exist_ok=True)
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(4)
    listener.settimeout(1.0)
    deadline = time.monotonic() + lifetime
    number = 0
    while time.monotonic() < deadline and not os.path.exists(os.path.join(out, "stop")):
        try:
            conn, _ = listener.accept()
        except socket.timeout:
            continue
        number += 1
        part = os.path.join(out, "%04d.part" % number)
        size = 0
        with conn, open(part, "wb") as f:
            conn.settimeout(300)
            while True:
                try:
                    data = conn.recv(BUFFER)
                except socket.timeout:
                    break
                if not data:
                    break
                size += len(data)
                if size > most:  # no census job is this large: keep the disk safe
                    break
                f.write(data)
        os.rename(part, os.path.join(out, "%04d.prn" % number))
    listener.close()


def main():
    p = argparse.ArgumentParser(description=__doc__)
    p.add_argument("port", type=int)
    p.add_argument("out")
    p.add_argument("--lifetime", type=float, default=4 * 3600)
    p.add_argument("--most", type=int, default=256 << 20, help="bytes kept of one connection")
    a = p.parse_args()
    serve(a.port, a.out, a.lifetime, a.most)


if __name__ == "__main__":
    main()
