#!/usr/bin/python3
"""A fleet's fuel on a Dask cluster.

    fleet.py write DIR [--vehicles 200] [--seconds 3600] [--files 1]
        writes a synthetic fleet: per vehicle, --files CSV files
        (vehicle_NNNNN_K.csv, columns time, speed, torque) splitting a 1 Hz
        log over the example map's operating range, with some points
        outside it (motoring, overspeed, over full load).
    fleet.py run DIR [--workers 2 | --scheduler tcp://HOST:8786] [-o totals.csv]
            [--errors raise|skip] [--max-gap 60] [--blocksize 64MiB]
        reads DIR/vehicle_*.csv with fuelcalc.dask.read_logs and writes each
        vehicle's totals of fuelcalc-cycle (fuel g, L, CO2, work, BSFC,
        time outside the map, gaps), integrated over its own time across
        its files, on a local cluster of worker processes or on the cluster
        behind the scheduler's address (whose workers see DIR and have
        fuelcalc). The map is evaluated as fuelcalc-cycle evaluates it
        (--method direct, --outside bounded).
"""

from __future__ import annotations

import argparse
import sys
import time
from pathlib import Path

import numpy as np
import pandas as pd
from distributed import Client, LocalCluster

import fuelcalc
import fuelcalc.dask

EXAMPLE_MAP = Path(__file__).resolve().parents[1] / "torque_map.dat"
# The vehicle id in a log's file name: vehicle_00007_2.csv is vehicle 00007's second file.
VEHICLE = r"^vehicle_(?P<vehicle>[^_]+)_"


def drive(rng: np.random.Generator, seconds: int, m: fuelcalc.FuelMap) -> tuple:
    """Speed (rpm) and torque (Nm) of one vehicle, second by second: slow
    swings between idle and rated speed, the load a share of the measured
    torque range at each speed, now and then beyond it."""
    t = np.arange(seconds, dtype=np.float64)

    def swings(amplitudes, shortest, longest):
        periods = rng.uniform(shortest, longest, len(amplitudes))
        phases = rng.uniform(0.0, 2.0 * np.pi, len(amplitudes))
        return sum(a * np.sin(2.0 * np.pi * t / p + f)
                   for a, p, f in zip(amplitudes, periods, phases))

    speed = 1350.0 + swings([600.0, 250.0, 80.0], 40.0, 1800.0) + rng.normal(0.0, 15.0, seconds)
    speed = np.clip(speed, 600.0, 2400.0)
    load = 0.45 + swings([0.35, 0.2, 0.1], 20.0, 600.0) + rng.normal(0.0, 0.04, seconds)
    es, lowest, highest = m.envelope
    low = np.interp(speed, es, lowest)
    torque = low + load * (np.interp(speed, es, highest) - low)
    return np.round(speed, 1), np.round(torque, 1)


def write_fleet(folder: Path, vehicles: int, seconds: int, files: int, m: fuelcalc.FuelMap,
                seed: int) -> None:
    folder.mkdir(parents=True, exist_ok=True)
    rng = np.random.default_rng(seed)
    for vehicle in range(vehicles):
        speed, torque = drive(rng, seconds, m)
        log = pd.DataFrame({"time": np.arange(seconds), "speed": speed, "torque": torque})
        for k, part in enumerate(np.array_split(np.arange(seconds), files)):
            log.iloc[part].to_csv(folder / f"vehicle_{vehicle:05d}_{k + 1}.csv", index=False,
                                  float_format="%.1f")


def fleet_totals(folder: Path, m: fuelcalc.FuelMap, errors: str, max_gap: float,
                 blocksize: str) -> tuple[pd.DataFrame, pd.DataFrame]:
    """Each vehicle's totals, and the files left out under errors="skip"."""
    logs = fuelcalc.dask.read_logs(str(folder / "vehicle_*.csv"), vehicle_pattern=VEHICLE,
                                   blocksize=blocksize, errors=errors)
    return fuelcalc.dask.cycle_totals(logs, m, max_gap=max_gap)


def run(args: argparse.Namespace, m: fuelcalc.FuelMap, client: Client) -> int:
    workers = len(client.scheduler_info()["workers"])
    start = time.perf_counter()
    try:
        totals, skipped = fleet_totals(args.folder, m, args.errors, args.max_gap,
                                       args.blocksize)
    except (ValueError, OSError) as error:
        print(f"fleet.py: {error}", file=sys.stderr)
        return 1
    elapsed = time.perf_counter() - start
    totals.to_csv(args.output)
    n = int(totals["records"].sum()) if len(totals) else 0
    print(f"{n} points of {len(totals)} vehicles on {workers} workers: {elapsed:.2f} s "
          f"({n / elapsed / 1e6:.2f} M points/s); totals in {args.output}")
    for entry in skipped.itertuples():
        print(f"left out: {entry.reason}", file=sys.stderr)
    return 0


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--map", type=Path, default=EXAMPLE_MAP, help="fuel map (the example's)")
    commands = parser.add_subparsers(dest="command", required=True)
    write = commands.add_parser("write", help="write a synthetic fleet")
    write.add_argument("folder", type=Path)
    write.add_argument("--vehicles", type=int, default=200)
    write.add_argument("--seconds", type=int, default=3600, help="log length per vehicle")
    write.add_argument("--files", type=int, default=1, help="files per vehicle")
    write.add_argument("--seed", type=int, default=20240607)
    run_parser = commands.add_parser("run", help="compute the fleet's fuel")
    run_parser.add_argument("folder", type=Path)
    where = run_parser.add_mutually_exclusive_group()
    where.add_argument("--workers", type=int, default=2, help="local worker processes")
    where.add_argument("--scheduler", help="address of a running scheduler, tcp://HOST:PORT")
    run_parser.add_argument("-o", "--output", type=Path, default=Path("fleet_totals.csv"))
    run_parser.add_argument("--errors", choices=("raise", "skip"), default="raise",
                            help="a bad file ends the run (raise) or is left out and named")
    run_parser.add_argument("--max-gap", type=float, default=60.0,
                            help="longest interval integrated, s")
    run_parser.add_argument("--blocksize", default="64MiB", help="partition size of a large file")
    args = parser.parse_args(argv)

    if args.command == "run":
        if not args.scheduler and args.workers < 1:
            parser.error("--workers: at least 1")
        if not any(args.folder.glob("vehicle_*.csv")):
            parser.error(f"no vehicle_*.csv logs in {args.folder}")
    if args.command == "write":
        if args.files < 1 or args.files > args.seconds:
            parser.error("--files: from 1 to --seconds")
        write_fleet(args.folder, args.vehicles, args.seconds, args.files,
                    fuelcalc.FuelMap.load(args.map), args.seed)
        return 0
    m = fuelcalc.FuelMap.load(args.map, method="direct", outside="bounded")
    if args.scheduler:
        with Client(args.scheduler, timeout=60) as client:
            return run(args, m, client)
    with LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                      dashboard_address=None) as cluster, Client(cluster, timeout=60) as client:
        return run(args, m, client)


if __name__ == "__main__":
    sys.exit(main())
