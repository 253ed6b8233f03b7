"""Coefficients of the "mucal" routine, fitted to the XCOM tables of pymca-data.

The routine's form: ln(sigma / barn) = sum a_i (ln E)^i, i = 0..3, for the photoelectric cross
section above the K edge, in the L region (divided by the L2 jump between L2 and L1 and by both
jumps between L3 and L2), between the M and L3 edges and below the M edge, and for the coherent and
incoherent cross sections. Used by make_materials_data.py.
"""

import math
import warnings

import numpy as np
import xraylib as xrl
from scipy.optimize import least_squares

L2_JUMP = 1.16
L3_JUMP = 1.41
NO_FIT_DATA = (84, 85, 87, 88, 89, 91, 93)

# keV: the data the fits see. Points below FIT_LO only serve regions with too few above.
FIT_MIN, FIT_LO, FIT_HI = 0.1, 1.0, 1000.0
CHECK_LO, CHECK_HI = 5.0, 500.0  # keV: where the residuals are reported
# The fits minimise the relative error of the total; each part's own relative error counts too,
# weighted by the square root of its share of the total times this (the routine returns the
# photoelectric coefficient by itself as well).
PART_WEIGHT = 1.0
# Below CHECK_LO the curve bends at the L sub-shell edges of middle elements where a cubic in one
# region cannot follow it everywhere: the fits hold the energies of CT first.
SOFT_WEIGHT = 0.3
# A high even power of the residuals: the fits come close to the smallest largest error.
POWER = 8


def _safe(fn, *args):
    try:
        v = fn(*args)
        return v if v > 0 else 0.0
    except Exception:
        return 0.0


def polyfit_ln(e, sigma, weight=None):
    e = np.asarray(e, float)
    s = np.asarray(sigma, float)
    w = np.ones_like(e) if weight is None else np.asarray(weight, float)
    ok = s > 0
    e, s, w = e[ok], s[ok], w[ok]
    if len(e) == 0:
        return None
    deg = min(3, len(e) - 1)
    with warnings.catch_warnings():
        # a region spanning little energy: the joint fit below settles its coefficients
        warnings.simplefilter("ignore", np.polynomial.polyutils.RankWarning)
        c = np.polynomial.polynomial.polyfit(np.log(e), np.log(s), deg, w=w)
    return list(c) + [0.0] * (4 - len(c))


def eval_fit(c, e):
    le = math.log(e)
    return math.exp(c[0] + c[1] * le + c[2] * le * le + c[3] * le * le * le)


def photo_region(edges, e):
    """(fit index, divisor) of the photoelectric fit serving energy e."""
    k, l1, l2, l3, m = edges
    if e >= k:
        return 0, 1.0
    if e >= l3:
        if l2 <= e < l1:
            return 1, L2_JUMP
        if l3 <= e < l2:
            return 1, L2_JUMP * L3_JUMP
        return 1, 1.0
    if e >= m:
        return 2, 1.0
    return 3, 1.0


def mucal_total(row, e):
    fits = row["fits"]
    f, div = photo_region(row["energies"][:5], e)
    return eval_fit(fits[f], e) / div + eval_fit(fits[4], e) + eval_fit(fits[5], e)


class _Data:
    """One element's XCOM cross sections in barns at its own records and on a dense logarithmic
    grid (a cubic fitted to the sparse records alone may swing between them), with the region of
    each point: an edge's two records count as just below and just above the edge."""

    def __init__(self, x, conv, edges):
        sel = (x.energy >= FIT_MIN) & (x.energy <= FIT_HI)
        rec = x.energy[sel]
        eff = rec.copy()
        below = np.zeros(len(rec), bool)
        for i in range(len(rec) - 1):
            if rec[i] == rec[i + 1]:
                eff[i] = rec[i] * (1 - 1e-9)
                eff[i + 1] = rec[i] * (1 + 1e-9)
                below[i] = True
        dense = np.geomspace(FIT_MIN, FIT_HI, 400)
        dense = dense[[all(abs(v - r) > 1e-6 * v for r in x.edges) for v in dense]]
        e = np.concatenate([rec, dense])
        eff = np.concatenate([eff, dense])
        below = np.concatenate([below, np.zeros(len(dense), bool)])
        order = np.argsort(eff, kind="stable")
        e, eff, below = e[order], eff[order], below[order]
        region = np.array([photo_region(edges, v)[0] for v in eff])
        keep = e >= FIT_LO
        for f in range(4):
            if np.count_nonzero(keep & (region == f)) < 4:
                keep |= region == f
        self.e = e[keep]
        self.region = region[keep]
        self.divisor = np.array([photo_region(edges, v)[1] for v in eff[keep]])
        values = {c: np.array([x.at(c, v, below_edge=b) for v, b in zip(self.e, below[keep])]) * conv
                  for c in ("photo", "coherent", "incoherent")}
        self.photo, self.coh, self.inc = values["photo"], values["coherent"], values["incoherent"]
        self.total = self.photo + self.coh + self.inc
        le = np.log(self.e)
        self.powers = np.vstack([le ** i for i in range(4)]).T
        # Below the M edge and below FIT_LO the photoelectric fits follow their own points alone.
        alone = (self.region == 3) | (self.e < FIT_LO)
        self.weight = np.where(alone, 0.0, np.where(self.e < CHECK_LO, SOFT_WEIGHT, 1.0))


