"""Reference attenuation values for many points at once, from the sources our tables are built from.

Input (binary, little-endian float64 rows of 4): method, kind, Z, energy (keV).
Output (binary float64, one per row): cm2/g.
  method 1 (TLAC/TRC): xraylib's CS_Total / CS_Photo;
  methods 0, 2 and 3: the XCOM tables of pymca-data, each part interpolated log-log within the
  edge-free segment holding the energy (an edge energy belongs to the segment above it).
"""

import os
import sys

import numpy as np
import xraylib

sys.path.insert(0, os.path.join(sys.argv[3], "tools"))
import xcom_tables  # noqa: E402


def loglog(x, y, e):
    """xcom_tables._loglog for many energies in one edge-free segment."""
    k = np.clip(np.searchsorted(x, e, side="right") - 1, 0, len(x) - 2)
    x0, x1, y0, y1 = x[k], x[k + 1], y[k], y[k + 1]
    out = np.empty_like(e)
    pos = (y0 > 0) & (y1 > 0)
    with np.errstate(divide="ignore", invalid="ignore"):
        t = np.log(e / x0) / np.log(x1 / x0)
        out[pos] = np.exp(np.log(y0[pos]) + t[pos] * (np.log(y1[pos]) - np.log(y0[pos])))
    lin = ~pos
    out[lin] = y0[lin] + (y1[lin] - y0[lin]) * (e[lin] - x0[lin]) / (x1[lin] - x0[lin])
    out[e == x0] = y0[e == x0]
    out[e == x1] = y1[e == x1]
    return out


def xcom_values(element, column, e):
    parts = ("coherent", "incoherent", "photo", "pair") if column == "total" else (column,)
    cuts = np.array([a for a, _ in element.segments[1:]], dtype=int)
    edges = element.energy[cuts] if len(cuts) else np.array([])
    seg = np.searchsorted(edges, e, side="right")  # an edge energy takes the upper side
    total = np.zeros_like(e)
    for s, (a, b) in enumerate(element.segments):
        sel = seg == s
        if not sel.any():
            continue
        for p in parts:
            total[sel] += loglog(element.energy[a:b], getattr(element, p)[a:b], e[sel])
    return total


rows = np.fromfile(sys.argv[1], dtype="<f8").reshape(-1, 4)
out = np.zeros(len(rows))
method, kind, z = rows[:, 0].astype(int), rows[:, 1].astype(int), rows[:, 2].astype(int)
for zz in np.unique(z):
    element = None
    for m in np.unique(method[z == zz]):
        for k in (0, 1):
            sel = (z == zz) & (method == m) & (kind == k)
            if not sel.any():
                continue
            e = rows[sel, 3]
            if m == 1:
                fn = xraylib.CS_Photo if k == 1 else xraylib.CS_Total
                out[sel] = [fn(int(zz), float(v)) for v in e]
            else:
                if element is None:
                    element = xcom_tables.XcomElement(xraylib.AtomicNumberToSymbol(int(zz)))
                out[sel] = xcom_values(element, "photo" if k == 1 else "total", e)
out.astype("<f8").tofile(sys.argv[2])
