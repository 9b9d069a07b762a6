"""What analyse() is given, turned into estimates, a covariance matrix and
parameter labels: plain sequences and arrays by position, pandas objects
matched by their labels, fitted statsmodels models by their parameters."""

from __future__ import annotations

from typing import Any, Mapping, NamedTuple, Optional, Sequence

import numpy as np

from ._core import Status
from ._errors import IneqbfUsageError


def usage(message: str) -> IneqbfUsageError:
    return IneqbfUsageError(Status.USAGE, message)


def plural(n: int, one: str, many: str) -> str:
    return f"{n} {one if n == 1 else many}"


class Labelled(NamedTuple):
    """Values with the labels of their axis (None: by position)."""

    values: np.ndarray
    labels: Optional[list[str]]


class Matrix(NamedTuple):
    values: np.ndarray
    rows: Optional[list[str]]
    columns: Optional[list[str]]


class Inputs(NamedTuple):
    means: list[float]
    covariance: list[float]  #: row by row
    labels: Optional[list[str]]  #: the parameters' labels before mapping


def _labels(index: Any) -> Optional[list[str]]:
    """A pandas index as labels; a range (the default 0, 1, …) is no
    labelling, but positions."""
    if type(index).__name__ == "RangeIndex":
        return None
    return ["" if v is None else str(v) for v in index]


def _is_series(x: Any) -> bool:
    return hasattr(x, "index") and hasattr(x, "to_numpy") and not hasattr(x, "columns")


def _is_frame(x: Any) -> bool:
    return hasattr(x, "index") and hasattr(x, "columns") and hasattr(x, "to_numpy")


def _array(x: Any, what: str, ndim: int) -> np.ndarray:
    if isinstance(x, str):
        raise usage(f"the {what} must be numbers, not the text {x!r}")
    try:
        a = np.asarray(x, dtype=float)
    except (TypeError, ValueError) as e:
        raise usage(f"the {what} are not numbers: {e}") from None
    if a.ndim != ndim:
        raise usage(f"the {what} must be a {'vector' if ndim == 1 else 'matrix'}, not an array of shape {a.shape}")
    return a


def vector(x: Any) -> Labelled:
    if isinstance(x, Mapping):
        return Labelled(_array(list(x.values()), "estimates", 1), [str(k) for k in x])
    if _is_series(x):
        return Labelled(_array(x.to_numpy(), "estimates", 1), _labels(x.index))
    return Labelled(_array(x, "estimates", 1), None)


def matrix(x: Any) -> Matrix:
    if _is_frame(x):
        return Matrix(_array(x.to_numpy(), "covariance matrix elements", 2), _labels(x.index), _labels(x.columns))
    return Matrix(_array(x, "covariance matrix elements", 2), None, None)


# ---- fitted models ---------------------------------------------------------------

def is_model(x: Any) -> bool:
    """A fitted model the package can read: statsmodels' results objects
    (params and cov_params()), mixed models by their fixed effects."""
    return hasattr(x, "params") and callable(getattr(x, "cov_params", None))


def _exog_names(fit: Any, n: int) -> Optional[list[str]]:
    names = getattr(getattr(fit, "model", None), "exog_names", None)
    return [str(v) for v in names] if names is not None and len(names) == n else None


def model_estimates(fit: Any) -> Labelled:
    """The estimates of a fitted model: a mixed model's fixed effects
    (fe_params), else its params; labelled by the model's names."""
    params = fit.fe_params if hasattr(fit, "fe_params") else fit.params
    v = vector(params)
    return v if v.labels is not None else Labelled(v.values, _exog_names(fit, len(v.values)))


def model_covariance(fit: Any, estimates: Labelled) -> Matrix:
    """cov_params() of a fitted model, labelled like its estimates. A mixed
    model's holds the variance parameters after the fixed effects; the
    fixed effects' block is taken (by name when labelled)."""
    try:
        m = matrix(fit.cov_params())
    except IneqbfUsageError:
        raise
    except Exception as e:  # a model whose covariance cannot be had, say why
        raise usage(f"cov_params() of the model failed: {e}") from None
    if m.rows is None and m.values.shape[0] >= len(estimates.values):
        k = len(estimates.values)
        m = Matrix(m.values[:k, :k], estimates.labels, estimates.labels)
    return m


