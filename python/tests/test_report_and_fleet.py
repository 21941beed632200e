"""fuelcalc-report and the fleet example where they once lost data or
reported a failure as success: a signal while the report copies a piped
input, vehicles with infinite fuel values or large ids."""

import os
import signal
import subprocess
import sys

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
        for _ in range(100000):  # until the copy is open
            if copies_open(report.pid, temporary) or report.poll() is not None:
                break
        assert copies_open(report.pid, temporary), "the report made no copy"
        report.send_signal(ending)
        assert report.wait(timeout=60) != 0
    finally:
        report.kill()
        report.wait()
        report.stdin.close()
    assert list(temporary.iterdir()) == [] and not (tmp_path / "r.html").exists(), \
        list(temporary.iterdir())


def test_fleet_totals_skip_nonfinite_fuel_and_keep_large_ids(tmp_path):
    # As the checker sums: finite values only, in record order, the others
    # counted; vehicle ids beyond 32 bits kept whole.
    logs = tmp_path / "logs"
    logs.mkdir()
    torque = {4294967299: [300.0, float("inf"), 500.0, 1e308, 700.0], 7: [200.0, 400.0, 600.0]}
    for vehicle, values in torque.items():
        pd.DataFrame({"vehicle": vehicle, "time": range(len(values)),
                      "speed": 1400.0, "torque": values}).to_csv(
            logs / f"vehicle_{vehicle}.csv", index=False)
    run = subprocess.run([sys.executable, FLEET, "run", logs, "--workers", "1", "-o",
                          tmp_path / "totals.csv"], capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    totals = pd.read_csv(tmp_path / "totals.csv", index_col="vehicle",
                         float_precision="round_trip")
    assert sorted(totals.index) == sorted(torque)
    for vehicle, values in torque.items():
        fuelcalc.write_points(tmp_path / "p.dat", [1400.0] * len(values), values)
        summary = fuelcalc.check_input(EXAMPLE_MAP, tmp_path / "p.dat").summary
        row = totals.loc[vehicle]
        assert (row["points"], row["nonfinite"]) == (len(values), summary["nonfinite"])
        assert row["fuel_g"] == summary["fuel"]["sum"] / 3600.0
    assert totals.loc[4294967299, "nonfinite"] == 2
    assert "2 points without a finite fuel value" in run.stdout
