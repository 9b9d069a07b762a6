"""Parameter names as a hypothesis refers to them: the mapping the R package
uses, so that the same model has the same names in both."""

from __future__ import annotations

import re
from typing import Any, NamedTuple, Optional, Sequence

# Every ASCII character but letters, digits, "_" and "."; other characters
# are letters to the hypothesis syntax.
_NOT_IN_NAME = re.compile(r"[\x00-\x2d\x2f\x3a-\x40\x5b-\x5e\x60\x7b-\x7f]")
_LEADING_DIGIT = re.compile(r"^\.?[0-9]")


class NameMap(NamedTuple):
    """The names of the parameters in a hypothesis, and the original
    spellings (``aliases``) that may still be written between backquotes,
    ``aliases[i]`` standing for parameter ``alias_of[i]`` (0-based)."""

    names: list[str]
    aliases: list[str]
    alias_of: list[int]


def _original(label: Any) -> str:
    if label is None or (isinstance(label, float) and label != label):
        return ""
    return str(label)


def map_names(original: Optional[Sequence[Any]], n: int) -> NameMap:
    """Maps the labels of n parameters (None: no labels) to names a
    hypothesis can use bare."""
    given = [""] * n if original is None else [_original(x) for x in original]
    mapped = []
    for i, name in enumerate(given):
        if not name:
            mapped.append(f"theta{i + 1}")
            continue
        if name == "(Intercept)":
            name = "Intercept"
        name = _NOT_IN_NAME.sub("_", name)
        mapped.append("X" + name if _LEADING_DIGIT.match(name) else name)
    changed = [bool(o) and m != o for o, m in zip(given, mapped)]
    taken = {m for m, c in zip(mapped, changed) if not c}
    for i in (i for i, c in enumerate(changed) if c):
        candidate, k = mapped[i], 1
        while candidate in taken:
            k += 1
            candidate = f"{mapped[i]}_{k}"
        mapped[i] = candidate
        taken.add(candidate)
    alias_of = [i for i, c in enumerate(changed) if c and "`" not in given[i]]
    return NameMap(mapped, [given[i] for i in alias_of], alias_of)
