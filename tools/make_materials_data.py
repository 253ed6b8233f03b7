#!/usr/bin/python3
"""Generates the element, edge, fit-coefficient and attenuation tables of the materials code.

Run (from anywhere, takes about a minute): /usr/bin/python3 tools/make_materials_data.py
Needs the Debian packages python3-xraylib, pymca-data, python3-numpy, python3-scipy and zstd
(scripts/setup installs them). The output is the same byte for byte on every run.

Sources:
  - python3-xraylib: atomic weights and densities (except the rows our users know by heart),
    absorption edges, emission lines, fluorescence yields, the TLAC/TRC set and phase terms;
  - pymca-data: per-element XCOM-format cross sections for the NIST and Extended sets and for the
    least-squares fits of the "mucal" routine.

Writes src/model/elementdata.cpp (small tables as C++ source) and data/attenuation.zst (the six
tables, see write_blob for the layout). Prints the fit residuals and the point counts.
"""

import bisect
import math
import os
import struct
import subprocess
import sys

import numpy as np
import xraylib as xrl

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import mucal_fits  # noqa: E402
import xcom_tables  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
N_ELEMENTS = 94
NIST_ELEMENTS = 92
HC_KEV_ANGSTROM = 12.398419843320026

# Values our users expect to see exactly (everything else comes from xraylib).
WEIGHT_OVERRIDES = {1: 1.008, 6: 12.01, 8: 16.0, 26: 55.85, 82: 207.21, 92: 238.07, 94: 239.1}
DENSITY_OVERRIDES = {1: 8.9e-05, 8: 0.001429, 6: 2.26, 13: 2.72, 26: 7.86, 82: 11.34, 92: 19.05, 94: 19.7}


def symbols():
    return [xrl.AtomicNumberToSymbol(z) for z in range(1, N_ELEMENTS + 1)]


def element_table():
    rows = []
    for z in range(1, N_ELEMENTS + 1):
        w = WEIGHT_OVERRIDES.get(z, xrl.AtomicWeight(z))
        d = DENSITY_OVERRIDES.get(z, xrl.ElementDensity(z))
        rows.append((xrl.AtomicNumberToSymbol(z), w, d))
    return rows


def safe(fn, *args):
    try:
        v = fn(*args)
        return v if v > 0 else 0.0
    except Exception:
        return 0.0


EDGE_SHELLS = [getattr(xrl, n + "_SHELL") for n in (
    "K", "L1", "L2", "L3", "M1", "M2", "M3", "M4", "M5", "N1", "N2", "N3", "N4", "N5", "N6", "N7",
    "O1", "O2", "O3")]


def edge_table():
    table = []
    for z in range(1, N_ELEMENTS + 1):
        edges = sorted({safe(xrl.EdgeEnergy, z, s) for s in EDGE_SHELLS} - {0.0})
        edges = [e for e in edges if e >= 1.0]
        if len(edges) > 12:
            edges = edges[-12:]
        table.append(edges)
    return table


# ---------------------------------------------------------------------------------------------
# Grids


def tlac_grid():
    return [round(0.1 * i, 1) for i in range(10, 1501)]


def extended_grid():
    """0.1 keV steps to 100 keV; in each further 100 keV band the step grows by 0.1 keV and one
    irregular step reaches the band's end. A band's last regular point closer to that end than the
    base step is left out: the irregular step then is longer than the band's step, not shorter."""
    g = list(range(10, 1001))
    for k in range(2, 21):
        lo, hi = 1000 * (k - 1), 1000 * k
        e = lo + k
        while e < hi:
            if hi - e > 1:
                g.append(e)
            e += k
        g.append(hi)
    return [v / 10.0 for v in g]


def nist_base_grid():
    # The ratio is rounded: its 80th power ends at 432.938 keV, short of the grid's stated last
    # point, where a lookup would then find no data.
    g = [2.0807 * 1.069 ** i for i in range(81)]
    g[-1] = 432.9451
    return g


# ---------------------------------------------------------------------------------------------
# Phase term: 2 pi delta / lambda per unit density, in 1/cm per g/cm3.


def phase_xraylib(sym, e):
    delta = 1.0 - xrl.Refractive_Index_Re(sym, e, 1.0)
    lam_cm = HC_KEV_ANGSTROM / e * 1e-8
    return 2.0 * math.pi * delta / lam_cm


# Absorption edges inside a grid get two points of their own: one on the source's jump with the high
# side, one this far below with the low side, each the source's own value there. The table reader then
# inserts nothing, and edges that share one grid step keep their jumps.
EDGE_GAP = 0.001  # keV
# Between close edges the sources let the curve climb over tens of eV (edges spread by the atom's
# environment); there the grid gets the source's own points until the reader's interpolation
# follows the curve this closely.
RISE_TOLERANCE = 0.004


