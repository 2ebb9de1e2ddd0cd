#!/usr/bin/env python3
"""kalmira_client: fetch the I/Q data that a running Kalmira holds, over TCP.

Kalmira serves its current data on the port set in its main window ("TCP/IP
Port").  This client asks for the server's identity, for the data state
(new-data flag, sample count, sample rate) or for the samples themselves,
which it writes to a KAL file (interleaved little-endian float32 I, Q pairs,
no header; Kalmira loads it as "KAL mixed") or sums up on the terminal.

Python 3 standard library only.  docs/remote-protocol.md describes the
protocol.
"""

import argparse
import math
import operator
import os
import socket
import struct
import sys
import tempfile
from array import array

KIND_DATA = 2
KIND_STATE = 3
KIND_IDENTITY = 4

STATE_BYTES = 20
IDENTITY_BYTES = 100
CHUNK = 1 << 20


class ProtocolError(Exception):
    pass


class State:
    def __init__(self, new, count, rate):
        self.new, self.count, self.rate = new, count, rate

    def __str__(self):
        return "new data: %s\ncount: %d\nrate: %.6g Hz" % ("yes" if self.new else "no", self.count, self.rate)


class Connection:
    """One conversation with Kalmira.  A state message arrives on connect and
    whenever the data change, so every read takes state messages as they
    come and keeps the latest in .state."""

    def __init__(self, host, port, timeout):
        self.sock = socket.create_connection((host, port), timeout=timeout)
        self.state = None
        self.expect(KIND_STATE)

    def close(self):
        self.sock.close()

    def read_exact(self, n):
        buf = bytearray(n)
        view = memoryview(buf)
        got = 0
        while got < n:
            k = self.sock.recv_into(view[got:], n - got)
            if k == 0:
                raise ProtocolError("Kalmira closed the connection")
            got += k
        return bytes(buf)

    def send(self, command):
        # One command per send: Kalmira takes each read as one whole command.
        self.sock.sendall(command.encode("ascii"))

    def expect(self, kind):
        """Reads messages until one of the given kind; returns its payload
        (for a data reply: None, the samples follow)."""
        while True:
            (got,) = struct.unpack("<i", self.read_exact(4))
            if got == KIND_STATE:
                new, count, rate = struct.unpack("<iid", self.read_exact(STATE_BYTES - 4))
                self.state = State(new, count, rate)
                if kind == KIND_STATE:
                    return self.state
            elif got == KIND_IDENTITY:
                body = self.read_exact(IDENTITY_BYTES - 4)
                if kind == KIND_IDENTITY:
                    return body.split(b"\0", 1)[0].decode("latin-1")
            elif got == KIND_DATA:
                if kind == KIND_DATA:
                    return None
                raise ProtocolError("a data reply that was not asked for")
            else:
                raise ProtocolError("unknown message kind %d" % got)

    def identity(self):
        self.send("GetServerID")
        return self.expect(KIND_IDENTITY)

    def new_state(self):
        self.send("GetNewState")
        return self.expect(KIND_STATE)

    def symbols(self, sink):
        """Asks for the data and hands the raw reply bytes to sink in chunks.
        The reply holds as many samples as the last state message said.
        State messages of changes go to the client that connected last only,
        so the state is asked for first; a change in between announces
        itself with a state message before the reply."""
        self.new_state()
        self.send("GetSymbols")
        self.expect(KIND_DATA)
        left = self.state.count * 8
        while left > 0:
            chunk = self.read_exact(min(CHUNK, left))
            sink(chunk)
            left -= len(chunk)
        return self.state


def fetch_to_file(conn, path):
    # A fetch that breaks off leaves an existing file as it was.
    folder = os.path.dirname(os.path.abspath(path))
    fd, tmp = tempfile.mkstemp(prefix=".kalmira-", suffix=".part", dir=folder)
    try:
        with os.fdopen(fd, "wb") as out:
            state = conn.symbols(out.write)
        os.replace(tmp, path)
    except BaseException:
        os.unlink(tmp)
        raise
    return state


def summary(conn):
    raw = bytearray()
    state = conn.symbols(raw.extend)
    values = array("f")
    values.frombytes(bytes(raw))
    if sys.byteorder != "little":
        values.byteswap()
    i, q = values[0::2], values[1::2]
    lines = [str(state)]
    if state.count:
        power = (sum(map(operator.mul, i, i)) + sum(map(operator.mul, q, q))) / state.count
        lines += [
            "I: min %.7g  max %.7g  mean %.7g" % (min(i), max(i), sum(i) / state.count),
            "Q: min %.7g  max %.7g  mean %.7g" % (min(q), max(q), sum(q) / state.count),
            "RMS magnitude: %.7g" % math.sqrt(power),
        ]
    return "\n".join(lines)


def main(argv=None):
    p = argparse.ArgumentParser(
        prog="kalmira_client.py",
        description="Talks to a running Kalmira over TCP: its identity, the data state, "
        "or the current I/Q data into a KAL file (interleaved little-endian float32 "
        "I, Q pairs) or as a summary.",
        epilog="examples:\n"
        "  kalmira_client.py --port 5000 id\n"
        "  kalmira_client.py --port 5000 state\n"
        "  kalmira_client.py --host lab-pc --port 5000 fetch trace.kal\n"
        "  kalmira_client.py --port 5000 summary\n\n"
        "Exit status: 0 done, 1 no connection or a broken conversation, 2 wrong usage.",
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    p.add_argument("--host", default="127.0.0.1", help="computer running Kalmira (default 127.0.0.1)")
    p.add_argument("--port", type=int, required=True, help="Kalmira's TCP/IP port (main window)")
    p.add_argument("--timeout", type=float, default=10.0,
                   help="seconds to wait for each answer (default 10)")
    sub = p.add_subparsers(dest="command", required=True)
    sub.add_parser("id", help="print the server's identity")
    sub.add_parser("state", help="print the new-data flag, the sample count and the sample rate")
    f = sub.add_parser("fetch", help="write the current data to a KAL file")
    f.add_argument("file")
    sub.add_parser("summary", help="fetch the data and print count, rate and simple statistics")
    args = p.parse_args(argv)

    try:
        conn = Connection(args.host, args.port, args.timeout)
    except (OSError, ProtocolError) as e:
        print("kalmira_client: cannot talk to %s:%d: %s" % (args.host, args.port, e), file=sys.stderr)
        return 1
    try:
        if args.command == "id":
            print(conn.identity())
        elif args.command == "state":
            print(conn.new_state())
        elif args.command == "fetch":
            state = fetch_to_file(conn, args.file)
            print("%d samples at %.6g Hz written to %s" % (state.count, state.rate, args.file))
        else:
            print(summary(conn))
    except (OSError, ProtocolError) as e:
        print("kalmira_client: %s" % e, file=sys.stderr)
        return 1
    finally:
        conn.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
