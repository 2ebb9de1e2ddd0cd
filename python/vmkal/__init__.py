"""vmkal: the I/Q file formats of Kalmira's VmKalLib from Python.

    >>> import vmkal
    >>> data, rate = vmkal.load("capture.sigmf-meta")        # format from the file
    >>> vmkal.save("copy.wav", "wav", data, rate)
    >>> [f.name for f in vmkal.formats() if f.writable]

Samples are complex64 numpy arrays (I the real part, Q the imaginary part).
A format is its index (0..24) or its short name ("kal", "sigmf", ...; see
formats()).  Two-file formats take the Q file as qpath.  Every failure
raises VmKalError with a status, its text and, for files that could not be
opened or written, the system's errno: a failed load or save carries the
library's status, a wrong argument ERR_ARGUMENT and a library that cannot
be loaded ERR_LIBRARY (raised by the first call that needs it, so that the
module imports and its error can be caught).  abort() stops the load or
save that runs on another thread.

Built on ctypes and numpy only.  The library is found where Kalmira was
installed, else in the build folder of the source tree (build/bin, or
$KALMIRA_BUILD_DIR/bin), or wherever $VMKAL_LIBRARY names it.
"""

import ctypes
import ctypes.util
import math
import os
from collections import namedtuple

import numpy as np

__all__ = ["Format", "VmKalError", "ERR_ARGUMENT", "ERR_LIBRARY", "formats", "format_of", "detect", "load",
           "save", "abort"]

PATH_LEN = 260

# Statuses of the module's own failures, outside the library's range.
ERR_ARGUMENT = -100  # a wrong argument: nothing was read or written
ERR_LIBRARY = -101   # libVmKalLib.so cannot be found or loaded
_OPEN = -1           # the library's status of a file that cannot be opened


class VmKalError(Exception):
    """A failure: status (the library's code, -1 for a failed save, or
    ERR_ARGUMENT / ERR_LIBRARY), text (what it means), path (the file it is
    about, or None), errno (the system's reason, or 0)."""

    def __init__(self, status, text, path=None, errno=0):
        self.status, self.text, self.path, self.errno = status, text, path, errno
        why = ": " + os.strerror(errno) if errno else ""
        where = "%s: " % (path,) if path is not None else ""
        super().__init__("%s%s (status %d)%s" % (where, text, status, why))


def _wrong(text, path=None):
    return VmKalError(ERR_ARGUMENT, text, None if path is None else os.fspath(path))


class IqRec(ctypes.Structure):
    """The library's record (its layout is fixed by VmKalLib.h)."""
    _fields_ = [("INam", ctypes.c_char * PATH_LEN), ("QNam", ctypes.c_char * PATH_LEN),
                ("Typ", ctypes.c_int), ("Len", ctypes.c_int),
                ("I", ctypes.POINTER(ctypes.c_float)), ("Q", ctypes.POINTER(ctypes.c_float)),
                ("Rat", ctypes.c_float)]


_Loader = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.POINTER(IqRec), use_errno=True)
_Writer = ctypes.CFUNCTYPE(ctypes.c_int, IqRec, use_errno=True)


class _Row(ctypes.Structure):
    _fields_ = [("name", ctypes.c_char_p), ("label", ctypes.c_char_p), ("saveLabel", ctypes.c_char_p),
                ("files", ctypes.c_int), ("pat1", ctypes.c_char_p), ("pat2", ctypes.c_char_p),
                ("load", _Loader), ("save", _Writer)]


_DETECT_ONE_FILE, _DETECT_TWO_FILES, _DETECT_WRITABLE, _DETECT_NAME_ONLY = 1, 2, 4, 8
_FOUND = {1: "content", 2: "name", 3: "content and name"}


def _library_path():
    named = os.environ.get("VMKAL_LIBRARY")
    if named:
        return named
    here = os.path.dirname(os.path.abspath(__file__))
    places = []
    try:  # written by the installation: where it put the library
        from . import _installed
        places.append(os.path.normpath(os.path.join(here, _installed.LIBRARY)))
    except ImportError:
        build = os.environ.get("KALMIRA_BUILD_DIR", os.path.join(here, "..", "..", "build"))
        places.append(os.path.join(build, "bin", "libVmKalLib.so"))
    for p in places:
        if os.path.exists(p):
            return p
    found = ctypes.util.find_library("VmKalLib")
    if found:
        return found
    raise VmKalError(ERR_LIBRARY, "libVmKalLib.so not found: install Kalmira, build it (scripts/test), "
                     "or name it in VMKAL_LIBRARY")


