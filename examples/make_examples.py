#!/usr/bin/env python3
"""Writes the example torque maps and drive cycle next to this script.

The engine is a made-up 7.7 L six-cylinder four-stroke diesel. Fuel flow
comes from a Willans-line model; see README.md beside this file. The random
generators have fixed seeds, so every run writes the same bytes.
"""

import math
import os
import random

SEED = 20240607
MOTORING_SEED = 20240608   # its own generator: the other two files stay as they were
HEAVY_SEED = 20240609      # likewise for the heavy-duty map
HERE = os.path.dirname(os.path.abspath(__file__))

DISPLACEMENT = 7.7e-3   # m^3, swept volume of all cylinders
LHV = 42.8e6            # J/kg, lower heating value of diesel fuel
ETA_PEAK = 0.475        # best indicated efficiency
N_BEST = 1300.0         # rpm, speed of best efficiency
T_PEAK = 1200.0         # Nm, peak full-load torque

# Bench speeds (rpm) and full-load torque (Nm) at each: rises from idle to
# a plateau at 1200-1600 rpm, then falls off toward rated speed.
FULL_LOAD = [
    (600, 520.0), (800, 760.0), (1000, 1010.0), (1100, 1140.0),
    (1200, 1200.0), (1300, 1200.0), (1400, 1200.0), (1600, 1200.0),
    (1800, 1135.0), (1900, 1095.0), (2000, 1045.0), (2200, 940.0),
]
IDLE = 620.0            # rpm, warm idle set-point, just above the lowest bench speed


def full_load(n):
    """Full-load torque (Nm) at speed n (rpm), linear between bench speeds."""
    if n <= FULL_LOAD[0][0]:
        return FULL_LOAD[0][1]
    for (n0, t0), (n1, t1) in zip(FULL_LOAD, FULL_LOAD[1:]):
        if n <= n1:
            return t0 + (t1 - t0) * (n - n0) / (n1 - n0)
    return FULL_LOAD[-1][1]


def fmep(n):
    """Friction mean effective pressure (Pa) at speed n (rpm)."""
    k = n / 1000.0
    return 1.0e5 * (0.9 + 0.30 * k + 0.12 * k * k)


def friction_torque(n):
    """Friction torque (Nm): fmep * Vd / (4 pi) for a four-stroke engine."""
    return fmep(n) * DISPLACEMENT / (4.0 * math.pi)


def indicated_efficiency(n, t):
    """Mildly lower away from the best speed and at part load."""
    speed_loss = 0.05 * ((n - N_BEST) / 1000.0) ** 2
    load_loss = 0.05 * (1.0 - t / T_PEAK) ** 2
    return ETA_PEAK * (1.0 - speed_loss) * (1.0 - load_loss)


def fuel_flow(n, t):
    """Fuel flow (g/h) at speed n (rpm) and brake torque t (Nm)."""
    omega = 2.0 * math.pi * n / 60.0                 # rad/s
    brake = t * omega                                # W
    friction = friction_torque(n) * omega            # W
    fuel_power = (brake + friction) / indicated_efficiency(n, t)   # W
    return fuel_power / LHV * 3.6e6                  # kg/s -> g/h


def torque_points(rng, t_max):
    """0 Nm, a jittered even spread of part loads, then full load."""
    count = rng.randint(8, 12)
    step = t_max / (count - 1)
    inner = [(i + rng.uniform(-0.25, 0.25)) * step for i in range(1, count - 1)]
    return [0.0] + [round(t, 1) for t in inner] + [t_max]


def map_lines(rng, motoring=False):
    lines = []
    for n, t_max in FULL_LOAD:
        if motoring:
            # Fuel cut-off: dragged by the vehicle, the engine takes no fuel.
            lines.append(f"{n:d}\t{-friction_torque(n):.1f}\t0.0")
        for t in torque_points(rng, t_max):
            lines.append(f"{n:d}\t{t:.1f}\t{fuel_flow(n, t):.1f}")
    # A few lines logged out of order, as happens on a bench re-run.
    for _ in range(5):
        i = rng.randrange(len(lines))
        j = rng.randrange(len(lines))
        lines[i], lines[j] = lines[j], lines[i]
    return lines


def write_map(rng, path, motoring=False):
    title = "Diesel 7.7L 6-cyl steady-state fuel map (synthetic bench log)"
    if motoring:
        title = "Diesel 7.7L 6-cyl fuel map with motoring points (synthetic bench log)"
    header = [title, "SPEED[rpm] TORQUE[Nm] FUEL[g/h]"]
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(header + map_lines(rng, motoring)) + "\n")


