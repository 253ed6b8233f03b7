"""Closes and makes documents over the remote-control link for a long run, as a controller that
processes many samples one document at a time does, and reports the program's resident memory.

Usage: remote_cycles.py <zun program> [--cycles N] [--open K] [--oldest] [--plain] [--grid G]
                        [--every M] [--kinds] [--growth-from C --growth-bound MB]

Needs an X display (run it under tests/script/wm_session.sh or xvfb-run -a). The program first gets
K documents open in all (default: as many as it allows). Each cycle then closes the newest document
(with --oldest the oldest, which leaves what it held below documents still open), makes a new one
on a G^3 grid, computes it once and saves it to a temporary folder (with --plain only closes and
makes). The resident memory (VmRSS) is printed every M cycles and at the end, with --kinds also by
kind of mapping. With --growth-bound the run fails (exit status 1) when the memory at the end
exceeds the memory after cycle C by more than MB megabytes. At the bound of 48 documents a computed
cycle takes a few seconds: 1,000 of them take about an hour.

  tests/script/wm_session.sh /usr/bin/python3 tests/script/remote_cycles.py build/src/zun --oldest
"""
import argparse
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

from remotelinktools import connect, free_port, letter_tag, resident_mb

REPLY_WAIT = 300.0
TOO_MANY = re.compile(r"ERROR:Command 'newdocument' - Too many open documents \((\d+)\)")


def memory_kinds(pid):
    """Resident megabytes by kind of mapping: the main heap, other anonymous memory (thread heaps,
    blocks mapped on their own, the drawing library's buffers), and files; with the count of
    anonymous mappings."""
    kinds = {"heap": 0, "anon": 0, "file": 0}
    anon_maps = 0
    name = ""
    with open("/proc/%d/smaps" % pid) as f:
        for line in f:
            head = line.split()
            if not head:
                continue
            if not head[0].endswith(":") or re.match(r"^[0-9a-f]+-[0-9a-f]+$", head[0]):
                name = head[5] if len(head) > 5 else ""
                if not name:
                    anon_maps += 1
            elif head[0] == "Rss:":
                kb = int(head[1])
                kind = "heap" if name == "[heap]" else "anon" if not name or name.startswith("[") else "file"
                kinds[kind] += kb
    return "heap %.0f, anon %.0f (%d maps), file %.0f MB" % (kinds["heap"] / 1024.0, kinds["anon"] / 1024.0, anon_maps,
                                                             kinds["file"] / 1024.0)


class Link:
    """The program and its controller's connection."""

    def __init__(self, zun, tmp):
        self.port = free_port()
        env = dict(os.environ, ZUN_UNATTENDED="1", XDG_CONFIG_HOME=os.path.join(tmp, "config"))
        self.log_path = os.path.join(tmp, "zun.log")
        self.log = open(self.log_path, "w")
        self.proc = subprocess.Popen([zun, "--h127.0.0.1", "--p%d" % self.port], env=env, stdout=self.log,
                                     stderr=subprocess.STDOUT)
        self.sock = connect(self.port, 60, self.proc)
        if self.sock is None:
            raise RuntimeError("the program did not listen on port %d (see %s)" % (self.port, self.log_path))
        self.count = 0

    def tag(self):
        self.count += 1
        return "z" + letter_tag(self.count)

    def ask(self, payload):
        """The final reply of one request (OK..., ERROR:...), after its EXTEND and WORK ones."""
        t = self.tag()
        self.sock.sendall((t + ":" + payload).encode())
        final = re.compile(re.escape(t) + r":(?!EXTEND:|WORK:)")
        got = ""
        end = time.time() + REPLY_WAIT
        self.sock.settimeout(1.0)
        while time.time() < end:
            m = None
            for m in final.finditer(got):
                pass
            if m:
                # A reply leaves the program in one write: once its start is here, so is the rest.
                self.sock.settimeout(0.05)
                try:
                    while True:
                        chunk = self.sock.recv(65536)
                        if not chunk:
                            break
                        got += chunk.decode("latin-1")
                except (socket.timeout, BlockingIOError):
                    pass
                return got[m.end():]
            try:
                chunk = self.sock.recv(65536)
            except socket.timeout:
                if self.proc.poll() is not None:
                    break
                continue
            if not chunk:
                break
            got += chunk.decode("latin-1")
        raise RuntimeError("no final reply to %r (got %r)" % (payload, got[-200:]))

    def stop(self):
        if self.sock:
            self.sock.close()
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(30)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()


