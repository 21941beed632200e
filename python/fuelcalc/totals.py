"""The cycle's totals on the report's page (fuelcalc.cycle_totals' dict, the
numbers of fuelcalc-cycle --json) and the cycle over time."""

from __future__ import annotations

import html

from matplotlib.figure import Figure

from .plot import units_known
from .run_summary import RunFigures

# (key, label, unit, decimals) of the rows, in the page's order.
ROWS = (("fuel_g", "fuel", "g", 3), ("fuel_l", "fuel", "L", 4), ("co2_g", "CO2", "g", 3),
        ("work_positive_kwh", "work, positive", "kWh", 4),
        ("work_negative_kwh", "work, negative", "kWh", 4),
        ("bsfc_g_per_kwh", "BSFC over the positive work", "g/kWh", 1),
        ("mean_fuel_g_per_h", "mean fuel flow", "g/h", 1),
        ("duration_s", "duration", "s", 1), ("records", "records", "", 0),
        ("time_without_value_s", "time without a fuel value", "s", 1))
CLASSES = (("inside", "inside the measured map"), ("below", "below the measured torques"),
           ("above", "above the measured torques"), ("beyond_speed", "beyond the measured speeds"),
           ("nan", "a speed or torque not a number"))


def cell(value, decimals: int) -> str:
    """A number cell: the value with its decimals, the exact value (its
    shortest round-trip text) in data-value; a dash for None."""
    if value is None:
        return '<td class="number" data-value="">&ndash;</td>'
    return f'<td class="number" data-value="{value!r}">{value:.{decimals}f}</td>'


# The rows of a cycle with a vehicle speed.
VEHICLE_ROWS = (("distance_km", "distance", "km", 3),
                ("fuel_g_per_km", "fuel per distance", "g/km", 3),
                ("fuel_l_per_100km", "fuel per distance", "L/100 km", 2),
                ("co2_g_per_km", "CO2 per distance", "g/km", 2))
# The columns of the table per phase: (key, label, unit, decimals).
PHASE_COLUMNS = (("records", "records", "", 0), ("duration_s", "duration", "s", 1),
                 ("fuel_g", "fuel", "g", 3), ("fuel_l", "fuel", "L", 4), ("co2_g", "CO2", "g", 3),
                 ("work_positive_kwh", "work, positive", "kWh", 4),
                 ("bsfc_g_per_kwh", "BSFC", "g/kWh", 1),
                 ("mean_fuel_g_per_h", "mean fuel flow", "g/h", 1))


def rows(totals: dict) -> list[tuple[str, str, str, object, int]]:
    """(id, label, unit, value, decimals) of every row of a totals dict (the
    distance rows when the cycle has a vehicle speed)."""
    out = [(key, label, unit, totals[key], decimals) for key, label, unit, decimals in ROWS]
    if totals["distance_km"] is not None:
        out += [(key, label, unit, totals[key], decimals)
                for key, label, unit, decimals in VEHICLE_ROWS]
    for key, label in CLASSES:
        where = totals["where"][key]
        out += [(f"{key}-time_s", f"time {label}", "s", where["time_s"], 1),
                (f"{key}-fuel_g", f"fuel {label}", "g", where["fuel_g"], 3)]
    return out


def totals_table(totals: dict) -> str:
    """The totals with units, and a table per phase when the cycle has them."""
    body = "\n".join(f'<tr id="totals-{key}"><th>{label}</th>{cell(value, decimals)}'
                     f"<td>{unit}</td></tr>" for key, label, unit, value, decimals in rows(totals))
    table = ('<table id="totals">\n<tr><th></th><th>value</th><th>unit</th></tr>\n'
             f"{body}\n</table>")
    if totals["phases"] is None:
        return table
    columns = PHASE_COLUMNS + (VEHICLE_ROWS if totals["distance_km"] is not None else ())
    head = "".join(f"<th>{label}" + (f" [{unit}]" if unit else "") + "</th>"
                   for _, label, unit, _ in columns)
    lines = [f'<tr class="phase" data-phase="{html.escape(p["phase"])}">'
             f'<th>{html.escape(p["phase"])}</th>'
             + "".join(cell(p[key], decimals) for key, _, _, decimals in columns) + "</tr>"
             for p in totals["phases"]]
    return (table + '\n<table id="phases">\n<tr><th>phase</th>' + head + "</tr>\n"
            + "\n".join(lines) + "\n</table>")


