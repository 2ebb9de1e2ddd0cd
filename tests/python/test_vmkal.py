"""vmkal on VmKalLib: the format table, every writer and its reader, errors,
append and guard samples, detection, and abort from another thread."""
import ctypes
import errno
import json
import os
import subprocess
import sys
import threading

import numpy as np
import pytest

import vmkal


def ramp(n=1000):
    k = np.arange(n)
    # Whole numbers and halves: every text format keeps them exactly.
    return ((k % 50) - 25 + 1j * ((k % 30) * 0.5 - 7)).astype(np.complex64)


def names(tmp_path, f, stem="x"):
    ext = f.patterns[0][1:]
    if f.files == 1:
        return tmp_path / (stem + ext), None
    return tmp_path / (stem + "_i" + ext), tmp_path / (stem + "_q" + f.patterns[1][1:])


def test_the_format_table():
    table = vmkal.formats()
    assert [f.index for f in table] == list(range(25))
    assert len({f.name for f in table}) == 25
    sigmf = vmkal.format_of("sigmf")
    assert sigmf == table[24]
    assert sigmf.label == "SigMF (*.sigmf-meta)"
    assert sigmf.patterns == ("*.sigmf-meta", "*.sigmf-data")
    assert sigmf.files == 1 and sigmf.writable
    assert vmkal.format_of(22).name == "kal"
    assert [f.index for f in table if not f.writable] == [17, 20, 21, 23]
    for bad in (25, -1, "nope", True, 1.5, None):
        with pytest.raises(vmkal.VmKalError) as e:
            vmkal.format_of(bad)
        assert e.value.status == vmkal.ERR_ARGUMENT and "unknown format" in e.value.text


STORES_RATE = {"ibn", "spw-ascii", "spw-ascii-mix", "spw-bin", "ads-ascii", "ads-ascii-mix", "sigmf"}


@pytest.mark.parametrize("f", [f for f in vmkal.formats() if f.writable], ids=lambda f: f.name)
def test_every_writer_and_its_reader(tmp_path, f):
    data = ramp()
    if f.name == "wav":  # 16-bit words scaled to the narrower channel's range: both span -24..24
        real = np.arange(1000) % 49 - 24
        data = (real + 1j * real[::-1]).astype(np.complex64)
    path, qpath = names(tmp_path, f)
    vmkal.save(path, f.name, data, 2.5e6, qpath=qpath)
    back, rate = vmkal.load(path, f.index, qpath)
    assert back.dtype == np.complex64 and len(back) == len(data)
    if f.name == "wav":  # 16-bit words scaled to the range of the data
        scale = back.real[np.argmax(abs(data.real))] / data.real[np.argmax(abs(data.real))]
        assert np.allclose(back, data * scale, atol=1.0)
    else:
        assert np.array_equal(back, data)
    assert rate == (2.5e6 if f.name in STORES_RATE else None)


def test_errors_carry_the_status_its_text_and_the_reason(tmp_path):
    with pytest.raises(vmkal.VmKalError) as e:
        vmkal.load(tmp_path / "none.kal", "kal")
    assert (e.value.status, e.value.errno) == (-1, errno.ENOENT)
    assert e.value.text == "the file cannot be opened"

    (tmp_path / "r.sigmf-meta").write_text(json.dumps({"global": {"core:datatype": "rf32_le"}}))
    (tmp_path / "r.sigmf-data").write_bytes(bytes(16))
    with pytest.raises(vmkal.VmKalError) as e:
        vmkal.load(tmp_path / "r.sigmf-data")
    assert e.value.status == -10 and "complex" in e.value.text

    (tmp_path / "folder.kal").mkdir()
    with pytest.raises(vmkal.VmKalError) as e:
        vmkal.save(tmp_path / "folder.kal", "kal", ramp(3), 0)
    assert (e.value.status, e.value.errno) == (-1, errno.EISDIR)
    assert e.value.text == "the file cannot be written"

    with pytest.raises(vmkal.VmKalError, match="mcad-mix, cossap-mix"):
        vmkal.save(tmp_path / "x.dat", None, ramp(3), 0)
    with pytest.raises(vmkal.VmKalError, match="only be read"):
        vmkal.save(tmp_path / "x.trc", "lecroy", ramp(3), 0, qpath=tmp_path / "y.trc")
    with pytest.raises(vmkal.VmKalError, match="guard"):
        vmkal.save(tmp_path / "x.kal", "kal", ramp(3), 0, guard=4)


# Whatever is wrong, the caller catches one exception, and nothing is
# written.
@pytest.mark.parametrize("call", [
    lambda d: vmkal.load(123, "kal"),
    lambda d: vmkal.load(str(d / "a\0b.kal"), "kal"),
    lambda d: vmkal.load("", "kal"),
    lambda d: vmkal.load(str(d / ("x" * 300)), "kal"),
    lambda d: vmkal.load(d / "x.kal", 25),
    lambda d: vmkal.load(d / "x.kal", "kal", qpath=7),
    lambda d: vmkal.save(d / "x.kal", "kal", [1, 2], "fast"),
    lambda d: vmkal.save(d / "x.kal", "kal", [1, 2], 1e6, guard="one"),
    lambda d: vmkal.save(d / "x.kal", "kal", [1, 2], 1e6, guard=1.5),
    lambda d: vmkal.save(d / "x.kal", "kal", ["a", "b"], 1e6),
    lambda d: vmkal.save(d / "x.kal", "kal", [1, [2, 3]], 1e6),
    lambda d: vmkal.save(d / "x.kal", "kal", [1, 2], 1e6, frequency="high"),
    lambda d: vmkal.save(d / "x.kal", -3, [1, 2], 1e6),
    lambda d: vmkal.detect(d / "x.kal", files=3),
], ids=["path-type", "nul", "empty", "long", "index", "qpath-type", "rate", "guard-text", "guard-float",
        "data-text", "data-ragged", "frequency", "negative-index", "files"])
