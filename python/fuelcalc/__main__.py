"""python -m fuelcalc COMMAND [ARGS...]: the package's commands.

Each command is a main(argv) -> exit status in a module of the package.
"""

from __future__ import annotations

import importlib
import sys

# Command name -> (module, summary).
COMMANDS: dict[str, tuple[str, str]] = {
    "plot": ("fuelcalc._plot_command", "the picture of a map and its operating points"),
    "report": ("fuelcalc.report", "one HTML page of a run: map, cycle, findings, summary"),
    "version": ("fuelcalc._version_command", "print the library's version"),
}


def usage() -> str:
    lines = ["usage: python -m fuelcalc COMMAND [ARGS...]", "", "commands:"]
    lines += [f"  {name:<10} {summary}" for name, (_, summary) in sorted(COMMANDS.items())]
    return "\n".join(lines)


def main(argv: list[str] | None = None) -> int:
    argv = sys.argv[1:] if argv is None else argv
    if not argv or argv[0] in ("-h", "--help"):
        print(usage(), file=sys.stdout if argv else sys.stderr)
        return 0 if argv else 2
    if argv[0] not in COMMANDS:
        print(f"python -m fuelcalc: unknown command '{argv[0]}'\n\n{usage()}", file=sys.stderr)
        return 2
    module = importlib.import_module(COMMANDS[argv[0]][0])
    return module.main(argv[1:])


if __name__ == "__main__":
    sys.exit(main())
