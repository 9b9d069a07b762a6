"""Fitted statsmodels models straight in: each gives the analysis of its
estimates and covariance matrix given by hand."""

from __future__ import annotations

import numpy as np
import pytest

import ineqbf

pd = pytest.importorskip("pandas")
sm = pytest.importorskip("statsmodels.api")  # Debian: python3-statsmodels
smf = pytest.importorskip("statsmodels.formula.api")


def data() -> "pd.DataFrame":
    rng = np.random.default_rng(20)
    n = 150
    d = pd.DataFrame({"x1": rng.normal(size=n), "x2": rng.normal(2, 1, size=n), "g": rng.choice(["a", "b", "c"], n),
                      "school": np.repeat(np.arange(15), 10)})
    d["y"] = 0.5 + 0.4 * d.x1 - 0.3 * d.x2 + 0.5 * (d.g == "b") + np.repeat(rng.normal(0, 0.5, 15), 10) \
        + rng.normal(size=n)
    d["pass_"] = (d.y > d.y.median()).astype(int)
    return d


def arrays(d):
    return sm.add_constant(d[["x1", "x2"]].to_numpy())


# name, fitted model, hypothesis, the estimates and covariance matrix by hand
MODELS = [
    ("OLS formula", lambda d: smf.ols("y ~ x1 + x2 + C(g)", d).fit(), "x1 > 0 & x2 < 0; `C(g)[T.b]` > C_g__T.c_",
     lambda f: (f.params, f.cov_params())),
    ("OLS arrays", lambda d: sm.OLS(d.y.to_numpy(), arrays(d)).fit(), "x1 > 0 & x2 < 0; const > x1",
     lambda f: (pd.Series(f.params, index=["const", "x1", "x2"]), f.cov_params())),
    ("Logit", lambda d: smf.logit("pass_ ~ x1 + x2", d).fit(disp=0), "x1 > 0 & x2 < 0",
     lambda f: (f.params, f.cov_params())),
    ("GLM binomial", lambda d: smf.glm("pass_ ~ x1 + x2", d, family=sm.families.Binomial()).fit(),
     "x1 > 0 > x2; Intercept > 0", lambda f: (f.params, f.cov_params())),
    ("MixedLM formula", lambda d: smf.mixedlm("y ~ x1 + x2", d, groups=d["school"]).fit(),
     "x1 > 0 & x2 < 0; x1 > -x2",
     lambda f: (f.fe_params, f.cov_params().loc[f.fe_params.index, f.fe_params.index])),
    ("MixedLM arrays", lambda d: sm.MixedLM(d.y.to_numpy(), arrays(d), groups=d.school.to_numpy()).fit(),
     "x1 > 0 & x2 < 0", lambda f: (pd.Series(f.fe_params, index=["const", "x1", "x2"]), f.cov_params()[:3, :3])),
]


@pytest.fixture(scope="module")
def fits():
    d = data()
    with np.errstate(all="ignore"):
        return {name: fit(d) for name, fit, _, _ in MODELS}


@pytest.mark.parametrize("name, fit, text, by_hand", MODELS, ids=[m[0] for m in MODELS])
def test_a_fitted_model_gives_the_analysis_of_its_estimates(fits, name, fit, text, by_hand):
    f = fits[name]
    r = ineqbf.analyse(f, text, method="gibbs")
    estimates, covariance = by_hand(f)
    want = ineqbf.analyse(estimates.to_numpy(), text, np.asarray(covariance),
                          names=[str(v) for v in estimates.index], method="gibbs")
    assert r.names == want.names
    assert [h.bf_ia for h in r] == [h.bf_ia for h in want]
    assert [h.bf_ic for h in r] == [h.bf_ic for h in want]
    assert r.posterior_with_unconstrained == want.posterior_with_unconstrained
    # and with the default method: the same analysis, or the same refusal
    try:
        default = ineqbf.analyse(f, text)
    except ineqbf.IneqbfUsageError as e:
        assert e.message == "the integration method is not available in this build"
    else:
        again = ineqbf.analyse(estimates.to_numpy(), text, np.asarray(covariance),
                               names=[str(v) for v in estimates.index])
        assert [h.bf_ia for h in default] == [h.bf_ia for h in again]


def test_the_names_of_a_model_are_those_of_its_estimates(fits):
    assert ineqbf.names(fits["OLS formula"]) == ["Intercept", "C_g__T.b_", "C_g__T.c_", "x1", "x2"]
    assert ineqbf.names(fits["MixedLM formula"]) == ["Intercept", "x1", "x2"]  # no "Group Var"
    assert ineqbf.names(fits["MixedLM arrays"]) == ["const", "x1", "x2"]


def test_a_model_with_a_covariance_matrix_given_uses_that_matrix(fits):
    f = fits["OLS formula"]
    scaled = f.cov_params() * 4
    r = ineqbf.analyse(f, "x1 > 0", scaled.iloc[::-1, ::-1], method="gibbs")
    assert r.report == ineqbf.analyse(f.params, "x1 > 0", scaled, method="gibbs").report


UNUSABLE = [  # what is passed, words of the message
    (lambda d: sm.OLS(d.y.to_numpy(), arrays(d)), "has not been fitted"),
    (lambda d: object(), "fitted statsmodels model"),
    (lambda d: "x1", "not the text"),
]


@pytest.mark.parametrize("thing, words", UNUSABLE)
def test_what_cannot_be_analysed_says_what_to_pass(thing, words):
    with pytest.raises(ineqbf.IneqbfUsageError, match=words):
        ineqbf.analyse(thing(data()), "x1 > 0", method="gibbs")
