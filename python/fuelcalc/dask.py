"""Fuel values and cycle totals on Dask, partition by partition, on any scheduler.

    import fuelcalc, fuelcalc.dask
    m = fuelcalc.FuelMap.load("torque_map.dat")
    logs = fuelcalc.dask.read_logs("logs/*.csv", vehicle_pattern=r"(?P<vehicle>[^_]+)_")
    totals, skipped = fuelcalc.dask.cycle_totals(logs, m)
    frame = fuelcalc.dask.fuel(logs, m, where="where")
"""

from __future__ import annotations

import glob
import os
import re
from pathlib import Path
from typing import Iterable, Optional, Union

import dask
import dask.dataframe as dd
import numpy as np
import pandas as pd
from dask.base import tokenize
from dask.layers import DataFrameIOLayer
from dask.utils import parse_bytes

from . import FuelMap, ReadError
from ._fuelcalc import (_block_lines, _cycle_merge, _cycle_run, _log_runs, _read_table,
                        to_base)

_Paths = Union[str, os.PathLike, Iterable[Union[str, os.PathLike]]]
_ERRORS = ("raise", "skip")


def _shipped(m: FuelMap):
    """The map as a single key of the task graph on which every partition
    depends: each worker receives it once, whatever the number of partitions."""
    return dask.delayed(m, pure=True, traverse=False,
                        name="fuelmap-" + tokenize(*m.points, m.method, m.outside))


def fuel(frame: dd.DataFrame, m: FuelMap, speed: str = "speed", torque: str = "torque",
         out: str = "fuel", *, where: str | None = None) -> dd.DataFrame:
    """The frame with a float64 column `out` of m.fuel(frame[speed], frame[torque]),
    and, when `where` names one, an int8 column of m.where there. The map
    goes to each worker once."""
    meta = _add_fuel(frame._meta, m, speed, torque, out, where)
    return frame.map_partitions(_add_fuel, _shipped(m), speed, torque, out, where, meta=meta)


def _add_fuel(part: pd.DataFrame, m: FuelMap, speed: str, torque: str, out: str,
              where: str | None) -> pd.DataFrame:
    s = part[speed].to_numpy(dtype=np.float64)
    t = part[torque].to_numpy(dtype=np.float64)
    columns = {out: m.fuel(s, t)}
    if where is not None:
        columns[where] = m.where(s, t)
    return part.assign(**columns)


def _files(paths: _Paths) -> list[str]:
    """The files named or matched, each once, in sorted order."""
    items = [paths] if isinstance(paths, (str, os.PathLike)) else list(paths)
    found: list[str] = []
    for item in items:
        text = os.fspath(item)
        matched = sorted(glob.glob(text)) if glob.has_magic(text) else [text]
        if not matched:
            raise FileNotFoundError(f"no file matches {text!r}")
        found += matched
    return sorted(dict.fromkeys(found))


def _vehicle_of(file: str, pattern: Optional[re.Pattern]) -> str:
    name = Path(file).name
    if pattern is None:
        return Path(file).stem
    match = pattern.search(name)
    if match is None:
        raise ValueError(f"the file name {name!r} does not match vehicle_pattern "
                         f"{pattern.pattern!r}")
    return match.group("vehicle")


def _columns_meta(vehicle_speed: bool) -> pd.DataFrame:
    columns = {"vehicle": pd.Series(dtype=object), "time": pd.Series(dtype=np.float64),
               "speed": pd.Series(dtype=np.float64), "torque": pd.Series(dtype=np.float64)}
    if vehicle_speed:
        columns["vehicle_speed"] = pd.Series(dtype=np.float64)
    columns["line"] = pd.Series(dtype=np.int64)
    return pd.DataFrame(columns)


