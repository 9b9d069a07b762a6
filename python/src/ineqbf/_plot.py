"""Figures of results with matplotlib (an optional dependency)."""

from __future__ import annotations

import math
from typing import Any, Sequence

import numpy as np


def _figure(width: float, height: float) -> Any:
    try:
        import matplotlib.pyplot as plt
    except ImportError:
        raise ImportError("Result.plot() needs matplotlib (pip install matplotlib, or apt-get install "
                          "python3-matplotlib)") from None
    return plt.figure(figsize=(width, height), layout="constrained")


def hypothesis(h: Any, label: str, log10: bool) -> Any:
    """Fit against complexity per constraint, and the BFia replicates with
    their interval."""
    fig = _figure(10, 4)
    rows, dist = fig.subplots(1, 2, width_ratios=[2, 3])
    _fit_and_complexity(rows, h)
    _replicates(dist, h, log10)
    fig.suptitle(f"{label}: {h.text or '(no constraints)'}  ({h.method})")
    return fig


def _fit_and_complexity(ax: Any, h: Any) -> None:
    k = np.arange(1, len(h.constraints) + 1)
    fit = [c.fit for c in h.constraints]
    comp = [c.complexity for c in h.constraints]
    fit_err = [2 * c.fit_mc_error for c in h.constraints]
    comp_err = [2 * c.complexity_mc_error for c in h.constraints]
    ax.bar(k - 0.2, fit, 0.4, yerr=fit_err, label="fit", color="tab:blue")
    ax.bar(k + 0.2, comp, 0.4, yerr=comp_err, label="complexity", color="tab:gray")
    ax.set_xticks(k, [f"{i}" for i in k])
    ax.set_xlabel("constraint (given the rows before it)")
    ax.set_ylabel("probability")
    ax.set_ylim(0, 1.05)
    ax.legend(loc="upper right", fontsize="small")
    ax.set_title("fit and complexity (± 2 MC errors)", fontsize="medium")


def _replicates(ax: Any, h: Any, log10: bool) -> None:
    e = h.bf_ia.log10() if log10 else h.bf_ia
    values = np.asarray(h.bf_ia_replicates, dtype=float)
    if log10:
        with np.errstate(divide="ignore", invalid="ignore"):
            values = np.log10(values)
    values = values[np.isfinite(values)]
    if values.size > 1 and np.ptp(values) > 0:
        ax.hist(values, bins=min(50, max(10, values.size // 20)), color="tab:blue", alpha=0.6,
                label=f"{values.size} replicates")
    if math.isfinite(e.lower) and math.isfinite(e.upper):
        ax.axvspan(e.lower, e.upper, color="tab:orange", alpha=0.2, label="2.5 to 97.5 percentile")
    if math.isfinite(e.value):
        ax.axvline(e.value, color="black", label=f"BFia {h.bf_ia.format(3)}")
    ax.axvline(0 if log10 else 1, color="tab:red", linestyle=":", label="no evidence either way")
    ax.set_xlabel("log10 BFia" if log10 else "BFia")
    ax.set_ylabel("replicates")
    ax.legend(loc="best", fontsize="small")
    ax.set_title("Bayes factor against the unconstrained hypothesis", fontsize="medium")


def comparison(labels: Sequence[str], pmp: Sequence[Any], pmp_u: Sequence[Any]) -> Any:
    """The PMPs without and with Hu, each with its interval."""
    fig = _figure(max(5.0, 1.2 * len(pmp_u) + 2), 4)
    ax = fig.subplots()
    for offset, name, values, color in ((-0.2, "without Hu", pmp, "tab:blue"),
                                        (0.2, "with Hu", pmp_u, "tab:gray")):
        x = np.arange(len(values)) + offset
        v = np.array([e.value for e in values])
        below = np.clip(v - np.array([e.lower for e in values]), 0, None)
        above = np.clip(np.array([e.upper for e in values]) - v, 0, None)
        ax.bar(x, v, 0.4, yerr=np.nan_to_num([below, above]), capsize=3, label=name, color=color)
    ax.set_xticks(np.arange(len(pmp_u)), [*labels, "Hu"][:len(pmp_u)])
    ax.set_ylim(0, 1.05)
    ax.set_ylabel("posterior model probability")
    ax.set_title("PMPs with their 2.5 to 97.5 percentile intervals", fontsize="medium")
    ax.legend(fontsize="small")
    return fig
