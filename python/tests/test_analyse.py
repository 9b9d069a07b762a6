"""analyse() on estimates and hypotheses: the program's numbers and bytes,
input forms, comparisons, errors, callbacks, cancellation and threads."""

from __future__ import annotations

import concurrent.futures
import dataclasses
import json
import math
import pickle
import signal
import threading

import numpy as np
import pytest

import ineqbf
from ineqbf import _results
from conftest import ROOT, expected

try:
    import pandas as pd
except ImportError:  # pandas is optional
    pd = None

MEANS = [0.5, 0.2, 0.1]
COV = [[0.04, 0.01, 0.0], [0.01, 0.09, 0.0], [0.0, 0.0, 0.05]]
PROBLEMS = ["examples/two-parameters", "examples/order4", "examples/small-fit", "bench/inputs/light"]


def rows_as_text(problem: ineqbf.Problem) -> str:
    names = ineqbf.default_names(len(problem.means))
    return " & ".join(ineqbf.constraint_text(row[:-1], row[-1], names) for row in problem.constraints)


@pytest.mark.parametrize("name", PROBLEMS)
def test_a_files_rows_as_text_give_the_programs_report(name):
    p = ineqbf.read_problem(ROOT / name)
    r = ineqbf.analyse(p.means, rows_as_text(p), p.covariance, method="gibbs")
    assert r.report == expected(ROOT / name)[2]
    assert [c.text for c in r[0].constraints] == rows_as_text(p).split(" & ")


def test_every_form_of_the_inputs_gives_the_same_analysis():
    names = ["a", "b", "c"]
    want = ineqbf.analyse(MEANS, "a > b > c", COV, names=names, method="gibbs").report
    forms = [(np.array(MEANS), np.array(COV), names), (tuple(MEANS), COV, names)]
    if pd is not None:
        s = pd.Series(MEANS, index=names)
        frame = pd.DataFrame(COV, index=names, columns=names)
        forms += [(s, COV, None), (s, frame.loc[["c", "a", "b"], ["b", "c", "a"]], None),
                  (MEANS, frame, None)]
    for means, cov, n in forms:
        assert ineqbf.analyse(means, "a > b > c", cov, names=n, method="gibbs").report == want


def test_several_hypotheses_are_each_the_run_of_one_and_compared():
    text = "theta1 > theta2 > theta3; theta1 > theta3; theta3 > 0"
    r = ineqbf.analyse(MEANS, text, COV, seed=7, method="gibbs")
    assert len(r) == 3 and isinstance(r.report, list) and r.seed == 7
    for h, report in zip(r, r.report):
        assert ineqbf.analyse(MEANS, h.text, COV, seed=7, method="gibbs").report == report
    bf = r.bayes_factors
    assert all(bf[i][i].value == 1 for i in range(3))
    assert bf[0][1].value == pytest.approx(r[0].bf_ia.value / r[1].bf_ia.value, rel=1e-6)
    assert sum(e.value for e in r.posterior) == pytest.approx(1, abs=1e-5)
    assert sum(e.value for e in r.posterior_with_unconstrained) == pytest.approx(1, abs=1e-5)
    for e in [*r.posterior, r[0].bf_ia, r[0].bf_ic]:
        assert e.lower <= e.upper and e.mc_error >= 0


def test_the_result_as_values():
    r = ineqbf.analyse(MEANS, "theta1 > theta2; theta3 > 0 & theta1 > theta3", COV, method="gibbs")
    d = r.to_dict()
    assert json.loads(json.dumps(d)) == d
    assert d["hypotheses"][0]["bf_ia"]["value"] == r[0].bf_ia.value
    assert len(r.to_dict(replicates=True)["hypotheses"][1]["constraints"][0]["fit_replicates"]) == 1000
    copy = pickle.loads(pickle.dumps(r))
    assert copy.reports == r.reports and copy.to_dict(True) == r.to_dict(True)
    assert "H2: theta3 > 0 & theta1 > theta3" in repr(r) and "BFia" in repr(r)
    assert not r[0].bf_ia_replicates.flags.writeable
    if pd is not None:
        assert list(r.to_frame().index) == ["H1", "H2", "Hu"]
        assert r.to_frame("constraints").shape[0] == 3
        assert r.to_frame("bayes_factors").loc["H1", "H1"] == 1


def test_the_engines_fields_are_the_classes_and_statuses_its_own():
    r = ineqbf.analyse_file(ROOT / "examples/two-parameters")
    assert r[0].seed == 12345 and r[0].method == "gibbs"
    row = {f.name: getattr(r[0].constraints[0], f.name) for f in dataclasses.fields(ineqbf.ConstraintResult)}
    assert row["fit_hits"] == round(row["fit"] * row["fit_iterations"]) and len(row["fit_replicates"]) == 1000
    # A field of the engine that a class does not have is refused, not dropped.
    with pytest.raises(TypeError, match="no field for the engine's new_field"):
        _results._typed(ineqbf.ConstraintResult, {"new_field": 1.0})
    assert [(s.name, int(s)) for s in ineqbf.Status] == [
        ("OK", 0), ("IO_ERROR", 1), ("NUMERICAL_STOP", 2), ("SUBSCRIPT", 3), ("USAGE", 4), ("CANCELLED", 5)]


