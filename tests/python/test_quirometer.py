import csv
import ctypes
import os
import random
import shutil
import subprocess
import sys
import threading
import time
from collections import Counter
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path
from types import SimpleNamespace

import pytest

import quirometer as qm
from quirometer import _native

SAMPLES_DIR = Path(__file__).resolve().parents[2] / "samples"
COLUMNS = {"pages": "pages", "copies": "copies", "color": "color", "duplex": "duplex",
           "paperWidth": "paper_width", "paperLength": "paper_length"}  # -> attribute of a Job


def _stated(row, prefix=""):
    return {c: float(row[prefix + c]) for c in COLUMNS if row[prefix + c].strip() not in ("", "-")}


# The sample jobs: the plain columns of their table hold the truth (what the
# job prints), the "compatible." ones the export's record by its rules; "-"
# (unstated) is left out.
with open(SAMPLES_DIR / "truth.tsv", newline="", encoding="utf-8") as table:
    SAMPLES = [SimpleNamespace(path=SAMPLES_DIR / r["file"], tag=r["tag"], truth=_stated(r),
                               compatible=_stated(r, "compatible.")) for r in csv.DictReader(table, delimiter="\t")]
IDS = [s.path.name for s in SAMPLES]

# Colour-truth jobs whose pages differ in colour: a page is M or C in the
# "colours" column, in the order the printer prints them.
COLOUR_DIR = Path(__file__).resolve().parents[1] / "corpus" / "colour"
with open(COLOUR_DIR / "streams.tsv", newline="", encoding="utf-8") as table:
    MIXED = [r for r in csv.DictReader(table, delimiter="\t") if len(set(r["colours"])) > 1]


def disagreements(job, stated):
    """The columns of `stated` that `job` does not meet, as text ("" when it meets all)."""
    wrong = []
    for column, want in stated.items():
        got = float(getattr(job, COLUMNS[column]))
        if abs(got - want) > (0.02 if column.startswith("paper") else 0):
            wrong.append(f"{column} {got:g}, want {want:g}")
    return ", ".join(wrong)


def export(tag):
    return getattr(qm, f"GetTotalPageCount_{tag}")


@pytest.mark.parametrize("sample", SAMPLES, ids=IDS)
def test_compatible_count_is_the_exports_record(sample):
    job, rec = qm.count(sample.path, sample.tag.lower(), compatible=True), export(sample.tag)(sample.path)
    assert (job.pdl, job.pages, job.copies, job.color, job.duplex, job.paper_width, job.paper_length) == (
        sample.tag, rec.pages, rec.copies, bool(rec.color), bool(rec.duplex), rec.paper_width, rec.paper_length)
    assert disagreements(job, sample.compatible) == ""


@pytest.mark.parametrize("sample", SAMPLES, ids=IDS)
def test_detection_and_the_accurate_count_meet_the_truth(sample):
    job = qm.count(str(sample.path), sample.tag)
    assert disagreements(job, sample.truth) == ""
    assert job.pdl == sample.tag and job.certainty in ("exact", "estimated")
    assert ("paper" in job.unknown) == (job.paper_width == 0.0)
    assert qm.detect(sample.path) == sample.tag
    assert qm.count(sample.path).detected == qm.count(sample.path, compatible=True).pdl == sample.tag


@pytest.mark.parametrize("row", MIXED, ids=[Path(r["file"]).name for r in MIXED])
def test_pages_are_yielded_in_order_with_their_colour(row):
    path = COLOUR_DIR / row["file"]
    listed = list(qm.pages(path))
    job = qm.count(path)
    assert [p.number for p in listed] == list(range(1, job.pages + 1))
    assert "".join("C" if p.color == "color" else "M" for p in listed) == row["colours"]
    assert job.color_pages == row["colours"].count("C") and job.color_unknown_pages == 0
    assert qm.count(path, compatible=True).color_pages is None


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    d = tmp_path_factory.mktemp("files")
    (d / "empty").write_bytes(b"")
    (d / "zeros").write_bytes(bytes(4096))
    (d / "bad.pdf").write_bytes(b"%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n%%EOF\n")
    return d


CALLS = {"detect": qm.detect, "count": lambda p: qm.count(p, "PCLXL"),
         "compatible": lambda p: qm.count(p, "PCLXL", compatible=True), "export": qm.GetTotalPageCount_PCLXL}


@pytest.mark.parametrize("call", CALLS.values(), ids=CALLS.keys())
@pytest.mark.parametrize("name, code", [("missing", qm.E_FILE_NOT_FOUND), ("no/job", qm.E_PATH_NOT_FOUND),
                                        (".", qm.E_ACCESS_DENIED), ("empty", qm.E_EMPTY_FILE)])
