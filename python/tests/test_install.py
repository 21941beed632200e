"""The package built from the source tree (pip wheel --no-build-isolation) and
from its sdist (python -m build --sdist --no-isolation), each installed into
a fresh virtual environment of Debian's interpreter, offline; the installed
package gives the build tree's values."""

import os
import shutil
import subprocess

import pytest

import fuelcalc
from conftest import EXAMPLE_MAP, ROOT

PROBE = """
import importlib.metadata, pathlib, sys, fuelcalc
assert sys.prefix != sys.base_prefix and fuelcalc.__file__.startswith(sys.prefix), fuelcalc.__file__
package = pathlib.Path(fuelcalc.__file__).parent
assert (package / "py.typed").exists() and (package / "_fuelcalc.pyi").exists()
m = fuelcalc.FuelMap.load(sys.argv[1])
print(importlib.metadata.version("fuelcalc"), fuelcalc.__version__, m.fuel(1234.5, 678.9).hex())
"""


def copy_of_the_sources(tmp_path):
    source = tmp_path / "source"
    shutil.copytree(ROOT, source, ignore=shutil.ignore_patterns(
        "build*", ".git", "__pycache__", "*.egg-info"))
    return source


def run(*args, **kwargs):
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    return subprocess.run([str(a) for a in args], check=True, env=env, **kwargs)


def built_wheel(tmp_path):
    source = copy_of_the_sources(tmp_path)
    run("/usr/bin/python3", "-m", "pip", "wheel", "--no-build-isolation", "--no-deps",
        "--no-index", "--no-cache-dir", "--quiet", "-w", tmp_path / "dist", ".",
        timeout=1500, cwd=source)
    return next((tmp_path / "dist").glob("fuelcalc-*.whl"))


def built_sdist(tmp_path):
    source = copy_of_the_sources(tmp_path)
    run("/usr/bin/python3", "-m", "build", "--sdist", "--no-isolation", "--outdir",
        tmp_path / "dist", ".", timeout=300, cwd=source, capture_output=True)
    return next((tmp_path / "dist").glob("fuelcalc-*.tar.gz"))


@pytest.mark.parametrize("build", [built_wheel, built_sdist], ids=["wheel", "sdist"])
def test_install_into_a_fresh_venv(tmp_path, build):
    package = build(tmp_path)
    venv = tmp_path / "venv"
    run("/usr/bin/python3", "-m", "venv", "--system-site-packages", venv, timeout=120)
    python = venv / "bin" / "python"
    run(python, "-m", "pip", "install", "--no-build-isolation", "--no-index", "--no-cache-dir",
        "--quiet", package, timeout=1500, cwd=tmp_path)

    probe = run(python, "-c", PROBE, EXAMPLE_MAP, timeout=120, cwd=tmp_path,
                capture_output=True, text=True)
    expected = fuelcalc.FuelMap.load(EXAMPLE_MAP).fuel(1234.5, 678.9).hex()
    assert probe.stdout.split() == [fuelcalc.__version__, fuelcalc.__version__, expected]
    command = run(python, "-m", "fuelcalc", "version", timeout=60, cwd=tmp_path,
                  capture_output=True, text=True)
    assert command.stdout.strip() == fuelcalc.__version__
    for script in ("fuelcalc-report", "fuelcalc-plot"):
        usage = run(venv / "bin" / script, "--help", timeout=60, cwd=tmp_path,
                    capture_output=True, text=True)
        assert usage.stdout.startswith(f"usage: {script}")
