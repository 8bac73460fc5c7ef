import math
from concurrent.futures import ThreadPoolExecutor

import numpy as np

from kelogeomnet import Geometry, raster

# Two squares 1e-7 apart: they meet at the library tolerance (1e-6), not at the neatening's
# (1e-8), which the neatening makes the process-wide tolerance while it runs.
LEFT = Geometry("POLYGON ((0 0, 1 0, 1 1, 0 1, 0 0))")
RIGHT = Geometry("POLYGON ((1.0000001 0, 2 0, 2 1, 1.0000001 1, 1.0000001 0))")
# A ring crossing itself many times, so each neatening takes a while.
STAR = Geometry("POLYGON ((" + ", ".join(
    f"{math.cos(k * 4 * math.pi / 101)!r} {math.sin(k * 4 * math.pi / 101)!r}" for k in range(101)) + ", 1 0))")
DEM = np.arange(400, dtype=np.int32).reshape(20, 20) % 37


def test_threads_get_the_answers_of_one_thread():
    calls = ([lambda: STAR.neaten().area, lambda: LEFT.relate(RIGHT), lambda: round(LEFT.union(RIGHT).area, 9),
              lambda: raster.slope(DEM, 10).tobytes()] + [lambda: LEFT.intersects(RIGHT)] * 20) * 30
    alone = [f() for f in calls]
    with ThreadPoolExecutor(max_workers=4) as pool:
        together = list(pool.map(lambda f: f(), calls))
    assert together == alone
