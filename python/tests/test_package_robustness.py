"""The package under misuse and hostile conditions: each case runs in its own
interpreter (a crash fails the case instead of ending pytest, a deadlock is
bounded by the timeout) and prints "ok" when every check held."""

import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import fuelcalc
from conftest import EXAMPLE_INPUT, EXAMPLE_MAP

PRELUDE = f"""
import os, pickle, signal, sys, threading
import fuelcalc
MAP, INPUT = {str(EXAMPLE_MAP)!r}, {str(EXAMPLE_INPUT)!r}
BIG, WORK = sys.argv[1], sys.argv[2]

def raises(kind, f, *args, match=""):
    try:
        f(*args)
    except kind as e:
        assert match in str(e), (f, e)
    else:
        raise AssertionError(f"{{f}} did not raise {{kind.__name__}}")
"""

CASES = {
    # The script never imports numpy itself, as the reading threads' first
    # arrays once did, waiting on each other.
    "two threads read one reader": """
        reader = fuelcalc.PointReader(BIG)
        sizes = []
        def drain():
            while (n := reader.read(1000)[0].size):
                sizes.append(n)
        threads = [threading.Thread(target=drain) for _ in range(2)]
        for t in threads: t.start()
        for t in threads: t.join()
        assert sum(sizes) == reader.count == len(fuelcalc.read_points(BIG)[0])
    """,
    "close during another thread's read": """
        for _ in range(20):
            reader = fuelcalc.PointReader(BIG)
            got = []
            def read():
                try:
                    got.append(reader.read(1 << 22)[0].size)
                except ValueError as e:
                    got.append(str(e))
            t = threading.Thread(target=read)
            t.start()
            reader.close()
            t.join()
            assert got in ([200000], ["read from a closed PointReader"]), got
            raises(ValueError, lambda: reader.count)
    """,
    "objects made without their value": """
        # NEWOBJ of the class, no state: what an empty pickle or __new__ makes.
        empty = b"\\x80\\x02cfuelcalc._fuelcalc\\nFuelMap\\n)\\x81."
        for m in (pickle.loads(empty), fuelcalc.FuelMap.__new__(fuelcalc.FuelMap)):
            for use in (len, repr, lambda m: m.fuel(1000.0, 300.0), lambda m: m.fuel([1], [2]),
                        lambda m: m.points, lambda m: m.grid, lambda m: m.envelope,
                        lambda m: m.method, lambda m: m.where(1, 2), pickle.dumps):
                raises(TypeError, use, m, match="FuelMap")
        r = fuelcalc.CheckResult.__new__(fuelcalc.CheckResult)
        for use in (repr, lambda r: r.findings, lambda r: r.summary, lambda r: r.map,
                    lambda r: r.has_errors, lambda r: r.grid_deviation):
            raises(TypeError, use, r, match="CheckResult")
        p = fuelcalc.PointReader.__new__(fuelcalc.PointReader)
        for use in (lambda p: p.read(5), lambda p: p.count, lambda p: p.close(), next, iter):
            raises(TypeError, use, p, match="PointReader")
        raises(TypeError, fuelcalc.FuelMap.fuel, object(), 1.0, 2.0)
    """,
    "pickle protocols": """
        m = fuelcalc.FuelMap.load(MAP, method="direct", outside="clamp")
        check = fuelcalc.check_map(MAP)
        for protocol in range(pickle.HIGHEST_PROTOCOL + 1):
            again = pickle.loads(pickle.dumps(m, protocol=protocol))
            assert (repr(again), again.method, again.outside) == (repr(m), "direct", "clamp")
            assert all((a == b).all() for a, b in zip(again.points, m.points))
            with fuelcalc.PointReader(INPUT) as reader:
                raises(TypeError, pickle.dumps, reader, protocol, match="cannot pickle")
            raises(TypeError, pickle.dumps, check, protocol, match="cannot pickle")
    """,
    "setstate of a live map": """
        m = fuelcalc.FuelMap.load(MAP)
        other = fuelcalc.FuelMap.from_points([1, 1, 2, 2], [0, 1, 0, 1], [1, 2, 3, 4])
        raises(TypeError, m.__setstate__, other.__getstate__(), match="already")
        assert len(m) == len(fuelcalc.FuelMap.load(MAP))
        fresh = fuelcalc.FuelMap.__new__(fuelcalc.FuelMap)
        fresh.__setstate__(other.__getstate__())
        assert repr(fresh) == repr(other)
    """,
    "file names with a NUL byte": """
        victim = os.path.join(WORK, "victim")
        with open(victim, "w") as f:
            f.write("kept")
        name = victim + "\\0.dat"
        for use in (lambda: fuelcalc.write_points(name, [1.0], [2.0]),
                    lambda: fuelcalc.write_map(name, [1.0], [2.0], [3.0]),
                    lambda: fuelcalc.write_points(name.encode(), [1.0], [2.0]),
                    lambda: fuelcalc.FuelMap.load(name), lambda: fuelcalc.read_points(name),
                    lambda: fuelcalc.PointReader(name), lambda: fuelcalc.check_map(name),
                    lambda: fuelcalc.check_input(MAP, name)):
            raises(ValueError, use, match="embedded null byte")
        assert open(victim).read() == "kept"
    """,
    "masked arrays": """
        import numpy as np
        m = fuelcalc.FuelMap.load(MAP)
        masked = np.ma.masked_array([1000.0, 1500.0], mask=[False, True])
        for use in (lambda: m.fuel(masked, 300.0), lambda: m.inside(1000.0, masked),
                    lambda: m.count_outside(masked, masked),
                    lambda: fuelcalc.FuelMap.from_points(*m.points[:2], np.ma.masked_array(
                        m.points[2], mask=np.arange(len(m)) == 3)),
                    lambda: fuelcalc.write_points(os.path.join(WORK, "p.dat"), masked, masked)):
            raises(ValueError, use, match="masked")
        unmasked = np.ma.masked_array([1000.0, 1500.0])
        assert (m.fuel(unmasked, 300.0) == m.fuel(unmasked.data, 300.0)).all()
    """,
    # A handler runs while the load waits for the FIFO's writer; the open is
    # tried again, as open() does. The writer comes once the handler has run.
    "signal while loading from a FIFO": """
        fifo = os.path.join(WORK, "map.fifo")
        os.mkfifo(fifo)
        handled = threading.Event()
        signal.signal(signal.SIGUSR1, lambda *_: handled.set())
        main = threading.main_thread()
        openat = {"x86_64": "257", "aarch64": "56"}[os.uname().machine]
        def waiting_in_open():
            with open(f"/proc/self/task/{main.native_id}/syscall") as f:
                return f.read().split()[0] == openat  # blocked in the open
        def writer():
            if not any(waiting_in_open() for _ in range(1000000)):
                os._exit(3)
            signal.pthread_kill(main.ident, signal.SIGUSR1)
            if not handled.wait(60):
                os._exit(4)
            with open(fifo, "wb") as f, open(MAP, "rb") as source:
                f.write(source.read())
        threading.Thread(target=writer, daemon=True).start()
        m = fuelcalc.FuelMap.load(fifo)
        assert len(m) == len(fuelcalc.FuelMap.load(MAP))
    """,
}


@pytest.fixture(scope="module")
def big_input(tmp_path_factory):
    path = tmp_path_factory.mktemp("big") / "big.dat"
    rng = np.random.default_rng(3)
    fuelcalc.write_points(path, rng.uniform(600.0, 2400.0, 200000),
                          rng.uniform(0.0, 1200.0, 200000))
    return path


@pytest.mark.parametrize("case", CASES)
def test_case(case, big_input, tmp_path):
    script = PRELUDE + textwrap.dedent(CASES[case]) + '\nprint("ok")\n'
    run = subprocess.run([sys.executable, "-c", script, str(big_input), str(tmp_path)],
                         capture_output=True, text=True, timeout=120,
                         env=dict(os.environ, PYTHONFAULTHANDLER="1"))
    assert (run.returncode, run.stdout.strip()) == (0, "ok"), run.stderr
