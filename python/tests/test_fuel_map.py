"""FuelMap: the program's values bit for bit, numpy broadcasting, the
envelope, failures as Python exceptions, pickling and threads."""

import errno
import math
import pickle
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import fuelcalc
from conftest import EXAMPLE_INPUT, EXAMPLE_MAP

WORDS = {"nan": "NaN", "inf": "Infinity", "-inf": "-Infinity"}


def edit(value: float, decimals: int) -> str:
    """A number as the program edits it: exact binary value rounded half-even
    (as Python's formatting rounds), NaN and infinities as words."""
    return f"{value:.{decimals}f}" if math.isfinite(value) else WORDS[repr(value)]


def result_lines(m, speed, torque) -> list:
    fuel = m.fuel(speed, torque)
    return [[edit(s, 2), edit(t, 3), edit(f, 3)] for s, t, f in zip(speed, torque, fuel)]


def program_lines(lines) -> list:
    """The program's result lines as their fields (NaN and infinities come padded)."""
    return [[field.rstrip(" ") for field in line.split("\t")] for line in lines]


def random_map(rng, speeds=9, torques=7):
    """Points of an irregular map in shuffled order."""
    s = np.repeat(np.sort(rng.choice(np.arange(500.0, 2500.0, 25.0), speeds, replace=False)),
                  torques)
    t = np.concatenate([np.sort(rng.uniform(-100.0, 1500.0, torques)) for _ in range(speeds)])
    f = 200.0 + 0.2 * s + 30.0 * t + rng.normal(0.0, 500.0, s.size)
    order = rng.permutation(s.size)
    return s[order], t[order], f[order]


def test_values_are_the_programs(tmp_path, run_program, example_map):
    speed, torque = fuelcalc.read_points(EXAMPLE_INPUT)
    expected = program_lines(run_program(EXAMPLE_MAP, EXAMPLE_INPUT, tmp_path))
    assert result_lines(example_map, speed, torque) == expected

    # An irregular map given in any order, with points far outside it.
    rng = np.random.default_rng(7)
    points = random_map(rng)
    fuelcalc.write_map(tmp_path / "random.map", *points)
    speed = np.concatenate([rng.uniform(300.0, 2800.0, 2000), [np.inf, -np.inf, 1e300]])
    torque = np.concatenate([rng.uniform(-400.0, 1900.0, 2000), [30.0, 30.0, 1e300]])
    fuelcalc.write_points(tmp_path / "random.dat", speed, torque)
    program = run_program(tmp_path / "random.map", tmp_path / "random.dat", tmp_path)
    expected = program_lines(program)
    assert result_lines(fuelcalc.FuelMap.from_points(*points), speed, torque) == expected


def bits(values):
    return np.asarray(values, dtype=np.float64).view(np.int64)


@pytest.mark.parametrize("speed, torque, shape", [
    (1500.0, 300.0, None),
    (1500, 300, None),
    (np.float32(1500.0), np.int64(300), None),
    ([800.0, 1500.0, 2100.0], 300.0, (3,)),
    (np.array([[800.0], [1500.0]]), np.array([0.0, 300.0, 900.0]), (2, 3)),
    (np.arange(6.0).reshape(2, 3)[:, ::2] * 300.0 + 700.0, [10.0, 20.0], (2, 2)),  # strided
    (np.empty(0), 300.0, (0,)),
    ([True, False], np.array([5, 7], dtype=np.uint8), (2,)),
])
def test_broadcasts_like_numpy(example_map, speed, torque, shape):
    result = example_map.fuel(speed, torque)
    if shape is None:
        assert type(result) is float
        assert bits(result) == bits(example_map.fuel(float(speed), float(torque)))
        return
    assert result.shape == shape and result.dtype == np.float64
    s, t = np.broadcast_arrays(np.asarray(speed, np.float64), np.asarray(torque, np.float64))
    one_by_one = [example_map.fuel(float(a), float(b)) for a, b in zip(s.flat, t.flat)]
    assert np.array_equal(bits(result).ravel(), bits(one_by_one))
    assert example_map.where(speed, torque).shape == shape
    assert example_map.inside(speed, torque).shape == shape


