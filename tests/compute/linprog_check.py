"""Solves the voxel programmes written by the linear-kernel test with scipy's linprog and
compares them with the kernel's answers. Prints one line per disagreement and a summary."""
import sys

import numpy as np
from scipy.optimize import linprog


def main(path):
    with open(path) as f:
        n, ct = map(int, f.readline().split())
        A = np.array([[float(x) for x in f.readline().split()] for _ in range(ct)])
        tol = np.array([float(x) for x in f.readline().split()])
        bad = 0
        count = 0
        for line in f:
            vals = [float(x) for x in line.split()]
            mu = np.array(vals[:ct])
            c = np.array(vals[ct:ct + n])
            got = np.array(vals[ct + n:ct + 2 * n])
            outside = int(vals[ct + 2 * n])
            count += 1
            # Band programme: sum f = 1, |A f - mu| <= tol, f >= 0.
            A_ub = np.vstack([A, -A])
            b_ub = np.concatenate([mu + tol, -(mu - tol)])
            r = linprog(c, A_ub=A_ub, b_ub=b_ub, A_eq=np.ones((1, n)), b_eq=[1.0], bounds=[(0, None)] * n,
                        method="highs")
            feasible = r.status == 0
            slack = n / 16383.0
            if feasible == bool(outside):
                # Borderline: the kernel's verdict may differ only when the band barely exists.
                r2 = linprog(c, A_ub=A_ub, b_ub=np.concatenate([mu + tol * 1.001, -(mu - tol * 1.001)]),
                             A_eq=np.ones((1, n)), b_eq=[1.0], bounds=[(0, None)] * n, method="highs")
                r3 = linprog(c, A_ub=A_ub, b_ub=np.concatenate([mu + tol * 0.999, -(mu - tol * 0.999)]),
                             A_eq=np.ones((1, n)), b_eq=[1.0], bounds=[(0, None)] * n, method="highs")
                if (r2.status == 0) == (r3.status == 0):
                    print(f"voxel {count - 1}: feasibility differs (linprog {feasible}, kernel outside {outside})")
                    bad += 1
                continue
            if feasible:
                want = r.fun
                have = float(c @ got)
                resid = np.abs(A @ got - mu) - tol
                if have > want + 1e-4 * (1 + abs(want)) + np.abs(c).sum() * slack or \
                        np.any(resid > np.abs(A).sum(axis=1) * slack + 1e-9):
                    print(f"voxel {count - 1}: objective {have} vs {want}, excess {resid.max()}")
                    bad += 1
            else:
                # Soft programme with unit weights: min c f + sum |A f - mu| / tol.
                m = ct
                cc = np.concatenate([c, 1.0 / tol, 1.0 / tol])
                A_eq = np.zeros((1 + m, n + 2 * m))
                A_eq[0, :n] = 1.0
                A_eq[1:, :n] = A
                A_eq[1:, n:n + m] = np.eye(m)
                A_eq[1:, n + m:] = -np.eye(m)
                b_eq = np.concatenate([[1.0], mu])
                s = linprog(cc, A_eq=A_eq, b_eq=b_eq, bounds=[(0, None)] * (n + 2 * m), method="highs")
                have = float(c @ got + (np.abs(A @ got - mu) / tol).sum())
                allowance = (np.abs(c).sum() + (np.abs(A).sum(axis=1) / tol).sum()) * slack
                if s.status != 0 or have > s.fun + 1e-4 * (1 + abs(s.fun)) + allowance:
                    print(f"voxel {count - 1}: soft objective {have} vs {s.fun}")
                    bad += 1
        print(f"checked {count} voxels, {bad} disagreements")
        return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
