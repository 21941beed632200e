"""fuelcalc.cycle_totals and fuelcalc.exact_sum: the command's totals through
the same routine, and math.fsum's value on hard cases."""
import json
import math
import os
import random
import subprocess
from pathlib import Path

import numpy as np
import pytest

import fuelcalc

EXAMPLES = Path(__file__).resolve().parents[2] / "examples" / "cycle"
CYCLE_BINARY = os.environ.get("FUELCALC_CYCLE")


def hard_cases():
    rng = random.Random(24)
    cases = [[1e100, 1.0, -1e100], [0.1] * 10, [1.0, 2.0**-53], [1.0, 2.0**-53, 2.0**-160],
             [5e-324, -5e-324, 5e-324], [1e308, -1e308, 1e-308], []]
    for _ in range(300):
        n = rng.randrange(1, 80)
        terms = [rng.uniform(-2, 2) * 2.0**rng.randrange(-1074, 960) for _ in range(n)]
        terms += [-t * rng.choice([1.0, 0.5, 1 + 2**-52]) for t in terms if rng.random() < 0.4]
        rng.shuffle(terms)
        cases.append(terms)
    return cases


@pytest.mark.parametrize("terms", hard_cases())
def test_exact_sum_is_fsum(terms):
    expected = math.fsum(terms)
    got = fuelcalc.exact_sum(np.array(terms, dtype=float))
    assert got.hex() == expected.hex()
    assert fuelcalc.exact_sum(np.array(terms[::-1], dtype=float)).hex() == expected.hex()


def test_exact_sum_where_fsum_overflows_on_the_way():
    with pytest.raises(OverflowError):
        math.fsum([1e308, 1e308, -1e308])
    assert fuelcalc.exact_sum([1e308, 1e308, -1e308]) == 1e308


def cycle_arrays():
    rows = [line.split(",") for line in (EXAMPLES / "engine_cycle.csv").read_text().splitlines()[2:]]
    t, n, me = (np.array([float(r[k]) for r in rows]) for k in range(3))
    return t, n, me


def test_cycle_totals_by_hand():
    m = fuelcalc.FuelMap.from_points([1000, 1000, 2000, 2000], [0, 500, 0, 500],
                                     [1000, 5000, 2000, 9000], method="direct")
    speed = np.array([1000.0, 1500.0, 2000.0])
    torque = np.array([250.0, 250.0, 500.0])
    r = fuelcalc.cycle_totals(m, time=[0.0, 2.0, 3.0], speed=speed, torque=torque)
    w = [1.0, 1.5, 0.5]
    f = m.fuel(speed, torque)
    assert r["fuel_g"] == pytest.approx(sum(f[i] * w[i] / 3600 for i in range(3)), rel=1e-14)
    power = torque * speed * math.pi / 30
    assert r["work_positive_kwh"] == pytest.approx(sum(power * w) / 3.6e6, rel=1e-14)
    assert r["duration_s"] == 3.0
    assert "findings" not in r
    one = fuelcalc.cycle_totals(m, step=1.0, speed=[1000.0], torque=[250.0])
    assert (one["duration_s"], one["fuel_g"], one["bsfc_g_per_kwh"]) == (0.0, 0.0, None)


def test_where_names_are_the_librarys_in_the_classes_order():
    from fuelcalc.hover import WHERE_NAMES
    assert WHERE_NAMES == ("inside", "below", "above", "beyond_speed", "nan")
    m = fuelcalc.FuelMap.from_points([1000, 1000, 2000, 2000], [0, 500, 0, 500],
                                     [1000, 5000, 2000, 9000])
    speed, torque = [1500.0, 1500.0, 1500.0, 3000.0, math.nan], [250.0, -1.0, 600.0, 250.0, 0.0]
    assert [WHERE_NAMES[c] for c in m.where(speed, torque)] == list(WHERE_NAMES)
    totals = fuelcalc.cycle_totals(m, step=1.0, speed=speed, torque=torque)
    assert tuple(totals["where"]) == WHERE_NAMES