def test_wrong_arguments_raise_vmkalerror(tmp_path, call):
    with pytest.raises(vmkal.VmKalError) as e:
        call(tmp_path)
    assert e.value.status == vmkal.ERR_ARGUMENT and e.value.text
    assert list(tmp_path.iterdir()) == []


def test_a_library_that_cannot_be_loaded_is_a_vmkalerror(tmp_path):
    (tmp_path / "fake.so").write_bytes(b"not a library")
    code = ("import vmkal\n"
            "try:\n    vmkal.%s\nexcept vmkal.VmKalError as e:\n    print(e.status, e.text)\n")
    for call in ("formats()", "load('x.kal', 'kal')", "abort()"):
        for lib in (str(tmp_path / "none.so"), str(tmp_path / "fake.so")):
            env = dict(os.environ, VMKAL_LIBRARY=lib, PYTHONPATH=os.path.dirname(os.path.dirname(vmkal.__file__)))
            out = subprocess.run([sys.executable, "-c", code % call], env=env, capture_output=True, text=True)
            assert out.returncode == 0, out.stderr
            assert out.stdout.startswith("%d %s cannot be loaded" % (vmkal.ERR_LIBRARY, lib)), out.stdout


def test_a_missing_file_of_a_recording_is_the_one_named(tmp_path):
    vmkal.save(tmp_path / "r.sigmf-meta", "sigmf", ramp(5), 1e6)
    (tmp_path / "r.sigmf-data").unlink()
    with pytest.raises(vmkal.VmKalError) as e:
        vmkal.load(tmp_path / "r.sigmf-meta")
    assert (e.value.status, e.value.errno) == (-2, errno.ENOENT)
    assert e.value.path == str(tmp_path / "r.sigmf-data")
    (tmp_path / "rec.sigmf").write_bytes(bytes(512))
    with pytest.raises(vmkal.VmKalError) as e:
        vmkal.load(tmp_path / "rec.sigmf")
    assert e.value.status == -12 and "unpack" in e.value.text


def test_append_and_guard_build_what_the_save_panel_builds(tmp_path):
    p = tmp_path / "a.kal"
    vmkal.save(p, None, [1, 2, 3], 0)
    vmkal.save(p, "kal", np.array([4, 5, 6]) * (1 + 1j), 0, append=True, guard=2)
    back, _ = vmkal.load(p)
    assert back.tolist() == [1, 2, 3, 5 + 5j, 6 + 6j, 4 + 4j, 5 + 5j, 6 + 6j]


def test_the_format_comes_from_content_then_name(tmp_path):
    vmkal.save(tmp_path / "w.kal", "wav", ramp(10), 8000)  # a WAV file under KAL's name
    found, how = vmkal.detect(tmp_path / "w.kal")
    assert [f.name for f in found] == ["wav"] and how == "content"
    assert len(vmkal.load(tmp_path / "w.kal")[0]) == 10
    vmkal.save(tmp_path / "s.ascsig", "spw-ascii-mix", ramp(10), 8000)
    found, how = vmkal.detect(tmp_path / "s.ascsig")
    assert [f.name for f in found] == ["spw-ascii-mix"] and how == "content and name"
    found, how = vmkal.detect(tmp_path / "x.i", files=2, name_only=True)
    assert [f.name for f in found] == ["mcad", "ddsp", "cossap", "mosaic", "uint16"] and how == "name"
    with pytest.raises(vmkal.VmKalError) as e:
        vmkal.detect(tmp_path / "none.wav")
    assert (e.value.status, e.value.errno) == (-1, errno.ENOENT)


def test_abort_from_another_thread_stops_a_load(tmp_path):
    p = tmp_path / "big.kal"
    vmkal.save(p, "kal", np.zeros(200000, np.complex64), 0)
    # The library's progress hook runs on the loading thread: it lets the
    # main thread know that the load runs and waits until it asked to abort.
    started, asked = threading.Event(), threading.Event()

    @ctypes.CFUNCTYPE(None)
    def hook():
        started.set()
        asked.wait(10)

    vmkal._library().IqSetEventHook(hook)
    result = {}

    def run():
        try:
            vmkal.load(p, "kal")
        except vmkal.VmKalError as e:
            result["status"] = e.status

    t = threading.Thread(target=run)
    t.start()
    try:
        assert started.wait(10)
        vmkal.abort()
        asked.set()
        t.join(10)
    finally:
        asked.set()
        vmkal._library().IqSetEventHook(None)
    assert result == {"status": -3}
    assert len(vmkal.load(p, "kal")[0]) == 200000  # the request ended with the load


def test_abort_stops_a_save_and_keeps_the_old_file(tmp_path):
    p = tmp_path / "keep.sigmf-meta"
    vmkal.save(p, "sigmf", ramp(5), 1e3)
    before = p.read_bytes(), (tmp_path / "keep.sigmf-data").read_bytes()
    vmkal.abort()
    with pytest.raises(vmkal.VmKalError) as e:
        vmkal.save(p, "sigmf", ramp(50), 1e3)
    assert e.value.errno == errno.EINTR
    assert (p.read_bytes(), (tmp_path / "keep.sigmf-data").read_bytes()) == before
