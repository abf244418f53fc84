"""The accounting backend behind a real cupsd: what the printer receives,
what the store records and what CUPS logs, for raw, driver and driverless
queues and for every fault the backend must survive."""
import contextlib
import json
import sqlite3
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass

import pytest

from conftest import SAMPLES, Capture, accounting, record_of, records, run, wait_for

PCL_COPIES3 = SAMPLES / "letter-memo-1.ljet4pjl-copies3.pcl"  # 1 page, 3 copies
PCL_DUPLEX3 = SAMPLES / "a4-report-3.ljet4d-duplex.pcl"      # 3 pages, two-sided
PXL_COPIES3 = SAMPLES / "letter-memo-1.pxlmono-copies3.pxl"  # 1 page, 3 copies
PDF_2 = SAMPLES / "two-pages-one-key-per-line.pdf"           # 2 pages
QUOTA = 5  # pages a day for each user of the quota queue


@dataclass
class Queues:
    raw: str
    laser: str
    quota: str
    fail: str
    retry: str
    printer: Capture      # behind raw, laser and quota
    retry_state: object


@pytest.fixture(scope="module")
def queues(cups, workdir):
    printer = Capture()
    abort = ("-o", "printer-error-policy=abort-job")
    cups.quotas.append(("qm-quota", QUOTA, "day"))
    cups.write_accounting(store=f"sqlite:{cups.db}")
    cups.add_queue("qm-raw", "quirometer:" + printer.uri, *abort)
    # CUPS's sample LaserJet driver with its duplexer installed: the backend
    # gets the PCL the filter chain makes.
    cups.add_queue("qm-laser", "quirometer:" + printer.uri, "-m", "drv:///sample.drv/laserjet.ppd",
                   "-o", "Option1=True", *abort)
    cups.add_queue("qm-quota", "quirometer:" + printer.uri, *abort)
    cups.add_queue("qm-fail", "quirometer:qmfail://nowhere", *abort)
    state = workdir / "retry-state"
    state.mkdir()
    state.chmod(0o777)
    cups.add_queue("qm-retry", f"quirometer:qmflaky:{state}", "-o", "printer-error-policy=retry-job")
    yield Queues("qm-raw", "qm-laser", "qm-quota", "qm-fail", "qm-retry", printer, state)
    printer.close()


def store(cups):
    return f"sqlite:{cups.db}"


def totals(cups, queue, job):
    """The totals cupsd logged for the job in page_log."""
    return [int(f[4]) for f in cups.page_log(queue, job) if f[3] == "total"]


def print_job(cups, queue, path, *options, user="tester", want="completed"):
    job = cups.lp(queue, *options, path, user=user)
    state = cups.wait_done(job, queue)
    assert state["job-state"] == want, f"{state}\n{cups.error_log(job)[-4000:]}"
    return job, state


def test_cups_lists_the_backend_among_its_devices(cups):
    # Only our backend is asked: the others would look for printers off this host.
    out = run(["lpinfo", "-h", cups.server, "--include-schemes", "quirometer", "-v"]).stdout
    assert out.split() == ["network", "quirometer"], out


# file, lp options, then the record: pdl, pages, copies, CUPS copies, printed, duplex, sheets
RAW_JOBS = [
    (PCL_COPIES3, ("-n", "2"), "PCL", 1, 3, 2, 6, False, 6),
    (PCL_DUPLEX3, (), "PCL", 3, 1, 1, 3, True, 2),
    # A raw queue sends the bytes as they are: sides= changes nothing.
    (PCL_DUPLEX3, ("-n", "3", "-o", "sides=one-sided"), "PCL", 3, 1, 3, 9, True, 6),
    (PXL_COPIES3, (), "PCLXL", 1, 3, 1, 3, False, 3),
    (PDF_2, ("-n", "2"), "PDF", 2, 1, 2, 4, False, 4),
]


@pytest.mark.parametrize("path,options,pdl,pages,copies,cups_copies,printed,duplex,sheets", RAW_JOBS,
                         ids=[f"{j[0].name}{''.join(j[1])}" for j in RAW_JOBS])
