"""What the compare_*.py scripts share: the sample count of the largest
trace, the signal the file-format benches write, and best-of timing."""
import json
import os
import subprocess
import time

import numpy as np

N = 16776704


def best(fn, repeat=7):
    """The shortest of repeat runs of fn, in seconds."""
    times = []
    for _ in range(repeat):
        t0 = time.perf_counter()
        fn()
        times.append(time.perf_counter() - t0)
    return min(times)


def signals():
    """A slow cosine in I and a half-size sine in Q, as float32 like the
    benches' own arrays."""
    k = np.arange(N, dtype=np.float64)
    return np.cos(0.001 * k).astype(np.float32), (np.sin(0.001 * k) * 0.5).astype(np.float32)


def bench_results(bench, dirname):
    """The benchmarks of one run of bench (Google Benchmark, JSON output) with
    its files in dirname."""
    env = dict(os.environ, KALMIRA_BENCH_DIR=dirname)
    out = subprocess.run([bench, "--benchmark_format=json"], env=env, check=True,
                         capture_output=True, text=True).stdout
    return json.loads(out)["benchmarks"]
