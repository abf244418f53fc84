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

import pytest

import quirometer as qm
from quirometer import _native
from conftest import agrees, read_samples

SAMPLES = read_samples()
IDS = [s.path.name for s in SAMPLES]


def export(tag):
    return getattr(qm, f"GetTotalPageCount_{tag}")


@pytest.mark.parametrize("sample", SAMPLES, ids=IDS)
def test_compatible_count_is_the_exports_record(sample):
    if sample.compatible_code:
        for call in (lambda: qm.count(sample.path, sample.tag, compatible=True), lambda: export(sample.tag)(sample.path)):
            with pytest.raises(qm.QuirometerError) as e:
                call()
            assert e.value.code == sample.compatible_code
        return
    job = qm.count(sample.path, sample.tag.lower(), compatible=True)
    rec = export(sample.tag)(sample.path)
    assert (job.pdl, job.compatible) == (sample.tag, True)
    assert (job.pages, job.copies, job.color, job.duplex, job.paper_width, job.paper_length) == (
        rec.pages, rec.copies, bool(rec.color), bool(rec.duplex), rec.paper_width, rec.paper_length)
    assert agrees(job, sample.compatible) == ""


@pytest.mark.parametrize("sample", SAMPLES, ids=IDS)
def test_accurate_count_meets_the_truth(sample):
    job = qm.count(str(sample.path), sample.tag)
    assert agrees(job, sample.truth) == ""
    assert job.pdl == sample.tag and not job.compatible
    assert job.certainty in ("exact", "estimated")
    assert set(job.unknown) <= set(qm.FIELDS)
    assert ("paper" in job.unknown) == (job.paper_width == 0.0)


@pytest.mark.parametrize("sample", SAMPLES, ids=IDS)
def test_detection_names_the_language(sample):
    assert qm.detect(sample.path) == sample.tag
    job = qm.count(sample.path)
    assert (job.pdl, job.detected) == (sample.tag, sample.tag)
    assert qm.count(sample.path, compatible=True).pdl == sample.tag


@pytest.fixture(scope="module")
def files(tmp_path_factory):
    d = tmp_path_factory.mktemp("files")
    (d / "empty").write_bytes(b"")
    (d / "zeros").write_bytes(bytes(4096))
    (d / "bad.pdf").write_bytes(b"%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\n%%EOF\n")
    return d


CALLS = {
    "detect": qm.detect,
    "count": lambda p: qm.count(p, "PCLXL"),
    "count compatible": lambda p: qm.count(p, "PCLXL", compatible=True),
    "export": qm.GetTotalPageCount_PCLXL,
}


@pytest.mark.parametrize("call", CALLS.values(), ids=CALLS.keys())
@pytest.mark.parametrize("name, code", [
    ("missing", qm.E_FILE_NOT_FOUND),
    ("no-such-folder/job", qm.E_PATH_NOT_FOUND),
    (".", qm.E_ACCESS_DENIED),
    ("empty", qm.E_EMPTY_FILE),
])
def test_file_failures_raise_the_code_and_its_text(files, call, name, code):
    with pytest.raises(qm.QuirometerError) as e:
        call(files / name)
    assert (e.value.code, e.value.text) == (code, qm.error_text(code))
    assert f"0x{code:08X}" in str(e.value) and str(files / name) in str(e.value)


@pytest.mark.parametrize("tag", qm.TAGS)
def test_every_export_is_reached_by_its_name(files, tag):
    missing = files / "missing"
    if tag == "PDF":  # its export reports a file it cannot open inside the record
        assert qm.GetTotalPageCount_PDF(missing).pages == 0xFFFFFFFF
        code = qm.E_NOT_UNDERSTOOD
    else:
        code = qm.E_FILE_NOT_FOUND
        with pytest.raises(qm.QuirometerError) as e:
            export(tag)(missing)
        assert (e.value.code, e.value.pdl) == (code, tag)
    with pytest.raises(qm.QuirometerError) as e:
        qm.count(missing, tag, compatible=True)
    assert (e.value.code, e.value.pdl) == (code, tag)