def test_raw_job_is_sent_as_it_came_and_recorded(cups, queues, path, options, pdl, pages, copies, cups_copies,
                                                 printed, duplex, sheets):
    queues.printer.take()
    job, state = print_job(cups, queues.raw, path, "-o", "raw", *options)
    # The wrapped socket backend sends the file once per CUPS copy.
    assert queues.printer.take() == [path.read_bytes() * cups_copies]
    r = record_of(store(cups), queues.raw, job)
    assert (r["status"], r["pdl"], r["pages"], r["copies"], r["cups_copies"], r["printed"], r["sheets"]) == (
        "printed", pdl, pages, copies, cups_copies, printed, sheets)
    assert bool(r.get("duplex", duplex)) == duplex
    assert (r["user"], r["title"], r["error"]) == ("tester", path.name, "")
    # CUPS learns the true pages: page_log and the job's impressions.
    assert totals(cups, queues.raw, job)[-1:] == [printed]
    assert int(state["job-impressions-completed"]) == printed


# lp options of a two-page PDF on the driver queue, then pages of one copy,
# copies, printed, duplex and sheets in the PCL that reaches the backend.
DRIVER_JOBS = [
    (("-n", "2", "-o", "sides=two-sided-long-edge"), 2, 2, 4, True, 2),
    (("-n", "3", "-o", "sides=one-sided"), 2, 3, 6, False, 6),
]


@pytest.mark.parametrize("options,pages,copies,printed,duplex,sheets", DRIVER_JOBS,
                         ids=["".join(j[0]) for j in DRIVER_JOBS])
def test_driver_queue_records_the_pcl_of_its_filters(cups, queues, options, pages, copies, printed, duplex,
                                                     sheets):
    queues.printer.take()
    job, state = print_job(cups, queues.laser, PDF_2, *options)
    sent = queues.printer.take()
    assert len(sent) == 1 and sent[0].startswith(b"\x1bE"), [s[:20] for s in sent]
    r = record_of(store(cups), queues.laser, job)
    # The filters hand the job on standard input: the backend sends it once.
    assert (r["status"], r["pdl"], r["cups_copies"], r["file_size"]) == ("printed", "PCL", 1, len(sent[0]))
    assert (r["pages"], r["copies"], r["printed"], bool(r["duplex"]), r["sheets"]) == (
        pages, copies, printed, duplex, sheets)
    assert totals(cups, queues.laser, job)[-1:] == [printed]
    assert int(state["job-impressions-completed"]) == printed


@pytest.fixture(scope="module")
def driverless(cups, queues, ippeveprinter):
    queue = "qm-ipp"
    # An IPP Everywhere queue is made from the printer's answer to an ipp:
    # URI; the backend is put in front of it afterwards.
    cups.lpadmin("-p", queue, "-v", ippeveprinter.uri, "-m", "everywhere", "-o", "printer-error-policy=abort-job")
    cups.add_queue(queue, "quirometer:" + ippeveprinter.uri)
    return queue


@pytest.mark.parametrize("cups_copies", [1, 2])
def test_driverless_queue_records_what_the_ipp_printer_prints(cups, driverless, ippeveprinter, cups_copies):
    before = set(ippeveprinter.spool.iterdir())
    job, state = print_job(cups, driverless, PDF_2, "-n", cups_copies)
    got = wait_for(lambda: set(ippeveprinter.spool.iterdir()) - before, 30, "the document at ippeveprinter")
    assert len(got) == 1
    document = got.pop().read_bytes()
    # CUPS sends the PDF once and asks the printer for the copies.
    r = record_of(store(cups), driverless, job)
    assert (r["status"], r["pdl"], r["pages"], r["file_size"]) == ("printed", "PDF", 2, len(document))
    assert (r["cups_copies"], r["printed"]) == (cups_copies, 2 * cups_copies)
    assert totals(cups, driverless, job)[-1:] == [2 * cups_copies]
    assert int(state["job-impressions-completed"]) == 2 * cups_copies


