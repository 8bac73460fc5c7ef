#!/usr/bin/env python3
"""Writes examples/terrain.asc: a 129 x 129 fractal elevation grid (diamond-square with a fixed
seed, so the file is reproducible), 10 m cells, heights in metres with one decimal, an ESRI ASCII
grid that any raster tool reads. A valley is carved along a sine curve so the relief has a
drainage direction instead of pure noise."""
import math
import random
import sys

N = 128
ROUGH = 0.45
rng = random.Random(2026)
h = [[0.0] * (N + 1) for _ in range(N + 1)]
for r, c in ((0, 0), (0, N), (N, 0), (N, N)):
    h[r][c] = rng.uniform(300, 420)
step, amp = N, 140.0
while step > 1:
    half = step // 2
    for r in range(half, N, step):
        for c in range(half, N, step):
            avg = (h[r - half][c - half] + h[r - half][c + half] + h[r + half][c - half] + h[r + half][c + half]) / 4
            h[r][c] = avg + rng.uniform(-amp, amp)
    for r in range(0, N + 1, half):
        for c in range((r + half) % step, N + 1, step):
            s = [h[rr][cc] for rr, cc in ((r - half, c), (r + half, c), (r, c - half), (r, c + half))
                 if 0 <= rr <= N and 0 <= cc <= N]
            h[r][c] = sum(s) / len(s) + rng.uniform(-amp, amp)
    step, amp = half, amp * ROUGH
for r in range(N + 1):
    centre = N / 2 + 20 * math.sin(r / N * 2 * math.pi)
    for c in range(N + 1):
        h[r][c] -= 60 * math.exp(-((c - centre) / 12) ** 2)

out = sys.argv[1] if len(sys.argv) > 1 else "examples/terrain.asc"
with open(out, "w") as f:
    f.write(f"ncols {N + 1}\nnrows {N + 1}\nxllcorner 500000\nyllcorner 4200000\ncellsize 10\nNODATA_value -9999\n")
    for row in h:
        f.write(" ".join(f"{v:.1f}" for v in row) + "\n")