class _LogPart:
    """Reads one partition of read_logs: a file, or the lines of a block of
    it (a part is (file, block, range), range None or (start, end, the
    line at start))."""

    def __init__(self, roles: dict, vehicle_column, pattern, units: dict, delimiter, errors):
        self.roles, self.vehicle_column, self.pattern = roles, vehicle_column, pattern
        self.units, self.delimiter, self.errors = units, delimiter, errors

    def __call__(self, part: tuple) -> pd.DataFrame:
        file, block, lines = part
        meta = _columns_meta("vehicle_speed" in self.roles)
        try:
            frame = self._read(file, block, lines)
        except (ReadError, ValueError, OSError) as error:
            if self.errors == "raise":
                raise
            frame = meta
            frame.attrs["skipped"] = [(file, getattr(error, "line", None), str(error))]
        frame.attrs.update(file=file, block=block, errors=self.errors)
        return frame

    def runs(self, part: tuple, m: FuelMap, options: dict) -> dict:
        """The partition's runs as _partition_runs gives them from its frame,
        read, evaluated and totalled in one call, the records never in Python."""
        file, block, lines = part
        found = {"file": file, "block": block, "runs": [], "skipped": []}
        column = self.vehicle_column
        try:
            read = _log_runs(m, file, columns=list(self.roles.values()), vehicle=column,
                             units=[self.units.get(role) for role in self.roles],
                             name="" if column is not None else _vehicle_of(file, self.pattern),
                             delimiter=self.delimiter, allow_empty=block > 0, block=lines,
                             vehicle_speed=options["vehicle_speed"], max_gap=options["max_gap"],
                             fuel=options["fuel"], density=options["density"],
                             co2_factor=options["co2_factor"])
        except (ReadError, ValueError, OSError) as error:
            if self.errors == "raise":
                raise
            found["skipped"] = [(file, getattr(error, "line", None), str(error))]
            return found
        if read["fault"] is not None:
            return _fault(found, file, *read["fault"], self.errors)
        found["runs"] = read["runs"]
        return found

    def _read(self, file: str, block: int, lines) -> pd.DataFrame:
        roles = self.roles
        columns = list(roles.values())
        text = None
        if self.vehicle_column is not None:
            columns.append(self.vehicle_column)
            text = [self.vehicle_column]
        try:
            read = _read_table(file, columns, text, self.delimiter, block > 0, lines, True)
        except OSError as error:
            if error.filename is None:
                error.filename = file
            raise
        arrays = dict(zip(roles, read["arrays"]))
        for role, unit in zip(roles, read["units"]):
            unit = self.units.get(role) or unit
            if unit is not None:
                try:
                    arrays[role] = to_base(role, unit, arrays[role])
                except ValueError as error:
                    raise ValueError(f"{file}: {role} column: {error}") from None
        rows = read["rows"]
        if self.vehicle_column is not None:
            vehicle = read["arrays"][-1]
        else:
            vehicle = np.full(rows, _vehicle_of(file, self.pattern), dtype=object)
        return pd.DataFrame({"vehicle": vehicle, **arrays, "line": read["lines"]}, copy=False)


def read_logs(paths: _Paths, *, speed: Union[str, int] = "speed",
              torque: Union[str, int] = "torque", time: Union[str, int] = "time",
              vehicle: Optional[Union[str, int]] = None, vehicle_pattern: Optional[str] = None,
              vehicle_speed: Optional[Union[str, int]] = None, units: Optional[dict] = None,
              blocksize: Union[int, str, None] = "64MiB", delimiter: Optional[str] = None,
              errors: str = "raise") -> dd.DataFrame:
    """Logs of operating points (tables of delimited text, the rules of
    fuelcalc.read_table) as a Dask DataFrame: one partition per file, or
    per block of blocksize bytes of a larger file (its lines that start in
    the block; blocksize None: whole files).

    Columns: vehicle (text), time (s), speed (rpm), torque (Nm),
    vehicle_speed (km/h, when given), line (each row's line in its file).
    speed, torque, time, vehicle_speed choose the file's columns by name or
    1-based position; units ({"time": "min", "speed": "rad/s", ...})
    override the units the header gives, else the base units hold. The
    vehicle id is the column `vehicle`, else the group "vehicle" of
    vehicle_pattern searched in the file name, else the file's stem; a
    vehicle may have many files.

    errors="raise": a bad file (empty, a header only, a ragged line, text in
    a number cell, a missing column, a file that cannot be read) fails the
    computation with an error naming the file and line. errors="skip": the
    partition of a bad file is empty and cycle_totals leaves the whole file
    out and lists it.
    """
    if errors not in _ERRORS:
        raise ValueError(f"errors must be one of {_ERRORS}, not {errors!r}")
    if vehicle is not None and vehicle_pattern is not None:
        raise ValueError("give vehicle or vehicle_pattern, not both")
    pattern = re.compile(vehicle_pattern) if vehicle_pattern is not None else None
    if pattern is not None and "vehicle" not in pattern.groupindex:
        raise ValueError("vehicle_pattern needs a group named vehicle: (?P<vehicle>...)")
    roles = {"time": time, "speed": speed, "torque": torque}
    if vehicle_speed is not None:
        roles["vehicle_speed"] = vehicle_speed
    units = dict(units or {})
    unknown = set(units) - set(roles)
    if unknown:
        raise ValueError(f"units takes the keys {sorted(roles)}, not {sorted(unknown)}")
    size = None if blocksize is None else parse_bytes(blocksize)
    files = _files(paths)
    if pattern is not None:
        for file in files:
            _vehicle_of(file, pattern)
    parts = []
    for file in files:
        try:
            length = os.stat(file).st_size
            starts = [] if size is None or length <= size else list(range(0, length, size))
            # One pass over the file gives each block's first line.
            lines = _block_lines(file, starts) if starts else []
        except OSError:
            starts = lines = []  # read as one part, where its error is named
        if not starts:
            parts.append((file, 0, None))
        parts += [(file, k, (start, min(start + size, length), line))
                  for k, (start, line) in enumerate(zip(starts, lines))]
    reader = _LogPart(roles, vehicle, pattern, units, delimiter, errors)
    return dd.from_map(reader, parts, meta=_columns_meta(vehicle_speed is not None),
                       label="fuelcalc-read-logs", enforce_metadata=False,
                       token=tokenize(parts, roles, vehicle, vehicle_pattern, units, delimiter,
                                      errors, [os.stat(f).st_mtime_ns if os.path.exists(f)
                                               else None for f in files]))


