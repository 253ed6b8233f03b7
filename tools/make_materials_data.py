#!/usr/bin/python3
"""Generates the element, edge, fit-coefficient and attenuation tables of the materials code.

Sources (Debian packages, see scripts/setup):
  - python3-xraylib: atomic weights and densities (except the rows our users know by heart),
    absorption edges, emission lines, fluorescence yields, the TLAC/TRC set and phase terms;
  - pymca-data: per-element XCOM-format cross sections for the NIST and Extended sets and for the
    least-squares fits of the "mucal" routine.

Writes src/model/elementdata.cpp (small tables as C++ source) and data/attenuation.zst (the six
tables, see WriteBlob for the layout). Prints the fit residuals. Run from anywhere:
    /usr/bin/python3 tools/make_materials_data.py
"""

import math
import os
import struct
import subprocess
import sys

import numpy as np
import xraylib as xrl

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xcom_tables  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
N_ELEMENTS = 94
NIST_ELEMENTS = 92
NO_FIT_DATA = (84, 85, 87, 88, 89, 91, 93)
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
    shorter step reaches the band's end."""
    g = list(range(10, 1001))
    for k in range(2, 21):
        lo, hi = 1000 * (k - 1), 1000 * k
        e = lo + k
        while e < hi:
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


# xraylib's cross sections jump a few eV above its own edge energies.
EDGE_SLACK = 0.01  # keV


def edge_points_high_side(grid, rows, edges):
    """A grid point on an absorption edge, or just above it, must carry the high side of the jump
    (the table reader inserts no point where one exists), yet the source may still give the low
    side there. The point takes the curve continued down from the two points above, as the reader
    does for an edge between grid points."""
    for i, e in enumerate(grid):
        if i + 2 < len(grid) and any(ed - 1e-9 <= e <= ed + EDGE_SLACK for ed in edges):
            a, b = rows[i + 1], rows[i + 2]
            rows[i] = a + (b - a) / (grid[i + 2] - grid[i + 1]) * (e - grid[i + 1])


def build_tlac(syms):
    grid = tlac_grid()
    tot, pe, ph = [], [], []
    edges = edge_table()
    for z, s in enumerate(syms, 1):
        tot.append([xrl.CS_Total(z, e) for e in grid])
        pe.append([xrl.CS_Photo(z, e) for e in grid])
        ph.append([phase_xraylib(s, e) for e in grid])
        edge_points_high_side(grid, tot[-1], edges[z - 1])
        edge_points_high_side(grid, pe[-1], edges[z - 1])
    return grid, tot, pe, ph


def build_extended(syms, xcom, tlac_phase):
    grid = extended_grid()
    edges = edge_table()
    tot, pe, ph = [], [], []
    tgrid = tlac_grid()
    for z, s in enumerate(syms, 1):
        x = xcom[z]
        tot.append([x.at("total", e) for e in grid])
        pe.append([x.at("photo", e) for e in grid])
        edge_points_high_side(grid, tot[-1], edges[z - 1])
        edge_points_high_side(grid, pe[-1], edges[z - 1])
        p800 = phase_xraylib(s, 800.0)
        row = []
        for e in grid:
            if e <= 150.0:
                row.append(tlac_phase[z - 1][tgrid.index(e)] if e in tgrid else phase_xraylib(s, e))
            elif e <= 800.0:
                row.append(phase_xraylib(s, e))
            else:
                row.append(p800 * 800.0 / e)  # high-energy limit: the phase term falls as 1/E
        ph.append(row)
    return grid, tot, pe, ph


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
# Fits of the "mucal" routine: ln(sigma / barn) = sum a_i (ln E)^i per region.

L2_JUMP = 1.16
L3_JUMP = 1.41


def polyfit_ln(e, sigma, weight=None):
    e = np.asarray(e, float)
    s = np.asarray(sigma, float)
    w = np.ones_like(e) if weight is None else np.asarray(weight, float)
    ok = s > 0
    e, s, w = e[ok], s[ok], w[ok]
    if len(e) == 0:
        return None
    deg = min(3, len(e) - 1)
    c = np.polynomial.polynomial.polyfit(np.log(e), np.log(s), deg, w=w)
    return list(c) + [0.0] * (4 - len(c))


def eval_fit(c, e):
    le = math.log(e)
    return math.exp(c[0] + c[1] * le + c[2] * le * le + c[3] * le * le * le)