def test_raster_only_printer_prints_and_its_pwg_raster_is_counted(cups, queues, raster_printer):
    queue = "qm-raster"
    cups.lpadmin("-p", queue, "-v", raster_printer.uri, "-m", "everywhere", "-o", "printer-error-policy=abort-job")
    cups.add_queue(queue, "quirometer:" + raster_printer.uri)
    job, _ = print_job(cups, queue, PDF_2, "-n", "2", "-o", "print-color-mode=monochrome")
    got = wait_for(lambda: list(raster_printer.spool.iterdir()), 30, "the document at ippeveprinter")
    assert len(got) == 1 and got[0].read_bytes().startswith(b"RaS2"), got
    # The PWG Raster the printer got is counted: 2 pages, twice, all mono.
    r = record_of(store(cups), queue, job)
    assert (r["status"], r["pdl"], r["file_size"]) == ("printed", "PWGRaster", got[0].stat().st_size), r
    assert r["printed"] == 4 and r["color_pages"] == 0, r


def test_quota_refuses_the_job_that_would_exceed_it(cups, queues):
    queues.printer.take()
    first, _ = print_job(cups, queues.quota, PCL_DUPLEX3, "-o", "raw", user="quota-user")  # 3 of 5 pages
    refused, state = print_job(cups, queues.quota, PCL_DUPLEX3, "-o", "raw", user="quota-user", want="canceled")
    other, _ = print_job(cups, queues.quota, PCL_DUPLEX3, "-o", "raw", user="other-user")  # a quota per user
    # The refused job never reached the printer.
    assert queues.printer.take() == [PCL_DUPLEX3.read_bytes()] * 2
    assert record_of(store(cups), queues.quota, first, )["status"] == "printed"
    assert record_of(store(cups), queues.quota, other)["status"] == "printed"
    r = record_of(store(cups), queues.quota, refused)
    assert r["status"] == "refused" and "quota" in r["error"].lower(), r
    # The user sees why in the job's state message.
    assert "quota" in state["job-printer-state-message"].lower(), state
    assert totals(cups, queues.quota, refused) != [3]


def test_failing_wrapped_backend_is_recorded_as_failed(cups, queues):
    job, state = print_job(cups, queues.fail, PCL_COPIES3, "-o", "raw", want="aborted")
    r = record_of(store(cups), queues.fail, job)
    assert r["status"] == "failed" and r["error"], r
    assert (r["pages"], r["copies"]) == (1, 3)  # what it would have printed
    assert 3 not in totals(cups, queues.fail, job)


def test_unknown_language_prints_and_is_recorded_as_not_counted(cups, queues, workdir):
    text = workdir / "plain-words.txt"
    text.write_bytes(b"Just words for a line printer, no page language at all.\n" * 40)
    queues.printer.take()
    job, _ = print_job(cups, queues.raw, text, "-o", "raw")
    assert queues.printer.take() == [text.read_bytes()]
    r = record_of(store(cups), queues.raw, job)
    assert r["status"] == "not counted" and r["error"], r
    assert (r["printed"], r["file_size"]) == (0, text.stat().st_size)


def test_titles_are_stored_as_given_and_made_printable(cups, queues):
    # cupsd keeps names of up to 255 bytes.
    title = "Q3 'budget'; DROP TABLE jobs; -- \"final\" \u00e9t\u00e9 " + "x" * 150
    job, _ = print_job(cups, queues.raw, PCL_DUPLEX3, "-o", "raw", "-t", title, user="o'brien")
    r = record_of(store(cups), queues.raw, job)
    assert r["user"] == "o'brien"
    assert r["title"] == title
    assert r["status"] == "printed"
    report = accounting("report", "--by", "user", "--csv", "--store", store(cups)).stdout
    assert "o'brien" in report


def journal_lines(cups):
    return cups.journal.read_text().splitlines() if cups.journal.exists() else []


def keys(cups):
    return sorted((r["printer"], int(r["job_id"])) for r in records(store(cups)))


@contextlib.contextmanager
def locked_store(cups, queues):
    """The store held by another writer; the backends give up on it after a second."""
    print_job(cups, queues.raw, PCL_COPIES3, "-o", "raw")  # the store exists
    cups.write_accounting(store=f"sqlite:{cups.db}", extra="timeout = 1\n")
    lock = sqlite3.connect(cups.db, isolation_level=None, timeout=10)
    lock.execute("BEGIN EXCLUSIVE")
    try:
        queues.printer.take()
        yield
    finally:
        lock.execute("ROLLBACK")
        lock.close()
        cups.write_accounting(store=f"sqlite:{cups.db}")


