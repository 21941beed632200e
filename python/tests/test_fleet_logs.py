"""fuelcalc.dask.read_logs and cycle_totals on a small fleet and a real
cluster of two worker processes: each vehicle's totals have the bits of
fuelcalc-cycle --json on its records joined into one file, whatever the
partitions and the workers; bad files fail the run or are left out and
named."""

import json
import re
import os
import subprocess
from pathlib import Path

import numpy as np
import pytest

dask = pytest.importorskip("dask")
distributed = pytest.importorskip("distributed")
import fuelcalc  # noqa: E402
import fuelcalc.dask  # noqa: E402
from conftest import EXAMPLE_MAP, ROOT  # noqa: E402

CYCLE = Path(os.environ.get("FUELCALC_CYCLE", ROOT / "build" / "fuelcalc-cycle"))
VEHICLE = r"(?P<vehicle>[a-z]+)_"
HEADER = "time [s],speed [rpm],torque [Nm]\n"


def log_lines(rng, start: float, n: int) -> list[str]:
    """n records from time start, 0.5 to 1.5 s apart, some beyond the map."""
    time = start + np.cumsum(rng.uniform(0.5, 1.5, n))
    speed = rng.uniform(500.0, 2600.0, n)
    torque = rng.uniform(-150.0, 1400.0, n)
    return [f"{t!r},{s!r},{q!r}\n" for t, s, q in zip(time, speed, torque)]


@pytest.fixture(scope="module")
def fleet(tmp_path_factory):
    """Three vehicles, three files each, written out of time order in name;
    one file of vehicle cat has text in a number cell. Returns the folder,
    each vehicle's good lines in time order, and the bad file."""
    folder = tmp_path_factory.mktemp("fleet")
    rng = np.random.default_rng(26)
    # Starts of each vehicle's files: gaps of more than 60 s
    # between them but for cat, whose bad file is the middle one.
    starts = {"ant": [0.0, 500.0, 1000.0], "bus": [0.0, 400.0, 3000.0], "cat": [0.0, 300.0, 600.0]}
    records = {}
    for vehicle, times in starts.items():
        records[vehicle] = []
        for k, start in enumerate(times):
            lines = log_lines(rng, start, 120 + 40 * k)
            name = folder / f"{vehicle}_{len(times) - k}.csv"
            if vehicle == "cat" and k == 1:
                lines[50] = "400.5,1200.0,lots\n"
                bad = name
            else:
                records[vehicle] += lines
            name.write_text(HEADER + "".join(lines))
    return folder, records, bad


@pytest.fixture(scope="module")
def client():
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster, timeout=60) as c:
        yield c


@pytest.fixture(scope="module")
def bounded():
    return fuelcalc.FuelMap.load(EXAMPLE_MAP, method="direct", outside="bounded")


def cycle_json(tmp_path, lines: list[str]) -> dict:
    if not CYCLE.exists():
        pytest.skip(f"no fuelcalc-cycle at {CYCLE} (set FUELCALC_CYCLE)")
    joined = tmp_path / "joined.csv"
    joined.write_text(HEADER + "".join(lines))
    run = subprocess.run([CYCLE, "--json", EXAMPLE_MAP, joined], capture_output=True, timeout=120)
    assert run.returncode == 0, run.stderr
    return json.loads(run.stdout)


def same_bits(row, document: dict) -> None:
    for key in ("records", "duration_s", "gaps", "gap_s", "fuel_g", "fuel_l", "co2_g",
                "work_positive_kwh", "work_negative_kwh", "bsfc_g_per_kwh", "mean_fuel_g_per_h",
                "time_without_value_s"):
        assert repr(row[key]) == repr(document[key]), key
    for where, figures in document["where"].items():
        for key, value in figures.items():
            assert repr(row[f"where.{where}.{key}"]) == repr(value), (where, key)


