"""fuelcalc-report and the fleet example where they once lost data or
reported a failure as success: a signal while the report copies a piped
input, vehicles with points beyond the map or large ids."""

import os
import signal
import subprocess
import sys
import time

import pandas as pd
import pytest

import fuelcalc
from conftest import EXAMPLE_INPUT, EXAMPLE_MAP, ROOT

FLEET = ROOT / "examples" / "fleet" / "fleet.py"


def copies_open(pid: int, folder) -> list:
    """The report's copies in folder that process pid holds open: fuelcalc-*,
    or #INODE for a file made without a name (not the probe file of
    tempfile, which it removes at once)."""
    held = []
    for fd in os.listdir(f"/proc/{pid}/fd"):
        try:
            target = os.readlink(f"/proc/{pid}/fd/{fd}")
        except OSError:
            continue  # closed meanwhile
        name = target[len(f"{folder}/"):]
        if target.startswith(f"{folder}/") and name.startswith(("fuelcalc-", "#")):
            held.append(target)
    return held


@pytest.mark.parametrize("ending", [signal.SIGINT, signal.SIGTERM, signal.SIGHUP],
                         ids=lambda s: s.name)
def test_report_ended_while_copying_a_pipe_leaves_no_copy(tmp_path, ending):
    # The report copies a piped input before reading it twice; ended by a
    # signal halfway through, it leaves nothing in the temporary folder.
    temporary = tmp_path / "tmp"
    temporary.mkdir()
    report = subprocess.Popen(
        [sys.executable, "-m", "fuelcalc", "report", str(EXAMPLE_MAP), "/dev/stdin", "-o",
         str(tmp_path / "r.html")], stdin=subprocess.PIPE, stderr=subprocess.DEVNULL,
        env=dict(os.environ, TMPDIR=str(temporary)),
        preexec_fn=lambda: signal.signal(ending, signal.SIG_DFL))  # not ignored as in a job
    try:
        report.stdin.write(EXAMPLE_INPUT.read_bytes()[:20000])
        report.stdin.flush()
        deadline = time.monotonic() + 120  # until the copy is open, however busy the machine
        while time.monotonic() < deadline:
            if copies_open(report.pid, temporary) or report.poll() is not None:
                break
            os.sched_yield()
        assert copies_open(report.pid, temporary), "the report made no copy"
        report.send_signal(ending)
        assert report.wait(timeout=60) != 0
    finally:
        report.kill()
        report.wait()
        report.stdin.close()
    assert list(temporary.iterdir()) == [] and not (tmp_path / "r.html").exists(), \
        list(temporary.iterdir())


def test_fleet_totals_keep_nonfinite_points_and_large_ids(tmp_path):
    # Points beyond the map (an infinite torque, 1e308) are counted as
    # fuelcalc-cycle counts them; vehicle ids beyond 32 bits kept whole.
    logs = tmp_path / "logs"
    logs.mkdir()
    torque = {4294967299: [300.0, float("inf"), 500.0, 1e308, 700.0], 7: [200.0, 400.0, 600.0]}
    for vehicle, values in torque.items():
        pd.DataFrame({"time": range(len(values)), "speed": 1400.0, "torque": values}).to_csv(
            logs / f"vehicle_{vehicle}_1.csv", index=False)
    run = subprocess.run([sys.executable, FLEET, "run", logs, "--workers", "1", "-o",
                          tmp_path / "totals.csv"], capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    totals = pd.read_csv(tmp_path / "totals.csv", index_col="vehicle", dtype={"vehicle": str},
                         float_precision="round_trip")
    assert sorted(totals.index) == sorted(map(str, torque))
    bounded = fuelcalc.FuelMap.load(EXAMPLE_MAP, method="direct", outside="bounded")
    for vehicle, values in torque.items():
        whole = fuelcalc.cycle_totals(bounded, time=range(len(values)),
                                      speed=[1400.0] * len(values), torque=values)
        row = totals.loc[str(vehicle)]
        assert row["records"] == len(values)
        assert row["fuel_g"] == whole["fuel_g"]
        assert row["time_without_value_s"] == whole["time_without_value_s"]
        assert row["where.above.records"] == whole["where"]["above"]["records"]
    assert totals.loc["4294967299", "where.above.records"] == 2