def _bind():
    path = _library_path()
    try:
        lib = ctypes.CDLL(path, use_errno=True)
        lib.IqFormatAt
    except (OSError, AttributeError) as e:
        raise VmKalError(ERR_LIBRARY, "%s cannot be loaded as VmKalLib (%s)" % (path, e)) from None
    lib.IqFormatAt.restype = ctypes.POINTER(_Row)
    lib.IqFormatAt.argtypes = [ctypes.c_int]
    lib.IqStatusText.restype = ctypes.c_char_p
    lib.IqStatusText.argtypes = [ctypes.c_int]
    lib.LoadDatFile.restype = ctypes.c_int
    lib.LoadDatFile.argtypes = [ctypes.POINTER(IqRec)]
    lib.FreeIqRec.restype = None
    lib.FreeIqRec.argtypes = [ctypes.POINTER(IqRec)]
    lib.IqSetSaveFrequency.restype = None
    lib.IqSetSaveFrequency.argtypes = [ctypes.c_double]
    lib.IqDetectFormat.restype = ctypes.c_int
    lib.IqDetectFormat.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(ctypes.c_int), ctypes.c_int,
                                   ctypes.POINTER(ctypes.c_int)]
    return lib


_bound = None


def _library():
    """The library, loaded at its first use."""
    global _bound
    if _bound is None:
        _bound = _bind()
    return _bound


Format = namedtuple("Format", "index name label save_label files patterns writable")


def _format(index):
    row = _library().IqFormatAt(index).contents
    text = lambda b: b.decode() if b else None
    pats = tuple(p for p in text(row.pat1).split(";") + [text(row.pat2)] if p)
    return Format(index, text(row.name), text(row.label), text(row.saveLabel), row.files, pats,
                  bool(row.save))


def formats():
    """Every format of the library, in index order."""
    out, k = [], 0
    while _library().IqFormatAt(k):
        out.append(_format(k))
        k += 1
    return out


def format_of(fmt):
    """The Format of an index or a short name; VmKalError (ERR_ARGUMENT)
    for neither."""
    if isinstance(fmt, Format):
        return fmt
    table = formats()
    if isinstance(fmt, (int, np.integer)) and not isinstance(fmt, bool) and 0 <= fmt < len(table):
        return table[int(fmt)]
    for f in table:
        if isinstance(fmt, str) and f.name == fmt:
            return f
    raise _wrong("unknown format %r (see vmkal.formats())" % (fmt,))


def _path(p):
    try:
        b = os.fsencode(p)
    except TypeError:
        raise _wrong("a file name must be a str, bytes or path, not %s" % type(p).__name__) from None
    if b"\0" in b:
        raise _wrong("a file name holds a NUL character", p)
    if not b:
        raise _wrong("an empty file name")
    if len(b) >= PATH_LEN:
        raise _wrong("path longer than %d bytes" % (PATH_LEN - 1), p)
    return b


def _number(value, what, kind=float):
    """value as kind, or ERR_ARGUMENT naming what it was meant to be."""
    if isinstance(value, (bool, np.bool_)) or (kind is int and isinstance(value, (float, np.floating))):
        raise _wrong("%s must be a %s number, not %r" % (what, "whole" if kind is int else "real", value))
    try:
        return kind(value)
    except (TypeError, ValueError, OverflowError):
        raise _wrong("%s must be a %s number, not %r" % (what, "whole" if kind is int else "real", value)) from None


def detect(path, files=1, writable=False, name_only=False):
    """The formats a file may be in: from its content where it tells, else
    from its name's ending.  files: 1 (I and Q in one file, SigMF too) or 2
    (path is the I file of a pair).  Returns (formats, how) with how
    "content", "name", "content and name" (the name chose among what the
    content left open) or None; more than one format means the file does not
    tell which."""
    if files not in (1, 2) or isinstance(files, bool):
        raise _wrong("files must be 1 or 2, not %r" % (files,))
    flags = (_DETECT_ONE_FILE if files == 1 else _DETECT_TWO_FILES) | \
        (_DETECT_WRITABLE if writable else 0) | (_DETECT_NAME_ONLY if name_only else 0)
    found = (ctypes.c_int * 64)()
    how = ctypes.c_int(0)
    name = _path(path)
    n = _library().IqDetectFormat(name, flags, found, 64, ctypes.byref(how))
    if n < 0:
        raise VmKalError(_OPEN, "the file cannot be read", os.fspath(path), ctypes.get_errno())
    return [_format(found[k]) for k in range(min(n, 64))], _FOUND.get(how.value)


def _chosen(path, fmt, files, writable):
    if fmt is not None:
        return format_of(fmt)
    cands, _ = detect(path, files, writable, name_only=writable)
    if len(cands) != 1:
        names = ", ".join(f.name for f in cands) or "no format"
        raise _wrong("the format is not clear (%s): give it" % names, path)
    return cands[0]


def _raise(status, path, errno, saving=False):
    text = "the file cannot be written" if saving else _library().IqStatusText(status).decode()
    raise VmKalError(status, text, os.fspath(path), errno)