def test_totals_are_the_commands_on_each_joined_vehicle(fleet, client, bounded, tmp_path):
    folder, records, bad = fleet
    # Blocks of 1 kB cut every file into several partitions.
    logs = fuelcalc.dask.read_logs(str(folder / "*.csv"), vehicle_pattern=VEHICLE,
                                   blocksize=1000, errors="skip")
    assert logs.npartitions > 20
    totals, skipped = fuelcalc.dask.cycle_totals(logs, bounded)
    assert list(totals.index) == ["ant", "bus", "cat"]
    assert skipped["file"].tolist() == [str(bad)]
    assert skipped["line"].tolist() == [52]
    assert "line 52" in skipped["reason"][0] and "lots" in skipped["reason"][0]
    assert totals.loc["bus", "gaps"] == 2 and totals.loc["ant", "gaps"] == 2
    for vehicle, lines in records.items():
        same_bits(totals.loc[vehicle], cycle_json(tmp_path, lines))

    # One worker, whole files: the same bits.
    with dask.config.set(scheduler="synchronous"):
        whole, _ = fuelcalc.dask.cycle_totals(
            fuelcalc.dask.read_logs(str(folder / "*.csv"), vehicle_pattern=VEHICLE,
                                    blocksize=None, errors="skip"), bounded)
    assert whole.to_json(double_precision=15) == totals.to_json(double_precision=15)
    for vehicle in records:
        for column in totals.columns:
            assert repr(whole.loc[vehicle, column]) == repr(totals.loc[vehicle, column])


def general(logs):
    """The frame as any other frame reaches cycle_totals: its partitions
    totalled from their columns in Python, the reference of the one-call
    reading of a frame straight from read_logs."""
    return logs.map_partitions(lambda part: part, enforce_metadata=False)


def same_outcome(logs, m, **options) -> None:
    fast, fast_skipped = fuelcalc.dask.cycle_totals(logs, m, **options)
    slow, slow_skipped = fuelcalc.dask.cycle_totals(general(logs), m, **options)
    assert list(fast.index) == list(slow.index) and list(fast.columns) == list(slow.columns)
    for vehicle in fast.index:
        for column in fast.columns:
            assert repr(fast.loc[vehicle, column]) == repr(slow.loc[vehicle, column])
    assert fast_skipped.to_dict("list") == slow_skipped.to_dict("list")


def test_one_call_per_partition_has_the_bits_of_the_frames_columns(fleet, tmp_path, bounded):
    folder, _, _ = fleet
    # A vehicle column whose vehicles take turns, units on a unit line and
    # given; more rows than two of the blocks the one call reads at a time.
    rng = np.random.default_rng(7)
    rows = ["vehicle,time,speed,torque,vehicle_speed\n", ",[min],[rad/s],,\n"]
    for k in range(9000):
        rows.append(f"{'ab'[k % 3 == 0]},{k / 60 + 0.01 * rng.random()!r},"
                    f"{rng.uniform(60, 260)!r},{rng.uniform(-0.1, 1.4)!r},{k % 90}\n")
    (tmp_path / "mixed.csv").write_text("".join(rows))
    with dask.config.set(scheduler="synchronous"):
        for blocksize in (1000, None):
            logs = fuelcalc.dask.read_logs(str(folder / "*.csv"), vehicle_pattern=VEHICLE,
                                           blocksize=blocksize, errors="skip")
            same_outcome(logs, bounded)
            # The blocks number their lines as the file does.
            one = fuelcalc.dask.read_logs(folder / "ant_1.csv", blocksize=blocksize).compute()
            assert one["line"].tolist() == list(range(2, len(one) + 2))
            mixed = fuelcalc.dask.read_logs(tmp_path / "mixed.csv", vehicle="vehicle",
                                            vehicle_speed="vehicle_speed", blocksize=blocksize,
                                            units={"torque": "kNm"})
            same_outcome(mixed, bounded, vehicle_speed=True, max_gap=0.9)


