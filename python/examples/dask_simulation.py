#!/usr/bin/env python3
"""A simulation study with Dask: how often do the data support an order
hypothesis, for a given effect and sample size?

Each replication draws the estimates of three group means from their
sampling distribution (true means 0.2, 0.1, 0 by default; standard error
sd/sqrt(n)), then analyses two hypotheses over them:

    H1: theta1 > theta2 > theta3        H2: theta1 > theta2 & theta1 > theta3

and keeps BFia of each, the Bayes factor of H1 against H2, and the posterior
model probabilities with the unconstrained hypothesis. Replications are
grouped into Dask tasks. ineqbf releases the GIL while it computes, so
Dask's threaded scheduler uses every core of one machine; a distributed
cluster takes the same tasks across machines (ineqbf must be importable on
every worker):

    python3 dask_simulation.py --scheduler threads           # this machine, threads
    python3 dask_simulation.py --scheduler local --workers 2  # a LocalCluster of processes
    python3 dask_simulation.py --scheduler tcp://host:8786    # a running dask scheduler
    python3 dask_simulation.py --scheduler sync               # one after another, for comparison

The results do not depend on the scheduler: every replication draws its
estimates from a NumPy generator seeded by its number, and every analysis
starts from ineqbf's fixed seed.
"""

from __future__ import annotations

import argparse
import time
from typing import Sequence

import dask
import numpy as np

import ineqbf

HYPOTHESES = "theta1 > theta2 > theta3; theta1 > theta2 & theta1 > theta3"


def replicate(i: int, means: Sequence[float], sd: float, n: int, correlation: float) -> dict:
    """One replication: estimates drawn, both hypotheses analysed."""
    k = len(means)
    cov = (sd * sd / n) * (np.full((k, k), correlation) + (1 - correlation) * np.eye(k))
    estimates = np.random.default_rng(i).multivariate_normal(means, cov)
    r = ineqbf.analyse(estimates, HYPOTHESES, cov, method="gibbs")
    return {
        "replication": i,
        "bf_h1": r[0].bf_ia.value,
        "bf_h2": r[1].bf_ia.value,
        "bf_h1_h2": r.bayes_factors[0][1].value,
        "pmp_h1": r.posterior_with_unconstrained[0].value,
        "pmp_h2": r.posterior_with_unconstrained[1].value,
        "pmp_hu": r.posterior_with_unconstrained[2].value,
    }


def batch(first: int, count: int, **kw) -> list[dict]:
    return [replicate(i, **kw) for i in range(first, first + count)]


def simulate(replications: int, scheduler: str = "threads", chunk: int = 10, workers: int = 0,
             means: Sequence[float] = (0.2, 0.1, 0.0), sd: float = 1.0, n: int = 50,
             correlation: float = 0.0) -> list[dict]:
    """Runs the study on the given Dask scheduler ('threads', 'sync',
    'processes', 'local' for a LocalCluster, or a scheduler's address) and
    returns one dict per replication, in order."""
    kw = dict(means=list(means), sd=sd, n=n, correlation=correlation)
    tasks = [dask.delayed(batch)(first, min(chunk, replications - first), **kw)
             for first in range(0, replications, chunk)]
    if scheduler in ("threads", "sync", "processes"):
        options = {"num_workers": workers} if workers and scheduler != "sync" else {}
        batches = dask.compute(*tasks, scheduler=scheduler, **options)
    else:
        from dask.distributed import Client, LocalCluster

        if scheduler == "local":
            cluster = LocalCluster(n_workers=workers or None, threads_per_worker=1, processes=True)
            with cluster, Client(cluster) as client:
                batches = client.compute(tasks, sync=True)
        else:
            with Client(scheduler) as client:
                batches = client.compute(tasks, sync=True)
    return [row for b in batches for row in b]


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--replications", type=int, default=200)
    ap.add_argument("--scheduler", default="threads")
    ap.add_argument("--workers", type=int, default=0, help="threads or worker processes (0: Dask's default)")
    ap.add_argument("--chunk", type=int, default=10, help="replications per task")
    ap.add_argument("--n", type=int, default=50, help="sample size per group")
    ap.add_argument("--effect", type=float, default=0.1, help="difference between adjacent true means")
    a = ap.parse_args()

    means = [a.effect * 2, a.effect, 0.0]
    t = time.perf_counter()
    rows = simulate(a.replications, a.scheduler, a.chunk, a.workers, means=means, n=a.n)
    seconds = time.perf_counter() - t

    bf = np.array([r["bf_h1"] for r in rows])
    bf12 = np.array([r["bf_h1_h2"] for r in rows])
    pmp = np.array([[r["pmp_h1"], r["pmp_h2"], r["pmp_hu"]] for r in rows])
    print(f"{len(rows)} replications, true means {means}, n = {a.n} per group, "
          f"scheduler {a.scheduler}: {seconds:.2f} s")
    print(f"BFia of H1: median {np.median(bf):.3f}; above 3 in {np.mean(bf > 3):.1%}, below 1/3 in {np.mean(bf < 1 / 3):.1%}")
    print(f"H1 against H2: median {np.median(bf12):.3f}; above 1 in {np.mean(bf12 > 1):.1%}")
    print("mean posterior probabilities (H1, H2, Hu): " + ", ".join(f"{m:.3f}" for m in pmp.mean(axis=0)))


if __name__ == "__main__":
    main()
