"""Bayes factors for hypotheses made of linear inequality constraints on
model parameters, from their estimates and covariance matrix.

    >>> import ineqbf
    >>> r = ineqbf.analyse([0.5, 0.2], "theta1 > theta2 & theta2 > 0", [[0.04, 0.01], [0.01, 0.09]])
    >>> r[0].bf_ia.value                      # doctest: +SKIP
    >>> fit = statsmodels.formula.api.ols("y ~ x1 + x2", data).fit()
    >>> print(ineqbf.analyse(fit, "x1 > 0 & x2 < 0"))                 # doctest: +SKIP

:func:`analyse` computes by integration unless ``method="gibbs"`` asks for
the ineqbf program's method, whose numbers and report bytes
(``r.report``) equal the program's on the same problem;
:func:`analyse_file` runs the program's method on an Input.txt file.
Analyses run without holding the GIL (so analyses in threads use every
core) and can be stopped with Ctrl-C. Errors are :class:`IneqbfError` with
the program's exit status and message; a malformed problem or hypothesis
is an :class:`IneqbfUsageError` (status 4), which is also a
``ValueError``. Warnings are :class:`IneqbfWarning`.
"""

from __future__ import annotations

import dataclasses
import os
import warnings
from typing import Any, Callable, NamedTuple, Optional, Sequence, Union

import numpy as np

from ._core import Status
from ._errors import IneqbfError, IneqbfUsageError, IneqbfWarning
from . import _core, _inputs
from ._inputs import usage as _usage
from ._names import map_names
from ._results import ConstraintResult, Estimate, HypothesisResult, Result, ResultWarning

__all__ = [
    "analyse", "analyse_file", "names", "read_problem", "parse_hypotheses", "constraint_text", "default_names",
    "Result", "HypothesisResult", "ConstraintResult", "Estimate", "ResultWarning", "Problem", "Hypothesis",
    "Progress", "IneqbfError", "IneqbfUsageError", "IneqbfWarning", "Status", "DEFAULT_SEED", "METHODS",
    "__version__",
]

__version__: str = _core.version()
#: The seed of the program; every analysis starts its random stream from its seed.
DEFAULT_SEED: int = _core.DEFAULT_SEED
#: What a progress callback receives: hypothesis (0-based), hypotheses, constraint, sampler,
#: iterations, sweeps_done, sweeps_total.
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



def _seed(seed: Any) -> int:
    # Integers only: a float or a bool would be truncated to another seed.
    # The range is the library's, which checks it (here only what does not
    # fit its 32-bit integer).
    span = f"between {_core.MIN_SEED} and {_core.MAX_SEED}"
    if isinstance(seed, (bool, np.bool_)) or not isinstance(seed, (int, np.integer)):
        raise _usage(f"the seed must be an integer {span}, not {seed!r}")
    seed = int(seed)
    if not -2**31 <= seed < 2**31:
        raise _usage(f"the seed must be {span}, not {seed}")
    return seed


METHODS = ("gibbs", "integration")


def _method(method: Any) -> str:
    if method not in METHODS:
        raise _usage(f"the method must be \"gibbs\" or \"integration\", not {method!r}")
    return method


def _precision(precision: Any) -> float:
    if isinstance(precision, (bool, np.bool_)) or not isinstance(precision, (int, float, np.number)) or \
            not 0 < float(precision) < 1:
        raise _usage(f"the precision (the relative MC error aimed at) must be a number between 0 and 1, "
                     f"not {precision!r}")
    return float(precision)


def _prior(prior: Any) -> list[float]:
    if prior is None:
        return []
    if isinstance(prior, str):
        raise _usage(f"the prior model probabilities must be numbers, not the text {prior!r}")
    try:
        values = np.asarray(prior, dtype=float)
    except (TypeError, ValueError) as e:
        raise _usage(f"the prior model probabilities are not numbers: {e}") from None
    if values.ndim != 1:
        raise _usage("the prior model probabilities must be a sequence of numbers, one per hypothesis")
    return values.tolist()


def _path(path: PathLike) -> bytes:
    return os.fsencode(os.fspath(path))


def _warn(result: Result) -> Result:
    """Gives each of the result's warnings to the warnings machinery, as
    coming from the caller of analyse() or analyse_file()."""
    for w in result.warnings:
        warnings.warn(w.message, IneqbfWarning, stacklevel=3)
    return result


def _ordered(hypothesis: Any, covariance: Any) -> tuple[str, Any]:
    """The hypothesis and covariance matrix of analyse(x, hypothesis,
    covariance), also from calls in the earlier order analyse(estimates,
    covariance, hypothesis)."""
    if not isinstance(hypothesis, str) and isinstance(covariance, str):
        warnings.warn("analyse(estimates, covariance, hypothesis) is the earlier order of the arguments; "
                      "write analyse(estimates, hypothesis, covariance)", DeprecationWarning, stacklevel=3)
        return covariance, hypothesis
    if not isinstance(hypothesis, str):
        raise TypeError(f"the hypothesis must be a str, as in analyse(estimates, \"b1 > b2 > 0\", covariance) "
                        f"or analyse(fitted_model, \"x1 > 0\"), not {type(hypothesis).__name__}")
    return hypothesis, covariance