def totals_note(totals: dict, step: float | None, units: dict, cycle_units: dict) -> str:
    """What the totals stand on, and what a cycle gives none of."""
    p = totals["fuel_properties"]
    over = (f"records {step:g} s apart" if step is not None
            else f"the cycle's time column (in {html.escape(cycle_units['time'])})")
    gaps = ""
    if totals["gaps"]:
        gaps = (f"; {totals['gaps']} interval(s) longer than the largest gap, "
                f"{totals['gap_s']:g} s in all, not integrated")
    text = (f"Integrated over time by the trapezoidal rule, {over}{gaps}; "
            f"{html.escape(p['name'])}: {p['density_kg_per_l']:g} kg/L, "
            f"{p['co2_g_per_g']:g} g CO2 per g of fuel; map in "
            f"{html.escape(units['speed_unit'])}, {html.escape(units['torque_unit'])}, "
            f"{html.escape(units['fuel_unit'])}; cycle in "
            f"{html.escape(cycle_units['speed'])}, {html.escape(cycle_units['torque'])}.")
    records, inside = totals["records"], totals["where"]["inside"]["records"]
    if records == 0:
        text += " The cycle has no records: every total is 0."
    elif records == 1:
        text += " The cycle has one record: no time passes, every total is 0."
    elif inside == 0:
        text += " No record lies inside the measured map: every value is the policy's."
    return f'<p id="totals-note">{text}</p>'


def cycle_figure(figures: RunFigures, fuel_g: float, units: dict) -> Figure:
    """Fuel flow, cumulative fuel, speed and torque against time (each span's
    mean, the band from its least to its largest fuel flow, at the time of
    its last record). The cumulative fuel is the trapezoid's running
    integral (fuel_g, the totals' fuel, chooses g or kg). The values are
    those the totals take: rpm, Nm and g/h (the map's fuel unit when
    fuelcalc does not convert it)."""
    cycle = figures.cycle
    fig = Figure(figsize=(10, 8), layout="constrained")
    flow, cumulative, speed, torque = fig.subplots(4, 1, sharex=True)
    time = cycle.time
    span = f"{cycle.width} records a span"
    if cycle.width == 1:
        flow.plot(time, cycle.low, color="#1f77b4", linewidth=0.8)
    else:
        flow.fill_between(time, cycle.low, cycle.high, color="#1f77b4", alpha=0.3, linewidth=0,
                          label=f"least to largest, {span}")
        flow.plot(time, cycle.mean, color="#1f77b4", linewidth=0.8, label="mean")
        flow.legend(fontsize=8, loc="upper right")
    # A fuel unit fuelcalc does not convert is taken as g/h, as the totals take it.
    flow_unit = "g/h" if units_known(**units) is None else units["fuel_unit"]
    flow.set_ylabel(f"fuel flow [{flow_unit}]")
    scale, unit = (1000.0, "kg") if fuel_g >= 10000.0 else (1.0, "g")
    cumulative.plot(time, cycle.grams / scale, color="#2ca02c", linewidth=1.0)
    cumulative.set_ylabel(f"cumulative fuel [{unit}]")
    speed.plot(time, cycle.means("speed"), color="#9467bd", linewidth=0.8)
    speed.set_ylabel("speed [rpm]")
    torque.plot(time, cycle.means("torque"), color="#8c564b", linewidth=0.8)
    torque.axhline(0.0, color="#999999", linewidth=0.6)
    torque.set_ylabel("torque [Nm]")
    torque.set_xlabel("time [s]")
    for ax in (flow, cumulative, speed, torque):
        ax.grid(True, color="#e0e0e0", linewidth=0.6)
    return fig