class Cycle:
    """One operating point per second, built phase by phase."""

    def __init__(self, rng):
        self.rng = rng
        self.points = []
        self.n = IDLE

    def add(self, n, t):
        self.n = n
        self.points.append((n, t))

    def idle(self, seconds):
        for _ in range(seconds):
            self.add(IDLE + self.rng.gauss(0.0, 3.0),
                     35.0 + self.rng.gauss(0.0, 6.0))

    def accelerate(self, gears, overload):
        """Full-throttle launch with gear shifts; overload > 1 overshoots."""
        for gear in range(gears):
            start = 900.0 if gear == 0 else 1250.0
            top = 1850.0 + self.rng.uniform(-100.0, 100.0)
            seconds = 5 + gear * 2
            for s in range(seconds):
                n = start + (top - start) * (s + 1) / seconds
                share = self.rng.uniform(0.88, 0.98)
                if overload > 1.0 and s == 1:
                    share = overload
                self.add(n, share * full_load(n))
            self.add(1300.0 + self.rng.uniform(-50.0, 50.0),
                     self.rng.uniform(10.0, 60.0))   # clutch open

    def cruise(self, speed, load, seconds):
        """Steady road speed; the load drifts with the road grade."""
        grade = 0.0
        for _ in range(seconds):
            grade = 0.97 * grade + self.rng.gauss(0.0, 0.02)
            n = speed + self.rng.gauss(0.0, 8.0)
            share = min(max(load + grade, 0.05), 0.95)
            self.add(n, share * full_load(n))

    def overrun(self, speed, seconds):
        """Downhill on engine brake, speed creeping past rated."""
        for s in range(seconds):
            n = speed + (s + 1) * 12.0 + self.rng.gauss(0.0, 5.0)
            self.add(n, -friction_torque(n) * self.rng.uniform(1.0, 1.15))

    def decelerate(self, seconds):
        """Coasting to a stop: motoring, then a dip below idle."""
        start = self.n
        for s in range(seconds):
            n = start + (IDLE + 150.0 - start) * (s + 1) / seconds
            self.add(n, -friction_torque(n) * self.rng.uniform(0.85, 1.1))
        self.add(IDLE - 60.0 + self.rng.gauss(0.0, 5.0), 60.0)   # clutch-in dip


def cycle_points(rng, total):
    c = Cycle(rng)
    c.idle(60)
    trip = 0
    while len(c.points) < total:
        trip += 1
        c.accelerate(gears=rng.randint(3, 6),
                     overload=1.06 if trip % 4 == 2 else 1.0)
        speed = rng.choice([1250.0, 1450.0, 1650.0, 1850.0])
        c.cruise(speed, rng.uniform(0.25, 0.55), rng.randint(60, 240))
        if trip % 5 == 3:
            c.overrun(2050.0, 25)
            c.cruise(1850.0, 0.45, 40)
        c.decelerate(rng.randint(12, 25))
        c.idle(rng.randint(15, 60))
    return c.points[:total]


def write_cycle(rng, path, total=3000):
    with open(path, "w", newline="\n") as f:
        f.write("SPEED[rpm] TORQUE[Nm]\n")
        for n, t in cycle_points(rng, total):
            f.write(f"{n:.1f} {t:.1f}\n")


# A second, made-up 12.8 L heavy-duty engine measured as field maps are: few
# bench speeds whose full load varies strongly with speed, torques set as
# fractions of each speed's own full load (so no two speeds share a torque),
# a motoring point at fuel 0, efficiency falling steeply at part load, and
# 0.4 % measurement noise. Its grid misses the measured points by as much as
# field maps do (see "The direct method" in the top README).
HEAVY_DISPLACEMENT = 12.8e-3   # m^3
HEAVY_FULL_LOAD = [
    (600, 1150.0), (750, 1700.0), (900, 2250.0), (1050, 2550.0), (1200, 2600.0),
    (1350, 2520.0), (1500, 2350.0), (1650, 2150.0), (1800, 1930.0), (1950, 1680.0),
    (2100, 1350.0),
]
HEAVY_LOADS = [0.0, 0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8, 0.9, 1.0]


def heavy_friction_torque(n):
    """Friction torque (Nm) of the heavy-duty engine at speed n (rpm)."""
    k = n / 1000.0
    return 1.0e5 * (0.95 + 0.35 * k + 0.15 * k * k) * HEAVY_DISPLACEMENT / (4.0 * math.pi)


def heavy_fuel_flow(n, t, t_max):
    """Fuel flow (g/h) of the heavy-duty engine at speed n, brake torque t
    and that speed's full-load torque t_max."""
    x = max(t, 0.0) / t_max
    eta = (0.48 * (1.0 - 0.06 * ((n - 1150.0) / 1000.0) ** 2)
           * (1.0 - 0.30 * (1.0 - x) ** 3) * (1.0 - 0.04 * x ** 4))
    omega = 2.0 * math.pi * n / 60.0
    return (t + heavy_friction_torque(n)) * omega / eta / LHV * 3.6e6


def write_heavy_map(rng, path):
    lines = []
    for n, t_max in HEAVY_FULL_LOAD:
        lines.append(f"{n:d}\t{-heavy_friction_torque(n):.1f}\t0.0")
        for share in HEAVY_LOADS:
            jitter = rng.uniform(-0.03, 0.03) if 0.0 < share < 1.0 else 0.0
            t = t_max * (share + jitter)
            fuel = heavy_fuel_flow(n, t, t_max) * (1.0 + rng.gauss(0.0, 0.004))
            lines.append(f"{n:d}\t{t:.1f}\t{fuel:.1f}")
    header = ["Diesel 12.8L heavy-duty fuel map with motoring points (synthetic)",
              "SPEED[rpm] TORQUE[Nm] FUEL[g/h]"]
    with open(path, "w", newline="\n") as f:
        f.write("\n".join(header + lines) + "\n")


def main():
    rng = random.Random(SEED)
    write_map(rng, os.path.join(HERE, "torque_map.dat"))
    write_cycle(rng, os.path.join(HERE, "drive_cycle.dat"))
    write_map(random.Random(MOTORING_SEED), os.path.join(HERE, "motoring_map.dat"),
              motoring=True)
    write_heavy_map(random.Random(HEAVY_SEED), os.path.join(HERE, "heavy_duty_map.dat"))


if __name__ == "__main__":
    main()
