"""What the remote end-to-end cases share: the program under test with its link, the checks and
their count, replies of one request, and the small documents and slices the cases build."""
import os
import random
import re
import socket
import subprocess
import sys
import tempfile
import time

from remotelinktools import connect, free_port, letter_tag

ZUN = sys.argv[1]
TMP = tempfile.mkdtemp(prefix="zun-remote-")
failures = []


def check(ok, what):
    print(("ok   " if ok else "FAIL ") + what, flush=True)
    if not ok:
        failures.append(what)


def sanitized():
    out = subprocess.run(["ldd", ZUN], capture_output=True, text=True).stdout
    return "libasan" in out


def memory_cap():
    # A hostile request must not take the shared machine's memory with it: the plain program gets
    # an address-space limit, the sanitized one (whose shadow maps need the address space) an RSS
    # limit of its sanitizer.
    import resource
    resource.setrlimit(resource.RLIMIT_AS, (8 << 30, 8 << 30))


SANITIZED = sanitized()

# Numbers at the edges of what a numeric word may hold.
EXTREMES = ["0", "-1", "2147483647", "-2147483648", "nan", "inf"]


# How long a reply may take: a sanitized program on a machine busy with other work may take
# seconds where an idle one takes a millisecond. The tests wait for replies, never for quiet.
REPLY_WAIT = 120.0

NOT_YET, PERHAPS, FINAL = range(3)
INTERIM = ("EXTEND:", "WORK:")


def final_reply(got, tag):
    """Whether the final reply of `tag` is in `got` (a stream of replies without separators):
    PERHAPS when it ends in "tag:" and what could begin EXTEND or WORK, as an empty echo does."""
    found = NOT_YET
    at = got.find(tag + ":")
    while at >= 0:
        rest = got[at + len(tag) + 1:]
        if got[:at + len(tag)].endswith(("EXTEND", "WORK")):
            pass  # a tag that ends these words stands in each of them
        elif any(len(rest) <= len(w) and w.startswith(rest) for w in INTERIM):
            found = PERHAPS
        elif not any(len(rest) > len(w) and rest.startswith(w) and rest[len(w)] in "-0123456789"
                     for w in INTERIM):
            return FINAL
        at = got.find(tag + ":", at + 1)
    return found


class Zun:
    """One program run with a connected controller."""

    def __init__(self, extra=(), asan=""):
        self.port = free_port()
        env = dict(os.environ, ZUN_UNATTENDED="1", XDG_CONFIG_HOME=os.path.join(TMP, "config"))
        # A sanitized build stops at its first report; the libraries of the display are not ours
        # to find leaks in.
        env.setdefault("ASAN_OPTIONS", "detect_leaks=0:abort_on_error=1:hard_rss_limit_mb=8192")
        if asan:
            env["ASAN_OPTIONS"] += ":" + asan
        env.setdefault("UBSAN_OPTIONS", "print_stacktrace=1:halt_on_error=1")
        self.logPath = os.path.join(TMP, "zun-%d.log" % self.port)
        self.log = open(self.logPath, "w")
        self.proc = subprocess.Popen([ZUN, "--h127.0.0.1", "--p%d" % self.port] + list(extra),
                                     env=env, stdout=self.log, stderr=subprocess.STDOUT,
                                     preexec_fn=None if SANITIZED else memory_cap)
        self.sock = connect(self.port, 20, self.proc)
        if self.sock is None:
            raise RuntimeError("the program did not listen on its port")
        self.tags = 0

    def tag(self):
        self.tags += 1
        return letter_tag(self.tags)[-4:]

    def send(self, tag, payload):
        data = tag.encode() + b":" + (payload if isinstance(payload, bytes) else payload.encode())
        assert len(data) <= 1024
        self.sock.sendall(data)

    def receive(self, wait):
        """What arrives within `wait` seconds (all that is there at once when 0): bytes, b"" when
        the link has ended, None when nothing came."""
        self.sock.settimeout(wait)
        try:
            return self.sock.recv(65536)
        except (socket.timeout, BlockingIOError):
            return None

    def read(self, quiet=1.0, timeout=REPLY_WAIT, tag=None):
        """With a tag: everything up to that tag's final reply, once it has come (up to `timeout`).
        Without: everything until the line has been quiet for a second or more (`quiet`)."""
        if tag is not None:
            return self.read_finals("", [tag], timeout)
        got = b""
        end = time.time() + timeout
        while time.time() < end:
            chunk = self.receive(max(quiet, 1.0))
            if chunk is None and not got:
                continue
            if not chunk:
                break
            got += chunk
        return got.decode("latin-1")

    def read_finals(self, got, tags, timeout=300.0):
        """`got` and what arrives after it, until every tag has its final answer (OK, ERROR or an
        echoed word: anything but EXTEND and WORK)."""
        end = time.time() + timeout
        while time.time() < end:
            states = [final_reply(got, t) for t in tags]
            if all(s == FINAL for s in states):
                break
            # A reply cut short by the link would go on at once; an empty echo ("a:") is whole.
            chunk = self.receive(1.0 if PERHAPS in states else min(0.5, max(end - time.time(), 0.01)))
            if chunk is None and PERHAPS in states and all(s != NOT_YET for s in states):
                break
            if chunk == b"":
                break
            if chunk:
                got += chunk.decode("latin-1")
        # A reply leaves the program in one write and arrives whole: once its start is here, so is
        # the rest of it.
        while True:
            chunk = self.receive(0)
            if not chunk:
                break
            got += chunk.decode("latin-1")
        return got

    def ask(self, payload, quiet=None):
        """A request and its replies up to its final one (`quiet` is no longer used)."""
        t = self.tag()
        self.send(t, payload)
        return t, self.read(tag=t)

    def reply_of(self, payload):
        t, r = self.ask(payload)
        return r[len(t) + 1:] if r.startswith(t + ":") else "<%s>" % r

    def alive(self):
        return self.proc.poll() is None

    def stop(self):
        if self.sock:
            self.sock.close()
        if self.alive():
            self.proc.terminate()
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()
        with open(self.logPath, errors="replace") as f:
            text = f.read()
        report = re.search(r"AddressSanitizer:.*|LeakSanitizer:.*|runtime error:.*", text)
        check(report is None, "no sanitizer report in %s (%s)" % (self.logPath, report.group(0) if report else ""))



