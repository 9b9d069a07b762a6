"""The results of an analysis as Python values."""

from __future__ import annotations

import dataclasses
import math
from typing import Any, Iterator, NamedTuple, Optional, Sequence, Union

import numpy as np

from . import _format


class Estimate(NamedTuple):
    """A Bayes factor or posterior probability with its Monte Carlo error
    (the standard deviation of its 1000 replicates) and the 2.5 and 97.5
    percentiles of the replicates."""

    value: float
    mc_error: float
    lower: float
    upper: float

    def __str__(self) -> str:
        return self.format()

    def format(self, digits: int = 4) -> str:
        """"value (MC error e; lower to upper)" with `digits` significant
        digits; the value and its interval in scientific notation when any
        is below 0.001 or at least a million."""
        return _format.estimate(*self, digits=digits)

    def log10(self) -> "Estimate":
        """The estimate on the log10 scale: log10 of the value and of the
        interval's ends (exact, log10 is increasing); the MC error to first
        order (the relative MC error over ln 10)."""
        value, lower, upper = _format.log10((self.value, self.lower, self.upper))
        return Estimate(value, _format.log10_error(self.value, self.mc_error), lower, upper)


class ResultWarning(NamedTuple):
    """Something to know about a result that did not stop it, also given by
    ``warnings.warn`` as an :class:`IneqbfWarning`: ``message`` the text,
    ``quantity`` "fit", "complexity", "bf_ia" or "" (not about one number),
    ``constraint`` the 1-based row it is about (0: none), and for a
    quantity the analysis' ``value`` and its ``integrated`` value."""

    message: str
    quantity: str
    constraint: int
    value: float
    integrated: float


def _frozen(values: Any) -> np.ndarray:
    a = np.array(values, dtype=np.float64)
    a.flags.writeable = False
    return a


# How a field of the engine's result (the library's list of fields, the
# same in every door) becomes the Python value, by the field's type here.
_CONVERT = {
    "Estimate": lambda v: Estimate(*v),
    "np.ndarray": _frozen,
    "tuple[float, ...]": tuple,
    "tuple[ResultWarning, ...]": lambda v: tuple(ResultWarning(**w) for w in v),
}


def _typed(cls: Any, d: dict) -> dict:
    """The engine's fields of `d` as the values of the dataclass `cls`; a
    field of the engine the class does not have is an error, so that a field
    added to the library cannot go missing here unnoticed."""
    known = {f.name: f.type for f in dataclasses.fields(cls)}
    extra = sorted(set(d) - set(known))
    if extra:
        raise TypeError(f"{cls.__name__} has no field for the engine's {', '.join(extra)}")
    return {name: _CONVERT.get(known[name], lambda v: v)(v) for name, v in d.items()}


@dataclasses.dataclass(frozen=True, eq=False)
class ConstraintResult:
    """One constraint row, ``coefficients · θ > rhs``, evaluated given that
    the rows before it hold: its fit and complexity with their MC errors;
    for the Gibbs method the hits and counted iterations of the final
    chains and the 1000 Beta replicates of each, for integration the points
    of the final lattice rule."""

    coefficients: tuple[float, ...]
    rhs: float
    text: str  #: the row as text over the parameter names
    fit: float
    complexity: float
    fit_mc_error: float
    complexity_mc_error: float
    fit_hits: int
    complexity_hits: int
    fit_iterations: int
    complexity_iterations: int
    fit_points: int
    complexity_points: int
    fit_replicates: np.ndarray = dataclasses.field(repr=False)
    complexity_replicates: np.ndarray = dataclasses.field(repr=False)

    @classmethod
    def _from_core(cls, d: dict) -> "ConstraintResult":
        return cls(**_typed(cls, d))


