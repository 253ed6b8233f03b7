"""Reference attenuation values from the source independent of each of our sets.

Input lines: method kind z energy. Output: one value (cm2/g) per line.
  method 1 (built from xraylib): the XCOM tables of pymca-data;
  methods 2 and 3 (built from XCOM): xraylib;
  method 0 (fits to XCOM): the XCOM tables themselves.
"""

import os
import sys

import xraylib

sys.path.insert(0, os.path.join(sys.argv[2], "tools"))
import xcom_tables  # noqa: E402

cache = {}


def xcom(z):
    if z not in cache:
        cache[z] = xcom_tables.XcomElement(xraylib.AtomicNumberToSymbol(z))
    return cache[z]


with open(sys.argv[1]) as f:
    for line in f:
        method, kind, z, e = line.split()
        method, kind, z, e = int(method), int(kind), int(z), float(e)
        if method in (0, 1):
            v = xcom(z).at("photo" if kind == 1 else "total", e)
        else:
            v = xraylib.CS_Photo(z, e) if kind == 1 else xraylib.CS_Total(z, e)
        print("%.9g" % v)