def with_edge_points(grid, jumps, extra):
    """The grid's energies, two points per jump strictly inside it and the extra energies, ascending.
    Stored energies are read back as floats: of energies that would read back alike, a jump's
    point stays (the reader then finds the edge it would insert), then an extra one, then the grid's."""
    lo, hi = grid[0], grid[-1]
    pts = {}

    def add(e):
        pts.setdefault(float(np.float32(e)), e)

    for ed in jumps:
        if lo < ed <= hi:
            add(ed)
    for ed in jumps:
        if lo < ed <= hi and ed - EDGE_GAP >= lo:
            add(ed - EDGE_GAP)
    for e in extra:
        if lo < e < hi:
            add(e)
    for e in grid:
        add(e)
    return sorted(pts.values())


def interpolate(es, vs, e):
    """The table reader's interpolation (AttenTable::Interpolate) of one value column."""
    k = bisect.bisect_left(es, e)
    if es[k] == e:
        return vs[k]
    lo, hi = k - 1, k
    if vs[hi] > vs[lo] and (lo == 0 or vs[lo - 1] >= vs[lo]):
        if lo == 0:
            return vs[lo]
        return vs[lo] + (vs[lo] - vs[lo - 1]) / (es[lo] - es[lo - 1]) * (e - es[lo])
    return vs[lo] + (vs[hi] - vs[lo]) / (es[hi] - es[lo]) * (e - es[lo])


def refine_rises(grid, fns):
    """Adds the sources' points where a curve climbs between two grid points (other than across an
    edge's own pair) until the reader's interpolation stays within RISE_TOLERANCE of every curve."""
    es = list(grid)
    cols = [[f(e) for e in es] for f in fns]
    for _ in range(30):
        added = []
        for i in range(len(es) - 1):
            a, b = es[i], es[i + 1]
            if b - a <= 2 * EDGE_GAP or not any(c[i + 1] > c[i] for c in cols):
                continue
            bad = False
            for t in np.linspace(0.0, 1.0, 9)[1:-1]:
                e = a + t * (b - a)
                for f, c in zip(fns, cols):
                    ref = f(e)
                    if ref > 0 and abs(interpolate(es, c, e) / ref - 1.0) > RISE_TOLERANCE:
                        bad = True
            if bad:
                added.append(0.5 * (a + b))
        if not added:
            break
        for e in added:
            k = bisect.bisect_left(es, e)
            es.insert(k, e)
            for f, c in zip(fns, cols):
                c.insert(k, f(e))
    return es


def jump_near(fn, z, lo, hi):
    """Where fn(z, E) jumps up between lo and hi: (last energy below, first above), or None."""
    es = np.linspace(lo, hi, 81)
    lv = np.log([max(fn(z, float(e)), 1e-300) for e in es])
    d = np.diff(lv)
    k = int(np.argmax(d))
    if d[k] <= max(0.0, np.median(d)) + 1e-3:
        return None
    # The half holding the jump climbs more than the other, whether the curve around it falls or
    # climbs (between close edges).
    a, b = float(es[k]), float(es[k + 1])
    la, lb = math.log(fn(z, a)), math.log(fn(z, b))
    for _ in range(60):
        mid = 0.5 * (a + b)
        lm = math.log(fn(z, mid))
        if lm - la > lb - lm:
            b, lb = mid, lm
        else:
            a, la = mid, lm
    return a, b


def source_edges(z):
    """Every xraylib edge at 1 keV or above (the edge table keeps the highest twelve)."""
    return sorted({safe(xrl.EdgeEnergy, z, s) for s in EDGE_SHELLS if safe(xrl.EdgeEnergy, z, s) >= 1.0})


def xraylib_jumps(z):
    """xraylib's cross sections jump up to a few per cent off its own edge energies. The table's
    jump is the listed energy where the source is on the high side there and still on the low side
    EDGE_GAP below; else the first float energy above the source's jump."""
    edges = source_edges(z)
    jumps = []
    for k, ed in enumerate(edges):
        lo = ed - min(0.05, 0.5 * (ed - edges[k - 1]) if k else 0.05)
        hi = ed + min(0.05, 0.5 * (edges[k + 1] - ed) if k + 1 < len(edges) else 0.05)
        j = jump_near(xrl.CS_Total, z, lo, hi)
        if j is None or (ed - EDGE_GAP < j[0] and j[1] <= ed):
            jumps.append(ed)
            continue
        f = np.float32(j[1])
        if f < j[1]:
            f = np.nextafter(f, np.float32(np.inf))
        jumps.append(float(f))
    return jumps


