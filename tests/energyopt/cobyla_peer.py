"""Runs the published COBYLA test problems with scipy's COBYLA and prints, per problem, one line:
name nfev f x1 x2 ... (the same set-up as the C++ minimiser test)."""
import sys

import numpy as np
from scipy.optimize import minimize

PROBLEMS = {
    "quadratic": (2, lambda x: 10 * (x[0] + 1) ** 2 + x[1] ** 2, []),
    "circle": (2, lambda x: x[0] * x[1], [lambda x: 1 - x[0] ** 2 - x[1] ** 2]),
    "ellipsoid": (3, lambda x: x[0] * x[1] * x[2], [lambda x: 1 - x[0] ** 2 - 2 * x[1] ** 2 - 3 * x[2] ** 2]),
    "weak_rosenbrock": (2, lambda x: (x[0] ** 2 - x[1]) ** 2 + (1 + x[0]) ** 2, []),
    "rosenbrock": (2, lambda x: 10 * (x[0] ** 2 - x[1]) ** 2 + (1 + x[0]) ** 2, []),
    "fletcher_9_1_15": (2, lambda x: -x[0] - x[1], [lambda x: x[1] - x[0] ** 2, lambda x: 1 - x[0] ** 2 - x[1] ** 2]),
    "fletcher_14_4_2": (3, lambda x: x[2], [lambda x: 5 * x[0] - x[1] + x[2],
                                            lambda x: x[2] - x[0] ** 2 - x[1] ** 2 - 4 * x[1],
                                            lambda x: x[2] - 5 * x[0] - x[1]]),
    "rosen_suzuki": (4, lambda x: x[0] ** 2 + x[1] ** 2 + 2 * x[2] ** 2 + x[3] ** 2 - 5 * x[0] - 5 * x[1]
                     - 21 * x[2] + 7 * x[3],
                     [lambda x: 8 - x[0] ** 2 - x[1] ** 2 - x[2] ** 2 - x[3] ** 2 - x[0] + x[1] - x[2] + x[3],
                      lambda x: 10 - x[0] ** 2 - 2 * x[1] ** 2 - x[2] ** 2 - 2 * x[3] ** 2 + x[0] + x[3],
                      lambda x: 5 - 2 * x[0] ** 2 - x[1] ** 2 - x[2] ** 2 - 2 * x[0] + x[1] + x[3]]),
    "hs100": (7, lambda x: (x[0] - 10) ** 2 + 5 * (x[1] - 12) ** 2 + x[2] ** 4 + 3 * (x[3] - 11) ** 2
              + 10 * x[4] ** 6 + 7 * x[5] ** 2 + x[6] ** 4 - 4 * x[5] * x[6] - 10 * x[5] - 8 * x[6],
              [lambda x: 127 - 2 * x[0] ** 2 - 3 * x[1] ** 4 - x[2] - 4 * x[3] ** 2 - 5 * x[4],
               lambda x: 282 - 7 * x[0] - 3 * x[1] - 10 * x[2] ** 2 - x[3] + x[4],
               lambda x: 196 - 23 * x[0] - x[1] ** 2 - 6 * x[5] ** 2 + 8 * x[6],
               lambda x: -4 * x[0] ** 2 - x[1] ** 2 + 3 * x[0] * x[1] - 2 * x[2] ** 2 - 5 * x[5] + 11 * x[6]]),
}


def main():
    rhobeg, rhoend, maxfun = 0.5, 1e-6, 3500
    for name, (n, fun, cons) in PROBLEMS.items():
        res = minimize(fun, np.ones(n), method="COBYLA",
                       constraints=[{"type": "ineq", "fun": c} for c in cons],
                       options={"rhobeg": rhobeg, "tol": rhoend, "maxiter": maxfun})
        print(name, res.nfev, repr(float(res.fun)), " ".join(repr(float(v)) for v in res.x))
    return 0


if __name__ == "__main__":
    sys.exit(main())