def test_file_failures_raise_the_code_and_its_text(files, call, name, code):
    with pytest.raises(qm.QuirometerError) as e:
        call(files / name)
    assert (e.value.code, e.value.text) == (code, qm.error_text(code))
    assert f"0x{code:08X}" in str(e.value) and str(files / name) in str(e.value)


@pytest.mark.parametrize("name, pdl, compatible, code", [
    ("zeros", None, False, qm.E_UNKNOWN_PDL),
    ("zeros", "PCL", False, qm.E_NOT_UNDERSTOOD),
    ("zeros", "no such language", True, qm.E_INVALIDARG),
    ("zeros", "PCL\0", False, qm.E_INVALIDARG),
    ("zeros\0ignored", "PCL", True, qm.E_INVALIDARG),
])
def test_jobs_not_understood_get_no_count(files, name, pdl, compatible, code):
    with pytest.raises(qm.QuirometerError) as e:
        qm.count(files / name, pdl, compatible)
    assert e.value.code == code
    assert qm.detect(files / "zeros") is None


def test_unreadable_pdf_keeps_the_exports_mark_and_raises_with_the_readers_reason(files):
    assert qm.GetTotalPageCount_PDF(files / "bad.pdf").pages == 0xFFFFFFFF
    with pytest.raises(qm.QuirometerError) as e:
        qm.count(files / "bad.pdf", "pdf", compatible=True)
    assert e.value.code == qm.E_NOT_UNDERSTOOD and e.value.pdf_error in str(e.value)
    cxx_name, text = ctypes.create_string_buffer(64), ctypes.create_string_buffer(64)
    ctypes.CDLL(os.environ["QUIROMETER_LIBRARY"])._Z16pdfreadLastErrorPci(cxx_name, 64)
    assert e.value.pdf_error == qm.pdf_last_error() == cxx_name.value.decode() != ""


class FakeLibrary:
    """Stands in for the library: each count writes the given accurate record,
    holds a moment, and notes how many calls of its group run at once."""
    GROUPS = {"PCL": "pcl", "UnixTextPCL": "pcl", "PDF": "pdf", "ESCP2": "escp2", "CANON": "canon"}

    def __init__(self, **record):
        self.record, self.guard, self.running, self.most = record, threading.Lock(), Counter(), Counter()

    def _call(self, tag):
        group = self.GROUPS.get(tag, tag)
        with self.guard:
            self.running[group] += 1
            self.most[group] = max(self.most[group], self.running[group])
        time.sleep(0.005)
        with self.guard:
            self.running[group] -= 1
        return 0

    def QuirometerCanonicalTag(self, raw):
        return raw

    def QuirometerErrorText(self, code):
        return b"fake failure"

    def QuirometerCount(self, path, tag, job):
        for name, value in self.record.items():
            if name in ("pageList", "code"):
                continue
            setattr(job._obj, name, value)
        return self._call(tag.decode())

    def QuirometerCountPages(self, path, tag, job, callback, context):
        for number, (color, side, width, length) in enumerate(self.record.get("pageList", ()), 1):
            page = _native.QuirometerPage(number, color, side, (ctypes.c_uint8 * 2)(), width, length)
            if callback(ctypes.pointer(page), context) != 0:
                break
        return self.record.get("code", self._call(tag.decode()))

    def QuirometerPdfLastError(self, buffer, size):
        self._call("PDF")

    def __getattr__(self, name):
        return lambda path, rec: self._call(name.removeprefix("GetTotalPageCount_"))


@pytest.mark.parametrize("written, seen", [
    (dict(unknown=0x10, certainty=1, color=1, detected=b"unknown"),
     dict(unknown=("paper",), certainty="estimated", color=True, detected=None)),
    (dict(unknown=0x05, duplex=1, detected=b"PCL"), dict(unknown=("pages", "color"), certainty="exact", duplex=True)),
    (dict(unknown=0x0A, pages=7, copies=2, paperWidth=8.27, pdl=b"PCL"),
     dict(unknown=("copies", "duplex"), pages=7, copies=2, paper_width=8.27, pdl="PCL")),
])
def test_the_accurate_record_reads_as_a_job(monkeypatch, written, seen):
    monkeypatch.setattr(_native, "_library", FakeLibrary(**written))
    job = qm.count("job", "PCL")
    assert {name: getattr(job, name) for name in seen} == seen