def build_tlac(syms, table_edges):
    grids, tot, pe, ph = [], [], [], []
    for z, s in enumerate(syms, 1):
        fns = [lambda e, z=z: xrl.CS_Total(z, e), lambda e, z=z: xrl.CS_Photo(z, e)]
        grid = refine_rises(with_edge_points(tlac_grid(), xraylib_jumps(z), table_edges[z - 1]), fns)
        grids.append(grid)
        tot.append([fns[0](e) for e in grid])
        pe.append([fns[1](e) for e in grid])
        ph.append([phase_xraylib(s, e) for e in grid])
    return grids, tot, pe, ph


def build_extended(syms, xcom, table_edges):
    grids, tot, pe, ph = [], [], [], []
    for z, s in enumerate(syms, 1):
        x = xcom[z]
        below = {ed - EDGE_GAP for ed in x.edges}
        fns = [lambda e, x=x, col=col: x.at(col, e, below_edge=e in below) for col in ("total", "photo")]
        grid = refine_rises(with_edge_points(extended_grid(), x.edges, table_edges[z - 1]), fns)
        grids.append(grid)
        tot.append([fns[0](e) for e in grid])
        pe.append([fns[1](e) for e in grid])
        p800 = phase_xraylib(s, 800.0)
        # high-energy limit: the phase term falls as 1/E
        ph.append([phase_xraylib(s, e) if e <= 800.0 else p800 * 800.0 / e for e in grid])
    return grids, tot, pe, ph


def build_nist(xcom):
    base = nist_base_grid()
    lo, hi = base[0], base[-1]
    grids, tot, pe = [], [], []
    for z in range(1, NIST_ELEMENTS + 1):
        x = xcom[z]
        pts = {}
        for e in base:
            pts[e] = (x.at("total", e), x.at("photo", e))
        for edge in x.edges:
            if lo < edge < hi:
                below = edge - 0.001
                pts[below] = (x.at("total", below, below_edge=True), x.at("photo", below, below_edge=True))
                pts[edge] = (x.at("total", edge), x.at("photo", edge))
        es = sorted(pts)
        grids.append(es)
        tot.append([pts[e][0] for e in es])
        pe.append([pts[e][1] for e in es])
    return grids, tot, pe


# ---------------------------------------------------------------------------------------------
# Output


def fmt(v):
    return repr(float(v))


def write_cpp(elements, edges, mucal):
    out = []
    out.append("// Generated by tools/make_materials_data.py from Debian's python3-xraylib and pymca-data.")
    out.append("// Do not edit: change the generator and run it again.")
    out.append('#include "model/elementdata.h"')
    out.append("")
    out.append("namespace zun::elementdata {")
    out.append("")
    out.append("const ElementRow kElements[kElementCount] = {")
    for s, w, d in elements:
        out.append('    {"%s", %s, %s},' % (s, fmt(w), fmt(d)))
    out.append("};")
    out.append("")
    out.append("const EdgeRow kEdges[kElementCount] = {")
    for z, ed in enumerate(edges, 1):
        vals = ", ".join(fmt(v) for v in ed) if ed else ""
        out.append("    {%d, {%s}},  // %s" % (len(ed), vals, elements[z - 1][0]))
    out.append("};")
    out.append("")
    out.append("const MucalRow kMucal[kElementCount] = {")
    for z, row in enumerate(mucal, 1):
        if row is None:
            out.append("    {},  // %s: no data" % elements[z - 1][0])
            continue
        en = ", ".join(fmt(v) for v in row["energies"])
        fits = ", ".join("{" + ", ".join(fmt(c) for c in f) + "}" for f in row["fits"])
        ys = ", ".join(fmt(v) for v in row["yields"])
        out.append("    {true, {%s}, {%s}, %s, %s, %s, %s, {%s}},  // %s" % (
            en, fits, fmt(row["weight"]), fmt(row["density"]), fmt(row["conv"]), fmt(row["kjump"]), ys,
            elements[z - 1][0]))
    out.append("};")
    out.append("")
    out.append("}  // namespace zun::elementdata")
    with open(os.path.join(ROOT, "src/model/elementdata.cpp"), "w") as f:
        f.write("\n".join(out) + "\n")


QUANTUM = 2.0 ** -20  # relative resolution of the stored logarithms (about 1e-6)