@dataclasses.dataclass(frozen=True, eq=False)
class HypothesisResult:
    """The analysis of one hypothesis: its rows, totals, Bayes factors, and
    the console and report bytes the program gives on the same rows."""

    text: str
    method: str  #: "gibbs" or "integration"
    constraints: tuple[ConstraintResult, ...]
    total_fit: float
    total_complexity: float
    bf_ia: Estimate  #: against the unconstrained hypothesis
    bf_ic: Estimate  #: against the complement
    #: Total fit exactly 1: the complement has no posterior support, BFic is
    #: not finite (the report says so in its own words).
    bf_ic_infinite: bool
    warnings: tuple[ResultWarning, ...]  #: what the analysis warned about
    seed: int  #: the seed its random stream started from
    bf_ia_replicates: np.ndarray = dataclasses.field(repr=False)  #: in the order drawn
    bf_ic_replicates: np.ndarray = dataclasses.field(repr=False)
    report: str = dataclasses.field(repr=False)  #: the bytes of Output.txt (CR LF line ends)
    console: str = dataclasses.field(repr=False)  #: what the program prints on the console

    @classmethod
    def _from_core(cls, text: Optional[str], d: dict) -> "HypothesisResult":
        d = dict(d)
        rows = tuple(ConstraintResult._from_core(c) for c in d.pop("constraints"))
        if text is None:
            text = " & ".join(r.text for r in rows)
        return cls(text=text, constraints=rows, **_typed(cls, d))

    def to_dict(self, replicates: bool = False) -> dict:
        """Plain Python values (JSON-ready); the replicates only when asked."""
        out: dict[str, Any] = {}
        for f in dataclasses.fields(self):
            v = getattr(self, f.name)
            if f.name.endswith("replicates"):
                if replicates:
                    out[f.name] = v.tolist()
            elif isinstance(v, Estimate):
                out[f.name] = v._asdict()
            elif f.name == "warnings":
                out[f.name] = [w._asdict() for w in v]
            elif f.name == "constraints":
                out[f.name] = [_row_dict(r, replicates) for r in v]
            else:
                out[f.name] = v
        return out


def _row_dict(r: ConstraintResult, replicates: bool) -> dict:
    d = {f.name: getattr(r, f.name) for f in dataclasses.fields(r)}
    d["coefficients"] = list(r.coefficients)
    for name in ("fit_replicates", "complexity_replicates"):
        if replicates:
            d[name] = d[name].tolist()
        else:
            del d[name]
    return d