def expect(reply, wanted, what):
    if not reply.startswith(wanted):
        raise RuntimeError("%s: %r" % (what, reply[:200]))


def make_document(z, title, grid, folder):
    """A new document on a grid^3 grid with water and a CT channel, computed once and saved."""
    expect(z.ask("newdocument@" + title), "OK", "newdocument " + title)
    expect(z.ask("setupgrids@@%d@%d@%d@0@0@0@1e-6@1e-6@1e-6" % (grid, grid, grid)), "OK", "setupgrids")
    expect(z.ask("insertchannels@@Water;0#ct;1"), "OK", "insertchannels")
    expect(z.ask("setupcompchannel@@1@H2O@1"), "OK", "setupcompchannel")
    expect(z.ask("setupctchannel@@2@30"), "OK", "setupctchannel")
    expect(z.ask("startcomp@" + title), "OK", "startcomp " + title)
    expect(z.ask("save@" + os.path.join(folder, title + ".zun")), "OK:", "save " + title)


def fill(z, wanted):
    """Documents opened up to `wanted` in all (0: up to the program's bound); the count open."""
    opened = 1  # the program starts with one document
    while wanted == 0 or opened < wanted:
        reply = z.ask("newdocument@Fill%d" % opened)
        if TOO_MANY.match(reply):
            break
        expect(reply, "OK", "newdocument Fill%d" % opened)
        opened += 1
    return opened


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("zun")
    p.add_argument("--cycles", type=int, default=1000)
    p.add_argument("--open", type=int, default=0, help="documents open in all (0: the program's bound)")
    p.add_argument("--every", type=int, default=50)
    p.add_argument("--grid", type=int, default=8)
    p.add_argument("--oldest", action="store_true", help="close the oldest document, not the newest")
    p.add_argument("--kinds", action="store_true", help="also print resident memory by kind of mapping")
    p.add_argument("--plain", action="store_true", help="only close and new: no computation, no save")
    p.add_argument("--growth-from", type=int, default=100)
    p.add_argument("--growth-bound", type=float, default=None)
    a = p.parse_args()
    tmp = tempfile.mkdtemp(prefix="zun-cycles-")
    z = Link(a.zun, tmp)
    status = 0
    try:
        opened = fill(z, a.open)
        open_titles = ["Fill%d" % i for i in range(1, opened)]
        start = time.time()
        base = None
        print("documents open: %d, resident %.0f MB" % (opened, resident_mb(z.proc.pid)), flush=True)
        for cycle in range(1, a.cycles + 1):
            if open_titles:
                title = open_titles.pop(0 if a.oldest else -1)
                expect(z.ask("closedocument@" + title), "OK", "closedocument " + title)
            sample = "Sample%d" % cycle
            if a.plain:
                expect(z.ask("newdocument@" + sample), "OK", "newdocument " + sample)
                open_titles.append(sample)
            else:
                make_document(z, sample, a.grid, tmp)
                os.remove(os.path.join(tmp, sample + ".zun"))
                open_titles.append(sample + ".zun")  # a saved document has its file's name
            if cycle == a.growth_from:
                base = resident_mb(z.proc.pid)
            if cycle % a.every == 0 or cycle == a.cycles:
                print("cycle %5d  resident %7.1f MB  (%.0f s)%s" %
                      (cycle, resident_mb(z.proc.pid), time.time() - start,
                       "  " + memory_kinds(z.proc.pid) if a.kinds else ""), flush=True)
        end = resident_mb(z.proc.pid)
        if base is not None:
            print("growth from cycle %d to %d: %.1f MB" % (a.growth_from, a.cycles, end - base), flush=True)
            if a.growth_bound is not None and end - base > a.growth_bound:
                print("FAIL the growth exceeds %.1f MB" % a.growth_bound, flush=True)
                status = 1
    except Exception as e:  # noqa: BLE001
        print("FAIL %s" % e, flush=True)
        status = 1
    finally:
        z.stop()
        if status:
            with open(z.log_path, errors="replace") as f:
                sys.stdout.write(f.read()[-2000:])
        shutil.rmtree(tmp, ignore_errors=True)
    return status


if __name__ == "__main__":
    sys.exit(main())
