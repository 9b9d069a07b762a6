#!/usr/bin/env python3
"""Eight analyses one after another, then in a thread pool: the wall times,
their ratio and whether every result is the same.

    PYTHONPATH=build-python/python python3 python/bench_threads.py [--threads 2] [--rounds 3] [--check]

The analyses are the problem of bench/inputs/order10 (about 0.3 s each)
with the seeds 12345 to 12352. The engine releases the GIL, so with two
free cores the pool takes about half the time of the sequence; --check
exits with status 1 when it takes more than 0.6 of it (or a result differs).
Each time reported is the shortest of the rounds, the one least disturbed
by other processes; "cores used" is the process's CPU time over the wall
time of the pool, which shows when other processes held the cores.
"""

from __future__ import annotations

import argparse
import concurrent.futures
import os
import pathlib
import sys
import time

import ineqbf

ROOT = pathlib.Path(__file__).resolve().parents[1]


def outcome(problem: ineqbf.Problem, text: str, seed: int) -> tuple:
    r = ineqbf.analyse(problem.means, text, problem.covariance, seed=seed, method="gibbs")
    return r.report, r[0].bf_ia_replicates.tobytes(), r[0].bf_ic_replicates.tobytes()


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--threads", type=int, default=2)
    ap.add_argument("--rounds", type=int, default=3, help="repetitions; the shortest times are reported")
    ap.add_argument("--analyses", type=int, default=8)
    ap.add_argument("--problem", default=str(ROOT / "bench/inputs/order10"))
    ap.add_argument("--check", action="store_true", help="exit 1 above a ratio of 0.6")
    a = ap.parse_args()

    problem = ineqbf.read_problem(a.problem)
    names = ineqbf.default_names(len(problem.means))
    text = " & ".join(ineqbf.constraint_text(row[:-1], row[-1], names) for row in problem.constraints)
    seeds = [ineqbf.DEFAULT_SEED + i for i in range(a.analyses)]

    load = os.getloadavg()[0]
    sequential, pooled, used, same = [], [], [], True
    for _ in range(a.rounds):
        t = time.perf_counter()
        one_by_one = [outcome(problem, text, s) for s in seeds]
        sequential.append(time.perf_counter() - t)
        with concurrent.futures.ThreadPoolExecutor(a.threads) as pool:
            t, cpu = time.perf_counter(), time.process_time()
            together = list(pool.map(lambda s: outcome(problem, text, s), seeds))
            pooled.append(time.perf_counter() - t)
            used.append((time.process_time() - cpu) / pooled[-1])
        same = same and together == one_by_one

    s, p = min(sequential), min(pooled)
    ratio = p / s
    print(f"problem {pathlib.Path(a.problem).name}, {a.analyses} analyses, {os.cpu_count()} cores, "
          f"best of {a.rounds} rounds, load average {load:.2f} before")
    print(f"one after another   {s:7.3f} s  ({s / a.analyses:.3f} s each)")
    print(f"pool of {a.threads} threads   {p:7.3f} s  (cores used {used[pooled.index(p)]:.2f})")
    print(f"ratio               {ratio:7.3f}  (target at most 0.6)")
    print(f"identical results   {'yes' if same else 'NO'}")
    return 1 if not same or (a.check and ratio > 0.6) else 0


if __name__ == "__main__":
    sys.exit(main())
