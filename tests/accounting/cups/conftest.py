"""The real parts for the accounting tests: a private cupsd on a loopback
port, printers that capture what they receive, an IPP Everywhere printer,
and a PostgreSQL server, each started in a temporary folder and stopped by
its process id however the tests end.

The build folder is QM_BUILD_DIR (default: build/ of the checkout); it must
hold the accounting backend and the command-line tool.
"""
import atexit
import csv
import io
import json
import os
import pwd
import shutil
import signal
import socket
import subprocess
import tempfile
import threading
import time
from pathlib import Path

import pytest

SRC = Path(__file__).resolve().parents[3]
BUILD = Path(os.environ.get("QM_BUILD_DIR", SRC / "build")).resolve()
BACKEND = BUILD / "accounting" / "backend" / "quirometer"
CLI = BUILD / "quirometer"
SAMPLES = SRC / "samples"
CUPS_SERVERBIN = Path("/usr/lib/cups")
HOST = "127.0.0.1"

# Backends of our own for the fault cases, installed beside the real ones.
# qmfail takes the job and fails; qmflaky asks CUPS to retry the first
# attempt of each job and takes the job on the second.
FAKE_BACKENDS = {
    "qmfail": """#!/bin/sh
[ $# -eq 0 ] && exit 0
if [ $# -ge 6 ]; then cat "$6" >/dev/null; else cat >/dev/null; fi
echo "ERROR: the printer is on fire" >&2
exit 1
""",
    "qmflaky": """#!/bin/sh
[ $# -eq 0 ] && exit 0
state="${DEVICE_URI#qmflaky:}/attempt-$1"
if [ ! -e "$state" ]; then
  : > "$state"
  echo "ERROR: the printer is not ready" >&2
  exit 6
fi
if [ $# -ge 6 ]; then cat "$6" >/dev/null; else cat >/dev/null; fi
exit 0
""",
    # Others may not run it, so cupsd would run it as root (as usb and lpd).
    "qmroot": """#!/bin/sh
[ $# -eq 0 ] && exit 0
id -u > "${DEVICE_URI#qmroot:}/uid-$1"
if [ $# -ge 6 ]; then cat "$6" >/dev/null; else cat >/dev/null; fi
exit 0
""",
}
FAKE_BACKEND_MODES = {"qmroot": 0o744}


def need(*programs):
    """Skips the test when one of the programs is not installed."""
    missing = [p for p in programs if shutil.which(p) is None]
    if missing:
        pytest.skip("not installed: " + ", ".join(missing) + " (tests/accounting/cups/run.sh installs them)")


def free_port():
    with socket.socket() as s:
        s.bind((HOST, 0))
        return s.getsockname()[1]


def wait_for(predicate, timeout, what):
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise AssertionError(f"timed out after {timeout}s waiting for {what}")
        time.sleep(0.05)


def port_open(port):
    with socket.socket() as s:
        s.settimeout(0.2)
        return s.connect_ex((HOST, port)) == 0


def pid_alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    # A zombie child of ours still answers signal 0.
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


class Daemons:
    """Every daemon these tests start, stopped by its pid, last first."""

    def __init__(self):
        self._pids = []  # (name, pid, Popen or None)
        self._lock = threading.Lock()

    def spawn(self, name, argv, log, **kw):
        out = open(log, "ab")
        proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.STDOUT,
                                start_new_session=True, **kw)
        out.close()
        with self._lock:
            self._pids.append((name, proc.pid, proc))
        return proc

    def adopt(self, name, pid):
        """A daemon that forked itself away, known by its pid file."""
        with self._lock:
            self._pids.append((name, pid, None))

    def stop(self, pid):
        with self._lock:
            entries = [e for e in self._pids if e[1] == pid]
            self._pids = [e for e in self._pids if e[1] != pid]
        for name, pid, proc in entries:
            _terminate(pid, proc)

    def stop_all(self):
        with self._lock:
            entries, self._pids = list(reversed(self._pids)), []
        for name, pid, proc in entries:
            _terminate(pid, proc)


