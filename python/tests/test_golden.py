"""Every golden case through analyse_file() and through python3 -m ineqbf:
the program's bytes, or its status and message."""

from __future__ import annotations

import os
import pathlib
import shutil
import subprocess
import sys

import pytest

import ineqbf
from conftest import ROOT, expected, golden_cases

CASES = golden_cases()


def test_every_golden_case_is_found():
    assert len(CASES) > 40


@pytest.mark.parametrize("case", CASES, ids=lambda d: str(d.relative_to(ROOT)))
def test_analyse_file_gives_the_programs_bytes(case: pathlib.Path):
    status, console, report = expected(case)
    try:
        r = ineqbf.analyse_file(case)
    except ineqbf.IneqbfError as e:
        assert (e.status, e.console) == (status, console)
        assert console.replace("\r\n", "\n").rstrip("\n").endswith(e.message)
        assert isinstance(e, ValueError) == (e.status == 4)
    else:
        assert (0, r.hypotheses[0].console, r.report) == (status, console, report)


@pytest.mark.parametrize("name", ["examples/small-fit", "tests/e2e/cases/not-positive-definite",
                                  "tests/e2e/cases/no-input"])
def test_the_command_line_runs_as_the_program(name: str, tmp_path: pathlib.Path):
    case = ROOT / name
    status, console, report = expected(case)
    if (case / "Input.txt").exists():
        shutil.copy(case / "Input.txt", tmp_path)
    package = pathlib.Path(ineqbf.__file__).parents[1]
    env = {**os.environ, "PYTHONPATH": os.pathsep.join([str(package), os.environ.get("PYTHONPATH", "")])}
    run = subprocess.run([sys.executable, "-m", "ineqbf"], cwd=tmp_path, env=env, capture_output=True)
    assert run.returncode == status
    assert run.stdout.decode() == console
    assert (tmp_path / "Output.txt").read_bytes().decode() == report