def test_each_page_reads_with_the_names_of_its_codes(monkeypatch):
    pages = [(0, 0, 8.27, 11.69), (1, 1, 11.69, 16.54), (2, 2, 0.0, 0.0), (9, 9, 8.5, 11.0)]
    monkeypatch.setattr(_native, "_library", FakeLibrary(pageList=pages))
    assert list(qm.pages("job", "PCL")) == [
        qm.Page(1, "mono", "none", 8.27, 11.69), qm.Page(2, "color", "front", 11.69, 16.54),
        qm.Page(3, "unknown", "back", 0.0, 0.0), qm.Page(4, "unknown", "none", 8.5, 11.0)]
    monkeypatch.setattr(_native, "_library", FakeLibrary(pageList=pages, code=qm.E_NOT_UNDERSTOOD))
    with pytest.raises(qm.QuirometerError) as e:
        qm.pages("job", "PCL")
    assert e.value.code == qm.E_NOT_UNDERSTOOD


def test_calls_of_one_group_never_overlap(monkeypatch):
    fake = FakeLibrary()
    monkeypatch.setattr(_native, "_library", fake)
    calls = (lambda t: qm.count("job", t), lambda t: qm.count("job", t, compatible=True), lambda t: export(t)("job"))
    work = [(c, t) for t in ("PCL", "UnixTextPCL", "PDF", "ESCP2", "CANON", "PCLXL") for c in calls] * 6
    work += [(lambda t: qm.pdf_last_error(), "PDF")] * 6
    random.Random(7).shuffle(work)
    with ThreadPoolExecutor(max_workers=12) as pool:
        list(pool.map(lambda w: w[0](w[1]), work))
    assert [fake.most[g] for g in ("pcl", "pdf", "escp2", "canon")] == [1, 1, 1, 1]
    assert fake.most["PCLXL"] > 1  # a language of no group runs in parallel


def test_threads_count_like_one_thread():
    work = [(s.path, s.tag) for s in SAMPLES] * 4
    random.Random(11).shuffle(work)
    alone = {w: export(w[1])(w[0]) for w in work}
    with ThreadPoolExecutor(max_workers=8) as pool:
        together = list(pool.map(lambda w: (w, export(w[1])(w[0]), qm.count(*w, compatible=True).pages), work))
    assert [(alone[w], alone[w].pages) for w, _, _ in together] == [(rec, pages) for _, rec, pages in together]


@pytest.mark.parametrize("layout", ["beside", "installed", "variable", "bad variable", "nowhere"])
def test_the_library_is_found(tmp_path, layout):
    site = tmp_path / "lib" / "python3" / "site-packages"
    shutil.copytree(Path(qm.__file__).parent, site / "quirometer", ignore=shutil.ignore_patterns("_*.pyc"))
    env = {k: v for k, v in os.environ.items() if k not in ("QUIROMETER_LIBRARY", "LD_LIBRARY_PATH")}
    want = {"beside": site / "quirometer" / "libquirometer.so.5", "installed": tmp_path / "lib" / "libquirometer.so.5",
            "variable": tmp_path / "any.so", "bad variable": tmp_path / "missing.so"}.get(layout)
    if layout != "nowhere":
        if layout != "bad variable":
            want.symlink_to(Path(os.environ["QUIROMETER_LIBRARY"]).resolve())
        if layout.endswith("variable"):
            env["QUIROMETER_LIBRARY"] = str(want)
    (site / "quirometer" / "_installed.py").write_text('LIBRARY_DIR = "../../.."\n')
    script = "import quirometer as q; print(q.library_version(), q._native.library()._name)"
    result = subprocess.run([sys.executable, "-c", script], env={**env, "PYTHONPATH": str(site)},
                            capture_output=True, text=True)
    if layout in ("bad variable", "nowhere"):
        assert result.returncode != 0 and "QUIROMETER_LIBRARY" in result.stderr
    else:
        assert result.stdout.split() == [qm.library_version(), str(want)], result.stderr


def test_languages_without_an_export():
    corpus = Path(__file__).resolve().parents[1] / "corpus" / "jobs"
    job = corpus / "urf" / "a4-report-3.appleraster-srgb-duplex.urf"
    assert qm.detect(job) == "URF"
    assert qm.canonical_tag("AppleRaster") == "URF"
    counted = qm.count(job, "urf")
    assert (counted.pdl, counted.pages, counted.duplex, counted.unknown) == ("URF", 3, True, ("copies",))
    with pytest.raises(qm.QuirometerError) as refused:
        qm.count(job, "urf", compatible=True)
    assert refused.value.code == qm.E_INVALIDARG
    # Forced as another raster language, the job is not understood.
    with pytest.raises(qm.QuirometerError) as other:
        qm.count(job, "pwg")
    assert other.value.code == qm.E_NOT_UNDERSTOOD
