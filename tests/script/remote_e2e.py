"""Drives the zun program over its remote-control link, as an independent controller would.

Usage: remote_e2e.py <zun program> [case ...]
(needs an X display; cases: link, embed, fuzz, road, busy, numbers, desktop, opening, refusals,
ports, order). ZUN_FUZZ_COUNT sets the number of random requests of "fuzz"; ZUN_ORDER_RUNS and
ZUN_ORDER_BUSY the rounds and busy processes of "order". A program built with AddressSanitizer and
UndefinedBehaviorSanitizer is run the same way: any report of theirs in its output fails the run.
"""
import ctypes
import os
import random
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time

from remotelinktools import connect, free_port, letter_tag, resident_mb

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


def case_link():
    z = Zun()
    try:
        z.log.flush()
        with open(z.logPath) as f:
            started = f.read()
        check("zun: remote control listening on 127.0.0.1:%d (this machine only)" % z.port in started,
              "the start-up line says the link is this machine's only (%r)" % started[:200])
        check(z.reply_of("hello") == "hello", "an unknown word is echoed")
        check(z.reply_of("Stop") == "Stop", "command words are case-sensitive")
        check(z.reply_of("save") == "ERROR:Command 'save' - invalid argument count (1)", "save alone: count error")
        check(z.reply_of("windowpos@1@2") == "ERROR:Command 'windowpos' - invalid argument count (3)",
              "windowpos: count error")

        check(z.reply_of("newdocument@First") == "OK", "newdocument with a title")
        check(z.reply_of("newdocument@") == "OK", "newdocument keeping the default title")
        check(z.reply_of("settitle@Second") == "OK", "settitle of the active document")
        check(z.reply_of("renamechannel@FIRST@Void@Air") == "OK", "renamechannel finds FIRST as First")
        check(z.reply_of("renamechannel@third@Void@Air").startswith("ERROR:Command 'renamechannel' - no document (third)"),
              "renamechannel of a missing document")
        check(z.reply_of("closedocument@first") == "OK", "closedocument ignores case")
        check(z.reply_of("closedocument@first").startswith("ERROR:Command 'closedocument' - no document (first)"),
              "the closed document is gone")

        check(z.reply_of("renamechannel@second@Void@Water") == "OK", "rename in the active document")
        path = os.path.join(TMP, "saved.zun")
        check(z.reply_of("save@" + path) == "OK:saved.zun", "save answers the file name")
        check(os.path.exists(path) and os.path.getsize(path) > 0, "the saved file exists")
        bad = os.path.join(TMP, "no", "such", "folder", "x.zun")
        check(z.reply_of("save@" + bad) == "ERROR:Command 'save' - could not save (%s)" % bad, "a failing save answers ERROR")
        check(not os.path.exists(bad), "nothing written for the failing save")
        check(z.reply_of("windowpos@0@0@800@600") == "OK", "windowpos")
        check(z.reply_of("windowpos@0@0@-1@-1") == "OK" and z.alive(), "windowpos with a huge size leaves the program running")

        # stop with no computation: exactly one answer (a second would come before the next reply).
        t, r = z.ask("stop")
        check(r == t + ":OK", "stop with no computation answers once (%r)" % r)
        t, r = z.ask("disconnect@x@y")
        check(r == t + ":OK", "disconnect answers OK (%r)" % r)
        z.sock.settimeout(REPLY_WAIT)
        check(z.sock.recv(16) == b"", "the link is closed after disconnect")
        time.sleep(1.0)
        check(z.alive(), "the program keeps running after disconnect")
        again = socket.socket()
        refused = again.connect_ex(("127.0.0.1", z.port)) != 0
        again.close()
        check(refused, "no second controller is accepted")
    finally:
        z.stop()

    # The saved file opens again in a new run.
    z = Zun([path])
    try:
        check(z.reply_of("closedocument@SAVED.zun") == "OK", "the saved document reopens")
    finally:
        z.stop()


def case_embed():
    x = ctypes.cdll.LoadLibrary("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultRootWindow.restype = ctypes.c_ulong
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XCreateSimpleWindow.restype = ctypes.c_ulong
    x.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int, ctypes.c_uint,
                                      ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_ulong]
    x.XMapWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
    x.XFlush.argtypes = [ctypes.c_void_p]
    # A loaded X server may turn a connection away for a moment.
    display = None
    for _ in range(20):
        display = x.XOpenDisplay(None)
        if display:
            break
        time.sleep(0.5)
    if not display:
        check(False, "an X display for the controller's window")
        return
    parent = x.XCreateSimpleWindow(display, x.XDefaultRootWindow(display), 0, 0, 900, 700, 0, 0, 0xffffff)
    x.XMapWindow(display, parent)
    x.XFlush(display)
    z = Zun(["--w%d" % parent])
    try:
        check(z.reply_of("windowpos@10@20@640@480") == "OK", "windowpos in the controller's window")
        tree = ""
        for _ in range(40):
            tree = subprocess.run(["xwininfo", "-children", "-id", str(parent)], capture_output=True, text=True).stdout
            if re.search(r"^\s+0x[0-9a-f]+ .*640x480\+10\+20", tree, re.M):
                break
            time.sleep(0.25)
        check(re.search(r"(\d+) child", tree) is not None and " 0 children" not in tree,
              "the main window is a child of the --w window")
        check(re.search(r"640x480\+10\+20", tree) is not None, "windowpos places it in the parent's coordinates")
        if failures:
            print(tree)
    finally:
        z.stop()



def case_desktop():
    """The commands on the active document, as a controller sends them to a program on a desktop
    with a window manager (run under tests/script/wm_session.sh): the main window is disabled while
    remote-controlled, so the window manager never activates it, and the active document must not
    depend on that."""
    path = os.path.join(TMP, "desktop.zun")
    z = Zun()
    try:
        check(z.reply_of("newdocument@B") == "OK", "newdocument@B on a desktop")
        check(z.reply_of("settitle@C") == "OK", "settitle@C on a desktop")
        check(z.reply_of("closedocument@B").startswith("ERROR:Command 'closedocument' - no document (B)"),
              "the new document's title is C, not B")
        check(z.reply_of("save@" + path) == "OK:desktop.zun", "save on a desktop answers the file name")
        check(os.path.exists(path) and os.path.getsize(path) > 0, "the desktop save wrote its file")
        check(z.reply_of("initial") == "OK", "initial on a desktop")
        # The document a command brought forward stays the active one when another closes.
        check(z.reply_of("newdocument@D") == "OK" and z.reply_of("closedocument@D") == "OK",
              "a second document opens and closes")
        check(z.reply_of("settitle@E") == "OK", "settitle after a close acts on a remaining document")
        check(z.reply_of("closedocument@E") == "OK", "and that was the saved one, now E")
    finally:
        z.stop()