def test_a_files_result_has_no_comparison():
    r = ineqbf.analyse_file(ROOT / "examples/two-parameters")
    assert isinstance(r.report, str) and r.bayes_factors is None and r.posterior is None
    assert r[0].text == "theta1 - theta2 > 0 & theta2 > 0"
    assert (r[0].constraints[1].fit_iterations, r[0].constraints[1].complexity_iterations) == (1000, 3000)


ERRORS = [  # estimates, covariance, hypothesis, keywords, status, words of the message
    (MEANS, COV, "theta1 >", {}, 4, "expected"),
    (MEANS, COV, "theta1 > theta9", {}, 4, "theta9"),
    (MEANS, COV, "a > b", {"names": ["a", "a", "c"]}, 4, "twice"),
    (MEANS, COV, "theta1 > 0", {"names": ["a", "b"]}, 4, "names"),
    ([0.5, math.nan, 0.1], COV, "theta1 > 0", {}, 4, "estimate 2"),
    (MEANS, COV[:2], "theta1 > 0", {}, 4, "covariance"),
    (MEANS, [1, 2, 3], "theta1 > 0", {}, 4, "matrix"),
    (MEANS, COV, "theta1 > 0", {"seed": 0}, 4, "seed"),
    (MEANS, COV, "theta1 > 0", {"seed": 2**40}, 4, "seed"),
    ([0.0, 0.0], [[1, 1], [1, 1]], "theta1 > 0", {}, 2, "singular"),
    ([0.0, 0.0], [[-1, 0], [0, 1]], "theta1 > 0", {}, 2, "not positive definite"),
]


@pytest.mark.parametrize("means, cov, text, kw, status, words", ERRORS)
def test_errors_carry_the_status_and_message(means, cov, text, kw, status, words):
    with pytest.raises(ineqbf.IneqbfError) as e:
        ineqbf.analyse(means, text, cov, **{"method": "gibbs", **kw})
    assert e.value.status == status and words in e.value.message
    assert isinstance(e.value, ValueError) == (status == 4)


def test_a_missing_file_is_the_programs_error():
    with pytest.raises(ineqbf.IneqbfError) as e:
        ineqbf.analyse_file(ROOT / "no such folder" / "Input.txt")
    assert e.value.status == 1 and e.value.message.startswith("vexlib: severe (29): file not found")


def test_parse_hypotheses_gives_the_rows():
    hs = ineqbf.parse_hypotheses("`(Intercept)` > 2*x > 0.5; x < 1", ["(Intercept)", "x"])
    assert hs == [("`(Intercept)` > 2*x > 0.5", (((1.0, -2.0), 0.0), ((0.0, 2.0), 0.5))),
                  ("x < 1", (((0.0, -1.0), -1.0),))]


LONG = "examples/small-fit"  # its fit climbs the iteration ladder


def test_progress_is_reported_and_cancel_stops_with_status_5():
    seen = []
    ineqbf.analyse_file(ROOT / LONG, progress=seen.append)
    assert seen[-1].sampler == "complexity" and seen[-1].sweeps_done == seen[-1].sweeps_total
    assert any(p.iterations > 1000 for p in seen)
    with pytest.raises(ineqbf.IneqbfError) as e:
        ineqbf.analyse_file(ROOT / LONG, cancel=lambda: True)
    assert (e.value.status, e.value.message) == (5, "ineqbf: the analysis was cancelled")


def test_an_exception_in_a_callback_ends_the_analysis():
    def fail(p):
        raise ZeroDivisionError("from the callback")
    with pytest.raises(ZeroDivisionError, match="from the callback"):
        ineqbf.analyse_file(ROOT / LONG, progress=fail)


def test_ctrl_c_stops_a_long_analysis():
    sent = threading.Event()
    after = []

    def interrupt():
        signal.pthread_kill(threading.main_thread().ident, signal.SIGINT)
        sent.set()

    def progress(p):
        if sent.is_set():
            after.append(p)
        elif not after:
            after.append(None)  # once: a thread that presses Ctrl-C while the engine runs
            threading.Thread(target=interrupt).start()

    with pytest.raises(KeyboardInterrupt):
        ineqbf.analyse_file(ROOT / "bench/inputs/deep", progress=progress)
    assert len(after) <= 3  # the run stops at the next poll, not after some 15 s


def test_analyses_in_threads_equal_the_sequential_ones():
    cases = [ROOT / "bench/inputs/order10", ROOT / LONG, ROOT / "examples/order4"] * 2

    def outcome(case):
        r = ineqbf.analyse_file(case, seed=99)
        return r.report, r[0].bf_ia_replicates.tobytes(), r[0].bf_ic_replicates.tobytes()

    with concurrent.futures.ThreadPoolExecutor(3) as pool:
        assert list(pool.map(outcome, cases)) == [outcome(c) for c in cases]
