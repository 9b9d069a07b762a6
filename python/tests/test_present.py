"""Results to read and publish: printed numbers, tables, log10, notes on
values that are not finite, warnings and plots."""

from __future__ import annotations

import math

import numpy as np
import pytest

import ineqbf
from ineqbf import Estimate, _core
from conftest import ROOT

INF, NAN = math.inf, math.nan
MEANS = [0.3, -0.1, 0.2]
COV = [[0.04, 0.012, 0.0], [0.012, 0.09, -0.02], [0.0, -0.02, 0.25]]

FORMATS = [  # estimate, digits, text
    (Estimate(2.699, 0.1234, 2.46, 2.96), 4, "2.699 (MC error 0.12; 2.460 to 2.960)"),
    (Estimate(0.12, 0.02, 0.089, 0.16), 2, "0.120 (MC error 0.02; 0.089 to 0.160)"),
    # a small value and its interval in one notation
    (Estimate(3.5e-7, 1.7e-7, 1.1e-7, 6.0e-7), 2, "3.5e-07 (MC error 2e-07; 1.1e-07 to 6.0e-07)"),
    (Estimate(0.5, 0.01, 0.0004, 0.9), 3, "5.00e-01 (MC error 0.01; 4.00e-04 to 9.00e-01)"),
    (Estimate(2.5e6, 1e5, 2.3e6, 2.7e6), 3, "2.50e+06 (MC error 1e+05; 2.30e+06 to 2.70e+06)"),
    (Estimate(INF, NAN, 500.0, INF), 3, "Inf (MC error NaN; 500 to Inf)"),
    (Estimate(0.0, 0.0, 0.0, 0.0), 4, "0 (MC error 0; 0 to 0)"),
]


@pytest.mark.parametrize("e, digits, text", FORMATS)
def test_an_estimate_reads_in_one_notation(e, digits, text):
    assert e.format(digits) == text


@pytest.mark.parametrize("e, want", [
    (Estimate(100.0, 2.0, 10.0, 1000.0), Estimate(2.0, 2 / (100 * math.log(10)), 1.0, 3.0)),
    (Estimate(0.0, 0.0, 0.0, 1.0), Estimate(-INF, NAN, -INF, 0.0)),
])
def test_the_log10_view_of_an_estimate(e, want):
    got = e.log10()
    for a, b in zip(got, want):
        assert (math.isnan(a) and math.isnan(b)) or a == pytest.approx(b)


@pytest.fixture(scope="module")
def comparison():
    return ineqbf.analyse(MEANS, "theta1 > theta2 & theta3 > 0; theta1 > 0", COV, method="gibbs")


def test_a_comparison_as_text_and_tables(comparison):
    r = comparison
    text = r.format(digits=3)
    assert "by gibbs" in text and f"PMP with Hu {r.posterior_with_unconstrained[2].format(3)}" in text
    assert "log10 BFia " + r[0].bf_ia.log10().format(3) in r.format(3, log10=True)
    f = r.to_frame()
    for i, label in enumerate(["H1", "H2"]):
        assert tuple(f.loc[label, ["pmp", "pmp_mc_error", "pmp_lower", "pmp_upper"]]) == r.posterior[i]
        assert tuple(f.loc[label, ["pmpu", "pmpu_mc_error", "pmpu_lower", "pmpu_upper"]]) == \
            r.posterior_with_unconstrained[i]
    assert f.loc["Hu", "pmpu_upper"] == r.posterior_with_unconstrained[2].upper
    logs = r.to_frame(log10=True)
    assert logs.loc["H1", "log10_bf_ia_lower"] == pytest.approx(math.log10(r[0].bf_ia.lower))
    assert r.to_frame("bayes_factors", log10=True).loc["H1", "H1"] == 0
    with pytest.raises(ValueError, match="digits"):
        r.format(digits=0)


