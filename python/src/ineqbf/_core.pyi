# The extension module (src/_core/module.cpp): results as plain dicts that
# the package's Python layer turns into its classes.
from typing import Any, Callable, Optional

DEFAULT_SEED: int

class Progress:
    hypothesis: int
    hypotheses: int
    constraint: int
    sampler: str
    iterations: int
    sweeps_done: int
    sweeps_total: int

def version() -> str: ...
def default_names(n: int) -> list[str]: ...
def analyse_hypotheses(means: list[float], covariance: list[float], names: list[str], aliases: list[str],
                       alias_of: list[int], hypotheses: str, seed: int, method: str, precision: float,
                       prior: list[float], progress: Optional[Callable[[Progress], Any]],
                       cancel: Optional[Callable[[], bool]]) -> dict[str, Any]: ...
def analyse_file(path: bytes, seed: int, method: str, precision: float,
                 progress: Optional[Callable[[Progress], Any]],
                 cancel: Optional[Callable[[], bool]]) -> dict[str, Any]: ...
def read_problem(path: bytes) -> dict[str, Any]: ...
def parse_hypotheses(text: str, names: list[str]) -> list[tuple[str, list[tuple[list[float], float]]]]: ...
def constraint_text(coefficients: list[float], rhs: float, names: list[str]) -> str: ...
def run_command_line(args: list[bytes]) -> int: ...