def _fault(found: dict, file: str, line: int, reason: str, errors: str) -> dict:
    """A partition whose records have a time that does not rise at line:
    the run fails, or its file is left out."""
    message = f"{file}, line {line}: {reason}"
    if errors == "raise":
        raise ReadError(message, "read", index=None, line=line) from None
    found["runs"], found["skipped"] = [], [(file, line, message)]
    return found


def _partition_runs(part: pd.DataFrame, m: FuelMap, index: int, by: str, options: dict) -> dict:
    """A partition's runs: per vehicle, in order of first appearance, the
    partial totals of its records (in the partition's order) with its first
    and last time and line; or the partition's file as skipped."""
    attrs = part.attrs
    file = attrs.get("file", f"partition {index}")
    found = {"file": file, "block": attrs.get("block", index), "runs": [],
             "skipped": list(attrs.get("skipped", []))}
    if found["skipped"] or len(part) == 0:
        return found
    codes, names = pd.factorize(part[by], sort=False)
    lines = part["line"].to_numpy() if "line" in part else np.arange(1, len(part) + 1)
    columns = {key: part[key].to_numpy(dtype=np.float64)
               for key in ("time", "speed", "torque") + (("vehicle_speed",)
                                                         if options["vehicle_speed"] else ())}
    for code, name in enumerate(names):
        rows = slice(None) if len(names) == 1 else np.flatnonzero(codes == code)
        own = {key: values[rows] for key, values in columns.items()}
        own_lines = lines[rows]
        try:
            state = _cycle_run(m, time=own["time"], speed=own["speed"], torque=own["torque"],
                               vehicle_speed=own.get("vehicle_speed"),
                               max_gap=options["max_gap"], fuel=options["fuel"],
                               density=options["density"], co2_factor=options["co2_factor"])
        except ReadError as error:
            return _fault(found, file, int(own_lines[error.index]), str(error),
                          attrs.get("errors", "raise"))
        found["runs"].append((name, own["time"][0], own["time"][-1], int(own_lines[0]),
                              int(own_lines[-1]), state))
    return found


def _runs_frame(part: pd.DataFrame, m: FuelMap, by: str, options: dict,
                partition_info=None) -> pd.DataFrame:
    index = partition_info["number"] if partition_info else 0
    found = pd.Series([_partition_runs(part, m, index, by, options)], dtype=object)
    return pd.DataFrame({"found": found})


def _log_parts(frame: dd.DataFrame):
    """The reader and parts of a frame read_logs made, untouched since, else None."""
    layer = frame.dask.layers.get(frame._name)
    if isinstance(layer, DataFrameIOLayer) and isinstance(layer.io_func, _LogPart):
        return layer.io_func, list(layer.inputs)
    return None


# A task of a worker costs a few milliseconds besides its work: parts read
# in one call each are taken a few at a time, up to this much text per
# task, while there stay at least _TASKS tasks to share among the workers.
_TASK_BYTES = 8 << 20
_TASKS = 32


def _part_bytes(part: tuple) -> int:
    file, _, lines = part
    if lines is not None:
        return lines[1] - lines[0]
    try:
        return os.stat(file).st_size
    except OSError:
        return 0  # its error is named when it is read


