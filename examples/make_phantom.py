#!/usr/bin/python3
"""Writes a three-material phantom as a text data document.

The sample is void with a water ball that holds an aluminium rod; the boundaries are blurred so
that many voxels hold mixtures. Two monochromatic CT channels (40 and 80 keV) carry the linear
attenuation of the mixture, computed from xraylib's total cross sections, which are also the
source of the program's default attenuation tables. The composition channels of the document are
empty; --truth writes the same document with the true volume fractions filled in.
"""
import argparse

import numpy as np
import xraylib

MATERIALS = [("Void", "", 0.0), ("Water", "H2O", 1.0), ("Aluminium", "Al", 2.699)]
ENERGIES = [40.0, 80.0]
FULL = 16383


def fractions(n):
    c = (np.arange(n) + 0.5) / n - 0.5
    z, y, x = np.meshgrid(c, c, c, indexing="ij")
    soft = 1.5 / n  # width of the blurred edges
    ball = np.clip((0.42 - np.sqrt(x * x + y * y + z * z)) / soft + 0.5, 0, 1)
    rod = np.clip((0.12 - np.sqrt((x - 0.08) ** 2 + (y + 0.05) ** 2)) / soft + 0.5, 0, 1)
    rod *= np.clip((0.3 - np.abs(z)) / soft + 0.5, 0, 1)
    al = rod * ball
    water = ball - al
    void = 1.0 - ball
    return [void, water, al]


def words(values):
    return np.rint(np.clip(values, 0, 1) * FULL).astype(np.int64)


def mu(formula, density, energy):
    return xraylib.CS_Total_CP(formula, energy) * density if formula else 0.0


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--size", type=int, default=24)
    p.add_argument("--out", required=True)
    p.add_argument("--truth")
    a = p.parse_args()
    n = a.size
    f = fractions(n)
    ct, ranges = [], []
    for e in ENERGIES:
        lac = sum(fi * mu(form, d, e) for fi, (_, form, d) in zip(f, MATERIALS))
        top = 1.1 * max(mu(form, d, e) for _, form, d in MATERIALS)
        ct.append(words(lac / top))
        ranges.append(top)
    empty = [np.zeros((n, n, n), dtype=np.int64)] * len(MATERIALS)
    for path, comp in ((a.out, empty), (a.truth, [words(x) for x in f])):
        if not path:
            continue
        names = [m[0] for m in MATERIALS] + ["CT %g keV" % e for e in ENERGIES]
        with open(path, "w") as out:
            out.write("TEXT 1\n# three-material phantom, %d^3 voxels\n" % n)
            out.write("GRID %d %d %d\nCHANNELS %d\nSOURCE 1 0\n" % (n, n, n, len(names)))
            out.write("SCALES 1 0.001 0.001 0.001\n")
            out.write("NAMES " + " ".join('"%s"' % s for s in names) + "\n")
            out.write("TYPES 0 0 0 1 1\n")
            out.write("RANGES 0 1 0 1 0 1 " + " ".join("0 %.9g" % r for r in ranges) + "\n")
            compounds = ['%d "%s" %.9g' % (i, m[1], m[2]) for i, m in enumerate(MATERIALS) if m[1]]
            out.write("COMPOUNDS " + " ".join(compounds) + "\n")
            for i, e in enumerate(ENERGIES):
                out.write("BEAM %d %.9g\n" % (len(MATERIALS) + i, e))
            out.write("DATA\n")
            for block in comp + ct:
                for plane in block:
                    np.savetxt(out, plane, fmt="%d")
            out.write("END\n")


if __name__ == "__main__":
    main()
