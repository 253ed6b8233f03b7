"""The remote end-to-end cases of long work and refusals: requests sent during work, pipelined
requests answered in order, the port checks, refused and hostile requests, and numeric extremes.
Run through remote_e2e.py."""
import os
import random
import re
import shutil
import subprocess
import sys
import time

from remoteharness import (EXTREMES, GRID_WORDS, GX, GY, GZ, NOT_YET, REPLY_WAIT, SANITIZED, TMP, ZUN, Replies,
                           Zun, boundary_words, check, final_reply, setup_small_document,
                           write_small_slices)
from remotelinktools import resident_mb


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


def rounds_quiet_and_busy(runs, spinning, start, one_round, done, claim, shown, after=None):
    """`runs` rounds of one_round(z, n) -> (what went wrong or None, whether the round showed what
    the case is about) on one program quiet and on one beside `spinning` busy processes: every
    round must pass (`claim`) and one at least show it (`shown`). `start` starts the program;
    `after(z)` runs on the quiet one once its rounds are done."""
    for label, count in (("quiet", 0), ("beside %d busy processes" % spinning, spinning)):
        busy = busy_processes(count)
        z = start()
        try:
            passed = met = 0
            for n in range(runs):
                wrong, during = one_round(z, n)
                if wrong:
                    print("     round %d: %s" % (n + 1, wrong))
                passed += wrong is None
                met += during
                if not z.alive():
                    break
            print("     %s: %d of %d rounds %s" % (label, passed, runs, done))
            check(passed == runs, "%s: %s (%d of %d)" % (label, claim, passed, runs))
            check(met > 0, "%s: %s (%d of %d rounds)" % (label, shown, met, runs))
            if after and count == 0 and z.alive():
                after(z)
        finally:
            z.stop()
            for p in busy:
                p.kill()
                p.wait()


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
    # Else the export was too quick for the case to show anything: the close came while it ran.
    rounds_quiet_and_busy(runs, spinning, Zun, lambda z, n: pipelined_round(z, rng, folder, n), "in order",
                          "every pipelined round answered in order", "the close came while the export ran")


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
    # A folder below a regular file: every file is left out.
    plain = os.path.join(TMP, "long-plain")
    with open(plain, "w") as f:
        f.write("x")
    out = os.path.join(plain, "sub")
    ok = z.reply_of("newdocument@Long") == "OK"
    ok &= z.reply_of("setupgrids@@3@3@32767@0@0@0@1e-6@1e-6@1e-6") == "OK"
    ok &= z.reply_of("insertchannels@@Water;0#Bone;0#ct;1#b;3") == "OK"
    check(ok, "a 3x3x32767 document of five channels is set up")
    e = Replies(z, "output-img2d@@-1@%s@1@1@0" % out)
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
        # Grey pictures have no PNG form: refused with the window's reason, into a writable folder.
        for mode in ("1", "2"):
            r = Replies(z, "output-img2d@@-1@%s@%s@0@0" % (out, mode))
            check(r.parts == ["ERROR:Command 'output-img2d' - Current PNG format does not support Mono colour."],
                  "mono %s PNG refused with its reason (%r)" % ("8 bit" if mode == "1" else "16 bit", r.parts))
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