def names(x: Any) -> list[str]:
    """The names a hypothesis uses for the parameters ``x`` (their labels
    as a sequence, a pandas Series or Index, or a fitted statsmodels model),
    in the same order; the mapping of the R package:

    * ``(Intercept)`` becomes ``Intercept``;
    * every other ASCII character that cannot be part of a name becomes
      ``_`` (``C(g)[T.b]`` becomes ``C_g__T.b_``, ``Group Var``
      ``Group_Var``);
    * a name starting with a digit (or ``.`` and a digit) gets an ``X`` in
      front: ``2x`` becomes ``X2x``;
    * a mapped name equal to another parameter's name gets ``_2``, ``_3``,
      … appended;
    * a missing (empty) name becomes theta1, theta2, … by its position.

    A changed name can still be written in its original spelling between
    backquotes: ```C(g)[T.b]` > 0`` is ``C_g__T.b_ > 0``.

    >>> ineqbf.names(["(Intercept)", "x:z", "2x", "wt"])
    ['Intercept', 'x_z', 'X2x', 'wt']
    """
    if _inputs.is_model(x):
        estimates = _inputs.model_estimates(x)
        labels, n = estimates.labels, len(estimates.values)
    elif _inputs._is_series(x):
        labels, n = _inputs._labels(x.index), len(x)
    elif isinstance(x, str):
        raise TypeError("names() takes a sequence of names, not one str")
    else:
        labels, n = (None if type(x).__name__ == "RangeIndex" else list(x)), len(x)
    return map_names(labels, n).names


def analyse(
    estimates: Any,
    hypothesis: str,
    covariance: Any = None,
    names: Optional[Sequence[str]] = None,
    seed: int = DEFAULT_SEED,
    *,
    method: str = "integration",
    precision: float = 1e-3,
    prior: Optional[Sequence[float]] = None,
    progress: Optional[ProgressCallback] = None,
    cancel: Optional[CancelCallback] = None,
) -> Result:
    """Analyses one or several hypotheses over the same estimates.

    ``estimates``: the estimates, or a fitted model. Estimates are a sequence,
    NumPy array, pandas Series or dict (a Series names the parameters by
    its index, a dict by its keys). A fitted statsmodels model (OLS, Logit, GLM, …: anything with
    ``params`` and ``cov_params()``) gives its estimates and covariance
    matrix; a mixed model (``MixedLM``) its fixed effects ``fe_params`` and
    their block of ``cov_params()``.
    ``hypothesis``: constraints over the names, ``&`` joining the constraints
    of one hypothesis and ``;`` separating hypotheses, e.g.
    ``"b1 > b2 > b3; b1 > 2*b2 + 0.5 & -1 < b3 < 1"``. Names are mapped as
    :func:`names` shows (``Intercept``, ``C_g__T.b_``); the original
    spelling may be written between backquotes (```(Intercept)` > 0``).
    ``covariance``: the estimates' NPAR × NPAR covariance matrix, a nested
    sequence, 2-D array or pandas DataFrame (a model's ``cov_params()`` when
    not given). A labelled DataFrame is matched by its labels to the
    estimates' labels (or ``names``), and refused when they differ; without
    other names its labels name the parameters. An array is used by
    position. The earlier order ``analyse(estimates, covariance,
    hypothesis)`` still works, with a DeprecationWarning.
    ``names``: the parameter names, in the estimates' order (default: the
    labels of the estimates or of the matrix, else theta1, theta2, …).
    ``seed``: an integer, where the random stream starts (1 … 2147483646);
    each hypothesis is its own run from this seed.
    ``method``: ``"integration"`` (the default) computes the fits and
    complexities as multivariate normal probabilities, without Markov
    chains; ``"gibbs"`` is the ineqbf program's method, whose numbers and
    report equal the program's on an Input.txt holding a hypothesis' rows.
    ``precision``: the relative MC error of BFia that integration aims at.
    ``prior``: prior model probabilities for the PMPs, one positive weight
    per hypothesis, or one more for the unconstrained hypothesis (last);
    normalised (default: equal).
    ``progress``: called now and then with a :data:`Progress`.
    ``cancel``: polled as often; returning True ends the analysis with an
    :class:`IneqbfError` of status 5 (it must return True or False).
    Ctrl-C (KeyboardInterrupt) in the main thread stops the analysis too.

    The analysis' warnings (a Gibbs run off its integrated value, an
    asymmetric covariance matrix, …) are given by ``warnings.warn`` as
    :class:`IneqbfWarning` and kept in ``result.warnings``.

    Raises :class:`IneqbfUsageError` (status 4) for a malformed problem or
    hypothesis, :class:`IneqbfError` where the analysis stops (status 2 for
    a covariance matrix that is singular or not positive definite).
    """
    hypothesis, covariance = _ordered(hypothesis, covariance)
    given = _inputs.resolve(estimates, covariance, names)
    mapping = map_names(given.labels, len(given.means))
    seed = _seed(seed)
    method = _method(method)
    weights = _prior(prior)
    d = _core.analyse_hypotheses(given.means, given.covariance, mapping.names, mapping.aliases, mapping.alias_of,
                                 hypothesis, seed, method, _precision(precision), weights, progress, cancel)
    return _warn(Result._from_comparison(d, seed, method, weights or None))


def analyse_file(
    path: PathLike,
    seed: int = DEFAULT_SEED,
    *,
    method: str = "gibbs",
    precision: float = 1e-3,
    progress: Optional[ProgressCallback] = None,
    cancel: Optional[CancelCallback] = None,
) -> Result:
    """Analyses a problem in the Input.txt format (a file, or a folder
    holding an Input.txt) exactly as the program does: the result's
    ``report`` is the bytes of its Output.txt, one ``str``. Its one
    hypothesis is the file's rows (parameters named theta1, theta2, …); it
    has no comparison of hypotheses. Errors carry the program's status and
    message (status 1 when the file cannot be read). ``method`` is the
    program's ``"gibbs"`` unless ``"integration"`` is asked for; warnings
    as for :func:`analyse`."""
    d = _core.analyse_file(_path(path), _seed(seed), _method(method), _precision(precision), progress, cancel)
    return _warn(Result._from_file(d))


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