def encode_curve(values):
    """A curve as quantised natural logarithms, second differences, zig-zag varints.
    Zero (or negative) values get the reserved logarithm code -2^40 (read back as 0)."""
    v = np.asarray(values, float)
    q = np.where(v > 0, np.round(np.log(np.where(v > 0, v, 1.0)) / QUANTUM), -(2 ** 40)).astype(np.int64)
    d = np.diff(q, n=1, prepend=0)
    dd = np.diff(d, n=1, prepend=0)
    out = bytearray()
    for x in dd.tolist():
        u = (x << 1) ^ (x >> 63)
        u &= (1 << 64) - 1
        while u >= 0x80:
            out.append((u & 0x7F) | 0x80)
            u >>= 7
        out.append(u)
    return bytes(out)


def encode_linear(values, scale):
    """A curve that may change sign (the phase term): value/scale quantised to 1e-6 relative of
    the curve's largest magnitude, second differences, zig-zag varints."""
    v = np.asarray(values, float)
    q = np.round(v / scale).astype(np.int64)
    d = np.diff(q, n=1, prepend=0)
    dd = np.diff(d, n=1, prepend=0)
    out = bytearray()
    for x in dd.tolist():
        u = ((x << 1) ^ (x >> 63)) & ((1 << 64) - 1)
        while u >= 0x80:
            out.append((u & 0x7F) | 0x80)
            u >>= 7
        out.append(u)
    return bytes(out)


def write_blob(tables):
    """Layout (little-endian), zstd-compressed as a whole:
    "ZATN", u32 version 1, u32 table count;
    per table: u8 method, u8 kind, u8 has phase, u8 0, u32 element count;
      per element: u32 point count n; n x f64 energy (keV);
        u32 byte count, the value curve (encode_curve);
        when has phase: f64 scale, u32 byte count, the phase curve (encode_linear)."""
    out = bytearray(b"ZATN")
    out += struct.pack("<II", 1, len(tables))
    for method, kind, grids, values, phases in tables:
        out += struct.pack("<BBBBI", method, kind, 1 if phases else 0, 0, len(values))
        for i, vals in enumerate(values):
            g = grids[i]
            out += struct.pack("<I", len(g))
            out += struct.pack("<%dd" % len(g), *g)
            c = encode_curve(vals)
            out += struct.pack("<I", len(c)) + c
            if phases:
                p = phases[i]
                scale = max(abs(x) for x in p) * 1e-7 or 1.0
                c = encode_linear(p, scale)
                out += struct.pack("<dI", scale, len(c)) + c
    os.makedirs(os.path.join(ROOT, "data"), exist_ok=True)
    path = os.path.join(ROOT, "data", "attenuation.zst")
    res = subprocess.run(["zstd", "-19", "--long=27", "-q", "-f", "-o", path], input=bytes(out))
    if res.returncode != 0:
        raise SystemExit("zstd failed")
    print("blob: %d bytes raw, %d bytes compressed" % (len(out), os.path.getsize(path)))


def main():
    syms = symbols()
    elements = element_table()
    edges = edge_table()
    xcom = {z: xcom_tables.XcomElement(s) for z, s in enumerate(syms, 1)}
    rows, residuals = mucal_fits.mucal_rows(elements, xcom, N_ELEMENTS)
    print("mucal fit residuals of the total against XCOM, 5-500 keV above the M edges, 2 % away from edges (max, rms):")
    for sym, mx, rms in residuals:
        print("  %-2s %6.2f%% %6.2f%%" % (sym, 100 * mx, 100 * rms))
    worst = max(residuals, key=lambda r: r[1])
    print("  worst: %s %.2f%%" % (worst[0], 100 * worst[1]))
    write_cpp(elements, edges, rows)
    if "--cpp-only" in sys.argv:
        return
    tgrids, ttot, tpe, tph = build_tlac(syms, edges)
    egrids, etot, epe, eph = build_extended(syms, xcom, edges)
    ngrids, ntot, npe = build_nist(xcom)
    tables = [
        (3, 0, egrids, etot, eph),
        (3, 1, egrids, epe, eph),
        (1, 0, tgrids, ttot, tph),
        (1, 1, tgrids, tpe, tph),
        (2, 0, ngrids, ntot, None),
        (2, 1, ngrids, npe, None),
    ]
    def span(grids):
        return "%d..%d" % (min(len(g) for g in grids), max(len(g) for g in grids))

    print("points per element: extended %s (grid %d), tlac %s (grid %d), nist %s (grid %d)" % (
        span(egrids), len(extended_grid()), span(tgrids), len(tlac_grid()), span(ngrids), len(nist_base_grid())))
    write_blob(tables)


if __name__ == "__main__":
    main()
