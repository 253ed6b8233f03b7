"""What the remote-control clients in this folder share: a free port, the program's resident
memory, the connection once the program listens, and the letter tags of requests."""

import socket
import time


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def resident_mb(pid):
    with open("/proc/%d/status" % pid) as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1]) / 1024.0
    return 0.0


def connect(port, seconds, proc):
    """The connection to the program's port once it listens, within `seconds`; None when it did
    not, or the program ended first."""
    deadline = time.time() + seconds
    while time.time() < deadline and proc.poll() is None:
        try:
            sock = socket.create_connection(("127.0.0.1", port), timeout=1)
        except OSError:
            time.sleep(0.05)
            continue
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        return sock
    return None


def letter_tag(n):
    """Request number n as letters: a reply stream has no separators, and a digit would run into
    WORK's number."""
    out = ""
    while n:
        n, r = divmod(n, 26)
        out = chr(ord("a") + r) + out
    return out
