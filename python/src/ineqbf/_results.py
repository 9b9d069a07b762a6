"""The results of an analysis as Python values."""

from __future__ import annotations

import dataclasses
from typing import Any, Iterator, NamedTuple, Optional, Sequence, Union

import numpy as np


class Estimate(NamedTuple):
    """A Bayes factor or posterior probability with its Monte Carlo error
    (the standard deviation of its 1000 replicates) and the 2.5 and 97.5
    percentiles of the replicates."""

    value: float
    mc_error: float
    lower: float
    upper: float

    def __str__(self) -> str:
        return f"{self.value:#.4g} (MC error {self.mc_error:#.3g}; {self.lower:#.4g} to {self.upper:#.4g})"


def _frozen(values: Any) -> np.ndarray:
    a = np.array(values, dtype=np.float32)
    a.flags.writeable = False
    return a


@dataclasses.dataclass(frozen=True, eq=False)
class ConstraintResult:
    """One constraint row, ``coefficients · θ > rhs``, evaluated given that
    the rows before it hold: its fit and complexity, the hits and counted
    iterations of the final chains, and the 1000 Beta replicates of each."""

    coefficients: tuple[float, ...]
    rhs: float
    text: str  #: the row as text over the parameter names
    fit: float
    complexity: float
    fit_hits: int
    complexity_hits: int
    fit_iterations: int
    complexity_iterations: int
    fit_replicates: np.ndarray = dataclasses.field(repr=False)
    complexity_replicates: np.ndarray = dataclasses.field(repr=False)

    @classmethod
    def _from_core(cls, d: dict) -> "ConstraintResult":
        d = dict(d)
        d["coefficients"] = tuple(d["coefficients"])
        d["fit_replicates"] = _frozen(d["fit_replicates"])
        d["complexity_replicates"] = _frozen(d["complexity_replicates"])
        return cls(**d)