# The file a failed load is about: the Q file for the second file's
# statuses; for a one-file format whose reader opens files of other names
# (SigMF's metadata and dataset), the one it names in QNam.
def _failed_file(st, rec, path, qpath):
    if st in (-1, -2) and qpath is None and rec.QNam:
        return os.fsdecode(rec.QNam)
    return qpath if st == -2 and qpath is not None else path


def load(path, fmt=None, qpath=None):
    """Loads a file: returns (samples, rate), samples a complex64 array and
    rate the file's sample rate in Hz or None when the format stores none.
    fmt None: the format is found from the file (detect)."""
    rec = IqRec()
    rec.INam = _path(path)
    rec.QNam = _path(qpath) if qpath is not None else b""
    f = _chosen(path, fmt, 2 if qpath is not None else 1, False)
    rec.Typ = f.index
    rec.Rat = math.nan  # readers that find no rate leave it
    lib = _library()
    try:
        ctypes.set_errno(0)
        st = lib.LoadDatFile(ctypes.byref(rec))
        err = ctypes.get_errno()
        if st != 0:
            _raise(st, _failed_file(st, rec, path, qpath), err if st in (-1, -2) else 0)
        n = rec.Len
        data = np.empty(n, dtype=np.complex64)
        if n > 0:
            data.real = np.ctypeslib.as_array(rec.I, shape=(n,))
            data.imag = np.ctypeslib.as_array(rec.Q, shape=(n,))
    finally:
        lib.FreeIqRec(ctypes.byref(rec))
    rate = float(rec.Rat)
    return data, (rate if math.isfinite(rate) and rate > 0 else None)


def _samples(data):
    """data as a flat complex array; ERR_ARGUMENT for what holds no numbers."""
    try:
        whole = np.asarray(data).ravel()
        if whole.dtype.kind not in "biufc":
            raise TypeError
        return whole
    except (TypeError, ValueError):
        raise _wrong("data must be numbers (an array of complex or real samples)") from None


def _record(path, qpath, f, whole, rate):
    i = np.ascontiguousarray(whole.real, dtype=np.float32)
    q = np.ascontiguousarray(whole.imag if np.iscomplexobj(whole) else np.zeros(len(whole)), dtype=np.float32)
    if len(i) > 2**31 - 1:
        raise _wrong("too many samples for one record", path)
    rec = IqRec()
    rec.INam = _path(path)
    rec.QNam = _path(qpath) if qpath is not None else b""
    rec.Typ = f.index
    rec.Len = len(i)
    rec.I = i.ctypes.data_as(ctypes.POINTER(ctypes.c_float))
    rec.Q = q.ctypes.data_as(ctypes.POINTER(ctypes.c_float))
    rec.Rat = rate
    return rec, (i, q)  # the arrays live as long as the record is used


def save(path, fmt, data, rate, qpath=None, append=False, guard=0, frequency=None):
    """Saves samples (anything numpy turns into complex numbers) as the
    Save panel does: with append, after the samples the file holds already;
    with guard N, a copy of the last N samples goes before them.  rate is the
    sample rate in Hz (0 or None: not known); frequency the centre frequency
    in Hz, which formats that keep one (SigMF) write.  fmt None: from the
    name's ending.  The file is replaced only once the new one is complete."""
    _path(path)
    if qpath is not None:
        _path(qpath)
    rate = 0.0 if rate is None else _number(rate, "rate")
    frequency = 0.0 if frequency is None else _number(frequency, "frequency")
    guard = _number(guard, "guard", int)
    f = _chosen(path, fmt, 2 if qpath is not None else 1, True)
    if not f.writable:
        raise _wrong("format %s can only be read" % f.name, path)
    data = _samples(data)
    if guard < 0 or guard > len(data):
        raise _wrong("guard %d: not between 0 and the %d samples given" % (guard, len(data)), path)
    parts = [data[len(data) - guard:], data]
    if append:
        old, _ = load(path, f.index, qpath)
        parts.insert(0, old)
    rec, keep = _record(path, qpath, f, np.concatenate(parts), rate)
    lib = _library()
    writer = lib.IqFormatAt(f.index).contents.save
    # The frequency is for the next save of this thread: set it right before.
    lib.IqSetSaveFrequency(frequency)
    ctypes.set_errno(0)
    st = writer(rec)
    if st != 0:
        _raise(st, path, ctypes.get_errno(), saving=True)


def abort():
    """Stops the load or save in progress on another thread: it raises
    VmKalError with status -3 (load) or -1 and errno EINTR (save), and a save
    leaves its destination as it was.  The request stands until a load or
    save ends: called when none runs, it stops the next one.  (The free-form
    text readers of COSSAP files do not look at it while they read.)"""
    ctypes.c_int.in_dll(_library(), "EscFlg").value = 1
