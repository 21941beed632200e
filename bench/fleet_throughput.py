#!/usr/bin/python3
"""A fleet's logs through Dask, side by side in one run: the same files
through fuelcalc.dask.read_logs + cycle_totals and through
dask.dataframe.read_csv + fuelcalc.dask.fuel (a per-vehicle sum), on two
workers, then read_logs on one worker.

usage: PYTHONPATH=build/python bench/fleet_throughput.py DIR [--vehicles 200]
           [--seconds 100000] [--files 1] [--repeat 2]
writes the fleet into DIR first when DIR holds no logs (examples/fleet/fleet.py
write), then prints points per second of each (the best of --repeat runs,
interleaved, after a run that starts the workers' imports) and the ratios.
"""

from __future__ import annotations

import argparse
import subprocess
import sys
import time
from pathlib import Path

import dask.dataframe as dd
from distributed import Client, LocalCluster

import fuelcalc
import fuelcalc.dask

ROOT = Path(__file__).resolve().parents[1]
FLEET = ROOT / "examples" / "fleet" / "fleet.py"
MAP = ROOT / "examples" / "torque_map.dat"
VEHICLE = r"^vehicle_(?P<vehicle>[^_]+)_"


def timed(f) -> tuple[float, object]:
    start = time.perf_counter()
    result = f()
    return time.perf_counter() - start, result


def with_read_logs(folder: Path, m: fuelcalc.FuelMap, files: str = "vehicle_*.csv") -> int:
    logs = fuelcalc.dask.read_logs(str(folder / files), vehicle_pattern=VEHICLE)
    totals, _ = fuelcalc.dask.cycle_totals(logs, m)
    return int(totals["records"].sum())


def with_read_csv(folder: Path, m: fuelcalc.FuelMap) -> int:
    frame = dd.read_csv(str(folder / "vehicle_*.csv"), blocksize=None, include_path_column=True)
    frame = fuelcalc.dask.fuel(frame, m)
    sums = frame.groupby("path")["fuel"].agg(["sum", "count"]).compute()
    return int(sums["count"].sum())


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", type=Path)
    parser.add_argument("--vehicles", type=int, default=200)
    parser.add_argument("--seconds", type=int, default=100000)
    parser.add_argument("--files", type=int, default=1)
    parser.add_argument("--repeat", type=int, default=2)
    args = parser.parse_args()
    if not any(args.folder.glob("vehicle_*.csv")):
        subprocess.run([sys.executable, FLEET, "write", args.folder, "--vehicles",
                        str(args.vehicles), "--seconds", str(args.seconds), "--files",
                        str(args.files)], check=True)
    files = len(list(args.folder.glob("vehicle_*.csv")))
    m = fuelcalc.FuelMap.load(MAP, method="direct", outside="bounded")
    rates = {}
    for workers in (2, 1):
        with LocalCluster(n_workers=workers, threads_per_worker=1, processes=True,
                          dashboard_address=None) as cluster, Client(cluster, timeout=60):
            with_read_logs(args.folder, m, "vehicle_0000[01]_*.csv")  # the workers' imports
            runs = [("read_logs", with_read_logs)] + ([("read_csv", with_read_csv)]
                                                      if workers == 2 else [])
            for name, f in runs * args.repeat:
                seconds, points = timed(lambda: f(args.folder, m))
                rates[name, workers] = max(rates.get((name, workers), 0.0), points / seconds)
                print(f"{name} + {'cycle_totals' if name == 'read_logs' else 'fuel'}, "
                      f"{workers} worker(s): {points} points of {files} files in "
                      f"{seconds:.2f} s, {points / seconds / 1e6:.2f} M points/s", flush=True)
    print(f"read_logs against read_csv on 2 workers: "
          f"{rates['read_logs', 2] / rates['read_csv', 2]:.2f}x")
    print(f"read_logs, 2 workers against 1: {rates['read_logs', 2] / rates['read_logs', 1]:.2f}x")
    return 0


if __name__ == "__main__":
    sys.exit(main())