def _terminate(pid, proc):
    for sig, grace in ((signal.SIGTERM, 10), (signal.SIGKILL, 5)):
        try:
            os.kill(pid, sig)
        except ProcessLookupError:
            break
        deadline = time.monotonic() + grace
        while time.monotonic() < deadline:
            if proc is not None and proc.poll() is not None:
                return
            if proc is None and not pid_alive(pid):
                return
            time.sleep(0.05)
    if proc is not None:
        proc.wait(timeout=5)


@pytest.fixture(scope="session")
def daemons():
    d = Daemons()
    atexit.register(d.stop_all)
    previous = signal.signal(signal.SIGTERM, lambda *_: (d.stop_all(), os._exit(143)))
    yield d
    d.stop_all()
    signal.signal(signal.SIGTERM, previous)


@pytest.fixture(scope="session")
def workdir():
    root = Path(tempfile.mkdtemp(prefix="qm-cups-"))
    # cupsd's filters and backends run as lp and must reach their files.
    root.chmod(0o755)
    yield root
    if not os.environ.get("QM_KEEP_TMP"):
        shutil.rmtree(root, ignore_errors=True)


@pytest.fixture(scope="session")
def built():
    for path in (BACKEND, CLI):
        if not os.access(path, os.X_OK):
            pytest.fail(f"{path} is not built (cmake --build {BUILD} --target quirometer_cli quirometer_backend)")


class Capture:
    """A printer on a loopback port that keeps the bytes of each connection.
    When held, it accepts a connection and neither reads it nor closes it
    until released, so the job stays at the printer."""

    def __init__(self):
        self._server = socket.socket()
        self._server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self._server.bind((HOST, 0))
        self._server.listen(64)
        self.port = self._server.getsockname()[1]
        self._received = []
        self._lock = threading.Lock()
        self._release = threading.Event()
        self._release.set()
        self.connected = threading.Event()
        threading.Thread(target=self._accept, daemon=True).start()

    @property
    def uri(self):
        return f"socket://{HOST}:{self.port}"

    def _accept(self):
        while True:
            try:
                conn, _ = self._server.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(conn,), daemon=True).start()

    def _serve(self, conn):
        self.connected.set()
        self._release.wait()
        chunks = []
        with conn:
            conn.settimeout(120)
            try:
                while True:
                    data = conn.recv(1 << 16)
                    if not data:
                        break
                    chunks.append(data)
            except OSError:
                pass
            # Kept before the close that lets the sender finish the job.
            with self._lock:
                self._received.append(b"".join(chunks))

    def hold(self):
        self.connected.clear()
        self._release.clear()

    def release(self):
        self._release.set()

    def take(self):
        """The jobs received so far (one item per connection), forgotten."""
        with self._lock:
            got, self._received = self._received, []
        return got

    def received(self):
        with self._lock:
            return list(self._received)

    def close(self):
        self._release.set()
        self._server.close()


def run(argv, check=True, **kw):
    result = subprocess.run(argv, capture_output=True, text=True, timeout=120, **kw)
    if check and result.returncode != 0:
        raise AssertionError(f"{' '.join(map(str, argv))} exited {result.returncode}:\n"
                             f"{result.stdout}{result.stderr}")
    return result


