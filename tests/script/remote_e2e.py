"""Drives the zun program over its remote-control link, as an independent controller would.

Usage: remote_e2e.py <zun program> [case ...]
(needs an X display; cases: link, embed, fuzz, road, busy, numbers, desktop, opening, refusals,
ports, order, computations). ZUN_FUZZ_COUNT sets the number of random requests of "fuzz"; ZUN_ORDER_RUNS and
ZUN_ORDER_BUSY the rounds and busy processes of "order". A program built with AddressSanitizer and
UndefinedBehaviorSanitizer is run the same way: any report of theirs in its output fails the run.
"""
import ctypes
import os
import random
import re
import socket
import subprocess
import sys
import time

import remote_e2e_compute
import remote_e2e_work
from remoteharness import (NX, NY, NZ, REPLY_WAIT, TMP, Replies, Zun, check, failures, phantom_fraction,
                           write_slices)


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



def main():
    cases = sys.argv[2:] or ["link", "embed", "fuzz"]
    for c in cases:
        print("== " + c, flush=True)
        case = (globals().get("case_" + c) or getattr(remote_e2e_work, "case_" + c, None)
                or getattr(remote_e2e_compute, "case_" + c))
        case()
    if failures:
        print("%d check(s) failed; program logs in %s" % (len(failures), TMP))
        return 1
    subprocess.run(["rm", "-rf", TMP])
    return 0


if __name__ == "__main__":
    sys.exit(main())
