"""SigMF recordings checked from outside: what Kalmira writes, read with
numpy and Python's json module; recordings made with numpy and metadata
written by hand, loaded by Kalmira."""
import datetime
import json

import numpy as np
import pytest

import vmkal


def test_numpy_and_json_read_what_kalmira_writes(tmp_path):
    data = (np.linspace(-1, 1, 777) + 1j * np.linspace(3, -3, 777)).astype(np.complex64)
    vmkal.save(tmp_path / "rec.sigmf-meta", "sigmf", data, 30.72e6, frequency=915e6)
    with open(tmp_path / "rec.sigmf-meta") as f:
        meta = json.load(f)
    g = meta["global"]
    assert g["core:datatype"] == "cf32_le"
    assert g["core:sample_rate"] == 30.72e6
    assert g["core:version"] == "1.0.0"
    assert g["core:recorder"].startswith("Kalmira v")
    assert len(meta["captures"]) == 1
    cap = meta["captures"][0]
    assert cap["core:sample_start"] == 0 and cap["core:frequency"] == 915e6
    stamp = datetime.datetime.strptime(cap["core:datetime"], "%Y-%m-%dT%H:%M:%SZ")
    now = datetime.datetime.now(datetime.timezone.utc).replace(tzinfo=None)
    assert abs((now - stamp).total_seconds()) < 60
    assert meta["annotations"] == []
    samples = np.fromfile(tmp_path / "rec.sigmf-data", dtype="<c8")
    assert np.array_equal(samples, data)


# (datatype, numpy type of one component, values that type holds exactly)
TYPES = [
    ("cf64_le", "<f8", [0.125, -1e10, 3.5]),
    ("cf64_be", ">f8", [0.125, -1e10, 3.5]),
    ("cf32_le", "<f4", [1.5, -2.25, 1e-3]),
    ("cf32_be", ">f4", [1.5, -2.25, 1e-3]),
    ("ci32_le", "<i4", [-2**31, 2**31 - 1, 77]),
    ("ci32_be", ">i4", [-2**31, 2**31 - 1, 77]),
    ("cu32_be", ">u4", [0, 2**32 - 1, 77]),
    ("ci16_le", "<i2", [-32768, 32767, -1]),
    ("ci16_be", ">i2", [-32768, 32767, -1]),
    ("cu16_le", "<u2", [0, 65535, 1000]),
    ("ci8", "i1", [-128, 127, -3]),
    ("cu8", "u1", [0, 255, 128]),
]


@pytest.mark.parametrize("datatype,dtype,values", TYPES, ids=[t[0] for t in TYPES])
def test_kalmira_reads_what_numpy_writes(tmp_path, datatype, dtype, values):
    # Three captures over 12 samples: I cycles through the values, Q backwards.
    i = np.resize(np.array(values, dtype=dtype), 12)
    q = np.resize(np.array(values[::-1], dtype=dtype), 12)
    pairs = np.empty(12, dtype=[("i", dtype), ("q", dtype)])
    pairs["i"], pairs["q"] = i, q
    pairs.tofile(tmp_path / "n.sigmf-data")
    meta = {
        "global": {"core:datatype": datatype, "core:sample_rate": 250000.0, "core:version": "1.0.0",
                   "core:author": "numpy"},
        "captures": [{"core:sample_start": 0, "core:frequency": 100e6},
                     {"core:sample_start": 5, "core:frequency": 101e6, "core:datetime": "2024-05-01T10:00:00Z"},
                     {"core:sample_start": 9}],
        "annotations": [{"core:sample_start": 2, "core:sample_count": 3, "core:label": "burst"}],
    }
    with open(tmp_path / "n.sigmf-meta", "w") as f:
        json.dump(meta, f, indent=2)
    got, rate = vmkal.load(tmp_path / "n.sigmf-meta")
    assert rate == 250000.0
    assert np.array_equal(got.real, i.astype(np.float32))
    assert np.array_equal(got.imag, q.astype(np.float32))


def test_header_bytes_of_a_dataset_written_elsewhere_are_skipped(tmp_path):
    a = np.array([1 + 2j, 3 + 4j], dtype="<c8").tobytes()
    b = np.array([5 + 6j], dtype="<c8").tobytes()
    (tmp_path / "h.sigmf-data").write_bytes(b"HEAD" + a + b"xy" + b + b"TAIL")
    meta = {"global": {"core:datatype": "cf32_le", "core:trailing_bytes": 4},
            "captures": [{"core:sample_start": 0, "core:header_bytes": 4},
                         {"core:sample_start": 2, "core:header_bytes": 2}]}
    (tmp_path / "h.sigmf-meta").write_text(json.dumps(meta))
    got, rate = vmkal.load(tmp_path / "h.sigmf-data")
    assert got.tolist() == [1 + 2j, 3 + 4j, 5 + 6j] and rate is None