def write_big_text_file(path, n=120):
    """A valid two-channel text data file of n^3 voxels (over 16 MB at 120: the program reads it
    with its progress dialog, which lets requests in)."""
    with open(path, "w") as out:
        out.write("TEXT 1\nGRID %d %d %d\nCHANNELS 2\nSOURCE 1 0\nSCALES 1 0.001 0.001 0.001\n" % (n, n, n))
        out.write('NAMES "Void" "CT 40 keV"\nTYPES 0 1\nRANGES 0 1 0 1\nBEAM 1 40\nDATA\n')
        rows = ["16383 " * (n - 1) + "16383\n", " ".join(str((x * 97) % 16384) for x in range(n)) + "\n"]
        for row in rows:
            out.write(row * (n * n))
        out.write("END\n")


def case_opening():
    """Requests that would close or change a document while its file is still being read are
    refused as during other long work; the file then opens whole."""
    big = os.path.join(TMP, "big.txt")
    write_big_text_file(big)
    check(os.path.getsize(big) >= 16 << 20, "the data file is large enough to show progress")
    requests = ["closedocument@Untitled", "renamechannel@Untitled@Void@Air", "insertchannel@Untitled@x@1@0",
                "setupgrids@Untitled@4@4@4@0@0@0@1e-6@1e-6@1e-6"]
    z = Zun([big])
    try:
        # One at a time (the link has no separators): each waits in the program's queue until
        # the read lets events through.
        got = ""
        tags = []
        for payload in requests:
            tags.append(z.tag())
            z.send(tags[-1], payload)
            end = time.time() + 300
            z.sock.settimeout(0.5)
            while time.time() < end and not re.search(re.escape(tags[-1]) + r":(OK|ERROR)", got):
                try:
                    chunk = z.sock.recv(65536)
                except socket.timeout:
                    if not z.alive():
                        break
                    continue
                if not chunk:
                    break
                got += chunk.decode("latin-1")
        refused = 0
        for t, payload in zip(tags, requests):
            word = payload.split("@")[0]
            busy = "%s:ERROR:Command '%s' - file reading running" % (t, word)
            # Handled only after the read (the machine was quick): the document has its own name.
            gone = "%s:ERROR:Command '%s' - no document (Untitled) found" % (t, word)
            check(busy in got or gone in got, "%s during the read: refused (%r)" % (word, got[-160:]))
            refused += busy in got
        print("     %d of %d requests met the read" % (refused, len(requests)))
        check(z.alive(), "the program survives requests during the read")
        # The file opens whole once the read ends: its channels are there under its name.
        try:
            end = time.time() + 300
            r = z.reply_of("renamechannel@big@CT 40 keV@CT")
            while "no document (big)" in r and time.time() < end and z.alive():
                time.sleep(0.2)
                r = z.reply_of("renamechannel@big@CT 40 keV@CT")
            check(r == "OK", "the read file is open as big (%s)" % r)
            check(z.reply_of("closedocument@big") == "OK", "and closes once the read has ended")
        except OSError as e:
            check(False, "the program answers after the read (%s)" % e)
    finally:
        z.stop()

# The numbers every numeric word is tried with.
EXTREMES = ["0", "-1", "2147483647", "-2147483648", "nan", "inf"]


def random_word(rng):
    kind = rng.random()
    if kind < 0.3:
        return str(rng.choice([0, 1, 2, -1, 3, 255, 65535, 2 ** 31, 2 ** 32 - 1, 2 ** 40, 2 ** 31 - 1, -2 ** 31]))
    if kind < 0.4:
        return rng.choice(["1.5", "nan", "inf", "-inf", "-0", "1e309", "0x10", ""])
    if kind < 0.5:
        return "#".join(";".join(str(rng.randint(-3, 9)) for _ in range(rng.randint(0, 4)))
                        for _ in range(rng.randint(0, 4)))
    alphabet = "abcXYZ019 _.-;#\xe9\xb5"
    return "".join(rng.choice(alphabet) for _ in range(rng.randint(0, 12)))


FUZZ_WORDS = [
    ("save", 2), ("windowpos", 5), ("initial", 1), ("settitle", 2), ("newdocument", 2), ("closedocument", 2),
    ("renamechannel", 4), ("setupgrids", 11), ("setupgrid", 5), ("insertchannels", 3), ("insertchannel", 5),
    ("setupcompchannel", 5), ("setupctchannel", 4), ("importdata", 19), ("buildboundary", 32),
    ("displayprop-open", 3), ("displayprop-close", 2), ("setup-map-mapdata", 14), ("setupcomp", 9),
    ("setupcomp-setup-lca", 11), ("startcomp", 2), ("output-img2d", 7), ("output-histogram", 8),
    ("setupcomp-setup-dlss", 9), ("setupcomp-setup-dnlo", 14), ("setupcomp-setup-dclo", 13), ("setupcomp-open", 2),
    ("setupcomp-open-dnlo-open", 3), ("setupcomp-close", 2), ("displayprop-chan-colourdata", 6),
    ("displayprop-open-colourdata-open", 2), ("setup-map-mapdata-action", 1), ("output-web3d", 11),
]


