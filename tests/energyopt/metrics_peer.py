"""Peer for the noise scaling, decomposition and metrics: reads cases written by the C++ test and
prints, per case, the rank, the singular values, the sensitivities and the biases (the bias only
when at most one direction is discarded, since otherwise it depends on the basis chosen)."""
import sys

import numpy as np


def main(path):
    tokens = open(path).read().split()
    pos = 0

    def take(count):
        nonlocal pos
        values = [float(t) for t in tokens[pos:pos + count]]
        pos += count
        return values

    cases = int(take(1)[0])
    for _ in range(cases):
        kind, rows, cols, ntargets = (int(v) for v in take(4))
        a = np.array(take(rows * cols)).reshape(rows, cols)
        if kind == 0:
            s = a / (a.sum(axis=1) / cols)[:, None]
        else:
            f = np.array(take(cols))
            s = a / (a @ f)[:, None]
        targets = [np.array(take(cols)) for _ in range(ntargets)]
        u, sigma, vt = np.linalg.svd(s, full_matrices=True)
        rank = 0
        while rank < len(sigma) and sigma[rank] >= 1e-8 * sigma.max():
            rank += 1
        v = vt.T
        sens = [np.sqrt(sum((v[:, i] @ t) ** 2 / sigma[i] ** 2 for i in range(rank))) if rank else np.inf
                for t in targets]
        if cols - rank <= 1:
            bias = [sum(abs(v[:, j] @ t) for j in range(rank, cols)) for t in targets]
        else:
            bias = [float("nan")] * ntargets
        print(rank, len(sigma), " ".join(repr(float(x)) for x in sigma), " ".join(repr(float(x)) for x in sens),
              " ".join(repr(float(x)) for x in bias))


if __name__ == "__main__":
    main(sys.argv[1])