def test_values_that_are_not_finite_come_with_a_note():
    # every posterior draw satisfies the constraint: total fit 1
    r = ineqbf.analyse([5.0, 0.0], "theta1 > 0; theta2 > 0", [[0.01, 0.0], [0.0, 1.0]], method="gibbs")
    assert r[0].bf_ic_infinite and "infinit" in r[0].report
    text = repr(r)
    assert "infinit" not in text and "BFic Inf" in text
    assert "Note: H1 BFic is Inf: the total fit is 1" in text
    assert r.to_frame().attrs["notes"] == r.notes() and len(r.notes()) == 1


def raw_comparison(covariance):
    return _core.analyse_hypotheses([0.3, -0.1], covariance, ["a", "b"], [], [], "a > b", 12345, "gibbs", 1e-3,
                                    [], None, None)


def test_the_librarys_warnings_are_given_as_ineqbf_warnings(monkeypatch):
    w = {"message": "the fit of constraint 1 is off", "quantity": "fit", "constraint": 1, "value": 0.5,
         "integrated": 0.7}
    analyse = _core.analyse_hypotheses

    def warning_library(*args):
        d = analyse(*args)
        d["results"][0]["warnings"] = [w]
        return d

    monkeypatch.setattr(_core, "analyse_hypotheses", warning_library)
    with pytest.warns(ineqbf.IneqbfWarning, match="the fit of constraint 1 is off") as seen:
        r = ineqbf.analyse([0.3, -0.1], "a > b", [[0.04, 0.01], [0.01, 0.09]], ["a", "b"], method="gibbs")
    assert seen[0].filename == __file__  # said where analyse() was called
    assert r.warnings == (ineqbf.ResultWarning(**w),)
    assert r.to_dict()["hypotheses"][0]["warnings"] == [w]
    assert "Warning: the fit of constraint 1 is off" in r.format()


def test_an_asymmetric_covariance_matrix_gives_the_librarys_warning():
    asymmetric = [0.04, 0.01, 0.02, 0.09]
    if not raw_comparison(asymmetric)["results"][0]["warnings"]:
        pytest.skip("this build's library does not check the covariance matrix's symmetry")
    with pytest.warns(ineqbf.IneqbfWarning) as seen:
        ineqbf.analyse([0.3, -0.1], "a > b", np.reshape(asymmetric, (2, 2)), names=["a", "b"], method="gibbs")
    assert "the covariance matrix is not symmetric: element (1, 2) is 0.01 but (2, 1) is 0.02" in \
        [str(w.message) for w in seen]


def test_progress_names_the_hypothesis():
    seen = set()
    ineqbf.analyse(MEANS, "theta1 > 0; theta2 > 0", COV, method="gibbs",
                   progress=lambda p: seen.add((p.hypothesis, p.hypotheses)))
    assert seen == {(0, 2), (1, 2)}


def test_plots_are_drawn_to_files(comparison, tmp_path):
    matplotlib = pytest.importorskip("matplotlib")  # Debian: python3-matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    for name, fig, panels in [("comparison", comparison.plot(), 1), ("H1", comparison.plot(0), 2),
                              ("log10", comparison.plot(1, log10=True), 2)]:
        assert len(fig.axes) == panels
        fig.savefig(tmp_path / f"{name}.png")
        assert (tmp_path / f"{name}.png").read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
        plt.close(fig)
    # a result without replicates (integration's may have few or none)
    d = raw_comparison([0.04, 0.01, 0.01, 0.09])
    d["results"][0].update(method="integration", bf_ia_replicates=[])
    fig = ineqbf.Result._from_comparison(d, 12345, "integration").plot()
    assert fig.axes[1].get_xlabel() == "BFia"
    plt.close(fig)
    fig = ineqbf.analyse_file(ROOT / "examples/two-parameters").plot()
    assert [t.get_text() for t in fig.axes[0].get_xticklabels()] == ["1", "2"]
    plt.close(fig)