def case_fuzz(count=None):
    count = count or int(os.environ.get("ZUN_FUZZ_COUNT", "10000"))
    rng = random.Random(20261207)
    z = Zun()
    documents = 1
    bad = 0
    try:
        for i in range(count):
            r = rng.random()
            if r < 0.15:
                payload = bytes(rng.randrange(1, 256) for _ in range(rng.randint(0, 200)))
            else:
                word, n = rng.choice(FUZZ_WORDS)
                n = max(1, n + rng.choice([0, 0, 0, -1, 1]))
                words = [word] + [random_word(rng) for _ in range(n - 1)]
                if word == "save" and n == 2:
                    # Files only ever land in the test's folder.
                    words[1] = os.path.join(TMP, "fuzz", re.sub(r"[^a-z0-9_.]", "_", words[1]) or "x") + ".zun"
                if word == "output-web3d" and n == 11:
                    # Pages only ever land in the test's folder.
                    words[6] = os.path.join(TMP, "fuzzweb")
                if word == "newdocument":
                    documents += 1
                    if documents > 6:
                        words = ["closedocument", ""]
                        documents -= 2
                payload = "@".join(words).encode("latin-1")
            # A long command answers EXTEND first and its final reply later.
            r = Replies(z, payload[:1000])
            if not r.whole or r.final.startswith(("EXTEND:", "WORK:")):
                bad += 1
                if bad < 5:
                    print(ascii("request %d %r got %r %r" % (i, payload[:80], r.buf[:160], r.parts)))
            if not z.alive():
                break
        check(z.alive(), "the program survives %d random requests" % count)
        check(bad == 0, "every random request got its reply (%d did not)" % bad)
        check(z.reply_of("hello") == "hello", "and still replies afterwards")
    finally:
        z.stop()


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


def case_road():
    import numpy
    import tifffile
    from PIL import Image
    slices = os.path.join(TMP, "slices")
    write_slices(slices, 30.0)
    saved = os.path.join(TMP, "road.zun")
    z = Zun()
    try:
        check(z.reply_of("newdocument@Phantom") == "OK", "newdocument")
        check(z.reply_of("setupgrids@Phantom@%d@%d@%d@0@0@0@1e-6@1e-6@2e-6" % (NX, NY, NZ)) == "OK", "setupgrids")
        check(z.reply_of("setupgrid@@0@3@8") == "ERROR:Command 'setupgrid' - invalid axis (3)", "setupgrid: axis 3 refused")
        check(z.reply_of("insertchannels@@Water;0#;1#;3") == "OK", "insertchannels: Water, a CT and a boundary channel")
        check(z.reply_of("insertchannels@@Bad") == "ERROR:Command 'insertchannels' - Invalid channel format (Bad)",
              "insertchannels: item without a kind")
        check(z.reply_of("insertchannel@@x@9@0") == "ERROR:Command 'insertchannel' - invalid channel index",
              "insertchannel beyond the count")
        check(z.reply_of("setupcompchannel@@1@H2O@1") == "OK", "setupcompchannel by formula")
        check(z.reply_of("setupcompchannel@@1@Qq9@1") == "ERROR:Command 'setupcompchannel' - parse formula",
              "setupcompchannel: a formula that does not parse")
        check(z.reply_of("setupcompchannel@@2@H2O@1") == "ERROR:Command 'setupcompchannel' - invalid channel index",
              "setupcompchannel on the CT channel")
        check(z.reply_of("setupctchannel@@2@30") == "OK", "setupctchannel")
        check(z.reply_of("setupctchannel@@1@30") == "ERROR:Command 'setupctchannel' - invalid channel index",
              "setupctchannel on a composition")
        r = z.reply_of("importdata@@2@%s@0@100@tif@0@1@0@1@0@1@0@0@0@0@0@0" % slices)
        check(r == "OK", "importdata (%s)" % r)
        words = ["buildboundary", "", "3", "2"] + ["0"] * 28
        words[17] = words[19] = words[25] = ""
        words[24] = "0.5"
        words[26:29] = ["4", "4", "4"]
        b = Replies(z, "@".join(words))
        check(b.parts[:1] == ["EXTEND:300"] and b.final == "OK", "buildboundary of a cuboid (%r)" % b.parts[-3:])
        check(all(p.startswith("WORK:") for p in b.parts[1:-1]), "buildboundary reports progress between")
        t, after = z.ask("importdata@@2@%s@0@100@tif@0@1@0@1@0@1@0@0@0@0@0@0" % slices)
        check(after == t + ":OK", "the next import reports nothing under the finished boundary's tag (%r)" % after[:120])
        words[2] = "1"
        check(z.reply_of("@".join(words)) == "ERROR:Command 'buildboundary' - invalid boundary channel index",
              "buildboundary into a composition channel")
        check(z.reply_of("setupcomp@@1@0@0@1@0@0@0") == "OK", "setupcomp: nonlinear optimisation only")
        check(z.reply_of("setupcomp-setup-dnlo@@1@1@0@0@15@1@1@2000@0;0#1;0@0@10@0;0;1;0") == "OK",
              "setupcomp-setup-dnlo")
        check(z.reply_of("setupcomp-setup-dnlo@@1@1@0@0@15@1@1@2000@@0@10@0;0;1;0")
              == "ERROR:Command 'setupcomp-setup-dnlo' - Invalid Self energy data format ()",
              "setupcomp-setup-dnlo: an empty self-energy list")

        run = Replies(z, "startcomp@Phantom", timeout=300)
        check(run.parts[:1] == ["EXTEND:300"], "startcomp answers EXTEND:300 first (%r)" % run.parts[:3])
        check(any(p.startswith("WORK:") for p in run.parts), "startcomp reports progress")
        check(run.final == "OK" and run.parts.count("OK") == 1, "startcomp ends with one OK (%r)" % run.parts[-3:])

        picture = os.path.join(TMP, "hist.png")
        h = Replies(z, "output-histogram@@2@0@0@0@1@" + picture)
        check(h.parts[0] == "EXTEND:300" and h.final.startswith("OK:"), "output-histogram (%r)" % h.parts)
        try:
            with Image.open(picture) as im:
                im.load()
                check(im.size[0] > 50 and im.size[1] > 50, "the histogram picture decodes (%dx%d)" % im.size)
        except Exception as e:  # noqa: BLE001
            check(False, "the histogram picture decodes (%s)" % e)
        check(z.reply_of("output-histogram@@9@0@0@0@1@" + picture) == "ERROR:Command 'output-histogram' - invalid channel index",
              "output-histogram of a channel beyond the count")

        images = os.path.join(TMP, "img2d")
        os.makedirs(images)
        e = Replies(z, "output-img2d@@-1@%s@1@1@0" % images)
        check(e.parts[0] == "EXTEND:500" and e.final == "OK", "output-img2d of the whole document (%r)" % e.parts)
        written = sorted(os.listdir(images))
        check(len(written) >= 3 * NZ, "output-img2d wrote the slices (%d files)" % len(written))

        movie = os.path.join(TMP, "turn.avi")
        a = Replies(z, "output-animation@@1;0@25@1@1@0@0@0@" + movie, timeout=300)
        check(a.parts[:1] == ["EXTEND:500"] and a.final == "OK", "output-animation (%r)" % a.parts[-3:])
        check(os.path.exists(movie) and os.path.getsize(movie) > 1000, "the movie was written")
        check(z.reply_of("output-animation@@1@25@1@1@0@0@0@" + movie)
              == "ERROR:Command 'output-animation' - Invalid rotation option format.", "output-animation: one rotation field")
        # The phantom is thinner than the web page's volume needs.
        check(z.reply_of("output-web3d@@Page@0@About@page@%s@8@1.4@1@0" % TMP)
              == "ERROR:Command 'output-web3d' - Image X, Y and Z sizes cannot be smaller than 10.",
              "output-web3d refuses a volume under 10 voxels")

        check(z.reply_of("save@" + saved) == "OK:road.zun", "save")
    finally:
        z.stop()

    # The saved document in a new run: its water fractions are the phantom's.
    z = Zun([saved])
    try:
        images = os.path.join(TMP, "reopened")
        os.makedirs(images)
        e = Replies(z, "output-img2d@road.zun@1@%s@2@1@0" % images)
        check(e.final == "OK", "output-img2d of the reopened water channel")
        files = sorted(f for f in os.listdir(images) if f.endswith(".tif"))
        check(len(files) == NZ, "one 16-bit picture per slice (%d)" % len(files))
        worst = 1.0 if not files else 0.0
        for f in files:
            fractions = tifffile.imread(os.path.join(images, f)).astype(numpy.float64) / 65535.0
            for x in range(NX):
                worst = max(worst, float(numpy.abs(fractions[:, x] - phantom_fraction(x)).max()))
        check(worst <= 1.0 / 15 + 1e-6, "the reopened fractions are the phantom's within 1/15 (worst %.4f)" % worst)
    finally:
        z.stop()


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


