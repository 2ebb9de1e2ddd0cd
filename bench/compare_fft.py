#!/usr/bin/python3
"""Complex double FFT times: FFTW (estimated plan), Kalmira's numeric layer,
numpy.fft and scipy.fft, on the lengths of the spectrum display.

Runs fft_bench (Google Benchmark) for FFTW and ours, times numpy and scipy
here, and prints one table with every figure and its ratio to FFTW.  All
figures are processor time of the transform (every one of them runs on one
thread) and the best of several runs, so that other programs on a shared
machine do not distort the comparison.  Run with /usr/bin/python3 (Debian's numpy and scipy):

    /usr/bin/python3 bench/compare_fft.py [path/to/fft_bench] [--repetitions N]
                                          [--engine-level 0|1|2]
"""
import argparse
import json
import os
import subprocess
import sys
import time

import numpy as np
import scipy.fft

LENGTHS = [16776704, 1 << 24, 1000000, 1000003, 1009]
# The targets of the numeric layer, as multiples of FFTW's time.
LIMITS = {16776704: 3.0, 1 << 24: 3.0, 1000000: 3.0, 1000003: 4.0, 1009: 4.0}


def find_bench(given):
    if given:
        return given
    here = os.path.dirname(os.path.abspath(__file__))
    root = os.path.dirname(here)
    for entry in sorted(os.listdir(root)):
        path = os.path.join(root, entry, "bin", "fft_bench")
        if entry.startswith("build") and os.access(path, os.X_OK):
            return path
    sys.exit("fft_bench not found; build the target fft_bench or give its path")


def run_bench(path, repetitions, level):
    cmd = [path, "--benchmark_format=json", f"--benchmark_repetitions={repetitions}"]
    if level is not None:
        cmd.append(f"--engine-level={level}")
    out = subprocess.run(cmd, check=True, capture_output=True, text=True).stdout
    best = {"level": None}
    for b in json.loads(out)["benchmarks"]:
        if "level" in b and b.get("run_type") == "iteration":
            best["level"] = int(b["level"])
        if b.get("run_type") != "iteration" or b.get("error_occurred"):
            continue
        name, n = b["run_name"].split("/")[:2]
        seconds = b["real_time"] * {"ms": 1e-3, "us": 1e-6, "ns": 1e-9, "s": 1.0}[b["time_unit"]]
        key = (name, int(n))
        best[key] = min(best.get(key, float("inf")), seconds)
    return best


def best_time(fn, x, repetitions):
    fn(x[:64])  # warm up the library's own plan caches
    times = []
    budget = time.perf_counter() + 20.0
    for _ in range(repetitions):
        t0 = time.thread_time()
        fn(x)
        times.append(time.thread_time() - t0)
        if time.perf_counter() > budget:
            break
    return min(times)


def fmt(seconds):
    if seconds is None:
        return "-"
    return f"{seconds * 1e3:.3f} ms" if seconds < 1.0 else f"{seconds:.3f} s"


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("bench", nargs="?")
    ap.add_argument("--repetitions", type=int, default=5)
    ap.add_argument("--engine-level", type=int, choices=(0, 1, 2))
    args = ap.parse_args()

    best = run_bench(find_bench(args.bench), args.repetitions, args.engine_level)
    names = {0: "SSE2", 1: "AVX2+FMA", 2: "AVX-512"}
    print(f"processor time, best of {args.repetitions}; our engine: {names.get(best['level'], '?')}")
    rng = np.random.default_rng(1)
    rows = []
    for n in LENGTHS:
        x = rng.uniform(-1, 1, n) + 1j * rng.uniform(-1, 1, n)
        reps = args.repetitions if n < 4000000 else max(2, args.repetitions // 2)
        rows.append((n, best.get(("fftw", n)), best.get(("ours", n)),
                     best_time(np.fft.fft, x, reps), best_time(scipy.fft.fft, x, reps)))

    head = f"{'length':>10}  {'FFTW':>11}  {'ours':>11} {'x FFTW':>7}  {'numpy.fft':>11} {'x FFTW':>7}  {'scipy.fft':>11} {'x FFTW':>7}  target"
    print(head)
    print("-" * len(head))
    failed = False
    for n, fftw, ours, npy, scp in rows:
        ratio = lambda t: f"{t / fftw:7.2f}" if fftw and t else "      -"
        verdict = ""
        if fftw and ours:
            ok = ours / fftw <= LIMITS[n] and (n not in (16776704, 1 << 24, 1000000) or (ours < npy and ours < scp))
            verdict = f"<= {LIMITS[n]:.0f}x {'ok' if ok else 'MISSED'}"
            failed |= not ok
        print(f"{n:>10}  {fmt(fftw):>11}  {fmt(ours):>11} {ratio(ours)}  {fmt(npy):>11} {ratio(npy)}  {fmt(scp):>11} {ratio(scp)}  {verdict}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
