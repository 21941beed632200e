#!/usr/bin/python3
"""The Python package's throughput, each figure against its baseline in the
same run: m.fuel on 10 million points held in numpy arrays (one thread, then
four threads sharing the map), and read_points against numpy.loadtxt on a
10-million-record input file.

    PYTHONPATH=build/python /usr/bin/python3 bench/python_throughput.py [WORK_DIR]
"""

import argparse
import os
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import numpy as np

import fuelcalc

ROOT = Path(__file__).resolve().parents[1]


def best_of(rounds, f):
    """The shortest wall time of f() over the rounds, the processor time of
    that round (all threads), and the last result."""
    best, cpu = float("inf"), 0.0
    for _ in range(rounds):
        start, start_cpu = time.perf_counter(), time.process_time()
        result = f()
        wall = time.perf_counter() - start
        if wall < best:
            best, cpu = wall, time.process_time() - start_cpu
    return best, cpu, result


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("work", type=Path, nargs="?", default=ROOT / "build" / "python-bench")
    parser.add_argument("--points", type=int, default=10_000_000)
    parser.add_argument("--threads", type=int, default=4)
    args = parser.parse_args()
    args.work.mkdir(parents=True, exist_ok=True)

    m = fuelcalc.FuelMap.load(ROOT / "examples" / "torque_map.dat")
    rng = np.random.default_rng(1)
    speed = np.round(rng.uniform(600.0, 2300.0, args.points), 2)
    torque = np.round(rng.uniform(-50.0, 1250.0, args.points), 3)
    n = args.points
    print(f"fuelcalc {fuelcalc.__version__}, {n} points, {os.cpu_count()} cores")

    one, cpu, whole = best_of(5, lambda: m.fuel(speed, torque))
    print(f"m.fuel, one thread:      {one:7.3f} s  {n / one / 1e6:6.1f} M points/s"
          f"  ({n / cpu / 1e6:.1f} M points per processor second)")
    chunks = np.array_split(np.arange(n), args.threads)
    parts = [(speed[c[0]:c[-1] + 1], torque[c[0]:c[-1] + 1]) for c in chunks]
    with ThreadPoolExecutor(args.threads) as pool:
        many, _, results = best_of(5, lambda: list(pool.map(lambda p: m.fuel(*p), parts)))
    assert np.array_equal(np.concatenate(results).view(np.int64), whole.view(np.int64))
    print(f"m.fuel, {args.threads} threads:     {many:7.3f} s  {n / many / 1e6:6.1f} M points/s"
          f"  ({one / many:.2f} x one thread)")

    file = args.work / f"points_{n}.dat"
    if not file.exists():
        fuelcalc.write_points(file, speed, torque)
    file.read_bytes()  # page cache warm
    ours, ours_cpu, (s, t) = best_of(3, lambda: fuelcalc.read_points(file))
    theirs, theirs_cpu, table = best_of(3, lambda: np.loadtxt(file, skiprows=1))
    assert np.array_equal(s, table[:, 0]) and np.array_equal(t, table[:, 1])
    print(f"read_points:             {ours:7.3f} s  {n / ours / 1e6:6.1f} M records/s")
    print(f"numpy.loadtxt:           {theirs:7.3f} s  {n / theirs / 1e6:6.1f} M records/s"
          f"  (read_points {theirs / ours:.1f} x faster; processor time"
          f" {ours_cpu:.2f} s against {theirs_cpu:.2f} s)")


if __name__ == "__main__":
    main()
