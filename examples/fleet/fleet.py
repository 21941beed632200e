#!/usr/bin/python3
"""A fleet's fuel on a Dask cluster.

    fleet.py write DIR [--vehicles 200] [--seconds 3600]
        writes a synthetic fleet: one CSV file per vehicle (vehicle, time,
        speed, torque), a 1 Hz log over the example map's operating range,
        with some points outside it (motoring, overspeed, over full load).
    fleet.py run DIR [--workers 2 | --scheduler tcp://HOST:8786] [-o totals.csv]
        reads DIR/vehicle_*.csv with dask.dataframe, computes the fuel at every
        point on a local cluster of worker processes (or on the cluster behind
        the scheduler's address, whose workers see DIR and have fuelcalc), and
        writes each vehicle's total fuel (g), share of extrapolated points, and
        number of points whose fuel value is not finite (left out of the
        total, as fuelcalc-check leaves them out of its sum).
"""

from __future__ import annotations

import argparse
import sys
import time
from pathlib import Path

import dask.dataframe as dd
import numpy as np
import pandas as pd
from distributed import Client, LocalCluster

import fuelcalc
import fuelcalc.dask

EXAMPLE_MAP = Path(__file__).resolve().parents[1] / "torque_map.dat"
COLUMNS = {"vehicle": "int64", "time": "int64", "speed": "float64", "torque": "float64"}


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


def write_fleet(folder: Path, vehicles: int, seconds: int, m: fuelcalc.FuelMap, seed: int) -> None:
    folder.mkdir(parents=True, exist_ok=True)
    rng = np.random.default_rng(seed)
    for vehicle in range(vehicles):
        speed, torque = drive(rng, seconds, m)
        log = pd.DataFrame({"vehicle": vehicle, "time": np.arange(seconds),
                            "speed": speed, "torque": torque})
        log.to_csv(folder / f"vehicle_{vehicle:05d}.csv", index=False, float_format="%.1f")


def finite_sum(fuel: np.ndarray) -> float:
    """The finite values summed one at a time in record order (np.cumsum adds
    left to right), as fuelcalc-check sums; 0.0 without one."""
    finite = fuel[np.isfinite(fuel)]
    return float(np.cumsum(finite)[-1]) if finite.size else 0.0


def log_totals(log: pd.DataFrame) -> pd.DataFrame:
    """Per vehicle of one partition: points, the finite fuel values summed as
    fuelcalc-check sums them (not pandas' compensated sum), the values left
    out, points outside."""
    groups = log.groupby("vehicle", sort=False)
    return pd.DataFrame({
        "points": groups.size().astype("int64"),
        "fuel": groups["fuel"].agg(lambda f: finite_sum(f.to_numpy())),
        "nonfinite": groups["fuel"].agg(lambda f: int((~np.isfinite(f.to_numpy())).sum()))
                                   .astype("int64"),
        "outside": groups["outside"].sum().astype("int64")})


def fleet_totals(folder: Path, m: fuelcalc.FuelMap) -> dd.DataFrame:
    """Per vehicle: points, total fuel (g/h summed over 1 s samples), points
    whose fuel is not finite, points outside."""
    # One partition per file, so each vehicle's log is summed whole, in order.
    frame = dd.read_csv(str(folder / "vehicle_*.csv"), dtype=COLUMNS, blocksize=None)
    frame = fuelcalc.dask.fuel(frame, m, where="where")
    frame = frame.assign(outside=(frame["where"] != 0).astype("int64"))
    meta = pd.DataFrame({"points": pd.Series(dtype="int64"), "fuel": pd.Series(dtype="float64"),
                         "nonfinite": pd.Series(dtype="int64"),
                         "outside": pd.Series(dtype="int64")},
                        index=pd.Index([], dtype="int64", name="vehicle"))
    return frame.map_partitions(log_totals, meta=meta)


def run(folder: Path, m: fuelcalc.FuelMap, client: Client, output: Path) -> None:
    workers = len(client.scheduler_info()["workers"])
    start = time.perf_counter()
    totals = client.compute(fleet_totals(folder, m)).result()
    elapsed = time.perf_counter() - start
    if not totals.index.is_unique:
        raise SystemExit("fleet.py: a vehicle's log is spread over more than one file")
    points = totals["points"]
    result = pd.DataFrame({"points": points, "fuel_g": totals["fuel"] / 3600.0,
                           "outside_share": totals["outside"] / points,
                           "nonfinite": totals["nonfinite"]}).sort_index()
    result.to_csv(output)
    n = int(points.sum())
    print(f"{n} points of {len(result)} vehicles on {workers} workers: {elapsed:.2f} s "
          f"({n / elapsed / 1e6:.2f} M points/s); totals in {output}")
    left_out = int(result["nonfinite"].sum())
    if left_out:
        print(f"{left_out} points without a finite fuel value are left out of the totals "
              "(column nonfinite)")


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--map", type=Path, default=EXAMPLE_MAP, help="fuel map (the example's)")
    commands = parser.add_subparsers(dest="command", required=True)
    write = commands.add_parser("write", help="write a synthetic fleet")
    write.add_argument("folder", type=Path)
    write.add_argument("--vehicles", type=int, default=200)
    write.add_argument("--seconds", type=int, default=3600, help="log length per vehicle")
    write.add_argument("--seed", type=int, default=20240607)
    run_parser = commands.add_parser("run", help="compute the fleet's fuel")
    run_parser.add_argument("folder", type=Path)
    where = run_parser.add_mutually_exclusive_group()
    where.add_argument("--workers", type=int, default=2, help="local worker processes")
    where.add_argument("--scheduler", help="address of a running scheduler, tcp://HOST:PORT")
    run_parser.add_argument("-o", "--output", type=Path, default=Path("fleet_totals.csv"))
    args = parser.parse_args(argv)

    if args.command == "run":
        if not args.scheduler and args.workers < 1:
            parser.error("--workers: at least 1")
        if not any(args.folder.glob("vehicle_*.csv")):
            parser.error(f"no vehicle_*.csv logs in {args.folder}")
    m = fuelcalc.FuelMap.load(args.map)
    if args.command == "write":
        write_fleet(args.folder, args.vehicles, args.seconds, m, args.seed)
        return 0
    if args.scheduler:
        with Client(args.scheduler, timeout=60) as client:
            run(args.folder, m, client, args.output)
    else:
        with LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                          dashboard_address=None) as cluster, Client(cluster, timeout=60) as client:
            run(args.folder, m, client, args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main())
