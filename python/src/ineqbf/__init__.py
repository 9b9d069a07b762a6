"""Bayes factors for hypotheses made of linear inequality constraints on
model parameters, from their estimates and covariance matrix.

    >>> import ineqbf
    >>> r = ineqbf.analyse([0.5, 0.2], [[0.04, 0.01], [0.01, 0.09]], "theta1 > theta2 & theta2 > 0")
    >>> r[0].bf_ia.value                      # doctest: +SKIP
    >>> print(r.report)                       # the program's Output.txt   # doctest: +SKIP

Every analysis gives exactly the numbers and report bytes of the ineqbf
program on the same problem, runs without holding the GIL (so analyses in
threads use every core) and can be stopped with Ctrl-C. Errors are
:class:`IneqbfError` with the program's exit status and message; a
malformed problem or hypothesis is an :class:`IneqbfUsageError` (status 4),
which is also a ``ValueError``.
"""

from __future__ import annotations

import dataclasses
import os
from typing import Any, Callable, NamedTuple, Optional, Sequence, Union

import numpy as np

from ._errors import IneqbfError, IneqbfUsageError, Status
from . import _core
from ._results import ConstraintResult, Estimate, HypothesisResult, Result

__all__ = [
    "analyse", "analyse_file", "read_problem", "parse_hypotheses", "constraint_text", "default_names",
    "Result", "HypothesisResult", "ConstraintResult", "Estimate", "Problem", "Hypothesis", "Progress",
    "IneqbfError", "IneqbfUsageError", "Status", "DEFAULT_SEED", "__version__",
]

__version__: str = _core.version()
#: The seed of the program; every analysis starts its random stream from its seed.
DEFAULT_SEED: int = _core.DEFAULT_SEED
#: What a progress callback receives: constraint, sampler, iterations, sweeps_done, sweeps_total.
Progress = _core.Progress

PathLike = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]
ProgressCallback = Callable[["_core.Progress"], Any]
CancelCallback = Callable[[], bool]


@dataclasses.dataclass(frozen=True, eq=False)
class Problem:
    """A problem as read from an Input.txt-format file: every value as the
    program holds it (rounded to single precision)."""

    means: np.ndarray  #: the NPAR estimates
    covariance: np.ndarray  #: NPAR × NPAR
    constraints: np.ndarray  #: NCON × (NPAR + 1): coefficients, then right-hand side


class Hypothesis(NamedTuple):
    """A parsed hypothesis: its text and its rows ``(coefficients, rhs)``,
    each meaning ``coefficients · θ > rhs``."""

    text: str
    constraints: tuple[tuple[tuple[float, ...], float], ...]


def _usage(message: str) -> IneqbfUsageError:
    return IneqbfUsageError(Status.USAGE, message)


def _is_series(x: Any) -> bool:
    return hasattr(x, "index") and hasattr(x, "to_numpy") and not hasattr(x, "columns")


def _is_frame(x: Any) -> bool:
    return hasattr(x, "index") and hasattr(x, "columns") and hasattr(x, "to_numpy")


def _array(x: Any, what: str, ndim: int) -> np.ndarray:
    try:
        a = np.asarray(x, dtype=float)
    except (TypeError, ValueError) as e:
        raise _usage(f"the {what} are not numbers: {e}") from None
    if a.ndim != ndim:
        raise _usage(f"the {what} must be a {'vector' if ndim == 1 else 'matrix'}, not an array of shape {a.shape}")
    return a


def _inputs(estimates: Any, covariance: Any, names: Optional[Sequence[str]]) -> tuple[list, list, list]:
    found: Optional[list[str]] = None
    if _is_series(estimates):
        found = [str(n) for n in estimates.index]
        estimates = estimates.to_numpy()
    means = _array(estimates, "estimates", 1)
    if _is_frame(covariance):
        columns = [str(c) for c in covariance.columns]
        rows = [str(c) for c in covariance.index]
        known = list(names) if names is not None else found
        if known is None:
            found = columns
        elif sorted(columns) == sorted(known) == sorted(rows) and len(set(known)) == len(known):
            # Labelled like the estimates: taken in the estimates' order.
            covariance = covariance.to_numpy()[np.ix_([rows.index(n) for n in known],
                                                      [columns.index(n) for n in known])]
        else:
            covariance = covariance.to_numpy()
    cov = _array(covariance, "covariance matrix elements", 2)
    chosen = list(names) if names is not None else (found or [])
    if not all(isinstance(n, str) for n in chosen):
        raise _usage("the parameter names must be strings")
    if chosen and len(chosen) != len(means):
        # The engine parses the hypotheses over the names before it checks
        # the problem, and would only say that a name is unknown.
        raise _usage(f"there are {len(chosen)} names for {len(means)} parameters")
    return means.tolist(), cov.ravel().tolist(), chosen


