"""Atom counts of chemical formulas by xraylib's parser: one input formula per line, one output line
per formula with the element symbols and counts ("H:2 O:1")."""

import sys

import xraylib

with open(sys.argv[1]) as f:
    for line in f:
        text = line.strip()
        if not text:
            continue
        c = xraylib.CompoundParser(text)
        print(" ".join("%s:%.9g" % (xraylib.AtomicNumberToSymbol(z), n) for z, n in zip(c["Elements"], c["nAtoms"])))
