"""The Dask example: the same study on every scheduler."""

from __future__ import annotations

import runpy

import pytest

from conftest import ROOT

pytest.importorskip("dask")


def test_the_dask_simulation_gives_the_same_rows_on_threads_and_in_a_row():
    simulate = runpy.run_path(str(ROOT / "python/examples/dask_simulation.py"))["simulate"]
    rows = simulate(6, "threads", chunk=2, workers=2)
    assert [r["replication"] for r in rows] == list(range(6))
    assert rows == simulate(6, "sync", chunk=4)
    assert all(abs(r["pmp_h1"] + r["pmp_h2"] + r["pmp_hu"] - 1) < 1e-5 for r in rows)
