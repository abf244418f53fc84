"""Page counts of spooled print jobs, for print accounting.

    import quirometer
    job = quirometer.count("/var/spool/cups/d00042-001")
    print(job.pdl, job.pages, job.copies, job.color, job.duplex, job.color_pages)
    for page in quirometer.pages("/var/spool/cups/d00042-001"):
        print(page.number, page.color, page.side, page.paper_width, page.paper_length)

count() finds the job's language and reports what the printer will really
do; count(path, pdl, compatible=True) and the functions named after the
library's exports (GetTotalPageCount_PCL, ...) give exactly the record of an
export. Failures raise QuirometerError. Every function may be called from
any thread: calls that must not overlap are serialised here.
"""
from __future__ import annotations

import array
import ctypes
import os
from dataclasses import dataclass
from typing import Iterator

from . import _native
from ._native import TAGS

__version__ = "5.5.0"

# Return codes, as unsigned 32-bit values.
OK = 0
E_FAIL = 0x80004005
E_POINTER = 0x80004003
E_FILE_NOT_FOUND = 0x80070002
E_PATH_NOT_FOUND = 0x80070003
E_ACCESS_DENIED = 0x80070005
E_SHARING_VIOLATION = 0x80070020
E_EMPTY_FILE = 0x800703EE
E_INVALIDARG = 0x80070057
E_UNKNOWN_PDL = 0x80040200
E_NOT_UNDERSTOOD = 0x80040201
E_ENCRYPTED = 0x80040202

# Names of the bits of the accurate record's `unknown`, lowest bit first.
FIELDS = ("pages", "copies", "color", "duplex", "paper")

# Names of a page's colour and side, by their codes.
PAGE_COLORS = ("mono", "color", "unknown")
PAGE_SIDES = ("none", "front", "back")

# The PDF export's mark of a file its reader could not read.
_PDF_UNREADABLE = 0xFFFFFFFF


def _unsigned(code: int) -> int:
    return code & 0xFFFFFFFF


def error_text(code: int) -> str:
    """The library's plain sentence for a return code."""
    signed = code - (1 << 32) if code >= (1 << 31) else code
    return _native.library().QuirometerErrorText(signed).decode()


class QuirometerError(Exception):
    """A count or detection that failed: `code` (unsigned) and its `text`;
    `pdf_error` holds the PDF reader's reason when it is the one that failed."""

    def __init__(self, code: int, text: str | None = None, path=None, pdl: str | None = None,
                 pdf_error: str | None = None):
        self.code = _unsigned(code)
        self.text = text if text is not None else error_text(self.code)
        self.path = path
        self.pdl = pdl
        self.pdf_error = pdf_error
        super().__init__(str(self))

    def __str__(self) -> str:
        where = f"{os.fsdecode(self.path)}: " if self.path is not None else ""
        reader = f" (PDF reader: {self.pdf_error})" if self.pdf_error else ""
        return f"{where}{self.text} [0x{self.code:08X}]{reader}"


@dataclass(frozen=True)
class Record:
    """An export's 32-byte record, field for field."""
    pages: int
    copies: int
    color: int
    duplex: int
    paper_length: float
    paper_width: float


@dataclass(frozen=True)
class Job:
    """A counted job. `certainty` is "exact" or "estimated" and `unknown`
    names the fields the job does not let the count know (see FIELDS); a
    compatible count reports the export's record, which says neither, so
    they are None and (). `detected` is what detection found, None when it
    found nothing or did not run."""
    pdl: str
    pages: int
    copies: int
    color: bool
    duplex: bool
    paper_width: float
    paper_length: float
    certainty: str | None
    unknown: tuple[str, ...]
    detected: str | None = None
    compatible: bool = False
    color_pages: int | None = None          # pages of one copy in colour (None: compatible count)
    color_unknown_pages: int | None = None  # ... whose colour the job leaves open


@dataclass(frozen=True)
class Page:
    """One page of one copy: `number` from 1, `color` "mono", "color" or
    "unknown", `side` "none", "front" or "back" (two-sided jobs), and its
    paper in inches (0.0 where the job does not say)."""
    number: int
    color: str
    side: str
    paper_width: float
    paper_length: float


def _path(path) -> bytes:
    raw = os.fsencode(path)
    if b"\0" in raw:
        raise QuirometerError(E_INVALIDARG, "the path contains a NUL byte", path)
    return raw


def canonical_tag(name: str) -> str | None:
    """The tag a tag or everyday name stands for ("ps" -> "POSTSCRIPT"), or None."""
    raw = name.encode()
    if b"\0" in raw:
        return None
    tag = _native.library().QuirometerCanonicalTag(raw)
    return tag.decode() if tag else None


def detect(path) -> str | None:
    """The tag of the job's language, or None when it is no language known here."""
    raw = _path(path)
    tag = ctypes.create_string_buffer(_native.TAG_SIZE)
    code = _unsigned(_native.library().QuirometerDetect(raw, tag, _native.TAG_SIZE))
    if code == OK:
        return tag.value.decode()
    if code == E_UNKNOWN_PDL:
        return None
    raise QuirometerError(code, path=path)


def _language(path, pdl: str | None) -> tuple[str, str | None]:
    """The tag to count `path` as, and what detection found (None when it did not run)."""
    if pdl:
        tag = canonical_tag(pdl)
        if tag is None:
            raise QuirometerError(E_INVALIDARG, f"unknown language {pdl!r}", path, pdl)
        return tag, None
    detected = detect(path)
    if detected is None:
        raise QuirometerError(E_UNKNOWN_PDL, path=path)
    return detected, detected


