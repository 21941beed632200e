"""read_table: a table of delimited text as numpy arrays (or a DataFrame)."""

from __future__ import annotations

import os
from typing import Any, Optional, Sequence, Union

from . import _fuelcalc

_Column = Union[str, int]


class Table(dict):
    """The columns read, by name, as numpy arrays (float64, or object for
    text columns), with what the file says about them:

    units      column name -> unit text as written (None when the file gives none)
    empty      column name -> count of empty cells (NaN in the array)
    delimiter  the delimiter given or found (",", ";", "\\t", " " for blanks)
    comments   the comment lines before the header, without their '#'
    """

    units: dict
    empty: dict
    delimiter: str
    comments: list


def read_table(file: Union[str, os.PathLike], columns: Optional[Sequence[_Column]] = None, *,
               text: Optional[Sequence[_Column]] = None, delimiter: Optional[str] = None,
               frame: bool = False, allow_empty: bool = False) -> Any:
    """Reads a table of delimited text (a regular file, a pipe or a FIFO).

    columns: the columns read, by name (ignoring case, without the unit) or
    1-based position; None: all. text: those of them kept as text. The
    numbers read exactly (the shortest text of a double reads back to it);
    an empty cell is NaN. Returns a Table (a dict of arrays), or with
    frame=True a pandas DataFrame whose attrs hold "units" and "empty".

    Raises ReadError with the line for a row of another number of cells
    than the header, text in a number cell, a repeated column name, an
    empty file, a header without rows (unless allow_empty), a unit line that
    does not match the header; FuelMapError (invalid_argument) for a column
    the file does not have; OSError when the file cannot be opened or read.
    The rules: docs/tables.md.
    """
    read = _fuelcalc._read_table(file, None if columns is None else list(columns),
                                 None if text is None else list(text), delimiter, allow_empty)
    names = read["names"]
    table = Table(zip(names, read["arrays"]))
    table.units = dict(zip(names, read["units"]))
    table.empty = dict(zip(names, read["empty"]))
    table.delimiter = read["delimiter"]
    table.comments = read["comments"]
    if not frame:
        return table
    import pandas

    result = pandas.DataFrame(dict(table), copy=False)
    result.attrs["units"] = table.units
    result.attrs["empty"] = table.empty
    return result
