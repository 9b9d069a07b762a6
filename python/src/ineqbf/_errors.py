"""The errors of ineqbf: the program's exit status and message as an exception."""

from __future__ import annotations


class IneqbfError(Exception):
    """An error that ended an analysis.

    ``status`` is the exit status the program ends with on the same input
    (one of :class:`ineqbf.Status`),
    ``message`` the text it prints for the error (lines joined by ``"\\n"``,
    without the console's CR LF) and ``console`` everything the program
    prints up to and including it, CR LF line ends included.
    """

    def __init__(self, status: int, message: str, console: str = "") -> None:
        super().__init__(status, message, console)
        self.status = int(status)
        self.message = message
        self.console = console

    def __str__(self) -> str:
        return self.message

    def __repr__(self) -> str:
        return f"{type(self).__name__}(status={self.status}, message={self.message!r})"


class IneqbfUsageError(IneqbfError, ValueError):
    """A malformed problem or hypothesis (status 4); also a ValueError."""


class IneqbfWarning(UserWarning):
    """Something to know about a result that did not stop the analysis: a
    Gibbs estimate off its integrated value, an ill-conditioned or
    asymmetric covariance matrix, a precision not reached, …; given by
    ``warnings.warn`` and kept in the result's ``warnings``."""
