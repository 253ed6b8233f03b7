"""The bench_pipeline command line: usage, refusals before any computing, progress through a
pipe, messages that say why, and no scratch folder left behind."""

import os
import subprocess
import sys
import tempfile

PROGRAM, EXAMPLE = sys.argv[1], sys.argv[2]
failures = []


def run(*args):
    p = subprocess.Popen([PROGRAM, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    out, err = p.communicate(timeout=600)
    scratch = os.path.join(tempfile.gettempdir(), "zun_pipeline_%d" % p.pid)
    if os.path.exists(scratch):
        failures.append("%s: scratch folder %s left behind" % (args, scratch))
    return p.returncode, out, err


def check(condition, what):
    if not condition:
        failures.append(what)


code, out, err = run("--help")
check(code == 0 and out.startswith("usage: bench_pipeline"), "--help: %d %r" % (code, out))
for args in (["--bogus"], ["-x", EXAMPLE], ["a.txt", "b.txt", "c.txt"], ["--size"], ["--size", "many"]):
    code, out, err = run(*args)
    check(code == 2 and "usage: bench_pipeline" in err and not out, "%s: %d %r %r" % (args, code, out, err))
    check(not os.path.exists("a.txt"), "%s: took an option for a file" % args)

with tempfile.TemporaryDirectory() as d:
    # Refused before computing, with the reason.
    plain = os.path.join(d, "plain.txt")
    open(plain, "w").close()
    copy = os.path.join(d, "in.txt")
    with open(EXAMPLE) as src, open(copy, "w") as dst:
        dst.write(src.read())
    for args, reason in (([copy, os.path.join(d, "no", "out.txt")], "no folder"),
                         ([copy, os.path.join(plain, "out.txt")], "no folder"),
                         ([copy, copy], "is the input"),
                         ([copy, os.path.join(d, ".", "in.txt")], "is the input"),
                         ([copy, d], "is a folder")):
        code, out, err = run(*args)
        check(code == 1 and reason in err and "running" not in out, "%s: %d %r %r" % (args, code, out, err))
    with open(EXAMPLE) as f:
        check(open(copy).read() == f.read(), "the input was changed")

    # A bad input says why and leaves nothing behind.
    bad = os.path.join(d, "bad.txt")
    with open(bad, "w") as f:
        f.write(open(EXAMPLE).read().replace('"H2O"', '"H2Oo"'))
    code, out, err = run(bad, os.path.join(d, "r.txt"))
    check(code == 1 and "H2Oo" in err and not os.path.exists(os.path.join(d, "r.txt")), "bad input: %r" % err)

    # A run through a pipe shows its steps as they start.
    result = os.path.join(d, "result.txt")
    code, out, err = run(copy, result)
    check(code == 0, "run: %d %r" % (code, err))
    check("running    " in out and "computation" in out, "no progress lines: %r" % out)
    check(out.index("running") < out.index("computation"), "progress after the summary")
    check(open(result).read().startswith("TEXT 1"), "no result written")

if failures:
    print("\n".join(failures))
    sys.exit(1)
print("bench_pipeline command line: all checks passed")
