"""Builds the extension module fuelcalc._fuelcalc for pip: the library's
sources and the bindings compiled into one module, with the project's
floating-point flags (no contraction into fused multiply-add, no fast-math),
so the module's values are the program's to the last bit. pyproject.toml
holds the package's description."""

import re
from pathlib import Path

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension, build_ext
from setuptools import setup

ROOT = Path(__file__).resolve().parent

# The layers libfuelcalc is made of; each has its headers in <layer>/include.
LAYERS = ("textio", "hermite", "fuelmap", "checks", "library")


def version() -> str:
    """The library's version, as CMakeLists.txt declares it."""
    text = (ROOT / "CMakeLists.txt").read_text()
    return re.search(r"project\(\s*fuelcalc\s+VERSION\s+([0-9.]+)", text).group(1)


def sources() -> list:
    """The library's sources (the core layers and the public face) and the bindings."""
    folders = LAYERS + ("python/src",)
    return [str(p.relative_to(ROOT)) for folder in folders
            for p in sorted((ROOT / folder).glob("*.cpp"))]


ParallelCompile("NPY_NUM_BUILD_JOBS").install()

setup(
    version=version(),
    ext_modules=[
        Pybind11Extension(
            "fuelcalc._fuelcalc",
            sources(),
            include_dirs=["include"] + ["%s/include" % layer for layer in LAYERS],
            cxx_std=20,
            define_macros=[("FUELCALC_VERSION", '"%s"' % version())],
            extra_compile_args=["-O3", "-ffp-contract=off", "-fno-fast-math"],
        )
    ],
    cmdclass={"build_ext": build_ext},
    # Out of CMake's build/ folder.
    options={"build": {"build_base": "build-pip"}},
)
