"""Builds the extension module fuelcalc._fuelcalc for pip through the CMake
build (CMakeLists.txt is the one list of sources and flags: no contraction
into fused multiply-add, no fast-math), so the module's values are the
program's to the last bit. It needs cmake and g++ besides pybind11 and
numpy. pyproject.toml holds the package's description."""

import os
import re
import shutil
import subprocess
import sys
import sysconfig
from pathlib import Path

from setuptools import Extension, setup
from setuptools.command.build_ext import build_ext

ROOT = Path(__file__).resolve().parent

def version() -> str:
    """The project's version, as CMakeLists.txt declares it."""
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(\s*fuelcalc\s+VERSION\s+([0-9.]+)", text).group(1)


class CMakeBuild(build_ext):
    """Configures the library with the Python package alone and builds its module
    (without whole-program optimisation, which changes no value)."""

    def build_extension(self, ext):
        build = Path(self.build_temp).resolve() / "cmake"
        subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-DCMAKE_BUILD_TYPE=Release",
                        f"-DPYTHON_EXECUTABLE={sys.executable}", "-DFUELCALC_PYTHON=ON",
                        "-DFUELCALC_BUILD_TESTS=OFF", "-DFUELCALC_BENCH=OFF",
                        "-DFUELCALC_INSTALL=OFF", "-DFUELCALC_PROGRAMS=OFF",
                        "-DFUELCALC_TOOLS=OFF", "-DFUELCALC_LTO=OFF"], check=True)
        jobs = os.environ.get("CMAKE_BUILD_PARALLEL_LEVEL", str(os.cpu_count() or 1))
        subprocess.run(["cmake", "--build", str(build), "--target", "fuelcalc_python", "-j", jobs],
                       check=True)
        module = "_fuelcalc" + sysconfig.get_config_var("EXT_SUFFIX")
        target = Path(self.get_ext_fullpath(ext.name))
        target.parent.mkdir(parents=True, exist_ok=True)
        shutil.copyfile(build / "python" / "fuelcalc" / module, target)


setup(
    version=version(),
    ext_modules=[Extension("fuelcalc._fuelcalc", sources=[])],
    cmdclass={"build_ext": CMakeBuild},
    # Out of CMake's build/ folder.
    options={"build": {"build_base": "build-pip"}},
)
