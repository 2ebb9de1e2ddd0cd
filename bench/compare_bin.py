#!/usr/bin/python3
"""Binary formats: VmKalLib beside numpy and scipy.

Runs iqfiles_bin_bench (Google Benchmark, JSON output), then times the same
work done with numpy and scipy on the same files (16,776,704 samples, page
cache warm) and prints both figures with their ratio and the goal.

    /usr/bin/python3 bench/compare_bin.py BUILD/bin/iqfiles_bin_bench

Our writers flush the file to the disk before they replace the destination
(a failed save must never destroy the old file), which numpy's tofile does
not do; the "+fsync" column times numpy with the same flush for reference.
"""
import os
import sys
import tempfile

import numpy as np
import scipy.io.wavfile as wavfile

from compare_common import N, bench_results, best, signals


def fsynced(path, fn):
    def run():
        fn()
        fd = os.open(path, os.O_RDONLY)
        os.fsync(fd)
        os.close(fd)
    return run


def kal_load(p):
    a = np.fromfile(p, dtype="<f4")
    return np.ascontiguousarray(a[0::2]), np.ascontiguousarray(a[1::2])


def kal_save(p, i, q):
    a = np.empty(2 * N, dtype="<f4")
    a[0::2] = i
    a[1::2] = q
    a.tofile(p)


def ibn_header(n, rate):
    h = np.zeros(40, dtype=np.uint8)
    h[0:4] = np.frombuffer(np.int32(40).tobytes(), np.uint8)
    h[4:8] = np.frombuffer(np.int32(n).tobytes(), np.uint8)
    h[8:12] = np.frombuffer(b"VMK\0", np.uint8)
    h[12:20] = np.frombuffer(np.float64(rate).tobytes(), np.uint8)
    h[20:24] = np.frombuffer(np.int32(1).tobytes(), np.uint8)
    h[24:28] = h[4:8]
    h[28:36] = h[12:20]
    return h


def ibn_load(p):
    n = int(np.fromfile(p, dtype="<i4", count=2)[1])
    a = np.fromfile(p, dtype="<f4", offset=40)
    return a[:n], a[n:2 * n]


def ibn_save(p, i, q):
    with open(p, "wb") as f:
        ibn_header(N, 1e6).tofile(f)
        i.tofile(f)
        q.tofile(f)


def wav_load(p):
    _, d = wavfile.read(p)
    return d[:, 0].astype(np.float32), d[:, 1].astype(np.float32)


def wav_save(p, i, q):
    scale = max(65535.9 / np.ptp(i), 65535.9 / np.ptp(q))
    d = np.empty((N, 2), dtype=np.int16)
    d[:, 0] = np.clip(np.trunc(i * scale), -32768, 32767)
    d[:, 1] = np.clip(np.trunc(q * scale), -32768, 32767)
    wavfile.write(p, 1000000, d)


def ours(bench, dirname):
    res = {}
    for b in bench_results(bench, dirname):
        if b.get("run_type") != "iteration":
            continue
        name = b["name"].split("/")[0].replace("BM_", "")
        t, peak = b["real_time"] / 1e3, b.get("peak_over_arrays")
        if name not in res or t < res[name][0]:
            res[name] = (t, peak)
    return res


def main():
    bench = sys.argv[1] if len(sys.argv) > 1 else "build/bin/iqfiles_bin_bench"
    with tempfile.TemporaryDirectory(dir=os.environ.get("KALMIRA_BENCH_DIR", "/tmp")) as d:
        r = ours(bench, d)
        i, q = signals()
        kal, ibn, wav = (os.path.join(d, "np." + e) for e in ("kal", "ibn", "wav"))
        kal_save(kal, i, q)
        ibn_save(ibn, i, q)
        wav_save(wav, i, q)
        theirs = {
            "KalLoad": ("numpy.fromfile + de-interleave", best(lambda: kal_load(kal)), None, 1.2),
            "KalSave": ("numpy interleave + tofile", best(lambda: kal_save(kal, i, q)),
                        best(fsynced(kal, lambda: kal_save(kal, i, q))), 1.2),
            "IbnLoad": ("numpy.fromfile", best(lambda: ibn_load(ibn)), None, 1.2),
            "IbnSave": ("numpy.tofile", best(lambda: ibn_save(ibn, i, q)),
                        best(fsynced(ibn, lambda: ibn_save(ibn, i, q))), 1.2),
            "WavLoad": ("scipy wavfile.read + to float", best(lambda: wav_load(wav)), None, 1.5),
            "WavSave": ("scale + scipy wavfile.write", best(lambda: wav_save(wav, i, q)),
                        best(fsynced(wav, lambda: wav_save(wav, i, q))), 1.0),
        }
    print(f"{N} samples, best of 7 runs each\n")
    print(f"{'operation':10} {'ours s':>8} {'other s':>8} {'ratio':>6} {'goal':>6} "
          f"{'+fsync s':>9} {'ratio':>6}  other tool; load peak beyond arrays (x file size)")
    for name, (label, t, tsync, goal) in theirs.items():
        ot, peak = r[name]
        sync = f"{tsync:9.3f} {ot / tsync:6.2f}" if tsync else f"{'':9} {'':6}"
        peak_s = f"; {peak:.3f}" if peak is not None else ""
        print(f"{name:10} {ot:8.3f} {t:8.3f} {ot / t:6.2f} {'<=' + str(goal):>6} {sync}  {label}{peak_s}")
    for name in ("SpwBinLoad", "SpwBinSave"):
        if name in r:
            print(f"{name:10} {r[name][0]:8.3f}")


if __name__ == "__main__":
    main()