def test_a_bad_file_fails_the_run_by_name_and_line(fleet, client, bounded):
    folder, _, bad = fleet
    logs = fuelcalc.dask.read_logs(str(folder / "*.csv"), vehicle_pattern=VEHICLE)
    with pytest.raises(fuelcalc.ReadError, match=f"{bad}.*line 52"):
        fuelcalc.dask.cycle_totals(logs, bounded)


@pytest.mark.parametrize("content, line, words", [
    ("", None, "empty"),
    (HEADER, 1, "no rows"),
    (HEADER + "1,1000,100\n2,1000\n", 3, "2 cells"),
    ("time,speed\n1,1000\n", 1, "no column named .torque."),
    (HEADER + "5,1000,100\n4,1000,100\n", 3, "does not rise"),
    (HEADER + "5,1000,100\n4,1000,100\n6,1000,lots\n", 4, "lots"),
], ids=["empty", "header only", "ragged", "missing column", "time falls",
        "a bad cell after the time falls"])
def test_each_kind_of_bad_file_is_named(tmp_path, bounded, content, line, words):
    (tmp_path / "good_1.csv").write_text(HEADER + "1,1000,100\n2,1100,200\n")
    (tmp_path / "bad_1.csv").write_text(content)
    logs = fuelcalc.dask.read_logs(str(tmp_path / "*.csv"), vehicle_pattern=VEHICLE,
                                   errors="skip")
    with dask.config.set(scheduler="synchronous"):
        totals, skipped = fuelcalc.dask.cycle_totals(logs, bounded)
        with pytest.raises((ValueError, OSError), match=words):
            fuelcalc.dask.cycle_totals(
                fuelcalc.dask.read_logs(str(tmp_path / "*.csv"), vehicle_pattern=VEHICLE),
                bounded)
        same_outcome(logs, bounded)
    assert list(totals.index) == ["good"]
    assert skipped["file"].tolist() == [str(tmp_path / "bad_1.csv")]
    assert re.search(words, skipped["reason"][0])
    assert (None if skipped["line"].isna()[0] else skipped["line"][0]) == line


def test_a_file_gone_and_overlapping_files_are_named(tmp_path, bounded):
    (tmp_path / "van_1.csv").write_text(HEADER + "1,1000,100\n5,1100,200\n")
    (tmp_path / "van_2.csv").write_text(HEADER + "5,1000,100\n6,1100,200\n")
    logs = fuelcalc.dask.read_logs([tmp_path / "van_1.csv", tmp_path / "van_2.csv"],
                                   vehicle_pattern=VEHICLE, errors="skip")
    with dask.config.set(scheduler="synchronous"):
        with pytest.raises(ValueError, match="van_1.csv and .*van_2.csv overlap"):
            fuelcalc.dask.cycle_totals(logs, bounded)
        (tmp_path / "van_2.csv").unlink()  # gone between planning and reading
        totals, skipped = fuelcalc.dask.cycle_totals(logs, bounded)
    assert totals.loc["van", "records"] == 2
    assert skipped["file"].tolist() == [str(tmp_path / "van_2.csv")]
    assert "No such file" in skipped["reason"][0]


@pytest.mark.parametrize("sizes, expected", [
    ([100] * 10, [[k] for k in range(10)]),  # few parts: one per task
    ([100] * 70, [[k, k + 1] for k in range(0, 70, 2)]),  # at most 70 // 32 per task
    ([5 << 20] * 4 + [100] * 96,  # and up to about 8 MiB of text
     [[0, 1], [2, 3]] + [[k, k + 1, k + 2] for k in range(4, 100, 3)]),
])
def test_parts_are_cut_into_tasks_in_order(sizes, expected):
    parts = [("f", k, (0, size, 1)) for k, size in enumerate(sizes)]
    tasks = fuelcalc.dask._tasks(parts)
    assert [[part[1] for part in task] for task in tasks] == expected
