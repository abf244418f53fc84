#!/usr/bin/env bash
# The census corpus: the masters printed through a real CUPS, one queue per
# Debian driver, and the bytes each backend would send kept with their truth
# (tests/corpus/census/, see its README). Not run in CI: the jobs are
# committed, and only the tests over them run there.
#
#   bash scripts/corpus/census.sh [QUEUE-REGEX]
#
# QUEUE-REGEX runs only the queues it matches and keeps the others' rows;
# QM_CENSUS_TOOL names a built quirometer instead of building one.
#
# A private cupsd runs on loopback with its own configuration, spool, logs and
# cache under a temporary folder (FileDevice Yes). Its queues print to
# socket://127.0.0.1:PORT, where scripts/corpus/capture.py keeps each
# connection's bytes: a file: device would put a local path into the jobs of
# drivers that write the device URI into their PJL (hpcups, an Oki wrapper).
# Filters run under libfaketime at a fixed date, so that the dates drivers
# write are the same in every run: cupsd passes no LD_PRELOAD to its
# children, so the filters are reached through a ServerBin of wrappers that
# set it, and FAKETIME is set with SetEnv in cups-files.conf (in cupsd.conf
# it never reaches them).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
ONLY=${1:-}
OUT=$ROOT/tests/corpus/census
CUPS_PORT=${QM_CENSUS_CUPS_PORT:-8731}
CAPTURE_PORT=${QM_CENSUS_CAPTURE_PORT:-9731}
FAKE_DATE="2026-01-01 12:00:00"

PACKAGES=(cups cups-client cups-daemon cups-filters cups-ppdc faketime ghostscript poppler-utils python3
          printer-driver-foo2zjs printer-driver-hpcups hplip printer-driver-splix printer-driver-escpr
          printer-driver-brlaser printer-driver-cjet printer-driver-oki printer-driver-c2050
          printer-driver-c2esp printer-driver-pxljr printer-driver-m2300w printer-driver-min12xxw
          printer-driver-sag-gdi printer-driver-fujixerox printer-driver-ptouch printer-driver-gutenprint
          foomatic-db-compressed-ppds foomatic-db-engine cmake g++ make)
missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    apt-get update -qq || true
    DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=900 install -y --no-install-recommends "${missing[@]}"
fi

# The command-line tool checks the page count of cuts (the page-structure reader).
QUIROMETER=${QM_CENSUS_TOOL:-}
if [ -z "$QUIROMETER" ]; then
    cmake -S "$ROOT" -B "$ROOT/build-census" -DCMAKE_BUILD_TYPE=Release -DQM_BUILD_TESTS=OFF -DQM_BUILD_BENCH=OFF >/dev/null
    cmake --build "$ROOT/build-census" -j2 --target quirometer_cli >/dev/null
    QUIROMETER=$ROOT/build-census/quirometer
fi

# The thread-safe build: splix's filter runs threads and crashes under the other.
FAKETIME_LIB=$(dpkg -L libfaketime 2>/dev/null | grep -m1 '/libfaketimeMT.so.1$')
T=$(mktemp -d /tmp/qm-census.XXXXXX)
chmod 755 "$T"
CUPSD_PID=""
CAPTURE_PID=""
cleanup() {
    [ -n "$CUPSD_PID" ] && kill "$CUPSD_PID" 2>/dev/null || true
    [ -n "$CAPTURE_PID" ] && kill "$CAPTURE_PID" 2>/dev/null || true
    sleep 1
    rm -rf "$T"
}
trap cleanup EXIT

mkdir -p "$T/etc/ppd" "$T/spool/tmp" "$T/log" "$T/cache" "$T/state" "$T/bin/filter" "$T/capture"
chmod 1777 "$T/spool/tmp"
for d in backend cgi-bin daemon driver monitor notifier; do ln -s "/usr/lib/cups/$d" "$T/bin/$d"; done
for f in /usr/lib/cups/filter/*; do
    printf '#!/bin/sh\nLD_PRELOAD=%s exec %s "$@"\n' "$FAKETIME_LIB" "$f" >"$T/bin/filter/$(basename "$f")"
    chmod 755 "$T/bin/filter/$(basename "$f")"
done

cat >"$T/etc/cupsd.conf" <<EOF
LogLevel warn
Listen $T/cups.sock
Listen 127.0.0.1:$CUPS_PORT
Browsing No
DefaultAuthType None
WebInterface No
MaxJobs 50
ErrorPolicy abort-job
PreserveJobFiles No
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
EOF
cat >"$T/etc/cups-files.conf" <<EOF
ServerRoot $T/etc
ServerBin $T/bin
RequestRoot $T/spool
TempDir $T/spool/tmp
CacheDir $T/cache
StateDir $T/state
ErrorLog $T/log/error_log
AccessLog $T/log/access_log
PageLog $T/log/page_log
FileDevice Yes
SetEnv FAKETIME $FAKE_DATE
SetEnv FAKETIME_DONT_FAKE_MONOTONIC 1
EOF

# m2300w's wrapper appends to /tmp/m2300w.log, and its Ghostscript writes
# nothing when the filters' user cannot: the job comes out as its PJL alone.
touch /tmp/m2300w.log && chmod 666 /tmp/m2300w.log

python3 "$ROOT/scripts/corpus/capture.py" "$CAPTURE_PORT" "$T/capture" &
CAPTURE_PID=$!
cupsd -f -c "$T/etc/cupsd.conf" -s "$T/etc/cups-files.conf" &
CUPSD_PID=$!
for _ in $(seq 1 50); do
    [ -S "$T/cups.sock" ] && CUPS_SERVER=$T/cups.sock lpstat -r >/dev/null 2>&1 && break
    sleep 0.2
done

if [ -z "$ONLY" ]; then
    rm -rf "$OUT"/*/
fi
mkdir -p "$OUT"
python3 -u "$ROOT/scripts/corpus/census.py" --root "$ROOT" --server "$T/cups.sock" --ppd-dir "$T/etc/ppd" \
    --device "socket://127.0.0.1:$CAPTURE_PORT" --capture "$T/capture" --out "$OUT" \
    --quirometer "$QUIROMETER" --only "$ONLY"
du -sh "$OUT"
