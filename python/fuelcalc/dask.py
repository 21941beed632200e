"""Fuel values on a Dask DataFrame, partition by partition, on any scheduler.

    import dask.dataframe as dd
    import fuelcalc, fuelcalc.dask
    m = fuelcalc.FuelMap.load("torque_map.dat")
    frame = fuelcalc.dask.fuel(dd.read_csv("logs/*.csv"), m, where="where")
"""

from __future__ import annotations

import dask
import dask.dataframe as dd
import numpy as np
import pandas as pd
from dask.base import tokenize

from . import FuelMap


def fuel(frame: dd.DataFrame, m: FuelMap, speed: str = "speed", torque: str = "torque",
         out: str = "fuel", *, where: str | None = None) -> dd.DataFrame:
    """The frame with a float64 column `out` of m.fuel(frame[speed], frame[torque]),
    and, when `where` names one, an int8 column of m.where there.

    The map enters the task graph once, as a single key on which every
    partition depends: each worker receives it once, whatever the number of
    partitions.
    """
    shipped = dask.delayed(m, pure=True, traverse=False,
                           name="fuelmap-" + tokenize(*m.points, m.method, m.outside))
    meta = _add_fuel(frame._meta, m, speed, torque, out, where)
    return frame.map_partitions(_add_fuel, shipped, speed, torque, out, where, meta=meta)


def _add_fuel(part: pd.DataFrame, m: FuelMap, speed: str, torque: str, out: str,
              where: str | None) -> pd.DataFrame:
    s = part[speed].to_numpy(dtype=np.float64)
    t = part[torque].to_numpy(dtype=np.float64)
    columns = {out: m.fuel(s, t)}
    if where is not None:
        columns[where] = m.where(s, t)
    return part.assign(**columns)
