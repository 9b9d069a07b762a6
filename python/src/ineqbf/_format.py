"""Numbers as text for printed results: a value and its interval in one
notation, scientific when they are very small or very large, and notes
that say why a value is not finite."""

from __future__ import annotations

import math
from typing import Iterable, Sequence

# Values below this or at or above the next switch a whole estimate (value
# and interval) to scientific notation.
SMALL = 1e-3
LARGE = 1e6


def special(x: float) -> str:
    return "NaN" if math.isnan(x) else ("Inf" if x > 0 else "-Inf")


def scientific(values: Iterable[float]) -> bool:
    """Whether numbers shown together need scientific notation."""
    return any(math.isfinite(x) and x != 0 and not SMALL <= abs(x) < LARGE for x in values)


def decimals(values: Iterable[float], digits: int) -> int:
    """Decimals that give each nonzero finite value at least `digits`
    significant digits."""
    need = [digits - 1 - math.floor(math.log10(abs(x))) for x in values if math.isfinite(x) and x != 0]
    return max([0, *need])


def number(x: float, digits: int, sci: bool, places: int = -1) -> str:
    """x with `digits` significant digits in scientific notation, or in
    fixed notation with `places` decimals (-1: as x needs)."""
    if not math.isfinite(x):
        return special(x)
    if sci:
        return f"{x:.{digits - 1}e}"
    return f"{x:.{decimals([x], digits) if places < 0 else places}f}"


def estimate(value: float, mc_error: float, lower: float, upper: float, digits: int = 4) -> str:
    """"value (MC error e; lower to upper)": the value and its interval in
    one notation with as many decimals, scientific when a value is very
    small or very large, or when the decimals would be many more than the
    digits asked for."""
    trio = (value, lower, upper)
    places = decimals(trio, digits)
    largest = max([abs(x) for x in trio if math.isfinite(x)], default=0.0)
    sci = scientific(trio) or largest * 10.0 ** places >= 10.0 ** (digits + 3)
    error = special(mc_error) if not math.isfinite(mc_error) else f"{mc_error:.{max(1, digits - 2)}g}"
    return (f"{number(value, digits, sci, places)} (MC error {error}; "
            f"{number(lower, digits, sci, places)} to {number(upper, digits, sci, places)})")


def log10(values: Sequence[float]) -> list[float]:
    """log10 of each value: -Inf for 0, NaN for negatives and NaN."""
    out = []
    for x in values:
        if math.isnan(x) or x < 0:
            out.append(math.nan)
        elif x == 0:
            out.append(-math.inf)
        else:
            out.append(math.log10(x))
    return out


def log10_error(value: float, mc_error: float) -> float:
    """The MC error of log10 of a value (to first order: the relative error
    over ln 10)."""
    if not (math.isfinite(value) and value > 0):
        return math.nan
    return mc_error / (value * math.log(10))


def bf_note(label: str, name: str, value: float, total_fit: float, total_complexity: float) -> str:
    """Why a hypothesis' Bayes factor (BFia or BFic) is not finite."""
    if name == "BFic" and total_fit == 1:
        why = ("the total fit is 1: every draw from the posterior satisfied the constraints, so the "
               "complement has no posterior support")
    elif name == "BFic" and total_complexity == 1:
        why = "the total complexity is 1: the complement has no prior support"
    elif total_complexity == 0 and total_fit == 0:
        why = "the total fit and the total complexity are both 0"
    elif total_complexity == 0:
        why = "the total complexity is 0: no draw from the prior satisfied the constraints"
    else:
        why = "a replicate or an intermediate value was not finite"
    return f"{label} {name} is {special(value)}: {why}"


def comparison_notes(bfia: Sequence[float]) -> list[str]:
    """Why Bayes factors between hypotheses or PMPs are not finite, from the
    hypotheses' BFia."""
    labels = [f"H{i + 1}" for i in range(len(bfia))]
    notes = []
    zero = [h for h, v in zip(labels, bfia) if v == 0]
    infinite = [h for h, v in zip(labels, bfia) if math.isinf(v)]
    undefined = [h for h, v in zip(labels, bfia) if math.isnan(v)]
    if zero:
        notes.append(f"BFia of {', '.join(zero)} is 0: a Bayes factor against "
                     f"{'it' if len(zero) == 1 else 'them'} is Inf (or NaN when both are 0)")
    if infinite:
        notes.append(f"BFia of {', '.join(infinite)} is Inf: the Bayes factors and PMPs that involve "
                     f"{'it' if len(infinite) == 1 else 'them'} are Inf or NaN")
    if undefined:
        notes.append(f"BFia of {', '.join(undefined)} is NaN: so is every comparison with "
                     f"{'it' if len(undefined) == 1 else 'them'}")
    if bfia and all(v == 0 for v in bfia):
        notes.append("every BFia is 0: the PMPs without Hu are NaN (0/0)")
    return notes
