"""Shared by the tests: the source tree and its golden cases."""

from __future__ import annotations

import pathlib

ROOT = pathlib.Path(__file__).resolve().parents[2]


def golden_cases() -> list[pathlib.Path]:
    """Every folder under examples/, tests/e2e/cases/ and bench/inputs/ that
    has a console.txt, but bench/inputs/deep (some 15 s on its own)."""
    cases = []
    for base in ("examples", "tests/e2e/cases", "bench/inputs"):
        cases += [d for d in sorted((ROOT / base).iterdir()) if (d / "console.txt").is_file()]
    return [d for d in cases if d.name != "deep"]


def expected(case: pathlib.Path) -> tuple[int, str, str]:
    """The case's status, console and report, as text with CR LF kept."""
    def read(name: str) -> str:
        f = case / name
        return f.read_bytes().decode("utf-8", "surrogateescape") if f.exists() else ""
    status = int(read("status")) if (case / "status").exists() else 0
    return status, read("console.txt"), read("Output.txt")
