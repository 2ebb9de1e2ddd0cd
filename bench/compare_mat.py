#!/usr/bin/python3
"""MAT v5 on 16,776,704 samples: VmKalLib (bench/mat_bench) beside
scipy.io.loadmat / savemat and Octave's save -v6 / load, with the ratios.

    /usr/bin/python3 bench/compare_mat.py BUILD/bin/mat_bench

Files go to $KALMIRA_BENCH_DIR (default /tmp).  Each figure is the best of
several runs with the page cache warm.  Octave is optional: without it its
rows say so.  Targets: load no slower than scipy.io.loadmat, save within
1.5 x Octave's save -v6.
"""
import json
import os
import shutil
import subprocess
import sys
import time

import numpy as np
import scipy.io as sio

from compare_common import N, best, signals

RUNS = 5
bench = sys.argv[1] if len(sys.argv) > 1 else 'mat_bench'
tmp = os.environ.get('KALMIRA_BENCH_DIR') or '/tmp'


def ours():
    out = subprocess.run([bench, '--benchmark_format=json'], check=True,
                         capture_output=True, text=True).stdout
    res = {}
    for b in json.loads(out)['benchmarks']:
        if b.get('run_type', 'iteration') == 'iteration':
            name = b['name'].split('/')[0]
            res[name] = min(res.get(name, float('inf')), b['real_time'] / 1e3)
    return res['MatLoad'], res['MatSave']


def scipy_figures():
    i, q = (x.astype(float).reshape(1, N) for x in signals())
    path = os.path.join(tmp, 'scipy_bench.mat')
    save = best(lambda: sio.savemat(path, {'I': i, 'Q': q}), RUNS)
    ours_file = os.path.join(tmp, 'kalmira_bench.mat')
    load = best(lambda: sio.loadmat(ours_file), RUNS)
    m = sio.loadmat(ours_file)
    assert (m['I'] == i).all() and (m['Q'] == q).all(), 'scipy reads other values'
    os.remove(path)
    return load, save


def octave_figures():
    if not shutil.which('octave'):
        return None, None
    path = os.path.join(tmp, 'octave_bench.mat')
    script = (
        "k = 0:%d; I = double(single(cos(0.001*k))); Q = double(single(sin(0.001*k)*0.5));"
        "ts = inf; tl = inf;"
        "for r = 1:%d, t0 = tic; save('-v6', '%s', 'I', 'Q'); ts = min(ts, toc(t0));"
        " t0 = tic; s = load('%s'); tl = min(tl, toc(t0)); end;"
        "printf('%%.6f %%.6f\\n', ts, tl);" % (N - 1, RUNS, path, path))
    out = subprocess.run(['octave', '--no-gui', '--norc', '--quiet', '--eval', script],
                         check=True, capture_output=True, text=True).stdout.split()
    os.remove(path)
    return float(out[-2]), float(out[-1])


def durability():
    """What replacing a file of the same size safely costs beyond writing it:
    the flush to disk and the rename over the old file, which VmKalLib's
    writers do and Octave's save does not."""
    old, new = os.path.join(tmp, 'durable_old.bin'), os.path.join(tmp, 'durable_new.bin')
    data = np.zeros(2 * N)
    t = []
    for _ in range(RUNS):
        data.tofile(old)
        with open(new, 'wb') as f:
            data.tofile(f)
            f.flush()
            t0 = time.perf_counter()
            os.fsync(f.fileno())
        os.replace(new, old)
        t.append(time.perf_counter() - t0)
    os.remove(old)
    return min(t)


load, save = ours()
sp_load, sp_save = scipy_figures()
oc_save, oc_load = octave_figures()


def row(what, mine, name, other, target):
    if other is None:
        print('%-10s %9.3f s   %-26s %9s   %6s   %s' % (what, mine, name, 'n/a', '', target))
    else:
        print('%-10s %9.3f s   %-26s %9.3f s %6.2f   %s' % (what, mine, name, other, mine / other,
                                                           target))


print('MAT v5, %d samples (I and Q as 1 x N doubles), best of %d, page cache warm' % (N, RUNS))
print('%-10s %11s   %-26s %11s %6s   %s' % ('', 'VmKalLib', 'other tool', '', 'ratio', 'target'))
row('load', load, 'scipy.io.loadmat', sp_load, 'ratio <= 1.0')
row('load', load, 'Octave load', oc_load, '(for reference)')
row('save', save, 'Octave save -v6', oc_save, 'ratio <= 1.5')
row('save', save, 'scipy.io.savemat', sp_save, '(for reference)')
print('The save includes the flush to disk and the rename over the old file; on this machine')
print('those alone take %.3f s for a file of this size (best of %d).' % (durability(), RUNS))
if oc_save is None:
    print('Octave is not installed (apt-get install octave): its figures are missing.')