def case_busy():
    """A close sent while long work on the document runs (the recorder and the exports let events
    through) waits for the work's end, then closes the document."""
    slices = os.path.join(TMP, "busy-slices")
    write_small_slices(slices)
    z = Zun()
    try:
        setup_small_document(z, "Busy", slices)
        movie = os.path.join(TMP, "busy.avi")
        pages = os.path.join(TMP, "busy-web")
        os.makedirs(pages, exist_ok=True)
        images = os.path.join(TMP, "busy-img")
        os.makedirs(images, exist_ok=True)
        long_requests = [
            ("output-animation@@1;0@25@2@2@0@0@0@" + movie, "animation recording", 0.7),
            ("output-web3d@@Page@0@About@page@%s@8@1.4@1@0" % pages, "web page export", 0.0),
            ("output-img2d@@-1@%s@1@1@0" % images, "image export", 0.0),
            ("@".join(boundary_words()), "boundary build", 0.2),
            ("output-histogram@@2@0@0@0@1@" + os.path.join(TMP, "busy.png"), "histogram picture", 0.0),
        ]
        for payload, work, delay in long_requests:
            t = z.tag()
            z.send(t, payload)
            got = ""
            z.sock.settimeout(60)
            while not got.startswith(t + ":") or len(got) < len(t) + 8:
                chunk = z.sock.recv(65536)
                if not chunk:
                    break
                got += chunk.decode("latin-1")
            if not got.startswith(t + ":EXTEND:"):
                check(False, "%s: starts (%r)" % (work, got[:200]))
                continue
            time.sleep(delay)
            c = z.tag()
            z.send(c, "closedocument@Busy")
            got = z.read_finals(got, [c, t])
            check(z.alive(), "%s: the program survives a close while it runs" % work)
            final = re.search(re.escape(t) + r":(OK|ERROR)", got)
            closed = got.find(c + ":OK")
            check(final is not None, "%s: its final answer came" % work)
            check(final is not None and closed > final.start(), "%s: the close ran once it had ended (%r)" % (work, got[-200:]))
            if not z.alive():
                break
            if closed >= 0:
                setup_small_document(z, "Busy", slices)
        check(z.reply_of("closedocument@Busy") == "OK", "the document closes once the work has ended")
    finally:
        z.stop()


def busy_processes(count):
    """`count` processes that only spin, as on a machine loaded with other work."""
    return [subprocess.Popen([sys.executable, "-c", "while True: pass"]) for _ in range(count)]


