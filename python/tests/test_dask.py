"""fuelcalc.dask and the fleet example: the same values as in memory, on a
real cluster of two worker processes."""

import subprocess
import sys

import numpy as np
import pandas as pd
import pytest

dd = pytest.importorskip("dask.dataframe")
import fuelcalc  # noqa: E402
import fuelcalc.dask  # noqa: E402
from conftest import EXAMPLE_MAP, ROOT  # noqa: E402

FLEET = ROOT / "examples" / "fleet" / "fleet.py"


def test_partitions_get_the_in_memory_values(example_map):
    rng = np.random.default_rng(5)
    frame = pd.DataFrame({"v": np.arange(1000) % 7, "n": rng.uniform(500.0, 2400.0, 1000),
                          "t": rng.uniform(-100.0, 1300.0, 1000)})
    result = fuelcalc.dask.fuel(dd.from_pandas(frame, npartitions=4), example_map,
                                speed="n", torque="t", out="f", where="w")
    assert result.dtypes.to_dict() == {"v": np.int64, "n": np.float64, "t": np.float64,
                                       "f": np.float64, "w": np.int8}
    graph = dict(result.__dask_graph__())
    assert sum(str(key).startswith("fuelmap-") for key in graph) == 1  # the map, once
    computed = result.compute(scheduler="threads")
    assert np.array_equal(computed["f"].to_numpy().view(np.int64),
                          example_map.fuel(frame["n"], frame["t"]).view(np.int64))
    assert np.array_equal(computed["w"], example_map.where(frame["n"], frame["t"]))


def test_fleet_example_on_two_workers(tmp_path):
    def fleet(*args, status=0):
        done = subprocess.run([sys.executable, FLEET, *map(str, args)], timeout=300,
                              capture_output=True, text=True)
        assert done.returncode == status and "Traceback" not in done.stderr, done.stderr

    fleet("write", tmp_path / "logs", "--vehicles", 5, "--seconds", 700, "--files", 3)
    fleet("run", tmp_path / "logs", "--workers", 2, "-o", tmp_path / "totals.csv")
    totals = pd.read_csv(tmp_path / "totals.csv", index_col="vehicle", dtype={"vehicle": str},
                         float_precision="round_trip")

    # Each vehicle's figures are the cycle totals over its three files joined,
    # in time order, computed in memory as fuelcalc-cycle computes them.
    assert totals["records"].tolist() == [700] * 5
    bounded = fuelcalc.FuelMap.load(EXAMPLE_MAP, method="direct", outside="bounded")
    for vehicle in range(5):
        files = sorted((tmp_path / "logs").glob(f"vehicle_{vehicle:05d}_*.csv"))
        assert len(files) == 3
        log = pd.concat([pd.read_csv(f, float_precision="round_trip") for f in files])
        whole = fuelcalc.cycle_totals(bounded, time=log["time"], speed=log["speed"],
                                      torque=log["torque"])
        row = totals.loc[f"{vehicle:05d}"]
        for key in ("fuel_g", "duration_s", "work_positive_kwh", "co2_g"):
            assert row[key] == whole[key], key
        assert row["where.inside.records"] == whole["where"]["inside"]["records"]
    outside_share = 1.0 - totals["where.inside.records"] / totals["records"]
    # Plausible mistakes are usage errors: no workers, a folder without logs.
    fleet("run", tmp_path / "logs", "--workers", 0, status=2)
    fleet("run", tmp_path, "-o", tmp_path / "t.csv", status=2)
    assert 0.0 < outside_share.min() < 0.5