def test_locked_store_journals_and_the_next_job_replays(cups, queues):
    with locked_store(cups, queues):
        locked, _ = print_job(cups, queues.raw, PCL_DUPLEX3, "-o", "raw")
        assert queues.printer.take() == [PCL_DUPLEX3.read_bytes()]  # it printed all the same
        assert len(journal_lines(cups)) == 1
    assert (queues.raw, locked) not in keys(cups)
    after, _ = print_job(cups, queues.raw, PCL_COPIES3, "-o", "raw")
    assert record_of(store(cups), queues.raw, locked)["printed"] == 3
    assert record_of(store(cups), queues.raw, after)["status"] == "printed"
    assert journal_lines(cups) == []


def test_unwritable_store_journals_and_replay_moves_the_records(cups, queues, workdir):
    blocker = workdir / "not-a-folder"
    blocker.write_text("")
    cups.write_accounting(store=f"sqlite:{blocker}/accounting.db")  # cannot be created, even by root
    try:
        first, _ = print_job(cups, queues.raw, PCL_COPIES3, "-o", "raw", "-n", "2")
        second, _ = print_job(cups, queues.raw, PXL_COPIES3, "-o", "raw")
    finally:
        cups.write_accounting(store=f"sqlite:{cups.db}")
    assert len(journal_lines(cups)) == 2
    assert not {(queues.raw, first), (queues.raw, second)} & set(keys(cups))

    out = accounting("replay", "--store", store(cups), env=cups.env()).stdout
    assert "2" in out, out
    assert record_of(store(cups), queues.raw, first)["printed"] == 6
    assert record_of(store(cups), queues.raw, second)["printed"] == 3
    assert journal_lines(cups) == []
    # Replaying again adds nothing, and the journal the command rewrote still
    # takes the backend's records (the backend does not run as root).
    before = keys(cups)
    accounting("replay", "--store", store(cups), env=cups.env())
    assert keys(cups) == before
    cups.write_accounting(store=f"sqlite:{blocker}/accounting.db")
    try:
        third, _ = print_job(cups, queues.raw, PCL_DUPLEX3, "-o", "raw")
    finally:
        cups.write_accounting(store=f"sqlite:{cups.db}")
    assert len(journal_lines(cups)) == 1, cups.error_log(third)[-3000:]
    accounting("replay", "--store", store(cups), env=cups.env())
    assert record_of(store(cups), queues.raw, third)["printed"] == 3


def test_job_prints_when_neither_store_nor_journal_can_be_written(cups, queues, workdir):
    blocker = workdir / "not-a-folder-either"
    blocker.write_text("")
    cups.write_accounting(store=f"sqlite:{blocker}/accounting.db", journal=f"{blocker}/journal")
    try:
        queues.printer.take()
        job, state = print_job(cups, queues.raw, PCL_COPIES3, "-o", "raw", "-n", "2")
    finally:
        cups.write_accounting(store=f"sqlite:{cups.db}")
    assert queues.printer.take() == [PCL_COPIES3.read_bytes() * 2]
    assert int(state["job-impressions-completed"]) == 6
    # The record is kept in CUPS's log for the administrator.
    log = cups.error_log(job)
    assert "quirometer record" in log and f'"job_id":{job},' in log.replace('\\"', '"'), log[-3000:]


@pytest.fixture(scope="module")
def burst(cups, queues):
    """Five queues to one printer: cupsd runs one job at a time per queue, so
    five backends write at once."""
    names = [f"qm-burst{i}" for i in range(5)]
    for queue in names:
        cups.add_queue(queue, "quirometer:" + queues.printer.uri, "-o", "printer-error-policy=abort-job")
    return names


def submit_at_once(cups, queues, burst, count, path):
    """Submits `count` jobs over the burst queues at once; returns (queue, job) pairs."""
    with ThreadPoolExecutor(count) as pool:
        jobs = list(pool.map(lambda i: (burst[i % len(burst)], cups.lp(burst[i % len(burst)], "-o", "raw", "-t",
                                                                       f"burst {i}", path, user=f"burst{i % 4}")),
                             range(count)))
    for queue, job in jobs:
        assert cups.wait_done(job, queue, timeout=120)["job-state"] == "completed"
    return jobs


