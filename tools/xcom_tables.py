"""Reader of the per-element photon cross-section tables in XCOM format shipped by pymca-data."""

import os
import re

import numpy as np

ATTDATA = "/usr/share/pymca/attdata"

_SECTIONS = (
    "COHERENT",
    "INCOHERENT",
    "PHOTOELECTRIC",
    "PAIR PROD. CROSS SECTION (ATOMIC NUCLEUS)",
    "PAIR PROD. CROSS SECTION (ATOMIC ELECTRONS)",
)


class XcomElement:
    """Cross sections of one element in cm2/g, energies in keV, sorted ascending.

    Absorption edges appear as two records at the same energy (below-edge value first).
    `segments` lists index ranges [start, stop) that hold no edge inside.
    """

    def __init__(self, symbol):
        path = os.path.join(ATTDATA, symbol + ".mat")
        with open(path) as f:
            lines = f.read().splitlines()
        i = 0
        while "ENERGY LIST" not in lines[i]:
            i += 1
        header = " ".join(lines[1:i]).split()
        blocks = []
        cur = None
        for line in lines[i:]:
            if re.match(r"\s*[A-Za-z]", line):
                cur = []
                blocks.append(cur)
                continue
            cur.extend(float(t) for t in line.split())
        energy = np.array(blocks[0]) * 1000.0
        n = len(energy)
        cols = [np.array(b[:n]) for b in blocks[1:6]]
        for c in cols:
            if len(c) != n:
                raise ValueError("%s: short section" % symbol)
        order = np.argsort(energy, kind="stable")
        # Repeated energies with equal values are not edges; keep one record.
        keep = [True] * n
        for a, b in zip(order[:-1], order[1:]):
            if energy[a] == energy[b] and all(c[a] == c[b] for c in cols):
                keep[b] = False
        order = np.array([k for k in order if keep[k]])
        n = len(order)
        self.energy = energy[order]
        self.coherent = cols[0][order]
        self.incoherent = cols[1][order]
        self.photo = cols[2][order]
        self.pair = (cols[3] + cols[4])[order]
        self.total = self.coherent + self.incoherent + self.photo + self.pair
        self.z = int(header[1])
        # Edge doublets split the curve into smooth segments.
        cuts = [k + 1 for k in range(n - 1) if self.energy[k + 1] == self.energy[k]]
        bounds = [0] + cuts + [n]
        self.segments = [(bounds[k], bounds[k + 1]) for k in range(len(bounds) - 1)]
        self.edges = [self.energy[c] for c in cuts]

    def segment_for(self, e):
        """Index range of the segment that serves energy e (an edge energy takes the upper side)."""
        for a, b in self.segments:
            if self.energy[a] <= e and (e < self.energy[b - 1] or (b == len(self.energy) and e <= self.energy[b - 1])):
                return a, b
            if e == self.energy[b - 1] and b < len(self.energy) and self.energy[b] != e:
                return a, b
        return self.segments[-1]

    def at(self, column, e, below_edge=False):
        """Log-log interpolation of a column within the segment holding e."""
        if column == "total":
            # Each part follows its own power law; interpolating the sum would bend it.
            return sum(self.at(c, e, below_edge) for c in ("coherent", "incoherent", "photo", "pair"))
        values = getattr(self, column)
        if below_edge:
            seg = None
            for a, b in self.segments:
                if self.energy[a] < e <= self.energy[b - 1]:
                    seg = (a, b)
                    break
            if seg is None:
                seg = self.segment_for(e)
        else:
            seg = self.segment_for(e)
        a, b = seg
        x = self.energy[a:b]
        y = values[a:b]
        return _loglog(x, y, e)


def _loglog(x, y, e):
    if e <= x[0]:
        k = 0
    elif e >= x[-1]:
        k = len(x) - 2
    else:
        k = int(np.searchsorted(x, e, side="right")) - 1
    k = max(0, min(k, len(x) - 2))
    x0, x1, y0, y1 = x[k], x[k + 1], y[k], y[k + 1]
    if e == x0:
        return y0
    if e == x1:
        return y1
    if y0 > 0 and y1 > 0:
        t = np.log(e / x0) / np.log(x1 / x0)
        return float(np.exp(np.log(y0) + t * (np.log(y1) - np.log(y0))))
    return float(y0 + (y1 - y0) * (e - x0) / (x1 - x0))