def test_errors():
    m = fuelcalc.FuelMap.from_points([1000, 1000, 2000, 2000], [0, 500, 0, 500],
                                     [1000, 5000, 2000, 9000])
    with pytest.raises(fuelcalc.ReadError, match="does not rise"):
        fuelcalc.cycle_totals(m, time=[0.0, 1.0, 1.0], speed=[1000.0] * 3, torque=[100.0] * 3)
    with pytest.raises(ValueError):
        fuelcalc.cycle_totals(m, speed=[1000.0], torque=[100.0])
    with pytest.raises(ValueError):
        fuelcalc.cycle_totals(m, step=1.0, speed=[1000.0, 1.0], torque=[100.0])


@pytest.mark.skipif(not CYCLE_BINARY, reason="FUELCALC_CYCLE names no fuelcalc-cycle binary")
def test_same_bits_as_the_command():
    args = [CYCLE_BINARY, str(EXAMPLES / "engine_map.csv"), str(EXAMPLES / "vehicle_cycle.csv"),
            "--vehicle-speed", "vehicle speed", "--phase", "phase", "--json"]
    command = json.loads(subprocess.run(args, check=True, capture_output=True).stdout)
    m = fuelcalc.FuelMap.load_table(EXAMPLES / "engine_map.csv", method="direct",
                                    outside="bounded") if hasattr(fuelcalc.FuelMap, "load_table") \
        else None
    if m is None:
        pytest.skip("FuelMap.load_table is not in this build")
    rows = [line.split(";") for line in (EXAMPLES / "vehicle_cycle.csv").read_text().splitlines()[1:]]
    r = fuelcalc.cycle_totals(m, time=[float(x[0]) for x in rows],
                              speed=[float(x[1]) for x in rows], torque=[float(x[2]) for x in rows],
                              vehicle_speed=[float(x[3]) for x in rows], phase=[x[4] for x in rows])
    for key in ("records", "duration_s", "fuel_g", "co2_g", "work_positive_kwh", "distance_km",
                "where", "phases"):
        assert r[key] == command[key], key


@pytest.mark.parametrize("block", [1, 2, 5, 1000])
def test_totals_fed_in_blocks_are_the_whole_cycles(block):
    # Blocks of any size give cycle_totals' bits, phases and vehicle speed
    # included, and each block's fuel values and classes are the map's.
    m = fuelcalc.FuelMap.from_points([1000, 1000, 2000, 2000], [0, 500, 0, 500],
                                     [1000, 5000, 2000, 9000], method="direct",
                                     outside="bounded")
    t, n, me = cycle_arrays()
    v = np.linspace(0.0, 80.0, t.size)
    phase = np.array(["a" if i < t.size // 3 else "b" for i in range(t.size)], dtype=object)
    whole = fuelcalc.cycle_totals(m, time=t, speed=n, torque=me, vehicle_speed=v, phase=phase)
    totals = fuelcalc.CycleTotals(m, vehicle_speed=True, phases=True)
    for i in range(0, t.size, block):
        cut = slice(i, i + block)
        fuel, where = totals.add(n[cut], me[cut], time=t[cut], vehicle_speed=v[cut],
                                 phase=phase[cut])
        assert np.array_equal(fuel, m.fuel(n[cut], me[cut]), equal_nan=True)
        assert np.array_equal(where, m.where(n[cut], me[cut]))
    assert totals.result() == whole
    with pytest.raises(fuelcalc.ReadError, match="does not rise"):
        totals.add([1000.0], [100.0], time=[t[0]], vehicle_speed=[0.0], phase=["b"], line=[42])
    with pytest.raises(ValueError, match="time"):
        fuelcalc.CycleTotals(m, step=1.0).add([1000.0], [100.0], time=[0.0])
