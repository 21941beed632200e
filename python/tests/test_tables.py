"""read_table (tables of delimited text as numpy arrays or a DataFrame) and
FuelMap.load_table (maps from tables, as points or a matrix, in any unit)."""

import os
import random
import struct
import threading

import numpy as np
import pytest

import fuelcalc


def bits(values):
    return np.asarray(values, dtype=np.float64).view(np.int64)


def write(tmp_path, name, text):
    path = tmp_path / name
    path.write_bytes(text.encode())
    return path


def test_columns_units_and_exact_numbers(tmp_path):
    rng = random.Random(24)
    values = [struct.unpack("<d", struct.pack("<Q", rng.getrandbits(64)))[0] for _ in range(5000)]
    values = [v for v in values if np.isfinite(v)] + [0.1, -0.0, 5e-324, 1.7976931348623157e308]
    rows = "".join(f"{i},{v!r},{'warm' if i % 2 else 'hot'}\n" for i, v in enumerate(values))
    path = write(tmp_path, "t.csv", "# a cycle\nt,n,phase\n# [s],[rad/s],\n" + rows)
    table = fuelcalc.read_table(path, text=["PHASE"])
    assert list(table) == ["t", "n", "phase"]
    assert np.array_equal(bits(table["n"]), bits(values))
    assert table["phase"][:2].tolist() == ["hot", "warm"]
    assert table.units == {"t": "s", "n": "rad/s", "phase": None}
    assert table.delimiter == "," and table.comments == ["a cycle"]

    frame = fuelcalc.read_table(path, ["n", 1], frame=True)
    assert list(frame.columns) == ["n", "t"]
    assert frame.attrs["units"] == {"n": "rad/s", "t": "s"}
    assert np.array_equal(bits(frame["n"]), bits(values))


def test_empty_cells_are_counted_nans(tmp_path):
    path = write(tmp_path, "t.txt", "n [rpm]\tMe [Nm]\n800\t\n\t10\n900\t20\n")
    table = fuelcalc.read_table(path)
    assert table.delimiter == "\t"
    assert table.empty == {"n": 1, "Me": 1}
    assert np.isnan(table["Me"][0]) and table["Me"][2] == 20


@pytest.mark.parametrize("text, line, says", [
    ("a,b\n1,2\n3,4,5\n", 3, "3 cells where the header has 2 (a, b)"),
    ("a,b\n1,2\n3,x\n", 3, "column 2 (b): 'x' is not a number"),
    ("n,Me,N\n1,2,3\n", 1, "columns: n, Me, N"),
    ("", None, "is empty"),
    ("a,b\n# [s],[rpm]\n", 1, "and no rows"),
    ("a,b\n[s],[rpm],[Nm]\n1,2\n", 2, "the unit line has 3 cells where the header has 2"),
])
def test_bad_tables_are_read_errors_at_their_line(tmp_path, text, line, says):
    with pytest.raises(fuelcalc.ReadError, match=None) as raised:
        fuelcalc.read_table(write(tmp_path, "bad.csv", text))
    assert raised.value.line == line
    assert says in str(raised.value)


def test_unknown_columns_list_the_names_found(tmp_path):
    path = write(tmp_path, "t.csv", "t [s],n [rpm]\n0,800\n")
    with pytest.raises(fuelcalc.FuelMapError, match="no column named 'Me'; columns: t, n"):
        fuelcalc.read_table(path, ["Me"])
    assert fuelcalc.read_table(write(tmp_path, "h.csv", "a,b\n"), allow_empty=True)["a"].size == 0
    with pytest.raises(FileNotFoundError):
        fuelcalc.read_table(tmp_path / "none.csv")


def test_a_fifo_reads_like_a_file(tmp_path):
    text = "t,n\n0,800\n1,900\n"
    os.mkfifo(tmp_path / "fifo")
    writer = threading.Thread(target=lambda: (tmp_path / "fifo").write_text(text))
    writer.start()
    table = fuelcalc.read_table(tmp_path / "fifo")
    writer.join(60)
    assert table["n"].tolist() == [800, 900]


SPEEDS, TORQUES = [800.0, 1200.0, 1600.0], [0.0, 200.0, 400.0]
FUEL = [[900.0, 3100.0, 6200.0], [1400.0, 4600.0, 9000.0], [2000.0, 6400.0, 12500.0]]


def test_points_matrix_and_units_give_the_same_map(tmp_path):
    points = "engine speed [rpm],torque [Nm],fuel consumption [g/h]\n" + "".join(
        f"{s!r},{t!r},{FUEL[i][j]!r}\n" for i, s in enumerate(SPEEDS) for j, t in enumerate(TORQUES))
    matrix = "Me \\ n;" + ";".join(map(repr, SPEEDS)) + "\n" + "".join(
        f"{t!r};" + ";".join(repr(FUEL[i][j]) for i in range(3)) + "\n" for j, t in enumerate(TORQUES))
    # Values in these units that convert back exactly.
    kilo = "n Me fc\n" + "".join(f"{s / 60!r} {t / 1000!r} {FUEL[i][j] / 1000!r}\n"
                                 for i, s in enumerate(SPEEDS) for j, t in enumerate(TORQUES))
    reference = fuelcalc.FuelMap.load_table(write(tmp_path, "p.csv", points), method="direct")
    others = [
        fuelcalc.FuelMap.load_table(write(tmp_path, "m.csv", matrix), layout="matrix",
                                    method="direct"),
        fuelcalc.FuelMap.load_table(write(tmp_path, "k.txt", kilo), method="direct",
                                    units={"speed": "rev/s", "torque": "kNm", "fuel": "kg/h"}),
    ]
    speed = np.linspace(700, 1700, 41)
    torque = np.linspace(-20, 420, 41)
    for other in others:
        for mine, theirs in zip(other.points, reference.points):
            assert np.array_equal(bits(mine), bits(theirs))
        assert np.array_equal(bits(other.fuel(speed, torque)), bits(reference.fuel(speed, torque)))


def test_brake_specific_consumption(tmp_path):
    path = write(tmp_path, "b.csv", "n [rpm],Me [Nm],bsfc [g/kWh]\n1500,400,210\n1500,800,200\n"
                 "2000,400,220\n2000,800,205\n")
    m = fuelcalc.FuelMap.load_table(path, method="direct")
    # P = 400 Nm x 1500 rpm x 2 pi / 60 = 62.83 kW; 210 g/kWh of it.
    assert m.fuel(1500.0, 400.0) == 210 * (400.0 * 1500.0 * 0.10471975511965978 / 1000)
    zero = write(tmp_path, "z.csv", "n,Me,bsfc\n1500,400,210\n1500,0,250\n")
    with pytest.raises(fuelcalc.ReadError, match="zero or negative power") as raised:
        fuelcalc.FuelMap.load_table(zero)
    assert raised.value.line == 3
    with pytest.raises(fuelcalc.FuelMapError, match="accepted: g/h, kg/h, g/s, mg/s, g/kWh"):
        fuelcalc.FuelMap.load_table(path, units={"fuel": "l/h"})
    with pytest.raises(ValueError, match="units takes the keys"):
        fuelcalc.FuelMap.load_table(path, units={"power": "kW"})