@dataclasses.dataclass(frozen=True, eq=False)
class Result:
    """What :func:`ineqbf.analyse` and :func:`ineqbf.analyse_file` return.

    ``hypotheses`` holds one :class:`HypothesisResult` per hypothesis (the
    object is also a sequence of them). For an analysis of hypotheses given
    as text, ``bayes_factors[i][j]`` is hypothesis i against hypothesis j and
    ``posterior`` / ``posterior_with_unconstrained`` are the posterior model
    probabilities (PMPs) under the prior model probabilities ``prior``
    (None: equal), the unconstrained hypothesis last in the latter; each an
    :class:`Estimate` formed replicate by replicate. A file's analysis has
    its own rows only, and these three are None.

    ``print(result)`` shows the Bayes factors and PMPs; :meth:`format` the
    same with other digits or on the log10 scale, :meth:`to_frame` as
    tables, :meth:`plot` as a figure.
    """

    hypotheses: tuple[HypothesisResult, ...]
    names: tuple[str, ...]
    seed: int
    method: str = "gibbs"  #: "gibbs" or "integration"
    bayes_factors: Optional[tuple[tuple[Estimate, ...], ...]] = None
    posterior: Optional[tuple[Estimate, ...]] = None
    posterior_with_unconstrained: Optional[tuple[Estimate, ...]] = None
    prior: Optional[tuple[float, ...]] = None  #: the prior model probabilities as given

    @classmethod
    def _from_comparison(cls, d: dict, seed: int, method: str,
                         prior: Optional[Sequence[float]] = None) -> "Result":
        def est(rows: Sequence) -> tuple[Estimate, ...]:
            return tuple(Estimate(*e) for e in rows)

        return cls(
            hypotheses=tuple(HypothesisResult._from_core(t, r) for t, r in zip(d["hypotheses"], d["results"])),
            names=tuple(d["names"]),
            seed=seed,
            method=method,
            bayes_factors=tuple(est(row) for row in d["bayes_factors"]),
            posterior=est(d["posterior"]),
            posterior_with_unconstrained=est(d["posterior_with_unconstrained"]),
            prior=None if prior is None else tuple(prior),
        )

    @classmethod
    def _from_file(cls, d: dict) -> "Result":
        r = d["result"]
        return cls(hypotheses=(HypothesisResult._from_core(None, r),), names=tuple(d["names"]), seed=r["seed"],
                   method=r["method"])

    @property
    def report(self) -> Union[str, list[str]]:
        """The bytes of Output.txt, CR LF line ends included: one ``str`` for
        one hypothesis, a list of them (one per hypothesis) for several."""
        if len(self.hypotheses) == 1:
            return self.hypotheses[0].report
        return [h.report for h in self.hypotheses]

    @property
    def reports(self) -> list[str]:
        """The reports, one per hypothesis, always as a list."""
        return [h.report for h in self.hypotheses]

    @property
    def warnings(self) -> tuple[ResultWarning, ...]:
        """The warnings of every hypothesis' analysis, in order."""
        return tuple(w for h in self.hypotheses for w in h.warnings)

    def __len__(self) -> int:
        return len(self.hypotheses)

    def __getitem__(self, i: int) -> HypothesisResult:
        return self.hypotheses[i]

    def __iter__(self) -> Iterator[HypothesisResult]:
        return iter(self.hypotheses)

    def to_dict(self, replicates: bool = False) -> dict:
        """Plain Python values (lists, dicts, floats, str), ready for JSON.
        The Beta replicates (1000 per quantity) only with ``replicates=True``."""

        def est(rows: Optional[Sequence[Estimate]]) -> Optional[list]:
            return None if rows is None else [e._asdict() for e in rows]

        return {
            "seed": self.seed,
            "method": self.method,
            "names": list(self.names),
            "prior": None if self.prior is None else list(self.prior),
            "hypotheses": [h.to_dict(replicates) for h in self.hypotheses],
            "bayes_factors": None if self.bayes_factors is None else [est(r) for r in self.bayes_factors],
            "posterior": est(self.posterior),
            "posterior_with_unconstrained": est(self.posterior_with_unconstrained),
        }

    def to_frame(self, kind: str = "hypotheses", log10: bool = False) -> Any:
        """A pandas DataFrame (pandas must be installed).

        ``kind="hypotheses"``: a row per hypothesis (H1, H2, …, and Hu, the
        unconstrained hypothesis, when probabilities were compared) with
        the Bayes factors BFia and BFic and the posterior model
        probabilities without Hu (``pmp``) and with it (``pmpu``), each with
        its MC error and 2.5 / 97.5 percentiles (``_mc_error``, ``_lower``,
        ``_upper``).
        ``"constraints"``: a row per constraint row of each hypothesis.
        ``"bayes_factors"``: the matrix of Bayes factors of Hi against Hj.

        ``log10=True`` gives the Bayes factors on the log10 scale (columns
        ``log10_bf_ia``, …; see :meth:`Estimate.log10`). Why a value is not
        finite is said in ``frame.attrs["notes"]``.
        """
        import pandas as pd

        if kind == "hypotheses":
            frame = pd.DataFrame(*self._hypothesis_rows(log10))
        elif kind == "constraints":
            rows = []
            for label, h in zip(self._labels(), self.hypotheses):
                for k, c in enumerate(h.constraints, start=1):
                    row = _row_dict(c, replicates=False)
                    del row["coefficients"], row["rhs"]
                    rows.append({"hypothesis": label, "constraint": k, **row})
            frame = pd.DataFrame(rows).set_index(["hypothesis", "constraint"]) if rows else pd.DataFrame(rows)
        elif kind == "bayes_factors":
            if self.bayes_factors is None:
                raise ValueError("a file's analysis has no comparison of hypotheses")
            values = [[e.value for e in row] for row in self.bayes_factors]
            if log10:
                values = [_format.log10(row) for row in values]
            frame = pd.DataFrame(values, index=self._labels(), columns=self._labels())
        else:
            raise ValueError(f"kind must be 'hypotheses', 'constraints' or 'bayes_factors', not {kind!r}")
        frame.attrs["notes"] = self.notes()
        return frame

    def _labels(self) -> list[str]:
        return [f"H{i + 1}" for i in range(len(self.hypotheses))]

    def _hypothesis_rows(self, log10: bool) -> tuple[list[dict], Any]:
        import pandas as pd

        def bf(prefix: str, e: Estimate) -> dict[str, float]:
            return _columns(f"log10_{prefix}", e.log10()) if log10 else _columns(prefix, e)

        labels = self._labels()
        rows = []
        for i, h in enumerate(self.hypotheses):
            row: dict[str, Any] = {"text": h.text, "method": h.method, "total_fit": h.total_fit,
                                   "total_complexity": h.total_complexity}
            row.update(bf("bf_ia", h.bf_ia))
            row.update(bf("bf_ic", h.bf_ic))
            row["bf_ic_infinite"] = h.bf_ic_infinite
            if self.posterior is not None:
                row.update(_columns("pmp", self.posterior[i]))
            if self.posterior_with_unconstrained is not None:
                row.update(_columns("pmpu", self.posterior_with_unconstrained[i]))
            rows.append(row)
        if self.posterior_with_unconstrained is not None:
            rows.append({"text": "unconstrained", "method": self.method,
                         ("log10_bf_ia" if log10 else "bf_ia"): 0.0 if log10 else 1.0,
                         **_columns("pmpu", self.posterior_with_unconstrained[-1])})
            labels.append("Hu")
        return rows, pd.Index(labels, name="hypothesis")

    def notes(self) -> list[str]:
        """Why a Bayes factor or PMP of the result is not finite, one
        sentence per case (empty when all are finite)."""
        out = []
        for label, h in zip(self._labels(), self.hypotheses):
            for name, e in (("BFia", h.bf_ia), ("BFic", h.bf_ic)):
                if not math.isfinite(e.value):
                    out.append(_format.bf_note(label, name, e.value, h.total_fit, h.total_complexity))
        if self.bayes_factors is not None and len(self.hypotheses) > 1:
            out += _format.comparison_notes([h.bf_ia.value for h in self.hypotheses])
        return out

    def format(self, digits: int = 4, log10: bool = False) -> str:
        """The result as text: each hypothesis with BFia and BFic (value, MC
        error and 2.5 to 97.5 percentiles, with `digits` significant
        digits; on the log10 scale with ``log10=True``) and the PMPs, then
        notes on values that are not finite, and the warnings."""
        if isinstance(digits, bool) or not isinstance(digits, int) or not 1 <= digits <= 15:
            raise ValueError(f"digits must be an integer from 1 to 15, not {digits!r}")
        n = len(self.hypotheses)
        lines = [f"<ineqbf.Result: {n} hypothes{'is' if n == 1 else 'es'} by {self.method}, "
                 f"parameters {', '.join(self.names)}; seed {self.seed}>"]
        scale = "log10 " if log10 else ""
        for i, h in enumerate(self.hypotheses):
            lines.append(f"  H{i + 1}: {h.text or '(no constraints)'}")
            for name, e in (("BFia", h.bf_ia), ("BFic", h.bf_ic)):
                lines.append(f"      {scale}{name} {(e.log10() if log10 else e).format(digits)}")
            if self.posterior is not None and self.posterior_with_unconstrained is not None:
                lines.append(f"      PMP {self.posterior[i].format(digits)}")
                lines.append(f"      PMP with Hu {self.posterior_with_unconstrained[i].format(digits)}")
        if self.posterior_with_unconstrained is not None:
            lines.append(f"  Hu: unconstrained   PMP with Hu {self.posterior_with_unconstrained[-1].format(digits)}")
        if self.prior is not None:
            lines.append(f"  prior model probabilities: {', '.join(f'{w:g}' for w in self.prior)}")
        lines += [f"  Note: {note}." for note in self.notes()]
        lines += [f"  Warning: {w.message}" for w in self.warnings]
        return "\n".join(lines)

    def __str__(self) -> str:
        return self.format()

    def __repr__(self) -> str:
        return self.format()

    def plot(self, hypothesis: Optional[int] = None, log10: bool = False) -> Any:
        """A matplotlib figure of the result (matplotlib must be installed).

        One hypothesis (or ``hypothesis=i``, 0-based, of several): its fit
        and complexity per constraint, and the distribution of its BFia
        replicates with the 2.5 to 97.5 percentile interval. Several
        hypotheses: their PMPs without and with Hu, with their intervals.
        ``log10=True`` draws the BFia replicates on the log10 scale.
        Returns the :class:`matplotlib.figure.Figure`.
        """
        from . import _plot

        if hypothesis is None and len(self.hypotheses) == 1:
            hypothesis = 0
        if hypothesis is not None:
            return _plot.hypothesis(self.hypotheses[hypothesis], f"H{hypothesis + 1}", log10)
        if self.posterior is None or self.posterior_with_unconstrained is None:
            raise ValueError("a file's analysis has no comparison of hypotheses; plot it with hypothesis=0")
        return _plot.comparison(self._labels(), self.posterior, self.posterior_with_unconstrained)


def _columns(prefix: str, e: Estimate) -> dict[str, float]:
    return {prefix: e.value, f"{prefix}_mc_error": e.mc_error,
            f"{prefix}_lower": e.lower, f"{prefix}_upper": e.upper}
