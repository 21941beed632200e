"""fuelcalc-plot MAP [INPUT] -o FILE.svg|png: the picture of the map's surface
(--method, --outside), with the operating points of INPUT when given."""

from __future__ import annotations

import argparse
import sys
from contextlib import nullcontext
from pathlib import Path

import matplotlib

from ._errors import FuelMapError
from ._files import replaced_source, rereadable
from ._fuelcalc import FuelMap, read_points
from .plot import MAX_MARKERS
from .report import add_surface_options, map_figure, map_header, map_name
from .run_summary import stream

FORMATS = (".svg", ".png")


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(prog="fuelcalc-plot", description=__doc__.split("\n\n")[0])
    parser.add_argument("map", help="the fuel map file")
    parser.add_argument("input", nargs="?", help="an input file of operating points")
    parser.add_argument("-o", "--output", required=True, help="the picture, .svg or .png")
    add_surface_options(parser)
    args = parser.parse_args(argv)
    output = Path(args.output)
    if output.suffix.lower() not in FORMATS:
        parser.error(f"the picture's name ends in {' or '.join(FORMATS)}: {output}")
    replaced = replaced_source(output, (args.map, args.input))
    if replaced is not None:
        parser.error(f"{output} is {replaced}, which the picture would replace")
    try:
        # A piped map or input is read more than once: once to a copy.
        with rereadable(args.map) as map_file, \
                rereadable(args.input) if args.input else nullcontext() as input_file:
            m = FuelMap.load(map_file, method=args.method, outside=args.outside)
            figures = stream(m, input_file) if input_file else None
            few = figures is not None and figures.records <= MAX_MARKERS
            points = read_points(input_file) if few else None
            title, units = map_header(map_file)
            figure = map_figure(m, points, figures, units, map_name(args.map, title))
        svg = output.suffix.lower() == ".svg"
        # The same picture gives the same bytes: no date, fixed element ids.
        with matplotlib.rc_context({"svg.hashsalt": "fuelcalc"}):
            figure.savefig(output, dpi=150, metadata={"Date": None} if svg else {"Software": None})
    except (FuelMapError, OSError) as e:
        name = getattr(e, "filename", None)
        text = e.strerror if isinstance(e, OSError) and e.strerror else str(e)
        print(f"fuelcalc-plot: {name + ': ' if name else ''}{text}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
