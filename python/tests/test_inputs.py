"""What analyse() accepts and refuses: labelled estimates and covariance
matrices, names, the order of the arguments, seeds, methods, prior model
probabilities and callbacks."""

from __future__ import annotations

import math

import numpy as np
import pytest

import ineqbf
from conftest import ROOT

pd = pytest.importorskip("pandas")

MEANS = [0.3, -0.1, 0.2]
# Unequal variances and correlations, so that a matrix taken in the wrong
# order gives other numbers.
COV = np.array([[0.04, 0.012, 0.0], [0.012, 0.09, -0.02], [0.0, -0.02, 0.25]])
ABC = ["a", "b", "c"]
TEXT = "a > b & c > 0"


def gibbs(*args, **kw):
    return ineqbf.analyse(*args, method="gibbs", **kw)


WANT = None


def want() -> str:
    global WANT
    if WANT is None:
        WANT = gibbs(MEANS, TEXT, COV, names=ABC).report
    return WANT


def frame(labels, order=(0, 1, 2), columns=None):
    o = list(order)
    return pd.DataFrame(COV[np.ix_(o, o)], index=labels, columns=labels if columns is None else columns)


def series(labels=ABC):
    return pd.Series(MEANS, index=labels)


# Labelled inputs that are the same problem: matched by name, or by
# position where nothing is labelled.
SAME = [
    ("Series, DataFrame in another order", lambda: series(), lambda: frame(["c", "a", "b"], (2, 0, 1)), None),
    ("Series, DataFrame rows and columns ordered apart",
     lambda: series(), lambda: frame(["b", "c", "a"], (1, 2, 0)).loc[["c", "a", "b"]], None),
    ("list, DataFrame labelled by the names", lambda: MEANS, lambda: frame(["c", "b", "a"], (2, 1, 0)), ABC),
    ("list, DataFrame naming the parameters", lambda: MEANS, lambda: frame(ABC), None),
    ("Series, array by position", lambda: series(), lambda: COV, None),
    ("dict, DataFrame in another order",
     lambda: dict(zip(ABC, MEANS)), lambda: frame(["b", "a", "c"], (1, 0, 2)), None),
    ("Series, unlabelled DataFrame by position", lambda: series(), lambda: pd.DataFrame(COV), None),
    ("unlabelled Series, list", lambda: pd.Series(MEANS), lambda: COV.tolist(), ABC),
    ("Series, DataFrame with one more row and column",
     lambda: series(),
     lambda: pd.DataFrame(np.pad(COV, (0, 1)) + np.diag([0, 0, 0, 1.0]), index=ABC + ["s"], columns=ABC + ["s"]),
     None),
]


@pytest.mark.parametrize("what, estimates, covariance, names", SAME, ids=[c[0] for c in SAME])
def test_labelled_inputs_are_matched_by_name(what, estimates, covariance, names):
    assert gibbs(estimates(), TEXT, covariance(), names=names).report == want()


# Labels that do not match are refused, never used by position.
REFUSED = [
    ("labels c, a, x against a, b, c", lambda: series(), lambda: frame(["c", "a", "x"]), "no row and column for b"),
    ("upper-cased labels", lambda: series(), lambda: frame(["A", "B", "C"]), "labelled A, B, C"),
    ("integer labels", lambda: series(), lambda: frame([0, 1, 2]), "labelled 0, 1, 2"),
    ("permuted integer labels", lambda: series(), lambda: frame([2, 0, 1]), "labelled 2, 0, 1"),
    ("rows and columns labelled apart", lambda: series(), lambda: frame(ABC, columns=["a", "b", "d"]), "columns"),
    ("a label twice", lambda: series(["a", "a", "c"]), lambda: frame(ABC), "given twice"),
    ("names against other labels", lambda: MEANS, lambda: frame(["x", "y", "z"]), "the names are a, b, c"),
]


@pytest.mark.parametrize("what, estimates, covariance, words", REFUSED, ids=[c[0] for c in REFUSED])
def test_labels_that_do_not_match_are_refused(what, estimates, covariance, words):
    names = ABC if what.startswith("names") else None
    with pytest.raises(ineqbf.IneqbfUsageError, match="covariance matrix|twice") as e:
        gibbs(estimates(), TEXT, covariance(), names=names)
    assert words in e.value.message


# Labels as the R package maps them; the original spelling in backquotes.
NAMES = [
    (["(Intercept)", "x"], ["Intercept", "x"]),
    (["C(g)[T.b]", "Group Var", "x:z"], ["C_g__T.b_", "Group_Var", "x_z"]),
    (["2x", ".5y", ".x"], ["X2x", "X.5y", ".x"]),
    (["x:z", "x_z", "x z"], ["x_z_2", "x_z", "x_z_3"]),
    (["", "b", None], ["theta1", "b", "theta3"]),
    (["θ1", "β-2"], ["θ1", "β_2"]),
]


@pytest.mark.parametrize("labels, mapped", NAMES)
def test_names_are_mapped_as_in_r(labels, mapped):
    assert ineqbf.names(labels) == mapped