def pipelined_round(z, rng, folder, n):
    """One slow image export of a 3x3x3000 document, a close of that document and a rename (even
    n) or a save (odd n) behind it, each sent 0.3 to 1 s after the one before without waiting for
    its replies: None when every final reply came in the order sent and the third request acted on
    the document left open, else what went wrong; and whether the close came while the export
    still ran."""
    ok = z.reply_of("newdocument@second") == "OK"
    ok &= z.reply_of("newdocument@phantom") == "OK"
    ok &= z.reply_of("setupgrids@@3@3@3000@0@0@0@1e-3@1e-3@1e-3") == "OK"
    ok &= z.reply_of("insertchannels@@Water;0#Bone;0#ct;1") == "OK"
    if not ok:
        return "the documents could not be set up", False
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    saved = "order-%d.zun" % n
    # The close takes the active document away: a rename or save run inside it would find none.
    third = "settitle@renamed" if n % 2 == 0 else "save@" + os.path.join(TMP, saved)
    title, answer = ("renamed", "OK") if n % 2 == 0 else (saved, "OK:" + saved)
    requests = ["output-img2d@phantom@-1@%s@2@1@0" % folder, "closedocument@phantom", third]
    tags = []
    got = ""
    met = False
    for i, payload in enumerate(requests):
        if i:
            # The controller's pace, not a wait for anything.
            time.sleep(rng.uniform(0.3, 1.0))
            while True:
                chunk = z.receive(0)
                if not chunk:
                    break
                got += chunk.decode("latin-1")
            met = met or (i == 1 and final_reply(got, tags[0]) == NOT_YET)
        tags.append(z.tag())
        z.send(tags[-1], payload)
    got = z.read_finals(got, tags)
    finals = []
    for t in tags:
        m = re.search(re.escape(t) + r":(?!EXTEND:|WORK:)", got)
        finals.append(m.start() if m else -1)
    if -1 in finals or finals != sorted(finals):
        return "final replies out of order (%r)" % got[-300:], met
    if not got.startswith(tags[0] + ":EXTEND:500") or not re.search(re.escape(tags[0]) + r":OK", got):
        return "the export did not run whole (%r)" % got[:200], met
    if not got.endswith(tags[1] + ":OK" + tags[2] + ":" + answer):
        return "the close or the third request failed (%r)" % got[-300:], met
    # The third request ran once the close had ended: it acted on the document that stayed open.
    if z.reply_of("closedocument@" + title) != "OK":
        return "%s did not act on the document left open" % third.split("@")[0], met
    if not z.reply_of("closedocument@phantom").startswith("ERROR:Command 'closedocument' - no document"):
        return "the closed document is still open", met
    return None, met


def case_order():
    """Requests sent without waiting for their replies run one at a time in the order sent, each
    to its end before the next starts, and their final replies leave in that order, also while a
    document closes and beside busy processes. ZUN_ORDER_RUNS rounds each (default 2), quiet and
    beside ZUN_ORDER_BUSY spinning processes (default 8)."""
    runs = int(os.environ.get("ZUN_ORDER_RUNS", "2"))
    spinning = int(os.environ.get("ZUN_ORDER_BUSY", "8"))
    rng = random.Random(78)
    folder = os.path.join(TMP, "order-img")
    for label, count in (("quiet", 0), ("beside %d busy processes" % spinning, spinning)):
        busy = busy_processes(count)
        z = Zun()
        try:
            passed = met = 0
            for n in range(runs):
                wrong, during = pipelined_round(z, rng, folder, n)
                if wrong:
                    print("     round %d: %s" % (n + 1, wrong))
                passed += wrong is None
                met += during
                if not z.alive():
                    break
            print("     %s: %d of %d rounds in order" % (label, passed, runs))
            check(passed == runs, "%s: every pipelined round answered in order (%d of %d)" % (label, passed, runs))
            # Else the export was too quick for the case to show anything.
            check(met > 0, "%s: the close came while the export ran (%d of %d rounds)" % (label, met, runs))
        finally:
            z.stop()
            for p in busy:
                p.kill()
                p.wait()


def overlong_requests(z):
    """Requests longer than the 1,024 bytes the link once took in one piece reach their command
    whole; a request too long for the link is refused whole with the rest of its write, and the
    link goes on."""
    root = os.path.join(TMP, "long")
    folder = os.path.join(root, *[c * 200 for c in "defg"])
    # A path of 4,000 bytes: near the longest the system takes, with room for the save's
    # temporary name beside it.
    deep = folder
    while len(deep) + 201 <= 3800:
        deep = os.path.join(deep, "h" * 200)
    deep = os.path.join(deep, "i" * (3800 - len(deep) - 1))
    os.makedirs(deep)
    saved = []
    for path in (os.path.join(folder, "c" * 250 + ".zun"), os.path.join(deep, "c" * 195 + ".zun")):
        t = z.tag()
        z.sock.sendall(("%s:save@%s" % (t, path)).encode())
        got = z.read(tag=t)
        # Saved at the path named, a name of 254 bytes among them.
        check(got == "%s:OK:%s" % (t, os.path.basename(path)),
              "a save of %d bytes reaches the command whole (%r)" % (len(path), got[:80]))
        saved.append(path)
    # Far past the link's limit, with what would read as a request of its own in the same write.
    t, tail = z.tag(), z.tag()
    request = "%s:save@%s.zun" % (t, os.path.join(deep, *["j" * 200] * 25))
    z.sock.sendall(("%s%s:save@%s" % (request, tail, os.path.join(root, "tail.zun"))).encode())
    refusal = ("%s:ERROR:Request too long: the link takes requests of at most 8191 bytes, tag and colon "
               "included; nothing of it was run." % t)
    got = z.read(tag=t)
    check(got == refusal, "a request of %d bytes is refused whole (%r)" % (len(request), got[:120]))
    check(z.reply_of("hello") == "hello", "the link goes on after the refusal")
    files = sorted(os.path.join(d, f) for d, _, fs in os.walk(root) for f in fs)
    check(files == sorted(saved), "only the files saved were written (%r)" % [f[-60:] for f in files])


def grid_words_read_whole(z):
    """A grid size or offset with more after its number is refused and the document stays byte
    for byte as it was: read by its leading digits, "1e309" would keep one slice."""
    before, after = os.path.join(TMP, "grid-before.zun"), os.path.join(TMP, "grid-after.zun")
    check(z.reply_of("save@" + before) == "OK:grid-before.zun", "the document saves before the grid words")
    invalid = "One or more numeric fields contain an invalid value"
    for payload in ["setupgrids@@24@24@1e309@0@0@0@1e-6@1e-6@1e-6",
                    "setupgrids@@%dabc@%d@%d@0@0@0@1e-6@1e-6@1e-6" % (GX, GY, GZ),
                    "setupgrids@@%s@1,5@0@0@1e-6@1e-6@1e-6" % GRID_WORDS,
                    "setupgrid@@0@2@8\0",
                    "setupgrid@@1@0@-2.5"]:
        r = z.reply_of(payload)
        check(r == "ERROR:Command '%s' - %s" % (payload.split("@")[0], invalid), "%s: refused (%r)" % (ascii(payload), r))
    check(z.reply_of("save@" + after) == "OK:grid-after.zun", "and after them")
    with open(before, "rb") as a, open(after, "rb") as b:
        check(a.read() == b.read(), "the refused grid words changed nothing in the document")


