"""fuelcalc: fuel consumption at operating points, from a measured fuel map.

    import fuelcalc
    m = fuelcalc.FuelMap.load("torque_map.dat")
    speed, torque = fuelcalc.read_points("drive_cycle.dat")
    fuel = m.fuel(speed, torque)        # bit for bit the program's values
    outside = ~m.inside(speed, torque)  # extrapolated points
    r = fuelcalc.check_input("torque_map.dat", "drive_cycle.dat")  # fuelcalc-check's findings

fuelcalc.dask spreads the same over a Dask DataFrame.
"""

from ._errors import FuelMapError, ReadError
from ._fuelcalc import (FINDING_CODES, CheckResult, CycleTotals, FuelMap, PointReader, check_input,
                        check_map, cycle_totals, exact_sum, read_points, version, write_map,
                        write_points)
from ._tables import Table, read_table

__version__ = version()

__all__ = [
    "FINDING_CODES",
    "CheckResult",
    "CycleTotals",
    "FuelMap",
    "FuelMapError",
    "PointReader",
    "ReadError",
    "Table",
    "check_input",
    "check_map",
    "cycle_totals",
    "exact_sum",
    "read_points",
    "read_table",
    "version",
    "write_map",
    "write_points",
]
