"""python3 -m ineqbf [ARGS]: the ineqbf command line, exactly as the program."""

from __future__ import annotations

import os
import signal
import sys
from typing import Optional, Sequence

from . import _core


def main(args: Optional[Sequence[str]] = None) -> int:
    """Runs the command line on the process's standard streams and returns
    its exit status. Python's own streams are flushed first, so that what
    was printed before comes first."""
    if args is None:
        args = sys.argv[1:]
    sys.stdout.flush()
    sys.stderr.flush()
    return _core.run_command_line([os.fsencode(a) for a in args])


if __name__ == "__main__":
    # Ctrl-C ends the run as it ends the program.
    signal.signal(signal.SIGINT, signal.SIG_DFL)
    sys.exit(main())