def check_failures_answer_error(z):
    """Work that fails once it has started answers ERROR with the program's own message, not OK:
    an image export into a folder below a regular file or through a link to a missing folder, a
    mapping the tool refuses, an import of files that are no pictures."""
    out = os.path.join(TMP, "fail-out")
    os.makedirs(out)
    plain = os.path.join(out, "plain")
    with open(plain, "w") as f:
        f.write("x")
    os.symlink(os.path.join(TMP, "no", "such"), os.path.join(out, "gone"))
    for folder in (plain + "/sub", os.path.join(out, "gone")):
        # The export's report: "any files", or the files it names when more channels are chosen.
        e = Replies(z, "output-img2d@@1@%s@1@1@0" % folder)
        check(e.parts[:1] == ["EXTEND:500"] and e.final.startswith("ERROR:Command 'output-img2d' - Could not export ")
              and "visible" not in e.final, "output-img2d into %s: refused after EXTEND (%r)" % (folder, e.parts[:2]))
    check(sorted(os.listdir(out)) == ["gone", "plain"], "nothing was written for the exports (%r)" % os.listdir(out))
    check(z.reply_of("setup-map-mapdata@@0@1@0@0@x > 0@0@1@2@1@0@0@0") == "OK", "a mapping the tool will refuse opens")
    r = z.reply_of("setup-map-mapdata-action")
    check(r == "ERROR:Command 'setup-map-mapdata-action' - Invalid output channel or other values (7 ,1, 2).",
          "its action answers the tool's refusal (%r)" % r)
    # A rule with no number is not read as 0, and no rule where every voxel does nothing, or both
    # rows doing nothing whatever the rule, maps nothing.
    for words, reason in [("x@0@0", "Error (13) in defining input channel data value."),
                          ("@0@0", "Input channel data undefined. Nothing to map."),
                          (">=0@0@4", "Input channel data undefined. Nothing to map.")]:
        check(z.reply_of("setup-map-mapdata@@2@1@0@0@%s@0@100@4@0@7" % words) == "OK",
              "a mapping with the rule and match action %r opens" % words)
        r = z.reply_of("setup-map-mapdata-action")
        check(r == "ERROR:Command 'setup-map-mapdata-action' - " + reason, "its action is refused (%r)" % r)
    bad = os.path.join(TMP, "fail-slices")
    os.makedirs(bad)
    for name in ("a.tif", "b.tif"):
        with open(os.path.join(bad, name), "w") as f:
            f.write("not a picture")
    r = z.reply_of("importdata@@2@%s@0@100@tif@0@1@0@1@0@1@0@0@0@0@0@0" % bad)
    check(r == "ERROR:Command 'importdata' - Could not import any files", "an import of no pictures says so (%r)" % r)


def long_failure_list(z):
    """An export that leaves out every slice of five channels of 32767 slices answers one short
    final ERROR that says no file was written (a list of them all would be some 15 MB), and the
    link goes on."""
    out = os.path.join(TMP, "long-out")
    os.makedirs(out)
    ok = z.reply_of("newdocument@Long") == "OK"
    ok &= z.reply_of("setupgrids@@3@3@32767@0@0@0@1e-6@1e-6@1e-6") == "OK"
    ok &= z.reply_of("insertchannels@@Water;0#Bone;0#ct;1#b;3") == "OK"
    check(ok, "a 3x3x32767 document of five channels is set up")
    # Grey pictures as PNG are not offered: every file is left out.
    e = Replies(z, "output-img2d@@-1@%s@1@0@0" % out)
    check(e.whole and e.parts[:1] == ["EXTEND:500"] and len(e.parts) == 2
          and e.final == "ERROR:Command 'output-img2d' - Could not export any files",
          "the export answers one short ERROR (%d parts, %d bytes: %r)" % (len(e.parts), len(e.buf), e.buf[:200]))
    check(z.reply_of("hello") == "hello", "the program still answers after it")
    check(z.reply_of("closedocument@Long") == "OK", "and closes the document")


def listening_ports(pid):
    """The TCP ports the process listens on: its sockets found in the kernel's tables."""
    inodes = set()
    for fd in os.listdir("/proc/%d/fd" % pid):
        try:
            link = os.readlink("/proc/%d/fd/%s" % (pid, fd))
        except OSError:
            continue
        if link.startswith("socket:["):
            inodes.add(link[len("socket:["):-1])
    ports = []
    for table in ("tcp", "tcp6"):
        try:
            with open("/proc/%d/net/%s" % (pid, table)) as f:
                rows = [line.split() for line in f.readlines()[1:]]
        except OSError:
            continue
        ports += [int(r[1].split(":")[1], 16) for r in rows if r[3] == "0A" and r[9] in inodes]
    return ports


def case_ports():
    """A port number no controller could be told (0 has the system pick one, a number above 65535
    would wrap into another port) fails as a failed address lookup does: the message names the
    port, nothing listens and the program goes on to its window; an unknown service name's failure
    says in words why. The program shows under its own name although it restarted itself."""
    out_of_range = 'Invalid port "%s": a port number is from 1 to 65535.'
    for port, message in [("99999", re.escape(out_of_range % "99999")), ("65536", re.escape(out_of_range % "65536")),
                          ("0", re.escape(out_of_range % "0")),
                          ("abc", r'getaddrinfo failed with error: -?\d+ \(host "127\.0\.0\.1", port "abc": [A-Z][^)]+\)')]:
        log_path = os.path.join(TMP, "port-%s.log" % port)
        with open(log_path, "w") as log:
            env = dict(os.environ, ZUN_UNATTENDED="1", XDG_CONFIG_HOME=os.path.join(TMP, "config"))
            proc = subprocess.Popen([ZUN, "--h127.0.0.1", "--p" + port], env=env, stdout=log, stderr=subprocess.STDOUT)
        try:
            # The window comes after the start of the link has failed or been refused.
            deadline = time.time() + REPLY_WAIT
            window = ""
            while time.time() < deadline and proc.poll() is None and not window:
                window = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(proc.pid)],
                                        capture_output=True, text=True).stdout.strip()
                if not window:
                    time.sleep(0.2)
            with open(log_path, errors="replace") as f:
                said = [line[len("zun: "):].rstrip("\n") for line in f if line.startswith("zun: ")]
            check(bool(window) and proc.poll() is None, "--p%s: the program goes on to its window" % port)
            check(len(said) == 1 and re.fullmatch(message, said[0]) is not None, "--p%s: says why (%r)" % (port, said))
            check(listening_ports(proc.pid) == [], "--p%s: nothing listens (%r)" % (port, listening_ports(proc.pid)))
            with open("/proc/%d/comm" % proc.pid) as f:
                name = f.read().strip()
            check(name == os.path.basename(ZUN)[:15], "--p%s: the process is named %r" % (port, name))
        finally:
            proc.terminate()
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()