def mucal_rows(elements, xcom):
    rows = []
    residuals = []
    for z in range(1, N_ELEMENTS + 1):
        sym, weight, density = elements[z - 1]
        if z in NO_FIT_DATA:
            rows.append(None)
            continue
        x = xcom[z]
        conv = weight / 0.6022
        k = safe(xrl.EdgeEnergy, z, xrl.K_SHELL)
        l1 = safe(xrl.EdgeEnergy, z, xrl.L1_SHELL)
        l2 = safe(xrl.EdgeEnergy, z, xrl.L2_SHELL)
        l3 = safe(xrl.EdgeEnergy, z, xrl.L3_SHELL)
        m = safe(xrl.EdgeEnergy, z, xrl.M1_SHELL)
        lines = [safe(xrl.LineEnergy, z, getattr(xrl, n)) for n in ("KA1_LINE", "KB1_LINE", "LA1_LINE", "LB1_LINE")]
        energies = [k, l1, l2, l3, m] + lines

        def near_xcom(edge):
            # The fits split the data at the tables' own edges, which differ from xraylib's in the
            # last digits.
            for ed in x.edges:
                if edge > 0 and abs(ed - edge) <= 0.01 * edge:
                    return ed
            return edge

        k, l1, l2, l3, m = (near_xcom(v) for v in (k, l1, l2, l3, m))
        sel = (x.energy >= 0.1) & (x.energy <= 1000.0)
        E = x.energy[sel]
        photo = x.photo[sel] * conv
        coh = x.coherent[sel] * conv
        inc = x.incoherent[sel] * conv

        # Records of an edge doublet count as just below / just above the edge.
        eff = E.copy()
        for i in range(len(E) - 1):
            if E[i] == E[i + 1]:
                eff[i] = E[i] * (1 - 1e-9)
                eff[i + 1] = E[i] * (1 + 1e-9)

        tot = photo + coh + inc
        share = np.sqrt(photo / tot)

        def region(lo, hi, scale=None):
            """Photoelectric points of [lo, hi), weighted by their share of the total; points
            below 1 keV only when the region has too few above."""
            idx = [i for i, e in enumerate(eff) if lo <= e < hi]
            above = [i for i in idx if E[i] >= 1.0]
            if len(above) >= 4:
                idx = above
            es = [E[i] for i in idx]
            vs = [photo[i] * (scale(E[i]) if scale else 1.0) for i in idx]
            return es, vs, [share[i] for i in idx]

        fk = polyfit_ln(*region(k, 1e9))
        if len([e for e in E if l1 <= e < k]) >= 4:
            fl = polyfit_ln(*region(l1, k))
        else:
            fl = polyfit_ln(*region(l3, k, lambda e: 1.0 if e >= l1 else (L2_JUMP if e >= l2 else L2_JUMP * L3_JUMP)))
        fm = polyfit_ln(*region(m, l3 if l3 > 0 else k))
        fb = polyfit_ln(*region(0.0, m if m > 0 else (l3 if l3 > 0 else k)))
        fk = fk or [0.0] * 4
        fl = fl or fk
        fm = fm or fl
        fb = fb or fm
        # Each fit matters where its part is a sizeable share of the total: the points are
        # weighted by that share (the fits minimise the relative error of the total).
        hi = E >= 1.0
        fc = polyfit_ln(E[hi], coh[hi], np.sqrt(coh[hi] / tot[hi]))
        fi = polyfit_ln(E[hi], inc[hi], np.sqrt(inc[hi] / tot[hi]))
        kjump = 0.0
        for i in range(len(x.energy) - 1):
            if x.energy[i] == x.energy[i + 1] and abs(x.energy[i] - k) < 0.01 * k and x.photo[i] > 0:
                kjump = x.photo[i + 1] / x.photo[i]
        yields = [safe(xrl.FluorYield, z, s) for s in (xrl.K_SHELL, xrl.L1_SHELL, xrl.L2_SHELL, xrl.L3_SHELL)]
        row = dict(energies=energies, fits=[fk, fl, fm, fb, fc, fi], weight=weight, density=density,
                   conv=conv, kjump=kjump, yields=yields)
        rows.append(row)
        # residual of the total over 5..500 keV, above the M edges and away from edges
        errs = []
        for e in np.geomspace(5.0, 500.0, 60):
            if e < m or any(abs(e - ed) < 0.02 * ed for ed in x.edges):
                continue
            ref = x.at("total", e) - x.at("pair", e)
            got = mucal_total(row, e) / conv
            errs.append(abs(got / ref - 1.0))
        residuals.append((sym, max(errs), math.sqrt(sum(v * v for v in errs) / len(errs))))
    return rows, residuals


def mucal_total(row, e):
    k, l1, l2, l3, m = row["energies"][:5]
    fk, fl, fm, fb, fc, fi = row["fits"]
    if e >= k:
        p = eval_fit(fk, e)
    elif e >= l3:
        p = eval_fit(fl, e)
        if l2 <= e < l1:
            p /= L2_JUMP
        elif l3 <= e < l2:
            p /= L2_JUMP * L3_JUMP
    elif e >= m:
        p = eval_fit(fm, e)
    else:
        p = eval_fit(fb, e)
    return p + eval_fit(fc, e) + eval_fit(fi, e)


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
    rows, residuals = mucal_rows(elements, xcom)
    print("mucal fit residuals of the total against XCOM, 5-500 keV above the M edges, 2 % away from edges (max, rms):")
    for sym, mx, rms in residuals:
        print("  %-2s %6.2f%% %6.2f%%" % (sym, 100 * mx, 100 * rms))
    worst = max(residuals, key=lambda r: r[1])
    print("  worst: %s %.2f%%" % (worst[0], 100 * worst[1]))
    write_cpp(elements, edges, rows)
    if "--cpp-only" in sys.argv:
        return
    tgrid, ttot, tpe, tph = build_tlac(syms)
    egrid, etot, epe, eph = build_extended(syms, xcom, tph)
    ngrids, ntot, npe = build_nist(xcom)
    tables = [
        (3, 0, [egrid] * N_ELEMENTS, etot, eph),
        (3, 1, [egrid] * N_ELEMENTS, epe, eph),
        (1, 0, [tgrid] * N_ELEMENTS, ttot, tph),
        (1, 1, [tgrid] * N_ELEMENTS, tpe, tph),
        (2, 0, ngrids, ntot, None),
        (2, 1, ngrids, npe, None),
    ]
    print("points per element: extended %d, tlac %d, nist %d..%d" % (
        len(egrid), len(tgrid), min(len(g) for g in ngrids), max(len(g) for g in ngrids)))
    write_blob(tables)


if __name__ == "__main__":
    main()