def _tasks(parts: list) -> list[list]:
    """Consecutive partitions in order, grouped into runs, one run per task."""
    most = max(1, len(parts) // _TASKS)
    tasks: list[list] = []
    size = 0
    for part in parts:
        if not tasks or size >= _TASK_BYTES or len(tasks[-1]) == most:
            tasks.append([])
            size = 0
        tasks[-1].append(part)
        size += _part_bytes(part)
    return tasks


def _parts_runs(reader: _LogPart, parts: list, m: FuelMap, options: dict) -> list[dict]:
    return [reader.runs(part, m, options) for part in parts]


def _vehicle_runs(found: list[dict]) -> tuple[dict, list]:
    """Each vehicle's runs in time order (its files by their first time,
    each file's blocks in order), the files skipped left out; overlapping
    files and times that fall between blocks of a file are errors."""
    skipped = [entry for part in found for entry in part["skipped"]]
    bad = {entry[0] for entry in skipped}
    by_vehicle: dict = {}
    for part in sorted(found, key=lambda p: (p["file"], p["block"])):
        if part["file"] in bad:
            continue
        for name, first, last, first_line, last_line, state in part["runs"]:
            by_vehicle.setdefault(name, {}).setdefault(part["file"], []).append(
                (first, last, first_line, last_line, state))
    ordered = {}
    for name, files in by_vehicle.items():
        for file, runs in files.items():
            for before, after in zip(runs, runs[1:]):
                if not after[0] > before[1]:
                    raise ReadError(f"{file}, line {after[2]}: the time {after[0]!r} does not "
                                    f"rise above the time before it, {before[1]!r}", "read",
                                    line=after[2])
        in_time = sorted(files.items(), key=lambda item: item[1][0][0])
        for (file_a, runs_a), (file_b, runs_b) in zip(in_time, in_time[1:]):
            if not runs_b[0][0] > runs_a[-1][1]:
                raise ValueError(
                    f"vehicle {name}: the files {file_a} and {file_b} overlap: {file_b} starts "
                    f"at time {runs_b[0][0]!r} (line {runs_b[0][2]}), not after the last time "
                    f"of {file_a}, {runs_a[-1][1]!r} (line {runs_a[-1][3]})")
        ordered[name] = [run[4] for _, runs in in_time for run in runs]
    return ordered, skipped


_NOT_TOTALS = ("version", "format", "map", "cycle", "method", "outside", "units",
               "fuel_properties", "phases")


def cycle_totals(frame: dd.DataFrame, m: FuelMap, by: str = "vehicle", *,
                 vehicle_speed: bool = False, max_gap: float = 60.0, fuel: str = "diesel",
                 density: Optional[float] = None,
                 co2_factor: Optional[float] = None) -> tuple[pd.DataFrame, pd.DataFrame]:
    """The totals of fuelcalc-cycle per vehicle over a frame of read_logs
    (columns by, time s, speed rpm, torque Nm, and vehicle_speed km/h when
    vehicle_speed=True), the map second as in fuel(frame, m); the keywords
    are fuelcalc.cycle_totals'. Each vehicle's records are integrated over
    its own time in time order across its files (the --max-gap rule splits
    segments between files too): the figures have the bits of
    fuelcalc-cycle --json on the vehicle's records joined into one file,
    whatever the partitions and the workers.

    Returns (totals, skipped): totals indexed by vehicle (sorted), a column
    per total key of the JSON (the classes as "where.inside.records" and so
    on); skipped the files left out under read_logs' errors="skip", with
    file, line (None when no line is at fault) and reason.

    A file whose times do not rise is a bad file (its line named); a
    vehicle's file that starts at or before the last time of another of its
    files is an error naming both.
    """
    options = {"vehicle_speed": vehicle_speed, "max_gap": max_gap, "fuel": fuel,
               "density": density, "co2_factor": co2_factor}
    logs = _log_parts(frame)
    if logs is not None and by == "vehicle" and (not vehicle_speed
                                                 or "vehicle_speed" in logs[0].roles):
        # Straight from read_logs: each partition read and totalled in one call.
        shipped = _shipped(m)
        task = dask.delayed(_parts_runs, pure=True)
        found = [runs for task_runs in dask.compute(*[task(logs[0], parts, shipped, options)
                                                      for parts in _tasks(logs[1])])
                 for runs in task_runs]
    else:
        # Fused with the partition's reading: only the partial totals travel.
        runs = frame.map_partitions(_runs_frame, _shipped(m), by, options,
                                    meta=pd.DataFrame({"found": pd.Series(dtype=object)}))
        found = runs.compute()["found"].tolist()
    ordered, skipped = _vehicle_runs(found)
    rows = {}
    for name in sorted(ordered):
        totals = _cycle_merge(m, ordered[name], vehicle_speed=vehicle_speed, max_gap=max_gap,
                              fuel=fuel, density=density, co2_factor=co2_factor)
        rows[name] = {key: value for key, value in totals.items() if key not in _NOT_TOTALS}
    table = pd.json_normalize(list(rows.values())) if rows else pd.DataFrame()
    table.index = pd.Index(list(rows), name=by, dtype=object)
    skipped_frame = pd.DataFrame({
        "file": pd.Series([entry[0] for entry in skipped], dtype=object),
        "line": pd.array([entry[1] for entry in skipped], dtype="Int64"),
        "reason": pd.Series([entry[2] for entry in skipped], dtype=object)})
    return table, skipped_frame