class Cups:
    """A private cupsd: its own folders under `root`, its own port, a server
    bin that mirrors CUPS's with our backend added, and the accounting
    configuration handed to backends by SetEnv."""

    def __init__(self, root, daemons):
        self.root = root
        self.port = free_port()
        self.server = f"{HOST}:{self.port}"
        self.etc = root / "etc"
        self.log = root / "log"
        self.serverbin = root / "serverbin"
        self.acct = root / "accounting"
        self.conf = self.acct / "accounting.conf"
        self.db = self.acct / "accounting.db"
        self.journal = self.acct / "journal"
        self.quotas = []
        for d in (self.etc, self.log, root / "spool", root / "cache", root / "state", self.acct):
            d.mkdir(parents=True, exist_ok=True)
        (root / "spool" / "tmp").mkdir(exist_ok=True)
        # The backend runs as root or as lp depending on its mode: either
        # may create the store and the journal.
        lp = pwd.getpwnam("lp")
        os.chown(self.acct, lp.pw_uid, lp.pw_gid)
        self.acct.chmod(0o770)
        self._mirror_serverbin()
        self.write_accounting(store=f"sqlite:{self.db}")
        (self.etc / "cups-files.conf").write_text(f"""\
ServerRoot {self.etc}
RequestRoot {root}/spool
TempDir {root}/spool/tmp
CacheDir {root}/cache
StateDir {root}/state
ServerBin {self.serverbin}
DataDir /usr/share/cups
DocumentRoot /usr/share/cups/doc-root
AccessLog {self.log}/access_log
ErrorLog {self.log}/error_log
PageLog {self.log}/page_log
FileDevice Yes
User lp
Group lp
SystemGroup root
SetEnv QUIROMETER_ACCOUNTING_CONF {self.conf}
""")
        (self.etc / "cupsd.conf").write_text(f"""\
Listen {self.server}
LogLevel debug
MaxLogSize 0
PageLogFormat %p %u %j %P %C
Browsing Off
BrowseLocalProtocols none
WebInterface No
DefaultShared No
JobRetryInterval 1
JobRetryLimit 3
MaxJobs 0
MaxJobsPerPrinter 0
PreserveJobHistory Yes
<Location />
  Order allow,deny
  Allow 127.0.0.1
</Location>
<Policy default>
  <Limit All>
    Order allow,deny
    Allow 127.0.0.1
  </Limit>
</Policy>
""")
        daemons.spawn("cupsd", ["cupsd", "-f", "-c", str(self.etc / "cupsd.conf"),
                                "-s", str(self.etc / "cups-files.conf")], self.log / "cupsd.out")
        wait_for(lambda: port_open(self.port), 30, f"cupsd on port {self.port} ({self.log}/error_log)")

    def _mirror_serverbin(self):
        for sub in ("backend", "filter", "cgi-bin", "daemon", "driver", "monitor", "notifier"):
            (self.serverbin / sub).mkdir(parents=True, exist_ok=True)
            source = CUPS_SERVERBIN / sub
            if source.is_dir():
                for entry in source.iterdir():
                    (self.serverbin / sub / entry.name).symlink_to(entry.resolve())
        # The backend as the install puts it (a copy keeps its mode, and lp
        # may not reach the build folder); it finds its library by its rpath.
        shutil.copy2(BACKEND, self.serverbin / "backend" / "quirometer")
        for name, text in FAKE_BACKENDS.items():
            path = self.serverbin / "backend" / name
            path.write_text(text)
            path.chmod(FAKE_BACKEND_MODES.get(name, 0o755))

    def write_accounting(self, store, journal=None, extra=""):
        quota = "".join(f"quota {q} = {n} per {p}\n" for q, n, p in self.quotas)
        self.conf.write_text(f"store = {store}\njournal = {journal or self.journal}\n{quota}{extra}")
        self.conf.chmod(0o644)

    def env(self):
        return dict(os.environ, QUIROMETER_ACCOUNTING_CONF=str(self.conf))

    def lpadmin(self, *args):
        return run(["lpadmin", "-h", self.server, *args])

    def add_queue(self, name, uri, *options):
        self.lpadmin("-p", name, "-v", uri, *options)
        self.lpadmin("-p", name, "-E")  # -E after -p: enable and accept jobs

    def lp(self, queue, *args, user="tester", data=None):
        """Submits a job; returns its id."""
        argv = ["lp", "-h", self.server, "-d", queue, "-U", user, *map(str, args)]
        out = run(argv, input=data).stdout
        # "request id is QUEUE-ID (1 file(s))"
        return int(out.split("request id is ", 1)[1].split()[0].rsplit("-", 1)[1])

    def enable(self, queue):
        run(["cupsenable", "-h", self.server, queue])

    def cancel(self, job):
        run(["cancel", "-h", self.server, str(job)])

    def job(self, job, queue):
        """The job's state, reasons, message and impressions, from cupsd."""
        test = self.root / "job.test"
        if not test.exists():
            test.write_text("""{
  OPERATION Get-Job-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR integer job-id $job_id
  ATTR name requesting-user-name root
  ATTR keyword requested-attributes job-state,job-state-reasons,job-printer-state-message,job-impressions-completed
  STATUS successful-ok
  DISPLAY job-state
  DISPLAY job-state-reasons
  DISPLAY job-printer-state-message
  DISPLAY job-impressions-completed
}
""")
        out = run(["ipptool", "-c", "-d", f"job_id={job}", f"ipp://{self.server}/printers/{queue}", str(test)]).stdout
        rows = list(csv.reader(io.StringIO(out)))
        return dict(zip(rows[0], rows[1])) if len(rows) >= 2 else {}

    def wait_done(self, job, queue, timeout=60):
        """Waits until the job is completed, cancelled or aborted; returns its state."""
        return wait_for(lambda: (lambda a: a if a.get("job-state") in ("completed", "canceled", "aborted")
                                 else None)(self.job(job, queue)),
                        timeout, f"job {job} on {queue} to end ({self.log}/error_log)")

    def page_log(self, queue, job):
        path = self.log / "page_log"
        if not path.exists():
            return []
        return [line.split() for line in path.read_text().splitlines()
                if line.split()[:1] == [queue] and line.split()[2:3] == [str(job)]]

    def error_log(self, job=None):
        path = self.log / "error_log"
        text = path.read_text(errors="replace") if path.exists() else ""
        if job is None:
            return text
        return "\n".join(line for line in text.splitlines() if f"[Job {job}]" in line)