@pytest.mark.parametrize("args, code", [
    (("zeros",), qm.E_UNKNOWN_PDL),
    (("zeros", "PCL"), qm.E_NOT_UNDERSTOOD),
    (("zeros", "no such language"), qm.E_INVALIDARG),
    (("zeros", "PCL\0"), qm.E_INVALIDARG),
    (("zeros\0ignored", "PCL"), qm.E_INVALIDARG),
    (("zeros\0ignored", "PCL", True), qm.E_INVALIDARG),
])
def test_jobs_not_understood_get_no_count(files, args, code):
    with pytest.raises(qm.QuirometerError) as e:
        qm.count(files / args[0], *args[1:])
    assert e.value.code == code


def test_unknown_language_detects_as_none(files):
    assert qm.detect(files / "zeros") is None


def test_unreadable_pdf_keeps_the_mark_in_the_export_and_raises_with_the_readers_reason(files):
    rec = qm.GetTotalPageCount_PDF(files / "bad.pdf")
    assert rec.pages == 0xFFFFFFFF
    with pytest.raises(qm.QuirometerError) as e:
        qm.count(files / "bad.pdf", "pdf", compatible=True)
    assert e.value.code == qm.E_NOT_UNDERSTOOD and e.value.pdf_error
    assert e.value.pdf_error == qm.pdf_last_error() and e.value.pdf_error in str(e.value)
    # The C name reads the same text as the C++ one.
    cxx = ctypes.CDLL(os.environ["QUIROMETER_LIBRARY"])._Z16pdfreadLastErrorPci
    text = ctypes.create_string_buffer(256)
    cxx(text, 256)
    assert text.value.decode() == e.value.pdf_error


@pytest.mark.parametrize("alias, tag", [
    ("ps", "POSTSCRIPT"), ("PCL6", "PCLXL"), ("esc/p2", "ESCP2"), ("UnixTextPCL", "UnixTextPCL"),
    ("nonsense", None), ("PCL\0", None),
])
def test_canonical_tag(alias, tag):
    assert qm.canonical_tag(alias) == tag


GROUPS = {"PCL": "pcl", "UnixTextPCL": "pcl", "PDF": "pdf", "ESCP2": "escp2", "CANON": "canon"}


class OverlapRecorder:
    """Stands in for the library: every counting call holds for a moment and
    records how many calls of its group run at once."""

    def __init__(self):
        self.guard = threading.Lock()
        self.running = Counter()
        self.most = Counter()

    def _call(self, tag):
        group = GROUPS.get(tag, tag)
        with self.guard:
            self.running[group] += 1
            self.most[group] = max(self.most[group], self.running[group])
        time.sleep(0.005)
        with self.guard:
            self.running[group] -= 1
        return 0

    def QuirometerCanonicalTag(self, raw):
        return raw

    def QuirometerCount(self, path, tag, job):
        return self._call(tag.decode())

    def QuirometerPdfLastError(self, buffer, size):
        self._call("PDF")

    def __getattr__(self, name):
        tag = name.removeprefix("GetTotalPageCount_")
        return lambda path, rec: self._call(tag)


class RecordWriter:
    """Stands in for the library's accurate count and writes a given record."""

    def __init__(self, **fields):
        self.fields = fields

    def QuirometerCanonicalTag(self, raw):
        return raw

    def QuirometerCount(self, path, tag, job):
        for name, value in self.fields.items():
            setattr(job._obj, name, value)
        return 0


