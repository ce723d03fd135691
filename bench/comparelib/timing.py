"""Interleaved timing: every tool runs once per round, so drifts in machine load hit all alike."""

import gc
import statistics
import time
from dataclasses import dataclass

import numpy as np

from .tools import Tool


@dataclass
class Speed:
    compress: float  # Msamples/s, median over the rounds
    decompress: float


# Median compress and decompress throughput of each tool over `rounds` interleaved rounds; the
# starting tool rotates from round to round so no tool always runs first after another.
def measure(tools: list[Tool], x: np.ndarray, rounds: int) -> list[Speed]:
    times = [([], []) for _ in tools]
    for r in range(rounds):
        for i in [(r + k) % len(tools) for k in range(len(tools))]:
            gc.collect()
            t0 = time.perf_counter()
            payload = tools[i].compress(x)
            t1 = time.perf_counter()
            tools[i].decompress(payload)
            t2 = time.perf_counter()
            times[i][0].append(t1 - t0)
            times[i][1].append(t2 - t1)
            del payload
    msamples = x.size / 1e6
    return [Speed(msamples / statistics.median(c), msamples / statistics.median(d)) for c, d in times]


# Least CPU time (process time, seconds) of each job over `rounds` interleaved rounds, the first
# job of a round rotating as in `measure`.
def cpu_seconds(jobs: dict, rounds: int) -> dict:
    names = list(jobs)
    best = {name: float("inf") for name in names}
    for r in range(rounds):
        for name in [names[(r + k) % len(names)] for k in range(len(names))]:
            gc.collect()
            t0 = time.process_time()
            jobs[name]()
            best[name] = min(best[name], time.process_time() - t0)
    return best