class Replies:
    """The replies of one request: its EXTEND, progress and final answer."""

    def __init__(self, z, payload, timeout=REPLY_WAIT, quiet=None):
        # `quiet` is no longer used: the replies end with the final one. One that came twice
        # would stand before the next request's replies.
        self.tag = z.tag()
        z.send(self.tag, payload)
        self.buf = z.read(timeout=timeout, tag=self.tag)
        self.parts = [p[len(self.tag) + 1:] for p in re.split(r"(?=%s:)" % re.escape(self.tag), self.buf) if p]
        # Every byte that came belongs to this request's replies.
        self.whole = self.buf.startswith(self.tag + ":")

    @property
    def final(self):
        return self.parts[-1] if self.parts else "<none>"


def water_attenuation(kev):
    try:
        import xraylib
        return xraylib.CS_Total_CP("H2O", kev)
    except ImportError:
        return {30.0: 0.37559062}[kev]


# The phantom: water fractions by x column (0, 0.25, 0.5, 0.75, 1 in bands), void elsewhere.
NX, NY, NZ = 20, 12, 6


def phantom_fraction(x):
    return min(x // 4, 4) / 4.0


def write_slices(folder, kev):
    import numpy
    import tifffile
    os.makedirs(folder)
    mu = water_attenuation(kev)
    plane = numpy.array([[phantom_fraction(x) * mu for x in range(NX)] for _ in range(NY)], dtype=numpy.float32)
    order = list(range(NZ))
    random.Random(5).shuffle(order)
    for z in order:
        # Created in shuffled order: the import must still follow the names.
        tifffile.imwrite(os.path.join(folder, "slice_%02d.tif" % z), plane)
        time.sleep(0.01)
    with open(os.path.join(folder, "notes.txt"), "w") as f:
        f.write("not a slice")


# The web page takes at least 10 voxels an axis and a slice atlas 256 pixels wide and high.
GX, GY, GZ = 64, 64, 16
GRID_WORDS = "%d@%d@%d" % (GX, GY, GZ)


def setup_small_document(z, name, slices=None):
    """A small document: Void, Water, a CT channel at 30 keV (its slices imported when given) and
    a boundary channel."""
    # The web page wants a view at least 256 pixels wide.
    ok = z.reply_of("windowpos@0@0@1024@768") == "OK"
    ok &= z.reply_of("newdocument@" + name) == "OK"
    ok &= z.reply_of("setupgrids@@%s@0@0@0@1e-6@1e-6@1e-6" % GRID_WORDS) == "OK"
    ok &= z.reply_of("insertchannels@@Water;0#ct;1#b;3") == "OK"
    ok &= z.reply_of("setupcompchannel@@1@H2O@1") == "OK"
    ok &= z.reply_of("setupctchannel@@2@30") == "OK"
    if slices:
        ok &= z.reply_of("importdata@@2@%s@0@100@tif@0@1@0@1@0@1@0@0@0@0@0@0" % slices) == "OK"
    check(ok, "a %s document %s is set up" % (GRID_WORDS.replace("@", "x"), name))


def write_small_slices(folder):
    import numpy
    import tifffile
    os.makedirs(folder, exist_ok=True)
    mu = water_attenuation(30.0)
    plane = numpy.array([[(x % 4) / 3.0 * mu for x in range(GX)] for _ in range(GY)], dtype=numpy.float32)
    for k in range(GZ):
        tifffile.imwrite(os.path.join(folder, "s%02d.tif" % k), plane)


def boundary_words():
    words = ["buildboundary", "", "3", "2"] + ["0"] * 28
    words[17] = words[19] = words[25] = ""
    words[24] = "0.5"
    words[26:29] = ["4", "4", "4"]
    return words