def _seed(seed: int) -> int:
    seed = int(seed)
    if not -2**31 <= seed < 2**31:
        raise _usage(f"the seed must be between 1 and 2147483646, not {seed}")
    return seed


def _path(path: PathLike) -> bytes:
    return os.fsencode(os.fspath(path))


def analyse(
    estimates: Any,
    covariance: Any,
    hypothesis: str,
    names: Optional[Sequence[str]] = None,
    seed: int = DEFAULT_SEED,
    *,
    progress: Optional[ProgressCallback] = None,
    cancel: Optional[CancelCallback] = None,
) -> Result:
    """Analyses one or several hypotheses over the same estimates.

    ``estimates``: a sequence, NumPy array or pandas Series of the NPAR
    estimates (a Series names the parameters by its index).
    ``covariance``: their NPAR × NPAR covariance matrix, a nested sequence,
    2-D array or pandas DataFrame (a DataFrame labelled with the parameter
    names is taken in the estimates' order; without other names its columns
    name the parameters).
    ``hypothesis``: constraints over the names, ``&`` joining the constraints
    of one hypothesis and ``;`` separating hypotheses, e.g.
    ``"b1 > b2 > b3; b1 > 2*b2 + 0.5 & -1 < b3 < 1"``; a name that is not an
    identifier goes between backquotes (```(Intercept)` > 0``).
    ``names``: the parameter names (default: the Series' index or the
    DataFrame's columns, else theta1, theta2, …).
    ``seed``: where the random stream starts (1 … 2147483646); each
    hypothesis is its own run from this seed, so its numbers and report are
    the program's on an Input.txt holding its rows.
    ``progress``: called now and then with a :data:`Progress`.
    ``cancel``: polled as often; returning True ends the analysis with an
    :class:`IneqbfError` of status 5. Ctrl-C (KeyboardInterrupt) in the
    main thread stops the analysis too.

    Raises :class:`IneqbfUsageError` (status 4) for a malformed problem or
    hypothesis, :class:`IneqbfError` where the program stops (status 2 for
    a covariance matrix that is singular or not positive definite).
    """
    if not isinstance(hypothesis, str):
        raise TypeError(f"the hypothesis must be a str, not {type(hypothesis).__name__}")
    means, cov, chosen = _inputs(estimates, covariance, names)
    seed = _seed(seed)
    d = _core.analyse_hypotheses(means, cov, chosen, hypothesis, seed, progress, cancel)
    return Result._from_comparison(d, seed)


def analyse_file(
    path: PathLike,
    seed: int = DEFAULT_SEED,
    *,
    progress: Optional[ProgressCallback] = None,
    cancel: Optional[CancelCallback] = None,
) -> Result:
    """Analyses a problem in the Input.txt format (a file, or a folder
    holding an Input.txt) exactly as the program does: the result's
    ``report`` is the bytes of its Output.txt, one ``str``. Its one
    hypothesis is the file's rows (parameters named theta1, theta2, …); it
    has no comparison of hypotheses. Errors carry the program's status and
    message (status 1 when the file cannot be read)."""
    return Result._from_file(_core.analyse_file(_path(path), _seed(seed), progress, cancel))


def read_problem(path: PathLike) -> Problem:
    """Reads a problem in the Input.txt format (a file, or a folder holding
    an Input.txt) with the program's reader: the same values, the same errors."""
    d = _core.read_problem(_path(path))
    n = len(d["means"])
    rows = [list(c) + [rhs] for c, rhs in d["constraints"]]
    return Problem(
        means=np.array(d["means"], dtype=float),
        covariance=np.array(d["covariance"], dtype=float).reshape(n, n),
        constraints=np.array(rows, dtype=float).reshape(len(rows), n + 1),
    )


def parse_hypotheses(text: str, names: Sequence[str]) -> list[Hypothesis]:
    """Parses hypotheses (the syntax of :func:`analyse`) into constraint rows
    over ``names``; raises :class:`IneqbfUsageError` naming what is wrong."""
    return [Hypothesis(t, tuple((tuple(c), rhs) for c, rhs in rows))
            for t, rows in _core.parse_hypotheses(text, list(names))]


def constraint_text(coefficients: Sequence[float], rhs: float, names: Sequence[str]) -> str:
    """The row ``coefficients · θ > rhs`` as text over ``names``, e.g.
    ``"b1 - 2*b2 > 0.5"``, with the shortest numbers that read back to the
    same single-precision values."""
    return _core.constraint_text([float(c) for c in coefficients], float(rhs), list(names))


def default_names(parameters: int) -> list[str]:
    """The names used when none are given: theta1, theta2, …"""
    return _core.default_names(parameters)