def accounting(*args, env=None, check=True):
    return run([str(CLI), "accounting", *map(str, args)], check=check, env=env)


def records(store, env=None):
    """The store's job records, as dicts, by `quirometer accounting jobs --json`."""
    out = accounting("jobs", "--json", "--store", store, env=env).stdout.strip()
    if not out:
        return []
    if out.startswith("["):
        return json.loads(out)
    return [json.loads(line) for line in out.splitlines() if line.strip()]


def record_of(store, queue, job, env=None):
    found = [r for r in records(store, env) if r["printer"] == queue and int(r["job_id"]) == job]
    assert len(found) == 1, f"{len(found)} records for {queue} job {job}: {found}"
    return found[0]


@pytest.fixture(scope="session")
def cups(built, daemons, workdir):
    need("cupsd", "lpadmin", "lp", "ipptool")
    if os.geteuid() != 0:
        pytest.skip("a private cupsd needs root here (its filters and backends run as lp)")
    try:
        server = Cups(workdir / "cups", daemons)
    except AssertionError as e:
        pytest.skip(f"cupsd cannot start: {e}")
    yield server


@pytest.fixture(scope="session")
def mdns(daemons, workdir):
    """A system D-Bus and an Avahi daemon on loopback only, for ippeveprinter;
    one already running is used and left alone."""
    need("dbus-daemon", "avahi-daemon")
    if subprocess.run(["avahi-daemon", "--check"], capture_output=True).returncode == 0:
        return
    bus = Path("/run/dbus/system_bus_socket")
    if not _bus_answers(bus):
        Path("/run/dbus").mkdir(parents=True, exist_ok=True)
        _remove_stale_pidfile(Path("/run/dbus/pid"))
        out = subprocess.run(["dbus-daemon", "--system", "--fork", "--print-pid"],
                             capture_output=True, text=True)
        if out.returncode != 0:
            pytest.skip(f"the system D-Bus cannot start: {out.stderr.strip()}")
        daemons.adopt("dbus-daemon", int(out.stdout.split()[0]))
        wait_for(lambda: _bus_answers(bus), 10, "the system D-Bus")
    conf = workdir / "avahi-daemon.conf"
    conf.write_text("[server]\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=lo\n"
                    "[wide-area]\nenable-wide-area=no\n"
                    "[publish]\npublish-addresses=no\npublish-hinfo=no\npublish-workstation=no\n"
                    "[reflector]\n[rlimits]\n")
    out = subprocess.run(["avahi-daemon", "-f", str(conf), "--daemonize", "--no-drop-root", "--no-chroot"],
                         capture_output=True, text=True)
    if out.returncode != 0:
        pytest.skip(f"avahi-daemon cannot start: {out.stderr.strip()}")
    pidfile = Path("/run/avahi-daemon/pid")
    wait_for(pidfile.exists, 10, "avahi-daemon's pid file")
    daemons.adopt("avahi-daemon", int(pidfile.read_text().split()[0]))


def _remove_stale_pidfile(path):
    try:
        pid = int(path.read_text().split()[0])
    except (OSError, ValueError, IndexError):
        return
    if not pid_alive(pid):
        path.unlink()


def _bus_answers(path):
    if not path.exists():
        return False
    with socket.socket(socket.AF_UNIX) as s:
        return s.connect_ex(str(path)) == 0


