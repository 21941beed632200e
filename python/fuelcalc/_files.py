"""The files of the console commands: sources read more than once, pages
written whole, outputs that would replace a source."""

from __future__ import annotations

import contextlib
import os
import shutil
import stat
import tempfile
from pathlib import Path


@contextlib.contextmanager
def rereadable(source):
    """A path that can be read more than once holding source's bytes: the
    file itself, or for a pipe, FIFO or terminal (read once only), a copy,
    streamed into a temporary file that has no name from the start (read
    through /proc/self/fd), so that no end of the process, by any signal,
    leaves it behind."""
    try:
        regular = stat.S_ISREG(os.stat(source).st_mode)
    except OSError:
        regular = True  # the reader reports what is wrong with it
    if regular:
        yield source
        return
    with tempfile.TemporaryFile(prefix="fuelcalc-", suffix=".dat") as copy:
        try:
            with open(source, "rb") as f:
                shutil.copyfileobj(f, copy, 1 << 20)
        except OSError:
            yield source  # the reader reports the failure as it reads
            return
        copy.flush()
        yield f"/proc/self/fd/{copy.fileno()}"


def replaced_source(output, sources) -> str | None:
    """The first of sources that output names (the same file, whatever the
    path), or None: writing output would destroy it."""
    for source in sources:
        if source is None:
            continue
        try:
            if os.path.samefile(output, source):
                return source
        except OSError:
            continue  # one of them does not exist
    return None


def write_whole(output: Path, text: str) -> None:
    """Writes text to a temporary file beside output, then renames it over
    output: a failed write leaves no half file and the previous one, if any,
    intact. A pipe or device is written directly."""
    try:
        special = not stat.S_ISREG(os.stat(output).st_mode)
    except FileNotFoundError:
        special = False
    if special:
        output.write_text(text, encoding="utf-8")
        return
    fd, partial = tempfile.mkstemp(prefix=f".{output.name}.", dir=output.parent or ".")
    try:
        with os.fdopen(fd, "w", encoding="utf-8") as f:
            f.write(text)
        os.chmod(partial, 0o666 & ~_umask())
        os.replace(partial, output)
    except BaseException:
        os.unlink(partial)
        raise


def _umask() -> int:
    mask = os.umask(0)
    os.umask(mask)
    return mask