def test_twenty_jobs_at_once_give_twenty_records(cups, queues, burst):
    queues.printer.take()
    jobs = submit_at_once(cups, queues, burst, 20, PCL_DUPLEX3)
    assert queues.printer.take() == [PCL_DUPLEX3.read_bytes()] * 20
    mine = [r for r in records(store(cups)) if (r["printer"], int(r["job_id"])) in jobs]
    assert sorted((r["printer"], int(r["job_id"])) for r in mine) == sorted(jobs)
    assert {(r["status"], r["printed"]) for r in mine} == {("printed", 3)}
    assert sorted(r["title"] for r in mine) == sorted(f"burst {i}" for i in range(20))
    assert journal_lines(cups) == []


def test_jobs_journaled_at_once_are_replayed_once_each(cups, queues, burst):
    with locked_store(cups, queues):
        jobs = submit_at_once(cups, queues, burst, 10, PXL_COPIES3)
        assert len(queues.printer.take()) == 10
    # One whole line per record, however the backends' appends met.
    lines = journal_lines(cups)
    assert sorted((j["printer"], j["job_id"]) for j in map(json.loads, lines)) == sorted(jobs)
    accounting("replay", "--store", store(cups), env=cups.env())
    accounting("replay", "--store", store(cups), env=cups.env())
    mine = [r for r in records(store(cups)) if (r["printer"], int(r["job_id"])) in jobs]
    assert sorted((r["printer"], int(r["job_id"]), r["printed"]) for r in mine) == sorted(
        (q, j, 3) for q, j in jobs)
    assert journal_lines(cups) == []


def test_cancelled_job_is_recorded_as_not_printed(cups, queues):
    queues.printer.hold()
    try:
        job = cups.lp(queues.raw, "-o", "raw", PCL_DUPLEX3)
        assert queues.printer.connected.wait(30), cups.error_log(job)[-3000:]
        cups.cancel(job)
        assert cups.wait_done(job, queues.raw)["job-state"] == "canceled"
    finally:
        queues.printer.release()
    r = wait_for(lambda: (lambda r: r if r["status"] != "printed" else None)(record_of(store(cups), queues.raw, job)),
                 20, "the cancelled job's record")
    assert r["status"] == "failed" and "cancel" in r["error"].lower(), r
    assert 3 not in totals(cups, queues.raw, job)
    wait_for(queues.printer.received, 30, "the held connection to end")
    queues.printer.take()


def test_backend_that_needs_root_runs_when_ours_is_installed_0700(cups, workdir):
    state = workdir / "root-state"
    state.mkdir()
    state.chmod(0o777)
    queue = "qm-root"
    cups.add_queue(queue, f"quirometer:qmroot:{state}", "-o", "printer-error-policy=abort-job")
    ours = cups.serverbin / "backend" / "quirometer"
    # Installed 0755, our backend runs as lp and cannot run a backend only
    # root may run: the queue stops with the reason and the job waits.
    job = cups.lp(queue, "-o", "raw", PCL_DUPLEX3)
    wait_for(lambda: (lambda a: a.get("job-state") == "pending" and
                      "Permission denied" in a.get("job-printer-state-message", ""))(cups.job(job, queue)),
             30, "the job to wait on the stopped queue")
    assert record_of(store(cups), queue, job)["status"] == "failed"
    ours.chmod(0o700)  # cupsd runs it as root now, and it runs the other as root
    try:
        cups.enable(queue)
        assert cups.wait_done(job, queue)["job-state"] == "completed"
    finally:
        ours.chmod(0o755)
    assert (state / f"uid-{job}").read_text().strip() == "0"
    r = record_of(store(cups), queue, job)
    assert (r["status"], r["printed"], r["error"]) == ("printed", 3, ""), r


def test_retried_job_updates_its_record(cups, queues):
    job, _ = print_job(cups, queues.retry, PCL_COPIES3, "-o", "raw")
    assert (queues.retry_state / f"attempt-{job}").exists()  # the first attempt asked for a retry
    found = [r for r in records(store(cups)) if r["printer"] == queues.retry and int(r["job_id"]) == job]
    assert len(found) == 1, found
    assert (found[0]["status"], found[0]["printed"]) == ("printed", 3)