def start_ippeveprinter(daemons, workdir, name, formats):
    """An IPP Everywhere printer on loopback that takes `formats` and keeps
    the documents it receives."""
    need("ippeveprinter")
    spool = workdir / name
    spool.mkdir()
    port = free_port()
    log = workdir / f"{name}.log"
    proc = daemons.spawn(name, ["ippeveprinter", "-p", str(port), "-f", formats, "-d", str(spool), "-k", "-v",
                                "-s", "600", f"Quirometer Test {port}"], log)
    try:
        wait_for(lambda: proc.poll() is not None or port_open(port), 20, "ippeveprinter")
    except AssertionError:
        pytest.skip("ippeveprinter does not answer")
    if proc.poll() is not None:
        pytest.skip("ippeveprinter cannot start: " + log.read_text()[-500:])
    return type("Printer", (), {"uri": f"ipp://{HOST}:{port}/ipp/print", "spool": spool})


@pytest.fixture(scope="session")
def ippeveprinter(mdns, daemons, workdir):
    """One that takes PDF, so that CUPS sends PDF."""
    return start_ippeveprinter(daemons, workdir, "ippeveprinter", "application/pdf")


@pytest.fixture(scope="session")
def raster_printer(mdns, daemons, workdir):
    """One that takes PWG Raster only."""
    return start_ippeveprinter(daemons, workdir, "ippeveprinter-raster", "image/pwg-raster")


def _postgres_bindir():
    """Debian keeps initdb and postgres out of PATH, one folder per major version."""
    found = shutil.which("initdb")
    if found:
        return Path(os.path.realpath(found)).parent
    versions = sorted(Path("/usr/lib/postgresql").glob("*/bin/initdb"), key=lambda p: int(p.parts[-3]))
    return versions[-1].parent if versions else None


@pytest.fixture(scope="session")
def postgres(daemons, workdir):
    """A PostgreSQL server of our own, run as the unprivileged postgres user,
    reached by a Unix socket in a folder under /tmp."""
    bindir = _postgres_bindir()
    if bindir is None:
        pytest.skip("PostgreSQL's server programs are not installed (the postgresql package)")
    try:
        user = pwd.getpwnam("postgres")
    except KeyError:
        pytest.skip("no postgres user to run the server as")
    data = workdir / "pgdata"
    sock = Path(tempfile.mkdtemp(prefix="qm-pg-", dir="/tmp"))
    os.chown(sock, user.pw_uid, user.pw_gid)
    sock.chmod(0o755)  # cupsd's backends (lp) connect too
    data.mkdir()
    os.chown(data, user.pw_uid, user.pw_gid)

    def as_postgres():
        os.setgid(user.pw_gid)
        os.setuid(user.pw_uid)

    out = subprocess.run([str(bindir / "initdb"), "-D", str(data), "-A", "trust", "-U", "postgres", "--no-sync"],
                         capture_output=True, text=True, preexec_fn=as_postgres, cwd="/tmp")
    if out.returncode != 0:
        pytest.skip(f"initdb fails: {out.stderr.strip()[-500:]}")
    log = workdir / "postgres.log"
    log.touch()
    os.chown(log, user.pw_uid, user.pw_gid)
    postgres_bin = bindir / "postgres"
    proc = daemons.spawn("postgres", [str(postgres_bin), "-D", str(data), "-k", str(sock), "-c", "listen_addresses=",
                                      "-c", "fsync=off", "-c", "max_connections=50"],
                         log, preexec_fn=as_postgres, cwd="/tmp")
    wait_for(lambda: proc.poll() is not None or (sock / ".s.PGSQL.5432").exists(), 30, "postgres")
    if proc.poll() is not None:
        pytest.skip("postgres cannot start: " + log.read_text()[-500:])
    psql = shutil.which("psql")
    base = f"postgresql:///postgres?host={sock}&user=postgres"
    if psql:
        wait_for(lambda: subprocess.run([psql, base, "-c", "select 1"], capture_output=True).returncode == 0,
                 20, "postgres to accept connections")
    yield type("Postgres", (), {"socket": sock, "url": lambda db="postgres": f"postgresql:///{db}?host={sock}&user=postgres",
                                "psql": psql})
    daemons.stop(proc.pid)
    shutil.rmtree(sock, ignore_errors=True)