def test_a_changed_name_may_be_written_in_its_original_spelling():
    labels = ["(Intercept)", "x:z", "w"]
    r = gibbs(pd.Series(MEANS, index=labels), "`(Intercept)` > 0 & `x:z` < w", COV)
    assert r.names == ("Intercept", "x_z", "w") and r[0].text == "`(Intercept)` > 0 & `x:z` < w"
    assert r.report == gibbs(MEANS, "Intercept > 0 & x_z < w", COV, names=["Intercept", "x_z", "w"]).report
    with pytest.raises(ineqbf.IneqbfUsageError, match="involves no parameter"):
        gibbs(pd.Series(MEANS, index=labels), "Intercept - `(Intercept)` > 0", COV)
    with pytest.raises(ineqbf.IneqbfUsageError) as e:
        gibbs(pd.Series(MEANS, index=labels), "v > 0", COV)
    assert e.value.message.endswith("parameters are Intercept, x_z, w")


def test_the_earlier_order_of_the_arguments_still_works():
    with pytest.warns(DeprecationWarning, match=r"analyse\(estimates, hypothesis, covariance\)"):
        r = ineqbf.analyse(MEANS, COV, TEXT, ABC, method="gibbs")
    assert r.report == want()
    assert ineqbf.analyse(estimates=MEANS, covariance=COV, hypothesis=TEXT, names=ABC, method="gibbs").report == want()
    with pytest.raises(TypeError, match="hypothesis must be a str"):
        ineqbf.analyse(MEANS, COV, COV)
    with pytest.raises(ineqbf.IneqbfUsageError, match="covariance matrix of the estimates is missing"):
        ineqbf.analyse(MEANS, TEXT)


BAD_ARGUMENTS = [  # keywords, words of the message
    ({"seed": 1.5}, "integer"),
    ({"seed": 1.0}, "integer"),
    ({"seed": True}, "integer"),
    ({"seed": "7"}, "integer"),
    ({"method": "Gibbs"}, "gibbs"),
    ({"precision": 0}, "precision"),
    ({"precision": math.nan}, "precision"),
    ({"prior": [1, 2]}, "prior model probabilities"),
    ({"prior": [1, -1, 1]}, "prior model probabilities"),
    ({"prior": "1,1"}, "prior model probabilities"),
    ({"names": ["a"]}, "there is 1 name for 3 parameters"),
]


@pytest.mark.parametrize("kw, words", BAD_ARGUMENTS)
def test_bad_arguments_are_usage_errors(kw, words):
    kw = {"method": "gibbs", "names": ABC, **kw}
    with pytest.raises(ineqbf.IneqbfUsageError) as e:
        ineqbf.analyse(MEANS, "a > 0; b > 0; c > 0", COV, **kw)
    assert words in e.value.message


def test_integer_seeds_of_numpy_are_seeds():
    assert gibbs(MEANS, TEXT, COV, names=ABC, seed=np.int32(12345)).report == want()


@pytest.mark.parametrize("answer, words", [(None, "not None"), (1, "not 1"), ("no", "'no'")])
def test_a_cancel_that_returns_no_bool_says_what_was_expected(answer, words):
    with pytest.raises(TypeError, match="cancel must return True or False") as e:
        ineqbf.analyse_file(ROOT / "examples/two-parameters", cancel=lambda: answer)
    assert words in str(e.value)
    assert ineqbf.analyse_file(ROOT / "examples/two-parameters", cancel=lambda: np.bool_(False)).report


def test_prior_model_probabilities_weigh_the_pmps():
    equal = gibbs(MEANS, "a > 0; c > 0", COV, names=ABC)
    weighed = gibbs(MEANS, "a > 0; c > 0", COV, names=ABC, prior=[1, 3])
    bf = [h.bf_ia.value for h in equal]
    assert weighed.prior == (1, 3) and equal.prior is None
    assert weighed.posterior[0].value == pytest.approx(bf[0] / (bf[0] + 3 * bf[1]), rel=1e-5)
    with_u = gibbs(MEANS, "a > 0; c > 0", COV, names=ABC, prior=[1, 1, 2]).posterior_with_unconstrained
    assert with_u[2].value == pytest.approx(2 / (bf[0] + bf[1] + 2), rel=1e-5)


def test_analyse_asks_for_integration_by_default():
    try:
        r = ineqbf.analyse([0.3], "theta1 > 0", [[0.04]])
    except ineqbf.IneqbfUsageError as e:
        # a library built without the integration method
        assert e.message == "the integration method is not available in this build"
        return
    # fit Φ(0.3 / 0.2), complexity 1/2
    exact = 2 * 0.5 * (1 + math.erf(1.5 / math.sqrt(2)))
    assert r.method == r[0].method == "integration"
    assert r[0].bf_ia.value == pytest.approx(exact, rel=0.01)
    assert abs(r[0].bf_ia.value - exact) <= 4 * r[0].bf_ia.mc_error + 1e-9
    assert ineqbf.analyse_file(ROOT / "examples/two-parameters").method == "gibbs"
