"""Condition numbers by numpy: input blocks "n" followed by n rows of n numbers; one output line
per matrix."""

import sys

import numpy as np

with open(sys.argv[1]) as f:
    tokens = f.read().split()
i = 0
while i < len(tokens):
    n = int(tokens[i])
    i += 1
    a = np.array([float(t) for t in tokens[i:i + n * n]]).reshape(n, n)
    i += n * n
    print("%.17g" % np.linalg.cond(a))