def not_a_model_message(x: Any) -> str:
    kind = type(x).__name__
    if hasattr(x, "fit") and hasattr(x, "exog"):
        return (f"{kind} is a model that has not been fitted: pass its results, "
                f"analyse({kind.lower()}.fit(), hypothesis)")
    return (f"cannot analyse a {kind}: pass estimates (a sequence, NumPy array or pandas Series) with "
            "their covariance matrix, analyse(estimates, hypothesis, covariance), or a fitted statsmodels "
            "model (with params and cov_params())")


# ---- matching a labelled covariance matrix to the estimates ---------------------------

def _duplicate(labels: Sequence[str], what: str) -> None:
    seen = set()
    for v in labels:
        if v in seen:
            raise usage(f"the label {v!r} of the {what} is given twice")
        seen.add(v)


def _listed(labels: Sequence[str]) -> str:
    return ", ".join(labels) if labels else "(none)"


def _mismatch(want: list[str], have: list[str], whose: str) -> IneqbfUsageError:
    missing = [v for v in want if v not in have]
    unknown = [v for v in have if v not in want]
    parts = []
    if missing:
        parts.append(f"it has no {'row and column' if len(missing) == 1 else 'rows and columns'} for "
                     f"{_listed(missing)}")
    if unknown and len(have) <= len(want):
        parts.append(f"{_listed(unknown)} {'is' if len(unknown) == 1 else 'are'} not among the {whose}")
    return usage(f"the covariance matrix is labelled {_listed(have)} but the {whose} are {_listed(want)}: "
                 f"{'; '.join(parts)}. Label them alike (names are matched exactly), or pass the matrix "
                 "as a NumPy array to use it by position")


def match(estimates: Labelled, cov: Matrix, names: Optional[list[str]]) -> tuple[np.ndarray, Optional[list[str]]]:
    """The covariance matrix in the estimates' order, and the labels that
    name the parameters. A labelled matrix is matched by its labels to the
    estimates' labels (else to ``names``); one labelled otherwise is
    refused rather than used by position."""
    values = cov.values
    if cov.rows is None and cov.columns is None:
        return values, estimates.labels
    rows = cov.rows if cov.rows is not None else cov.columns
    columns = cov.columns if cov.columns is not None else cov.rows
    _duplicate(rows, "covariance matrix's rows")
    _duplicate(columns, "covariance matrix's columns")
    if sorted(rows) != sorted(columns):
        raise usage(f"the covariance matrix's rows are labelled {_listed(rows)} but its columns "
                    f"{_listed(columns)}; label both by the parameters")
    want, whose = (estimates.labels, "estimates' labels") if estimates.labels is not None else (names, "names")
    if want is None:
        want, whose = columns, ""
    else:
        _duplicate(want, "estimates" if estimates.labels is not None else "names given")
        if not set(want) <= set(columns) or (len(columns) == len(want) and set(want) != set(columns)):
            raise _mismatch(list(want), list(columns), whose)
    order_r = [rows.index(v) for v in want]
    order_c = [columns.index(v) for v in want]
    return values[np.ix_(order_r, order_c)], estimates.labels if estimates.labels is not None else list(want)


def resolve(x: Any, covariance: Any, names: Optional[Sequence[str]]) -> Inputs:
    """The estimates, covariance matrix and labels of a call of analyse()."""
    if is_model(x):
        estimates = model_estimates(x)
        cov = model_covariance(x, estimates) if covariance is None else matrix(covariance)
    else:
        if hasattr(x, "coef_") or (not isinstance(x, (list, tuple)) and not hasattr(x, "__array__")
                                   and not hasattr(x, "__len__")):
            raise usage(not_a_model_message(x))
        estimates = vector(x)
        if covariance is None:
            raise usage("the covariance matrix of the estimates is missing: analyse(estimates, hypothesis, "
                        "covariance)")
        cov = matrix(covariance)
    chosen = None if names is None else list(names)
    if chosen is not None and not all(isinstance(n, str) for n in chosen):
        raise usage("the parameter names must be strings")
    values, labels = match(estimates, cov, chosen)
    if chosen is not None:
        labels = chosen
    n = len(estimates.values)
    if labels is not None and len(labels) != n:
        # The engine parses the hypotheses over the names before it checks
        # the problem, and would only say that a name is unknown.
        raise usage(f"there {'is' if len(labels) == 1 else 'are'} {plural(len(labels), 'name', 'names')} for "
                    f"{plural(n, 'parameter', 'parameters')}")
    return Inputs(estimates.values.tolist(), values.ravel().tolist(), labels)
