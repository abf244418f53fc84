"""Two print servers' backends writing into one real PostgreSQL server at
once, and the reports over what they wrote."""
import json
import os
import subprocess
from concurrent.futures import ThreadPoolExecutor

from conftest import BACKEND, BUILD, SAMPLES, Capture, accounting, records

JOBS = [  # file, CUPS copies, printed
    (SAMPLES / "letter-memo-1.ljet4pjl-copies3.pcl", 2, 6),
    (SAMPLES / "a4-report-3.ljet4d-duplex.pcl", 1, 3),
    (SAMPLES / "letter-memo-1.pxlmono-copies3.pxl", 1, 3),
    (SAMPLES / "two-pages-one-key-per-line.pdf", 3, 6),
    (SAMPLES / "legal-posters-2.pxlcolor.pxl", 1, 2),
]
ROUNDS = 4  # each server sends every job this many times


def run_backend(conf, printer, uri, job_id, user, path, copies):
    env = dict(os.environ, QUIROMETER_ACCOUNTING_CONF=str(conf), DEVICE_URI=f"quirometer:{uri}",
               PRINTER=printer, CUPS_SERVERBIN="/usr/lib/cups", TMPDIR=str(conf.parent))
    argv = [f"quirometer:{uri}", str(job_id), user, path.name, str(copies), "", str(path)]
    done = subprocess.run(argv, executable=str(BACKEND), env=env, capture_output=True, text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    return done.stderr


def test_two_servers_write_at_once_and_reports_add_up(postgres, workdir):
    printer = Capture()
    url = postgres.url()
    confs = []
    for server in ("alpha", "beta"):
        conf = workdir / f"pg-{server}" / "accounting.conf"
        conf.parent.mkdir()
        conf.write_text(f"store = {url}\njournal = {conf.parent}/journal\nserver = {server}\n")
        confs.append(conf)

    def server_run(conf):
        # The same job ids on both servers: the key keeps them apart.
        for n in range(ROUNDS):
            for i, (path, copies, _) in enumerate(JOBS):
                run_backend(conf, "pgq", printer.uri, 1 + n * len(JOBS) + i, f"user{i % 2}", path, copies)

    try:
        with ThreadPoolExecutor(2) as pool:
            list(pool.map(server_run, confs))
    finally:
        printer.close()
    for conf in confs:
        journal = conf.parent / "journal"
        assert not journal.exists() or journal.read_text() == "", journal.read_text()

    got = records(url)
    assert len(got) == 2 * ROUNDS * len(JOBS)
    assert {r["status"] for r in got} == {"printed"}
    assert len({(r.get("server"), r["job_id"]) for r in got}) == len(got)
    printed = 2 * ROUNDS * sum(p for _, _, p in JOBS)
    assert sum(r["printed"] for r in got) == printed
    # The printer got every copy CUPS asked for.
    assert len(printer.received()) == 2 * ROUNDS * len(JOBS)

    for by in ("user", "printer", "day", "month"):
        rows = [json.loads(line) for line in
                accounting("report", "--by", by, "--json", "--store", url).stdout.splitlines() if line.strip()]
        assert sum(row["pages"] for row in rows) == printed, (by, rows)
        assert sum(row["jobs"] for row in rows) == len(got), (by, rows)
    by_user = {row["user"]: row["pages"] for row in
               map(json.loads, accounting("report", "--by", "user", "--json", "--store", url).stdout.splitlines())}
    assert by_user == {f"user{u}": 2 * ROUNDS * sum(p for i, (_, _, p) in enumerate(JOBS) if i % 2 == u)
                       for u in (0, 1)}
    csv_lines = accounting("report", "--by", "printer", "--csv", "--store", url).stdout.splitlines()
    assert csv_lines[0].split(",")[:3] == ["printer", "jobs", "pages"]
    assert csv_lines[1].split(",")[:3] == ["pgq", str(len(got)), str(printed)]


def test_a_retried_job_replaces_its_record(postgres, workdir):
    printer = Capture()
    conf = workdir / "pg-retry" / "accounting.conf"
    conf.parent.mkdir()
    conf.write_text(f"store = {postgres.url()}\njournal = {conf.parent}/journal\nserver = gamma\n")
    try:
        for copies in (1, 2):  # CUPS runs the backend again for the same job
            run_backend(conf, "pgretry", printer.uri, 77, "retry-user", JOBS[0][0], copies)
    finally:
        printer.close()
    mine = [r for r in records(postgres.url()) if r["printer"] == "pgretry"]
    assert [(r["job_id"], r["cups_copies"], r["printed"]) for r in mine] == [(77, 2, 6)]


def test_a_cups_queue_records_into_postgresql(cups, postgres):
    printer = Capture()
    queue = "qm-pg"
    cups.add_queue(queue, "quirometer:" + printer.uri, "-o", "printer-error-policy=abort-job")
    url = postgres.url()
    cups.write_accounting(store=url)
    try:
        jobs = [cups.lp(queue, "-o", "raw", "-n", copies, path) for path, copies, _ in JOBS]
        for job in jobs:
            assert cups.wait_done(job, queue)["job-state"] == "completed"
    finally:
        cups.write_accounting(store=f"sqlite:{cups.db}")
        printer.close()
    mine = sorted((r["job_id"], r["status"], r["printed"]) for r in records(url) if r["printer"] == queue)
    assert mine == sorted((job, "printed", printed) for job, (_, _, printed) in zip(jobs, JOBS))
    assert not cups.journal.exists() or cups.journal.read_text() == ""


def test_the_store_unit_tests_pass_against_the_real_server(postgres):
    """The store's own tests, which skip PostgreSQL without a server, run here
    against this one: every one must run, none be skipped."""
    unit = BUILD / "tests" / "quirometer_tests"
    assert unit.exists(), f"{unit} is not built"
    env = dict(os.environ, QM_TEST_POSTGRESQL=postgres.url())
    run = subprocess.run([str(unit), "--gtest_filter=Stores/*postgresql*", "--gtest_brief=1"],
                         env=env, capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stdout + run.stderr
    assert "SKIPPED" not in run.stdout and "PASSED" in run.stdout, run.stdout
