#!/usr/bin/python3
"""Plain-number text files: VmKalLib beside numpy and pandas.

Runs iqfiles_text_bench (Google Benchmark, JSON output), which saves and loads
16,776,704 samples as one number per line (an I and a Q file) and as one
"I Q" pair per line, and times a plain fprintf("%0.7e\\n") writer too.  Then
times numpy.loadtxt / numpy.savetxt and pandas.read_csv on the same files
(page cache warm) and prints both figures with their ratio and the goal.

    /usr/bin/python3 bench/compare_text.py BUILD/bin/iqfiles_text_bench

Our writers flush the file to the disk before they replace the destination
(a failed save must never destroy the old file); numpy and fprintf do not.
"""
import os
import sys
import tempfile

import numpy as np

try:
    import pandas as pd
except ImportError:  # python3-pandas is optional; numpy.loadtxt stands in
    pd = None

from compare_common import N, bench_results, best, signals


def ours(bench, dirname):
    res = {}
    for b in bench_results(bench, dirname):
        if b.get("error_occurred"):
            sys.exit("%s: %s" % (b["name"], b.get("error_message")))
        name = b["name"].split("/")[0].replace("BM_", "")
        res[name] = b["real_time"] / 1e3  # milliseconds -> seconds
    return res


def main():
    bench = sys.argv[1] if len(sys.argv) > 1 else "build/bin/iqfiles_text_bench"
    with tempfile.TemporaryDirectory(dir=os.environ.get("KALMIRA_BENCH_DIR", "/tmp")) as d:
        r = ours(bench, d)
        fi, fq, fm = (os.path.join(d, "bench_text." + e) for e in ("i", "q", "asc"))
        i, q = signals()

        # Loads first, while the files of our writers are in the page cache.
        loadtxt_sgl = best(lambda: (np.loadtxt(fi, dtype=np.float32), np.loadtxt(fq, dtype=np.float32)), 2)
        loadtxt_mix = best(lambda: np.loadtxt(fm, dtype=np.float32), 2)
        mix_readers = {"numpy.loadtxt": loadtxt_mix}
        if pd is not None:
            mix_readers["pandas.read_csv"] = best(
                lambda: pd.read_csv(fm, sep=" ", header=None, dtype=np.float32, engine="c").to_numpy(), 2)
        mix_name, mix_load = min(mix_readers.items(), key=lambda kv: kv[1])

        ni, nq, nm = (os.path.join(d, "np." + e) for e in ("i", "q", "asc"))
        savetxt_sgl = best(lambda: (np.savetxt(ni, i, fmt="%0.7e"), np.savetxt(nq, q, fmt="%0.7e")), 1)
        savetxt_mix = best(lambda: np.savetxt(nm, np.column_stack((i, q)), fmt="%0.7e", delimiter=" "), 1)

        # The texts must agree: same values, same formatting.
        with open(fi, "rb") as a, open(ni, "rb") as b:
            same = a.read(1 << 20) == b.read(1 << 20)

    rows = [
        ("one number per line: load", r["SglLoad"], "numpy.loadtxt", loadtxt_sgl, 4),
        ("one number per line: save", r["SglSave"], "numpy.savetxt", savetxt_sgl, 10),
        ("one number per line: save", r["SglSave"], "fprintf", r["SglFprintf"], 2),
        ("one I/Q pair per line: load", r["MixLoad"], mix_name, mix_load, 4),
        ("one I/Q pair per line: save", r["MixSave"], "numpy.savetxt", savetxt_mix, 10),
        ("one I/Q pair per line: save", r["MixSave"], "fprintf", r["MixFprintf"], 2),
    ]
    print("%d samples, I and Q%s" % (N, "" if same else "  (WARNING: texts differ from numpy's)"))
    print("%-29s %9s  %-16s %9s %7s %6s" % ("", "ours [s]", "other tool", "[s]", "ratio", "goal"))
    for what, mine, tool, theirs, goal in rows:
        ratio = theirs / mine
        print("%-29s %9.3f  %-16s %9.3f %6.1fx %5s%s" % (what, mine, tool, theirs, ratio, ">=%d" % goal,
                                                        "" if ratio >= goal else "  MISSED"))


if __name__ == "__main__":
    main()