def count(path, pdl: str | None = None, compatible: bool = False) -> Job:
    """Counts one job. `pdl` names its language (a tag or an everyday name such
    as "PS" or "pcl6", any case); None detects it. With compatible=True the
    result is the record of the language's export, exactly."""
    raw = _path(path)
    tag, detected = _language(path, pdl)
    if compatible:
        return _count_compatible(raw, path, tag, detected)
    job = _native.QuirometerJob()
    job.size = ctypes.sizeof(job)
    with _native.group_lock(tag):
        code = _unsigned(_native.library().QuirometerCount(raw, tag.encode(), ctypes.byref(job)))
    if code != OK:
        raise QuirometerError(code, path=path, pdl=tag)
    return _job(job)


def _job(job) -> Job:
    found = job.detected.decode()
    return Job(
        pdl=job.pdl.decode(),
        pages=job.pages,
        copies=job.copies,
        color=bool(job.color),
        duplex=bool(job.duplex),
        paper_width=job.paperWidth,
        paper_length=job.paperLength,
        certainty="estimated" if job.certainty else "exact",
        unknown=tuple(name for bit, name in enumerate(FIELDS) if job.unknown & (1 << bit)),
        detected=found if found not in ("", "unknown") else None,
        color_pages=job.colorPages,
        color_unknown_pages=job.colorUnknownPages,
    )


class _PageStore:
    """The pages a count hands over, kept in flat arrays (18 bytes a page)
    rather than as objects, until they are yielded."""

    def __init__(self):
        self.codes = array.array("B")   # colour, side: two bytes a page
        self.paper = array.array("d")   # width, length

    def take(self, page, _context) -> int:
        p = page.contents
        self.codes.extend((p.color, p.side))
        self.paper.extend((p.paperWidth, p.paperLength))
        return 0

    def __iter__(self) -> Iterator[Page]:
        for i in range(len(self.codes) // 2):
            color, side = self.codes[2 * i], self.codes[2 * i + 1]
            yield Page(number=i + 1,
                       color=PAGE_COLORS[color] if color < len(PAGE_COLORS) else "unknown",
                       side=PAGE_SIDES[side] if side < len(PAGE_SIDES) else "none",
                       paper_width=self.paper[2 * i], paper_length=self.paper[2 * i + 1])


def pages(path, pdl: str | None = None) -> Iterator[Page]:
    """Counts one job accurately and yields each page of one copy, in the
    order the printer prints them. `pdl` as for count(). The job is counted
    by the call itself, so a failure raises QuirometerError before any page
    is yielded."""
    raw = _path(path)
    tag, _ = _language(path, pdl)
    job = _native.QuirometerJob()
    job.size = ctypes.sizeof(job)
    store = _PageStore()
    callback = _native.PAGE_CALLBACK(store.take)
    with _native.group_lock(tag):
        code = _unsigned(_native.library().QuirometerCountPages(raw, tag.encode(), ctypes.byref(job), callback, None))
    if code != OK:
        raise QuirometerError(code, path=path, pdl=tag)
    return iter(store)


def _count_compatible(raw: bytes, path, tag: str, detected: str | None) -> Job:
    if tag not in TAGS:
        # A language only the accurate count knows has no export to ask.
        raise QuirometerError(E_INVALIDARG, f"no export counts {tag}", path, tag)
    rec = _native.PageCountResult()
    lib = _native.library()
    reason = None
    with _native.group_lock(tag):
        code = _unsigned(getattr(lib, f"GetTotalPageCount_{tag}")(raw, ctypes.byref(rec)))
        if code == OK and tag == "PDF" and rec.pages == _PDF_UNREADABLE:
            reason = _read_pdf_error(lib)
    if code != OK:
        raise QuirometerError(code, path=path, pdl=tag)
    if reason is not None:
        # The export marks an unreadable file with a page count no job has:
        # no number is given for it here.
        raise QuirometerError(E_NOT_UNDERSTOOD, path=path, pdl=tag, pdf_error=reason)
    return Job(pdl=tag, pages=rec.pages, copies=rec.copies, color=bool(rec.color),
               duplex=bool(rec.duplex), paper_width=rec.paperWidth, paper_length=rec.paperLength,
               certainty=None, unknown=(), detected=detected, compatible=True)


def _read_pdf_error(lib) -> str:
    text = ctypes.create_string_buffer(256)
    lib.QuirometerPdfLastError(text, len(text))
    return text.value.decode(errors="replace")


def pdf_last_error() -> str:
    """The PDF reader's last error text ("" when none)."""
    with _native.group_lock("PDF"):
        return _read_pdf_error(_native.library())


def library_version() -> str:
    """The library's version text, "5.5.0.68.30"."""
    return _native.library().GetQuirometerVersion().decode()


def _export(tag: str):
    name = f"GetTotalPageCount_{tag}"

    def export(path) -> Record:
        raw = _path(path)
        rec = _native.PageCountResult()
        with _native.group_lock(tag):
            code = _unsigned(getattr(_native.library(), name)(raw, ctypes.byref(rec)))
        if code != OK:
            raise QuirometerError(code, path=path, pdl=tag)
        return Record(rec.pages, rec.copies, rec.color, rec.duplex, rec.paperLength, rec.paperWidth)

    export.__name__ = export.__qualname__ = name
    export.__doc__ = (f"The record of the library's {name}, exactly as it writes it "
                      "(a PDF its reader cannot read has 0xFFFFFFFF pages).")
    return export


for _tag in TAGS:
    globals()[f"GetTotalPageCount_{_tag}"] = _export(_tag)
del _tag

__all__ = [
    "count", "pages", "detect", "canonical_tag", "error_text", "pdf_last_error", "library_version",
    "Job", "Page", "Record", "QuirometerError", "TAGS", "FIELDS", "PAGE_COLORS", "PAGE_SIDES",
    *(f"GetTotalPageCount_{t}" for t in TAGS),
]
