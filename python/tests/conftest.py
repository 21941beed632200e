"""Shared fixtures: the example files, the program binary, the example map,
the checker's JSON document."""

import json
import os
import subprocess
from pathlib import Path

import pytest

import fuelcalc

ROOT = Path(__file__).resolve().parents[2]
EXAMPLE_MAP = ROOT / "examples" / "torque_map.dat"
EXAMPLE_INPUT = ROOT / "examples" / "drive_cycle.dat"
CHECKER = Path(os.environ.get("FUELCALC_CHECK", ROOT / "build" / "fuelcalc-check"))


def checker(*args) -> tuple[dict, int]:
    """fuelcalc-check --json ARGS: its document and exit status."""
    if not CHECKER.exists():
        pytest.skip(f"no fuelcalc-check at {CHECKER} (set FUELCALC_CHECK)")
    run = subprocess.run([CHECKER, "--json", *map(str, args)], capture_output=True, timeout=120)
    return json.loads(run.stdout), run.returncode


@pytest.fixture(scope="session")
def example_map() -> fuelcalc.FuelMap:
    return fuelcalc.FuelMap.load(EXAMPLE_MAP)


@pytest.fixture(scope="session")
def run_program():
    """Runs the fuelcalc program on a map and an input; returns its result lines."""
    binary = Path(os.environ.get("FUELCALC_BINARY", ROOT / "build" / "fuelcalc"))
    if not binary.exists():
        pytest.skip(f"no fuelcalc program at {binary} (set FUELCALC_BINARY)")

    def run(map_file: Path, input_file: Path, tmp: Path) -> list:
        output = tmp / "program.out"
        subprocess.run([binary, map_file, input_file, output], check=True,
                       stdout=subprocess.DEVNULL, timeout=120)
        return output.read_bytes().decode("ascii").split("\r\n")[1:-1]

    return run
