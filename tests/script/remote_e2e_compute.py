"""The remote end-to-end case of computations: two documents computing at once, each started by its
own "startcomp", each tag answered by its own document's computation, and "stop" while both
compute. Run through remote_e2e.py."""
import os
import re
import subprocess
import sys
import time

from remoteharness import FINAL, REPLY_WAIT, TMP, Zun, check, final_reply
from remote_e2e_work import rounds_quiet_and_busy

MAKE_PHANTOM = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples", "make_phantom.py")
TITLES = ("phA", "phB")


def make_phantoms(size):
    paths = []
    for title in TITLES:
        path = os.path.join(TMP, title + ".txt")
        if not os.path.exists(path):
            subprocess.run([sys.executable, MAKE_PHANTOM, "--size", str(size), "--out", path], check=True)
        paths.append(path)
    return paths


class Controller:
    """Requests sent without waiting for the replies of those before: every reply is kept in one
    stream, and the time each tag's final reply first stood in it."""

    def __init__(self, z):
        self.z = z
        self.stream = ""
        self.count = 0
        self.finals = {}
        self.watched = []

    def send(self, payload, tag=None):
        if tag is None:
            # "Q" and three of these: no tag of the case stands inside another's.
            digits = "0123456789abcdefghijklmnopqrstuvwxyz"
            self.count += 1
            n = self.count
            tag = "Q" + "".join(digits[(n // 36 ** k) % 36] for k in (2, 1, 0))
        self.z.send(tag, payload)
        return tag

    def pump(self, done, timeout=REPLY_WAIT):
        """Reads until done() holds; False when the time ran out or the link ended."""
        end = time.time() + timeout
        while not done():
            if time.time() > end:
                return False
            chunk = self.z.receive(0.2)
            if chunk == b"":
                return False
            if chunk:
                self.stream += chunk.decode("latin-1")
                now = time.time()
                for t in self.watched:
                    if t not in self.finals and final_reply(self.stream, t) == FINAL:
                        self.finals[t] = now
        return True

    def final_of(self, tag):
        return final_reply(self.stream, tag) == FINAL

    def ask(self, payload):
        t = self.send(payload)
        self.pump(lambda: self.final_of(t))
        m = re.search(re.escape(t) + r":(?!EXTEND:|WORK:)", self.stream)
        return self.stream[m.end():] if m else ""

    def running(self, title):
        """Whether the document computes: a rename of a channel it lacks is refused for the
        running computation before the name is looked at."""
        return self.probe(title)[0]

    def probe(self, title):
        """Whether the document computes, and where the answer stands in the stream: the program
        answers in the order things happened, so a computation's end and a probe keep theirs."""
        t = self.send("renamechannel@%s@NoSuchChannel@X" % title)
        self.pump(lambda: self.final_of(t))
        at = self.stream.find(t + ":ERROR:Command 'renamechannel' - computation running")
        return at >= 0, at if at >= 0 else self.stream.find(t + ":")

    def start(self, tag, title):
        self.watched.append(tag)
        self.send("startcomp@" + title, tag)
        return self.pump(lambda: tag + ":EXTEND:300" in self.stream)

    def replies_of(self, tag):
        """The tag's replies, in order (a tag of this case never stands inside another's)."""
        return re.findall(re.escape(tag) + r":(EXTEND:\d+|WORK:\d+|OK(?::[^:]*?)?(?=C\d:|Q[0-9a-z]{3}:|S\d:|$)|ERROR)",
                          self.stream)


def set_up(c, iterations):
    ok = True
    for title, n in zip(TITLES, iterations):
        ok &= c.ask("setupcomp@%s@1@0@0@1@0@0@0" % title) == "OK"
        # A neighbour range of one: every iteration is run, none ends the optimisation early.
        ok &= c.ask("setupcomp-setup-dnlo@%s@1@1@0@0@15@1@1@2000@0;0#1;0#2;0@1@%d@0;1;1;0.1" % (title, n)) == "OK"
    check(ok, "both documents set up for the nonlinear optimisation (%s iterations)" % "/".join(map(str, iterations)))
    return ok


class Seen:
    """What the probes of one document found: the last answer that it computed (where in the
    stream and when) and when it was first found ended."""

    def __init__(self):
        self.busy_at = -1
        self.busy_time = None
        self.idle_time = None


def watch_both(c, tags, timeout):
    """Probes both documents until both tags have their final reply and both documents were
    found ended."""
    seen = {t: Seen() for t in TITLES}
    end = time.time() + timeout
    while time.time() < end:
        if all(t in c.finals for t in tags) and all(s.idle_time is not None for s in seen.values()):
            break
        for title in TITLES:
            if seen[title].idle_time is not None:
                continue
            busy, at = c.probe(title)
            if busy:
                seen[title].busy_at, seen[title].busy_time = at, time.time()
            else:
                seen[title].idle_time = time.time()
        c.pump(lambda: False, 0.2)
    return seen


def two_computations(z, iterations, n, start0):
    """One round: phA started under C1, then phB under C2 while phA computes. None when each tag
    had its one final reply once its own document had ended and not before, with its progress
    under it; else what went wrong. Also whether phA ended while phB computed."""
    c = Controller(z)
    if not set_up(c, iterations):
        return "not set up", False
    c1, c2 = "C1", "C2"
    if not c.start(c1, TITLES[0]):
        return "C1 never answered EXTEND (%r)" % c.stream[-200:], False
    if not c.running(TITLES[0]):
        return "phA did not compute after its start", False
    if not c.start(c2, TITLES[1]):
        return "C2 never answered EXTEND (%r)" % c.stream[-200:], False
    seen = watch_both(c, [c1, c2], 600)
    for tag, title in ((c1, TITLES[0]), (c2, TITLES[1])):
        replies = c.replies_of(tag)
        finals = [r for r in replies if not r.startswith(("EXTEND:", "WORK:"))]
        if finals != ["OK"]:
            return "%s: finals %r, not one OK (%r)" % (tag, finals, c.stream[-300:]), False
        # A probe answered after the final reply found the document still computing.
        if c.stream.find(tag + ":OK") < seen[title].busy_at:
            return "%s answered while %s still computed (%r)" % (tag, title, c.stream[-400:]), False
        if seen[title].idle_time is None:
            return "%s never seen ended" % title, False
        if not any(r.startswith("WORK:") for r in replies):
            return "%s: no progress under its tag" % tag, False
        if replies.index("OK") != len(replies) - 1:
            return "%s: replies after its final one (%r)" % (tag, replies), False
    first_end = c.stream.find(c1 + ":OK")
    met = first_end < seen[TITLES[1]].busy_at
    if met and c.stream.find(c2 + ":WORK:", first_end) < 0:
        return "phB's progress did not go under C2", met
    def at(t):
        return "%.1f s" % (t - start0) if t is not None else "never"
    print("     round %d: %s" % (n + 1, "; ".join(
        "%s (%s) final at %s, last found computing %s, found ended %s"
        % (tag, title, at(c.finals.get(tag)), at(seen[title].busy_time), at(seen[title].idle_time))
        for tag, title in ((c1, TITLES[0]), (c2, TITLES[1])))))
    return None, met


def stop_while_both_compute(z, iterations):
    """"stop" stops the active document's computation; its start's tag is answered once that
    computation has ended, before the stop's own reply; the other computation goes on and answers
    its own start at its end."""
    c = Controller(z)
    if not set_up(c, iterations):
        return
    ok = c.start("C1", TITLES[0]) and c.start("C2", TITLES[1])
    ok &= c.running(TITLES[0]) and c.running(TITLES[1])
    check(ok, "stop: both documents compute")
    if not ok:
        return
    s = c.send("stop", "S1")
    c.pump(lambda: c.final_of(s))
    stopped = [t for t in ("C1", "C2") if t in c.finals]
    check(len(stopped) == 1, "stop: one computation answered (%r)" % stopped)
    if len(stopped) != 1:
        return
    other = "C2" if stopped == ["C1"] else "C1"
    title = dict(zip(("C1", "C2"), TITLES))
    at_stop = c.stream.find("S1:OK")
    check(c.replies_of(stopped[0])[-1] == "OK" and c.stream.find(stopped[0] + ":OK") < at_stop,
          "stop: %s answered a plain OK before the stop's own OK (%r)" % (stopped[0], c.stream[-200:]))
    check(not c.running(title[stopped[0]]), "stop: %s no longer computes once the stop has answered" % title[stopped[0]])
    check(c.running(title[other]) and other not in c.finals,
          "stop: %s still computes and %s has no answer yet" % (title[other], other))
    c.pump(lambda: c.final_of(other), 600)
    check(c.replies_of(other)[-1:] == ["OK"] and not c.running(title[other]),
          "stop: %s answered OK at %s's end (%r)" % (other, title[other], c.replies_of(other)[-2:]))
    print("     stop: %s stopped and answered; %s answered %.1f s later at its own end"
          % (title[stopped[0]], other, c.finals[other] - c.finals[stopped[0]]))


def case_computations():
    """Two documents' computations started by two tags, the second while the first runs: each tag
    has its progress and one final reply from its own document's computation, once that has ended;
    then "stop" while both compute. ZUN_COMPUTE_RUNS rounds (default 1) quiet and beside
    ZUN_COMPUTE_BUSY spinning processes (default 4); ZUN_COMPUTE_SIZE the phantoms' edge (40),
    ZUN_COMPUTE_ITERATIONS the two documents' iterations (300,1200)."""
    runs = int(os.environ.get("ZUN_COMPUTE_RUNS", "1"))
    spinning = int(os.environ.get("ZUN_COMPUTE_BUSY", "4"))
    size = int(os.environ.get("ZUN_COMPUTE_SIZE", "40"))
    iterations = [int(x) for x in os.environ.get("ZUN_COMPUTE_ITERATIONS", "300,1200").split(",")]
    paths = make_phantoms(size)
    rounds_quiet_and_busy(runs, spinning, lambda: Zun(paths),
                          lambda z, n: two_computations(z, iterations, n, time.time()),
                          "answered each tag at its own end", "each tag answered by its own computation",
                          "phA ended while phB computed",
                          after=lambda z: stop_while_both_compute(z, [iterations[1], iterations[1]]))
