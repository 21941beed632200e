"""python -m fuelcalc version: prints the library's version."""

from __future__ import annotations

import sys

import fuelcalc


def main(argv: list[str]) -> int:
    if argv:
        print("usage: python -m fuelcalc version", file=sys.stderr)
        return 2
    print(fuelcalc.__version__)
    return 0
