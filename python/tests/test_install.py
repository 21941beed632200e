"""pip install --no-build-isolation of the source tree into a fresh virtual
environment of Debian's interpreter, offline; the installed package gives
the build tree's values."""

import os
import shutil
import subprocess

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


def test_pip_install_into_a_fresh_venv(tmp_path):
    source = tmp_path / "source"
    shutil.copytree(ROOT, source, ignore=shutil.ignore_patterns(
        "build*", ".git", "__pycache__", "*.egg-info"))
    venv = tmp_path / "venv"
    subprocess.run(["/usr/bin/python3", "-m", "venv", "--system-site-packages", venv],
                   check=True, timeout=120)
    env = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    python = str(venv / "bin" / "python")
    subprocess.run([python, "-m", "pip", "install", "--no-build-isolation", "--no-index",
                    "--no-cache-dir", "--quiet", str(source)],
                   check=True, timeout=800, env=env, cwd=tmp_path)

    probe = subprocess.run([python, "-c", PROBE, str(EXAMPLE_MAP)], check=True, timeout=120,
                           env=env, cwd=tmp_path, capture_output=True, text=True)
    expected = fuelcalc.FuelMap.load(EXAMPLE_MAP).fuel(1234.5, 678.9).hex()
    assert probe.stdout.split() == [fuelcalc.__version__, fuelcalc.__version__, expected]
    command = subprocess.run([python, "-m", "fuelcalc", "version"], check=True, timeout=60,
                             env=env, cwd=tmp_path, capture_output=True, text=True)
    assert command.stdout.strip() == fuelcalc.__version__
    for script in ("fuelcalc-report", "fuelcalc-plot"):
        usage = subprocess.run([str(venv / "bin" / script), "--help"], check=True, timeout=60,
                               env=env, cwd=tmp_path, capture_output=True, text=True)
        assert usage.stdout.startswith(f"usage: {script}")
