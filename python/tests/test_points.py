"""read_points and PointReader (the program's reading rules, in C++),
write_map and write_points (numbers that read back to the same doubles)."""

import errno
import os
import resource
import shutil
import subprocess
import sys
import tempfile

import numpy as np
import pytest

import fuelcalc
from conftest import EXAMPLE_INPUT, EXAMPLE_MAP
from test_fuel_map import bits, edit, program_lines


def test_reads_by_the_programs_rules(tmp_path, run_program):
    speed, torque = fuelcalc.read_points(EXAMPLE_INPUT)
    plain = np.loadtxt(EXAMPLE_INPUT, skiprows=1)
    assert np.array_equal(bits(speed), bits(plain[:, 0]))
    assert np.array_equal(bits(torque), bits(plain[:, 1]))

    # Separators, repeats, a slash ending a record, a pair over two lines, words.
    text = "SPEED TORQUE\n1500,45.5\n2*800\n900 250 / rest\n1000\n20\n1.2e3\t-7\n-inf 30\n"
    (tmp_path / "free.dat").write_text(text)
    speed, torque = fuelcalc.read_points(tmp_path / "free.dat")
    assert speed.dtype == np.float64 and speed.size == torque.size == 6
    program = run_program(EXAMPLE_MAP, tmp_path / "free.dat", tmp_path)
    assert [[edit(s, 2), edit(t, 3)] for s, t in zip(speed, torque)] == \
        [fields[:2] for fields in program_lines(program)]


@pytest.mark.parametrize("text, line, kept, reason", [
    ("h\n1500 45\n1600 oops\n1700 50\n", 3, None, "line 3 .*not a number"),  # fails midway
    ("h\n1500 45\n1600 50\nbad words\n", None, 2, None),  # a bad last record ends the data
    ("X" * 2050 + "\n1500 15\n", 1, None, "header line: a text value longer than 2049 char"),
], ids=["middle", "last", "long_header"])
def test_unreadable_records(tmp_path, text, line, kept, reason):
    (tmp_path / "in.dat").write_text(text)
    if kept is not None:
        speed, torque = fuelcalc.read_points(tmp_path / "in.dat")
        assert speed.tolist() == [1500.0, 1600.0][:kept]
        return
    with pytest.raises(fuelcalc.ReadError, match=reason) as error:
        fuelcalc.read_points(tmp_path / "in.dat")
    assert error.value.kind == "read" and error.value.line == line and error.value.index is not None
    if line == 1:  # the reader reads the header as it opens
        with pytest.raises(fuelcalc.ReadError, match=reason):
            fuelcalc.PointReader(tmp_path / "in.dat")
        return
    with fuelcalc.PointReader(tmp_path / "in.dat") as reader, pytest.raises(fuelcalc.ReadError):
        list(reader)


def test_point_reader_blocks(tmp_path):
    with fuelcalc.PointReader(EXAMPLE_INPUT) as reader:
        blocks = [reader.read(700) for _ in range(6)]
        assert reader.count == 3000
    assert [b[0].size for b in blocks] == [700, 700, 700, 700, 200, 0]
    speed, torque = fuelcalc.read_points(EXAMPLE_INPUT)
    assert np.array_equal(np.concatenate([b[0] for b in blocks]), speed)
    blocks = list(fuelcalc.PointReader(EXAMPLE_INPUT))
    assert np.array_equal(np.concatenate([b[1] for b in blocks]), torque)
    with pytest.raises(ValueError):
        reader.read(10)


