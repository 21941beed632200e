"""The exceptions of fuelcalc (raised by the extension module)."""

from __future__ import annotations


class FuelMapError(ValueError):
    """Data that fuelcalc cannot use, in the library's plain words.

    kind: "read", "interpolation", "invalid_argument" or "outside".
    code: the interpolation call that failed (1 to 8), 0 if none.
    ierr: that call's interpolation status (negative), 0 if none.
    index: the first failing point of an array (0-based), or the ordinal of
        the failed read of a file (1-based, as the program counts), or None.
    line: the line of a file where a read failed (1-based), or None.
    """

    def __init__(self, message: str, kind: str, code: int = 0, ierr: int = 0,
                 index: int | None = None, line: int | None = None) -> None:
        super().__init__(message)
        self.kind = kind
        self.code = code
        self.ierr = ierr
        self.index = index
        self.line = line

    def __reduce__(self):
        # Exceptions cross process boundaries (Dask workers) by pickling.
        return (type(self), (str(self), self.kind, self.code, self.ierr, self.index, self.line))


class ReadError(FuelMapError):
    """A record of a file that is not numbers by the program's reading rules;
    the message and .line name its line."""
