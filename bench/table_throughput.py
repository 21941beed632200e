#!/usr/bin/python3
"""fuelcalc.read_table against pandas.read_csv (default options) on the same
10-million-row, 3-column CSV, in the same run: best of three rounds each,
the two interleaved (the machine is shared), and their ratio.

    PYTHONPATH=build/python /usr/bin/python3 bench/table_throughput.py [WORK_DIR]
"""

import argparse
import os
import time
from pathlib import Path

import numpy as np
import pandas

import fuelcalc

ROOT = Path(__file__).resolve().parents[1]


def write_csv(path: Path, rows: int) -> None:
    """t [s], n [rpm], Me [Nm]: a time step of 0.1 s, speeds to 0.01 rpm,
    torques to 0.001 Nm, each as its shortest text."""
    rng = np.random.default_rng(1)
    with open(path, "w") as out:
        out.write("t [s],n [rpm],Me [Nm]\n")
        step = 1_000_000
        for start in range(0, rows, step):
            n = min(step, rows - start)
            t = np.arange(start, start + n) / 10
            speed = np.round(rng.uniform(600.0, 2300.0, n), 2)
            torque = np.round(rng.uniform(-50.0, 1250.0, n), 3)
            out.write("".join(f"{a!r},{b!r},{c!r}\n" for a, b, c in zip(t.tolist(), speed.tolist(),
                                                                          torque.tolist())))


def timed(f):
    """Wall time and processor time of f(), and its result."""
    start, start_cpu = time.perf_counter(), time.process_time()
    result = f()
    return time.perf_counter() - start, time.process_time() - start_cpu, result


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("work", type=Path, nargs="?", default=ROOT / "build" / "python-bench")
    parser.add_argument("--rows", type=int, default=10_000_000)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()
    args.work.mkdir(parents=True, exist_ok=True)
    path = args.work / f"table_{args.rows}.csv"
    if not path.exists():
        write_csv(path, args.rows)
    size = path.stat().st_size
    print(f"fuelcalc {fuelcalc.__version__}, pandas {pandas.__version__}, {args.rows} rows, "
          f"{size / 1e6:.0f} MB, {os.cpu_count()} cores")

    ours, theirs = [float("inf")] * 2, [float("inf")] * 2
    for _ in range(args.rounds):
        wall, cpu, table = timed(lambda: fuelcalc.read_table(path))
        ours = [min(ours[0], wall), min(ours[1], cpu)]
        wall, cpu, frame = timed(lambda: pandas.read_csv(path))
        theirs = [min(theirs[0], wall), min(theirs[1], cpu)]
    for name, column in zip(table, frame.columns):
        assert len(table[name]) == args.rows
        # pandas' default parser is not correctly rounded: count the cells it reads otherwise.
        differ = np.count_nonzero(table[name].view(np.int64) != frame[column].to_numpy().view(np.int64))
        print(f"  {name}: {differ} of {args.rows} values differ from pandas' default parser")
    for name, (wall, cpu) in (("fuelcalc.read_table", ours), ("pandas.read_csv", theirs)):
        print(f"{name + ':':21s}{wall:7.3f} s  {args.rows / wall / 1e6:6.1f} M rows/s"
              f"  ({cpu:.3f} processor s)")
    print(f"ratio: {theirs[0] / ours[0]:.2f} x wall time, {theirs[1] / ours[1]:.2f} x processor time")


if __name__ == "__main__":
    main()
