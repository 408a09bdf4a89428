#!/usr/bin/env python3
"""Writes a deterministic, realistic server log of SIZE bytes to standard output.

Time stamps, levels, process ids, UUIDs of a few users, packages and servers, paths and varied messages; zlib
at level 1 compresses it about 9 times, as real server logs compress. The same SIZE and SEED always give the
same bytes.

Usage: genlog.py SIZE [SEED]
"""

import random
import sys


def main():
    size = int(sys.argv[1])
    rnd = random.Random(int(sys.argv[2]) if len(sys.argv) > 2 else 1)

    def uuid():
        return "%08x-%04x-4%03x-a%03x-%012x" % (rnd.getrandbits(32), rnd.getrandbits(16), rnd.getrandbits(12),
                                               rnd.getrandbits(12), rnd.getrandbits(48))

    users = [uuid() for _ in range(6)]
    packages = [uuid() for _ in range(12)]
    servers = [uuid() for _ in range(3)]
    levels = ["INFO"] * 12 + ["DEBUG"] * 6 + ["WARN"]
    messages = [
        "package {p} stored in /srv/reveriz/packages/{d:02d}/{p}.pkg ({n} blocks, {b} bytes)",
        "user {u} logged in from 10.{a}.{c}.{e} (session {s})",
        "block {p}/{n} verified, {b} bytes",
        "key file for package {p} written for user {u}",
        "session key renewed for user {u}",
        "transfer of package {p} to user {u} finished in {n} ms",
        "disk usage of /srv/reveriz at {a}%",
        "rejected login for user {u}: wrong pass phrase",
        "GET /api/v2/packages/{p}/blocks/{n} 200 {b} bytes {n} ms",
        "PUT /api/v2/packages/{p} 201 user {u}",
        "scheduler: {n} jobs queued, {a} running",
        "heartbeat from server {s}: ok",
        "heartbeat from server {s}: ok",
        "cache: hit for package {p}",
    ]
    out = sys.stdout.buffer
    written = 0
    t = 0
    while written < size:
        t += rnd.choice((1, 2, 5, 10, 50, 100))
        s = t // 1000
        line = "2026-12-%02d %02d:%02d:%02d.%03d [%-5s] reverizd[%d]: " % (
            1 + s // 86400 % 28, s // 3600 % 24, s // 60 % 60, s % 60, t % 1000, rnd.choice(levels),
            1200 + rnd.randint(0, 1))
        line += rnd.choice(messages).format(
            p=rnd.choice(packages), u=rnd.choice(users), d=rnd.randint(0, 9),
            n=rnd.choice((1, 2, 3, 4, 8, 16, 32, 64, 128, 250, 500, 1000)),
            b=rnd.choice((4096, 65536, 1048576, 4194304, 512, 8192)), a=rnd.choice((10, 20, 30, 40, 50, 60)),
            c=rnd.randint(0, 3), e=rnd.randint(1, 12), s=rnd.choice(servers)) + "\n"
        data = line.encode()[:size - written]
        out.write(data)
        written += len(data)


if __name__ == "__main__":
    main()
