#!/usr/bin/env python3
"""Generates the throughput inputs: a large input file of operating points and
a large TORQUE MAP, both deterministic for a given seed.

usage: make_throughput_inputs.py OUTDIR [--seed N] [--records N] [--speeds N] [--torques N]
"""
import argparse
import os
import random


def write_input(path, records, rng):
    # A drive-cycle-like walk over speed (rpm) and torque (Nm), some of it
    # outside the example map.
    speed, torque = 1200.0, 300.0
    with open(path, "w", newline="") as out:
        out.write("SPEED[rpm] TORQUE[Nm]\n")
        chunk = []
        for i in range(records):
            speed = min(2400.0, max(550.0, speed + rng.uniform(-25.0, 25.0)))
            torque = min(1300.0, max(-150.0, torque + rng.uniform(-40.0, 40.0)))
            chunk.append("%.1f %.2f\n" % (speed, torque))
            if len(chunk) == 100000:
                out.write("".join(chunk))
                chunk.clear()
        out.write("".join(chunk))


def write_map(path, speeds, torques, rng):
    # speeds x torques points in random file order; fuel (g/h) from a smooth
    # Willans-like model.
    lines = []
    for i in range(speeds):
        n = 600.0 + 1800.0 * i / (speeds - 1)
        chosen = rng.sample(range(0, 120000), torques)
        for t10 in chosen:
            t = t10 / 100.0
            fuel = (t + 40.0 + 0.02 * n) * n * 0.0205 + 600.0
            lines.append("%.1f %.2f %.3f\n" % (n, t, fuel))
    rng.shuffle(lines)
    with open(path, "w", newline="") as out:
        out.write("large generated map\nSPEED[rpm] TORQUE[Nm] FUEL[g/h]\n")
        out.write("".join(lines))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("outdir")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--records", type=int, default=10_000_000)
    parser.add_argument("--speeds", type=int, default=1000)
    parser.add_argument("--torques", type=int, default=1000)
    args = parser.parse_args()
    os.makedirs(args.outdir, exist_ok=True)
    rng = random.Random(args.seed)
    write_input(os.path.join(args.outdir, "input.dat"), args.records, rng)
    write_map(os.path.join(args.outdir, "map.dat"), args.speeds, args.torques, rng)


if __name__ == "__main__":
    main()