def test_writers_read_back_the_same_doubles(tmp_path):
    rng = np.random.default_rng(11)
    values = np.concatenate([rng.uniform(-1e4, 1e4, 500), 10.0 ** rng.uniform(-300, 300, 500),
                             [0.0, -0.0, 5e-324, 1.7976931348623157e308, np.inf, -np.inf, 0.1]])
    fuelcalc.write_points(tmp_path / "p.dat", values, values[::-1])
    speed, torque = fuelcalc.read_points(tmp_path / "p.dat")
    assert np.array_equal(bits(speed), bits(values))
    assert np.array_equal(bits(torque), bits(values[::-1]))

    s = np.repeat([800.0, 1234.5678901234567, 2000.0], 4)
    t = np.tile([0.0, 1 / 3, 500.0, 1e3 + 1e-9], 3)
    f = rng.uniform(100.0, 50000.0, s.size)
    fuelcalc.write_map(tmp_path / "m.map", s, t, f)
    loaded = fuelcalc.FuelMap.load(tmp_path / "m.map")
    for a, b in zip(loaded.points, fuelcalc.FuelMap.from_points(s, t, f).points):
        assert np.array_equal(bits(a), bits(b))

    with pytest.raises(fuelcalc.FuelMapError):
        fuelcalc.write_points(tmp_path / "q.dat", [1.0, 2.0], [1.0])
    with pytest.raises(FileNotFoundError):
        fuelcalc.write_points(tmp_path / "no" / "q.dat", [1.0], [1.0])


WRITE_CASES = [
    # name, what the name given is, the file's permissions, a file size limit,
    # the errno of the failed write (0: written)
    ("a failed write leaves the old file", "file", 0o644, 4096, errno.EFBIG),
    ("a link's target is replaced", "link", 0o644, None, 0),
    ("the permissions are kept", "file", 0o604, None, 0),
]


@pytest.mark.parametrize("name,given,mode,limit,failure", WRITE_CASES,
                         ids=[c[0] for c in WRITE_CASES])
def test_writers_replace_a_file_whole(tmp_path, name, given, mode, limit, failure):
    target = tmp_path / "out.dat"
    target.write_text("old\n")
    target.chmod(mode)
    path = target
    if given == "link":
        path = tmp_path / "link"
        path.symlink_to("out.dat")
    # In a process of its own, which a file size limit may end at no cost here.
    probe = ("import fuelcalc\ntry:\n"
             "    fuelcalc.write_points(%r, range(2000), range(2000))\n    print(0)\n"
             "except OSError as e:\n    print(e.errno)\n") % str(path)
    limited = None if limit is None else (
        lambda: resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit)))
    out = subprocess.run([sys.executable, "-c", probe], capture_output=True, text=True,
                         timeout=60, preexec_fn=limited)
    assert out.stdout.strip() == str(failure), out.stderr
    if failure:
        assert target.read_text() == "old\n"
    else:
        speed, _ = fuelcalc.read_points(target)
        assert np.array_equal(speed, np.arange(2000.0))
    assert target.stat().st_mode & 0o7777 == mode
    assert path.is_symlink() == (given == "link")
    assert sorted(os.listdir(tmp_path)) == sorted({"out.dat", path.name})


def test_writers_write_a_device_in_place():
    with pytest.raises(OSError) as full:
        fuelcalc.write_points("/dev/full", [1.0], [2.0])
    assert full.value.errno == errno.ENOSPC
    assert os.path.exists("/dev/full") and not os.path.isfile("/dev/full")


def test_os_failures_carry_errno(tmp_path):
    with pytest.raises(FileNotFoundError):
        fuelcalc.read_points(tmp_path / "missing.dat")
    with pytest.raises(OSError) as folder:
        fuelcalc.read_points(tmp_path)
    assert folder.value.errno != 0

    if os.geteuid() != 0 or not shutil.which("setpriv"):
        pytest.skip("needs root and setpriv to read as another user")
    folder = tempfile.mkdtemp()
    try:
        os.chmod(folder, 0o755)
        locked = os.path.join(folder, "locked.dat")
        with open(locked, "w") as f:
            f.write("h\n1 2\n")
        os.chmod(locked, 0)
        # The build tree may lie under a folder uid 65534 cannot enter: the
        # probe imports a copy of the package from this reachable folder.
        shutil.copytree(os.path.dirname(fuelcalc.__file__), os.path.join(folder, "fuelcalc"))
        probe = ("import fuelcalc\ntry:\n    fuelcalc.read_points(%r)\n"
                 "except PermissionError as e:\n    print(e.errno)\n") % locked
        out = subprocess.run(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                              sys.executable, "-c", probe], capture_output=True, text=True,
                             timeout=60, cwd=folder, env=dict(os.environ, PYTHONPATH=folder))
        assert out.stdout.strip() == str(errno.EACCES), out.stderr
    finally:
        shutil.rmtree(folder)