@dataclasses.dataclass(frozen=True, eq=False)
class HypothesisResult:
    """The analysis of one hypothesis: its rows, totals, Bayes factors, and
    the console and report bytes the program gives on the same rows."""

    text: str
    constraints: tuple[ConstraintResult, ...]
    total_fit: float
    total_complexity: float
    bf_ia: Estimate  #: against the unconstrained hypothesis
    bf_ic: Estimate  #: against the complement
    #: Total fit exactly 1: the report reads "infinit" for BFic (still computed).
    bf_ic_infinite: bool
    bf_ia_replicates: np.ndarray = dataclasses.field(repr=False)  #: in the order drawn
    bf_ic_replicates: np.ndarray = dataclasses.field(repr=False)
    report: str = dataclasses.field(repr=False)  #: the bytes of Output.txt (CR LF line ends)
    console: str = dataclasses.field(repr=False)  #: what the program prints on the console

    @classmethod
    def _from_core(cls, text: Optional[str], d: dict) -> "HypothesisResult":
        rows = tuple(ConstraintResult._from_core(c) for c in d["constraints"])
        if text is None:
            text = " & ".join(r.text for r in rows)
        return cls(
            text=text,
            constraints=rows,
            total_fit=d["total_fit"],
            total_complexity=d["total_complexity"],
            bf_ia=Estimate(*d["bf_ia"]),
            bf_ic=Estimate(*d["bf_ic"]),
            bf_ic_infinite=d["bf_ic_infinite"],
            bf_ia_replicates=_frozen(d["bf_ia_replicates"]),
            bf_ic_replicates=_frozen(d["bf_ic_replicates"]),
            report=d["report"],
            console=d["console"],
        )

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
    probabilities with equal prior odds, the unconstrained hypothesis last in
    the latter; each an :class:`Estimate` formed replicate by replicate. A
    file's analysis has its own rows only, and these three are None.
    """

    hypotheses: tuple[HypothesisResult, ...]
    names: tuple[str, ...]
    seed: int
    bayes_factors: Optional[tuple[tuple[Estimate, ...], ...]] = None
    posterior: Optional[tuple[Estimate, ...]] = None
    posterior_with_unconstrained: Optional[tuple[Estimate, ...]] = None

    @classmethod
    def _from_comparison(cls, d: dict, seed: int) -> "Result":
        def est(rows: Sequence) -> tuple[Estimate, ...]:
            return tuple(Estimate(*e) for e in rows)

        return cls(
            hypotheses=tuple(HypothesisResult._from_core(t, r) for t, r in zip(d["hypotheses"], d["results"])),
            names=tuple(d["names"]),
            seed=seed,
            bayes_factors=tuple(est(row) for row in d["bayes_factors"]),
            posterior=est(d["posterior"]),
            posterior_with_unconstrained=est(d["posterior_with_unconstrained"]),
        )

    @classmethod
    def _from_file(cls, d: dict) -> "Result":
        r = d["result"]
        return cls(hypotheses=(HypothesisResult._from_core(None, r),), names=tuple(d["names"]), seed=r["seed"])

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
            "names": list(self.names),
            "hypotheses": [h.to_dict(replicates) for h in self.hypotheses],
            "bayes_factors": None if self.bayes_factors is None else [est(r) for r in self.bayes_factors],
            "posterior": est(self.posterior),
            "posterior_with_unconstrained": est(self.posterior_with_unconstrained),
        }

    def to_frame(self, kind: str = "hypotheses") -> Any:
        """A pandas DataFrame (pandas must be installed).

        ``kind="hypotheses"``: a row per hypothesis (H1, H2, …, and Hu, the
        unconstrained hypothesis, when probabilities were compared) with
        Bayes factors, MC errors, percentiles and posterior probabilities.
        ``"constraints"``: a row per constraint row of each hypothesis.
        ``"bayes_factors"``: the matrix of Bayes factors of Hi against Hj.
        """
        import pandas as pd

        labels = [f"H{i + 1}" for i in range(len(self.hypotheses))]
        if kind == "hypotheses":
            rows = []
            for i, h in enumerate(self.hypotheses):
                row: dict[str, Any] = {"text": h.text, "total_fit": h.total_fit,
                                       "total_complexity": h.total_complexity}
                row.update(_columns("bf_ia", h.bf_ia))
                row.update(_columns("bf_ic", h.bf_ic))
                row["bf_ic_infinite"] = h.bf_ic_infinite
                if self.posterior is not None:
                    row.update(_columns("pmp", self.posterior[i]))
                if self.posterior_with_unconstrained is not None:
                    row.update(_columns("pmpu", self.posterior_with_unconstrained[i]))
                rows.append(row)
            if self.posterior_with_unconstrained is not None:
                rows.append({"text": "unconstrained", "bf_ia": 1.0,
                             **_columns("pmpu", self.posterior_with_unconstrained[-1])})
                labels.append("Hu")
            return pd.DataFrame(rows, index=pd.Index(labels, name="hypothesis"))
        if kind == "constraints":
            rows = []
            for label, h in zip(labels, self.hypotheses):
                for k, c in enumerate(h.constraints, start=1):
                    row = _row_dict(c, replicates=False)
                    del row["coefficients"], row["rhs"]
                    rows.append({"hypothesis": label, "constraint": k, **row})
            return pd.DataFrame(rows).set_index(["hypothesis", "constraint"]) if rows else pd.DataFrame(rows)
        if kind == "bayes_factors":
            if self.bayes_factors is None:
                raise ValueError("a file's analysis has no comparison of hypotheses")
            values = [[e.value for e in row] for row in self.bayes_factors]
            return pd.DataFrame(values, index=labels, columns=labels)
        raise ValueError(f"kind must be 'hypotheses', 'constraints' or 'bayes_factors', not {kind!r}")

    def __repr__(self) -> str:
        lines = [f"<ineqbf.Result: {len(self.hypotheses)} hypothes{'is' if len(self.hypotheses) == 1 else 'es'}, "
                 f"parameters {', '.join(self.names)}; seed {self.seed}>"]
        for i, h in enumerate(self.hypotheses):
            lines.append(f"  H{i + 1}: {h.text or '(no constraints)'}")
            bfic = "infinit" if h.bf_ic_infinite else str(h.bf_ic)
            lines.append(f"      BFia {h.bf_ia}")
            lines.append(f"      BFic {bfic}")
            if self.posterior is not None and self.posterior_with_unconstrained is not None:
                lines.append(f"      PMP {self.posterior[i].value:.3f}   "
                             f"PMP with Hu {self.posterior_with_unconstrained[i].value:.3f}")
        if self.posterior_with_unconstrained is not None:
            lines.append(f"  Hu: unconstrained   PMP with Hu {self.posterior_with_unconstrained[-1].value:.3f}")
        return "\n".join(lines)


def _columns(prefix: str, e: Estimate) -> dict[str, float]:
    return {prefix: e.value, f"{prefix}_mc_error": e.mc_error,
            f"{prefix}_lower": e.lower, f"{prefix}_upper": e.upper}
