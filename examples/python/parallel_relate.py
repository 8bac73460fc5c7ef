"""The same job on one and on several worker processes.

Relates every pair of a set of random polygons (the DE-9IM matrix of each pair) and counts
the pairs that overlap. The rows of the pair matrix are split into chunks, each run by a
worker process with its own copy of the library: the library's settings are process-wide
and the package runs one library call at a time per process (long calls release the GIL, but
not the library), so processes, not threads, are how it runs in parallel.

    PYTHONPATH=build/release/python python3 examples/python/parallel_relate.py [COUNT] [WORKERS]
"""
import math
import os
import random
import sys
import time
from concurrent.futures import ProcessPoolExecutor, ThreadPoolExecutor

import kelogeomnet as kg

_shapes = None  # each worker's own copy of the polygons


def random_polygons(count, seed=1):
    rng = random.Random(seed)
    out = []
    for _ in range(count):
        cx, cy, n = rng.uniform(0, 100), rng.uniform(0, 100), rng.randrange(8, 40)
        ring = []
        for k in range(n):
            a, r = 2 * math.pi * k / n, rng.uniform(2, 9)
            ring.append(f"{cx + r * math.cos(a)!r} {cy + r * math.sin(a)!r}")
        ring.append(ring[0])
        out.append(kg.Geometry(f"POLYGON (({', '.join(ring)}))").wkb)
    return out


def load(wkbs):
    global _shapes
    _shapes = [kg.Geometry.from_wkb(b) for b in wkbs]


def count_rows(rows):
    """Pairs (i, j > i) of the given rows whose interiors overlap, the CPU time taken and the
    worker's process id."""
    cpu = time.process_time()
    hits = 0
    for i in rows:
        a = _shapes[i]
        for j in range(i + 1, len(_shapes)):
            if a.relate(_shapes[j])[0] == "2":
                hits += 1
    return hits, time.process_time() - cpu, os.getpid()


def run(wkbs, workers):
    # Rows near the top have the most pairs: deal them out round-robin so chunks weigh alike.
    chunks = [range(k, len(wkbs), workers * 4) for k in range(workers * 4)]
    start = time.perf_counter()
    with ProcessPoolExecutor(max_workers=workers, initializer=load, initargs=(wkbs,)) as pool:
        results = list(pool.map(count_rows, chunks))
    per_worker = {}
    for _, c, pid in results:
        per_worker[pid] = per_worker.get(pid, 0.0) + c
    return sum(h for h, _, _ in results), time.perf_counter() - start, sorted(per_worker.values())


def run_threads(wkbs, threads):
    """The same split over threads of this process: the library runs one call at a time, so
    this shows what threads cannot give."""
    load(wkbs)
    chunks = [range(k, len(wkbs), threads * 4) for k in range(threads * 4)]
    start, cpu = time.perf_counter(), time.process_time()
    with ThreadPoolExecutor(max_workers=threads) as pool:
        results = list(pool.map(count_rows, chunks))
    return sum(h for h, _, _ in results), time.perf_counter() - start, time.process_time() - cpu


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 600
    most = int(sys.argv[2]) if len(sys.argv) > 2 else os.cpu_count()
    wkbs = random_polygons(count)
    base = None
    print(f"load average {os.getloadavg()[0]:.2f} on {os.cpu_count()} cores")
    for workers in sorted({1, most}):
        hits, seconds, cpus = run(wkbs, workers)
        base = base or seconds
        # On a busy machine the wall-clock speed-up says more about the other load than about
        # the split; the CPU time per worker shows whether the split itself added work and how
        # evenly it was dealt.
        print(f"{workers} worker(s): {hits} overlapping pairs of {count * (count - 1) // 2} "
              f"in {seconds:.2f} s (CPU per worker: {', '.join(f'{c:.2f}' for c in cpus)} s), "
              f"speed-up {base / seconds:.2f}")
    hits, seconds, cpu = run_threads(wkbs, most)
    print(f"{most} thread(s) in one process: {hits} pairs in {seconds:.2f} s ({cpu:.2f} s CPU), "
          f"speed-up {base / seconds:.2f}")
    print(f"load average {os.getloadavg()[0]:.2f} after the runs")


if __name__ == "__main__":
    main()