@pytest.mark.parametrize("written, seen", [
    (dict(unknown=0x10, certainty=1, color=1, detected=b"unknown"),
     dict(unknown=("paper",), certainty="estimated", color=True, detected=None)),
    (dict(unknown=0x05, certainty=0, duplex=1, detected=b"PCL"),
     dict(unknown=("pages", "color"), certainty="exact", duplex=True, detected="PCL")),
    (dict(unknown=0x0A, pages=7, copies=2, paperWidth=8.27, paperLength=11.69, pdl=b"PCL"),
     dict(unknown=("copies", "duplex"), pages=7, copies=2, paper_width=8.27, paper_length=11.69, pdl="PCL")),
])
def test_the_accurate_record_reads_as_a_job(monkeypatch, written, seen):
    monkeypatch.setattr(_native, "_library", RecordWriter(**written))
    job = qm.count("job", "PCL")
    assert {name: getattr(job, name) for name in seen} == seen


def test_calls_of_one_group_never_overlap(monkeypatch):
    fake = OverlapRecorder()
    monkeypatch.setattr(_native, "_library", fake)
    work = [(call, tag) for tag in ("PCL", "UnixTextPCL", "PDF", "ESCP2", "CANON", "PCLXL") for call in (
        lambda t: qm.count("job", t), lambda t: qm.count("job", t, compatible=True), lambda t: export(t)("job"))] * 6
    work.append((lambda t: qm.pdf_last_error(), "PDF"))
    random.Random(7).shuffle(work)
    with ThreadPoolExecutor(max_workers=12) as pool:
        list(pool.map(lambda w: w[0](w[1]), work))
    assert fake.most["pcl"] == fake.most["pdf"] == fake.most["escp2"] == fake.most["canon"] == 1
    assert fake.most["PCLXL"] > 1  # a language of no group is not serialised


def test_threads_count_like_one_thread():
    work = [(s.path, s.tag) for s in SAMPLES] * 4
    random.Random(11).shuffle(work)
    alone = {(p, t): export(t)(p) for p, t in set(work)}
    with ThreadPoolExecutor(max_workers=8) as pool:
        together = list(pool.map(lambda w: (w, export(w[1])(w[0]), qm.count(w[0], w[1], compatible=True)), work))
    for key, rec, job in together:
        assert rec == alone[key]
        assert (job.pages, job.copies) == (rec.pages, rec.copies)


def _load_in_child(package_dir, env):
    child = {k: v for k, v in os.environ.items() if k not in ("QUIROMETER_LIBRARY", "LD_LIBRARY_PATH")}
    child.update(env, PYTHONPATH=str(package_dir))
    script = "import quirometer as q; print(q.library_version()); print(q._native._library._name)"
    return subprocess.run([sys.executable, "-c", script], env=child, capture_output=True, text=True)


@pytest.mark.parametrize("layout", ["beside", "installed", "variable", "bad variable", "nowhere"])
def test_the_library_is_found(tmp_path, layout):
    built = Path(os.environ["QUIROMETER_LIBRARY"]).resolve()
    source = Path(qm.__file__).parent
    site = tmp_path / "lib" / "python3" / "site-packages"
    shutil.copytree(source, site / "quirometer", ignore=shutil.ignore_patterns("__pycache__", "_installed.py"))
    env = {}
    if layout == "beside":
        want = site / "quirometer" / "libquirometer.so.5"
    elif layout == "installed":
        want = tmp_path / "lib" / "libquirometer.so.5"
        (site / "quirometer" / "_installed.py").write_text('LIBRARY_DIR = "../../.."\n')
    elif layout == "variable":
        want = tmp_path / "elsewhere.so"
        env["QUIROMETER_LIBRARY"] = str(want)
    elif layout == "bad variable":
        env["QUIROMETER_LIBRARY"] = str(tmp_path / "missing.so")
    if layout in ("beside", "installed", "variable"):
        want.symlink_to(built)
    result = _load_in_child(site, env)
    if layout in ("bad variable", "nowhere"):
        assert result.returncode != 0 and "QUIROMETER_LIBRARY" in result.stderr
    else:
        assert result.returncode == 0, result.stderr
        assert result.stdout.split("\n")[:2] == [qm.library_version(), str(want)]
