"""The shared library under ctypes: where it is found, the C records and
prototypes, and the locks that keep the non-overlapping groups apart."""
from __future__ import annotations

import contextlib
import ctypes
import ctypes.util
import os
import threading
from pathlib import Path

SOVERSION = 5
_NAMES = (f"libquirometer.so.{SOVERSION}", "libquirometer.so")

# The export tags, in the order of their ordinals.
TAGS = (
    "ZIMF", "Lexmark", "HBP", "TCPL", "PPA", "OKI", "ZJSTREAM", "TALLYSTREAM", "OAKT",
    "PANASONIC", "ESC_PAGE", "PCL", "PCLXL", "POSTSCRIPT", "RPCS", "IPDL", "PDF", "HPGL",
    "CANON", "ESCP2", "CanonUFR", "HIPERC", "QPDL", "LIDIL", "CanonCAPT", "BrotherNCM",
    "PrintronixGL", "FijiPhoto", "UnixTextPCL",
)

TAG_SIZE = 16


class PageCountResult(ctypes.Structure):
    """The 32-byte record of the exports."""
    _fields_ = [
        ("pages", ctypes.c_uint32),
        ("copies", ctypes.c_uint32),
        ("color", ctypes.c_uint8),
        ("duplex", ctypes.c_uint8),
        ("reserved", ctypes.c_uint8 * 6),
        ("paperLength", ctypes.c_double),
        ("paperWidth", ctypes.c_double),
    ]


class QuirometerJob(ctypes.Structure):
    """The accurate count's record; `size` is set before every call."""
    _fields_ = [
        ("size", ctypes.c_uint32),
        ("pages", ctypes.c_uint32),
        ("copies", ctypes.c_uint32),
        ("color", ctypes.c_uint8),
        ("duplex", ctypes.c_uint8),
        ("certainty", ctypes.c_uint8),
        ("reserved0", ctypes.c_uint8),
        ("unknown", ctypes.c_uint32),
        ("reserved1", ctypes.c_uint32),
        ("paperWidth", ctypes.c_double),
        ("paperLength", ctypes.c_double),
        ("pdl", ctypes.c_char * TAG_SIZE),
        ("detected", ctypes.c_char * TAG_SIZE),
        # The second version's fields.
        ("colorPages", ctypes.c_uint32),
        ("colorUnknownPages", ctypes.c_uint32),
    ]


class QuirometerPage(ctypes.Structure):
    """One page of one copy, as QuirometerCountPages hands it over."""
    _fields_ = [
        ("number", ctypes.c_uint32),
        ("color", ctypes.c_uint8),
        ("side", ctypes.c_uint8),
        ("reserved", ctypes.c_uint8 * 2),
        ("paperWidth", ctypes.c_double),
        ("paperLength", ctypes.c_double),
    ]


PAGE_CALLBACK = ctypes.CFUNCTYPE(ctypes.c_int, ctypes.POINTER(QuirometerPage), ctypes.c_void_p)

assert ctypes.sizeof(PageCountResult) == 32 and PageCountResult.paperLength.offset == 16
assert ctypes.sizeof(QuirometerJob) == 80 and QuirometerJob.pdl.offset == 40 and QuirometerJob.colorPages.offset == 72
assert ctypes.sizeof(QuirometerPage) == 24 and QuirometerPage.paperWidth.offset == 8

# Calls of one group share module-wide state inside the library and must
# never overlap; every other language may run on any number of threads.
_GROUP_OF = {"PCL": "pcl", "UnixTextPCL": "pcl", "PDF": "pdf", "ESCP2": "escp2", "CANON": "canon"}
_LOCKS = {group: threading.Lock() for group in set(_GROUP_OF.values())}


def group_lock(tag: str):
    """The lock of the tag's group, or a no-op for a language of no group."""
    lock = _LOCKS.get(_GROUP_OF.get(tag, ""))
    return lock if lock is not None else contextlib.nullcontext()


def _prototype(lib) -> None:
    path, result = ctypes.c_char_p, ctypes.POINTER(PageCountResult)
    for tag in TAGS:
        fn = getattr(lib, f"GetTotalPageCount_{tag}")
        fn.argtypes, fn.restype = [path, result], ctypes.c_int32
    lib.GetQuirometerVersion.argtypes, lib.GetQuirometerVersion.restype = [], ctypes.c_char_p
    lib.QuirometerDetect.argtypes = [path, ctypes.c_char_p, ctypes.c_int]
    lib.QuirometerDetect.restype = ctypes.c_int32
    lib.QuirometerCount.argtypes = [path, ctypes.c_char_p, ctypes.POINTER(QuirometerJob)]
    lib.QuirometerCount.restype = ctypes.c_int32
    lib.QuirometerCountPages.argtypes = [path, ctypes.c_char_p, ctypes.POINTER(QuirometerJob), PAGE_CALLBACK,
                                         ctypes.c_void_p]
    lib.QuirometerCountPages.restype = ctypes.c_int32
    lib.QuirometerErrorText.argtypes, lib.QuirometerErrorText.restype = [ctypes.c_int32], ctypes.c_char_p
    lib.QuirometerCanonicalTag.argtypes, lib.QuirometerCanonicalTag.restype = [ctypes.c_char_p], ctypes.c_char_p
    lib.QuirometerPdfLastError.argtypes, lib.QuirometerPdfLastError.restype = [ctypes.c_char_p, ctypes.c_int], None


def _beside_package() -> list[Path]:
    """Files to try next to this package: in its own folder (a bundled copy),
    then in the lib folder of the prefix `cmake --install` put it under."""
    here = Path(__file__).resolve().parent
    folders = [here]
    try:
        from . import _installed  # written by cmake --install, absent from a pip install
    except ImportError:
        pass
    else:
        folders.append((here / _installed.LIBRARY_DIR).resolve())
    return [folder / name for folder in folders for name in _NAMES]


def _load():
    explicit = os.environ.get("QUIROMETER_LIBRARY")
    if explicit:
        try:
            return ctypes.CDLL(explicit)
        except OSError as e:
            raise OSError(f"QUIROMETER_LIBRARY={explicit} cannot be loaded: {e}") from None
    tried = []
    for candidate in _beside_package():
        if candidate.is_file():
            try:
                return ctypes.CDLL(str(candidate))
            except OSError as e:
                tried.append(f"{candidate}: {e}")
    for name in (*_NAMES, ctypes.util.find_library("quirometer")):
        if name is None:
            continue
        try:
            return ctypes.CDLL(name)
        except OSError:
            tried.append(f"{name} (system loader)")
    raise OSError("libquirometer is not found; set QUIROMETER_LIBRARY to its path, or add its folder "
                  "to LD_LIBRARY_PATH. Tried: " + "; ".join(tried))


_library = None
_library_guard = threading.Lock()


def library():
    """The loaded library with its prototypes; loaded on first use."""
    global _library
    if _library is None:
        with _library_guard:
            if _library is None:
                lib = _load()
                _prototype(lib)
                _library = lib
    return _library
