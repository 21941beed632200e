"""The cycle's totals on the report's page (fuelcalc.cycle_totals' dict, the
numbers of fuelcalc-cycle --json) and the cycle over time."""

from __future__ import annotations

import html

from matplotlib.figure import Figure

from ._fuelcalc import to_base
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


def rows(totals: dict) -> list[tuple[str, str, str, object, int]]:
    """(id, label, unit, value, decimals) of every row of a totals dict."""
    out = [(key, label, unit, totals[key], decimals) for key, label, unit, decimals in ROWS]
    for key, label in CLASSES:
        where = totals["where"][key]
        out += [(f"{key}-time_s", f"time {label}", "s", where["time_s"], 1),
                (f"{key}-fuel_g", f"fuel {label}", "g", where["fuel_g"], 3)]
    return out


def totals_table(totals: dict) -> str:
    """The totals with units, and a table per phase when the cycle has them."""
    body = "\n".join(f'<tr id="totals-{key}"><th>{label}</th>{cell(value, decimals)}'
                     f"<td>{unit}</td></tr>" for key, label, unit, value, decimals in rows(totals))
    return ('<table id="totals">\n<tr><th></th><th>value</th><th>unit</th></tr>\n'
            f"{body}\n</table>")


def totals_note(totals: dict, step: float, units: dict) -> str:
    """What the totals stand on, and what a cycle gives none of."""
    p = totals["fuel_properties"]
    text = (f"Integrated over time by the trapezoidal rule, records {step:g} s apart; "
            f"{html.escape(p['name'])}: {p['density_kg_per_l']:g} kg/L, "
            f"{p['co2_g_per_g']:g} g CO2 per g of fuel; map in "
            f"{html.escape(units['speed_unit'])}, {html.escape(units['torque_unit'])}, "
            f"{html.escape(units['fuel_unit'])}.")
    records, inside = totals["records"], totals["where"]["inside"]["records"]
    if records == 0:
        text += " The cycle has no records: every total is 0."
    elif records == 1:
        text += " The cycle has one record: no time passes, every total is 0."
    elif inside == 0:
        text += " No record lies inside the measured map: every value is the policy's."
    return f'<p id="totals-note">{text}</p>'


def cycle_figure(figures: RunFigures, step: float, fuel_g: float, units: dict) -> Figure:
    """Fuel flow, cumulative fuel, speed and torque against time (each span's
    mean, the band from its least to its largest fuel flow). The cumulative
    fuel is the trapezoid's running integral, ending on the totals' fuel
    (fuel_g, which chooses g or kg)."""
    cycle = figures.cycle
    fig = Figure(figsize=(10, 8), layout="constrained")
    flow, cumulative, speed, torque = fig.subplots(4, 1, sharex=True)
    time = (cycle.last - 1) * step
    if cycle.width == 1:
        flow.plot(time, cycle.low, color="#1f77b4", linewidth=0.8)
    else:
        flow.fill_between(time, cycle.low, cycle.high, color="#1f77b4", alpha=0.3, linewidth=0,
                          label=f"least to largest, {cycle.width * step:g} s a span")
        flow.plot(time, cycle.mean, color="#1f77b4", linewidth=0.8, label="mean")
        flow.legend(fontsize=8, loc="upper right")
    flow.set_ylabel(f"fuel flow [{units['fuel_unit']}]")
    # Every record but the first and the last weighs step: the integral up to
    # record i is step * (running sum - half the first value - half the i-th).
    integral = cycle.running - 0.5 * (figures.first or 0.0)
    if integral.size:
        integral[-1] -= 0.5 * (figures.final or 0.0)
    # A fuel unit fuelcalc does not convert is taken as g/h, as the totals take it.
    flow_unit = units["fuel_unit"] if units_known(**units) is None else "g/h"
    grams = to_base("fuel", flow_unit, integral) * step / 3600.0
    scale, unit = (1000.0, "kg") if fuel_g >= 10000.0 else (1.0, "g")
    cumulative.plot(time, grams / scale, color="#2ca02c", linewidth=1.0)
    cumulative.set_ylabel(f"cumulative fuel [{unit}]")
    speed.plot(time, cycle.means("speed"), color="#9467bd", linewidth=0.8)
    speed.set_ylabel(f"speed [{units['speed_unit']}]")
    torque.plot(time, cycle.means("torque"), color="#8c564b", linewidth=0.8)
    torque.axhline(0.0, color="#999999", linewidth=0.6)
    torque.set_ylabel(f"torque [{units['torque_unit']}]")
    torque.set_xlabel("time [s]")
    for ax in (flow, cumulative, speed, torque):
        ax.grid(True, color="#e0e0e0", linewidth=0.6)
    return fig