def case_refusals():
    """Requests that could not do what they asked answer ERROR with the reason and leave nothing
    behind: renames and inserts that do nothing, paths that are no file (a named pipe would hang
    the program) or hold a NUL (the path would be cut short), command windows opened without end
    and documents opened without end; a save sent during a boundary build waits for its end."""
    slices = os.path.join(TMP, "ref-slices")
    write_small_slices(slices)
    out = os.path.join(TMP, "ref-out")
    os.makedirs(out, exist_ok=True)
    pipe = os.path.join(out, "pipe.png")
    os.mkfifo(pipe)
    # The sanitized program keeps freed blocks in a quarantine before reusing them (256 MB unless
    # told otherwise), which the memory check below would count as growth.
    quarantine = 32
    z = Zun(asan="quarantine_size_mb=%d" % quarantine)
    try:
        setup_small_document(z, "Ref", slices)
        grid_words_read_whole(z)
        for payload, reason in [
            ("renamechannel@@NoSuch@X", 'Channel "NoSuch" does not exist.'),
            ("renamechannel@@water@X", 'Channel "water" does not exist.'),
            ("renamechannel@@Void@b", "Channel name 'b' already exists"),
            ("insertchannels@@b;0", 'Channel "b" already exists'),
            ("insertchannels@@n1;0#n1;0", 'Channel "n1" already exists'),
        ]:
            r = z.reply_of(payload)
            check(r == "ERROR:Command '%s' - %s" % (payload.split("@")[0], reason), "%s: says why (%r)" % (payload, r))
        nul = "\0"
        control = "The file or folder name holds a control character."
        for payload, reason in [
            ("output-histogram@@2@0@0@0@1@" + pipe, pipe + " is not a regular file."),
            ("output-histogram@@2@0@0@0@1@%s/h%s.png" % (out, nul), control),
            ("output-img2d@@-1@%s/d%se@1@1@0" % (out, nul), control),
            ("output-img2d@@-1@%s/a%sb@1@1@0" % (out, nul), control),
            ("output-web3d@@Page@0@About@page@%s/web%sx@8@1.4@1@0" % (out, nul), control),
            ("save@%s/a%sb.zun" % (out, nul), control),
            ("save@" + pipe, pipe + " is not a regular file."),
        ]:
            word = payload.split("@")[0]
            r = Replies(z, payload)
            check(r.final == "ERROR:Command '%s' - %s" % (word, reason), "%s: refused (%r)" % (ascii(payload), r.parts))
            if not z.alive():
                break
        check(z.reply_of("hello") == "hello", "the program still answers after the paths")
        check(sorted(os.listdir(out)) == ["pipe.png"], "nothing was written beside the pipe (%r)" % os.listdir(out))
        check_failures_answer_error(z)
        long_failure_list(z)

        # Windows opened and never closed: refused past the bound, the memory stays.
        before = resident_mb(z.proc.pid)
        refused = 0
        for payload in ["setupcomp-open@", "displayprop-open@@1", "setup-map-mapdata@@2@1@0@0@<2@0@0@0@100@0@0@7"]:
            for _ in range(150):
                r = z.reply_of(payload)
                refused += r.startswith("ERROR:Command '%s' - too many open windows" % payload.split("@")[0])
            z.reply_of("stop")
        grown = resident_mb(z.proc.pid) - before
        check(refused >= 3 * 150 - 3 * 8, "windows past the bound are refused (%d)" % refused)
        allowed = 150 + (quarantine if SANITIZED else 0)
        check(grown < allowed, "450 window requests grow the memory by %.0f MB (at most %d)" % (grown, allowed))

        # A save while the boundary build runs would store it half built: it waits for the build.
        saved = os.path.join(TMP, "ref-during.zun")
        t = z.tag()
        z.send(t, "@".join(boundary_words()))
        got = ""
        z.sock.settimeout(60)
        while not got.startswith(t + ":EXTEND:"):
            chunk = z.sock.recv(65536)
            if not chunk:
                break
            got += chunk.decode("latin-1")
        s = z.tag()
        z.send(s, "save@" + saved)
        got = z.read_finals(got, [s, t])
        built = re.search(re.escape(t) + r":(OK|ERROR)", got)
        after = built is not None and got.find(s + ":OK:ref-during.zun") > built.start()
        check(after, "a save sent during the build runs once the build has ended (%r)" % got[-240:])
        check(z.reply_of("save@" + saved) == "OK:ref-during.zun", "the built document saves again")
        overlong_requests(z)

        # The program's first document and Ref are open.
        documents_past_the_bound(z, 2, quarantine)
    finally:
        z.stop()


TOO_MANY_DOCUMENTS = re.compile(r"ERROR:Command 'newdocument' - Too many open documents \((\d+)\); close one first\.")


def new_document(z, title):
    """The reply to one newdocument request (an OK, or the whole refusal for want of room)."""
    return z.reply_of("newdocument@" + title)


def documents_past_the_bound(z, already_open, quarantine):
    """Documents requested without end: made up to the bound, then each request refused and the
    memory stays; a close makes room again."""
    made, bound, reply = 0, None, ""
    while made < 300:
        reply = new_document(z, "Many%d" % made)
        m = TOO_MANY_DOCUMENTS.fullmatch(reply)
        if m:
            bound = int(m.group(1))
            break
        if reply != "OK":
            break
        made += 1
    check(bound is not None and made + already_open == bound,
          "documents past the bound are refused (%d made, then %r)" % (made, reply[:120]))
    if bound is None:
        return
    before = resident_mb(z.proc.pid)
    refused = sum(TOO_MANY_DOCUMENTS.fullmatch(new_document(z, "Over")) is not None for _ in range(250))
    grown = resident_mb(z.proc.pid) - before
    check(refused == 250, "every one of 250 more requests is refused (%d)" % refused)
    # One more empty document would be about 19 MB.
    allowed = 64 + (quarantine if SANITIZED else 0)
    check(grown < allowed, "250 refused requests grow the memory by %.0f MB (at most %d)" % (grown, allowed))
    check(z.reply_of("closedocument@Many0") == "OK" and new_document(z, "Again") == "OK",
          "a closed document makes room for a new one")