@pytest.mark.parametrize("speed, torque, error", [
    ([1.0, 2.0], [1.0, 2.0, 3.0], ValueError),
    (["1500"], [300.0], TypeError),
    ([1500.0 + 0j], [300.0], TypeError),
    ([None, 1.0], [300.0, 1.0], TypeError),
    (np.array(["2024-01-01"], dtype="datetime64[D]"), [300.0], TypeError),
])
def test_bad_arguments(example_map, speed, torque, error):
    for function in (example_map.fuel, example_map.where, example_map.inside):
        with pytest.raises(error):
            function(speed, torque)


def test_where_and_inside(example_map):
    es, lo, hi = example_map.envelope
    assert np.all(np.diff(es) > 0) and np.all(lo <= hi)
    speed = np.array([es[3], es[3], es[3], es[3], es[0] - 1.0, es[-1] + 1.0, np.nan])
    torque = np.array([lo[3], hi[3], lo[3] - 1.0, hi[3] + 1.0, lo[0], lo[-1], 100.0])
    codes = example_map.where(speed, torque)
    assert codes.dtype == np.int8 and codes.tolist() == [0, 0, 1, 2, 3, 3, 4]
    assert example_map.inside(speed, torque).tolist() == (codes == 0).tolist()
    assert example_map.count_outside(speed, torque) == 5
    assert example_map.where(es[3], hi[3] + 1.0) == 2 and example_map.inside(es[3], lo[3]) is True


def test_map_arrays(example_map):
    gs, gt, gf = example_map.grid
    assert gs.shape == (20,) and gt.shape == (20,) and gf.shape == (20, 20)
    ps, pt, pf = example_map.points
    assert len(example_map) == ps.size == pt.size == pf.size == 128
    assert gs[0] == ps.min() and gs[-1] == ps.max() and gt[0] == pt.min() and gt[-1] == pt.max()
    assert np.all(np.lexsort((pt, ps)) == np.arange(ps.size))
    with pytest.raises(ValueError):
        gf[0, 0] = 1.0
    assert repr(example_map) == "FuelMap(128 points, speed 600 to 2200, torque 0 to 1200, " \
                                "fuel 826.3 to 45651.3)"


def test_failures_are_python_exceptions(tmp_path):
    with pytest.raises(FileNotFoundError) as missing:
        fuelcalc.FuelMap.load(tmp_path / "missing.map")
    assert missing.value.errno == errno.ENOENT
    assert missing.value.filename == str(tmp_path / "missing.map")
    with pytest.raises(OSError) as folder:
        fuelcalc.FuelMap.load(tmp_path)
    assert folder.value.errno != 0

    (tmp_path / "words.map").write_text("title\nheader\n600 0 800\n600 oops 900\n")
    with pytest.raises(fuelcalc.ReadError) as words:
        fuelcalc.FuelMap.load(tmp_path / "words.map")
    assert isinstance(words.value, fuelcalc.FuelMapError) and isinstance(words.value, ValueError)
    assert words.value.kind == "read" and words.value.line == 4
    (tmp_path / "header.map").write_text("X" * 2050 + "\nheader\n600 0 800\n600 1 900\n")
    with pytest.raises(fuelcalc.ReadError, match="text value longer than 2049 characters"):
        fuelcalc.FuelMap.load(tmp_path / "header.map")

    with pytest.raises(fuelcalc.FuelMapError) as one_point:
        fuelcalc.FuelMap.from_points([600.0], [0.0], [800.0])
    assert one_point.value.kind == "interpolation" and one_point.value.code > 0
    assert one_point.value.ierr < 0 and str(one_point.value)

    for arrays in (([600.0, 600.0], [0.0, 1.0], [1.0]), ([], [], [])):
        with pytest.raises(fuelcalc.FuelMapError) as invalid:
            fuelcalc.FuelMap.from_points(*arrays)
        assert invalid.value.kind == "invalid_argument"
    with pytest.raises(ValueError, match="method"):
        fuelcalc.FuelMap.load(EXAMPLE_MAP, method="spline")

    error = fuelcalc.ReadError("bad record", "read", 0, 0, 3, 5)
    again = pickle.loads(pickle.dumps(error))
    assert type(again) is fuelcalc.ReadError
    assert (str(again), again.index, again.line) == ("bad record", 3, 5)

    # A map that gives no grid names the first line of the points involved.
    (tmp_path / "repeated.map").write_text("t\nh\n1500 20 2\n1000 1 1\n1000 2 1\n1500 20 3\n")
    with pytest.raises(fuelcalc.FuelMapError, match="repeated torque 20") as repeated:
        fuelcalc.FuelMap.load(tmp_path / "repeated.map")
    assert repeated.value.kind == "interpolation" and repeated.value.line == 3
    assert one_point.value.line is None