def _initial_fits(d):
    """Each part fitted by itself, its points weighted by their share of the total."""
    share = np.sqrt(d.photo / d.total)
    fits = [None] * 4
    for f in range(4):
        idx = np.nonzero(d.region == f)[0]
        fits[f] = polyfit_ln(d.e[idx], d.photo[idx] * d.divisor[idx], share[idx]) if len(idx) else None
    fits[0] = fits[0] or [0.0] * 4
    for f in (1, 2, 3):
        fits[f] = fits[f] or fits[f - 1]
    hi = d.e >= FIT_LO
    fits.append(polyfit_ln(d.e[hi], d.coh[hi], np.sqrt(d.coh[hi] / d.total[hi])))
    fits.append(polyfit_ln(d.e[hi], d.inc[hi], np.sqrt(d.inc[hi] / d.total[hi])))
    return [list(map(float, c)) for c in fits]


def _residuals(p, d, used):
    """Relative errors (as logarithms) of the total and, weighted down, of each part; where the total
    has no weight, of the photoelectric part alone."""
    fits = p.reshape(6, 4)
    photo = np.exp(np.einsum("ij,ij->i", d.powers, fits[d.region])) / d.divisor
    coh = np.exp(d.powers @ fits[4])
    inc = np.exp(d.powers @ fits[5])
    w = d.weight
    share = lambda part: np.sqrt(part / d.total)  # noqa: E731
    r = [w * np.log((photo + coh + inc) / d.total),
         np.where(w > 0, PART_WEIGHT * w * share(d.photo), 1.0) * np.log(photo / d.photo),
         PART_WEIGHT * w * share(d.coh) * np.log(coh / d.coh),
         PART_WEIGHT * w * share(d.inc) * np.log(inc / d.inc)]
    return np.concatenate(r)[used]


def _power_loss(z):
    k = POWER / 2
    return np.vstack([z ** k, k * z ** (k - 1), k * (k - 1) * z ** (k - 2)])


def fit_element(x, conv, edges):
    """The six fits of one element: each part by itself first, then all together against the
    relative error of the total."""
    d = _Data(x, conv, edges)
    fits = _initial_fits(d)
    p0 = np.array(fits).ravel()
    used = np.concatenate([np.ones(len(d.e), bool)] + [(part > 0) for part in (d.photo, d.coh, d.inc)])
    # Fits of regions with few points stay as fitted by themselves (or as copies of the next
    # higher region when they have none).
    free = np.ones(24, bool)
    for f in range(4):
        if np.count_nonzero(d.region == f) < 8:
            free[4 * f:4 * f + 4] = False

    def fun(q):
        p = p0.copy()
        p[free] = q
        with np.errstate(all="ignore"):
            r = _residuals(p, d, used)
        return np.where(np.isfinite(r), r, 1e3)

    def worst(q):
        # the largest error of the total where the routine is checked
        r = fun(q)[: len(d.e)]
        inside = (d.e >= CHECK_LO) & (d.e <= CHECK_HI) & (d.region < 3)
        return np.max(np.abs(r[inside])) if inside.any() else 0.0

    # Plain least squares first, then the high power from there; a step is kept only where it
    # makes the largest error smaller.
    q = p0[free]
    for loss in ("linear", _power_loss):
        scale = max(np.max(np.abs(fun(q))), 1e-6)
        sol = least_squares(lambda v: fun(v) / scale, q, method="trf", x_scale="jac", loss=loss, max_nfev=3000)
        if worst(sol.x) < worst(q):
            q = sol.x
    p = p0.copy()
    p[free] = q
    return [list(map(float, c)) for c in p.reshape(6, 4)]


def mucal_rows(elements, xcom, n_elements):
    """The routine's table rows (None where it has no data) and per element the largest and rms
    relative error of the total against XCOM over CHECK_LO..CHECK_HI keV, above the M edge and
    2 % away from edges."""
    rows = []
    residuals = []
    for z in range(1, n_elements + 1):
        sym, weight, density = elements[z - 1]
        if z in NO_FIT_DATA:
            rows.append(None)
            continue
        x = xcom[z]
        conv = weight / 0.6022
        shells = (xrl.K_SHELL, xrl.L1_SHELL, xrl.L2_SHELL, xrl.L3_SHELL, xrl.M1_SHELL)
        listed = [_safe(xrl.EdgeEnergy, z, s) for s in shells]
        lines = [_safe(xrl.LineEnergy, z, getattr(xrl, n)) for n in ("KA1_LINE", "KB1_LINE", "LA1_LINE", "LB1_LINE")]

        def near_xcom(edge):
            # The fits split the data at the tables' own edges, which differ from xraylib's in the
            # last digits.
            for ed in x.edges:
                if edge > 0 and abs(ed - edge) <= 0.01 * edge:
                    return ed
            return edge

        edges = [near_xcom(v) for v in listed]
        fits = fit_element(x, conv, edges)
        # The routine splits at the listed edges; the XCOM records at its own edges were assigned
        # to their sides above.
        kjump = 0.0
        k = edges[0]
        for i in range(len(x.energy) - 1):
            if x.energy[i] == x.energy[i + 1] and abs(x.energy[i] - k) < 0.01 * k and x.photo[i] > 0:
                kjump = x.photo[i + 1] / x.photo[i]
        yields = [_safe(xrl.FluorYield, z, s) for s in (xrl.K_SHELL, xrl.L1_SHELL, xrl.L2_SHELL, xrl.L3_SHELL)]
        row = dict(energies=listed + lines, fits=fits, weight=weight, density=density, conv=conv, kjump=kjump,
                   yields=yields)
        rows.append(row)
        errs = []
        for e in np.geomspace(CHECK_LO, CHECK_HI, 200):
            if e < edges[4] * 1.02 or any(abs(e - ed) < 0.02 * ed for ed in x.edges):
                continue
            ref = x.at("total", e) - x.at("pair", e)
            errs.append(abs(mucal_total(row, e) / conv / ref - 1.0))
        residuals.append((sym, max(errs), math.sqrt(sum(v * v for v in errs) / len(errs))))
    return rows, residuals