# Requests whose every numeric word is tried at EXTREMES; "%(tmp)s" and "%(slices)s" are filled in.
NUMERIC_REQUESTS = [
    "setupgrids@@%(grid)s@0@0@0@1e-6@1e-6@1e-6",
    "setupgrid@@0@0@64",
    "setupgrid@@1@1@2",
    "setupgrid@@2@2@1e-6",
    "insertchannel@@x@4@0",
    "setupcompchannel@@1@H2O@1",
    "setupctchannel@@2@30",
    "importdata@@2@%(slices)s@0@100@tif@0@1@0@1@0@1@0@0@0@0@0@0",
    "@".join(boundary_words()),
    "windowpos@0@0@800@600",
    "displayprop-open@@1",
    "displayprop-chan-display@@1@7@0@1",
    "displayprop-open-setdisplay@@0@1",
    "displayprop-chan-stats@@1@5@1@0",
    "displayprop-chan-boundary@@1@3@1@0",
    "displayprop-chan-colourdata@@1@0@0@0",
    "displayprop-close@",
    "setup-map-mapdata@@2@1@0@0@<2@0@0@0@100@0@0@7",
    "setupcomp@@1@0@0@1@0@0@0",
    "setupcomp-open@",
    "setupcomp-open-computation@@0",
    "setupcomp-open-property@@0",
    "setupcomp-close@",
    "setupcomp-setup-dlss@@1@1@2;1;0.5;2@1;3@1@x@1;0;1;0.75",
    "setupcomp-setup-dnlo@@1@1@0@0@15@1@1@2000@0;0#1;0@0@10@0;0;1;0",
    "setupcomp-setup-dclo@@1@700@42@1@1@0@2;0.25@1;5@2@9@0",
    "setupcomp-setup-lca@@1@-1@4@0.5@0@0;0;0@0;0;0;0@0;0;0;0@0;0;0;0",
    "output-histogram@@1@0@0@0@1@%(tmp)s/num.png",
    "output-img2d@@1@%(tmp)s/num-img@1@1@0",
    "output-web3d@@Page@0@About@page@%(tmp)s/num-web@8@1.4@1@0",
    "output-animation@@1;0@25@1@1@0@0@0@%(tmp)s/num.avi",
]

# Requests that once broke the program, one a file ("%(tmp)s" is the test's folder).
REMOTE_CORPUS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fuzz", "corpus", "remote")

NUMBER = re.compile(r"^-?[0-9]+(\.[0-9]*)?(e-?[0-9]+)?$")


def numeric_variants(request):
    """(position, field, value, request) for every numeric word (and every number in a word's
    ';'/'#' lists) at every extreme value."""
    words = request.split("@")
    for i in range(1, len(words)):
        fields = re.split(r"([;#])", words[i])
        for j in range(0, len(fields), 2):
            if not NUMBER.match(fields[j]):
                continue
            for v in EXTREMES:
                changed = fields[:j] + [v] + fields[j + 1:]
                yield i, j, v, "@".join(words[:i] + ["".join(changed)] + words[i + 1:])


def case_numbers():
    """Every numeric word of the commands that build, set up and write out at 0, -1, INT_MAX,
    INT_MIN, NaN and inf: each gets one whole answer and the program lives on."""
    slices = os.path.join(TMP, "num-slices")
    write_small_slices(slices)
    for d in ("num-img", "num-web"):
        os.makedirs(os.path.join(TMP, d), exist_ok=True)
    # The corpus names a pipe where a picture goes: opened, it would hold the program for ever.
    os.mkfifo(os.path.join(TMP, "pipe.png"))
    z = Zun()
    tried = bad = 0
    try:
        setup_small_document(z, "Num", slices)
        corpus = [(name, open(os.path.join(REMOTE_CORPUS, name)).read().strip()) for name in sorted(os.listdir(REMOTE_CORPUS))]
        requests = [(name, text % {"tmp": TMP}) for name, text in corpus]
        for template in NUMERIC_REQUESTS:
            request = template % {"tmp": TMP, "slices": slices, "grid": GRID_WORDS}
            requests += [("%s word %d.%d at %s" % (template.split("@")[0], i, j, v), payload)
                         for i, j, v, payload in numeric_variants(request)]
        for what, payload in requests:
            tried += 1
            r = Replies(z, payload, timeout=120.0)
            if not r.whole or r.final.startswith(("EXTEND:", "WORK:")) or r.final == "<none>":
                bad += 1
                print(ascii("  %s %r: %r" % (what, payload[:120], r.buf[:200])))
            if not z.alive():
                check(False, "the program survives %s: %r" % (what, payload[:160]))
                return
            # Back to the document's grid for the next one.
            if payload.startswith("setupgrid"):
                z.reply_of("setupgrids@@%s@0@0@0@1e-6@1e-6@1e-6" % GRID_WORDS)
        check(bad == 0, "every one of %d extreme requests got one whole answer (%d did not)" % (tried, bad))
        check(z.reply_of("hello") == "hello", "and the program still replies afterwards")
        check(z.reply_of("save@" + os.path.join(TMP, "num.zun")) == "OK:num.zun", "and still saves its document")
    finally:
        z.stop()


def main():
    cases = sys.argv[2:] or ["link", "embed", "fuzz"]
    for c in cases:
        print("== " + c, flush=True)
        globals()["case_" + c]()
    if failures:
        print("%d check(s) failed; program logs in %s" % (len(failures), TMP))
        return 1
    subprocess.run(["rm", "-rf", TMP])
    return 0


if __name__ == "__main__":
    sys.exit(main())