@pytest.mark.parametrize("method", ["grid", "direct"])
def test_not_a_number_has_no_value(method):
    speed = np.array([1500.0, np.nan, 1500.0, np.inf])
    torque = np.array([300.0, 300.0, np.nan, 300.0])
    for outside in ("extrapolate", "clamp", "nan", "bounded"):
        m = fuelcalc.FuelMap.load(EXAMPLE_MAP, method=method, outside=outside)
        values = m.fuel(speed, torque)
        assert np.isnan(values[1:3]).all() and np.isfinite(values[0]), outside
        assert math.isnan(m.fuel(np.nan, 300.0))
    refusing = fuelcalc.FuelMap.load(EXAMPLE_MAP, method=method, outside="error")
    with pytest.raises(fuelcalc.FuelMapError) as outside:
        refusing.fuel(speed, torque)
    assert outside.value.kind == "outside" and outside.value.index == 1


@pytest.mark.parametrize("method", ["grid", "direct"])
def test_bounded_is_never_below_zero(method):
    plain = fuelcalc.FuelMap.load(EXAMPLE_MAP, method=method)
    bounded = fuelcalc.FuelMap.load(EXAMPLE_MAP, method=method, outside="bounded")
    assert bounded.outside == "bounded" and repr(bounded).endswith(", outside='bounded')")
    speed, torque = np.loadtxt(EXAMPLE_INPUT, skiprows=1, unpack=True)
    extrapolated, values = plain.fuel(speed, torque), bounded.fuel(speed, torque)
    assert (extrapolated < 0).any() and (values >= 0).all()
    inside = plain.inside(speed, torque) & (extrapolated >= 0)
    assert np.array_equal(bits(values[inside]), bits(extrapolated[inside]))


@pytest.mark.parametrize("options", [{}, {"method": "direct", "outside": "clamp"},
                                     {"outside": "nan"}, {"outside": "bounded"}])
def test_pickled_map_is_rebuilt_identically(options):
    m = fuelcalc.FuelMap.load(EXAMPLE_MAP, **options)
    again = pickle.loads(pickle.dumps(m))
    for mine, theirs in zip(m.grid + m.points, again.grid + again.points):
        assert np.array_equal(bits(mine), bits(theirs))
    assert (again.method, again.outside, repr(again)) == (m.method, m.outside, repr(m))
    speed, torque = np.linspace(300.0, 2600.0, 101), np.linspace(-200.0, 1500.0, 101)
    assert np.array_equal(bits(again.fuel(speed, torque)), bits(m.fuel(speed, torque)))


def test_threads_share_one_map(example_map):
    rng = np.random.default_rng(3)
    speed, torque = rng.uniform(500.0, 2400.0, 400_000), rng.uniform(-100.0, 1300.0, 400_000)
    whole = example_map.fuel(speed, torque)
    chunks = np.array_split(np.arange(speed.size), 16)
    with ThreadPoolExecutor(4) as pool:
        parts = list(pool.map(lambda i: example_map.fuel(speed[i], torque[i]), chunks))
    assert np.array_equal(bits(np.concatenate(parts)), bits(whole))
