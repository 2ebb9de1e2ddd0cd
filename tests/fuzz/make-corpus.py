#!/usr/bin/python3
"""Writes the seed corpus of the fuzz targets: small valid files of every
format, the writable ones through kalmira-convert, the read-only ones and the
foreign MAT variants by hand or with scipy.

    /usr/bin/python3 tests/fuzz/make-corpus.py BUILD/bin/kalmira-convert
"""
import json
import os
import struct
import subprocess
import sys
import tempfile

import numpy as np
import scipy.io as sio

here = os.path.dirname(os.path.abspath(__file__))
tool = sys.argv[1]
corpus = {f: os.path.join(here, 'corpus', f) for f in ('text', 'spw', 'binary', 'mat', 'sigmf')}
for d in corpus.values():
    os.makedirs(d, exist_ok=True)

i = np.array([0.5, -1.25, 3.0, 0.0, 1e-3, -7.5, 2.25, 100.0], dtype=np.float32)
q = np.array([-0.5, 1.0, 0.0, 4.5, -2e-2, 8.0, -3.75, 0.125], dtype=np.float32)

with tempfile.TemporaryDirectory() as tmp:
    src = os.path.join(tmp, 'src.kal')
    np.column_stack([i, q]).astype('<f4').tofile(src)
    # Writable formats: (index, family, file names).  Two-file formats get the
    # I file only: the targets load one file as both channels.
    for typ, family, names in [
            (0, 'binary', ['tessera.ibn']), (1, 'text', ['mlab.dat', 'mlab_q.dat']),
            (2, 'text', ['mixed.asc']), (7, 'text', ['dadisp.i', 'dadisp.q']),
            (8, 'text', ['dadisp.dsp']), (19, 'text', ['dab.sym']),
            (11, 'spw', ['spw.ascsig', 'spw_q.ascsig']), (12, 'spw', ['spw_mix.ascsig']),
            (13, 'spw', ['spw.sig']), (14, 'spw', ['ads.asg', 'ads_q.asg']),
            (15, 'spw', ['ads_mix.asg']), (16, 'binary', ['audio.wav']),
            (22, 'binary', ['kal.kal']), (3, 'mat', ['single_i.mat', 'single_q.mat']),
            (4, 'mat', ['mixed.mat']), (24, 'sigmf', ['written.sigmf-meta'])]:
        outs = [os.path.join(tmp, n) for n in names]
        subprocess.run([tool, '--from', 'kal', '--to', str(typ), '--rate', '1e6', src] + outs,
                       check=True)
        os.replace(outs[0], os.path.join(corpus[family], names[0]))

with open(os.path.join(corpus['text'], 'nolf.asc'), 'w') as f:
    f.write(' '.join('%g %g' % (a, b) for a, b in zip(i, q)))
with open(os.path.join(corpus['text'], 'complex.dat'), 'w') as f:
    f.write(''.join('%g%+gj %% sample\n' % (a, b) for a, b in zip(i, q)))

# LeCroy: marker, nine digits, a 346-byte descriptor (length, data bytes and
# point count big-endian at 36, 60 and 116), 16-bit points.
desc = bytearray(346)
struct.pack_into('>i', desc, 36, len(desc))
struct.pack_into('>i', desc, 60, 2 * len(i))
struct.pack_into('>i', desc, 116, len(i))
with open(os.path.join(corpus['binary'], 'scope.trc'), 'wb') as f:
    f.write(b'#9%09d' % (len(desc) + 2 * len(i)) + desc + (i * 100).astype('<i2').tobytes())
# AWG 2000: 102-byte header with the count at 30 and the scale at 68.
hdr = bytearray(102)
struct.pack_into('>i', hdr, 30, len(i))
struct.pack_into('>d', hdr, 68, 1.0)
with open(os.path.join(corpus['binary'], 'awg.wfm'), 'wb') as f:
    f.write(hdr + np.arange(0, 4096, 512, dtype='>u2').tobytes())
with open(os.path.join(corpus['binary'], 'esg.i'), 'wb') as f:
    f.write(np.arange(-8, 8, dtype='>i2').tobytes())

m = corpus['mat']
sio.savemat(os.path.join(m, 'rows.mat'), {'a': np.arange(6.0).reshape(2, 3), 'b': np.ones(6)})
sio.savemat(os.path.join(m, 'zip.mat'), {'a': i, 'b': q}, do_compression=True)
sio.savemat(os.path.join(m, 'v4.mat'), {'a': i.astype(float), 'b': q.astype(float)}, format='4')
sio.savemat(os.path.join(m, 'ints.mat'), {'a': np.arange(-4, 4, dtype=np.int16), 'b': q})

# SigMF: the fuzz target uses the input both as metadata and as dataset, so
# the seeds are metadata only: every field the reader looks at.
def sigmf(name, glob, captures=None, extra=None):
    meta = {'global': glob, 'captures': captures if captures is not None else [{'core:sample_start': 0}],
            'annotations': [{'core:sample_start': 0, 'core:sample_count': 4}]}
    meta.update(extra or {})
    with open(os.path.join(corpus['sigmf'], name), 'w') as f:
        json.dump(meta, f)

sigmf('captures.json', {'core:datatype': 'ci16_be', 'core:sample_rate': 48000, 'core:offset': 7,
                        'core:trailing_bytes': 3},
      [{'core:sample_start': 2, 'core:header_bytes': 5}, {'core:sample_start': 9, 'core:frequency': 2.4e9}])
sigmf('bytes.json', {'core:datatype': 'cu8', 'core:num_channels': 1})
sigmf('wide.json', {'core:datatype': 'cf64_be', 'core:version': '1.0.0'}, [])
sigmf('ints.json', {'core:datatype': 'ci32_le', 'core:dataset': 'other.bin', 'core:metadata_only': False})
sigmf('real.json', {'core:datatype': 'rf32_le'})
